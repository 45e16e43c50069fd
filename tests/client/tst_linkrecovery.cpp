// The link after a broken reply and with a correct controller: a frame Qt
// waits on for ever costs one reconnection and nothing else, and the reply
// checks raise no false alarm on a whole read, write and command.

#include "peertestsupport.h"
#include "sensorsconfigmodel.h"

using namespace LantrelProtocol;
using namespace ClientTest;
using namespace PeerTest;

class TestLinkRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void hungFrameCostsOneReconnection_data();
    void hungFrameCostsOneReconnection();
    void correctControllerReadsAndWritesWhole_data();
    void correctControllerReadsAndWritesWhole();

private:
    QTemporaryDir m_dir;
};

void TestLinkRecovery::initTestCase()
{
    setUpQuietEnvironment(m_dir, this);
    registerMetaTypes();
}

void TestLinkRecovery::hungFrameCostsOneReconnection_data()
{
    QTest::addColumn<int>("transport");
    QTest::addColumn<int>("kind");

    QTest::newRow("TCP cut frame") << int(Tcp) << int(FakeInjection::CutFrame);
    QTest::newRow("TCP length field too large") << int(Tcp) << int(FakeInjection::OverstatedLength);
    QTest::newRow("RTU cut frame") << int(Rtu) << int(FakeInjection::CutFrame);
    QTest::newRow("RTU length field too large") << int(Rtu) << int(FakeInjection::OverstatedLength);
}

void TestLinkRecovery::hungFrameCostsOneReconnection()
{
    QFETCH(int, transport);
    QFETCH(int, kind);

    Peer peer;
    QVERIFY(peer.connect(transport));
    QSignalSpy steps(&peer.client, &LantrelClient::taskCompleted);
    QSignalSpy disconnected(&peer.client, &LantrelClient::deviceDisconnected);
    peer.fake.addInjection(onSensorPage(FakeInjection::Kind(kind), 1));

    QVERIFY(peer.read(steps, 15000));
    QCOMPARE(failedSteps(steps), 0);
    QVERIFY(peer.client.datasetComplete());
    QVERIFY(disconnected.isEmpty());
    if (transport == Tcp)
        QCOMPARE(peer.tcp.acceptedCount(), 2);
    QVERIFY(peer.fake.sensors().at(20).SerialNo != 0);
    QCOMPARE(peer.client.sensorsConfigModel()->moduleAt(20).serialNumber, peer.fake.sensors().at(20).SerialNo);
}

void TestLinkRecovery::correctControllerReadsAndWritesWhole_data()
{
    QTest::addColumn<int>("transport");
    QTest::newRow("TCP") << int(Tcp);
    QTest::newRow("RTU") << int(Rtu);
}

void TestLinkRecovery::correctControllerReadsAndWritesWhole()
{
    QFETCH(int, transport);

    Peer peer;
    QVERIFY(peer.connect(transport));
    QSignalSpy steps(&peer.client, &LantrelClient::taskCompleted);
    QSignalSpy errors(&peer.client, &LantrelClient::clientError);
    QVERIFY(peer.read(steps, LongWaitMs));
    QCOMPARE(failedSteps(steps), 0);
    QVERIFY(peer.client.datasetComplete());

    // Writing back what was read leaves every table as it was.
    QHash<int, QByteArray> before;
    for (int file : {3, 8, 10, 11, 13, 15, 17, 20, 28})
        before.insert(file, peer.fake.fileBytes(file));
    QSignalSpy finished(&peer.client, &LantrelClient::writeFinished);
    steps.clear();
    peer.fake.clearLog();
    peer.client.writeConfiguration();
    QVERIFY(waitFor([&]() { return !finished.isEmpty(); }));
    QCOMPARE(steps.count(), 126);
    QCOMPARE(failedSteps(steps), 0);
    QVERIFY(errors.isEmpty());
    QCOMPARE(peer.fake.requests(21).size(), 126);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(peer.fake.fileBytes(it.key()) == it.value(), qPrintable(QString::number(it.key())));

    // A command that is over before the first poll is still a success.
    peer.fake.setCommandBusyTime(RD_KONF_REG, 0);
    steps.clear();
    peer.client.restoreConfigFromFlash();
    QVERIFY(waitFor([&]() { return !steps.isEmpty(); }));
    QCOMPARE(steps.first().at(1).toBool(), true);
    QVERIFY(errors.isEmpty());
}

QTEST_GUILESS_MAIN(TestLinkRecovery)
#include "tst_linkrecovery.moc"
