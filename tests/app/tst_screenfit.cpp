// A laptop screen of 1024 x 600 under a window manager: the main window
// maximized with every page, tab and mode, the state window, the firmware
// window and the module-data window hold the largest configuration with every
// fault listed, and every control stays reachable (inside the window, or
// inside a scroll area that can scroll to it) and whole. In the desktop's
// font the controller page needs no sideways scroll, held values' marks
// included, and the addressing mode shows all its controls without a scroll.
// Message boxes show their whole title.

#include "appglobals.h"
#include "clienttestsupport.h"
#include "controllerconfigmodel.h"
#include "devicetables.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "firmwareupdateform.h"
#include "largestconfiguration.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "mainform.h"
#include "progressdialogs.h"
#include "samplesviewerform.h"
#include "stateviewerform.h"
#include "taskmanager.h"
#include "uiseams.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QScopeGuard>
#include <QSpinBox>
#include <QtTest>

#include <functional>

#include <memory>

using namespace LantrelProtocol;

namespace {

const QSize Screen(1024, 600);
// The title bar of the installer's window manager (openbox at its default
// theme); a maximized window gets the rest of the screen.
const int TitleBarHeight = 19;
const QSize Maximized(1024, 600 - TitleBarHeight);
// Beside its title the bar shows the window's icon and three buttons.
const int TitleBarButtons = 4 * TitleBarHeight + 16;

// The width a window needs for its whole title in a window manager's bar,
// which draws it in bold.
int titleBarWidth(const QWidget *window)
{
    QFont bold = window->font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(window->windowTitle()) + TitleBarButtons;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Widgets a user reads or works with; the parts of a composite widget
// (the line edit of a spin box, the viewport of a table) count as the whole.
bool isControl(QWidget *w, QWidget *top)
{
    if (!(qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractSpinBox *>(w)
          || qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractItemView *>(w) || qobject_cast<QTabBar *>(w)
          || (qobject_cast<QLabel *>(w) && !static_cast<QLabel *>(w)->text().isEmpty())))
        return false;
    for (QWidget *p = w->parentWidget(); p && p != top; p = p->parentWidget()) {
        if (qobject_cast<QAbstractSpinBox *>(p) || qobject_cast<QComboBox *>(p) || qobject_cast<QTabBar *>(p)
            || (qobject_cast<QAbstractScrollArea *>(p) && !qobject_cast<QScrollArea *>(p)))
            return false;
    }
    return true;
}

// Empty when `w` can be seen whole inside `top`, scrolling where a scroll
// area allows it; else why not.
QString unreachable(QWidget *w, QWidget *top)
{
    const QString name = QStringLiteral("%1 \"%2\"").arg(QLatin1String(w->metaObject()->className()),
                                                          w->objectName());
    QRect r = w->rect();
    QWidget *child = w;
    for (QWidget *p = w->parentWidget(); p; child = p, p = p->parentWidget()) {
        r.translate(child->pos());
        auto *area = qobject_cast<QScrollArea *>(p->parentWidget());
        if (area && p == area->viewport()) {
            // The content scrolls: what lies in it can be brought into view
            // when the scroll bars may show.
            const QWidget *content = area->widget();
            if ((content->width() > p->width() && area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
                || (content->height() > p->height() && area->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff))
                return name + QStringLiteral(": in scroll area \"%1\" that cannot scroll").arg(area->objectName());
            r = p->rect();
        } else if (!p->rect().contains(r)) {
            return name + QStringLiteral(": %1,%2 %3x%4 outside \"%5\" %6x%7")
                              .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                              .arg(p->objectName()).arg(p->width()).arg(p->height());
        }
        if (p == top)
            break;
    }
    // Squeezed below what it needs shows a cut text.
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->wordWrap() ? w->height() < label->heightForWidth(w->width())
                              : w->width() < label->minimumSizeHint().width())
            return name + QStringLiteral(": cut, %1x%2").arg(w->width()).arg(w->height());
    } else if (!qobject_cast<QAbstractItemView *>(w) && !qobject_cast<QTabBar *>(w)
               && (w->width() < w->minimumSizeHint().width() || w->height() < w->minimumSizeHint().height())) {
        return name + QStringLiteral(": squeezed to %1x%2, needs %3x%4")
                          .arg(w->width()).arg(w->height())
                          .arg(w->minimumSizeHint().width()).arg(w->minimumSizeHint().height());
    }
    return QString();
}

// Runs `check` on `top` as shown, then with each tab of its tab widgets.
void forEachTab(QWidget *top, QWidget *window, const std::function<void()> &check)
{
    settle();
    check();
    for (QTabWidget *tabs : top->findChildren<QTabWidget *>()) {
        if (!tabs->isVisibleTo(window))
            continue;
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setTabEnabled(i, true);
            tabs->setCurrentIndex(i);
            settle();
            check();
        }
        tabs->setCurrentIndex(0);
    }
}

QStringList unreachableControls(QWidget *top, QWidget *window)
{
    QStringList faults;
    forEachTab(top, window, [&] {
        for (QWidget *w : top->findChildren<QWidget *>()) {
            if (w->isVisibleTo(window) && isControl(w, window)) {
                const QString why = unreachable(w, window);
                if (!why.isEmpty() && !faults.contains(why))
                    faults << why;
            }
        }
    });
    return faults;
}

// Cells of the shown tables that are narrower than their value, over every
// row, not only the rows on screen.
QStringList cutCells(QWidget *top, QWidget *window)
{
    QStringList faults;
    forEachTab(top, window, [&] {
        for (QTableView *table : top->findChildren<QTableView *>()) {
            if (!table->isVisible())
                continue;
            const QAbstractItemModel *model = table->model();
            const QHeaderView *header = table->horizontalHeader();
            const int grid = table->showGrid() ? 1 : 0;
            for (int column = 0; column < model->columnCount(); ++column) {
                if (header->isSectionHidden(column))
                    continue;
                for (int row = 0; row < model->rowCount(); ++row) {
                    const QModelIndex index = model->index(row, column);
                    const int needed = table->sizeHintForIndex(index).width() + grid;
                    if (header->sectionSize(column) < needed) {
                        faults << QStringLiteral("%1: row %2 column %3 \"%4\" needs %5, has %6")
                                      .arg(table->objectName()).arg(row).arg(column)
                                      .arg(index.data().toString()).arg(needed).arg(header->sectionSize(column));
                        break;
                    }
                }
            }
        }
    });
    return faults;
}

Status_Device_t everyControllerFault()
{
    Status_Device_t s;
    s.Status1 = 0xFF;
    s.Status2 = 0xFF;
    s.Status3 = 0x03;
    return s;
}

Status_Line_t everyLineFault()
{
    Status_Line_t s;
    s.Flags = 1;
    s.State = 2;
    s.Faults = 0xFF;
    return s;
}

// Tables whose columns are wider than the table shows.
QStringList cutTables(QWidget *top)
{
    QStringList faults;
    for (QTableView *table : top->findChildren<QTableView *>()) {
        if (table->isVisible() && table->horizontalHeader()->length() > table->viewport()->width())
            faults << QStringLiteral("%1: columns %2 wide in %3").arg(table->objectName())
                          .arg(table->horizontalHeader()->length()).arg(table->viewport()->width());
    }
    return faults;
}

// Scroll areas whose content is wider than they show: part of it is reached
// only by scrolling sideways.
QStringList sidewaysScrolls(QWidget *top, QWidget *window)
{
    QStringList faults;
    forEachTab(top, window, [&] {
        for (QScrollArea *area : top->findChildren<QScrollArea *>()) {
            const QWidget *content = area->widget();
            if (area->isVisibleTo(window) && content && content->width() > area->viewport()->width()) {
                const QString fault = QStringLiteral("%1: content %2 wide in %3").arg(area->objectName())
                                          .arg(content->width()).arg(area->viewport()->width());
                if (!faults.contains(fault))
                    faults << fault;
            }
        }
    });
    return faults;
}

// The controls in `part` that lie outside the view of `area` as it is
// scrolled now.
QStringList outOfView(QWidget *part, QScrollArea *area, QWidget *window)
{
    QStringList faults;
    const QRect view = area->viewport()->rect();
    for (QWidget *w : part->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window) || !isControl(w, window))
            continue;
        const QRect r(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
        if (!view.contains(r))
            faults << QStringLiteral("%1 \"%2\": %3,%4 %5x%6 outside the view %7x%8")
                          .arg(QLatin1String(w->metaObject()->className()), w->objectName())
                          .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                          .arg(view.width()).arg(view.height());
    }
    return faults;
}

// The desktop's font while it lives: the offscreen platform draws at 12
// points, a desktop without a platform theme at 9.
class DesktopFont
{
public:
    DesktopFont()
        : m_offscreen(QApplication::font())
    {
        QApplication::setFont(QFont(m_offscreen.family(), 9));
    }
    ~DesktopFont() { QApplication::setFont(m_offscreen); }
    DesktopFont(const DesktopFont &) = delete;
    DesktopFont &operator=(const DesktopFont &) = delete;

private:
    QFont m_offscreen;
};

// A controller's identity at its widest.
ControllerInfo widestIdentity()
{
    ControllerInfo info;
    info.deviceType = BOS_LIN;
    info.serialNumber = QStringLiteral("65535.2099");
    info.boardVersion = QStringLiteral("99.99");
    info.firmwareVersion = QStringLiteral("99.99");
    info.firmwareDate = QStringLiteral("31.12.2099");
    return info;
}

// Controller settings as a controller in service holds them.
Konfig_Device_t settingsInRange()
{
    Konfig_Device_t device;
    device.LineAddr = 255;
    device.TSign = 30;
    device.MRef = 65535;
    device.TWork = 99;
    device.NExc = 7;
    device.Ratio = 20;
    device.Dist = 99;
    device.Range = 3;
    device.LPF = 3;
    device.HPF = 3;
    device.DAF = 1;
    device.RuleJP = 1;
    device.CfgLoop = 0xB0;
    return device;
}

// Settings no editor offers, each at the widest value of its field: every
// editor shows its value as it is, marked.
Konfig_Device_t settingsBeyondEditors()
{
    Konfig_Device_t device;
    device.LineAddr = 65535;
    device.TSign = 255;
    device.MRef = 0;
    device.TWork = 255;
    device.NExc = 255;
    device.Ratio = 255;
    device.Dist = 255;
    device.Range = 255;
    device.LPF = 255;
    device.HPF = 255;
    device.DAF = 255;
    device.RuleJP = 255;
    device.CfgLoop = 0xB0;
    return device;
}

// Every address taken, the widest serial numbers and versions.
// The firmware window's values start just after the widest caption of their
// column, and its update button is no wider than its text needs.
QStringList valuesApart(QWidget *form)
{
    auto label = [form](const char *name) { return form->findChild<QLabel *>(QLatin1String(name)); };
    auto textEnd = [](const QLabel *l) { return l->x() + l->fontMetrics().horizontalAdvance(l->text()); };
    const QList<QPair<const char *, const char *>> described {
        {"label_4", "lblHwType"}, {"label_6", "lblVersion"}, {"lblCount", "lblHwCount"},
        {"lblModProgress", "lblModProgressCount"}};
    int widest = 0;
    for (const auto &pair : described)
        widest = qMax(widest, textEnd(label(pair.first)));
    const int slack = 24;
    QStringList faults;
    auto check = [&faults](const QLabel *value, int captionEnd, int allowed) {
        const int gap = value->x() - captionEnd;
        if (gap > allowed)
            faults << QStringLiteral("%1: %2 px after its caption's text").arg(value->objectName()).arg(gap);
    };
    for (const auto &pair : described)
        check(label(pair.second), textEnd(label(pair.first)), widest - textEnd(label(pair.first)) + slack);
    check(label("lblFirmwareFileName"), textEnd(label("label_3")), slack);
    const QWidget *start = form->findChild<QWidget *>(QStringLiteral("btnStartUpdateFirmware"));
    if (start->width() > start->sizeHint().width() * 3 / 2)
        faults << QStringLiteral("btnStartUpdateFirmware: %1 px wide, its text needs %2")
                      .arg(start->width()).arg(start->sizeHint().width());
    return faults;
}

void fillLineModules(LineModulesModel *model)
{
    const quint8 types[] = {SECT_ACCI, SECT_ACC, SECT_MVV, SECT_MKZ};
    for (quint16 addr = 1; addr <= LineModulesModel::RowCount; ++addr) {
        LineModuleRecord r;
        r.lineAddress = addr;
        r.serialNumber = 0xFFFFFFFFu - addr;
        r.serialNumberText = serialNumberToString(r.serialNumber);
        r.deviceType = types[addr % 4];
        r.typeName = deviceTypeNames.value(r.deviceType);
        r.firmwareVersion = 0xFFFF;
        r.firmwareVersionText = versionToString(r.firmwareVersion);
        model->setModule(r);
    }
}

} // namespace

class TestScreenFit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mainWindowPages_data();
    void mainWindowPages();
    void mainWindowModes_data();
    void mainWindowModes();
    void controllerPageNoSidewaysScroll_data();
    void controllerPageNoSidewaysScroll();
    void addressingControlsInView_data();
    void addressingControlsInView();
    void stateWindow();
    void firmwareWindow_data();
    void firmwareWindow();
    void moduleDataWindowFirstSize();
    void titlesWhole_data();
    void titlesWhole();
    void columnsShowWidestValue_data();
    void columnsShowWidestValue();

private:
    void fillAndFault();
    QStringList maximizedFaults(MainForm &form);
    void readLine(FakeController &fake, FakeTcpServer &server);
    void startAddressing(QWidget *page, QWidget *window, bool group);
    void widenLastRow(int page);

    std::unique_ptr<TaskManager> m_manager;
};

void TestScreenFit::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<ClientConnection>();
}

void TestScreenFit::init()
{
    m_manager.reset(new TaskManager);
    appTaskManager = m_manager.get();
    appSettings->remove(QStringLiteral("MainForm"));
    appSettings->remove(QStringLiteral("StateViewer"));
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    UiSeams::setMessageBoxHandler([](QWidget *, QMessageBox::Icon, const QString &, const QString &,
                                     QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        return QMessageBox::No;
    });
}

void TestScreenFit::cleanup()
{
    settle();
    appTaskManager = nullptr;
    m_manager.reset();
    UiSeams::setMessageBoxHandler(nullptr);
}

// The largest tables, a controller that reports every fault it can.
void TestScreenFit::fillAndFault()
{
    LantrelClient *client = m_manager->client();
    LargestConfiguration::fill(*client);
    emit client->datasetChanged();
    ClientConnection connection;
    connection.address = QStringLiteral("127.0.0.1");
    connection.lineAddress = 3;
    emit client->deviceConnected(connection);
    emit client->controllerStatusChanged(everyControllerFault());
    emit client->lineStatusChanged(everyLineFault());
    settle();
}

void TestScreenFit::mainWindowPages_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("controller") << 1;
    QTest::newRow("line modules") << 2;
    QTest::newRow("sensors") << 3;
    QTest::newRow("input/output") << 4;
    QTest::newRow("line protection") << 5;
    QTest::newRow("relay modules") << 6;
    QTest::newRow("interactions") << 7;
}

// The window as the window manager maximizes it, on its current page: what
// does not fit or cannot be reached.
QStringList TestScreenFit::maximizedFaults(MainForm &form)
{
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    form.resize(Maximized);
    settle();
    if (form.size() != Maximized)
        return {QStringLiteral("the window keeps %1x%2 at least").arg(form.width()).arg(form.height())};
    return unreachableControls(stack->currentWidget(), &form);
}

void TestScreenFit::mainWindowPages()
{
    QFETCH(int, page);
    MainForm form;
    QObject::disconnect(&form, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    fillAndFault();
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    stack->setCurrentIndex(page);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QStringList faults = maximizedFaults(form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

namespace {
enum Mode { Addressing, AddressingGroup, GroupPanels };
}

void TestScreenFit::mainWindowModes_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("mode");
    QTest::newRow("addressing") << 2 << int(Addressing);
    QTest::newRow("addressing a group") << 2 << int(AddressingGroup);
    QTest::newRow("sensor and processing group panels") << 3 << int(GroupPanels);
    QTest::newRow("input/output group panel") << 4 << int(GroupPanels);
}

void TestScreenFit::mainWindowModes()
{
    QFETCH(int, page);
    QFETCH(int, mode);
    // The addressing mode needs a controller that answers its start.
    FakeController fake;
    FakeTcpServer server(&fake);
    LantrelClient *client = m_manager->client();
    MainForm form;
    QObject::disconnect(&form, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    if (mode == GroupPanels)
        fillAndFault();
    else
        readLine(fake, server);
    if (QTest::currentTestFailed())
        return;
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    stack->setCurrentIndex(page);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(Maximized);
    settle();
    QWidget *current = stack->currentWidget();

    if (mode == GroupPanels) {
        // Each tab's panel open.
        const QList<QPushButton *> tuning = current->findChildren<QPushButton *>(QStringLiteral("btnGroupTuning"));
        QVERIFY(!tuning.isEmpty());
        for (QPushButton *button : tuning) {
            QVERIFY(button->isEnabled());
            button->click();
            QVERIFY(button->isChecked());
        }
    } else {
        startAddressing(current, &form, mode == AddressingGroup);
        if (QTest::currentTestFailed())
            return;
    }
    const QStringList faults = maximizedFaults(form);
    client->shutdownDriver();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

// The fake holds the largest line and reports every fault; the client has read it.
void TestScreenFit::readLine(FakeController &fake, FakeTcpServer &server)
{
    LantrelClient *client = m_manager->client();
    fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")), 500,
                                    100, 32);
    QSignalSpy read(client, &LantrelClient::datasetChanged);
    QVERIFY(ClientTest::listenAndConnect(server, *client));
    QVERIFY(read.wait(ClientTest::LongWaitMs));
    emit client->controllerStatusChanged(everyControllerFault());
    emit client->lineStatusChanged(everyLineFault());
}

// Starts the addressing mode on the line modules page, choosing modules from
// the table for a group change, which shows the most.
void TestScreenFit::startAddressing(QWidget *page, QWidget *window, bool group)
{
    auto *selection = page->findChild<QComboBox *>(QStringLiteral("cbSelectionMode"));
    if (group)
        selection->setCurrentIndex(1);
    auto *start = page->findChild<QPushButton *>(QStringLiteral("btnModuleAddressing"));
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), ClientTest::LongWaitMs);
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(page->findChild<QWidget *>(QStringLiteral("frameAddressing"))->isVisibleTo(window),
                             ClientTest::LongWaitMs);
    if (group) {
        auto *allowGroup = page->findChild<QCheckBox *>(QStringLiteral("ckAllowGroup"));
        QVERIFY(allowGroup->isEnabled());
        allowGroup->click();
        QVERIFY(page->findChild<QWidget *>(QStringLiteral("frameModCount"))->isVisibleTo(window));
    }
    settle();
}

void TestScreenFit::controllerPageNoSidewaysScroll_data()
{
    QTest::addColumn<bool>("held");
    QTest::newRow("settings in range") << false;
    QTest::newRow("settings held beyond the editors") << true;
}

// Maximized on the small screen, both tabs of the controller page show every
// field and its whole text, marks included, without scrolling sideways.
void TestScreenFit::controllerPageNoSidewaysScroll()
{
    QFETCH(bool, held);
    DesktopFont desktopFont;
    MainForm form;
    QObject::disconnect(&form, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    fillAndFault();
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    stack->setCurrentIndex(1);
    QWidget *page = stack->currentWidget();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(Maximized);
    settle();
    // Read while the page is on screen.
    ControllerConfigModel *model = m_manager->client()->controllerConfigModel();
    model->setControllerInfo(widestIdentity());
    ETH_konf_t network;
    network.IPAddr = network.NetMask = network.Gateway = 0xFFFFFFFFu;
    Konfig_Line_t line;
    line.LineMode = 2;
    model->setConfig(QString(64, QLatin1Char('W')), settingsInRange(), network, line);
    emit m_manager->client()->powerStatusChanged(Feature_Device_t());
    emit m_manager->client()->eventMemoryStatus(65535, 65535);
    settle();
    if (held) {
        // Then a file that holds what no editor offers, and an identifier
        // longer than the controller keeps.
        line.LineMode = 255;
        model->setConfig(QString(100, QChar(0x0416)), settingsBeyondEditors(), network, line);
        settle();
        for (const char *name : {"cbLineMode", "cbRange", "cbLPFs", "cbHPFs", "cbSRule"}) {
            auto *box = page->findChild<QComboBox *>(QLatin1String(name));
            QVERIFY2(box->currentText().contains(QStringLiteral("вне диапазона")), name);
        }
        for (const char *name : {"edtLineAddr", "edtTsign", "edtMRef", "edtTwork", "edtNExc", "edtRatio", "edtDist"}) {
            auto *spin = page->findChild<QSpinBox *>(QLatin1String(name));
            QVERIFY2(spin->text().contains(QStringLiteral("вне диапазона")), name);
        }
        QVERIFY(page->findChild<QCheckBox *>(QStringLiteral("ckDAFs"))->text().contains(QStringLiteral("вне диапазона")));
        QVERIFY(page->findChild<QLabel *>(QStringLiteral("lblBlockIdCut"))->isVisibleTo(page));
    }
    QStringList faults = maximizedFaults(form);
    faults += sidewaysScrolls(page, &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestScreenFit::addressingControlsInView_data()
{
    QTest::addColumn<bool>("group");
    QTest::newRow("one module") << false;
    QTest::newRow("a group") << true;
}

// The controls used on every module are in view as the mode starts, on the
// small screen maximized.
void TestScreenFit::addressingControlsInView()
{
    QFETCH(bool, group);
    DesktopFont desktopFont;
    FakeController fake;
    FakeTcpServer server(&fake);
    MainForm form;
    QObject::disconnect(&form, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    readLine(fake, server);
    if (QTest::currentTestFailed())
        return;
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    stack->setCurrentIndex(2);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(Maximized);
    settle();
    QWidget *page = stack->currentWidget();
    startAddressing(page, &form, group);
    if (QTest::currentTestFailed())
        return;
    // The command column takes the page's height and needs no scroll.
    auto *column = page->findChild<QScrollArea *>(QStringLiteral("saCommands"));
    QStringList faults = outOfView(column->widget(), column, &form);
    if (column->verticalScrollBar()->maximum() > 0)
        faults << QStringLiteral("the column scrolls by %1").arg(column->verticalScrollBar()->maximum());
    m_manager->client()->shutdownDriver();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestScreenFit::stateWindow()
{
    fillAndFault();
    StateViewerForm form(nullptr, Qt::Window);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    emit m_manager->client()->controllerStatusChanged(everyControllerFault());
    emit m_manager->client()->lineStatusChanged(everyLineFault());
    form.resize(Screen);
    settle();
    QVERIFY(form.width() <= Screen.width() && form.height() <= Screen.height());
    const QStringList faults = unreachableControls(&form, &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestScreenFit::firmwareWindow_data()
{
    QTest::addColumn<QSize>("maximized");   // empty: the first size
    QTest::newRow("first size") << QSize();
    QTest::newRow("maximized") << Maximized;
    QTest::newRow("maximized at 1920 x 1080") << QSize(1920, 1080 - TitleBarHeight);
}

// The module table shows every column whole; the window's first size fits
// the screen with its frame.
void TestScreenFit::firmwareWindow()
{
    QFETCH(QSize, maximized);
    appSettings->remove(QStringLiteral("FirmwareUpdateForm"));
    fillAndFault();
    fillLineModules(m_manager->client()->lineModulesModel());
    // The desktop's font: the offscreen platform draws at 12 points, a
    // desktop without a platform theme at 9, and the table and the file's
    // description side by side take more than the screen's width at 12.
    const QFont offscreenFont = QApplication::font();
    const auto restoreFont = qScopeGuard([offscreenFont] { QApplication::setFont(offscreenFont); });
    QApplication::setFont(QFont(offscreenFont.family(), 9));
    FirmwareUpdateForm form(nullptr, Qt::Dialog);
    const QSize first = form.size();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize screen = form.screen()->availableGeometry().size();
    QVERIFY2(first.width() <= screen.width() && first.height() + TitleBarHeight <= screen.height(),
             qPrintable(QStringLiteral("%1x%2").arg(first.width()).arg(first.height())));
    if (maximized.isValid())
        form.resize(maximized);
    settle();
    QStringList faults = unreachableControls(&form, &form) + cutCells(&form, &form);
    // A table cut while the window has room for it is not.
    if (maximized.isValid() || form.sizeHint().width() <= form.width())
        faults += cutTables(&form);
    faults += valuesApart(&form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestScreenFit::moduleDataWindowFirstSize()
{
    appSettings->remove(QStringLiteral("SamplesViewer"));
    SamplesViewerForm form(nullptr, Qt::Window);
    const QSize first = form.size();
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    // Its bottom stays on the screen below the title bar.
    QVERIFY2(first.width() <= screen.width() && first.height() + TitleBarHeight <= screen.height(),
             qPrintable(QStringLiteral("%1x%2 on %3x%4").arg(first.width()).arg(first.height())
                            .arg(screen.width()).arg(screen.height())));
}

void TestScreenFit::titlesWhole_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString mainTitle = QStringLiteral("Настройка ИОП «Лантрел-А»");
    QTest::newRow("question") << QStringLiteral("box") << mainTitle << QStringLiteral("Сохранить изменения?");
    QTest::newRow("firmware error") << QStringLiteral("box") << QStringLiteral("Обновление прошивок")
                                    << QStringLiteral("Ошибка обновления прошивки");
    QTest::newRow("long path")
        << QStringLiteral("box") << QStringLiteral("Обновление прошивок")
        << QStringLiteral("Ошибка открытия файла прошивки /home/installer/firmware/2024/line_controller_program_"
                          "release_04_16_for_the_perimeter_line.mcr. Нет доступа");
    QTest::newRow("task progress") << QStringLiteral("progress") << mainTitle << QStringLiteral("Чтение конфигурации...");
}

// Message boxes and progress windows are as wide as their title needs.
void TestScreenFit::titlesWhole()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QWidget parent;
    parent.resize(Maximized);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QString fault = QStringLiteral("not shown");
    auto check = [&fault](QWidget *window) {
        fault.clear();
        if (window->width() < titleBarWidth(window))
            fault = QStringLiteral("%1 wide, its title needs %2").arg(window->width()).arg(titleBarWidth(window));
        else if (window->width() > Screen.width() || window->height() > Maximized.height())
            fault = QStringLiteral("%1x%2 beyond the screen").arg(window->width()).arg(window->height());
    };
    if (kind == QLatin1String("box")) {
        UiSeams::setMessageBoxHandler(nullptr);
        QTimer::singleShot(0, &parent, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            QTRY_VERIFY(box->isVisible());
            check(box);
            box->findChild<QDialogButtonBox *>()->buttons().first()->click();
        });
        UiSeams::messageBox(&parent, QMessageBox::Warning, title, text, QMessageBox::Ok);
    } else {
        std::unique_ptr<QProgressDialog> dialog(createProgressDialog(&parent, title));
        dialog->setLabelText(text);
        dialog->show();
        settle();
        check(dialog.get());
    }
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

// A value wider than any other at the end of the page's table.
void TestScreenFit::widenLastRow(int page)
{
    LantrelClient *client = m_manager->client();
    const quint32 widestSerial = 0xFFFFFFFFu;
    switch (page) {
    case 2: {
        LineModuleRecord r;
        r.lineAddress = 500;
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        r.deviceType = SECT_ACCI;
        r.typeName = deviceTypeNames.value(SECT_ACCI);
        client->lineModulesModel()->setModule(r);
        break;
    }
    case 3: {
        SensorModuleRecord r = client->sensorsConfigModel()->moduleAt(499);
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        r.refCount = 255;
        client->sensorsConfigModel()->setModule(499, r);
        break;
    }
    case 4: {
        IoModuleRecord r = client->ioModulesConfigModel()->moduleAt(99);
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        client->ioModulesConfigModel()->setModule(99, r);
        break;
    }
    case 5: {
        ScpModuleRecord r = client->scpModulesConfigModel()->moduleAt(31);
        r.serialNumber = widestSerial;
        r.serialNumberText = serialNumberToString(widestSerial);
        client->scpModulesConfigModel()->setModule(31, r);
        break;
    }
    case 7: {
        InteractionsConfigModel *model = client->interactionsConfigModel();
        InteractionRecord r = model->interactionAt(model->rowCount() - 1);
        r.executorAddressText = QStringLiteral("255.255.255.255 (%1)").arg(serialNumberToString(widestSerial));
        model->updateInteraction(quint16(model->rowCount() - 1), r);
        break;
    }
    default:
        break;
    }
}

void TestScreenFit::columnsShowWidestValue_data()
{
    mainWindowPages_data();
}

void TestScreenFit::columnsShowWidestValue()
{
    QFETCH(int, page);
    MainForm form;
    QObject::disconnect(&form, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    fillAndFault();
    auto *stack = form.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Filled while hidden: the addresses further down are wider than those
    // on screen.
    stack->setCurrentIndex(page);
    QStringList faults = cutCells(stack->currentWidget(), &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

    // A wider value at the last row, on screen or not.
    widenLastRow(page);
    faults = cutCells(stack->currentWidget(), &form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"

