// IoModulesConfigModel (configuration byte arithmetic, hold-time signal,
// loop references) and the read-only ScpModulesConfigModel, with their filters.

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QtTest>

#include "iomodulesconfigfiltermodel.h"
#include "iomodulerecords.h"
#include "iomodulesconfigmodel.h"
#include "scpmodulesconfigfiltermodel.h"
#include "scpmodulesconfigmodel.h"

Q_DECLARE_METATYPE(QVector<int>)

namespace {

IoModuleRecord ioModule(quint16 address, quint8 config = 0xF0)
{
    return IoModuleTest::record(address, 2000u + address, config, 4);
}

ScpModuleRecord scpModule(quint16 address)
{
    ScpModuleRecord rec;
    rec.lineAddress = address;
    rec.serialNumber = 3000u + address;
    rec.serialNumberText = QString::number(rec.serialNumber);
    rec.deviceType = 5;
    rec.deviceTypeName = QStringLiteral("ТЗ-Л");
    rec.thrMin = 16490;
    rec.thrMinText = QStringLiteral("16,49");
    rec.thrOff = 15990;
    rec.thrOffText = QStringLiteral("15,99");
    rec.thrOn = 4070;
    rec.thrOnText = QStringLiteral("4,07");
    return rec;
}

} // namespace

class TestIoModulesConfigModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QVector<int>>(); }

    void ioShape();
    void ioData_data();
    void ioData();
    void ioFlags();
    void configByte_data();
    void configByte();
    void relayTimeSignalComesFirst();
    void loopReferences_data();
    void loopReferences();
    void ioMoveResetsBothCounts();
    void ioInsertAndRemove();
    void ioFilter();

    void scpData_data();
    void scpData();
    void scpIsReadOnly();
    void scpOperations();
    void scpFilter();
};

void TestIoModulesConfigModel::ioShape()
{
    IoModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 100);
    QCOMPARE(model.columnCount(), 9);
    QCOMPARE(model.headerData(5, Qt::Horizontal).toString(), QStringLiteral("Выходное\nреле"));
    QCOMPARE(model.headerData(7, Qt::Horizontal).toString(), QStringLiteral("шлейф 1"));
    QCOMPARE(model.headerData(99, Qt::Vertical).toInt(), 100);
    QCOMPARE(model.moduleAt(100).lineAddress, quint16(0));
    QVERIFY(!model.index(0, 0).data().isValid());
    QCOMPARE(model.index(99, 1).data(Qt::UserRole), QVariant(0u));
}

void TestIoModulesConfigModel::ioData_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int D = Qt::DisplayRole, E = Qt::EditRole, U = Qt::UserRole;
    QTest::newRow("address") << 0 << D << QVariant(21u);
    QTest::newRow("address edit") << 0 << E << QVariant();
    QTest::newRow("type") << 1 << D << QVariant(QStringLiteral("ПС-Л"));
    QTest::newRow("type user") << 1 << U << QVariant(2u);
    QTest::newRow("serial user") << 2 << U << QVariant(2021u);
    QTest::newRow("loop 1") << 3 << D << QVariant(1u);
    QTest::newRow("loop 2 edit") << 4 << E << QVariant(2u);
    QTest::newRow("contact") << 5 << D << QVariant(1u);
    QTest::newRow("hold time edit") << 6 << E << QVariant(4u);
    QTest::newRow("loop 1 refs") << 7 << D << QVariant(5u);
    QTest::newRow("loop 2 refs") << 8 << D << QVariant(6u);
    QTest::newRow("loop 2 refs edit") << 8 << E << QVariant();
    QTest::newRow("loop 1 user") << 3 << U << QVariant();
    QTest::newRow("alignment") << 8 << int(Qt::TextAlignmentRole) << QVariant(int(Qt::AlignCenter));
}

void TestIoModulesConfigModel::ioData()
{
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    IoModulesConfigModel model;
    IoModuleRecord rec = ioModule(21, 0x92);   // loop 2 = 2, loop 1 = 1, contact = 1
    rec.loop1RefCount = 5;
    rec.loop2RefCount = 6;
    model.setModule(0, rec);
    const QVariant value = model.index(0, column).data(role);
    QCOMPARE(value, expected);
    if (expected.isValid())
        QCOMPARE(value.userType(), expected.userType());
    // The empty row below answers only the user role.
    QVERIFY(!model.index(1, column).data(Qt::DisplayRole).isValid());
    QVERIFY(!model.index(1, column).data(Qt::TextAlignmentRole).isValid());
}

void TestIoModulesConfigModel::ioFlags()
{
    IoModulesConfigModel model;
    model.setModule(0, ioModule(3));
    for (int col = 0; col < 9; ++col) {
        QCOMPARE(bool(model.flags(model.index(0, col)) & Qt::ItemIsEditable), col >= 3 && col <= 6);
        QVERIFY(!(model.flags(model.index(1, col)) & Qt::ItemIsEditable));
    }
}

void TestIoModulesConfigModel::configByte_data()
{
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("expected");

    QTest::newRow("loop 1 mode 2 over 0x0B") << 0x0B << 3 << QVariant(2) << true << 0x22;
    QTest::newRow("contact 1 over 0xF5") << 0xF5 << 5 << QVariant(1) << true << 0xF2;
    QTest::newRow("loop 2 mode 3 over 0x1D") << 0x1D << 4 << QVariant(3) << true << 0xD0;
    QTest::newRow("loop 1 mode 0 over 0xFF") << 0xFF << 3 << QVariant("0") << true << 0xC2;
    QTest::newRow("contact 0 over 0xFF") << 0xFF << 5 << QVariant(0) << true << 0xF0;
    QTest::newRow("hold time leaves the byte") << 0x0B << 6 << QVariant(20) << true << 0x0B;
    // A wider loop mode would spill into loop 2's bits.
    QTest::newRow("loop 1 mode 5 refused") << 0x00 << 3 << QVariant(5) << false << 0x00;
    QTest::newRow("loop 2 mode 4 refused") << 0x30 << 4 << QVariant(4) << false << 0x30;
    QTest::newRow("contact 2 refused") << 0x00 << 5 << QVariant(2) << false << 0x00;
    QTest::newRow("not a number") << 0x10 << 3 << QVariant("two") << false << 0x10;
    QTest::newRow("reference column") << 0x10 << 7 << QVariant(1) << false << 0x10;
}

void TestIoModulesConfigModel::configByte()
{
    QFETCH(int, initial);
    QFETCH(int, column);
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, expected);

    IoModulesConfigModel model;
    model.setModule(3, ioModule(30, quint8(initial)));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex idx = model.index(3, column);
    QCOMPARE(model.setData(idx, value, Qt::EditRole), accepted);
    const IoModuleRecord rec = model.moduleAt(3);
    QCOMPARE(int(rec.config), expected);
    QCOMPARE(changed.count(), accepted ? 1 : 0);
    if (!accepted)
        return;
    QCOMPARE(changed.at(0).at(0).toModelIndex(), idx);
    QCOMPARE(changed.at(0).at(1).toModelIndex(), idx);
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(),
             (QVector<int>{Qt::DisplayRole, Qt::EditRole}));
    QCOMPARE(idx.data(Qt::EditRole).toUInt(), value.toUInt());
    if (column != 6) {
        // The unpacked fields stay equal to their bits.
        QCOMPARE(int(rec.loop1Mode), (expected >> 4) & 3);
        QCOMPARE(int(rec.loop2Mode), (expected >> 6) & 3);
        QCOMPARE(int(rec.relayContact), (expected >> 1) & 1);
    }
}

void TestIoModulesConfigModel::relayTimeSignalComesFirst()
{
    IoModulesConfigModel model;
    model.setModule(7, ioModule(40));
    QStringList order;
    QList<QVariantList> relayArgs;
    connect(&model, &IoModulesConfigModel::relayTimeChanged,
            [&](uchar type, ushort row, uchar relay, uchar time) {
                order << QStringLiteral("relay");
                relayArgs << QVariantList{int(type), int(row), int(relay), int(time)};
            });
    connect(&model, &QAbstractItemModel::dataChanged,
            [&](const QModelIndex &first) { order << QStringLiteral("data %1").arg(first.column()); });

    QVERIFY(model.setData(model.index(7, 6), 20, Qt::EditRole));
    QCOMPARE(order, (QStringList{QStringLiteral("relay"), QStringLiteral("data 6")}));
    QCOMPARE(relayArgs.first(), (QVariantList{2, 7, 0, 20}));
    QCOMPARE(model.moduleAt(7).relayTime, quint8(20));

    // Storing a whole module is no hold-time edit.
    order.clear();
    model.setModule(7, ioModule(40));
    QCOMPARE(order, QStringList{QStringLiteral("data 0")});
}

void TestIoModulesConfigModel::loopReferences_data()
{
    QTest::addColumn<int>("loop");
    QTest::addColumn<int>("column");

    QTest::newRow("loop 1") << 1 << 7;
    QTest::newRow("loop 2") << 2 << 8;
    QTest::newRow("any other loop counts as 2") << 0 << 8;
}

void TestIoModulesConfigModel::loopReferences()
{
    QFETCH(int, loop);
    QFETCH(int, column);

    IoModulesConfigModel model;
    model.setModule(0, ioModule(5));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.addReference(0, uchar(loop)));
    QVERIFY(model.addReference(0, uchar(loop)));
    QCOMPARE(model.index(0, column).data(), QVariant(2u));
    QCOMPARE(model.index(0, column == 7 ? 8 : 7).data(), QVariant(0u));
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, column));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{Qt::DisplayRole});

    QVERIFY(model.removeReference(0, uchar(loop)));
    QVERIFY(model.removeReference(0, uchar(loop)));
    QVERIFY(!model.removeReference(0, uchar(loop)));
    QCOMPARE(changed.count(), 4);

    IoModuleRecord full = ioModule(5);
    full.loop1RefCount = 255;
    full.loop2RefCount = 255;
    model.setModule(0, full);
    changed.clear();
    QVERIFY(!model.addReference(0, uchar(loop)));
    QCOMPARE(model.index(0, column).data(), QVariant(255u));
    QCOMPARE(changed.count(), 0);
}

void TestIoModulesConfigModel::ioMoveResetsBothCounts()
{
    IoModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 3; ++i) {
        IoModuleRecord rec = ioModule(quint16(10 * (i + 1)));
        rec.loop1RefCount = 2;
        rec.loop2RefCount = 3;
        model.setModule(ushort(i), rec);
    }
    quint16 newIndex = 0;
    QVERIFY(model.moveModule(0, 25, &newIndex));
    QCOMPARE(newIndex, quint16(1));
    const IoModuleRecord moved = model.moduleAt(1);
    QCOMPARE(moved.lineAddress, quint16(25));
    QCOMPARE(moved.serialNumber, 2010u);
    QCOMPARE(moved.loop1RefCount, quint8(0));
    QCOMPARE(moved.loop2RefCount, quint8(0));
    QCOMPARE(model.moduleAt(0).lineAddress, quint16(20));
    QCOMPARE(model.moduleAt(0).loop1RefCount, quint8(2));

    QVERIFY(model.moveModule(2, 5, &newIndex));
    QCOMPARE(newIndex, quint16(0));
    QCOMPARE(model.moduleAt(0).loop2RefCount, quint8(0));
    QCOMPARE(model.moduleAt(1).lineAddress, quint16(20));
}

void TestIoModulesConfigModel::ioInsertAndRemove()
{
    IoModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setModule(0, ioModule(3));
    model.setModule(1, ioModule(9));
    quint16 index = 0;
    QVERIFY(model.insertModule(ioModule(12), &index));
    QCOMPARE(index, quint16(2));
    QVERIFY(model.insertModule(ioModule(4), &index));
    QCOMPARE(index, quint16(1));
    QCOMPARE(model.moduleAt(2).lineAddress, quint16(9));
    QCOMPARE(model.moduleAt(3).lineAddress, quint16(12));

    QVERIFY(model.removeModule(98));
    QCOMPARE(model.moduleAt(3).lineAddress, quint16(12));
    QVERIFY(model.removeModule(0));
    QCOMPARE(model.moduleAt(0).lineAddress, quint16(4));
    QCOMPARE(model.moduleAt(3).lineAddress, quint16(0));
    QVERIFY(!model.removeModule(100));
}

void TestIoModulesConfigModel::ioFilter()
{
    IoModulesConfigModel model;
    IoModulesConfigFilterModel filter;
    filter.setSourceModel(&model);
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(filter.rowCount(), 100);
    filter.setHideEmptyRows(true);
    QCOMPARE(filter.rowCount(), 0);
    model.setModule(0, ioModule(8));
    model.setModule(1, ioModule(2));
    QCOMPARE(filter.rowCount(), 2);
    filter.sort(0);
    QCOMPARE(filter.index(0, 0).data(), QVariant(2u));
    model.clear();
    QCOMPARE(filter.rowCount(), 0);
}

void TestIoModulesConfigModel::scpData_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int D = Qt::DisplayRole, U = Qt::UserRole;
    QTest::newRow("address") << 0 << D << QVariant(14u);
    QTest::newRow("address user") << 0 << U << QVariant();
    QTest::newRow("type") << 1 << D << QVariant(QStringLiteral("ТЗ-Л"));
    QTest::newRow("type user") << 1 << U << QVariant(5u);
    QTest::newRow("serial user") << 2 << U << QVariant(3014u);
    QTest::newRow("switch-off text") << 3 << D << QVariant(QStringLiteral("16,49"));
    QTest::newRow("switch-off mV") << 3 << U << QVariant(16490u);
    QTest::newRow("opening mV") << 4 << U << QVariant(15990u);
    QTest::newRow("restore text") << 5 << D << QVariant(QStringLiteral("4,07"));
    QTest::newRow("no edit role") << 3 << int(Qt::EditRole) << QVariant();
    QTest::newRow("alignment") << 2 << int(Qt::TextAlignmentRole) << QVariant(int(Qt::AlignCenter));
}

void TestIoModulesConfigModel::scpData()
{
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    ScpModulesConfigModel model;
    model.setModule(0, scpModule(14));
    const QVariant value = model.index(0, column).data(role);
    QCOMPARE(value, expected);
    if (expected.isValid())
        QCOMPARE(value.userType(), expected.userType());
    QVERIFY(!model.index(1, column).data(Qt::DisplayRole).isValid());
}

void TestIoModulesConfigModel::scpIsReadOnly()
{
    ScpModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 32);
    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(model.headerData(5, Qt::Horizontal).toString(), QStringLiteral("восстановления"));
    model.setModule(0, scpModule(14));
    for (int col = 0; col < 6; ++col)
        QVERIFY(!(model.flags(model.index(0, col)) & Qt::ItemIsEditable));
    QVERIFY(!model.setData(model.index(0, 3), 1000, Qt::EditRole));
    QCOMPARE(model.moduleAt(0).thrMin, quint16(16490));
    QCOMPARE(model.moduleAt(32).lineAddress, quint16(0));
}

void TestIoModulesConfigModel::scpOperations()
{
    ScpModulesConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setModule(0, scpModule(5));
    model.setModule(1, scpModule(7));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(0, 5));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(),
             (QVector<int>{Qt::DisplayRole, Qt::UserRole}));

    quint16 index = 0;
    QVERIFY(model.insertModule(scpModule(6), &index));
    QCOMPARE(index, quint16(1));
    QCOMPARE(model.moduleAt(2).lineAddress, quint16(7));

    const QPersistentModelIndex seven(model.index(2, 0));
    QVERIFY(model.moveModule(2, 2, &index));
    QCOMPARE(index, quint16(0));
    QCOMPARE(seven.row(), 0);
    QCOMPARE(model.moduleAt(0).serialNumber, 3007u);
    QCOMPARE(model.moduleAt(0).lineAddress, quint16(2));

    changed.clear();
    model.clear();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(31, 5));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(),
             (QVector<int>{Qt::DisplayRole, Qt::UserRole}));
}

void TestIoModulesConfigModel::scpFilter()
{
    ScpModulesConfigModel model;
    ScpModulesConfigFilterModel filter;
    filter.setSourceModel(&model);
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(filter.rowCount(), 32);
    filter.setHideEmptyRows(true);
    QCOMPARE(filter.rowCount(), 0);
    model.setModule(0, scpModule(5));
    QCOMPARE(filter.rowCount(), 1);
    QVERIFY(model.removeModule(0));
    QCOMPARE(filter.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestIoModulesConfigModel)
#include "tst_iomodulesconfigmodel.moc"
