// Command workflows of LantrelClient: which request each command slot makes,
// which task it announces, and how the results come back to the windows.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include "clienttestsupport.h"
#include "controllerconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "lantreldriver.h"
#include "linemodulesmodel.h"
#include "sensorsconfigmodel.h"

using namespace LantrelProtocol;
using namespace ClientTest;

using Call = std::function<void(LantrelClient &)>;
Q_DECLARE_METATYPE(Call)

namespace {
// Serial numbers as the modules carry them: running number and year - 20.
constexpr quint32 serialOf(quint32 year, quint32 number) { return ((year - 20) << 18) | number; }
const quint32 SerialA = serialOf(25, 1234);   // "1234.25"
const quint32 SerialB = serialOf(26, 777);    // "777.26"

QString flag(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

// Everything a window could wait for, in the order it came.
struct Events
{
    QStringList all;
    QList<QPair<QString, int>> started;
    QList<QPair<int, bool>> steps;
    QStringList errors;
    QStringList log;
    int datasets = 0;

    explicit Events(LantrelClient &c)
    {
        auto add = [this](const QString &s) { all << s; };
        QObject::connect(&c, &LantrelClient::taskStarted, [this, add](const QString &t, ushort n) {
            started.append({t, n});
            add(QStringLiteral("task(%1,%2)").arg(t).arg(n));
        });
        QObject::connect(&c, &LantrelClient::taskCompleted, [this, add](ushort n, bool ok) {
            steps.append({n, ok});
            add(QStringLiteral("step(%1)").arg(flag(ok)));
        });
        QObject::connect(&c, &LantrelClient::clientError, [this, add](const QString &t) {
            errors << t;
            add(QStringLiteral("error(%1)").arg(t));
        });
        QObject::connect(&c, &LantrelClient::writeToLog, [this](const QString &t) { log << t; });
        QObject::connect(&c, &LantrelClient::datasetChanged, [this, add]() {
            ++datasets;
            add(QStringLiteral("datasetChanged"));
        });
        QObject::connect(&c, &LantrelClient::addressModeStarted,
                         [add](bool b) { add(QStringLiteral("addressModeStarted(%1)").arg(flag(b))); });
        QObject::connect(&c, &LantrelClient::moduleAddressChanged,
                         [add](bool b) { add(QStringLiteral("moduleAddressChanged(%1)").arg(flag(b))); });
        QObject::connect(&c, &LantrelClient::linePollStopped,
                         [add](bool b) { add(QStringLiteral("linePollStopped(%1)").arg(flag(b))); });
        QObject::connect(&c, &LantrelClient::controllerSerialChanged,
                         [add](bool b) { add(QStringLiteral("controllerSerialChanged(%1)").arg(flag(b))); });
        QObject::connect(&c, &LantrelClient::firmwareUpdated,
                         [add](bool b) { add(QStringLiteral("firmwareUpdated(%1)").arg(flag(b))); });
        QObject::connect(&c, &LantrelClient::firmwareUploaded,
                         [add](bool b) { add(QStringLiteral("firmwareUploaded(%1)").arg(flag(b))); });
        QObject::connect(&c, &LantrelClient::deviceRebooted, [add]() { add(QStringLiteral("deviceRebooted")); });
        QObject::connect(&c, &LantrelClient::foundLineModule, [add](ushort a, uint s, uchar t) {
            add(QStringLiteral("found(%1,%2,%3)").arg(a).arg(s).arg(t));
        });
    }
    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &s : all)
            n += s.startsWith(prefix) ? 1 : 0;
        return n;
    }
};

QString task(const QString &text, int steps = 0) { return QStringLiteral("task(%1,%2)").arg(text).arg(steps); }
QString error(const QString &text) { return QStringLiteral("error(%1)").arg(text); }
}

class TestClientCommands : public QObject
{
    Q_OBJECT

    QTemporaryDir dataDir;

    static QList<FakeRequest> writes(FakeController &fake, int function, int address)
    {
        QList<FakeRequest> out;
        for (const FakeRequest &r : fake.requests(function))
            if (r.address == address)
                out << r;
        return out;
    }

private slots:
    void initTestCase() { setUpQuietEnvironment(dataDir, this); }

    // ---------------------------------------------------------------- offline

    void nothingWithoutController()
    {
        LantrelClient client;
        Events ev(client);
        client.readControllerInfo();
        client.setVoltageMeasurementMode(true);
        client.checkModulesFwVersion();
        client.readModulesFwVersion();
        client.restoreConfigFromFlash();
        client.rebootController();
        client.findLineModules();
        client.eraseFlash();
        client.setControllerDefaults();
        client.setModulesDefaults();
        client.setModulesDefaults(7);
        client.setModulesDefaults(7, 3);
        client.setAddressingMode(true, true);
        client.getModuleAddress(SerialA);
        client.setModuleAddressSerial(SECT_ACC, SerialA, 12, false);
        client.setModuleAddressSerial(SECT_ACC, SerialA, 12, true);
        client.setControllerSerial(2024, 77, 0x0102);
        client.switchLineState();
        client.stopLinePolling();
        client.startRemoteControl();
        client.clearEvents();
        client.calibrateModules();
        client.checkModulesSupplyVoltage();
        client.changeArmedState(SECT_ACC, 0, 0, true);
        client.changeRelayState(SECT_MVV, 1, 1, true);
        client.disableModule(5, 1);
        client.uploadFirmware(3, QByteArray(300, 'x'));
        client.updateFirmware();
        QTest::qWait(50);
        QVERIFY2(ev.all.isEmpty(), qPrintable(ev.all.join(QLatin1Char('\n'))));
    }

    // Results as the driver reports them, straight into the client's handlers.
    void resultsBecomeSignals_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("expected");

        auto cmd = [](const char *name, int code, bool ok, const QStringList &expected) {
            QTest::newRow(name) << QStringLiteral("onCommandCompleted") << code << ok << expected;
        };
        auto other = [](const char *name, const char *handler, bool ok, const QStringList &expected) {
            QTest::newRow(name) << QString::fromLatin1(handler) << -1 << ok << expected;
        };
        const QString ok = QStringLiteral("step(true)");
        const QString failed = QStringLiteral("step(false)");

        cmd("addressing on", SET_KONF_SECT, true, {ok, QStringLiteral("addressModeStarted(true)")});
        cmd("addressing refused", SET_KONF_SECT, false,
            {failed, QStringLiteral("addressModeStarted(false)"), error(QStringLiteral("Ошибка установки режима конфигурирования линии"))});
        cmd("line upload failed", MOV_SETT_SECT, false,
            {failed, error(QStringLiteral("Ошибка передачи параметров конфигурации в линейные модули"))});
        cmd("flash save", WR_KONF_REG, true, {ok});
        cmd("flash save failed", WR_KONF_REG, false, {failed, error(QStringLiteral("Ошибка сохранения конфигурации ИОП"))});
        cmd("restore failed", RD_KONF_REG, false, {failed, error(QStringLiteral("Ошибка восстановления конфигурации"))});
        cmd("arm loop refused", SEQRE_REM_MVV, false,
            {failed, error(QStringLiteral("Отказ в постановке на охрану шлейфа ПС-Л. Проверьте состояние шлейфа"))});
        cmd("arm loop", SEQRE_REM_MVV, true, {ok});
        cmd("disarm loop failed", SEQRE_SET_MVV, false, {failed, error(QStringLiteral("Ошибка выполнения команды"))});
        cmd("arm sensors failed", SEQRE_REM_SECT, false, {failed, error(QStringLiteral("Ошибка выполнения команды"))});
        cmd("search failed", RD_SETT_SECT, false,
            {failed, error(QStringLiteral("Ошибка выполнения команды поиска линейных модулей"))});
        cmd("supply voltage", RD_VOLT_SECT, true,
            {ok, task(QStringLiteral("Чтение напряжения питания на входе модулей..."), 5)});
        cmd("supply voltage failed", RD_VOLT_SECT, false,
            {failed, error(QStringLiteral("Ошибка выполнения команды контроля напряжения питания на входе модулей"))});
        cmd("module restart failed", RESET_SECT, false,
            {failed, error(QStringLiteral("Ошибка выполнения команды перезапуска модуля"))});
        cmd("remote control failed", SET_CMD_DC, false,
            {failed, error(QStringLiteral("Ошибка выполнения команды дистанционного контроля"))});
        cmd("prepare upload failed", LOAD_PROG, false,
            {failed, QStringLiteral("firmwareUploaded(false)"), error(QStringLiteral("Ошибка подготовки ЦУ-Л к приему прошивки"))});
        cmd("unpack", MOVE_PROG, true, {ok, task(QStringLiteral("Обновление прошивки ЦУ-Л..."))});
        cmd("unpack failed", MOVE_PROG, false,
            {failed, failed, QStringLiteral("firmwareUpdated(false)"), error(QStringLiteral("Ошибка распаковки файла прошивки"))});
        cmd("firmware saved", SAVE_PROG, true, {ok, QStringLiteral("firmwareUpdated(true)")});
        cmd("firmware save failed", SAVE_PROG, false,
            {failed, QStringLiteral("firmwareUpdated(false)"), error(QStringLiteral("Ошибка обновления прошивки"))});
        cmd("versions failed", RD_SECT_VER, false,
            {failed, error(QStringLiteral("Ошибка выполнения команды запроса версий линейных модулей"))});
        cmd("line switch failed", CMD_ONOF_LIN, false,
            {failed, error(QStringLiteral("Ошибка выполнения процедуры переключения состояния линии связи"))});
        cmd("module defaults failed", SET_MOD_DEF, false,
            {failed, error(QStringLiteral("Ошибка выполнения процедуры восстановления параметров модулей к значениям по умолчанию"))});
        cmd("module serial", SET_MOD_SERIAL, true, {ok, task(QStringLiteral("Перезапуск модуля..."))});
        cmd("controller serial", SET_CTRL_SERIAL, true, {ok, QStringLiteral("controllerSerialChanged(true)")});
        cmd("controller serial failed", SET_CTRL_SERIAL, false,
            {failed, QStringLiteral("controllerSerialChanged(false)"),
             error(QStringLiteral("Ошибка выполнения команды установки серийного номера ЦУ-Л"))});
        cmd("disable failed", CMD_MOD_OFF, false, {failed, error(QStringLiteral("Ошибка выполнения команды"))});
        cmd("clear events", CMD_CLR_EVENTS, true, {ok});
        cmd("unknown code failed", 200, false, {failed, error(QStringLiteral("Ошибка выполнения команды"))});

        other("defaults failed", "onSetDefaultsCompleted", false,
              {failed, error(QStringLiteral("Ошибка выполнения команды восстановления параметров ЦУ-Л по умолчанию"))});
        other("defaults", "onSetDefaultsCompleted", true, {ok});
        other("address set", "onModuleAddressChanged", true, {ok, QStringLiteral("moduleAddressChanged(true)")});
        other("address failed, no job", "onModuleAddressChanged", false,
              {failed, error(QStringLiteral("Ошибка выполнения процедуры установки линейного адреса 0 для модуля с серийным номером ")),
               QStringLiteral("moduleAddressChanged(false)")});
        other("restart failed", "onRebootCompleted", false,
              {failed, error(QStringLiteral("Ошибка выполнения команды перезапуска ЦУ-Л"))});
        other("restart", "onRebootCompleted", true, {ok, QStringLiteral("deviceRebooted")});
        other("line stop failed", "onLinePollStopped", false,
              {failed, error(QStringLiteral("Ошибка выполнения процедуры остановки чтения линии")),
               QStringLiteral("linePollStopped(false)")});
        other("line stopped", "onLinePollStopped", true, {ok, QStringLiteral("linePollStopped(true)")});
        other("erase failed", "onEraseFlashCompleted", false,
              {failed, error(QStringLiteral("Ошибка выполнения команды очистки установок в энергонезависимой памяти ЦУ-Л"))});
    }

    void resultsBecomeSignals()
    {
        QFETCH(QString, handler);
        QFETCH(int, code);
        QFETCH(bool, ok);
        QFETCH(QStringList, expected);
        LantrelClient client;
        Events ev(client);
        const QByteArray name = handler.toLatin1();
        if (code >= 0)
            QVERIFY(QMetaObject::invokeMethod(&client, name.constData(), Q_ARG(ushort, ushort(code)), Q_ARG(bool, ok)));
        else
            QVERIFY(QMetaObject::invokeMethod(&client, name.constData(), Q_ARG(bool, ok)));
        QTest::qWait(20);
        QCOMPARE(ev.all, expected);
    }

    void commandResultsAreLogged_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("flash save") << int(WR_KONF_REG) << true
                                    << QStringList{QStringLiteral("Команда WR_KONF_REG успешно выполнена"),
                                                   QStringLiteral("Сохранение конфигурации ИОП завершено успешно")};
        QTest::newRow("addressing failed") << int(SET_KONF_SECT) << false
                                           << QStringList{QStringLiteral("Команда SET_KONF_SECT не выполнена")};
        QTest::newRow("firmware saved") << int(SAVE_PROG) << true
                                        << QStringList{QStringLiteral("Команда SAVE_PROG успешно выполнена"),
                                                       QStringLiteral("Обновление прошивки успешно завершено")};
        QTest::newRow("code without a name") << 200 << false << QStringList{QStringLiteral("Команда  не выполнена")};
    }

    void commandResultsAreLogged()
    {
        QFETCH(int, code);
        QFETCH(bool, ok);
        QFETCH(QStringList, lines);
        LantrelClient client;
        Events ev(client);
        QVERIFY(QMetaObject::invokeMethod(&client, "onCommandCompleted", Q_ARG(ushort, ushort(code)), Q_ARG(bool, ok)));
        QCOMPARE(ev.log, lines);
    }

    void addressingModeStartsOnce()
    {
        LantrelClient client;
        Events ev(client);
        QVERIFY(!client.addressingMode());
        QVERIFY(QMetaObject::invokeMethod(&client, "onCommandCompleted", Q_ARG(ushort, ushort(SET_KONF_SECT)), Q_ARG(bool, true)));
        QVERIFY(client.addressingMode());
        // Later results while the mode is on only count and log.
        QVERIFY(QMetaObject::invokeMethod(&client, "onCommandCompleted", Q_ARG(ushort, ushort(SET_KONF_SECT)), Q_ARG(bool, true)));
        QVERIFY(QMetaObject::invokeMethod(&client, "onCommandCompleted", Q_ARG(ushort, ushort(SET_KONF_SECT)), Q_ARG(bool, false)));
        QCOMPARE(ev.count(QStringLiteral("addressModeStarted")), 1);
        QVERIFY(client.addressingMode());
        QCOMPARE(ev.steps.size(), 3);

        // The completed restart ends the mode; the next start is announced again.
        QVERIFY(QMetaObject::invokeMethod(&client, "onRebootCompleted", Q_ARG(bool, true)));
        QVERIFY(!client.addressingMode());
        QVERIFY(QMetaObject::invokeMethod(&client, "onCommandCompleted", Q_ARG(ushort, ushort(SET_KONF_SECT)), Q_ARG(bool, true)));
        QCOMPARE(ev.count(QStringLiteral("addressModeStarted(true)")), 2);
    }

    void lineUploadCopiesLoopModes()
    {
        LantrelClient client;
        auto *io = client.ioModulesConfigModel();
        auto *line = client.lineModulesModel();
        auto ioRow = [](quint16 addr, quint8 l1, quint8 l2) {
            IoModuleRecord r;
            r.lineAddress = addr;
            r.deviceType = SECT_MVV;
            r.loop1Mode = l1;
            r.loop2Mode = l2;
            return r;
        };
        QVERIFY(io->setModule(0, ioRow(30, 1, 2)));
        QVERIFY(io->setModule(1, ioRow(31, 0, 1)));
        for (quint16 addr : {30, 31, 40}) {
            LineModuleRecord m;
            m.lineAddress = addr;
            m.deviceType = SECT_MVV;
            line->setModule(m);
        }

        // A failed upload changes nothing.
        QVERIFY(QMetaObject::invokeMethod(&client, "onCommandCompleted", Q_ARG(ushort, ushort(MOV_SETT_SECT)), Q_ARG(bool, false)));
        QCOMPARE(line->moduleAt(30).loop1Mode, 3);

        QVERIFY(QMetaObject::invokeMethod(&client, "onCommandCompleted", Q_ARG(ushort, ushort(MOV_SETT_SECT)), Q_ARG(bool, true)));
        QCOMPARE(line->moduleAt(30).loop1Mode, 1);
        QCOMPARE(line->moduleAt(30).loop2Mode, 2);
        QCOMPARE(line->moduleAt(31).loop1Mode, 0);
        QCOMPARE(line->moduleAt(31).loop2Mode, 1);
        // Not in the I/O table: left alone.
        QCOMPARE(line->moduleAt(40).loop1Mode, 3);
        QCOMPARE(line->moduleAt(40).loop2Mode, 3);
    }

    void foundModuleInAddressingModeStartsNoStep()
    {
        LantrelClient client;
        Events ev(client);
        Konfig_Section_t found;
        found.SerialNo = SerialA;
        found.LineAddr = 45;
        found.DeviceType = SECT_ACC;
        QVERIFY(QMetaObject::invokeMethod(&client, "onSensorConfig", Q_ARG(ushort, 500),
                                          Q_ARG(QVector<LantrelProtocol::Konfig_Section_t>, {found})));
        QCOMPARE(ev.all, QStringList{QStringLiteral("found(45,%1,4)").arg(SerialA)});
        // Record 500 is a scratch record, never a sensor row.
        QCOMPARE(client.lineModulesModel()->moduleAt(45).deviceType, quint8(0));
    }

    // ------------------------------------------------------- with a controller

    // Slot -> command in the controller's command block -> task.
    void commandSlots_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("p1");
        QTest::addColumn<int>("p2");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("waitEnd");     // false: the controller takes seconds
        QTest::addColumn<QString>("nextText"); // follow-up task
        QTest::addColumn<int>("nextSteps");
        QTest::addColumn<int>("datasets");

        auto row = [](const char *name, Call call, int code, int p1, int p2, const QString &text, bool waitEnd = true,
                      const QString &nextText = QString(), int nextSteps = 0, int datasets = 0) {
            QTest::newRow(name) << call << code << p1 << p2 << text << waitEnd << nextText << nextSteps << datasets;
        };
        const QString armSensors = QStringLiteral("Постановка на охрану %1 ВТ-Л...");
        const QString disarmSensors = QStringLiteral("Снятие с охраны %1 ВТ-Л...");
        const QString armIo = QStringLiteral("Постановка на охрану %1 ПС-Л...");
        const QString disarmIo = QStringLiteral("Снятие с охраны %1 ПС-Л...");

        row("versions", [](LantrelClient &c) { c.checkModulesFwVersion(); }, RD_SECT_VER, 0, 0,
            QStringLiteral("Запрос версий прошивок модулей..."), true,
            QStringLiteral("Чтение версий прошивок модулей..."), 5);
        row("supply voltage", [](LantrelClient &c) { c.checkModulesSupplyVoltage(); }, RD_VOLT_SECT, 0, 0,
            QStringLiteral("Контроль напряжения питания на входе модулей..."), true,
            QStringLiteral("Чтение напряжения питания на входе модулей..."), 5);
        row("restore", [](LantrelClient &c) { c.restoreConfigFromFlash(); }, RD_KONF_REG, 0, 63,
            QStringLiteral("Восстановление конфигурации ИОП..."), true,
            QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л..."), 127, 1);
        row("module search", [](LantrelClient &c) { c.findLineModules(); }, RD_SETT_SECT, 0, 0,
            QStringLiteral("Поиск линейных модулей..."), false);
        // With nothing edited, no write goes first.
        row("flash save", [](LantrelClient &c) { c.saveConfigToFlash(); }, WR_KONF_REG, 0, 63,
            QStringLiteral("Сохранение конфигурации ИОП..."), false);
        row("line upload", [](LantrelClient &c) { c.uploadConfigToLine(); }, MOV_SETT_SECT, 0, 0,
            QStringLiteral("Передача параметров конфигурации в линейные модули..."), false);
        row("module defaults ()", [](LantrelClient &c) { c.setModulesDefaults(); }, SET_MOD_DEF, 0, 0,
            QStringLiteral("Восстановление параметров модулей по умолчанию..."), false);
        row("module defaults (7)", [](LantrelClient &c) { c.setModulesDefaults(7); }, SET_MOD_DEF, 7, 0,
            QStringLiteral("Восстановление параметров модулей по умолчанию..."), false);
        row("module defaults (7, 3)", [](LantrelClient &c) { c.setModulesDefaults(7, 3); }, SET_MOD_DEF, 7, 3,
            QStringLiteral("Восстановление параметров модулей по умолчанию..."), false);
        row("addressing mode", [](LantrelClient &c) { c.setAddressingMode(true, false); }, SET_KONF_SECT, 0, 0,
            QStringLiteral("Установка режима конфигурирования линии..."));
        row("line on/off", [](LantrelClient &c) { c.switchLineState(); }, CMD_ONOF_LIN, 0, 0,
            QStringLiteral("Включение/отключение линии связи с модулями..."));
        row("remote control", [](LantrelClient &c) { c.startRemoteControl(); }, SET_CMD_DC, 0, 0,
            QStringLiteral("Дистанционный контроль..."));
        row("clear events", [](LantrelClient &c) { c.clearEvents(); }, CMD_CLR_EVENTS, 0, 0,
            QStringLiteral("Очистка памяти событий..."));
        row("calibrate", [](LantrelClient &c) { c.calibrateModules(); }, SET_CORR, 0, 0,
            QStringLiteral("Калибровка значений питающего напряжения модулей..."));
        row("disable module", [](LantrelClient &c) { c.disableModule(17, 2); }, CMD_MOD_OFF, 17, 2,
            QStringLiteral("Отключение модуля..."));
        row("firmware upload", [](LantrelClient &c) { c.uploadFirmware(1, QByteArray(300, 'x')); }, LOAD_PROG,
            0x0100, 300, QStringLiteral("Подготовка ЦУ-Л к приему прошивки..."), false);

        row("arm all sensors", [](LantrelClient &c) { c.changeArmedState(SECT_ACC, 0, 0, true); },
            SEQRE_REM_SECT, 0, 0, armSensors.arg(QStringLiteral("всех")));
        row("disarm one sensor", [](LantrelClient &c) { c.changeArmedState(SECT_ACCI, 5, 1, false); },
            SEQRE_SET_SECT, 5, 1, disarmSensors.arg(QStringLiteral("одного")));
        row("arm sensor group", [](LantrelClient &c) { c.changeArmedState(SECT_ACC, 2, 250, true); },
            SEQRE_REM_SECT, 2, 250, armSensors.arg(QStringLiteral("группы")));
        row("arm loop 2", [](LantrelClient &c) { c.changeArmedState(SECT_MVV, 3, 2, true); },
            SEQRE_REM_MVV, 3, 2, armIo.arg(QStringLiteral("шлейф 2")));
        row("disarm loop 1", [](LantrelClient &c) { c.changeArmedState(SECT_MVV, 3, 1, false); },
            SEQRE_SET_MVV, 3, 1, disarmIo.arg(QStringLiteral("шлейф 1")));
        row("arm both loops", [](LantrelClient &c) { c.changeArmedState(SECT_MVV, 3, 0, true); },
            SEQRE_REM_MVV, 3, 0, armIo.arg(QStringLiteral("все шлейфы")));
        row("disarm all io", [](LantrelClient &c) { c.changeArmedState(SECT_MVV, 0, 9, false); },
            SEQRE_SET_MVV, 0, 9, disarmIo.arg(QStringLiteral("всех")));

        row("output on", [](LantrelClient &c) { c.changeRelayState(SECT_MVV, 4, 1, true); },
            SET_COIL_MOVV, 4, 1, QStringLiteral("Включение выхода  ПС-Л..."));
        row("outputs off", [](LantrelClient &c) { c.changeRelayState(SECT_MVV, 4, 25, false); },
            CLR_COIL_MOVV, 4, 25, QStringLiteral("Выключение выхода группы ПС-Л..."));
        row("protection auto", [](LantrelClient &c) { c.changeRelayState(SECT_MKZ, 4, 1, true); },
            ON_OUT_MKZ, 4, 1, QStringLiteral("Переключение ТЗ-Л в режим «Авто»..."));
        row("protection off", [](LantrelClient &c) { c.changeRelayState(SECT_MKZ, 4, 1, false); },
            OFF_OUT_MKZ, 4, 1, QStringLiteral("Отключение реле питания выходной линии ТЗ-Л..."));
    }

    void commandSlots()
    {
        QFETCH(Call, call);
        QFETCH(int, code);
        QFETCH(int, p1);
        QFETCH(int, p2);
        QFETCH(QString, text);
        QFETCH(bool, waitEnd);
        QFETCH(QString, nextText);
        QFETCH(int, nextSteps);
        QFETCH(int, datasets);

        Connected c;
        QVERIFY(connectToFake(c));
        Events ev(c.client);
        call(c.client);
        QCOMPARE(ev.started.value(0), qMakePair(text, 0));

        QVERIFY(waitFor([&]() { return !c.fake.commands().isEmpty(); }, 5000));
        const FakeCommand sent = c.fake.commands().first();
        QCOMPARE(sent.code, code);
        QCOMPARE(sent.param1, p1);
        QCOMPARE(sent.param2, p2);
        if (!waitEnd)
            return;

        QVERIFY(waitFor([&]() { return !ev.steps.isEmpty(); }));
        QCOMPARE(ev.steps.first(), qMakePair(0, true));
        if (nextText.isEmpty()) {
            QTest::qWait(100);
            QCOMPARE(ev.started.size(), 1);
        } else {
            QVERIFY(waitFor([&]() { return ev.steps.size() == 1 + nextSteps; }));
            QCOMPARE(ev.started.size(), 2);
            QCOMPARE(ev.started[1], qMakePair(nextText, nextSteps));
            QCOMPARE(ev.steps.last(), qMakePair(nextSteps, true));
        }
        QCOMPARE(ev.steps.size(), 1 + nextSteps);
        QTRY_COMPARE_WITH_TIMEOUT(ev.datasets, datasets, 2000);
        QVERIFY2(ev.errors.isEmpty(), qPrintable(ev.errors.join(QLatin1Char('\n'))));
        QCOMPARE(c.fake.commands().size(), 1);
    }

    // A finished module search reads the module tables again.
    void moduleSearchRereadsTheModules()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        Events ev(c.client);
        QVERIFY(QMetaObject::invokeMethod(&c.client, "onCommandCompleted", Q_ARG(ushort, ushort(RD_SETT_SECT)),
                                          Q_ARG(bool, true)));
        QVERIFY(waitFor([&]() { return ev.datasets == 1; }));
        QCOMPARE(ev.started.value(0), qMakePair(QStringLiteral("Чтение конфигурации модулей из ЦУ-Л..."), 125));
        QCOMPARE(ev.steps.size(), 1 + 125);
        QCOMPARE(ev.steps.last(), qMakePair(125, true));
        QVERIFY(ev.errors.isEmpty());
        QCOMPARE(c.client.sensorsConfigModel()->moduleAt(0).serialNumber, c.fake.sensors().at(0).SerialNo);
    }

    void outOfRangeArgumentsSendNothing()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        Events ev(c.client);
        c.client.changeArmedState(SECT_ACC, 5, 0, true);     // a first index without a count
        c.client.changeArmedState(SECT_ACCI, 1, 251, false); // group above 250
        c.client.changeArmedState(SECT_MKZ, 0, 0, true);     // no such arming
        c.client.changeArmedState(EXT_RELY, 0, 0, true);
        c.client.changeRelayState(SECT_MKZ, 4, 2, true);     // one protection module at a time
        c.client.changeRelayState(SECT_MVV, 0, 26, true);    // group above 25
        c.client.changeRelayState(SECT_MVV, 3, 0, false);    // no count
        c.client.changeRelayState(SECT_ACC, 1, 1, true);
        QTest::qWait(150);
        QVERIFY(ev.all.isEmpty());
        QVERIFY(c.fake.commands().isEmpty());
        QVERIFY(writes(c.fake, 16, 52).isEmpty());
    }

    void driverSlots_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("text");      // empty: no task
        QTest::addColumn<QStringList>("result"); // empty: not waited for

        QTest::newRow("identity") << Call([](LantrelClient &c) { c.readControllerInfo(); }) << 3 << 0 << QString()
                                  << QStringList();
        QTest::newRow("erase flash") << Call([](LantrelClient &c) { c.eraseFlash(); }) << 5 << 5
                                     << QStringLiteral("Очистка установок во флеш-памяти ЦУ-Л...")
                                     << QStringList{QStringLiteral("step(true)")};
        QTest::newRow("controller defaults") << Call([](LantrelClient &c) { c.setControllerDefaults(); }) << 5 << 3
                                             << QStringLiteral("Восстановление параметров ЦУ-Л по умолчанию...")
                                             << QStringList();
        QTest::newRow("restart") << Call([](LantrelClient &c) { c.rebootController(); }) << 5 << 2
                                 << QStringLiteral("Перезапуск ЦУ-Л...") << QStringList();
        QTest::newRow("stop line") << Call([](LantrelClient &c) { c.stopLinePolling(); }) << 5 << 1
                                   << QStringLiteral("Остановка чтения линии...")
                                   << QStringList{QStringLiteral("step(true)"), QStringLiteral("linePollStopped(true)")};
    }

    void driverSlots()
    {
        QFETCH(Call, call);
        QFETCH(int, function);
        QFETCH(int, address);
        QFETCH(QString, text);
        QFETCH(QStringList, result);

        Connected c;
        QVERIFY(connectToFake(c));
        Events ev(c.client);
        c.fake.clearLog();
        call(c.client);
        QVERIFY(waitFor([&]() { return !writes(c.fake, function, address).isEmpty(); }, 5000));
        if (text.isEmpty()) {
            QVERIFY(ev.started.isEmpty());
        } else {
            QCOMPARE(ev.started.value(0), qMakePair(text, 0));
        }
        if (result.isEmpty())
            return;
        QVERIFY(waitFor([&]() { return ev.all.size() == 1 + result.size(); }));
        QTest::qWait(100);
        QCOMPARE(ev.all.mid(1), result);
        QVERIFY(c.fake.commands().isEmpty());
    }

    void stopLinePollingFails()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        c.fake.setIgnoreLinePollStop(true);
        Events ev(c.client);
        QSignalSpy stopped(&c.client, &LantrelClient::linePollStopped);
        c.client.stopLinePolling();
        QVERIFY(stopped.wait(LongWaitMs));
        QCOMPARE(ev.all, (QStringList{task(QStringLiteral("Остановка чтения линии...")), QStringLiteral("step(false)"),
                                      error(QStringLiteral("Ошибка выполнения процедуры остановки чтения линии")),
                                      QStringLiteral("linePollStopped(false)")}));
    }

    void addressingModeAgainstController()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        Events ev(c.client);
        QSignalSpy started(&c.client, &LantrelClient::addressModeStarted);
        c.client.setAddressingMode(true, true);
        QVERIFY(started.wait(LongWaitMs));
        QCOMPARE(started.first().first().toBool(), true);
        QVERIFY(c.fake.addressingMode());

        // Asked again while the mode is on: a step, no second announcement.
        c.client.setAddressingMode(true, true);
        QVERIFY(waitFor([&]() { return ev.steps.size() == 2; }));
        QCOMPARE(ev.steps.last(), qMakePair(0, true));
        QCOMPARE(started.size(), 1);

        // A module that answers in the mode is reported with no task step.
        c.fake.setMagnetModule({SerialB, 0, SECT_ACCI});
        QSignalSpy found(&c.client, &LantrelClient::foundLineModule);
        QVERIFY(found.wait(LongWaitMs));
        QCOMPARE(found.first().at(1).toUInt(), SerialB);
        QCOMPARE(found.first().at(2).value<uchar>(), uchar(SECT_ACCI));
        QCOMPARE(ev.steps.size(), 2);
        QVERIFY(ev.errors.isEmpty());
    }

    void addressingModeRefused()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        c.fake.failCommand(SET_KONF_SECT);
        Events ev(c.client);
        QSignalSpy started(&c.client, &LantrelClient::addressModeStarted);
        c.client.setAddressingMode(true, false);
        QVERIFY(started.wait(LongWaitMs));
        QCOMPARE(ev.all, (QStringList{task(QStringLiteral("Установка режима конфигурирования линии...")),
                                      QStringLiteral("step(false)"), QStringLiteral("addressModeStarted(false)"),
                                      error(QStringLiteral("Ошибка установки режима конфигурирования линии"))}));
        QVERIFY(!c.client.addressingMode());
    }

    // A search by serial number ends with exactly one step, found or not.
    void moduleSearchEnds_data()
    {
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<QStringList>("expected");
        const QString text = QStringLiteral("Поиск модуля по серийному номеру...");
        QTest::newRow("found") << SerialA
                               << QStringList{task(text), QStringLiteral("step(true)"),
                                              QStringLiteral("found(45,%1,4)").arg(SerialA)};
        QTest::newRow("not on the line")
            << SerialB
            << QStringList{task(text), QStringLiteral("step(false)"),
                           error(QStringLiteral("Ошибка выполнения процедуры установки линейного адреса 0 для модуля с серийным номером 777.26")),
                           QStringLiteral("moduleAddressChanged(false)")};
    }

    void moduleSearchEnds()
    {
        QFETCH(quint32, serial);
        QFETCH(QStringList, expected);
        Connected c;
        QVERIFY(connectToFake(c));
        c.fake.setLineModules({{SerialA, 45, SECT_ACC}});
        Events ev(c.client);
        c.client.getModuleAddress(serial);
        QVERIFY(waitFor([&]() { return ev.all.size() >= expected.size(); }));
        QTest::qWait(300);
        QCOMPARE(ev.all, expected);
        QCOMPARE(ev.steps.first().first, 0);
        QVERIFY(!c.fake.commands().isEmpty());
        QCOMPARE(c.fake.commands().first().code, int(CMD_EN_RID_ID));
    }

    void moduleAddressAndSerial_data()
    {
        QTest::addColumn<quint8>("type");
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<quint16>("address");
        QTest::addColumn<bool>("setSerial");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<quint32>("finalSerial");  // of the module on the line
        QTest::addColumn<quint16>("finalAddress");

        const QString addrText = QStringLiteral("Установка линейного адреса модуля...");
        const QString serialText = QStringLiteral("Установка серийного номера модуля...");
        QTest::newRow("new address") << quint8(SECT_ACC) << SerialA << quint16(46) << false
                                     << QStringList{task(addrText), QStringLiteral("step(true)"),
                                                    QStringLiteral("moduleAddressChanged(true)")}
                                     << SerialA << quint16(46);
        QTest::newRow("address for a missing module")
            << quint8(SECT_ACC) << SerialB << quint16(46) << false
            << QStringList{task(addrText), QStringLiteral("step(false)"),
                           error(QStringLiteral("Ошибка выполнения процедуры установки линейного адреса 46 для ВТ-Л с серийным номером 777.26")),
                           QStringLiteral("moduleAddressChanged(false)")}
            << SerialA << quint16(45);
        QTest::newRow("new serial") << quint8(SECT_ACC) << SerialB << quint16(45) << true
                                    << QStringList{task(serialText), QStringLiteral("step(true)"),
                                                   task(QStringLiteral("Перезапуск модуля...")), QStringLiteral("step(true)")}
                                    << SerialB << quint16(45);
        QTest::newRow("serial on a free address")
            << quint8(SECT_MVV) << SerialB << quint16(60) << true
            << QStringList{task(serialText), QStringLiteral("step(false)"),
                           error(QStringLiteral("Ошибка выполнения команды установки серийного номера 777.26 для ПС-Л с линейным адресом 60"))}
            << SerialA << quint16(45);
        QTest::newRow("serial for an unnamed type")
            << quint8(9) << SerialB << quint16(45) << true
            << QStringList{task(serialText), QStringLiteral("step(false)"),
                           error(QStringLiteral("Ошибка выполнения команды установки серийного номера 777.26 для модуля с линейным адресом 45"))}
            << SerialA << quint16(45);
    }

    void moduleAddressAndSerial()
    {
        QFETCH(quint8, type);
        QFETCH(quint32, serial);
        QFETCH(quint16, address);
        QFETCH(bool, setSerial);
        QFETCH(QStringList, expected);
        QFETCH(quint32, finalSerial);
        QFETCH(quint16, finalAddress);

        Connected c;
        QVERIFY(connectToFake(c));
        c.fake.setLineModules({{SerialA, 45, SECT_ACC}});
        Events ev(c.client);
        c.client.setModuleAddressSerial(type, serial, address, setSerial);
        QVERIFY(waitFor([&]() { return ev.all.size() >= expected.size(); }));
        QTest::qWait(200);
        QCOMPARE(ev.all, expected);
        QCOMPARE(c.fake.lineModules().size(), 1);
        QCOMPARE(c.fake.lineModules().first().serial, finalSerial);
        QCOMPARE(c.fake.lineModules().first().lineAddr, finalAddress);
        if (setSerial && ev.errors.isEmpty()) {
            const QList<FakeCommand> cmds = c.fake.commands();
            QCOMPARE(cmds.size(), 2);
            QCOMPARE(cmds[0].code, int(SET_MOD_SERIAL));
            QCOMPARE(cmds[1].code, int(RESET_SECT));
        }
    }

    void controllerSerialRestartsAndRereads()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        c.fake.setRestartDelays(50, 200);
        Events ev(c.client);
        QSignalSpy rebooted(&c.client, &LantrelClient::deviceRebooted);
        c.client.setControllerSerial(2024, 77, 0x0102);
        QVERIFY(rebooted.wait(LongWaitMs));

        const QList<FakeRequest> serialWrites = writes(c.fake, 16, 60);
        QCOMPARE(serialWrites.size(), 1);
        QCOMPARE(serialWrites.first().values, (QVector<quint16>{2024, 77, 7, 0x0102, 199}));
        QCOMPARE(ev.all.mid(0, 5),
                 (QStringList{task(QStringLiteral("Изменение серийного номера ЦУ-Л...")), QStringLiteral("step(true)"),
                              QStringLiteral("controllerSerialChanged(true)"), task(QStringLiteral("Перезапуск ЦУ-Л...")),
                              QStringLiteral("step(true)")}));
        QCOMPARE(c.fake.restartCount(), 1);
        // The identity is read again after the restart.
        QTRY_COMPARE_WITH_TIMEOUT(c.client.controllerConfigModel()->info.serialNumber, QStringLiteral("77.2024"), 10000);
        QVERIFY(ev.errors.isEmpty());
    }

    void controllerSerialRefused()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        FakeInjection refuse = FakeInjection::exception(2, 16);
        refuse.address = 60;
        c.fake.addInjection(refuse);
        Events ev(c.client);
        QSignalSpy changed(&c.client, &LantrelClient::controllerSerialChanged);
        c.client.setControllerSerial(2024, 77, 0x0102);
        QVERIFY(changed.wait(LongWaitMs));
        QTest::qWait(100);
        QCOMPARE(ev.all, (QStringList{task(QStringLiteral("Изменение серийного номера ЦУ-Л...")), QStringLiteral("step(false)"),
                                      QStringLiteral("controllerSerialChanged(false)"),
                                      error(QStringLiteral("Ошибка выполнения команды установки серийного номера ЦУ-Л"))}));
        QCOMPARE(c.fake.restartCount(), 0);
    }

    // 70000 bytes: LOAD_PROG carries the type and the length, the transfer
    // counts 128-byte blocks and the module update 256-byte blocks.
    void firmwareBlockCounts()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        // The first chunk is refused, so the test does not wait for 547 of them.
        FakeInjection chunk = FakeInjection::exception(2, 21);
        chunk.file = FakeController::FirmwareFileFirst;
        c.fake.addInjection(chunk);
        Events ev(c.client);
        QSignalSpy uploaded(&c.client, &LantrelClient::firmwareUploaded);
        c.client.uploadFirmware(3, QByteArray(70000, '\x5a'));
        QVERIFY(uploaded.wait(LongWaitMs));

        QCOMPARE(c.fake.commands().size(), 1);
        QCOMPARE(c.fake.commands().first().code, int(LOAD_PROG));
        QCOMPARE(c.fake.commands().first().param1, 0x0301);
        QCOMPARE(c.fake.commands().first().param2, 4464);
        QCOMPARE(ev.all, (QStringList{task(QStringLiteral("Подготовка ЦУ-Л к приему прошивки...")), QStringLiteral("step(true)"),
                                      task(QStringLiteral("Передача файла прошивки в ЦУ-Л..."), 547),
                                      QStringLiteral("step(false)"), QStringLiteral("step(false)"),
                                      QStringLiteral("firmwareUploaded(false)"),
                                      error(QStringLiteral("Ошибка передачи файла прошивки в ЦУ-Л"))}));
        QCOMPARE(ev.steps.at(2), qMakePair(547, false));

        c.client.updateFirmware();
        QCOMPARE(ev.started.last(), qMakePair(QStringLiteral("Передача прошивки в модули..."), 274));
        QVERIFY(waitFor([&]() { return c.fake.commands().size() == 2; }, 5000));
        QCOMPARE(c.fake.commands().last().code, int(MOVE_PROG));
        QCOMPARE(c.fake.commands().last().param1, 3);
    }

    // Upload, unpack and save of a module firmware, end to end, up to the
    // restart that follows (restarts are covered with the serial number).
    void firmwareUpdateChain()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        c.fake.setCommandBusyTime(MOVE_PROG, 100);
        c.fake.setCommandBusyTime(SAVE_PROG, 100);
        Events ev(c.client);
        QByteArray body(300, '\0');
        for (int i = 0; i < body.size(); ++i)
            body[i] = char(i * 7);

        QSignalSpy uploaded(&c.client, &LantrelClient::firmwareUploaded);
        c.client.uploadFirmware(4, body);
        QVERIFY(uploaded.wait(LongWaitMs));
        QCOMPARE(uploaded.first().first().toBool(), true);
        QCOMPARE(c.fake.firmwareImage().left(body.size()), body);

        QSignalSpy updated(&c.client, &LantrelClient::firmwareUpdated);
        c.client.updateFirmware();
        QVERIFY(updated.wait(LongWaitMs));

        QStringList expected{task(QStringLiteral("Подготовка ЦУ-Л к приему прошивки...")), QStringLiteral("step(true)"),
                             task(QStringLiteral("Передача файла прошивки в ЦУ-Л..."), 3)};
        expected << QStringLiteral("step(true)") << QStringLiteral("step(true)") << QStringLiteral("step(true)")
                 << QStringLiteral("firmwareUploaded(true)")
                 << task(QStringLiteral("Передача прошивки в модули..."), 2);
        QCOMPARE(ev.all.mid(0, expected.size()), expected);
        // The unpack step (and any progress) is followed by the save and the restart.
        const QStringList rest = ev.all.mid(expected.size());
        const int save = rest.indexOf(task(QStringLiteral("Обновление прошивки модулей...")));
        QVERIFY2(save >= 1, qPrintable(rest.join(QLatin1Char('\n'))));
        QCOMPARE(rest.mid(save), (QStringList{task(QStringLiteral("Обновление прошивки модулей...")), QStringLiteral("step(true)"),
                                              QStringLiteral("firmwareUpdated(true)"), task(QStringLiteral("Перезапуск ЦУ-Л..."))}));
        QVERIFY(ev.errors.isEmpty());

        QList<int> codes;
        for (const FakeCommand &cmd : c.fake.commands())
            codes << cmd.code;
        QCOMPARE(codes, (QList<int>{LOAD_PROG, MOVE_PROG, SAVE_PROG}));
        QCOMPARE(c.fake.commands().at(0).param1, 0x0400);
        QCOMPARE(c.fake.commands().at(0).param2, 300);
        QCOMPARE(c.fake.commands().at(1).param1, 4);
        QCOMPARE(c.fake.commands().at(2).param1, 4);
    }
};

QTEST_GUILESS_MAIN(TestClientCommands)
#include "tst_clientcommands.moc"
