#ifndef CLIENTTESTSUPPORT_H
#define CLIENTTESTSUPPORT_H

// Shared set-up of the client tests: quiet driver settings in a temporary
// folder, waiting while events run, and a client connected to the fake line
// controller on Modbus TCP port 502. Header-only: lantrel_testsupport does
// not link the client library, the client tests do.

#include <QElapsedTimer>
#include <QHostAddress>
#include <QLocale>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include "appglobals.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "lantrelclient.h"

namespace ClientTest {

constexpr int LineAddress = 3;
constexpr int LongWaitMs = 30000;

// Russian texts, and an INI file in `dir` as appSettings (the folder is also
// the data folder) with no monitoring traffic: every request in the fake's
// log then comes from the operation under test.
inline void setUpQuietEnvironment(const QTemporaryDir &dir, QObject *owner)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QVERIFY(dir.isValid());
    appDataPath = dir.path();
    appSettings = new QSettings(dir.filePath(QStringLiteral("lantrelprog.ini")), QSettings::IniFormat, owner);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), false);
    appSettings->sync();
}

// Runs events until `done` holds; false when `ms` pass first.
inline bool waitFor(const std::function<bool()> &done, int ms = LongWaitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// `server` listens on 127.0.0.1:502 and `client` connects to the controller
// at `lineAddress` there; true once the client reports the connection.
inline bool listenAndConnect(FakeTcpServer &server, LantrelClient &client,
                             int lineAddress = LineAddress, int timeoutMs = LongWaitMs)
{
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502))
        return false;
    QSignalSpy connected(&client, &LantrelClient::deviceConnected);
    client.connectToDevice(0, QStringLiteral("127.0.0.1"), lineAddress);
    return connected.wait(timeoutMs);
}

// A client connected to a fake controller serving the generated configuration.
struct Connected
{
    FakeController fake;
    FakeTcpServer server {&fake};
    LantrelClient client;
};

inline bool connectToFake(Connected &c)
{
    c.fake.loadGeneratedConfiguration(LineAddress);
    return listenAndConnect(c.server, c.client);
}

} // namespace ClientTest

#endif // CLIENTTESTSUPPORT_H
