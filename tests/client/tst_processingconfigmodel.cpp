// ProcessingConfigModel and its filter: signed neighbour counts, row moves
// that keep the rules parallel to the sensor table.

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QtTest>

#include "processingconfigfiltermodel.h"
#include "processingconfigmodel.h"

Q_DECLARE_METATYPE(QVector<int>)

namespace {

ProcessingRuleRecord rule(quint16 address, quint16 threshold = 0)
{
    ProcessingRuleRecord rec;
    rec.lineAddress = address;
    rec.config.MRef = threshold ? threshold : quint16(address * 10);
    rec.config.NExc = 3;
    rec.config.SensLeft = -3;
    rec.config.SensRight = 3;
    rec.config.Ratio = 50;
    return rec;
}

QVector<quint16> addresses(const ProcessingConfigModel &model, int rows)
{
    QVector<quint16> result;
    for (int i = 0; i < rows; ++i)
        result << model.ruleAt(ushort(i)).lineAddress;
    return result;
}

} // namespace

class TestProcessingConfigModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QVector<int>>(); }
    void newModel();
    void data_data();
    void data();
    void flags();
    void setData_data();
    void setData();
    void setRuleAndClear();
    void moveRule_data();
    void moveRule();
    void removeRule();
    void makeRoomForInsertedSensor();
    void outOfRange();
    void filter();
};

void TestProcessingConfigModel::newModel()
{
    ProcessingConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 500);
    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(model.headerData(5, Qt::Horizontal).toString(),
             QStringLiteral("Отношение\nуровней\nсигналов"));
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("слева"));
    QVERIFY(!model.index(0, 1).data().isValid());
    QCOMPARE(model.index(0, 1).data(Qt::UserRole), QVariant(0u));
}

void TestProcessingConfigModel::data_data()
{
    QTest::addColumn<quint16>("address");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int D = Qt::DisplayRole, E = Qt::EditRole, U = Qt::UserRole;
    QTest::newRow("address") << quint16(12) << 0 << D << QVariant(12u);
    QTest::newRow("threshold edit") << quint16(12) << 1 << E << QVariant(120u);
    QTest::newRow("exceed user") << quint16(12) << 2 << U << QVariant(3u);
    QTest::newRow("left is signed") << quint16(12) << 3 << D << QVariant(-5);
    QTest::newRow("left user is signed") << quint16(12) << 3 << U << QVariant(-5);
    QTest::newRow("right") << quint16(12) << 4 << E << QVariant(3);
    QTest::newRow("ratio") << quint16(12) << 5 << D << QVariant(50u);
    QTest::newRow("alignment") << quint16(12) << 5 << int(Qt::TextAlignmentRole)
                               << QVariant(int(Qt::AlignCenter));
    QTest::newRow("no rule display") << quint16(0) << 1 << D << QVariant();
    QTest::newRow("no rule edit") << quint16(0) << 4 << E << QVariant();
    QTest::newRow("no rule alignment") << quint16(0) << 1 << int(Qt::TextAlignmentRole)
                                       << QVariant();
    QTest::newRow("no rule user") << quint16(0) << 1 << U << QVariant(120u);
}

void TestProcessingConfigModel::data()
{
    QFETCH(quint16, address);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    ProcessingConfigModel model;
    ProcessingRuleRecord rec = rule(12);
    rec.lineAddress = address;
    rec.config.SensLeft = qint8(0xFB);
    model.setRule(6, rec);
    const QVariant value = model.index(6, column).data(role);
    QCOMPARE(value, expected);
    if (expected.isValid())
        QCOMPARE(value.userType(), expected.userType());
}

void TestProcessingConfigModel::flags()
{
    ProcessingConfigModel model;
    model.setRule(0, rule(3));
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    for (int col = 1; col < 6; ++col) {
        QVERIFY(model.flags(model.index(0, col)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(1, col)) & Qt::ItemIsEditable));
    }
}

void TestProcessingConfigModel::setData_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("threshold 16 bits") << 1 << QVariant(70000) << true << QVariant(4464u);
    QTest::newRow("exceed 8 bits") << 2 << QVariant(258) << true << QVariant(2u);
    QTest::newRow("left negative") << 3 << QVariant("-4") << true << QVariant(-4);
    QTest::newRow("right wraps as a byte") << 4 << QVariant(251) << true << QVariant(-5);
    QTest::newRow("ratio") << 5 << QVariant(80u) << true << QVariant(80u);
    QTest::newRow("left not a number") << 3 << QVariant("x") << false << QVariant(-3);
    QTest::newRow("negative threshold") << 1 << QVariant("-1") << false << QVariant(30u);
    QTest::newRow("address column") << 0 << QVariant(9) << false << QVariant();
}

void TestProcessingConfigModel::setData()
{
    QFETCH(int, column);
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(QVariant, stored);

    ProcessingConfigModel model;
    model.setRule(1, rule(3));
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex idx = model.index(1, column);
    QCOMPARE(model.setData(idx, value, Qt::EditRole), accepted);
    QCOMPARE(spy.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(spy.at(0).at(0).toModelIndex(), idx);
        QCOMPARE(spy.at(0).at(1).toModelIndex(), idx);
        QCOMPARE(spy.at(0).at(2).value<QVector<int>>(),
                 (QVector<int>{Qt::DisplayRole, Qt::EditRole}));
    }
    if (stored.isValid())
        QCOMPARE(idx.data(Qt::EditRole), stored);
    QVERIFY(!model.setData(idx, value, Qt::DisplayRole));
}

void TestProcessingConfigModel::setRuleAndClear()
{
    ProcessingConfigModel model;
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    const QVector<int> roles{Qt::DisplayRole, Qt::EditRole, Qt::UserRole};
    QVERIFY(model.setRule(499, rule(500)));
    QCOMPARE(spy.at(0).at(0).toModelIndex(), model.index(499, 0));
    QCOMPARE(spy.at(0).at(1).toModelIndex(), model.index(499, 5));
    QCOMPARE(spy.at(0).at(2).value<QVector<int>>(), roles);
    model.clear();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(spy.at(1).at(1).toModelIndex(), model.index(499, 5));
    QCOMPARE(model.ruleAt(499).config.MRef, quint16(0));
}

void TestProcessingConfigModel::moveRule_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QVector<quint16>>("after");
    QTest::addColumn<QVector<int>>("announced");   // source first, last, destination

    QTest::newRow("next row") << 1 << 2 << QVector<quint16>{10, 30, 20, 40}
                              << QVector<int>{2, 2, 1};
    QTest::newRow("further down") << 0 << 2 << QVector<quint16>{20, 30, 10, 40}
                                  << QVector<int>{0, 0, 3};
    QTest::newRow("up") << 3 << 1 << QVector<quint16>{10, 40, 20, 30}
                        << QVector<int>{3, 3, 1};
    QTest::newRow("same row") << 2 << 2 << QVector<quint16>{10, 20, 30, 40} << QVector<int>{};
}

void TestProcessingConfigModel::moveRule()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QVector<quint16>, after);
    QFETCH(QVector<int>, announced);

    ProcessingConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QVector<quint16> before{10, 20, 30, 40};
    for (int i = 0; i < before.size(); ++i)
        model.setRule(ushort(i), rule(before.at(i)));
    const QPersistentModelIndex persistent(model.index(from, 1));
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(model.moveRule(ushort(from), ushort(to)));
    QCOMPARE(addresses(model, 4), after);
    QCOMPARE(persistent.row(), to);
    QCOMPARE(model.ruleAt(ushort(to)).config.MRef, quint16(before.at(from) * 10));
    if (announced.isEmpty()) {
        QCOMPARE(moved.count(), 0);
        QCOMPARE(changed.count(), 0);
        return;
    }
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.at(0).at(1).toInt(), announced.at(0));
    QCOMPARE(moved.at(0).at(2).toInt(), announced.at(1));
    QCOMPARE(moved.at(0).at(4).toInt(), announced.at(2));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), from);
    QCOMPARE(changed.at(1).at(0).toModelIndex().row(), to);
}

void TestProcessingConfigModel::removeRule()
{
    ProcessingConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 3; ++i)
        model.setRule(ushort(i), rule(quint16(5 + i)));
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);

    QVERIFY(model.removeRule(0));
    QCOMPARE(addresses(model, 3), (QVector<quint16>{6, 7, 0}));
    QCOMPARE(moved.count(), 1);

    model.setRule(499, rule(500));
    QVERIFY(model.removeRule(499));
    QCOMPARE(moved.count(), 1);
    QCOMPARE(model.ruleAt(499).lineAddress, quint16(0));
}

void TestProcessingConfigModel::makeRoomForInsertedSensor()
{
    // A sensor inserted between two others moves the later sensor rows down;
    // moving the empty last rule to its row keeps the two tables parallel.
    ProcessingConfigModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRule(0, rule(3));
    model.setRule(1, rule(9));
    QVERIFY(model.moveRule(499, 1));
    QVERIFY(model.setRule(1, rule(5)));
    QCOMPARE(addresses(model, 4), (QVector<quint16>{3, 5, 9, 0}));
    QCOMPARE(model.ruleAt(2).config.MRef, quint16(90));
}

void TestProcessingConfigModel::outOfRange()
{
    ProcessingConfigModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QCOMPARE(model.ruleAt(500).lineAddress, quint16(0));
    QVERIFY(!model.setRule(500, rule(1)));
    QVERIFY(!model.moveRule(0, 500));
    QVERIFY(!model.moveRule(500, 0));
    QVERIFY(!model.removeRule(500));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(moved.count(), 0);
}

void TestProcessingConfigModel::filter()
{
    ProcessingConfigModel model;
    ProcessingConfigFilterModel filter;
    filter.setSourceModel(&model);
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(filter.rowCount(), 500);
    filter.setHideEmptyRows(true);
    QCOMPARE(filter.rowCount(), 0);

    // 256 has a zero low byte: the whole address decides.
    model.setRule(0, rule(256));
    model.setRule(1, rule(300));
    QCOMPARE(filter.rowCount(), 2);
    filter.sort(0, Qt::DescendingOrder);
    QCOMPARE(filter.index(0, 0).data(), QVariant(300u));
    QVERIFY(model.removeRule(1));
    QCOMPARE(filter.rowCount(), 1);
    QCOMPARE(filter.index(0, 0).data(), QVariant(256u));
}

QTEST_GUILESS_MAIN(TestProcessingConfigModel)
#include "tst_processingconfigmodel.moc"
