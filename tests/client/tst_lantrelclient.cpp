#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "clienttestsupport.h"
#include "configurationmanager.h"
#include "fifotestsupport.h"
#include "controllerconfigmodel.h"
#include "devicetables.h"
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
using namespace ClientTest;

namespace {
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

// Lets the queued answers of the document reach the client.
void settle()
{
    QTest::qWait(0);
    QCoreApplication::processEvents();
}

Konfig_Section_t sensorRecord(quint16 lineAddr, quint8 type, quint32 serial, quint8 refs = 0)
{
    Konfig_Section_t r;
    r.LineAddr = lineAddr;
    r.DeviceType = type;
    r.SerialNo = serial;
    r.RefCount = refs;
    return r;
}

Konfig_Modul_t relayModuleRecord(const char *ip)
{
    Konfig_Modul_t r;
    std::memset(static_cast<void *>(&r), 0, sizeof(r));
    r.IPAddr = QHostAddress(QString::fromLatin1(ip)).toIPv4Address();
    return r;
}
// The tables of a controller filled with arbitrary values in every field the
// controller keeps, over the shape the controller holds them in: used rows
// packed from row 0 with device type not 0 and distinct line addresses 1 to
// 500, one interaction per reference, relay modules in slots with an address.
// Reserved bytes hold what every write puts there. Executors are of any
// type and reference, one of an unknown type in the middle of the table.
void fillArbitrary(FakeController &fake, quint32 seed)
{
    QRandomGenerator rng(seed);
    const auto byte = [&rng]() { return quint8(rng.bounded(256)); };
    const auto word = [&rng]() { return quint16(rng.bounded(65536)); };
    QVector<quint16> addresses;
    for (quint16 a = 1; a <= 500; ++a)
        addresses.append(a);
    std::shuffle(addresses.begin(), addresses.end(), std::mt19937(seed));
    int nextAddress = 0;
    // Sensor module kinds the controller may report, 1 and 16 among them.
    const auto moduleType = [&]() { return quint8(1 + rng.bounded(255)); };

    for (int file : {10, 11, 13, 15, 17, 20})
        fake.setFileBytes(file, QByteArray());
    int references = 0;
    const int sensors = 1 + rng.bounded(300);
    for (int k = 0; k < sensors; ++k) {
        Konfig_Section_t r;
        r.SerialNo = rng.generate();
        r.LineAddr = addresses[nextAddress++];
        r.DeviceType = k == 0 ? 1 : k == 1 ? 16 : moduleType();
        r.Range = byte();
        r.LPF = byte();
        r.HPF = byte();
        r.DAF = byte();
        r.ThrIR = byte();
        r.NExcIR = byte();
        r.RuleJP = byte();
        r.RefCount = quint8(k < 8 ? rng.bounded(256) : rng.bounded(2));
        references += r.RefCount;
        fake.setRecord(10, k, r);
    }
    const int ioModules = 1 + rng.bounded(100);
    for (int k = 0; k < ioModules; ++k) {
        Konfig_MVV_t r;
        r.SerialNo = rng.generate();
        r.LineAddr = addresses[nextAddress++];
        r.DeviceType = moduleType();
        r.CfgIO = byte();
        r.TSign = byte();
        r.RefCountL1 = quint8(k < 2 ? rng.bounded(256) : rng.bounded(2));
        r.RefCountL2 = quint8(k < 2 ? rng.bounded(256) : rng.bounded(2));
        references += r.RefCountL1 + r.RefCountL2;
        fake.setRecord(15, k, r);
    }
    const int scpModules = rng.bounded(33);
    for (int k = 0; k < scpModules; ++k) {
        Konfig_MKZ_t r;
        r.SerialNo = rng.generate();
        r.LineAddr = addresses[nextAddress++];
        r.DeviceType = moduleType();
        r.ThrMin = word();
        r.ThrOff = word();
        r.ThrOn = word();
        fake.setRecord(20, k, r);
    }
    for (int k = 0; k < 500; ++k) {
        Konfig_Proc_t r;
        r.MRef = word();
        r.NExc = byte();
        r.SensLeft = qint8(byte());
        r.SensRight = qint8(byte());
        r.Ratio = byte();
        fake.setRecord(13, k, r);
    }
    int relayModules = 0;
    for (int k = 0; k < 4; ++k) {
        Konfig_Modul_t r;
        std::memset(static_cast<void *>(&r), 0, sizeof r);
        if (rng.bounded(4) != 0) {
            r.IPAddr = 1 + rng.bounded(0xFFFFFFFEu);
            r.Reserved4 = 502;
            r.Reserved6 = 2;
            r.Reserved9 = quint8(k + 1);
            r.LineAddr = byte();
            r.ExpMod = byte();
            r.Reserved11 = byte();
            for (Relay_Entry_t &relay : r.Relays) {
                relay.RelayNum = byte();
                relay.TSign = byte();
            }
            ++relayModules;
        }
        fake.setRecord(17, k, r);
    }
    for (int k = 0; k < references; ++k) {
        Control_Relay_t r;
        const quint32 kind = rng.bounded(3);
        r.DeviceType = k == references / 2 ? 7 : kind == 0 ? quint8(SECT_MVV) : kind == 1 ? quint8(EXT_RELY) : moduleType();
        r.DestFunc = byte();
        r.DestRef = word();
        fake.setRecord(11, k, r);
    }
    Konfig_Line_t line = fake.lineConfig();
    line.SensorCount = quint16(sensors);
    line.IoCount = quint16(ioModules);
    line.ScpCount = quint16(scpModules);
    line.RelayCount = quint8(relayModules);
    fake.setLineConfig(line);
}
}

class TestLantrelClient : public QObject
{
    Q_OBJECT

    enum ShutdownPath { AskedToStop, LinkLost, TimeLimitHit };

    QTemporaryDir dataDir;

    void readWhole(LantrelClient &client, TaskLog &log)
    {
        const int before = log.datasets;
        client.readConfiguration();
        QVERIFY(waitFor([&]() { return log.datasets == before + 1; }));
    }

    // A plain settings edit; true when it marked the configuration modified.
    static bool editLineMode(LantrelClient &client)
    {
        client.controllerConfigModel()->setData(ControllerConfigModel::LineModeParam, 1, Qt::EditRole);
        return client.isModified();
    }

private slots:
    void initTestCase() { setUpQuietEnvironment(dataDir, this); }

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

    // Every table the pages edit is read-only while a read fills it.
    void tablesReadOnlyWhileRead_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("column");
        QTest::newRow("sensors") << "sensors" << int(SensorsConfigModel::RangeColumn);
        QTest::newRow("input/output") << "io" << int(IoModulesConfigModel::RelayTimeColumn);
        QTest::newRow("processing rules") << "processing" << int(ProcessingConfigModel::ExceedColumn);
    }

    void tablesReadOnlyWhileRead()
    {
        QFETCH(QString, table);
        QFETCH(int, column);
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        QAbstractItemModel *model = table == QLatin1String("sensors")
            ? static_cast<QAbstractItemModel *>(c.client.sensorsConfigModel())
            : table == QLatin1String("io") ? static_cast<QAbstractItemModel *>(c.client.ioModulesConfigModel())
                                           : static_cast<QAbstractItemModel *>(c.client.processingConfigModel());
        const QModelIndex cell = model->index(0, column);
        QVERIFY(model->flags(cell) & Qt::ItemIsEditable);

        QSignalSpy dataset(&c.client, &LantrelClient::datasetChanged);
        c.client.readConfiguration();
        QVERIFY(c.client.configurationBusy());
        QVERIFY(!(model->flags(model->index(0, column)) & Qt::ItemIsEditable));
        QVERIFY(!model->setData(model->index(0, column), 2, Qt::EditRole));
        QVERIFY(dataset.wait(LongWaitMs));
        QVERIFY(model->flags(model->index(0, column)) & Qt::ItemIsEditable);
    }

    void identityEditDoesNotMark()
    {
        LantrelClient client;
        client.controllerConfigModel()->setControllerInfo(ControllerInfo{7, QStringLiteral("1.2023"), {}, {}, {}});
        QVERIFY(!client.isModified());
        QVERIFY(editLineMode(client));
    }

    void fileSaveAndLoadRoundTrip()
    {
        // The models are filled from a real controller's configuration.
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        c.client.shutdownDriver();
        QTRY_VERIFY_WITH_TIMEOUT(!c.client.hasDriver(), 5000);

        const QString path = dataDir.filePath(QStringLiteral("roundtrip.xml"));
        QVERIFY(c.client.saveConfigFile(path));
        QVERIFY(log.errors.isEmpty());

        LantrelClient loaded;
        TaskLog loadLog(loaded);
        QSignalSpy inserted(loaded.interactionsConfigModel(), &QAbstractItemModel::rowsInserted);
        QVERIFY(loaded.loadConfigFile(path));
        QVERIFY(waitFor([&]() { return loadLog.datasets == 1; }));
        QCOMPARE(loadLog.failedSteps(), 0);
        // The interactions arrive at once, not a view update per row.
        QVERIFY(c.client.interactionsConfigModel()->rowCount() > 1);
        QCOMPARE(inserted.count(), 1);
        // Loaded offline: the models hold exactly what the file holds.
        QVERIFY(!loaded.isModified());

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

    // Every table the controller holds, with arbitrary values, comes back
    // from a read and a write byte for byte.
    void controllerRecordsSurviveReadAndWrite_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 38u, 4242u, 90001u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }

    void controllerRecordsSurviveReadAndWrite()
    {
        QFETCH(quint32, seed);
        Connected c;
        QVERIFY(connectToFake(c));
        fillArbitrary(c.fake, seed);
        TaskLog log(c.client);
        readWhole(c.client, log);
        QCOMPARE(log.failedSteps(), 0);
        // The last page of a table asks for the records left: file, first
        // record, registers.
        const QVector<std::array<int, 3>> lastPages = {
            {10, 495, 5 * 8}, {15, 90, 10 * 8}, {20, 30, 2 * 8}, {13, 480, 20 * 3}, {11, 3960, 40 * 2}};
        for (const auto &page : lastPages) {
            const QList<FakeRequest> reads = c.fake.requests(20, page[0]);
            QVERIFY(!reads.isEmpty());
            QCOMPARE(reads.last().record(), page[1]);
            QCOMPARE(reads.last().length(), page[2]);
        }

        QHash<int, QByteArray> before;
        for (int file : {10, 11, 13, 15, 17, 20})
            before.insert(file, c.fake.fileBytes(file));
        for (int file : {10, 11, 13, 15, 17, 20})
            c.fake.setFileBytes(file, QByteArray());
        c.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));

        // The sensor file's last record is the addressing mode's scratch record.
        QCOMPARE(c.fake.fileBytes(10).left(500 * 16).toHex(), before.value(10).left(500 * 16).toHex());
        for (int file : {11, 13, 15, 17, 20})
            QVERIFY2(c.fake.fileBytes(file) == before.value(file), qPrintable(QString::number(file)));
    }

    // What the program saves, it loads back to the same models: a file saved
    // from what a controller holds, with a block identifier longer than the
    // controller keeps, loads and saves again to the same bytes.
    void savedFileLoadsBackTheSameModels_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("blockIdBytes");
        QTest::newRow("seed 7, 64-byte identifier") << 7u << 64;
        QTest::newRow("seed 38, 66-byte identifier") << 38u << 66;
        QTest::newRow("seed 500, 200-byte identifier") << 500u << 200;
    }

    void savedFileLoadsBackTheSameModels()
    {
        QFETCH(quint32, seed);
        QFETCH(int, blockIdBytes);
        Connected c;
        QVERIFY(connectToFake(c));
        fillArbitrary(c.fake, seed);
        TaskLog log(c.client);
        readWhole(c.client, log);
        // Cyrillic letters of two bytes, then ASCII up to the length.
        QString blockId(blockIdBytes / 2 - 1, QChar(0x0416));
        blockId += QString(blockIdBytes - blockId.toUtf8().size(), QLatin1Char('b'));
        QCOMPARE(blockId.toUtf8().size(), blockIdBytes);
        c.client.controllerConfigModel()->setData(ControllerConfigModel::BlockIdParam, blockId, Qt::EditRole);

        const QString first = dataDir.filePath(QStringLiteral("first.xml"));
        const QString second = dataDir.filePath(QStringLiteral("second.xml"));
        QVERIFY(c.client.saveConfigFile(first));
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));

        LantrelClient loaded;
        TaskLog loadLog(loaded);
        QVERIFY(loaded.loadConfigFile(first));
        QVERIFY(waitFor([&]() { return loadLog.datasets == 1; }));
        QVERIFY2(loadLog.errors.isEmpty(), qPrintable(loadLog.errors.join('\n')));
        QCOMPARE(loaded.controllerConfigModel()->blockId, blockId);
        QCOMPARE(loaded.sensorsConfigModel()->moduleAt(0).deviceType, quint8(1));
        QCOMPARE(loaded.sensorsConfigModel()->moduleAt(1).deviceType, quint8(16));
        const InteractionsConfigModel *interactions = c.client.interactionsConfigModel();
        QCOMPARE(loaded.interactionsConfigModel()->rowCount(), interactions->rowCount());
        for (int row = 0; row < interactions->rowCount(); ++row) {
            const InteractionRecord a = interactions->interactionAt(row);
            const InteractionRecord b = loaded.interactionsConfigModel()->interactionAt(row);
            QCOMPARE(b.executorType, a.executorType);
            QCOMPARE(b.executorNumber, a.executorNumber);
            QCOMPARE(b.relay, a.relay);
            QCOMPARE(b.function, a.function);
            QCOMPARE(b.executorAddressText, a.executorAddressText);
            QCOMPARE(b.functionText, a.functionText);
        }

        QVERIFY(loaded.saveConfigFile(second));
        QVERIFY(waitFor([&]() { return loadLog.writesFinished == 1; }));
        QFile a(first);
        QFile b(second);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
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

    void notRegularFileRefused_data()
    {
        QTest::addColumn<bool>("pipe");   // else a folder
        QTest::newRow("named pipe") << true;
        QTest::newRow("folder") << false;
    }

    void notRegularFileRefused()
    {
        // A pipe would block the read until someone writes into it.
        QFETCH(bool, pipe);
        const QString path = dataDir.filePath(pipe ? QStringLiteral("pipe.xml") : QStringLiteral("folder.xml"));
        FifoTest::Guard guard(pipe ? path : QString());
        if (pipe)
            QVERIFY(guard.isValid());
        else
            QVERIFY(QDir(dataDir.path()).mkpath(QStringLiteral("folder.xml")));
        LantrelClient client;
        TaskLog log(client);

        QVERIFY(!client.loadConfigFile(path));
        QVERIFY(!guard.released());
        QCOMPARE(log.errors, QStringList{QStringLiteral("Ошибка чтения файла конфигурации «%1». Это не обычный файл")
                                             .arg(QDir::toNativeSeparators(path))});
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
        // Offsets in milliseconds of the controller's clock from the local
        // one. The check counts whole seconds, and the local clock runs on
        // while the reading is handled: half a second of margin keeps each
        // row on its side of the 10 s boundary.
        QTest::addColumn<int>("offsetMs");
        QTest::addColumn<bool>("corrected");
        QTest::newRow("9 s behind") << -9500 << false;
        QTest::newRow("9 s ahead") << 9500 << false;
        QTest::newRow("10 s behind") << -10000 << true;
        QTest::newRow("10 s ahead") << 10500 << true;
        QTest::newRow("invalid date") << 0 << true;
    }

    void clockCheck()
    {
        QFETCH(int, offsetMs);
        QFETCH(bool, corrected);
        LantrelClient client;
        TaskLog log(client);
        const QDateTime dt = offsetMs == 0 ? QDateTime() : QDateTime::currentDateTime().addMSecs(offsetMs);
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


    void tableRowsMark_data()
    {
        QTest::addColumn<bool>("relayModules");
        QTest::addColumn<bool>("marks");
        QTest::newRow("relay-module row removed") << true << true;
        // Every model edit counts, the line-protection table's too.
        QTest::newRow("line-protection row replaced") << false << true;
    }

    void tableRowsMark()
    {
        QFETCH(bool, relayModules);
        QFETCH(bool, marks);
        LantrelClient client;
        TaskLog log(client);
        emit client.configurationManager()->relayModuleConfig(0, {relayModuleRecord("192.0.2.40")});
        settle();
        client.configurationManager()->newDocument();
        client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QVERIFY(!client.isModified());
        if (relayModules) {
            client.relayModulesConfigModel()->removeModule(0);
        } else {
            ScpModuleRecord scp;
            scp.lineAddress = 4;
            scp.deviceType = SECT_MKZ;
            scp.thrOn = 12000;
            client.scpModulesConfigModel()->setModule(0, scp);
        }
        QCOMPARE(client.isModified(), marks);
    }

    void blockIdIsCutOnACharacter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bytes");
        QTest::newRow("short") << QStringLiteral("Объект 1") << 14;
        QTest::newRow("latin, 70 characters") << QString(70, QLatin1Char('x')) << 64;
        QTest::newRow("cyrillic, 40 characters") << QString(40, QChar(0x0416)) << 64;
        QTest::newRow("a character across byte 64") << QStringLiteral("x") + QString(40, QChar(0x0416)) << 63;
    }

    // The controller gets what it keeps; a file keeps the identifier whole.
    void blockIdIsCutOnACharacter()
    {
        QFETCH(QString, text);
        QFETCH(int, bytes);
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        const ControllerConfigModel *held = c.client.controllerConfigModel();
        c.client.controllerConfigModel()->setConfig(text, held->deviceConfig, held->networkConfig, held->lineConfig);
        QSignalSpy sent(&c.client, &LantrelClient::setControllerConfig);
        c.client.writeConfiguration();
        QCOMPARE(sent.size(), 1);
        const QByteArray id = sent.first().first().toByteArray();
        QCOMPARE(id.size(), bytes);
        QVERIFY(text.startsWith(QString::fromUtf8(id)));
        QCOMPARE(QString::fromUtf8(id).toUtf8(), id);
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));

        LantrelClient offline;
        offline.configurationManager()->newDocument();
        offline.controllerConfigModel()->setConfig(text, Konfig_Device_t(), ETH_konf_t(), Konfig_Line_t());
        QSignalSpy saved(&offline, &LantrelClient::saveControllerConfig);
        offline.writeConfiguration();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().first().toByteArray(), text.toUtf8());
    }

    // --------------------------------------------------- handlers of the data

    void scratchSensorRecordOnlyReportsTheModule()
    {
        LantrelClient client;
        auto *doc = client.configurationManager();
        QSignalSpy found(&client, &LantrelClient::foundLineModule);
        QSignalSpy sensorRows(client.sensorsConfigModel(), &QAbstractItemModel::dataChanged);
        QSignalSpy lineRows(client.lineModulesModel(), &QAbstractItemModel::dataChanged);
        emit doc->sensorConfig(500, {sensorRecord(9, SECT_ACCI, 1234), sensorRecord(10, SECT_ACC, 99)});
        settle();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().at(0).value<ushort>(), ushort(9));
        QCOMPARE(found.first().at(1).value<uint>(), 1234u);
        QCOMPARE(found.first().at(2).value<uchar>(), uchar(SECT_ACCI));
        QCOMPARE(sensorRows.size(), 0);
        QCOMPARE(lineRows.size(), 0);
        QCOMPARE(client.lineModulesModel()->moduleAt(9).deviceType, quint8(0));
    }

    void emptyRecordClearsOnlyItsRow_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("sensor") << int(SECT_ACC);
        QTest::newRow("input/output") << int(SECT_MVV);
        QTest::newRow("line protection") << int(SECT_MKZ);
    }

    void emptyRecordClearsOnlyItsRow()
    {
        QFETCH(int, type);
        LantrelClient client;
        auto *doc = client.configurationManager();
        // A module at line address 7, then an empty slot that still names address 7.
        auto send = [&](quint8 devType, quint8 cfgIo) {
            if (type == SECT_ACC) {
                emit doc->sensorConfig(0, {sensorRecord(7, devType, devType ? 70 : 0)});
            } else if (type == SECT_MVV) {
                Konfig_MVV_t r;
                r.LineAddr = 7;
                r.DeviceType = devType;
                r.SerialNo = devType ? 70 : 0;
                r.CfgIO = cfgIo;
                emit doc->ioModuleConfig(0, {r});
            } else {
                Konfig_MKZ_t r;
                r.LineAddr = 7;
                r.DeviceType = devType;
                r.SerialNo = devType ? 70 : 0;
                emit doc->scpModuleConfig(0, {r});
            }
            settle();
        };
        send(quint8(type), 0x90);   // loop 1 alarm, loop 2 fault
        const LineModuleRecord before = client.lineModulesModel()->moduleAt(7);
        QCOMPARE(int(before.deviceType), type);
        send(0, 0);

        const LineModuleRecord after = client.lineModulesModel()->moduleAt(7);
        QCOMPARE(after.deviceType, before.deviceType);
        QCOMPARE(after.serialNumber, before.serialNumber);
        QCOMPARE(after.tableIndex, before.tableIndex);
        QCOMPARE(after.loop1Mode, before.loop1Mode);
        QCOMPARE(after.loop2Mode, before.loop2Mode);
        quint8 rowType = 0xFF;
        if (type == SECT_ACC)
            rowType = client.sensorsConfigModel()->moduleAt(0).deviceType;
        else if (type == SECT_MVV)
            rowType = client.ioModulesConfigModel()->moduleAt(0).deviceType;
        else
            rowType = client.scpModulesConfigModel()->moduleAt(0).deviceType;
        QCOMPARE(rowType, quint8(0));
    }

    // Each interaction as the table shows it: executor type, address, relay
    // and function, and which of the first three are marked as held.
    void interactionTexts_data()
    {
        QTest::addColumn<int>("executor");
        QTest::addColumn<int>("destRef");
        QTest::addColumn<int>("destFunc");
        QTest::addColumn<int>("time");
        QTest::addColumn<QStringList>("cells"); // type, address, relay, function
        QTest::addColumn<QString>("marks");     // type, address, relay: x marked
        const QString io = deviceTypeNames.value(SECT_MVV);
        const QString rm = deviceTypeNames.value(EXT_RELY);
        const int relay3 = (2 << 8) | 3;
        QTest::newRow("relay 3 of module 2, odd time")
            << int(EXT_RELY) << relay3 << 255 << 5 << QStringList{rm, "192.0.2.50", "3", "Вкл. на 2,5 с."} << "---";
        QTest::newRow("relay 3 of module 2, even time")
            << int(EXT_RELY) << relay3 << 255 << 4 << QStringList{rm, "192.0.2.50", "3", "Вкл. на 2 с."} << "---";
        QTest::newRow("relay 32") << int(EXT_RELY) << ((2 << 8) | 32) << 255 << 3
                                  << QStringList{rm, "192.0.2.50", "32", "Вкл. на 1,5 с."} << "---";
        QTest::newRow("relay formula")
            << int(EXT_RELY) << relay3 << 7 << 5 << QStringList{rm, "192.0.2.50", "3", "Формула №7"} << "---";
        QTest::newRow("relay by command")
            << int(EXT_RELY) << relay3 << 0 << 5 << QStringList{rm, "192.0.2.50", "3", "Вкл./откл. по команде"} << "---";
        QTest::newRow("input/output module, 10 s")
            << int(SECT_MVV) << 1 << 255 << 10 << QStringList{io, "2", "", "Вкл. на 10 с."} << "---";
        QTest::newRow("input/output module by command")
            << int(SECT_MVV) << 1 << 0 << 10 << QStringList{io, "2", "", "Вкл./откл. по команде"} << "---";
        QTest::newRow("input/output module, formula 4")
            << int(SECT_MVV) << 1 << 4 << 10 << QStringList{io, "2", "", "Формула №4"} << "---";
        // Held values: shown as the controller or the file holds them, marked.
        QTest::newRow("input/output module 9 of 1")
            << int(SECT_MVV) << 9 << 255 << 10 << QStringList{io, "9 (вне диапазона)", "", "Вкл. на время"} << "-x-";
        QTest::newRow("input/output module 0")
            << int(SECT_MVV) << 0 << 0 << 10 << QStringList{io, "0 (вне диапазона)", "", "Вкл./откл. по команде"}
            << "-x-";
        QTest::newRow("relay 40")
            << int(EXT_RELY) << ((2 << 8) | 40) << 255 << 5
            << QStringList{rm, "192.0.2.50", "40 (вне диапазона)", "Вкл. на время"} << "--x";
        QTest::newRow("relay 0")
            << int(EXT_RELY) << (2 << 8) << 0 << 5 << QStringList{rm, "192.0.2.50", "0 (вне диапазона)", "Вкл./откл. по команде"}
            << "--x";
        QTest::newRow("relay module 3, not in the table")
            << int(EXT_RELY) << ((3 << 8) | 1) << 255 << 5 << QStringList{rm, "3 (вне диапазона)", "1", "Вкл. на время"}
            << "-x-";
        QTest::newRow("executor type 7")
            << 7 << 0x1234 << 4 << 5 << QStringList{"7 (вне диапазона)", "4660", "", "Формула №4"} << "x--";
        QTest::newRow("executor type 255")
            << 255 << 0xFFFF << 255 << 5 << QStringList{"255 (вне диапазона)", "65535", "", "Вкл. на время"} << "x--";
    }

    void interactionTexts()
    {
        QFETCH(int, executor);
        QFETCH(int, destRef);
        QFETCH(int, destFunc);
        QFETCH(int, time);
        QFETCH(QStringList, cells);
        QFETCH(QString, marks);
        LantrelClient client;
        auto *doc = client.configurationManager();
        emit doc->sensorConfig(0, {sensorRecord(1, SECT_ACC, 10, 1)});
        Konfig_MVV_t io;
        io.LineAddr = 2;
        io.DeviceType = SECT_MVV;
        io.TSign = quint8(time);
        emit doc->ioModuleConfig(0, {io});
        // With its expansion module: relays 1 to 32.
        Konfig_Modul_t relayModule = relayModuleRecord("192.0.2.50");
        relayModule.ExpMod = 1;
        const int relay = destRef & 0xFF;
        if (executor == EXT_RELY && relay >= 1 && relay <= 32)
            relayModule.Relays[relay - 1].TSign = quint8(time);
        emit doc->relayModuleConfig(1, {relayModule});
        Control_Relay_t r;
        r.DeviceType = quint8(executor);
        r.DestRef = quint16(destRef);
        r.DestFunc = quint8(destFunc);
        emit doc->interactionsConfig(0, {r});
        settle();

        const InteractionsConfigModel *model = client.interactionsConfigModel();
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->interactionAt(0).sourceAddress, quint16(1));
        QStringList shown;
        QString marked;
        for (int column = 4; column <= 7; ++column)
            shown << model->index(0, column).data().toString();
        for (int column = 4; column <= 6; ++column)
            marked += model->index(0, column).data(InteractionsConfigModel::HeldRole).toBool() ? 'x' : '-';
        QCOMPARE(shown, cells);
        QCOMPARE(marked, marks);
    }

    // ------------------------------------------------------- status relays

    void moduleStatesReset_data()
    {
        QTest::addColumn<bool>("lineStatus");   // else monitoringStateChanged
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("resets");
        QTest::newRow("LN_NON") << true << int(LN_NON) << true;
        QTest::newRow("LN_POW") << true << int(LN_POW) << false;
        QTest::newRow("LN_ONN") << true << int(LN_ONN) << false;
        QTest::newRow("LN_OFF") << true << int(LN_OFF) << true;
        QTest::newRow("CMD_OFF") << true << int(CMD_OFF) << false;
        QTest::newRow("monitoring stops") << false << 0 << true;
        QTest::newRow("monitoring starts") << false << 1 << false;
    }

    void moduleStatesReset()
    {
        QFETCH(bool, lineStatus);
        QFETCH(int, value);
        QFETCH(bool, resets);
        LantrelClient client;
        emit client.configurationManager()->sensorConfig(0, {sensorRecord(5, SECT_ACC, 50), sensorRecord(6, SECT_ACC, 60)});
        settle();
        Status_Section_t st;
        st.State0 = 0x02;
        const QVector<Status_Section_t> states {st, st};
        QVERIFY(QMetaObject::invokeMethod(&client, "onSensorStatus", Q_ARG(ushort, 0),
                                          Q_ARG(QVector<LantrelProtocol::Status_Section_t>, states)));
        QVERIFY(client.lineModulesModel()->moduleAt(5).stateFlags != 0);
        QVERIFY(client.lineModulesModel()->moduleAt(6).stateFlags != 0);
        // An index beyond the used rows names no module.
        QVERIFY(QMetaObject::invokeMethod(&client, "onSensorStatus", Q_ARG(ushort, 600),
                                          Q_ARG(QVector<LantrelProtocol::Status_Section_t>, states)));

        QSignalSpy changed(&client, &LantrelClient::lineStatusChanged);
        if (lineStatus) {
            Status_Line_t line;
            line.State = quint8(value);
            line.Faults = 0x11;
            QVERIFY(QMetaObject::invokeMethod(&client, "onLineStatus", Q_ARG(LantrelProtocol::Status_Line_t, line)));
            QCOMPARE(changed.size(), 1);
            QCOMPARE(client.lastLineStatus().Faults, quint8(0x11));
        } else {
            QVERIFY(QMetaObject::invokeMethod(&client, "onMonitoringStateChanged", Q_ARG(bool, value != 0)));
        }
        QCOMPARE(client.lineModulesModel()->moduleAt(5).stateFlags == 0, resets);
        QCOMPARE(client.lineModulesModel()->moduleAt(6).stateFlags == 0, resets);
    }

    void firmwareVersionsCarryLineAddresses_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("firstAddress");
        QTest::newRow("from index 0") << 0 << 1;
        QTest::newRow("from index 10") << 10 << 11;
    }

    void firmwareVersionsCarryLineAddresses()
    {
        QFETCH(int, first);
        QFETCH(int, firstAddress);
        LantrelClient client;
        QSignalSpy versions(&client, &LantrelClient::moduleFirmwareVersion);
        QVERIFY(QMetaObject::invokeMethod(&client, "onModulesFwVersion", Q_ARG(ushort, ushort(first)),
                                          Q_ARG(QVector<quint16>, QVector<quint16>({0x0101, 0x0203, 0x0405}))));
        QCOMPARE(versions.size(), 3);
        const QVector<quint16> expected {0x0101, 0x0203, 0x0405};
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(versions[k][0].value<ushort>(), ushort(firstAddress + k));
            QCOMPARE(versions[k][1].value<ushort>(), expected[k]);
        }
    }

    // ------------------------------------------------------- with a controller

    void readStartedOnConnectionRunsWhole()
    {
        // The main window starts the whole read inside deviceConnected.
        Connected c;
        TaskLog log(c.client);
        QObject::connect(&c.client, &LantrelClient::deviceConnected, &c.client, &LantrelClient::readConfiguration);
        QVERIFY(connectToFake(c));
        QVERIFY(waitFor([&]() { return log.datasets == 1; }));
        QTest::qWait(200);
        QCOMPARE(log.datasets, 1);
        QCOMPARE(log.completed.size(), 127);
        QCOMPARE(log.completed.last(), qMakePair(127, true));
        QVERIFY(!c.client.isModified());
    }

    void wholeReadFillsTheModels()
    {
        Connected c;
        QVERIFY(connectToFake(c));
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
        QVERIFY(connectToFake(c));
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
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        QVERIFY(editLineMode(c.client));

        c.client.saveConfigToFlash();
        QVERIFY(waitFor([&]() { return c.client.configSaved() && log.writesFinished == 1; }));
        QCOMPARE(log.started.size(), 3);
        QCOMPARE(log.started[1].second, 126);
        QCOMPARE(log.started[2], qMakePair(QStringLiteral("Сохранение конфигурации ИОП..."), 0));
        // A task without a count reports its one completion as step 0.
        QCOMPARE(log.completed.last(), qMakePair(0, true));
        QCOMPARE(c.fake.flashFileBytes(8), c.fake.fileBytes(8));
    }

    void failedWriteDropsThePendingFlashSave()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        QVERIFY(editLineMode(c.client));
        const auto flashSave = qMakePair(QStringLiteral("Сохранение конфигурации ИОП..."), 0);

        c.fake.addInjection(FakeInjection::exception(2, 21));
        c.client.saveConfigToFlash();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QCOMPARE(log.errors, QStringList{QStringLiteral("В процессе передачи данных в ЦУ-Л были ошибки, не переданы: "
                                                        "записи таблицы модулей ВТ-Л и ВС-Л. Причина: ЦУ-Л отклонил запрос: Ответ-исключение Modbus: недопустимый адрес данных (код 0x02).")});
        QCOMPARE(log.failedSteps(), 1);
        QVERIFY(c.client.isModified());

        // Neither this write nor a later good one runs the flash save.
        c.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 2; }));
        QTest::qWait(200);
        QVERIFY(!log.started.contains(flashSave));
        QCOMPARE(log.errors.size(), 1);
        QVERIFY(!c.client.isModified());
        QVERIFY(c.fake.commands().isEmpty());
    }

    void incompleteReadIsNeverWritten()
    {
        Connected c;
        QVERIFY(connectToFake(c));
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
        // The read said it was incomplete; both writes are refused.
        QCOMPARE(log.errors.size(), 3);
        QVERIFY(log.errors.at(0).startsWith(QStringLiteral("Конфигурация ИОП прочитана из ЦУ-Л не полностью")));
        QVERIFY(log.errors.at(1).startsWith(QStringLiteral("Ошибка передачи конфигурации в ЦУ-Л.")));
        QVERIFY(log.errors.at(2).startsWith(QStringLiteral("Ошибка передачи конфигурации в ЦУ-Л.")));

        // Pages after the lost one are not stored on the wrong rows.
        const int rows = c.client.interactionsConfigModel()->rowCount();
        const auto relays = c.fake.records<Control_Relay_t>(11);
        for (int k = 0; k < rows; ++k)
            QCOMPARE(c.client.interactionsConfigModel()->interactionAt(k).executorType, relays[k].DeviceType);
    }

    void fileSaveWhileConnectedKeepsControllerMarks()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        QVERIFY(editLineMode(c.client));
        quint16 idx = 0;
        c.client.addModule(SECT_ACC, (2004u << 18) | 999u, 499, idx);
        QVERIFY(c.client.lineModulesChanged());
        QVERIFY(c.client.saveConfigFile(dataDir.filePath(QStringLiteral("connected.xml"))));
        // The file holds the edits; the controller and its line still do not.
        QVERIFY(c.client.isModified());
        QVERIFY(c.client.configSaved());
        QVERIFY(c.client.lineModulesChanged());
    }

    // The controller restarted on its own (the status block's restart bit)
    // after a write its flash does not hold: what it runs now is read again.
    void rereadAfterSpontaneousRestart()
    {
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
        const auto quiet = qScopeGuard([]() { appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false); });
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        c.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QVERIFY(!c.client.configSaved());

        log.started.clear();
        c.fake.setCoil(10, true);
        QVERIFY(waitFor([&]() { return log.datasets == 2; }, 10000));
        QCOMPARE(log.started.value(0).first, QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л..."));
        QVERIFY(c.client.configSaved());
        // The flag is acknowledged; a flash that holds the configuration
        // needs no further read.
        QTRY_VERIFY_WITH_TIMEOUT(!c.fake.coil(10), 5000);
        c.fake.setCoil(10, true);
        QTest::qWait(800);
        QCOMPARE(log.datasets, 2);
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
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        QVERIFY(c.client.loadConfigFile(path));
        QVERIFY(waitFor([&]() { return log.datasets == 2; }));
        QCOMPARE(c.client.controllerConfigModel()->deviceConfig.LineAddr, quint16(LineAddress));
        QVERIFY(c.client.isModified());

        // Settings edited after the import; a later read from the controller
        // takes everything from the controller, those included.
        ControllerConfigModel *held = c.client.controllerConfigModel();
        Konfig_Device_t edited = held->deviceConfig;
        edited.LineAddr = 9;
        held->setConfig(QStringLiteral("правка"), edited, held->networkConfig, held->lineConfig);
        readWhole(c.client, log);
        QCOMPARE(held->deviceConfig.LineAddr, quint16(LineAddress));
        QCOMPARE(held->blockId, QString::fromUtf8(c.fake.blockId()).remove(QChar(0)));
    }

    void identityFromTheDocument_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("sameController");
        QTest::addColumn<bool>("takesSettings");
        QTest::newRow("connected, another controller") << true << false << false;
        QTest::newRow("connected, the same controller") << true << true << true;
        QTest::newRow("offline") << false << false << true;
    }

    void identityFromTheDocument()
    {
        QFETCH(bool, online);
        QFETCH(bool, sameController);
        QFETCH(bool, takesSettings);
        Connected c;
        TaskLog log(c.client);
        ControllerConfigModel *held = c.client.controllerConfigModel();
        if (online) {
            QVERIFY(connectToFake(c));
            QVERIFY(waitFor([&]() { return !held->info.serialNumber.isEmpty(); }));
            // The settings to keep must be the controller's own.
            if (!sameController)
                readWhole(c.client, log);
        }
        const ControllerInfo infoBefore = held->info;
        const QString blockBefore = held->blockId;
        const Konfig_Device_t devBefore = held->deviceConfig;
        const ETH_konf_t netBefore = held->networkConfig;
        const Konfig_Line_t lineBefore = held->lineConfig;
        log.log.clear();

        Info_Device_t info;
        info.DeviceType = BOS_LIN;
        info.SerialNo = 999;
        info.ProdYear = 2030;
        if (sameController) {
            const QStringList parts = infoBefore.serialNumber.split(QLatin1Char('.'));
            QCOMPARE(parts.size(), 2);
            info.SerialNo = quint16(parts[0].toUInt());
            info.ProdYear = quint16(parts[1].toUInt());
        }
        Konfig_Device_t dev;
        dev.LineAddr = 77;
        dev.CfgLoop = 0x5A;
        dev.TWork = 9;
        ETH_konf_t net;
        net.IPAddr = QHostAddress(QStringLiteral("192.0.2.77")).toIPv4Address();
        Konfig_Line_t line;
        line.LineMode = 1;
        line.SensorCount = lineBefore.SensorCount;
        auto *doc = c.client.configurationManager();
        emit doc->controllerInfo(info, 0, QDate(2030, 1, 2));
        emit doc->controllerConfig(QByteArray("другой"), dev, net, line);
        settle();

        // The identity from a file never replaces the connected controller's.
        QCOMPARE(held->info.serialNumber, online ? infoBefore.serialNumber : QStringLiteral("999.2030"));
        QVERIFY(log.log.filter(QStringLiteral("Чтение информации о блоке")).isEmpty());
        QCOMPARE(held->deviceConfig.TWork, quint8(9));
        QCOMPARE(held->blockId, takesSettings ? QStringLiteral("другой") : blockBefore);
        QCOMPARE(held->deviceConfig.LineAddr, takesSettings ? quint16(77) : devBefore.LineAddr);
        QCOMPARE(held->deviceConfig.CfgLoop, takesSettings ? quint8(0x5A) : devBefore.CfgLoop);
        QCOMPARE(held->networkConfig.IPAddr, takesSettings ? net.IPAddr : netBefore.IPAddr);
        QCOMPARE(held->lineConfig.LineMode, takesSettings ? quint8(1) : lineBefore.LineMode);
    }

    void relayCountFollowsTheRelayModules()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        readWhole(c.client, log);
        const int relayModules = c.client.relayModulesConfigModel()->rowCount();
        QVERIFY(relayModules > 0);
        QCOMPARE(int(c.fake.record<Konfig_Line_t>(8, 0).RelayCount), relayModules);

        c.client.relayModulesConfigModel()->removeModule(0);
        QSignalSpy relayWrites(&c.client, &LantrelClient::setRelayModulesConfig);
        c.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QCOMPARE(log.started.last().second, 126);
        QCOMPARE(log.completed.size() - 127, 126);
        QVERIFY(log.errors.isEmpty());
        QCOMPARE(relayWrites.size(), 1);
        QCOMPARE(relayWrites.first().at(1).toBool(), false);
        QCOMPARE(int(c.client.controllerConfigModel()->lineConfig.RelayCount), relayModules - 1);
        QCOMPARE(int(c.fake.record<Konfig_Line_t>(8, 0).RelayCount), relayModules - 1);
    }

    void firmwareUploadedOnlyWithTheLastChunk()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        QStringList events;
        QObject::connect(&c.client, &LantrelClient::taskStarted, [&](const QString &t, ushort n) { events << QStringLiteral("start %1 %2").arg(t).arg(n); });
        QObject::connect(&c.client, &LantrelClient::taskCompleted, [&](ushort n, bool ok) { events << QStringLiteral("step %1 %2").arg(n).arg(ok); });
        QObject::connect(&c.client, &LantrelClient::firmwareUploaded, [&](bool ok) { events << QStringLiteral("uploaded %1").arg(ok); });
        c.client.uploadFirmware(3, QByteArray(40 * 128, '\x5a'));
        QVERIFY(waitFor([&]() { return events.contains(QStringLiteral("uploaded 1")) || events.contains(QStringLiteral("uploaded 0")); }));
        QTest::qWait(200);

        const int start = events.indexOf(QStringLiteral("start Передача файла прошивки в ЦУ-Л... 40"));
        QVERIFY2(start > 0, qPrintable(events.join(QLatin1Char('\n'))));
        QStringList expected;
        for (int k = 1; k <= 40; ++k)
            expected << QStringLiteral("step %1 1").arg(k);
        expected << QStringLiteral("uploaded 1");
        QCOMPARE(events.mid(start + 1), expected);
    }

    void restartCompletionRereadsOnlyWhenFlashDiffers()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        const auto readText = QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л...");
        auto reads = [&]() { return log.started.count(qMakePair(readText, 127)); };
        const int readsBefore = reads();
        QSignalSpy rebooted(&c.client, &LantrelClient::deviceRebooted);

        // Flash holds what runs: the completion schedules nothing.
        QVERIFY(c.client.configSaved());
        QVERIFY(QMetaObject::invokeMethod(&c.client, "onRebootCompleted", Q_ARG(bool, true)));
        QCOMPARE(rebooted.size(), 1);

        // A write makes the flash differ: this completion re-reads 4000 ms later.
        c.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QVERIFY(!c.client.configSaved());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(QMetaObject::invokeMethod(&c.client, "onRebootCompleted", Q_ARG(bool, true)));
        QCOMPARE(rebooted.size(), 2);
        QVERIFY(c.client.configSaved());
        QVERIFY(!c.client.lineModulesChanged());

        QVERIFY(waitFor([&]() { return reads() > readsBefore; }, 10000));
        QVERIFY2(clock.elapsed() > 3500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(waitFor([&]() { return log.datasets == 1; }));
        // The first completion never added a read of its own.
        QTest::qWait(300);
        QCOMPARE(reads(), readsBefore + 1);
    }

    // The driver tells a change of the module counts on every status block
    // until a read takes them. Told while a read runs, it starts no read of
    // its own: the running read settles the counts, and a change it did not
    // take is told again after it, which reads then, never on top of it.
    void moduleCountChangeWaitsForTheRunningRead_data()
    {
        QTest::addColumn<bool>("toldAgain");
        QTest::addColumn<QList<int>>("stepsAtStart");
        QTest::newRow("the read took the counts") << false << QList<int>{0};
        QTest::newRow("told again after the read") << true << QList<int>{0, 127};
    }

    void moduleCountChangeWaitsForTheRunningRead()
    {
        QFETCH(bool, toldAgain);
        QFETCH(QList<int>, stepsAtStart);
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        QList<int> starts;
        QObject::connect(&c.client, &LantrelClient::taskStarted, [&]() { starts << log.completed.size(); });
        c.client.readConfiguration();
        emit c.client.driver()->modulesCountChanged();
        QVERIFY(waitFor([&]() { return log.datasets == 1; }));
        if (toldAgain)
            emit c.client.driver()->modulesCountChanged();
        QVERIFY(waitFor([&]() { return log.datasets == stepsAtStart.size(); }));
        QTest::qWait(300);
        QCOMPARE(starts, stepsAtStart);
        QCOMPARE(log.completed.size(), 127 * stepsAtStart.size());
        QCOMPARE(log.failedSteps(), 0);
    }

    // After a restart that lost a written configuration the module counts
    // may change before the restart's own re-read is due: the read they
    // start is that re-read too.
    void restartReadsOnceWhenCountsChangeFirst()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        TaskLog log(c.client);
        c.client.writeConfiguration();
        QVERIFY(waitFor([&]() { return log.writesFinished == 1; }));
        QVERIFY(!c.client.configSaved());
        QSignalSpy tasks(&c.client, &LantrelClient::taskStarted);
        emit c.client.driver()->rebootCompleted(true);
        emit c.client.driver()->modulesCountChanged();
        QVERIFY(waitFor([&]() { return log.datasets == 1; }));
        // The restart's own re-read would start 4 s after it.
        QVERIFY(!tasks.wait(5000));
        QCOMPARE(tasks.count(), 1);
        QCOMPARE(tasks.first().at(0).toString(), QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л..."));
    }

    void shutdownInAddressingModeIsBounded()
    {
        Connected c;
        QVERIFY(connectToFake(c));
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

    // However the driver ends, the client lets go of it at once (it never
    // posts to a driver its thread may be deleting), reports the end once,
    // and a new connection of the same client is not ended by the old one.
    void shutdownPaths_data()
    {
        QTest::addColumn<int>("path");
        QTest::newRow("asked to stop") << int(AskedToStop);
        QTest::newRow("stops on its own after a lost link") << int(LinkLost);
        QTest::newRow("does not stop within the time limit") << int(TimeLimitHit);
    }

    void shutdownPaths()
    {
        QFETCH(int, path);
        Connected c;
        QVERIFY(connectToFake(c));
        QSignalSpy disconnected(&c.client, &LantrelClient::deviceDisconnected);
        QList<bool> driverAtStop;
        QObject::connect(&c.client, &LantrelClient::driverStopped,
                         [&]() { driverAtStop << c.client.hasDriver(); });

        switch (path) {
        case AskedToStop:
            c.client.shutdownDriver();
            break;
        case LinkLost:
            c.server.dropConnections();
            QVERIFY(waitFor([&]() { return !driverAtStop.isEmpty(); }));
            // What the connection dialog does before a new connection.
            c.client.shutdownDriver();
            break;
        case TimeLimitHit: {
            // The driver's thread is busy past the limit.
            QVERIFY(QMetaObject::invokeMethod(c.client.driver().data(), []() { QThread::msleep(3600); },
                                              Qt::QueuedConnection));
            QElapsedTimer clock;
            clock.start();
            c.client.shutdownDriver();
            QVERIFY2(clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
            break;
        }
        }
        QCOMPARE(driverAtStop, QList<bool>{false});
        QVERIFY(!c.client.hasDriver());
        QVERIFY(!c.client.isConnected());
        QCOMPARE(disconnected.count(), 1);
        QCOMPARE(c.client.connection().connType, -1);

        QSignalSpy connected(&c.client, &LantrelClient::deviceConnected);
        c.client.connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
        QVERIFY(connected.wait(LongWaitMs));
        // Whatever the old driver still says reaches nobody.
        QTest::qWait(800);
        QCOMPARE(driverAtStop, QList<bool>{false});
        QCOMPARE(disconnected.count(), 1);
        QVERIFY(c.client.hasDriver());
        QVERIFY(c.client.isConnected());
        c.client.shutdownDriver();
        QCOMPARE(driverAtStop, (QList<bool>{false, false}));
    }

    void reconnectAfterShutdown()
    {
        Connected c;
        QVERIFY(connectToFake(c));
        c.client.shutdownDriver();
        // driverStopped cleared the connection before the shut-down returned.
        QCOMPARE(c.client.connection().connType, -1);
        QVERIFY(c.client.connection().address.isEmpty());
        QCOMPARE(c.client.connection().lineAddress, 0);
        QSignalSpy connected(&c.client, &LantrelClient::deviceConnected);
        c.client.connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
        QVERIFY(connected.wait(LongWaitMs));
        const ClientConnection conn = connected.first().first().value<ClientConnection>();
        QCOMPARE(conn.connType, 0);
        QCOMPARE(conn.address, QStringLiteral("127.0.0.1"));
        QCOMPARE(conn.lineAddress, LineAddress);

        QSignalSpy changed(&c.client, &LantrelClient::connectionChanged);
        QVERIFY(QMetaObject::invokeMethod(&c.client, "onDeviceIpChanged",
                                          Q_ARG(uint, QHostAddress(QStringLiteral("192.0.2.9")).toIPv4Address())));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().first().value<ClientConnection>().address, QStringLiteral("192.0.2.9"));
        QCOMPARE(c.client.connection().lineAddress, LineAddress);
    }
};

QTEST_GUILESS_MAIN(TestLantrelClient)
#include "tst_lantrelclient.moc"
