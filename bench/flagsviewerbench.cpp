// Module grid benchmark: the state window open over the client's line
// modules model, and a monitoring pass that changes the state of all 432
// modules (300 sensors, 100 I/O modules, 32 line-protection modules) in the
// model, as the client does, then one paint of the grid; side by side, in
// alternate rounds, with the least any grid must do for the same picture:
// one painter filling the same outlined rectangles on a pixmap of the
// grid's size, plus the copy of an unchanged grid to the screen. Also the
// paint after a single changed module, the common case.
//
// Needs a platform for widgets (netns-run.sh picks the offscreen one):
//   tests/support/netns-run.sh build-bench/bench/flagsviewerbench [rounds]
// At least 200 rounds. Exits with status 2 when a full pass costs more
// than twice the baseline.

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

#include "appcontext.h"
#include "appglobals.h"
#include "flagsviewerwidget.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "stateviewerform.h"

namespace {

constexpr double TargetRatio = 2.0;
constexpr int MinRounds = 200;
constexpr int Sensors = 300;
constexpr int IoModules = 100;
constexpr int ScpModules = 32;

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

// Device type of the module at cell `index` (line address index + 1).
int typeOf(int index)
{
    if (index < Sensors)
        return 4;
    if (index < Sensors + IoModules)
        return 2;
    if (index < Sensors + IoModules + ScpModules)
        return 5;
    return 0;
}

void addModules(LineModulesModel *model)
{
    for (int i = 0; i < FlagsViewerWidget::CellCount; ++i) {
        if (typeOf(i) == 0)
            continue;
        LineModuleRecord r;
        r.lineAddress = quint16(i + 1);
        r.deviceType = quint8(typeOf(i));
        r.serialNumber = quint32(1000 + i);
        r.loop1Mode = 1;
        r.loop2Mode = 1;
        model->setModule(r);
    }
}

// One monitoring pass: `pass` flips every module's state bytes.
void setStates(LineModulesModel *model, int first, int last, int pass)
{
    const bool odd = pass % 2 != 0;
    for (int i = first; i <= last; ++i) {
        if (typeOf(i) != 0)
            model->setModuleState(quint16(i + 1), odd ? 0x02 : 0x00, odd ? 0x00 : 0x02, odd ? 0x01 : 0x00);
    }
}

// The same rectangles the grid draws for a pass, drawn straight.
void drawBaseline(QPixmap &pixmap, int pass)
{
    static const QColor colours[] = {QColor("lightgreen"), QColor("red"), QColor("blue"), QColor("green")};
    const double w = (pixmap.width() - 42) / 20.0;
    const double h = (pixmap.height() - 42) / 25.0;
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 0, Qt::SolidLine));
    for (int i = 0; i < FlagsViewerWidget::CellCount; ++i) {
        const QRectF cell(41 + (i % 20) * w, 41 + (i / 20) * h, w, h);
        painter.fillRect(cell, Qt::white);
        const int stripes = typeOf(i) == 2 ? 3 : 1;
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
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    const int rounds = qMax(MinRounds, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : MinRounds);

    // The state window keeps its geometry in the settings.
    QTemporaryDir dir;
    appDataPath = dir.path();
    appSettings = new QSettings(dir.filePath(QStringLiteral("lantrelprog.ini")), QSettings::IniFormat);
    bool met = false;
    {
        LantrelClient client;
        setAppClient(&client);
        LineModulesModel *model = client.lineModulesModel();
        addModules(model);

        StateViewerForm window(nullptr, Qt::Window);
        window.show();
        QApplication::processEvents();
        auto *grid = window.findChild<FlagsViewerWidget *>(QStringLiteral("wgtFlagsViewer"));
        const QSize size = grid->size();

        QPixmap pixmap(size);
        pixmap.fill(Qt::white);
        // Warm-up: the first paints set up the backing store and caches.
        for (int pass = 0; pass < 4; ++pass) {
            drawBaseline(pixmap, pass);
            setStates(model, 0, FlagsViewerWidget::CellCount - 1, pass);
            grid->repaint();
        }

        // Alternate rounds, so that both see the same machine.
        QElapsedTimer clock;
        qint64 baselineNs = 0;
        qint64 fullPassNs = 0;
        qint64 oneModuleNs = 0;
        for (int r = 0; r < rounds; ++r) {
            clock.start();
            drawBaseline(pixmap, r);
            grid->repaint();
            baselineNs += clock.nsecsElapsed();

            clock.start();
            setStates(model, 0, FlagsViewerWidget::CellCount - 1, r + 1);
            grid->repaint();
            fullPassNs += clock.nsecsElapsed();
        }
        for (int r = 0; r < rounds; ++r) {
            clock.start();
            setStates(model, r % Sensors, r % Sensors, r);
            grid->repaint();
            oneModuleNs += clock.nsecsElapsed();
        }

        const double baseline = baselineNs / 1e6 / rounds;
        const double fullPass = fullPassNs / 1e6 / rounds;
        const double oneModule = oneModuleNs / 1e6 / rounds;
        const double ratio = fullPass / baseline;
        met = ratio <= TargetRatio;
        out() << "Module grid " << size.width() << " x " << size.height() << " in the state window, " << rounds
              << " rounds\n";
        out() << QString("  baseline (500 cells drawn straight + one paint)     : %1 ms\n").arg(baseline, 0, 'f', 3);
        out() << QString("  432 module states changed in the model, one paint : %1 ms (%2 x baseline)\n")
                     .arg(fullPass, 0, 'f', 3).arg(ratio, 0, 'f', 2);
        out() << QString("  one module state changed, one paint               : %1 ms\n").arg(oneModule, 0, 'f', 3);
        out() << QString("  target %1 x baseline: %2\n").arg(TargetRatio, 0, 'f', 1).arg(met ? "met" : "NOT met");
        out().flush();
        setAppClient(nullptr);
    }
    delete appSettings;
    appSettings = nullptr;
    return met ? 0 : 2;
}
