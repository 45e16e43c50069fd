// Driver core against the fake line controller: connection and
// identification, the request queue and its groups, reply classification,
// time-outs, link loss, the packet log, a worker thread and RTU.

#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include "drivertestsupport.h"
#include "fakertuserver.h"
#include "ptypair.h"

using namespace LantrelProtocol;
using namespace DriverTest;

class TestLantrelDriver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void connectAndIdentify_data();
    void connectAndIdentify();
    void connectionRefused();
    void exceptionReplies_data();
    void exceptionReplies();
    void busyExceptionLimit();
    void emptyReplyFailsItem();
    void threeTimeoutsCloseLink();
    void droppedConnection();
    void timeoutRevertsPendingAddress();
    void packetLog_data();
    void packetLog();
    void packetLogReplyWords_data();
    void packetLogReplyWords();
    void packetLogOff();
    void settingsTakenAtConstruction();
    void stopTwice();
    void runsInWorkerThread();
    void rtuLink();

private:
    QTemporaryDir m_dir;
};

void TestLantrelDriver::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    setUpEnvironment(m_dir);
}

void TestLantrelDriver::init()
{
    resetDriverSettings();
}

void TestLantrelDriver::cleanupTestCase()
{
    tearDownEnvironment();
}

void TestLantrelDriver::connectAndIdentify_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<QDate>("fwDate");
    QTest::addColumn<bool>("announced");

    QTest::newRow("line controller") << 7 << QDate(2022, 10, 31) << true;
    QTest::newRow("impossible firmware date") << 7 << QDate() << true;
    QTest::newRow("line-protection module answers") << 5 << QDate(2022, 10, 31) << false;
}

void TestLantrelDriver::connectAndIdentify()
{
    QFETCH(int, deviceType);
    QFETCH(QDate, fwDate);
    QFETCH(bool, announced);

    TcpFixture f;
    QVERIFY(f.listening);
    f.fake.setIdentity(2023, 1234, quint16(deviceType), 258, 773, QDate(2022, 10, 31));
    if (!fwDate.isValid())
        f.fake.overrideRegister(5, 0x0D20); // month 13, day 32
    LantrelDriver *d = f.makeDriver();

    QSignalSpy started(d, &LantrelDriver::started);
    QSignalSpy connected(d, &LantrelDriver::connected);
    QSignalSpy info(d, &LantrelDriver::controllerInfo);
    QSignalSpy status(d, &LantrelDriver::controllerStatus);
    QSignalSpy line(d, &LantrelDriver::lineStatus);
    QSignalSpy clock(d, &LantrelDriver::controllerDateTime);
    QSignalSpy ip(d, &LantrelDriver::deviceIpChanged);
    QSignalSpy log(d, &LantrelDriver::writeToLog);

    QSignalSpy linkError(d, &LantrelDriver::linkError);
    QSignalSpy finished(d, &LantrelDriver::finished);

    d->start();
    QCOMPARE(started.count(), 1);
    if (!announced) {
        // Another kind of device: the attempt ends, saying why.
        QVERIFY(waitForCount(finished, 1, 5000));
        QCOMPARE(connected.count(), 0);
        QCOMPARE(info.count(), 0);
        QCOMPARE(linkError.count(), 1);
        QCOMPARE(linkError.at(0).at(0).toString(),
                 QStringLiteral("Устройство с линейным адресом 3 не является ЦУ-Л (тип устройства 5)"));
        return;
    }
    QVERIFY(waitForCount(clock, 1, 5000));

    QCOMPARE(ip.count(), 1);
    QCOMPARE(ip.at(0).at(0).toUInt(), QHostAddress(QStringLiteral("127.0.0.1")).toIPv4Address());
    QVERIFY(texts(log).contains(QStringLiteral("Установлено соединение с хостом 127.0.0.1")));

    // The first two requests: identity registers, then the clock file.
    const QList<FakeRequest> reqs = f.fake.requestLog();
    QVERIFY(reqs.size() >= 2);
    QCOMPARE(reqs.at(0).function, 3);
    QCOMPARE(reqs.at(0).unitId, 3);
    QCOMPARE(reqs.at(0).data, QByteArray::fromHex("00000008"));
    QCOMPARE(reqs.at(1).function, 20);
    QCOMPARE(reqs.at(1).data, QByteArray::fromHex("07060001000000" "04"));

    QCOMPARE(connected.count(), 1);
    QCOMPARE(info.count(), 1);
    const auto dev = info.at(0).at(0).value<Info_Device_t>();
    QCOMPARE(dev.ProdYear, quint16(2023));
    QCOMPARE(dev.SerialNo, quint16(1234));
    QCOMPARE(dev.DeviceType, quint32(7));
    QCOMPARE(dev.PCBVer, quint16(258));
    QCOMPARE(dev.FwVer, quint16(773));
    QCOMPARE(info.at(0).at(1).value<ushort>(), ushort(3));
    QCOMPARE(info.at(0).at(2).toDate(), fwDate);
    QCOMPARE(info.at(0).at(2).toDate().isValid(), fwDate.isValid());
    // The status records are reset once the controller is announced.
    QCOMPARE(status.count(), 1);
    QVERIFY(status.at(0).at(0).value<Status_Device_t>() == Status_Device_t());
    QCOMPARE(line.count(), 1);
    QVERIFY(line.at(0).at(0).value<Status_Line_t>() == Status_Line_t());

    // A later identity read only reports the identity.
    d->getControllerInfo();
    QVERIFY(waitForCount(info, 2, 5000));
    QTest::qWait(20);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(status.count(), 1);
    QCOMPARE(line.count(), 1);
}

void TestLantrelDriver::connectionRefused()
{
    // Nothing listens: the link never comes up.
    LantrelDriver *d = new LantrelDriver(0, QStringLiteral("127.0.0.1"), 3);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);
    QSignalSpy finished(d, &LantrelDriver::finished);
    QSignalSpy connected(d, &LantrelDriver::connected);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    d->start();
    QVERIFY(finished.wait(5000));
    QTest::qWait(100);
    QCOMPARE(connected.count(), 0);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(finished.count(), 1);
    QVERIFY2(texts(log).contains(QStringLiteral("Не удалось установить соединение с хостом 127.0.0.1")),
             qPrintable(texts(log).join('\n')));
    // Qt's "TCP socket error (Connection refused)." in the program's words.
    QVERIFY2(texts(log).contains(QStringLiteral("Ошибка связи с ЦУ-Л. Код ошибки 3. Соединение отклонено")),
             qPrintable(texts(log).join('\n')));
    stopAndDelete(d);
}

void TestLantrelDriver::exceptionReplies_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("pageFails");

    // Codes 0 to 3 and 128 to 255 fail the request; 4 to 127 mean
    // "busy, try again".
    QTest::newRow("illegal address (2)") << 2 << true;
    QTest::newRow("illegal data value (3)") << 3 << true;
    QTest::newRow("code byte 0x83") << 0x83 << true;
    QTest::newRow("busy (6)") << 6 << false;
    QTest::newRow("device failure (4)") << 4 << false;
    // Asked again, as after a busy answer.
    QTest::newRow("exception without a code") << -1 << false;
}

void TestLantrelDriver::exceptionReplies()
{
    QFETCH(int, code);
    QFETCH(bool, pageFails);

    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    // Third page of the sensor table (records 30 to 44).
    FakeInjection inj = FakeInjection::exception(code, 20);
    inj.file = 10;
    inj.record = 30;
    f.fake.addInjection(inj);

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy pages(d, &LantrelDriver::sensorConfig);
    f.fake.clearLog();
    d->getSensorsConfig();
    QVERIFY(waitForCount(read, 34, 10000));
    QTest::qWait(50);

    QCOMPARE(read.count(), 34);
    QCOMPARE(countValue(read, false), pageFails ? 1 : 0);
    QCOMPARE(pages.count(), pageFails ? 33 : 34);
    for (const QList<QVariant> &args : pages)
        QVERIFY(!(pageFails && args.at(0).value<ushort>() == 30));

    int asked = 0;
    for (const FakeRequest &r : f.fake.requests(20, 10))
        asked += r.record() == 30 ? 1 : 0;
    QCOMPARE(asked, pageFails ? 1 : 2);
}

void TestLantrelDriver::busyExceptionLimit()
{
    // A controller that stays busy is given up by time, not by a count.
    const int limitMs = 600;
    setDriverSetting(QStringLiteral("BusyTimeLimit"), limitMs);
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    FakeInjection busy = FakeInjection::exception(6, 20, -1);
    busy.file = 8;
    f.fake.addInjection(busy);
    f.fake.clearLog();

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy lines(d, &LantrelDriver::lineConfig);
    QSignalSpy lineStates(d, &LantrelDriver::lineStatus);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    d->getLineConfig();
    d->getLineStatus();
    QVERIFY(waitForCount(read, 1, 30000));
    QVERIFY(waitForCount(lineStates, 1, 3000));

    // Tries of the busy item at least 20 ms apart for the time limit; then
    // it fails and the next operation, no transfer of the configuration,
    // goes ahead.
    const QList<FakeRequest> tries = f.fake.requests(20, 8);
    QVERIFY2(tries.size() >= 2 && tries.size() < 500, qPrintable(QString::number(tries.size())));
    qint64 minGap = std::numeric_limits<qint64>::max();
    for (int i = 1; i < tries.size(); ++i)
        minGap = qMin(minGap, tries.at(i).timeMs - tries.at(i - 1).timeMs);
    QVERIFY2(minGap >= 20, qPrintable(QString::number(minGap)));
    const qint64 span = tries.last().timeMs - tries.first().timeMs;
    QVERIFY2(span >= limitMs - 100, qPrintable(QString::number(span)));
    QCOMPARE(read.count(), 1);
    QCOMPARE(read.at(0).at(0).toBool(), false);
    QCOMPARE(lines.count(), 0);
    QVERIFY2(texts(log).contains(QStringLiteral("ЦУ-Л отвечает, но остаётся занятым: запрос не выполнен за 0,6 с")),
             qPrintable(texts(log).join('\n')));
}

void TestLantrelDriver::emptyReplyFailsItem()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    FakeInjection inj = FakeInjection::make(FakeInjection::EmptyReply, 20);
    inj.file = 8;
    f.fake.addInjection(inj);

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy lines(d, &LantrelDriver::lineConfig);
    d->getLineConfig();
    d->getLineConfig();
    QVERIFY(waitForCount(read, 2, 5000));
    QCOMPARE(read.at(0).at(0).toBool(), false);
    QCOMPARE(read.at(1).at(0).toBool(), true);
    QCOMPARE(lines.count(), 1);
}

void TestLantrelDriver::threeTimeoutsCloseLink()
{
    QStringList order;
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    connect(d, &LantrelDriver::readCompleted, this, [&order](bool ok) { order << (ok ? "read+" : "read-"); });
    connect(d, &LantrelDriver::writeCompleted, this, [&order](bool ok) { order << (ok ? "write+" : "write-"); });
    connect(d, &LantrelDriver::disconnected, this, [&order]() { order << "disconnected"; });
    connect(d, &LantrelDriver::finished, this, [&order]() { order << "finished"; });
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    QSignalSpy finished(d, &LantrelDriver::finished);

    f.fake.addInjection(FakeInjection::make(FakeInjection::Silence, 20, -1));
    d->getControllerConfig();               // times out three times
    d->getIoModulesConfig();                // 7 items that never go out
    Konfig_Line_t line;
    d->setLineConfig(line);                 // one write behind them
    d->setControllerClock();                // a group without completion signals

    QVERIFY(finished.wait(15000));
    QTest::qWait(50);

    QStringList expected;
    for (int i = 0; i < 8; ++i)
        expected << "read-";
    expected << "write-" << "disconnected" << "finished";
    QCOMPARE(order, expected);
    const QStringList lines = texts(log);
    QVERIFY(lines.contains(QStringLiteral("Устройство не отвечает на запросы, превышен допустимый лимит повторов")));
    QVERIFY(lines.contains(QStringLiteral("Прервано соединение с хостом 127.0.0.1")));
    // Only the head item went out (with the transport's own retry).
    QVERIFY(f.fake.requests(20, 15).isEmpty());
    QVERIFY(f.fake.requests(21).isEmpty());
}

void TestLantrelDriver::droppedConnection()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);
    QSignalSpy finished(d, &LantrelDriver::finished);
    QSignalSpy log(d, &LantrelDriver::writeToLog);

    // The link drops while the fourth page is on the wire.
    FakeInjection slow = FakeInjection::make(FakeInjection::Delay, 20, 1, 1000);
    slow.file = 15;
    slow.record = 45;
    f.fake.addInjection(slow);
    connect(&f.fake, &FakeController::requestReceived, this, [&f](const FakeRequest &r) {
        if (r.function == 20 && r.file() == 15 && r.record() == 45)
            QTimer::singleShot(50, &f.fake, [&f]() { f.fake.dropConnections(); });
    });
    d->getIoModulesConfig();

    QVERIFY(finished.wait(5000));
    QTest::qWait(50);
    QCOMPARE(read.count(), 7);
    QCOMPARE(countValue(read, true), 3);
    QCOMPARE(countValue(read, false), 4);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(finished.count(), 1);
    QVERIFY(texts(log).contains(QStringLiteral("Прервано соединение с хостом 127.0.0.1")));
}

void TestLantrelDriver::timeoutRevertsPendingAddress()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    QSignalSpy address(d, &LantrelDriver::deviceAddressChanged);
    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);

    // New line address 9 and a new IPv4 address, not saved to flash.
    sendNewAddress(d, f.fake, 9, QStringLiteral("127.0.0.9"));
    QVERIFY(waitForCount(write, 1, 5000));
    QCOMPARE(write.at(0).at(0).toBool(), true);
    QCOMPARE(address.count(), 1);
    QCOMPARE(address.at(0).at(0).toInt(), 9);

    // The controller did not take the address: requests to 9 time out once,
    // then the driver goes back to 3 without counting the time-out.
    f.fake.setUnitId(3);
    f.fake.clearLog();
    d->getLineConfig();
    QVERIFY(waitForCount(read, 1, 8000));
    QCOMPARE(read.at(0).at(0).toBool(), true);
    QCOMPARE(address.count(), 2);
    QCOMPARE(address.at(1).at(0).toInt(), 3);
    QCOMPARE(disconnected.count(), 0);
    const QList<FakeRequest> log = f.fake.requestLog();
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.first().unitId, 9);
    QCOMPARE(log.last().unitId, 3);
    QVERIFY(log.last().answered);
}

void TestLantrelDriver::packetLog_data()
{
    QTest::addColumn<bool>("timestamp");
    QTest::addColumn<bool>("msec");
    QTest::addColumn<QString>("timePattern");

    QTest::newRow("time with milliseconds") << true << true
                                            << QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\t");
    QTest::newRow("time in seconds") << true << false
                                     << QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\t");
    QTest::newRow("no time") << false << true << QString();
}

void TestLantrelDriver::packetLog()
{
    QFETCH(bool, timestamp);
    QFETCH(bool, msec);
    QFETCH(QString, timePattern);

    const QString path = appDataPath + QStringLiteral("/Logs/lantrelprog_debug.log");
    QFile::remove(path);
    setDriverSetting(QStringLiteral("EnableDebugLog"), true);
    setDriverSetting(QStringLiteral("DebugTimestamp"), timestamp);
    setDriverSetting(QStringLiteral("TimestampMSec"), msec);

    TcpFixture f;
    QVERIFY(f.listening);
    LantrelDriver *d = f.makeDriver();
    QSignalSpy packets(d, &LantrelDriver::capturedPacket);
    QSignalSpy clock(d, &LantrelDriver::controllerDateTime);
    QVERIFY(startAndConnect(d));
    QVERIFY(waitForCount(clock, 1, 5000));

    // A busy exception, an illegal address and a time-out on line reads.
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    FakeInjection busy = FakeInjection::exception(6, 20);
    busy.file = 8;
    f.fake.addInjection(busy);
    d->getLineConfig();
    QVERIFY(waitForCount(read, 1, 5000));
    FakeInjection illegal = FakeInjection::exception(2, 20);
    illegal.file = 8;
    f.fake.addInjection(illegal);
    d->getLineConfig();
    QVERIFY(waitForCount(read, 2, 5000));
    FakeInjection silent = FakeInjection::make(FakeInjection::Silence, 20, 2);
    silent.file = 8;
    f.fake.addInjection(silent);
    d->getLineConfig();
    QVERIFY(waitForCount(read, 3, 8000));
    stopAndDelete(f.driver);

    const QString ident = QString::fromLatin1(
        QByteArray::fromHex("10").append(QByteArray::fromHex("07E704D2000701020305" "0A1F07E60003"))
            .toHex().toUpper());
    const QString line = QString::fromLatin1(f.fake.fileBytes(8).toHex().toUpper());
    const QStringList expected = {
        QStringLiteral("CMD  TX: 0300000008"),
        QStringLiteral("CMD  RX: 03") + ident,
        QStringLiteral("CMD  TX: 140706000100000004"),
        QString(), // clock reply: its bytes depend on the time
        QStringLiteral("CMD  TX: 140706000800000004"),
        QStringLiteral("CMD  RX: Ответ-исключение Modbus: устройство занято (код 0x06)"),
        QStringLiteral("CMD  TX: 140706000800000004"),
        QStringLiteral("CMD  RX: 140A0906") + line,
        QStringLiteral("CMD  TX: 140706000800000004"),
        QStringLiteral("CMD  RX: Ответ-исключение Modbus: недопустимый адрес данных (код 0x02)"),
        QStringLiteral("CMD  TX: 140706000800000004"),
        QStringLiteral("CMD  RX: Ответ не получен за отведённое время"),
        QStringLiteral("CMD  TX: 140706000800000004"),
        QStringLiteral("CMD  RX: 140A0906") + line,
    };

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList fileLines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(fileLines.size(), expected.size());
    QCOMPARE(packets.count(), expected.size());
    const QRegularExpression timeRe(QStringLiteral("^") + timePattern);
    for (int i = 0; i < expected.size(); ++i) {
        QString text = fileLines.at(i);
        const QRegularExpressionMatch m = timeRe.match(text);
        QVERIFY2(m.hasMatch(), qPrintable(text));
        text = text.mid(m.capturedLength());
        if (!timePattern.isEmpty())
            QVERIFY(!text.contains('\t'));
        QCOMPARE(packets.at(i).at(1).toString(), text);
        if (expected.at(i).isEmpty())
            QVERIFY2(text.startsWith(QStringLiteral("CMD  RX: 140A0906")), qPrintable(text));
        else
            QCOMPARE(text, expected.at(i));
    }
}

void TestLantrelDriver::packetLogReplyWords_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("param");
    // The reply to the line settings read as logged; "%1" stands for its bytes.
    QTest::addColumn<QString>("line");

    QTest::newRow("exception with its code")
        << int(FakeInjection::Exception) << 2
        << QStringLiteral("RX: Ответ-исключение Modbus: недопустимый адрес данных (код 0x02)");
    // Qt takes it for an invalid reply; it is an exception still.
    QTest::newRow("exception without its code")
        << int(FakeInjection::Exception) << -1 << QStringLiteral("RX: Ответ-исключение Modbus без кода");
    QTest::newRow("no reply in time")
        << int(FakeInjection::Silence) << 0 << QStringLiteral("RX: Ответ не получен за отведённое время");
    QTest::newRow("reply of another function")
        << int(FakeInjection::WrongFunction) << 3 << QStringLiteral("RX: %1. Ответ не соответствует запросу");
    QTest::newRow("reply without data")
        << int(FakeInjection::EmptyReply) << 0 << QStringLiteral("RX: Получен некорректный ответ");
    QTest::newRow("reply one byte short")
        << int(FakeInjection::ShortReply) << 1 << QStringLiteral("RX: %1. Ответ не соответствует запросу");
}

void TestLantrelDriver::packetLogReplyWords()
{
    QFETCH(int, kind);
    QFETCH(int, param);
    QFETCH(QString, line);

    setDriverSetting(QStringLiteral("EnableDebugLog"), true);
    setDriverSetting(QStringLiteral("DebugTimestamp"), false);
    // A time-out that does not keep the test waiting.
    setDriverSetting(QStringLiteral("ResponseTimeout"), 200);
    TcpFixture f;
    QVERIFY(f.listening);
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy packets(d, &LantrelDriver::capturedPacket);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    // Twice: Qt sends a request once more after its time-out.
    FakeInjection injection = FakeInjection::make(FakeInjection::Kind(kind), 20, 2, param);
    injection.file = 8;
    f.fake.addInjection(injection);
    d->getLineConfig();
    QVERIFY(read.wait(8000));

    QStringList lines;
    for (const QList<QVariant> &args : packets)
        lines << args.at(1).toString();
    QVERIFY2(lines.size() >= 2, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.at(0), QStringLiteral("CMD  TX: 140706000800000004"));
    const QStringList parts = line.split(QStringLiteral("%1"));
    const QString pattern = QStringLiteral("^CMD  ") + QRegularExpression::escape(parts.first())
                            + (parts.size() > 1 ? QStringLiteral("[0-9A-F]{2,}") + QRegularExpression::escape(parts.last())
                                                : QString())
                            + QStringLiteral("$");
    QVERIFY2(QRegularExpression(pattern).match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
}

void TestLantrelDriver::settingsTakenAtConstruction()
{
    // The driver reads its settings where it is made (the GUI thread, which
    // owns them); what changes before its thread starts it is not seen.
    const QString path = appDataPath + QStringLiteral("/Logs/lantrelprog_debug.log");
    QFile::remove(path);
    setDriverSetting(QStringLiteral("EnableDebugLog"), true);
    setDriverSetting(QStringLiteral("DebugTimestamp"), false);
    TcpFixture f;
    QVERIFY(f.listening);
    LantrelDriver *d = f.makeDriver();
    setDriverSetting(QStringLiteral("DebugTimestamp"), true);
    setDriverSetting(QStringLiteral("EnableMonitoring"), true);
    QVERIFY(startAndConnect(d));
    QTest::qWait(300);
    stopAndDelete(f.driver);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.size() >= 4);
    for (const QString &line : lines)
        QVERIFY2(line.startsWith(QStringLiteral("CMD  ")), qPrintable(line));   // no time, no monitoring
}

void TestLantrelDriver::packetLogOff()
{
    QDir(appDataPath + QStringLiteral("/Logs")).removeRecursively();
    TcpFixture f;
    QVERIFY(f.listening);
    LantrelDriver *d = f.makeDriver();
    QSignalSpy packets(d, &LantrelDriver::capturedPacket);
    QSignalSpy clock(d, &LantrelDriver::controllerDateTime);
    QVERIFY(startAndConnect(d));
    QVERIFY(waitForCount(clock, 1, 5000));
    stopAndDelete(f.driver);
    QCOMPARE(packets.count(), 0);
    QVERIFY(!QDir(appDataPath + QStringLiteral("/Logs")).exists());
}

void TestLantrelDriver::stopTwice()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    QSignalSpy finished(d, &LantrelDriver::finished);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    d->stop();
    d->stop();
    QCOMPARE(finished.count(), 2);
    QCOMPARE(disconnected.count(), 1);
    QVERIFY(texts(log).contains(QStringLiteral("Завершено соединение с хостом 127.0.0.1")));
    QTest::qWait(50); // a stopped driver sends nothing more
    const int requests = f.fake.requestLog().size();
    QTest::qWait(100);
    QCOMPARE(f.fake.requestLog().size(), requests);
}

void TestLantrelDriver::runsInWorkerThread()
{
    TcpFixture f;
    QVERIFY(f.listening);

    // As the client runs it: no parent, moved to a worker thread, started by
    // the thread, every signal queued to the caller's thread.
    auto *thread = new QThread;
    auto *d = new LantrelDriver(0, QStringLiteral("127.0.0.1"), 3);
    d->moveToThread(thread);
    connect(thread, &QThread::started, d, &LantrelDriver::start);
    connect(d, &LantrelDriver::finished, thread, &QThread::quit);

    int connectedCount = 0, readOk = 0, readFailed = 0, finishedCount = 0;
    QByteArray sensors(500 * 16, '\0');
    QObject receiver;
    connect(d, &LantrelDriver::connected, &receiver, [&]() {
        QMetaObject::invokeMethod(d, "getControllerConfig", Qt::QueuedConnection);
        QMetaObject::invokeMethod(d, "getSensorsConfig", Qt::QueuedConnection);
        ++connectedCount;
    });
    connect(d, &LantrelDriver::readCompleted, &receiver, [&](bool ok) { ok ? ++readOk : ++readFailed; });
    connect(d, &LantrelDriver::sensorConfig, &receiver,
            [&](ushort index, QVector<Konfig_Section_t> records) {
                QVERIFY(QThread::currentThread() == qApp->thread());
                const QByteArray bytes = encodeAll(records);
                sensors.replace(index * 16, bytes.size(), bytes);
            });
    connect(d, &LantrelDriver::finished, &receiver, [&]() { ++finishedCount; });

    thread->start();
    QTRY_COMPARE_WITH_TIMEOUT(readOk + readFailed, 35, 15000);
    QCOMPARE(connectedCount, 1);
    QCOMPARE(readFailed, 0);
    QCOMPARE(sensors, f.fake.fileBytes(10).left(500 * 16));

    QMetaObject::invokeMethod(d, "stop", Qt::QueuedConnection);
    // quit() is queued to this thread: keep its event loop running.
    QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 5000);
    QCOMPARE(finishedCount, 1);
    delete d;
    delete thread;
}

void TestLantrelDriver::rtuLink()
{
    PtyPair pair;
    if (!pair.start())
        QFAIL(qPrintable(pair.errorText()));
    FakeController fake;
    fake.loadGeneratedConfiguration(3);
    FakeRtuServer rtu(&fake);
    QVERIFY(rtu.open(pair.second()));

    LantrelDriver *d = new LantrelDriver(1, pair.first(), 3);
    QSignalSpy ip(d, &LantrelDriver::deviceIpChanged);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy modules(d, &LantrelDriver::ioModuleConfig);
    QVERIFY(startAndConnect(d));
    QVERIFY(texts(log).contains(QStringLiteral("Подключен к коммуникационному порту ") + pair.first()));
    QCOMPARE(ip.count(), 0);

    // One table read: every record byte-exact.
    d->getIoModulesConfig();
    QVERIFY(waitForCount(read, 7, 10000));
    QCOMPARE(countValue(read, true), 7);
    QByteArray table;
    for (const QList<QVariant> &args : modules)
        table.append(encodeAll(args.at(1).value<QVector<Konfig_MVV_t>>()));
    QCOMPARE(table, fake.fileBytes(15));

    // One time-out (both tries of the transport) and the request is sent again.
    FakeInjection silent = FakeInjection::make(FakeInjection::Silence, 20, 2);
    silent.file = 8;
    fake.addInjection(silent);
    fake.clearLog();
    QSignalSpy lines(d, &LantrelDriver::lineConfig);
    d->getLineConfig();
    QVERIFY(waitForCount(read, 8, 8000));
    QCOMPARE(read.last().at(0).toBool(), true);
    QCOMPARE(lines.count(), 1);
    QCOMPARE(fake.requests(20, 8).size(), 3);
    QCOMPARE(rtu.crcErrors(), 0);
    stopAndDelete(d);
}

QTEST_GUILESS_MAIN(TestLantrelDriver)
#include "tst_lantreldriver.moc"
