#include <QBuffer>
#include <QFile>
#include <QDomDocument>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cstring>

#include "configurationmanager.h"
#include "controllerinfo.h"
#include "lantrelprotocol.h"

using namespace LantrelProtocol;

namespace {

template <typename T>
bool sameBytes(const T &a, const T &b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <typename T>
bool sameBytes(const QVector<T> &a, const QVector<T> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!sameBytes(a[i], b[i]))
            return false;
    }
    return true;
}

template <typename T>
QByteArray hex(const T &r)
{
    return QByteArray(reinterpret_cast<const char *>(&r), sizeof(T)).toHex(' ');
}

Konfig_Modul_t relayModule(quint32 ip, quint8 lineAddr, quint8 expMod, int relays)
{
    Konfig_Modul_t m;
    m.IPAddr = ip;
    m.LineAddr = lineAddr;
    m.ExpMod = expMod;
    for (int i = 0; i < relays; ++i) {
        m.Relays[i].RelayNum = quint8(i + 1);
        m.Relays[i].TSign = quint8(200 + i);
    }
    return m;
}

// Everything one configuration file holds, as records.
struct Config
{
    ControllerInfo identity;
    QByteArray blockId;
    Konfig_Device_t device;
    ETH_konf_t network;
    Konfig_Line_t line;
    QMap<quint16, Konfig_Section_t> sensors;
    QMap<quint16, Konfig_MVV_t> ioModules;
    QMap<quint16, Konfig_MKZ_t> scpModules;
    QMap<quint16, Konfig_Modul_t> relayModules;
    QMap<quint16, Konfig_Proc_t> rules;
    QMap<quint16, Control_Relay_t> interactions;
};

// What the readers of a document answer.
struct Answers
{
    int readsOk = 0;
    int readsFailed = 0;
    int infoCount = 0;
    Info_Device_t info;
    ushort infoLineAddr = 0;
    QDate fwDate;
    int configCount = 0;
    QByteArray blockId;
    Konfig_Device_t device;
    ETH_konf_t network;
    Konfig_Line_t line;
    QVector<Konfig_Section_t> sensors;
    QVector<Konfig_MVV_t> ioModules;
    QVector<Konfig_MKZ_t> scpModules;
    QVector<Konfig_Modul_t> relayModules;
    QVector<Konfig_Proc_t> rules;
    QVector<Control_Relay_t> interactions;
    int tableSignals = 0;
    QVector<ushort> firstIndexes;
};

Answers readAll(ConfigurationManager &m)
{
    Answers a;
    QObject guard;
    QObject::connect(&m, &ConfigurationManager::readCompleted, &guard,
                     [&](bool ok) { ok ? ++a.readsOk : ++a.readsFailed; });
    QObject::connect(&m, &ConfigurationManager::controllerInfo, &guard,
                     [&](Info_Device_t info, ushort addr, QDate date) {
                         ++a.infoCount;
                         a.info = info;
                         a.infoLineAddr = addr;
                         a.fwDate = date;
                     });
    QObject::connect(&m, &ConfigurationManager::controllerConfig, &guard,
                     [&](QByteArray id, Konfig_Device_t d, ETH_konf_t n, Konfig_Line_t l) {
                         ++a.configCount;
                         a.blockId = id;
                         a.device = d;
                         a.network = n;
                         a.line = l;
                     });
    QObject::connect(&m, &ConfigurationManager::sensorConfig, &guard,
                     [&](ushort first, QVector<Konfig_Section_t> v) {
                         ++a.tableSignals;
                         a.firstIndexes << first;
                         a.sensors = v;
                     });
    QObject::connect(&m, &ConfigurationManager::ioModuleConfig, &guard,
                     [&](ushort first, QVector<Konfig_MVV_t> v) {
                         ++a.tableSignals;
                         a.firstIndexes << first;
                         a.ioModules = v;
                     });
    QObject::connect(&m, &ConfigurationManager::scpModuleConfig, &guard,
                     [&](ushort first, QVector<Konfig_MKZ_t> v) {
                         ++a.tableSignals;
                         a.firstIndexes << first;
                         a.scpModules = v;
                     });
    QObject::connect(&m, &ConfigurationManager::relayModuleConfig, &guard,
                     [&](ushort first, QVector<Konfig_Modul_t> v) {
                         ++a.tableSignals;
                         a.firstIndexes << first;
                         a.relayModules = v;
                     });
    QObject::connect(&m, &ConfigurationManager::processingConfig, &guard,
                     [&](ushort first, QVector<Konfig_Proc_t> v) {
                         ++a.tableSignals;
                         a.firstIndexes << first;
                         a.rules = v;
                     });
    QObject::connect(&m, &ConfigurationManager::interactionsConfig, &guard,
                     [&](ushort first, QVector<Control_Relay_t> v) {
                         ++a.tableSignals;
                         a.firstIndexes << first;
                         a.interactions = v;
                     });
    m.getControllerInfo();
    m.getControllerConfig();
    m.getSensorsConfig();
    m.getIoModulesConfig();
    m.getScpModulesConfig();
    m.getRelayModulesConfig();
    m.getProcessingConfig();
    m.getInteractionsConfig();
    return a;
}

// Runs the seven writers on m (making a new document first) and counts
// their answers.
int writeAll(ConfigurationManager &m, const Config &c, bool fresh = true)
{
    if (fresh)
        m.newDocument();
    int ok = 0;
    QObject guard;
    QObject::connect(&m, &ConfigurationManager::writeCompleted, &guard, [&](bool b) { ok += b ? 1 : 0; });
    m.setControllerInfo(c.identity);
    m.setSensorsConfig(c.sensors);
    m.setIoModulesConfig(c.ioModules);
    m.setScpModulesConfig(c.scpModules);
    m.setRelayModulesConfig(c.relayModules);
    m.setControllerConfig(c.blockId, c.device, c.network, c.line);
    m.setProcessingConfig(c.rules);
    m.setInteractionsConfig(c.interactions);
    return ok;
}

QByteArray toBytes(ConfigurationManager &m)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    if (!m.writeDocument(&buffer))
        return QByteArray();
    return buffer.data();
}

bool fromBytes(ConfigurationManager &m, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return m.readDocument(&buffer);
}

Config fullConfig()
{
    Config c;
    c.identity.deviceType = 7;
    c.identity.serialNumber = QStringLiteral("1234.2024");
    c.identity.boardVersion = QStringLiteral("1.05");
    c.identity.firmwareVersion = QStringLiteral("10.12");
    c.identity.firmwareDate = QStringLiteral("05.03.2024");
    c.blockId = QStringLiteral(" Участок «Север» <1> & \"2\" 'a'\tb\r\nc ").toUtf8();

    Konfig_Device_t &d = c.device;
    d.Reserved0 = 115200;
    d.Reserved4 = 1;
    d.Reserved8 = 4;
    d.LineAddr = 247;
    d.TSign = 5;
    d.MRef = 65535;
    d.TWork = 6;
    d.NExc = 7;
    d.Ratio = 8;
    d.Dist = 9;
    d.Range = 10;
    d.LPF = 11;
    d.HPF = 12;
    d.DAF = 1;
    d.RuleJP = 14;
    d.CfgLoop = 0xF0;

    ETH_konf_t &n = c.network;
    n.IPAddr = 0xC000020A;  // 192.0.2.10
    n.NetMask = 0xFFFFFF00;
    n.Gateway = 0xC0000201;
    const quint8 mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(n.MAC, mac, 6);
    c.line.LineMode = 3;

    Konfig_Section_t s1;
    s1.SerialNo = 5768279;  // 1111.42
    s1.LineAddr = 1;
    s1.DeviceType = SECT_ACCI;
    s1.Range = 1;
    s1.LPF = 2;
    s1.HPF = 3;
    s1.DAF = 1;
    s1.ThrIR = 250;
    s1.NExcIR = 4;
    s1.RuleJP = 30;
    s1.RefCount = 2;
    Konfig_Section_t s2;
    s2.SerialNo = 0xFFFFFFFF;
    s2.LineAddr = 500;
    s2.DeviceType = SECT_ACC;
    s2.Range = 255;
    s2.LPF = 255;
    s2.HPF = 255;
    s2.DAF = 255;
    s2.RefCount = 255;
    Konfig_Section_t s3;
    s3.LineAddr = 17;
    s3.DeviceType = SECT_ACCI;
    c.sensors.insert(0, s1);
    c.sensors.insert(1, s2);
    c.sensors.insert(2, s3);
    c.sensors.insert(3, Konfig_Section_t());

    Konfig_MVV_t io;
    io.SerialNo = 263000;
    io.LineAddr = 20;
    io.DeviceType = SECT_MVV;
    io.CfgIO = 0xF2;
    io.TSign = 60;
    io.RefCountL1 = 1;
    io.RefCountL2 = 255;
    c.ioModules.insert(0, io);
    io.LineAddr = 21;
    io.SerialNo = 0;
    c.ioModules.insert(1, io);

    Konfig_MKZ_t scp;
    scp.SerialNo = 77;
    scp.LineAddr = 30;
    scp.DeviceType = SECT_MKZ;
    scp.ThrMin = 0;
    scp.ThrOff = 12000;
    scp.ThrOn = 65535;
    c.scpModules.insert(0, scp);

    Konfig_Modul_t r0 = relayModule(0x0A000005, 200, 1, 32);
    r0.Reserved9 = 1;
    Konfig_Modul_t r2 = relayModule(0xFFFFFFFF, 255, 0, 3);
    r2.Reserved9 = 3;
    c.relayModules.insert(0, r0);
    Konfig_Modul_t empty;
    std::memset(static_cast<void *>(&empty), 0, sizeof empty);
    c.relayModules.insert(1, empty);
    c.relayModules.insert(2, r2);
    c.relayModules.insert(3, empty);

    // The rule of the second sensor has NExc 0: it must not end the table.
    Konfig_Proc_t p0{500, 3, -1, 2, 50};
    Konfig_Proc_t p1{0, 0, -128, 127, 0};
    Konfig_Proc_t p2{65535, 255, -5, 0, 255};
    c.rules.insert(0, p0);
    c.rules.insert(1, p1);
    c.rules.insert(2, p2);
    for (quint16 k = 3; k < 500; ++k)
        c.rules.insert(k, Konfig_Proc_t());

    c.interactions.insert(0, Control_Relay_t{1, 0, SECT_MVV});
    c.interactions.insert(1, Control_Relay_t{0xFFFF, 255, EXT_RELY});
    c.interactions.insert(2, Control_Relay_t{(2 << 8) | 3, 17, EXT_RELY});
    c.interactions.insert(3, Control_Relay_t());
    c.interactions.insert(4, Control_Relay_t{1, 1, SECT_MVV});
    return c;
}

// A minimal file body around the given section contents.
QByteArray fileWith(const QByteArray &controller, const QByteArray &sections = QByteArray())
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RUZConfig version=\"1.0\">\n";
    body += controller.isEmpty() ? QByteArray("<Controller/>\n") : controller;
    QByteArray rest = sections;
    const char *names[] = {"Sensors", "IOModules", "SCPModules", "Processing", "RelayModules", "Interactions"};
    for (const char *name : names) {
        if (!rest.contains(QByteArray("<") + name))
            rest += QByteArray("<") + name + "/>\n";
    }
    return body + rest + "</RUZConfig>\n";
}

QByteArray repeat(const QByteArray &element, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += element;
    return out;
}

// Takes at most `chunk` bytes per write and fails once `capacity` is reached.
class LimitedDevice : public QIODevice
{
public:
    LimitedDevice(qint64 chunk, qint64 capacity) : chunk(chunk), capacity(capacity) {}
    QByteArray data;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *d, qint64 n) override
    {
        if (data.size() >= capacity) {
            setErrorString(QStringLiteral("Device full"));
            return -1;
        }
        n = qMin(qMin(n, chunk), capacity - data.size());
        data.append(d, int(n));
        return n;
    }

private:
    qint64 chunk;
    qint64 capacity;
};

QByteArray manyAttributes(int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += "a" + QByteArray::number(i) + "='' ";
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Config)

class tst_ConfigurationManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void roundTrip_data();
    void roundTrip();
    void goldenNewDocument();
    void writtenFileRereadsUnchanged();
    void noDocument();

    void refused_data();
    void refused();
    void accepted_data();
    void accepted();
    void lineCountsFollowStoredEntries();
    void relayModuleSlots();
    void savedAsLoaded_data();
    void savedAsLoaded();
    void savesGiveTheSameBytes();
    void readTreeAsTheDomParses_data();
    void readTreeAsTheDomParses();

    void writersSkipEmptyRows();
    void updateInPlaceKeepsUnknownContent();
    void blockIdWithCharactersXmlCannotHold();

    void writeReplacesFileContents();
    void writeFailures();
    void saveNamesWhatTheReaderRefuses();
    void refusedSaveNamesTheTableRow_data();
    void refusedSaveNamesTheTableRow();

private:
    QByteArray sampleFile;
};

void tst_ConfigurationManager::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    registerMetaTypes();
    ConfigurationManager m;
    QCOMPARE(writeAll(m, fullConfig()), 7);
    sampleFile = toBytes(m);
    QVERIFY(!sampleFile.isEmpty());
}

// records -> file bytes -> records, over every table and field.
void tst_ConfigurationManager::roundTrip_data()
{
    QTest::addColumn<Config>("written");
    QTest::addColumn<Config>("expected");

    const Config full = fullConfig();
    Config expected = full;
    // An empty module record is not a module, and has no rule; an empty
    // interaction record is a record of the table.
    expected.sensors.remove(3);
    expected.rules = QMap<quint16, Konfig_Proc_t>();
    for (quint16 k = 0; k < 3; ++k)
        expected.rules.insert(k, full.rules.value(k));
    // Reading gives every relay slot, empty ones in their default form.
    Konfig_Modul_t defaultSlot;
    std::memset(static_cast<void *>(&defaultSlot), 0, sizeof defaultSlot);
    defaultSlot.Reserved4 = 502;
    defaultSlot.Reserved6 = 2;
    expected.relayModules.insert(1, defaultSlot);
    expected.relayModules.insert(3, defaultSlot);
    QTest::newRow("every table and field") << full << expected;

    // Infrared fields of a type-4 sensor are not stored.
    Config ir;
    Konfig_Section_t s;
    s.SerialNo = 5768279;
    s.LineAddr = 3;
    s.DeviceType = SECT_ACC;
    s.ThrIR = 100;
    s.NExcIR = 5;
    s.RuleJP = 9;
    s.Reserved15 = 0xAA;
    ir.sensors.insert(0, s);
    Config irExpected = ir;
    irExpected.sensors[0].ThrIR = 0;
    irExpected.sensors[0].NExcIR = 0;
    irExpected.sensors[0].RuleJP = 0;
    irExpected.sensors[0].Reserved15 = 0;
    irExpected.rules.insert(0, Konfig_Proc_t());
    QTest::newRow("type-4 sensor without infrared fields") << ir << irExpected;

    // Nothing but zeros: empty serial text, 0.0.0.0, zero MAC, no entries.
    Config zero;
    zero.identity.serialNumber.clear();
    QTest::newRow("empty configuration") << zero << zero;

    // Reserved fields are not stored; a read gives their fixed values.
    Config reserved;
    reserved.device.Reserved0 = 1;
    reserved.device.Reserved12 = 9;
    reserved.device.Reserved18 = 0;
    reserved.network.Reserved4 = 1;
    reserved.network.Reserved22 = 5;
    Konfig_MVV_t io;
    io.LineAddr = 1;
    io.DeviceType = SECT_MVV;
    io.Reserved9 = 1;
    io.Reserved13 = 2;
    reserved.ioModules.insert(0, io);
    Konfig_MKZ_t scp;
    scp.LineAddr = 2;
    scp.DeviceType = SECT_MKZ;
    scp.Reserved7 = 3;
    reserved.scpModules.insert(0, scp);
    Konfig_Modul_t relay = relayModule(0x01020304, 1, 1, 0);
    relay.Reserved4 = 0;
    relay.Reserved6 = 0;
    relay.Reserved9 = 0;
    relay.Reserved11 = 7;
    reserved.relayModules.insert(3, relay);
    Config reservedExpected;
    reservedExpected.ioModules.insert(0, io);
    reservedExpected.ioModules[0].Reserved9 = 0;
    reservedExpected.ioModules[0].Reserved13 = 0;
    reservedExpected.scpModules.insert(0, scp);
    reservedExpected.scpModules[0].Reserved7 = 0;
    for (quint16 k = 0; k < 3; ++k)
        reservedExpected.relayModules.insert(k, defaultSlot);
    Konfig_Modul_t relayRead = relayModule(0x01020304, 1, 1, 0);
    relayRead.Reserved9 = 4;
    reservedExpected.relayModules.insert(3, relayRead);
    QTest::newRow("reserved fields") << reserved << reservedExpected;
}

void tst_ConfigurationManager::roundTrip()
{
    QFETCH(Config, written);
    QFETCH(Config, expected);

    ConfigurationManager writer;
    QCOMPARE(writeAll(writer, written), 7);
    const QByteArray bytes = toBytes(writer);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RUZConfig"));

    ConfigurationManager reader;
    QVERIFY2(fromBytes(reader, bytes), qPrintable(reader.lastError()));
    const Answers a = readAll(reader);
    QCOMPARE(a.readsOk, 7);
    QCOMPARE(a.readsFailed, 0);
    QCOMPARE(a.infoCount, 1);
    QCOMPARE(a.configCount, 1);
    for (ushort first : a.firstIndexes)
        QCOMPARE(first, ushort(0));

    // Identity as the controller element holds it.
    QCOMPARE(a.info.DeviceType, quint32(expected.identity.deviceType));
    const QStringList serial = expected.identity.serialNumber.split('.');
    QCOMPARE(a.info.SerialNo, quint16(serial.size() == 2 ? serial[0].toUInt() : 0));
    QCOMPARE(a.info.ProdYear, quint16(serial.size() == 2 ? serial[1].toUInt() : 0));
    QCOMPARE(a.info.PCBVer, quint16(expected.identity.boardVersion.isEmpty() ? 0 : 0x0105));
    QCOMPARE(a.info.FwVer, quint16(expected.identity.firmwareVersion.isEmpty() ? 0 : 0x0A0C));
    QCOMPARE(a.fwDate, QDate::fromString(expected.identity.firmwareDate, "dd.MM.yyyy"));
    QCOMPARE(a.infoLineAddr, expected.device.LineAddr);

    QCOMPARE(QString::fromUtf8(a.blockId), QString::fromUtf8(expected.blockId));
    Konfig_Device_t device = expected.device;
    device.Reserved0 = device.Reserved4 = device.Reserved8 = 0;
    device.Reserved12 = device.Reserved13 = device.Reserved14 = device.Reserved15 = 0;
    device.Reserved18 = 1;
    QVERIFY2(sameBytes(a.device, device), hex(a.device) + " / " + hex(device));
    ETH_konf_t network = expected.network;
    network.Reserved4 = 502;
    network.Reserved6 = 2;
    network.Reserved22 = network.Reserved23 = 0;
    QVERIFY2(sameBytes(a.network, network), hex(a.network) + " / " + hex(network));

    Konfig_Line_t line;
    line.SensorCount = quint16(expected.sensors.size());
    line.IoCount = quint16(expected.ioModules.size());
    line.ScpCount = quint16(expected.scpModules.size());
    int relays = 0;
    for (const Konfig_Modul_t &m : expected.relayModules)
        relays += m.IPAddr != 0 ? 1 : 0;
    line.RelayCount = quint8(relays);
    line.LineMode = expected.line.LineMode;
    QVERIFY2(sameBytes(a.line, line), hex(a.line) + " / " + hex(line));

    QVERIFY(sameBytes(a.sensors, expected.sensors.values().toVector()));
    QVERIFY(sameBytes(a.ioModules, expected.ioModules.values().toVector()));
    QVERIFY(sameBytes(a.scpModules, expected.scpModules.values().toVector()));
    QVERIFY(sameBytes(a.relayModules, expected.relayModules.values().toVector()));
    QVERIFY(sameBytes(a.rules, expected.rules.values().toVector()));
    QVERIFY(sameBytes(a.interactions, expected.interactions.values().toVector()));
}

void tst_ConfigurationManager::goldenNewDocument()
{
    ConfigurationManager m;
    m.newDocument();
    QVERIFY(m.hasDocument());
    const QByteArray expected =
        "\xEF\xBB\xBF"
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<RUZConfig version=\"1.0\">\n"
        "  <Controller/>\n"
        "  <Sensors/>\n"
        "  <IOModules/>\n"
        "  <SCPModules/>\n"
        "  <Processing/>\n"
        "  <RelayModules/>\n"
        "  <Interactions/>\n"
        "</RUZConfig>\n";
    QCOMPARE(toBytes(m), expected);

    // Nested levels are indented by two spaces each.
    QVERIFY(sampleFile.contains("\n  <RelayModules>\n    <RelayModule "));
    QVERIFY(sampleFile.contains("\n      <Relay "));
    QVERIFY(sampleFile.contains(" SensLeft=\"-128\""));
    QVERIFY(sampleFile.contains(" IPAddr=\"192.0.2.10\""));
    QVERIFY(sampleFile.contains(" MAC=\"001a2b3c4d5e\""));
    QVERIFY(sampleFile.contains(" SerialNo=\"1111.42\""));
    QVERIFY(sampleFile.contains(" FwDate=\"05.03.2024\""));
}

// file bytes -> document -> file bytes -> the same records.
void tst_ConfigurationManager::writtenFileRereadsUnchanged()
{
    ConfigurationManager first;
    QVERIFY(fromBytes(first, sampleFile));
    const QByteArray again = toBytes(first);
    QCOMPARE(again.size(), sampleFile.size());
    ConfigurationManager second;
    QVERIFY(fromBytes(second, again));
    const Answers a = readAll(first);
    const Answers b = readAll(second);
    QVERIFY(sameBytes(a.info, b.info) && sameBytes(a.device, b.device) && sameBytes(a.network, b.network)
            && sameBytes(a.line, b.line) && a.blockId == b.blockId);
    QVERIFY(sameBytes(a.sensors, b.sensors) && sameBytes(a.ioModules, b.ioModules)
            && sameBytes(a.scpModules, b.scpModules) && sameBytes(a.relayModules, b.relayModules)
            && sameBytes(a.rules, b.rules) && sameBytes(a.interactions, b.interactions));
    QCOMPARE(a.sensors.size(), 3);
    QCOMPARE(a.rules.size(), 3);
}

void tst_ConfigurationManager::noDocument()
{
    ConfigurationManager m;
    QVERIFY(!m.hasDocument());
    const Answers a = readAll(m);
    QCOMPARE(a.readsFailed, 7);
    QCOMPARE(a.readsOk, 0);
    QCOMPARE(a.infoCount + a.configCount + a.tableSignals, 0);
    QCOMPARE(writeAll(m, fullConfig(), false), 0);
    QVERIFY(!m.hasDocument());

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(!m.writeDocument(&buffer));
    QCOMPARE(m.lastError(), QStringLiteral("Ошибка: пустая конфигурация"));
    QVERIFY(buffer.data().isEmpty());

    QVERIFY(fromBytes(m, sampleFile));
    m.clear();
    QVERIFY(!m.hasDocument());
    QVERIFY(m.lastError().isEmpty());
}

void tst_ConfigurationManager::refused_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");  // the whole text, or its start when it ends with "*"

    const QString parseError = QStringLiteral("Файл не является файлом конфигурации ИОП: ошибка разбора XML в строке *");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("Ошибка конфигурации: пустой файл данных");
    QTest::newRow("only byte-order mark") << QByteArray("\xEF\xBB\xBF") << parseError;
    QTest::newRow("not xml") << QByteArray("Hello, world") << parseError;
    QTest::newRow("truncated") << sampleFile.left(sampleFile.size() / 2) << parseError;
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF\xFE", 5) << parseError;
    QTest::newRow("wrong root") << QByteArray("<Configuration><Controller/></Configuration>")
                                << QStringLiteral("Данный документ не является конфигурацией ИОП «Лантрел-А»");

    const char *sections[] = {"Controller", "Sensors", "IOModules", "SCPModules",
                              "Processing", "RelayModules", "Interactions"};
    const QString missing[] = {
        QStringLiteral("Ошибка конфигурации: отсутствует узел ЦУ-Л"),
        QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ВТ-Л/ВС-Л"),
        QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ПС-Л"),
        QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ТЗ-Л"),
        QStringLiteral("Ошибка конфигурации: отсутствует корневой узел параметров обработки"),
        QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ЖН-Т"),
        QStringLiteral("Ошибка конфигурации: отсутствует корневой узел взаимодействий")};
    for (int i = 0; i < 7; ++i) {
        QByteArray body = "<RUZConfig>";
        for (int j = 0; j < 7; ++j) {
            if (j != i)
                body += QByteArray("<") + sections[j] + "/>";
        }
        body += "</RUZConfig>";
        QTest::newRow(qPrintable(QStringLiteral("missing %1").arg(sections[i]))) << body << missing[i];
    }
    QTest::newRow("first missing section wins")
        << QByteArray("<RUZConfig><Interactions2/><Controller/><Sensors/><IOModules/><Processing/>"
                      "<RelayModules/></RUZConfig>")
        << missing[3];
    QTest::newRow("section nested too deep")
        << QByteArray("<RUZConfig><Controller/><Sensors/><IOModules/><SCPModules/><Processing/>"
                      "<RelayModules><Interactions/></RelayModules></RUZConfig>")
        << missing[6];

    const QString badValue = QStringLiteral("Ошибка конфигурации: недопустимое значение атрибута *");
    struct Bad
    {
        const char *name;
        QByteArray controller;
        QByteArray sections;
        const char *mentions;
    };
    const Bad bad[] = {
        {"sensor line address not a number", {}, "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"abc\"/></Sensors>", "LineAddr"},
        {"sensor line address 0", {}, "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"0\"/></Sensors>", "LineAddr"},
        {"sensor line address 501", {}, "<Sensors><Sensor DeviceType=\"3\" LineAddr=\"501\"/></Sensors>", "LineAddr"},
        {"io line address 65536", {}, "<IOModules><IOModule DeviceType=\"2\" LineAddr=\"65536\"/></IOModules>", "LineAddr"},
        {"sensor range 256", {}, "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"1\" Range=\"256\"/></Sensors>", "Range"},
        {"sensor range negative", {}, "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"1\" Range=\"-1\"/></Sensors>", "Range"},
        {"sensor serial without year", {}, "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"1\" SerialNo=\"12\"/></Sensors>", "SerialNo"},
        {"sensor serial number too big", {}, "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"1\" SerialNo=\"300000.24\"/></Sensors>", "SerialNo"},
        {"io serial year below 20", {}, "<IOModules><IOModule DeviceType=\"2\" LineAddr=\"1\" SerialNo=\"5.19\"/></IOModules>", "SerialNo"},
        {"ir threshold 1000", {}, "<Sensors><Sensor DeviceType=\"3\" LineAddr=\"1\" ThrIR=\"1000\"/></Sensors>", "ThrIR"},
        {"scp threshold 70000", {}, "<SCPModules><SCPModule DeviceType=\"5\" LineAddr=\"1\" ThrOn=\"70000\"/></SCPModules>", "ThrOn"},
        {"rule left -129", {}, "<Processing><Rule SensLeft=\"-129\"/></Processing>", "SensLeft"},
        {"rule right 128", {}, "<Processing><Rule SensRight=\"128\"/></Processing>", "SensRight"},
        {"rule threshold 1e3", {}, "<Processing><Rule MRef=\"1e3\"/></Processing>", "MRef"},
        {"interaction ref -1", {}, "<Interactions><Interaction DeviceType=\"2\" DestRef=\"-1\"/></Interactions>", "DestRef"},
        {"relay number 300", {}, "<RelayModules><RelayModule Addr=\"1\" IPAddr=\"10.0.0.1\"><Relay RelayNum=\"300\"/></RelayModule></RelayModules>", "RelayNum"},
        {"relay module ip", {}, "<RelayModules><RelayModule Addr=\"1\" IPAddr=\"10.0.0\"/></RelayModules>", "IPAddr"},
        {"controller device type 2^32", "<Controller DeviceType=\"4294967296\"/>", {}, "DeviceType"},
        {"controller threshold 65536", "<Controller MRef=\"65536\"/>", {}, "MRef"},
        {"controller huge number", "<Controller TSign=\"99999999999999999999999\"/>", {}, "TSign"},
        {"controller number just past 64 bits", "<Controller TSign=\"18446744073709551617\"/>", {}, "TSign"},
        {"controller ip 300.1.1.1", "<Controller IPAddr=\"300.1.1.1\"/>", {}, "IPAddr"},
        {"controller netmask text", "<Controller NetMask=\"mask\"/>", {}, "NetMask"},
        {"controller mac short", "<Controller MAC=\"00112233445\"/>", {}, "MAC"},
        {"controller serial text", "<Controller SerialNo=\"A-17\"/>", {}, "SerialNo"},
        {"controller serial 70000", "<Controller SerialNo=\"70000.2024\"/>", {}, "SerialNo"},
        {"controller board version 1.256", "<Controller PCBVer=\"1.256\"/>", {}, "PCBVer"},
        {"relay key 5", {}, "<RelayModules><RelayModule Addr=\"5\" IPAddr=\"10.0.0.1\"/></RelayModules>", "Addr"},
        {"relay key 0", {}, "<RelayModules><RelayModule Addr=\"0\" IPAddr=\"10.0.0.1\"/></RelayModules>", "Addr"},
        {"relay key missing", {}, "<RelayModules><RelayModule IPAddr=\"10.0.0.1\"/></RelayModules>", "Addr"},
    };
    for (const Bad &b : bad) {
        QTest::newRow(b.name) << fileWith(b.controller, b.sections)
                              << badValue + QLatin1Char('|') + QLatin1String(b.mentions);
    }

    const QString tooMany = QStringLiteral("Ошибка конфигурации: в узле *");
    const QByteArray sensor = "<Sensor DeviceType=\"4\" LineAddr=\"1\"/>";
    QTest::newRow("501 sensors") << fileWith({}, "<Sensors>" + repeat(sensor, 501) + "</Sensors>")
                                 << tooMany + "|500";
    QTest::newRow("101 io modules")
        << fileWith({}, "<IOModules>" + repeat("<IOModule DeviceType=\"2\" LineAddr=\"9\"/>", 101) + "</IOModules>")
        << tooMany + "|100";
    QTest::newRow("33 scp modules")
        << fileWith({}, "<SCPModules>" + repeat("<SCPModule DeviceType=\"5\" LineAddr=\"9\"/>", 33) + "</SCPModules>")
        << tooMany + "|32";
    QTest::newRow("501 rules") << fileWith({}, "<Processing>" + repeat("<Rule/>", 501) + "</Processing>")
                               << tooMany + "|500";
    QTest::newRow("4001 interactions")
        << fileWith({}, "<Interactions>" + repeat("<Interaction DeviceType=\"2\"/>", 4001) + "</Interactions>")
        << tooMany + "|4000";
    QTest::newRow("33 relays")
        << fileWith({}, "<RelayModules><RelayModule Addr=\"2\" IPAddr=\"10.0.0.2\" ExpMod=\"1\">"
                            + repeat("<Relay RelayNum=\"1\"/>", 33) + "</RelayModule></RelayModules>")
        << tooMany + "|32";

    QByteArray deep = fileWith({}, "<Sensors>" + repeat("<x>", 300) + repeat("</x>", 300) + "</Sensors>");
    QTest::newRow("nesting too deep")
        << deep << QStringLiteral("Ошибка конфигурации: слишком глубокая вложенность элементов*");
    QTest::newRow("too many nodes")
        << fileWith({}, "<Interactions>" + repeat("<!---->", 200001) + "</Interactions>")
        << QStringLiteral("Ошибка конфигурации: слишком много узлов в файле данных*");
    QTest::newRow("too many attributes")
        << fileWith({}, "<Processing><Rule " + manyAttributes(200001) + "/></Processing>")
        << QStringLiteral("Ошибка конфигурации: слишком много атрибутов элемента (строка 4)");
    QTest::newRow("too many attributes, values holding markup")
        << fileWith("<Controller " + manyAttributes(257).replace("''", "'>\"'") + "/>")
        << QStringLiteral("Ошибка конфигурации: слишком много атрибутов элемента (строка 3)");
    QTest::newRow("larger than 32 MiB")
        << fileWith("<Controller BlockID=\"" + QByteArray(32 * 1024 * 1024, 'x') + "\"/>")
        << QStringLiteral("Ошибка конфигурации: размер файла данных больше 33554432 байт");
    // A saved file must read back: the writer would drop the declarations
    // and keep the references.
    const QString noDoctype = QStringLiteral("Ошибка конфигурации: объявления типа документа (DOCTYPE) и ссылки "
                                             "на сущности в файле данных не допускаются*");
    QTest::newRow("entity declared and used")
        << QByteArray("<!DOCTYPE RUZConfig [<!ENTITY id \"Block 7\">]>\n"
                      "<RUZConfig><Controller BlockID=\"&id;\"/><Sensors/><IOModules/><SCPModules/>"
                      "<Processing/><RelayModules/><Interactions/></RUZConfig>")
        << noDoctype;
    QTest::newRow("doctype alone")
        << QByteArray("<!DOCTYPE RUZConfig>\n<RUZConfig><Controller/><Sensors/><IOModules/><SCPModules/>"
                      "<Processing/><RelayModules/><Interactions/></RUZConfig>")
        << noDoctype;
    QTest::newRow("billion laughs")
        << QByteArray("<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
                      "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]><RUZConfig><Controller BlockID=\"&g;\"/>"
                      "</RUZConfig>")
        << noDoctype;
    QTest::newRow("undeclared entity")
        << fileWith("<Controller BlockID=\"&id;\"/>") << parseError;
    // A tag of a million '=' signs is scanned once, not once per sign.
    QTest::newRow("long run of equals signs in a tag")
        << fileWith("<Controller a" + QByteArray(1 << 20, '=') + "/>")
        << QStringLiteral("Ошибка конфигурации: слишком много атрибутов элемента (строка 3)");

    // The line is the one of the parse that refused, whatever another
    // parser would make of white space written as character references.
    const QString badValueText = QStringLiteral("Ошибка конфигурации: недопустимое значение атрибута %1 элемента %2 "
                                                "(строка %3): «%4»");
    QTest::newRow("white space as character references before the entry")
        << fileWith({}, "<Sensors>&#32;&#10;\n<Sensor DeviceType=\"4\" LineAddr=\"0\"/></Sensors>")
        << badValueText.arg("LineAddr", "Sensor").arg(5).arg(0);
    QTest::newRow("character reference between entries")
        << fileWith({}, "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"1\"/>&#9;\n\n<Sensor DeviceType=\"1\" "
                        "LineAddr=\"501\"/></Sensors>")
        << badValueText.arg("LineAddr", "Sensor").arg(6).arg(501);
}

// A refused file leaves the held document as it was and emits nothing.
void tst_ConfigurationManager::refused()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);

    ConfigurationManager m;
    QVERIFY(fromBytes(m, sampleFile));
    const Answers before = readAll(m);

    int signalCount = 0;
    connect(&m, &ConfigurationManager::readCompleted, this, [&] { ++signalCount; });
    connect(&m, &ConfigurationManager::writeCompleted, this, [&] { ++signalCount; });
    QVERIFY(!fromBytes(m, file));
    QCOMPARE(signalCount, 0);
    disconnect(&m, nullptr, this, nullptr);

    const QStringList parts = error.split(QLatin1Char('|'));
    const QString text = parts[0];
    if (text.endsWith(QLatin1Char('*')))
        QVERIFY2(m.lastError().startsWith(text.chopped(1)), qPrintable(m.lastError()));
    else
        QCOMPARE(m.lastError(), text);
    if (parts.size() > 1)
        QVERIFY2(m.lastError().contains(parts[1]), qPrintable(m.lastError()));

    QVERIFY(m.hasDocument());
    const Answers after = readAll(m);
    QCOMPARE(after.readsOk, 7);
    QVERIFY(sameBytes(after.device, before.device) && sameBytes(after.network, before.network)
            && sameBytes(after.line, before.line) && after.blockId == before.blockId);
    QVERIFY(sameBytes(after.sensors, before.sensors) && sameBytes(after.rules, before.rules)
            && sameBytes(after.relayModules, before.relayModules)
            && sameBytes(after.interactions, before.interactions));
    QCOMPARE(toBytes(m).size(), sampleFile.size());
}

void tst_ConfigurationManager::accepted_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("check");

    QTest::newRow("root name in other case")
        << QByteArray("<ruzconfig><Controller LineAddr=\"4\"/><Sensors/><IOModules/><SCPModules/><Processing/>"
                      "<RelayModules/><Interactions/></ruzconfig>")
        << "controller line 4";
    QTest::newRow("sections in another order, no declaration")
        << QByteArray("<RUZConfig><Interactions/><RelayModules/><Processing/><SCPModules/><IOModules/>"
                      "<Sensors/><Controller LineAddr=\"4\"/></RUZConfig>")
        << "controller line 4";
    QTest::newRow("byte-order mark and Cyrillic text")
        << QByteArray("\xEF\xBB\xBF") + fileWith("<Controller LineAddr=\"4\" BlockID=\"Блок\"/>")
        << "controller line 4";
    QTest::newRow("missing and empty values read as 0")
        << fileWith("<Controller LineAddr=\"4\" MRef=\"\" IPAddr=\"\" MAC=\"\" SerialNo=\"\"/>",
                    "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"1\" Range=\" \"/></Sensors>")
        << "controller line 4";
    QTest::newRow("sensors in document order whatever their Addr")
        << fileWith({}, "<Sensors><Sensor Addr=\"7\" DeviceType=\"4\" LineAddr=\"70\"/>"
                        "<Sensor Addr=\"3\" DeviceType=\"4\" LineAddr=\"30\"/>"
                        "<Sensor Addr=\"5\" DeviceType=\"4\" LineAddr=\"50\"/></Sensors>")
        << "sensors 70 30 50";
    QTest::newRow("MAC with separators")
        << fileWith("<Controller LineAddr=\"4\" MAC=\"00:1A:2B:3C:4D:5E\"/>") << "controller line 4";
    // Character references and the predefined entities are no entity
    // references of the file's own.
    QTest::newRow("many escaped characters")
        << fileWith("<Controller LineAddr=\"&#52;\" Note=\"" + repeat("&amp;&lt;&#x41;&quot;&apos;&gt;", 3000)
                    + "\"/>")
        << "controller line 4";
}

void tst_ConfigurationManager::accepted()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, check);
    ConfigurationManager m;
    QVERIFY2(fromBytes(m, file), qPrintable(m.lastError()));
    const Answers a = readAll(m);
    QCOMPARE(a.readsOk, 7);
    if (check == "controller line 4") {
        QCOMPARE(a.device.LineAddr, quint16(4));
        QCOMPARE(a.infoLineAddr, ushort(4));
    } else {
        QCOMPARE(a.sensors.size(), 3);
        QCOMPARE(a.sensors[0].LineAddr, quint16(70));
        QCOMPARE(a.sensors[1].LineAddr, quint16(30));
        QCOMPARE(a.sensors[2].LineAddr, quint16(50));
    }
}

// The document read keeps every node of the file as the DOM's own parser
// would: saved again, both give the same bytes.
void tst_ConfigurationManager::readTreeAsTheDomParses_data()
{
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("written file") << sampleFile;
    QTest::newRow("no declaration") << fileWith({}).mid(fileWith({}).indexOf('\n') + 1);
    QTest::newRow("standalone declaration")
        << QByteArray("<?xml version='1.0' encoding='UTF-8' standalone='yes'?>") + fileWith({}).mid(38);
    QTest::newRow("comments and instructions")
        << fileWith("<Controller LineAddr=\"4\"><!-- inside --><?app two x=1?></Controller>")
               .replace("?>\n<RUZConfig", "?>\n<!-- before --><?app one?><RUZConfig")
               + "<!-- after -->";
    QTest::newRow("text, references and CDATA")
        << fileWith("<Controller LineAddr=\"4\"> a &amp; b &#1083;<![CDATA[ <raw> ]]>c<Extra/>  </Controller>");
    QTest::newRow("white space only text")
        << fileWith("<Controller LineAddr=\"4\">\n   \t\n</Controller>", "<Sensors>\n\n</Sensors>");
    QTest::newRow("unknown elements and attributes")
        << fileWith("<Controller LineAddr=\"4\" Own=\"&lt;x&gt;\"><Note a=\"1\" b='2'>t</Note></Controller>");
    // Numbers that differ only in their leading zeros, and more distinct
    // names than any file of the program holds.
    QByteArray many = "<Controller LineAddr=\"007\" TSign=\"07\" MRef=\"7\" TWork=\"0007\" NExc=\" 7\" Dist=\"\">";
    for (int note = 0; note < 4; ++note) {
        many += "<Note";
        for (int k = 0; k < 200; ++k)
            many += " n" + QByteArray::number(note * 200 + k) + "=\"" + QByteArray::number(k % 12) + "\"";
        many += "/>";
    }
    QTest::newRow("shared names and numbers") << fileWith(many + "</Controller>");
}

// The tree a document holds, in words; attributes by name, since the
// document keeps them unordered. The declaration is left out: every save
// writes its own.
QString treeText(const QDomNode &node)
{
    QString text;
    if (node.isElement()) {
        const QDomNamedNodeMap attributes = node.attributes();
        QStringList pairs;
        for (int i = 0; i < attributes.count(); ++i) {
            const QDomAttr a = attributes.item(i).toAttr();
            pairs << a.name() + QLatin1Char('=') + a.value();
        }
        pairs.sort();
        text = QLatin1Char('<') + node.nodeName() + QLatin1Char(' ') + pairs.join(QLatin1Char(' '))
            + QLatin1Char('>');
    } else if (!node.isDocument()) {
        text = QString::number(node.nodeType()) + QLatin1Char(':') + node.nodeName() + QLatin1Char(':')
            + node.nodeValue();
    }
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isProcessingInstruction() || child.nodeName() != QLatin1String("xml"))
            text += QLatin1Char('\n') + treeText(child);
    }
    return text + QStringLiteral("\n/");
}

void tst_ConfigurationManager::readTreeAsTheDomParses()
{
    QFETCH(QByteArray, file);
    ConfigurationManager m;
    QVERIFY2(fromBytes(m, file), qPrintable(m.lastError()));

    QDomDocument reference;
    QVERIFY(reference.setContent(file, false));
    QDomDocument saved;
    QVERIFY(saved.setContent(toBytes(m), false));
    QCOMPARE(treeText(saved), treeText(reference));
}

// The counts of the line settings are the entries the tables receive, not
// the child nodes of the sections.
void tst_ConfigurationManager::lineCountsFollowStoredEntries()
{
    const QByteArray file = fileWith(
        {},
        "<Sensors><!-- north --><Sensor DeviceType=\"4\" LineAddr=\"1\"/>\n"
        "<Sensor DeviceType=\"0\"/><Note/><Sensor DeviceType=\"3\" LineAddr=\"3\" ThrIR=\"7\"/></Sensors>\n"
        "<IOModules><!-- c --><IOModule DeviceType=\"0\"/></IOModules>\n"
        "<SCPModules>text<SCPModule DeviceType=\"5\" LineAddr=\"9\"/></SCPModules>\n"
        "<Processing><Rule MRef=\"1\"/><Rule MRef=\"2\"/><Rule MRef=\"3\"/></Processing>\n"
        "<RelayModules><RelayModule Addr=\"2\" IPAddr=\"10.0.0.1\"/><RelayModule Addr=\"2\" IPAddr=\"10.0.0.2\"/>"
        "<RelayModule Addr=\"4\" IPAddr=\"0.0.0.0\"/><!-- x --></RelayModules>");
    ConfigurationManager m;
    QVERIFY2(fromBytes(m, file), qPrintable(m.lastError()));
    const Answers a = readAll(m);
    QCOMPARE(a.line.SensorCount, quint16(2));
    QCOMPARE(a.line.IoCount, quint16(0));
    QCOMPARE(a.line.ScpCount, quint16(1));
    QCOMPARE(a.line.RelayCount, quint8(1));

    // The empty sensor entry is left out together with its rule, so the
    // rules still belong to their sensors.
    QCOMPARE(a.sensors.size(), 2);
    QCOMPARE(a.sensors[1].LineAddr, quint16(3));
    QCOMPARE(a.sensors[1].ThrIR, quint8(7));
    QCOMPARE(a.rules.size(), 2);
    QCOMPARE(a.rules[0].MRef, quint16(1));
    QCOMPARE(a.rules[1].MRef, quint16(3));
    QVERIFY(a.ioModules.isEmpty());
    QCOMPARE(a.relayModules.size(), 4);
    QCOMPARE(a.relayModules[1].IPAddr, quint32(0x0A000002));  // the later one replaces
}

void tst_ConfigurationManager::relayModuleSlots()
{
    const QByteArray file = fileWith(
        {}, "<RelayModules><RelayModule Addr=\"3\" IPAddr=\"10.0.0.3\" LineAddr=\"9\" ExpMod=\"0\">"
            + repeat("<Relay RelayNum=\"5\" TSign=\"6\"/>", 20)
            + "</RelayModule><RelayModule Addr=\"1\" IPAddr=\"10.0.0.1\" ExpMod=\"1\">"
            + repeat("<Relay RelayNum=\"7\" TSign=\"8\"/>", 20) + "</RelayModule></RelayModules>");
    ConfigurationManager m;
    QVERIFY2(fromBytes(m, file), qPrintable(m.lastError()));
    const Answers a = readAll(m);
    QCOMPARE(a.relayModules.size(), 4);
    const Konfig_Modul_t &third = a.relayModules[2];
    QCOMPARE(third.IPAddr, quint32(0x0A000003));
    QCOMPARE(third.Reserved9, quint8(3));
    QCOMPARE(third.Reserved4, quint16(502));
    QCOMPARE(third.Relays[15].RelayNum, quint8(5));
    QCOMPARE(third.Relays[16].RelayNum, quint8(0));  // without expansion only 16 relays
    QCOMPARE(a.relayModules[0].Relays[19].TSign, quint8(8));
    QCOMPARE(a.relayModules[1].IPAddr, quint32(0));
    QCOMPARE(a.relayModules[1].Reserved6, quint16(2));
    QCOMPARE(a.relayModules[1].Reserved9, quint8(0));
    QCOMPARE(a.line.RelayCount, quint8(2));

    // No relay module element at all: no data signal.
    ConfigurationManager empty;
    empty.newDocument();
    QCOMPARE(readAll(empty).tableSignals, 0);
}

// Files that hold what the pages show load and save with every value kept.
void tst_ConfigurationManager::savedAsLoaded_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("relays"); // Relay elements of the saved module

    const QByteArray relays20 = repeat("<Relay RelayNum=\"5\" TSign=\"6\"/>", 20);
    QTest::newRow("block identifier of 64 bytes")
        << fileWith("<Controller BlockID=\"" + QString(32, QChar(0x0416)).toUtf8() + "\"/>") << 0;
    // Relays 17 to 32 exist whenever the flag is not 0, as the page shows them.
    QTest::newRow("expansion flag 2")
        << fileWith({}, "<RelayModules><RelayModule Addr=\"1\" IPAddr=\"10.0.0.1\" ExpMod=\"2\">" + relays20
                            + "</RelayModule></RelayModules>")
        << 20;
    // The on-times after a relay number 0 are the page's and the controller's too.
    QTest::newRow("relay number 0 before others")
        << fileWith({}, "<RelayModules><RelayModule Addr=\"2\" IPAddr=\"10.0.0.2\" ExpMod=\"0\">"
                        "<Relay RelayNum=\"1\" TSign=\"4\"/><Relay RelayNum=\"0\" TSign=\"0\"/>"
                        "<Relay RelayNum=\"3\" TSign=\"9\"/><Relay RelayNum=\"0\" TSign=\"7\"/>"
                        "</RelayModule></RelayModules>")
        << 4;
    QTest::newRow("out-of-range values the pages show as they are")
        << fileWith("<Controller TSign=\"255\" NExc=\"8\" Ratio=\"46\" RuleJP=\"17\" DAF=\"2\" LineAddr=\"65535\"/>",
                    "<Sensors><Sensor DeviceType=\"3\" LineAddr=\"1\" NExcIR=\"5\" RuleJP=\"40\" ThrIR=\"0\"/></Sensors>"
                    "<Processing><Rule MRef=\"9000\" NExc=\"8\" Ratio=\"46\" SensLeft=\"-128\"/></Processing>")
        << 0;
}

void tst_ConfigurationManager::savedAsLoaded()
{
    QFETCH(QByteArray, file);
    QFETCH(int, relays);

    ConfigurationManager m;
    QVERIFY2(fromBytes(m, file), qPrintable(m.lastError()));
    const Answers loaded = readAll(m);

    // Saved as the client saves: every table through its writer.
    Config c;
    c.blockId = loaded.blockId;
    c.device = loaded.device;
    c.network = loaded.network;
    c.line = loaded.line;
    for (int i = 0; i < loaded.sensors.size(); ++i)
        c.sensors.insert(quint16(i), loaded.sensors[i]);
    for (int i = 0; i < loaded.rules.size(); ++i)
        c.rules.insert(quint16(i), loaded.rules[i]);
    for (int i = 0; i < loaded.relayModules.size(); ++i)
        c.relayModules.insert(quint16(i), loaded.relayModules[i]);
    ConfigurationManager saver;
    QCOMPARE(writeAll(saver, c), 7);
    const QByteArray saved = toBytes(saver);
    QCOMPARE(saved.count("<Relay "), relays);

    ConfigurationManager again;
    QVERIFY2(fromBytes(again, saved), qPrintable(again.lastError()));
    const Answers reread = readAll(again);
    QCOMPARE(reread.blockId, loaded.blockId);
    QVERIFY2(sameBytes(reread.device, loaded.device), hex(reread.device) + " / " + hex(loaded.device));
    QVERIFY(sameBytes(reread.line, loaded.line));
    QVERIFY(sameBytes(reread.sensors, loaded.sensors));
    QVERIFY(sameBytes(reread.rules, loaded.rules));
    QVERIFY2(sameBytes(reread.relayModules, loaded.relayModules),
             hex(reread.relayModules.value(0)) + " / " + hex(loaded.relayModules.value(0)));
}

// Attributes come in a fixed order, so that saved files can be compared;
// a loaded file with another order saves the same way.
void tst_ConfigurationManager::savesGiveTheSameBytes()
{
    Config c;
    c.identity.deviceType = 7;
    c.identity.serialNumber = QStringLiteral("12.2024");
    c.identity.boardVersion = QStringLiteral("1.05");
    c.identity.firmwareVersion = QStringLiteral("2.01");
    c.identity.firmwareDate = QStringLiteral("05.03.2024");
    c.blockId = "A&B";
    c.device.LineAddr = 1;
    Konfig_Section_t s;
    s.SerialNo = 5768279;
    s.LineAddr = 2;
    s.DeviceType = SECT_ACCI;
    s.ThrIR = 25;
    c.sensors.insert(0, s);
    Konfig_MVV_t io;
    io.LineAddr = 3;
    io.DeviceType = SECT_MVV;
    c.ioModules.insert(0, io);
    Konfig_MKZ_t scp;
    scp.LineAddr = 4;
    scp.DeviceType = SECT_MKZ;
    c.scpModules.insert(0, scp);
    c.relayModules.insert(0, relayModule(0x0A000001, 5, 0, 1));
    c.rules.insert(0, Konfig_Proc_t{500, 3, -1, 2, 4});
    c.interactions.insert(0, Control_Relay_t{1, 0, SECT_MVV});

    const QByteArray expected =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<RUZConfig version=\"1.0\">\n"
        "  <Controller DeviceType=\"7\" SerialNo=\"12.2024\" PCBVer=\"1.05\" FwVer=\"2.01\" FwDate=\"05.03.2024\" "
        "BlockID=\"A&amp;B\" LineAddr=\"1\" TSign=\"0\" MRef=\"0\" TWork=\"0\" NExc=\"0\" Ratio=\"0\" Dist=\"0\" "
        "Range=\"0\" LPF=\"0\" HPF=\"0\" DAF=\"0\" RuleJP=\"0\" CfgLoop=\"0\" IPAddr=\"0.0.0.0\" NetMask=\"0.0.0.0\" "
        "Gateway=\"0.0.0.0\" MAC=\"000000000000\" LineMode=\"0\"/>\n"
        "  <Sensors>\n"
        "    <Sensor Addr=\"1\" SerialNo=\"1111.42\" LineAddr=\"2\" DeviceType=\"3\" Range=\"0\" LPF=\"0\" HPF=\"0\" "
        "DAF=\"0\" ThrIR=\"25\" NExcIR=\"0\" RuleJP=\"0\" RefCount=\"0\"/>\n"
        "  </Sensors>\n"
        "  <IOModules>\n"
        "    <IOModule Addr=\"1\" SerialNo=\"\" LineAddr=\"3\" DeviceType=\"2\" CfgIO=\"0\" TSign=\"0\" "
        "RefCountL1=\"0\" RefCountL2=\"0\"/>\n"
        "  </IOModules>\n"
        "  <SCPModules>\n"
        "    <SCPModule Addr=\"1\" SerialNo=\"\" LineAddr=\"4\" DeviceType=\"5\" ThrMin=\"0\" ThrOff=\"0\" "
        "ThrOn=\"0\"/>\n"
        "  </SCPModules>\n"
        "  <Processing>\n"
        "    <Rule Addr=\"1\" MRef=\"500\" NExc=\"3\" SensLeft=\"-1\" SensRight=\"2\" Ratio=\"4\"/>\n"
        "  </Processing>\n"
        "  <RelayModules>\n"
        "    <RelayModule Addr=\"1\" IPAddr=\"10.0.0.1\" LineAddr=\"5\" ExpMod=\"0\">\n"
        "      <Relay RelayNum=\"1\" TSign=\"200\"/>\n"
        "    </RelayModule>\n"
        "  </RelayModules>\n"
        "  <Interactions>\n"
        "    <Interaction Addr=\"1\" DeviceType=\"2\" DestFunc=\"0\" DestRef=\"1\"/>\n"
        "  </Interactions>\n"
        "</RUZConfig>\n";
    ConfigurationManager m;
    QCOMPARE(writeAll(m, c), 7);
    const QByteArray first = toBytes(m);
    const QList<QByteArray> lines = first.split('\n');
    const QList<QByteArray> expectedLines = expected.split('\n');
    for (int i = 0; i < qMin(lines.size(), expectedLines.size()); ++i)
        QCOMPARE(lines[i], expectedLines[i]);
    QCOMPARE(first, expected);
    QCOMPARE(toBytes(m), first);

    // The same file with its attributes turned around, and unknown ones.
    QByteArray reversed = fileWith("<Controller Zeta=\"1\" LineMode=\"0\" LineAddr=\"1\" Alpha=\"2\"/>",
                                   "<Sensors><Sensor RefCount=\"0\" DeviceType=\"4\" LineAddr=\"2\" Addr=\"1\"/></Sensors>");
    ConfigurationManager r;
    QVERIFY(fromBytes(r, reversed));
    const QByteArray bytes = toBytes(r);
    QVERIFY2(bytes.contains("<Controller LineAddr=\"1\" LineMode=\"0\" Alpha=\"2\" Zeta=\"1\"/>"), bytes.constData());
    QVERIFY2(bytes.contains("<Sensor Addr=\"1\" LineAddr=\"2\" DeviceType=\"4\" RefCount=\"0\"/>"), bytes.constData());
}

// An empty module row is left out and the rows after it are written, each
// with its rule; the reader packs them.
void tst_ConfigurationManager::writersSkipEmptyRows()
{
    Config c;
    Konfig_Section_t s;
    s.DeviceType = SECT_ACC;
    for (quint16 k = 0; k < 6; ++k) {
        s.LineAddr = quint16(k + 1);
        c.sensors.insert(k, s);
    }
    c.sensors[3].DeviceType = DEV_NOT;
    Konfig_Modul_t skipped;
    c.relayModules.insert(0, skipped);  // address 0: not written, the walk goes on
    c.relayModules.insert(1, relayModule(0x0A000001, 1, 0, 2));
    for (quint16 k = 0; k < 500; ++k)
        c.rules.insert(k, Konfig_Proc_t{quint16(k), 0, 0, 0, 0});

    ConfigurationManager m;
    QCOMPARE(writeAll(m, c), 7);
    const QByteArray bytes = toBytes(m);
    QCOMPARE(bytes.count("<Sensor "), 5);
    QVERIFY(bytes.contains("Addr=\"6\"") && !bytes.contains("Addr=\"4\""));
    QCOMPARE(bytes.count("<RelayModule "), 1);
    // As many rules as sensor entries, although every NExc is 0.
    QCOMPARE(bytes.count("<Rule "), 5);

    ConfigurationManager r;
    QVERIFY(fromBytes(r, bytes));
    const Answers a = readAll(r);
    QCOMPARE(a.sensors.size(), 5);
    QCOMPARE(a.sensors[3].LineAddr, quint16(5));
    QCOMPARE(a.rules.size(), 5);
    QCOMPARE(a.rules[2].MRef, quint16(2));
    QCOMPARE(a.rules[3].MRef, quint16(4));
    QCOMPARE(a.relayModules[1].IPAddr, quint32(0x0A000001));
    QCOMPARE(a.relayModules[1].Reserved9, quint8(2));
}

void tst_ConfigurationManager::updateInPlaceKeepsUnknownContent()
{
    const QByteArray file = fileWith(
        "<Controller LineAddr=\"4\" Vendor=\"Kestu\" MRef=\"3\"/>",
        "<Sensors><Sensor DeviceType=\"4\" LineAddr=\"1\"/><Note text=\"keep\"/><!-- remark --></Sensors>"
        "<Extra a=\"1\"/>");
    ConfigurationManager m;
    QVERIFY2(fromBytes(m, file), qPrintable(m.lastError()));
    const Config c = fullConfig();
    QCOMPARE(writeAll(m, c, false), 7);
    const QByteArray bytes = toBytes(m);
    QVERIFY(bytes.contains("Vendor=\"Kestu\""));
    QVERIFY(bytes.contains("<Note text=\"keep\"/>"));
    QVERIFY(bytes.contains("<!-- remark -->"));
    QVERIFY(bytes.contains("<Extra a=\"1\"/>"));
    QCOMPARE(bytes.count("<Sensor "), 3);
    QVERIFY(bytes.contains("MRef=\"65535\""));

    ConfigurationManager r;
    QVERIFY(fromBytes(r, bytes));
    QCOMPARE(readAll(r).device.LineAddr, quint16(247));
}

void tst_ConfigurationManager::blockIdWithCharactersXmlCannotHold()
{
    ConfigurationManager m;
    m.newDocument();
    static const char raw[] = "A\x01\x08\x0B\x1F" "B\x7F\xEF\xBF\xBE" "C\xEF\xBF\xBF\tD\0tail";
    const QByteArray id(raw, sizeof raw - 1);
    QSignalSpy done(&m, &ConfigurationManager::writeCompleted);
    m.setControllerConfig(id, Konfig_Device_t(), ETH_konf_t(), Konfig_Line_t());
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toBool(), true);
    const QByteArray bytes = toBytes(m);

    ConfigurationManager r;
    QVERIFY2(fromBytes(r, bytes), qPrintable(r.lastError()));
    const Answers a = readAll(r);
    // Non-characters may come out of the decoder as replacement characters.
    QByteArray kept = a.blockId;
    kept.replace("\xEF\xBF\xBD", "");
    QCOMPARE(kept, QByteArray("AB\x7F" "C\tD"));
}

void tst_ConfigurationManager::writeReplacesFileContents()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("config.xml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100000, 'x'));
    file.close();

    ConfigurationManager m;
    m.newDocument();
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(m.writeDocument(&file));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray onDisk = file.readAll();
    file.close();
    QCOMPARE(onDisk, toBytes(m));

    // A buffer that held more is cleared as well.
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    buffer.write(QByteArray(100000, 'y'));
    QVERIFY(m.writeDocument(&buffer));
    QCOMPARE(buffer.data(), onDisk);

    // And the file reads back.
    QVERIFY(file.open(QIODevice::ReadOnly));
    ConfigurationManager r;
    QVERIFY(r.readDocument(&file));
}

void tst_ConfigurationManager::writeFailures()
{
    ConfigurationManager m;
    QVERIFY(fromBytes(m, sampleFile));

    QFile full("/dev/full");
    if (!full.open(QIODevice::WriteOnly))
        QSKIP("/dev/full is not available");
    QVERIFY(!m.writeDocument(&full));
    QVERIFY2(m.lastError().startsWith(QStringLiteral("Ошибка записи конфигурации: ")), qPrintable(m.lastError()));
    QVERIFY(m.lastError().size() > QStringLiteral("Ошибка записи конфигурации: ").size());

    QTemporaryDir dir;
    QFile readOnly(dir.filePath("ro.xml"));
    QVERIFY(readOnly.open(QIODevice::WriteOnly));
    readOnly.close();
    QVERIFY(readOnly.open(QIODevice::ReadOnly));
    QVERIFY(!m.writeDocument(&readOnly));
    QVERIFY(m.lastError().startsWith(QStringLiteral("Ошибка записи конфигурации: ")));

    // Short writes are continued; a device that stops taking bytes fails.
    LimitedDevice chunked(100, 1 << 30);
    QVERIFY(chunked.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QVERIFY(m.writeDocument(&chunked));
    QCOMPARE(chunked.data, toBytes(m));
    LimitedDevice small(100, 500);
    QVERIFY(small.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QVERIFY(!m.writeDocument(&small));
    QCOMPARE(m.lastError(), QStringLiteral("Ошибка записи конфигурации: Device full"));

    // The document survives a failed write.
    QCOMPARE(toBytes(m).size(), sampleFile.size());
}

// A controller may report what a file cannot hold: the save says so and
// names it, instead of writing a file that does not open, and leaves the
// device as it was.
void tst_ConfigurationManager::saveNamesWhatTheReaderRefuses()
{
    ConfigurationManager m;
    m.newDocument();
    Konfig_Section_t sensor;
    sensor.LineAddr = 0;
    sensor.DeviceType = SECT_ACC;
    m.setSensorsConfig({{0, sensor}});

    QBuffer buffer;
    buffer.setData("old contents");
    QVERIFY(buffer.open(QIODevice::ReadWrite));
    QVERIFY(!m.writeDocument(&buffer));
    QVERIFY2(m.lastError().startsWith(QStringLiteral("Ошибка записи конфигурации: ")), qPrintable(m.lastError()));
    QVERIFY2(m.lastError().contains(QStringLiteral("атрибута LineAddr элемента Sensor")), qPrintable(m.lastError()));
    QCOMPARE(buffer.data(), QByteArray("old contents"));

    sensor.LineAddr = 500;
    m.setSensorsConfig({{0, sensor}});
    QVERIFY2(m.writeDocument(&buffer), qPrintable(m.lastError()));
}

void tst_ConfigurationManager::refusedSaveNamesTheTableRow_data()
{
    QTest::addColumn<int>("table");   // 1 sensors, 2 I/O modules, 3 line-protection modules
    QTest::addColumn<int>("badRow");  // rows before it are used, but row 1 of three is empty
    QTest::addColumn<int>("lineAddr");
    QTest::addColumn<QString>("named");

    QTest::newRow("sensor row 3") << 1 << 2 << 600 << QStringLiteral("(строка 3 таблицы модулей ВТ-Л и ВС-Л): «600»");
    QTest::newRow("I/O row 1") << 2 << 0 << 0 << QStringLiteral("(строка 1 таблицы модулей ПС-Л): «0»");
    QTest::newRow("line-protection row 4 after an empty row")
        << 3 << 3 << 501 << QStringLiteral("(строка 4 таблицы модулей ТЗ-Л): «501»");
}

// The document about to be saved was never a file: a value the reader would
// refuse is named by its table row, not by a line of a text nobody saw.
void tst_ConfigurationManager::refusedSaveNamesTheTableRow()
{
    QFETCH(int, table);
    QFETCH(int, badRow);
    QFETCH(int, lineAddr);
    QFETCH(QString, named);

    Config c;
    for (int row = 0; row <= badRow; ++row) {
        const quint16 addr = quint16(row == badRow ? lineAddr : 10 + row);
        const bool empty = row == 1 && badRow == 3;
        Konfig_Section_t sensor;
        sensor.LineAddr = addr;
        sensor.DeviceType = empty ? DEV_NOT : SECT_ACC;
        Konfig_MVV_t io;
        io.LineAddr = addr;
        io.DeviceType = empty ? DEV_NOT : SECT_MVV;
        Konfig_MKZ_t scp;
        scp.LineAddr = addr;
        scp.DeviceType = empty ? DEV_NOT : SECT_MKZ;
        if (table == 1)
            c.sensors.insert(quint16(row), sensor);
        else if (table == 2)
            c.ioModules.insert(quint16(row), io);
        else
            c.scpModules.insert(quint16(row), scp);
    }
    ConfigurationManager m;
    QCOMPARE(writeAll(m, c), 7);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::ReadWrite));
    QVERIFY(!m.writeDocument(&buffer));
    QVERIFY2(m.lastError().endsWith(named), qPrintable(m.lastError()));
}

QTEST_GUILESS_MAIN(tst_ConfigurationManager)
#include "tst_configurationmanager.moc"
