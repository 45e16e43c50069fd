#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "appglobals.h"
#include "configurationmanager.h"
#include "controllerconfigmodel.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "lantreldriver.h"
#include "linemodulesmodel.h"
#include "processingconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"

using namespace LantrelProtocol;

namespace {
constexpr int LineAddress = 3;
constexpr int LongWaitMs = 30000;

// Task signals of one client, in the order they came.
struct TaskLog
{
    QList<QPair<QString, int>> started;
    QList<QPair<int, bool>> completed;
    QStringList errors;
    QStringList log;
    int datasets = 0;
    int writesFinished = 0;

    explicit TaskLog(LantrelClient &client)
    {
        QObject::connect(&client, &LantrelClient::taskStarted, [this](const QString &t, ushort n) { started.append({t, n}); });
        QObject::connect(&client, &LantrelClient::taskCompleted, [this](ushort n, bool ok) { completed.append({n, ok}); });
        QObject::connect(&client, &LantrelClient::clientError, [this](const QString &t) { errors << t; });
        QObject::connect(&client, &LantrelClient::writeToLog, [this](const QString &t) { log << t; });
        QObject::connect(&client, &LantrelClient::datasetChanged, [this]() { ++datasets; });
        QObject::connect(&client, &LantrelClient::writeFinished, [this]() { ++writesFinished; });
    }
    int failedSteps() const
    {
        int n = 0;
        for (const auto &c : completed)
            n += c.second ? 0 : 1;
        return n;
    }
};

bool waitFor(const std::function<bool()> &done, int ms = LongWaitMs)
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
}

class TestLantrelClient : public QObject
{
    Q_OBJECT

    QTemporaryDir dataDir;
    QSettings *settings = nullptr;

    // A client connected to a fake controller serving the generated configuration.
    struct Connected
    {
        FakeController fake;
        FakeTcpServer server {&fake};
        LantrelClient client;
    };

    bool connect(Connected &c)
    {
        c.fake.loadGeneratedConfiguration(LineAddress);
        if (!c.server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502))
            return false;
        QSignalSpy connected(&c.client, &LantrelClient::deviceConnected);
        c.client.connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
        return connected.wait(LongWaitMs);
    }

    void readWhole(LantrelClient &client, TaskLog &log)
    {
        const int before = log.datasets;
        client.readConfiguration();
        QVERIFY(waitFor([&]() { return log.datasets == before + 1; }));
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        QVERIFY(dataDir.isValid());
        appDataPath = dataDir.path();
        settings = new QSettings(dataDir.filePath(QStringLiteral("lantrelprog.ini")), QSettings::IniFormat, this);
        // Quiet links: the tests below are about configuration, not monitoring.
        settings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
        settings->sync();
        appSettings = settings;
    }

    // ---------------------------------------------------------------- offline

    void writesWithoutControllerGoToTheDocument()
    {
        LantrelClient client;
        TaskLog log(client);
        client.configurationManager()->newDocument();
        client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QCOMPARE(log.started, (QList<QPair<QString, int>>{{QStringLiteral("Сохранение параметров ИОП в файл конфигурации..."), 7}}));
        QCOMPARE(log.completed.size(), 7);
        QCOMPARE(log.completed.last(), qMakePair(7, true));
        QVERIFY(!client.isModified());
        QVERIFY(client.configSaved());
    }

    void writeToMissingDocumentFails()
    {
        LantrelClient client;
        TaskLog log(client);
        client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QCOMPARE(log.errors, QStringList{QStringLiteral("В процессе обновления данных автономной конфигурации были ошибки")});
    }

    void modifiedMarkFollowsRoles_data()
    {
        QTest::addColumn<QVector<int>>("roles");
        QTest::addColumn<bool>("marks");
        QTest::newRow("no roles") << QVector<int>{} << false;
        QTest::newRow("display") << QVector<int>{Qt::DisplayRole} << true;
        QTest::newRow("edit") << QVector<int>{Qt::EditRole} << true;
        QTest::newRow("user only") << QVector<int>{Qt::UserRole} << false;
    }

    void modifiedMarkFollowsRoles()
    {
        QFETCH(QVector<int>, roles);
        QFETCH(bool, marks);
        LantrelClient client;
        QVERIFY(!client.isModified());
        auto *sensors = client.sensorsConfigModel();
        emit sensors->dataChanged(sensors->index(0, 0), sensors->index(0, 0), roles);
        QCOMPARE(client.isModified(), marks);
    }

    void identityEditDoesNotMark()
    {
        LantrelClient client;
        client.controllerConfigModel()->setControllerInfo(ControllerInfo{7, QStringLiteral("1.2023"), {}, {}, {}});
        QVERIFY(!client.isModified());
        client.controllerConfigModel()->setData(ControllerConfigModel::LineModeParam, 1, Qt::EditRole);
        QVERIFY(client.isModified());
    }

    void fileSaveAndLoadRoundTrip()
    {
        // The models are filled from a real controller's configuration.
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        c.client.shutdownDriver();
        QTRY_VERIFY_WITH_TIMEOUT(!c.client.hasDriver(), 5000);

        const QString path = dataDir.filePath(QStringLiteral("roundtrip.xml"));
        QVERIFY(c.client.saveConfigFile(path));
        QVERIFY(log.errors.isEmpty());

        LantrelClient loaded;
        TaskLog loadLog(loaded);
        QVERIFY(loaded.loadConfigFile(path));
        QVERIFY(waitFor([&]() { return loadLog.datasets == 1; }));
        QCOMPARE(loadLog.failedSteps(), 0);

        for (int k = 0; k < 500; ++k) {
            const SensorModuleRecord a = c.client.sensorsConfigModel()->moduleAt(quint16(k));
            const SensorModuleRecord b = loaded.sensorsConfigModel()->moduleAt(quint16(k));
            QCOMPARE(b.lineAddress, a.lineAddress);
            QCOMPARE(b.serialNumber, a.serialNumber);
            QCOMPARE(b.refCount, a.refCount);
            QCOMPARE(b.range, a.range);
        }
        QCOMPARE(loaded.interactionsConfigModel()->rowCount(), c.client.interactionsConfigModel()->rowCount());
        for (int k = 0; k < loaded.interactionsConfigModel()->rowCount(); ++k) {
            const InteractionRecord a = c.client.interactionsConfigModel()->interactionAt(k);
            const InteractionRecord b = loaded.interactionsConfigModel()->interactionAt(k);
            QCOMPARE(b.sourceAddress, a.sourceAddress);
            QCOMPARE(b.executorNumber, a.executorNumber);
            QCOMPARE(b.relay, a.relay);
            QCOMPARE(b.functionText, a.functionText);
        }
        QCOMPARE(loaded.controllerConfigModel()->info.serialNumber, c.client.controllerConfigModel()->info.serialNumber);
        QCOMPARE(loaded.relayModulesConfigModel()->rowCount(), c.client.relayModulesConfigModel()->rowCount());
    }

    void refusedFileChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("hello");
        QTest::newRow("wrong root") << QByteArray("<?xml version=\"1.0\"?><Other/>");
    }

    void refusedFileChangesNothing()
    {
        QFETCH(QByteArray, content);
        LantrelClient client;
        TaskLog log(client);
        ProcessingRuleRecord rule;
        SensorModuleRecord sensor;
        sensor.lineAddress = 7;
        sensor.deviceType = SECT_ACC;
        sensor.serialNumber = 77;
        client.sensorsConfigModel()->setModule(0, sensor);

        const QString path = dataDir.filePath(QStringLiteral("bad.xml"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();

        QVERIFY(!client.loadConfigFile(path));
        QTest::qWait(50);
        QCOMPARE(log.errors.size(), 1);
        QVERIFY(log.errors.first().startsWith(QStringLiteral("Ошибка загрузки конфигурации ИОП из файла «%1». ")
                                                  .arg(QDir::toNativeSeparators(path))));
        QCOMPARE(client.sensorsConfigModel()->moduleAt(0).serialNumber, 77u);
        QVERIFY(log.started.isEmpty());
    }

    void unreadableAndUnwritablePaths()
    {
        LantrelClient client;
        TaskLog log(client);
        const QString missing = dataDir.filePath(QStringLiteral("no/such/dir/file.xml"));
        QVERIFY(!client.loadConfigFile(missing));
        QVERIFY(!client.saveConfigFile(missing));
        QCOMPARE(log.errors.size(), 2);
        QVERIFY(log.errors[0].startsWith(QStringLiteral("Ошибка чтения файла конфигурации «")));
        QVERIFY(log.errors[1].startsWith(QStringLiteral("Ошибка открытия файла конфигурации «")));
    }

    void failedSaveKeepsTheOldFile()
    {
        LantrelClient client;
        const QString path = dataDir.filePath(QStringLiteral("keep.xml"));
        QVERIFY(client.saveConfigFile(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        QVERIFY(!before.isEmpty());

        // A write step that fails (no document behind the client any more)
        // must leave the file as it was.
        client.configurationManager()->clear();
        auto *doc = client.configurationManager();
        QObject::disconnect(&client, &LantrelClient::saveSensorsConfig, doc, nullptr);
        QObject::connect(&client, &LantrelClient::saveSensorsConfig, doc, [doc]() { emit doc->writeCompleted(false); },
                         Qt::QueuedConnection);
        QVERIFY(!client.saveConfigFile(path));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    void clockCheck_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("corrected");
        QTest::newRow("9 s behind") << -9 << false;
        QTest::newRow("9 s ahead") << 9 << false;
        QTest::newRow("10 s behind") << -10 << true;
        QTest::newRow("10 s ahead") << 10 << true;
        QTest::newRow("invalid date") << 0 << true;
    }

    void clockCheck()
    {
        QFETCH(int, offset);
        QFETCH(bool, corrected);
        LantrelClient client;
        TaskLog log(client);
        const QDateTime dt = offset == 0 && corrected ? QDateTime() : QDateTime::currentDateTime().addSecs(offset);
        QVERIFY(QMetaObject::invokeMethod(&client, "onControllerDateTime", Q_ARG(QDateTime, dt)));
        const bool logged = log.log.filter(QStringLiteral("Будет выполнена корректировка")).size() == 1;
        QCOMPARE(logged, corrected);
    }

    void slotsCalledByName()
    {
        LantrelClient client;
        // Without a driver they do nothing, but they must resolve.
        QVERIFY(QMetaObject::invokeMethod(&client, "checkModulesFwVersion", Qt::QueuedConnection));
        QVERIFY(QMetaObject::invokeMethod(&client, "setAddressingMode", Qt::QueuedConnection,
                                          Q_ARG(bool, true), Q_ARG(bool, false)));
        QVERIFY(QMetaObject::invokeMethod(&client, "setModuleAddressSerial", Qt::QueuedConnection,
                                          Q_ARG(quint8, 4), Q_ARG(quint32, 1), Q_ARG(quint16, 2), Q_ARG(bool, false)));
        QVERIFY(QMetaObject::invokeMethod(&client, "rebootController", Qt::QueuedConnection));
        QVERIFY(QMetaObject::invokeMethod(&client, "stopLinePolling", Qt::QueuedConnection));
        QVERIFY(QMetaObject::invokeMethod(&client, "setControllerSerial", Qt::QueuedConnection,
                                          Q_ARG(quint16, 2024), Q_ARG(quint16, 1), Q_ARG(quint16, 0x0100)));
        QVERIFY(QMetaObject::invokeMethod(&client, "writeConfiguration", Qt::QueuedConnection));
        QTest::qWait(20);
    }

    // ------------------------------------------------------- with a controller

    void wholeReadFillsTheModels()
    {
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        readWhole(c.client, log);

        QCOMPARE(log.started.first(), qMakePair(QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л..."), 127));
        QCOMPARE(log.completed.size(), 127);
        QCOMPARE(log.failedSteps(), 0);
        QCOMPARE(log.datasets, 1);
        QVERIFY(!c.client.isModified());
        QVERIFY(c.client.datasetComplete());

        const auto sensors = c.fake.records<Konfig_Section_t>(10);
        for (int k = 0; k < 500; ++k) {
            const SensorModuleRecord row = c.client.sensorsConfigModel()->moduleAt(quint16(k));
            QCOMPARE(row.serialNumber, sensors[k].SerialNo);
            QCOMPARE(row.lineAddress, sensors[k].LineAddr);
            QCOMPARE(row.deviceType, sensors[k].DeviceType);
            QCOMPARE(row.waitTime, sensors[k].RuleJP);
            QCOMPARE(row.refCount, sensors[k].RefCount);
            if (sensors[k].DeviceType != 0) {
                const LineModuleRecord line = c.client.lineModulesModel()->moduleAt(sensors[k].LineAddr);
                QCOMPARE(line.tableIndex, quint16(k));
                QCOMPARE(line.serialNumber, sensors[k].SerialNo);
            }
        }
        const auto io = c.fake.records<Konfig_MVV_t>(15);
        for (int k = 0; k < 100; ++k) {
            const IoModuleRecord row = c.client.ioModulesConfigModel()->moduleAt(quint16(k));
            QCOMPARE(row.lineAddress, io[k].LineAddr);
            QCOMPARE(row.config, io[k].CfgIO);
            QCOMPARE(row.loop1RefCount, io[k].RefCountL1);
            QCOMPARE(row.loop2RefCount, io[k].RefCountL2);
        }
        const auto procs = c.fake.records<Konfig_Proc_t>(13);
        for (int k = 0; k < 500; ++k) {
            const ProcessingRuleRecord rule = c.client.processingConfigModel()->ruleAt(quint16(k));
            QCOMPARE(rule.config.MRef, procs[k].MRef);
            QCOMPARE(rule.lineAddress, sensors[k].LineAddr);
        }

        // Interactions: as many rows as the reference counters say, relay 32 kept.
        int expected = 0;
        for (const auto &s : sensors)
            expected += s.DeviceType ? s.RefCount : 0;
        for (const auto &m : io)
            expected += m.DeviceType ? m.RefCountL1 + m.RefCountL2 : 0;
        QCOMPARE(c.client.interactionsConfigModel()->rowCount(), expected);
        const auto relays = c.fake.records<Control_Relay_t>(11);
        bool sawRelay32 = false;
        for (int k = 0; k < expected; ++k) {
            const InteractionRecord row = c.client.interactionsConfigModel()->interactionAt(k);
            QCOMPARE(row.executorType, relays[k].DeviceType);
            if (row.executorType == EXT_RELY) {
                QCOMPARE(row.relay, quint8(relays[k].DestRef & 0xFF));
                sawRelay32 |= row.relay == 32;
            }
        }
        QVERIFY2(sawRelay32, "the fixture should hold an interaction on relay 32");
        QCOMPARE(c.client.controllerConfigModel()->deviceConfig.LineAddr, quint16(LineAddress));
    }

    void readThenWriteGivesTheSameBytes()
    {
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        readWhole(c.client, log);

        QHash<int, QByteArray> before;
        for (int file : {10, 11, 13, 15, 17, 20})
            before.insert(file, c.fake.fileBytes(file));
        for (int file : {10, 11, 13, 15, 17, 20})
            c.fake.setFileBytes(file, QByteArray());

        c.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QCOMPARE(log.started.last(), qMakePair(QStringLiteral("Передача конфигурации ИОП в ЦУ-Л..."), 126));
        QVERIFY(log.errors.isEmpty());
        QVERIFY(!c.client.configSaved());

        for (int file : {10, 11, 13, 15, 20})
            QVERIFY2(c.fake.fileBytes(file) == before.value(file), qPrintable(QString::number(file)));
        // Relay modules: what was read, with the fields every write sets.
        const auto relaysBefore = FakeController::encode(Konfig_Modul_t());
        for (int k = 0; k < 4; ++k) {
            Konfig_Modul_t expected = c.fake.record<Konfig_Modul_t>(17, k);
            QDataStream s(before.value(17).mid(k * 76, 76));
            s.setByteOrder(QDataStream::BigEndian);
            Konfig_Modul_t old;
            s >> old;
            QCOMPARE(expected.IPAddr, old.IPAddr);
            if (old.IPAddr != 0) {
                QCOMPARE(expected.Reserved4, quint16(502));
                QCOMPARE(expected.Reserved9, quint8(k + 1));
                QCOMPARE(QByteArray(reinterpret_cast<const char *>(expected.Relays), 64),
                         QByteArray(reinterpret_cast<const char *>(old.Relays), 64));
            }
        }
        const Konfig_Device_t dev = c.fake.record<Konfig_Device_t>(3, 0);
        QCOMPARE(dev.Reserved0, 115200u);
        QCOMPARE(dev.Reserved4, 1u);
        QCOMPARE(dev.Reserved8, 4u);
        QCOMPARE(dev.LineAddr, quint16(LineAddress));
    }

    void pendingFlashSaveFollowsTheWrite()
    {
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        c.client.controllerConfigModel()->setData(ControllerConfigModel::LineModeParam, 1, Qt::EditRole);
        QVERIFY(c.client.isModified());

        c.client.saveConfigToFlash();
        QVERIFY(waitFor([&]() { return c.client.configSaved() && log.writesFinished == 1; }));
        QCOMPARE(log.started.size(), 3);
        QCOMPARE(log.started[1].second, 126);
        QCOMPARE(log.started[2], qMakePair(QStringLiteral("Сохранение конфигурации ИОП..."), 0));
        QCOMPARE(c.fake.flashFileBytes(8), c.fake.fileBytes(8));
    }

    void incompleteReadIsNeverWritten()
    {
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        // One page of interactions is refused: the dataset is incomplete.
        FakeInjection page = FakeInjection::exception(2, 20);
        page.file = 11;
        c.fake.addInjection(page);
        readWhole(c.client, log);
        QCOMPARE(log.failedSteps(), 1);
        QVERIFY(!c.client.datasetComplete());
        QVERIFY(c.client.isModified());

        c.fake.clearLog();
        c.client.writeConfiguration();
        c.client.saveConfigToFlash();
        QTest::qWait(200);
        QCOMPARE(c.fake.requests(21).size(), 0);
        QCOMPARE(log.errors.size(), 2);
        QVERIFY(log.errors.first().startsWith(QStringLiteral("Ошибка передачи конфигурации в ЦУ-Л.")));

        // Pages after the lost one are not stored on the wrong rows.
        const int rows = c.client.interactionsConfigModel()->rowCount();
        const auto relays = c.fake.records<Control_Relay_t>(11);
        for (int k = 0; k < rows; ++k)
            QCOMPARE(c.client.interactionsConfigModel()->interactionAt(k).executorType, relays[k].DeviceType);
    }

    void fileSaveWhileConnectedKeepsControllerMarks()
    {
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        c.client.controllerConfigModel()->setData(ControllerConfigModel::LineModeParam, 1, Qt::EditRole);
        QVERIFY(c.client.isModified());
        QVERIFY(c.client.saveConfigFile(dataDir.filePath(QStringLiteral("connected.xml"))));
        QVERIFY(c.client.isModified());
        QVERIFY(c.client.configSaved());
    }

    void readAfterImportKeepsTheControllersIdentity()
    {
        // A file of another controller, imported while connected.
        const QString path = dataDir.filePath(QStringLiteral("other.xml"));
        {
            LantrelClient offline;
            offline.controllerConfigModel()->setControllerInfo(ControllerInfo{7, QStringLiteral("999.2030"), {}, {}, {}});
            Konfig_Device_t dev;
            dev.LineAddr = 77;
            offline.controllerConfigModel()->setConfig(QStringLiteral("другой"), dev, ETH_konf_t(), Konfig_Line_t());
            QVERIFY(offline.saveConfigFile(path));
        }
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        QVERIFY(c.client.loadConfigFile(path));
        QVERIFY(waitFor([&]() { return log.datasets == 2; }));
        QCOMPARE(c.client.controllerConfigModel()->deviceConfig.LineAddr, quint16(LineAddress));
        QVERIFY(c.client.isModified());

        // A later read from the controller takes everything from the controller.
        readWhole(c.client, log);
        QCOMPARE(c.client.controllerConfigModel()->deviceConfig.LineAddr, quint16(LineAddress));
        QVERIFY(c.client.controllerConfigModel()->blockId != QStringLiteral("другой"));
    }

    void shutdownInAddressingModeIsBounded()
    {
        Connected c;
        QVERIFY(connect(c));
        TaskLog log(c.client);
        c.client.setAddressingMode(true, false);
        QVERIFY(waitFor([&]() { return c.client.addressingMode(); }));

        // The controller never comes back from the restart.
        c.fake.setRestartDelays(50, 600000);
        QElapsedTimer clock;
        clock.start();
        c.client.shutdownDriver();
        QVERIFY2(clock.elapsed() < 26000, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(!c.client.hasDriver(), 10000);
        QCOMPARE(c.client.connection().connType, -1);
    }

    void reconnectAfterShutdown()
    {
        Connected c;
        QVERIFY(connect(c));
        c.client.shutdownDriver();
        QSignalSpy connected(&c.client, &LantrelClient::deviceConnected);
        c.client.connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
        QVERIFY(connected.wait(LongWaitMs));
        QCOMPARE(connected.first().first().value<ClientConnection>().lineAddress, LineAddress);
    }
};

QTEST_GUILESS_MAIN(TestLantrelClient)
#include "tst_lantrelclient.moc"
