#include <QHostAddress>
#include <QSignalSpy>
#include <QtTest>

#include "fakerelaymodule.h"
#include "relaymodulereader.h"

class TestRelayModuleReader : public QObject
{
    Q_OBJECT

private:
    struct Outcome {
        QList<QVariantList> completed;
        QList<QVariantList> info;
        QList<QVariantList> log;
        QStringList order;
    };

    Outcome probe(const QString &ip, int limitMs = 8000)
    {
        Outcome out;
        RelayModuleReader reader(ip);
        connect(&reader, &RelayModuleReader::controllerInfo, this, [&out](uchar a, bool on) {
            out.info.append({int(a), on});
            out.order << QStringLiteral("info");
        });
        connect(&reader, &RelayModuleReader::readCompleted, this, [&out](bool ok, const QString &text) {
            out.completed.append({ok, text});
            out.order << QStringLiteral("completed");
        });
        connect(&reader, &RelayModuleReader::writeToLog, this, [&out](const QString &text) { out.log.append({text}); });
        QEventLoop loop;
        connect(&reader, &RelayModuleReader::readCompleted, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
        QMetaObject::invokeMethod(&reader, "getControllerInfo", Qt::QueuedConnection);
        loop.exec();
        // Late or duplicate signals would show up here.
        QTest::qWait(300);
        return out;
    }

private slots:
    void successfulProbe_data()
    {
        QTest::addColumn<quint8>("inputByte");
        QTest::addColumn<bool>("inputOn");
        QTest::newRow("input on") << quint8(1) << true;
        QTest::newRow("input off") << quint8(0) << false;
        QTest::newRow("other value counts as off") << quint8(3) << false;
    }

    void successfulProbe()
    {
        QFETCH(quint8, inputByte);
        QFETCH(bool, inputOn);
        FakeRelayModule module;
        module.inputByte = inputByte;
        QVERIFY(module.listen(QStringLiteral("127.0.0.1")));

        const Outcome out = probe(QStringLiteral("127.0.0.1"));
        QCOMPARE(out.order, QStringList({QStringLiteral("info"), QStringLiteral("completed")}));
        QCOMPARE(out.info.first(), QVariantList({5, inputOn}));
        QCOMPARE(out.completed.first(), QVariantList({true, QString()}));
        QVERIFY(out.log.isEmpty());
        // Identity at server address 49, the input at the module's own address.
        QCOMPARE(module.requests.size(), 2);
        QCOMPARE(module.requests[0], qMakePair(quint8(49), quint8(3)));
        QCOMPARE(module.requests[1], qMakePair(quint8(5), quint8(2)));
    }

    void failedProbe_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<quint16>("deviceCode");
        QTest::addColumn<QString>("configuredIp");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");   // the one log line; "=" the text shown
        QTest::addColumn<int>("requests");

        const QString notRelay = QStringLiteral("Ответ устройства получен, но это не ЖН-Т");
        const QString notRelayLogged = QStringLiteral("Ответ устройства 127.0.0.1 получен, но это не ЖН-Т");
        QTest::newRow("another device type") << int(FakeRelayModule::NoFault) << quint16(16)
                                             << QStringLiteral("127.0.0.1") << notRelay << notRelayLogged << 1;
        QTest::newRow("configured for another address")
            << int(FakeRelayModule::NoFault) << quint16(2) << QStringLiteral("10.1.2.3") << notRelay << notRelayLogged
            << 1;
        QTest::newRow("exception to the identity read")
            << int(FakeRelayModule::ExceptionOnIdentity) << quint16(2) << QStringLiteral("127.0.0.1")
            << QStringLiteral("127.0.0.1. Ответ-исключение Modbus: недопустимый адрес данных (MODBUS код 0x02)")
            << QStringLiteral("=") << 1;
        QTest::newRow("exception to the input read")
            << int(FakeRelayModule::ExceptionOnInput) << quint16(2) << QStringLiteral("127.0.0.1")
            << QStringLiteral("127.0.0.1. Ответ-исключение Modbus: недопустимое значение данных (MODBUS код 0x03)")
            << QStringLiteral("=") << 2;
        const QString noAnswer = QStringLiteral("Ответ устройства не соответствует запросу");
        QTest::newRow("short identity reply") << int(FakeRelayModule::ShortIdentity) << quint16(2)
                                              << QStringLiteral("127.0.0.1") << noAnswer << QStringLiteral("=") << 1;
        QTest::newRow("input read answered as a register read")
            << int(FakeRelayModule::InputAsRegisters) << quint16(2) << QStringLiteral("127.0.0.1") << noAnswer
            << QStringLiteral("=") << 2;
        QTest::newRow("identity answered as an input-register read")
            << int(FakeRelayModule::IdentityAsInputRegisters) << quint16(2) << QStringLiteral("127.0.0.1")
            << noAnswer << QStringLiteral("=") << 1;
        QTest::newRow("answer for another unit") << int(FakeRelayModule::OtherUnit) << quint16(2)
                                                 << QStringLiteral("127.0.0.1") << noAnswer << QStringLiteral("=") << 1;
        // Qt stops its own time-out once a frame header has come.
        QTest::newRow("cut identity frame") << int(FakeRelayModule::CutIdentity) << quint16(2)
                                            << QStringLiteral("127.0.0.1")
                                            << QStringLiteral("Ответ устройства не получен полностью")
                                            << QStringLiteral("=") << 1;
        // Qt itself refuses an input reply without a status byte.
        QTest::newRow("short input reply") << int(FakeRelayModule::ShortInput) << quint16(2)
                                           << QStringLiteral("127.0.0.1")
                                           << QStringLiteral("Ошибка выполнения запроса к ЖН-Т 127.0.0.1. "
                                                             "Получен некорректный ответ")
                                           << QStringLiteral("=") << 2;
    }

    void failedProbe()
    {
        QFETCH(int, fault);
        QFETCH(quint16, deviceCode);
        QFETCH(QString, configuredIp);
        QFETCH(QString, text);
        QFETCH(QString, logged);
        QFETCH(int, requests);

        FakeRelayModule module;
        QVERIFY(module.listen(QStringLiteral("127.0.0.1")));
        module.fault = FakeRelayModule::Fault(fault);
        module.deviceCode = deviceCode;
        module.configuredIp = QHostAddress(configuredIp).toIPv4Address();

        const Outcome out = probe(QStringLiteral("127.0.0.1"));
        QCOMPARE(out.completed.size(), 1);
        QCOMPARE(out.completed.first().at(0).toBool(), false);
        QVERIFY2(out.completed.first().at(1).toString().contains(text), qPrintable(out.completed.first().at(1).toString()));
        QVERIFY(out.info.isEmpty());
        const QString shown = out.completed.first().at(1).toString();
        QCOMPARE(out.log, QList<QVariantList>{{logged == QLatin1String("=") ? shown : logged}});
        QCOMPARE(module.requests.size(), requests);
    }

    // A module that answers "busy" is asked again, 20 ms or more apart, until
    // it answers or 3 s after its first busy answer; then the probe says so.
    void busyModule_data()
    {
        QTest::addColumn<int>("busyAnswers");
        QTest::addColumn<bool>("ok");
        QTest::newRow("busy twice, then answers") << 2 << true;
        QTest::newRow("stays busy") << -1 << false;
    }

    void busyModule()
    {
        QFETCH(int, busyAnswers);
        QFETCH(bool, ok);
        FakeRelayModule module;
        module.busyAnswers = busyAnswers;
        QVERIFY(module.listen(QStringLiteral("127.0.0.1")));
        QElapsedTimer clock;
        clock.start();
        const Outcome out = probe(QStringLiteral("127.0.0.1"));
        const qint64 took = clock.elapsed();
        QCOMPARE(out.completed.size(), 1);
        QCOMPARE(out.completed.first().at(0).toBool(), ok);
        int identityReads = 0;
        for (const auto &r : module.requests)
            identityReads += r.second == 3 ? 1 : 0;
        if (ok) {
            QCOMPARE(identityReads, 3);
            QCOMPARE(out.info.size(), 1);
            return;
        }
        QCOMPARE(out.completed.first().at(1).toString(),
                 QStringLiteral("Ошибка выполнения запроса к ЖН-Т 127.0.0.1. ЖН-Т отвечает, но остаётся занятым: "
                                "запрос не выполнен за 3 с (MODBUS код 0x06)"));
        QVERIFY2(took >= 2900 && took < 4800, qPrintable(QString::number(took)));
        QVERIFY2(identityReads > 3 && identityReads <= 3000 / 20 + 1, qPrintable(QString::number(identityReads)));
    }

    void refusedConnection()
    {
        const Outcome out = probe(QStringLiteral("127.0.0.3"));
        QCOMPARE(out.completed.size(), 1);
        const QString text = QStringLiteral("Не удалось подключиться к ЖН-Т 127.0.0.3");
        QCOMPARE(out.completed.first(), QVariantList({false, text}));
        QCOMPARE(out.log, QList<QVariantList>{{text}});
    }

    void silentModule()
    {
        FakeRelayModule module;
        module.fault = FakeRelayModule::Silent;
        QVERIFY(module.listen(QStringLiteral("127.0.0.1")));
        QElapsedTimer clock;
        clock.start();
        const Outcome out = probe(QStringLiteral("127.0.0.1"), 10000);
        QCOMPARE(out.completed.size(), 1);
        QCOMPARE(out.completed.first().at(0).toBool(), false);
        QCOMPARE(out.log.size(), 1);
        // One request and the transport's two retries.
        QCOMPARE(module.requests.size(), 3);
        QVERIFY(clock.elapsed() >= 2500);
    }

    void connectionClosedMidRequest()
    {
        FakeRelayModule module;
        module.fault = FakeRelayModule::CloseOnIdentity;
        QVERIFY(module.listen(QStringLiteral("127.0.0.1")));
        const Outcome out = probe(QStringLiteral("127.0.0.1"));
        QCOMPARE(out.completed.size(), 1);
        QCOMPARE(out.completed.first().at(0).toBool(), false);
        QVERIFY(out.info.isEmpty());
        QCOMPARE(out.log, QList<QVariantList>{{out.completed.first().at(1)}});
    }
};

QTEST_GUILESS_MAIN(TestRelayModuleReader)
#include "tst_relaymodulereader.moc"
