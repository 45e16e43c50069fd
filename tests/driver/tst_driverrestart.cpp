// Controller restarts: the driver drops the link, reconnects silently after
// the restart delay, and follows factory defaults and saved IPv4 changes.

#include "drivertestsupport.h"

using namespace LantrelProtocol;
using namespace DriverTest;

class TestDriverRestart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void restartReconnectsSilently();
    void factoryDefaultsReconnect();
    void savedIpChangeSurvivesTimeout();

private:
    QTemporaryDir m_dir;
};

void TestDriverRestart::initTestCase()
{
    setUpEnvironment(m_dir);
}

void TestDriverRestart::init()
{
    resetDriverSettings();
}

void TestDriverRestart::cleanupTestCase()
{
    tearDownEnvironment();
}

void TestDriverRestart::restartReconnectsSilently()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    QSignalSpy reboot(d, &LantrelDriver::rebootCompleted);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);
    QSignalSpy finished(d, &LantrelDriver::finished);
    QSignalSpy ip(d, &LantrelDriver::deviceIpChanged);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    f.fake.clearLog();

    d->rebootController();
    d->getLineConfig(); // queued behind the restart, sent on the new link
    QVERIFY(waitForCount(reboot, 1, 12000));
    QCOMPARE(reboot.at(0).at(0).toBool(), true);
    QVERIFY(waitForCount(read, 1, 5000));
    QCOMPARE(read.at(0).at(0).toBool(), true);
    QTRY_VERIFY_WITH_TIMEOUT(!f.fake.coil(10), 3000);

    QCOMPARE(disconnected.count(), 0);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(f.fake.restartCount(), 1);
    QCOMPARE(f.server.acceptedCount(), 2);
    QCOMPARE(ip.count(), 1); // the new link reports its address again
    QCOMPARE(ip.at(0).at(0).toUInt(), QHostAddress(QStringLiteral("127.0.0.1")).toIPv4Address());
    QVERIFY(texts(log).contains(QStringLiteral("Выполняется перезапуск ЦУ-Л")));

    // Nothing went out between the coil write and the reconnection 4 s later.
    const QList<FakeRequest> reqs = f.fake.requestLog();
    int coilWrite = -1;
    for (int i = 0; i < reqs.size(); ++i)
        if (reqs.at(i).function == 5 && reqs.at(i).address == 2)
            coilWrite = i;
    QVERIFY(coilWrite >= 0 && coilWrite + 1 < reqs.size());
    const qint64 gap = reqs.at(coilWrite + 1).timeMs - reqs.at(coilWrite).timeMs;
    QVERIFY2(gap >= 4000, qPrintable(QString::number(gap)));
    // Coil 10 read back, then cleared.
    QCOMPARE(reqs.at(coilWrite + 1).function, 1);
    QCOMPARE(reqs.at(coilWrite + 1).address, 10);
    QCOMPARE(f.fake.requests(5).last().address, 10);
    QCOMPARE(f.fake.requests(5).last().values.value(0), quint16(0));
}

void TestDriverRestart::factoryDefaultsReconnect()
{
    TcpFixture f;
    QVERIFY(f.listening);
    QVERIFY(f.listenOnActiveAddressOnly());
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    QSignalSpy defaults(d, &LantrelDriver::setDefaultsCompleted);
    QSignalSpy reboot(d, &LantrelDriver::rebootCompleted);
    QSignalSpy address(d, &LantrelDriver::deviceAddressChanged);
    QSignalSpy ip(d, &LantrelDriver::deviceIpChanged);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);
    QSignalSpy read(d, &LantrelDriver::readCompleted);

    d->setDefaults();
    QVERIFY(waitForCount(defaults, 1, 8000));
    QCOMPARE(defaults.at(0).at(0).toBool(), true);
    QCOMPARE(address.count(), 0); // the running address stays until the restart

    d->rebootController();
    QVERIFY(waitForCount(reboot, 1, 12000));
    QCOMPARE(reboot.at(0).at(0).toBool(), true);
    QCOMPARE(disconnected.count(), 0);
    QCOMPARE(address.count(), 1);
    QCOMPARE(address.at(0).at(0).toInt(), 1);
    QCOMPARE(ip.count(), 1);
    QCOMPARE(ip.at(0).at(0).toUInt(), QHostAddress(QStringLiteral("192.168.0.254")).toIPv4Address());
    QCOMPARE(f.server.lastLocalAddress(), QHostAddress(QStringLiteral("192.168.0.254")));

    f.fake.clearLog();
    d->getLineConfig();
    QVERIFY(waitForCount(read, 1, 5000));
    QCOMPARE(read.at(0).at(0).toBool(), true);
    QCOMPARE(f.fake.requestLog().first().unitId, 1);
}

void TestDriverRestart::savedIpChangeSurvivesTimeout()
{
    TcpFixture f;
    QVERIFY(f.listening);
    QVERIFY(f.listenOnActiveAddressOnly());
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy address(d, &LantrelDriver::deviceAddressChanged);
    QSignalSpy ip(d, &LantrelDriver::deviceIpChanged);
    QSignalSpy command(d, &LantrelDriver::commandCompleted);
    QSignalSpy reboot(d, &LantrelDriver::rebootCompleted);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);

    sendNewAddress(d, f.fake, 9, QStringLiteral("127.0.0.9"));
    QVERIFY(waitForCount(write, 1, 5000));
    QCOMPARE(address.count(), 1);

    // The controller keeps answering on 3: a time-out takes the driver back
    // to 3, but the IPv4 change stays pending.
    f.fake.setUnitId(3);
    d->getLineConfig();
    QVERIFY(waitForCount(read, 1, 8000));
    QCOMPARE(read.at(0).at(0).toBool(), true);
    QCOMPARE(address.count(), 2);
    QCOMPARE(address.at(1).at(0).toInt(), 3);

    // Saved to flash, then restarted: the controller comes back on
    // 127.0.0.9 and so does the driver.
    f.fake.setCommandBusyTime(WR_KONF_REG, 50);
    d->saveConfigToFlash();
    QVERIFY(waitForCount(command, 1, 12000));
    QCOMPARE(command.at(0).at(1).toBool(), true);
    d->rebootController();
    QVERIFY(waitForCount(reboot, 1, 12000));
    QCOMPARE(reboot.at(0).at(0).toBool(), true);
    QCOMPARE(disconnected.count(), 0);
    QCOMPARE(f.fake.activeIpAddress(), QHostAddress(QStringLiteral("127.0.0.9")));
    QCOMPARE(ip.count(), 1);
    QCOMPARE(ip.at(0).at(0).toUInt(), QHostAddress(QStringLiteral("127.0.0.9")).toIPv4Address());
    QCOMPARE(f.server.lastLocalAddress(), QHostAddress(QStringLiteral("127.0.0.9")));
}

QTEST_GUILESS_MAIN(TestDriverRestart)
#include "tst_driverrestart.moc"
