// The controller search runs between two network namespaces that this test
// makes itself: the client in the test's own namespace on one end of a veth
// pair, a responder process in a new namespace on the other end. Nothing
// leaves these two namespaces.

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include <cstdlib>

#include "lantrelclient.h"

namespace {
const char *const ClientIp = "192.0.2.1";
constexpr quint16 SearchPort = 49502;

QByteArray reply(quint16 protocol, int lengthDelta, quint8 function, quint8 byteCount,
                 quint16 devType, quint16 reg7, int truncateTo = -1)
{
    QByteArray d;
    auto put16 = [&d](quint16 v) { d.append(char(v >> 8)).append(char(v & 0xFF)); };
    put16(1);
    put16(protocol);
    put16(0);   // length, set below
    d.append(char(0)).append(char(function)).append(char(byteCount));
    put16(2024);      // production year
    put16(17);        // serial number
    put16(devType);
    for (int k = 0; k < 4; ++k)
        put16(0);
    put16(reg7);
    if (truncateTo >= 0)
        d.truncate(truncateTo);
    const quint16 length = quint16(d.size() - 6 + lengthDelta);
    d[4] = char(length >> 8);
    d[5] = char(length & 0xFF);
    return d;
}

struct ReplyCase {
    const char *name;
    int host;            // last octet of the responder's address
    QByteArray datagram;
    int onlyRound;       // 0: answer every round
    int lineAddress;     // -1: must be rejected
};

QVector<ReplyCase> replyCases()
{
    return {
        {"valid reply", 10, reply(0, 0, 3, 16, 7, 0x0105), 0, 5},
        {"answers only the third request", 11, reply(0, 0, 3, 16, 7, 0x0009), 3, 9},
        {"exception reply", 12, reply(0, 0, 0x83, 16, 7, 0x0105), 0, -1},
        {"byte count 10", 13, reply(0, 0, 3, 10, 7, 0x0105), 0, -1},
        {"length does not match", 14, reply(0, 1, 3, 16, 7, 0x0105), 0, -1},
        {"protocol id not 0", 15, reply(1, 0, 3, 16, 7, 0x0105), 0, -1},
        {"relay module", 16, reply(0, 0, 3, 16, 16, 0x0105), 0, -1},
        {"shorter than its byte count", 17, reply(0, 0, 3, 16, 7, 0x0105, 17), 0, -1},
        {"only eight bytes", 18, reply(0, 0, 3, 16, 7, 0x0105, 8), 0, -1},
    };
}

// Responder side: runs in its own namespace, answers each request from one
// socket per case and logs the requests it got.
int runResponder(const QString &logPath)
{
    // Now in the new namespace: the parent may move our end of the pair in.
    QTextStream(stdout) << "netns" << Qt::endl;
    for (int i = 0; i < 100 && std::system("ip link show lsB >/dev/null 2>&1") != 0; ++i)
        QThread::msleep(50);
    std::system("ip link set lo up; ip addr add 192.0.2.2/24 dev lsB; ip link set lsB up");
    const auto cases = replyCases();
    for (const ReplyCase &c : cases)
        std::system(qPrintable(QStringLiteral("ip addr add 192.0.2.%1/32 dev lsB").arg(c.host)));

    QUdpSocket listener;
    if (!listener.bind(QHostAddress::AnyIPv4, SearchPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return 2;
    QVector<QUdpSocket *> senders;
    for (const ReplyCase &c : cases) {
        auto *s = new QUdpSocket(&listener);
        if (!s->bind(QHostAddress(QStringLiteral("192.0.2.%1").arg(c.host)), 0))
            return 3;
        senders.append(s);
    }
    QFile log(logPath);
    log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    QTextStream(stdout) << "ready" << Qt::endl;

    QObject::connect(&listener, &QUdpSocket::readyRead, [&]() {
        while (listener.hasPendingDatagrams()) {
            const QNetworkDatagram request = listener.receiveDatagram();
            log.write(request.data().toHex(' ') + '\n');
            const int round = request.data().size() >= 2 ? quint8(request.data().at(1)) : 0;
            for (int i = 0; i < cases.size(); ++i) {
                if (cases[i].onlyRound && cases[i].onlyRound != round)
                    continue;
                senders[i]->writeDatagram(cases[i].datagram, request.senderAddress(), request.senderPort());
            }
            // A second answer of the valid controller, with another address: the first wins.
            senders[0]->writeDatagram(reply(0, 0, 3, 16, 7, 0x0033), request.senderAddress(), request.senderPort());
        }
    });
    return QCoreApplication::exec();
}
}

class TestControllerSearch : public QObject
{
    Q_OBJECT

    QProcess responder;
    QString logPath;

private slots:
    void initTestCase()
    {
        QVERIFY2(std::system("ip link add lsA type veth peer name lsB") == 0, "cannot make the veth pair");
        logPath = QDir::temp().filePath(QStringLiteral("search-requests.log"));
        QFile::remove(logPath);
        responder.setProgram(QStringLiteral("unshare"));
        responder.setArguments({QStringLiteral("-n"), QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                                QStringLiteral("--responder"), logPath});
        responder.start();
        QVERIFY(responder.waitForStarted());
        QByteArray output;
        auto said = [&](const char *word) {
            output += responder.readAllStandardOutput();
            return output.contains(word);
        };
        QTRY_VERIFY_WITH_TIMEOUT(said("netns"), 10000);
        QVERIFY(std::system(qPrintable(QStringLiteral("ip link set lsB netns %1").arg(responder.processId()))) == 0);
        QVERIFY(std::system("ip addr add 192.0.2.1/24 dev lsA && ip link set lsA up") == 0);
        QTRY_VERIFY_WITH_TIMEOUT(said("ready"), 10000);
        // Let the link settle before broadcasting.
        QTRY_VERIFY_WITH_TIMEOUT(std::system("ip -br link show lsA | grep -q UP") == 0, 5000);
    }

    void cleanupTestCase()
    {
        responder.kill();
        responder.waitForFinished();
        std::system("ip link del lsA 2>/dev/null");
    }

    void interfacesOfTheNamespace()
    {
        LantrelClient client;
        const auto interfaces = client.networkInterfaces();
        // Only the veth end: loopback never takes part.
        QCOMPARE(interfaces.size(), 1);
        QCOMPARE(interfaces.first(), QList<quint32>({QHostAddress(QString::fromLatin1(ClientIp)).toIPv4Address()}));
    }

    void searchFindsValidControllersOnly()
    {
        LantrelClient client;
        QFile(logPath).resize(0);
        QSignalSpy finished(&client, &LantrelClient::searchFinished);
        QElapsedTimer clock;
        clock.start();
        client.startSearch();
        client.startSearch();   // ignored while the first one runs
        QVERIFY(finished.wait(10000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 2800 && elapsed < 4500, qPrintable(QString::number(elapsed)));
        QTest::qWait(1200);
        QCOMPARE(finished.size(), 1);

        QMap<quint32, quint8> expected;
        for (const ReplyCase &c : replyCases()) {
            if (c.lineAddress >= 0)
                expected.insert(QHostAddress(QStringLiteral("192.0.2.%1").arg(c.host)).toIPv4Address(),
                                quint8(c.lineAddress));
        }
        QCOMPARE(client.foundHosts(), expected);

        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> requests = log.readAll().split('\n');
        QCOMPARE(requests.size(), 4);   // three rounds and the trailing newline
        QCOMPARE(requests[0], QByteArray("00 01 00 00 00 06 00 03 00 00 00 08"));
        QCOMPARE(requests[1], QByteArray("00 02 00 00 00 06 00 03 00 00 00 08"));
        QCOMPARE(requests[2], QByteArray("00 03 00 00 00 06 00 03 00 00 00 08"));
    }

    // An interface that came up after the client was made is searched; one
    // that fails every send (taken down after the scan) does not end the
    // search on the other.
    void searchScansAfreshAndOutlivesAFailingInterface()
    {
        LantrelClient client;
        QCOMPARE(client.networkInterfaces().size(), 1);
        QVERIFY(std::system("ip link add lsC type veth peer name lsD && ip addr add 198.51.100.1/24 dev lsC"
                            " && ip link set lsD up && ip link set lsC up") == 0);
        const auto removeLink = qScopeGuard([]() { std::system("ip link del lsC 2>/dev/null"); });
        QFile(logPath).resize(0);
        QSignalSpy finished(&client, &LantrelClient::searchFinished);
        QElapsedTimer clock;
        clock.start();
        client.startSearch();
        QCOMPARE(client.networkInterfaces().size(), 2);
        QVERIFY(client.networkInterfaces().values().contains(
            QList<quint32>({QHostAddress(QStringLiteral("198.51.100.1")).toIPv4Address()})));
        QVERIFY(std::system("ip link set lsC down") == 0);

        QVERIFY(finished.wait(10000));
        QVERIFY2(clock.elapsed() >= 2800, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(client.foundHosts().contains(QHostAddress(QStringLiteral("192.0.2.10")).toIPv4Address()));
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count('\n'), 3);
    }

    void secondSearchStartsAfresh()
    {
        LantrelClient client;
        QSignalSpy finished(&client, &LantrelClient::searchFinished);
        client.startSearch();
        QVERIFY(finished.wait(10000));
        client.startSearch();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 2);
        QVERIFY(client.foundHosts().contains(QHostAddress(QStringLiteral("192.0.2.10")).toIPv4Address()));
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--responder") == 0) {
        QCoreApplication app(argc, argv);
        return runResponder(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestControllerSearch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_controllersearch.moc"
