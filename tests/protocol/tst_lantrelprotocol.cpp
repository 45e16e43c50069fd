#include "lantrelprotocol.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <initializer_list>

using namespace LantrelProtocol;

namespace {

const QDataStream::ByteOrder BE = QDataStream::BigEndian;
const QDataStream::ByteOrder LE = QDataStream::LittleEndian;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

template <typename T>
QByteArray imageOf(const T &r)
{
    return QByteArray(reinterpret_cast<const char *>(&r), int(sizeof(T)));
}

template <typename T>
T fromImage(const QByteArray &image)
{
    T r;
    std::memcpy(&r, image.constData(), sizeof(T));
    return r;
}

// A record whose bytes are all 0xAA, so that fields a reader fails to set show.
template <typename T>
T dirtyRecord()
{
    T r;
    std::memset(static_cast<void *>(&r), 0xAA, sizeof(T));
    return r;
}

template <typename T>
QByteArray writeRecord(const T &r, QDataStream::ByteOrder order, bool *orderKept = nullptr)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setByteOrder(order);
    s << r;
    if (orderKept)
        *orderKept = s.byteOrder() == order;
    return bytes;
}

template <typename T>
T readRecord(const QByteArray &bytes, QDataStream::ByteOrder order, QDataStream::Status *status = nullptr,
             bool *orderKept = nullptr, bool *atEnd = nullptr)
{
    QDataStream s(bytes);
    s.setByteOrder(order);
    T r = dirtyRecord<T>();
    s >> r;
    if (status)
        *status = s.status();
    if (orderKept)
        *orderKept = s.byteOrder() == order;
    if (atEnd)
        *atEnd = s.atEnd();
    return r;
}

// Wire bytes 11 14 17 ...: every offset distinct and non-zero.
QByteArray distinctBytes(int size)
{
    QByteArray bytes(size, 0);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(0x11 + 3 * i);
    return bytes;
}

// On a little-endian host the memory image equals the wire bytes except for
// 32-bit fields that travel big-endian.
QByteArray imageFromWire(QByteArray wire, std::initializer_list<int> bigEndianOffsets)
{
    for (int off : bigEndianOffsets)
        std::reverse(wire.begin() + off, wire.begin() + off + 4);
    return wire;
}

} // namespace

class tst_LantrelProtocol : public QObject
{
    Q_OBJECT

signals:
    void modulesOut(const QMap<quint16, LantrelProtocol::Konfig_Modul_t> &modules);
    void statesOut(const QVector<LantrelProtocol::Status_MKZ_t> &states);
    void lineOut(const LantrelProtocol::Status_Line_t &line);

public slots:
    void modulesIn(const QMap<quint16, LantrelProtocol::Konfig_Modul_t> &modules) { m_modules = modules; }
    void statesIn(const QVector<LantrelProtocol::Status_MKZ_t> &states) { m_states = states; }
    void lineIn(const LantrelProtocol::Status_Line_t &line) { m_line = line; ++m_lines; }

private slots:
    void initTestCase();

    void defaults_data();
    void defaults();

    void goldenBytes_data();
    void goldenBytes();

    void roundTrip_data();
    void roundTrip();

    void shortInput_data();
    void shortInput();

    void statusComparison_data();
    void statusComparison();

    void enumKeys_data();
    void enumKeys();
    void enumRegistrationOrder_data();
    void enumRegistrationOrder();

    void metaTypeNames_data();
    void metaTypeNames();
    void queuedContainers();

private:
    template <typename T>
    static void addGolden(const char *name, const T &record, const QByteArray &expected);
    template <typename T>
    static void addWriteOnlyGolden(const char *name, const T &record, const QByteArray &expected);
    template <typename T, bool Reads, bool Writes>
    static void addRoundTrip(const char *name, std::initializer_list<int> ownOrderOffsets = {},
                             std::initializer_list<int> bigEndianOffsets = {});
    template <typename T>
    static void addShort(const char *name, int available, int zeroFrom,
                         std::initializer_list<int> bigEndianOffsets = {});

    QMap<quint16, Konfig_Modul_t> m_modules;
    QVector<Status_MKZ_t> m_states;
    Status_Line_t m_line;
    int m_lines = 0;
};

void tst_LantrelProtocol::initTestCase()
{
    if (QSysInfo::ByteOrder != QSysInfo::LittleEndian)
        QSKIP("memory images below assume a little-endian host");
}

// ---- Default construction

void tst_LantrelProtocol::defaults_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("expected");

    QByteArray device(32, 0);
    device[18] = 1;
    QTest::newRow("Konfig_Device_t") << imageOf(Konfig_Device_t()) << device;
    QTest::newRow("ETH_konf_t") << imageOf(ETH_konf_t()) << hex("00000000 f6010200") + QByteArray(16, 0);
    QTest::newRow("Konfig_Modul_t") << imageOf(Konfig_Modul_t()) << hex("00000000 f6010200") + QByteArray(68, 0);
    QTest::newRow("Konfig_Section_t") << imageOf(Konfig_Section_t()) << QByteArray(16, 0);
    QTest::newRow("Info_Device_t") << imageOf(Info_Device_t()) << QByteArray(12, 0);
    QTest::newRow("Status_Device_t") << imageOf(Status_Device_t()) << QByteArray(6, 0);
}

void tst_LantrelProtocol::defaults()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, expected);
    QCOMPARE(image.toHex(' '), expected.toHex(' '));
}

// ---- Golden byte vectors (the driver's streams are big-endian)

template <typename T>
void tst_LantrelProtocol::addGolden(const char *name, const T &record, const QByteArray &expected)
{
    bool writeKept = false;
    bool readKept = false;
    QDataStream::Status status = QDataStream::Ok;
    const QByteArray written = writeRecord(record, BE, &writeKept);
    const T back = readRecord<T>(expected, BE, &status, &readKept);
    QTest::newRow(name) << written << expected << imageOf(back).toHex(' ') << imageOf(record).toHex(' ')
                        << (writeKept && readKept) << (status == QDataStream::Ok);
}

template <typename T>
void tst_LantrelProtocol::addWriteOnlyGolden(const char *name, const T &record, const QByteArray &expected)
{
    bool kept = false;
    const QByteArray written = writeRecord(record, BE, &kept);
    const QByteArray same = imageOf(record).toHex(' ');
    QTest::newRow(name) << written << expected << same << same << kept << true;
}

void tst_LantrelProtocol::goldenBytes_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("readBack");
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<bool>("orderKept");
    QTest::addColumn<bool>("readOk");

    QByteArray device(32, 0);
    device[18] = 1;
    addGolden("Konfig_Device_t default", Konfig_Device_t(), device);
    addGolden("ETH_konf_t default", ETH_konf_t(), hex("00000000 f6010200") + QByteArray(16, 0));
    addGolden("Konfig_Modul_t default", Konfig_Modul_t(), hex("00000000 f6010200") + QByteArray(68, 0));

    ETH_konf_t eth;
    eth.IPAddr = 0xC000020A;   // 192.0.2.10
    eth.NetMask = 0xFFFFFF00;  // 255.255.255.0
    eth.Gateway = 0xC0000201;  // 192.0.2.1
    const quint8 mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(eth.MAC, mac, sizeof mac);
    addGolden("ETH_konf_t 192.0.2.10", eth, hex("c000020a f6010200 ffffff00 c0000201 001a2b3c4d5e 0000"));

    Konfig_Line_t line;
    line.SensorCount = 300;
    line.IoCount = 2;
    line.ScpCount = 1;
    line.RelayCount = 4;
    line.LineMode = 1;
    addGolden("Konfig_Line_t", line, hex("2c01 0200 0100 04 01"));

    Clock_Device_t clock;
    clock.DayOfWeek = 2;
    clock.Second = 9;
    clock.Minute = 7;
    clock.Hour = 14;
    clock.Day = 5;
    clock.Month = 3;
    clock.Year = 2024;
    addGolden("Clock_Device_t", clock, hex("02 09 07 0e 05 03 e807"));

    Konfig_Proc_t proc;
    proc.MRef = 500;
    proc.NExc = 3;
    proc.SensLeft = -1;
    proc.SensRight = 2;
    proc.Ratio = 50;
    addGolden("Konfig_Proc_t signed", proc, hex("f401 03 ff 02 32"));

    Konfig_Modul_t modul;
    modul.IPAddr = 0xC0A8000A; // 192.168.0.10
    modul.LineAddr = 9;
    modul.Reserved9 = 1;
    modul.ExpMod = 1;
    modul.Relays[0] = {1, 4};
    modul.Relays[31] = {32, 255};
    addGolden("Konfig_Modul_t occupied", modul,
              hex("c0a8000a f6010200 09 01 01 00 0104") + QByteArray(60, 0) + hex("20ff"));

    Command_Record_t cmd;
    cmd.State = 0;
    cmd.Command = WR_ADDR_SECT;
    cmd.Address = 17;
    cmd.Param = 0;
    addWriteOnlyGolden("Command_Record_t", cmd, hex("00 03 1100 0000"));
}

void tst_LantrelProtocol::goldenBytes()
{
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, readBack);
    QFETCH(QByteArray, original);
    QFETCH(bool, orderKept);
    QFETCH(bool, readOk);

    QCOMPARE(written.toHex(' '), expected.toHex(' '));
    QCOMPARE(readBack, original);
    QVERIFY(orderKept);
    QVERIFY(readOk);
}

// ---- Distinct byte at every offset: field order, width and byte order

template <typename T, bool Reads, bool Writes>
void tst_LantrelProtocol::addRoundTrip(const char *name, std::initializer_list<int> ownOrderOffsets,
                                       std::initializer_list<int> bigEndianOffsets)
{
    const QByteArray wire = distinctBytes(int(sizeof(T)));
    for (QDataStream::ByteOrder order : {BE, LE}) {
        // Fields in the stream's own order are big-endian only on a big-endian stream.
        QByteArray image = imageFromWire(wire, bigEndianOffsets);
        if (order == BE)
            image = imageFromWire(image, ownOrderOffsets);

        QByteArray readImage;
        QByteArray written;
        bool orderKept = true;
        bool readOk = true;
        if constexpr (Reads) {
            QDataStream::Status status = QDataStream::Ok;
            bool kept = false;
            bool atEnd = false;
            readImage = imageOf(readRecord<T>(wire, order, &status, &kept, &atEnd));
            orderKept = orderKept && kept;
            readOk = status == QDataStream::Ok && atEnd;
        }
        if constexpr (Writes) {
            bool kept = false;
            written = writeRecord(fromImage<T>(image), order, &kept);
            orderKept = orderKept && kept;
        }
        const QByteArray row = QByteArray(name) + (order == BE ? " big-endian stream" : " little-endian stream");
        QTest::newRow(row.constData()) << wire << image << readImage << written << orderKept << readOk;
    }
}

void tst_LantrelProtocol::roundTrip_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("readImage");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("orderKept");
    QTest::addColumn<bool>("readOk");

    addRoundTrip<Clock_Device_t, true, true>("Clock_Device_t");
    addRoundTrip<Event_Record_t, true, false>("Event_Record_t");
    addRoundTrip<Konfig_Device_t, true, true>("Konfig_Device_t");
    addRoundTrip<ETH_konf_t, true, true>("ETH_konf_t", {0}, {8, 12});
    addRoundTrip<Konfig_Line_t, true, true>("Konfig_Line_t");
    addRoundTrip<Konfig_Section_t, true, true>("Konfig_Section_t");
    addRoundTrip<Konfig_MVV_t, true, true>("Konfig_MVV_t");
    addRoundTrip<Konfig_MKZ_t, true, true>("Konfig_MKZ_t");
    addRoundTrip<Konfig_Modul_t, true, true>("Konfig_Modul_t", {0});
    addRoundTrip<Konfig_Proc_t, true, true>("Konfig_Proc_t");
    addRoundTrip<Control_Relay_t, true, true>("Control_Relay_t");
    addRoundTrip<Command_Record_t, false, true>("Command_Record_t");
    addRoundTrip<Status_Line_t, true, false>("Status_Line_t");
    addRoundTrip<Status_Section_t, true, false>("Status_Section_t");
    addRoundTrip<Status_MVV_t, true, false>("Status_MVV_t");
    addRoundTrip<Status_MKZ_t, true, false>("Status_MKZ_t");
}

void tst_LantrelProtocol::roundTrip()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, readImage);
    QFETCH(QByteArray, written);
    QFETCH(bool, orderKept);
    QFETCH(bool, readOk);

    if (!readImage.isNull())
        QCOMPARE(readImage.toHex(' '), image.toHex(' '));
    if (!written.isNull())
        QCOMPARE(written.toHex(' '), wire.toHex(' '));
    QVERIFY(orderKept);
    QVERIFY(readOk);
}

// ---- Short input: unreached fields read as zero, the stream reports it

template <typename T>
void tst_LantrelProtocol::addShort(const char *name, int available, int zeroFrom,
                                   std::initializer_list<int> bigEndianOffsets)
{
    const QByteArray wire = distinctBytes(int(sizeof(T)));
    QByteArray expected = imageFromWire(wire, bigEndianOffsets);
    std::memset(expected.data() + zeroFrom, 0, size_t(expected.size() - zeroFrom));

    QDataStream::Status status = QDataStream::Ok;
    bool kept = false;
    const T r = readRecord<T>(wire.left(available), BE, &status, &kept);
    QTest::newRow(name) << imageOf(r) << expected << (status == QDataStream::ReadPastEnd) << kept;
}

void tst_LantrelProtocol::shortInput_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("flagged");
    QTest::addColumn<bool>("orderKept");

    addShort<Konfig_Section_t>("Konfig_Section_t 10 of 16", 10, 10);
    addShort<Konfig_Section_t>("Konfig_Section_t cut inside LineAddr", 5, 4);
    addShort<Konfig_Section_t>("Konfig_Section_t empty", 0, 0);
    addShort<ETH_konf_t>("ETH_konf_t cut inside NetMask", 10, 8, {0});
    addShort<Konfig_Modul_t>("Konfig_Modul_t cut in the relays", 41, 41, {0});
    addShort<Konfig_Device_t>("Konfig_Device_t cut inside Reserved0", 3, 0);
    addShort<Event_Record_t>("Event_Record_t 3 of 12", 3, 2);
    addShort<Clock_Device_t>("Clock_Device_t cut inside Year", 7, 6);
    addShort<Status_Line_t>("Status_Line_t 2 of 4", 2, 2);
    addShort<Status_MKZ_t>("Status_MKZ_t cut inside Value1", 5, 4);
}

void tst_LantrelProtocol::shortInput()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, expected);
    QFETCH(bool, flagged);
    QFETCH(bool, orderKept);

    QCOMPARE(image.toHex(' '), expected.toHex(' '));
    QVERIFY(flagged);
    QVERIFY(orderKept);
}

// ---- Status comparisons used to suppress repeated status signals

void tst_LantrelProtocol::statusComparison_data()
{
    QTest::addColumn<bool>("deviceRecord");
    QTest::addColumn<int>("changedByte"); // -1: none
    QTest::addColumn<bool>("equal");

    QTest::newRow("line identical") << false << -1 << true;
    QTest::newRow("line Flags") << false << 0 << false;
    QTest::newRow("line State") << false << 1 << false;
    QTest::newRow("line Faults") << false << 2 << false;
    QTest::newRow("line Reserved3 ignored") << false << 3 << true;
    QTest::newRow("device identical") << true << -1 << true;
    for (int i = 0; i < 6; ++i) {
        const QByteArray row = "device Status" + QByteArray::number(i);
        QTest::newRow(row.constData()) << true << i << false;
    }
}

void tst_LantrelProtocol::statusComparison()
{
    QFETCH(bool, deviceRecord);
    QFETCH(int, changedByte);
    QFETCH(bool, equal);

    auto check = [&](auto a) {
        std::memset(static_cast<void *>(&a), 0x5A, sizeof a);
        auto b = a;
        if (changedByte >= 0)
            reinterpret_cast<quint8 *>(&b)[changedByte] ^= 0x01;
        QCOMPARE(a == b, equal);
        QCOMPARE(a != b, !equal);
        QCOMPARE(b == a, equal);
    };
    if (deviceRecord)
        check(Status_Device_t());
    else
        check(Status_Line_t());
}

// ---- Enumeration keys through the namespace's meta-object

void tst_LantrelProtocol::enumKeys_data()
{
    QTest::addColumn<QByteArray>("enumName");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("key");

    QTest::newRow("event 16") << QByteArray("Event_TypeDef") << 16 << "EVN_ALARM";
    QTest::newRow("event 1") << QByteArray("Event_TypeDef") << 1 << "EVN_REBOOT";
    QTest::newRow("event 97") << QByteArray("Event_TypeDef") << 97 << "EVN_SET_KONF";
    QTest::newRow("event 6 no key") << QByteArray("Event_TypeDef") << 6 << "";
    QTest::newRow("device 7") << QByteArray("Dev_Type_t") << 7 << "BOS_LIN";
    QTest::newRow("device 16") << QByteArray("Dev_Type_t") << 16 << "EXT_RELY";
    QTest::newRow("device 6 no key") << QByteArray("Dev_Type_t") << 6 << "";
    QTest::newRow("line 4") << QByteArray("LIN_Status_t") << 4 << "CMD_OFF";
    QTest::newRow("line 9 no key") << QByteArray("LIN_Status_t") << 9 << "";
    QTest::newRow("state 255") << QByteArray("STATE_t") << 255 << "STATE_NUL";
    QTest::newRow("command 3") << QByteArray("Cmd_Code_t") << 3 << "WR_ADDR_SECT";
    QTest::newRow("command 127") << QByteArray("Cmd_Code_t") << 127 << "Err_CMD";
    QTest::newRow("command 199") << QByteArray("Cmd_Code_t") << 199 << "SET_CTRL_SERIAL";
    QTest::newRow("command 40 no key") << QByteArray("Cmd_Code_t") << 40 << "";
}

void tst_LantrelProtocol::enumKeys()
{
    QFETCH(QByteArray, enumName);
    QFETCH(int, value);
    QFETCH(QString, key);

    const QMetaObject &mo = LantrelProtocol::staticMetaObject;
    const int index = mo.indexOfEnumerator(enumName.constData());
    QVERIFY(index >= 0);
    QCOMPARE(QString::fromLatin1(mo.enumerator(index).valueToKey(value)), key);
}

void tst_LantrelProtocol::enumRegistrationOrder_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("enumName");
    QTest::addColumn<int>("keyCount");
    QTest::addColumn<QByteArray>("lastKey");

    QTest::newRow("0") << 0 << QByteArray("Dev_Type_t") << 8 << QByteArray("EXT_RELY");
    QTest::newRow("1") << 1 << QByteArray("Event_TypeDef") << 44 << QByteArray("EVN_SET_KONF");
    QTest::newRow("2") << 2 << QByteArray("LIN_Status_t") << 5 << QByteArray("CMD_OFF");
    QTest::newRow("3") << 3 << QByteArray("STATE_t") << 8 << QByteArray("STATE_NUL");
    QTest::newRow("4") << 4 << QByteArray("Cmd_Code_t") << 43 << QByteArray("Err_CMD");
}

void tst_LantrelProtocol::enumRegistrationOrder()
{
    QFETCH(int, index);
    QFETCH(QByteArray, enumName);
    QFETCH(int, keyCount);
    QFETCH(QByteArray, lastKey);

    const QMetaObject &mo = LantrelProtocol::staticMetaObject;
    QCOMPARE(mo.enumeratorCount(), 5);
    const QMetaEnum e = mo.enumerator(index);
    QCOMPARE(QByteArray(e.name()), enumName);
    QCOMPARE(e.keyCount(), keyCount);
    QCOMPARE(QByteArray(e.key(keyCount - 1)), lastKey);
}

// ---- Meta-types

void tst_LantrelProtocol::metaTypeNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("size");

    const struct { const char *name; int size; } records[] = {
        {"Info_Device_t", 12}, {"Konfig_Device_t", 32}, {"ETH_konf_t", 24}, {"Konfig_Line_t", 8},
        {"Konfig_Section_t", 16}, {"Konfig_MVV_t", 16}, {"Konfig_MKZ_t", 16}, {"Konfig_Modul_t", 76},
        {"Konfig_Proc_t", 6}, {"Control_Relay_t", 4}, {"Status_Device_t", 6}, {"Feature_Device_t", 12},
        {"Status_Line_t", 4}, {"Status_Section_t", 6}, {"Status_MVV_t", 6}, {"Status_MKZ_t", 8},
    };
    for (const auto &r : records)
        QTest::newRow(r.name) << QByteArray("LantrelProtocol::") + r.name << r.size;

    // Containers, spelled as signal and slot signatures spell them; -1: size not checked.
    const char *tables[] = {"Konfig_Section_t", "Konfig_MVV_t", "Konfig_MKZ_t",
                            "Konfig_Modul_t", "Konfig_Proc_t", "Control_Relay_t"};
    for (const char *t : tables) {
        const QByteArray vector = QByteArray("QVector<LantrelProtocol::") + t + ">";
        const QByteArray map = QByteArray("QMap<quint16,LantrelProtocol::") + t + ">";
        QTest::newRow(vector.constData()) << vector << -1;
        QTest::newRow(map.constData()) << map << -1;
    }
    for (const char *t : {"Status_Section_t", "Status_MVV_t", "Status_MKZ_t"}) {
        const QByteArray vector = QByteArray("QVector<LantrelProtocol::") + t + ">";
        QTest::newRow(vector.constData()) << vector << -1;
    }
    QTest::newRow("QVector<quint16>") << QByteArray("QVector<quint16>") << -1;
}

void tst_LantrelProtocol::metaTypeNames()
{
    QFETCH(QByteArray, name);
    QFETCH(int, size);

    registerMetaTypes();
    registerMetaTypes(); // again: no effect
    const int id = QMetaType::type(name.constData());
    QVERIFY2(id != QMetaType::UnknownType, name.constData());
    if (size >= 0) {
        QCOMPARE(QMetaType::sizeOf(id), size);
        QVERIFY(QMetaType::typeFlags(id) & QMetaType::MovableType);
    }
}

// Connections by signature (as the client makes to the driver) refuse to
// queue unregistered argument types.
void tst_LantrelProtocol::queuedContainers()
{
    registerMetaTypes();
    QVERIFY(connect(this, SIGNAL(modulesOut(QMap<quint16,LantrelProtocol::Konfig_Modul_t>)),
                    this, SLOT(modulesIn(QMap<quint16,LantrelProtocol::Konfig_Modul_t>)), Qt::QueuedConnection));
    QVERIFY(connect(this, SIGNAL(statesOut(QVector<LantrelProtocol::Status_MKZ_t>)),
                    this, SLOT(statesIn(QVector<LantrelProtocol::Status_MKZ_t>)), Qt::QueuedConnection));
    QVERIFY(connect(this, SIGNAL(lineOut(LantrelProtocol::Status_Line_t)),
                    this, SLOT(lineIn(LantrelProtocol::Status_Line_t)), Qt::QueuedConnection));

    QMap<quint16, Konfig_Modul_t> modules;
    Konfig_Modul_t modul;
    modul.IPAddr = 0xC0A8000A;
    modul.Relays[31].TSign = 7;
    modules.insert(3, modul);
    Status_MKZ_t state;
    state.Value2 = 0xBEEF;
    Status_Line_t line;
    line.State = LN_ONN;

    emit modulesOut(modules);
    emit statesOut({state, state});
    emit lineOut(line);
    QTRY_COMPARE(m_lines, 1);

    QCOMPARE(m_modules.keys(), QList<quint16>{3});
    QCOMPARE(imageOf(m_modules.value(3)), imageOf(modul));
    QCOMPARE(m_states.size(), 2);
    QCOMPARE(m_states.at(1).Value2, quint16(0xBEEF));
    QCOMPARE(m_line.State, quint8(LN_ONN));
}

QTEST_GUILESS_MAIN(tst_LantrelProtocol)

#include "tst_lantrelprotocol.moc"
