// Driver commands, coil actions, module addressing and firmware transfer
// against the fake line controller.
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "drivertestsupport.h"

using namespace LantrelProtocol;

namespace {

using Rig = DriverTest::CommandRig;
using DriverTest::countRequests;

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString wireText(const FakeRequest &r)
{
    return QStringLiteral("%1:%2").arg(r.function, 2, 16, QLatin1Char('0')).arg(hex(r.data));
}

// The requests as "fc:payload", repeated reads collapsed into one.
QStringList wire(const QList<FakeRequest> &log)
{
    QStringList out;
    for (const FakeRequest &r : log) {
        const QString text = wireText(r);
        if (out.isEmpty() || out.last() != text)
            out << text;
    }
    return out;
}

bool logged(const QSignalSpy &spy, const QString &text)
{
    return DriverTest::texts(spy).contains(text);
}

QByteArray body(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 256) & 0xFF);
    return b;
}

} // namespace

class TestDriverCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void requestPayloads_data();
    void requestPayloads();
    void commandFailure_data();
    void commandFailure();
    void restoreRevertsAddress();
    void stopLinePolling_data();
    void stopLinePolling();
    void cancelledLinePollStop_data();
    void cancelledLinePollStop();
    void addressJob_data();
    void addressJob();
    void addressJobsInARow();
    void moduleSearch_data();
    void moduleSearch();
    void moduleReadings();
    void firmwareBodyRefused_data();
    void firmwareBodyRefused();
    void addressingMode();
    // started by initTestCase, checked last
    void firstPollDelays();
    void waitLimits();
    void restarts();
    void firmwareUpload();

private:
    void startLongRuns();

    QTemporaryDir m_dir;

    // Scenarios with long controller delays start in initTestCase, each on a
    // controller of its own, and run alongside the other tests.
    struct DelayCase {
        const char *name;
        int code;
        int param;
        int count;
        int delay;
    };
    QList<DelayCase> delayCases;
    std::vector<std::unique_ptr<Rig>> delayRigs;
    std::vector<std::unique_ptr<QSignalSpy>> delaySpies;
    std::unique_ptr<Rig> busy, neverReady, reboot, update, smallFw, largeFw, failingFw;
    std::unique_ptr<QSignalSpy> busyDone, busyLog, readyDone, readyLog;
    std::unique_ptr<QSignalSpy> rebootDone, rebootLost, rebootStatus;
    std::unique_ptr<QSignalSpy> updateCmd, updateDone, updateInfo, updateLost;
    std::unique_ptr<QSignalSpy> smallDone, largeDone, failingDone;
    QElapsedTimer restartTimer;
    QByteArray smallBody, largeBody;
};

void TestDriverCommands::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    DriverTest::setUpEnvironment(m_dir);
    startLongRuns();
}

void TestDriverCommands::cleanupTestCase()
{
    for (auto *spy : {&busyDone, &busyLog, &readyDone, &readyLog, &rebootDone, &rebootLost, &rebootStatus,
                      &updateCmd, &updateDone, &updateInfo, &updateLost, &smallDone, &largeDone, &failingDone})
        spy->reset();
    delaySpies.clear();
    delayRigs.clear();
    for (auto *rig : {&busy, &neverReady, &reboot, &update, &smallFw, &largeFw, &failingFw})
        rig->reset();
    DriverTest::tearDownEnvironment();
}

void TestDriverCommands::startLongRuns()
{
    // First poll delay by command code
    delayCases = {
        {"save to flash", WR_KONF_REG, 0, 63, 7000},
        {"restore from flash", RD_KONF_REG, 0, 63, 0},
        {"move settings", MOV_SETT_SECT, 0, 0, 9000},
        {"load firmware", LOAD_PROG, 0x0100, 300, 3500},
        {"move firmware", MOVE_PROG, 1, 0, 1800},
        {"save firmware target 1", SAVE_PROG, 1, 0, 200},
        {"save firmware target 5", SAVE_PROG, 5, 0, 500},
        {"line on/off", CMD_ONOF_LIN, 0, 0, 0},
    };
    for (const DelayCase &c : qAsConst(delayCases)) {
        delayRigs.emplace_back(new Rig);
        Rig &rig = *delayRigs.back();
        rig.fake.setCommandBusyTime(c.code, 50);
        QVERIFY2(rig.start(), c.name);
        delaySpies.emplace_back(new QSignalSpy(rig.driver.get(), &LantrelDriver::commandCompleted));
        if (c.code == WR_KONF_REG)
            rig.driver->saveConfigToFlash();
        else if (c.code == RD_KONF_REG)
            rig.driver->restoreConfigFromFlash();
        else
            rig.driver->executeCommand(ushort(c.code), ushort(c.param), ushort(c.count));
    }

    // A command block that stays busy after the write, and one that never
    // becomes ready
    busy.reset(new Rig);
    neverReady.reset(new Rig);
    busy->fake.setCommandBusyTime(CMD_ONOF_LIN, -1);
    QVERIFY(busy->start());
    QVERIFY(neverReady->start());
    neverReady->fake.setCommandState(STATE_BUSY);
    busyDone.reset(new QSignalSpy(busy->driver.get(), &LantrelDriver::commandCompleted));
    busyLog.reset(new QSignalSpy(busy->driver.get(), &LantrelDriver::writeToLog));
    readyDone.reset(new QSignalSpy(neverReady->driver.get(), &LantrelDriver::commandCompleted));
    readyLog.reset(new QSignalSpy(neverReady->driver.get(), &LantrelDriver::writeToLog));
    busy->driver->executeCommand(CMD_ONOF_LIN);
    neverReady->driver->executeCommand(CMD_ONOF_LIN);

    // Restart by coil 2, and the firmware update that restarts the
    // controller (SAVE_PROG to target 2)
    reboot.reset(new Rig);
    update.reset(new Rig);
    QVERIFY(reboot->start());
    QVERIFY(update->start());
    rebootDone.reset(new QSignalSpy(reboot->driver.get(), &LantrelDriver::rebootCompleted));
    rebootLost.reset(new QSignalSpy(reboot->driver.get(), &LantrelDriver::disconnected));
    rebootStatus.reset(new QSignalSpy(reboot->driver.get(), &LantrelDriver::controllerStatus));
    updateCmd.reset(new QSignalSpy(update->driver.get(), &LantrelDriver::commandCompleted));
    updateDone.reset(new QSignalSpy(update->driver.get(), &LantrelDriver::rebootCompleted));
    updateInfo.reset(new QSignalSpy(update->driver.get(), &LantrelDriver::controllerInfo));
    updateLost.reset(new QSignalSpy(update->driver.get(), &LantrelDriver::disconnected));
    restartTimer.start();
    reboot->driver->rebootController();
    update->driver->executeCommand(SAVE_PROG, 2);

    // Firmware bodies of 300 bytes, 70000 bytes (crosses into file 0x8001)
    // and 1000 bytes whose third chunk fails
    smallFw.reset(new Rig);
    largeFw.reset(new Rig);
    failingFw.reset(new Rig);
    QVERIFY(smallFw->start());
    QVERIFY(largeFw->start());
    QVERIFY(failingFw->start());
    FakeInjection inj = FakeInjection::exception(2, 21);
    inj.file = 0x8000;
    inj.record = 256;
    failingFw->fake.addInjection(inj);
    smallDone.reset(new QSignalSpy(smallFw->driver.get(), &LantrelDriver::firmwareUploadCompleted));
    largeDone.reset(new QSignalSpy(largeFw->driver.get(), &LantrelDriver::firmwareUploadCompleted));
    failingDone.reset(new QSignalSpy(failingFw->driver.get(), &LantrelDriver::firmwareUploadCompleted));
    smallBody = body(300);
    largeBody = body(70000);
    smallFw->driver->uploadFirmware(smallBody);
    largeFw->driver->uploadFirmware(largeBody);
    failingFw->driver->uploadFirmware(body(1000));
}

enum Action {
    SetDefaults,
    EraseFlash,
    ControllerSerial,
    ModuleSerial,
    ArmSensors,
    FwVersions,
    SupplyVoltages
};

void TestDriverCommands::requestPayloads_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<int>("emitted");
    QTest::addColumn<QStringList>("expected");

    const QString ready = QStringLiteral("03:00340001");
    const QString poll = QStringLiteral("03:00340004");

    QTest::newRow("set defaults") << int(SetDefaults) << QByteArray(SIGNAL(setDefaultsCompleted(bool))) << 1
                                  << QStringList{ready, "05:0003FF00", "01:00030001"};
    QTest::newRow("erase flash") << int(EraseFlash) << QByteArray(SIGNAL(eraseFlashCompleted(bool))) << 1
                                 << QStringList{ready, "05:0005FF00", "01:00050001"};
    QTest::newRow("controller serial") << int(ControllerSerial)
                                       << QByteArray(SIGNAL(commandCompleted(ushort,bool))) << 1
                                       << QStringList{"10:003C00050A07E704D20007010200C7"};
    // record 500 of file 10 names the module, file 27 carries the command
    QTest::newRow("module serial") << int(ModuleSerial) << QByteArray(SIGNAL(commandCompleted(ushort,bool))) << 1
                                   << QStringList{ready,
                                                  "15:2406000A01F40008" "45230100" "1100" "04" "000000000000000000"
                                                  "06001B00000003" "0063" "1100" "0000",
                                                  poll};
    QTest::newRow("arm sensors") << int(ArmSensors) << QByteArray(SIGNAL(commandCompleted(ushort,bool))) << 1
                                 << QStringList{ready, "10:00340004080000000C00050007", poll};
    QTest::newRow("firmware versions") << int(FwVersions) << QByteArray(SIGNAL(readCompleted(bool))) << 5
                                       << QStringList{"14:0706001E00000078", "14:0706001E00780078",
                                                      "14:0706001E00F00078", "14:0706001E01680078",
                                                      "14:0706001E01E00014"};
    QTest::newRow("supply voltages") << int(SupplyVoltages) << QByteArray(SIGNAL(readCompleted(bool))) << 5
                                     << QStringList{"14:0706001600000078", "14:0706001600780078",
                                                    "14:0706001600F00078", "14:0706001601680078",
                                                    "14:0706001601E00014"};
}

void TestDriverCommands::requestPayloads()
{
    QFETCH(int, action);
    QFETCH(QByteArray, signal);
    QFETCH(int, emitted);
    QFETCH(QStringList, expected);

    Rig rig;
    rig.fake.addLineModule({0x00012000, 17, SECT_ACC});
    QVERIFY(rig.start());
    LantrelDriver *d = rig.driver.get();
    QSignalSpy done(d, signal.constData());

    switch (action) {
    case SetDefaults: d->setDefaults(); break;
    case EraseFlash: d->eraseFlash(); break;
    case ControllerSerial: d->setControllerSerial(2023, 1234, 258); break;
    case ModuleSerial: d->setModuleAddressSerial(SECT_ACC, 0x00012345, 17, true); break;
    case ArmSensors: d->executeCommand(SEQRE_REM_SECT, 5, 7); break;
    case FwVersions: d->getModulesFwVersion(); break;
    case SupplyVoltages: d->getModulesSupplyVoltage(); break;
    }

    QTRY_COMPARE_WITH_TIMEOUT(done.count(), emitted, 10000);
    for (const QList<QVariant> &args : done)
        QVERIFY(args.last().toBool());
    QCOMPARE(wire(rig.fake.requestLog()), expected);
}

void TestDriverCommands::commandFailure_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("line on/off") << int(CMD_ONOF_LIN);
    QTest::newRow("addressing mode") << int(SET_KONF_SECT);
    QTest::newRow("module serial") << int(SET_MOD_SERIAL);
    QTest::newRow("supply voltage check") << int(RD_VOLT_SECT);
}

void TestDriverCommands::commandFailure()
{
    QFETCH(int, code);
    Rig rig;
    rig.fake.addLineModule({0x00012000, 17, SECT_ACC});
    QVERIFY(rig.start());
    rig.fake.failCommand(code, 5);
    LantrelDriver *d = rig.driver.get();
    QSignalSpy done(d, &LantrelDriver::commandCompleted);
    QSignalSpy monitoring(d, &LantrelDriver::monitoringStateChanged);

    if (code == SET_MOD_SERIAL)
        d->setModuleAddressSerial(SECT_ACC, 0x00012345, 17, true);
    else
        d->executeCommand(ushort(code));

    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    QTest::qWait(300);
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.first().at(0).value<ushort>(), ushort(code));
    QCOMPARE(done.first().at(1).toBool(), false);
    QCOMPARE(monitoring.count(), 0);
}

void TestDriverCommands::restoreRevertsAddress()
{
    // A controller-settings write moves the driver to a new line address; a
    // restore from flash takes it back to the saved one.
    Rig rig;
    QVERIFY(rig.start());
    LantrelDriver *d = rig.driver.get();
    QSignalSpy address(d, &LantrelDriver::deviceAddressChanged);
    QSignalSpy written(d, &LantrelDriver::writeCompleted);
    QSignalSpy done(d, &LantrelDriver::commandCompleted);

    Konfig_Device_t dev = rig.fake.record<Konfig_Device_t>(3, 0);
    dev.LineAddr = 9;
    d->setControllerConfig(QByteArray(64, 'b'), dev, rig.fake.record<ETH_konf_t>(4, 0),
                           rig.fake.record<Konfig_Line_t>(8, 0));
    QTRY_COMPARE_WITH_TIMEOUT(written.count(), 1, 5000);
    QCOMPARE(address.count(), 1);
    QCOMPARE(address.first().at(0).toInt(), 9);

    d->restoreConfigFromFlash();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(done.first().at(0).value<ushort>(), ushort(RD_KONF_REG));
    QVERIFY(done.first().at(1).toBool());
    QCOMPARE(address.count(), 2);
    QCOMPARE(address.last().at(0).toInt(), 1);
}

enum LineCase { LineOff, LineStops, LineKeepsPolling, LineReadFails };

void TestDriverCommands::stopLinePolling_data()
{
    QTest::addColumn<int>("lineCase");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("coilPulled");
    QTest::newRow("line already off") << int(LineOff) << true << false;
    QTest::newRow("line stops") << int(LineStops) << true << true;
    QTest::newRow("line keeps polling") << int(LineKeepsPolling) << false << true;
    QTest::newRow("line status read fails") << int(LineReadFails) << false << true;
}

void TestDriverCommands::stopLinePolling()
{
    QFETCH(int, lineCase);
    QFETCH(bool, ok);
    QFETCH(bool, coilPulled);

    Rig rig;
    QVERIFY(rig.start());
    // The driver has seen no line status yet (monitoring is off): the
    // decision must come from a line status read now.
    switch (lineCase) {
    case LineOff: {
        Status_Line_t off;
        off.State = LN_OFF;
        rig.fake.setLineStatus(off);
        break;
    }
    case LineKeepsPolling:
        rig.fake.setIgnoreLinePollStop(true);
        break;
    case LineReadFails: {
        FakeInjection inj = FakeInjection::exception(2, 20);
        inj.file = 7;
        inj.skip = 1;
        rig.fake.addInjection(inj);
        break;
    }
    default:
        break;
    }

    QSignalSpy stopped(rig.driver.get(), &LantrelDriver::linePollStopped);
    rig.driver->stopLinePolling();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 8000);
    QTest::qWait(200);
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(stopped.first().at(0).toBool(), ok);

    const QStringList sent = wire(rig.fake.requestLog());
    QCOMPARE(sent.first(), QStringLiteral("14:0706000700000002"));
    QCOMPARE(sent.contains("05:0001FF00"), coilPulled);
}

enum CancelPoint { BeforeLineRead, AtCoilWrite, DuringWait };

void TestDriverCommands::cancelledLinePollStop_data()
{
    QTest::addColumn<int>("cancelPoint");
    QTest::newRow("before the line status read") << int(BeforeLineRead);
    QTest::newRow("as the coil is written") << int(AtCoilWrite);
    QTest::newRow("while waiting for the line") << int(DuringWait);
}

void TestDriverCommands::cancelledLinePollStop()
{
    QFETCH(int, cancelPoint);

    // The controller takes the stop but the line takes minutes to get there.
    Rig rig;
    QVERIFY(rig.start());
    rig.fake.setLinePollStopMs(600000);
    const QString lineRead = QStringLiteral("14:0706000700000002");
    auto lineReads = [&rig, &lineRead]() {
        int n = 0;
        for (const FakeRequest &r : rig.fake.requestLog())
            n += wireText(r) == lineRead;
        return n;
    };
    if (cancelPoint == AtCoilWrite) {
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(&rig.fake, &FakeController::requestReceived, rig.driver.get(),
                                 [&rig, once](const FakeRequest &r) {
                                     if (wireText(r) != QStringLiteral("05:0001FF00"))
                                         return;
                                     QObject::disconnect(*once);
                                     rig.driver->cancelLinePollStop();
                                 });
    }
    QSignalSpy stopped(rig.driver.get(), &LantrelDriver::linePollStopped);
    rig.driver->stopLinePolling();
    if (cancelPoint == BeforeLineRead)
        rig.driver->cancelLinePollStop();
    if (cancelPoint == DuringWait) {
        QTRY_COMPARE_WITH_TIMEOUT(lineReads(), 2, 5000);
        rig.driver->cancelLinePollStop();
    }

    // No answer, and the line status is not read again for it every 1.8 s
    // (a re-read already queued may still go).
    const int readsAtCancel = lineReads();
    QTest::qWait(4000);
    QCOMPARE(stopped.count(), 0);
    QVERIFY2(lineReads() <= readsAtCancel + 1, qPrintable(QString::number(lineReads() - readsAtCancel)));
    QCOMPARE(wire(rig.fake.requestLog()).contains(QStringLiteral("05:0001FF00")), cancelPoint != BeforeLineRead);

    // A new stop starts afresh and is answered.
    rig.fake.setLinePollStopMs(300);
    rig.driver->stopLinePolling();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 8000);
}

enum JobCase { JobSuccess, JobTypeMismatch, JobUnknownSerial, JobEnableFails };

void TestDriverCommands::addressJob_data()
{
    QTest::addColumn<int>("jobCase");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("identified");
    QTest::newRow("success") << int(JobSuccess) << true << QString() << true;
    QTest::newRow("type mismatch") << int(JobTypeMismatch) << false << QString() << true;
    QTest::newRow("unknown serial") << int(JobUnknownSerial) << false
                                    << QStringLiteral("Команда WR_ADDR_SECT не выполнена") << false;
    QTest::newRow("identity enable fails") << int(JobEnableFails) << false
                                           << QStringLiteral("Команда CMD_EN_RID_ID не выполнена") << false;
}

void TestDriverCommands::addressJob()
{
    QFETCH(int, jobCase);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    QFETCH(bool, identified);

    Rig rig;
    rig.fake.addLineModule({0x00040001, 0, SECT_ACCI});
    QVERIFY(rig.start());
    if (jobCase == JobEnableFails)
        rig.fake.failCommand(CMD_EN_RID_ID, 3);

    QSignalSpy changed(rig.driver.get(), &LantrelDriver::moduleAddressChanged);
    QSignalSpy log(rig.driver.get(), &LantrelDriver::writeToLog);
    QSignalSpy found(rig.driver.get(), &LantrelDriver::sensorConfig);
    const quint32 serial = jobCase == JobUnknownSerial ? 0x00040999 : 0x00040001;
    const uchar type = jobCase == JobTypeMismatch ? SECT_ACC : SECT_ACCI;
    rig.driver->setModuleAddressSerial(type, serial, 42, false);

    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 5000);
    QTest::qWait(300);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toBool(), ok);
    QVERIFY(found.isEmpty());
    if (!text.isEmpty())
        QVERIFY(logged(log, text));

    bool sawIdentify = false;
    for (const FakeCommand &c : rig.fake.commands())
        sawIdentify = sawIdentify || c.code == REP_ID_SECT;
    QCOMPARE(sawIdentify, identified);
}

void TestDriverCommands::addressJobsInARow()
{
    // Two jobs queued at once, then a sensor table read: each job is judged
    // by its own expectations and no table page is taken as an answer.
    Rig rig;
    rig.fake.addLineModule({0x00040001, 0, SECT_ACCI});
    rig.fake.addLineModule({0x00040002, 0, SECT_ACC});
    QVERIFY(rig.start());

    QSignalSpy changed(rig.driver.get(), &LantrelDriver::moduleAddressChanged);
    QSignalSpy pages(rig.driver.get(), &LantrelDriver::sensorConfig);
    QSignalSpy reads(rig.driver.get(), &LantrelDriver::readCompleted);
    rig.driver->setModuleAddressSerial(SECT_ACCI, 0x00040001, 10, false);
    rig.driver->setModuleAddressSerial(SECT_ACC, 0x00040002, 11, false);
    rig.driver->getSensorsConfig();

    QTRY_COMPARE_WITH_TIMEOUT(reads.count(), 34, 10000);
    QCOMPARE(changed.count(), 2);
    QVERIFY(changed.at(0).at(0).toBool());
    QVERIFY(changed.at(1).at(0).toBool());
    for (const QList<QVariant> &args : pages)
        QVERIFY(args.at(0).value<ushort>() < 500);
    const QVector<FakeLineModule> modules = rig.fake.lineModules();
    QCOMPARE(modules.at(0).lineAddr, quint16(10));
    QCOMPARE(modules.at(1).lineAddr, quint16(11));
}

void TestDriverCommands::moduleSearch_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("readFault");   // on the read of the found module's record
    QTest::newRow("module answers") << true << int(FakeInjection::None);
    QTest::newRow("no module answers") << false << int(FakeInjection::None);
    QTest::newRow("record read refused") << true << int(FakeInjection::Exception);
    QTest::newRow("record read empty") << true << int(FakeInjection::ShortReply);
}

void TestDriverCommands::moduleSearch()
{
    QFETCH(bool, present);
    QFETCH(int, readFault);
    Rig rig;
    rig.fake.addLineModule({0x00050007, 23, SECT_MVV});
    if (readFault != FakeInjection::None) {
        // exception code 2, or the one record dropped
        const int param = readFault == FakeInjection::Exception ? 2 : 16;
        FakeInjection fault = FakeInjection::make(FakeInjection::Kind(readFault), 20, 1, param);
        fault.file = 10;
        fault.record = 500;
        rig.fake.addInjection(fault);
    }
    QVERIFY(rig.start());

    QSignalSpy changed(rig.driver.get(), &LantrelDriver::moduleAddressChanged);
    QSignalSpy found(rig.driver.get(), &LantrelDriver::sensorConfig);
    rig.driver->getModuleAddress(present ? 0x00050007 : 0x00050008);

    QTRY_COMPARE_WITH_TIMEOUT(changed.count() + found.count(), 1, 5000);
    QTest::qWait(300);
    QCOMPARE(changed.count() + found.count(), 1);
    if (readFault != FakeInjection::None) {
        // The search owes its caller an answer: exactly one "not found".
        QCOMPARE(changed.first().at(0).toBool(), false);
        return;
    }
    if (present) {
        QCOMPARE(found.first().at(0).value<ushort>(), ushort(500));
        const auto records = found.first().at(1).value<QVector<Konfig_Section_t>>();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().SerialNo, quint32(0x00050007));
        QCOMPARE(records.first().LineAddr, quint16(23));
        QCOMPARE(records.first().DeviceType, quint8(SECT_MVV));
    } else {
        QCOMPARE(changed.first().at(0).toBool(), false);
    }
    // CMD_EN_RID_ID, then REP_ID_SECT, both through file 27
    QList<int> codes;
    for (const FakeCommand &c : rig.fake.commands())
        codes << c.code;
    QCOMPARE(codes, (QList<int>{CMD_EN_RID_ID, REP_ID_SECT}));
}

void TestDriverCommands::moduleReadings()
{
    Rig rig;
    for (int i = 0; i < 500; ++i) {
        rig.fake.setModuleValue(30, i, quint16(0x0100 + i));
        rig.fake.setModuleValue(22, i, quint16(12000 + i));
    }
    QVERIFY(rig.start());
    QSignalSpy versions(rig.driver.get(), &LantrelDriver::modulesFwVersion);
    QSignalSpy voltages(rig.driver.get(), &LantrelDriver::modulesSupplyVoltage);
    QSignalSpy reads(rig.driver.get(), &LantrelDriver::readCompleted);
    rig.driver->getModulesFwVersion();
    rig.driver->getModulesSupplyVoltage();
    QTRY_COMPARE_WITH_TIMEOUT(reads.count(), 10, 5000);

    QVector<quint16> allVersions, allVoltages;
    for (int p = 0; p < 5; ++p) {
        QCOMPARE(versions.at(p).at(0).value<ushort>(), ushort(p * 120));
        QCOMPARE(voltages.at(p).at(0).value<ushort>(), ushort(p * 120));
        allVersions += versions.at(p).at(1).value<QVector<quint16>>();
        allVoltages += voltages.at(p).at(1).value<QVector<quint16>>();
    }
    QCOMPARE(allVersions.size(), 500);
    QCOMPARE(allVoltages.size(), 500);
    // The last page asks only for the 20 modules left.
    for (int file : {30, 22}) {
        const QList<FakeRequest> pages = rig.fake.requests(20, file);
        QCOMPARE(pages.size(), 5);
        QCOMPARE(pages.last().record(), 480);
        QCOMPARE(pages.last().length(), 20);
    }
    for (int i = 0; i < 500; ++i) {
        QCOMPARE(allVersions.at(i), quint16(0x0100 + i));
        QCOMPARE(allVoltages.at(i), quint16(12000 + i));
    }
}

void TestDriverCommands::firmwareBodyRefused_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("more than 65535 chunks") << 65535 * 128 + 1;
    QTest::newRow("16 MiB") << 16 * 1024 * 1024;
}

void TestDriverCommands::firmwareBodyRefused()
{
    QFETCH(int, size);
    Rig rig;
    QVERIFY(rig.start());
    QSignalSpy done(rig.driver.get(), &LantrelDriver::firmwareUploadCompleted);
    rig.driver->uploadFirmware(QByteArray(size, 'x'));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.first().at(0).toBool(), false);
    QTest::qWait(100);
    QCOMPARE(rig.fake.requests(21).size(), 0);
}

void TestDriverCommands::addressingMode()
{
    Rig rig;
    QVERIFY(rig.start());
    QSignalSpy done(rig.driver.get(), &LantrelDriver::commandCompleted);
    QSignalSpy monitoring(rig.driver.get(), &LantrelDriver::monitoringStateChanged);
    QSignalSpy found(rig.driver.get(), &LantrelDriver::sensorConfig);

    rig.driver->executeCommand(SET_KONF_SECT);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    QVERIFY(done.first().at(1).toBool());
    QCOMPARE(monitoring.count(), 1);
    QCOMPARE(monitoring.first().at(0).toBool(), false);

    QTest::qWait(1500);
    rig.fake.setMagnetModule({0x00060003, 7, SECT_ACC});
    QTRY_COMPARE_WITH_TIMEOUT(found.count(), 1, 3000);
    QCOMPARE(found.first().at(0).value<ushort>(), ushort(500));
    QCOMPARE(found.first().at(1).value<QVector<Konfig_Section_t>>().first().SerialNo, quint32(0x00060003));
    QTest::qWait(1500);
    QCOMPARE(found.count(), 1);   // the magnet answers once

    QList<qint64> times;
    for (const FakeRequest &r : rig.fake.requestLog()) {
        if (r.function == 16 && r.address == 52 && r.values.value(1) == REP_ID_SECT)
            times << r.timeMs;
    }
    QVERIFY2(times.size() >= 3, qPrintable(QString::number(times.size())));
    for (int i = 1; i < times.size(); ++i)
        QVERIFY2(times.at(i) - times.at(i - 1) >= 995,
                 qPrintable(QStringLiteral("identity commands %1 ms apart").arg(times.at(i) - times.at(i - 1))));

    // without the magnet sensor nothing is sent in the addressing mode
    rig.driver->enableUseMagneticSensor(false);
    QTest::qWait(100);
    rig.fake.clearLog();
    QTest::qWait(1500);
    QCOMPARE(rig.fake.requestLog().size(), 0);
}

void TestDriverCommands::firstPollDelays()
{
    QVERIFY(delayRigs.size() == size_t(delayCases.size()));
    for (size_t i = 0; i < delayRigs.size(); ++i)
        QTRY_VERIFY_WITH_TIMEOUT(delaySpies[i]->count() == 1, 20000);

    for (size_t i = 0; i < delayRigs.size(); ++i) {
        const DelayCase &c = delayCases.at(int(i));
        const QList<FakeRequest> log = delayRigs[i]->fake.requestLog();
        QSignalSpy &spy = *delaySpies[i];
        QCOMPARE(spy.first().at(0).value<ushort>(), ushort(c.code));
        QVERIFY2(spy.first().at(1).toBool(), c.name);

        // wait-ready read, write, polls
        const QStringList expected = {"03:00340001",
                                      QStringLiteral("10:0034000408%1%2%3%4")
                                              .arg(0, 4, 16, QLatin1Char('0'))
                                              .arg(c.code, 4, 16, QLatin1Char('0'))
                                              .arg(c.param, 4, 16, QLatin1Char('0'))
                                              .arg(c.count, 4, 16, QLatin1Char('0'))
                                              .toUpper(),
                                      "03:00340004"};
        QCOMPARE(wire(log), expected);

        int write = -1;
        for (int k = 0; k < log.size() && write < 0; ++k) {
            if (log.at(k).function == 16)
                write = k;
        }
        QVERIFY(write >= 0 && write + 1 < log.size());
        const qint64 gap = log.at(write + 1).timeMs - log.at(write).timeMs;
        QVERIFY2(gap >= c.delay - 5 && gap <= c.delay + 300,
                 qPrintable(QStringLiteral("%1: first poll after %2 ms").arg(c.name).arg(gap)));
    }
}

void TestDriverCommands::waitLimits()
{
    // 500 reads each, one failure, the limit texts
    QTRY_VERIFY_WITH_TIMEOUT(busyDone->count() == 1 && readyDone->count() == 1, 40000);
    QTest::qWait(200);

    QCOMPARE(busyDone->count(), 1);
    QCOMPARE(busyDone->first().at(0).value<ushort>(), ushort(CMD_ONOF_LIN));
    QCOMPARE(busyDone->first().at(1).toBool(), false);
    QCOMPARE(countRequests(busy->fake.requestLog(), 3, 52, 4), 500);
    QVERIFY(logged(*busyLog, QStringLiteral("Достигнут лимит повторов ожидания завершения выполнения команды")));

    QCOMPARE(readyDone->count(), 1);
    QCOMPARE(readyDone->first().at(1).toBool(), false);
    QCOMPARE(countRequests(neverReady->fake.requestLog(), 3, 52, 1), 500);
    QCOMPARE(countRequests(neverReady->fake.requestLog(), 16), 0);
    QVERIFY(logged(*readyLog, QStringLiteral("Достигнут лимит повторов ожидания готовности ЦУ-Л к выполнению команды")));
}

void TestDriverCommands::restarts()
{
    QTRY_COMPARE_WITH_TIMEOUT(updateCmd->count(), 1, 3000);
    QCOMPARE(updateCmd->first().at(0).value<ushort>(), ushort(SAVE_PROG));
    QVERIFY(updateCmd->first().at(1).toBool());

    QTRY_COMPARE_WITH_TIMEOUT(rebootDone->count(), 1, 15000);
    QVERIFY(rebootDone->first().at(0).toBool());
    QCOMPARE(rebootLost->count(), 0);
    // the zero records right after the coil write
    QVERIFY(!rebootStatus->isEmpty());
    QCOMPARE(rebootStatus->first().at(0).value<Status_Device_t>(), Status_Device_t());
    QTRY_VERIFY_WITH_TIMEOUT(!reboot->fake.coil(10), 3000);
    const QStringList rebootWire = wire(reboot->fake.requestLog());
    QCOMPARE(rebootWire.mid(0, 2), (QStringList{"03:00340001", "05:0002FF00"}));
    QVERIFY(rebootWire.contains("01:000A0001"));
    QCOMPARE(rebootWire.last(), QStringLiteral("05:000A0000"));
    QCOMPARE(reboot->fake.restartCount(), 1);
    // reconnected no earlier than 4 s after the coil write
    qint64 coilAt = -1, backAt = -1;
    for (const FakeRequest &r : reboot->fake.requestLog()) {
        if (r.function == 5 && r.address == 2)
            coilAt = r.timeMs;
        if (r.function == 1 && coilAt >= 0 && backAt < 0)
            backAt = r.timeMs;
    }
    QVERIFY2(backAt - coilAt >= 4000, qPrintable(QString::number(backAt - coilAt)));

    QTRY_COMPARE_WITH_TIMEOUT(updateDone->count(), 1, 15000);
    QVERIFY(updateDone->first().at(0).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(updateInfo->count(), 1, 3000);
    QCOMPARE(updateLost->count(), 0);
    const QList<FakeRequest> updateLog = update->fake.requestLog();
    const QStringList updateWire = wire(updateLog);
    // no completion poll: the write goes straight to the restart
    QCOMPARE(updateWire.mid(0, 2), (QStringList{"03:00340001", "10:00340004080000001A00020000"}));
    QVERIFY(!updateWire.contains("03:00340004"));
    QVERIFY(updateWire.contains("01:000A0001"));
    QVERIFY(updateWire.contains("03:00000008"));
    QVERIFY2(updateLog.at(2).timeMs - updateLog.at(1).timeMs >= 7000,
             qPrintable(QString::number(updateLog.at(2).timeMs - updateLog.at(1).timeMs)));
}

void TestDriverCommands::firmwareUpload()
{
    QTRY_COMPARE_WITH_TIMEOUT(largeDone->count(), 547, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(failingDone->count(), 3, 5000);
    QCOMPARE(smallDone->count(), 3);
    QCOMPARE(smallFw->fake.firmwareImage(), smallBody);
    QCOMPARE(largeFw->fake.firmwareImage(), largeBody);
    for (const QSignalSpy *spy : {smallDone.get(), largeDone.get()}) {
        for (const QList<QVariant> &args : *spy)
            QVERIFY(args.at(0).toBool());
    }

    const QList<FakeRequest> chunks = smallFw->fake.requests(21);
    QCOMPARE(chunks.size(), 3);
    QCOMPARE(hex(chunks.at(0).data.left(8)), QStringLiteral("8706800000000040"));
    QCOMPARE(hex(chunks.at(1).data.left(8)), QStringLiteral("8706800000800040"));
    QCOMPARE(hex(chunks.at(2).data.left(8)), QStringLiteral("3306800001000016"));
    QCOMPARE(chunks.at(2).data.mid(8), smallBody.mid(256));

    bool crossed = false;
    for (const FakeRequest &r : largeFw->fake.requests(21))
        crossed = crossed || (r.file() == 0x8001 && r.record() == 0);
    QVERIFY(crossed);

    QVERIFY(failingDone->at(0).at(0).toBool());
    QVERIFY(failingDone->at(1).at(0).toBool());
    QCOMPARE(failingDone->at(2).at(0).toBool(), false);
    // nothing after the failed chunk
    QTest::qWait(200);
    QCOMPARE(failingDone->count(), 3);
    QCOMPARE(failingFw->fake.requests(21).size(), 3);
}

QTEST_GUILESS_MAIN(TestDriverCommands)
#include "tst_drivercommands.moc"
