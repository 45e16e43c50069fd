// Self-test of the fake line controller, spoken to with Qt's own Modbus
// clients and raw requests, so the framing is checked independently of the
// driver.

#include "fakecontroller.h"
#include "faketcpserver.h"
#include "fakertuserver.h"
#include "ptypair.h"

#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace LantrelProtocol;

namespace {

struct Answer
{
    QModbusDevice::Error error = QModbusDevice::UnknownError;
    bool exception = false;
    int exceptionCode = 0;
    int function = 0;
    QByteArray data;
};

QByteArray be16(quint16 v)
{
    QByteArray b;
    b.append(char(v >> 8));
    b.append(char(v & 0xFF));
    return b;
}

QByteArray readSub(int file, int record, int length)
{
    return QByteArray(1, char(6)) + be16(quint16(file)) + be16(quint16(record)) + be16(quint16(length));
}

QByteArray readFilePayload(const QList<QByteArray> &subs)
{
    QByteArray body;
    for (const QByteArray &s : subs)
        body.append(s);
    return QByteArray(1, char(body.size())) + body;
}

QByteArray writeFilePayload(int file, int record, const QByteArray &data, int regs = -1)
{
    const QByteArray body = readSub(file, record, regs >= 0 ? regs : (data.size() + 1) / 2) + data;
    return QByteArray(1, char(body.size())) + body;
}

quint16 reg(const QByteArray &data, int i)
{
    return quint16((quint8(data.at(1 + 2 * i)) << 8) | quint8(data.at(2 + 2 * i)));
}

} // namespace

class TestFakeController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void identityAndUnitId();
    void controllerConfigRead();
    void tableReadMatchesGenerator();
    void writeFileRecordEchoesAndStores();
    void vacatedRowLeavesTheRestInPlace_data();
    void vacatedRowLeavesTheRestInPlace();
    void badFileRequests_data();
    void badFileRequests();
    void commandBlock();
    void commandBusyAndFailure();
    void coils();
    void restartDropsLinkAndSetsCoil10();
    void factoryDefaultsTakeEffectAtRestart();
    void firmwareSaveRestarts();
    void clockWrite();
    void eventsFunction7();
    void statusBlock();
    void firmwareRebuilt();
    void moduleAddressing();
    void injections_data();
    void injections();
    void injectionSilenceAndClose();
    void requestLog();
    void addressChangeAndFlash();
    void rtuFraming();

private:
    Answer send(QModbusClient *client, int function, const QByteArray &data, int unit = -1);
    Answer send(int function, const QByteArray &data, int unit = -1)
    {
        return send(m_client.get(), function, data, unit);
    }
    bool connectClient();

    std::unique_ptr<FakeController> m_fake;
    std::unique_ptr<FakeTcpServer> m_server;
    std::unique_ptr<QModbusTcpClient> m_client;
};

void TestFakeController::init()
{
    m_fake.reset(new FakeController);
    m_fake->loadGeneratedConfiguration(3, QHostAddress(QStringLiteral("127.0.0.1")));
    m_server.reset(new FakeTcpServer(m_fake.get()));
    QVERIFY(m_server->listen(QHostAddress::Any, 502));
    m_client.reset(new QModbusTcpClient);
    m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    m_client->setConnectionParameter(QModbusDevice::NetworkPortParameter, 502);
    m_client->setTimeout(300);
    m_client->setNumberOfRetries(0);
    QVERIFY(connectClient());
}

void TestFakeController::cleanup()
{
    if (m_client)
        m_client->disconnectDevice();
    m_client.reset();
    m_server.reset();
    m_fake.reset();
}

bool TestFakeController::connectClient()
{
    if (m_client->state() == QModbusDevice::ConnectedState)
        return true;
    m_client->connectDevice();
    QElapsedTimer t;
    t.start();
    while (m_client->state() == QModbusDevice::ConnectingState && t.elapsed() < 5000)
        QTest::qWait(5);
    return m_client->state() == QModbusDevice::ConnectedState;
}

Answer TestFakeController::send(QModbusClient *client, int function, const QByteArray &data, int unit)
{
    Answer a;
    QModbusRequest req(QModbusPdu::FunctionCode(function), data);
    QModbusReply *reply = client->sendRawRequest(req, unit < 0 ? m_fake->unitId() : unit);
    if (!reply)
        return a;
    if (!reply->isFinished()) {
        QSignalSpy spy(reply, &QModbusReply::finished);
        spy.wait(5000);
    }
    a.error = reply->error();
    const QModbusResponse r = reply->rawResult();
    // Qt decodes no reply to functions 7, 20 and 21 itself and flags them as
    // unknown errors; the raw result is what counts.
    if (a.error == QModbusDevice::UnknownError && !r.isException() && !r.data().isEmpty())
        a.error = QModbusDevice::NoError;
    a.exception = r.isException();
    a.exceptionCode = r.isException() ? int(r.exceptionCode()) : 0;
    a.function = r.functionCode();
    a.data = r.data();
    reply->deleteLater();
    return a;
}

void TestFakeController::identityAndUnitId()
{
    m_fake->setIdentity(2023, 1234, 7, 258, 773, QDate(2022, 10, 31));
    const Answer a = send(3, be16(0) + be16(8));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(a.data.toHex(), QByteArray("1007e704d20007010203050a1f07e60003"));

    // Another unit id gets no answer at all.
    const Answer other = send(3, be16(0) + be16(8), 4);
    QCOMPARE(other.error, QModbusDevice::TimeoutError);
    const QList<FakeRequest> log = m_fake->requestLog();
    QCOMPARE(log.size(), 2);
    QVERIFY(log.at(0).forUs && log.at(0).answered);
    QVERIFY(!log.at(1).forUs && !log.at(1).answered);
    QCOMPARE(log.at(1).unitId, 4);
}

void TestFakeController::controllerConfigRead()
{
    const QByteArray payload = readFilePayload({readSub(3, 0, 16), readSub(4, 0, 12), readSub(8, 0, 4),
                                                readSub(28, 0, 32)});
    const Answer a = send(20, payload);
    QCOMPARE(a.error, QModbusDevice::NoError);
    // length byte, then four sub-responses of length + 6 + data
    QCOMPARE(a.data.size(), 1 + 4 * 2 + 32 + 24 + 8 + 64);
    QCOMPARE(int(quint8(a.data.at(0))), a.data.size() - 1);
    QCOMPARE(int(quint8(a.data.at(1))), 33);
    QCOMPARE(int(quint8(a.data.at(2))), 6);
    QCOMPARE(a.data.mid(3, 32), m_fake->fileBytes(3));
    QCOMPARE(a.data.mid(37, 24), m_fake->fileBytes(4));
    QCOMPARE(a.data.mid(63, 8), m_fake->fileBytes(8));
    QCOMPARE(a.data.mid(73, 64), m_fake->fileBytes(28));

    const Konfig_Device_t dev = m_fake->record<Konfig_Device_t>(3, 0);
    QCOMPARE(int(dev.LineAddr), 3);
    QCOMPARE(dev.Reserved0, 115200u);
    const ETH_konf_t eth = m_fake->record<ETH_konf_t>(4, 0);
    QCOMPARE(QHostAddress(eth.IPAddr), QHostAddress(QStringLiteral("127.0.0.1")));
    QCOMPARE(a.data.mid(3 + 32 + 2, 4).toHex(), QByteArray("7f000001"));
}

void TestFakeController::tableReadMatchesGenerator()
{
    // The generated configuration is consistent: counts and reference counters.
    const Konfig_Line_t line = m_fake->record<Konfig_Line_t>(8, 0);
    const QVector<Konfig_Section_t> sensors = m_fake->records<Konfig_Section_t>(10);
    const QVector<Konfig_MVV_t> io = m_fake->records<Konfig_MVV_t>(15);
    const QVector<Control_Relay_t> links = m_fake->records<Control_Relay_t>(11);
    const QVector<Konfig_Modul_t> relays = m_fake->records<Konfig_Modul_t>(17);
    int usedSensors = 0, refs = 0, kinds3 = 0, kinds4 = 0;
    for (int i = 0; i < 500; ++i) {
        if (sensors[i].DeviceType == 0)
            break;
        ++usedSensors;
        refs += sensors[i].RefCount;
        kinds3 += sensors[i].DeviceType == SECT_ACCI;
        kinds4 += sensors[i].DeviceType == SECT_ACC;
    }
    int usedIo = 0;
    for (const Konfig_MVV_t &m : io) {
        if (m.DeviceType == 0)
            break;
        ++usedIo;
        refs += m.RefCountL1 + m.RefCountL2;
    }
    int usedLinks = 0;
    bool relay32 = false;
    for (const Control_Relay_t &c : links) {
        if (c.DeviceType == 0)
            break;
        ++usedLinks;
        relay32 = relay32 || (c.DeviceType == EXT_RELY && (c.DestRef & 0xFF) == 32);
    }
    QCOMPARE(usedSensors, int(line.SensorCount));
    QCOMPARE(usedIo, int(line.IoCount));
    QVERIFY(kinds3 > 0 && kinds4 > 0);
    QCOMPARE(usedLinks, refs);
    QVERIFY(relay32);
    QCOMPARE(int(relays[0].Relays[31].RelayNum), 32);
    QCOMPARE(int(m_fake->holdingRegister(25)), int(line.RelayCount));

    // First and last sensor pages as the driver asks for them.
    Answer a = send(20, readFilePayload({readSub(10, 0, 120)}));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(a.data.mid(3), m_fake->recordBytes(10, 0, 15));
    a = send(20, readFilePayload({readSub(10, 495, 40)}));
    QCOMPARE(a.data.mid(3), m_fake->recordBytes(10, 495, 5));
    a = send(20, readFilePayload({readSub(11, 3960, 80)}));
    QCOMPARE(a.data.mid(3), m_fake->recordBytes(11, 3960, 40));
    a = send(20, readFilePayload({readSub(17, 2, 76)}));
    QCOMPARE(a.data.size(), 3 + 152);
}

void TestFakeController::writeFileRecordEchoesAndStores()
{
    Konfig_Line_t line;
    line.SensorCount = 300;
    line.IoCount = 2;
    line.ScpCount = 1;
    line.RelayCount = 4;
    line.LineMode = 1;
    const QByteArray payload = writeFilePayload(8, 0, FakeController::encode(line));
    QCOMPARE(payload.toHex(), QByteArray("0f06000800000004") + QByteArray("2c01020001000401"));
    const Answer a = send(21, payload);
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(a.data, payload);
    QCOMPARE(m_fake->fileBytes(8).toHex(), QByteArray("2c01020001000401"));
    QCOMPARE(int(m_fake->holdingRegister(22)), 300);
    // RAM only: flash keeps the old settings until saved.
    QVERIFY(m_fake->flashFileBytes(8) != m_fake->fileBytes(8));

    // Two runs in one request (records 0 and 2).
    QByteArray r0(16, char(0x11)), r2(16, char(0x22));
    QByteArray body = readSub(10, 0, 8) + r0 + readSub(10, 2, 8) + r2;
    const Answer b = send(21, QByteArray(1, char(body.size())) + body);
    QCOMPARE(b.error, QModbusDevice::NoError);
    QCOMPARE(m_fake->recordBytes(10, 0), r0);
    QCOMPARE(m_fake->recordBytes(10, 2), r2);
    QVERIFY(m_fake->recordBytes(10, 1) != r0);
}

void TestFakeController::vacatedRowLeavesTheRestInPlace_data()
{
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("firstRecord");  // of the row's interactions
    QTest::addColumn<int>("records");
    // Generated: sensor k has k % 3 references (24 in all), I/O module k one
    // on loop 1 and k % 2 on loop 2.
    QTest::newRow("sensor row 5") << 10 << 5 << 4 << 2;
    QTest::newRow("I/O row 1") << 15 << 1 << 25 << 2;
    QTest::newRow("line-protection row 0") << 20 << 0 << 0 << 0;
}

// The row is empty and the rows after it where they were; the interaction
// records of its sources are gone, those after them moved up.
void TestFakeController::vacatedRowLeavesTheRestInPlace()
{
    QFETCH(int, file);
    QFETCH(int, row);
    QFETCH(int, firstRecord);
    QFETCH(int, records);
    const QByteArray table = m_fake->fileBytes(file);
    const QByteArray rules = m_fake->fileBytes(13);
    const QByteArray interactions = m_fake->fileBytes(11);
    const Konfig_Line_t line = m_fake->lineConfig();

    m_fake->vacateModuleRow(file, row);
    const QByteArray vacated = m_fake->fileBytes(file);
    QCOMPARE(vacated.mid(row * 16, 16), QByteArray(16, '\0'));
    QCOMPARE(vacated.left(row * 16), table.left(row * 16));
    QCOMPARE(vacated.mid((row + 1) * 16), table.mid((row + 1) * 16));
    QCOMPARE(m_fake->fileBytes(13).mid(row * 6, 6), file == 10 ? QByteArray(6, '\0') : rules.mid(row * 6, 6));
    QCOMPARE(m_fake->fileBytes(11),
             (interactions.left(firstRecord * 4) + interactions.mid((firstRecord + records) * 4))
                 .leftJustified(interactions.size(), '\0'));
    const Konfig_Line_t after = m_fake->lineConfig();
    QCOMPARE(after.SensorCount, quint16(line.SensorCount - (file == 10 ? 1 : 0)));
    QCOMPARE(after.IoCount, quint16(line.IoCount - (file == 15 ? 1 : 0)));
    QCOMPARE(after.ScpCount, quint16(line.ScpCount - (file == 20 ? 1 : 0)));
}

void TestFakeController::badFileRequests_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("code");
    QTest::newRow("unknown file") << 20 << readFilePayload({readSub(12, 0, 1)}) << 2;
    QTest::newRow("past the end") << 20 << readFilePayload({readSub(10, 496, 48)}) << 2;
    QTest::newRow("read write-only file") << 20 << readFilePayload({readSub(27, 0, 3)}) << 2;
    QTest::newRow("too long reply") << 20 << readFilePayload({readSub(11, 0, 126)}) << 3;
    QTest::newRow("write status file") << 21 << writeFilePayload(9, 0, QByteArray(6, '\0')) << 2;
    QTest::newRow("register out of range") << 3 << be16(98) << 2;
    QTest::newRow("write identity register") << 6 << (be16(2) + be16(5)) << 2;
    QTest::newRow("unknown function") << 4 << (be16(0) + be16(1)) << 1;
}

void TestFakeController::badFileRequests()
{
    QFETCH(int, function);
    QFETCH(QByteArray, payload);
    QFETCH(int, code);
    if (function == 3)
        payload += be16(4);
    const Answer a = send(function, payload);
    QCOMPARE(a.error, QModbusDevice::ProtocolError);
    QVERIFY(a.exception);
    QCOMPARE(a.exceptionCode, code);
}

void TestFakeController::commandBlock()
{
    m_fake->setCommandBusyTime(WR_KONF_REG, 150);
    // Change RAM, then save it through the command block.
    m_fake->setRecordBytes(10, 7, QByteArray(16, char(0x5A)));
    QVERIFY(m_fake->flashFileBytes(10) != m_fake->fileBytes(10));
    Answer a = send(3, be16(52) + be16(1));
    QCOMPARE(reg(a.data, 0), quint16(STATE_REDY));
    a = send(16, be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(WR_KONF_REG) + be16(0) + be16(63));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(a.data.toHex(), QByteArray("00340004"));
    a = send(3, be16(52) + be16(4));
    QCOMPARE(reg(a.data, 0), quint16(STATE_BUSY));
    QCOMPARE(reg(a.data, 1), quint16(WR_KONF_REG));
    QTRY_COMPARE_WITH_TIMEOUT(reg(send(3, be16(52) + be16(4)).data, 0), quint16(STATE_REDY), 3000);
    a = send(3, be16(52) + be16(4));
    QCOMPARE(reg(a.data, 1), quint16(0));
    QCOMPARE(m_fake->flashFileBytes(10), m_fake->fileBytes(10));
    QCOMPARE(m_fake->commands().size(), 1);
    QCOMPARE(m_fake->commands().first().param2, 63);
    QCOMPARE(m_fake->commands().first().result, 0);

    // Progress of MOVE_PROG in register 55.
    m_fake->setCommandBusyTime(MOVE_PROG, 1500);
    send(16, be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(MOVE_PROG) + be16(0) + be16(0));
    QTest::qWait(300);
    a = send(3, be16(52) + be16(4));
    QCOMPARE(reg(a.data, 0), quint16(STATE_BUSY));
    QVERIFY(reg(a.data, 3) > 10 && reg(a.data, 3) < 100);
    QTRY_COMPARE_WITH_TIMEOUT(reg(send(3, be16(52) + be16(4)).data, 3), quint16(100), 3000);
}

void TestFakeController::commandBusyAndFailure()
{
    m_fake->setCommandBusyTime(RD_SECT_VER, -1);
    const QByteArray cmd = be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(RD_SECT_VER) + be16(0) + be16(0);
    QCOMPARE(send(16, cmd).error, QModbusDevice::NoError);
    // A second command while busy: exception 6 (busy).
    const Answer busy = send(16, cmd);
    QCOMPARE(busy.exceptionCode, 6);
    QTest::qWait(100);
    QCOMPARE(reg(send(3, be16(52) + be16(1)).data, 0), quint16(STATE_BUSY));

    m_fake->setCommandState(STATE_REDY);
    m_fake->failCommand(RD_VOLT_SECT, 5);
    const QByteArray volt = be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(RD_VOLT_SECT) + be16(0) + be16(0);
    send(16, volt);
    QTRY_VERIFY_WITH_TIMEOUT(reg(send(3, be16(52) + be16(2)).data, 0) != STATE_BUSY, 2000);
    Answer a = send(3, be16(52) + be16(2));
    QCOMPARE(reg(a.data, 0), quint16(STATE_ERR));
    QCOMPARE(reg(a.data, 1), quint16(5));
    // Only once.
    send(16, volt);
    QTRY_VERIFY_WITH_TIMEOUT(reg(send(3, be16(52) + be16(2)).data, 0) != STATE_BUSY, 2000);
    QCOMPARE(reg(send(3, be16(52) + be16(2)).data, 1), quint16(0));
}

void TestFakeController::coils()
{
    // Coil 1 stops line polling; the line status follows.
    m_fake->setLinePollStopMs(200);
    Answer a = send(1, be16(1) + be16(1));
    QCOMPARE(a.data.toHex(), QByteArray("0100"));
    QCOMPARE(int(m_fake->lineStatus().State), int(LN_ONN));
    QCOMPARE(int(m_fake->lineStatus().Flags & 1), 1);
    a = send(5, be16(1) + be16(0xFF00));
    QCOMPARE(a.data.toHex(), QByteArray("0001ff00"));
    QCOMPARE(send(1, be16(1) + be16(1)).data.toHex(), QByteArray("0101"));
    Answer line = send(20, readFilePayload({readSub(7, 0, 2)}));
    QCOMPARE(line.data.mid(3).toHex(), QByteArray("00020000"));
    QTRY_COMPARE_WITH_TIMEOUT(send(20, readFilePayload({readSub(7, 0, 2)})).data.mid(3).toHex(),
                              QByteArray("00030000"), 2000);
    QCOMPARE(int(m_fake->holdingRegister(38)), int(LN_OFF));
    send(5, be16(1) + be16(0));
    QCOMPARE(int(m_fake->lineStatus().State), int(LN_ONN));

    // Coil 3: reads 1 while the defaults are restored, then 0; the flash
    // holds line address 1 but the controller keeps its address until a restart.
    m_fake->setCoilBusyMs(150);
    QCOMPARE(send(5, be16(3) + be16(0xFF00)).error, QModbusDevice::NoError);
    QCOMPARE(send(1, be16(3) + be16(1)).data.toHex(), QByteArray("0101"));
    QTRY_COMPARE_WITH_TIMEOUT(send(1, be16(3) + be16(1)).data.toHex(), QByteArray("0100"), 2000);
    QCOMPARE(m_fake->unitId(), 3);
    QCOMPARE(int(m_fake->record<Konfig_Device_t>(3, 0).LineAddr), 1);
    QCOMPARE(m_fake->flashFileBytes(4), m_fake->fileBytes(4));
    QCOMPARE(m_fake->ipAddress(), QHostAddress(QStringLiteral("192.168.0.254")));

    // Bad coil value.
    QCOMPARE(send(5, be16(1) + be16(0x1234)).exceptionCode, 3);
}

void TestFakeController::restartDropsLinkAndSetsCoil10()
{
    m_fake->setRestartDelays(100, 1500);
    QSignalSpy restarted(m_fake.get(), &FakeController::restarted);
    // An unsaved change of the line address is dropped by the restart.
    Konfig_Device_t dev = m_fake->record<Konfig_Device_t>(3, 0);
    dev.LineAddr = 9;
    QCOMPARE(send(21, writeFilePayload(3, 0, FakeController::encode(dev))).error, QModbusDevice::NoError);
    QCOMPARE(m_fake->unitId(), 9);

    QCOMPARE(send(5, be16(2) + be16(0xFF00)).error, QModbusDevice::NoError);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->state(), QModbusDevice::UnconnectedState, 2000);
    // Refused while restarting.
    QVERIFY(!connectClient());
    QVERIFY(restarted.wait(5000));
    QVERIFY(connectClient());
    QCOMPARE(m_fake->unitId(), 3);
    QCOMPARE(send(1, be16(10) + be16(1)).data.toHex(), QByteArray("0101"));
    QCOMPARE(reg(send(3, be16(27) + be16(1)).data, 0) & 4, 4);
    QCOMPARE(send(5, be16(10) + be16(0)).error, QModbusDevice::NoError);
    QCOMPARE(send(1, be16(10) + be16(1)).data.toHex(), QByteArray("0100"));
    QCOMPARE(reg(send(3, be16(27) + be16(1)).data, 0) & 4, 0);
    QCOMPARE(m_fake->restartCount(), 1);
}

void TestFakeController::factoryDefaultsTakeEffectAtRestart()
{
    m_server->setAcceptOnlyActiveAddress(true);
    m_fake->setCoilBusyMs(50);
    m_fake->setRestartDelays(50, 300);
    QCOMPARE(send(5, be16(3) + be16(0xFF00)).error, QModbusDevice::NoError);
    QTRY_COMPARE_WITH_TIMEOUT(send(1, be16(3) + be16(1)).data.toHex(), QByteArray("0100"), 2000);
    // Still line address 3 on 127.0.0.1 until the restart.
    QCOMPARE(reg(send(3, be16(7) + be16(1)).data, 0), quint16(3));
    QSignalSpy restarted(m_fake.get(), &FakeController::restarted);
    QCOMPARE(send(5, be16(2) + be16(0xFF00)).error, QModbusDevice::NoError);
    QVERIFY(restarted.wait(3000));
    QCOMPARE(m_fake->unitId(), 1);
    QCOMPARE(m_fake->activeIpAddress(), QHostAddress(QStringLiteral("192.168.0.254")));
    // The old address is no longer served, the factory one is.
    m_client->disconnectDevice();
    QTRY_COMPARE_WITH_TIMEOUT(m_client->state(), QModbusDevice::UnconnectedState, 2000);
    connectClient();
    QTRY_COMPARE_WITH_TIMEOUT(m_client->state(), QModbusDevice::UnconnectedState, 2000);
    QCOMPARE(m_server->connectionCount(), 0);
    m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("192.168.0.254"));
    QVERIFY(connectClient());
    QCOMPARE(reg(send(3, be16(7) + be16(1), 1).data, 0), quint16(1));
    QCOMPARE(m_server->lastLocalAddress(), QHostAddress(QStringLiteral("192.168.0.254")));
}

void TestFakeController::firmwareSaveRestarts()
{
    // SAVE_PROG to target 2 replaces the controller's own firmware: it
    // restarts without a poll; other targets report progress in register 55.
    m_fake->setRestartDelays(100, 300);
    m_fake->setCommandBusyTime(SAVE_PROG, 600);
    m_fake->setProgressEnd(24);
    QSignalSpy restarted(m_fake.get(), &FakeController::restarted);
    const QByteArray modules = be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(SAVE_PROG) + be16(0x0103) + be16(0);
    QCOMPARE(send(16, modules).error, QModbusDevice::NoError);
    QTest::qWait(300);
    const quint16 progress = reg(send(3, be16(52) + be16(4)).data, 3);
    QVERIFY2(progress > 0 && progress < 24, qPrintable(QString::number(progress)));
    QTRY_COMPARE_WITH_TIMEOUT(reg(send(3, be16(52) + be16(4)).data, 3), quint16(24), 3000);
    QCOMPARE(reg(send(3, be16(52) + be16(4)).data, 0), quint16(STATE_REDY));
    QCOMPARE(restarted.count(), 0);

    const QByteArray own = be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(SAVE_PROG) + be16(2) + be16(0);
    QCOMPARE(send(16, own).error, QModbusDevice::NoError);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->state(), QModbusDevice::UnconnectedState, 2000);
    QVERIFY(restarted.wait(3000));
    QTRY_VERIFY_WITH_TIMEOUT(connectClient(), 3000);
    QCOMPARE(send(1, be16(10) + be16(1)).data.toHex(), QByteArray("0101"));
}

void TestFakeController::clockWrite()
{
    m_fake->setClockApplyMs(100);
    const QByteArray clock = QByteArray::fromHex("0209070e0503e807"); // Tue 5 Mar 2024 14:07:09
    QCOMPARE(send(21, writeFilePayload(5, 0, clock)).error, QModbusDevice::NoError);
    QCOMPARE(send(6, be16(30) + be16(64)).data.toHex(), QByteArray("001e0040"));
    QCOMPARE(reg(send(3, be16(30) + be16(1)).data, 0) & 64, 64);
    QTRY_COMPARE_WITH_TIMEOUT(reg(send(3, be16(30) + be16(1)).data, 0) & 64, 0, 2000);
    const Answer a = send(20, readFilePayload({readSub(1, 0, 4)}));
    QCOMPARE(a.data.size(), 3 + 8);
    QCOMPARE(a.data.mid(3 + 2).toHex(), QByteArray("070e0503e807"));
    QVERIFY(qAbs(m_fake->clock().secsTo(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)))) < 3);
}

void TestFakeController::eventsFunction7()
{
    m_fake->addEvents(25);
    Answer a = send(7, QByteArray());
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(a.data.toHex(), QByteArray("19"));
    QCOMPARE(int(m_fake->holdingRegister(41)), 25);
    a = send(20, readFilePayload({readSub(6, 0, 120)}));
    QCOMPARE(a.data.size(), 3 + 240);
    QCOMPARE(send(7, QByteArray()).data.toHex(), QByteArray("05"));
    a = send(20, readFilePayload({readSub(6, 0, 30)}));
    QCOMPARE(a.data.size(), 3 + 60);
    // The 21st event comes first in the second batch.
    QCOMPARE(int(quint8(a.data.at(3 + 4))), int(EVN_FAULT));
    QCOMPARE(send(7, QByteArray()).data.toHex(), QByteArray("00"));
    QCOMPARE(int(m_fake->holdingRegister(40)), 25);
}

void TestFakeController::statusBlock()
{
    Status_Device_t st;
    st.Status0 = 0x11;
    st.Status1 = 0x20;
    st.Status2 = 0x03;
    st.Status3 = 0x51;
    st.Status5 = 0x07;
    m_fake->setControllerStatus(st);
    Feature_Device_t f;
    f.VddExt = 24100;
    f.IddLin = 7;
    m_fake->setPowerStatus(f);
    const Answer a = send(3, be16(22) + be16(20));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(reg(a.data, 0), quint16(24));     // sensors
    QCOMPARE(reg(a.data, 1), quint16(4));      // I/O modules
    QCOMPARE(reg(a.data, 2), quint16(2));      // line-protection modules
    QCOMPARE(reg(a.data, 3), quint16(2));      // relay modules
    QCOMPARE(reg(a.data, 4), quint16(0x11));
    QCOMPARE(reg(a.data, 5), quint16(0x20));
    QCOMPARE(reg(a.data, 7), quint16(0x51));
    QCOMPARE(reg(a.data, 8), quint16(0x07));
    QCOMPARE(reg(a.data, 9), quint16(24100));
    QCOMPARE(reg(a.data, 14), quint16(7));
    QCOMPARE(reg(a.data, 15), quint16(1));     // polling
    QCOMPARE(reg(a.data, 16), quint16(LN_ONN));
    m_fake->overrideRegister(22, 25);
    QCOMPARE(reg(send(3, be16(22) + be16(1)).data, 0), quint16(25));

    // Monitoring files.
    Answer s = send(20, readFilePayload({readSub(9, 0, 72)}));
    QCOMPARE(s.data.mid(3), m_fake->recordBytes(9, 0, 24));
    s = send(20, readFilePayload({readSub(19, 0, 8)}));
    QCOMPARE(s.data.mid(3), m_fake->recordBytes(19, 0, 2));
    QCOMPARE(quint16(quint8(s.data.at(7)) | (quint8(s.data.at(8)) << 8)), quint16(23000));
    s = send(20, readFilePayload({readSub(23, 0, 24)}));
    QCOMPARE(s.data.mid(3), m_fake->recordBytes(23, 0, 24));
    s = send(20, readFilePayload({readSub(26, 480, 20)}));
    QCOMPARE(s.data.size(), 3 + 40);
    s = send(20, readFilePayload({readSub(30, 0, 120)}));
    QCOMPARE(m_fake->moduleValue(30, 0), quint16(0x0102));
    QCOMPARE(s.data.mid(3, 2).toHex(), QByteArray("0201"));
    s = send(20, readFilePayload({readSub(22, 120, 120)}));
    QCOMPARE(s.data.mid(3), m_fake->recordBytes(22, 120, 120));
    s = send(20, readFilePayload({readSub(14, 0, 12)}));
    QCOMPARE(s.data.mid(3), m_fake->recordBytes(14, 0, 4));
}

void TestFakeController::firmwareRebuilt()
{
    QByteArray body(70001, '\0');
    for (int i = 0; i < body.size(); ++i)
        body[i] = char((i * 7 + i / 256) & 0xFF);
    for (int o = 0; o < body.size(); o += 128) {
        const QByteArray chunk = body.mid(o, 128);
        const QByteArray payload = writeFilePayload(0x8000 + o / 65536, o % 65536, chunk, (chunk.size() + 1) / 2);
        if (o == 0)
            QCOMPARE(payload.left(8).toHex(), QByteArray("8706800000000040"));
        const Answer a = send(21, payload);
        QVERIFY2(a.error == QModbusDevice::NoError, qPrintable(QString::number(o)));
    }
    QCOMPARE(m_fake->firmwareImage().size(), body.size());
    QVERIFY(m_fake->firmwareImage() == body);
    const QList<FakeRequest> chunks = m_fake->requests(21);
    QCOMPARE(chunks.last().file(), 0x8001);
    QCOMPARE(chunks.last().subs.first().data.size(), 70001 % 128);
}

void TestFakeController::moduleAddressing()
{
    auto moduleCommand = [this](int cmd, quint32 serial, int addr, int type) {
        Konfig_Section_t s;
        s.SerialNo = serial;
        s.LineAddr = quint16(addr);
        s.DeviceType = quint8(type);
        Command_Record_t c;
        c.Command = quint8(cmd);
        c.Address = quint16(addr);
        const QByteArray body = readSub(10, 500, 8) + FakeController::encode(s)
            + readSub(27, 0, 3) + FakeController::encode(c);
        QCOMPARE(body.size(), 36);
        const Answer a = send(21, QByteArray(1, char(body.size())) + body);
        QCOMPARE(a.error, QModbusDevice::NoError);
        QTRY_VERIFY_WITH_TIMEOUT(reg(send(3, be16(52) + be16(2)).data, 0) != STATE_BUSY, 2000);
    };
    const FakeLineModule loose = m_fake->lineModules().last();
    QCOMPARE(int(loose.lineAddr), 0);

    // Address job: WR_ADDR_SECT, then the identity request finds the module.
    moduleCommand(WR_ADDR_SECT, loose.serial, 77, loose.type);
    QCOMPARE(reg(send(3, be16(52) + be16(2)).data, 1), quint16(0));
    moduleCommand(CMD_EN_RID_ID, loose.serial, 0, 0);
    moduleCommand(REP_ID_SECT, loose.serial, 0, 0);
    Answer st = send(3, be16(52) + be16(2));
    QCOMPARE(reg(st.data, 0), quint16(STATE_REDY));
    QCOMPARE(reg(st.data, 1), quint16(0));
    const Konfig_Section_t found = m_fake->record<Konfig_Section_t>(10, 500);
    QCOMPARE(found.SerialNo, loose.serial);
    QCOMPARE(int(found.LineAddr), 77);
    QCOMPARE(int(found.DeviceType), int(loose.type));
    const Answer rec = send(20, readFilePayload({readSub(10, 500, 8)}));
    QCOMPARE(rec.data.mid(3), m_fake->recordBytes(10, 500));

    // Unknown serial: WR_ADDR_SECT fails; identity gets no module (VOID).
    moduleCommand(WR_ADDR_SECT, 0x123456, 78, 4);
    st = send(3, be16(52) + be16(2));
    QCOMPARE(reg(st.data, 0), quint16(STATE_ERR));
    QVERIFY(reg(st.data, 1) != 0);
    moduleCommand(CMD_EN_RID_ID, 0x123456, 0, 0);
    moduleCommand(REP_ID_SECT, 0x123456, 0, 0);
    QCOMPARE(reg(send(3, be16(52) + be16(2)).data, 0), quint16(STATE_VOID));

    // Addressing mode: the magnet module answers one identity command only.
    FakeLineModule magnet{0x00A1B2C3, 0, SECT_ACCI};
    m_fake->setMagnetModule(magnet);
    const QByteArray ident = be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(REP_ID_SECT) + be16(0) + be16(0);
    QCOMPARE(send(16, ident).error, QModbusDevice::NoError);
    QTRY_VERIFY_WITH_TIMEOUT(reg(send(3, be16(52) + be16(2)).data, 0) != STATE_BUSY, 2000);
    st = send(3, be16(52) + be16(2));
    QCOMPARE(reg(st.data, 0), quint16(STATE_REDY));
    QCOMPARE(m_fake->record<Konfig_Section_t>(10, 500).SerialNo, magnet.serial);
    send(16, ident);
    QTRY_VERIFY_WITH_TIMEOUT(reg(send(3, be16(52) + be16(2)).data, 0) != STATE_BUSY, 2000);
    QCOMPARE(reg(send(3, be16(52) + be16(2)).data, 0), quint16(STATE_VOID));

    // Serial number of the module at address 77.
    moduleCommand(SET_MOD_SERIAL, 0x0BADCAFE, 77, loose.type);
    bool changed = false;
    for (const FakeLineModule &m : m_fake->lineModules())
        changed = changed || (m.lineAddr == 77 && m.serial == 0x0BADCAFE);
    QVERIFY(changed);
}

void TestFakeController::injections_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("param");
    QTest::addColumn<int>("expectError");
    QTest::addColumn<int>("expectCode");
    QTest::addColumn<int>("expectDataSize"); // -1: not checked
    // Sensor page of 2 records: reply data = 3 + 32 bytes.
    QTest::newRow("exception 2") << int(FakeInjection::Exception) << 2 << int(QModbusDevice::ProtocolError) << 2 << -1;
    QTest::newRow("exception 0x83") << int(FakeInjection::Exception) << 0x83 << int(QModbusDevice::ProtocolError) << 0x83 << -1;
    // Qt cannot parse an exception without its code: an error with an empty result.
    QTest::newRow("exception without code") << int(FakeInjection::Exception) << -1 << int(QModbusDevice::UnknownError) << -1 << 0;
    QTest::newRow("short by 5") << int(FakeInjection::ShortReply) << 5 << int(QModbusDevice::NoError) << 0 << 30;
    QTest::newRow("long by a record") << int(FakeInjection::LongReply) << 0 << int(QModbusDevice::NoError) << 0 << 51;
    QTest::newRow("delay 100") << int(FakeInjection::Delay) << 100 << int(QModbusDevice::NoError) << 0 << 35;
}

void TestFakeController::injections()
{
    QFETCH(int, kind);
    QFETCH(int, param);
    QFETCH(int, expectError);
    QFETCH(int, expectCode);
    QFETCH(int, expectDataSize);
    FakeInjection inj;
    inj.kind = FakeInjection::Kind(kind);
    inj.param = param;
    inj.function = 20;
    inj.file = 10;
    inj.record = 2;
    inj.skip = 1;
    m_fake->addInjection(inj);
    const QByteArray req = readFilePayload({readSub(10, 2, 16)});
    // The first matching request passes (skip 1), a different record never matches.
    QCOMPARE(send(20, readFilePayload({readSub(10, 4, 16)})).data.size(), 35);
    QCOMPARE(send(20, req).data.size(), 35);
    QElapsedTimer t;
    t.start();
    const Answer a = send(20, req);
    QCOMPARE(int(a.error), expectError);
    if (expectError == QModbusDevice::ProtocolError && expectCode >= 0) {
        QVERIFY(a.exception);
        QCOMPARE(a.exceptionCode & 0xFF, expectCode);
    }
    if (expectDataSize == 0)
        QVERIFY(a.data.isEmpty());
    if (expectDataSize > 0) {
        QCOMPARE(a.data.size(), expectDataSize);
        QCOMPARE(int(quint8(a.data.at(0))), expectDataSize - 1);
        QCOMPARE(int(quint8(a.data.at(1))), expectDataSize - 2);
        QCOMPARE(a.data.mid(3, 16), m_fake->recordBytes(10, 2));
    }
    if (kind == FakeInjection::Delay)
        QVERIFY(t.elapsed() >= 90);
    QCOMPARE(m_fake->requestLog().last().injection, kind);
    // Used up: the next one is normal.
    QCOMPARE(send(20, req).data.size(), 35);

    if (kind == FakeInjection::Exception && param == 2) {
        // Persistent injection until cleared; an empty reply arrives with no data.
        m_fake->addInjection(FakeInjection::make(FakeInjection::EmptyReply, 3, -1));
        for (int i = 0; i < 3; ++i) {
            const Answer e = send(3, be16(0) + be16(1));
            QVERIFY(e.data.isEmpty());
        }
        m_fake->clearInjections();
        QCOMPARE(send(3, be16(0) + be16(1)).data.size(), 3);
    }
}

void TestFakeController::injectionSilenceAndClose()
{
    // Silence: the request is lost and has no effect.
    m_fake->addInjection(FakeInjection::make(FakeInjection::Silence, 6));
    QCOMPARE(send(6, be16(25) + be16(4)).error, QModbusDevice::TimeoutError);
    QCOMPARE(int(m_fake->holdingRegister(25)), 2);
    // Silence with effect: only the reply is lost.
    m_fake->addInjection(FakeInjection::make(FakeInjection::Silence, 6, 1, 1));
    QCOMPARE(send(6, be16(25) + be16(4)).error, QModbusDevice::TimeoutError);
    QCOMPARE(int(m_fake->holdingRegister(25)), 4);

    // Closed socket.
    m_fake->addInjection(FakeInjection::make(FakeInjection::CloseSocket, 3));
    send(3, be16(0) + be16(8));
    QTRY_COMPARE_WITH_TIMEOUT(m_client->state(), QModbusDevice::UnconnectedState, 3000);
    QVERIFY(connectClient());
    QCOMPARE(send(3, be16(0) + be16(8)).error, QModbusDevice::NoError);

    // Refused connections for a while.
    m_fake->refuseConnections(1500);
    m_fake->dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(m_client->state(), QModbusDevice::UnconnectedState, 3000);
    QVERIFY(!connectClient());
    QTRY_VERIFY_WITH_TIMEOUT(connectClient(), 5000);
    QCOMPARE(m_server->acceptedCount(), 3);
}

void TestFakeController::requestLog()
{
    QSignalSpy spy(m_fake.get(), &FakeController::requestReceived);
    send(16, be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(SET_KONF_SECT) + be16(7) + be16(9));
    send(20, readFilePayload({readSub(3, 0, 16), readSub(8, 0, 4)}));
    send(5, be16(1) + be16(0xFF00));
    QCOMPARE(spy.count(), 3);
    const FakeRequest w = spy.at(0).at(0).value<FakeRequest>();
    QCOMPARE(w.function, 16);
    QCOMPARE(w.address, 52);
    QCOMPARE(w.count, 4);
    QCOMPARE(w.values, (QVector<quint16>{0, SET_KONF_SECT, 7, 9}));
    QCOMPARE(w.unitId, 3);
    const FakeRequest r = spy.at(1).at(0).value<FakeRequest>();
    QCOMPARE(r.subs.size(), 2);
    QCOMPARE(r.subs.at(1).file, 8);
    QCOMPARE(r.subs.at(1).length, 4);
    QCOMPARE(r.file(), 3);
    QCOMPARE(r.length(), 16);
    const FakeRequest c = spy.at(2).at(0).value<FakeRequest>();
    QCOMPARE(c.address, 1);
    QCOMPARE(c.values.value(0), quint16(0xFF00));
    QVERIFY(c.timeMs >= r.timeMs && r.timeMs >= w.timeMs);
    QCOMPARE(m_fake->requests(20, 8).size(), 1);
    QCOMPARE(m_fake->requests(20, 10).size(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_fake->addressingMode(), 2000);
}

void TestFakeController::addressChangeAndFlash()
{
    m_fake->setCommandBusyTime(WR_KONF_REG, 10);
    m_fake->setCommandBusyTime(RD_KONF_REG, 10);
    Konfig_Device_t dev = m_fake->record<Konfig_Device_t>(3, 0);
    dev.LineAddr = 12;
    const Answer a = send(21, writeFilePayload(3, 0, FakeController::encode(dev)));
    QCOMPARE(a.error, QModbusDevice::NoError);
    // The controller moves to the new address at once.
    QCOMPARE(send(3, be16(7) + be16(1), 3).error, QModbusDevice::TimeoutError);
    QCOMPARE(reg(send(3, be16(7) + be16(1), 12).data, 0), quint16(12));
    // Restoring from flash goes back to 3.
    send(16, be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(RD_KONF_REG) + be16(0) + be16(63), 12);
    QTRY_COMPARE_WITH_TIMEOUT(m_fake->unitId(), 3, 2000);
    // Written and saved: kept over a restart.
    send(21, writeFilePayload(3, 0, FakeController::encode(dev)), 3);
    send(16, be16(52) + be16(4) + QByteArray(1, 8) + be16(0) + be16(WR_KONF_REG) + be16(0) + be16(63), 12);
    QTRY_COMPARE_WITH_TIMEOUT(reg(send(3, be16(52) + be16(2), 12).data, 0), quint16(STATE_REDY), 2000);
    m_fake->setRestartDelays(0, 100);
    QSignalSpy restarted(m_fake.get(), &FakeController::restarted);
    m_fake->restartNow();
    QVERIFY(restarted.wait(2000));
    QCOMPARE(m_fake->unitId(), 12);
}

void TestFakeController::rtuFraming()
{
    FakeRtuLine line(m_fake.get());
    QVERIFY2(line.start(), qPrintable(line.errorText()));
    QVERIFY(line.clientPortName().startsWith(QLatin1String("/dev/")));
    QModbusRtuSerialMaster master;
    master.setConnectionParameter(QModbusDevice::SerialPortNameParameter, line.clientPortName());
    master.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, 115200);
    master.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, 8);
    master.setConnectionParameter(QModbusDevice::SerialParityParameter, 0);
    master.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, 2);
    master.setTimeout(300);
    master.setNumberOfRetries(0);
    QVERIFY(master.connectDevice());
    QTRY_COMPARE_WITH_TIMEOUT(master.state(), QModbusDevice::ConnectedState, 3000);

    Answer a = send(&master, 3, be16(0) + be16(8));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(reg(a.data, 7), quint16(3));
    a = send(&master, 20, readFilePayload({readSub(10, 0, 120)}));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(a.data.mid(3), m_fake->recordBytes(10, 0, 15));
    a = send(&master, 7, QByteArray());
    QCOMPARE(a.data.size(), 1);
    a = send(&master, 21, writeFilePayload(10, 3, QByteArray(16, char(0x42))));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(m_fake->recordBytes(10, 3), QByteArray(16, char(0x42)));
    m_fake->addInjection(FakeInjection::exception(6, 3));
    a = send(&master, 3, be16(0) + be16(1));
    QCOMPARE(a.exceptionCode, 6);
    // Another line address: silence.
    a = send(&master, 3, be16(0) + be16(1), 5);
    QCOMPARE(a.error, QModbusDevice::TimeoutError);
    QCOMPARE(line.server()->crcErrors(), 0);

    // The program closes and reopens its port around a controller restart.
    m_fake->setRestartDelays(0, 200);
    m_fake->restartNow();
    QTest::qWait(50);
    QCOMPARE(send(&master, 3, be16(0) + be16(1)).error, QModbusDevice::TimeoutError);
    master.disconnectDevice();
    QTRY_COMPARE_WITH_TIMEOUT(master.state(), QModbusDevice::UnconnectedState, 3000);
    QTest::qWait(300);
    QVERIFY(master.connectDevice());
    QTRY_COMPARE_WITH_TIMEOUT(master.state(), QModbusDevice::ConnectedState, 3000);
    a = send(&master, 1, be16(10) + be16(1));
    QCOMPARE(a.error, QModbusDevice::NoError);
    QCOMPARE(a.data.toHex(), QByteArray("0101"));
    master.disconnectDevice();
}

QTEST_GUILESS_MAIN(TestFakeController)
#include "tst_fakecontroller.moc"
