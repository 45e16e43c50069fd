#ifndef PEERTESTSUPPORT_H
#define PEERTESTSUPPORT_H

// A client connected to the fake line controller over Modbus TCP or RTU,
// for the tests of broken peers and of the link's recovery. Header-only,
// like clienttestsupport.h.

#include <memory>

#include "clienttestsupport.h"
#include "fakertuserver.h"

namespace PeerTest {

enum Transport { Tcp, Rtu };

// The controller answers the second page of the sensor table (records 15
// to 29, sensors in use among them) this way.
inline FakeInjection onSensorPage(FakeInjection::Kind kind, int times, int param = 0)
{
    FakeInjection inj = FakeInjection::make(kind, 20, times, param);
    inj.file = 10;
    inj.record = 15;
    return inj;
}

inline int failedSteps(const QSignalSpy &steps)
{
    int n = 0;
    for (const QList<QVariant> &args : steps)
        n += args.at(1).toBool() ? 0 : 1;
    return n;
}

// The fake controller with the generated configuration on the chosen link,
// and a client for it.
struct Peer
{
    FakeController fake;
    FakeTcpServer tcp{&fake};
    std::unique_ptr<FakeRtuLine> rtu;
    LantrelClient client;

    Peer() { fake.loadGeneratedConfiguration(ClientTest::LineAddress); }

    // Starts the connection; true once the link to the fake is there.
    bool startConnection(int transport)
    {
        if (transport == Tcp) {
            if (!tcp.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502))
                return false;
            client.connectToDevice(0, QStringLiteral("127.0.0.1"), ClientTest::LineAddress);
            return true;
        }
        rtu.reset(new FakeRtuLine(&fake));
        if (!rtu->start())
            return false;
        client.connectToDevice(1, rtu->clientPortName(), ClientTest::LineAddress);
        return true;
    }

    bool connect(int transport)
    {
        QSignalSpy connected(&client, &LantrelClient::deviceConnected);
        return startConnection(transport) && connected.wait(ClientTest::LongWaitMs);
    }

    // A whole read; false when its steps do not all come within `ms`.
    bool read(QSignalSpy &steps, int ms)
    {
        client.readConfiguration();
        return ClientTest::waitFor([&]() { return steps.count() >= 127; }, ms);
    }
};

} // namespace PeerTest

#endif // PEERTESTSUPPORT_H
