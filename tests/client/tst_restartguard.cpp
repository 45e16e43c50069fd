// The client's own hold on every command that restarts the controller: after
// a write its flash does not hold, nobody set to ask means the command is
// refused, logged, and its waiter told; nothing reaches the controller.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include "clienttestsupport.h"
#include "lantrelclient.h"

using namespace ClientTest;

using Call = std::function<void(LantrelClient &)>;
Q_DECLARE_METATYPE(Call)

class TestRestartGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpQuietEnvironment(m_dir, this);
        LantrelProtocol::registerMetaTypes();
    }

    void refusedWithoutAsker_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("answer");   // the signal a waiting window gets, if any
        QTest::newRow("restart") << Call([](LantrelClient &c) { c.rebootController(); }) << QString();
        QTest::newRow("module defaults") << Call([](LantrelClient &c) { c.setModulesDefaults(0, 0); }) << QString();
        QTest::newRow("controller defaults") << Call([](LantrelClient &c) { c.setControllerDefaults(); }) << QString();
        QTest::newRow("serial number") << Call([](LantrelClient &c) { c.setControllerSerial(2024, 321, 0x0102); })
                                       << QStringLiteral("controllerSerialChanged(false)");
        QTest::newRow("line stop for a firmware") << Call([](LantrelClient &c) { c.stopLinePolling(); })
                                                  << QStringLiteral("linePollStopped(false)");
        QTest::newRow("firmware update") << Call([](LantrelClient &c) { c.updateFirmware(); })
                                         << QStringLiteral("firmwareUpdated(false)");
    }

    void refusedWithoutAsker()
    {
        QFETCH(Call, call);
        QFETCH(QString, answer);
        Connected c;
        QVERIFY(connectToFake(c));
        QSignalSpy read(&c.client, &LantrelClient::datasetChanged);
        c.client.readConfiguration();
        QVERIFY(read.wait(LongWaitMs));
        QSignalSpy written(&c.client, &LantrelClient::writeFinished);
        c.client.writeConfiguration();
        QVERIFY(written.wait(LongWaitMs));
        QVERIFY(!c.client.configSaved());

        QStringList answers;
        connect(&c.client, &LantrelClient::controllerSerialChanged, this,
                [&answers](bool ok) { answers << QStringLiteral("controllerSerialChanged(%1)").arg(ok ? "true" : "false"); });
        connect(&c.client, &LantrelClient::linePollStopped, this,
                [&answers](bool ok) { answers << QStringLiteral("linePollStopped(%1)").arg(ok ? "true" : "false"); });
        connect(&c.client, &LantrelClient::firmwareUpdated, this,
                [&answers](bool ok) { answers << QStringLiteral("firmwareUpdated(%1)").arg(ok ? "true" : "false"); });
        QSignalSpy log(&c.client, &LantrelClient::writeToLog);
        QSignalSpy tasks(&c.client, &LantrelClient::taskStarted);
        c.fake.clearLog();
        call(c.client);
        QTest::qWait(300);

        QStringList writes;
        for (const FakeRequest &r : c.fake.requestLog())
            if (r.function == 5 || r.function == 6 || r.function == 15 || r.function == 16 || r.function == 21)
                writes << QString::number(r.function);
        QVERIFY2(writes.isEmpty(), qPrintable(writes.join(QLatin1Char(' '))));
        QCOMPARE(tasks.count(), 0);
        QCOMPARE(answers, answer.isEmpty() ? QStringList() : QStringList{answer});
        QStringList lines;
        for (const QList<QVariant> &args : qAsConst(log))
            lines << args.first().toString();
        QVERIFY2(lines.contains(QStringLiteral("Перезапуск ЦУ-Л отменён: конфигурация, переданная в ЦУ-Л, не "
                                               "сохранена в его энергонезависимой памяти")),
                 qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY(!c.client.configSaved());
        c.client.shutdownDriver();
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRestartGuard)
#include "tst_restartguard.moc"
