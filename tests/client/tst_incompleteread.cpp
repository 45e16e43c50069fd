// A read from the controller with a failed step: no interaction is shown
// with another module as its source, the client says which part is missing,
// and the incomplete models are no source for a write.

#include "clienttestsupport.h"
#include "interactionsconfigmodel.h"

using namespace LantrelProtocol;
using namespace ClientTest;

namespace {

struct Row
{
    int kind = 0;
    int address = 0;
    int loop = 0;
    int executorType = 0;
    int executor = 0;
    int relay = 0;
    int function = 0;
    bool operator==(const Row &o) const
    {
        return kind == o.kind && address == o.address && loop == o.loop && executorType == o.executorType
               && executor == o.executor && relay == o.relay && function == o.function;
    }
};

// The interactions as the controller holds them: each module's reference
// counter says how many of the records that follow are its own.
QList<Row> controllerInteractions(const FakeController &fake)
{
    QList<Row> sources;
    for (const Konfig_Section_t &s : fake.sensors()) {
        if (s.DeviceType == 0)
            break;
        for (int k = 0; k < s.RefCount; ++k)
            sources.append({SensorModuleSource, s.LineAddr, 0});
    }
    for (const Konfig_MVV_t &io : fake.ioModules()) {
        if (io.DeviceType == 0)
            break;
        for (int k = 0; k < io.RefCountL1; ++k)
            sources.append({IoLoopSource, io.LineAddr, 1});
        for (int k = 0; k < io.RefCountL2; ++k)
            sources.append({IoLoopSource, io.LineAddr, 2});
    }
    const QVector<Control_Relay_t> records = fake.interactions();
    for (int b = 0; b < sources.size(); ++b) {
        const Control_Relay_t &r = records.at(b);
        Row &row = sources[b];
        row.executorType = r.DeviceType;
        row.executor = r.DeviceType == EXT_RELY ? r.DestRef >> 8 : r.DestRef;
        row.relay = r.DeviceType == EXT_RELY ? r.DestRef & 0xFF : 0;
        row.function = r.DestFunc;
    }
    return sources;
}

Row shownRow(const InteractionRecord &rec)
{
    return {rec.sourceKind, rec.sourceAddress, rec.sourceLoop, rec.executorType, rec.executorNumber,
            rec.relay, rec.function};
}

} // namespace

class TestIncompleteRead : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failedStep_data();
    void failedStep();

private:
    QTemporaryDir m_dir;
};

void TestIncompleteRead::initTestCase()
{
    setUpQuietEnvironment(m_dir, this);
    LantrelProtocol::registerMetaTypes();
}

void TestIncompleteRead::failedStep_data()
{
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("record");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<bool>("interactionsLeftOut");

    QTest::newRow("second sensor page") << 10 << 15 << "записи 16–30 таблицы модулей ВТ-Л и ВС-Л" << true;
    QTest::newRow("first input/output page") << 15 << 0 << "записи 1–15 таблицы модулей ПС-Л" << true;
    QTest::newRow("second interaction page") << 11 << 60 << "записи 61–120 таблицы взаимодействий" << true;
    QTest::newRow("controller settings") << 3 << 0 << "параметры ЦУ-Л" << false;
    // The last page of a table asks for the records left, not a full page.
    QTest::newRow("last sensor page") << 10 << 495 << "записи 496–500 таблицы модулей ВТ-Л и ВС-Л" << false;
    QTest::newRow("last input/output page") << 15 << 90 << "записи 91–100 таблицы модулей ПС-Л" << false;
    QTest::newRow("last line-protection page") << 20 << 30 << "записи 31–32 таблицы модулей ТЗ-Л" << false;
    QTest::newRow("last processing page") << 13 << 480 << "записи 481–500 таблицы совместной обработки" << false;
    QTest::newRow("last interaction page") << 11 << 3960 << "записи 3961–4000 таблицы взаимодействий" << false;
}

void TestIncompleteRead::failedStep()
{
    QFETCH(int, file);
    QFETCH(int, record);
    QFETCH(QString, missing);
    QFETCH(bool, interactionsLeftOut);

    Connected c;
    c.fake.loadGeneratedConfiguration(LineAddress, QHostAddress(QStringLiteral("127.0.0.1")), 150, 40, 4);
    QVERIFY(listenAndConnect(c.server, c.client));
    const QList<Row> held = controllerInteractions(c.fake);
    // More than three pages of interactions: pages follow a lost one.
    QVERIFY2(held.size() > 180, qPrintable(QString::number(held.size())));
    FakeInjection refuse = FakeInjection::exception(2, 20);
    refuse.file = file;
    refuse.record = record;
    c.fake.addInjection(refuse);

    QSignalSpy datasets(&c.client, &LantrelClient::datasetChanged);
    QSignalSpy errors(&c.client, &LantrelClient::clientError);
    c.client.readConfiguration();
    QVERIFY(datasets.wait(LongWaitMs));
    QVERIFY(!c.client.datasetComplete());

    QCOMPARE(errors.count(), 1);
    const QString text = errors.first().first().toString();
    QVERIFY2(text.startsWith(QStringLiteral("Конфигурация ИОП прочитана из ЦУ-Л не полностью, не прочитаны: ")),
             qPrintable(text));
    QVERIFY2(text.contains(missing), qPrintable(text));

    // Every interaction shown is the controller's record of that row, with
    // its own source; what cannot be placed is left out.
    const InteractionsConfigModel *model = c.client.interactionsConfigModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const Row shown = shownRow(model->interactionAt(row));
        QVERIFY2(row < held.size() && shown == held.at(row),
                 qPrintable(QStringLiteral("row %1: source %2/%3 loop %4 is not the controller's")
                                .arg(row).arg(shown.kind).arg(shown.address).arg(shown.loop)));
    }
    QCOMPARE(model->rowCount() < held.size(), interactionsLeftOut);

    // The incomplete models are not written to the controller.
    errors.clear();
    c.fake.clearLog();
    c.client.writeConfiguration();
    QCOMPARE(errors.count(), 1);
    QTest::qWait(50);
    QVERIFY(c.fake.requests(21).isEmpty());
}

QTEST_GUILESS_MAIN(TestIncompleteRead)
#include "tst_incompleteread.moc"
