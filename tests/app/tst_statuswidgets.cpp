// Status-bar indicators: controller faults, line state, line on/off menu.

#include "controllererrorswidget.h"
#include "lantrelprotocol.h"
#include "linestatuswidget.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace LantrelProtocol;

namespace {

// The labels in layout order: the controller widget has one, the line
// widget fault picture, text, state picture.
QList<QLabel *> labels(QWidget *w)
{
    QList<QLabel *> result;
    for (int i = 0; i < w->layout()->count(); ++i)
        if (auto *l = qobject_cast<QLabel *>(w->layout()->itemAt(i)->widget()))
            result << l;
    return result;
}

bool shows(QLabel *label, const QString &path)
{
    const QPixmap pm = label->pixmap(Qt::ReturnByValue);
    if (path.isEmpty())
        return pm.isNull();
    return !pm.isNull() && pm.cacheKey() == cachedPixmap(path).cacheKey();
}

Status_Line_t lineStatus(int flags, int state, int faults)
{
    Status_Line_t s;
    s.Flags = quint8(flags);
    s.State = quint8(state);
    s.Faults = quint8(faults);
    return s;
}

// Opens the context menu as a right-click would and returns the texts of
// its actions (empty when no menu opened); triggers the first action when
// asked to, otherwise closes the menu.
QStringList openMenu(LineStatusWidget &w, bool trigger)
{
    QStringList texts;
    bool seen = false;
    QTimer::singleShot(0, [&]() {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        seen = true;
        for (QAction *a : menu->actions())
            texts << a->text();
        if (trigger && !menu->actions().isEmpty())
            menu->actions().first()->trigger();
        menu->close();
    });
    emit w.customContextMenuRequested(QPoint(2, 2));
    // No menu: the timer must not fire into a later case.
    QCoreApplication::processEvents();
    return seen ? texts : QStringList();
}

} // namespace

class TestStatusWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controllerFaults_data();
    void controllerFaults();
    void lineState_data();
    void lineState();
    void lineFaultsComeAndGo();
    void lineMenu_data();
    void lineMenu();
};

void TestStatusWidgets::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    for (const char *path : {":/images/exclamation.png", ":/images/warning.png", ":/images/line_standby.png",
                             ":/images/line_normal.png"})
        QVERIFY2(!cachedPixmap(QString::fromLatin1(path)).isNull(), path);
}

void TestStatusWidgets::controllerFaults_data()
{
    QTest::addColumn<int>("status1");
    QTest::addColumn<int>("status2");
    QTest::addColumn<QStringList>("faultTexts");

    QTest::newRow("none") << 0x00 << 0x00 << QStringList();
    QTest::newRow("byte 1 low bits are no faults") << 0x0F << 0x00 << QStringList();
    QTest::newRow("tamper and remote control") << 0xC9 << 0x00 << QStringList();
    QTest::newRow("serial errors") << 0x10 << 0x00 << QStringList{QStringLiteral("ошибки в серийном номере")};
    QTest::newRow("sensor configuration")
        << 0x20 << 0x00 << QStringList{QStringLiteral("конфигурация датчиков не соответствует хранимой")};
    QTest::newRow("battery and program")
        << 0x00 << 0x84
        << QStringList{QStringLiteral("не норма батареи"), QStringLiteral("ошибка контроля целостности программы")};
}

void TestStatusWidgets::controllerFaults()
{
    QFETCH(int, status1);
    QFETCH(int, status2);
    QFETCH(QStringList, faultTexts);

    ControllerErrorsWidget w;
    QLabel *picture = labels(&w).value(0);
    QVERIFY(picture);
    QVERIFY(shows(picture, QString()));
    QVERIFY(w.toolTip().isEmpty());
    QCOMPARE(picture->size(), QSize(18, 18));

    Status_Device_t stat;
    stat.Status1 = quint8(status1);
    stat.Status2 = quint8(status2);
    w.updateControllerStatus(stat);

    if (faultTexts.isEmpty()) {
        QVERIFY(shows(picture, QString()));
        QVERIFY(w.toolTip().isEmpty());
    } else {
        QVERIFY(shows(picture, QStringLiteral(":/images/exclamation.png")));
        QVERIFY(w.toolTip().startsWith(QStringLiteral("<p>Ошибки ЦУ-Л:<br/>")));
        QVERIFY(w.toolTip().endsWith(QStringLiteral("</p>")));
        QCOMPARE(w.toolTip().count(QStringLiteral("&#9679;")), faultTexts.size());
        for (const QString &t : faultTexts)
            QVERIFY2(w.toolTip().contains(t), qPrintable(w.toolTip()));
    }

    // A later status without faults clears the indicator again.
    w.updateControllerStatus(Status_Device_t());
    QVERIFY(shows(picture, QString()));
    QVERIFY(w.toolTip().isEmpty());
}

void TestStatusWidgets::lineState_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("inactive") << 0 << int(LN_NON) << ":/images/line_standby.png" << "<p>Линия не активна</p>";
    QTest::newRow("voltage") << 0 << int(LN_POW) << ":/images/line_pause.png" << "<p>Напряжение подано</p>";
    QTest::newRow("on, checking") << 0 << int(LN_ONN) << ":/images/line_not_ready.png"
                                  << "<p>Линия включена, проверка модулей</p>";
    QTest::newRow("on, polling") << 1 << int(LN_ONN) << ":/images/line_normal.png"
                                 << "<p>Линия включена, опрос модулей</p>";
    QTest::newRow("on, other flag bits") << 0xFE << int(LN_ONN) << ":/images/line_not_ready.png"
                                         << "<p>Линия включена, проверка модулей</p>";
    QTest::newRow("off") << 1 << int(LN_OFF) << ":/images/line_stop.png" << "<p>Линия отключена</p>";
    QTest::newRow("command off") << 0 << int(CMD_OFF) << QString() << QString();
    QTest::newRow("unknown") << 0 << 200 << QString() << QString();
}

void TestStatusWidgets::lineState()
{
    QFETCH(int, flags);
    QFETCH(int, state);
    QFETCH(QString, picture);
    QFETCH(QString, toolTip);

    LineStatusWidget w;
    const QList<QLabel *> l = labels(&w);
    QCOMPARE(l.size(), 3);
    QCOMPARE(l.at(1)->text(), QStringLiteral("Линия связи:"));
    QVERIFY(shows(l.at(2), QStringLiteral(":/images/line_standby.png")));
    QVERIFY(shows(l.at(0), QString()));
    QCOMPARE(w.toolTip(), QStringLiteral("Неизвестное состояние"));

    w.updateLineStatus(lineStatus(flags, state, 0));
    QVERIFY(shows(l.at(2), picture));
    QCOMPARE(w.toolTip(), toolTip);
    QVERIFY(shows(l.at(0), QString()));
    QVERIFY(l.at(0)->isHidden());
}

void TestStatusWidgets::lineFaultsComeAndGo()
{
    LineStatusWidget w;
    w.show();
    const QList<QLabel *> l = labels(&w);

    w.updateLineStatus(lineStatus(1, LN_ONN, 0x11));
    QVERIFY(shows(l.at(0), QStringLiteral(":/images/warning.png")));
    QVERIFY(!l.at(0)->isHidden());
    QVERIFY(l.at(0)->x() < l.at(1)->x());
    QCOMPARE(w.toolTip(),
             QStringLiteral("<p>Линия включена, опрос модулей</p><p>Ошибки работы линии:<br/>"
                            "&nbsp;&#9679; <span style=\"color:red\">обрыв на линии</span><br/>"
                            "&nbsp;&#9679; <span style=\"color:red\">утечка на линии</span><br/></p>"));

    // Faults with no state paragraph still get their own paragraph.
    w.updateLineStatus(lineStatus(0, CMD_OFF, 0x40));
    QVERIFY(shows(l.at(2), QString()));
    QVERIFY(w.toolTip().startsWith(QStringLiteral("<p>Ошибки работы линии:<br/>")));

    w.updateLineStatus(lineStatus(1, LN_ONN, 0));
    QVERIFY(shows(l.at(0), QString()));
    QVERIFY(l.at(0)->isHidden());
    QCOMPARE(w.toolTip(), QStringLiteral("<p>Линия включена, опрос модулей</p>"));
}

void TestStatusWidgets::lineMenu_data()
{
    QTest::addColumn<bool>("haveStatus");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("faults");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("menuText");

    QTest::newRow("before any status") << false << 0 << 0 << false << "Включение линии";
    QTest::newRow("on") << true << int(LN_ONN) << 0 << false << "Отключение линии";
    QTest::newRow("on with faults") << true << int(LN_ONN) << 0x01 << false << "Отключение линии";
    QTest::newRow("off") << true << int(LN_OFF) << 0 << false << "Включение линии";
    QTest::newRow("inactive") << true << int(LN_NON) << 0x01 << false << "Включение линии";
    QTest::newRow("command off") << true << int(CMD_OFF) << 0 << false << "Включение линии";
    QTest::newRow("voltage applied") << true << int(LN_POW) << 0 << false << QString();
    QTest::newRow("off with faults") << true << int(LN_OFF) << 0x20 << false << QString();
    QTest::newRow("on while busy") << true << int(LN_ONN) << 0 << true << QString();
}

void TestStatusWidgets::lineMenu()
{
    QFETCH(bool, haveStatus);
    QFETCH(int, state);
    QFETCH(int, faults);
    QFETCH(bool, busy);
    QFETCH(QString, menuText);

    LineStatusWidget w;
    w.show();
    QSignalSpy switched(&w, &LineStatusWidget::switchLineState);
    if (haveStatus)
        w.updateLineStatus(lineStatus(1, state, faults));
    w.disableActions(busy);

    if (menuText.isEmpty()) {
        QCOMPARE(openMenu(w, true), QStringList());
        QCOMPARE(switched.count(), 0);
        return;
    }
    QCOMPARE(openMenu(w, false), QStringList{menuText});
    QCOMPARE(switched.count(), 0);
    QCOMPARE(openMenu(w, true), QStringList{menuText});
    QCOMPARE(switched.count(), 1);

    // The end of the task makes the menu available again, and back.
    w.disableActions(true);
    QCOMPARE(openMenu(w, true), QStringList());
    w.disableActions(false);
    QCOMPARE(openMenu(w, false), QStringList{menuText});
    QCOMPARE(switched.count(), 1);
}

QTEST_MAIN(TestStatusWidgets)
#include "tst_statuswidgets.moc"
