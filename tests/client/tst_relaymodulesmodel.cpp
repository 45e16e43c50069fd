// RelayModulesConfigModel and RelayModulesDetailModel: ordering by
// configuration index, removal signals, hold-time edits, and a detail model
// that keeps following its module while the master changes around it.

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSignalSpy>
#include <QtTest>

#include "relaymodulesconfigmodel.h"
#include "relaymodulesdetailmodel.h"

Q_DECLARE_METATYPE(QVector<int>)

namespace {

// Relay i + 1 holds base + i intervals, so every module's counts differ.
RelayModuleRecord relayModule(quint16 cfgIndex, bool expansion = false, int base = 0)
{
    RelayModuleRecord rec;
    rec.configIndex = cfgIndex;
    rec.ipAddress = QStringLiteral("192.0.2.%1").arg(10 + cfgIndex);
    rec.config.IPAddr = 0xC0000200u + 10 + cfgIndex;
    rec.config.LineAddr = quint8(20 + cfgIndex);
    rec.config.ExpMod = expansion ? 1 : 0;
    if (!base)
        base = 10 * (cfgIndex + 1);
    for (int i = 0; i < 32; ++i) {
        rec.config.Relays[i].RelayNum = quint8(i + 1);
        rec.config.Relays[i].TSign = quint8(base + i);
    }
    return rec;
}

QList<int> counts(const RelayModulesDetailModel &detail)
{
    QList<int> result;
    for (int row = 0; row < detail.rowCount(); ++row)
        result << detail.index(row, 1).data().toInt();
    return result;
}

QList<int> expectedCounts(int base, int n)
{
    QList<int> result;
    for (int i = 0; i < n; ++i)
        result << base + i;
    return result;
}

} // namespace

class TestRelayModulesModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void newModels();
    void setModuleKeepsIndexOrder();
    void setModuleReplacesInPlace();
    void removeModuleSignalsWhileRowExists();
    void clear();
    void lookups();
    void data_data();
    void data();
    void headerAndFlags();
    void editHoldTime_data();
    void editHoldTime();

    void detailShowsSelectedModule();
    void detailSecondsText_data();
    void detailSecondsText();
    void detailSameRowDoesNothing();
    void detailEditWritesToMaster();
    void detailFollowsExpansion();
    void detailFollowsMasterInsertions();
    void detailFollowsMasterRemovals();
    void detailFollowsMasterClear();
    void detailRebinds();
};

void TestRelayModulesModel::initTestCase()
{
    qRegisterMetaType<QVector<int>>();
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TestRelayModulesModel::newModels()
{
    RelayModulesConfigModel master;
    RelayModulesDetailModel detail;
    QAbstractItemModelTester t1(&master, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester t2(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(master.rowCount(), 0);
    QCOMPARE(master.columnCount(), 36);
    QCOMPARE(detail.rowCount(), 0);
    QCOMPARE(detail.columnCount(), 3);
    detail.setMasterRow(master.index(0, 0));   // unbound: nothing happens
    QCOMPARE(detail.rowCount(), 0);
}

void TestRelayModulesModel::setModuleKeepsIndexOrder()
{
    RelayModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setModule(relayModule(3));
    model.setModule(relayModule(0));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    model.setModule(relayModule(2));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(inserted.at(0).at(2).toInt(), 1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.indexOf(3).row(), 2);
    QCOMPARE(model.indexOf(3).column(), 0);
    QCOMPARE(model.moduleAt(0).configIndex, quint16(0));
    QCOMPARE(model.moduleAt(1).configIndex, quint16(2));
    QCOMPARE(model.index(2, 0).data(), QVariant(4u));
}

void TestRelayModulesModel::setModuleReplacesInPlace()
{
    RelayModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setModule(relayModule(0));
    model.setModule(relayModule(2));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    RelayModuleRecord rec = relayModule(2);
    rec.ipAddress = QStringLiteral("198.51.100.7");
    model.setModule(rec);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(1, 0));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(1, 35));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(),
             (QVector<int>{Qt::DisplayRole, Qt::EditRole}));
    QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("198.51.100.7"));
}

void TestRelayModulesModel::removeModuleSignalsWhileRowExists()
{
    RelayModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (quint16 i : {0, 2, 3})
        model.setModule(relayModule(i));

    QList<QVariantList> deleted;
    int rowsWhenSignalled = -1;
    quint16 moduleInRow = 99;
    connect(&model, &RelayModulesConfigModel::moduleDeteted, [&](uchar type, ushort index) {
        deleted << QVariantList{int(type), int(index)};
        rowsWhenSignalled = model.rowCount();
        moduleInRow = model.moduleByIndex(index).configIndex;
    });
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

    model.removeModule(1);
    QCOMPARE(deleted, (QList<QVariantList>{{16, 2}}));
    QCOMPARE(rowsWhenSignalled, 3);
    QCOMPARE(moduleInRow, quint16(2));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(model.rowCount(), 2);
    QVERIFY(!model.indexOf(2).isValid());
    QCOMPARE(model.indexOf(3).row(), 1);

    model.removeModule(2);
    model.removeModule(-1);
    QCOMPARE(deleted.size(), 1);
    QCOMPARE(model.rowCount(), 2);
}

void TestRelayModulesModel::clear()
{
    RelayModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy deleted(&model, &RelayModulesConfigModel::moduleDeteted);
    model.clear();
    QCOMPARE(removed.count(), 0);

    model.setModule(relayModule(1));
    model.setModule(relayModule(3));
    model.clear();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 0);
    QCOMPARE(removed.at(0).at(2).toInt(), 1);
    QCOMPARE(deleted.count(), 0);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.moduleByIndex(1).ipAddress, QString());
}

void TestRelayModulesModel::lookups()
{
    RelayModulesConfigModel model;
    model.setModule(relayModule(1));
    for (int row : {-1, 1, 4}) {
        const RelayModuleRecord rec = model.moduleAt(row);
        QCOMPARE(rec.configIndex, quint16(0));
        QVERIFY(rec.ipAddress.isEmpty());
        QCOMPARE(rec.config.IPAddr, 0u);
        QCOMPARE(rec.config.Reserved4, quint16(502));
        QCOMPARE(rec.config.Reserved6, quint16(2));
        QCOMPARE(rec.config.Relays[31].TSign, quint8(0));
    }
    QCOMPARE(model.moduleByIndex(0).config.Reserved4, quint16(502));
    QCOMPARE(model.moduleByIndex(1).config.LineAddr, quint8(21));
    QCOMPARE(model.moduleAt(0).ipAddress, QStringLiteral("192.0.2.11"));
    QVERIFY(!model.indexOf(0).isValid());
    QVERIFY(!model.index(1, 0).data().isValid());
}

void TestRelayModulesModel::data_data()
{
    QTest::addColumn<bool>("expansion");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int D = Qt::DisplayRole, E = Qt::EditRole, A = Qt::TextAlignmentRole;
    QTest::newRow("number") << false << 0 << D << QVariant(3u);
    QTest::newRow("number edit") << false << 0 << E << QVariant(3u);
    QTest::newRow("address") << false << 1 << D << QVariant(QStringLiteral("192.0.2.12"));
    QTest::newRow("line address") << false << 2 << D << QVariant(22u);
    QTest::newRow("expansion") << true << 3 << E << QVariant(1u);
    QTest::newRow("relay 1") << false << 4 << D << QVariant(30u);
    QTest::newRow("relay 16") << false << 19 << D << QVariant(45u);
    QTest::newRow("relay 17 without expansion") << false << 20 << D << QVariant();
    QTest::newRow("relay 22 without expansion") << false << 25 << E << QVariant();
    QTest::newRow("relay 22 with expansion") << true << 25 << D << QVariant(51u);
    QTest::newRow("relay 32 with expansion") << true << 35 << E << QVariant(61u);
    QTest::newRow("alignment number") << false << 0 << A << QVariant(132);
    QTest::newRow("alignment line address") << false << 2 << A << QVariant(132);
    QTest::newRow("no alignment address") << false << 1 << A << QVariant();
    QTest::newRow("no alignment relay") << false << 4 << A << QVariant();
    QTest::newRow("user role") << false << 0 << int(Qt::UserRole) << QVariant();
}

void TestRelayModulesModel::data()
{
    QFETCH(bool, expansion);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    RelayModulesConfigModel model;
    model.setModule(relayModule(2, expansion));
    const QVariant value = model.index(0, column).data(role);
    QCOMPARE(value, expected);
    if (expected.isValid())
        QCOMPARE(value.userType(), expected.userType());
}

void TestRelayModulesModel::headerAndFlags()
{
    RelayModulesConfigModel model;
    model.setModule(relayModule(0));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("№\nмодуля"));
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Модуль\nрасширения"));
    QCOMPARE(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("1"));
    QCOMPARE(model.headerData(35, Qt::Horizontal).toString(), QStringLiteral("32"));
    for (int col = 0; col < 36; ++col)
        QCOMPARE(bool(model.flags(model.index(0, col)) & Qt::ItemIsEditable), col >= 4);
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);

    RelayModulesDetailModel detail;
    QCOMPARE(detail.headerData(1, Qt::Horizontal).toString(),
             QStringLiteral("Количество\nинтервалов"));
    QCOMPARE(detail.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Время, с."));
}

void TestRelayModulesModel::editHoldTime_data()
{
    QTest::addColumn<bool>("expansion");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("relaySignalled");   // 0: refused

    const int E = Qt::EditRole;
    QTest::newRow("relay 5") << false << 8 << QVariant(7) << E << 5;
    QTest::newRow("relay 16") << false << 19 << QVariant(255) << E << 16;
    QTest::newRow("relay 22 with expansion") << true << 25 << QVariant(9) << E << 22;
    QTest::newRow("relay 32 with expansion") << true << 35 << QVariant(3) << E << 32;
    QTest::newRow("relay 22 without expansion") << false << 25 << QVariant(9) << E << 0;
    QTest::newRow("count cut to a byte") << false << 4 << QVariant(260) << E << 1;
    QTest::newRow("not a number") << false << 8 << QVariant("x") << E << 0;
    QTest::newRow("display role") << false << 8 << QVariant(7) << int(Qt::DisplayRole) << 0;
    QTest::newRow("line address column") << false << 2 << QVariant(7) << E << 0;
    QTest::newRow("expansion column") << false << 3 << QVariant(1) << E << 0;
}

void TestRelayModulesModel::editHoldTime()
{
    QFETCH(bool, expansion);
    QFETCH(int, column);
    QFETCH(QVariant, value);
    QFETCH(int, role);
    QFETCH(int, relaySignalled);

    RelayModulesConfigModel model;
    model.setModule(relayModule(0));
    model.setModule(relayModule(2, expansion));
    const RelayModuleRecord before = model.moduleByIndex(2);
    QList<QVariantList> relaySignals;
    connect(&model, &RelayModulesConfigModel::relayTimeChanged,
            [&](uchar type, ushort index, uchar relay, uchar time) {
                relaySignals << QVariantList{int(type), int(index), int(relay), int(time)};
            });
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    const QModelIndex idx = model.index(1, column);
    QCOMPARE(model.setData(idx, value, role), relaySignalled != 0);
    if (!relaySignalled) {
        QVERIFY(relaySignals.isEmpty());
        QCOMPARE(changed.count(), 0);
        const RelayModuleRecord after = model.moduleByIndex(2);
        QVERIFY(memcmp(&before.config, &after.config,
                       sizeof(LantrelProtocol::Konfig_Modul_t)) == 0);
        return;
    }
    const int count = int(quint8(value.toUInt()));
    QCOMPARE(relaySignals, (QList<QVariantList>{{16, 2, relaySignalled, count}}));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), idx);
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(),
             (QVector<int>{Qt::DisplayRole, Qt::EditRole}));
    QCOMPARE(int(model.moduleByIndex(2).config.Relays[relaySignalled - 1].TSign), count);
    QCOMPARE(model.moduleByIndex(0).config.Relays[relaySignalled - 1].TSign,
             relayModule(0).config.Relays[relaySignalled - 1].TSign);
}

void TestRelayModulesModel::detailShowsSelectedModule()
{
    RelayModulesConfigModel master;
    RelayModulesDetailModel detail;
    QAbstractItemModelTester tester(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    master.setModule(relayModule(0));
    master.setModule(relayModule(1, true));
    detail.setMasterModel(&master);
    QCOMPARE(detail.rowCount(), 0);

    detail.setMasterRow(master.index(0, 0));
    QCOMPARE(detail.rowCount(), 16);
    QCOMPARE(counts(detail), expectedCounts(10, 16));
    QCOMPARE(detail.index(15, 0).data(), QVariant(16));
    QCOMPARE(detail.index(3, 1).data(Qt::EditRole), QVariant(13u));
    QVERIFY(!detail.index(3, 0).data(Qt::EditRole).isValid());
    QCOMPARE(detail.index(3, 2).data(Qt::TextAlignmentRole), QVariant(132));
    QVERIFY(detail.flags(detail.index(3, 1)) & Qt::ItemIsEditable);
    QVERIFY(!(detail.flags(detail.index(3, 2)) & Qt::ItemIsEditable));

    detail.setMasterRow(master.index(1, 4));
    QCOMPARE(detail.rowCount(), 32);
    QCOMPARE(counts(detail), expectedCounts(20, 32));

    detail.setMasterRow(QModelIndex());
    QCOMPARE(detail.rowCount(), 0);
}

void TestRelayModulesModel::detailSecondsText_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");

    QTest::newRow("odd") << 5 << QStringLiteral("2,5");
    QTest::newRow("even") << 6 << QStringLiteral("3");
    QTest::newRow("zero") << 0 << QStringLiteral("0");
    QTest::newRow("one") << 1 << QStringLiteral("0,5");
    QTest::newRow("largest") << 255 << QStringLiteral("127,5");
}

void TestRelayModulesModel::detailSecondsText()
{
    QFETCH(int, count);
    QFETCH(QString, text);

    RelayModulesConfigModel master;
    RelayModuleRecord rec = relayModule(0);
    rec.config.Relays[0].TSign = quint8(count);
    master.setModule(rec);
    RelayModulesDetailModel detail;
    detail.setMasterModel(&master);
    detail.setMasterRow(master.index(0, 0));
    QCOMPARE(detail.index(0, 2).data().toString(), text);
}

void TestRelayModulesModel::detailSameRowDoesNothing()
{
    RelayModulesConfigModel master;
    master.setModule(relayModule(0));
    RelayModulesDetailModel detail;
    detail.setMasterModel(&master);
    detail.setMasterRow(master.index(0, 0));
    QSignalSpy removed(&detail, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&detail, &QAbstractItemModel::rowsInserted);
    detail.setMasterRow(master.index(0, 2));
    QCOMPARE(removed.count(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(detail.rowCount(), 16);
}

void TestRelayModulesModel::detailEditWritesToMaster()
{
    RelayModulesConfigModel master;
    RelayModulesDetailModel detail;
    QAbstractItemModelTester tester(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    master.setModule(relayModule(0));
    master.setModule(relayModule(3, true));
    detail.setMasterModel(&master);
    detail.setMasterRow(master.index(1, 0));
    QSignalSpy relay(&master, &RelayModulesConfigModel::relayTimeChanged);
    QSignalSpy changed(&detail, &QAbstractItemModel::dataChanged);

    QVERIFY(detail.setData(detail.index(31, 1), 9, Qt::EditRole));
    QCOMPARE(detail.index(31, 1).data(), QVariant(9u));
    QCOMPARE(detail.index(31, 2).data().toString(), QStringLiteral("4,5"));
    QCOMPARE(master.moduleByIndex(3).config.Relays[31].TSign, quint8(9));
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.at(0).at(0).toInt(), 16);
    QCOMPARE(relay.at(0).at(1).toInt(), 3);
    QCOMPARE(relay.at(0).at(2).toInt(), 32);
    QCOMPARE(relay.at(0).at(3).toInt(), 9);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), detail.index(31, 1));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), detail.index(31, 2));

    QVERIFY(!detail.setData(detail.index(0, 0), 9, Qt::EditRole));
    QVERIFY(!detail.setData(detail.index(0, 2), 9, Qt::EditRole));
    QVERIFY(!detail.setData(detail.index(0, 1), QStringLiteral("x"), Qt::EditRole));
    QVERIFY(!detail.setData(detail.index(0, 1), 9, Qt::DisplayRole));
    QCOMPARE(relay.count(), 1);
    QCOMPARE(master.moduleByIndex(0).config.Relays[31].TSign, relayModule(0).config.Relays[31].TSign);
}

void TestRelayModulesModel::detailFollowsExpansion()
{
    RelayModulesConfigModel master;
    RelayModulesDetailModel detail;
    QAbstractItemModelTester tester(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    master.setModule(relayModule(1));
    detail.setMasterModel(&master);
    detail.setMasterRow(master.index(0, 0));
    QCOMPARE(detail.rowCount(), 16);

    master.setModule(relayModule(1, true));
    QCOMPARE(detail.rowCount(), 32);
    master.setModule(relayModule(1, false, 100));
    QCOMPARE(detail.rowCount(), 16);
    // Same expansion, new counts from the editor: the detail shows them.
    QCOMPARE(counts(detail), expectedCounts(100, 16));
    master.setModule(relayModule(1, false, 50));
    QCOMPARE(counts(detail), expectedCounts(50, 16));
}

void TestRelayModulesModel::detailFollowsMasterInsertions()
{
    RelayModulesConfigModel master;
    RelayModulesDetailModel detail;
    QAbstractItemModelTester tester(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    master.setModule(relayModule(2));
    detail.setMasterModel(&master);
    detail.setMasterRow(master.index(0, 0));
    QCOMPARE(counts(detail), expectedCounts(30, 16));

    // A module stored before the shown one pushes it to row 1.
    master.setModule(relayModule(0, true));
    QCOMPARE(detail.rowCount(), 16);
    QCOMPARE(counts(detail), expectedCounts(30, 16));

    QVERIFY(detail.setData(detail.index(4, 1), 77, Qt::EditRole));
    QCOMPARE(master.moduleByIndex(2).config.Relays[4].TSign, quint8(77));
    QCOMPARE(master.moduleByIndex(0).config.Relays[4].TSign, quint8(14));

    // The module now in row 0 changes its expansion: not the shown one.
    master.setModule(relayModule(0, false));
    QCOMPARE(detail.rowCount(), 16);
    QCOMPARE(detail.index(4, 1).data(), QVariant(77u));

    // The page selects the same module again at its new row: nothing to do.
    QSignalSpy inserted(&detail, &QAbstractItemModel::rowsInserted);
    detail.setMasterRow(master.indexOf(2));
    QCOMPARE(inserted.count(), 0);
    // The old row number now holds another module.
    detail.setMasterRow(master.index(0, 0));
    QCOMPARE(counts(detail), expectedCounts(10, 16));
}

void TestRelayModulesModel::detailFollowsMasterRemovals()
{
    RelayModulesConfigModel master;
    RelayModulesDetailModel detail;
    QAbstractItemModelTester tester(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (quint16 i : {0, 1, 3})
        master.setModule(relayModule(i));
    detail.setMasterModel(&master);
    detail.setMasterRow(master.index(2, 0));
    QCOMPARE(counts(detail), expectedCounts(40, 16));

    master.removeModule(0);
    QCOMPARE(counts(detail), expectedCounts(40, 16));
    QVERIFY(detail.setData(detail.index(0, 1), 5, Qt::EditRole));
    QCOMPARE(master.moduleByIndex(3).config.Relays[0].TSign, quint8(5));
    QCOMPARE(master.moduleByIndex(1).config.Relays[0].TSign, quint8(20));

    // The shown module goes: its relays must not be replaced by a neighbour's.
    master.removeModule(1);
    QCOMPARE(detail.rowCount(), 0);
    QVERIFY(!detail.setData(detail.index(0, 1), 6, Qt::EditRole));
    QCOMPARE(master.moduleByIndex(1).config.Relays[0].TSign, quint8(20));
}

void TestRelayModulesModel::detailFollowsMasterClear()
{
    RelayModulesConfigModel master;
    RelayModulesDetailModel detail;
    QAbstractItemModelTester tester(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    master.setModule(relayModule(0));
    detail.setMasterModel(&master);
    detail.setMasterRow(master.index(0, 0));
    master.clear();
    QCOMPARE(detail.rowCount(), 0);
    // A new configuration with the same index shows nothing until selected.
    master.setModule(relayModule(0, true));
    QCOMPARE(detail.rowCount(), 0);
    detail.setMasterRow(master.index(0, 0));
    QCOMPARE(detail.rowCount(), 32);
}

void TestRelayModulesModel::detailRebinds()
{
    RelayModulesConfigModel first;
    first.setModule(relayModule(0));
    RelayModulesDetailModel detail;
    QAbstractItemModelTester tester(&detail, QAbstractItemModelTester::FailureReportingMode::QtTest);
    detail.setMasterModel(&first);
    detail.setMasterRow(first.index(0, 0));
    QCOMPARE(detail.rowCount(), 16);

    QSignalSpy reset(&detail, &QAbstractItemModel::modelReset);
    {
        RelayModulesConfigModel second;
        second.setModule(relayModule(1, true));
        detail.setMasterModel(&second);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(detail.rowCount(), 0);
        // The old master no longer reaches the detail model.
        first.setModule(relayModule(0, true));
        QCOMPARE(detail.rowCount(), 0);
        detail.setMasterRow(second.index(0, 0));
        QCOMPARE(detail.rowCount(), 32);
    }
    // The master was destroyed.
    QCOMPARE(detail.rowCount(), 0);
    detail.setMasterRow(first.index(0, 0));
    QCOMPARE(detail.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestRelayModulesModel)
#include "tst_relaymodulesmodel.moc"
