#ifndef DRIVERTESTSUPPORT_H
#define DRIVERTESTSUPPORT_H

// Shared set-up of the driver tests: the settings object and data folder the
// driver reads in its constructor, a fake controller on Modbus TCP port 502,
// and a driver in the test's own thread.

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "appglobals.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "lantreldriver.h"
#include "lantrelprotocol.h"

namespace DriverTest {

// appSettings must exist before a driver is constructed: the constructor
// reads every "Driver/..." key from it. The tests make their own INI file in
// a temporary folder, which is also the data folder (appDataPath).
inline void setUpEnvironment(QTemporaryDir &dir)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<FakeRequest>();
    QVERIFY(dir.isValid());
    appDataPath = dir.path();
    delete appSettings;
    appSettings = new QSettings(dir.filePath(QStringLiteral("lantrelprog.ini")), QSettings::IniFormat);
    appSettings->setIniCodec("UTF-8");
}

inline void tearDownEnvironment()
{
    delete appSettings;
    appSettings = nullptr;
}

// Quiet defaults for a test: no monitoring traffic between the requests
// under test, no packet log.
inline void resetDriverSettings()
{
    appSettings->remove(QStringLiteral("Driver"));
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->setValue(QStringLiteral("Driver/EnableDebugLog"), false);
    appSettings->sync();
}

inline void setDriverSetting(const QString &key, const QVariant &value)
{
    appSettings->setValue(QStringLiteral("Driver/") + key, value);
    appSettings->sync();
}

// Stops a driver that lives in the test's thread and lets its deferred
// deletions run.
inline void stopAndDelete(LantrelDriver *&driver)
{
    if (!driver)
        return;
    QMetaObject::invokeMethod(driver, "stop", Qt::DirectConnection);
    delete driver;
    driver = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Starts the driver and waits until the first reads (identity, clock) are
// done and the controller is announced.
inline bool startAndConnect(LantrelDriver *driver, int timeoutMs = 5000)
{
    QSignalSpy connectedSpy(driver, &LantrelDriver::connected);
    QSignalSpy clockSpy(driver, &LantrelDriver::controllerDateTime);
    QMetaObject::invokeMethod(driver, "start", Qt::DirectConnection);
    QElapsedTimer t;
    t.start();
    while ((connectedSpy.isEmpty() || clockSpy.isEmpty()) && t.elapsed() < timeoutMs)
        QTest::qWait(5);
    return !connectedSpy.isEmpty() && !clockSpy.isEmpty();
}

// The fake at line address 3 on 127.0.0.1:502 with a generated configuration.
struct TcpFixture
{
    FakeController fake;
    FakeTcpServer server{&fake};
    LantrelDriver *driver = nullptr;

    explicit TcpFixture(const QHostAddress &ip = QHostAddress(QStringLiteral("127.0.0.1")), int unit = 3)
    {
        fake.loadGeneratedConfiguration(unit, ip);
        listening = server.listen(ip, 502);
    }
    ~TcpFixture() { stopAndDelete(driver); }

    LantrelDriver *makeDriver(const QString &address = QStringLiteral("127.0.0.1"), int unit = 3)
    {
        driver = new LantrelDriver(0, address, unit);
        return driver;
    }

    // The driver started and connected to the fake; nullptr when the fake
    // does not listen or the driver does not get through.
    LantrelDriver *connectDriver()
    {
        if (!listening)
            return nullptr;
        LantrelDriver *d = makeDriver();
        return startAndConnect(d) ? d : nullptr;
    }

    // Reachable on every local address, but a connection is taken only on the
    // address the controller uses.
    bool listenOnActiveAddressOnly()
    {
        server.close();
        server.setAcceptOnlyActiveAddress(true);
        return server.listen(QHostAddress::AnyIPv4, 502);
    }

    bool listening = false;
};

// Writes the controller settings as the fake holds them but for a new line
// address and IPv4 address (in the controller's RAM only).
inline void sendNewAddress(LantrelDriver *driver, const FakeController &fake, int lineAddress,
                           const QString &ip)
{
    LantrelProtocol::Konfig_Device_t dev = fake.record<LantrelProtocol::Konfig_Device_t>(3, 0);
    LantrelProtocol::ETH_konf_t net = fake.record<LantrelProtocol::ETH_konf_t>(4, 0);
    dev.LineAddr = quint16(lineAddress);
    net.IPAddr = QHostAddress(ip).toIPv4Address();
    driver->setControllerConfig(fake.fileBytes(28), dev, net,
                                fake.record<LantrelProtocol::Konfig_Line_t>(8, 0));
}

// One fake controller on its own loopback address (a new 127.0.x.y for each
// rig of the process) with one driver on it.
struct HostRig
{
    FakeController fake;
    FakeTcpServer server{&fake};
    std::unique_ptr<LantrelDriver> driver;
    QHostAddress host;

    HostRig()
    {
        static int next = 1;
        host = QHostAddress(QStringLiteral("127.0.%1.%2").arg(next / 200 + 1).arg(next % 200 + 1));
        ++next;
    }
    ~HostRig()
    {
        if (driver)
            driver->stop();
    }

    // Listens, then starts the driver with these settings and waits for its
    // first clock read.
    bool startDriver(bool monitoring, bool readEvents)
    {
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), monitoring);
        appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), readEvents);
        appSettings->sync();
        fake.setIpAddress(host);
        if (!server.listen(host, 502))
            return false;
        driver.reset(new LantrelDriver(0, host.toString(), fake.unitId()));
        QSignalSpy clock(driver.get(), &LantrelDriver::controllerDateTime);
        driver->start();
        return clock.wait(5000);
    }
};

// A rig for command tests: no read of events, monitoring off unless asked,
// and an empty request log once connected, so that the log holds only what
// the command under test sent.
struct CommandRig : HostRig
{
    bool start(bool monitoring = false)
    {
        if (!startDriver(monitoring, false))
            return false;
        QTest::qWait(20);
        fake.clearLog();
        return true;
    }
};

// Requests of the log with this function code (and start address and
// register count, when given).
inline int countRequests(const QList<FakeRequest> &log, int function, int address = -1, int count = -1)
{
    int n = 0;
    for (const FakeRequest &r : log) {
        if (r.function == function && (address < 0 || r.address == address)
            && (count < 0 || r.count == count))
            ++n;
    }
    return n;
}

// Waits until `spy` has at least `count` entries.
inline bool waitForCount(QSignalSpy &spy, int count, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (spy.count() < count && t.elapsed() < timeoutMs)
        spy.wait(qMax<qint64>(1, qMin<qint64>(200, timeoutMs - t.elapsed())));
    return spy.count() >= count;
}

inline int countValue(const QSignalSpy &spy, const QVariant &value, int arg = 0)
{
    int n = 0;
    for (const QList<QVariant> &args : spy)
        if (args.value(arg) == value)
            ++n;
    return n;
}

inline QStringList texts(const QSignalSpy &spy, int arg = 0)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << args.value(arg).toString();
    return out;
}

template <typename T>
QByteArray encodeAll(const QVector<T> &records)
{
    QByteArray out;
    for (const T &r : records)
        out.append(FakeController::encode(r));
    return out;
}

} // namespace DriverTest

#endif // DRIVERTESTSUPPORT_H
