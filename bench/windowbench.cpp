// Main window benchmark: the first open of the largest configuration file
// (500 sensors, 100 I/O modules, 32 line-protection modules, 4 relay
// modules, 4000 interactions) as a user meets it: a fresh program, its empty
// window shown, opens the file and every page is shown once.
//
// The reference is the cheapest honest reader of the same file: a
// QXmlStreamReader puts the attribute texts into QStandardItemModels laid out
// as the pages show them, and the same tables are shown with their columns
// sized. Each side runs in a fresh process of its own, the sides alternating;
// both build their empty window before the clock starts, and the clock runs
// from the open to every page shown. The target is judged on the median of
// the runs' ratios. A reload of the same file into the same window follows
// each open, for information only. The file reader's steps alone, in a
// fresh process of a third kind, show how the main window's read divides
// between the parse and the checks.
//
// Needs a platform for widgets (netns-run.sh picks the offscreen one):
//   tests/support/netns-run.sh build-bench/bench/windowbench [runs]
// Exits with status 2 when the median ratio is over 1.3.
// One side alone, for a profiler:
//   windowbench --side window|reference|reader FILE
// The file itself: windowbench --write FILE

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVBoxLayout>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>
#include <memory>

#include "appglobals.h"
#include "configurationparser.h"
#include "configurationvalues.h"
#include "benchsupport.h"
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

// A child reports its figures one a line: "name<TAB>milliseconds".
void report(const QString &name, double ms)
{
    out() << name << '\t' << QString::number(ms, 'f', 2) << '\n';
    out().flush();
}

double msSince(const QElapsedTimer &clock)
{
    return clock.nsecsElapsed() / 1e6;
}

void settle()
{
    for (int i = 0; i < 2; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Shows page `page` of `stack`, and each tab of the tab widgets on it, and
// paints it at once, as a user clicking through them would see it.
void showPage(QStackedWidget *stack, int page, const std::function<void(QWidget *)> &shown = {})
{
    stack->setCurrentIndex(page);
    settle();
    if (shown)
        shown(stack->currentWidget());
    stack->currentWidget()->repaint();
    for (QTabWidget *tabs : stack->currentWidget()->findChildren<QTabWidget *>()) {
        for (int tab = 1; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            settle();
            if (shown)
                shown(tabs->currentWidget());
            tabs->currentWidget()->repaint();
        }
        tabs->setCurrentIndex(0);
    }
}

// Page names, in the order of the stacks of both sides (the first page is
// the empty one a fresh window shows).
const char *const PageNames[] = {"controller", "line modules", "sensors", "I/O modules",
                                 "line protection", "relay modules", "interactions"};
const int PageCount = 7;

// Shows every page in turn from the filled models and reports each step,
// the same way for both sides.
void showPagesAndReport(QStackedWidget *stack, const QElapsedTimer &clock, double readMs, double filledMs,
                        const QString &prefix, const std::function<void(QWidget *)> &shown = {})
{
    double shownMs = filledMs;
    QVector<double> pages;
    for (int page = 1; page <= PageCount; ++page) {
        showPage(stack, page, shown);
        const double now = msSince(clock);
        pages << now - shownMs;
        shownMs = now;
    }
    const double total = msSince(clock);
    report(prefix + QStringLiteral("read, parse and checks"), readMs);
    report(prefix + QStringLiteral("model fill"), filledMs - readMs);
    for (int page = 0; page < PageCount; ++page)
        report(prefix + QStringLiteral("page ") + QLatin1String(PageNames[page]), pages[page]);
    report(prefix + QStringLiteral("total"), total);
}

// ---- The main window

int runWindow(const QString &path)
{
    TaskManager manager;
    appTaskManager = &manager;
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    std::unique_ptr<MainForm> form(new MainForm);
    QObject::disconnect(form.get(), &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    form->resize(WindowSize);
    form->show();
    settle();
    auto *stack = form->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    LantrelClient *client = manager.client();

    // The file is read and checked when the client logs it as loaded; the
    // tables are filled when the client reports the whole data set.
    const auto open = [&](const QString &prefix) {
        QElapsedTimer clock;
        double readMs = -1;
        int datasets = 0;
        const auto logged = QObject::connect(client, &LantrelClient::writeToLog, [&]() {
            if (readMs < 0)
                readMs = msSince(clock);
        });
        const auto filled = QObject::connect(client, &LantrelClient::datasetChanged, [&datasets]() { ++datasets; });
        clock.start();
        if (!client->loadConfigFile(path))
            qFatal("cannot load %s", qPrintable(path));
        Bench::waitFor(client, &LantrelClient::datasetChanged, [&datasets]() { return datasets > 0; }, 60000);
        const double filledMs = msSince(clock);
        QObject::disconnect(logged);
        QObject::disconnect(filled);
        showPagesAndReport(stack, clock, readMs, filledMs, prefix);
        stack->setCurrentIndex(1);
        settle();
    };
    stack->setCurrentIndex(0);
    settle();
    open(QString());
    open(QStringLiteral("warm "));
    form.reset();
    appTaskManager = nullptr;
    return 0;
}

// ---- The reader alone

// The file reader's steps as the client's load takes them, each timed, in a
// fresh process of its own: where the read's time goes.
int runReader(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const double readMs = msSince(clock);
    clock.restart();
    QString error = ConfigFile::checkAttributeCounts(bytes);
    const double countsMs = msSince(clock);
    clock.restart();
    QDomDocument parsed;
    if (error.isEmpty())
        error = ConfigFile::parseChecked(bytes, parsed);
    const double parseMs = msSince(clock);
    clock.restart();
    if (error.isEmpty())
        error = ConfigFile::checkValues(parsed, bytes);
    const double valuesMs = msSince(clock);
    if (!error.isEmpty())
        qFatal("%s", qPrintable(error));
    report(QStringLiteral("reader: file read"), readMs);
    report(QStringLiteral("reader: parse into the document"), parseMs);
    report(QStringLiteral("reader: checks of shape and values"), countsMs + valuesMs);
    return 0;
}

// ---- The reference

// Which attribute goes into which column of a table, per entry element.
struct Layout
{
    const char *element;
    QStringList attributes;
};

QTableView *tableFor(QWidget *parent, int columns, const QStringList &header, QStandardItemModel **model)
{
    auto *view = new QTableView(parent);
    *model = new QStandardItemModel(0, columns, view);
    (*model)->setHorizontalHeaderLabels(header);
    view->setModel(*model);
    return view;
}

class Reference
{
public:
    Reference()
    {
        auto *layout = new QVBoxLayout(&window);
        stack = new QStackedWidget(&window);
        layout->addWidget(stack);
        stack->addWidget(new QWidget);

        auto *controllerPage = new QWidget;
        auto *form = new QFormLayout(controllerPage);
        for (const char *name : {"DeviceType", "SerialNo", "PCBVer", "FwVer", "FwDate", "BlockID", "LineAddr",
                                 "TSign", "MRef", "TWork", "NExc", "Ratio", "Dist", "Range", "LPF", "HPF", "DAF",
                                 "RuleJP", "CfgLoop", "IPAddr", "NetMask", "Gateway", "MAC", "LineMode"}) {
            auto *edit = new QLineEdit;
            form->addRow(QString::fromLatin1(name), edit);
            controllerFields.insert(QString::fromLatin1(name), edit);
        }
        stack->addWidget(controllerPage);

        const auto single = [this](QTableView *view) {
            auto *page = new QWidget;
            auto *layout = new QVBoxLayout(page);
            layout->addWidget(view);
            stack->addWidget(page);
        };
        single(tableFor(nullptr, 3, {"LineAddr", "DeviceType", "SerialNo"}, &lineModules));

        auto *sensorsPage = new QWidget;
        auto *tabs = new QTabWidget(sensorsPage);
        (new QVBoxLayout(sensorsPage))->addWidget(tabs);
        tabs->addTab(tableFor(nullptr, sensorColumns.size(), sensorColumns, &sensors), QStringLiteral("Sensors"));
        tabs->addTab(tableFor(nullptr, ruleColumns.size(), ruleColumns, &rules), QStringLiteral("Processing"));
        stack->addWidget(sensorsPage);

        single(tableFor(nullptr, ioColumns.size(), ioColumns, &ioModules));
        single(tableFor(nullptr, scpColumns.size(), scpColumns, &scpModules));

        auto *relayPage = new QWidget;
        auto *relayLayout = new QVBoxLayout(relayPage);
        QStringList relayHeader = relayColumns;
        for (int relay = 1; relay <= 32; ++relay)
            relayHeader << QString::number(relay);
        relayLayout->addWidget(tableFor(nullptr, relayHeader.size(), relayHeader, &relayModules));
        relayLayout->addWidget(tableFor(nullptr, 3, {"№", "RelayNum", "TSign"}, &relays));
        stack->addWidget(relayPage);

        single(tableFor(nullptr, 8, {"№", "DeviceType", "Addr", "Loop", "DestType", "DestRef", "Relay", "DestFunc"},
                        &interactions));

        window.resize(WindowSize);
        window.show();
        settle();
    }

    // Reads the file into rows of texts per table, and reports the time.
    void parse(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(path));
        const QByteArray bytes = file.readAll();
        QXmlStreamReader xml(bytes);
        rows.clear();
        controller.clear();
        QString section;
        int relayModule = -1;
        const auto texts = [&xml](const QStringList &names) {
            const QXmlStreamAttributes attributes = xml.attributes();
            QStringList row;
            for (const QString &name : names)
                row << attributes.value(name).toString();
            return row;
        };
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QStringRef name = xml.name();
            if (name == QLatin1String("Controller")) {
                for (const QXmlStreamAttribute &a : xml.attributes())
                    controller.insert(a.name().toString(), a.value().toString());
            } else if (name == QLatin1String("Sensor")) {
                QStringList row = texts(sensorColumns);
                rows[&lineModules].append({row[0], row[1], row[2]});
                rows[&sensors].append(row);
            } else if (name == QLatin1String("IOModule")) {
                QStringList row = texts(ioColumns);
                rows[&lineModules].append({row[0], row[1], row[2]});
                rows[&ioModules].append(row);
            } else if (name == QLatin1String("SCPModule")) {
                QStringList row = texts(scpColumns);
                rows[&lineModules].append({row[0], row[1], row[2]});
                rows[&scpModules].append(row);
            } else if (name == QLatin1String("Rule")) {
                rows[&rules].append(texts(ruleColumns));
            } else if (name == QLatin1String("RelayModule")) {
                ++relayModule;
                rows[&relayModules].append(texts(relayColumns));
            } else if (name == QLatin1String("Relay")) {
                const QStringList relay = texts({QStringLiteral("RelayNum"), QStringLiteral("TSign")});
                rows[&relayModules].last().append(relay[1]);
                if (relayModule == 0)
                    rows[&relays].append({QString::number(rows[&relays].size() + 1), relay[0], relay[1]});
            } else if (name == QLatin1String("Interaction")) {
                const QStringList row = texts({QStringLiteral("Addr"), QStringLiteral("DeviceType"),
                                               QStringLiteral("DestRef"), QStringLiteral("DestFunc")});
                rows[&interactions].append({row[0], row[1], row[2], QString(), row[1], row[2], QString(), row[3]});
            }
        }
        if (xml.hasError())
            qFatal("%s", qPrintable(xml.errorString()));
        // The line modules table has a row for every line address.
        QVector<QStringList> byAddress(500);
        for (const QStringList &row : qAsConst(rows[&lineModules])) {
            const int address = row[0].toInt();
            if (address >= 1 && address <= 500)
                byAddress[address - 1] = row;
        }
        rows[&lineModules] = byAddress;
    }

    void fill()
    {
        for (auto it = controllerFields.cbegin(); it != controllerFields.cend(); ++it)
            it.value()->setText(controller.value(it.key()));
        // Each table gets a new model, filled before any view looks at it.
        for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
            QStandardItemModel *&model = *it.key();
            auto *filled = new QStandardItemModel(it.value().size(), model->columnCount(), model->parent());
            for (int c = 0; c < model->columnCount(); ++c)
                filled->setHorizontalHeaderItem(c, model->horizontalHeaderItem(c)->clone());
            for (int r = 0; r < it.value().size(); ++r) {
                const QStringList &row = it.value()[r];
                for (int c = 0; c < row.size() && c < filled->columnCount(); ++c)
                    filled->setItem(r, c, new QStandardItem(row[c]));
            }
            static_cast<QTableView *>(model->parent())->setModel(filled);
            delete model;
            model = filled;
        }
    }

    QStackedWidget *stack = nullptr;

private:
    const QStringList sensorColumns = {"LineAddr", "DeviceType", "SerialNo", "Range", "LPF", "HPF",
                                       "DAF", "ThrIR", "NExcIR", "RuleJP", "RuleJP", "RefCount"};
    const QStringList ruleColumns = {"Addr", "MRef", "NExc", "SensLeft", "SensRight", "Ratio"};
    const QStringList ioColumns = {"LineAddr", "DeviceType", "SerialNo", "CfgIO", "CfgIO",
                                   "CfgIO", "TSign", "RefCountL1", "RefCountL2"};
    const QStringList scpColumns = {"LineAddr", "DeviceType", "SerialNo", "ThrMin", "ThrOff", "ThrOn"};
    const QStringList relayColumns = {"Addr", "IPAddr", "LineAddr", "ExpMod"};

    QWidget window;
    QMap<QString, QLineEdit *> controllerFields;
    QStandardItemModel *lineModules = nullptr;
    QStandardItemModel *sensors = nullptr;
    QStandardItemModel *rules = nullptr;
    QStandardItemModel *ioModules = nullptr;
    QStandardItemModel *scpModules = nullptr;
    QStandardItemModel *relayModules = nullptr;
    QStandardItemModel *relays = nullptr;
    QStandardItemModel *interactions = nullptr;
    QMap<QStandardItemModel **, QVector<QStringList>> rows;
    QMap<QString, QString> controller;
};

int runReference(const QString &path)
{
    Reference reference;
    QStackedWidget *stack = reference.stack;
    const auto sizeColumns = [](QWidget *page) {
        for (QTableView *view : page->findChildren<QTableView *>()) {
            if (view->isVisible())
                view->resizeColumnsToContents();
        }
    };
    const auto open = [&](const QString &prefix) {
        QElapsedTimer clock;
        clock.start();
        reference.parse(path);
        const double parsedMs = msSince(clock);
        reference.fill();
        const double filledMs = msSince(clock);
        showPagesAndReport(stack, clock, parsedMs, filledMs, prefix, sizeColumns);
        stack->setCurrentIndex(1);
        settle();
    };
    stack->setCurrentIndex(0);
    settle();
    open(QString());
    open(QStringLiteral("warm "));
    return 0;
}

// ---- The driver

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

using Figures = QMap<QString, double>;

bool runSide(const QString &side, const QString &path, Figures &figures, QStringList &order)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--side"), side, path});
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        out() << side << " side failed: " << child.readAllStandardError() << '\n';
        return false;
    }
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() != 2)
            continue;
        const QString name = QString::fromUtf8(parts[0]);
        if (!order.contains(name))
            order << name;
        figures.insert(name, parts[1].toDouble());
    }
    return figures.contains(QStringLiteral("total"));
}

bool writeFile(const QString &path)
{
    LantrelClient source;
    LargestConfiguration::fill(source);
    return source.saveConfigFile(path);
}

int runAll(int runs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("largest.xml"));
    if (!writeFile(path)) {
        out() << "cannot write " << path << '\n';
        return 1;
    }
    out() << QStringLiteral("The largest configuration file (%1 KB) opened in a fresh program, window %2 x %3,\n"
                            "every page shown once; %4 runs a side, each in its own process, alternating.\n"
                            "The reference: QXmlStreamReader, the attribute texts in QStandardItemModels,\n"
                            "the same tables shown with their columns sized.\n")
                 .arg(QFile(path).size() / 1024).arg(WindowSize.width()).arg(WindowSize.height()).arg(runs);
    QVector<Figures> windows;
    QVector<Figures> references;
    QStringList order;
    QVector<double> ratios;
    for (int run = 0; run < runs; ++run) {
        Figures window;
        Figures reference;
        // Alternate which side goes first, so neither always meets a cooler machine.
        const bool windowFirst = run % 2 == 0;
        if (!runSide(windowFirst ? QStringLiteral("window") : QStringLiteral("reference"), path,
                     windowFirst ? window : reference, order)
            || !runSide(windowFirst ? QStringLiteral("reference") : QStringLiteral("window"), path,
                        windowFirst ? reference : window, order)
            || !runSide(QStringLiteral("reader"), path, window, order))
            return 1;
        windows << window;
        references << reference;
        ratios << window.value(QStringLiteral("total")) / reference.value(QStringLiteral("total"));
        out() << QStringLiteral("run %1: main window %2 ms, reference %3 ms, %4 x (warm reload %5 ms vs %6 ms)\n")
                     .arg(run + 1, 2)
                     .arg(window.value(QStringLiteral("total")), 6, 'f', 1)
                     .arg(reference.value(QStringLiteral("total")), 6, 'f', 1)
                     .arg(ratios.last(), 0, 'f', 2)
                     .arg(window.value(QStringLiteral("warm total")), 0, 'f', 1)
                     .arg(reference.value(QStringLiteral("warm total")), 0, 'f', 1);
        out().flush();
    }
    out() << QStringLiteral("\nmedians over the runs, ms              main window   reference\n");
    // The reader's own figures go under the main window's read.
    QStringList rows;
    QStringList reader;
    for (const QString &name : qAsConst(order)) {
        if (name.startsWith(QLatin1String("reader: ")))
            reader << name;
        else if (!name.startsWith(QLatin1String("warm ")) || name == QLatin1String("warm total"))
            rows << name;
    }
    for (int k = 0; k < reader.size(); ++k)
        rows.insert(rows.indexOf(QStringLiteral("read, parse and checks")) + 1 + k, reader[k]);
    for (const QString &name : qAsConst(rows)) {
        QVector<double> w;
        QVector<double> r;
        for (int run = 0; run < runs; ++run) {
            w << windows[run].value(name);
            r << references[run].value(name);
        }
        QString label = name;
        if (name == QLatin1String("warm total"))
            label = QStringLiteral("warm reload, for information");
        else if (name == QLatin1String("total"))
            label = QStringLiteral("first open, total");
        else if (name.startsWith(QLatin1String("reader: ")))
            label = QStringLiteral("  alone, ") + name.mid(8);
        const QString reference = references.first().contains(name) ? QString::number(median(r), 'f', 1)
                                                                    : QStringLiteral("-");
        out() << QStringLiteral("  %1 %2 %3\n").arg(label, -36).arg(median(w), 8, 'f', 1).arg(reference, 11);
    }
    const double result = median(ratios);
    const bool met = result <= TargetRatio;
    out() << QStringLiteral("median ratio of %1 runs: %2 x the reference (target %3 x): %4\n")
                 .arg(runs).arg(result, 0, 'f', 2).arg(TargetRatio, 0, 'f', 1)
                 .arg(met ? QStringLiteral("met") : QStringLiteral("NOT met"));
    out().flush();
    return met ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--side")) {
        if (args[2] == QLatin1String("window"))
            return runWindow(args[3]);
        if (args[2] == QLatin1String("reference"))
            return runReference(args[3]);
        if (args[2] == QLatin1String("reader"))
            return runReader(args[3]);
    }
    if (args.size() == 3 && args[1] == QLatin1String("--write"))
        return writeFile(args[2]) ? 0 : 1;
    const int runs = args.size() > 1 ? qMax(1, args[1].toInt()) : 11;
    return runAll(runs);
}
