// Command block replies that lack the registers asked for, the end of a
// line-polling stop by a restart or a lost link, and the infrared step once
// the sensors are gone; against the fake line controller.
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "drivertestsupport.h"

using namespace LantrelProtocol;

namespace {

using Rig = DriverTest::CommandRig;
using DriverTest::countRequests;

int fileReads(const QList<FakeRequest> &log, int file)
{
    int n = 0;
    for (const FakeRequest &r : log) {
        if (r.function == 20 && r.file() == file)
            ++n;
    }
    return n;
}

} // namespace

class TestDriverCmdReview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void shortCommandReplies_data();
    void shortCommandReplies();
    void linePollStopInterrupted_data();
    void linePollStopInterrupted();
    void linePollStopWithoutRecord();
    void infraredNeedsSensors();
    void pollPeriods();
    void restartEndsAddressingMode();
    void refusedIdentityCommandWaits();

private:
    QTemporaryDir m_dir;
};

void TestDriverCmdReview::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    DriverTest::setUpEnvironment(m_dir);
}

void TestDriverCmdReview::cleanupTestCase()
{
    DriverTest::tearDownEnvironment();
}

enum ShortCase { PollWithoutResult, ReadyWithoutState };

void TestDriverCmdReview::shortCommandReplies_data()
{
    QTest::addColumn<int>("shortCase");
    QTest::addColumn<int>("writes");
    // the command failed, but the reply carries register 52 only
    QTest::newRow("completion read without register 53") << int(PollWithoutResult) << 1;
    // the block stays busy, but the reply carries no register at all
    QTest::newRow("readiness read without register 52") << int(ReadyWithoutState) << 0;
}

void TestDriverCmdReview::shortCommandReplies()
{
    QFETCH(int, shortCase);
    QFETCH(int, writes);

    Rig rig;
    QVERIFY(rig.start());
    FakeInjection inj = FakeInjection::make(FakeInjection::ShortReply, 3);
    inj.address = 52;
    if (shortCase == PollWithoutResult) {
        rig.fake.setCommandBusyTime(CMD_ONOF_LIN, 0);
        rig.fake.failCommand(CMD_ONOF_LIN, 5);
        inj.skip = 1;       // the readiness read goes through
        inj.param = 6;      // registers 53 to 55 dropped
    } else {
        rig.fake.setCommandState(STATE_BUSY);
        inj.param = 2;      // byte count 0
    }
    rig.fake.addInjection(inj);

    QSignalSpy done(rig.driver.get(), &LantrelDriver::commandCompleted);
    rig.driver->executeCommand(CMD_ONOF_LIN);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    QTest::qWait(200);
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.first().at(0).value<ushort>(), ushort(CMD_ONOF_LIN));
    QCOMPARE(done.first().at(1).toBool(), false);
    QCOMPARE(countRequests(rig.fake.requestLog(), 16, 52), writes);
}

enum StopEnd { StopEndedByRestart, StopEndedByLostLink };

void TestDriverCmdReview::linePollStopInterrupted_data()
{
    QTest::addColumn<int>("end");
    QTest::newRow("restart") << int(StopEndedByRestart);
    QTest::newRow("link lost") << int(StopEndedByLostLink);
}

void TestDriverCmdReview::linePollStopInterrupted()
{
    QFETCH(int, end);

    // The line takes the stop but keeps its state LN_ONN: the driver waits.
    Rig rig;
    rig.fake.setLinePollStopMs(600000);
    QVERIFY(rig.start());
    if (end == StopEndedByLostLink) {
        FakeInjection inj = FakeInjection::make(FakeInjection::CloseSocket, 20);
        inj.file = 7;
        inj.skip = 1;   // the read that decides to pull the coil goes through
        rig.fake.addInjection(inj);
    }

    QSignalSpy stopped(rig.driver.get(), &LantrelDriver::linePollStopped);
    rig.driver->stopLinePolling();
    QTRY_VERIFY_WITH_TIMEOUT(rig.fake.coil(1), 3000);
    QTest::qWait(50);
    QCOMPARE(stopped.count(), 0);
    if (end == StopEndedByRestart)
        rig.driver->rebootController();

    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 6000);
    QCOMPARE(stopped.first().at(0).toBool(), false);
    QTest::qWait(300);
    QCOMPARE(stopped.count(), 1);
}

void TestDriverCmdReview::linePollStopWithoutRecord()
{
    // The line status comes back without its record: nothing is known about
    // the line, so the stop is neither reported done nor started.
    Rig rig;
    QVERIFY(rig.start());
    FakeInjection inj = FakeInjection::make(FakeInjection::ShortReply, 20, 1, 4);
    inj.file = 7;
    rig.fake.addInjection(inj);
    QSignalSpy stopped(rig.driver.get(), &LantrelDriver::linePollStopped);
    QSignalSpy line(rig.driver.get(), &LantrelDriver::lineStatus);
    rig.driver->stopLinePolling();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 3000);
    QCOMPARE(stopped.first().at(0).toBool(), false);
    QCOMPARE(line.count(), 0);
    QTest::qWait(100);
    QVERIFY(!rig.fake.coil(1));
    QCOMPARE(countRequests(rig.fake.requestLog(), 5), 0);
}

void TestDriverCmdReview::infraredNeedsSensors()
{
    // Once the line settings report no sensors, no further infrared
    // measurement is commanded.
    Rig rig;
    Konfig_Line_t line;
    line.SensorCount = 10;
    line.IoCount = 2;
    rig.fake.setRecord(8, 0, line);
    rig.fake.setCommandBusyTime(RD_IKOUT_VOLT, 0);
    QVERIFY(rig.start(true));
    QSignalSpy read(rig.driver.get(), &LantrelDriver::readCompleted);
    rig.driver->getLineConfig();
    QVERIFY(read.wait(3000));
    rig.driver->setVoltageMeasurementMode(true);
    QTRY_VERIFY_WITH_TIMEOUT(countRequests(rig.fake.requestLog(), 16, 52) > 0, 2000);

    line.SensorCount = 0;
    rig.fake.setRecord(8, 0, line);
    rig.driver->getLineConfig();
    QVERIFY(read.wait(3000));
    QTest::qWait(100);
    rig.fake.clearLog();
    QTest::qWait(3600);
    const QList<FakeRequest> log = rig.fake.requestLog();
    QCOMPARE(countRequests(log, 16, 52), 0);
    QCOMPARE(fileReads(log, 26), 0);
    // the cycle goes on with the input/output modules
    QVERIFY(fileReads(log, 14) >= 3);
}

void TestDriverCmdReview::pollPeriods()
{
    // While the block is busy: re-read period and progress signal by code.
    struct Case {
        const char *name;
        int code;
        int param;
        int busyMs;
        int firstPoll;
        int period;
        int progress;   // 0 none, 1 move, 2 update
    };
    const QList<Case> cases = {
        {"move firmware", MOVE_PROG, 1, 2500, 1800, 800, 1},
        {"save firmware target 5", SAVE_PROG, 5, 1700, 500, 500, 2},
        {"save firmware target 0", SAVE_PROG, 0, 700, 200, 200, 0},
        {"line on/off", CMD_ONOF_LIN, 0, 300, 0, 20, 0},
    };
    std::vector<std::unique_ptr<Rig>> rigs;
    std::vector<std::unique_ptr<QSignalSpy>> done, moved, updated;
    for (const Case &c : cases) {
        rigs.emplace_back(new Rig);
        Rig &rig = *rigs.back();
        rig.fake.setCommandBusyTime(c.code, c.busyMs);
        rig.fake.setProgressEnd(1000);
        QVERIFY2(rig.start(), c.name);
        done.emplace_back(new QSignalSpy(rig.driver.get(), &LantrelDriver::commandCompleted));
        moved.emplace_back(new QSignalSpy(rig.driver.get(), &LantrelDriver::firmwareMoveProgress));
        updated.emplace_back(new QSignalSpy(rig.driver.get(), &LantrelDriver::firmwareUpdateProgress));
    }
    for (size_t i = 0; i < rigs.size(); ++i)
        rigs[i]->driver->executeCommand(ushort(cases.at(int(i)).code), ushort(cases.at(int(i)).param));
    for (size_t i = 0; i < rigs.size(); ++i)
        QTRY_COMPARE_WITH_TIMEOUT(done[i]->count(), 1, 8000);

    for (size_t i = 0; i < rigs.size(); ++i) {
        const Case &c = cases.at(int(i));
        QVERIFY2(done[i]->first().at(1).toBool(), c.name);
        QList<qint64> polls;
        qint64 write = -1;
        for (const FakeRequest &r : rigs[i]->fake.requestLog()) {
            if (r.function == 16 && r.address == 52)
                write = r.timeMs;
            if (r.function == 3 && r.address == 52 && r.count == 4)
                polls << r.timeMs;
        }
        QVERIFY2(write >= 0 && polls.size() >= 2, c.name);
        const qint64 first = polls.first() - write;
        // A loaded machine only delays: the upper bounds are far above.
        QVERIFY2(first >= c.firstPoll - 5 && first <= c.firstPoll + 1000,
                 qPrintable(QStringLiteral("%1: first poll after %2 ms").arg(c.name).arg(first)));
        for (int k = 1; k < polls.size(); ++k) {
            const qint64 gap = polls.at(k) - polls.at(k - 1);
            QVERIFY2(gap >= c.period - 5 && gap <= c.period + 1000,
                     qPrintable(QStringLiteral("%1: polls %2 ms apart").arg(c.name).arg(gap)));
        }
        // one progress value per busy read, the last read ends the command
        const int busyReads = polls.size() - 1;
        QCOMPARE(moved[i]->count(), c.progress == 1 ? busyReads : 0);
        QCOMPARE(updated[i]->count(), c.progress == 2 ? busyReads : 0);
        const QSignalSpy &progress = c.progress == 1 ? *moved[i] : *updated[i];
        for (int k = 1; k < progress.count(); ++k)
            QVERIFY(progress.at(k).at(0).value<ushort>() > progress.at(k - 1).at(0).value<ushort>());
        if (c.progress != 0)
            QVERIFY(progress.first().at(0).value<ushort>() > 0);
    }
}

void TestDriverCmdReview::restartEndsAddressingMode()
{
    Rig rig;
    rig.fake.addLineModule({0x00040001, 0, SECT_ACCI});
    QVERIFY(rig.start(true));
    LantrelDriver *d = rig.driver.get();
    QSignalSpy done(d, &LantrelDriver::commandCompleted);
    QSignalSpy monitoring(d, &LantrelDriver::monitoringStateChanged);
    QSignalSpy rebooted(d, &LantrelDriver::rebootCompleted);
    QSignalSpy changed(d, &LantrelDriver::moduleAddressChanged);

    d->executeCommand(SET_KONF_SECT);
    QTRY_COMPARE_WITH_TIMEOUT(monitoring.count(), 1, 5000);
    QCOMPARE(monitoring.first().at(0).toBool(), false);
    QTest::qWait(300);
    // the addressing mode polls, the monitoring cycle is silent
    const QList<FakeRequest> during = rig.fake.requestLog();
    QVERIFY(countRequests(during, 3, 52, 2) > 0);
    rig.fake.clearLog();
    QTest::qWait(300);
    QCOMPARE(countRequests(rig.fake.requestLog(), 3, 22, 20), 0);

    d->rebootController();
    QTRY_COMPARE_WITH_TIMEOUT(monitoring.count(), 2, 3000);
    QCOMPARE(monitoring.at(1).at(0).toBool(), true);
    QTRY_COMPARE_WITH_TIMEOUT(rebooted.count(), 1, 10000);
    QVERIFY(rebooted.first().at(0).toBool());

    // back to monitoring, no identity command any more
    rig.fake.clearLog();
    QTest::qWait(1200);
    const QList<FakeRequest> after = rig.fake.requestLog();
    QVERIFY(countRequests(after, 3, 22, 20) >= 3);
    QCOMPARE(countRequests(after, 16, 52), 0);
    QCOMPARE(countRequests(after, 3, 52, 2), 0);
    QCOMPARE(changed.count(), 0);
}

void TestDriverCmdReview::refusedIdentityCommandWaits()
{
    Rig rig;
    QVERIFY(rig.start(false));
    LantrelDriver *d = rig.driver.get();
    QSignalSpy monitoring(d, &LantrelDriver::monitoringStateChanged);
    // The controller takes the command that starts the addressing mode, then
    // refuses every identity command of the mode.
    FakeInjection refuse = FakeInjection::exception(2, 16, -1);
    refuse.address = 52;
    refuse.skip = 1;
    rig.fake.addInjection(refuse);
    d->executeCommand(SET_KONF_SECT);
    QTRY_COMPARE_WITH_TIMEOUT(monitoring.count(), 1, 5000);
    QTest::qWait(100);
    rig.fake.clearLog();
    // One try every 20 ms at most, not one every loop pass; gaps are what a
    // loaded machine can only widen, so they are what is checked.
    QTRY_VERIFY_WITH_TIMEOUT(countRequests(rig.fake.requestLog(), 16, 52) >= 6, 10000);
    qint64 previous = -1;
    for (const FakeRequest &r : rig.fake.requestLog()) {
        if (r.function != 16 || r.address != 52)
            continue;
        if (previous >= 0)
            QVERIFY2(r.timeMs - previous >= 18, qPrintable(QStringLiteral("gap %1 ms").arg(r.timeMs - previous)));
        previous = r.timeMs;
    }
}

QTEST_GUILESS_MAIN(TestDriverCmdReview)
#include "tst_drivercmdreview.moc"
