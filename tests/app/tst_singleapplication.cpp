// Single-instance guard, with real processes: this test program started
// again with "--instance" builds the application object and reports.

#include "singleapplication.h"

#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

void setIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
}

// The child: prints "running" once the guard let it through, then runs
// until its standard input closes. Ending normally removes its segment, so
// no test leaves one behind.
int runInstance(int argc, char **argv)
{
    setIdentity();
    SingleApplication app(argc, argv);
    std::printf("running\n");
    if (!app.guardError().isEmpty())
        std::printf("guard error\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input]() {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return app.exec();
}

} // namespace

class TestSingleApplication : public QObject
{
    Q_OBJECT

private slots:
    void instanceKey_data();
    void instanceKey();
    void secondInstanceEndsAtOnce();
    void startAfterKill();
    void brokenSegmentStillRuns();
    void cleanup();

private:
    QProcess *startInstance(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
    bool waitRunning(QProcess *process);

    std::vector<std::unique_ptr<QProcess>> m_processes;
};

QProcess *TestSingleApplication::startInstance(const QProcessEnvironment &env)
{
    auto *process = new QProcess;
    m_processes.emplace_back(process);
    process->setProcessEnvironment(env);
    process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--instance")});
    return process;
}

bool TestSingleApplication::waitRunning(QProcess *process)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        if (process->state() == QProcess::NotRunning) {
            const QByteArray out = process->readAllStandardOutput();
            if (!out.contains("running"))
                qWarning("instance ended: exit code %d, output %s, errors %s", process->exitCode(),
                         out.constData(), process->readAllStandardError().constData());
            return out.contains("running");
        }
        if (process->canReadLine() || process->waitForReadyRead(200)) {
            if (process->peek(64).startsWith("running"))
                return true;
        }
    }
    return false;
}

void TestSingleApplication::cleanup()
{
    for (auto &process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->closeWriteChannel();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }
    m_processes.clear();
}

void TestSingleApplication::instanceKey_data()
{
    QTest::addColumn<QString>("organisation");
    QTest::addColumn<QString>("application");
    QTest::addColumn<QString>("key");

    QTest::newRow("program") << "Kestu" << "LantrelProg" << "KestuLantrelProg";
    QTest::newRow("kept") << "A b-c." << "d_e 1" << "A b-c.d_e 1";
    QTest::newRow("removed") << "x/y\\z" << "p:q*?" << "xyzpq";
}

void TestSingleApplication::instanceKey()
{
    QFETCH(QString, organisation);
    QFETCH(QString, application);
    QFETCH(QString, key);
    QCoreApplication::setOrganizationName(organisation);
    QCoreApplication::setApplicationName(application);
    QCOMPARE(SingleApplication::instanceKey(), key);
    setIdentity();
}

void TestSingleApplication::secondInstanceEndsAtOnce()
{
    QProcess *first = startInstance();
    QVERIFY(waitRunning(first));

    QProcess *second = startInstance();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(!second->readAllStandardOutput().contains("running"));

    QTest::qWait(200);
    QCOMPARE(first->state(), QProcess::Running);

    // The first one still answers as the running instance.
    QProcess *third = startInstance();
    QVERIFY(third->waitForFinished(10000));
    QCOMPARE(third->exitCode(), 0);
    QCOMPARE(first->state(), QProcess::Running);
}

void TestSingleApplication::startAfterKill()
{
    QProcess *first = startInstance();
    QVERIFY(waitRunning(first));
    first->kill(); // SIGKILL: no clean-up of the segment or the socket file
    QVERIFY(first->waitForFinished(5000));

    QProcess *next = startInstance();
    QVERIFY(waitRunning(next));
    QTest::qWait(200);
    QCOMPARE(next->state(), QProcess::Running);
}

void TestSingleApplication::brokenSegmentStillRuns()
{
    // The segment's key file lives in the temporary folder; with a plain
    // file there the key cannot be made, which is another failure than a
    // running instance.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString notAFolder = dir.filePath(QStringLiteral("file"));
    QFile file(notAFolder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), notAFolder);
    QProcess *process = startInstance(env);
    QVERIFY(waitRunning(process));
    QTRY_VERIFY(process->peek(100).contains("guard error"));
    QCOMPARE(process->state(), QProcess::Running);

    // Unguarded, a second one runs as well rather than not at all.
    QProcess *second = startInstance(env);
    QVERIFY(waitRunning(second));
    QCOMPARE(process->state(), QProcess::Running);
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--instance") == 0)
        return runInstance(argc, argv);
    QCoreApplication app(argc, argv);
    setIdentity();
    TestSingleApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleapplication.moc"
