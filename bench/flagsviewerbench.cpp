// Module grid benchmark: the paint after a monitoring pass that changed all
// 500 cells, side by side with the least any grid must do for the same
// picture: one painter filling the same outlined rectangles on a pixmap of
// the same size, plus the copy of an unchanged grid to the screen. Also the
// paint after a single changed cell, the common case.
//
// Needs a platform for widgets (netns-run.sh picks the offscreen one):
//   tests/support/netns-run.sh build-bench/bench/flagsviewerbench [rounds]
// Exits with status 2 when a full pass costs more than twice the baseline.

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QTextStream>

#include <functional>

#include "flagsviewerwidget.h"

namespace {

constexpr double TargetRatio = 2.0;
const QSize GridSize(500, 440);   // the grid in the state window at its default size

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

// An installation as the monitoring reports it: 300 sensors, 100 I/O
// modules, 32 line-protection modules, the rest free; `pass` flips the
// states so that every cell changes from one pass to the next.
FlagsCell cellOf(int index, int pass)
{
    const bool odd = pass % 2 != 0;
    if (index < 300)
        return {4, odd ? 0x400u : 0x100u, 3, 3};
    if (index < 400)
        return {2, odd ? 0x10940u : 0x300u, 1, 1};
    if (index < 432)
        return {5, odd ? 0x400u : 0x20000u, 3, 3};
    return {0, odd ? 0x1u : 0u, 3, 3};
}

int stripesOf(const FlagsCell &cell)
{
    return cell.deviceType == 2 ? 3 : 1;
}

// Mean milliseconds of `rounds` calls.
double meanMs(int rounds, const std::function<void(int)> &round)
{
    QElapsedTimer clock;
    clock.start();
    for (int r = 0; r < rounds; ++r)
        round(r);
    return clock.nsecsElapsed() / 1e6 / rounds;
}

// The same rectangles the grid draws for a pass, drawn straight.
void drawBaseline(QPixmap &pixmap, int pass)
{
    static const QColor colours[] = {QColor("lightgreen"), QColor("red"), QColor("blue"), QColor("green")};
    const double w = (GridSize.width() - 42) / 20.0;
    const double h = (GridSize.height() - 42) / 25.0;
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 0, Qt::SolidLine));
    for (int i = 0; i < FlagsViewerWidget::CellCount; ++i) {
        const QRectF cell(41 + (i % 20) * w, 41 + (i / 20) * h, w, h);
        painter.fillRect(cell, Qt::white);
        const int stripes = stripesOf(cellOf(i, pass));
        for (int k = 0; k < stripes; ++k) {
            painter.setBrush(colours[(i + k + pass) % 4]);
            painter.drawRect(QRectF(cell.left() + k * w / stripes, cell.top(), w / stripes, h));
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 200;

    FlagsViewerWidget grid;
    grid.resize(GridSize);
    grid.show();
    QApplication::processEvents();

    QPixmap pixmap(GridSize);
    pixmap.fill(Qt::white);
    // Warm-up: the first paints set up the backing store and caches.
    for (int pass = 0; pass < 4; ++pass) {
        drawBaseline(pixmap, pass);
        for (int i = 0; i < FlagsViewerWidget::CellCount; ++i)
            grid.setCell(i, cellOf(i, pass));
        grid.repaint();
    }

    const double baseline = meanMs(rounds, [&](int pass) {
        drawBaseline(pixmap, pass);
        grid.repaint();
    });
    const double fullPass = meanMs(rounds, [&](int pass) {
        for (int i = 0; i < FlagsViewerWidget::CellCount; ++i)
            grid.setCell(i, cellOf(i, pass + 1));
        grid.repaint();
    });
    const double oneCell = meanMs(rounds, [&](int pass) {
        grid.setCell(pass % 300, cellOf(pass % 300, pass + 1));
        grid.repaint();
    });

    const double ratio = fullPass / baseline;
    out() << "Module grid " << GridSize.width() << " x " << GridSize.height() << ", " << rounds << " rounds\n";
    out() << QString("  baseline (500 cells drawn straight + one paint): %1 ms\n").arg(baseline, 0, 'f', 3);
    out() << QString("  grid, all 500 cells changed, one paint         : %1 ms (%2 x baseline)\n")
                 .arg(fullPass, 0, 'f', 3).arg(ratio, 0, 'f', 2);
    out() << QString("  grid, one cell changed, one paint              : %1 ms\n").arg(oneCell, 0, 'f', 3);
    out() << QString("  target %1 x baseline: %2\n").arg(TargetRatio, 0, 'f', 1)
                 .arg(ratio <= TargetRatio ? "met" : "NOT met");
    out().flush();
    return ratio <= TargetRatio ? 0 : 2;
}
