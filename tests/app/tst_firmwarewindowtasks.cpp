// Firmware window opened from the main window, which runs the client's
// tasks: their progress window and the busy state it passes to the window.
// Against the fake controller emulating a firmware update.

#include "appglobals.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "firmwaretestsupport.h"
#include "firmwareupdateform.h"
#include "lantrelclient.h"
#include "mainform.h"
#include "taskmanager.h"
#include "uiseams.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace LantrelProtocol;

namespace {

const int LineAddress = 3;
const QString StopTimedOut = QStringLiteral("ЦУ-Л не подтвердил остановку чтения линии. Передача прошивки отменена");

QProgressDialog *visibleProgress()
{
    for (QWidget *w : QApplication::allWidgets())
        if (auto *d = qobject_cast<QProgressDialog *>(w))
            if (d->isVisible())
                return d;
    return nullptr;
}

int coilWrites(const FakeController &fake, int coil)
{
    int n = 0;
    for (const FakeRequest &r : fake.requests(5))
        if (r.address == coil && r.values.value(0) == 0xFF00)
            ++n;
    return n;
}

} // namespace

class TestFirmwareWindowTasks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lineStopTimeLimitFreesWindows();
    void progressWindowStaysOpen_data();
    void progressWindowStaysOpen();
    void progressCountInView_data();
    void progressCountInView();

private:
    bool openFirmwareWindow();
    void chooseFile(const QString &path);
    QAbstractButton *button(const char *name) const;

    std::unique_ptr<FakeController> m_fake;
    std::unique_ptr<FakeTcpServer> m_server;
    std::unique_ptr<TaskManager> m_manager;
    std::unique_ptr<MainForm> m_form;
    QPointer<FirmwareUpdateForm> m_firmware;
    QTemporaryDir m_files;
    QStringList m_boxes;
    QString m_openAnswer;
};

void TestFirmwareWindowTasks::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<ClientConnection>();
}

void TestFirmwareWindowTasks::init()
{
    sessionEnding = false;
    m_manager.reset(new TaskManager);
    appTaskManager = m_manager.get();
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), false);
    m_boxes.clear();
    UiSeams::setMessageBoxHandler([this](QWidget *, QMessageBox::Icon, const QString &, const QString &text,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        m_boxes << text;
        return QMessageBox::Ok;
    });
    UiSeams::setOpenFileHandler([this](QWidget *, const QString &, const QString &, const QString &,
                                       QFileDialog::Options) { return m_openAnswer; });

    // The controller takes the stop of the line polling but never gets there.
    m_fake.reset(new FakeController);
    m_fake->loadGeneratedConfiguration(LineAddress, QHostAddress(QStringLiteral("127.0.0.1")), 24, 4, 2);
    m_fake->emulateFirmwareUpdate();
    m_fake->setLinePollStopMs(600000);
    m_server.reset(new FakeTcpServer(m_fake.get()));
}

void TestFirmwareWindowTasks::cleanup()
{
    delete m_firmware.data();
    m_form.reset();
    m_manager->client()->shutdownDriver();
    QTest::qWait(50);
    appTaskManager = nullptr;
    m_manager.reset();
    m_server.reset();
    m_fake.reset();
    UiSeams::setMessageBoxHandler(nullptr);
    UiSeams::setOpenFileHandler(nullptr);
    FirmwareUpdateForm::setLineStopTimeoutMs(60000);
}

// The main window connected to the fake, idle, with the line on, and its
// firmware window open.
bool TestFirmwareWindowTasks::openFirmwareWindow()
{
    if (!m_server->listen(QHostAddress(QStringLiteral("127.0.0.1")), 502))
        return false;
    m_form.reset(new MainForm);
    QObject::disconnect(m_form.get(), &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    m_form->show();
    LantrelClient *client = m_manager->client();
    QSignalSpy read(client, &LantrelClient::datasetChanged);
    client->connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
    QAction *firmware = m_form->findChild<QAction *>(QStringLiteral("actFirmwareUpdate"));
    QAction *loadConfig = m_form->findChild<QAction *>(QStringLiteral("actLoadConfig"));
    // The data window's action follows the line state that monitoring reports.
    QAction *lineOn = m_form->findChild<QAction *>(QStringLiteral("actShowSamplesViewer"));
    if (!read.wait(20000)
        || !QTest::qWaitFor([&]() { return firmware->isEnabled() && lineOn->isEnabled() && !visibleProgress(); },
                            10000))
        return false;
    // Opened with the line on, the window asks for the module versions and
    // the client then reads them: two tasks.
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    firmware->trigger();
    m_firmware = m_form->findChild<FirmwareUpdateForm *>();
    return m_firmware
           && QTest::qWaitFor([&]() { return tasks.size() == 2 && loadConfig->isEnabled() && !visibleProgress(); },
                              20000)
           && button("btnLoadFirmwareFile")->isEnabled();
}

void TestFirmwareWindowTasks::chooseFile(const QString &path)
{
    m_openAnswer = path;
    QTest::mouseClick(button("btnLoadFirmwareFile"), Qt::LeftButton);
}

QAbstractButton *TestFirmwareWindowTasks::button(const char *name) const
{
    return m_firmware->findChild<QAbstractButton *>(QString::fromLatin1(name));
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
    QCOMPARE(m_boxes, QStringList{StopTimedOut});

    // The task ends with the window's wait: the window is free at once and closes.
    QTRY_VERIFY_WITH_TIMEOUT(!visibleProgress(), 1000);
    QVERIFY(button("btnLoadFirmwareFile")->isEnabled());
    QVERIFY(m_firmware->findChild<QDialogButtonBox *>()->isEnabled());
    QVERIFY(m_form->findChild<QAction *>(QStringLiteral("actLoadConfig"))->isEnabled());
    QVERIFY(!m_fake->commands().isEmpty());
    for (const FakeCommand &c : m_fake->commands())
        QVERIFY(c.code != LOAD_PROG);
    QTest::qWait(300);
    QCOMPARE(m_boxes.size(), 1);   // the given-up stop reports nothing more

    // The stop may still take effect, so closing restarts the controller.
    m_firmware->close();
    QTRY_VERIFY(m_firmware.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(coilWrites(*m_fake, 2), 1, 10000);
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
    m_fake->setLinePollStopMs(300);
    m_fake->setCommandBusyTime(MOVE_PROG, 300);
    m_fake->setCommandBusyTime(SAVE_PROG, 1500);
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
