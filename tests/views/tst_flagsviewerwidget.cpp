// Module state grid: the colours of a cell by module type and state, the
// cell a click or a key selects, the selection frame across a resize.

#include "flagsviewerwidget.h"

#include <QImage>
#include <QSignalSpy>
#include <QtTest>

namespace {

// 30 x 20 pixel cells: the grid starts at (41, 41).
const QSize GridSize(42 + 20 * 30, 42 + 25 * 20);
constexpr int Column = 1;
constexpr int Row = 1;
constexpr int TestCell = Row * 20 + Column;   // away from the selected cell 0
const QPoint CellOrigin(41 + Column * 30, 41 + Row * 20);

QPoint cellCentre(int index)
{
    return QPoint(41 + (index % 20) * 30 + 15, 41 + (index / 20) * 20 + 10);
}

bool isBlack(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y).rgb() == QColor(Qt::black).rgb();
}

// Black pixels on the line one pixel inside the top edge of a cell, where
// the selection frame runs.
int framePixels(const QImage &image, const QRectF &cell)
{
    int count = 0;
    const int y = int(cell.top()) + 1;
    for (int x = int(cell.left()) + 2; x < int(cell.right()) - 1; ++x)
        count += isBlack(image, x, y) ? 1 : 0;
    return count;
}

} // namespace

class TestFlagsViewerWidget : public QObject
{
    Q_OBJECT

private slots:
    void cellColours_data();
    void cellColours();
    void click_data();
    void click();
    void keys_data();
    void keys();
    void selectionSurvivesResize();
};

void TestFlagsViewerWidget::cellColours_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<int>("loop1Mode");
    QTest::addColumn<int>("loop2Mode");
    QTest::addColumn<QStringList>("colours");   // left to right; none: plain white, no outline

    const QStringList none;
    QTest::newRow("free address") << 0 << 0u << 3 << 3 << QStringList{"white"};
    QTest::newRow("type 1 unknown") << 1 << 0x100u << 3 << 3 << none;
    QTest::newRow("type 7 unknown") << 7 << 0x400u << 3 << 3 << none;
    QTest::newRow("sensor, no state yet") << 4 << 0u << 3 << 3 << QStringList{"lightblue"};
    QTest::newRow("sensor, no state wins over alarm") << 4 << 0x401u << 3 << 3 << QStringList{"white"};
    QTest::newRow("sensor, no link") << 3 << 0x402u << 3 << 3 << QStringList{"yellow"};
    QTest::newRow("sensor, switched off") << 4 << 0x104u << 3 << 3 << QStringList{"gray"};
    QTest::newRow("sensor, differs before excluded") << 4 << 0x18u << 3 << 3 << QStringList{"lightgray"};
    QTest::newRow("sensor, excluded") << 4 << 0x48u << 3 << 3 << QStringList{"darkgray"};
    QTest::newRow("sensor, fault") << 3 << 0x120u << 3 << 3 << QStringList{"orange"};
    QTest::newRow("sensor, disarmed") << 3 << 0x140u << 3 << 3 << QStringList{"blue"};
    QTest::newRow("sensor, alarm") << 4 << 0x400u << 3 << 3 << QStringList{"red"};
    QTest::newRow("sensor, normal") << 4 << 0x100u << 3 << 3 << QStringList{"lightgreen"};
    QTest::newRow("protection, no state yet") << 5 << 0u << 3 << 3 << QStringList{"lightblue"};
    QTest::newRow("protection, relay closed") << 5 << 0x20000u << 3 << 3 << QStringList{"green"};
    QTest::newRow("protection, none listed") << 5 << 0x100u << 3 << 3 << QStringList{"green"};
    QTest::newRow("protection, relay open") << 5 << 0x400u << 3 << 3 << QStringList{"red"};
    QTest::newRow("protection, fault") << 5 << 0x20020u << 3 << 3 << QStringList{"orange"};
    QTest::newRow("i/o, no state yet") << 2 << 0u << 1 << 1 << QStringList{"lightblue", "lightblue", "lightblue"};
    QTest::newRow("i/o, no state") << 2 << 0x10001u << 1 << 1 << QStringList{"white", "white", "white"};
    QTest::newRow("i/o, no link") << 2 << 0x502u << 1 << 1 << QStringList{"yellow", "yellow", "yellow"};
    QTest::newRow("i/o, loop 1 off") << 2 << 0x100u << 0 << 1 << QStringList{"gray", "lightgreen", "lightgreen"};
    QTest::newRow("i/o, loop 1 off, relay on") << 2 << 0x10100u << 0 << 1 << QStringList{"gray", "red", "lightgreen"};
    QTest::newRow("i/o, normal") << 2 << 0x300u << 1 << 1 << QStringList{"lightgreen", "lightgreen", "lightgreen"};
    QTest::newRow("i/o, disarmed 1, open 2") << 2 << 0x2440u << 1 << 1 << QStringList{"blue", "lightgreen", "brown"};
    QTest::newRow("i/o, short 1, active 2") << 2 << 0x4800u << 1 << 1 << QStringList{"orange", "lightgreen", "red"};
    QTest::newRow("i/o, loop 2 off") << 2 << 0x8100u << 1 << 0 << QStringList{"lightgreen", "lightgreen", "gray"};
    QTest::newRow("i/o, disarmed 2, open 1") << 2 << 0x1080u << 2 << 1 << QStringList{"brown", "lightgreen", "blue"};
}

void TestFlagsViewerWidget::cellColours()
{
    QFETCH(int, type);
    QFETCH(uint, flags);
    QFETCH(int, loop1Mode);
    QFETCH(int, loop2Mode);
    QFETCH(QStringList, colours);

    FlagsViewerWidget grid;
    grid.resize(GridSize);
    // Cells of an unknown type have no outline: neighbours that draw none
    // leave the edges of the cell under test to itself.
    for (int i = 0; i < FlagsViewerWidget::CellCount; ++i)
        grid.setCell(i, {1, 0, 3, 3});
    grid.setCell(TestCell, {quint8(type), flags, loop1Mode, loop2Mode});
    const QImage image = grid.grab().toImage();

    const QPoint outline(CellOrigin.x(), CellOrigin.y() + 10);
    if (colours.isEmpty()) {
        QCOMPARE(image.pixelColor(outline).name(), QColor(Qt::white).name());
        QCOMPARE(image.pixelColor(CellOrigin + QPoint(15, 10)).name(), QColor(Qt::white).name());
        return;
    }
    QVERIFY(isBlack(image, outline.x(), outline.y()));
    const int stripe = 30 / colours.size();
    for (int k = 0; k < colours.size(); ++k) {
        const QPoint centre = CellOrigin + QPoint(k * stripe + stripe / 2, 10);
        QCOMPARE(image.pixelColor(centre).name(), QColor(colours.at(k)).name());
    }
}

void TestFlagsViewerWidget::click_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("selected");   // -1: nothing selected

    QTest::newRow("column label") << QPoint(206, 20) << int(Qt::LeftButton) << -1;
    QTest::newRow("row label") << QPoint(20, 71) << int(Qt::LeftButton) << -1;
    QTest::newRow("left border") << QPoint(41, 71) << int(Qt::LeftButton) << -1;
    QTest::newRow("top border") << QPoint(206, 41) << int(Qt::LeftButton) << -1;
    QTest::newRow("selected cell") << cellCentre(0) << int(Qt::LeftButton) << -1;
    QTest::newRow("right button") << cellCentre(25) << int(Qt::RightButton) << -1;
    QTest::newRow("cell 25, address 26") << cellCentre(25) << int(Qt::LeftButton) << 25;
    QTest::newRow("last cell") << cellCentre(499) << int(Qt::LeftButton) << 499;
    QTest::newRow("just inside the top left") << QPoint(42, 42) << int(Qt::LeftButton) << -1;
    QTest::newRow("second column's first pixel") << QPoint(71, 42) << int(Qt::LeftButton) << 1;
}

void TestFlagsViewerWidget::click()
{
    QFETCH(QPoint, pos);
    QFETCH(int, button);
    QFETCH(int, selected);

    FlagsViewerWidget grid;
    grid.resize(GridSize);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QSignalSpy changed(&grid, &FlagsViewerWidget::activeCellChanged);

    QTest::mouseClick(&grid, Qt::MouseButton(button), Qt::NoModifier, pos);

    if (selected < 0) {
        QCOMPARE(changed.count(), 0);
        QCOMPARE(grid.activeCell(), 0);
    } else {
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().toInt(), selected);
        QCOMPARE(grid.activeCell(), selected);
    }
}

void TestFlagsViewerWidget::keys_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("selected");   // -1: the selection stays

    QTest::newRow("right") << 0 << int(Qt::Key_Right) << 1;
    QTest::newRow("left at the first") << 0 << int(Qt::Key_Left) << -1;
    QTest::newRow("up in the first row") << 5 << int(Qt::Key_Up) << -1;
    QTest::newRow("down") << 0 << int(Qt::Key_Down) << 20;
    QTest::newRow("right at a row's end") << 19 << int(Qt::Key_Right) << 20;
    QTest::newRow("left at a row's start") << 20 << int(Qt::Key_Left) << 19;
    QTest::newRow("up") << 480 << int(Qt::Key_Up) << 460;
    QTest::newRow("down in the last row") << 485 << int(Qt::Key_Down) << -1;
    QTest::newRow("right at the last") << 499 << int(Qt::Key_Right) << -1;
    QTest::newRow("home") << 250 << int(Qt::Key_Home) << 0;
    QTest::newRow("end") << 3 << int(Qt::Key_End) << 499;
}

void TestFlagsViewerWidget::keys()
{
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, selected);

    FlagsViewerWidget grid;
    grid.resize(GridSize);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    if (start != 0)
        QTest::mouseClick(&grid, Qt::LeftButton, Qt::NoModifier, cellCentre(start));
    QCOMPARE(grid.activeCell(), start);
    QSignalSpy changed(&grid, &FlagsViewerWidget::activeCellChanged);

    QTest::keyClick(&grid, Qt::Key(key));

    QCOMPARE(grid.activeCell(), selected < 0 ? start : selected);
    QCOMPARE(changed.count(), selected < 0 ? 0 : 1);
}

void TestFlagsViewerWidget::selectionSurvivesResize()
{
    FlagsViewerWidget grid;
    grid.resize(GridSize);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QTest::mouseClick(&grid, Qt::LeftButton, Qt::NoModifier, cellCentre(25));

    grid.resize(QSize(442, 342));
    const QImage image = grid.grab().toImage();
    QCOMPARE(grid.cellRect(25), QRectF(41 + 5 * 20, 41 + 12, 20, 12));
    QVERIFY(framePixels(image, grid.cellRect(25)) > 0);
    QCOMPARE(framePixels(image, grid.cellRect(0)), 0);
}

QTEST_MAIN(TestFlagsViewerWidget)
#include "tst_flagsviewerwidget.moc"
