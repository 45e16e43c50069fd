// Main window: a read or write of the configuration held up by a busy
// controller is stopped from its progress window, by Escape or its close.

#include <QAction>
#include <QProgressDialog>
#include <QSettings>
#include <QWindow>
#include <QtTest>

#include "appglobals.h"
#include "mainformrig.h"

using namespace LantrelProtocol;
using namespace MainFormTest;

class TestBusyTasks : public QObject, public MainFormRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init();
    void cleanup() { cleanupRig(); }
    void stopFromProgress_data();
    void stopFromProgress();
};

void TestBusyTasks::init()
{
    initRig();
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    // Only a stop ends the task here.
    appSettings->setValue(QStringLiteral("Driver/BusyTimeLimit"), 20000);
    appSettings->sync();
}

void TestBusyTasks::stopFromProgress_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("escape");   // else the window's close
    QTest::addColumn<QString>("words");

    const QString readStopped = QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л остановлено, не прочитаны: "
                                               "записи 31–500 таблицы модулей ВТ-Л и ВС-Л");
    QTest::newRow("read, Escape") << false << true << readStopped;
    QTest::newRow("read, close") << false << false << readStopped;
    QTest::newRow("write, Escape") << true << true
                                   << QStringLiteral("Передача конфигурации ИОП в ЦУ-Л остановлена, не переданы: "
                                                     "записи таблицы модулей ВТ-Л и ВС-Л");
}

void TestBusyTasks::stopFromProgress()
{
    QFETCH(bool, write);
    QFETCH(bool, escape);
    QFETCH(QString, words);

    FakeLine line;
    QVERIFY(line.listening);
    makeForm();
    QVERIFY(connectToFake(line));
    QTRY_VERIFY_WITH_TIMEOUT(!visibleProgress(), 5000);
    m_boxes.asked.clear();

    const int function = write ? 21 : 20;
    FakeInjection busy = FakeInjection::exception(6, function, -1);
    busy.file = 10;
    busy.skip = 2;
    line.fake.addInjection(busy);
    line.fake.clearLog();
    m_form->findChild<QAction *>(write ? QStringLiteral("actSetConfig") : QStringLiteral("actGetConfig"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(line.fake.requests(function, 10).size() >= 4 && visibleProgress(), 5000);

    QProgressDialog *progress = visibleProgress();
    if (escape)
        QTest::keyClick(progress, Qt::Key_Escape);
    else
        progress->windowHandle()->close();   // as the window manager closes it
    QTRY_VERIFY_WITH_TIMEOUT(!visibleProgress(), 3000);

    const QStringList said = m_boxes.texts();
    QVERIFY2(said.size() == 1 && said.first().startsWith(words), qPrintable(said.join('\n')));
    QVERIFY(line.fake.requests(function, 15).isEmpty());
    QVERIFY(m_form->findChild<QAction *>(QStringLiteral("actLoadConfig"))->isEnabled());
}

QTEST_MAIN(TestBusyTasks)
#include "tst_busytasks.moc"
