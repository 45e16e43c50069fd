// State window: the command panel's enable rules and the module texts as
// tables; the window offline; against the fake line controller with
// monitoring on: the controller panel following the fake, commands of every
// kind to one module, a group and all modules as the fake receives them, the
// command target after the tables are read again, group sizes that never
// wrap, and a lost link.

#include "commandpanelrules.h"
#include "controllerconfigmodel.h"
#include "fakemodulestates.h"
#include "flagsviewerwidget.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "modulestatetext.h"
#include "stateviewerform.h"
#include "windowtestsupport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

using namespace LantrelProtocol;
using FakeModuleStates::Sensor;

Q_DECLARE_METATYPE(CommandPanelState)
Q_DECLARE_METATYPE(LineModuleRecord)

namespace {

// The generated configuration: sensors at addresses 1-24 (table index =
// address - 1), I/O modules at 201-206 with loop 1 in alarm mode and loop 2
// in mode (index mod 4), line-protection modules at 301-303.
constexpr int SensorCount = 24;
constexpr int IoCount = 6;
constexpr int ScpCount = 3;

const QString Connected = QStringLiteral("<p><b>Подключен к ЦУ-Л</b></p>");
const QString NoLink = QStringLiteral("<p style=\"color:red\"><b>Нет связи с ЦУ-Л</b></p>");

// The window as the user sees it.
struct Window
{
    std::unique_ptr<StateViewerForm> form {new StateViewerForm(nullptr, Qt::Window)};

    bool show()
    {
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
    template <typename T> T *get(const char *name) const
    {
        T *w = form->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    QString text(const char *label) const { return get<QLabel>(label)->text(); }
    QGroupBox *panel() const { return get<QGroupBox>("gbControls"); }
    void selectAddress(int address) const
    {
        auto *grid = get<FlagsViewerWidget>("wgtFlagsViewer");
        QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier,
                          grid->cellRect(address - 1).center().toPoint());
    }
    void click(const char *name) const
    {
        // A radio button takes clicks on its mark and text only.
        auto *button = get<QAbstractButton>(name);
        const QPoint at = qobject_cast<QRadioButton *>(button) ? QPoint(8, button->height() / 2)
                                                                : button->rect().center();
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
    }
};

LineModuleRecord record(int type, uint flags, int s0 = 0, int s1 = 0, int s2 = 0)
{
    LineModuleRecord r;
    r.lineAddress = 7;
    r.deviceType = quint8(type);
    r.stateFlags = flags;
    r.status0 = quint8(s0);
    r.status1 = quint8(s1);
    r.status2 = quint8(s2);
    r.loop1Mode = 1;
    r.loop2Mode = 1;
    return r;
}

// The controller reports relay 1 on, `faults` in its status byte 3, a
// leaking line that is on, and its line voltage and currents.
Status_Line_t setFaultyStatus(FakeController &fake, quint8 faults)
{
    Status_Device_t controller;
    controller.Status2 = 0x01;
    controller.Status3 = faults;
    fake.setControllerStatus(controller);
    Feature_Device_t power;
    power.VddLin = 23460;
    power.IddSens = 150;
    power.IddLin = 2;
    fake.setPowerStatus(power);
    Status_Line_t line;
    line.Flags = 1;
    line.State = LN_ONN;
    line.Faults = 0x10;
    fake.setLineStatus(line);
    return line;
}

} // namespace

class TestStateViewerForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandPanelRules_data();
    void commandPanelRules();
    void moduleTexts_data();
    void moduleTexts();
    void offline();
    void geometry_data();
    void geometry();
    void connectWithModuleStates();
    void controllerPanelFollowsFake();
    void statusUnknown();
    void moduleDetails();
    void commands_data();
    void commands();
    void targetAfterReread();
    void commandRefusedWhenModuleGone();
    void groupSizeNeverWraps();
    void lostLink();

private:
    bool readConfiguration();
    bool waitForStates();
    bool reconnect();

    QTemporaryDir m_dir;
    std::unique_ptr<WindowTest::PublishedClient> m_rig;
};

void TestStateViewerForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    appSettings->sync();
    m_rig.reset(new WindowTest::PublishedClient);
}

bool TestStateViewerForm::readConfiguration()
{
    QSignalSpy done(&m_rig->client, &LantrelClient::datasetChanged);
    m_rig->client.readConfiguration();
    return done.wait(ClientTest::LongWaitMs);
}

// Monitoring has delivered a state for every module of the generated
// configuration.
bool TestStateViewerForm::waitForStates()
{
    LineModulesModel *model = m_rig->client.lineModulesModel();
    return ClientTest::waitFor([model]() {
        for (int a : {1, SensorCount, 201, 200 + IoCount, 301, 300 + ScpCount})
            if (model->moduleAt(quint16(a)).stateFlags == 0)
                return false;
        return true;
    });
}

// A new driver, which takes the driver settings as they are now.
bool TestStateViewerForm::reconnect()
{
    m_rig->client.shutdownDriver();
    QSignalSpy connected(&m_rig->client, &LantrelClient::deviceConnected);
    m_rig->client.connectToDevice(0, QStringLiteral("127.0.0.1"), ClientTest::LineAddress);
    return connected.wait(ClientTest::LongWaitMs) && readConfiguration();
}

// ---------------------------------------------------------------------------
// Tables

void TestStateViewerForm::commandPanelRules_data()
{
    QTest::addColumn<CommandPanelState>("state");
    QTest::addColumn<QString>("enabled");   // names of what the rules enable
    QTest::addColumn<int>("forcedLoop");

    auto st = [](int page, int mode, int n, int left, QSet<int> loops = {}) {
        CommandPanelState s;
        s.modulePresent = s.online = s.lineOn = s.commandsAllowed = true;
        s.page = page;
        s.targetMode = mode;
        s.groupSize = n;
        s.modulesLeft = left;
        s.alarmLoops = loops;
        return s;
    };
    auto without = [](CommandPanelState s, bool CommandPanelState::*flag) {
        s.*flag = false;
        return s;
    };
    const CommandPanelState single = st(SensorPage, SelectedModule, 1, 10);

    QTest::newRow("sensor, selected") << single << "visible enabled choices sensor" << -1;
    QTest::newRow("no module") << without(single, &CommandPanelState::modulePresent)
                               << "enabled choices sensor" << -1;
    QTest::newRow("offline") << without(single, &CommandPanelState::online) << "visible choices sensor" << -1;
    QTest::newRow("line off") << without(single, &CommandPanelState::lineOn) << "visible choices sensor" << -1;
    QTest::newRow("task runs") << without(single, &CommandPanelState::actionsEnabled)
                               << "visible choices sensor" << -1;
    QTest::newRow("state refuses") << without(single, &CommandPanelState::commandsAllowed)
                                   << "visible choices sensor" << -1;
    QTest::newRow("sensor, group 250 of 300") << st(SensorPage, ModuleGroup, 250, 300)
                                              << "visible enabled count choices sensor" << -1;
    QTest::newRow("sensor, group 251") << st(SensorPage, ModuleGroup, 251, 400)
                                       << "visible enabled count choices" << -1;
    QTest::newRow("sensor, group past the last") << st(SensorPage, ModuleGroup, 4, 3)
                                                 << "visible enabled count choices" << -1;
    QTest::newRow("sensor, group, none left") << st(SensorPage, ModuleGroup, 1, 0)
                                              << "visible enabled count choices" << -1;
    QTest::newRow("sensor, all") << st(SensorPage, AllModules, 300, 0) << "visible enabled choices sensor" << -1;
    QTest::newRow("i/o, selected, both loops") << st(IoModulePage, SelectedModule, 1, 5, {1, 2})
                                               << "visible enabled choices loop arm relay disable" << -1;
    QTest::newRow("i/o, selected, loop 2") << st(IoModulePage, SelectedModule, 1, 5, {2})
                                           << "visible enabled choices arm relay disable" << 2;
    QTest::newRow("i/o, selected, no alarm loop") << st(IoModulePage, SelectedModule, 1, 5)
                                                  << "visible enabled choices relay disable" << -1;
    QTest::newRow("i/o, group 25") << st(IoModulePage, ModuleGroup, 25, 25, {1, 2})
                                   << "visible enabled count choices relay disable" << -1;
    QTest::newRow("i/o, group 26") << st(IoModulePage, ModuleGroup, 26, 90)
                                   << "visible enabled count choices disable" << -1;
    QTest::newRow("i/o, group past the last") << st(IoModulePage, ModuleGroup, 3, 2)
                                              << "visible enabled count choices" << -1;
    QTest::newRow("i/o, all") << st(IoModulePage, AllModules, 1, 5) << "visible enabled choices arm disable" << 0;
    QTest::newRow("protection") << st(ScpModulePage, SelectedModule, 1, 1) << "visible enabled" << -1;
}

void TestStateViewerForm::commandPanelRules()
{
    QFETCH(CommandPanelState, state);
    QFETCH(QString, enabled);
    QFETCH(int, forcedLoop);

    const CommandPanelEnables e = commandPanelEnables(state);
    QStringList got;
    const QList<QPair<const char *, bool>> names = {
        {"visible", e.panelVisible}, {"enabled", e.panelEnabled}, {"count", e.groupSizeEnabled},
        {"choices", e.targetChoicesEnabled}, {"sensor", e.sensorCommands}, {"loop", e.loopChoiceEnabled},
        {"arm", e.ioArming}, {"relay", e.ioRelay}, {"disable", e.ioDisable}};
    for (const auto &n : names)
        if (n.second)
            got << QLatin1String(n.first);
    QCOMPARE(got.join(QLatin1Char(' ')), enabled);
    QCOMPARE(e.forcedLoop, forcedLoop);
}

void TestStateViewerForm::moduleTexts_data()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QTest::addColumn<LineModuleRecord>("module");
    QTest::addColumn<QString>("state");      // the lines between the heading and </p>
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<QString>("faults");     // the lines, "-" for no fault text

    const QString dot = QStringLiteral("&nbsp;&#9679; ");
    auto plain = [dot](const char *t) { return dot + QString::fromUtf8(t) + QStringLiteral("<br/>"); };
    auto red = [dot](const char *t) {
        return dot + QStringLiteral("<span style=\"color:red\">") + QString::fromUtf8(t)
               + QStringLiteral("</span><br/>");
    };
    const QString volts = QStringLiteral("</p><p><u>Напряжения:</u><br/>") + plain("на входе 23,50 В.")
                          + plain("на выходе 0,90 В.");

    QTest::newRow("no state") << record(4, 0) << plain("неизвестно") << false << "-";
    QTest::newRow("no link") << record(3, 0x402, 0x01) << red("нет связи") << false << "-";
    QTest::newRow("switched off") << record(2, 0x104, 0, 0x01) << red("отключен") << false << "-";
    QTest::newRow("changed and added") << record(4, 0x110, 0, 0x60) << red("изменён") + red("добавлен") << false
                                       << "-";
    QTest::newRow("excluded") << record(4, 0x108, 0, 0x04) << red("исключён") << false << "-";
    QTest::newRow("sensor fault") << record(4, 0x120, 0x20, 0x02, 0x0C) << red("неисправность") << true
                                  << red("ИК-канал неисправен") + red("виброканал неисправен");
    QTest::newRow("sensor fault, no detail") << record(3, 0x120, 0x20) << red("неисправность") << true << "";
    QTest::newRow("sensor normal") << record(4, 0x100, 0, 0x02) << plain("норма") << true << "-";
    QTest::newRow("sensor disarmed") << record(4, 0x540, 0x04) << plain("снят с охраны") << true << "-";
    QTest::newRow("infrared sensor alarm")
        << record(3, 0x400, 0x0C, 0x02) << red("тревога") + QStringLiteral(
               "&nbsp;&nbsp;&#9679; <span style=\"color:red\">сработка ВК</span><br/>"
               "&nbsp;&nbsp;&#9679; <span style=\"color:red\">сработка ИК</span><br/>")
        << true << "-";
    QTest::newRow("vibration sensor alarm") << record(4, 0x400, 0x0C, 0x02) << red("тревога") << true << "-";

    LineModuleRecord io = record(2, 0x40 | 0x1000 | 0x10000 | 0x800);
    QTest::newRow("i/o disarmed open, relay, active")
        << io << plain("шлейф 1 - снят с охраны")
                     + QStringLiteral("&nbsp;&nbsp; <span style=\"color:red\">(обрыв шлейфа)</span><br/>")
                     + plain("реле - включено") + plain("шлейф 2 - активен")
        << true << "-";
    io = record(2, 0x4000 | 0x80 | 0x8000, 0x04, 0, 0x09);
    io.loop2Mode = 0;
    QTest::newRow("i/o short, loop 2 off whatever its bits")
        << io << red("шлейф 1 - замыкание") + plain("реле - отключено") + plain("шлейф 2 - отключен") << true
        << red("неисправность, выявленная<br/>программой") + red("ошибка приема данных");
    io = record(2, 0x100 | 0x2000);
    QTest::newRow("i/o normal, open") << io << plain("шлейф 1 - норма") + plain("реле - отключено")
                                                    + red("шлейф 2 - обрыв")
                                      << true << "-";

    LineModuleRecord scp = record(5, 0x20000, 0x80);
    scp.inputVoltage = 23500;
    scp.outputVoltage = 900;
    QTest::newRow("protection auto") << scp << plain("режим - «Авто»") + plain("реле включено") + volts << true
                                     << "-";
    scp.status0 = 0x40;
    scp.stateFlags = 0x400;
    QTest::newRow("protection manual") << scp << red("режим - «Ручной»") + red("реле разомкнуто") + volts << true
                                       << "-";
    scp.status0 = 0x08;
    scp.status2 = 0x81;
    scp.stateFlags = 0x420;
    QTest::newRow("protection fault") << scp << red("неисправность") + volts << true
                                      << red("не норма питания") + red("ошибка в программе");
}

void TestStateViewerForm::moduleTexts()
{
    QFETCH(LineModuleRecord, module);
    QFETCH(QString, state);
    QFETCH(bool, allowed);
    QFETCH(QString, faults);

    bool commandsAllowed = !allowed;
    QCOMPARE(moduleStateHtml(module, &commandsAllowed),
             QStringLiteral("<p><u>Состояние модуля:</u><br/>") + state + QStringLiteral("</p>"));
    QCOMPARE(commandsAllowed, allowed);
    const QString expected = faults == QLatin1String("-")
                                 ? QString()
                                 : QStringLiteral("<p><u>Ошибки модуля:</u><br/>") + faults + QStringLiteral("</p>");
    QCOMPARE(moduleFaultsHtml(module), expected);
}

// ---------------------------------------------------------------------------
// Offline

void TestStateViewerForm::offline()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LineModuleRecord sensor;
    sensor.lineAddress = 2;
    sensor.deviceType = SECT_ACC;
    sensor.typeName = QStringLiteral("ВТ-Л");
    sensor.serialNumber = (4u << 18) | 77u;
    sensor.serialNumberText = QStringLiteral("77.24");
    m_rig->client.lineModulesModel()->setModule(sensor);

    Window w;
    QVERIFY(w.show());
    QCOMPARE(w.text("lblConnStatus"), NoLink);
    QCOMPARE(w.text("lblRelay1"), QStringLiteral("<p>?</p>"));
    QCOMPARE(w.text("lblRelay2"), QStringLiteral("<p>?</p>"));
    QCOMPARE(w.text("lblVddLin"), QStringLiteral("0,0 В."));
    QCOMPARE(w.text("lblIddSens"), QStringLiteral("0 мА."));
    QCOMPARE(w.text("lblIddLin"), QStringLiteral("0 мА."));
    QVERIFY(w.text("lblLineStatus").contains(QStringLiteral("неизвестно")));
    QVERIFY(w.text("lblLineFaults").isEmpty());
    QVERIFY(w.text("lblControllerFaults").isEmpty());

    // Address 1 is free.
    QCOMPARE(w.text("lblModAddr"), QStringLiteral("1"));
    QCOMPARE(w.text("lblModType"), QStringLiteral("Нет"));
    QVERIFY(!w.get<QWidget>("frameModuleData")->isVisible());
    QVERIFY(!w.panel()->isVisible());

    // A module from a file shows its details; offline it takes no commands.
    w.selectAddress(2);
    QCOMPARE(w.text("lblModType"), QStringLiteral("ВТ-Л"));
    QCOMPARE(w.text("lblSerialNo"), QStringLiteral("77.24"));
    QVERIFY(w.text("lblStatusDetail").contains(QStringLiteral("неизвестно")));
    QVERIFY(w.panel()->isVisible());
    QVERIFY(!w.panel()->isEnabled());

    m_rig->client.lineModulesModel()->clear(0);
}

void TestStateViewerForm::geometry_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("restored");
    QTest::newRow("not hexadecimal") << QStringLiteral("zzzz") << false;
    QTest::newRow("not a geometry") << QStringLiteral("ABCD") << false;
    QTest::newRow("saved by the window") << QStringLiteral("saved") << true;
}

void TestStateViewerForm::geometry()
{
    QFETCH(QString, stored);
    QFETCH(bool, restored);
    const QString key = QStringLiteral("StateViewer/Geometry");
    appSettings->remove(key);
    const QSize opening = Window().form->size();
    if (stored == QLatin1String("saved")) {
        Window first;
        QVERIFY(first.show());
        first.form->resize(700, 420);
        first.form->close();
        stored = appSettings->value(key).toString();
        QVERIFY(!stored.isEmpty());
        QCOMPARE(stored, stored.toUpper());
    } else {
        appSettings->setValue(key, stored);
    }

    Window w;
    QCOMPARE(w.form->size(), restored ? QSize(700, 420) : opening);
    appSettings->remove(key);
}

// ---------------------------------------------------------------------------
// Against the fake controller

void TestStateViewerForm::connectWithModuleStates()
{
    FakeController &fake = m_rig->fake;
    fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")),
                                    SensorCount, IoCount, ScpCount);
    FakeModuleStates::applyVariedStates(fake);
    for (int i = 0; i < SensorCount; ++i)
        fake.setSensorStatus(i, FakeModuleStates::sensor(Sensor::Armed));
    fake.setSensorStatus(4, FakeModuleStates::sensor(Sensor::Alarm));
    for (int i = 0; i < IoCount; ++i)
        fake.setIoModuleStatus(i, FakeModuleStates::ioModule({}));
    for (int i = 0; i < ScpCount; ++i)
        fake.setScpModuleStatus(i, FakeModuleStates::scpModule({}));
    QVERIFY(ClientTest::listenAndConnect(m_rig->server, m_rig->client));
    QVERIFY(readConfiguration());
    QVERIFY(waitForStates());
}

void TestStateViewerForm::controllerPanelFollowsFake()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    FakeController &fake = m_rig->fake;
    Window w;
    QVERIFY(w.show());
    QCOMPARE(w.text("lblConnStatus"), Connected);
    w.selectAddress(2);
    QVERIFY(w.panel()->isEnabled());

    Status_Line_t line = setFaultyStatus(fake, 0x01);

    QVERIFY(ClientTest::waitFor([&w]() { return w.text("lblIddLin") == QStringLiteral("2 мА."); }));
    QVERIFY(ClientTest::waitFor([&w]() { return !w.text("lblLineFaults").isEmpty(); }));
    QVERIFY(ClientTest::waitFor([&w]() { return !w.text("lblControllerFaults").isEmpty(); }));
    QCOMPARE(w.text("lblRelay1"), QStringLiteral("<p style=\"color:red;\">ВКЛ</p>"));
    QCOMPARE(w.text("lblRelay2"), QStringLiteral("<p>ВЫКЛ</p>"));
    QCOMPARE(w.text("lblVddLin"), QStringLiteral("23,5 В."));
    QCOMPARE(w.text("lblIddSens"), QStringLiteral("150 мА."));
    QVERIFY(w.text("lblLineStatus").contains(QStringLiteral("включена, опрос модулей")));
    QVERIFY(w.text("lblLineFaults").contains(QStringLiteral("утечка на линии")));
    QVERIFY(w.text("lblControllerFaults").contains(QStringLiteral("не норма первичного питания")));

    // Only a line that is on takes commands.
    line.State = LN_POW;
    fake.setLineStatus(line);
    QVERIFY(ClientTest::waitFor([&w]() { return !w.panel()->isEnabled(); }));
    QVERIFY(w.text("lblLineStatus").contains(QStringLiteral("напряжение подано")));
    line.State = LN_ONN;
    line.Faults = 0;
    fake.setLineStatus(line);
    QVERIFY(ClientTest::waitFor([&w]() { return w.panel()->isEnabled(); }));
    QVERIFY(w.text("lblLineFaults").isEmpty());
    fake.setControllerStatus(Status_Device_t());
    QVERIFY(ClientTest::waitFor([&w]() { return w.text("lblControllerFaults").isEmpty(); }));
}

// A controller that keeps refusing its status: once the line state is
// unknown, so is every value that came from the status, in an open window and
// in one opened then; the next status shows them all again, unchanged or not.
void TestStateViewerForm::statusUnknown()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    appSettings->setValue(QStringLiteral("Driver/BusyTimeLimit"), 500);
    appSettings->sync();
    QVERIFY(reconnect());
    // The tests that follow find the link and the module states as before.
    const auto restore = qScopeGuard([this]() {
        m_rig->fake.clearInjections();
        m_rig->fake.setControllerStatus(Status_Device_t());
        Status_Line_t on;
        on.Flags = 1;
        on.State = LN_ONN;
        m_rig->fake.setLineStatus(on);
        appSettings->remove(QStringLiteral("Driver/BusyTimeLimit"));
        appSettings->sync();
        if (!reconnect() || !waitForStates())
            qWarning("the link or the module states did not come back");
    });
    FakeController &fake = m_rig->fake;
    setFaultyStatus(fake, 0x03);

    Window open;
    QVERIFY(open.show());
    open.selectAddress(2);
    const QStringList labels = {QStringLiteral("lblRelay1"), QStringLiteral("lblRelay2"),
                                QStringLiteral("lblVddLin"), QStringLiteral("lblIddSens"),
                                QStringLiteral("lblIddLin"), QStringLiteral("lblLineStatus"),
                                QStringLiteral("lblLineFaults"), QStringLiteral("lblControllerFaults")};
    const auto texts = [&labels](const Window &w) {
        QStringList all;
        for (const QString &name : labels)
            all << w.text(name.toLatin1().constData());
        return all;
    };
    const QString relayOn = QStringLiteral("<p style=\"color:red;\">ВКЛ</p>");
    QVERIFY(ClientTest::waitFor([&]() {
        const QStringList shown = texts(open);
        return shown.at(0) == relayOn && shown.at(1) == relayOn && shown.at(4) == QStringLiteral("2 мА.")
               && !shown.at(6).isEmpty() && !shown.at(7).isEmpty() && open.panel()->isEnabled();
    }));
    const QStringList known = texts(open);

    FakeInjection busy = FakeInjection::exception(6, 3, -1);
    busy.address = 22;
    fake.addInjection(busy);
    const auto item = [](const QString &heading) {
        return QStringLiteral("<p><u>%1</u><br/>&nbsp;&#9679; неизвестно<br/></p>").arg(heading);
    };
    const QStringList unknown = {QStringLiteral("<p>?</p>"), QStringLiteral("<p>?</p>"), QStringLiteral("?"),
                                 QStringLiteral("?"), QStringLiteral("?"), item(QStringLiteral("Состояние линии:")),
                                 item(QStringLiteral("Ошибки работы линии:")), item(QStringLiteral("Ошибки ЦУ-Л:"))};
    QVERIFY(ClientTest::waitFor([&]() { return texts(open) == unknown; }));
    QVERIFY(!open.panel()->isEnabled());
    QCOMPARE(open.text("lblConnStatus"), Connected);
    Window opened;
    QCOMPARE(texts(opened), unknown);

    // The controller's own status did not change meanwhile.
    fake.clearInjections();
    QVERIFY(ClientTest::waitFor([&]() { return texts(open) == known && texts(opened) == known; }));
    QVERIFY(ClientTest::waitFor([&open]() { return open.panel()->isEnabled(); }));
}

void TestStateViewerForm::moduleDetails()
{
    Window w;
    QVERIFY(w.show());
    w.selectAddress(5);
    QCOMPARE(w.text("lblModAddr"), QStringLiteral("5"));
    QCOMPARE(w.text("lblModType"), QStringLiteral("ВС-Л"));
    QVERIFY(w.text("lblStatusDetail").contains(QStringLiteral("сработка ВК")));
    QCOMPARE(w.get<QStackedWidget>("stackedWidget")->currentIndex(), int(SensorPage));

    // The state follows the fake: the alarm ends.
    m_rig->fake.setSensorStatus(4, FakeModuleStates::sensor(Sensor::Armed));
    QVERIFY(ClientTest::waitFor([&w]() { return w.text("lblStatusDetail").contains(QStringLiteral("норма")); }));

    w.selectAddress(202);
    QCOMPARE(w.get<QStackedWidget>("stackedWidget")->currentIndex(), int(IoModulePage));
    QVERIFY(w.text("lblStatusDetail").contains(QStringLiteral("шлейф 2 - норма")));
    w.selectAddress(201);
    QVERIFY(w.text("lblStatusDetail").contains(QStringLiteral("шлейф 2 - отключен")));
    w.selectAddress(302);
    QCOMPARE(w.get<QStackedWidget>("stackedWidget")->currentIndex(), int(ScpModulePage));
    QVERIFY(w.text("lblStatusDetail").contains(QStringLiteral("на входе 23,50 В.")));

    w.selectAddress(400);
    QCOMPARE(w.text("lblModType"), QStringLiteral("Нет"));
    QVERIFY(!w.panel()->isVisible());
    QVERIFY(!w.get<QWidget>("frameModuleData")->isVisible());
}

void TestStateViewerForm::commands_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("target");    // the radio button chosen before the module
    QTest::addColumn<int>("groupSize");
    QTest::addColumn<int>("loop");          // cbLoop's item data, -1 as it is
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("command");   // code, first, count as the fake saw them

    const QString single = QStringLiteral("rbSingleModule");
    const QString group = QStringLiteral("rbGroupModule");
    const QString all = QStringLiteral("rbAllModule");
    QTest::newRow("arm one sensor") << 2 << single << 1 << -1 << "btnArmSensor" << QStringLiteral("12 2 1");
    QTest::newRow("disarm a sensor group") << 4 << group << 5 << -1 << "btnDisarmSensor" << QStringLiteral("13 4 5");
    QTest::newRow("arm a group to the last sensor")
        << 20 << group << 5 << -1 << "btnArmSensor" << QStringLiteral("12 20 5");
    QTest::newRow("arm all sensors") << 2 << all << 1 << -1 << "btnArmSensor" << QStringLiteral("12 0 0");
    QTest::newRow("disarm all sensors") << 3 << all << 1 << -1 << "btnDisarmSensor" << QStringLiteral("13 0 0");
    QTest::newRow("disable one sensor") << 2 << single << 1 << -1 << "btnDisableSensor" << QStringLiteral("32 2 1");
    QTest::newRow("disable a sensor group") << 10 << group << 3 << -1 << "btnDisableSensor"
                                            << QStringLiteral("32 10 3");
    QTest::newRow("disable all sensors") << 2 << all << 1 << -1 << "btnDisableSensor" << QStringLiteral("32 0 0");
    QTest::newRow("arm the one alarm loop") << 201 << single << 1 << -1 << "btnArmIoModule"
                                            << QStringLiteral("14 1 1");
    QTest::newRow("disarm both loops") << 202 << single << 1 << 0 << "btnDisarmIoModule" << QStringLiteral("15 2 0");
    QTest::newRow("arm loop 2") << 206 << single << 1 << 2 << "btnArmIoModule" << QStringLiteral("14 6 2");
    QTest::newRow("arm all i/o modules") << 202 << all << 1 << -1 << "btnArmIoModule" << QStringLiteral("14 0 0");
    QTest::newRow("relay on, one") << 203 << single << 1 << -1 << "btnRelayOn" << QStringLiteral("16 3 1");
    QTest::newRow("relay off, group") << 201 << group << 4 << -1 << "btnRelayOff" << QStringLiteral("17 1 4");
    QTest::newRow("disable an i/o group") << 202 << group << 2 << -1 << "btnDisableIoModule"
                                          << QStringLiteral("32 202 2");
    QTest::newRow("disable all i/o modules") << 204 << all << 1 << -1 << "btnDisableIoModule"
                                             << QStringLiteral("32 0 0");
    QTest::newRow("protection automatic") << 302 << single << 1 << -1 << "btnScpOn" << QStringLiteral("28 2 1");
    QTest::newRow("protection off, group forced to one")
        << 303 << group << 3 << -1 << "btnScpOff" << QStringLiteral("29 3 1");
}

void TestStateViewerForm::commands()
{
    QFETCH(int, address);
    QFETCH(QString, target);
    QFETCH(int, groupSize);
    QFETCH(int, loop);
    QFETCH(QString, button);
    QFETCH(QString, command);

    Window w;
    QVERIFY(w.show());
    // Choose the target on a sensor, where every choice is open.
    w.selectAddress(1);
    w.click(target.toLatin1().constData());
    w.get<QSpinBox>("edtModuleCount")->setValue(groupSize);
    w.selectAddress(address);
    if (loop >= 0) {
        auto *loops = w.get<QComboBox>("cbLoop");
        QVERIFY(loops->isEnabled());
        loops->setCurrentIndex(loops->findData(loop));
    }
    auto *b = w.get<QPushButton>(button.toLatin1().constData());
    QVERIFY(w.panel()->isEnabled());
    QVERIFY2(b->isEnabled(), qPrintable(button));

    FakeController &fake = m_rig->fake;
    fake.clearCommands();
    QSignalSpy finished(&m_rig->client, &LantrelClient::taskCompleted);
    w.click(button.toLatin1().constData());
    QVERIFY(finished.wait(ClientTest::LongWaitMs));

    const QList<FakeCommand> seen = fake.commands();
    QCOMPARE(seen.size(), 1);
    const FakeCommand &c = seen.first();
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(c.code).arg(c.param1).arg(c.param2), command);
}

void TestStateViewerForm::targetAfterReread()
{
    // Sensors at addresses 10 and 1 change places in the controller's table.
    FakeController &fake = m_rig->fake;
    for (int file : {10, 13, 9}) {
        const QByteArray first = fake.recordBytes(file, 0);
        fake.setRecordBytes(file, 0, fake.recordBytes(file, 9));
        fake.setRecordBytes(file, 9, first);
    }

    Window w;
    QVERIFY(w.show());
    w.selectAddress(10);
    QVERIFY(readConfiguration());
    QVERIFY(ClientTest::waitFor([&w]() { return w.panel()->isEnabled(); }));

    fake.clearCommands();
    QSignalSpy finished(&m_rig->client, &LantrelClient::taskCompleted);
    w.click("btnArmSensor");
    QVERIFY(finished.wait(ClientTest::LongWaitMs));
    QCOMPARE(fake.commands().size(), 1);
    QCOMPARE(fake.commands().first().code, int(SEQRE_REM_SECT));
    QCOMPARE(fake.commands().first().param1, 1);

    // And back, for the tests after this one.
    for (int file : {10, 13, 9}) {
        const QByteArray first = fake.recordBytes(file, 0);
        fake.setRecordBytes(file, 0, fake.recordBytes(file, 9));
        fake.setRecordBytes(file, 9, first);
    }
    QVERIFY(readConfiguration());
    QVERIFY(waitForStates());
}

void TestStateViewerForm::commandRefusedWhenModuleGone()
{
    Window w;
    QVERIFY(w.show());
    w.selectAddress(12);
    QVERIFY(w.panel()->isEnabled());

    // The module leaves the tables before the window hears of it: the
    // command must not go to whatever module now has its place.
    LineModulesModel *model = m_rig->client.lineModulesModel();
    {
        const QSignalBlocker quiet(model);
        model->removeModule(11);
    }
    WindowTest::MessageBoxRecorder boxes;
    QSignalSpy started(&m_rig->client, &LantrelClient::taskStarted);
    w.click("btnArmSensor");

    QCOMPARE(started.count(), 0);
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked.first().icon, QMessageBox::Warning);
    QVERIFY(boxes.asked.first().text.contains(QStringLiteral("12")));
    QCOMPARE(w.text("lblModType"), QStringLiteral("Нет"));
    QVERIFY(!w.panel()->isVisible());

    QVERIFY(readConfiguration());
    QVERIFY(waitForStates());
}

void TestStateViewerForm::groupSizeNeverWraps()
{
    Window w;
    QVERIFY(w.show());
    auto *count = w.get<QSpinBox>("edtModuleCount");
    auto *arm = w.get<QPushButton>("btnArmSensor");
    w.click("rbGroupModule");

    // Sensor 22 of 24: three to the end of the table.
    w.selectAddress(22);
    count->setValue(3);
    QVERIFY(arm->isEnabled());
    count->setValue(4);
    QVERIFY(!arm->isEnabled());

    // Counts that lag behind the tables leave no module for a group, not
    // 65 thousand of them.
    ControllerConfigModel *controller = m_rig->client.controllerConfigModel();
    const Konfig_Line_t saved = controller->lineConfig;
    Konfig_Line_t lagging = saved;
    lagging.SensorCount = 5;
    controller->setLineConfig(lagging);
    w.selectAddress(11);
    count->setValue(1);
    QVERIFY(!arm->isEnabled());
    w.click("rbSingleModule");
    QVERIFY(arm->isEnabled());
    controller->setLineConfig(saved);
}

void TestStateViewerForm::lostLink()
{
    Window w;
    QVERIFY(w.show());
    w.selectAddress(2);
    QVERIFY(w.panel()->isEnabled());

    QSignalSpy lost(&m_rig->client, &LantrelClient::deviceDisconnected);
    m_rig->fake.dropConnections();
    QVERIFY(lost.wait(ClientTest::LongWaitMs));
    QVERIFY(!w.panel()->isEnabled());
    QCOMPARE(w.text("lblConnStatus"), NoLink);
    QCOMPARE(w.text("lblRelay1"), QStringLiteral("<p>?</p>"));

    // A window opened while a new link is being made is not connected yet,
    // although the client holds a driver and the last line status said "on".
    QVERIFY(ClientTest::waitFor([this]() { return !m_rig->client.hasDriver(); }));
    QSignalSpy connected(&m_rig->client, &LantrelClient::deviceConnected);
    m_rig->client.connectToDevice(0, QStringLiteral("127.0.0.1"), ClientTest::LineAddress);
    QVERIFY(m_rig->client.hasDriver());
    Window retrying;
    QCOMPARE(retrying.text("lblConnStatus"), NoLink);
    QCOMPARE(retrying.text("lblRelay1"), QStringLiteral("<p>?</p>"));
    QVERIFY(retrying.text("lblLineStatus").contains(QStringLiteral("неизвестно")));
    QVERIFY(!retrying.panel()->isEnabled());

    QVERIFY(connected.wait(ClientTest::LongWaitMs));
    QCOMPARE(retrying.text("lblConnStatus"), Connected);
    QCOMPARE(w.text("lblConnStatus"), Connected);
}

QTEST_MAIN(TestStateViewerForm)
#include "tst_stateviewerform.moc"
