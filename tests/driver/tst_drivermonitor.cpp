// The monitoring cycle and the events log against the fake line controller.
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include "drivertestsupport.h"

using namespace LantrelProtocol;

namespace {

struct Rig : DriverTest::HostRig
{
    void setModules(int sensors, int io, int scp)
    {
        Konfig_Line_t line;
        line.SensorCount = quint16(sensors);
        line.IoCount = quint16(io);
        line.ScpCount = quint16(scp);
        fake.setRecord(8, 0, line);
    }

    // Connects, then (when asked) reads the line settings so that the driver
    // knows the module counts.
    bool start(bool readEvents = false, bool readLine = true)
    {
        if (!startDriver(true, readEvents))
            return false;
        if (readLine) {
            QSignalSpy read(driver.get(), &LantrelDriver::readCompleted);
            driver->getLineConfig();
            if (!read.wait(3000) || !read.first().at(0).toBool())
                return false;
        }
        fake.clearLog();
        return true;
    }
};

// A short name per request of the cycle.
QString token(const FakeRequest &r)
{
    switch (r.function) {
    case 7:
        return QStringLiteral("count");
    case 3:
        if (r.address == 22 && r.count == 20)
            return QStringLiteral("status");
        return QStringLiteral("read %1/%2").arg(r.address).arg(r.count);
    case 16:
        return QStringLiteral("write %1 cmd %2").arg(r.address).arg(r.values.value(1));
    case 5:
        return QStringLiteral("coil %1=%2").arg(r.address).arg(r.values.value(0), 0, 16);
    case 20:
        return QStringLiteral("%1:%2:%3").arg(r.file()).arg(r.record()).arg(r.length());
    default:
        return QStringLiteral("fc %1").arg(r.function);
    }
}

QStringList tokens(const QList<FakeRequest> &log)
{
    QStringList out;
    for (const FakeRequest &r : log)
        out << token(r);
    return out;
}

QList<qint64> times(const QList<FakeRequest> &log, const QString &name)
{
    QList<qint64> out;
    for (const FakeRequest &r : log) {
        if (token(r) == name)
            out << r.timeMs;
    }
    return out;
}

// Status-block requests the fake received, and those a fault was put on.
int statusRequests(const FakeController &fake, bool faulty)
{
    int n = 0;
    for (const FakeRequest &r : fake.requestLog()) {
        if (token(r) == QLatin1String("status") && (r.injection != FakeInjection::None) == faulty)
            ++n;
    }
    return n;
}

QList<qint64> timesOfFile(const QList<FakeRequest> &log, int file, int record)
{
    QList<qint64> out;
    for (const FakeRequest &r : log) {
        if (r.function == 20 && r.file() == file && r.record() == record)
            out << r.timeMs;
    }
    return out;
}

double meanGap(const QList<qint64> &t)
{
    if (t.size() < 2)
        return 0;
    return double(t.last() - t.first()) / (t.size() - 1);
}

Event_Record_t eventRecord(int type, int address, int code, int flags, const QDateTime &dt)
{
    Event_Record_t e;
    e.DeviceType = quint16(type);
    e.Address = quint16(address);
    e.Event = quint8(code);
    e.Flags = quint8(flags);
    e.Year = quint8(dt.date().year() - 2000);
    e.Month = quint8(dt.date().month());
    e.Day = quint8(dt.date().day());
    e.Hour = quint8(dt.time().hour());
    e.Minute = quint8(dt.time().minute());
    e.Second = quint8(dt.time().second());
    return e;
}

} // namespace

class TestDriverMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void cycleOrder_data();
    void cycleOrder();
    void cadence();
    void events_data();
    void events();
    void eventLines();
    void statusSignals();
    void infrared_data();
    void infrared();
    void failuresInTheCycle_data();
    void failuresInTheCycle();
    void refusedInfraredStepBacksOff_data();
    void refusedInfraredStepBacksOff();
    void voltageModeNeedsSensors();
    void emptyPageEndsPass();
    void statusRefusedForEver();
    void wrongStatusRepliesInARow_data();
    void wrongStatusRepliesInARow();

private:
    QTemporaryDir m_dir;
};

void TestDriverMonitor::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    DriverTest::setUpEnvironment(m_dir);
}

void TestDriverMonitor::cleanupTestCase()
{
    DriverTest::tearDownEnvironment();
}

void TestDriverMonitor::cycleOrder_data()
{
    QTest::addColumn<int>("sensors");
    QTest::addColumn<int>("io");
    QTest::addColumn<int>("scp");
    QTest::addColumn<QStringList>("cycle");

    QTest::newRow("130 sensors") << 130 << 0 << 0
                                 << QStringList{"count", "status", "9:0:120", "9:40:120", "9:80:120",
                                                "9:120:30", "23:0:120", "23:120:10"};
    QTest::newRow("every kind") << 5 << 41 << 31
                                << QStringList{"count", "status", "9:0:15", "23:0:5", "14:0:120",
                                               "14:40:3", "19:0:120", "19:30:4"};
    QTest::newRow("input/output only") << 0 << 2 << 0 << QStringList{"count", "status", "14:0:6"};
}

void TestDriverMonitor::cycleOrder()
{
    QFETCH(int, sensors);
    QFETCH(int, io);
    QFETCH(int, scp);
    QFETCH(QStringList, cycle);

    Rig rig;
    rig.setModules(sensors, io, scp);
    QVERIFY(rig.start(true));
    QTest::qWait(1200);

    // The first cycle that reads module pages, from its event count to the
    // start of the next cycle.
    const QStringList all = tokens(rig.fake.requestLog());
    int from = -1;
    for (int i = 1; i + 1 < all.size(); ++i) {
        if (all.at(i) == "status" && all.at(i - 1) == "count" && all.at(i + 1) != "count") {
            from = i - 1;
            break;
        }
    }
    QVERIFY2(from >= 0, qPrintable(all.join(", ")));
    int to = all.indexOf("count", from + 1);
    QVERIFY(to > from);
    QCOMPARE(all.mid(from, to - from), cycle);
}

void TestDriverMonitor::cadence()
{
    Rig rig;
    rig.setModules(24, 0, 0);
    QVERIFY(rig.start(false));
    QTRY_VERIFY_WITH_TIMEOUT(times(rig.fake.requestLog(), "status").size() >= 15
                                 && timesOfFile(rig.fake.requestLog(), 9, 0).size() >= 5,
                             30000);
    const QList<FakeRequest> log = rig.fake.requestLog();

    const QList<qint64> status = times(log, "status");
    // The first pass follows the read of the line settings; the schedule
    // had started before the driver knew of any module.
    const QList<qint64> pages = timesOfFile(log, 9, 0).mid(1);
    QVERIFY2(status.size() >= 14, qPrintable(QString::number(status.size())));
    // The cycle is scheduled from its start, so one late cycle is followed
    // by an early one: single gaps depend on the machine's load, the mean
    // does not.
    QVERIFY2(qAbs(meanGap(status) - 200) <= 20, qPrintable(QString::number(meanGap(status))));
    QVERIFY2(pages.size() >= 4, qPrintable(QString::number(pages.size())));
    QVERIFY2(qAbs(meanGap(pages) - 800) <= 40, qPrintable(QString::number(meanGap(pages))));
    // samples follow the states in the same pass (the last pass may be cut)
    const int samples = timesOfFile(log, 23, 0).size();
    QVERIFY2(samples == pages.size() + 1 || samples == pages.size(), qPrintable(QString::number(samples)));
}

void TestDriverMonitor::events_data()
{
    QTest::addColumn<bool>("readEvents");
    QTest::newRow("reading events on") << true;
    QTest::newRow("reading events off") << false;
}

void TestDriverMonitor::events()
{
    QFETCH(bool, readEvents);
    Rig rig;
    QVERIFY(rig.start(readEvents, false));
    QSignalSpy captured(rig.driver.get(), &LantrelDriver::capturedEvent);
    rig.fake.addEvents(25);
    QTest::qWait(800);

    const QStringList sent = tokens(rig.fake.requestLog());
    if (readEvents) {
        QCOMPARE(captured.count(), 25);
        const int first = sent.indexOf("6:0:120");
        QVERIFY2(first > 0, qPrintable(sent.join(", ")));
        QCOMPARE(sent.mid(first - 1, 5),
                 (QStringList{"count", "6:0:120", "count", "6:0:30", "status"}));
        QCOMPARE(sent.filter(QRegularExpression("^6:")).size(), 2);
        QCOMPARE(rig.fake.newEventCount(), 0);
    } else {
        QCOMPARE(captured.count(), 0);
        QVERIFY(!sent.contains("count"));
        QVERIFY(sent.filter(QRegularExpression("^6:")).isEmpty());
        QVERIFY(sent.contains("status"));
        QCOMPARE(rig.fake.newEventCount(), 25);
    }
}

void TestDriverMonitor::eventLines()
{
    const QStringList expected = {
        "2023-04-05T06:07:08  EVN_ALARM     SECT_ACC   Address: 17   Flags: 0x05",
        "2024-12-31T23:59:58  EVN_NORMA     BOS_LIN    Address: 0    Flags: EVN_ALARM",
        "2024-01-02T03:04:05  EVN_LNOFF     BOS_LIN    Address: 5    Flags: 0x1a",
        "2025-06-07T08:09:10                           Address: 300  Flags: 0xff",
        "2025-06-07T08:09:11  EVN_LNOFF     SECT_MVV   Address: 26   Flags: 0x05",
    };
    const QString logPath = appDataPath + "/Logs/"
            + QCoreApplication::applicationName().toLower() + "_events.log";
    QFile::remove(logPath);
    {
        Rig rig;
        QVERIFY(rig.start(true, false));
        QSignalSpy captured(rig.driver.get(), &LantrelDriver::capturedEvent);
        rig.fake.addEvent(eventRecord(SECT_ACC, 17, EVN_ALARM, 0x05, QDateTime({2023, 4, 5}, {6, 7, 8})));
        rig.fake.addEvent(eventRecord(BOS_LIN, 0, EVN_NORMA, EVN_ALARM, QDateTime({2024, 12, 31}, {23, 59, 58})));
        // the controller's line-off event shows its flags as the address
        rig.fake.addEvent(eventRecord(BOS_LIN, 0x1A, EVN_LNOFF, 5, QDateTime({2024, 1, 2}, {3, 4, 5})));
        // codes without a name leave their columns blank
        rig.fake.addEvent(eventRecord(9, 300, 6, 0xFF, QDateTime({2025, 6, 7}, {8, 9, 10})));
        rig.fake.addEvent(eventRecord(SECT_MVV, 26, EVN_LNOFF, 5, QDateTime({2025, 6, 7}, {8, 9, 11})));
        QTRY_COMPARE_WITH_TIMEOUT(captured.count(), expected.size(), 3000);
        QStringList lines;
        for (const QList<QVariant> &args : captured)
            lines << args.at(0).toString();
        QCOMPARE(lines, expected);
    }
    QFile file(logPath);
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(logPath));
    const QStringList written = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(written, expected);
}

void TestDriverMonitor::statusSignals()
{
    Rig rig;
    rig.setModules(10, 0, 0);
    QVERIFY(rig.start(false));
    LantrelDriver *d = rig.driver.get();
    QSignalSpy controller(d, &LantrelDriver::controllerStatus);
    QSignalSpy rebooted(d, &LantrelDriver::controllerRebooted);
    QSignalSpy power(d, &LantrelDriver::powerStatus);
    QSignalSpy line(d, &LantrelDriver::lineStatus);
    QSignalSpy memory(d, &LantrelDriver::eventMemoryStatus);
    QSignalSpy counts(d, &LantrelDriver::modulesCountChanged);

    // unchanged status: power and event memory every time, the rest once
    Status_Device_t status;
    status.Status2 = 0x10;
    rig.fake.setControllerStatus(status);
    Status_Line_t faulty;
    faulty.Flags = 0x01;
    faulty.State = LN_ONN;
    faulty.Faults = 0x04;
    rig.fake.setLineStatus(faulty);
    QTest::qWait(1000);
    const int blocks = times(rig.fake.requestLog(), "status").size();
    QVERIFY(blocks >= 4);
    QVERIFY(qAbs(power.count() - blocks) <= 1);
    QVERIFY(qAbs(memory.count() - blocks) <= 1);
    QCOMPARE(controller.count(), 1);
    QCOMPARE(controller.first().at(0).value<Status_Device_t>().Status2, quint8(0x10));
    QCOMPARE(line.count(), 1);
    QCOMPARE(line.first().at(0).value<Status_Line_t>().Faults, quint8(0x04));
    QCOMPARE(counts.count(), 0);

    // the restart flag: status, restarted, coil 10 cleared; seen once
    rig.fake.clearLog();
    rig.fake.setCoil(10, true);
    QTRY_COMPARE_WITH_TIMEOUT(rebooted.count(), 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.fake.coil(10), 2000);
    QTest::qWait(500);
    QCOMPARE(rebooted.count(), 1);
    QCOMPARE(tokens(rig.fake.requestLog()).count("coil 10=0"), 1);
    QCOMPARE(controller.count(), 3);   // bit set, bit cleared again
    QVERIFY(controller.at(1).at(0).value<Status_Device_t>().Status1 & 0x04);

    // a module count that differs from the stored one, every cycle until the
    // line settings are read again
    rig.setModules(11, 0, 0);
    QTest::qWait(700);
    QVERIFY(counts.count() >= 3);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    d->getLineConfig();
    QVERIFY(read.wait(2000));
    QTest::qWait(100);
    const int after = counts.count();
    QTest::qWait(600);
    QCOMPARE(counts.count(), after);
}

void TestDriverMonitor::infrared_data()
{
    QTest::addColumn<bool>("fails");
    QTest::newRow("measurement") << false;
    QTest::newRow("measurement fails") << true;
}

void TestDriverMonitor::infrared()
{
    QFETCH(bool, fails);
    Rig rig;
    rig.setModules(130, 0, 0);
    for (int i = 0; i < 130; ++i)
        rig.fake.setModuleValue(26, i, quint16(1000 + i));
    rig.fake.setCommandBusyTime(RD_IKOUT_VOLT, 0);
    if (fails)
        rig.fake.failCommand(RD_IKOUT_VOLT, 1, -1);
    QVERIFY(rig.start(false));
    QSignalSpy voltages(rig.driver.get(), &LantrelDriver::sensorIrVoltage);
    rig.driver->setVoltageMeasurementMode(true);
    QTest::qWait(fails ? 4200 : 3700);
    rig.driver->setVoltageMeasurementMode(false);

    const QList<FakeRequest> log = rig.fake.requestLog();
    const QList<qint64> commands = times(log, "write 52 cmd 21");
    const QList<qint64> polls = times(log, "read 52/2");
    const QList<qint64> reads = timesOfFile(log, 26, 0);
    QVERIFY(!commands.isEmpty() && !polls.isEmpty());
    QVERIFY2(polls.first() - commands.first() >= 19, qPrintable(QString::number(polls.first() - commands.first())));
    // module states keep being read meanwhile
    QVERIFY2(timesOfFile(log, 9, 0).size() >= 3, qPrintable(tokens(log).join(", ")));
    QVERIFY(qAbs(meanGap(times(log, "status")) - 200) <= 40);

    if (fails) {
        // a failed measurement is commanded again only after 3000 ms
        QCOMPARE(voltages.count(), 0);
        QVERIFY(reads.isEmpty());
        QCOMPARE(commands.size(), 2);
        QVERIFY2(commands.at(1) - polls.first() >= 2990,
                 qPrintable(QString::number(commands.at(1) - polls.first())));
        return;
    }
    QCOMPARE(reads.size(), 1);
    QVERIFY2(reads.first() - polls.first() >= 2990, qPrintable(QString::number(reads.first() - polls.first())));
    QVERIFY(reads.first() - polls.first() <= 3300);
    QCOMPARE(voltages.count(), 2);
    QCOMPARE(voltages.at(0).at(0).value<ushort>(), ushort(0));
    QCOMPARE(voltages.at(1).at(0).value<ushort>(), ushort(120));
    QVector<quint16> values = voltages.at(0).at(1).value<QVector<quint16>>();
    values += voltages.at(1).at(1).value<QVector<quint16>>();
    QCOMPARE(values.size(), 130);
    QCOMPARE(values.first(), quint16(1000));
    QCOMPARE(values.last(), quint16(1129));
    // the second page, then the next command at once
    const QStringList sent = tokens(log);
    const int page = sent.indexOf("26:120:10");
    QVERIFY(page > 0);
    QCOMPARE(sent.at(page - 1), QStringLiteral("26:0:120"));
    QVERIFY(sent.mid(page + 1).contains("write 52 cmd 21"));
}

enum CycleFailure { RefusedStatus, RefusedCommandPoll, SilentPage };

void TestDriverMonitor::failuresInTheCycle_data()
{
    QTest::addColumn<int>("failure");
    QTest::newRow("exception: the cycle is abandoned") << int(RefusedStatus);
    QTest::newRow("exception in state 8: the poll is repeated") << int(RefusedCommandPoll);
    QTest::newRow("time-out: the same request again") << int(SilentPage);
}

void TestDriverMonitor::failuresInTheCycle()
{
    QFETCH(int, failure);

    Rig rig;
    rig.setModules(24, 0, 0);
    rig.fake.setCommandBusyTime(RD_IKOUT_VOLT, 0);
    FakeInjection inj;
    if (failure == RefusedStatus) {
        inj = FakeInjection::exception(2, 3, 3);
        inj.address = 22;
    } else if (failure == RefusedCommandPoll) {
        inj = FakeInjection::exception(4, 3, 2);
        inj.address = 52;
    } else {
        inj = FakeInjection::make(FakeInjection::Silence, 20, 2);   // Qt's try and its retry
        inj.file = 9;
    }
    QVERIFY(rig.start(false));
    rig.fake.addInjection(inj);
    rig.fake.clearLog();
    if (failure == RefusedCommandPoll)
        rig.driver->setVoltageMeasurementMode(true);
    if (failure == SilentPage)
        QTRY_VERIFY_WITH_TIMEOUT(timesOfFile(rig.fake.requestLog(), 9, 0).size() >= 3, 20000);
    else if (failure == RefusedStatus)
        QTRY_VERIFY_WITH_TIMEOUT(times(rig.fake.requestLog(), "status").size() >= 4, 20000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(times(rig.fake.requestLog(), "read 52/2").size() >= 3, 20000);
    const QList<FakeRequest> log = rig.fake.requestLog();

    if (failure == RefusedStatus) {
        // Each refused status block ends the cycle; the next comes with the
        // cycle's cadence (from the start of the cycle), not at once.
        const QList<qint64> status = times(log, "status");
        QVERIFY2(status.at(3) - status.at(0) >= 300, qPrintable(tokens(log).join(", ")));
    } else if (failure == RefusedCommandPoll) {
        // Refused twice, read again 20 ms after each refusal (not in a new
        // cycle, which would ask for the status block first), then taken.
        const QStringList sent = tokens(log);
        const int first = sent.indexOf(QStringLiteral("read 52/2"));
        QCOMPARE(sent.mid(first, 3), QStringList({QStringLiteral("read 52/2"), QStringLiteral("read 52/2"), QStringLiteral("read 52/2")}));
        const QList<qint64> polls = times(log, "read 52/2");
        for (int i = 1; i < 3; ++i) {
            const qint64 gap = polls.at(i) - polls.at(i - 1);
            QVERIFY2(gap >= 19, qPrintable(QString::number(gap)));
        }
    } else {
        // The page that timed out (after Qt's own retry) is the next
        // request again; the link stays.
        const QStringList sent = tokens(log);
        const int first = sent.indexOf(QStringLiteral("9:0:72"));
        QVERIFY2(first >= 0 && first + 2 < sent.size(), qPrintable(sent.join(", ")));
        const QString page = QStringLiteral("9:0:72");
        QCOMPARE(sent.mid(first, 3), QStringList({page, page, page}));
        const QList<qint64> pages = timesOfFile(log, 9, 0);
        QVERIFY2(pages.at(2) - pages.at(0) >= 1900, qPrintable(QString::number(pages.at(2) - pages.at(0))));
    }
}

void TestDriverMonitor::refusedInfraredStepBacksOff_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("file");
    QTest::newRow("measurement command") << 16 << 52 << -1;
    QTest::newRow("voltage read") << 20 << -1 << 26;
}

void TestDriverMonitor::refusedInfraredStepBacksOff()
{
    QFETCH(int, function);
    QFETCH(int, address);
    QFETCH(int, file);

    // The controller refuses one step of the infrared measurement every
    // time: the step is tried again 3000 ms later, as after a failed
    // measurement, and the status blocks and module pages keep their pace.
    Rig rig;
    rig.setModules(24, 0, 0);
    rig.fake.setCommandBusyTime(RD_IKOUT_VOLT, 0);
    FakeInjection refuse = FakeInjection::exception(4, function, -1);
    refuse.address = address;
    refuse.file = file;
    rig.fake.addInjection(refuse);
    QVERIFY(rig.start(false));
    rig.driver->setVoltageMeasurementMode(true);
    QTest::qWait(3500);

    const QList<FakeRequest> log = rig.fake.requestLog();
    const int refused = function == 16 ? times(log, "write 52 cmd 21").size() : timesOfFile(log, 26, 0).size();
    QVERIFY2(refused >= 1 && refused <= 2, qPrintable(QString::number(refused)));
    QVERIFY2(qAbs(meanGap(times(log, "status")) - 200) <= 40, qPrintable(QString::number(meanGap(times(log, "status")))));
    QVERIFY2(timesOfFile(log, 9, 0).size() >= 4, qPrintable(tokens(log).join(", ")));
}

void TestDriverMonitor::voltageModeNeedsSensors()
{
    Rig rig;
    rig.setModules(0, 3, 0);
    QVERIFY(rig.start(false));
    rig.driver->setVoltageMeasurementMode(true);
    QTest::qWait(800);
    const QStringList sent = tokens(rig.fake.requestLog());
    QVERIFY(!sent.contains("write 52 cmd 21"));
    QVERIFY(sent.contains("14:0:9"));
}

void TestDriverMonitor::emptyPageEndsPass()
{
    // Module state pages that come back without records are not asked for
    // again at once; the next pass is due 800 ms later as usual.
    Rig rig;
    rig.setModules(24, 0, 0);
    FakeInjection inj = FakeInjection::make(FakeInjection::ShortReply, 20, -1, 24 * 6);
    inj.file = 9;
    rig.fake.addInjection(inj);
    QVERIFY(rig.start(false));
    QSignalSpy states(rig.driver.get(), &LantrelDriver::sensorStatus);
    QTest::qWait(2000);
    const QList<FakeRequest> log = rig.fake.requestLog();
    QCOMPARE(states.count(), 0);
    const int pages = timesOfFile(log, 9, 0).size();
    QVERIFY2(pages >= 2 && pages <= 4, qPrintable(QString::number(pages)));
    QVERIFY(times(log, "status").size() >= 8);
}


void TestDriverMonitor::statusRefusedForEver()
{
    // The busy time limit, short here.
    const int limitMs = 500;
    DriverTest::setDriverSetting(QStringLiteral("BusyTimeLimit"), limitMs);
    const auto restore = qScopeGuard([] { appSettings->remove(QStringLiteral("Driver/BusyTimeLimit")); });

    Rig rig;
    rig.setModules(10, 0, 0);
    QVERIFY(rig.start(false));
    LantrelDriver *d = rig.driver.get();
    QSignalSpy line(d, &LantrelDriver::lineStatus);
    QSignalSpy controller(d, &LantrelDriver::controllerStatus);
    QSignalSpy power(d, &LantrelDriver::powerStatus);
    QSignalSpy unavailable(d, &LantrelDriver::statusUnavailable);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    QSignalSpy lost(d, &LantrelDriver::disconnected);
    // Let a status block through, then the controller stays busy.
    QTRY_VERIFY_WITH_TIMEOUT(power.count() >= 1, 10000);
    FakeInjection busy = FakeInjection::exception(6, 3, -1);
    busy.address = 22;
    rig.fake.addInjection(busy);
    rig.fake.clearLog();

    QVERIFY(unavailable.wait(20000));
    const QList<FakeRequest> refused = rig.fake.requestLog();
    QVERIFY(!refused.isEmpty());
    const qint64 span = refused.last().timeMs - refused.first().timeMs;
    QVERIFY2(span >= limitMs - 100, qPrintable(QString::number(span)));
    QStringList lines;
    for (const QList<QVariant> &args : log)
        lines << args.at(0).toString();
    QCOMPARE(lines.count(QStringLiteral("ЦУ-Л отвечает, но остаётся занятым и не сообщает своё состояние")), 1);
    // Said once, and the link stays: an exception is an answer.
    QTest::qWait(2 * limitMs);
    QCOMPARE(unavailable.count(), 1);
    QCOMPARE(lost.count(), 0);

    // The next status block is news even though it did not change: the
    // line's and the controller's own status alike.
    const int before = line.count();
    const int controllerBefore = controller.count();
    rig.fake.clearInjections();
    QTRY_VERIFY_WITH_TIMEOUT(line.count() > before, 10000);
    QCOMPARE(controller.count(), controllerBefore + 1);
    // And a new refusal starts a new time limit.
    rig.fake.addInjection(busy);
    QVERIFY(unavailable.wait(20000));
    QCOMPARE(unavailable.count(), 2);
}

void TestDriverMonitor::wrongStatusRepliesInARow_data()
{
    QTest::addColumn<QList<int>>("runs");   // wrong replies in a row, a good one after each run
    QTest::addColumn<bool>("closed");

    QTest::newRow("2 keep the link") << QList<int>{2} << false;
    QTest::newRow("3 close it") << QList<int>{3} << true;
    QTest::newRow("a good reply between resets the count") << QList<int>{2, 2} << false;
}

void TestDriverMonitor::wrongStatusRepliesInARow()
{
    QFETCH(QList<int>, runs);
    QFETCH(bool, closed);

    Rig rig;
    rig.setModules(10, 0, 0);
    QVERIFY(rig.start(false));
    LantrelDriver *d = rig.driver.get();
    QSignalSpy lost(d, &LantrelDriver::disconnected);
    QSignalSpy log(d, &LantrelDriver::writeToLog);

    int wrong = 0;
    for (int run : runs) {
        FakeInjection inj = FakeInjection::make(FakeInjection::WrongFunction, 3, run);
        inj.address = 22;
        rig.fake.addInjection(inj);
        wrong += run;
        if (closed)
            break;
        // The wrong replies, then a good one.
        const int good = statusRequests(rig.fake, false);
        QTRY_VERIFY_WITH_TIMEOUT(statusRequests(rig.fake, true) == wrong && statusRequests(rig.fake, false) > good,
                                 20000);
        QCOMPARE(lost.count(), 0);
    }
    if (closed) {
        QVERIFY(lost.wait(20000));
        QCOMPARE(statusRequests(rig.fake, true), wrong);
        QStringList lines;
        for (const QList<QVariant> &args : log)
            lines << args.at(0).toString();
        QVERIFY2(lines.contains(QStringLiteral("Ответы ЦУ-Л на запросы опроса не соответствуют запросам, "
                                               "превышен допустимый лимит повторов")),
                 qPrintable(lines.join('\n')));
    } else {
        // Some more cycles with good replies: the link stays.
        const int good = statusRequests(rig.fake, false);
        QTRY_VERIFY_WITH_TIMEOUT(statusRequests(rig.fake, false) >= good + 3, 20000);
        QCOMPARE(lost.count(), 0);
    }
}
QTEST_GUILESS_MAIN(TestDriverMonitor)
#include "tst_drivermonitor.moc"
