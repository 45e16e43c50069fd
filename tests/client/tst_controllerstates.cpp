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

} // namespace

Q_DECLARE_METATYPE(State)

class TestControllerStates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpQuietEnvironment(m_dir, this); }

    void readAndWrittenBack_data() { states(); }
    void readAndWrittenBack();

private:
    static void states();

    QTemporaryDir m_dir;
};

// The generated configuration: 24 sensors with 24 interaction records, then
// 4 I/O modules with 6, records 0 to 29; 2 line-protection modules.
void TestControllerStates::states()
{
    QTest::addColumn<State>("state");
    // What the read's message names; empty when the tables hold everything.
    QTest::addColumn<QStringList>("leftOut");

    QTest::newRow("empty interaction inside a count")
        << State([](FakeController &f) { f.setRecord(11, 10, Control_Relay_t()); }) << QStringList();
    QTest::newRow("interactions beyond the counts")
        << State([](FakeController &f) {
               f.setRecord(11, 30, Control_Relay_t{(1 << 8) | 4, 0, EXT_RELY});
               f.setRecord(11, 31, Control_Relay_t{2, 255, SECT_MVV});
           })
        << QStringList{QStringLiteral("записи 31–32 таблицы взаимодействий"),
                       QStringLiteral("за пределами счётчиков ссылок")};
    // Sensor row 5 held two records (4 and 5); the sources after it are unknown.
    QTest::newRow("empty sensor row before used ones")
        << State([](FakeController &f) { f.vacateModuleRow(10, 5); })
        << QStringList{QStringLiteral("записи 5–28 таблицы взаимодействий"),
                       QStringLiteral("строка 6 таблицы модулей ВТ-Л и ВС-Л пуста")};
    QTest::newRow("empty I/O row before used ones")
        << State([](FakeController &f) { f.vacateModuleRow(15, 1); })
        << QStringList{QStringLiteral("записи 26–28 таблицы взаимодействий"),
                       QStringLiteral("строка 2 таблицы модулей ПС-Л пуста")};
    QTest::newRow("empty line-protection row before a used one")
        << State([](FakeController &f) { f.vacateModuleRow(20, 0); }) << QStringList();
    QTest::newRow("identifier in CP1251")
        << State([](FakeController &f) { f.setBlockId(cp1251(QStringLiteral("Участок «Север»"))); })
        << QStringList();
    QTest::newRow("identifier cut inside a character at byte 64")
        << State([](FakeController &f) { f.setBlockId(QByteArray(63, 'a') + "\xD0"); }) << QStringList();
    QTest::newRow("identifier with bytes after its end")
        << State([](FakeController &f) {
               f.setBlockId(QByteArray("North") + QByteArray(1, '\0') + QByteArray("old identifier"));
           })
        << QStringList();
}

void TestControllerStates::readAndWrittenBack()
{
    QFETCH(State, state);
    QFETCH(QStringList, leftOut);
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

QTEST_GUILESS_MAIN(TestControllerStates)
#include "tst_controllerstates.moc"
