// Broken or hostile controllers, over Modbus TCP and RTU: whatever a reply
// looks like, the operation ends within a bound with a clean failure and
// never with a success, and a read with such a step is incomplete and no
// source for a write. tst_linkrecovery holds the good outcomes.

#include "peertestsupport.h"

using namespace LantrelProtocol;
using namespace ClientTest;
using namespace PeerTest;

Q_DECLARE_METATYPE(FakeInjection)

namespace {

enum Operation { Read, Write, SaveToFlash, RestoreFromFlash, Connect, Monitor };

FakeInjection onCommandWrite(FakeInjection::Kind kind)
{
    FakeInjection inj = FakeInjection::make(kind, 16);
    inj.address = 52;
    return inj;
}

// Every reply to this poll of the monitoring cycle comes back wrong.
FakeInjection onPoll(FakeInjection::Kind kind, int function, int file = -1, int address = -1)
{
    FakeInjection inj = FakeInjection::make(kind, function, -1);
    inj.file = file;
    inj.address = address;
    return inj;
}

const char brokenPollReason[] = "Ответы ЦУ-Л на запросы опроса не соответствуют запросам";

// The transport's response time-out where time-outs end the operation, and
// where no time-out is expected at all.
const int QuickResponseMs = 300;
const int PatientResponseMs = 5000;
const int BusyLimitMs = 1000;

} // namespace

class TestHostilePeer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void brokenReplies_data();
    void brokenReplies();

private:
    QTemporaryDir m_dir;
};

void TestHostilePeer::initTestCase()
{
    setUpQuietEnvironment(m_dir, this);
    registerMetaTypes();
}

void TestHostilePeer::init()
{
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), false);
    appSettings->sync();
}

void TestHostilePeer::brokenReplies_data()
{
    QTest::addColumn<int>("transport");
    QTest::addColumn<int>("operation");
    QTest::addColumn<FakeInjection>("fault");
    QTest::addColumn<int>("responseMs");   // the transport's response time-out
    QTest::addColumn<int>("boundMs");

    using I = FakeInjection;
    // Bounds are several times the work on a quiet machine. Where the
    // driver's time-outs are what ends the operation they are short; where
    // they are not, long, so that a loaded machine does not add any.
    const int quick = QuickResponseMs;
    const int patient = PatientResponseMs;
    const int rtuTimeouts = 2000;
    // Frames Qt waits on for ever: three watchdog time-outs close the link.
    QTest::newRow("TCP cut frame") << int(Tcp) << int(Read) << onSensorPage(I::CutFrame, -1) << quick << 30000;
    QTest::newRow("TCP length field too large") << int(Tcp) << int(Read) << onSensorPage(I::OverstatedLength, -1)
                                                << quick << 30000;
    QTest::newRow("TCP wrong function") << int(Tcp) << int(Read) << onSensorPage(I::WrongFunction, 1) << patient
                                        << 15000;
    QTest::newRow("TCP fewer records") << int(Tcp) << int(Read) << onSensorPage(I::ShortReply, 1, 16) << patient
                                       << 15000;
    QTest::newRow("TCP reply for another unit") << int(Tcp) << int(Read) << onSensorPage(I::ForeignUnit, 1)
                                                << patient << 15000;
    FakeInjection tableEcho = I::make(I::CorruptEcho, 21);
    tableEcho.file = 11;
    QTest::newRow("TCP corrupted echo of a table write") << int(Tcp) << int(Write) << tableEcho << patient << 15000;
    QTest::newRow("TCP corrupted echo of the flash save") << int(Tcp) << int(SaveToFlash)
                                                          << onCommandWrite(I::CorruptEcho) << patient << 15000;
    QTest::newRow("TCP command acknowledged, never run") << int(Tcp) << int(RestoreFromFlash)
                                                         << onCommandWrite(I::AckWithoutEffect) << patient << 15000;
    // Monitoring polls answered wrongly for ever: the link is closed with
    // the reason once three wrong replies come in a row.
    QTest::newRow("TCP event count with another function") << int(Tcp) << int(Monitor)
                                                           << onPoll(I::WrongFunction, 7) << patient << 15000;
    QTest::newRow("TCP event count without data") << int(Tcp) << int(Monitor) << onPoll(I::EmptyReply, 7)
                                                  << patient << 15000;
    QTest::newRow("TCP events with another function") << int(Tcp) << int(Monitor)
                                                      << onPoll(I::WrongFunction, 20, 6) << patient << 15000;
    QTest::newRow("TCP status block with another function") << int(Tcp) << int(Monitor)
                                                            << onPoll(I::WrongFunction, 3, -1, 22) << patient
                                                            << 15000;
    QTest::newRow("TCP sensor states with another function") << int(Tcp) << int(Monitor)
                                                             << onPoll(I::WrongFunction, 20, 9) << patient << 20000;
    QTest::newRow("TCP samples with another function") << int(Tcp) << int(Monitor)
                                                       << onPoll(I::WrongFunction, 20, 23) << patient << 20000;
    QTest::newRow("TCP I/O module states with another function") << int(Tcp) << int(Monitor)
                                                                 << onPoll(I::WrongFunction, 20, 14) << patient
                                                                 << 20000;
    QTest::newRow("TCP line-protection states with another function")
            << int(Tcp) << int(Monitor) << onPoll(I::WrongFunction, 20, 19) << patient << 20000;
    // The infrared step waits 3 s between tries, as the controller needs.
    QTest::newRow("TCP voltage command with another function") << int(Tcp) << int(Monitor)
                                                               << onPoll(I::WrongFunction, 16, -1, 52) << patient
                                                               << 40000;
    QTest::newRow("TCP voltage command state with another function")
            << int(Tcp) << int(Monitor) << onPoll(I::WrongFunction, 3, -1, 52) << patient << 15000;
    QTest::newRow("TCP voltages with another function") << int(Tcp) << int(Monitor)
                                                        << onPoll(I::WrongFunction, 20, 26) << patient << 80000;
    // Qt's RTU master takes a frame of another function for no reply at all.
    // The whole configuration is read over this link first: its time-outs
    // may not be short.
    QTest::newRow("RTU status block with another function") << int(Rtu) << int(Monitor)
                                                            << onPoll(I::WrongFunction, 3, -1, 22) << rtuTimeouts
                                                            << 60000;
    QTest::newRow("RTU event count with another function") << int(Rtu) << int(Monitor)
                                                           << onPoll(I::WrongFunction, 7) << rtuTimeouts << 60000;
    FakeInjection busy = I::exception(6, 3, -1);
    busy.address = 0;
    QTest::newRow("TCP busy for ever on the identity read") << int(Tcp) << int(Connect) << busy << patient
                                                            << 20000;
    QTest::newRow("RTU fewer records") << int(Rtu) << int(Read) << onSensorPage(I::ShortReply, 1, 16) << patient
                                       << 15000;
    QTest::newRow("RTU corrupted echo of a table write") << int(Rtu) << int(Write) << tableEcho << patient
                                                         << 15000;
}

void TestHostilePeer::brokenReplies()
{
    QFETCH(int, transport);
    QFETCH(int, operation);
    QFETCH(FakeInjection, fault);
    QFETCH(int, responseMs);
    QFETCH(int, boundMs);
    appSettings->setValue(QStringLiteral("Driver/ResponseTimeout"), responseMs);
    appSettings->setValue(QStringLiteral("Driver/BusyTimeLimit"), BusyLimitMs);
    appSettings->sync();

    Peer peer;
    QSignalSpy connected(&peer.client, &LantrelClient::deviceConnected);
    QSignalSpy stopped(&peer.client, &LantrelClient::driverStopped);
    QSignalSpy steps(&peer.client, &LantrelClient::taskCompleted);
    QSignalSpy errors(&peer.client, &LantrelClient::clientError);
    QElapsedTimer clock;

    if (operation == Connect) {
        peer.fake.addInjection(fault);
        clock.start();
        QVERIFY(peer.startConnection(transport));
        QVERIFY(waitFor([&]() { return !stopped.isEmpty(); }, boundMs));
        QVERIFY(connected.isEmpty());
        // Given up by the busy time limit, in words that say so.
        QCOMPARE(peer.client.lastLinkError(),
                 QStringLiteral("ЦУ-Л отвечает, но остаётся занятым: запрос идентификации не выполнен за 1 с"));
        QVERIFY2(clock.elapsed() >= BusyLimitMs, qPrintable(QString::number(clock.elapsed())));
        return;
    }

    if (operation == Monitor) {
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
        appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), true);
        appSettings->sync();
        // Enough new events that every cycle asks for some.
        peer.fake.addEvents(250);
    }
    QVERIFY(peer.connect(transport));
    if (operation == Monitor) {
        // The module pages and the voltages are polled once the tables are known.
        QVERIFY(peer.read(steps, LongWaitMs));
        QCOMPARE(failedSteps(steps), 0);
        steps.clear();
        if (fault.function == 16 || fault.file == 26 || (fault.function == 3 && fault.address == 52))
            peer.client.setVoltageMeasurementMode(true);
    }
    if (operation == Write) {
        QVERIFY(peer.read(steps, LongWaitMs));
        QCOMPARE(failedSteps(steps), 0);
        steps.clear();
    }
    // A freshly started controller: nothing has run in the command block.
    peer.fake.setCommandState(STATE_VOID);
    peer.fake.addInjection(fault);
    peer.fake.clearLog();
    clock.start();

    switch (operation) {
    case Read: {
        QVERIFY(peer.read(steps, boundMs));
        QVERIFY(failedSteps(steps) >= 1);
        QVERIFY(!peer.client.datasetComplete());
        if (!peer.client.hasDriver())
            break;   // the link was closed: nothing to write to
        // What was read is no source for a write.
        peer.fake.clearLog();
        errors.clear();
        peer.client.writeConfiguration();
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.first().first().toString().contains(QStringLiteral("прочитана не полностью")));
        QTest::qWait(100);
        QVERIFY(peer.fake.requests(21).isEmpty());
        break;
    }
    case Write: {
        QSignalSpy finished(&peer.client, &LantrelClient::writeFinished);
        peer.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return !finished.isEmpty(); }, boundMs));
        QCOMPARE(failedSteps(steps), 1);
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.first().first().toString().startsWith(QStringLiteral("В процессе передачи данных в ЦУ-Л были ошибки")));
        break;
    }
    case SaveToFlash:
    case RestoreFromFlash:
        if (operation == SaveToFlash)
            peer.client.saveConfigToFlash();
        else
            peer.client.restoreConfigFromFlash();
        QVERIFY(waitFor([&]() { return !steps.isEmpty(); }, boundMs));
        QCOMPARE(failedSteps(steps), 1);
        QCOMPARE(errors.count(), 1);
        break;
    case Monitor: {
        // The status block goes on meanwhile unless it is the poll at fault.
        QSignalSpy power(&peer.client, &LantrelClient::powerStatusChanged);
        QSignalSpy lost(&peer.client, &LantrelClient::deviceDisconnected);
        // Over TCP good replies to the other polls come between the wrong
        // ones, which are then never three in a row and leave the link as it
        // is; only the voltage command's state is asked again at once.
        if (transport == Tcp && !(fault.function == 3 && fault.address == 52)) {
            const auto wrongReplies = [&peer, &fault]() {
                int n = 0;
                for (const FakeRequest &r : peer.fake.requestLog())
                    n += r.injection == fault.kind ? 1 : 0;
                return n;
            };
            QVERIFY(waitFor([&]() { return wrongReplies() >= 4; }, boundMs));
            QCOMPARE(lost.count(), 0);
            QVERIFY(peer.client.isConnected());
            break;
        }
        QVERIFY(waitFor([&]() { return !stopped.isEmpty(); }, boundMs));
        QCOMPARE(lost.count(), 1);
        QCOMPARE(peer.client.lastLinkError(), transport == Rtu ? QStringLiteral("Устройство не отвечает на запросы")
                                                               : QString::fromUtf8(brokenPollReason));
        QVERIFY(!peer.client.isConnected());
        if (transport == Tcp && (fault.function == 7 || fault.file == 6))
            QVERIFY2(power.count() >= 2, qPrintable(QString::number(power.count())));
        break;
    }
    default:
        QFAIL("no such operation");
    }
    QVERIFY2(clock.elapsed() <= boundMs, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestHostilePeer)
#include "tst_hostilepeer.moc"
