// Module table workflows of the client (add, move, update, delete, clear)
// over a configuration with every kind of module and interactions from
// sensors and input loops to I/O and relay-module executors: offline, where
// the client writes into its configuration document, and against the fake
// line controller, whose files must equal the models afterwards.

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

#include "clienttestsupport.h"
#include "configinvariants.h"
#include "configurationmanager.h"
#include "controllerconfigmodel.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelprotocol.h"
#include "linemodulesmodel.h"
#include "processingconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "texthelpers.h"

using namespace LantrelProtocol;
using namespace ConfigInvariants;

namespace {

// ---------------------------------------------------------------- fixture

struct SensorSpec { int address; int type; };
const QList<SensorSpec> fixtureSensors = {{10, 4}, {12, 3}, {20, 4}, {30, 3}, {40, 4}};
const QList<int> fixtureIo = {15, 25, 35, 45};
const QList<int> fixtureScp = {50, 60};

// Executor: an I/O module by its line address, or a relay module by number.
struct Link { int srcKind; int srcAddress; int srcLoop; int execType; int exec; int relay; int function; };

// In the controller's order: sensors by table row, then each I/O module's
// loop 1 and loop 2.
const QList<Link> fixtureLinks = {
    {1, 10, 0, 2, 35, 0, 0},
    {1, 10, 0, 16, 1, 3, 255},
    {1, 12, 0, 2, 15, 0, 255},
    {1, 20, 0, 2, 45, 0, 0},
    {1, 30, 0, 16, 2, 32, 7},
    {1, 40, 0, 2, 35, 0, 255},
    {2, 15, 1, 2, 45, 0, 0},
    {2, 25, 2, 2, 15, 0, 255},
    {2, 35, 1, 16, 1, 1, 0},
    {2, 35, 2, 2, 25, 0, 0},
    {2, 45, 1, 2, 45, 0, 255},
    {2, 45, 1, 2, 35, 0, 0},
};

quint32 serialFor(int address) { return (quint32(3) << 18) | quint32(1000 + address); }

// Every rule of the fixture is told apart by its threshold.
quint16 fixtureThreshold(int address) { return quint16(100 + address); }

constexpr quint16 ControllerMRef = 300;
constexpr quint8 ControllerNExc = 4;
constexpr quint8 ControllerRatio = 6;

struct FixtureRecords
{
    Konfig_Device_t device;
    ETH_konf_t network;
    Konfig_Line_t line;
    QMap<quint16, Konfig_Section_t> sensors;
    QMap<quint16, Konfig_MVV_t> io;
    QMap<quint16, Konfig_MKZ_t> scp;
    QMap<quint16, Konfig_Modul_t> relays;
    QMap<quint16, Konfig_Proc_t> processing;
    QMap<quint16, Control_Relay_t> interactions;
};

FixtureRecords fixtureRecords(quint8 ruleJP)
{
    FixtureRecords f;
    f.device.LineAddr = 3;
    f.device.MRef = ControllerMRef;
    f.device.NExc = ControllerNExc;
    f.device.Ratio = ControllerRatio;
    f.device.Range = 2;
    f.device.LPF = 3;
    f.device.HPF = 1;
    f.device.DAF = 1;
    f.device.RuleJP = ruleJP;
    f.device.CfgLoop = 0xF0;
    f.network.IPAddr = QHostAddress(QStringLiteral("127.0.0.1")).toIPv4Address();
    f.network.NetMask = 0xFF000000;
    f.line.SensorCount = quint16(fixtureSensors.size());
    f.line.IoCount = quint16(fixtureIo.size());
    f.line.ScpCount = quint16(fixtureScp.size());
    f.line.RelayCount = 2;
    f.line.LineMode = 1;

    auto refs = [](int kind, int address, int loop) {
        int n = 0;
        for (const Link &l : fixtureLinks)
            n += (l.srcKind == kind && l.srcAddress == address && l.srcLoop == loop) ? 1 : 0;
        return quint8(n);
    };

    for (int k = 0; k < 500; ++k) {
        Konfig_Section_t s;
        Konfig_Proc_t p;
        if (k < fixtureSensors.size()) {
            const SensorSpec spec = fixtureSensors.at(k);
            s.SerialNo = serialFor(spec.address);
            s.LineAddr = quint16(spec.address);
            s.DeviceType = quint8(spec.type);
            s.Range = 1;
            s.LPF = 2;
            s.HPF = 3;
            s.DAF = 0;
            if (spec.type == 3) {
                s.ThrIR = 55;
                s.NExcIR = 2;
                s.RuleJP = 9;
            }
            s.RefCount = refs(1, spec.address, 0);
            p.MRef = fixtureThreshold(spec.address);
            p.NExc = 5;
            p.SensLeft = -2;
            p.SensRight = 1;
            p.Ratio = 8;
        }
        f.sensors.insert(quint16(k), s);
        f.processing.insert(quint16(k), p);
    }
    for (int k = 0; k < 100; ++k) {
        Konfig_MVV_t r;
        if (k < fixtureIo.size()) {
            const int a = fixtureIo.at(k);
            r.SerialNo = serialFor(a);
            r.LineAddr = quint16(a);
            r.DeviceType = 2;
            r.CfgIO = quint8(0x50 | (k & 1) << 1);
            r.TSign = quint8(10 + k);
            r.RefCountL1 = refs(2, a, 1);
            r.RefCountL2 = refs(2, a, 2);
        }
        f.io.insert(quint16(k), r);
    }
    for (int k = 0; k < 32; ++k) {
        Konfig_MKZ_t r;
        if (k < fixtureScp.size()) {
            const int a = fixtureScp.at(k);
            r.SerialNo = serialFor(a);
            r.LineAddr = quint16(a);
            r.DeviceType = 5;
            r.ThrMin = quint16(16000 + k);
            r.ThrOff = 15000;
            r.ThrOn = 4000;
        }
        f.scp.insert(quint16(k), r);
    }
    for (int k = 0; k < 4; ++k) {
        Konfig_Modul_t m;
        std::memset(static_cast<void *>(&m), 0, sizeof(m));
        if (k < 2) {
            m.IPAddr = QHostAddress(QStringLiteral("10.0.0.%1").arg(20 + k)).toIPv4Address();
            m.Reserved4 = 502;
            m.Reserved6 = 2;
            m.Reserved9 = quint8(k + 1);
            m.LineAddr = quint8(49);
            for (int r = 0; r < 32; ++r) {
                m.Relays[r].RelayNum = quint8(r + 1);
                m.Relays[r].TSign = quint8(r + 2);
            }
        }
        f.relays.insert(quint16(k), m);
    }
    for (int k = 0; k < 4000; ++k) {
        Control_Relay_t c;
        if (k < fixtureLinks.size()) {
            const Link &l = fixtureLinks.at(k);
            c.DeviceType = quint8(l.execType);
            c.DestFunc = quint8(l.function);
            c.DestRef = l.execType == 2 ? quint16(fixtureIo.indexOf(l.exec) + 1)
                                        : quint16((l.exec << 8) | l.relay);
        }
        f.interactions.insert(quint16(k), c);
    }
    return f;
}

QList<InteractionKey> fixtureKeys()
{
    QList<InteractionKey> keys;
    for (const Link &l : fixtureLinks)
        keys.append({l.srcKind, l.srcAddress, l.srcLoop, l.execType, l.exec, l.relay, l.function});
    return keys;
}

// The fixture as a configuration file.
bool writeFixtureFile(const QString &path, quint8 ruleJP)
{
    const FixtureRecords f = fixtureRecords(ruleJP);
    ConfigurationManager doc;
    doc.newDocument();
    ControllerInfo info;
    info.deviceType = 7;
    info.serialNumber = QStringLiteral("1234.2023");
    info.boardVersion = QStringLiteral("1.02");
    info.firmwareVersion = QStringLiteral("3.05");
    info.firmwareDate = QStringLiteral("31.10.2022");
    doc.setControllerInfo(info);
    doc.setControllerConfig(QByteArray("Участок 1"), f.device, f.network, f.line);
    doc.setSensorsConfig(f.sensors);
    doc.setIoModulesConfig(f.io);
    doc.setScpModulesConfig(f.scp);
    doc.setRelayModulesConfig(f.relays);
    doc.setProcessingConfig(f.processing);
    doc.setInteractionsConfig(f.interactions);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && doc.writeDocument(&file);
}

bool loadFile(LantrelClient &client, const QString &path)
{
    QSignalSpy dataset(&client, &LantrelClient::datasetChanged);
    if (!client.loadConfigFile(path))
        return false;
    return dataset.wait(10000);
}

// ---------------------------------------------------------------- views of the models

// Everything the module workflows may touch, one line per row.
QStringList tablesDump(const LantrelClient &client, bool withLineSettings = true)
{
    QStringList out;
    const SensorsConfigModel *sm = client.sensorsConfigModel();
    for (int k = 0; k < 500; ++k) {
        const SensorModuleRecord r = sm->moduleAt(ushort(k));
        if (r.deviceType == 0 && r.lineAddress == 0)
            continue;
        out << QStringLiteral("S%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12 %13 %14 %15")
                   .arg(k).arg(r.lineAddress).arg(r.serialNumber).arg(r.serialNumberText)
                   .arg(r.deviceType).arg(r.deviceTypeName).arg(r.range).arg(r.lowPassFilter)
                   .arg(r.highPassFilter).arg(r.adaptiveFilter).arg(r.irThreshold)
                   .arg(r.irExceedCount).arg(r.rule).arg(r.waitTime).arg(r.refCount);
    }
    const IoModulesConfigModel *io = client.ioModulesConfigModel();
    for (int k = 0; k < 100; ++k) {
        const IoModuleRecord r = io->moduleAt(ushort(k));
        if (r.deviceType == 0 && r.lineAddress == 0)
            continue;
        out << QStringLiteral("I%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12")
                   .arg(k).arg(r.lineAddress).arg(r.serialNumber).arg(r.serialNumberText)
                   .arg(r.deviceType).arg(r.config).arg(r.relayContact).arg(r.loop1Mode)
                   .arg(r.loop2Mode).arg(r.relayTime).arg(r.loop1RefCount).arg(r.loop2RefCount);
    }
    const ScpModulesConfigModel *scp = client.scpModulesConfigModel();
    for (int k = 0; k < 32; ++k) {
        const ScpModuleRecord r = scp->moduleAt(ushort(k));
        if (r.deviceType == 0 && r.lineAddress == 0)
            continue;
        out << QStringLiteral("Z%1 %2 %3 %4 %5 %6 %7 %8 %9 %10")
                   .arg(k).arg(r.lineAddress).arg(r.serialNumber).arg(r.deviceType)
                   .arg(r.thrMin).arg(r.thrMinText).arg(r.thrOff).arg(r.thrOffText)
                   .arg(r.thrOn).arg(r.thrOnText);
    }
    const ProcessingConfigModel *pm = client.processingConfigModel();
    for (int k = 0; k < 500; ++k) {
        const ProcessingRuleRecord r = pm->ruleAt(ushort(k));
        if (r.lineAddress == 0)
            continue;
        out << QStringLiteral("P%1 %2 %3 %4 %5 %6 %7")
                   .arg(k).arg(r.lineAddress).arg(r.config.MRef).arg(r.config.NExc)
                   .arg(r.config.SensLeft).arg(r.config.SensRight).arg(r.config.Ratio);
    }
    const InteractionsConfigModel *im = client.interactionsConfigModel();
    for (int k = 0; k < im->rowCount(); ++k) {
        const InteractionRecord r = im->interactionAt(k);
        out << QStringLiteral("X%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11")
                   .arg(k).arg(r.sourceKind).arg(r.sourceAddress).arg(r.sourceLoop)
                   .arg(r.sourceText).arg(r.executorType).arg(r.executorNumber)
                   .arg(r.executorAddressText).arg(r.relay).arg(r.function).arg(r.functionText);
    }
    const LineModulesModel *lm = client.lineModulesModel();
    for (int a = 1; a <= 500; ++a) {
        const LineModuleRecord r = lm->moduleAt(quint16(a));
        if (r.deviceType == 0)
            continue;
        out << QStringLiteral("L%1 %2 %3 %4 %5 %6 %7")
                   .arg(a).arg(r.serialNumber).arg(r.serialNumberText).arg(r.deviceType)
                   .arg(r.typeName).arg(r.tableIndex).arg(r.loop1Mode * 10 + r.loop2Mode);
    }
    const RelayModulesConfigModel *rm = client.relayModulesConfigModel();
    for (int row = 0; row < rm->rowCount(); ++row)
        out << QStringLiteral("R%1 %2").arg(rm->moduleAt(row).configIndex).arg(rm->moduleAt(row).ipAddress);
    if (withLineSettings) {
        const Konfig_Line_t l = client.controllerConfigModel()->lineConfig;
        out << QStringLiteral("N %1 %2 %3 %4 %5").arg(l.SensorCount).arg(l.IoCount).arg(l.ScpCount)
                   .arg(l.RelayCount).arg(l.LineMode);
    }
    return out;
}

QString firstDifference(const QStringList &a, const QStringList &b)
{
    for (int i = 0; i < qMax(a.size(), b.size()); ++i) {
        const QString x = a.value(i), y = b.value(i);
        if (x != y)
            return QStringLiteral("line %1: '%2' vs '%3'").arg(i).arg(x, y);
    }
    return QString();
}

#define CHECK_INVARIANTS(client)                                                        \
    do {                                                                                \
        const QStringList errors_ = checkConfigInvariants(client);                      \
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.mid(0, 8).join(QLatin1Char('\n')))); \
    } while (false)

#define CHECK_KEYS(actual, expected)                                                    \
    QVERIFY2((actual) == (expected),                                                    \
             qPrintable(QStringLiteral("\nactual:   %1\nexpected: %2")                  \
                            .arg(keysText(actual), keysText(expected))))

// Interactions that must go with a module that moves or leaves: those it
// is the source of and, for an I/O module, those whose relay it is.
QList<InteractionKey> withoutModule(const QList<InteractionKey> &keys, int type, int address)
{
    QList<InteractionKey> out;
    const int kind = type == 2 ? 2 : 1;
    for (const InteractionKey &k : keys) {
        if (k.sourceKind == kind && k.sourceAddress == address)
            continue;
        if (type == 2 && k.executorType == 2 && k.executor == address)
            continue;
        out.append(k);
    }
    return out;
}

// Every fixture sensor still in the table has its own rule beside it.
QString rulesFollowSensors(const LantrelClient &client, int except = 0)
{
    QList<int> fixture;
    for (const SensorSpec &s : fixtureSensors)
        fixture << s.address;
    for (int k = 0; k < 500; ++k) {
        const SensorModuleRecord s = client.sensorsConfigModel()->moduleAt(ushort(k));
        if (s.deviceType == 0)
            break;
        if (!fixture.contains(s.lineAddress) || s.lineAddress == except)
            continue;
        const quint16 mref = client.processingConfigModel()->ruleAt(ushort(k)).config.MRef;
        if (mref != fixtureThreshold(s.lineAddress))
            return QStringLiteral("sensor %1 in row %2 has threshold %3").arg(s.lineAddress).arg(k).arg(mref);
    }
    return QString();
}

// Counts every table write the client sends, to the document or the driver.
struct WriteSpies
{
    explicit WriteSpies(LantrelClient *c)
        : saves{new QSignalSpy(c, &LantrelClient::saveSensorsConfig),
                new QSignalSpy(c, &LantrelClient::saveIoModulesConfig),
                new QSignalSpy(c, &LantrelClient::saveScpModulesConfig),
                new QSignalSpy(c, &LantrelClient::saveProcessingConfig),
                new QSignalSpy(c, &LantrelClient::saveInteractionsConfig),
                new QSignalSpy(c, &LantrelClient::saveControllerConfig),
                new QSignalSpy(c, &LantrelClient::saveRelayModulesConfig),
                new QSignalSpy(c, &LantrelClient::setLineConfig),
                new QSignalSpy(c, &LantrelClient::setSensorsConfig),
                new QSignalSpy(c, &LantrelClient::setInteractionsConfig)}
        , tasks(c, &LantrelClient::taskStarted)
    {
    }
    ~WriteSpies() { qDeleteAll(saves); }
    int total() const
    {
        int n = 0;
        for (const QSignalSpy *s : saves)
            n += s->count();
        return n;
    }
    QList<QSignalSpy *> saves;
    QSignalSpy tasks;
};

} // namespace

class TestModuleWorkflows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void fixtureIsConsistent();
    void addModule_data();
    void addModule();
    void addModuleRefused_data();
    void addModuleRefused();
    void moveModule_data();
    void moveModule();
    void moveModuleRefused_data();
    void moveModuleRefused();
    void updateModuleInfo_data();
    void updateModuleInfo();
    void deleteModule_data();
    void deleteModule();
    void deleteModuleRefused_data();
    void deleteModuleRefused();
    void deleteKeepsModifiedMark_data();
    void deleteKeepsModifiedMark();
    void clearModulesConfig();
    void operationSequence();

    void fakeDeleteModule_data();
    void fakeDeleteModule();
    void fakeClearModulesConfig();
    void fakeEditThenWholeWrite();
    void fakeFailedDeleteKeepsMarks();
    void fakeDeleteAfterIncompleteReadRefused();

private:
    bool loadFixture(LantrelClient &client, quint8 ruleJP = 5);
    bool connectToFake(LantrelClient &client);
    QStringList fakeDiffers(LantrelClient &client);

    QTemporaryDir m_dir;
    FakeController *m_fake = nullptr;
    FakeTcpServer *m_server = nullptr;
};

void TestModuleWorkflows::initTestCase()
{
    // Status polling would re-read the configuration when the module counts
    // change under it; these tests look at the writes alone.
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestModuleWorkflows::cleanup()
{
    delete m_server;
    m_server = nullptr;
    delete m_fake;
    m_fake = nullptr;
}

bool TestModuleWorkflows::loadFixture(LantrelClient &client, quint8 ruleJP)
{
    const QString path = m_dir.filePath(QStringLiteral("fixture-%1.xml").arg(ruleJP));
    if (!QFile::exists(path) && !writeFixtureFile(path, ruleJP))
        return false;
    return loadFile(client, path);
}

// ---------------------------------------------------------------- offline

void TestModuleWorkflows::fixtureIsConsistent()
{
    LantrelClient client;
    QVERIFY(loadFixture(client));
    CHECK_INVARIANTS(client);
    const QList<InteractionKey> keys = interactionKeys(client);
    CHECK_KEYS(keys, fixtureKeys());
    QVERIFY(rulesFollowSensors(client).isEmpty());
    QVERIFY(!client.isModified());
}

void TestModuleWorkflows::addModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("ruleJP");
    QTest::addColumn<int>("expectedIndex");

    // Between or before configured modules the later rows move down.
    QTest::newRow("sensor before all") << 4 << 5 << 5 << 0;
    QTest::newRow("sensor between") << 3 << 22 << 5 << 3;
    QTest::newRow("sensor after all") << 4 << 100 << 5 << 5;
    QTest::newRow("ir sensor, controller rule 0") << 3 << 11 << 0 << 1;
    QTest::newRow("ir sensor, controller rule 200") << 3 << 499 << 200 << 5;
    QTest::newRow("io before all") << 2 << 1 << 5 << 0;
    QTest::newRow("io between") << 2 << 32 << 5 << 2;
    QTest::newRow("io after all") << 2 << 500 << 5 << 4;
    QTest::newRow("scp before all") << 5 << 2 << 5 << 0;
    QTest::newRow("scp between") << 5 << 55 << 5 << 1;
    QTest::newRow("scp after all") << 5 << 70 << 5 << 2;
}

void TestModuleWorkflows::addModule()
{
    QFETCH(int, type);
    QFETCH(int, address);
    QFETCH(int, ruleJP);
    QFETCH(int, expectedIndex);

    LantrelClient client;
    QVERIFY(loadFixture(client, quint8(ruleJP)));
    const QList<InteractionKey> before = interactionKeys(client);
    const Konfig_Line_t lineBefore = client.controllerConfigModel()->lineConfig;
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy lineChanged(&client, &LantrelClient::lineConfigChanged);
    WriteSpies writes(&client);

    const quint32 serial = serialFor(address) + 77;
    quint16 newIndex = 999;
    client.addModule(uchar(type), serial, ushort(address), newIndex);
    QTest::qWait(50);

    QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).value(0).toString()));
    QCOMPARE(int(newIndex), expectedIndex);
    CHECK_INVARIANTS(client);
    // No relay changed hands although the I/O rows may have moved.
    const QList<InteractionKey> after = interactionKeys(client);
    CHECK_KEYS(after, before);
    QVERIFY2(rulesFollowSensors(client).isEmpty(), qPrintable(rulesFollowSensors(client)));
    QVERIFY(client.lineModulesChanged());
    QCOMPARE(writes.total(), 0);
    QCOMPARE(writes.tasks.count(), 0);
    QCOMPARE(lineChanged.count(), 1);
    const Konfig_Line_t announced = lineChanged.first().first().value<Konfig_Line_t>();
    QCOMPARE(announced.SensorCount + announced.IoCount + announced.ScpCount,
             lineBefore.SensorCount + lineBefore.IoCount + lineBefore.ScpCount + 1);
    QCOMPARE(client.controllerConfigModel()->lineConfig.RelayCount, lineBefore.RelayCount);
    QCOMPARE(client.controllerConfigModel()->lineConfig.LineMode, lineBefore.LineMode);

    const LineModuleRecord line = client.lineModulesModel()->moduleAt(quint16(address));
    QCOMPARE(int(line.deviceType), type);
    QCOMPARE(line.serialNumber, serial);
    QCOMPARE(line.serialNumberText, serialNumberToString(serial));
    QCOMPARE(int(line.tableIndex), expectedIndex);

    if (type == 3 || type == 4) {
        const SensorModuleRecord s = client.sensorsConfigModel()->moduleAt(newIndex);
        QCOMPARE(int(s.lineAddress), address);
        QCOMPARE(s.deviceTypeName, type == 3 ? QStringLiteral("ВС-Л") : QStringLiteral("ВТ-Л"));
        QCOMPARE(int(s.range), 2);
        QCOMPARE(int(s.lowPassFilter), 3);
        QCOMPARE(int(s.highPassFilter), 1);
        QCOMPARE(int(s.adaptiveFilter), 1);
        QCOMPARE(int(s.refCount), 0);
        if (type == 3) {
            QCOMPARE(int(s.irThreshold), 40);
            QCOMPARE(int(s.irExceedCount), 3);
            // The rule is "И" exactly when the controller has a wait time.
            QCOMPARE(int(s.rule), ruleJP != 0 ? 1 : 0);
            QCOMPARE(int(s.waitTime), ruleJP);
        } else {
            QCOMPARE(int(s.irThreshold), 0);
            QCOMPARE(int(s.rule), 0);
            QCOMPARE(int(s.waitTime), 0);
        }
        const ProcessingRuleRecord rule = client.processingConfigModel()->ruleAt(newIndex);
        QCOMPARE(int(rule.lineAddress), address);
        QCOMPARE(rule.config.MRef, ControllerMRef);
        QCOMPARE(rule.config.NExc, ControllerNExc);
        QCOMPARE(rule.config.Ratio, ControllerRatio);
        QCOMPARE(int(rule.config.SensLeft), -3);
        QCOMPARE(int(rule.config.SensRight), 3);
    } else if (type == 2) {
        const IoModuleRecord r = client.ioModulesConfigModel()->moduleAt(newIndex);
        QCOMPARE(int(r.lineAddress), address);
        QCOMPARE(int(r.config), 0xF0);
        QCOMPARE(int(r.loop1Mode), 3);
        QCOMPARE(int(r.loop2Mode), 3);
        QCOMPARE(int(r.relayContact), 0);
        QCOMPARE(int(r.relayTime), 0);
        QCOMPARE(line.loop1Mode, 3);
        QCOMPARE(line.loop2Mode, 3);
    } else {
        const ScpModuleRecord r = client.scpModulesConfigModel()->moduleAt(newIndex);
        QCOMPARE(int(r.lineAddress), address);
        QCOMPARE(int(r.thrMin), 16490);
        QCOMPARE(int(r.thrOff), 15990);
        QCOMPARE(int(r.thrOn), 4070);
        QCOMPARE(r.thrMinText, QStringLiteral("16,49"));
        QCOMPARE(r.thrOffText, QStringLiteral("15,99"));
        QCOMPARE(r.thrOnText, QStringLiteral("4,07"));
    }
}

void TestModuleWorkflows::addModuleRefused_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("fill");   // modules of `type` added first, to fill the table
    QTest::addColumn<QString>("error");

    QTest::newRow("address taken") << 4 << 12 << 0
        << QStringLiteral("Адрес 12 уже занят в конфигурации модулем ВС-Л с серийным номером 1012.23");
    QTest::newRow("address taken by another kind") << 2 << 50 << 0
        << QStringLiteral("Адрес 50 уже занят в конфигурации модулем ТЗ-Л с серийным номером 1050.23");
    QTest::newRow("address 0") << 2 << 0 << 0 << QStringLiteral("Недопустимый адрес модуля: 0");
    QTest::newRow("address 501") << 5 << 501 << 0 << QStringLiteral("Недопустимый адрес модуля: 501");
    QTest::newRow("no table for the type") << 1 << 7 << 0
        << QStringLiteral("Модули с кодом типа 1 не входят в конфигурацию ЦУ-Л");
    QTest::newRow("full io table") << 2 << 499 << 96
        << QStringLiteral("Невозможно добавить модуль ПС-Л с адресом 499: "
                          "таблица модулей этого типа заполнена (не более 100)");
    QTest::newRow("full scp table") << 5 << 499 << 30
        << QStringLiteral("Невозможно добавить модуль ТЗ-Л с адресом 499: "
                          "таблица модулей этого типа заполнена (не более 32)");
}

void TestModuleWorkflows::addModuleRefused()
{
    QFETCH(int, type);
    QFETCH(int, address);
    QFETCH(int, fill);
    QFETCH(QString, error);

    LantrelClient client;
    QVERIFY(loadFixture(client));
    QSignalSpy errors(&client, &LantrelClient::clientError);

    // Free addresses from 100 up, below the one tried last.
    int next = 100;
    for (int n = 0; n < fill; ++n) {
        while (client.lineModulesModel()->moduleAt(quint16(next)).deviceType != 0)
            ++next;
        quint16 idx = 0;
        client.addModule(uchar(type), serialFor(next), ushort(next), idx);
        ++next;
    }
    QCOMPARE(errors.count(), 0);
    CHECK_INVARIANTS(client);

    const QStringList before = tablesDump(client);
    const bool marked = client.lineModulesChanged();
    quint16 newIndex = 777;
    client.addModule(uchar(type), 0x12345, ushort(address), newIndex);

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), error);
    QCOMPARE(int(newIndex), 777);
    const QStringList after = tablesDump(client);
    QVERIFY2(after == before, qPrintable(firstDifference(after, before)));
    QCOMPARE(client.lineModulesChanged(), marked);
}

void TestModuleWorkflows::moveModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("expectedIndex");

    QTest::newRow("sensor keeps its row") << 3 << 12 << 14 << 1;
    QTest::newRow("sensor keeps its row, lower address") << 4 << 20 << 13 << 2;
    QTest::newRow("sensor past a neighbour") << 3 << 12 << 22 << 2;
    QTest::newRow("sensor to the end") << 4 << 10 << 400 << 4;
    QTest::newRow("sensor to the front") << 4 << 40 << 1 << 0;
    QTest::newRow("io past neighbours") << 2 << 15 << 47 << 3;
    QTest::newRow("io to the front") << 2 << 45 << 3 << 0;
    QTest::newRow("io keeps its row") << 2 << 25 << 27 << 1;
    QTest::newRow("scp to the end") << 5 << 50 << 70 << 1;
    QTest::newRow("scp to the front") << 5 << 60 << 5 << 0;
}

void TestModuleWorkflows::moveModule()
{
    QFETCH(int, type);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, expectedIndex);

    LantrelClient client;
    QVERIFY(loadFixture(client));
    const QList<InteractionKey> before = interactionKeys(client);
    const LineModuleRecord moved = client.lineModulesModel()->moduleAt(quint16(from));
    QSignalSpy errors(&client, &LantrelClient::clientError);
    WriteSpies writes(&client);

    quint16 newIndex = 999;
    client.moveModule(uchar(type), ushort(from), moved.tableIndex, ushort(to), newIndex);
    QTest::qWait(50);

    QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).value(0).toString()));
    QCOMPARE(int(newIndex), expectedIndex);
    CHECK_INVARIANTS(client);
    const QList<InteractionKey> after = interactionKeys(client);
    const QList<InteractionKey> expected = withoutModule(before, type, from);
    CHECK_KEYS(after, expected);
    QVERIFY(client.lineModulesChanged());
    QCOMPARE(writes.total(), 0);
    QCOMPARE(writes.tasks.count(), 0);

    QCOMPARE(int(client.lineModulesModel()->moduleAt(quint16(from)).deviceType), 0);
    const LineModuleRecord line = client.lineModulesModel()->moduleAt(quint16(to));
    QCOMPARE(line.serialNumber, moved.serialNumber);
    QCOMPARE(line.deviceType, moved.deviceType);
    QCOMPARE(int(line.tableIndex), expectedIndex);

    if (type == 3 || type == 4) {
        QVERIFY2(rulesFollowSensors(client, from).isEmpty(), qPrintable(rulesFollowSensors(client, from)));
        const ProcessingRuleRecord rule = client.processingConfigModel()->ruleAt(newIndex);
        QCOMPARE(int(rule.lineAddress), to);
        if (newIndex == moved.tableIndex) {
            QCOMPARE(rule.config.MRef, fixtureThreshold(from));
            QCOMPARE(int(rule.config.SensLeft), -2);
        } else {
            QCOMPARE(rule.config.MRef, ControllerMRef);
            QCOMPARE(int(rule.config.SensLeft), -3);
            QCOMPARE(int(rule.config.SensRight), 3);
        }
        QCOMPARE(int(client.sensorsConfigModel()->moduleAt(newIndex).refCount), 0);
    }
    if (type == 2) {
        const IoModuleRecord r = client.ioModulesConfigModel()->moduleAt(newIndex);
        QCOMPARE(int(r.lineAddress), to);
        QCOMPARE(int(r.loop1RefCount) + int(r.loop2RefCount), 0);
    }
}

void TestModuleWorkflows::moveModuleRefused_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("error");

    QTest::newRow("target taken") << 4 << 10 << 20
        << QStringLiteral("Адрес 20 уже занят в конфигурации модулем ВТ-Л с серийным номером 1020.23");
    QTest::newRow("target taken by another kind") << 2 << 15 << 50
        << QStringLiteral("Адрес 50 уже занят в конфигурации модулем ТЗ-Л с серийным номером 1050.23");
    QTest::newRow("no module at the address") << 4 << 11 << 13
        << QStringLiteral("В конфигурации нет модуля ВТ-Л с адресом 11");
    QTest::newRow("another kind at the address") << 2 << 12 << 13
        << QStringLiteral("В конфигурации нет модуля ПС-Л с адресом 12");
    QTest::newRow("same address") << 5 << 50 << 50 << QStringLiteral("Недопустимый адрес модуля: 50");
    QTest::newRow("target 0") << 3 << 12 << 0 << QStringLiteral("Недопустимый адрес модуля: 0");
    QTest::newRow("target 501") << 2 << 25 << 501 << QStringLiteral("Недопустимый адрес модуля: 501");
    QTest::newRow("no table for the type") << 1 << 12 << 13
        << QStringLiteral("Модули с кодом типа 1 не входят в конфигурацию ЦУ-Л");
}

void TestModuleWorkflows::moveModuleRefused()
{
    QFETCH(int, type);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, error);

    LantrelClient client;
    QVERIFY(loadFixture(client));
    QSignalSpy errors(&client, &LantrelClient::clientError);
    const QStringList before = tablesDump(client);

    quint16 newIndex = 777;
    client.moveModule(uchar(type), ushort(from), client.lineModulesModel()->moduleAt(quint16(from)).tableIndex,
                      ushort(to), newIndex);

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), error);
    QCOMPARE(int(newIndex), 777);
    const QStringList after = tablesDump(client);
    QVERIFY2(after == before, qPrintable(firstDifference(after, before)));
    QVERIFY(!client.lineModulesChanged());
}

void TestModuleWorkflows::updateModuleInfo_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("refused");

    QTest::newRow("io replaced") << 25 << 2 << false;
    QTest::newRow("scp replaced") << 60 << 5 << false;
    QTest::newRow("sensor replaced by the same type") << 20 << 4 << false;
    QTest::newRow("ir sensor replaced by a plain one") << 12 << 4 << false;
    QTest::newRow("plain sensor replaced by an ir one") << 10 << 3 << false;
    QTest::newRow("sensor address, io module") << 10 << 2 << true;
    QTest::newRow("io address, scp module") << 15 << 5 << true;
    QTest::newRow("scp address, sensor") << 50 << 3 << true;
    QTest::newRow("free address") << 11 << 4 << true;
    QTest::newRow("no table for the type") << 12 << 1 << true;
}

void TestModuleWorkflows::updateModuleInfo()
{
    QFETCH(int, address);
    QFETCH(int, type);
    QFETCH(bool, refused);

    LantrelClient client;
    QVERIFY(loadFixture(client));
    QSignalSpy errors(&client, &LantrelClient::clientError);
    WriteSpies writes(&client);
    const QStringList before = tablesDump(client);
    const QList<InteractionKey> keysBefore = interactionKeys(client);
    const LineModuleRecord old = client.lineModulesModel()->moduleAt(quint16(address));

    const quint32 serial = serialFor(address) + 500;
    client.updateModuleInfo(uchar(type), ushort(address), serial);
    QTest::qWait(50);
    QCOMPARE(writes.total(), 0);
    QCOMPARE(writes.tasks.count(), 0);

    if (refused) {
        // Nothing may land in another kind's table.
        QCOMPARE(errors.count(), 1);
        const QStringList after = tablesDump(client);
        QVERIFY2(after == before, qPrintable(firstDifference(after, before)));
        QVERIFY(!client.lineModulesChanged());
        return;
    }

    QCOMPARE(errors.count(), 0);
    CHECK_INVARIANTS(client);
    const QList<InteractionKey> keysAfter = interactionKeys(client);
    CHECK_KEYS(keysAfter, keysBefore);
    QVERIFY(client.lineModulesChanged());
    const LineModuleRecord line = client.lineModulesModel()->moduleAt(quint16(address));
    QCOMPARE(line.serialNumber, serial);
    QCOMPARE(line.serialNumberText, serialNumberToString(serial));
    QCOMPARE(int(line.deviceType), type);
    QCOMPARE(line.tableIndex, old.tableIndex);
    if (type == 2) {
        const IoModuleRecord r = client.ioModulesConfigModel()->moduleAt(line.tableIndex);
        QCOMPARE(r.serialNumber, serial);
        QCOMPARE(r.serialNumberText, serialNumberToString(serial));
        QCOMPARE(int(r.relayTime), 11);   // settings stay
        QCOMPARE(line.loop1Mode, int(r.loop1Mode));
    } else if (type == 5) {
        const ScpModuleRecord r = client.scpModulesConfigModel()->moduleAt(line.tableIndex);
        QCOMPARE(r.serialNumber, serial);
        QCOMPARE(int(r.thrMin), 16001);
    } else {
        const SensorModuleRecord r = client.sensorsConfigModel()->moduleAt(line.tableIndex);
        QCOMPARE(r.serialNumber, serial);
        QCOMPARE(int(r.deviceType), type);
        QCOMPARE(r.deviceTypeName, type == 3 ? QStringLiteral("ВС-Л") : QStringLiteral("ВТ-Л"));
        QCOMPARE(int(r.range), 1);   // settings stay
        if (old.deviceType == type) {
            QCOMPARE(int(r.refCount), 1);
        } else if (type == 4) {
            // No infrared channel: no wait time that would hold back alarms.
            QCOMPARE(int(r.irThreshold), 0);
            QCOMPARE(int(r.rule), 0);
            QCOMPARE(int(r.waitTime), 0);
        } else {
            QCOMPARE(int(r.irThreshold), 40);
            QCOMPARE(int(r.irExceedCount), 3);
            QCOMPARE(int(r.rule), 1);
            QCOMPARE(int(r.waitTime), 5);
        }
        QVERIFY(rulesFollowSensors(client).isEmpty());
    }
}

void TestModuleWorkflows::deleteModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QStringList>("tables");

    const QStringList sensorTables = {"sensors", "processing", "interactions"};
    QTest::newRow("sensor in the middle") << 3 << 12 << 3 << sensorTables;
    QTest::newRow("first sensor") << 4 << 10 << 3 << sensorTables;
    QTest::newRow("last sensor") << 4 << 40 << 3 << sensorTables;
    // 15 and 35 switch for sensors, so the sensor counters change too.
    QTest::newRow("io relay of a sensor") << 2 << 15 << 3 << QStringList{"sensors", "io", "interactions"};
    QTest::newRow("io relay of sensors and loops") << 2 << 35 << 3 << QStringList{"sensors", "io", "interactions"};
    QTest::newRow("io relay of loops only") << 2 << 25 << 2 << QStringList{"io", "interactions"};
    QTest::newRow("io switching itself") << 2 << 45 << 3 << QStringList{"sensors", "io", "interactions"};
    QTest::newRow("scp") << 5 << 50 << 1 << QStringList{"scp"};
}

void TestModuleWorkflows::deleteModule()
{
    QFETCH(int, type);
    QFETCH(int, address);
    QFETCH(int, steps);
    QFETCH(QStringList, tables);

    LantrelClient client;
    QVERIFY(loadFixture(client));
    const QList<InteractionKey> before = interactionKeys(client);
    const LineModuleRecord line = client.lineModulesModel()->moduleAt(quint16(address));
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    QSignalSpy dataset(&client, &LantrelClient::datasetChanged);
    QSignalSpy lineChanged(&client, &LantrelClient::lineConfigChanged);
    QSignalSpy completed(&client, &LantrelClient::taskCompleted);
    WriteSpies writes(&client);

    client.deleteModule(uchar(type), line.tableIndex, ushort(address));

    QCOMPARE(writes.tasks.count(), 1);
    QCOMPARE(writes.tasks.first().at(0).toString(), QStringLiteral("Обновление конфигурации линейных модулей..."));
    QCOMPARE(writes.tasks.first().at(1).value<ushort>(), ushort(steps));
    QCOMPARE(dataset.count(), 1);
    QCOMPARE(lineChanged.count(), 1);
    QStringList written;
    const QStringList names = {"sensors", "io", "scp", "processing", "interactions"};
    for (int k = 0; k < names.size(); ++k) {
        if (writes.saves.at(k)->count() > 0)
            written << names.at(k);
    }
    written.sort();
    QStringList want = tables;
    want.sort();
    QCOMPARE(written, want);
    // Offline the line settings wait for the next whole write.
    QCOMPARE(writes.saves.at(7)->count(), 0);
    QCOMPARE(writes.saves.at(5)->count(), 0);

    QVERIFY(finished.wait(5000));
    QCOMPARE(completed.count(), steps);
    QCOMPARE(errors.count(), 0);
    CHECK_INVARIANTS(client);
    const QList<InteractionKey> after = interactionKeys(client);
    const QList<InteractionKey> expected = withoutModule(before, type, address);
    CHECK_KEYS(after, expected);
    QVERIFY2(rulesFollowSensors(client).isEmpty(), qPrintable(rulesFollowSensors(client)));
    QCOMPARE(int(client.lineModulesModel()->moduleAt(quint16(address)).deviceType), 0);
    QVERIFY(!client.lineModulesChanged());

    // The document holds what the models hold: a client that loads it sees
    // the same tables (the line settings reach the document later).
    const QString path = m_dir.filePath(QStringLiteral("after-delete.xml"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(client.configurationManager()->writeDocument(&file));
    }
    LantrelClient reloaded;
    QVERIFY(loadFile(reloaded, path));
    const QStringList mine = tablesDump(client, false);
    const QStringList theirs = tablesDump(reloaded, false);
    QVERIFY2(mine == theirs, qPrintable(firstDifference(mine, theirs)));
}

void TestModuleWorkflows::deleteModuleRefused_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("reported");

    QTest::newRow("free address") << 4 << 11 << true;
    QTest::newRow("another kind at the address") << 2 << 12 << true;
    QTest::newRow("address 0") << 5 << 0 << true;
    QTest::newRow("no table for the type") << 16 << 12 << false;
}

void TestModuleWorkflows::deleteModuleRefused()
{
    QFETCH(int, type);
    QFETCH(int, address);
    QFETCH(bool, reported);

    LantrelClient client;
    QVERIFY(loadFixture(client));
    QSignalSpy errors(&client, &LantrelClient::clientError);
    WriteSpies writes(&client);
    const QStringList before = tablesDump(client);

    client.deleteModule(uchar(type), 0, ushort(address));
    QTest::qWait(50);

    QCOMPARE(errors.count(), reported ? 1 : 0);
    QCOMPARE(writes.total(), 0);
    QCOMPARE(writes.tasks.count(), 0);
    const QStringList after = tablesDump(client);
    QVERIFY2(after == before, qPrintable(firstDifference(after, before)));
}

void TestModuleWorkflows::deleteKeepsModifiedMark_data()
{
    QTest::addColumn<bool>("editedBefore");
    QTest::newRow("nothing edited before") << false;
    QTest::newRow("another module edited before") << true;
}

void TestModuleWorkflows::deleteKeepsModifiedMark()
{
    QFETCH(bool, editedBefore);

    LantrelClient client;
    QVERIFY(loadFixture(client));
    QVERIFY(!client.isModified());
    if (editedBefore) {
        SensorsConfigModel *sm = client.sensorsConfigModel();
        QVERIFY(sm->setData(sm->index(4, SensorsConfigModel::RangeColumn), 3, Qt::EditRole));
        quint16 idx = 0;
        client.addModule(5, serialFor(70), 70, idx);
        QVERIFY(client.isModified());
        QVERIFY(client.lineModulesChanged());
    }
    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    client.deleteModule(4, 0, 10);
    QVERIFY(finished.wait(5000));
    // The delete wrote its own tables only: earlier edits are still unsent.
    QCOMPARE(client.isModified(), editedBefore);
    QCOMPARE(client.lineModulesChanged(), editedBefore);
}

void TestModuleWorkflows::clearModulesConfig()
{
    LantrelClient client;
    QVERIFY(loadFixture(client));
    quint16 idx = 0;
    client.addModule(2, serialFor(200), 200, idx);
    QVERIFY(client.lineModulesChanged());
    // An edit elsewhere, not written by the clearing.
    client.controllerConfigModel()->setData(ControllerConfigModel::LineModeParam, 1, Qt::EditRole);
    QVERIFY(client.isModified());
    const Konfig_Line_t lineBefore = client.controllerConfigModel()->lineConfig;

    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    QSignalSpy dataset(&client, &LantrelClient::datasetChanged);
    WriteSpies writes(&client);

    client.clearModulesConfig();

    QCOMPARE(writes.tasks.count(), 1);
    QCOMPARE(writes.tasks.first().at(0).toString(), QStringLiteral("Очистка конфигурации линейных модулей..."));
    QCOMPARE(writes.tasks.first().at(1).value<ushort>(), ushort(5));
    QCOMPARE(dataset.count(), 1);
    QVERIFY(finished.wait(5000));
    QCOMPARE(errors.count(), 0);
    CHECK_INVARIANTS(client);
    QCOMPARE(client.interactionsConfigModel()->rowCount(), 0);
    QCOMPARE(int(client.sensorsConfigModel()->moduleAt(0).deviceType), 0);
    QCOMPARE(int(client.ioModulesConfigModel()->moduleAt(0).deviceType), 0);
    QCOMPARE(int(client.scpModulesConfigModel()->moduleAt(0).deviceType), 0);
    QCOMPARE(int(client.processingConfigModel()->ruleAt(0).lineAddress), 0);
    for (int a = 1; a <= 500; ++a)
        QCOMPARE(int(client.lineModulesModel()->moduleAt(quint16(a)).deviceType), 0);
    // Relay modules are not module-table business.
    QCOMPARE(client.relayModulesConfigModel()->rowCount(), 2);
    const Konfig_Line_t line = client.controllerConfigModel()->lineConfig;
    QCOMPARE(line.RelayCount, lineBefore.RelayCount);
    QCOMPARE(line.LineMode, lineBefore.LineMode);
    QVERIFY(!client.lineModulesChanged());
    QVERIFY(client.isModified());

    // Without a controller there is no flash to save into: no further task.
    QTest::qWait(200);
    QCOMPARE(writes.tasks.count(), 1);
}

// Many operations one after another over the fixture, with interactions
// added between them the way the interaction editor adds them.
void TestModuleWorkflows::operationSequence()
{
    LantrelClient client;
    QVERIFY(loadFixture(client));
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QRandomGenerator rng(20261210);
    QList<InteractionKey> expected = interactionKeys(client);
    const LineModulesModel *lm = client.lineModulesModel();

    auto addresses = [&](bool used) {
        QList<int> out;
        for (int a = 1; a <= 60; ++a) {
            if ((lm->moduleAt(quint16(a)).deviceType != 0) == used)
                out << a;
        }
        return out;
    };
    auto pick = [&](const QList<int> &from) { return from.at(int(rng.bounded(from.size()))); };

    for (int step = 0; step < 150; ++step) {
        const QList<int> used = addresses(true);
        const QList<int> free = addresses(false);
        const int op = int(rng.bounded(6));
        QString what;
        if ((op == 0 || used.isEmpty()) && !free.isEmpty()) {
            const int types[] = {2, 3, 4, 5};
            const int type = types[rng.bounded(4)];
            const int a = pick(free);
            quint16 idx = 0;
            client.addModule(uchar(type), serialFor(a) + quint32(step), ushort(a), idx);
            what = QStringLiteral("add %1 at %2").arg(type).arg(a);
        } else if (op == 1 && !free.isEmpty()) {
            const int a = pick(used);
            const LineModuleRecord m = lm->moduleAt(quint16(a));
            const int to = pick(free);
            quint16 idx = 0;
            client.moveModule(m.deviceType, ushort(a), m.tableIndex, ushort(to), idx);
            expected = withoutModule(expected, m.deviceType, a);
            what = QStringLiteral("move %1 from %2 to %3").arg(m.deviceType).arg(a).arg(to);
        } else if (op == 2) {
            const int a = pick(used);
            const LineModuleRecord m = lm->moduleAt(quint16(a));
            uchar type = m.deviceType;
            if (type == 3 || type == 4)
                type = rng.bounded(2) ? 3 : 4;
            client.updateModuleInfo(type, ushort(a), serialFor(a) + 900 + quint32(step));
            what = QStringLiteral("update %1 at %2").arg(type).arg(a);
        } else if (op == 3) {
            const int a = pick(used);
            const LineModuleRecord m = lm->moduleAt(quint16(a));
            QSignalSpy finished(&client, &LantrelClient::writeFinished);
            client.deleteModule(m.deviceType, m.tableIndex, ushort(a));
            QVERIFY(finished.wait(5000));
            expected = withoutModule(expected, m.deviceType, a);
            what = QStringLiteral("delete %1 at %2").arg(m.deviceType).arg(a);
        } else {
            // A new interaction from a sensor or an input loop to an I/O relay.
            QList<int> sources, relays;
            for (int a : used) {
                const int t = lm->moduleAt(quint16(a)).deviceType;
                if (t == 2 || t == 3 || t == 4)
                    sources << a;
                if (t == 2)
                    relays << a;
            }
            if (sources.isEmpty() || relays.isEmpty())
                continue;
            const int src = pick(sources);
            const LineModuleRecord s = lm->moduleAt(quint16(src));
            const LineModuleRecord e = lm->moduleAt(quint16(pick(relays)));
            InteractionRecord rec;
            rec.sourceKind = s.deviceType == 2 ? IoLoopSource : SensorModuleSource;
            rec.sourceText = s.typeName;
            rec.sourceAddress = s.lineAddress;
            rec.sourceLoop = s.deviceType == 2 ? quint8(1 + rng.bounded(2)) : 0;
            rec.executorType = 2;
            rec.executorTypeText = e.typeName;
            rec.executorNumber = quint16(e.tableIndex + 1);
            rec.executorAddressText = QString::number(e.lineAddress);
            rec.function = 0;
            QVERIFY(client.interactionsConfigModel()->addInteraction(rec));
            if (s.deviceType == 2)
                client.ioModulesConfigModel()->addReference(s.tableIndex, rec.sourceLoop);
            else
                client.sensorsConfigModel()->addReference(s.tableIndex);
            expected = interactionKeys(client);
            what = QStringLiteral("link %1 -> %2").arg(src).arg(e.lineAddress);
        }
        const QStringList errs = checkConfigInvariants(client);
        QVERIFY2(errs.isEmpty(), qPrintable(QStringLiteral("step %1 (%2): %3").arg(step).arg(what, errs.join('\n'))));
        const QList<InteractionKey> now = interactionKeys(client);
        QVERIFY2(now == expected, qPrintable(QStringLiteral("step %1 (%2)\nactual:   %3\nexpected: %4")
                                                 .arg(step).arg(what, keysText(now), keysText(expected))));
    }
    QCOMPARE(errors.count(), 0);

    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    client.clearModulesConfig();
    QVERIFY(finished.wait(5000));
    CHECK_INVARIANTS(client);
}

// ---------------------------------------------------------------- against the fake controller

bool TestModuleWorkflows::connectToFake(LantrelClient &client)
{
    m_fake = new FakeController;
    m_fake->loadGeneratedConfiguration(3, QHostAddress(QStringLiteral("127.0.0.1")));
    const FixtureRecords f = fixtureRecords(5);
    m_fake->setRecord(3, 0, f.device);
    m_fake->setRecord(8, 0, f.line);
    for (auto it = f.sensors.cbegin(); it != f.sensors.cend(); ++it)
        m_fake->setRecord(10, it.key(), it.value());
    for (auto it = f.io.cbegin(); it != f.io.cend(); ++it)
        m_fake->setRecord(15, it.key(), it.value());
    for (auto it = f.scp.cbegin(); it != f.scp.cend(); ++it)
        m_fake->setRecord(20, it.key(), it.value());
    for (auto it = f.relays.cbegin(); it != f.relays.cend(); ++it)
        m_fake->setRecord(17, it.key(), it.value());
    for (auto it = f.processing.cbegin(); it != f.processing.cend(); ++it)
        m_fake->setRecord(13, it.key(), it.value());
    for (auto it = f.interactions.cbegin(); it != f.interactions.cend(); ++it)
        m_fake->setRecord(11, it.key(), it.value());
    m_fake->setHoldingRegister(25, 2);
    m_fake->saveToFlash();

    m_server = new FakeTcpServer(m_fake);
    if (!ClientTest::listenAndConnect(*m_server, client, 3, 10000))
        return false;
    QSignalSpy dataset(&client, &LantrelClient::datasetChanged);
    client.readConfiguration();
    if (!dataset.wait(30000))
        return false;
    return true;
}

// Every difference between the fake's files and what the models would write.
QStringList TestModuleWorkflows::fakeDiffers(LantrelClient &client)
{
    QStringList out;
    const QVector<Konfig_Section_t> sensors = m_fake->records<Konfig_Section_t>(10);
    for (int k = 0; k < 500; ++k) {
        const SensorModuleRecord m = client.sensorsConfigModel()->moduleAt(ushort(k));
        const Konfig_Section_t &r = sensors.at(k);
        if (r.SerialNo != m.serialNumber || r.LineAddr != m.lineAddress || r.DeviceType != m.deviceType
            || r.Range != m.range || r.LPF != m.lowPassFilter || r.HPF != m.highPassFilter
            || r.DAF != m.adaptiveFilter || r.ThrIR != m.irThreshold || r.NExcIR != m.irExceedCount
            || r.RuleJP != m.waitTime || r.RefCount != m.refCount)
            out << QStringLiteral("sensor %1: fake %2/%3 ref %4, model %5/%6 ref %7")
                       .arg(k).arg(r.LineAddr).arg(r.DeviceType).arg(r.RefCount)
                       .arg(m.lineAddress).arg(m.deviceType).arg(m.refCount);
    }
    const QVector<Konfig_MVV_t> io = m_fake->records<Konfig_MVV_t>(15);
    for (int k = 0; k < 100; ++k) {
        const IoModuleRecord m = client.ioModulesConfigModel()->moduleAt(ushort(k));
        const Konfig_MVV_t &r = io.at(k);
        if (r.SerialNo != m.serialNumber || r.LineAddr != m.lineAddress || r.DeviceType != m.deviceType
            || r.CfgIO != m.config || r.TSign != m.relayTime || r.RefCountL1 != m.loop1RefCount
            || r.RefCountL2 != m.loop2RefCount)
            out << QStringLiteral("io %1: fake %2 refs %3/%4, model %5 refs %6/%7")
                       .arg(k).arg(r.LineAddr).arg(r.RefCountL1).arg(r.RefCountL2)
                       .arg(m.lineAddress).arg(m.loop1RefCount).arg(m.loop2RefCount);
    }
    const QVector<Konfig_MKZ_t> scp = m_fake->records<Konfig_MKZ_t>(20);
    for (int k = 0; k < 32; ++k) {
        const ScpModuleRecord m = client.scpModulesConfigModel()->moduleAt(ushort(k));
        const Konfig_MKZ_t &r = scp.at(k);
        if (r.SerialNo != m.serialNumber || r.LineAddr != m.lineAddress || r.DeviceType != m.deviceType
            || r.ThrMin != m.thrMin || r.ThrOff != m.thrOff || r.ThrOn != m.thrOn)
            out << QStringLiteral("scp %1: fake %2, model %3").arg(k).arg(r.LineAddr).arg(m.lineAddress);
    }
    const QVector<Konfig_Proc_t> proc = m_fake->records<Konfig_Proc_t>(13);
    for (int k = 0; k < 500; ++k) {
        const Konfig_Proc_t m = client.processingConfigModel()->ruleAt(ushort(k)).config;
        const Konfig_Proc_t &r = proc.at(k);
        if (r.MRef != m.MRef || r.NExc != m.NExc || r.SensLeft != m.SensLeft
            || r.SensRight != m.SensRight || r.Ratio != m.Ratio)
            out << QStringLiteral("rule %1: fake %2, model %3").arg(k).arg(r.MRef).arg(m.MRef);
    }
    const QVector<Control_Relay_t> links = m_fake->records<Control_Relay_t>(11);
    for (int k = 0; k < 4000; ++k) {
        const InteractionRecord m = client.interactionsConfigModel()->interactionAt(k);
        Control_Relay_t want;
        want.DeviceType = m.executorType;
        if (m.executorType != 0) {
            want.DestFunc = m.function;
            want.DestRef = m.executorType == 2 ? m.executorNumber
                                               : quint16((m.executorNumber << 8) | m.relay);
        }
        const Control_Relay_t &r = links.at(k);
        if (r.DeviceType != want.DeviceType || r.DestFunc != want.DestFunc || r.DestRef != want.DestRef)
            out << QStringLiteral("interaction %1: fake %2/%3/%4, model %5/%6/%7")
                       .arg(k).arg(r.DeviceType).arg(r.DestRef).arg(r.DestFunc)
                       .arg(want.DeviceType).arg(want.DestRef).arg(want.DestFunc);
    }
    const Konfig_Line_t line = m_fake->record<Konfig_Line_t>(8, 0);
    const Konfig_Line_t held = client.controllerConfigModel()->lineConfig;
    if (line.SensorCount != held.SensorCount || line.IoCount != held.IoCount
        || line.ScpCount != held.ScpCount || line.RelayCount != held.RelayCount
        || line.LineMode != held.LineMode)
        out << QStringLiteral("line settings: fake %1/%2/%3/%4, model %5/%6/%7/%8")
                   .arg(line.SensorCount).arg(line.IoCount).arg(line.ScpCount).arg(line.RelayCount)
                   .arg(held.SensorCount).arg(held.IoCount).arg(held.ScpCount).arg(held.RelayCount);
    return out;
}

void TestModuleWorkflows::fakeDeleteModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("steps");

    QTest::newRow("sensor") << 3 << 12 << 1 + 34 + 13 + 66;
    QTest::newRow("io relay of sensors") << 2 << 35 << 1 + 34 + 7 + 66;
    QTest::newRow("io relay of loops only") << 2 << 25 << 1 + 7 + 66;
    QTest::newRow("scp") << 5 << 50 << 1 + 3;
}

void TestModuleWorkflows::fakeDeleteModule()
{
    QFETCH(int, type);
    QFETCH(int, address);
    QFETCH(int, steps);

    LantrelClient client;
    QVERIFY(connectToFake(client));
    CHECK_INVARIANTS(client);
    QVERIFY(fakeDiffers(client).isEmpty());
    const QList<InteractionKey> before = interactionKeys(client);
    CHECK_KEYS(before, fixtureKeys());

    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    const LineModuleRecord line = client.lineModulesModel()->moduleAt(quint16(address));
    client.deleteModule(uchar(type), line.tableIndex, ushort(address));
    QCOMPARE(tasks.count(), 1);
    QCOMPARE(tasks.first().at(1).value<ushort>(), ushort(steps));
    QVERIFY(finished.wait(60000));
    QCOMPARE(errors.count(), 0);

    CHECK_INVARIANTS(client);
    const QList<InteractionKey> after = interactionKeys(client);
    const QList<InteractionKey> expected = withoutModule(before, type, address);
    CHECK_KEYS(after, expected);
    const QStringList diff = fakeDiffers(client);
    QVERIFY2(diff.isEmpty(), qPrintable(diff.mid(0, 8).join('\n')));
    QVERIFY(!client.isModified());
    QVERIFY(!client.configSaved());

    client.shutdownDriver();
}

void TestModuleWorkflows::fakeClearModulesConfig()
{
    LantrelClient client;
    QVERIFY(connectToFake(client));
    const QByteArray relaysBefore = m_fake->fileBytes(17);

    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy completed(&client, &LantrelClient::taskCompleted);
    client.clearModulesConfig();
    QCOMPARE(tasks.count(), 1);
    QCOMPARE(tasks.first().at(1).value<ushort>(), ushort(124));
    QVERIFY(finished.wait(60000));
    QCOMPARE(errors.count(), 0);
    CHECK_INVARIANTS(client);
    const QStringList diff = fakeDiffers(client);
    QVERIFY2(diff.isEmpty(), qPrintable(diff.mid(0, 8).join('\n')));
    QCOMPARE(m_fake->fileBytes(17), relaysBefore);
    QCOMPARE(int(m_fake->record<Konfig_Line_t>(8, 0).RelayCount), 2);

    // The cleared configuration goes into the controller's flash as well.
    QTRY_COMPARE_WITH_TIMEOUT(tasks.count(), 2, 5000);
    QCOMPARE(tasks.last().at(0).toString(), QStringLiteral("Сохранение конфигурации ИОП..."));
    const int before = completed.count();
    QTRY_VERIFY_WITH_TIMEOUT(completed.count() > before, 10000);
    QVERIFY(completed.last().at(1).toBool());
    for (int file : {8, 10, 11, 13, 15, 20})
        QCOMPARE(m_fake->flashFileBytes(file), m_fake->fileBytes(file));

    client.shutdownDriver();
}

// Adding, moving and replacing change the models only; the next whole write
// brings the controller's files to the same state and clears the mark.
void TestModuleWorkflows::fakeEditThenWholeWrite()
{
    LantrelClient client;
    QVERIFY(connectToFake(client));
    const QByteArray sensorsBefore = m_fake->fileBytes(10);
    const QByteArray ioBefore = m_fake->fileBytes(15);

    quint16 idx = 0;
    client.addModule(2, serialFor(30), 30, idx);        // between I/O rows
    client.addModule(3, serialFor(11), 11, idx);        // between sensor rows
    client.moveModule(2, 45, client.lineModulesModel()->moduleAt(45).tableIndex, 5, idx);
    client.moveModule(4, 20, client.lineModulesModel()->moduleAt(20).tableIndex, 31, idx);
    client.updateModuleInfo(5, 60, serialFor(60) + 1);
    CHECK_INVARIANTS(client);
    QVERIFY(client.lineModulesChanged());
    QTest::qWait(100);
    QCOMPARE(m_fake->fileBytes(10), sensorsBefore);
    QCOMPARE(m_fake->fileBytes(15), ioBefore);

    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    client.writeConfiguration();
    QVERIFY(finished.wait(60000));
    QCOMPARE(errors.count(), 0);
    const QStringList diff = fakeDiffers(client);
    QVERIFY2(diff.isEmpty(), qPrintable(diff.mid(0, 8).join('\n')));
    QVERIFY(!client.lineModulesChanged());

    // Read back, the controller's configuration gives the same tables.
    const QStringList mine = tablesDump(client);
    QSignalSpy dataset(&client, &LantrelClient::datasetChanged);
    client.readConfiguration();
    QVERIFY(dataset.wait(30000));
    const QStringList reread = tablesDump(client);
    QVERIFY2(mine == reread, qPrintable(firstDifference(mine, reread)));
    CHECK_INVARIANTS(client);

    client.shutdownDriver();
}

// A delete whose write fails reports it and leaves the mark set.
void TestModuleWorkflows::fakeFailedDeleteKeepsMarks()
{
    LantrelClient client;
    QVERIFY(connectToFake(client));
    QVERIFY(!client.isModified());

    FakeInjection inj = FakeInjection::exception(2, 21, -1);
    inj.file = 11;
    m_fake->addInjection(inj);

    QSignalSpy finished(&client, &LantrelClient::writeFinished);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy completed(&client, &LantrelClient::taskCompleted);
    client.deleteModule(3, 1, 12);
    QVERIFY(finished.wait(60000));
    QCOMPARE(completed.count(), 1 + 34 + 13 + 66);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), QStringLiteral("В процессе передачи данных в ЦУ-Л были ошибки, не переданы: "
                                                               "записи таблицы взаимодействий. Причина: ЦУ-Л отклонил запрос: Ответ-исключение Modbus: недопустимый адрес данных (код 0x02)."));
    QVERIFY(client.isModified());
    CHECK_INVARIANTS(client);

    m_fake->clearInjections();
    client.shutdownDriver();
}

// Tables that were not read whole must not be written over the controller's.
void TestModuleWorkflows::fakeDeleteAfterIncompleteReadRefused()
{
    LantrelClient client;
    QVERIFY(connectToFake(client));

    FakeInjection inj = FakeInjection::exception(2, 20, 1);
    inj.file = 10;
    m_fake->addInjection(inj);
    QSignalSpy dataset(&client, &LantrelClient::datasetChanged);
    client.readConfiguration();
    QVERIFY(dataset.wait(30000));
    QVERIFY(!client.datasetComplete());

    const QByteArray sensorsBefore = m_fake->fileBytes(10);
    const QStringList before = tablesDump(client);
    QSignalSpy errors(&client, &LantrelClient::clientError);
    QSignalSpy tasks(&client, &LantrelClient::taskStarted);
    const LineModuleRecord line = client.lineModulesModel()->moduleAt(35);
    QCOMPARE(int(line.deviceType), 2);
    client.deleteModule(2, line.tableIndex, 35);
    QTest::qWait(300);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(tasks.count(), 0);
    QCOMPARE(tablesDump(client), before);
    QCOMPARE(m_fake->fileBytes(10), sensorsBefore);

    client.shutdownDriver();
}

QTEST_GUILESS_MAIN(TestModuleWorkflows)
#include "tst_moduleworkflows.moc"
