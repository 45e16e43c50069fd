// Main window benchmark: opening the largest configuration file (500
// sensors, 100 I/O modules, 32 line-protection modules, 4 relay modules,
// 4000 interactions) in the main window with all its pages and showing every
// page and tab, side by side in the same process with the least any window
// must do for the same picture: the same texts put into plain QTableViews
// over QStandardItemModels, shown the same way. Also the cost of sizing the
// interactions table's columns for their widest values.
//
// Needs a platform for widgets (netns-run.sh picks the offscreen one) and a
// fresh process: the first round is the one a user meets.
//   tests/support/netns-run.sh build-bench/bench/windowbench [rounds]
// Exits with status 2 when the median round costs more than 1.3 times the
// reference.

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <memory>

#include "appglobals.h"
#include "benchsupport.h"
#include "columnfitter.h"
#include "largestconfiguration.h"
#include "lantrelclient.h"
#include "mainform.h"
#include "taskmanager.h"

namespace {

constexpr double TargetRatio = 1.3;
const QSize WindowSize(1600, 1000);

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

using Table = QVector<QStringList>;   // rows of display texts, header first

void settle()
{
    for (int i = 0; i < 2; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Shows each page of `stack`, and each tab of the tab widgets on it, and
// paints it at once, as a user clicking through them would see it.
void showEveryPage(QStackedWidget *stack, const std::function<void(QWidget *)> &shown = {})
{
    for (int page = 0; page < stack->count(); ++page) {
        stack->setCurrentIndex(page);
        if (shown)
            shown(stack->currentWidget());
        settle();
        stack->currentWidget()->repaint();
        for (QTabWidget *tabs : stack->currentWidget()->findChildren<QTabWidget *>()) {
            for (int tab = 1; tab < tabs->count(); ++tab) {
                tabs->setCurrentIndex(tab);
                settle();
                tabs->currentWidget()->repaint();
            }
            tabs->setCurrentIndex(0);
        }
    }
    stack->setCurrentIndex(0);
    settle();
}

// Every table of the window's pages as its texts.
QVector<Table> tablesOf(QWidget *window)
{
    QVector<Table> tables;
    for (QTableView *view : window->findChildren<QTableView *>()) {
        const QAbstractItemModel *model = view->model();
        if (!model || model->rowCount() == 0)
            continue;
        Table table;
        QStringList header;
        for (int c = 0; c < model->columnCount(); ++c)
            header << model->headerData(c, Qt::Horizontal).toString();
        table << header;
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < model->columnCount(); ++c)
                row << model->index(r, c).data().toString();
            table << row;
        }
        tables << table;
    }
    return tables;
}

// The reference: one plain table per page, filled with the texts and shown,
// its columns sized to their contents by Qt's own means once shown.
double referenceMs(const QVector<Table> &tables)
{
    QElapsedTimer clock;
    clock.start();
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *stack = new QStackedWidget(&window);
    layout->addWidget(stack);
    for (const Table &table : tables) {
        auto *model = new QStandardItemModel(table.size() - 1, table.first().size(), stack);
        model->setHorizontalHeaderLabels(table.first());
        for (int r = 1; r < table.size(); ++r) {
            for (int c = 0; c < table[r].size(); ++c)
                model->setItem(r - 1, c, new QStandardItem(table[r][c]));
        }
        auto *view = new QTableView(stack);
        view->setModel(model);
        stack->addWidget(view);
    }
    window.resize(WindowSize);
    window.show();
    settle();
    showEveryPage(stack, [](QWidget *page) { static_cast<QTableView *>(page)->resizeColumnsToContents(); });
    return clock.nsecsElapsed() / 1e6;
}

struct WindowRound
{
    double loadAndShowMs = 0;
    double fitMs = 0;
};

// Loads the file into the shown main window and shows every page; then
// times one column fit of the interactions table.
WindowRound windowRound(MainForm *form, LantrelClient *client, const QString &path)
{
    auto *stack = form->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    stack->setCurrentIndex(1);
    settle();
    WindowRound round;
    QElapsedTimer clock;
    clock.start();
    int datasets = 0;
    const auto connection = QObject::connect(client, &LantrelClient::datasetChanged, [&datasets]() { ++datasets; });
    client->loadConfigFile(path);
    Bench::waitFor(client, &LantrelClient::datasetChanged, [&datasets]() { return datasets > 0; }, 60000);
    QObject::disconnect(connection);
    showEveryPage(stack);
    round.loadAndShowMs = clock.nsecsElapsed() / 1e6;

    auto *interactions = stack->findChild<QWidget *>(QStringLiteral("pageInteractions"));
    stack->setCurrentWidget(interactions);
    settle();
    auto *table = interactions->findChild<QTableView *>();
    auto *fitter = table->findChild<ColumnFitter *>();
    clock.restart();
    fitter->fit();
    round.fitMs = clock.nsecsElapsed() / 1e6;
    stack->setCurrentIndex(1);
    settle();
    return round;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("largest.xml"));
    {
        LantrelClient source;
        LargestConfiguration::fill(source);
        if (!source.saveConfigFile(path)) {
            out() << "cannot write " << path << "\n";
            return 1;
        }
    }

    TaskManager manager;
    appTaskManager = &manager;
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    std::unique_ptr<MainForm> form(new MainForm);
    QObject::disconnect(form.get(), &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    form->resize(WindowSize);
    form->show();
    settle();

    out() << QStringLiteral("Main window %1 x %2, the largest configuration file: load it and show every page\n")
                 .arg(WindowSize.width()).arg(WindowSize.height());
    QVector<double> ratios;
    QVector<Table> tables;
    for (int r = 0; r < rounds; ++r) {
        const WindowRound window = windowRound(form.get(), manager.client(), path);
        if (tables.isEmpty())
            tables = tablesOf(form.get());
        const double reference = referenceMs(tables);
        const double ratio = window.loadAndShowMs / reference;
        ratios << ratio;
        out() << QStringLiteral("round %1\n").arg(r + 1)
              << QStringLiteral("  plain tables, same texts, shown the same way: %1 ms\n").arg(reference, 0, 'f', 1)
              << QStringLiteral("  main window, file loaded, every page shown   : %1 ms (%2 x the plain tables)\n")
                     .arg(window.loadAndShowMs, 0, 'f', 1).arg(ratio, 0, 'f', 2)
              << QStringLiteral("  interactions columns fitted over 4000 rows   : %1 ms (%2 % of the window's round)\n")
                     .arg(window.fitMs, 0, 'f', 1).arg(100 * window.fitMs / window.loadAndShowMs, 0, 'f', 1);
        out().flush();
    }
    const double result = median(ratios);
    const bool met = result <= TargetRatio;
    out() << QStringLiteral("median of %1 rounds: %2 x the plain tables (target %3 x): %4\n")
                 .arg(rounds).arg(result, 0, 'f', 2).arg(TargetRatio, 0, 'f', 1)
                 .arg(met ? QStringLiteral("met") : QStringLiteral("NOT met"));
    out().flush();
    form.reset();
    appTaskManager = nullptr;
    return met ? 0 : 2;
}
