// A laptop screen of 1024 x 600: the main window with every page and tab,
// and the state window, hold the largest configuration with every fault
// listed, and every control stays reachable (inside the window, or inside a
// scroll area that can scroll to it) and whole.

#include "appglobals.h"
#include "devicetables.h"
#include "largestconfiguration.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "mainform.h"
#include "stateviewerform.h"
#include "taskmanager.h"
#include "uiseams.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include <functional>

#include <memory>

using namespace LantrelProtocol;

namespace {

const QSize Screen(1024, 600);

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Widgets a user reads or works with; the parts of a composite widget
// (the line edit of a spin box, the viewport of a table) count as the whole.
bool isControl(QWidget *w, QWidget *top)
{
    if (!(qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractSpinBox *>(w)
          || qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractItemView *>(w) || qobject_cast<QTabBar *>(w)
          || (qobject_cast<QLabel *>(w) && !static_cast<QLabel *>(w)->text().isEmpty())))
        return false;
    for (QWidget *p = w->parentWidget(); p && p != top; p = p->parentWidget()) {
        if (qobject_cast<QAbstractSpinBox *>(p) || qobject_cast<QComboBox *>(p) || qobject_cast<QTabBar *>(p)
            || (qobject_cast<QAbstractScrollArea *>(p) && !qobject_cast<QScrollArea *>(p)))
            return false;
    }
    return true;
}

// Empty when `w` can be seen whole inside `top`, scrolling where a scroll
// area allows it; else why not.
QString unreachable(QWidget *w, QWidget *top)
{
    const QString name = QStringLiteral("%1 \"%2\"").arg(QLatin1String(w->metaObject()->className()),
                                                          w->objectName());
    QRect r = w->rect();
    QWidget *child = w;
    for (QWidget *p = w->parentWidget(); p; child = p, p = p->parentWidget()) {
        r.translate(child->pos());
        auto *area = qobject_cast<QScrollArea *>(p->parentWidget());
        if (area && p == area->viewport()) {
            // The content scrolls: what lies in it can be brought into view
            // when the scroll bars may show.
            const QWidget *content = area->widget();
            if ((content->width() > p->width() && area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
                || (content->height() > p->height() && area->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff))
                return name + QStringLiteral(": in scroll area \"%1\" that cannot scroll").arg(area->objectName());
            r = p->rect();
        } else if (!p->rect().contains(r)) {
            return name + QStringLiteral(": %1,%2 %3x%4 outside \"%5\" %6x%7")
                              .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                              .arg(p->objectName()).arg(p->width()).arg(p->height());
        }
        if (p == top)
            break;
    }
    // Squeezed below what it needs shows a cut text.
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->wordWrap() ? w->height() < label->heightForWidth(w->width())
                              : w->width() < label->minimumSizeHint().width())
            return name + QStringLiteral(": cut, %1x%2").arg(w->width()).arg(w->height());
    } else if (!qobject_cast<QAbstractItemView *>(w) && !qobject_cast<QTabBar *>(w)
               && (w->width() < w->minimumSizeHint().width() || w->height() < w->minimumSizeHint().height())) {
        return name + QStringLiteral(": squeezed to %1x%2, needs %3x%4")
                          .arg(w->width()).arg(w->height())
                          .arg(w->minimumSizeHint().width()).arg(w->minimumSizeHint().height());
    }
    return QString();
}

// Runs `check` on `top` as shown, then with each tab of its tab widgets.
void forEachTab(QWidget *top, QWidget *window, const std::function<void()> &check)
{
    settle();
    check();
    for (QTabWidget *tabs : top->findChildren<QTabWidget *>()) {
        if (!tabs->isVisibleTo(window))
            continue;
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setTabEnabled(i, true);
            tabs->setCurrentIndex(i);
            settle();
            check();
        }
        tabs->setCurrentIndex(0);
    }
}

QStringList unreachableControls(QWidget *top, QWidget *window)
{
    QStringList faults;
    forEachTab(top, window, [&] {
        for (QWidget *w : top->findChildren<QWidget *>()) {
            if (w->isVisibleTo(window) && isControl(w, window)) {
                const QString why = unreachable(w, window);
                if (!why.isEmpty() && !faults.contains(why))
                    faults << why;
            }
        }
    });
    return faults;
}

// Cells of the shown tables that are narrower than their value, over every
// row, not only the rows on screen.
QStringList cutCells(QWidget *top, QWidget *window)
{
    QStringList faults;
    forEachTab(top, window, [&] {
        for (QTableView *table : top->findChildren<QTableView *>()) {
            if (!table->isVisible())
                continue;
            const QAbstractItemModel *model = table->model();
            const QHeaderView *header = table->horizontalHeader();
            const int grid = table->showGrid() ? 1 : 0;
            for (int column = 0; column < model->columnCount(); ++column) {
                if (header->isSectionHidden(column))
                    continue;
                for (int row = 0; row < model->rowCount(); ++row) {
                    const QModelIndex index = model->index(row, column);
                    const int needed = table->sizeHintForIndex(index).width() + grid;
                    if (header->sectionSize(column) < needed) {
                        faults << QStringLiteral("%1: row %2 column %3 \"%4\" needs %5, has %6")
                                      .arg(table->objectName()).arg(row).arg(column)
                                      .arg(index.data().toString()).arg(needed).arg(header->sectionSize(column));
                        break;
                    }
                }
            }
        }
    });
    return faults;
}

Status_Device_t everyControllerFault()
{
    Status_Device_t s;
    s.Status1 = 0xFF;
    s.Status2 = 0xFF;
    s.Status3 = 0x03;
    return s;
}

Status_Line_t everyLineFault()
{
    Status_Line_t s;
    s.Flags = 1;
    s.State = 2;
    s.Faults = 0xFF;
    return s;
}

} // namespace

class TestScreenFit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mainWindowPages_data();
    void mainWindowPages();
    void stateWindow();
    void columnsShowWidestValue_data();
    void columnsShowWidestValue();

private:
    void fillAndFault();
    void widenLastRow(int page);

    std::unique_ptr<TaskManager> m_manager;
};

void TestScreenFit::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<ClientConnection>();
}

void TestScreenFit::init()
{
    m_manager.reset(new TaskManager);
    appTaskManager = m_manager.get();
    appSettings->remove(QStringLiteral("MainForm"));
    appSettings->remove(QStringLiteral("StateViewer"));
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    UiSeams::setMessageBoxHandler([](QWidget *, QMessageBox::Icon, const QString &, const QString &,
                                     QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        return QMessageBox::No;
    });
}

void TestScreenFit::cleanup()
{
    settle();
    appTaskManager = nullptr;
    m_manager.reset();
    UiSeams::setMessageBoxHandler(nullptr);
}

// The largest tables, a controller that reports every fault it can.
void TestScreenFit::fillAndFault()
{
    LantrelClient *client = m_manager->client();
    LargestConfiguration::fill(*client);
    emit client->datasetChanged();
    ClientConnection connection;
    connection.address = QStringLiteral("127.0.0.1");
    connection.lineAddress = 3;
    emit client->deviceConnected(connection);
    emit client->controllerStatusChanged(everyControllerFault());
    emit client->lineStatusChanged(everyLineFault());
    settle();
}

void TestScreenFit::mainWindowPages_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("controller") << 1;
    QTest::newRow("line modules") << 2;
    QTest::newRow("sensors") << 3;
    QTest::newRow("input/output") << 4;
    QTest::newRow("line protection") << 5;
    QTest::newRow("relay modules") << 6;
    QTest::newRow("interactions") << 7;
}

void TestScreenFit::mainWindowPages()
{
    QFETCH(int, page);
    MainForm form;
    QObject::disconnect(&form, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    fillAndFault();
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    stack->setCurrentIndex(page);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(Screen);
    settle();
    QVERIFY2(form.size() == Screen, qPrintable(QStringLiteral("the window keeps %1x%2 at least")
                                                   .arg(form.width()).arg(form.height())));
    const QStringList faults = unreachableControls(stack->currentWidget(), &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestScreenFit::stateWindow()
{
    fillAndFault();
    StateViewerForm form(nullptr, Qt::Window);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    emit m_manager->client()->controllerStatusChanged(everyControllerFault());
    emit m_manager->client()->lineStatusChanged(everyLineFault());
    form.resize(Screen);
    settle();
    QVERIFY(form.width() <= Screen.width() && form.height() <= Screen.height());
    const QStringList faults = unreachableControls(&form, &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

// A value wider than any other at the end of the page's table.
void TestScreenFit::widenLastRow(int page)
{
    LantrelClient *client = m_manager->client();
    const quint32 widestSerial = 0xFFFFFFFFu;
    switch (page) {
    case 2: {
        LineModuleRecord r;
        r.lineAddress = 500;
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        r.deviceType = SECT_ACCI;
        r.typeName = deviceTypeNames.value(SECT_ACCI);
        client->lineModulesModel()->setModule(r);
        break;
    }
    case 3: {
        SensorModuleRecord r = client->sensorsConfigModel()->moduleAt(499);
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        r.refCount = 255;
        client->sensorsConfigModel()->setModule(499, r);
        break;
    }
    case 4: {
        IoModuleRecord r = client->ioModulesConfigModel()->moduleAt(99);
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        client->ioModulesConfigModel()->setModule(99, r);
        break;
    }
    case 5: {
        ScpModuleRecord r = client->scpModulesConfigModel()->moduleAt(31);
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        client->scpModulesConfigModel()->setModule(31, r);
        break;
    }
    case 7: {
        InteractionsConfigModel *model = client->interactionsConfigModel();
        InteractionRecord r = model->interactionAt(model->rowCount() - 1);
        r.executorAddressText = QStringLiteral("255.255.255.255 (%1)").arg(serialNumberToString(widestSerial));
        model->updateInteraction(quint16(model->rowCount() - 1), r);
        break;
    }
    default:
        break;
    }
}

void TestScreenFit::columnsShowWidestValue_data()
{
    mainWindowPages_data();
}

void TestScreenFit::columnsShowWidestValue()
{
    QFETCH(int, page);
    MainForm form;
    QObject::disconnect(&form, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    fillAndFault();
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Filled while hidden: the addresses further down are wider than those
    // on screen.
    stack->setCurrentIndex(page);
    QStringList faults = cutCells(stack->currentWidget(), &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

    // A wider value at the last row, on screen or not.
    widenLastRow(page);
    faults = cutCells(stack->currentWidget(), &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"

