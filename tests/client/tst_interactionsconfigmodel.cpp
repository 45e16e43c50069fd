#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QtTest>

#include <memory>

#include "interactionsconfigmodel.h"

namespace {

InteractionRecord interaction(int kind, quint16 address, quint8 loop, quint8 executorType = 2,
                              quint16 executorNumber = 1, quint8 relay = 0, quint8 function = 0)
{
    InteractionRecord r;
    r.sourceKind = kind;
    r.sourceText = kind == 2 ? QStringLiteral("ПС-Л") : QStringLiteral("ВТ-Л");
    r.sourceAddress = address;
    r.sourceLoop = loop;
    r.executorType = executorType;
    r.executorTypeText = executorType == 16 ? QStringLiteral("ЖН-Т") : QStringLiteral("ПС-Л");
    r.executorNumber = executorNumber;
    r.executorAddressText = executorType == 16
        ? QStringLiteral("192.168.1.%1").arg(9 + executorNumber)
        : QString::number(100 + executorNumber);
    r.relay = relay;
    r.function = function;
    r.functionText = QStringLiteral("Вкл./откл. по команде");
    return r;
}

// Source of a row as "kind/address/loop".
QString sourceOf(const InteractionRecord &r)
{
    return QStringLiteral("%1/%2/%3").arg(r.sourceKind).arg(r.sourceAddress).arg(r.sourceLoop);
}

QStringList sources(const InteractionsConfigModel &m)
{
    QStringList out;
    for (int row = 0; row < m.rowCount(); ++row)
        out << sourceOf(m.interactionAt(row));
    return out;
}

// Structural signals and interactionDeleted in the order they came.
class EventLog
{
public:
    explicit EventLog(InteractionsConfigModel *m)
    {
        QObject::connect(m, &QAbstractItemModel::rowsAboutToBeInserted, m,
                         [this](const QModelIndex &, int f, int l) { add("insert", f, l); });
        QObject::connect(m, &QAbstractItemModel::rowsAboutToBeRemoved, m,
                         [this](const QModelIndex &, int f, int l) { add("remove", f, l); });
        QObject::connect(m, &QAbstractItemModel::rowsRemoved, m,
                         [this](const QModelIndex &, int f, int l) { add("removed", f, l); });
        QObject::connect(m, &QAbstractItemModel::dataChanged, m,
                         [this](const QModelIndex &tl, const QModelIndex &br, const QVector<int> &roles) {
                             QStringList r;
                             for (int role : roles)
                                 r << QString::number(role);
                             events << QStringLiteral("changed %1,%2-%3,%4 {%5}")
                                           .arg(tl.row()).arg(tl.column()).arg(br.row())
                                           .arg(br.column()).arg(r.join(QLatin1Char(',')));
                         });
        QObject::connect(m, &InteractionsConfigModel::interactionDeleted, m,
                         [this](InteractionSource kind, ushort address, uchar loop) {
                             events << QStringLiteral("deleted %1/%2/%3").arg(int(kind)).arg(address).arg(loop);
                         });
    }
    QStringList events;

private:
    void add(const char *what, int first, int last)
    {
        events << QStringLiteral("%1 %2-%3").arg(QLatin1String(what)).arg(first).arg(last);
    }
};

// Column 0 numbers the rows, so a row inserted or removed before others
// changes their column-0 text. The tester's check that the row after an
// inserted or removed range keeps its column-0 data ("c.next") cannot hold
// for such a model; every other complaint of the tester fails the test.
QStringList testerComplaints;
QtMessageHandler previousHandler = nullptr;

void collectTesterMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && qstrcmp(context.category, "qt.modeltest") == 0) {
        if (!text.contains(QLatin1String("c.next")))
            testerComplaints << text;
        return;
    }
    // The tester dumps the neighbouring rows with qDebug before it complains.
    if (type == QtDebugMsg)
        return;
    previousHandler(type, context, text);
}

} // namespace

class TestInteractionsConfigModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sortedInsertion();
    void sortedInsertionKeepsProxyRight();
    void limitOf4000();
    void updateReplacesOrAppends();
    void updateManyAtOnce_data();
    void updateManyAtOnce();
    void isUnique_data();
    void isUnique();
    void tableContents();
    void relayNumbersUpTo32();
    void interactionAtOutOfRange();
    void headers();
    void removeInteraction();
    void removeSourceInteractions();
    void removeSourceInteractionsOutOfOrder();
    void removeExecutorInteractions();
    void removeInteractions();
    void clear();

private:
    std::unique_ptr<InteractionsConfigModel> m_model;
    std::unique_ptr<QSortFilterProxyModel> m_proxy;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<QAbstractItemModelTester> m_proxyTester;
};

void TestInteractionsConfigModel::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    previousHandler = qInstallMessageHandler(collectTesterMessages);
}

void TestInteractionsConfigModel::init()
{
    testerComplaints.clear();
    m_model.reset(new InteractionsConfigModel);
    m_tester.reset(new QAbstractItemModelTester(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::Warning));
    // The interactions page shows the model through a plain proxy sorted on UserRole.
    m_proxy.reset(new QSortFilterProxyModel);
    m_proxy->setDynamicSortFilter(true);
    m_proxy->setSortRole(Qt::UserRole);
    m_proxy->setSourceModel(m_model.get());
    m_proxy->sort(5, Qt::DescendingOrder);
    m_proxyTester.reset(new QAbstractItemModelTester(
        m_proxy.get(), QAbstractItemModelTester::FailureReportingMode::Warning));
}

void TestInteractionsConfigModel::cleanup()
{
    m_proxyTester.reset();
    m_proxy.reset();
    m_tester.reset();
    m_model.reset();
    QVERIFY2(testerComplaints.isEmpty(), qPrintable(testerComplaints.join(QLatin1Char('\n'))));
}

void TestInteractionsConfigModel::sortedInsertion()
{
    InteractionsConfigModel &m = *m_model;
    QCOMPARE(m.rowCount(), 0);
    QCOMPARE(m.columnCount(), 8);
    QCOMPARE(m.rowCount(m.index(0, 0)), 0);
    EventLog log(&m);

    InteractionRecord newest = interaction(1, 12, 0, 2, 7);
    QVERIFY(m.addInteraction(interaction(2, 7, 2)));
    QVERIFY(m.addInteraction(interaction(1, 12, 0, 2, 1)));
    QVERIFY(m.addInteraction(interaction(1, 5, 0)));
    QVERIFY(m.addInteraction(interaction(2, 7, 1)));
    QVERIFY(m.addInteraction(newest));

    QCOMPARE(sources(m), (QStringList{"1/5/0", "1/12/0", "1/12/0", "2/7/1", "2/7/2"}));
    QCOMPARE(m.interactionAt(1).executorNumber, quint16(1));
    QCOMPARE(m.interactionAt(2).executorNumber, quint16(7));   // the newest of one source last
    // One inserted row each, no data changes.
    QCOMPARE(log.events, (QStringList{"insert 0-0", "insert 0-0", "insert 0-0", "insert 2-2",
                                      "insert 2-2"}));

    // Gaps are filled in order.
    QVERIFY(m.addInteraction(interaction(2, 3, 2)));
    QVERIFY(m.addInteraction(interaction(1, 500, 0)));
    QVERIFY(m.addInteraction(interaction(1, 1, 0)));
    QCOMPARE(sources(m), (QStringList{"1/1/0", "1/5/0", "1/12/0", "1/12/0", "1/500/0", "2/3/2",
                                      "2/7/1", "2/7/2"}));
}

void TestInteractionsConfigModel::sortedInsertionKeepsProxyRight()
{
    InteractionsConfigModel &m = *m_model;
    m.addInteraction(interaction(1, 4, 0, 16, 1, 3));
    m.addInteraction(interaction(1, 2, 0, 2, 3));
    m.addInteraction(interaction(2, 9, 1, 16, 2, 32));
    QSortFilterProxyModel &p = *m_proxy;
    QCOMPARE(p.rowCount(), 3);
    // Column 5 sorts by IPv4 value for relay modules and by number otherwise:
    // 192.168.1.11 > 192.168.1.10 > 3.
    QCOMPARE(p.index(0, 5).data().toString(), QStringLiteral("192.168.1.11"));
    QCOMPARE(p.index(1, 5).data().toString(), QStringLiteral("192.168.1.10"));
    QCOMPARE(p.index(2, 5).data().toString(), QStringLiteral("103"));

    p.sort(0, Qt::AscendingOrder);
    QCOMPARE(p.index(0, 2).data().toUInt(), 2u);
    m.removeInteraction(0);
    QCOMPARE(p.rowCount(), 2);
    QCOMPARE(p.index(0, 0).data().toString(), QStringLiteral("1"));
}

void TestInteractionsConfigModel::limitOf4000()
{
    // No tester here: 4000 single insertions would make it slow.
    InteractionsConfigModel m;
    for (int row = 0; row < 4000; ++row)
        QVERIFY(m.updateInteraction(ushort(row), interaction(1, quint16(row / 8 + 1), 0)));
    QCOMPARE(m.rowCount(), 4000);

    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    QVERIFY(!m.addInteraction(interaction(1, 1, 0)));
    QCOMPARE(m.rowCount(), 4000);
    QVERIFY(!m.updateInteraction(4000, interaction(1, 1, 0)));
    QVERIFY(!m.updateInteraction(65535, interaction(1, 1, 0)));
    QCOMPARE(m.rowCount(), 4000);
    QCOMPARE(inserted.count(), 0);

    // The last row can still be replaced.
    QVERIFY(m.updateInteraction(3999, interaction(2, 9, 2)));
    QCOMPARE(sourceOf(m.interactionAt(3999)), QStringLiteral("2/9/2"));

    m.removeInteraction(0);
    QVERIFY(m.addInteraction(interaction(1, 1, 0)));
    QCOMPARE(m.rowCount(), 4000);
}

void TestInteractionsConfigModel::updateReplacesOrAppends()
{
    InteractionsConfigModel &m = *m_model;
    EventLog log(&m);

    QVERIFY(m.updateInteraction(0, interaction(1, 3, 0)));
    QVERIFY(m.updateInteraction(1, interaction(1, 3, 0, 2, 2)));
    QCOMPARE(log.events, (QStringList{"insert 0-0", "insert 1-1"}));

    log.events.clear();
    InteractionRecord edited = interaction(1, 3, 0, 16, 4, 17, 255);
    edited.functionText = QStringLiteral("Вкл. на 5 с");
    QVERIFY(m.updateInteraction(0, edited));
    QCOMPARE(log.events, QStringList{"changed 0,0-0,7 {0,256,257}"});
    const InteractionRecord r = m.interactionAt(0);
    QCOMPARE(r.executorType, quint8(16));
    QCOMPARE(r.executorNumber, quint16(4));
    QCOMPARE(r.relay, quint8(17));
    QCOMPARE(r.function, quint8(255));
    QCOMPARE(r.functionText, QStringLiteral("Вкл. на 5 с"));
    QCOMPARE(m.rowCount(), 2);

    // A row past the end never leaves undefined rows: the record is appended.
    log.events.clear();
    QVERIFY(m.updateInteraction(10, interaction(2, 8, 1)));
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(sourceOf(m.interactionAt(2)), QStringLiteral("2/8/1"));
    QCOMPARE(log.events, QStringList{"insert 2-2"});
}

void TestInteractionsConfigModel::updateManyAtOnce_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("rows");

    QTest::newRow("empty model, all appended") << 0 << 0 << 5 << QStringList{"insert 0-4"} << 5;
    QTest::newRow("replaced, then appended")
        << 3 << 1 << 4 << QStringList{"changed 1,0-2,7 {0,256}", "insert 3-4"} << 5;
    QTest::newRow("all replaced") << 6 << 2 << 3 << QStringList{"changed 2,0-4,7 {0,256}"} << 6;
    QTest::newRow("past the end, appended at the end") << 2 << 7 << 2 << QStringList{"insert 2-3"} << 4;
    QTest::newRow("nothing") << 2 << 0 << 0 << QStringList{} << 2;
    QTest::newRow("no more than 4000 rows") << 3990 << 3995 << 20 << QStringList{"insert 3990-3994"} << 3995;
}

void TestInteractionsConfigModel::updateManyAtOnce()
{
    QFETCH(int, held);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QStringList, events);
    QFETCH(int, rows);

    // The same records one by one, for what the batch must leave.
    InteractionsConfigModel single;
    QVector<InteractionRecord> start;
    QVector<InteractionRecord> batch;
    for (int k = 0; k < held; ++k)
        start << interaction(1, quint16(k / 8 + 1), 0);
    for (int k = 0; k < count; ++k)
        batch << interaction(2, quint16(k + 1), quint8(k % 2 + 1), 16, 2, quint8(k % 32 + 1));
    // No tester on the large case: thousands of single insertions.
    std::unique_ptr<InteractionsConfigModel> plain;
    InteractionsConfigModel *m = m_model.get();
    if (held > 100) {
        plain.reset(new InteractionsConfigModel);
        m = plain.get();
    }
    m->updateInteractions(0, start);
    for (int k = 0; k < held; ++k)
        single.updateInteraction(ushort(k), start[k]);
    for (int k = 0; k < count; ++k)
        single.updateInteraction(ushort(first + k), batch[k]);

    EventLog log(m);
    m->updateInteractions(first, batch);
    QCOMPARE(log.events, events);
    QCOMPARE(m->rowCount(), rows);
    QCOMPARE(sources(*m), sources(single));
    for (int row = 0; row < rows; ++row)
        QCOMPARE(m->interactionAt(row).relay, single.interactionAt(row).relay);
}

void TestInteractionsConfigModel::isUnique_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("loop");
    QTest::addColumn<int>("executorType");
    QTest::addColumn<int>("executorNumber");
    QTest::addColumn<int>("relay");
    QTest::addColumn<int>("exceptRow");
    QTest::addColumn<bool>("unique");

    // Rows: 0 (1,5,0 -> 16/1 relay 32), 1 (2,7,1 -> 2/3), 2 (2,7,2 -> 2/3).
    QTest::newRow("same as row 0") << 1 << 5 << 0 << 16 << 1 << 32 << -1 << false;
    QTest::newRow("same as row 0, skipping it") << 1 << 5 << 0 << 16 << 1 << 32 << 0 << true;
    QTest::newRow("same as row 0, skipping another") << 1 << 5 << 0 << 16 << 1 << 32 << 2 << false;
    QTest::newRow("other relay") << 1 << 5 << 0 << 16 << 1 << 31 << -1 << true;
    QTest::newRow("relay 0 vs 32") << 1 << 5 << 0 << 16 << 1 << 0 << -1 << true;
    QTest::newRow("other relay module") << 1 << 5 << 0 << 16 << 2 << 32 << -1 << true;
    QTest::newRow("other executor type") << 1 << 5 << 0 << 2 << 1 << 32 << -1 << true;
    QTest::newRow("other source address") << 1 << 6 << 0 << 16 << 1 << 32 << -1 << true;
    QTest::newRow("other source kind") << 2 << 5 << 0 << 16 << 1 << 32 << -1 << true;
    QTest::newRow("loop 1 taken") << 2 << 7 << 1 << 2 << 3 << 0 << -1 << false;
    QTest::newRow("loop 2 taken") << 2 << 7 << 2 << 2 << 3 << 0 << 1 << false;
    QTest::newRow("loop 2 skipping itself") << 2 << 7 << 2 << 2 << 3 << 0 << 2 << true;
}

void TestInteractionsConfigModel::isUnique()
{
    QFETCH(int, kind);
    QFETCH(int, address);
    QFETCH(int, loop);
    QFETCH(int, executorType);
    QFETCH(int, executorNumber);
    QFETCH(int, relay);
    QFETCH(int, exceptRow);
    QFETCH(bool, unique);

    InteractionsConfigModel &m = *m_model;
    m.addInteraction(interaction(1, 5, 0, 16, 1, 32, 255));
    m.addInteraction(interaction(2, 7, 1, 2, 3, 0, 0));
    m.addInteraction(interaction(2, 7, 2, 2, 3, 0, 7));
    // The function is not part of an interaction's identity: any value works.
    QCOMPARE(m.isUnique(kind, ushort(address), uchar(loop), uchar(executorType),
                        ushort(executorNumber), uchar(relay), short(exceptRow)),
             unique);
}

void TestInteractionsConfigModel::tableContents()
{
    InteractionsConfigModel &m = *m_model;
    for (quint16 a = 1; a <= 4; ++a)
        m.addInteraction(interaction(1, a, 0));
    InteractionRecord sensor = interaction(1, 20, 0, 2, 3, 0, 2);
    sensor.functionText = QStringLiteral("Формула №2");
    m.addInteraction(sensor);                                        // row 4
    InteractionRecord loop = interaction(2, 30, 2, 16, 1, 17, 255);
    loop.executorAddressText = QStringLiteral("192.168.1.10");
    m.addInteraction(loop);                                          // row 5
    InteractionRecord empty;
    empty.executorType = 2;
    m.addInteraction(empty);                                         // row 6 (kind 0)

    auto d = [&m](int row, int column, int role = Qt::DisplayRole) {
        return m.data(m.index(row, column), role);
    };

    QCOMPARE(d(4, 0), QVariant(QStringLiteral("5")));
    QCOMPARE(d(4, 0, Qt::UserRole), QVariant(4));
    QCOMPARE(d(4, 1), QVariant(QStringLiteral("ВТ-Л")));
    QCOMPARE(d(4, 1, Qt::UserRole), QVariant(1u));
    QCOMPARE(d(4, 2), QVariant(20u));
    QCOMPARE(d(4, 2, Qt::UserRole), QVariant(20u));
    QVERIFY(!d(4, 3).isValid());                   // a sensor has no loop
    QCOMPARE(d(4, 3, Qt::UserRole), QVariant(0u));
    QCOMPARE(d(4, 4), QVariant(QStringLiteral("ПС-Л")));
    QCOMPARE(d(4, 4, Qt::UserRole), QVariant(2u));
    QCOMPARE(d(4, 5), QVariant(QStringLiteral("103")));
    QCOMPARE(d(4, 5, Qt::UserRole), QVariant(3u));
    QVERIFY(!d(4, 6).isValid());                   // I/O executor: no relay shown
    QCOMPARE(d(4, 6, Qt::UserRole), QVariant(0u));
    QCOMPARE(d(4, 7), QVariant(QStringLiteral("Формула №2")));
    QCOMPARE(d(4, 7, Qt::UserRole), QVariant(2u));

    QCOMPARE(d(5, 1, Qt::UserRole), QVariant(2u));
    QCOMPARE(d(5, 3), QVariant(2u));
    QCOMPARE(d(5, 5), QVariant(QStringLiteral("192.168.1.10")));
    QCOMPARE(d(5, 5, Qt::UserRole), QVariant(0xC0A8010Au));
    QCOMPARE(d(5, 6), QVariant(17u));
    QCOMPARE(d(5, 7, Qt::UserRole), QVariant(255u));

    QVERIFY(!d(6, 2).isValid());                   // no source: no address shown
    QCOMPARE(d(6, 2, Qt::UserRole), QVariant(0u));

    for (int column = 0; column < 8; ++column) {
        const bool centred = column == 0 || column == 2 || column == 3 || column == 6;
        const QVariant a = d(4, column, Qt::TextAlignmentRole);
        QCOMPARE(a.isValid(), centred);
        if (centred)
            QCOMPARE(a.toInt(), int(Qt::AlignCenter));
        QVERIFY(!d(4, column, Qt::EditRole).isValid());
        QVERIFY(!d(4, column, Qt::ToolTipRole).isValid());
    }
    QVERIFY(!d(7, 0).isValid());
    QVERIFY(!d(0, 8).isValid());
    QVERIFY(!(m.flags(m.index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(!m.setData(m.index(0, 1), QStringLiteral("x"), Qt::EditRole));
}

void TestInteractionsConfigModel::relayNumbersUpTo32()
{
    InteractionsConfigModel &m = *m_model;
    for (quint8 relay = 1; relay <= 32; ++relay)
        QVERIFY(m.addInteraction(interaction(1, 9, 0, 16, 4, relay, 255)));
    for (int row = 0; row < 32; ++row) {
        QCOMPARE(m.interactionAt(row).relay, quint8(row + 1));
        QCOMPARE(m.data(m.index(row, 6)), QVariant(uint(row + 1)));
        QCOMPARE(m.data(m.index(row, 6), Qt::UserRole), QVariant(uint(row + 1)));
    }
    QVERIFY(!m.isUnique(1, 9, 0, 16, 4, 32, -1));
    QVERIFY(m.isUnique(1, 9, 0, 16, 4, 32, 31));
    QVERIFY(m.isUnique(1, 9, 0, 16, 4, 0, -1));

    QVERIFY(m.updateInteraction(0, interaction(1, 9, 0, 16, 4, 32, 0)));
    QCOMPARE(m.interactionAt(0).relay, quint8(32));
}

void TestInteractionsConfigModel::interactionAtOutOfRange()
{
    InteractionsConfigModel &m = *m_model;
    m.addInteraction(interaction(2, 4, 1, 16, 2, 5, 9));
    for (int row : {-1, 1, 4000}) {
        const InteractionRecord r = m.interactionAt(row);
        QCOMPARE(r.sourceKind, 0);
        QCOMPARE(r.sourceAddress, quint16(0));
        QCOMPARE(r.executorType, quint8(0));
        QCOMPARE(r.relay, quint8(0));
        QVERIFY(r.sourceText.isEmpty());
        QVERIFY(r.executorAddressText.isEmpty());
        QVERIFY(r.functionText.isEmpty());
    }
    QCOMPARE(m.interactionAt(0).relay, quint8(5));
}

void TestInteractionsConfigModel::headers()
{
    InteractionsConfigModel &m = *m_model;
    const QStringList captions = {"№ п/п", "тип", "адрес", "шлейф", "тип", "адрес", "реле", "функция"};
    for (int section = 0; section < 8; ++section)
        QCOMPARE(m.headerData(section, Qt::Horizontal).toString(), captions.at(section));
    QCOMPARE(m.headerData(8, Qt::Horizontal), m.QAbstractTableModel::headerData(8, Qt::Horizontal));
    QCOMPARE(m.headerData(2, Qt::Horizontal, Qt::ToolTipRole),
             m.QAbstractTableModel::headerData(2, Qt::Horizontal, Qt::ToolTipRole));
    QCOMPARE(m.headerData(2, Qt::Vertical), m.QAbstractTableModel::headerData(2, Qt::Vertical));
}

void TestInteractionsConfigModel::removeInteraction()
{
    InteractionsConfigModel &m = *m_model;
    m.addInteraction(interaction(1, 5, 0));
    m.addInteraction(interaction(2, 7, 2));
    EventLog log(&m);

    m.removeInteraction(-1);
    m.removeInteraction(2);
    QVERIFY(log.events.isEmpty());

    m.removeInteraction(1);
    QCOMPARE(log.events, (QStringList{"remove 1-1", "deleted 2/7/2", "removed 1-1"}));
    QCOMPARE(sources(m), QStringList{"1/5/0"});
}

void TestInteractionsConfigModel::removeSourceInteractions()
{
    InteractionsConfigModel &m = *m_model;
    m.addInteraction(interaction(1, 5, 0));
    m.addInteraction(interaction(1, 12, 0, 2, 1));
    m.addInteraction(interaction(1, 12, 0, 2, 2));
    m.addInteraction(interaction(1, 12, 0, 16, 1, 3));
    m.addInteraction(interaction(1, 13, 0));
    m.addInteraction(interaction(2, 12, 1));
    m.addInteraction(interaction(2, 12, 2));
    m.addInteraction(interaction(2, 14, 1));
    EventLog log(&m);

    m.removeSourceInteractions(3, 12);
    QCOMPARE(log.events, (QStringList{"deleted 1/12/0", "deleted 1/12/0", "deleted 1/12/0",
                                      "remove 1-3", "removed 1-3"}));
    QCOMPARE(sources(m), (QStringList{"1/5/0", "1/13/0", "2/12/1", "2/12/2", "2/14/1"}));

    // Type 2 touches only input-loop sources.
    log.events.clear();
    m.removeSourceInteractions(2, 12);
    QCOMPARE(log.events, (QStringList{"deleted 2/12/1", "deleted 2/12/2", "remove 2-3",
                                      "removed 2-3"}));
    QCOMPARE(sources(m), (QStringList{"1/5/0", "1/13/0", "2/14/1"}));

    // A module that no row names.
    log.events.clear();
    m.removeSourceInteractions(4, 14);
    m.removeSourceInteractions(2, 5);
    QVERIFY(log.events.isEmpty());
    QCOMPARE(m.rowCount(), 3);
}

void TestInteractionsConfigModel::removeSourceInteractionsOutOfOrder()
{
    InteractionsConfigModel &m = *m_model;
    m.addInteraction(interaction(1, 5, 0, 2, 1));
    m.addInteraction(interaction(1, 6, 0, 2, 2));
    m.addInteraction(interaction(1, 7, 0, 2, 3));
    m.addInteraction(interaction(1, 8, 0, 2, 4));
    // An edit gives row 2 the source of row 0: the rows of address 5 are no
    // longer adjacent, and a row of address 6 lies between them.
    m.updateInteraction(2, interaction(1, 5, 0, 2, 9));
    EventLog log(&m);

    m.removeSourceInteractions(4, 5);
    QCOMPARE(log.events, (QStringList{"deleted 1/5/0", "deleted 1/5/0", "remove 2-2",
                                      "removed 2-2", "remove 0-0", "removed 0-0"}));
    QCOMPARE(sources(m), (QStringList{"1/6/0", "1/8/0"}));
    QCOMPARE(m.interactionAt(0).executorNumber, quint16(2));
    QCOMPARE(m.interactionAt(1).executorNumber, quint16(4));
}

void TestInteractionsConfigModel::removeExecutorInteractions()
{
    InteractionsConfigModel &m = *m_model;
    m.addInteraction(interaction(1, 1, 0, 16, 1, 1));
    m.addInteraction(interaction(1, 2, 0, 16, 2, 1));
    m.addInteraction(interaction(1, 3, 0, 16, 1, 32));
    m.addInteraction(interaction(1, 4, 0, 2, 1));    // I/O module 1, not relay module 1
    m.addInteraction(interaction(2, 5, 1, 16, 1, 7));
    EventLog log(&m);

    m.removeExecutorInteractions(16, 0);
    QCOMPARE(log.events, (QStringList{"deleted 1/1/0", "deleted 1/3/0", "deleted 2/5/1",
                                      "remove 4-4", "removed 4-4", "remove 2-2", "removed 2-2",
                                      "remove 0-0", "removed 0-0"}));
    QCOMPARE(sources(m), (QStringList{"1/2/0", "1/4/0"}));

    log.events.clear();
    m.removeExecutorInteractions(16, 3);
    m.removeExecutorInteractions(2, 1);
    QVERIFY(log.events.isEmpty());

    m.removeExecutorInteractions(2, 0);
    QCOMPARE(log.events, (QStringList{"deleted 1/4/0", "remove 1-1", "removed 1-1"}));
    QCOMPARE(sources(m), QStringList{"1/2/0"});
}

void TestInteractionsConfigModel::removeInteractions()
{
    InteractionsConfigModel &m = *m_model;
    for (quint16 address = 1; address <= 6; ++address)
        m.addInteraction(interaction(1, address, 0));
    EventLog log(&m);

    // Any order, repeated and foreign rows: each row goes once, runs of
    // adjacent rows in one removal, the last run first.
    m.removeInteractions({4, 1, -1, 2, 4, 6, 5});
    QCOMPARE(log.events, (QStringList{"deleted 1/2/0", "deleted 1/3/0", "deleted 1/5/0", "deleted 1/6/0",
                                      "remove 4-5", "removed 4-5", "remove 1-2", "removed 1-2"}));
    QCOMPARE(sources(m), (QStringList{"1/1/0", "1/4/0"}));

    log.events.clear();
    m.removeInteractions({});
    QVERIFY(log.events.isEmpty());
}

void TestInteractionsConfigModel::clear()
{
    InteractionsConfigModel &m = *m_model;
    EventLog log(&m);
    m.clear();
    QVERIFY(log.events.isEmpty());

    m.addInteraction(interaction(1, 1, 0));
    m.addInteraction(interaction(1, 2, 0));
    m.addInteraction(interaction(2, 3, 1));
    log.events.clear();
    m.clear();
    QCOMPARE(log.events, (QStringList{"remove 0-2", "removed 0-2"}));
    QCOMPARE(m.rowCount(), 0);
    QCOMPARE(m_proxy->rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestInteractionsConfigModel)
#include "tst_interactionsconfigmodel.moc"
