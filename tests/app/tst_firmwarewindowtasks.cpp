// Firmware window opened from the main window, which runs the client's
// tasks: their progress window and the busy state it passes to the window.
// Against the fake controller emulating a firmware update.

#include "fakecontroller.h"
#include "firmwaretestsupport.h"
#include "firmwarewindowrig.h"
#include "lantrelclient.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>
#include <QtTest>

using namespace FirmwareWindowTest;
using namespace LantrelProtocol;

namespace {

const QString StopTimedOut = QStringLiteral("ЦУ-Л не подтвердил остановку чтения линии. Передача прошивки отменена");

} // namespace

class TestFirmwareWindowTasks : public QObject, public FirmwareWindowRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init();
    void cleanup() { cleanupFirmwareRig(); }

    void lineStopTimeLimitFreesWindows();
    void progressWindowStaysOpen_data();
    void progressWindowStaysOpen();
    void progressCountInView_data();
    void progressCountInView();
};

void TestFirmwareWindowTasks::init()
{
    initFirmwareRig();
    // The controller takes the stop of the line polling but never gets there.
    fake().setLinePollStopMs(600000);
}

void TestFirmwareWindowTasks::lineStopTimeLimitFreesWindows()
{
    QVERIFY(openFirmwareWindow());
    FirmwareUpdateForm::setLineStopTimeoutMs(1500);
    const QString path = m_files.filePath(QStringLiteral("sensors.mcr"));
    QVERIFY(FirmwareTest::writeFile(path, FirmwareTest::makeFile(FirmwareTest::patternBody(2016), 193, 0x0305)));

    // While the window waits, the main window shows the task and the window is busy.
    bool busyDuringWait = false;
    QTimer::singleShot(700, m_firmware, [&]() {
        busyDuringWait = visibleProgress() && !button("btnLoadFirmwareFile")->isEnabled()
                         && !m_firmware->findChild<QDialogButtonBox *>()->isEnabled();
    });
    chooseFile(path);
    QVERIFY(busyDuringWait);
    QCOMPARE(m_boxes.texts(), QStringList{StopTimedOut});

    // The task ends with the window's wait: the window is free at once and closes.
    QTRY_VERIFY_WITH_TIMEOUT(!visibleProgress(), 1000);
    QVERIFY(button("btnLoadFirmwareFile")->isEnabled());
    QVERIFY(m_firmware->findChild<QDialogButtonBox *>()->isEnabled());
    QVERIFY(m_form->findChild<QAction *>(QStringLiteral("actLoadConfig"))->isEnabled());
    QVERIFY(!fake().commands().isEmpty());
    for (const FakeCommand &c : fake().commands())
        QVERIFY(c.code != LOAD_PROG);
    QTest::qWait(300);
    QCOMPARE(m_boxes.asked.size(), 1);   // the given-up stop reports nothing more

    // The stop may still take effect, so closing restarts the controller.
    m_firmware->close();
    QTRY_VERIFY(m_firmware.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(fake().coilWrites(2), 1, 10000);
}

void TestFirmwareWindowTasks::progressWindowStaysOpen_data()
{
    QTest::addColumn<bool>("escape");   // else the window system's close

    QTest::newRow("Escape") << true;
    QTest::newRow("close button") << false;
}

void TestFirmwareWindowTasks::progressWindowStaysOpen()
{
    QFETCH(bool, escape);

    QVERIFY(openFirmwareWindow());
    FirmwareUpdateForm::setLineStopTimeoutMs(1500);
    const QString path = m_files.filePath(QStringLiteral("program.mcr"));
    QVERIFY(FirmwareTest::writeFile(path, FirmwareTest::makeFile(FirmwareTest::patternBody(992), 192, 0x0410)));

    QPointer<QProgressDialog> shown;
    bool stillShown = false;
    QTimer::singleShot(700, m_firmware, [&]() {
        shown = visibleProgress();
        if (!shown)
            return;
        if (escape)
            QTest::keyClick(shown, Qt::Key_Escape);
        else
            shown->windowHandle()->close();
        QTest::qWait(50);
        stillShown = shown && shown->isVisible();
    });
    chooseFile(path);
    QVERIFY(shown);
    QVERIFY(stillShown);
    // It goes when the task ends.
    QTRY_VERIFY_WITH_TIMEOUT(!visibleProgress(), 1000);
}

void TestFirmwareWindowTasks::progressCountInView_data()
{
    QTest::addColumn<int>("height");
    QTest::newRow("maximized on 1024 x 600") << 581;
    QTest::newRow("440 high") << 440;
}

// The progress window of the modules' update, over the middle of the
// firmware window, leaves the update's count in view whatever its height.
void TestFirmwareWindowTasks::progressCountInView()
{
    QFETCH(int, height);
    fake().setLinePollStopMs(300);
    fake().setCommandBusyTime(MOVE_PROG, 300);
    fake().setCommandBusyTime(SAVE_PROG, 1500);
    QVERIFY(openFirmwareWindow());
    const QString path = m_files.filePath(QStringLiteral("sensors.mcr"));
    QVERIFY(FirmwareTest::writeFile(path, FirmwareTest::makeFile(FirmwareTest::patternBody(4064), 193, 0x0211)));
    chooseFile(path);
    QTRY_VERIFY_WITH_TIMEOUT(button("btnStartUpdateFirmware")->isEnabled(), 20000);
    m_firmware->resize(1024, height);

    QSignalSpy progress(m_manager->client(), &LantrelClient::firmwareUpdateProgress);
    QTest::mouseClick(button("btnStartUpdateFirmware"), Qt::LeftButton);
    QVERIFY(progress.wait(20000));
    const QProgressDialog *shown = visibleProgress();
    QVERIFY(shown);
    const QRect dialog(shown->mapToGlobal(QPoint(0, 0)), shown->size());
    for (const char *name : {"lblModProgress", "lblModProgressCount"}) {
        const QLabel *label = m_firmware->findChild<QLabel *>(QLatin1String(name));
        QVERIFY(label->isVisible());
        const QRect r(label->mapToGlobal(QPoint(0, 0)), label->size());
        QVERIFY2(!dialog.intersects(r),
                 qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 under the progress window at %6,%7 %8x%9")
                                .arg(QLatin1String(name)).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                                .arg(dialog.x()).arg(dialog.y()).arg(dialog.width()).arg(dialog.height())));
    }
}

QTEST_MAIN(TestFirmwareWindowTasks)
#include "tst_firmwarewindowtasks.moc"
