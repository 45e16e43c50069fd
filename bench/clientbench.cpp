// Client benchmark: a whole configuration read into the models and a whole
// write from them against the in-process fake line controller (Modbus TCP on
// loopback), then, offline, saving and loading the largest configuration the
// tables hold as a file.
//
// Binds port 502: run it in a private network namespace,
//   tests/support/netns-run.sh build-bench/bench/clientbench [rounds]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include "appglobals.h"
#include "benchsupport.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "processingconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

long peakRssKb()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// 500 sensors, 100 I/O modules, 32 line-protection modules, 4 relay modules
// and 4000 interactions: 6 per sensor, 5 per input loop.
void fillLargest(LantrelClient &client)
{
    for (int k = 0; k < 500; ++k) {
        SensorModuleRecord s;
        s.lineAddress = quint16(k + 1);
        s.serialNumber = quint32(((2024 - 20) << 18) | (k + 1));
        s.serialNumberText = serialNumberToString(s.serialNumber);
        s.deviceType = k % 2 ? SECT_ACC : SECT_ACCI;
        s.range = 2;
        s.irThreshold = s.deviceType == SECT_ACCI ? 40 : 0;
        s.refCount = 6;
        client.sensorsConfigModel()->setModule(quint16(k), s);
        ProcessingRuleRecord rule;
        rule.lineAddress = s.lineAddress;
        rule.config.MRef = 100;
        rule.config.NExc = 3;
        rule.config.SensLeft = -3;
        rule.config.SensRight = 3;
        client.processingConfigModel()->setRule(quint16(k), rule);
    }
    for (int k = 0; k < 100; ++k) {
        IoModuleRecord io;
        io.lineAddress = quint16(k + 1);
        io.serialNumber = quint32(((2024 - 20) << 18) | (1000 + k));
        io.deviceType = SECT_MVV;
        io.config = 0xF0;
        io.loop1Mode = 3;
        io.loop2Mode = 3;
        io.loop1RefCount = 5;
        io.loop2RefCount = 5;
        client.ioModulesConfigModel()->setModule(quint16(k), io);
    }
    for (int k = 0; k < 32; ++k) {
        ScpModuleRecord scp;
        scp.lineAddress = quint16(k + 1);
        scp.serialNumber = quint32(((2024 - 20) << 18) | (2000 + k));
        scp.deviceType = SECT_MKZ;
        scp.thrMin = 16490;
        scp.thrOff = 15990;
        scp.thrOn = 4070;
        client.scpModulesConfigModel()->setModule(quint16(k), scp);
    }
    for (int k = 0; k < 4; ++k) {
        RelayModuleRecord r;
        r.configIndex = quint16(k);
        r.ipAddress = QStringLiteral("10.0.0.%1").arg(10 + k);
        r.config.IPAddr = QHostAddress(r.ipAddress).toIPv4Address();
        r.config.LineAddr = quint8(k + 1);
        r.config.ExpMod = 1;
        for (int relay = 0; relay < 32; ++relay) {
            r.config.Relays[relay].RelayNum = quint8(relay + 1);
            r.config.Relays[relay].TSign = quint8(relay);
        }
        client.relayModulesConfigModel()->setModule(r);
    }
    int row = 0;
    auto add = [&](int kind, quint16 addr, quint8 loop) {
        InteractionRecord rec;
        rec.sourceKind = kind;
        rec.sourceAddress = addr;
        rec.sourceLoop = loop;
        rec.executorType = row % 2 ? EXT_RELY : SECT_MVV;
        rec.executorNumber = rec.executorType == EXT_RELY ? quint16(row % 4 + 1) : quint16(row % 100 + 1);
        rec.relay = rec.executorType == EXT_RELY ? quint8(row % 32 + 1) : 0;
        rec.function = 255;
        client.interactionsConfigModel()->updateInteraction(quint16(row++), rec);
    };
    for (int k = 0; k < 500; ++k)
        for (int n = 0; n < 6; ++n)
            add(SensorModuleSource, quint16(k + 1), 0);
    for (int k = 0; k < 100; ++k) {
        for (int n = 0; n < 5; ++n)
            add(IoLoopSource, quint16(k + 1), 1);
        for (int n = 0; n < 5; ++n)
            add(IoLoopSource, quint16(k + 1), 2);
    }
}

void benchController(int rounds)
{
    FakeController fake;
    fake.loadGeneratedConfiguration(3, QHostAddress(QStringLiteral("127.0.0.1")), 500, 100, 32);
    FakeTcpServer server(&fake);
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502)) {
        out() << "cannot listen on 127.0.0.1:502 (run inside tests/support/netns-run.sh)\n";
        return;
    }
    LantrelClient client;
    bool connected = false;
    QObject::connect(&client, &LantrelClient::deviceConnected, [&]() { connected = true; });
    int datasets = 0;
    int writes = 0;
    QObject::connect(&client, &LantrelClient::datasetChanged, [&]() { ++datasets; });
    QObject::connect(&client, &LantrelClient::writeFinished, [&]() { ++writes; });
    client.connectToDevice(0, QStringLiteral("127.0.0.1"), 3);
    if (!Bench::waitFor(&client, &LantrelClient::deviceConnected, [&]() { return connected; }, 10000)) {
        out() << "no connection to the fake controller\n";
        return;
    }

    for (int r = 0; r < rounds; ++r) {
        fake.clearLog();
        QElapsedTimer t;
        t.start();
        const int before = datasets;
        client.readConfiguration();
        Bench::waitFor(&client, &LantrelClient::datasetChanged, [&]() { return datasets > before; }, 60000);
        const qint64 readMs = t.elapsed();
        const int readRequests = fake.requestLog().size();

        fake.clearLog();
        t.restart();
        const int writesBefore = writes;
        client.writeConfiguration();
        Bench::waitFor(&client, &LantrelClient::writeFinished, [&]() { return writes > writesBefore; }, 60000);
        const qint64 writeMs = t.elapsed();
        out() << QStringLiteral("client over TCP, round %1: read into the models %2 ms (%3 requests), "
                                "write from the models %4 ms (%5 requests)\n")
                     .arg(r + 1).arg(readMs).arg(readRequests).arg(writeMs).arg(fake.requestLog().size());
        out().flush();
    }
    client.shutdownDriver();
}

void benchFiles(int rounds, const QString &dir)
{
    const QString path = dir + QStringLiteral("/largest.xml");
    for (int r = 0; r < rounds; ++r) {
        const long rssStart = peakRssKb();
        LantrelClient source;
        fillLargest(source);
        QElapsedTimer t;
        t.start();
        source.saveConfigFile(path);
        const qint64 saveMs = t.elapsed();
        const long rssSave = peakRssKb();

        LantrelClient target;
        int datasets = 0;
        QObject::connect(&target, &LantrelClient::datasetChanged, [&]() { ++datasets; });
        t.restart();
        target.loadConfigFile(path);
        Bench::waitFor(&target, &LantrelClient::datasetChanged, [&]() { return datasets > 0; }, 60000);
        const qint64 loadMs = t.elapsed();
        const long rssLoad = peakRssKb();

        out() << QStringLiteral("file, round %1: save %2 ms, load %3 ms, %4 KiB on disk, "
                                "peak RSS %5 MiB (%6 MiB at start)\n")
                     .arg(r + 1).arg(saveMs).arg(loadMs).arg(QFileInfo(path).size() / 1024)
                     .arg(qMax(rssSave, rssLoad) / 1024).arg(rssStart / 1024);
        out().flush();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;

    QTemporaryDir dir;
    appDataPath = dir.path();
    QSettings settings(dir.filePath(QStringLiteral("lantrelprog.ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    settings.sync();
    appSettings = &settings;

    benchController(rounds);
    benchFiles(rounds, dir.path());
    return 0;
}
