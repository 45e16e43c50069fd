// Command slots of the client against the fake line controller: the command
// each slot sends with its values, the task it announces, the follow-up task
// a success starts, and the signals and error texts of a failure.

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include "appglobals.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace {

using Call = std::function<void(LantrelClient &)>;

// The slots under test, by a name the data tables use.
const QMap<QString, Call> &calls()
{
    static const QMap<QString, Call> map = {
        {"checkModulesFwVersion", [](LantrelClient &c) { c.checkModulesFwVersion(); }},
        {"findLineModules", [](LantrelClient &c) { c.findLineModules(); }},
        {"setModulesDefaults()", [](LantrelClient &c) { c.setModulesDefaults(); }},
        {"setModulesDefaults(7)", [](LantrelClient &c) { c.setModulesDefaults(7); }},
        {"setModulesDefaults(7,3)", [](LantrelClient &c) { c.setModulesDefaults(7, 3); }},
        {"setAddressingMode", [](LantrelClient &c) { c.setAddressingMode(true, false); }},
        {"switchLineState", [](LantrelClient &c) { c.switchLineState(); }},
        {"startRemoteControl", [](LantrelClient &c) { c.startRemoteControl(); }},
        {"armAllSensors", [](LantrelClient &c) { c.changeArmedState(4, 0, 0, true); }},
        {"armOneSensor", [](LantrelClient &c) { c.changeArmedState(3, 5, 1, true); }},
        {"disarmSensorGroup", [](LantrelClient &c) { c.changeArmedState(3, 1, 5, false); }},
        {"armIoLoop2", [](LantrelClient &c) { c.changeArmedState(2, 3, 2, true); }},
        {"armIoLoop1", [](LantrelClient &c) { c.changeArmedState(2, 3, 1, true); }},
        {"disarmAllIo", [](LantrelClient &c) { c.changeArmedState(2, 0, 9, false); }},
        {"disarmIoAllLoops", [](LantrelClient &c) { c.changeArmedState(2, 4, 3, false); }},
        {"ioRelayOn", [](LantrelClient &c) { c.changeRelayState(2, 4, 1, true); }},
        {"ioRelaysOff", [](LantrelClient &c) { c.changeRelayState(2, 4, 3, false); }},
        {"scpAuto", [](LantrelClient &c) { c.changeRelayState(5, 4, 1, true); }},
        {"scpOff", [](LantrelClient &c) { c.changeRelayState(5, 4, 1, false); }},
        {"disableModule", [](LantrelClient &c) { c.disableModule(12, 3); }},
        {"checkModulesSupplyVoltage", [](LantrelClient &c) { c.checkModulesSupplyVoltage(); }},
        {"clearEvents", [](LantrelClient &c) { c.clearEvents(); }},
        {"calibrateModules", [](LantrelClient &c) { c.calibrateModules(); }},
        {"uploadFirmware", [](LantrelClient &c) { c.uploadFirmware(3, QByteArray(70000, 'x')); }},
        // Arguments out of range: nothing is sent.
        {"armSensorsFromRowAll", [](LantrelClient &c) { c.changeArmedState(4, 5, 0, true); }},
        {"disarmTooManySensors", [](LantrelClient &c) { c.changeArmedState(3, 1, 251, false); }},
        {"armRelayModule", [](LantrelClient &c) { c.changeArmedState(16, 0, 0, true); }},
        {"twoScpRelays", [](LantrelClient &c) { c.changeRelayState(5, 4, 2, true); }},
        {"tooManyIoRelays", [](LantrelClient &c) { c.changeRelayState(2, 0, 26, true); }},
        {"noIoRelay", [](LantrelClient &c) { c.changeRelayState(2, 1, 0, true); }},
        {"sensorRelay", [](LantrelClient &c) { c.changeRelayState(4, 1, 1, true); }},
    };
    return map;
}

} // namespace

class TestCommandWorkflows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void withoutControllerNothingRuns();
    void commandSlots_data();
    void commandSlots();
    void refusedArguments_data();
    void refusedArguments();
    void commandFailures_data();
    void commandFailures();
    void addressingModeStartsOnce();
    void moduleJobFailures_data();
    void moduleJobFailures();
    void moduleSearchEnds_data();
    void moduleSearchEnds();

private:
    bool connectToFake(LantrelClient &client);

    QTemporaryDir m_dir;
    FakeController *m_fake = nullptr;
    FakeTcpServer *m_server = nullptr;
};

void TestCommandWorkflows::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QVERIFY(m_dir.isValid());
    appSettings = new QSettings(m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat, this);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), false);
    appSettings->sync();
}

void TestCommandWorkflows::cleanup()
{
    delete m_server;
    m_server = nullptr;
    delete m_fake;
    m_fake = nullptr;
}

bool TestCommandWorkflows::connectToFake(LantrelClient &client)
{
    m_fake = new FakeController;
    m_fake->loadGeneratedConfiguration(3, QHostAddress(QStringLiteral("127.0.0.1")));
    m_fake->setRestartDelays(50, 200);
    // The commands' own durations tell nothing here.
    for (int code : {2, 12, 13, 14, 15, 16, 17, 19, 20, 23, 24, 28, 29, 30, 31, 32, 34, 37, 38})
        m_fake->setCommandBusyTime(code, 30);
    m_server = new FakeTcpServer(m_fake);
    if (!m_server->listen(QHostAddress(QStringLiteral("127.0.0.1")), 502))
        return false;
    QSignalSpy connected(&client, &LantrelClient::deviceConnected);
    client.connectToDevice(0, QStringLiteral("127.0.0.1"), 3);
    return connected.wait(10000);
}

void TestCommandWorkflows::withoutControllerNothingRuns()
{
    LantrelClient client;
    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    for (const Call &call : calls())
        call(client);
    client.rebootController();
    client.eraseFlash();
    client.setControllerDefaults();
    client.restoreConfigFromFlash();
    client.readModulesFwVersion();
    client.setControllerSerial(2024, 15, 0x0102);
    client.setModuleAddressSerial(4, 0x1234, 12, false);
    client.getModuleAddress(0x1234);
    client.stopLinePolling();
    client.updateFirmware();
    QTest::qWait(50);
    QCOMPARE(tasks.count(), 0);
    QCOMPARE(errors.count(), 0);
}

void TestCommandWorkflows::commandSlots_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("param1");
    QTest::addColumn<int>("param2");
    QTest::addColumn<QString>("followText");   // task started by the success, empty: none
    QTest::addColumn<int>("followSteps");
    QTest::addColumn<bool>("waitEnd");   // the driver polls some commands first after 3.5 s or 9 s

    QTest::newRow("module versions") << "checkModulesFwVersion" << "Запрос версий прошивок модулей..."
                                     << 30 << 0 << 0 << "Чтение версий прошивок модулей..." << 5 << true;
    QTest::newRow("module search") << "findLineModules" << "Поиск линейных модулей..."
                                   << 19 << 0 << 0 << "Чтение конфигурации модулей из ЦУ-Л..." << 125 << true;
    QTest::newRow("module defaults") << "setModulesDefaults()" << "Восстановление параметров модулей по умолчанию..."
                                     << 34 << 0 << 0 << "Перезапуск ЦУ-Л..." << 0 << true;
    QTest::newRow("module defaults from 7") << "setModulesDefaults(7)" << "Восстановление параметров модулей по умолчанию..."
                                            << 34 << 7 << 0 << "" << 0 << false;
    QTest::newRow("module defaults, 3 from 7") << "setModulesDefaults(7,3)" << "Восстановление параметров модулей по умолчанию..."
                                               << 34 << 7 << 3 << "" << 0 << false;
    QTest::newRow("addressing mode") << "setAddressingMode" << "Установка режима конфигурирования линии..."
                                     << 2 << 0 << 0 << "" << 0 << true;
    QTest::newRow("line on/off") << "switchLineState" << "Включение/отключение линии связи с модулями..."
                                 << 31 << 0 << 0 << "" << 0 << true;
    QTest::newRow("remote control") << "startRemoteControl" << "Дистанционный контроль..."
                                    << 23 << 0 << 0 << "" << 0 << true;
    QTest::newRow("arm all sensors") << "armAllSensors" << "Постановка на охрану всех ВТ-Л..."
                                     << 12 << 0 << 0 << "" << 0 << true;
    QTest::newRow("arm one sensor") << "armOneSensor" << "Постановка на охрану одного ВТ-Л..."
                                    << 12 << 5 << 1 << "" << 0 << true;
    QTest::newRow("disarm sensor group") << "disarmSensorGroup" << "Снятие с охраны группы ВТ-Л..."
                                         << 13 << 1 << 5 << "" << 0 << true;
    QTest::newRow("arm io loop 2") << "armIoLoop2" << "Постановка на охрану шлейф 2 ПС-Л..."
                                   << 14 << 3 << 2 << "" << 0 << true;
    QTest::newRow("arm io loop 1") << "armIoLoop1" << "Постановка на охрану шлейф 1 ПС-Л..."
                                   << 14 << 3 << 1 << "" << 0 << true;
    QTest::newRow("disarm all io") << "disarmAllIo" << "Снятие с охраны всех ПС-Л..."
                                   << 15 << 0 << 9 << "" << 0 << true;
    QTest::newRow("disarm io, all loops") << "disarmIoAllLoops" << "Снятие с охраны все шлейфы ПС-Л..."
                                          << 15 << 4 << 3 << "" << 0 << true;
    QTest::newRow("io relay on") << "ioRelayOn" << "Включение выхода  ПС-Л..."
                                 << 16 << 4 << 1 << "" << 0 << true;
    QTest::newRow("io relays off") << "ioRelaysOff" << "Выключение выхода группы ПС-Л..."
                                   << 17 << 4 << 3 << "" << 0 << true;
    QTest::newRow("scp auto") << "scpAuto" << "Переключение ТЗ-Л в режим «Авто»..."
                              << 28 << 4 << 1 << "" << 0 << true;
    QTest::newRow("scp off") << "scpOff" << "Отключение реле питания выходной линии ТЗ-Л..."
                             << 29 << 4 << 1 << "" << 0 << true;
    QTest::newRow("disable module") << "disableModule" << "Отключение модуля..."
                                    << 32 << 12 << 3 << "" << 0 << true;
    QTest::newRow("supply voltages") << "checkModulesSupplyVoltage" << "Контроль напряжения питания на входе модулей..."
                                     << 20 << 0 << 0 << "Чтение напряжения питания на входе модулей..." << 5 << true;
    QTest::newRow("clear events") << "clearEvents" << "Очистка памяти событий..."
                                  << 37 << 0 << 0 << "" << 0 << true;
    QTest::newRow("calibration") << "calibrateModules" << "Калибровка значений питающего напряжения модулей..."
                                 << 38 << 0 << 0 << "" << 0 << true;
    // 70000 bytes: 0x0301 (type 3, length bits 16-23), 4464 (bits 0-15); 547 chunks of 128.
    QTest::newRow("firmware upload") << "uploadFirmware" << "Подготовка ЦУ-Л к приему прошивки..."
                                     << 24 << 0x0301 << 4464 << "Передача файла прошивки в ЦУ-Л..." << 547 << true;
}

void TestCommandWorkflows::commandSlots()
{
    QFETCH(QString, call);
    QFETCH(QString, text);
    QFETCH(int, code);
    QFETCH(int, param1);
    QFETCH(int, param2);
    QFETCH(QString, followText);
    QFETCH(int, followSteps);
    QFETCH(bool, waitEnd);

    LantrelClient client;
    QVERIFY(connectToFake(client));
    m_fake->clearCommands();
    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    QSignalSpy completed(&client, &LantrelClient::taskCompleted);
    QSignalSpy errors(&client, &LantrelClient::clientError);

    calls().value(call)(client);
    QCOMPARE(tasks.count(), 1);
    QCOMPARE(tasks.first().at(0).toString(), text);
    QCOMPARE(tasks.first().at(1).value<ushort>(), ushort(0));

    QTRY_VERIFY_WITH_TIMEOUT(!m_fake->commands().isEmpty(), 10000);
    const QList<FakeCommand> commands = m_fake->commands();
    QCOMPARE(commands.first().code, code);
    QCOMPARE(commands.first().param1, param1);
    QCOMPARE(commands.first().param2, param2);
    if (!waitEnd) {
        client.shutdownDriver();
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(!completed.isEmpty(), 15000);
    // A task without a count reports its one step as 0 steps done.
    QCOMPARE(completed.first().at(0).value<ushort>(), ushort(0));
    QVERIFY(completed.first().at(1).toBool());
    QCOMPARE(errors.count(), 0);

    if (!followText.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(tasks.count() >= 2, 5000);
        QCOMPARE(tasks.at(1).at(0).toString(), followText);
        QCOMPARE(tasks.at(1).at(1).value<ushort>(), ushort(followSteps));
    } else {
        QTest::qWait(100);
        QCOMPARE(tasks.count(), 1);
    }
    client.shutdownDriver();
}

void TestCommandWorkflows::refusedArguments_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("sensors from a row, count 0") << "armSensorsFromRowAll";
    QTest::newRow("more than 250 sensors") << "disarmTooManySensors";
    QTest::newRow("arming a relay module") << "armRelayModule";
    QTest::newRow("two line-protection relays") << "twoScpRelays";
    QTest::newRow("more than 25 io relays") << "tooManyIoRelays";
    QTest::newRow("no io relay") << "noIoRelay";
    QTest::newRow("relay of a sensor") << "sensorRelay";
}

void TestCommandWorkflows::refusedArguments()
{
    QFETCH(QString, call);
    LantrelClient client;
    QVERIFY(connectToFake(client));
    m_fake->clearCommands();
    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    calls().value(call)(client);
    QTest::qWait(300);
    QCOMPARE(tasks.count(), 0);
    QVERIFY(m_fake->commands().isEmpty());
    client.shutdownDriver();
}

// Commands the driver first polls after 9 s (module search, module defaults)
// or 3.5 s (firmware upload) are left out to keep the run short.
void TestCommandWorkflows::commandFailures_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error");

    QTest::newRow("addressing mode") << "setAddressingMode" << 2 << "Ошибка установки режима конфигурирования линии";
    QTest::newRow("supply voltages") << "checkModulesSupplyVoltage" << 20
                                     << "Ошибка выполнения команды контроля напряжения питания на входе модулей";
    QTest::newRow("remote control") << "startRemoteControl" << 23 << "Ошибка выполнения команды дистанционного контроля";
    QTest::newRow("module versions") << "checkModulesFwVersion" << 30
                                     << "Ошибка выполнения команды запроса версий линейных модулей";
    QTest::newRow("line on/off") << "switchLineState" << 31 << "Ошибка выполнения процедуры переключения состояния линии связи";
    QTest::newRow("arming an io loop") << "armIoLoop1" << 14 << "Отказ в постановке на охрану шлейфа ПС-Л. Проверьте состояние шлейфа";
    QTest::newRow("clear events") << "clearEvents" << 37 << "Ошибка выполнения команды";
    QTest::newRow("disable module") << "disableModule" << 32 << "Ошибка выполнения команды";
}

void TestCommandWorkflows::commandFailures()
{
    QFETCH(QString, call);
    QFETCH(int, code);
    QFETCH(QString, error);

    LantrelClient client;
    QVERIFY(connectToFake(client));
    m_fake->failCommand(code);
    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    QSignalSpy completed(&client, &LantrelClient::taskCompleted);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy log(&client, &LantrelClient::writeToLog);
    QSignalSpy started(&client, &LantrelClient::addressModeStarted);

    calls().value(call)(client);
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 15000);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), error);
    QVERIFY(!completed.isEmpty());
    QVERIFY(!completed.first().at(1).toBool());
    bool logged = false;
    for (const QList<QVariant> &line : log)
        logged = logged || line.first().toString().endsWith(QStringLiteral(" не выполнена"));
    QVERIFY(logged);
    if (code == SET_KONF_SECT) {
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.first().first().toBool(), false);
        QVERIFY(!client.addressingMode());
    }
    // No follow-up task after a failure.
    QTest::qWait(100);
    QCOMPARE(tasks.count(), 1);
    client.shutdownDriver();
}

// Only the first successful start of the mode is announced.
void TestCommandWorkflows::addressingModeStartsOnce()
{
    LantrelClient client;
    QVERIFY(connectToFake(client));
    QSignalSpy started(&client, &LantrelClient::addressModeStarted);
    QSignalSpy completed(&client, &LantrelClient::taskCompleted);
    client.setAddressingMode(true, true);
    QVERIFY(started.wait(10000));
    QCOMPARE(started.first().first().toBool(), true);
    QVERIFY(client.addressingMode());
    client.setAddressingMode(true, true);
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 2, 10000);
    QTest::qWait(50);
    QCOMPARE(started.count(), 1);
    client.shutdownDriver();
}

void TestCommandWorkflows::moduleJobFailures_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("setSerial");
    QTest::addColumn<int>("failCode");   // 0: the driver refuses the type itself
    QTest::addColumn<QString>("error");

    const quint32 serial = (quint32(4) << 18) | 321;
    const QString text = serialNumberToString(serial);
    QTest::newRow("address of a sensor") << 4 << false << 3
        << QStringLiteral("Ошибка выполнения процедуры установки линейного адреса 12 для ВТ-Л с серийным номером %1").arg(text);
    QTest::newRow("address of an unnamed type") << 9 << false << 0
        << QStringLiteral("Ошибка выполнения процедуры установки линейного адреса 12 для модуля с серийным номером %1").arg(text);
    QTest::newRow("serial of an ir sensor") << 3 << true << 99
        << QStringLiteral("Ошибка выполнения команды установки серийного номера %1 для ВС-Л с линейным адресом 12").arg(text);
    QTest::newRow("serial of an unnamed type") << 9 << true << 0
        << QStringLiteral("Ошибка выполнения команды установки серийного номера %1 для модуля с линейным адресом 12").arg(text);
}

void TestCommandWorkflows::moduleJobFailures()
{
    QFETCH(int, type);
    QFETCH(bool, setSerial);
    QFETCH(int, failCode);
    QFETCH(QString, error);

    LantrelClient client;
    QVERIFY(connectToFake(client));
    if (failCode != 0)
        m_fake->failCommand(failCode);
    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy changed(&client, &LantrelClient::moduleAddressChanged);
    client.setModuleAddressSerial(uchar(type), (quint32(4) << 18) | 321, 12, setSerial);
    QCOMPARE(tasks.count(), 1);
    QCOMPARE(tasks.first().first().toString(), setSerial ? QStringLiteral("Установка серийного номера модуля...")
                                                         : QStringLiteral("Установка линейного адреса модуля..."));
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 10000);
    QCOMPARE(errors.first().first().toString(), error);
    if (!setSerial) {
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().toBool(), false);
    }
    client.shutdownDriver();
}

void TestCommandWorkflows::moduleSearchEnds_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("module answers") << true;
    QTest::newRow("no such module") << false;
}

// The search task ends either way, so the progress dialog never hangs.
void TestCommandWorkflows::moduleSearchEnds()
{
    QFETCH(bool, present);

    LantrelClient client;
    QVERIFY(connectToFake(client));
    const quint32 serial = (quint32(4) << 18) | 4321;
    if (present)
        m_fake->addLineModule({serial, 17, 4});
    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    QSignalSpy completed(&client, &LantrelClient::taskCompleted);
    QSignalSpy found(&client, &LantrelClient::foundLineModule);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    client.getModuleAddress(serial);
    QCOMPARE(tasks.count(), 1);
    QCOMPARE(tasks.first().first().toString(), QStringLiteral("Поиск модуля по серийному номеру..."));
    QTRY_VERIFY_WITH_TIMEOUT(!completed.isEmpty(), 15000);
    QCOMPARE(completed.first().at(1).toBool(), present);
    if (present) {
        QCOMPARE(found.count(), 1);
        QCOMPARE(found.first().at(0).value<ushort>(), ushort(17));
        QCOMPARE(found.first().at(1).value<uint>(), uint(serial));
        QCOMPARE(errors.count(), 0);
    } else {
        QCOMPARE(found.count(), 0);
        QCOMPARE(errors.count(), 1);
    }
    QTest::qWait(100);
    QCOMPARE(completed.count(), 1);
    client.shutdownDriver();
}

QTEST_GUILESS_MAIN(TestCommandWorkflows)
#include "tst_commandworkflows.moc"
