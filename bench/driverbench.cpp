// Link driver benchmark against the in-process fake line controller:
// wall time and request count of a whole configuration read and a whole
// write, over Modbus TCP on loopback and over Modbus RTU on a socat
// pseudo-terminal pair, and the driver's mean time per request beyond the
// bare round trip of the same requests.
//
// Binds port 502 and starts socat: run it in a private network namespace,
//   tests/support/netns-run.sh build-bench/bench/driverbench [rounds]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSerialPort>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <functional>

#include "appglobals.h"
#include "fakecontroller.h"
#include "fakertuserver.h"
#include "faketcpserver.h"
#include "lantreldriver.h"
#include "lantrelprotocol.h"

using namespace LantrelProtocol;

namespace {

const int unitId = 3;

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

// Runs the event loop until done() is true or the time is up.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return done();
}

template <typename T>
QMap<quint16, T> tableMap(const FakeController &source, int file, int count)
{
    QMap<quint16, T> map;
    const QVector<T> all = source.records<T>(file);
    for (int i = 0; i < count; ++i)
        map.insert(quint16(i), all.at(i));
    return map;
}

struct Figures {
    double readMs = 0;
    int readRequests = 0;
    double writeMs = 0;
    int writeRequests = 0;
    double roundTripMs = 0; // mean bare round trip of the read requests
};

// The read requests of a whole configuration read, as the driver builds them.
QList<QModbusRequest> wholeReadRequests()
{
    QList<QModbusRequest> list;
    auto file = [](quint16 f, quint16 r, quint16 len) {
        QByteArray p;
        QDataStream s(&p, QIODevice::WriteOnly);
        s.setByteOrder(QDataStream::BigEndian);
        s << quint8(7) << quint8(6) << f << r << len;
        return QModbusRequest(QModbusPdu::FunctionCode(20), p);
    };
    QByteArray cfg;
    {
        QDataStream s(&cfg, QIODevice::WriteOnly);
        s.setByteOrder(QDataStream::BigEndian);
        s << quint8(28);
        const quint16 files[] = {3, 4, 8, 28};
        const quint16 lens[] = {16, 12, 4, 32};
        for (int i = 0; i < 4; ++i)
            s << quint8(6) << files[i] << quint16(0) << lens[i];
    }
    list << QModbusRequest(QModbusPdu::FunctionCode(20), cfg);
    const struct { quint16 file; int n, per, regs; } tables[] = {
        {10, 500, 15, 8}, {15, 100, 15, 8}, {20, 32, 15, 8}, {17, 4, 2, 38}, {13, 500, 40, 3}, {11, 4000, 60, 2}};
    for (const auto &t : tables)
        for (int r = 0; r < t.n; r += t.per)
            list << file(t.file, quint16(r), quint16(qMin(t.per, t.n - r) * t.regs));
    return list;
}

// Mean round trip of the same requests sent back to back by a bare Qt
// Modbus client: the transport's own cost, without the driver's loop.
double bareRoundTrip(QModbusClient *client)
{
    const QList<QModbusRequest> requests = wholeReadRequests();
    if (!waitFor([client]() { return client->state() == QModbusDevice::ConnectedState; }, 5000))
        return -1;
    QElapsedTimer t;
    t.start();
    int empty = 0;
    for (const QModbusRequest &req : requests) {
        QModbusReply *reply = client->sendRawRequest(req, unitId);
        if (!reply)
            return -1;
        waitFor([reply]() { return reply->isFinished(); }, 5000);
        empty += reply->rawResult().data().isEmpty() ? 1 : 0;
        delete reply;
    }
    const double mean = double(t.nsecsElapsed()) / 1e6 / requests.size();
    if (empty)
        out() << "  " << empty << " bare requests got no data\n";
    return mean;
}

Figures runDriver(FakeController &fake, uint connType, const QString &address)
{
    Figures f;
    auto *thread = new QThread;
    auto *driver = new LantrelDriver(connType, address, unitId);
    driver->moveToThread(thread);
    QObject::connect(thread, &QThread::started, driver, &LantrelDriver::start);
    QObject::connect(driver, &LantrelDriver::finished, thread, &QThread::quit);

    QObject context;
    int reads = 0, writes = 0, failures = 0;
    bool clockRead = false, finished = false;
    QObject::connect(driver, &LantrelDriver::controllerDateTime, &context, [&]() { clockRead = true; });
    QObject::connect(driver, &LantrelDriver::readCompleted, &context, [&](bool ok) { ++reads; failures += ok ? 0 : 1; });
    QObject::connect(driver, &LantrelDriver::writeCompleted, &context, [&](bool ok) { ++writes; failures += ok ? 0 : 1; });
    QObject::connect(driver, &LantrelDriver::finished, &context, [&]() { finished = true; });

    thread->start();
    if (!waitFor([&]() { return clockRead; }, 10000)) {
        out() << "  no connection to the fake controller\n";
    } else {
        fake.clearLog();
        QElapsedTimer t;
        t.start();
        QMetaObject::invokeMethod(driver, [driver]() {
            driver->getControllerConfig();
            driver->getSensorsConfig();
            driver->getIoModulesConfig();
            driver->getScpModulesConfig();
            driver->getRelayModulesConfig();
            driver->getProcessingConfig();
            driver->getInteractionsConfig();
        }, Qt::QueuedConnection);
        waitFor([&]() { return reads >= 127; }, 60000);
        f.readMs = double(t.nsecsElapsed()) / 1e6;
        f.readRequests = fake.requestLog().size();

        FakeController source;
        source.loadGeneratedConfiguration(unitId, fake.ipAddress(), 480, 90, 30);
        const auto sensors = tableMap<Konfig_Section_t>(source, 10, 500);
        const auto io = tableMap<Konfig_MVV_t>(source, 15, 100);
        const auto scp = tableMap<Konfig_MKZ_t>(source, 20, 32);
        const auto relays = tableMap<Konfig_Modul_t>(source, 17, 4);
        const auto proc = tableMap<Konfig_Proc_t>(source, 13, 500);
        const auto inter = tableMap<Control_Relay_t>(source, 11, 4000);
        const QByteArray block = source.fileBytes(28);
        const auto dev = source.record<Konfig_Device_t>(3, 0);
        const auto net = source.record<ETH_konf_t>(4, 0);
        const auto line = source.record<Konfig_Line_t>(8, 0);

        fake.clearLog();
        t.restart();
        QMetaObject::invokeMethod(driver, [=]() {
            driver->setControllerConfig(block, dev, net, line);
            driver->setSensorsConfig(sensors);
            driver->setIoModulesConfig(io);
            driver->setScpModulesConfig(scp);
            driver->setRelayModulesConfig(relays, true);
            driver->setProcessingConfig(proc);
            driver->setInteractionsConfig(inter);
        }, Qt::QueuedConnection);
        waitFor([&]() { return writes >= 127; }, 60000);
        f.writeMs = double(t.nsecsElapsed()) / 1e6;
        f.writeRequests = fake.requestLog().size();
        if (failures)
            out() << "  " << failures << " operations failed\n";
        if (fake.fileBytes(11) != source.fileBytes(11) || fake.fileBytes(10) != source.fileBytes(10))
            out() << "  the written configuration differs from the source\n";
    }

    QMetaObject::invokeMethod(driver, "stop", Qt::QueuedConnection);
    waitFor([&]() { return finished && thread->isFinished(); }, 10000);
    delete driver;
    delete thread;
    return f;
}

// The whole read may take at most 1.25 x its 127 requests x (2 ms + round trip).
double readTargetMs(const Figures &f)
{
    return 1.25 * 127 * (2.0 + f.roundTripMs);
}

void report(const QString &name, const Figures &f)
{
    const double perRead = f.readRequests ? f.readMs / f.readRequests : 0;
    const double perWrite = f.writeRequests ? f.writeMs / f.writeRequests : 0;
    const double target = readTargetMs(f);
    out() << name << "\n";
    out() << QString("  whole read : %1 ms, %2 requests, %3 ms per request")
                 .arg(f.readMs, 0, 'f', 1).arg(f.readRequests).arg(perRead, 0, 'f', 3) << "\n";
    out() << QString("  whole write: %1 ms, %2 requests, %3 ms per request")
                 .arg(f.writeMs, 0, 'f', 1).arg(f.writeRequests).arg(perWrite, 0, 'f', 3) << "\n";
    out() << QString("  bare round trip (same reads, plain Qt client): %1 ms")
                 .arg(f.roundTripMs, 0, 'f', 3) << "\n";
    out() << QString("  driver time per read beyond the round trip: %1 ms")
                 .arg(perRead - f.roundTripMs, 0, 'f', 3) << "\n";
    out() << QString("  read target 1.25 x 127 x (2 ms + round trip) = %1 ms: %2")
                 .arg(target, 0, 'f', 1).arg(f.readMs <= target ? "met" : "NOT met") << "\n";
    out().flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    registerMetaTypes();

    // The driver reads its settings from appSettings in its constructor.
    QTemporaryDir dir;
    appDataPath = dir.path();
    appSettings = new QSettings(dir.filePath(QStringLiteral("lantrelprog.ini")), QSettings::IniFormat);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->setValue(QStringLiteral("Driver/EnableDebugLog"), false);
    appSettings->sync();

    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1;
    int status = 0;

    for (int round = 1; round <= rounds; ++round) {
        if (rounds > 1)
            out() << "round " << round << "\n";

        // Modbus TCP on loopback.
        {
            FakeController fake;
            fake.loadGeneratedConfiguration(unitId, QHostAddress(QStringLiteral("127.0.0.1")));
            FakeTcpServer server(&fake);
            if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502)) {
                out() << "cannot listen on 127.0.0.1:502 (run it through tests/support/netns-run.sh)\n";
                return 1;
            }
            Figures f;
            {
                QModbusTcpClient bare;
                bare.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
                bare.setConnectionParameter(QModbusDevice::NetworkPortParameter, 502);
                bare.connectDevice();
                f.roundTripMs = bareRoundTrip(&bare);
                bare.disconnectDevice();
            }
            const Figures d = runDriver(fake, 0, QStringLiteral("127.0.0.1"));
            f.readMs = d.readMs, f.readRequests = d.readRequests;
            f.writeMs = d.writeMs, f.writeRequests = d.writeRequests;
            report(QStringLiteral("Modbus TCP, 127.0.0.1:502"), f);
            if (f.readMs > readTargetMs(f))
                status = 2;
        }

        // Modbus RTU on a pseudo-terminal pair.
        {
            FakeController fake;
            fake.loadGeneratedConfiguration(unitId);
            FakeRtuLine line(&fake);
            if (!line.start()) {
                out() << "no serial line to the fake: " << line.errorText() << "\n";
                return 1;
            }
            const QString port = line.clientPortName();
            Figures f;
            {
                QModbusRtuSerialMaster bare;
                bare.setConnectionParameter(QModbusDevice::SerialPortNameParameter, port);
                bare.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, QSerialPort::Baud115200);
                bare.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
                bare.setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
                bare.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::TwoStop);
                bare.connectDevice();
                f.roundTripMs = bareRoundTrip(&bare);
                bare.disconnectDevice();
            }
            const Figures d = runDriver(fake, 1, port);
            f.readMs = d.readMs, f.readRequests = d.readRequests;
            f.writeMs = d.writeMs, f.writeRequests = d.writeRequests;
            report(QStringLiteral("Modbus RTU, socat pty pair ") + port, f);
        }
    }

    delete appSettings;
    appSettings = nullptr;
    return status;
}
