// Link driver benchmark against the in-process fake line controller, with
// its references measured side by side in the same run:
//  - Modbus TCP on loopback: the driver's whole configuration read (127
//    requests) against a bare Qt client loop that sends the same requests,
//    each from the previous reply's finished(); target: within 3 times.
//  - Modbus RTU on a paced serial line: a relay between two pseudo-terminal
//    pairs delivers every byte at 115200 baud 8N2 (11 bits a character) on
//    one shared half-duplex line and keeps 3.5 characters of silence before
//    a frame; the driver's whole read against a bare Qt RTU master sending
//    the same requests on the same line; target: within 1.02 times. Shown
//    beside it, the least a compliant line allows: the bytes' character
//    time, plus 1.75 ms before each request (the serial line's inter-frame
//    time above 19200 baud) and 3.5 characters before each reply.
// The whole write (126 requests) is timed too, for information.
//
// Binds port 502: run it in a private network namespace,
//   tests/support/netns-run.sh build-bench/bench/driverbench [rounds]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSerialPort>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <deque>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "appglobals.h"
#include "benchsupport.h"
#include "fakecontroller.h"
#include "fakertuserver.h"
#include "faketcpserver.h"
#include "lantreldriver.h"
#include "lantrelprotocol.h"

using namespace LantrelProtocol;

namespace {

const int unitId = 3;
const double tcpTarget = 3.0;
const double rtuTarget = 1.02;
const qint64 charNs = 11LL * 1000000000LL / 115200;   // one character on the wire
const qint64 requestGapNs = 1750000;                  // before each request above 19200 baud
const int readRequests = 127;

// The least time a compliant line needs for `bytes` in `requests` exchanges.
double compliantWireMs(qint64 bytes, int requests)
{
    return (double(bytes) * double(charNs) + requests * (double(requestGapNs) + 3.5 * double(charNs))) / 1e6;
}

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// One RS-485 line between two pseudo-terminal pairs: the program opens one
// pair's terminal, the controller the other's, and the relay between their
// master sides hands each byte on when it would have crossed a 115200 baud
// wire. Both directions share the line; a frame (bytes that do not follow
// the line's last byte at once, or that go the other way) starts 3.5
// characters after the line went quiet.
class PacedLine : public QThread
{
public:
    bool open(QString *error)
    {
        for (int i = 0; i < 2; ++i) {
            m_master[i] = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (m_master[i] < 0 || grantpt(m_master[i]) != 0 || unlockpt(m_master[i]) != 0) {
                *error = QStringLiteral("no pseudo-terminal");
                return false;
            }
            m_name[i] = QString::fromLocal8Bit(ptsname(m_master[i]));
            // Held open in raw mode: no echo before a program sets its own
            // mode, and no hang-up while nobody else has the terminal open.
            m_terminal[i] = ::open(ptsname(m_master[i]), O_RDWR | O_NOCTTY);
            termios tio {};
            if (m_terminal[i] < 0 || tcgetattr(m_terminal[i], &tio) != 0) {
                *error = QStringLiteral("cannot open ") + m_name[i];
                return false;
            }
            cfmakeraw(&tio);
            tcsetattr(m_terminal[i], TCSANOW, &tio);
        }
        return true;
    }
    ~PacedLine() override
    {
        m_stop = true;
        wait();
        for (int i = 0; i < 2; ++i) {
            if (m_terminal[i] >= 0)
                ::close(m_terminal[i]);
            if (m_master[i] >= 0)
                ::close(m_master[i]);
        }
    }
    QString programEnd() const { return m_name[0]; }
    QString controllerEnd() const { return m_name[1]; }
    qint64 bytesCarried() const { return m_bytes.load(); }

protected:
    void run() override
    {
        prctl(PR_SET_TIMERSLACK, 1UL);   // wake up on time, not up to 50 us late
        struct Byte { char value; qint64 dueNs; };
        std::deque<Byte> pending[2];   // by the side the bytes go to
        qint64 lineFreeNs = 0;
        int lineFrom = -1;
        char buffer[512];
        while (!m_stop) {
            qint64 now = monotonicNs();
            for (int to = 0; to < 2; ++to) {
                QByteArray due;
                while (!pending[to].empty() && pending[to].front().dueNs <= now) {
                    due.append(pending[to].front().value);
                    pending[to].pop_front();
                }
                if (!due.isEmpty() && ::write(m_master[to], due.constData(), size_t(due.size())) < 0)
                    return;
            }
            qint64 waitNs = 20000000;
            for (const auto &queue : pending)
                if (!queue.empty())
                    waitNs = qMin(waitNs, qMax<qint64>(0, queue.front().dueNs - now));
            pollfd fds[2] = {{m_master[0], POLLIN, 0}, {m_master[1], POLLIN, 0}};
            const timespec timeout {time_t(waitNs / 1000000000LL), long(waitNs % 1000000000LL)};
            if (ppoll(fds, 2, &timeout, nullptr) <= 0)
                continue;
            now = monotonicNs();
            for (int from = 0; from < 2; ++from) {
                if (!(fds[from].revents & POLLIN))
                    continue;
                const ssize_t n = ::read(m_master[from], buffer, sizeof buffer);
                for (ssize_t k = 0; k < n; ++k) {
                    const bool sameFrame = lineFrom == from && now <= lineFreeNs;
                    const qint64 start = sameFrame ? lineFreeNs : qMax(now, lineFreeNs + 7 * charNs / 2);
                    lineFreeNs = start + charNs;
                    lineFrom = from;
                    pending[1 - from].push_back({buffer[k], lineFreeNs});
                }
                if (n > 0)
                    m_bytes += n;
            }
        }
    }

private:
    int m_master[2] = {-1, -1};
    int m_terminal[2] = {-1, -1};
    QString m_name[2];
    std::atomic<bool> m_stop {false};
    std::atomic<qint64> m_bytes {0};
};

// The requests of a whole configuration read, as the driver builds them.
QList<QModbusRequest> wholeReadRequests()
{
    auto fileRead = [](const QVector<QVector<quint16>> &subs) {
        QByteArray p;
        QDataStream s(&p, QIODevice::WriteOnly);
        s.setByteOrder(QDataStream::BigEndian);
        s << quint8(7 * subs.size());
        for (const QVector<quint16> &sub : subs)
            s << quint8(6) << sub.at(0) << sub.at(1) << sub.at(2);
        return QModbusRequest(QModbusPdu::FunctionCode(20), p);
    };
    QList<QModbusRequest> list;
    list << fileRead({{3, 0, 16}, {4, 0, 12}, {8, 0, 4}, {28, 0, 32}});
    const struct { quint16 file; int n, per, regs; } tables[] = {
        {10, 500, 15, 8}, {15, 100, 15, 8}, {20, 32, 15, 8}, {17, 4, 2, 38}, {13, 500, 40, 3}, {11, 4000, 60, 2}};
    for (const auto &t : tables)
        for (int r = 0; r < t.n; r += t.per)
            list << fileRead({{t.file, quint16(r), quint16(qMin(t.per, t.n - r) * t.regs)}});
    return list;
}

// The same reads from a bare Qt client, each sent from the previous
// reply's finished(); -1 when it cannot connect.
double bareReadMs(QModbusClient &client)
{
    client.connectDevice();
    if (!Bench::waitFor(&client, &QModbusDevice::stateChanged,
                        [&]() { return client.state() == QModbusDevice::ConnectedState; }, 5000))
        return -1;

    const QList<QModbusRequest> requests = wholeReadRequests();
    int next = 0;
    int answered = 0;
    QEventLoop loop;
    std::function<void()> send = [&]() {
        QModbusReply *reply = next < requests.size() ? client.sendRawRequest(requests.at(next++), unitId) : nullptr;
        if (!reply) {
            loop.quit();
            return;
        }
        QObject::connect(reply, &QModbusReply::finished, &loop, [&, reply]() {
            answered += reply->rawResult().data().isEmpty() ? 0 : 1;
            reply->deleteLater();
            send();
        });
    };
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer t;
    t.start();
    send();
    limit.start(30000);
    loop.exec();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    return answered == requests.size() ? ms : -1;
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

struct DriverFigures {
    double readMs = -1;
    double writeMs = -1;
    int failures = 0;
    bool writtenAsSent = false;
};

// A driver in a worker thread on the given link: a whole read, then a whole
// write of another configuration. `measuring` frames each timed part.
DriverFigures runDriver(FakeController &fake, uint connType, const QString &address,
                        const std::function<void(bool)> &measuring)
{
    DriverFigures f;
    QThread thread;
    auto *driver = new LantrelDriver(connType, address, unitId);
    driver->moveToThread(&thread);
    QObject::connect(&thread, &QThread::started, driver, &LantrelDriver::start);
    // Direct: this thread waits for the worker below without running events.
    QObject::connect(driver, &LantrelDriver::finished, &thread, &QThread::quit, Qt::DirectConnection);
    QObject::connect(&thread, &QThread::finished, driver, &QObject::deleteLater);

    QObject context;
    int reads = 0, writes = 0;
    bool clockRead = false;
    QObject::connect(driver, &LantrelDriver::controllerDateTime, &context, [&]() { clockRead = true; });
    QObject::connect(driver, &LantrelDriver::readCompleted, &context, [&](bool ok) { ++reads; f.failures += ok ? 0 : 1; });
    QObject::connect(driver, &LantrelDriver::writeCompleted, &context, [&](bool ok) { ++writes; f.failures += ok ? 0 : 1; });

    thread.start();
    if (!Bench::waitFor(driver, &LantrelDriver::controllerDateTime, [&]() { return clockRead; }, 10000)) {
        out() << "  no connection to the fake controller\n";
    } else {
        QElapsedTimer t;
        measuring(true);
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
        if (Bench::waitFor(driver, &LantrelDriver::readCompleted, [&]() { return reads >= 127; }, 60000))
            f.readMs = double(t.nsecsElapsed()) / 1e6;
        measuring(false);

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
        measuring(true);
        t.restart();
        QMetaObject::invokeMethod(driver, [=]() {
            driver->setControllerConfig(block, dev, net, line);
            driver->setSensorsConfig(sensors);
            driver->setIoModulesConfig(io);
            driver->setScpModulesConfig(scp);
            driver->setRelayModulesConfig(relays, false);
            driver->setProcessingConfig(proc);
            driver->setInteractionsConfig(inter);
        }, Qt::QueuedConnection);
        if (Bench::waitFor(driver, &LantrelDriver::writeCompleted, [&]() { return writes >= 126; }, 60000))
            f.writeMs = double(t.nsecsElapsed()) / 1e6;
        measuring(false);
        f.writtenAsSent = fake.fileBytes(11) == source.fileBytes(11) && fake.fileBytes(10) == source.fileBytes(10);
    }

    QMetaObject::invokeMethod(driver, "stop", Qt::QueuedConnection);
    thread.wait(10000);
    return f;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

void reportDriver(const DriverFigures &f)
{
    out() << QString("  driver whole write: %1 ms, 126 requests").arg(f.writeMs, 0, 'f', 1) << "\n";
    if (f.failures)
        out() << "  " << f.failures << " operations failed\n";
    if (!f.writtenAsSent)
        out() << "  the written configuration differs from the one sent\n";
}

// Returns the ratio of the driver's read to the bare loop's.
double tcpRound()
{
    FakeController fake;
    fake.loadGeneratedConfiguration(unitId, QHostAddress(QStringLiteral("127.0.0.1")));
    FakeTcpServer server(&fake);
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502)) {
        out() << "cannot listen on 127.0.0.1:502 (run it through tests/support/netns-run.sh)\n";
        return -1;
    }
    QModbusTcpClient bare;
    bare.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    bare.setConnectionParameter(QModbusDevice::NetworkPortParameter, 502);
    const double bareMs = bareReadMs(bare);
    bare.disconnectDevice();
    const DriverFigures f = runDriver(fake, 0, QStringLiteral("127.0.0.1"), [](bool) {});
    const double ratio = bareMs > 0 && f.readMs > 0 ? f.readMs / bareMs : -1;
    out() << "Modbus TCP, 127.0.0.1:502\n";
    out() << QString("  bare Qt client loop, same 127 reads: %1 ms").arg(bareMs, 0, 'f', 1) << "\n";
    out() << QString("  driver whole read: %1 ms = %2 x the bare loop (target %3 x)")
                 .arg(f.readMs, 0, 'f', 1).arg(ratio, 0, 'f', 2).arg(tcpTarget, 0, 'f', 2) << "\n";
    reportDriver(f);
    out().flush();
    return ratio;
}

// Returns the ratio of the driver's read to the bare Qt RTU loop's.
double rtuRound()
{
    FakeController fake;
    fake.loadGeneratedConfiguration(unitId);
    PacedLine line;
    QString error;
    if (!line.open(&error)) {
        out() << error << "\n";
        return -1;
    }
    line.start();
    FakeRtuServer server(&fake);
    if (!server.open(line.controllerEnd())) {
        out() << "cannot open " << line.controllerEnd() << "\n";
        return -1;
    }

    // Qt's own pace on this line, for comparison.
    double bareMs = -1;
    qint64 bareBytes = -1;
    {
        QModbusRtuSerialMaster bare;
        bare.setConnectionParameter(QModbusDevice::SerialPortNameParameter, line.programEnd());
        bare.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, QSerialPort::Baud115200);
        bare.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
        bare.setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
        bare.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::TwoStop);
        const qint64 before = line.bytesCarried();
        bareMs = bareReadMs(bare);
        bareBytes = line.bytesCarried() - before;
        bare.disconnectDevice();
    }

    qint64 bytesAtStart = 0;
    qint64 readBytes = -1;
    bool inRead = true;
    const DriverFigures f = runDriver(fake, 1, line.programEnd(), [&](bool starting) {
        if (starting) {
            bytesAtStart = line.bytesCarried();
        } else if (inRead) {
            readBytes = line.bytesCarried() - bytesAtStart;
            inRead = false;
        }
    });
    const double wireMs = compliantWireMs(readBytes, readRequests);
    const double bareWireMs = compliantWireMs(bareBytes, readRequests);
    const double ratio = bareMs > 0 && f.readMs > 0 ? f.readMs / bareMs : -1;
    out() << "Modbus RTU, paced line at 115200 baud 8N2 between two pty pairs\n";
    out() << QString("  bare Qt client loop, same %1 reads: %2 ms = %3 x the compliant wire limit of its %4 bytes")
                 .arg(readRequests).arg(bareMs, 0, 'f', 1).arg(bareMs / bareWireMs, 0, 'f', 3).arg(bareBytes) << "\n";
    out() << QString("  driver whole read: %1 ms = %2 x the bare loop (target %3 x)")
                 .arg(f.readMs, 0, 'f', 1).arg(ratio, 0, 'f', 3).arg(rtuTarget, 0, 'f', 2) << "\n";
    out() << QString("  compliant wire limit of the read's %1 bytes: %2 ms (bytes %3 ms, 1.75 ms before each "
                     "request, 3.5 characters before each reply); the read takes %4 x it")
                 .arg(readBytes).arg(wireMs, 0, 'f', 1).arg(double(readBytes) * double(charNs) / 1e6, 0, 'f', 1)
                 .arg(f.readMs / wireMs, 0, 'f', 3) << "\n";
    reportDriver(f);
    out().flush();
    return ratio;
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

    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;
    QVector<double> tcp, rtu;
    for (int round = 1; round <= rounds; ++round) {
        out() << "round " << round << "\n";
        tcp << tcpRound();
        rtu << rtuRound();
    }

    const double tcpRatio = median(tcp);
    const double rtuRatio = median(rtu);
    const bool tcpMet = tcpRatio > 0 && tcpRatio <= tcpTarget;
    const bool rtuMet = rtuRatio > 0 && rtuRatio <= rtuTarget;
    out() << QString("median of %1 rounds: TCP read %2 x the bare loop (target %3 x): %4; "
                     "RTU read %5 x the bare loop (target %6 x): %7")
                 .arg(rounds)
                 .arg(tcpRatio, 0, 'f', 2).arg(tcpTarget, 0, 'f', 2).arg(tcpMet ? "met" : "NOT met")
                 .arg(rtuRatio, 0, 'f', 3).arg(rtuTarget, 0, 'f', 2).arg(rtuMet ? "met" : "NOT met")
          << "\n";
    out().flush();

    delete appSettings;
    appSettings = nullptr;
    return tcpMet && rtuMet ? 0 : 2;
}
