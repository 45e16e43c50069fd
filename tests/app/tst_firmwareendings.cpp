// Firmware window opened from the main window, against the fake controller:
// how a transfer or an update ends when the link is closed, when the
// controller goes silent and when it refuses. The window keeps what happened
// and why; the installer gets one message box for it.

#include "appglobals.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "firmwaretestsupport.h"
#include "firmwareupdateform.h"
#include "lantrelclient.h"
#include "mainform.h"
#include "taskmanager.h"
#include "uiseams.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QScopeGuard>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QtTest>

#include <memory>

using namespace LantrelProtocol;

namespace {

const int LineAddress = 3;
const QString LossBox = QStringLiteral("Связь с ЦУ-Л (адрес 127.0.0.1, линейный адрес %1) потеряна.\n%2");

enum Ending { LinkClosed, ControllerSilent, ControllerRefuses };
enum Stage { Transfer, Update, Restart };   // the restart that follows a module update

QProgressDialog *visibleProgress()
{
    for (QWidget *w : QApplication::allWidgets())
        if (auto *d = qobject_cast<QProgressDialog *>(w))
            if (d->isVisible())
                return d;
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(Ending)
Q_DECLARE_METATYPE(Stage)

class TestFirmwareEndings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void endings_data();
    void endings();

private:
    bool openFirmwareWindow();
    void chooseFile(const QString &path);
    bool transferSensorFirmware();
    QAbstractButton *button(const char *name) const;
    QLabel *label(const char *name) const;
    QString result() const;

    std::unique_ptr<FakeController> m_fake;
    std::unique_ptr<FakeTcpServer> m_server;
    std::unique_ptr<TaskManager> m_manager;
    std::unique_ptr<MainForm> m_form;
    QPointer<FirmwareUpdateForm> m_firmware;
    QTemporaryDir m_files;
    QStringList m_boxes;
    QString m_openAnswer;
};

void TestFirmwareEndings::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<ClientConnection>();
}

void TestFirmwareEndings::init()
{
    sessionEnding = false;
    m_manager.reset(new TaskManager);
    appTaskManager = m_manager.get();
    // Monitoring on: the line is reported on and module firmware goes over.
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), false);
    // A silent controller is given up after three short time-outs.
    appSettings->setValue(QStringLiteral("Driver/ResponseTimeout"), 250);
    m_boxes.clear();
    UiSeams::setMessageBoxHandler([this](QWidget *, QMessageBox::Icon, const QString &, const QString &text,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        m_boxes << text;
        return QMessageBox::Ok;
    });
    UiSeams::setOpenFileHandler([this](QWidget *, const QString &, const QString &, const QString &,
                                       QFileDialog::Options) { return m_openAnswer; });

    m_fake.reset(new FakeController);
    m_fake->loadGeneratedConfiguration(LineAddress, QHostAddress(QStringLiteral("127.0.0.1")), 24, 4, 2);
    m_fake->emulateFirmwareUpdate();
    m_fake->setCommandBusyTime(MOVE_PROG, 200);
    m_fake->setCommandBusyTime(SAVE_PROG, 600);
    m_server.reset(new FakeTcpServer(m_fake.get()));
}

void TestFirmwareEndings::cleanup()
{
    delete m_firmware.data();
    m_form.reset();
    m_manager->client()->shutdownDriver();
    QTest::qWait(50);
    appSettings->remove(QStringLiteral("Driver/ResponseTimeout"));
    appTaskManager = nullptr;
    m_manager.reset();
    m_server.reset();
    m_fake.reset();
    UiSeams::setMessageBoxHandler(nullptr);
    UiSeams::setOpenFileHandler(nullptr);
}

// The main window connected to the fake, idle, with the line on, and its
// firmware window open.
bool TestFirmwareEndings::openFirmwareWindow()
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
    QAction *lineOn = m_form->findChild<QAction *>(QStringLiteral("actShowSamplesViewer"));
    if (!read.wait(20000)
        || !QTest::qWaitFor([&]() { return firmware->isEnabled() && lineOn->isEnabled() && !visibleProgress(); },
                            10000))
        return false;
    firmware->trigger();
    m_firmware = m_form->findChild<FirmwareUpdateForm *>();
    return m_firmware && QTest::qWaitFor([&]() { return button("btnLoadFirmwareFile")->isEnabled(); }, 20000);
}

void TestFirmwareEndings::chooseFile(const QString &path)
{
    m_openAnswer = path;
    QTest::mouseClick(button("btnLoadFirmwareFile"), Qt::LeftButton);
}

// Sensor firmware transferred; true once the update can start.
bool TestFirmwareEndings::transferSensorFirmware()
{
    const QString path = m_files.filePath(QStringLiteral("sensors.mcr"));
    if (!FirmwareTest::writeFile(path, FirmwareTest::makeFile(FirmwareTest::patternBody(2016), 193, 0x0211)))
        return false;
    chooseFile(path);
    return QTest::qWaitFor([this]() { return button("btnStartUpdateFirmware")->isEnabled(); }, 20000);
}

QAbstractButton *TestFirmwareEndings::button(const char *name) const
{
    return m_firmware->findChild<QAbstractButton *>(QString::fromLatin1(name));
}

QLabel *TestFirmwareEndings::label(const char *name) const
{
    return m_firmware->findChild<QLabel *>(QString::fromLatin1(name));
}

QString TestFirmwareEndings::result() const
{
    return QTextDocumentFragment::fromHtml(label("lblResult")->text()).toPlainText();
}

void TestFirmwareEndings::endings_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<Stage>("stage");
    QTest::addColumn<QString>("outcome");   // the window's first line
    QTest::addColumn<QString>("reason");    // the loss's reason, empty: no loss
    QTest::addColumn<QString>("box");       // the one message box, without a loss

    const QString transferLost = QStringLiteral("Связь с ЦУ-Л потеряна, передача файла прошивки прервана");
    const QString updateLost = QStringLiteral("Связь с ЦУ-Л потеряна во время обновления прошивки. "
                                              "Продолжил ли ЦУ-Л обновление, неизвестно");
    const QString closed = QStringLiteral("Хост 127.0.0.1 закрыл соединение");
    const QString silent = QStringLiteral("Устройство не отвечает на запросы");

    QTest::newRow("link closed, transfer") << LinkClosed << Transfer << transferLost << closed << QString();
    QTest::newRow("controller silent, transfer") << ControllerSilent << Transfer << transferLost << silent << QString();
    QTest::newRow("controller refuses, transfer")
        << ControllerRefuses << Transfer << QStringLiteral("Ошибка передачи файла прошивки в ЦУ-Л") << QString()
        << QStringLiteral("Ошибка передачи файла прошивки в ЦУ-Л");
    QTest::newRow("link closed, update") << LinkClosed << Update << updateLost << closed << QString();
    QTest::newRow("controller silent, update") << ControllerSilent << Update << updateLost << silent << QString();
    QTest::newRow("controller silent, restart after the update")
        << ControllerSilent << Restart << QStringLiteral("Обновление прошивки успешно завершено") << silent << QString();
    QTest::newRow("controller refuses, update")
        << ControllerRefuses << Update << QStringLiteral("Ошибка обновления прошивки") << QString()
        << QStringLiteral("Ошибка передачи прошивки из ЦУ-Л в модули");
}

void TestFirmwareEndings::endings()
{
    QFETCH(Ending, ending);
    QFETCH(Stage, stage);
    QFETCH(QString, outcome);
    QFETCH(QString, reason);
    QFETCH(QString, box);

    QVERIFY(openFirmwareWindow());
    LantrelClient *client = m_manager->client();
    auto end = [this, ending, stage]() {
        switch (ending) {
        case LinkClosed:
            m_fake->dropConnections();
            break;
        case ControllerSilent:
            m_fake->addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
            break;
        case ControllerRefuses:
            if (stage == Transfer)
                m_fake->addInjection(FakeInjection::exception(3, 21, -1));
            break;
        }
    };

    QSignalSpy stopped(client, &LantrelClient::driverStopped);
    QSignalSpy uploaded(client, &LantrelClient::firmwareUploaded);
    QSignalSpy updated(client, &LantrelClient::firmwareUpdated);
    bool hooked = false;
    QMetaObject::Connection hook;
    const auto unhook = qScopeGuard([&hook]() { QObject::disconnect(hook); });
    if (stage == Transfer) {
        // Once the image has begun to travel.
        hook = connect(m_fake.get(), &FakeController::requestReceived, m_fake.get(), [&hooked, &end](const FakeRequest &r) {
            if (r.function == 21 && !hooked) {
                hooked = true;
                end();
            }
        }, Qt::QueuedConnection);
        const QString path = m_files.filePath(QStringLiteral("loader.mcr"));
        QVERIFY(FirmwareTest::writeFile(path, FirmwareTest::makeFile(FirmwareTest::patternBody(32736), 191, 0x0102)));
        chooseFile(path);
    } else {
        QVERIFY(transferSensorFirmware());
        if (ending == ControllerRefuses)
            m_fake->failCommand(MOVE_PROG);
        // The client asks for the restart as soon as it tells the success.
        if (stage == Restart)
            hook = connect(client, &LantrelClient::firmwareUpdated, this, end);
        QTest::mouseClick(button("btnStartUpdateFirmware"), Qt::LeftButton);
        if (stage == Update)
            end();
    }

    // The client tells the end; a lost link also stops the driver.
    QSignalSpy &outcomes = stage == Transfer ? uploaded : updated;
    QVERIFY(outcomes.count() > 0 || outcomes.wait(20000));
    QCOMPARE(outcomes.first().first().toBool(), stage == Restart);
    if (!reason.isEmpty())
        QVERIFY(stopped.count() > 0 || stopped.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.isEmpty(), 10000);
    QTest::qWait(300);

    QVERIFY(m_firmware->findChild<QDialogButtonBox *>()->isEnabled());
    QVERIFY(!button("btnStartUpdateFirmware")->isEnabled());
    const QStringList lines = result().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), outcome);
    if (reason.isEmpty()) {
        QCOMPARE(m_boxes, QStringList {box});
        QVERIFY(client->hasDriver());
    } else {
        // After the update the window has nothing under way to lose.
        if (stage != Restart)
            QCOMPARE(lines.value(1), reason);
        QCOMPARE(m_boxes, QStringList {LossBox.arg(LineAddress).arg(reason)});
    }
    QVERIFY(!result().contains(QStringLiteral("прервано")));
    // Nothing is read again without a link.
    QVERIFY(!result().contains(QStringLiteral("будут прочитаны")));
}

QTEST_MAIN(TestFirmwareEndings)
#include "tst_firmwareendings.moc"
