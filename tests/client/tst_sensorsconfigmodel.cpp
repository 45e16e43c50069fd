// SensorsConfigModel, its filter, and the fixed-table mechanics shared with
// the other module tables (insert, move, remove, references).

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QtTest>

#include "sensorsconfigfiltermodel.h"
#include "sensorsconfigmodel.h"

Q_DECLARE_METATYPE(QVector<int>)

namespace {

SensorModuleRecord sensor(quint16 address, quint8 type = 3, quint32 serial = 0)
{
    SensorModuleRecord rec;
    rec.lineAddress = address;
    rec.deviceType = type;
    rec.serialNumber = serial ? serial : 1000u + address;
    rec.serialNumberText = QString::number(rec.serialNumber);
    rec.deviceTypeName = type == 3 ? QStringLiteral("ВС-Л") : QStringLiteral("ВТ-Л");
    rec.range = 1;
    rec.lowPassFilter = 2;
    rec.highPassFilter = 3;
    rec.adaptiveFilter = 1;
    rec.irThreshold = 40;
    rec.irExceedCount = 3;
    return rec;
}

void fill(SensorsConfigModel &model, const QVector<quint16> &addresses)
{
    for (int i = 0; i < addresses.size(); ++i)
        model.setModule(ushort(i), sensor(addresses.at(i)));
}

QVector<quint16> addresses(const SensorsConfigModel &model, int rows)
{
    QVector<quint16> result;
    for (int i = 0; i < rows; ++i)
        result << model.moduleAt(ushort(i)).lineAddress;
    return result;
}

} // namespace

class TestSensorsConfigModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void newModelIsEmpty();
    void dataByDeviceType_data();
    void dataByDeviceType();
    void flagsByDeviceType_data();
    void flagsByDeviceType();
    void setData_data();
    void setData();
    void ruleSetsWaitTime_data();
    void ruleSetsWaitTime();
    void waitTimeUnderAnd_data();
    void waitTimeUnderAnd();
    void setModuleAndClearReportWholeRows();

    void insertModule_data();
    void insertModule();
    void insertModuleKeepsHigherAddress();
    void insertModuleRefusedWhenFullOrInvalid();
    void moveModule_data();
    void moveModule();
    void moveModuleRefusesBadRows();
    void removeModule_data();
    void removeModule();
    void references();
    void referenceCountStopsAt255();
    void outOfRangeAccess();

    void filterHidesEmptyRows();
    void filterFollowsChangesAndSorts();
};

void TestSensorsConfigModel::initTestCase()
{
    qRegisterMetaType<QVector<int>>();
}

void TestSensorsConfigModel::newModelIsEmpty()
{
    SensorsConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 500);
    QCOMPARE(model.columnCount(), 12);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    QCOMPARE(model.columnCount(model.index(0, 0)), 0);
    for (int row = 0; row < 500; ++row) {
        for (int col = 0; col < 12; ++col)
            QVERIFY(!model.index(row, col).data(Qt::DisplayRole).isValid());
        QCOMPARE(model.index(row, 1).data(Qt::UserRole), QVariant(0u));
        QVERIFY(!model.index(row, 0).data(Qt::TextAlignmentRole).isValid());
    }
    QCOMPARE(model.headerData(8, Qt::Horizontal).toString(),
             QStringLiteral("Количество\nпревышений\nсигнала ИК"));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Адрес\nмодуля"));
    QCOMPARE(model.headerData(4, Qt::Vertical).toInt(), 5);
}

void TestSensorsConfigModel::dataByDeviceType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("waitTime");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const QVariant none;
    const int D = Qt::DisplayRole, E = Qt::EditRole, U = Qt::UserRole;
    QTest::newRow("address display") << 4 << 0 << 0 << D << QVariant(17u);
    QTest::newRow("address edit") << 4 << 0 << 0 << E << none;
    QTest::newRow("address user") << 4 << 0 << 0 << U << none;
    QTest::newRow("type display") << 4 << 0 << 1 << D << QVariant(QStringLiteral("ВТ-Л"));
    QTest::newRow("type user") << 4 << 0 << 1 << U << QVariant(4u);
    QTest::newRow("serial user") << 4 << 0 << 2 << U << QVariant(1017u);
    QTest::newRow("serial edit") << 4 << 0 << 2 << E << none;
    QTest::newRow("range display") << 4 << 0 << 3 << D << QVariant(1u);
    QTest::newRow("low-pass display") << 4 << 0 << 4 << D << QVariant(2u);
    QTest::newRow("high-pass display") << 4 << 0 << 5 << D << QVariant(3u);
    QTest::newRow("adaptive edit") << 4 << 0 << 6 << E << QVariant(1u);
    QTest::newRow("range user") << 4 << 0 << 3 << U << none;
    QTest::newRow("ir threshold, type 4") << 4 << 0 << 7 << D << none;
    QTest::newRow("ir count, type 4") << 4 << 0 << 8 << E << none;
    QTest::newRow("rule, type 4") << 4 << 0 << 9 << D << none;
    QTest::newRow("wait edit, type 4") << 4 << 5 << 10 << E << none;
    QTest::newRow("ir threshold, type 3") << 3 << 0 << 7 << D << QVariant(40u);
    QTest::newRow("ir count edit, type 3") << 3 << 0 << 8 << E << QVariant(3u);
    QTest::newRow("rule 0 display") << 3 << 0 << 9 << D << QVariant(0u);
    QTest::newRow("wait display under rule 0") << 3 << 0 << 10 << D << none;
    QTest::newRow("wait edit under rule 0") << 3 << 0 << 10 << E << QVariant(0u);
    QTest::newRow("rule 1 display") << 3 << 5 << 9 << D << QVariant(1u);
    QTest::newRow("wait display under rule 1") << 3 << 5 << 10 << D << QVariant(5u);
    QTest::newRow("references display") << 3 << 0 << 11 << D << QVariant(2u);
    QTest::newRow("references edit") << 3 << 0 << 11 << E << none;
    QTest::newRow("alignment") << 4 << 0 << 5 << int(Qt::TextAlignmentRole)
                               << QVariant(int(Qt::AlignCenter));
    QTest::newRow("tool tip") << 4 << 0 << 0 << int(Qt::ToolTipRole) << none;
    QTest::newRow("empty row display") << 0 << 0 << 3 << D << none;
    QTest::newRow("empty row alignment") << 0 << 0 << 3 << int(Qt::TextAlignmentRole) << none;
    QTest::newRow("empty row type user") << 0 << 0 << 1 << U << QVariant(0u);
    QTest::newRow("empty row serial user") << 0 << 0 << 2 << U << QVariant(1017u);
}

void TestSensorsConfigModel::dataByDeviceType()
{
    QFETCH(int, type);
    QFETCH(int, waitTime);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    SensorsConfigModel model;
    SensorModuleRecord rec = sensor(17, quint8(type));
    rec.deviceType = quint8(type);
    if (type == 4)
        rec.deviceTypeName = QStringLiteral("ВТ-Л");
    rec.waitTime = quint8(waitTime);
    rec.rule = waitTime ? 1 : 0;
    rec.refCount = 2;
    model.setModule(3, rec);

    const QVariant value = model.index(3, column).data(role);
    QCOMPARE(value.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(value, expected);
        QCOMPARE(value.userType(), expected.userType());
    }
}

void TestSensorsConfigModel::flagsByDeviceType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("rule");
    QTest::addColumn<QVector<int>>("editableColumns");

    QTest::newRow("empty row") << 0 << 0 << QVector<int>{};
    QTest::newRow("type 4") << 4 << 0 << QVector<int>{3, 4, 5, 6};
    QTest::newRow("type 4, rule 1") << 4 << 1 << QVector<int>{3, 4, 5, 6};
    QTest::newRow("type 3, rule 0") << 3 << 0 << QVector<int>{3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("type 3, rule 1") << 3 << 1 << QVector<int>{3, 4, 5, 6, 7, 8, 9, 10};
}

void TestSensorsConfigModel::flagsByDeviceType()
{
    QFETCH(int, type);
    QFETCH(int, rule);
    QFETCH(QVector<int>, editableColumns);

    SensorsConfigModel model;
    SensorModuleRecord rec = sensor(5, quint8(type));
    rec.deviceType = quint8(type);
    rec.rule = quint8(rule);
    rec.waitTime = quint8(rule);
    model.setModule(0, rec);
    for (int col = 0; col < 12; ++col) {
        const Qt::ItemFlags f = model.flags(model.index(0, col));
        QVERIFY(f & Qt::ItemIsEnabled);
        QVERIFY(f & Qt::ItemIsSelectable);
        QCOMPARE(bool(f & Qt::ItemIsEditable), editableColumns.contains(col));
    }
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
}

void TestSensorsConfigModel::setData_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("role");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("stored");   // EditRole value afterwards

    const int E = Qt::EditRole;
    QTest::newRow("range") << 4 << 3 << QVariant(2) << E << true << QVariant(2u);
    QTest::newRow("low-pass from text") << 4 << 4 << QVariant("3") << E << true << QVariant(3u);
    QTest::newRow("high-pass low byte") << 4 << 5 << QVariant(300) << E << true << QVariant(44u);
    QTest::newRow("adaptive") << 3 << 6 << QVariant(0) << E << true << QVariant(0u);
    QTest::newRow("ir threshold, type 3") << 3 << 7 << QVariant(25) << E << true << QVariant(25u);
    QTest::newRow("ir count, type 3") << 3 << 8 << QVariant(1) << E << true << QVariant(1u);
    QTest::newRow("wait time, type 3") << 3 << 10 << QVariant(7) << E << true << QVariant(7u);
    QTest::newRow("ir threshold, type 4") << 4 << 7 << QVariant(25) << E << false << QVariant();
    QTest::newRow("rule, type 4") << 4 << 9 << QVariant(1) << E << false << QVariant();
    QTest::newRow("wait, type 4") << 4 << 10 << QVariant(1) << E << false << QVariant();
    QTest::newRow("not a number") << 3 << 3 << QVariant("abc") << E << false << QVariant(1u);
    QTest::newRow("display role") << 3 << 3 << QVariant(2) << int(Qt::DisplayRole) << false
                                  << QVariant(1u);
    QTest::newRow("serial column") << 3 << 2 << QVariant(2) << E << false << QVariant();
    QTest::newRow("references column") << 3 << 11 << QVariant(2) << E << false << QVariant();
    QTest::newRow("rule beyond И") << 3 << 9 << QVariant(2) << E << false << QVariant(0u);
}

void TestSensorsConfigModel::setData()
{
    QFETCH(int, type);
    QFETCH(int, column);
    QFETCH(QVariant, value);
    QFETCH(int, role);
    QFETCH(bool, accepted);
    QFETCH(QVariant, stored);

    SensorsConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    SensorModuleRecord rec = sensor(8, quint8(type));
    model.setModule(2, rec);
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);

    const QModelIndex idx = model.index(2, column);
    QCOMPARE(model.setData(idx, value, role), accepted);
    if (!accepted) {
        QCOMPARE(spy.count(), 0);
        const SensorModuleRecord after = model.moduleAt(2);
        QCOMPARE(after.range, rec.range);
        QCOMPARE(after.irThreshold, rec.irThreshold);
        QCOMPARE(after.rule, rec.rule);
        QCOMPARE(after.waitTime, rec.waitTime);
        return;
    }
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toModelIndex(), idx);
    QCOMPARE(spy.at(0).at(1).toModelIndex(), idx);
    QCOMPARE(spy.at(0).at(2).value<QVector<int>>(), (QVector<int>{Qt::DisplayRole, Qt::EditRole}));
    QCOMPARE(idx.data(Qt::EditRole), stored);
}

void TestSensorsConfigModel::ruleSetsWaitTime_data()
{
    QTest::addColumn<int>("initialWait");
    QTest::addColumn<int>("rule");

    QTest::newRow("ИЛИ to И") << 0 << 1;
    QTest::newRow("И to ИЛИ") << 6 << 0;
    QTest::newRow("И again restarts at 1") << 6 << 1;
}

void TestSensorsConfigModel::ruleSetsWaitTime()
{
    QFETCH(int, initialWait);
    QFETCH(int, rule);

    SensorsConfigModel model;
    SensorModuleRecord rec = sensor(8, 3);
    rec.waitTime = quint8(initialWait);
    rec.rule = initialWait ? 1 : 0;
    model.setModule(4, rec);
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(model.setData(model.index(4, 9), rule, Qt::EditRole));
    const SensorModuleRecord after = model.moduleAt(4);
    QCOMPARE(int(after.rule), rule);
    QCOMPARE(int(after.waitTime), rule);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toModelIndex(), model.index(4, 9));
    QCOMPARE(spy.at(0).at(1).toModelIndex(), model.index(4, 10));
    QCOMPARE(bool(model.flags(model.index(4, 10)) & Qt::ItemIsEditable), rule == 1);
}

void TestSensorsConfigModel::waitTimeUnderAnd_data()
{
    QTest::addColumn<uint>("value");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("9") << 9u << true;
    QTest::newRow("255") << 255u << true;
    QTest::newRow("0 would read as ИЛИ") << 0u << false;
    QTest::newRow("256 wraps to 0") << 256u << false;
}

void TestSensorsConfigModel::waitTimeUnderAnd()
{
    QFETCH(uint, value);
    QFETCH(bool, accepted);

    SensorsConfigModel model;
    SensorModuleRecord rec = sensor(8, 3);
    rec.rule = 1;
    rec.waitTime = 6;
    model.setModule(4, rec);
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    QCOMPARE(model.setData(model.index(4, 10), value, Qt::EditRole), accepted);
    QCOMPARE(spy.count(), accepted ? 1 : 0);
    QCOMPARE(uint(model.moduleAt(4).waitTime), accepted ? value : 6u);
    QCOMPARE(model.moduleAt(4).rule, quint8(1));
}

void TestSensorsConfigModel::setModuleAndClearReportWholeRows()
{
    SensorsConfigModel model;
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    const QVector<int> roles{Qt::DisplayRole, Qt::EditRole, Qt::UserRole};

    QVERIFY(model.setModule(7, sensor(30)));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toModelIndex(), model.index(7, 0));
    QCOMPARE(spy.at(0).at(1).toModelIndex(), model.index(7, 11));
    QCOMPARE(spy.at(0).at(2).value<QVector<int>>(), roles);
    QCOMPARE(model.moduleAt(7).serialNumber, 1030u);

    spy.clear();
    model.clear();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(spy.at(0).at(1).toModelIndex(), model.index(499, 11));
    QCOMPARE(spy.at(0).at(2).value<QVector<int>>(), roles);
    QCOMPARE(model.moduleAt(7).lineAddress, quint16(0));
    QVERIFY(model.moduleAt(7).serialNumberText.isEmpty());
}

void TestSensorsConfigModel::insertModule_data()
{
    QTest::addColumn<QVector<quint16>>("before");
    QTest::addColumn<quint16>("address");
    QTest::addColumn<int>("expectedIndex");
    QTest::addColumn<QVector<quint16>>("after");
    QTest::addColumn<bool>("rowsMoved");

    QTest::newRow("above all") << QVector<quint16>{3, 9} << quint16(12) << 2
                               << QVector<quint16>{3, 9, 12, 0} << false;
    QTest::newRow("into empty table") << QVector<quint16>{} << quint16(40) << 0
                                      << QVector<quint16>{40, 0} << false;
    QTest::newRow("same address replaces") << QVector<quint16>{3, 9} << quint16(9) << 1
                                           << QVector<quint16>{3, 9, 0} << false;
    QTest::newRow("between makes room") << QVector<quint16>{3, 9} << quint16(5) << 1
                                        << QVector<quint16>{3, 5, 9, 0} << true;
    QTest::newRow("below all makes room") << QVector<quint16>{3, 9} << quint16(1) << 0
                                          << QVector<quint16>{1, 3, 9, 0} << true;
}

void TestSensorsConfigModel::insertModule()
{
    QFETCH(QVector<quint16>, before);
    QFETCH(quint16, address);
    QFETCH(int, expectedIndex);
    QFETCH(QVector<quint16>, after);
    QFETCH(bool, rowsMoved);

    SensorsConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(model, before);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    quint16 index = 999;
    QVERIFY(model.insertModule(sensor(address, 4, 77), &index));
    QCOMPARE(int(index), expectedIndex);
    QCOMPARE(addresses(model, after.size()), after);
    QCOMPARE(model.moduleAt(index).serialNumber, 77u);
    QCOMPARE(moved.count(), rowsMoved ? 1 : 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(model.rowCount(), 500);
}

void TestSensorsConfigModel::insertModuleKeepsHigherAddress()
{
    // A module placed between two configured ones must not overwrite the
    // configuration of the one that was at its place.
    SensorsConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(model, {3, 9, 20});
    SensorModuleRecord nine = model.moduleAt(1);
    nine.range = 3;
    nine.refCount = 4;
    model.setModule(1, nine);
    const QPersistentModelIndex persistent(model.index(1, 0));

    quint16 index = 0;
    QVERIFY(model.insertModule(sensor(5), &index));
    QCOMPARE(index, quint16(1));
    QCOMPARE(persistent.row(), 2);
    const SensorModuleRecord moved = model.moduleAt(2);
    QCOMPARE(moved.lineAddress, quint16(9));
    QCOMPARE(moved.range, quint8(3));
    QCOMPARE(moved.refCount, quint8(4));
    QCOMPARE(model.moduleAt(3).lineAddress, quint16(20));
}

void TestSensorsConfigModel::insertModuleRefusedWhenFullOrInvalid()
{
    SensorsConfigModel model;
    QVector<quint16> all;
    for (int i = 0; i < 500; ++i)
        all << quint16(2 * i + 2);
    fill(model, all);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);

    quint16 index = 1234;
    QVERIFY(!model.insertModule(sensor(1001), &index));    // position is the row count
    QVERIFY(!model.insertModule(sensor(5), &index));       // no empty row to make room
    QCOMPARE(index, quint16(1234));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(moved.count(), 0);
    QCOMPARE(model.moduleAt(2).lineAddress, quint16(6));
    QCOMPARE(model.moduleAt(499).lineAddress, quint16(1000));

    // The same address still replaces in place in a full table.
    QVERIFY(model.insertModule(sensor(100, 4, 5), &index));
    QCOMPARE(index, quint16(49));
    QCOMPARE(model.moduleAt(49).serialNumber, 5u);

    SensorsConfigModel small;
    fill(small, {4});
    QVERIFY(!small.insertModule(sensor(0), &index));          // address 0 is no module
    SensorModuleRecord empty = sensor(7);
    empty.deviceType = 0;
    QVERIFY(!small.insertModule(empty, &index));
    QCOMPARE(addresses(small, 2), (QVector<quint16>{4, 0}));
}

void TestSensorsConfigModel::moveModule_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<quint16>("address");
    QTest::addColumn<int>("expectedIndex");
    QTest::addColumn<QVector<quint16>>("after");
    QTest::addColumn<int>("moveDestination");   // -1: no move announced

    QTest::newRow("down past the last") << 1 << quint16(12) << 2
                                        << QVector<quint16>{5, 9, 12, 0} << 3;
    QTest::newRow("in place, next gap") << 1 << quint16(8) << 1
                                        << QVector<quint16>{5, 8, 9, 0} << -1;
    QTest::newRow("in place, previous gap") << 1 << quint16(6) << 1
                                            << QVector<quint16>{5, 6, 9, 0} << -1;
    QTest::newRow("up to the first") << 2 << quint16(4) << 0
                                     << QVector<quint16>{4, 5, 7, 0} << 0;
    QTest::newRow("first to the end") << 0 << quint16(100) << 2
                                      << QVector<quint16>{7, 9, 100, 0} << 3;
}

void TestSensorsConfigModel::moveModule()
{
    QFETCH(int, index);
    QFETCH(quint16, address);
    QFETCH(int, expectedIndex);
    QFETCH(QVector<quint16>, after);
    QFETCH(int, moveDestination);

    SensorsConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(model, {5, 7, 9});
    SensorModuleRecord rec = model.moduleAt(ushort(index));
    rec.refCount = 3;
    model.setModule(ushort(index), rec);
    const QPersistentModelIndex persistent(model.index(index, 2));
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    quint16 newIndex = 999;
    QVERIFY(model.moveModule(ushort(index), address, &newIndex));
    QCOMPARE(int(newIndex), expectedIndex);
    QCOMPARE(addresses(model, after.size()), after);
    const SensorModuleRecord movedRec = model.moduleAt(newIndex);
    QCOMPARE(movedRec.serialNumber, rec.serialNumber);
    QCOMPARE(movedRec.refCount, quint8(0));
    QCOMPARE(persistent.row(), expectedIndex);

    if (moveDestination < 0) {
        QCOMPARE(moved.count(), 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(index, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(index, 11));
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{Qt::DisplayRole});
    } else {
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(1).toInt(), index);
        QCOMPARE(moved.at(0).at(2).toInt(), index);
        QCOMPARE(moved.at(0).at(4).toInt(), moveDestination);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), index);
        QCOMPARE(changed.at(1).at(0).toModelIndex().row(), expectedIndex);
        QCOMPARE(changed.at(1).at(2).value<QVector<int>>(),
                 (QVector<int>{Qt::DisplayRole, Qt::EditRole, Qt::UserRole}));
    }
}

void TestSensorsConfigModel::moveModuleRefusesBadRows()
{
    SensorsConfigModel model;
    fill(model, {5, 7});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    quint16 newIndex = 77;
    QVERIFY(!model.moveModule(500, 3, &newIndex));
    QVERIFY(!model.moveModule(2, 3, &newIndex));    // empty row
    QVERIFY(!model.moveModule(0, 0, &newIndex));    // address 0
    QCOMPARE(newIndex, quint16(77));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(addresses(model, 3), (QVector<quint16>{5, 7, 0}));
}

void TestSensorsConfigModel::removeModule_data()
{
    QTest::addColumn<QVector<quint16>>("before");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("moveAnnounced");
    QTest::addColumn<QVector<quint16>>("firstRowsAfter");

    QTest::newRow("middle of three") << QVector<quint16>{3, 6, 9} << 1 << true
                                     << QVector<quint16>{3, 9, 0, 0};
    QTest::newRow("first of three") << QVector<quint16>{3, 6, 9} << 0 << true
                                    << QVector<quint16>{6, 9, 0, 0};
    QTest::newRow("empty row") << QVector<quint16>{3} << 10 << true
                               << QVector<quint16>{3, 0};
}

void TestSensorsConfigModel::removeModule()
{
    QFETCH(QVector<quint16>, before);
    QFETCH(int, row);
    QFETCH(bool, moveAnnounced);
    QFETCH(QVector<quint16>, firstRowsAfter);

    SensorsConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(model, before);
    const QPersistentModelIndex last(model.index(before.size() - 1, 0));
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

    QVERIFY(model.removeModule(ushort(row)));
    QCOMPARE(addresses(model, firstRowsAfter.size()), firstRowsAfter);
    QCOMPARE(moved.count(), moveAnnounced ? 1 : 0);
    if (moveAnnounced)
        QCOMPARE(moved.at(0).at(4).toInt(), 500);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(499, 0));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(499, 11));
    if (row < before.size() - 1)
        QCOMPARE(last.row(), before.size() - 2);
    QCOMPARE(model.rowCount(), 500);
}

void TestSensorsConfigModel::references()
{
    SensorsConfigModel model;
    fill(model, {5});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(model.addReference(0));
    QCOMPARE(model.index(0, 11).data(), QVariant(1u));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, 11));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{Qt::DisplayRole});

    QVERIFY(model.removeReference(0));
    QCOMPARE(changed.count(), 2);
    QVERIFY(!model.removeReference(0));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(model.moduleAt(0).refCount, quint8(0));
}

void TestSensorsConfigModel::referenceCountStopsAt255()
{
    SensorsConfigModel model;
    SensorModuleRecord rec = sensor(5);
    rec.refCount = 254;
    model.setModule(0, rec);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.addReference(0));
    QVERIFY(!model.addReference(0));
    QCOMPARE(model.moduleAt(0).refCount, quint8(255));
    QCOMPARE(changed.count(), 1);
}

void TestSensorsConfigModel::outOfRangeAccess()
{
    SensorsConfigModel model;
    fill(model, {5});
    QCOMPARE(model.moduleAt(500).lineAddress, quint16(0));
    QCOMPARE(model.moduleAt(65535).deviceType, quint8(0));
    QVERIFY(!model.index(500, 0).data().isValid());
    QVERIFY(!model.index(0, 12).data().isValid());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(!model.setModule(500, sensor(9)));
    QVERIFY(!model.removeModule(500));
    QVERIFY(!model.addReference(500));
    QVERIFY(!model.removeReference(500));
    QCOMPARE(changed.count(), 0);
}

void TestSensorsConfigModel::filterHidesEmptyRows()
{
    SensorsConfigModel model;
    SensorsConfigFilterModel filter;
    filter.setSourceModel(&model);
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(filter.rowCount(), 500);
    filter.setHideEmptyRows(true);
    QCOMPARE(filter.rowCount(), 0);
    filter.setHideEmptyRows(false);
    QCOMPARE(filter.rowCount(), 500);
}

void TestSensorsConfigModel::filterFollowsChangesAndSorts()
{
    SensorsConfigModel model;
    SensorsConfigFilterModel filter;
    filter.setSourceModel(&model);
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    filter.setHideEmptyRows(true);

    fill(model, {5, 7, 9});
    QCOMPARE(filter.rowCount(), 3);
    quint16 index = 0;
    QVERIFY(model.insertModule(sensor(6), &index));
    QCOMPARE(filter.rowCount(), 4);
    QVERIFY(model.removeModule(0));
    QCOMPARE(filter.rowCount(), 3);

    filter.sort(0, Qt::DescendingOrder);
    QCOMPARE(filter.index(0, 0).data(), QVariant(9u));
    QCOMPARE(filter.index(2, 0).data(), QVariant(6u));

    // Edits through the filter reach the source.
    QVERIFY(filter.setData(filter.index(0, 3), 2, Qt::EditRole));
    QCOMPARE(model.moduleAt(2).range, quint8(2));

    model.clear();
    QCOMPARE(filter.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestSensorsConfigModel)
#include "tst_sensorsconfigmodel.moc"
