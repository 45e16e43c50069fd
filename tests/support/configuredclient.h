#ifndef CONFIGUREDCLIENT_H
#define CONFIGUREDCLIENT_H

// A client published for the windows that reads and writes the fake line
// controller's configuration over loopback. Header-only, like
// windowtestsupport.h; the test sets up the quiet environment first.

#include <QHostAddress>
#include <QSignalSpy>

#include "windowtestsupport.h"

namespace WindowTest {

struct ConfiguredClient : PublishedClient
{
    // The generated configuration with these module counts, then connect
    // and read it.
    bool start(int sensors = 24, int ioModules = 4, int scpModules = 2)
    {
        fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")),
                                        sensors, ioModules, scpModules);
        return ClientTest::listenAndConnect(server, client) && read();
    }

    // Replaces every table with what the controller holds.
    bool read()
    {
        QSignalSpy done(&client, &LantrelClient::datasetChanged);
        client.readConfiguration();
        return done.wait(ClientTest::LongWaitMs);
    }

    bool write()
    {
        QSignalSpy done(&client, &LantrelClient::writeFinished);
        client.writeConfiguration();
        return done.wait(ClientTest::LongWaitMs);
    }
};

} // namespace WindowTest

#endif // CONFIGUREDCLIENT_H
