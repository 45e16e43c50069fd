// Firmware window opened from the main window, against the fake controller:
// how a transfer or an update ends when the link is closed, when the
// controller goes silent and when it refuses. The window keeps what happened
// and why; the installer gets one message box for it.

#include "appglobals.h"
#include "fakecontroller.h"
#include "firmwaretestsupport.h"
#include "firmwarewindowrig.h"
#include "lantrelclient.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTextDocumentFragment>
#include <QtTest>

using namespace FirmwareWindowTest;
using namespace LantrelProtocol;

namespace {

const QString LossBox = QStringLiteral("Связь с ЦУ-Л (адрес 127.0.0.1, линейный адрес %1) потеряна.\n%2");

enum Ending { LinkClosed, ControllerSilent, ControllerRefuses };
enum Stage { Transfer, Update, Restart };   // the restart that follows a module update

} // namespace

Q_DECLARE_METATYPE(Ending)
Q_DECLARE_METATYPE(Stage)

class TestFirmwareEndings : public QObject, public FirmwareWindowRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init();
    void cleanup();

    void endings_data();
    void endings();

private:
    bool transferSensorFirmware();
    QLabel *label(const char *name) const;
    QString result() const;
};

void TestFirmwareEndings::init()
{
    initFirmwareRig();
    // A silent controller is given up after three short time-outs.
    appSettings->setValue(QStringLiteral("Driver/ResponseTimeout"), 250);
    fake().setCommandBusyTime(MOVE_PROG, 200);
    fake().setCommandBusyTime(SAVE_PROG, 600);
}

void TestFirmwareEndings::cleanup()
{
    appSettings->remove(QStringLiteral("Driver/ResponseTimeout"));
    cleanupFirmwareRig();
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
            fake().dropConnections();
            break;
        case ControllerSilent:
            fake().addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
            break;
        case ControllerRefuses:
            if (stage == Transfer)
                fake().addInjection(FakeInjection::exception(3, 21, -1));
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
        hook = connect(&fake(), &FakeController::requestReceived, &fake(), [&hooked, &end](const FakeRequest &r) {
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
            fake().failCommand(MOVE_PROG);
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
    QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.asked.isEmpty(), 10000);
    QTest::qWait(300);

    QVERIFY(m_firmware->findChild<QDialogButtonBox *>()->isEnabled());
    QVERIFY(!button("btnStartUpdateFirmware")->isEnabled());
    const QStringList lines = result().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), outcome);
    if (reason.isEmpty()) {
        QCOMPARE(m_boxes.texts(), QStringList {box});
        QVERIFY(client->hasDriver());
    } else {
        // After the update the window has nothing under way to lose.
        if (stage != Restart)
            QCOMPARE(lines.value(1), reason);
        QCOMPARE(m_boxes.texts(), QStringList {LossBox.arg(LineAddress).arg(reason)});
    }
    QVERIFY(!result().contains(QStringLiteral("прервано")));
    // Nothing is read again without a link.
    QVERIFY(!result().contains(QStringLiteral("будут прочитаны")));
}

QTEST_MAIN(TestFirmwareEndings)
#include "tst_firmwareendings.moc"
