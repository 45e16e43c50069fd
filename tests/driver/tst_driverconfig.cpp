// Configuration transfers against the fake line controller: whole reads and
// writes byte-exact, request paging and packing, the controller settings
// write with its address bookkeeping, the clock, and replies of the wrong size.

#include <functional>

#include "drivertestsupport.h"

using namespace LantrelProtocol;
using namespace DriverTest;

namespace {

struct TableShape {
    int file;
    int records;
    int recordSize;
};

const TableShape sensorShape{10, 500, 16};
const TableShape ioShape{15, 100, 16};
const TableShape scpShape{20, 32, 16};
const TableShape relayShape{17, 4, 76};
const TableShape procShape{13, 500, 6};
const TableShape interactionShape{11, 4000, 4};

template <typename T>
QMap<quint16, T> tableMap(const FakeController &source, const TableShape &shape)
{
    QMap<quint16, T> map;
    const QVector<T> all = source.records<T>(shape.file);
    for (int i = 0; i < shape.records; ++i)
        map.insert(quint16(i), all.at(i));
    return map;
}

// Collects the pages of one table signal into the table's bytes.
struct TableCollector {
    QByteArray bytes;
    QList<QPair<int, int>> pages; // first index, records
    int recordSize = 0;
    int records = 0;
    bool outOfRange = false;

    TableCollector(int size, int count) : bytes(size * count, '\0'), recordSize(size), records(count) {}

    template <typename T>
    void add(ushort index, const QVector<T> &v)
    {
        pages.append({index, v.size()});
        if (index + v.size() > records) {
            outOfRange = true;
            return;
        }
        const QByteArray b = encodeAll(v);
        bytes.replace(index * recordSize, b.size(), b);
    }
};

QList<int> byteCounts(const QList<FakeRequest> &requests)
{
    QList<int> out;
    for (const FakeRequest &r : requests)
        out << (r.data.isEmpty() ? -1 : quint8(r.data.at(0)));
    return out;
}

} // namespace

class TestDriverConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void wholeRead();
    void wholeWrite();
    void writePacking_data();
    void writePacking();
    void emptyMapWrite();
    void blockIdentifier_data();
    void blockIdentifier();
    void lineConfigWrite();
    void lineAddressChange();
    void clockRead();
    void clockWrite();
    void clockGroupFails();
    void tableReplySizes_data();
    void tableReplySizes();

private:
    QTemporaryDir m_dir;
};

void TestDriverConfig::initTestCase()
{
    setUpEnvironment(m_dir);
}

void TestDriverConfig::init()
{
    resetDriverSettings();
}

void TestDriverConfig::cleanupTestCase()
{
    tearDownEnvironment();
}

void TestDriverConfig::wholeRead()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy controller(d, &LantrelDriver::controllerConfig);
    TableCollector sensors(16, 500), io(16, 100), scp(16, 32), relays(76, 4), proc(6, 500), inter(4, 4000);
    QObject context;
    connect(d, &LantrelDriver::sensorConfig, &context, [&](ushort i, QVector<Konfig_Section_t> v) { sensors.add(i, v); });
    connect(d, &LantrelDriver::ioModuleConfig, &context, [&](ushort i, QVector<Konfig_MVV_t> v) { io.add(i, v); });
    connect(d, &LantrelDriver::scpModuleConfig, &context, [&](ushort i, QVector<Konfig_MKZ_t> v) { scp.add(i, v); });
    connect(d, &LantrelDriver::relayModuleConfig, &context, [&](ushort i, QVector<Konfig_Modul_t> v) { relays.add(i, v); });
    connect(d, &LantrelDriver::processingConfig, &context, [&](ushort i, QVector<Konfig_Proc_t> v) { proc.add(i, v); });
    connect(d, &LantrelDriver::interactionsConfig, &context, [&](ushort i, QVector<Control_Relay_t> v) { inter.add(i, v); });

    f.fake.clearLog();
    d->getControllerConfig();
    d->getSensorsConfig();
    d->getIoModulesConfig();
    d->getScpModulesConfig();
    d->getRelayModulesConfig();
    d->getProcessingConfig();
    d->getInteractionsConfig();
    QVERIFY(waitForCount(read, 127, 20000));
    QTest::qWait(50);

    QCOMPARE(read.count(), 127);
    QCOMPARE(countValue(read, true), 127);
    QCOMPARE(f.fake.requestLog().size(), 127);

    QCOMPARE(controller.count(), 1);
    const QList<QVariant> &c = controller.at(0);
    QCOMPARE(c.at(0).toByteArray(), f.fake.fileBytes(28));
    QCOMPARE(FakeController::encode(c.at(1).value<Konfig_Device_t>()), f.fake.fileBytes(3));
    QCOMPARE(FakeController::encode(c.at(2).value<ETH_konf_t>()), f.fake.fileBytes(4));
    QCOMPARE(FakeController::encode(c.at(3).value<Konfig_Line_t>()), f.fake.fileBytes(8));

    QCOMPARE(sensors.pages.size(), 34);
    QCOMPARE(sensors.pages.last(), qMakePair(495, 5));
    QCOMPARE(io.pages.size(), 7);
    QCOMPARE(scp.pages.size(), 3);
    QCOMPARE(relays.pages.size(), 2);
    QCOMPARE(proc.pages.size(), 13);
    QCOMPARE(inter.pages.size(), 67);
    QCOMPARE(inter.pages.last(), qMakePair(3960, 40));
    QCOMPARE(sensors.bytes, f.fake.fileBytes(10).left(500 * 16));
    QCOMPARE(io.bytes, f.fake.fileBytes(15));
    QCOMPARE(scp.bytes, f.fake.fileBytes(20));
    QCOMPARE(relays.bytes, f.fake.fileBytes(17));
    QCOMPARE(proc.bytes, f.fake.fileBytes(13));
    QCOMPARE(inter.bytes, f.fake.fileBytes(11));

    // Paging of the sensor table: first and last request.
    const QList<FakeRequest> sensorReqs = f.fake.requests(20, 10);
    QCOMPARE(sensorReqs.first().data, QByteArray::fromHex("0706000A00000078"));
    QCOMPARE(sensorReqs.last().data, QByteArray::fromHex("0706000A01EF0028"));
}

void TestDriverConfig::wholeWrite()
{
    TcpFixture f;
    QVERIFY(f.listening);
    // Another configuration to write over the fake's own.
    FakeController source;
    source.loadGeneratedConfiguration(3, QHostAddress(QStringLiteral("127.0.0.1")), 480, 90, 30);
    QVERIFY(source.fileBytes(10) != f.fake.fileBytes(10));

    LantrelDriver *d = f.makeDriver();
    QVERIFY(startAndConnect(d));
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    f.fake.clearLog();

    d->setControllerConfig(source.fileBytes(28), source.record<Konfig_Device_t>(3, 0),
                           source.record<ETH_konf_t>(4, 0), source.record<Konfig_Line_t>(8, 0));
    d->setSensorsConfig(tableMap<Konfig_Section_t>(source, sensorShape));
    d->setIoModulesConfig(tableMap<Konfig_MVV_t>(source, ioShape));
    d->setScpModulesConfig(tableMap<Konfig_MKZ_t>(source, scpShape));
    d->setRelayModulesConfig(tableMap<Konfig_Modul_t>(source, relayShape), true);
    d->setProcessingConfig(tableMap<Konfig_Proc_t>(source, procShape));
    d->setInteractionsConfig(tableMap<Control_Relay_t>(source, interactionShape));

    // 1 + 34 + 7 + 3 + 2 + 1 (relay count) + 13 + 66
    QVERIFY(waitForCount(write, 127, 20000));
    QTest::qWait(50);
    QCOMPARE(write.count(), 127);
    QCOMPARE(countValue(write, true), 127);
    QCOMPARE(f.fake.requests(21).size(), 126);

    for (int file : {3, 4, 8, 28, 11, 13, 15, 17, 20})
        QVERIFY2(f.fake.fileBytes(file) == source.fileBytes(file), qPrintable(QString::number(file)));
    QCOMPARE(f.fake.fileBytes(10).left(500 * 16), source.fileBytes(10).left(500 * 16));

    int occupied = 0;
    for (const Konfig_Modul_t &m : source.records<Konfig_Modul_t>(17))
        occupied += m.IPAddr != 0 ? 1 : 0;
    const QList<FakeRequest> count = f.fake.requests(6);
    QCOMPARE(count.size(), 1);
    QCOMPARE(count.at(0).address, 25);
    QCOMPARE(count.at(0).values.value(0), quint16(occupied));
}

void TestDriverConfig::writePacking_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QList<int>>("expectedByteCounts");
    QTest::addColumn<QList<int>>("expectedSubRecords"); // record of every sub-request, in order

    QList<int> all500, all4000, all4;
    for (int i = 0; i < 500; ++i)
        all500 << i;
    for (int i = 0; i < 4000; ++i)
        all4000 << i;
    all4 << 0 << 1 << 2 << 3;

    QList<int> sensorCounts, sensorSubs;
    for (int i = 0; i < 33; ++i)
        sensorCounts << 247, sensorSubs << i * 15;
    sensorCounts << 87;
    sensorSubs << 495;
    QTest::newRow("all sensors") << "sensors" << all500 << sensorCounts << sensorSubs;

    QTest::newRow("sensors 0 and 2") << "sensors" << QList<int>{0, 2} << QList<int>{46} << QList<int>{0, 2};
    // A run breaks where a new sub-request would no longer fit.
    QTest::newRow("sensors in pairs") << "sensors" << QList<int>{0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 15, 16, 18, 19}
                                      << QList<int>{6 * (7 + 32), 7 + 32}
                                      << QList<int>{0, 3, 6, 9, 12, 15, 18};

    QList<int> interCounts, interSubs;
    for (int i = 0; i < 65; ++i)
        interCounts << 251, interSubs << i * 61;
    interCounts << 147;
    interSubs << 3965;
    QTest::newRow("all interactions") << "interactions" << all4000 << interCounts << interSubs;

    QTest::newRow("relay modules") << "relays" << all4 << QList<int>{235, 83} << QList<int>{0, 3};
    QTest::newRow("processing rules 0 to 40") << "processing" << all500.mid(0, 41) << QList<int>{247, 13}
                                              << QList<int>{0, 40};
}

void TestDriverConfig::writePacking()
{
    QFETCH(QString, table);
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, expectedByteCounts);
    QFETCH(QList<int>, expectedSubRecords);

    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    f.fake.clearLog();

    FakeController source;
    source.loadGeneratedConfiguration(3);
    int file = 0;
    if (table == "sensors") {
        QMap<quint16, Konfig_Section_t> map;
        for (int k : keys)
            map.insert(quint16(k), source.record<Konfig_Section_t>(10, k));
        d->setSensorsConfig(map);
        file = 10;
    } else if (table == "interactions") {
        QMap<quint16, Control_Relay_t> map;
        for (int k : keys)
            map.insert(quint16(k), source.record<Control_Relay_t>(11, k));
        d->setInteractionsConfig(map);
        file = 11;
    } else if (table == "relays") {
        QMap<quint16, Konfig_Modul_t> map;
        for (int k : keys)
            map.insert(quint16(k), source.record<Konfig_Modul_t>(17, k));
        d->setRelayModulesConfig(map, false);
        file = 17;
    } else if (table == "processing") {
        QMap<quint16, Konfig_Proc_t> map;
        for (int k : keys)
            map.insert(quint16(k), source.record<Konfig_Proc_t>(13, k));
        d->setProcessingConfig(map);
        file = 13;
    }

    QVERIFY(waitForCount(write, expectedByteCounts.size(), 15000));
    QTest::qWait(50);
    QCOMPARE(write.count(), expectedByteCounts.size());
    QCOMPARE(countValue(write, true), write.count());

    const QList<FakeRequest> reqs = f.fake.requests(21);
    QCOMPARE(byteCounts(reqs), expectedByteCounts);
    QList<int> subRecords;
    for (const FakeRequest &r : reqs) {
        QCOMPARE(r.data.size(), 1 + quint8(r.data.at(0)));
        for (const FakeSubRequest &s : r.subs) {
            QCOMPARE(s.file, file);
            QCOMPARE(s.data.size(), s.length * 2);
            subRecords << s.record;
        }
    }
    QCOMPARE(subRecords, expectedSubRecords);
    // What was written is exactly the source's records.
    for (int k : keys)
        QCOMPARE(f.fake.recordBytes(file, k), source.recordBytes(file, k));
}

void TestDriverConfig::emptyMapWrite()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    f.fake.clearLog();

    d->setSensorsConfig({});
    d->setRelayModulesConfig({}, true);
    QCOMPARE(write.count(), 2);
    QCOMPARE(countValue(write, false), 2);
    QTest::qWait(100);
    QCOMPARE(write.count(), 2);
    QVERIFY(f.fake.requests(21).isEmpty());
    QVERIFY(f.fake.requests(6).isEmpty());
}

void TestDriverConfig::blockIdentifier_data()
{
    QTest::addColumn<QByteArray>("blockId");
    QTest::addColumn<QByteArray>("stored");

    const QByteArray ten("0123456789");
    QTest::newRow("10 bytes, padded") << ten << ten + QByteArray(54, '\0');
    const QByteArray full(64, 'x');
    QTest::newRow("64 bytes") << full << full;
    const QByteArray longer = QByteArray(64, 'y') + QByteArray("zzzzzz");
    QTest::newRow("70 bytes, cut") << longer << QByteArray(64, 'y');
}

void TestDriverConfig::blockIdentifier()
{
    QFETCH(QByteArray, blockId);
    QFETCH(QByteArray, stored);

    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    QSignalSpy address(d, &LantrelDriver::deviceAddressChanged);
    f.fake.clearLog();

    d->setControllerConfig(blockId, f.fake.record<Konfig_Device_t>(3, 0), f.fake.record<ETH_konf_t>(4, 0),
                           f.fake.record<Konfig_Line_t>(8, 0));
    QVERIFY(waitForCount(write, 1, 5000));
    QCOMPARE(write.at(0).at(0).toBool(), true);
    QCOMPARE(address.count(), 0); // same line address
    QCOMPARE(f.fake.fileBytes(28), stored);

    const QList<FakeRequest> reqs = f.fake.requests(21);
    QCOMPARE(reqs.size(), 1);
    QCOMPARE(quint8(reqs.at(0).data.at(0)), quint8(156));
    QCOMPARE(reqs.at(0).subs.size(), 4);
    const int files[] = {3, 4, 8, 28};
    const int lengths[] = {16, 12, 4, 32};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(reqs.at(0).subs.at(i).file, files[i]);
        QCOMPARE(reqs.at(0).subs.at(i).length, lengths[i]);
    }
}

void TestDriverConfig::lineConfigWrite()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    f.fake.clearLog();

    Konfig_Line_t line;
    line.SensorCount = 300;
    line.IoCount = 2;
    line.ScpCount = 1;
    line.RelayCount = 4;
    line.LineMode = 1;
    d->setLineConfig(line);
    QVERIFY(waitForCount(write, 1, 5000));
    QCOMPARE(write.at(0).at(0).toBool(), true);
    const QList<FakeRequest> reqs = f.fake.requests(21);
    QCOMPARE(reqs.size(), 1);
    QCOMPARE(reqs.at(0).data, QByteArray::fromHex("0F06000800000004" "2C01020001000401"));
    QCOMPARE(f.fake.fileBytes(8), QByteArray::fromHex("2C01020001000401"));
}

void TestDriverConfig::lineAddressChange()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy address(d, &LantrelDriver::deviceAddressChanged);
    QSignalSpy ip(d, &LantrelDriver::deviceIpChanged);

    sendNewAddress(d, f.fake, 12, QStringLiteral("127.0.0.12"));
    QVERIFY(waitForCount(write, 1, 5000));
    QCOMPARE(address.count(), 1);
    QCOMPARE(address.at(0).at(0).toInt(), 12);
    QCOMPARE(ip.count(), 0); // the link stays on the old address until a restart

    // Every later request goes to the new line address.
    f.fake.clearLog();
    d->getLineConfig();
    QVERIFY(waitForCount(read, 1, 5000));
    QCOMPARE(read.at(0).at(0).toBool(), true);
    QCOMPARE(f.fake.requestLog().size(), 1);
    QCOMPARE(f.fake.requestLog().at(0).unitId, 12);
}

void TestDriverConfig::clockRead()
{
    TcpFixture f;
    QVERIFY(f.listening);
    const QDateTime set(QDate(2024, 3, 5), QTime(14, 7, 9));
    f.fake.setClock(set);
    LantrelDriver *d = f.makeDriver();
    QSignalSpy clock(d, &LantrelDriver::controllerDateTime);
    QVERIFY(startAndConnect(d));
    QVERIFY(waitForCount(clock, 1, 5000));
    const QDateTime got = clock.at(0).at(0).toDateTime();
    QVERIFY2(got >= set && got <= set.addSecs(2), qPrintable(got.toString(Qt::ISODate)));
    QCOMPARE(got.time().msec(), 0);
}

void TestDriverConfig::clockWrite()
{
    TcpFixture f;
    QVERIFY(f.listening);
    f.fake.setClockApplyMs(60); // the apply bit stays set for a few polls
    LantrelDriver *d = f.makeDriver();
    QVERIFY(startAndConnect(d));
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    f.fake.clearLog();

    // A busy reply delays the clock write: the record carries the time of
    // sending, not of the call.
    FakeInjection busy = FakeInjection::exception(6, 21, 50);
    busy.file = 5;
    f.fake.addInjection(busy);
    d->setControllerClock();
    d->getLineConfig(); // after the group

    QVERIFY(waitForCount(read, 1, 10000));
    QVERIFY(texts(log).contains(QStringLiteral("Показания часов синхронизированы с локальным источником")));
    QCOMPARE(write.count(), 0);

    const QList<FakeRequest> writes = f.fake.requests(21, 5);
    QCOMPARE(writes.size(), 51);
    const FakeRequest &last = writes.last();
    QCOMPARE(last.data.left(8), QByteArray::fromHex("0F06000500000004"));
    QDataStream in(last.data.mid(8));
    in.setByteOrder(QDataStream::BigEndian);
    Clock_Device_t clk;
    in >> clk;
    const QDateTime sent(QDate(clk.Year, clk.Month, clk.Day), QTime(clk.Hour, clk.Minute, clk.Second));
    QCOMPARE(int(clk.DayOfWeek), sent.date().dayOfWeek());
    QVERIFY2(qAbs(sent.secsTo(last.time)) <= 1, qPrintable(sent.toString(Qt::ISODate)));
    QVERIFY(writes.first().time.msecsTo(last.time) >= 1000);
    QVERIFY(writes.first().data != last.data);

    // Then the apply bit and its polls, in order.
    const QList<FakeRequest> apply = f.fake.requests(6);
    QCOMPARE(apply.size(), 1);
    QCOMPARE(apply.at(0).data, QByteArray::fromHex("001E0040"));
    const QList<FakeRequest> polls = f.fake.requests(3);
    QVERIFY(polls.size() >= 2);
    for (const FakeRequest &p : polls)
        QCOMPARE(p.data, QByteArray::fromHex("001E0001"));
    QVERIFY(apply.at(0).timeMs >= last.timeMs);
    QVERIFY(polls.first().timeMs >= apply.at(0).timeMs);
}

void TestDriverConfig::clockGroupFails()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    f.fake.clearLog();

    // The clock record is refused: the apply and poll items of its group
    // are dropped, the next operation runs.
    FakeInjection refused = FakeInjection::exception(2, 21);
    refused.file = 5;
    f.fake.addInjection(refused);
    d->setControllerClock();
    d->getLineConfig();
    QVERIFY(waitForCount(read, 1, 5000));
    QCOMPARE(read.at(0).at(0).toBool(), true);
    QCOMPARE(f.fake.requests(21).size(), 1);
    QVERIFY(f.fake.requests(6).isEmpty());
    QVERIFY(f.fake.requests(3).isEmpty());
    QVERIFY(log.isEmpty());
}

void TestDriverConfig::tableReplySizes_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("param");
    QTest::addColumn<int>("record");

    // A full page (15 records at record 15) fills the Modbus data unit, so
    // only the last page (5 records at 495) can come back longer.
    QTest::newRow("one record too many") << int(FakeInjection::LongReply) << 16 << 495;
    QTest::newRow("beyond the table") << int(FakeInjection::LongReply) << 16 * 8 << 495;
    QTest::newRow("three bytes over") << int(FakeInjection::LongReply) << 3 << 495;
    QTest::newRow("one record short") << int(FakeInjection::ShortReply) << 16 << 15;
    QTest::newRow("ends inside a record") << int(FakeInjection::ShortReply) << 5 << 15;
}

void TestDriverConfig::tableReplySizes()
{
    QFETCH(int, shape);
    QFETCH(int, param);
    QFETCH(int, record);

    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    FakeInjection inj = FakeInjection::make(FakeInjection::Kind(shape), 20, 1, param);
    inj.file = 10;
    inj.record = record;
    f.fake.addInjection(inj);

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    TableCollector sensors(16, 500);
    QObject context;
    connect(d, &LantrelDriver::sensorConfig, &context,
            [&](ushort i, QVector<Konfig_Section_t> v) { sensors.add(i, v); });
    d->getSensorsConfig();
    QVERIFY(waitForCount(read, 34, 10000));
    QTest::qWait(50);

    // A page with other records than asked is a failed step, not data;
    // the other pages come whole.
    QCOMPARE(countValue(read, false), 1);
    QCOMPARE(sensors.pages.size(), 33);
    for (const auto &page : sensors.pages)
        QVERIFY(page.first != record && page.second == qMin(15, 500 - page.first));
    QVERIFY(!sensors.outOfRange);
}

QTEST_GUILESS_MAIN(TestDriverConfig)
#include "tst_driverconfig.moc"
