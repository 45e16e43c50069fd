// The client's connected state: the link is up and the controller has
// identified itself. A driver alone does not make a connection: it exists
// while it connects and until it ends after a lost link.

#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include "clienttestsupport.h"
#include "linemodulesmodel.h"

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

    // A controller that keeps refusing its status block: after the busy time
    // limit the line state is unknown, with no stale module states, until a
    // status block comes again.
    void refusedStatusMakesTheLineUnknown()
    {
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
        appSettings->setValue(QStringLiteral("Driver/BusyTimeLimit"), 500);
        appSettings->sync();
        const auto restore = qScopeGuard([] {
            appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
            appSettings->remove(QStringLiteral("Driver/BusyTimeLimit"));
            appSettings->sync();
        });
        Connected c;
        LantrelProtocol::Status_Line_t on;
        on.Flags = 0x01;
        on.State = LantrelProtocol::LN_ONN;
        c.fake.setLineStatus(on);
        QVERIFY(connectToFake(c));
        QVERIFY(waitFor([&]() { return c.client.lastLineStatus().State == LantrelProtocol::LN_ONN; }));
        // A module state the windows show.
        LineModuleRecord module;
        module.lineAddress = 5;
        module.deviceType = 4;
        c.client.lineModulesModel()->setModule(module);
        c.client.lineModulesModel()->setModuleState(5, 0x01, 0, 0);
        QVERIFY(c.client.lineModulesModel()->moduleAt(5).stateFlags != 0);

        QSignalSpy line(&c.client, &LantrelClient::lineStatusChanged);
        FakeInjection busy = FakeInjection::exception(6, 3, -1);
        busy.address = 22;
        c.fake.addInjection(busy);
        QVERIFY(waitFor([&]() { return !line.isEmpty(); }));
        QCOMPARE(line.count(), 1);
        QCOMPARE(line.first().first().value<LantrelProtocol::Status_Line_t>().State, LantrelClient::UnknownLineState);
        QCOMPARE(c.client.lastLineStatus().State, LantrelClient::UnknownLineState);
        QCOMPARE(c.client.lineModulesModel()->moduleAt(5).stateFlags, quint32(0));
        QVERIFY(c.client.isConnected());

        c.fake.clearInjections();
        QVERIFY(waitFor([&]() { return c.client.lastLineStatus().State == LantrelProtocol::LN_ONN; }));
    }
};

QTEST_MAIN(TestClientLinkState)
#include "tst_clientlinkstate.moc"
