// The client's connected state: the link is up and the controller has
// identified itself. A driver alone does not make a connection: it exists
// while it connects and until it ends after a lost link.

#include <QSignalSpy>
#include <QtTest>

#include "clienttestsupport.h"

using namespace ClientTest;

class TestClientLinkState : public QObject
{
    Q_OBJECT

    QTemporaryDir dataDir;

private slots:
    void initTestCase() { setUpQuietEnvironment(dataDir, this); }

    void followsIdentificationAndLoss()
    {
        Connected c;
        QVERIFY(!c.client.isConnected());
        QVERIFY(connectToFake(c));
        QVERIFY(c.client.isConnected());

        // While the link is lost the driver still exists for a moment.
        QSignalSpy lost(&c.client, &LantrelClient::deviceDisconnected);
        bool connectedWhenLost = true;
        connect(&c.client, &LantrelClient::deviceDisconnected, this,
                [&]() { connectedWhenLost = c.client.isConnected(); });
        c.fake.dropConnections();
        QVERIFY(lost.wait(LongWaitMs));
        QVERIFY(!connectedWhenLost);
        QVERIFY(waitFor([&]() { return !c.client.hasDriver(); }));

        // A new link counts only once the controller has answered.
        QSignalSpy identified(&c.client, &LantrelClient::deviceConnected);
        c.client.connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
        QVERIFY(c.client.hasDriver());
        QVERIFY(!c.client.isConnected());
        QVERIFY(identified.wait(LongWaitMs));
        QVERIFY(c.client.isConnected());

        c.client.shutdownDriver();
        QVERIFY(!c.client.isConnected());
    }
};

QTEST_MAIN(TestClientLinkState)
#include "tst_clientlinkstate.moc"
