#include <QAbstractItemModelTester>
#include <QPixmap>
#include <QPixmapCache>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "linemodulesfiltermodel.h"
#include "linemodulesmodel.h"
#include "modulesversionfiltermodel.h"
#include "modulesversionmodel.h"

namespace {

const QVector<int> allRoles = {0, 1, 3, 8, 256};
const QVector<int> stateRoles = {1, 3, 8};

LineModuleRecord module(quint16 address, quint8 type, quint32 serial = 0, quint16 tableIndex = 0)
{
    LineModuleRecord r;
    r.lineAddress = address;
    r.deviceType = type;
    r.serialNumber = serial ? serial : 0x40000u + address;
    r.serialNumberText = QStringLiteral("%1.21").arg(r.serialNumber & 0x3FFFF);
    r.typeName = QStringLiteral("тип %1").arg(type);
    r.tableIndex = tableIndex;
    return r;
}

struct Change
{
    int top, left, bottom, right;
    QVector<int> roles;
};

QVector<Change> changes(const QSignalSpy &spy)
{
    QVector<Change> out;
    for (const QList<QVariant> &args : spy) {
        const QModelIndex tl = args.at(0).value<QModelIndex>();
        const QModelIndex br = args.at(1).value<QModelIndex>();
        out.append({tl.row(), tl.column(), br.row(), br.column(), args.at(2).value<QVector<int>>()});
    }
    return out;
}

quint32 flagsAt(const LineModulesModel &m, quint16 address)
{
    return m.moduleAt(address).stateFlags;
}

// Table indexes of the occupied rows, by line address.
QMap<int, int> tableIndexes(const LineModulesModel &m)
{
    QMap<int, int> out;
    for (quint16 a = 1; a <= 500; ++a) {
        const LineModuleRecord r = m.moduleAt(a);
        if (r.deviceType != 0)
            out.insert(a, r.tableIndex);
    }
    return out;
}

} // namespace

class TestLineModulesModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newModel();
    void moduleAtOutsideRange();
    void indexOfSearchesTypeAndSerial();
    void setModuleResetsFlags();
    void stateFlags_data();
    void stateFlags();
    void stateFlagsFollowNewStatus();
    void setModuleStateIgnoredCases();
    void resetModuleState();
    void loopModesDeriveFlagsAgain();
    void setLoopModesIgnoredCases();
    void moduleVoltages();
    void insertShiftsLaterIndexesOfItsKind();
    void removeShiftsLaterIndexesBack();
    void moveIsAChangeOfTwoRows();
    void moveRenumbersItsKind();
    void moveRefusesOutsideContract_data();
    void moveRefusesOutsideContract();
    void clearByKind();
    void tableContents();
    void decorationAndToolTip_data();
    void decorationAndToolTip();
    void headers();

    void filterAcceptance_data();
    void filterAcceptance();
    void filterSortsSerialNumbersByValue();

    void versionModel();
    void versionFilter();
    void versionFilterEmptyRows_data();
    void versionFilterEmptyRows();

private:
    std::unique_ptr<LineModulesModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void TestLineModulesModel::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    qRegisterMetaType<QVector<int>>();
    qRegisterMetaType<QList<QPersistentModelIndex>>();
    qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
}

void TestLineModulesModel::init()
{
    m_model.reset(new LineModulesModel);
    m_tester.reset(new QAbstractItemModelTester(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest));
}

void TestLineModulesModel::cleanup()
{
    m_tester.reset();
    m_model.reset();
}

void TestLineModulesModel::newModel()
{
    LineModulesModel &m = *m_model;
    QCOMPARE(m.rowCount(), 500);
    QCOMPARE(m.columnCount(), 3);
    QCOMPARE(m.rowCount(m.index(0, 0)), 0);
    QCOMPARE(m.columnCount(m.index(0, 0)), 0);
    for (quint16 a : {1, 250, 500}) {
        const LineModuleRecord r = m.moduleAt(a);
        QCOMPARE(r.lineAddress, a);
        QCOMPARE(r.deviceType, quint8(0));
        QCOMPARE(r.loop1Mode, 3);
        QCOMPARE(r.loop2Mode, 3);
        QCOMPARE(r.stateFlags, 0u);
    }
    QVERIFY(!(m.flags(m.index(0, 1)) & Qt::ItemIsEditable));
}

void TestLineModulesModel::moduleAtOutsideRange()
{
    m_model->setModule(module(500, 4));
    for (quint16 a : {0, 501, 65535}) {
        const LineModuleRecord r = m_model->moduleAt(a);
        QCOMPARE(r.lineAddress, quint16(0));
        QCOMPARE(r.deviceType, quint8(0));
        QCOMPARE(r.loop1Mode, 3);
        QCOMPARE(r.loop2Mode, 3);
        QCOMPARE(r.stateFlags, 0u);
    }
}

void TestLineModulesModel::indexOfSearchesTypeAndSerial()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(7, 4, 1234));
    m.setModule(module(9, 3, 1234));
    m.setModule(module(11, 4, 1234));   // same type and serial: the first one wins

    QModelIndex i = m.indexOf(4, 1234);
    QVERIFY(i.isValid());
    QCOMPARE(i.row(), 6);
    QCOMPARE(i.column(), 0);
    QCOMPARE(m.indexOf(3, 1234).row(), 8);
    QVERIFY(!m.indexOf(2, 1234).isValid());
    QVERIFY(!m.indexOf(4, 999).isValid());
    // Empty rows hold type 0 and serial 0, yet they are never found.
    QVERIFY(!m.indexOf(0, 0).isValid());
    QVERIFY(!m.indexOf(0, 1234).isValid());
    QVERIFY(!m.indexOf(4, 0).isValid());
}

void TestLineModulesModel::setModuleResetsFlags()
{
    LineModulesModel &m = *m_model;
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    LineModuleRecord r = module(20, 4);
    r.stateFlags = 0x400;
    r.status0 = 0x04;
    m.setModule(r);
    QCOMPARE(flagsAt(m, 20), 0u);
    QCOMPARE(m.moduleAt(20).serialNumber, r.serialNumber);
    QCOMPARE(m.moduleAt(20).status0, quint8(0x04));

    LineModuleRecord empty;
    empty.lineAddress = 21;
    empty.stateFlags = 0x400;
    m.setModule(empty);
    QCOMPARE(flagsAt(m, 21), 1u);

    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 2);
    QCOMPARE(c.at(0).top, 19);
    QCOMPARE(c.at(0).bottom, 19);
    QCOMPARE(c.at(0).left, 0);
    QCOMPARE(c.at(0).right, 2);
    QCOMPARE(c.at(0).roles, allRoles);
    QCOMPARE(c.at(1).top, 20);

    // Outside 1..500 the record is ignored.
    spy.clear();
    m.setModule(module(0, 4));
    m.setModule(module(501, 4));
    QCOMPARE(spy.count(), 0);
}

void TestLineModulesModel::stateFlags_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("loop1");
    QTest::addColumn<int>("loop2");
    QTest::addColumn<int>("s0");
    QTest::addColumn<int>("s1");
    QTest::addColumn<uint>("flags");

    // Sensor modules.
    QTest::newRow("sensor normal armed") << 4 << 3 << 3 << 0x00 << 0x02 << 0x100u;
    QTest::newRow("sensor alarm bit 2") << 4 << 3 << 3 << 0x04 << 0x02 << 0x400u;
    QTest::newRow("sensor alarm bit 1") << 3 << 3 << 3 << 0x02 << 0x02 << 0x400u;
    QTest::newRow("sensor alarm bit 3") << 3 << 3 << 3 << 0x08 << 0x02 << 0x400u;
    QTest::newRow("sensor disarmed") << 4 << 3 << 3 << 0x00 << 0x00 << 0x140u;
    QTest::newRow("sensor no link, fault") << 3 << 3 << 3 << 0x21 << 0x02 << 0x122u;
    QTest::newRow("sensor off, excluded") << 4 << 3 << 3 << 0x00 << 0x07 << 0x10Cu;
    QTest::newRow("sensor added/changed") << 4 << 3 << 3 << 0x00 << 0x42 << 0x110u;
    QTest::newRow("sensor replaced") << 4 << 3 << 3 << 0x00 << 0x82 << 0x110u;
    QTest::newRow("sensor ignores I/O bits") << 4 << 3 << 3 << 0xC0 << 0x02 << 0x100u;

    // I/O modules: s0 bits 4-5 loop 1, bits 6-7 loop 2.
    QTest::newRow("io normal, technological loops") << 2 << 3 << 3 << 0x00 << 0x00 << 0x300u;
    QTest::newRow("io alarm loops disarmed") << 2 << 1 << 1 << 0x00 << 0x00 << 0x3C0u;
    QTest::newRow("io alarm loops armed") << 2 << 1 << 1 << 0x00 << 0x12 << 0x300u;
    QTest::newRow("io loop 1 disarmed only") << 2 << 1 << 1 << 0x00 << 0x10 << 0x340u;
    QTest::newRow("io loop 1 mode 2 never disarmed") << 2 << 2 << 3 << 0x00 << 0x00 << 0x300u;
    QTest::newRow("io loop 1 active (0x30)") << 2 << 3 << 3 << 0x30 << 0x00 << 0x600u;
    QTest::newRow("io loop 1 break") << 2 << 3 << 3 << 0x10 << 0x00 << 0x1200u;
    QTest::newRow("io loop 1 short") << 2 << 3 << 3 << 0x20 << 0x00 << 0x4200u;
    QTest::newRow("io loop 2 break") << 2 << 3 << 3 << 0x40 << 0x00 << 0x2100u;
    QTest::newRow("io loop 2 short") << 2 << 3 << 3 << 0x80 << 0x00 << 0x8100u;
    QTest::newRow("io loop 2 active") << 2 << 3 << 3 << 0xC0 << 0x00 << 0x900u;
    QTest::newRow("io relay on, fault") << 2 << 3 << 3 << 0x06 << 0x00 << 0x10320u;
    QTest::newRow("io sensor fault bit not used") << 2 << 3 << 3 << 0x20 << 0x00 << 0x4200u;

    // Line-protection modules.
    QTest::newRow("scp relay open") << 5 << 3 << 3 << 0x00 << 0x00 << 0x400u;
    QTest::newRow("scp relay closed") << 5 << 3 << 3 << 0x80 << 0x00 << 0x20000u;
    QTest::newRow("scp fault bit 2") << 5 << 3 << 3 << 0x84 << 0x00 << 0x20020u;
    QTest::newRow("scp fault bit 3") << 5 << 3 << 3 << 0x08 << 0x00 << 0x420u;
    QTest::newRow("scp no link, off") << 5 << 3 << 3 << 0x01 << 0x01 << 0x406u;
    QTest::newRow("scp ignores disarm") << 5 << 3 << 3 << 0x80 << 0x00 << 0x20000u;
}

void TestLineModulesModel::stateFlags()
{
    QFETCH(int, type);
    QFETCH(int, loop1);
    QFETCH(int, loop2);
    QFETCH(int, s0);
    QFETCH(int, s1);
    QFETCH(uint, flags);

    LineModulesModel &m = *m_model;
    m.setModule(module(42, quint8(type)));
    m.setLoopModes(42, loop1, loop2);
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);
    m.setModuleState(42, quint8(s0), quint8(s1), 0x5A);

    const LineModuleRecord r = m.moduleAt(42);
    QCOMPARE(r.stateFlags, flags);
    QCOMPARE(r.status0, quint8(s0));
    QCOMPARE(r.status1, quint8(s1));
    QCOMPARE(r.status2, quint8(0x5A));
    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 1);
    QCOMPARE(c.at(0).top, 41);
    QCOMPARE(c.at(0).bottom, 41);
    QCOMPARE(c.at(0).left, 1);
    QCOMPARE(c.at(0).right, 1);
    QCOMPARE(c.at(0).roles, stateRoles);
}

void TestLineModulesModel::stateFlagsFollowNewStatus()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(1, 4));
    m.setModuleState(1, 0x0E, 0x00, 0);   // alarm, disarmed, no status bits
    QCOMPARE(flagsAt(m, 1), 0x440u);
    m.setModuleState(1, 0x01, 0x46, 0);   // normal, armed, no link, excluded, changed
    QCOMPARE(flagsAt(m, 1), 0x11Au);
    m.setModuleState(1, 0x00, 0x02, 0);
    QCOMPARE(flagsAt(m, 1), 0x100u);

    m.setModule(module(2, 2));
    m.setModuleState(2, 0xF2, 0x00, 0);   // loop 1 and 2 active, relay on
    QCOMPARE(flagsAt(m, 2), 0x10C00u);
    m.setModuleState(2, 0x50, 0x00, 0);   // both loops break, relay off
    QCOMPARE(flagsAt(m, 2), 0x3000u);

    m.setModule(module(3, 5));
    m.setModuleState(3, 0x80, 0, 0);
    m.setModuleState(3, 0x00, 0, 0);
    QCOMPARE(flagsAt(m, 3), 0x400u);
}

void TestLineModulesModel::setModuleStateIgnoredCases()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(10, 1));
    m.setModule(module(11, 4));
    m.setModule(module(12, 2));
    m.setModule(module(13, 5));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    m.setModuleState(0, 1, 1, 1);
    m.setModuleState(501, 1, 1, 1);
    m.setModuleState(9, 1, 1, 1);                // empty row
    QCOMPARE(m.moduleAt(9).status0, quint8(0));
    QCOMPARE(flagsAt(m, 9), 0u);

    // Type 1: bytes stored, flags and views left alone.
    m.setModuleState(10, 0x21, 0x07, 0x03);
    QCOMPARE(m.moduleAt(10).status0, quint8(0x21));
    QCOMPARE(m.moduleAt(10).status1, quint8(0x07));
    QCOMPARE(m.moduleAt(10).status2, quint8(0x03));
    QCOMPARE(flagsAt(m, 10), 0u);
    QCOMPARE(spy.count(), 0);

    // The same bytes again emit nothing once flags are known.
    for (quint16 a : {11, 12, 13}) {
        m.setModuleState(a, 0x00, 0x02, 0);
        QCOMPARE(spy.count(), 1);
        m.setModuleState(a, 0x00, 0x02, 0);
        QCOMPARE(spy.count(), 1);
        spy.clear();
    }
}

void TestLineModulesModel::resetModuleState()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(30, 3));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    m.resetModuleState(30);              // flags 0: nothing to forget
    m.resetModuleState(31);              // empty row
    m.resetModuleState(0);
    m.resetModuleState(501);
    QCOMPARE(spy.count(), 0);

    m.setModuleState(30, 0x04, 0x02, 0x09);
    spy.clear();
    m.resetModuleState(30);
    const LineModuleRecord r = m.moduleAt(30);
    QCOMPARE(r.stateFlags, 0u);
    QCOMPARE(r.status0, quint8(0));
    QCOMPARE(r.status1, quint8(0));
    QCOMPARE(r.status2, quint8(0));
    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 1);
    QCOMPARE(c.at(0).top, 29);
    QCOMPARE(c.at(0).left, 1);
    QCOMPARE(c.at(0).right, 1);
    QCOMPARE(c.at(0).roles, stateRoles);

    // Reporting again after a reset, even with the same bytes.
    m.setModuleState(30, 0x00, 0x00, 0x00);
    QCOMPARE(flagsAt(m, 30), 0x140u);

    // An emptied row keeps flag 1 and is not touched.
    m.removeModule(29);
    spy.clear();
    m.resetModuleState(30);
    QCOMPARE(flagsAt(m, 30), 1u);
    QCOMPARE(spy.count(), 0);
}

void TestLineModulesModel::loopModesDeriveFlagsAgain()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(50, 2));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    // No state known yet: modes stored, flags stay 0.
    m.setLoopModes(50, 1, 1);
    QCOMPARE(m.moduleAt(50).loop1Mode, 1);
    QCOMPARE(m.moduleAt(50).loop2Mode, 1);
    QCOMPARE(flagsAt(m, 50), 0u);
    QCOMPARE(spy.count(), 1);

    m.setModuleState(50, 0x00, 0x00, 0);
    QCOMPARE(flagsAt(m, 50), 0x3C0u);

    // Loops switched to technological: both disarmed bits go at once.
    spy.clear();
    m.setLoopModes(50, 3, 3);
    QCOMPARE(flagsAt(m, 50), 0x300u);
    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 1);
    QCOMPARE(c.at(0).top, 49);
    QCOMPARE(c.at(0).left, 1);
    QCOMPARE(c.at(0).right, 1);
    QCOMPARE(c.at(0).roles, QVector<int>{8});

    m.setLoopModes(50, 1, 3);
    QCOMPARE(flagsAt(m, 50), 0x340u);
    m.setLoopModes(50, 0, 1);
    QCOMPARE(flagsAt(m, 50), 0x380u);
    // The status itself is kept.
    QCOMPARE(m.moduleAt(50).status1, quint8(0));
}

void TestLineModulesModel::setLoopModesIgnoredCases()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(60, 4));
    m.setModule(module(61, 2));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);
    m.setLoopModes(60, 1, 1);                      // not an I/O module
    QCOMPARE(m.moduleAt(60).loop1Mode, 3);
    m.setLoopModes(62, 1, 1);                      // empty
    m.setLoopModes(0, 1, 1);
    m.setLoopModes(501, 1, 1);
    m.setLoopModes(61, 3, 3);                      // unchanged
    QCOMPARE(spy.count(), 0);
}

void TestLineModulesModel::moduleVoltages()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(70, 5));
    m.setModule(module(71, 4));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    m.setModuleVoltages(71, 24000, 23000);        // not a line-protection module
    m.setModuleVoltages(0, 1, 1);
    m.setModuleVoltages(501, 1, 1);
    QCOMPARE(m.moduleAt(71).inputVoltage, quint16(0));
    QCOMPARE(spy.count(), 0);

    m.setModuleVoltages(70, 24000, 23500);
    QCOMPARE(m.moduleAt(70).inputVoltage, quint16(24000));
    QCOMPARE(m.moduleAt(70).outputVoltage, quint16(23500));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(changes(spy).at(0).roles, QVector<int>{8});
    QCOMPARE(changes(spy).at(0).left, 1);

    // Unchanged values are reported again while no state is known ...
    m.setModuleVoltages(70, 24000, 23500);
    QCOMPARE(spy.count(), 2);
    // ... and not once the module reports.
    m.setModuleState(70, 0x80, 0, 0);
    spy.clear();
    m.setModuleVoltages(70, 24000, 23500);
    QCOMPARE(spy.count(), 0);
    m.setModuleVoltages(70, 24000, 0);
    QCOMPARE(spy.count(), 1);
}

void TestLineModulesModel::insertShiftsLaterIndexesOfItsKind()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(3, 4, 0, 0));
    m.setModule(module(10, 3, 0, 1));
    m.setModule(module(40, 4, 0, 2));
    m.setModule(module(5, 2, 0, 0));
    m.setModule(module(45, 2, 0, 1));
    m.setModule(module(50, 5, 0, 0));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    m.insertModule(module(20, 3, 0, 2));
    QMap<int, int> expected{{3, 0}, {10, 1}, {20, 2}, {40, 3}, {5, 0}, {45, 1}, {50, 0}};
    QCOMPARE(tableIndexes(m), expected);
    QCOMPARE(flagsAt(m, 20), 0u);
    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 2);
    QCOMPARE(c.at(0).top, 19);
    QCOMPARE(c.at(0).bottom, 19);
    QCOMPARE(c.at(0).roles, allRoles);
    QCOMPARE(c.at(1).top, 20);
    QCOMPARE(c.at(1).left, 0);
    QCOMPARE(c.at(1).bottom, 499);
    QCOMPARE(c.at(1).right, 2);
    QCOMPARE(c.at(1).roles, QVector<int>{256});

    m.insertModule(module(1, 2, 0, 0));
    expected = {{1, 0}, {3, 0}, {10, 1}, {20, 2}, {40, 3}, {5, 1}, {45, 2}, {50, 0}};
    QCOMPARE(tableIndexes(m), expected);

    // Address 500: only the row itself changes.
    spy.clear();
    m.insertModule(module(500, 5, 0, 1));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(m.moduleAt(50).tableIndex, quint16(0));
}

void TestLineModulesModel::removeShiftsLaterIndexesBack()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(3, 4, 0, 0));
    m.setModule(module(10, 4, 0, 1));
    m.setModule(module(12, 3, 0, 2));
    m.setModule(module(40, 4, 0, 3));
    m.setModule(module(20, 2, 0, 0));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    m.removeModule(9);
    const QMap<int, int> expected{{3, 0}, {12, 1}, {40, 2}, {20, 0}};
    QCOMPARE(tableIndexes(m), expected);
    const LineModuleRecord gone = m.moduleAt(10);
    QCOMPARE(gone.lineAddress, quint16(10));
    QCOMPARE(gone.deviceType, quint8(0));
    QVERIFY(gone.serialNumberText.isEmpty());
    QCOMPARE(gone.stateFlags, 1u);
    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 1);
    QCOMPARE(c.at(0).top, 9);
    QCOMPARE(c.at(0).left, 0);
    QCOMPARE(c.at(0).bottom, 499);
    QCOMPARE(c.at(0).right, 2);
    QCOMPARE(c.at(0).roles, allRoles);

    spy.clear();
    m.removeModule(9);      // now empty
    m.removeModule(-1);
    m.removeModule(500);
    QCOMPARE(spy.count(), 0);
}

void TestLineModulesModel::moveIsAChangeOfTwoRows()
{
    LineModulesModel &m = *m_model;
    LineModuleRecord r = module(5, 4, 0x40123, 0);
    m.setModule(r);
    m.setModuleState(5, 0x04, 0x02, 0);
    m.setModule(module(9, 4, 0, 1));

    const QPersistentModelIndex row4(m.index(4, 0));
    const QPersistentModelIndex row5(m.index(5, 2));
    QSignalSpy moved(&m, &QAbstractItemModel::rowsMoved);
    QSignalSpy aboutToMove(&m, &QAbstractItemModel::rowsAboutToBeMoved);
    QSignalSpy layout(&m, &QAbstractItemModel::layoutChanged);
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    m.moveModule(5, 6);

    QCOMPARE(moved.count(), 0);
    QCOMPARE(aboutToMove.count(), 0);
    QCOMPARE(layout.count(), 0);
    // Persistent indexes stay on their line addresses.
    QCOMPARE(row4.row(), 4);
    QCOMPARE(row5.row(), 5);
    QCOMPARE(row4.data().toInt(), 5);
    QVERIFY(row4.sibling(4, 2).data().toString().isEmpty());
    QCOMPARE(row5.data(Qt::UserRole).toUInt(), 0x40123u);

    const LineModuleRecord to = m.moduleAt(6);
    QCOMPARE(to.lineAddress, quint16(6));
    QCOMPARE(to.deviceType, quint8(4));
    QCOMPARE(to.serialNumber, 0x40123u);
    QCOMPARE(to.stateFlags, 0u);
    const LineModuleRecord from = m.moduleAt(5);
    QCOMPARE(from.lineAddress, quint16(5));
    QCOMPARE(from.deviceType, quint8(0));
    QCOMPARE(from.stateFlags, 1u);

    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 3);
    QCOMPARE(c.at(0).top, 4);
    QCOMPARE(c.at(0).bottom, 4);
    QCOMPARE(c.at(0).left, 0);
    QCOMPARE(c.at(0).right, 2);
    QCOMPARE(c.at(0).roles, allRoles);
    QCOMPARE(c.at(1).top, 5);
    QCOMPARE(c.at(1).bottom, 5);
    QCOMPARE(c.at(1).roles, allRoles);
    QCOMPARE(c.at(2).top, 0);
    QCOMPARE(c.at(2).bottom, 499);
    QCOMPARE(c.at(2).roles, QVector<int>{256});

    // A move far down behaves the same way.
    m.moveModule(6, 300);
    QCOMPARE(m.moduleAt(300).serialNumber, 0x40123u);
    QCOMPARE(m.moduleAt(6).deviceType, quint8(0));
    QCOMPARE(moved.count(), 0);
}

void TestLineModulesModel::moveRenumbersItsKind()
{
    LineModulesModel &m = *m_model;
    m.setModule(module(3, 4, 0, 0));
    m.setModule(module(5, 3, 0, 1));
    m.setModule(module(10, 4, 0, 2));
    m.setModule(module(4, 2, 0, 0));
    m.setModule(module(8, 2, 0, 1));

    m.moveModule(3, 20);
    QMap<int, int> expected{{5, 0}, {10, 1}, {20, 2}, {4, 0}, {8, 1}};
    QCOMPARE(tableIndexes(m), expected);

    m.moveModule(8, 1);
    expected = {{5, 0}, {10, 1}, {20, 2}, {1, 0}, {4, 1}};
    QCOMPARE(tableIndexes(m), expected);
}

void TestLineModulesModel::moveRefusesOutsideContract_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");

    QTest::newRow("same address") << 5 << 5;
    QTest::newRow("target occupied") << 5 << 7;
    QTest::newRow("source empty") << 6 << 8;
    QTest::newRow("source 0") << 0 << 8;
    QTest::newRow("target 501") << 5 << 501;
}

void TestLineModulesModel::moveRefusesOutsideContract()
{
    QFETCH(int, from);
    QFETCH(int, to);

    LineModulesModel &m = *m_model;
    m.setModule(module(5, 4, 0, 0));
    m.setModule(module(7, 3, 0, 1));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);
    m.moveModule(quint16(from), quint16(to));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(m.moduleAt(5).deviceType, quint8(4));
    QCOMPARE(m.moduleAt(7).deviceType, quint8(3));
}

void TestLineModulesModel::clearByKind()
{
    LineModulesModel &m = *m_model;
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);

    m.clear(0);   // nothing there: still one change over the whole table
    QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 1);
    QCOMPARE(c.at(0).top, 0);
    QCOMPARE(c.at(0).left, 0);
    QCOMPARE(c.at(0).bottom, 499);
    QCOMPARE(c.at(0).right, 2);
    QCOMPARE(c.at(0).roles, allRoles);
    QCOMPARE(flagsAt(m, 1), 0u);

    m.setModule(module(1, 4));
    m.setModule(module(2, 3));
    m.setModule(module(3, 2));
    m.setModule(module(4, 5));
    m.setModule(module(5, 1));
    spy.clear();

    m.clear(2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(m.moduleAt(3).deviceType, quint8(0));
    QCOMPARE(m.moduleAt(3).lineAddress, quint16(3));
    QCOMPARE(flagsAt(m, 3), 1u);
    QCOMPARE(m.moduleAt(1).deviceType, quint8(4));
    QCOMPARE(m.moduleAt(4).deviceType, quint8(5));

    m.clear(1);   // sensors and every other type but 2 and 5
    QCOMPARE(m.moduleAt(1).deviceType, quint8(0));
    QCOMPARE(m.moduleAt(2).deviceType, quint8(0));
    QCOMPARE(m.moduleAt(5).deviceType, quint8(0));
    QCOMPARE(m.moduleAt(4).deviceType, quint8(5));

    m.clear(0);
    QCOMPARE(m.moduleAt(4).deviceType, quint8(0));
    QCOMPARE(flagsAt(m, 4), 1u);
    QCOMPARE(flagsAt(m, 100), 0u);   // never held a module
}

void TestLineModulesModel::tableContents()
{
    LineModulesModel &m = *m_model;
    LineModuleRecord r = module(17, 3, 5768279, 4);
    r.serialNumberText = QStringLiteral("1111.42");
    r.typeName = QStringLiteral("ВС-Л");
    m.setModule(r);

    const int row = 16;
    QCOMPARE(m.data(m.index(row, 0)), QVariant(17));
    QCOMPARE(m.data(m.index(row, 1)).toString(), QStringLiteral("ВС-Л"));
    QCOMPARE(m.data(m.index(row, 2)).toString(), QStringLiteral("1111.42"));
    QCOMPARE(m.data(m.index(row, 0), Qt::UserRole), QVariant(4u));
    QCOMPARE(m.data(m.index(row, 1), Qt::UserRole), QVariant(3u));
    QCOMPARE(m.data(m.index(row, 2), Qt::UserRole), QVariant(5768279u));
    for (int column = 0; column < 3; ++column) {
        QCOMPARE(m.data(m.index(row, column), Qt::TextAlignmentRole).toInt(), 132);
        QVERIFY(!m.data(m.index(row, column), Qt::EditRole).isValid());
        QVERIFY(!m.data(m.index(row, column), Qt::BackgroundRole).isValid());
        QVERIFY(!m.data(m.index(row, column), Qt::ForegroundRole).isValid());
    }
    QVERIFY(!m.data(m.index(row, 0), Qt::DecorationRole).isValid());
    QVERIFY(!m.data(m.index(row, 2), Qt::ToolTipRole).isValid());

    // Empty row: its address and empty texts.
    QCOMPARE(m.data(m.index(17, 0)), QVariant(18));
    QCOMPARE(m.data(m.index(17, 1)).toString(), QString());
    QCOMPARE(m.data(m.index(17, 2)).toString(), QString());
    QVERIFY(!m.data(m.index(17, 1), Qt::DecorationRole).isValid());
    QVERIFY(!m.data(m.index(17, 1), Qt::ToolTipRole).isValid());

    // Out of the table.
    QVERIFY(!m.data(m.index(500, 0)).isValid());
    QVERIFY(!m.data(m.index(0, 3)).isValid());
    QVERIFY(!m.data(QModelIndex()).isValid());
}

void TestLineModulesModel::decorationAndToolTip_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("s0");
    QTest::addColumn<int>("s1");
    QTest::addColumn<QString>("image");
    QTest::addColumn<QString>("toolTip");

    const QString noLink = QStringLiteral("<p>нет связи с модулем</p>");
    const QString differ = QStringLiteral("<p>параметры модуля не соответствуют хранимым в ЦУ-Л</p>");
    const QString excluded = QStringLiteral("<p>модуль исключен из обработки</p>");

    QTest::newRow("no link wins") << 4 << 0x01 << 0xC6 << ":/images/delete.png" << noLink;
    QTest::newRow("differ before excluded") << 4 << 0x00 << 0x46 << ":/images/warning.png" << differ;
    QTest::newRow("excluded") << 2 << 0x00 << 0x04 << ":/images/exclamation.png" << excluded;
    QTest::newRow("sensor picture") << 4 << 0x04 << 0x02 << ":/images/sensor.png" << QString();
    QTest::newRow("ir sensor picture") << 3 << 0x00 << 0x02 << ":/images/sensor_ir.png" << QString();
    QTest::newRow("io picture") << 2 << 0x00 << 0x00 << ":/images/io_module.png" << QString();
    QTest::newRow("scp picture") << 5 << 0x80 << 0x00 << ":/images/scp_module.png" << QString();
    QTest::newRow("type 1 has no picture") << 1 << 0x01 << 0x00 << QString() << QString();
}

void TestLineModulesModel::decorationAndToolTip()
{
    QFETCH(int, type);
    QFETCH(int, s0);
    QFETCH(int, s1);
    QFETCH(QString, image);
    QFETCH(QString, toolTip);

    // The images come from the pixmap cache; seed it with pictures told
    // apart by their width.
    const QStringList paths = {":/images/delete.png", ":/images/warning.png",
                               ":/images/exclamation.png", ":/images/sensor.png",
                               ":/images/sensor_ir.png", ":/images/io_module.png",
                               ":/images/scp_module.png"};
    for (int i = 0; i < paths.size(); ++i) {
        QPixmap p(i + 1, 1);
        p.fill(Qt::black);
        QPixmapCache::insert(paths.at(i), p);
    }

    LineModulesModel &m = *m_model;
    m.setModule(module(77, quint8(type)));
    m.setModuleState(77, quint8(s0), quint8(s1), 0);
    const QModelIndex cell = m.index(76, 1);
    const QVariant decoration = m.data(cell, Qt::DecorationRole);
    if (image.isEmpty()) {
        QVERIFY(!decoration.isValid());
    } else {
        QCOMPARE(decoration.userType(), int(QMetaType::QPixmap));
        QCOMPARE(decoration.value<QPixmap>().width(), paths.indexOf(image) + 1);
    }
    const QVariant tip = m.data(cell, Qt::ToolTipRole);
    QCOMPARE(tip.isValid(), !toolTip.isEmpty());
    QCOMPARE(tip.toString(), toolTip);
}

void TestLineModulesModel::headers()
{
    LineModulesModel &m = *m_model;
    QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Адрес модуля"));
    QCOMPARE(m.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Тип модуля"));
    QCOMPARE(m.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Серийный номер"));
    QVERIFY(!m.headerData(3, Qt::Horizontal).isValid());
    // Vertical and other roles come from the base class.
    QCOMPARE(m.headerData(4, Qt::Vertical), m.QAbstractTableModel::headerData(4, Qt::Vertical));
}

void TestLineModulesModel::filterAcceptance_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("hideEmpty");
    QTest::addColumn<QList<int>>("types");   // device types of the accepted occupied rows
    QTest::addColumn<int>("emptyRows");      // accepted empty rows

    const int empty = 500 - 6;
    QTest::newRow("as created") << 0 << false << QList<int>{4, 3, 2, 5, 1, 2} << empty;
    QTest::newRow("all, empty hidden") << 0 << true << QList<int>{4, 3, 2, 5, 1, 2} << 0;
    QTest::newRow("sensors, empty hidden") << 1 << true << QList<int>{4, 3} << 0;
    QTest::newRow("io with empty rows") << 2 << false << QList<int>{2, 2} << empty;
    QTest::newRow("io, empty hidden") << 2 << true << QList<int>{2, 2} << 0;
    QTest::newRow("line protection") << 3 << true << QList<int>{5} << 0;
    QTest::newRow("unknown kind") << 7 << true << QList<int>{} << 0;
}

void TestLineModulesModel::filterAcceptance()
{
    QFETCH(int, kind);
    QFETCH(bool, hideEmpty);
    QFETCH(QList<int>, types);
    QFETCH(int, emptyRows);

    LineModulesModel &m = *m_model;
    const QList<int> present = {4, 3, 2, 5, 1, 2};
    for (int i = 0; i < present.size(); ++i)
        m.setModule(module(quint16(10 * (i + 1)), quint8(present.at(i))));

    LineModulesFilterModel f;
    QAbstractItemModelTester tester(&f, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.setSourceModel(&m);
    QCOMPARE(f.rowCount(), 500);
    f.setModuleTypeFilter(kind);
    f.setHideEmptyRows(hideEmpty);

    QList<int> accepted;
    int acceptedEmpty = 0;
    for (int row = 0; row < f.rowCount(); ++row) {
        const int type = f.index(row, 1).data(Qt::UserRole).toInt();
        if (type == 0)
            ++acceptedEmpty;
        else
            accepted.append(type);
    }
    QCOMPARE(accepted, types);
    QCOMPARE(acceptedEmpty, emptyRows);

    // Follows source changes.
    m.setModule(module(495, 4));
    const int sensorRows = types.count(4) + types.count(3);
    if (kind == 1)
        QCOMPARE(f.rowCount(), sensorRows + 1);
}

void TestLineModulesModel::filterSortsSerialNumbersByValue()
{
    LineModulesModel &m = *m_model;
    // Texts sort "100.21" < "9.21" < "50.22"; values 9.21 < 100.21 < 50.22.
    LineModuleRecord a = module(1, 4, (1u << 18) | 100);
    a.serialNumberText = QStringLiteral("100.21");
    LineModuleRecord b = module(2, 4, (1u << 18) | 9);
    b.serialNumberText = QStringLiteral("9.21");
    LineModuleRecord c = module(3, 3, (2u << 18) | 50);
    c.serialNumberText = QStringLiteral("50.22");
    m.setModule(a);
    m.setModule(b);
    m.setModule(c);

    LineModulesFilterModel f;
    QAbstractItemModelTester tester(&f, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.setSourceModel(&m);
    f.setDynamicSortFilter(true);
    f.setHideEmptyRows(true);
    f.sort(2, Qt::AscendingOrder);
    QCOMPARE(f.rowCount(), 3);
    QCOMPARE(f.index(0, 2).data().toString(), QStringLiteral("9.21"));
    QCOMPARE(f.index(1, 2).data().toString(), QStringLiteral("100.21"));
    QCOMPARE(f.index(2, 2).data().toString(), QStringLiteral("50.22"));

    // Column 1 uses the default comparison of the display texts.
    f.sort(1, Qt::AscendingOrder);
    QCOMPARE(f.index(0, 1).data().toString(), QStringLiteral("тип 3"));

    // A module moved to a free address keeps its place in the sorted view.
    m.moveModule(1, 400);
    QCOMPARE(f.rowCount(), 3);
    f.sort(2, Qt::AscendingOrder);
    QCOMPARE(f.index(1, 0).data().toInt(), 400);
}

void TestLineModulesModel::versionModel()
{
    ModulesVersionModel v;
    QAbstractItemModelTester tester(&v, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(v.rowCount(), 500);
    QCOMPARE(v.columnCount(), 4);
    QCOMPARE(v.rowCount(v.index(0, 0)), 0);
    QCOMPARE(v.data(v.index(499, 0)), QVariant(500));
    QCOMPARE(v.moduleAt(500).lineAddress, quint16(500));
    QCOMPARE(v.moduleAt(501).lineAddress, quint16(0));

    LineModuleRecord r = module(8, 2, 0x80001, 3);
    r.typeName = QStringLiteral("ПС-Л");
    r.serialNumberText = QStringLiteral("1.22");
    r.firmwareVersion = 0x0105;
    r.firmwareVersionText = QStringLiteral("1.05");
    r.stateFlags = 0x300;
    QSignalSpy spy(&v, &QAbstractItemModel::dataChanged);
    v.setModule(r);
    const QVector<Change> c = changes(spy);
    QCOMPARE(c.size(), 1);
    QCOMPARE(c.at(0).top, 7);
    QCOMPARE(c.at(0).bottom, 7);
    QCOMPARE(c.at(0).left, 0);
    QCOMPARE(c.at(0).right, 3);
    QCOMPARE(c.at(0).roles, (QVector<int>{0, 256}));
    QCOMPARE(v.moduleAt(8).stateFlags, 0x300u);   // kept as given

    const QList<QVariant> display = {8, QStringLiteral("ПС-Л"), QStringLiteral("1.22"),
                                     QStringLiteral("1.05")};
    const QList<QVariant> user = {3u, 2u, 0x80001u, 0x0105u};
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(v.data(v.index(7, column)), display.at(column));
        QCOMPARE(v.data(v.index(7, column), Qt::UserRole), user.at(column));
        QCOMPARE(v.data(v.index(7, column), Qt::TextAlignmentRole).toInt(), 132);
        QVERIFY(!v.data(v.index(7, column), Qt::DecorationRole).isValid());
    }
    QVERIFY(!v.data(v.index(7, 4)).isValid());
    QCOMPARE(v.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Версия"));
    QCOMPARE(v.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Адрес модуля"));
    QVERIFY(!v.headerData(4, Qt::Horizontal).isValid());

    spy.clear();
    v.setModule(module(0, 4));
    v.setModule(module(501, 4));
    QCOMPARE(spy.count(), 0);
}

void TestLineModulesModel::versionFilter()
{
    ModulesVersionModel v;
    const quint16 versions[] = {0x0900, 0x0A00, 0x0205};
    const quint8 types[] = {4, 2, 5};
    for (int i = 0; i < 3; ++i) {
        LineModuleRecord r = module(quint16(i + 1), types[i]);
        r.firmwareVersion = versions[i];
        r.firmwareVersionText = QStringLiteral("%1.%2").arg(versions[i] >> 8).arg(versions[i] & 0xFF, 2, 10, QLatin1Char('0'));
        v.setModule(r);
    }

    ModulesVersionFilterModel f;
    QAbstractItemModelTester tester(&f, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.setSourceModel(&v);
    f.setDynamicSortFilter(true);
    QCOMPARE(f.rowCount(), 3);   // free addresses hidden from the start

    // "10.00" < "2.05" < "9.00" as texts, 2.05 < 9.00 < 10.00 as versions.
    f.sort(3, Qt::AscendingOrder);
    QCOMPARE(f.index(0, 3).data().toString(), QStringLiteral("2.05"));
    QCOMPARE(f.index(1, 3).data().toString(), QStringLiteral("9.00"));
    QCOMPARE(f.index(2, 3).data().toString(), QStringLiteral("10.00"));

    f.setModuleTypeFilter(2);
    QCOMPARE(f.rowCount(), 1);
    QCOMPARE(f.index(0, 0).data().toInt(), 2);
    f.setModuleTypeFilter(1);
    QCOMPARE(f.rowCount(), 1);
    f.setModuleTypeFilter(3);
    QCOMPARE(f.rowCount(), 1);
    QCOMPARE(f.index(0, 0).data().toInt(), 3);
    f.setModuleTypeFilter(0);
    QCOMPARE(f.rowCount(), 3);

    // A version that arrives later is sorted in.
    LineModuleRecord late = module(300, 3);
    late.firmwareVersion = 0x0100;
    late.firmwareVersionText = QStringLiteral("1.00");
    v.setModule(late);
    QCOMPARE(f.rowCount(), 4);
    QCOMPARE(f.index(0, 3).data().toString(), QStringLiteral("1.00"));
}

void TestLineModulesModel::versionFilterEmptyRows_data()
{
    QTest::addColumn<bool>("hide");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rows");

    // Modules: a sensor, an I/O module and a line-protection module.
    QTest::newRow("hidden, all kinds") << true << 0 << 3;
    QTest::newRow("hidden, I/O modules") << true << 2 << 1;
    QTest::newRow("shown, all kinds") << false << 0 << 500;
    QTest::newRow("shown, I/O modules") << false << 2 << 498;
    QTest::newRow("shown, sensors") << false << 1 << 498;
}

void TestLineModulesModel::versionFilterEmptyRows()
{
    QFETCH(bool, hide);
    QFETCH(int, kind);
    QFETCH(int, rows);

    ModulesVersionModel v;
    v.setModule(module(1, 4));
    v.setModule(module(2, 2));
    v.setModule(module(3, 5));
    ModulesVersionFilterModel f;
    QAbstractItemModelTester tester(&f, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.setSourceModel(&v);
    f.setModuleTypeFilter(kind);
    f.setHideEmptyRows(!hide);
    f.setHideEmptyRows(hide);   // re-filters at once, both ways
    QCOMPARE(f.rowCount(), rows);
}

QTEST_MAIN(TestLineModulesModel)
#include "tst_linemodulesmodel.moc"
