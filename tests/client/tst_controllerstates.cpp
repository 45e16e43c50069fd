// States a controller may hold that the program never makes itself: an empty
// interaction record inside a source's count, records beyond the counts, a
// module table with an empty row before used ones, a block identifier that
// is not UTF-8 text. A read says what it could not place in the tables, a
// write the user did not edit gives the controller its records back as they
// came, and a file saved from such a read keeps every row.

#include <QFile>
#include <QTextCodec>

#include <functional>

#include "clienttestsupport.h"
#include "configurationmanager.h"
#include "controllerconfigmodel.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "processingconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"

using namespace LantrelProtocol;
using namespace ClientTest;

namespace {

using State = std::function<void(FakeController &)>;

// The configuration files a whole write replaces.
const QList<int> WrittenFiles = {3, 4, 8, 10, 11, 13, 15, 17, 20, 28};

QHash<int, QByteArray> configurationBytes(const FakeController &fake)
{
    QHash<int, QByteArray> files;
    for (int file : WrittenFiles)
        files.insert(file, fake.fileBytes(file));
    // The sensor file's last record is the addressing mode's scratch record.
    files[10] = files[10].left(500 * 16);
    return files;
}

// Task signals of one client.
struct Outcome
{
    QStringList errors;
    QList<bool> steps;
    int datasets = 0;
    int writes = 0;

    explicit Outcome(LantrelClient &client)
    {
        QObject::connect(&client, &LantrelClient::clientError, [this](const QString &t) { errors << t; });
        QObject::connect(&client, &LantrelClient::taskCompleted, [this](ushort, bool ok) { steps << ok; });
        QObject::connect(&client, &LantrelClient::datasetChanged, [this]() { ++datasets; });
        QObject::connect(&client, &LantrelClient::writeFinished, [this]() { ++writes; });
    }
};

QByteArray cp1251(const QString &text)
{
    return QTextCodec::codecForName("Windows-1251")->fromUnicode(text);
}

// Records of a configuration file, as the document reads them.
struct FileTables
{
    QVector<Konfig_Section_t> sensors;
    QVector<Konfig_MVV_t> ioModules;
    QVector<Konfig_MKZ_t> scpModules;
    QVector<Konfig_Proc_t> rules;
    QVector<Control_Relay_t> interactions;
};

bool readFile(const QString &path, FileTables &tables)
{
    QFile file(path);
    ConfigurationManager document;
    if (!file.open(QIODevice::ReadOnly) || !document.readDocument(&file))
        return false;
    QObject::connect(&document, &ConfigurationManager::sensorConfig,
                     [&](ushort, QVector<Konfig_Section_t> v) { tables.sensors = v; });
    QObject::connect(&document, &ConfigurationManager::ioModuleConfig,
                     [&](ushort, QVector<Konfig_MVV_t> v) { tables.ioModules = v; });
    QObject::connect(&document, &ConfigurationManager::scpModuleConfig,
                     [&](ushort, QVector<Konfig_MKZ_t> v) { tables.scpModules = v; });
    QObject::connect(&document, &ConfigurationManager::processingConfig,
                     [&](ushort, QVector<Konfig_Proc_t> v) { tables.rules = v; });
    QObject::connect(&document, &ConfigurationManager::interactionsConfig,
                     [&](ushort, QVector<Control_Relay_t> v) { tables.interactions = v; });
    document.getSensorsConfig();
    document.getIoModulesConfig();
    document.getScpModulesConfig();
    document.getProcessingConfig();
    document.getInteractionsConfig();
    return true;
}

template <typename T>
QByteArray bytesOf(const QVector<T> &records)
{
    QByteArray bytes;
    for (const T &r : records)
        bytes += FakeController::encode(r);
    return bytes.toHex();
}

// The used rows of a module table in order; with the rules of the sensors.
template <typename T>
QVector<T> usedRows(const QVector<T> &rows)
{
    QVector<T> used;
    for (const T &r : rows) {
        if (r.DeviceType != 0)
            used.append(r);
    }
    return used;
}

QVector<Konfig_Proc_t> rulesOfUsedSensors(const FakeController &fake)
{
    QVector<Konfig_Proc_t> rules;
    const QVector<Konfig_Section_t> sensors = fake.sensors();
    const QVector<Konfig_Proc_t> all = fake.processing();
    for (int k = 0; k < sensors.size(); ++k) {
        if (sensors[k].DeviceType != 0)
            rules.append(all[k]);
    }
    return rules;
}

// The interaction table's used part: a record for every reference of every
// used module row, and anything not empty after them.
QVector<Control_Relay_t> usedInteractions(const FakeController &fake)
{
    int used = 0;
    for (const Konfig_Section_t &s : fake.sensors())
        used += s.DeviceType != 0 ? s.RefCount : 0;
    for (const Konfig_MVV_t &io : fake.ioModules())
        used += io.DeviceType != 0 ? io.RefCountL1 + io.RefCountL2 : 0;
    const QVector<Control_Relay_t> all = fake.interactions();
    for (int k = used; k < all.size(); ++k) {
        if (all[k].DeviceType != 0 || all[k].DestFunc != 0 || all[k].DestRef != 0)
            used = k + 1;
    }
    return all.mid(0, used);
}

} // namespace

Q_DECLARE_METATYPE(State)

class TestControllerStates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpQuietEnvironment(m_dir, this); }

    void readAndWrittenBack_data() { states(true); }
    void readAndWrittenBack();
    // A file holds the identifier as text: only the tables are looked at.
    void savedToFile_data() { states(false); }
    void savedToFile();
    void overwriteAsksFirst_data();
    void overwriteAsksFirst();

private:
    static void states(bool identifiers);

    QTemporaryDir m_dir;
};

// The generated configuration: 24 sensors with 24 interaction records, then
// 4 I/O modules with 6, records 0 to 29; 2 line-protection modules.
void TestControllerStates::states(bool identifiers)
{
    QTest::addColumn<State>("state");
    // What the read's message names; empty when the tables hold everything.
    QTest::addColumn<QStringList>("leftOut");
    // The interaction rows shown, the one shown with its executor type held
    // and marked (-1 none), and whether the identifier is held as bytes.
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("markedRow");
    QTest::addColumn<bool>("heldId");

    QTest::newRow("empty interaction inside a count")
        << State([](FakeController &f) { f.setRecord(11, 10, Control_Relay_t()); }) << QStringList() << 30 << 10
        << false;
    QTest::newRow("interaction of executor type 0 with a reference inside a count")
        << State([](FakeController &f) { f.setRecord(11, 10, Control_Relay_t{0x0105, 7, 0}); }) << QStringList()
        << 30 << 10 << false;
    QTest::newRow("interactions beyond the counts")
        << State([](FakeController &f) {
               f.setRecord(11, 30, Control_Relay_t{(1 << 8) | 4, 0, EXT_RELY});
               f.setRecord(11, 31, Control_Relay_t{2, 255, SECT_MVV});
           })
        << QStringList{QStringLiteral("записи 31–32 таблицы взаимодействий"),
                       QStringLiteral("за пределами счётчиков ссылок")}
        << 30 << -1 << false;
    // Sensor row 5 held two records (4 and 5); the sources after it are unknown.
    QTest::newRow("empty sensor row before used ones")
        << State([](FakeController &f) { f.vacateModuleRow(10, 5); })
        << QStringList{QStringLiteral("записи 5–28 таблицы взаимодействий"),
                       QStringLiteral("строка 6 таблицы модулей ВТ-Л и ВС-Л пуста")}
        << 4 << -1 << false;
    QTest::newRow("empty I/O row before used ones")
        << State([](FakeController &f) { f.vacateModuleRow(15, 1); })
        << QStringList{QStringLiteral("записи 26–28 таблицы взаимодействий"),
                       QStringLiteral("строка 2 таблицы модулей ПС-Л пуста")}
        << 25 << -1 << false;
    QTest::newRow("empty line-protection row before a used one")
        << State([](FakeController &f) { f.vacateModuleRow(20, 0); }) << QStringList() << 30 << -1 << false;
    if (!identifiers)
        return;
    QTest::newRow("identifier in CP1251")
        << State([](FakeController &f) { f.setBlockId(cp1251(QStringLiteral("Участок «Север»"))); })
        << QStringList() << 30 << -1 << true;
    QTest::newRow("identifier cut inside a character at byte 64")
        << State([](FakeController &f) { f.setBlockId(QByteArray(63, 'a') + "\xD0"); }) << QStringList() << 30
        << -1 << true;
    QTest::newRow("identifier with bytes after its end")
        << State([](FakeController &f) {
               f.setBlockId(QByteArray("North") + QByteArray(1, '\0') + QByteArray("old identifier"));
           })
        << QStringList() << 30 << -1 << true;
}

void TestControllerStates::readAndWrittenBack()
{
    QFETCH(State, state);
    QFETCH(QStringList, leftOut);
    QFETCH(int, rows);
    QFETCH(int, markedRow);
    QFETCH(bool, heldId);
    Connected c;
    QVERIFY(connectToFake(c));
    state(c.fake);
    const QHash<int, QByteArray> before = configurationBytes(c.fake);

    Outcome outcome(c.client);
    c.client.readConfiguration();
    QVERIFY(waitFor([&]() { return outcome.datasets == 1; }));
    QVERIFY(c.client.datasetComplete());
    // The read ends as a success only when the tables hold everything.
    QCOMPARE(outcome.steps.size(), 127);
    QCOMPARE(outcome.steps.mid(0, 126).count(false), 0);
    QCOMPARE(outcome.steps.last(), leftOut.isEmpty());
    if (leftOut.isEmpty()) {
        QVERIFY2(outcome.errors.isEmpty(), qPrintable(outcome.errors.join('\n')));
    } else {
        QCOMPARE(outcome.errors.size(), 1);
        for (const QString &words : leftOut)
            QVERIFY2(outcome.errors.first().contains(words), qPrintable(outcome.errors.first()));
    }
    const InteractionsConfigModel *interactions = c.client.interactionsConfigModel();
    QCOMPARE(interactions->rowCount(), rows);
    for (int row = 0; row < rows; ++row) {
        const bool marked = interactions->index(row, 4).data(InteractionsConfigModel::HeldRole).toBool();
        QVERIFY2(marked == (row == markedRow), qPrintable(QString::number(row)));
    }
    QCOMPARE(c.client.controllerConfigModel()->heldBlockId.isNull(), !heldId);

    for (int file : WrittenFiles)
        c.fake.setFileBytes(file, QByteArray());
    c.client.writeConfiguration();
    QVERIFY(waitFor([&]() { return outcome.writes == 1; }));
    QCOMPARE(outcome.errors.size(), leftOut.isEmpty() ? 0 : 1);
    const QHash<int, QByteArray> after = configurationBytes(c.fake);
    for (int file : WrittenFiles)
        QVERIFY2(after.value(file) == before.value(file),
                 qPrintable(QStringLiteral("file %1:\n%2\n%3")
                                .arg(file)
                                .arg(QString::fromLatin1(before.value(file).toHex()),
                                     QString::fromLatin1(after.value(file).toHex()))));
}

// A file saved from what was read holds every used row of every table, and
// the whole used part of the interaction table, in order.
void TestControllerStates::savedToFile()
{
    QFETCH(State, state);
    Connected c;
    QVERIFY(connectToFake(c));
    state(c.fake);
    Outcome outcome(c.client);
    c.client.readConfiguration();
    QVERIFY(waitFor([&]() { return outcome.datasets == 1; }));

    const QString path = m_dir.filePath(QStringLiteral("saved.xml"));
    QVERIFY2(c.client.saveConfigFile(path), qPrintable(outcome.errors.join('\n')));
    FileTables file;
    QVERIFY(readFile(path, file));
    QCOMPARE(bytesOf(file.sensors), bytesOf(usedRows(c.fake.sensors())));
    QCOMPARE(bytesOf(file.rules), bytesOf(rulesOfUsedSensors(c.fake)));
    QCOMPARE(bytesOf(file.ioModules), bytesOf(usedRows(c.fake.ioModules())));
    QCOMPARE(bytesOf(file.scpModules), bytesOf(usedRows(c.fake.scpModules())));
    QCOMPARE(bytesOf(file.interactions), bytesOf(usedInteractions(c.fake)));
}

void TestControllerStates::overwriteAsksFirst_data()
{
    QTest::addColumn<bool>("toFile");
    // -1 nobody to ask, 0 "Нет", 1 "Да"
    QTest::addColumn<int>("answer");
    for (bool toFile : {false, true}) {
        const char *target = toFile ? "file" : "controller";
        QTest::newRow(qPrintable(QStringLiteral("%1, nobody asked").arg(target))) << toFile << -1;
        QTest::newRow(qPrintable(QStringLiteral("%1, no").arg(target))) << toFile << 0;
        QTest::newRow(qPrintable(QStringLiteral("%1, yes").arg(target))) << toFile << 1;
    }
}

// An interaction added to what was read puts a row where the controller
// holds a record beyond the counts: the write asks first, and goes on
// only when the answer is yes. The record after it stays.
void TestControllerStates::overwriteAsksFirst()
{
    QFETCH(bool, toFile);
    QFETCH(int, answer);
    Connected c;
    QVERIFY(connectToFake(c));
    const Control_Relay_t beyond1{(1 << 8) | 4, 0, EXT_RELY};
    const Control_Relay_t beyond2{2, 255, SECT_MVV};
    c.fake.setRecord(11, 30, beyond1);
    c.fake.setRecord(11, 31, beyond2);
    QStringList questions;
    if (answer >= 0) {
        c.client.setOverwriteQuestion([&](const QString &question) {
            questions << question;
            return answer == 1;
        });
    }
    Outcome outcome(c.client);
    c.client.readConfiguration();
    QVERIFY(waitFor([&]() { return outcome.datasets == 1; }));
    const QByteArray before = c.fake.fileBytes(11);

    // Sensor row 1 (line address 2) gets a second interaction.
    InteractionRecord added;
    added.sourceKind = SensorModuleSource;
    added.sourceAddress = 2;
    added.executorType = SECT_MVV;
    added.executorNumber = 1;
    QVERIFY(c.client.interactionsConfigModel()->addInteraction(added));
    QVERIFY(c.client.sensorsConfigModel()->addReference(1));
    QCOMPARE(c.client.interactionsConfigModel()->rowCount(), 31);
    QVector<Control_Relay_t> expected;
    for (int row = 0; row < 31; ++row) {
        const InteractionRecord r = c.client.interactionsConfigModel()->interactionAt(row);
        const quint16 ref = r.executorType == EXT_RELY ? quint16((r.executorNumber << 8) | r.relay) : r.executorNumber;
        expected.append(Control_Relay_t{ref, r.function, r.executorType});
    }
    expected.append(beyond2);
    c.fake.clearLog();

    const QString path = m_dir.filePath(QStringLiteral("overwritten.xml"));
    QFile::remove(path);
    bool saved = false;
    if (toFile) {
        saved = c.client.saveConfigFile(path);
    } else {
        c.client.writeConfiguration();
        if (answer == 1)
            QVERIFY(waitFor([&]() { return outcome.writes == 1; }));
        // A read queued after it ends after anything the write sent.
        c.client.readConfiguration();
        QVERIFY(waitFor([&]() { return outcome.datasets == 2; }));
    }

    QCOMPARE(questions.size(), answer >= 0 ? 1 : 0);
    if (answer >= 0) {
        QVERIFY2(questions.first().contains(QStringLiteral("запись 31 таблицы взаимодействий")),
                 qPrintable(questions.first()));
        QVERIFY2(questions.first().contains(toFile ? QStringLiteral("Сохранение конфигурации в файл")
                                                   : QStringLiteral("Передача конфигурации в ЦУ-Л")),
                 qPrintable(questions.first()));
    }
    if (answer != 1) {
        QCOMPARE(c.fake.requests(21).size(), 0);
        QCOMPARE(c.fake.fileBytes(11), before);
        QVERIFY(!saved);
        QVERIFY(!QFile::exists(path));
        return;
    }
    if (toFile) {
        QVERIFY(saved);
        FileTables file;
        QVERIFY(readFile(path, file));
        QCOMPARE(bytesOf(file.interactions), bytesOf(expected));
    } else {
        QCOMPARE(bytesOf(c.fake.interactions().mid(0, 32)), bytesOf(expected));
    }
}

QTEST_GUILESS_MAIN(TestControllerStates)
#include "tst_controllerstates.moc"
