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
#include "largestconfiguration.h"
#include "faketcpserver.h"
#include "lantrelclient.h"

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
        LargestConfiguration::fill(source);
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
