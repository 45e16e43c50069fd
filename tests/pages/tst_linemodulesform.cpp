// Line modules page against the fake line controller: the table, counters
// and module actions, the enable rules as tables, and the addressing mode
// with the configuration it changes on the page and in the controller.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "appglobals.h"
#include "configinvariants.h"
#include "linemodulesform.h"
#include "linemodulesrules.h"
#include "texthelpers.h"
#include "windowtestsupport.h"

using namespace LantrelProtocol;
using ClientTest::LongWaitMs;
using ClientTest::waitFor;

namespace {

quint32 serialOf(int year, int n)
{
    return quint32(((year - 20) << 18) | n);
}

// Modules of the generated configuration: sensors at 1 to 24 (type 3 at
// addresses 2, 5, 8 ..., else type 4), I/O modules at 201 to 204,
// line-protection modules at 301 and 302, and two sensors on the line
// without an address yet.
const quint32 NewSensor = serialOf(24, 5001);     // type 4
const quint32 NewIrSensor = serialOf(24, 5002);   // type 3
quint32 sensorAt(int address)
{
    return serialOf(24, 1000 + address - 1);
}
quint8 sensorTypeAt(int address)
{
    return (address - 1) % 3 == 1 ? SECT_ACCI : SECT_ACC;
}

enum Selection { ByMagnet = 0, FromTable = 1, Typed = 2 };

// What the line table holds at each address: type and serial number.
QList<QPair<int, quint32>> lineSnapshot(const LantrelClient &client)
{
    QList<QPair<int, quint32>> rows;
    for (quint16 a = 1; a <= LineModulesModel::RowCount; ++a) {
        const LineModuleRecord r = client.lineModulesModel()->moduleAt(a);
        rows.append({r.deviceType, r.serialNumber});
    }
    return rows;
}

quint16 lineAddressOnFake(const FakeController &fake, quint32 serial)
{
    for (const FakeLineModule &m : fake.lineModules()) {
        if (m.serial == serial)
            return m.lineAddr;
    }
    return 0xFFFF;
}

int commandCount(FakeController &fake, int code)
{
    int n = 0;
    for (const FakeCommand &c : fake.commands())
        n += c.code == code ? 1 : 0;
    return n;
}

// The controller's module tables and counts against the client's models.
QStringList fakeTablesDiffer(const FakeController &fake, const LantrelClient &client)
{
    QStringList diffs;
    const auto compare = [&](const QString &table, int row, int fAddr, quint32 fSerial, int fType, int mAddr,
                             quint32 mSerial, int mType) {
        if (fAddr != mAddr || fSerial != mSerial || fType != mType)
            diffs << QStringLiteral("%1 row %2: controller %3/%4/%5, models %6/%7/%8")
                         .arg(table).arg(row).arg(fAddr).arg(fSerial).arg(fType).arg(mAddr).arg(mSerial).arg(mType);
    };
    const auto sensors = fake.sensors();
    for (int k = 0; k < SensorsConfigModel::RowCount; ++k) {
        const SensorModuleRecord m = client.sensorsConfigModel()->moduleAt(ushort(k));
        compare(QStringLiteral("sensors"), k, sensors[k].LineAddr, sensors[k].SerialNo, sensors[k].DeviceType,
                m.lineAddress, m.serialNumber, m.deviceType);
    }
    const auto ios = fake.ioModules();
    for (int k = 0; k < IoModulesConfigModel::RowCount; ++k) {
        const IoModuleRecord m = client.ioModulesConfigModel()->moduleAt(ushort(k));
        compare(QStringLiteral("io"), k, ios[k].LineAddr, ios[k].SerialNo, ios[k].DeviceType, m.lineAddress,
                m.serialNumber, m.deviceType);
    }
    const auto scps = fake.scpModules();
    for (int k = 0; k < ScpModulesConfigModel::RowCount; ++k) {
        const ScpModuleRecord m = client.scpModulesConfigModel()->moduleAt(ushort(k));
        compare(QStringLiteral("scp"), k, scps[k].LineAddr, scps[k].SerialNo, scps[k].DeviceType, m.lineAddress,
                m.serialNumber, m.deviceType);
    }
    const Konfig_Line_t f = fake.lineConfig();
    const Konfig_Line_t m = client.controllerConfigModel()->lineConfig;
    if (f.SensorCount != m.SensorCount || f.IoCount != m.IoCount || f.ScpCount != m.ScpCount)
        diffs << QStringLiteral("line counts: controller %1/%2/%3, models %4/%5/%6")
                     .arg(f.SensorCount).arg(f.IoCount).arg(f.ScpCount)
                     .arg(m.SensorCount).arg(m.IoCount).arg(m.ScpCount);
    return diffs;
}

// The page over a client connected to the fake controller, with the
// generated configuration read.
struct Rig
{
    WindowTest::PublishedClient pc;
    std::unique_ptr<LineModulesForm> page;
    bool ready = false;

    explicit Rig(int sensors = 24, int ioModules = 4, int scpModules = 2)
    {
        pc.fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")),
                                           sensors, ioModules, scpModules);
        // A restart ends the addressing mode; the fake's own part of it stays short.
        pc.fake.setRestartDelays(50, 200);
        if (!ClientTest::listenAndConnect(pc.server, pc.client))
            return;
        page.reset(new LineModulesForm);
        page->show();
        QSignalSpy read(&pc.client, &LantrelClient::datasetChanged);
        pc.client.readConfiguration();
        ready = read.wait(LongWaitMs);
        // The main window's end of the read task.
        page->disableFormActions(false);
    }

    template <typename T>
    T *w(const char *name) const
    {
        T *widget = page->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QPushButton *button(const char *name) const { return w<QPushButton>(name); }
    QTableView *table() const { return w<QTableView>("tableView"); }
    bool modeShown() const { return w<QFrame>("frameAddressing")->isVisible(); }

    QModelIndex shownIndex(quint16 address, int column) const
    {
        auto *proxy = qobject_cast<QSortFilterProxyModel *>(table()->model());
        return proxy->mapFromSource(pc.client.lineModulesModel()->index(address - 1, column));
    }

    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    void selectInCombo(const char *name, int data)
    {
        auto *combo = w<QComboBox>(name);
        combo->setCurrentIndex(combo->findData(data));
    }

    bool startMode(Selection selection)
    {
        selectInCombo("cbSelectionMode", selection);
        click("btnModuleAddressing");
        return modeShown();
    }

    void doubleClickRow(quint16 address, int column)
    {
        const QModelIndex idx = shownIndex(address, column);
        table()->scrollTo(idx);
        // A widget's double-click event alone comes without the press before it.
        const QPoint at = table()->visualRect(idx).center();
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // Makes the module the current one the way the selection mode asks for.
    bool pickModule(Selection selection, quint32 serial, quint8 type, quint16 storedAt)
    {
        auto *serialEdit = w<QLineEdit>("edtSerialNo");
        switch (selection) {
        case ByMagnet:
            if (!pc.fake.touchLineModule(serial))
                return false;
            break;
        case FromTable:
            doubleClickRow(storedAt, 1);
            break;
        case Typed:
            selectInCombo("cbModType", type);
            serialEdit->clear();
            QTest::keyClicks(serialEdit, serialNumberToString(serial));
            break;
        }
        return waitFor([&]() { return serialEdit->text() == serialNumberToString(serial); }, 5000);
    }

    void setNewAddress(int address) { w<QSpinBox>("edtNewAddress")->setValue(address); }

    QStringList invariants() const { return ConfigInvariants::checkConfigInvariants(pc.client); }

    // Writes the whole configuration to the controller; empty when its
    // tables then hold what the models hold.
    QStringList writtenTablesDiffer()
    {
        QSignalSpy finished(&pc.client, &LantrelClient::writeFinished);
        pc.client.writeConfiguration();
        if (!finished.wait(LongWaitMs))
            return {QStringLiteral("write did not finish")};
        return fakeTablesDiffer(pc.fake, pc.client);
    }
};

// Names of a state's true flags and of the enabled actions, for the truth table.
LineModulesPageState pageState(const QStringList &flags)
{
    LineModulesPageState s;
    s.connected = flags.contains(QStringLiteral("connected"));
    s.actionsEnabled = !flags.contains(QStringLiteral("busy"));
    s.waiting = flags.contains(QStringLiteral("waiting"));
    s.addressingMode = flags.contains(QStringLiteral("mode"));
    s.allowGroup = flags.contains(QStringLiteral("group"));
    s.selectionMode = flags.contains(QStringLiteral("typed")) ? 2 : flags.contains(QStringLiteral("table")) ? 1 : 0;
    s.addressChangeAllowed = flags.contains(QStringLiteral("allowed"));
    s.enableChangeSerial = flags.contains(QStringLiteral("serialOption"));
    s.lineModulesTotal = flags.contains(QStringLiteral("oneModule")) ? 1 : 30;
    s.newSerialAcceptable = flags.contains(QStringLiteral("serialOk"));
    return s;
}

QStringList actionNames(const LineModulesPageActions &a)
{
    QStringList on;
    const QList<QPair<bool, const char *>> all = {
        {a.clearModules, "clear"},       {a.findModules, "find"},
        {a.startAddressing, "start"},    {a.setAddress, "setAddr"},
        {a.stopAddressing, "stop"},      {a.modCountVisible, "modCount"},
        {a.moduleInfoEditable, "moduleInfo"}, {a.serialGroupVisible, "serialGroup"},
        {a.serialGroupEnabled, "serialGroupEnabled"}, {a.setSerial, "setSerial"}};
    for (const auto &p : all) {
        if (p.first)
            on << QLatin1String(p.second);
    }
    return on;
}

// Runs `check` on the context menu the table opens at the current row;
// the menu is closed afterwards unless `check` triggered an action.
QStringList contextMenuTexts(QTableView *table, const std::function<void(QMenu *)> &check = {})
{
    QStringList texts;
    bool shown = false;
    QTimer::singleShot(50, table, [&]() {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        shown = true;
        for (QAction *a : menu->actions()) {
            if (!a->isSeparator())
                texts << a->text();
        }
        if (check)
            check(menu);
        menu->close();
    });
    const QPoint pos = table->visualRect(table->currentIndex()).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, table->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(table->viewport(), &event);
    QTest::qWait(100);
    return shown ? texts : QStringList();
}

QAction *menuAction(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

} // namespace

class TestLineModulesForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pageActions_data();
    void pageActions();
    void addressChangeRule_data();
    void addressChangeRule();

    void tableFiltersAndCounters();
    void contextMenu_data();
    void contextMenu();
    void clearModules_data();
    void clearModules();
    void findModules();
    void serialNumberChange_data();
    void serialNumberChange();

    void addressing_data();
    void addressing();
    void groupShift_data();
    void groupShift();
    void waitsEnd_data();
    void waitsEnd();
    void startAnsweredAfterTheLimit();
    void questionsSkippedUntilTheModeEnds();

private:
    QTemporaryDir m_dir;
    const int m_defaultTimeout = LineModulesForm::answerTimeoutMs();
};

void TestLineModulesForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestLineModulesForm::init()
{
    appSettings->remove(QStringLiteral("LineModulesForm"));
    appSettings->remove(QStringLiteral("Common/EnableChangeSerial"));
}

void TestLineModulesForm::cleanup()
{
    LineModulesForm::setAnswerTimeoutMs(m_defaultTimeout);
    UiSeams::setCheckBoxHandler({});
}

// ---------------------------------------------------------------- enable rules

void TestLineModulesForm::pageActions_data()
{
    QTest::addColumn<QStringList>("state");
    QTest::addColumn<QStringList>("enabled");

    const QString all = QStringLiteral("clear find start serialGroupEnabled");
    auto row = [](const char *name, const QString &state, const QString &enabled) {
        QTest::newRow(name) << state.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                            << enabled.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    };
    row("offline", QString(), QString());
    row("connected", QStringLiteral("connected"), all);
    row("client task running", QStringLiteral("connected busy"), QString());
    row("waiting for the controller", QStringLiteral("connected waiting mode allowed"), QString());
    row("mode on: no second start", QStringLiteral("connected mode"),
        QStringLiteral("clear stop serialGroupEnabled"));
    row("mode on, change allowed", QStringLiteral("connected mode allowed"),
        QStringLiteral("clear setAddr stop serialGroupEnabled"));
    row("mode on, busy", QStringLiteral("connected busy mode allowed"), QString());
    row("mode on, group", QStringLiteral("connected mode table group"),
        QStringLiteral("clear stop modCount serialGroupEnabled"));
    row("mode on, typed module", QStringLiteral("connected mode typed"),
        QStringLiteral("clear stop moduleInfo serialGroupEnabled"));
    row("group box only in the mode", QStringLiteral("connected group typed"), all);
    row("serial number: one module", QStringLiteral("connected serialOption oneModule serialOk"),
        all + QStringLiteral(" serialGroup setSerial"));
    row("serial number: not with more modules", QStringLiteral("connected serialOption serialOk"),
        all + QStringLiteral(" setSerial"));
    row("serial number: not without the option", QStringLiteral("connected oneModule serialOk"),
        all + QStringLiteral(" setSerial"));
    row("serial number: not in the mode", QStringLiteral("connected mode serialOption oneModule"),
        QStringLiteral("clear stop serialGroupEnabled"));
    row("serial number: incomplete", QStringLiteral("connected serialOption oneModule"),
        all + QStringLiteral(" serialGroup"));
}

void TestLineModulesForm::pageActions()
{
    QFETCH(QStringList, state);
    QFETCH(QStringList, enabled);
    QStringList actual = actionNames(lineModulesPageActions(pageState(state)));
    actual.sort();
    enabled.sort();
    QCOMPARE(actual, enabled);
}

void TestLineModulesForm::addressChangeRule_data()
{
    QTest::addColumn<QList<int>>("occupied");
    QTest::addColumn<int>("selection");
    QTest::addColumn<int>("stored");    // A
    QTest::addColumn<int>("current");   // B
    QTest::addColumn<int>("target");    // V
    QTest::addColumn<int>("groupSize"); // 0: single change
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("groupEnd");

    const QList<int> block = {8, 9, 10};
    QTest::newRow("new module, new address") << block << 0 << 0 << 0 << 30 << 0 << true << 0;
    QTest::newRow("new module, its own address") << block << 0 << 0 << 30 << 30 << 0 << false << 0;
    QTest::newRow("no address: only the stored one") << block << 0 << 10 << 0 << 10 << 0 << true << 0;
    QTest::newRow("no address: another") << block << 0 << 10 << 0 << 11 << 0 << false << 0;
    QTest::newRow("magnet: the same address") << block << 0 << 10 << 10 << 10 << 0 << false << 0;
    QTest::newRow("table: the same address again") << block << 1 << 10 << 10 << 10 << 0 << true << 0;
    QTest::newRow("to a free address") << block << 1 << 10 << 10 << 30 << 0 << true << 0;
    QTest::newRow("to an occupied address") << block << 1 << 10 << 10 << 9 << 0 << false << 0;
    QTest::newRow("group up to free addresses") << block << 1 << 10 << 10 << 20 << 3 << true << 8;
    QTest::newRow("group blocked by another module") << (QList<int>(block) << 19) << 1 << 10 << 10 << 20 << 3 << false << 8;
    QTest::newRow("group onto itself") << block << 1 << 10 << 10 << 11 << 3 << true << 8;
    QTest::newRow("group down") << QList<int>{10, 11, 12} << 1 << 10 << 10 << 5 << 3 << true << 12;
    QTest::newRow("group walk leaves the line") << QList<int>{1, 2} << 1 << 2 << 2 << 5 << 3 << true << 1;
    QTest::newRow("group at its own address") << block << 1 << 10 << 10 << 10 << 3 << true << 10;
}

void TestLineModulesForm::addressChangeRule()
{
    QFETCH(QList<int>, occupied);
    QFETCH(int, selection);
    QFETCH(int, stored);
    QFETCH(int, current);
    QFETCH(int, target);
    QFETCH(int, groupSize);
    QFETCH(bool, enabled);
    QFETCH(int, groupEnd);

    QSet<quint16> freeAddresses;
    for (quint16 a = 1; a <= 500; ++a) {
        if (!occupied.contains(a))
            freeAddresses.insert(a);
    }
    AddressChangeQuery q;
    q.moduleType = SECT_ACC;
    q.moduleSerial = 77;
    q.storedAddress = quint16(stored);
    q.moduleAddress = quint16(current);
    q.newAddress = quint16(target);
    q.selectionMode = selection;
    q.group = groupSize > 0;
    q.groupSize = groupSize;
    const AddressChangeRule rule = ::addressChangeRule(q, freeAddresses);
    QCOMPARE(rule.enabled, enabled);
    QCOMPARE(int(rule.groupEnd), groupEnd);

    q.moduleSerial = 0;
    QVERIFY(!::addressChangeRule(q, freeAddresses).enabled);
}

// ---------------------------------------------------------------- the page

void TestLineModulesForm::tableFiltersAndCounters()
{
    appSettings->setValue(QStringLiteral("LineModulesForm/HideEmptyLines"), true);
    Rig rig;
    QVERIFY(rig.ready);
    QTableView *table = rig.table();

    QCOMPARE(rig.w<QLabel>("lblModulesCount")->text(), QStringLiteral("30"));
    QCOMPARE(rig.w<QLabel>("lblSensorsCount")->text(), QStringLiteral("24"));
    QCOMPARE(rig.w<QLabel>("lblIoModulesCount")->text(), QStringLiteral("4"));
    QCOMPARE(rig.w<QLabel>("lblScpModulesCount")->text(), QStringLiteral("2"));
    // The remembered choice hides the free addresses from the start, and the
    // read selected the first row.
    QCOMPARE(table->model()->rowCount(), 30);
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table->currentIndex().row(), 0);

    rig.selectInCombo("cbFilter", 1);
    QCOMPARE(table->model()->rowCount(), 24);
    QTest::mouseClick(rig.w<QCheckBox>("ckHideEmpty"), Qt::LeftButton);
    QCOMPARE(table->model()->rowCount(), 24 + 470);
    QCOMPARE(appSettings->value(QStringLiteral("LineModulesForm/HideEmptyLines")).toBool(), false);
    rig.selectInCombo("cbFilter", 3);
    QCOMPARE(table->model()->rowCount(), 2 + 470);

    // Serial numbers sort by value: the I/O modules (year 23) before the sensors (year 24).
    QTest::mouseClick(rig.w<QCheckBox>("ckHideEmpty"), Qt::LeftButton);
    rig.selectInCombo("cbFilter", 0);
    table->sortByColumn(2, Qt::DescendingOrder);
    QCOMPARE(table->model()->index(0, 0).data().toInt(), 24);
    QCOMPARE(table->model()->index(29, 0).data().toInt(), 301);
}

void TestLineModulesForm::contextMenu_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("status1");   // 0x04: excluded from processing
    QTest::addColumn<int>("status0");   // 0x01: no link
    QTest::addColumn<QStringList>("items");

    const QString config = QStringLiteral("Конфигурация модуля");
    const QString processing = QStringLiteral("Параметры обработки");
    const QString remove = QStringLiteral("Удалить модуль");
    QTest::newRow("free address: no menu") << 100 << 0 << 0 << QStringList();
    QTest::newRow("sensor") << 6 << 0 << 0 << QStringList{config, processing};
    QTest::newRow("sensor without a link") << 6 << 0 << 0x01 << QStringList{config, processing, remove};
    QTest::newRow("input/output module excluded") << 202 << 0x04 << 0 << QStringList{config, remove};
    QTest::newRow("line-protection module") << 302 << 0 << 0 << QStringList{config};
}

void TestLineModulesForm::contextMenu()
{
    QFETCH(int, address);
    QFETCH(int, status1);
    QFETCH(int, status0);
    QFETCH(QStringList, items);

    Rig rig;
    QVERIFY(rig.ready);
    rig.pc.client.lineModulesModel()->setModuleState(quint16(address), quint8(status0), quint8(status1), 0);
    const LineModuleRecord module = rig.pc.client.lineModulesModel()->moduleAt(quint16(address));
    QTableView *table = rig.table();
    table->setCurrentIndex(rig.shownIndex(quint16(address), 0));

    QSignalSpy jumped(rig.page.get(), &LineModulesForm::jumpToModuleConfig);
    const QStringList shown = contextMenuTexts(table, [](QMenu *menu) {
        menuAction(menu, QStringLiteral("Конфигурация модуля"))->trigger();
    });
    QCOMPARE(shown, items);
    if (items.isEmpty())
        return;
    QCOMPARE(jumped.size(), 1);
    QCOMPARE(jumped.first().at(0).value<uchar>(), module.deviceType);
    QCOMPARE(jumped.first().at(1).value<ushort>(), module.tableIndex);

    if (!items.contains(QStringLiteral("Удалить модуль")))
        return;
    // Deleting asks first; No keeps the module, Yes removes it everywhere.
    WindowTest::MessageBoxRecorder boxes(QMessageBox::No);
    const auto remove = [](QMenu *menu) { menuAction(menu, QStringLiteral("Удалить модуль"))->trigger(); };
    contextMenuTexts(table, remove);
    QCOMPARE(boxes.asked.size(), 1);
    QVERIFY(boxes.asked.first().text.startsWith(QStringLiteral("<p>Удалить модуль из конфигурации ЦУ-Л?")));
    QCOMPARE(rig.pc.client.lineModulesModel()->moduleAt(quint16(address)).deviceType, module.deviceType);

    boxes.setAnswer(QMessageBox::Yes);
    QSignalSpy written(&rig.pc.client, &LantrelClient::writeFinished);
    contextMenuTexts(table, remove);
    QCOMPARE(rig.pc.client.lineModulesModel()->moduleAt(quint16(address)).deviceType, quint8(0));
    QVERIFY(written.wait(LongWaitMs));
    QCOMPARE(rig.invariants(), QStringList());
    QCOMPARE(fakeTablesDiffer(rig.pc.fake, rig.pc.client), QStringList());
}

void TestLineModulesForm::clearModules_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("modulesLeft");
    QTest::newRow("refused") << int(QMessageBox::No) << 30;
    QTest::newRow("cleared") << int(QMessageBox::Yes) << 0;
}

void TestLineModulesForm::clearModules()
{
    QFETCH(int, answer);
    QFETCH(int, modulesLeft);
    Rig rig;
    QVERIFY(rig.ready);
    WindowTest::MessageBoxRecorder boxes{QMessageBox::StandardButton(answer)};
    QSignalSpy written(&rig.pc.client, &LantrelClient::writeFinished);
    rig.click("btnClearModules");
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked.first().title, QStringLiteral("Очистка конфигурации"));
    if (modulesLeft == 0)
        QVERIFY(written.wait(LongWaitMs));
    QCOMPARE(rig.w<QLabel>("lblModulesCount")->text(), QString::number(modulesLeft));
    QCOMPARE(rig.pc.fake.lineConfig().SensorCount, modulesLeft == 0 ? 0 : 24);
    QCOMPARE(fakeTablesDiffer(rig.pc.fake, rig.pc.client), QStringList());
}

// The search is the controller's command; the client reads the modules again after it.
void TestLineModulesForm::findModules()
{
    Rig rig;
    QVERIFY(rig.ready);
    QSignalSpy started(&rig.pc.fake, &FakeController::commandStarted);
    rig.click("btnFindModules");
    QVERIFY(started.wait(5000));
    QCOMPARE(started.first().first().toInt(), int(RD_SETT_SECT));
}

void TestLineModulesForm::serialNumberChange_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<int>("sensors");
    QTest::addColumn<bool>("offered");
    QTest::newRow("one module") << true << 1 << true;
    QTest::newRow("more modules") << true << 2 << false;
    QTest::newRow("option off") << false << 1 << false;
}

void TestLineModulesForm::serialNumberChange()
{
    QFETCH(bool, option);
    QFETCH(int, sensors);
    QFETCH(bool, offered);
    appSettings->setValue(QStringLiteral("Common/EnableChangeSerial"), option);
    Rig rig(sensors, 0, 0);
    QVERIFY(rig.ready);
    auto *group = rig.w<QGroupBox>("gbSerialNumber");
    QCOMPARE(group->isVisible(), offered);
    if (!offered)
        return;

    auto *edit = rig.w<QLineEdit>("edtNewSerialNo");
    QTest::keyClicks(edit, QStringLiteral("77.2"));
    QVERIFY(!rig.button("btnSetSerialNumber")->isEnabled());
    QTest::keyClicks(edit, QStringLiteral("5"));
    QVERIFY(rig.button("btnSetSerialNumber")->isEnabled());
    rig.click("btnSetSerialNumber");
    // The module at the selected row (address 1) takes the new number.
    QVERIFY(waitFor([&]() { return commandCount(rig.pc.fake, SET_MOD_SERIAL) == 1; }));
    QVERIFY(waitFor([&]() { return lineAddressOnFake(rig.pc.fake, serialOf(25, 77)) == 1; }));
}

// ---------------------------------------------------------------- addressing mode

void TestLineModulesForm::addressing_data()
{
    QTest::addColumn<int>("selection");
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<quint8>("type");
    QTest::addColumn<int>("storedAt");  // 0: not in the configuration
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");  // a part of the text asked; empty: none
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("configChanges");

    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const QString move = QStringLiteral("сохранен в конфигурации ИОП с адресом <b>6</b>.<br/>При изменении адреса "
                                        "модуля будут удалены взаимодействия, связанные со  старым адресом. Также будут "
                                        "установлены значения по умолчанию для параметров обработки.</p>");
    const QString replace = QStringLiteral("адрес <b>6</b> занят модулем с серийным номером <b>%1</b>")
                                .arg(serialNumberToString(sensorAt(6)));
    const QString otherKind = QStringLiteral("адрес <b>201</b> занят модулем ПС-Л");
    const quint8 s = SECT_ACC;

    QTest::newRow("new module, free address: added") << int(Typed) << NewSensor << s << 0 << 30 << yes << QString() << true << true;
    QTest::newRow("new module by magnet: added") << int(ByMagnet) << NewIrSensor << quint8(SECT_ACCI) << 0 << 31 << yes << QString() << true << true;
    QTest::newRow("stored module, free address: moved") << int(FromTable) << sensorAt(6) << s << 6 << 40 << yes << move << true << true;
    QTest::newRow("move refused") << int(FromTable) << sensorAt(6) << s << 6 << 40 << no << move << true << false;
    QTest::newRow("new module, occupied address: replaced") << int(Typed) << NewSensor << s << 0 << 6 << yes << replace << true << true;
    QTest::newRow("replace refused") << int(Typed) << NewSensor << s << 0 << 6 << no << replace << true << false;
    QTest::newRow("stored module, occupied address") << int(Typed) << sensorAt(6) << s << 6 << 7 << yes << QString() << false << false;
    QTest::newRow("stored module, its own address again") << int(FromTable) << sensorAt(6) << s << 6 << 6 << yes << QString() << true << false;
    QTest::newRow("another kind at the address: deleted and added") << int(Typed) << NewSensor << s << 0 << 201 << yes << otherKind << true << true;
    QTest::newRow("another kind, refused") << int(Typed) << NewSensor << s << 0 << 201 << no << otherKind << true << false;
}

void TestLineModulesForm::addressing()
{
    QFETCH(int, selection);
    QFETCH(quint32, serial);
    QFETCH(quint8, type);
    QFETCH(int, storedAt);
    QFETCH(int, target);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(bool, enabled);
    QFETCH(bool, configChanges);

    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    QVERIFY(rig.startMode(Selection(selection)));
    QVERIFY(rig.pickModule(Selection(selection), serial, type, quint16(storedAt)));
    rig.setNewAddress(target);
    QCOMPARE(rig.button("btnSetAddr")->isEnabled(), enabled);
    if (!enabled)
        return;

    const auto before = lineSnapshot(client);
    const quint16 lineAddressBefore = lineAddressOnFake(rig.pc.fake, serial);
    const LineModuleRecord occupant = client.lineModulesModel()->moduleAt(quint16(target));
    WindowTest::MessageBoxRecorder boxes{QMessageBox::StandardButton(answer)};
    QSignalSpy written(&client, &LantrelClient::writeFinished);
    rig.click("btnSetAddr");

    QCOMPARE(boxes.asked.size(), question.isEmpty() ? 0 : 1);
    if (!question.isEmpty())
        QVERIFY2(boxes.asked.first().text.contains(question), qPrintable(boxes.asked.first().text));
    const bool sent = answer == QMessageBox::Yes || question.isEmpty();
    QCOMPARE(lineAddressOnFake(rig.pc.fake, serial), sent ? quint16(target) : lineAddressBefore);

    const auto after = lineSnapshot(client);
    if (configChanges) {
        QCOMPARE(after.at(target - 1), qMakePair(int(type), serial));
        if (storedAt != 0)
            QCOMPARE(after.at(storedAt - 1).first, 0);
        // Nothing else changed in the line table.
        for (int a = 1; a <= 500; ++a) {
            if (a != target && a != storedAt)
                QCOMPARE(after.at(a - 1), before.at(a - 1));
        }
        if (occupant.deviceType == SECT_MVV) {
            // The deletion writes its tables at once.
            QCOMPARE(client.controllerConfigModel()->lineConfig.IoCount, quint16(3));
            QVERIFY(written.size() == 1 || written.wait(LongWaitMs));
        }
    } else {
        QCOMPARE(after, before);
    }
    if (sent)
        QCOMPARE(rig.w<QLabel>("lblModAddr")->text(), QString::number(target));
    QCOMPARE(rig.invariants(), QStringList());
    QCOMPARE(rig.writtenTablesDiffer(), QStringList());
}

void TestLineModulesForm::groupShift_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("failingMember");  // -1: none
    QTest::addColumn<int>("moved");
    QTest::newRow("whole group") << int(QMessageBox::Yes) << -1 << 3;
    QTest::newRow("refused") << int(QMessageBox::No) << -1 << 0;
    QTest::newRow("second module refuses its address") << int(QMessageBox::Yes) << 1 << 1;
}

// The modules at 10, 9 and 8 (two of them sources of interactions) go to 40,
// 39 and 38; then the selected module alone moves on to 45.
void TestLineModulesForm::groupShift()
{
    QFETCH(int, answer);
    QFETCH(int, failingMember);
    QFETCH(int, moved);

    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    const QList<quint16> from = {10, 9, 8};
    const QList<quint16> to = {40, 39, 38};
    int identityRequests = 0;
    connect(&fake, &FakeController::commandStarted, this, [&](int code) {
        // The member's address is refused after the earlier members were done.
        if (code == CMD_EN_RID_ID && ++identityRequests == failingMember)
            fake.failCommand(WR_ADDR_SECT);
    });

    QVERIFY(rig.startMode(FromTable));
    QTest::mouseClick(rig.w<QCheckBox>("ckAllowGroup"), Qt::LeftButton);
    rig.w<QSpinBox>("edtModCount")->setValue(3);
    QVERIFY(rig.pickModule(FromTable, sensorAt(10), sensorTypeAt(10), 10));
    rig.setNewAddress(40);
    QVERIFY(rig.button("btnSetAddr")->isEnabled());

    const auto before = lineSnapshot(client);
    WindowTest::MessageBoxRecorder boxes{QMessageBox::StandardButton(answer)};
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 1);
    QVERIFY(boxes.asked.first().text.contains(QStringLiteral("модулей: <b>9, 8</b>")));
    QCOMPARE(commandCount(fake, WR_ADDR_SECT), answer == QMessageBox::Yes ? qMin(moved + 1, 3) : 0);

    const auto after = lineSnapshot(client);
    for (int k = 0; k < 3; ++k) {
        const auto module = before.at(from[k] - 1);
        const bool done = k < moved;
        QCOMPARE(after.at((done ? to[k] : from[k]) - 1), module);
        QCOMPARE(after.at((done ? from[k] : to[k]) - 1).first, 0);
        QCOMPARE(lineAddressOnFake(fake, module.second), done ? to[k] : from[k]);
    }
    QCOMPARE(rig.invariants(), QStringList());

    // The page took the selected module where the tables hold it now: the
    // next single change moves that module, and only it.
    const quint16 selectedAt = moved > 0 ? 40 : 10;
    QCOMPARE(rig.w<QLabel>("lblModAddr")->text(), QString::number(selectedAt));
    QTest::mouseClick(rig.w<QCheckBox>("ckAllowGroup"), Qt::LeftButton);
    rig.setNewAddress(45);
    boxes.setAnswer(QMessageBox::Yes);
    fake.clearCommands();
    rig.click("btnSetAddr");
    QCOMPARE(commandCount(fake, WR_ADDR_SECT), 1);
    const auto last = lineSnapshot(client);
    QCOMPARE(last.at(45 - 1), before.at(10 - 1));
    QCOMPARE(last.at(selectedAt - 1).first, 0);
    for (int a = 1; a <= 500; ++a) {
        if (a != 45 && a != selectedAt)
            QCOMPARE(last.at(a - 1), after.at(a - 1));
    }
    QCOMPARE(rig.invariants(), QStringList());
    QCOMPARE(rig.writtenTablesDiffer(), QStringList());
}

void TestLineModulesForm::waitsEnd_data()
{
    QTest::addColumn<bool>("starting");     // the wait for the start, else for an address
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("modeAfter");
    QTest::addColumn<bool>("warned");

    QTest::newRow("start refused") << true << QStringLiteral("refuse") << false << false;
    QTest::newRow("start, link lost") << true << QStringLiteral("link") << false << false;
    QTest::newRow("start, no answer") << true << QStringLiteral("silent") << false << true;
    QTest::newRow("address refused") << false << QStringLiteral("refuse") << true << false;
    QTest::newRow("address, link lost") << false << QStringLiteral("link") << false << false;
    QTest::newRow("address, controller restarted") << false << QStringLiteral("restart") << false << false;
    QTest::newRow("address, no answer") << false << QStringLiteral("silent") << true << true;
}

void TestLineModulesForm::waitsEnd()
{
    QFETCH(bool, starting);
    QFETCH(QString, fault);
    QFETCH(bool, modeAfter);
    QFETCH(bool, warned);

    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    LineModulesForm::setAnswerTimeoutMs(500);
    if (!starting) {
        QVERIFY(rig.startMode(Typed));
        QVERIFY(rig.pickModule(Typed, NewSensor, SECT_ACC, 0));
        rig.setNewAddress(30);
    }

    const int code = starting ? SET_KONF_SECT : WR_ADDR_SECT;
    if (fault == QStringLiteral("refuse"))
        fake.failCommand(code);
    else
        fake.setCommandBusyTime(code, fault == QStringLiteral("silent") ? -1 : 3000);
    connect(&fake, &FakeController::commandStarted, this, [&](int started) {
        if (started != code)
            return;
        // Not while the fake is still answering the request that started it.
        if (fault == QStringLiteral("link")) {
            QTimer::singleShot(0, &fake, [&fake]() {
                fake.refuseConnections(60000);
                fake.dropConnections();
            });
        } else if (fault == QStringLiteral("restart")) {
            QTimer::singleShot(0, &client, [&client]() { emit client.deviceRebooted(); });
        }
    });

    const auto before = lineSnapshot(client);
    WindowTest::MessageBoxRecorder boxes;
    QElapsedTimer clock;
    clock.start();
    rig.click(starting ? "btnModuleAddressing" : "btnSetAddr");
    QVERIFY(clock.elapsed() < 15000);

    // The link may be reported lost just after the wait ended on the failed request.
    QTRY_COMPARE_WITH_TIMEOUT(rig.modeShown(), modeAfter, 5000);
    QCOMPARE(boxes.asked.size(), warned ? 1 : 0);
    if (warned)
        QCOMPARE(boxes.asked.first().icon, QMessageBox::Warning);
    QCOMPARE(lineSnapshot(client), before);
    QCOMPARE(rig.invariants(), QStringList());
    // The page waits no more: with the link up it offers its actions again.
    const bool linkUp = fault != QStringLiteral("link");
    QCOMPARE(rig.button("btnModuleAddressing")->isEnabled(), linkUp && !modeAfter);
    QCOMPARE(rig.button("btnStopAddressing")->isEnabled(), linkUp && modeAfter);
}

// The line entered the configuration mode after the page had stopped
// waiting: the next start takes the mode as it is, since the client does not
// announce it twice.
void TestLineModulesForm::startAnsweredAfterTheLimit()
{
    Rig rig;
    QVERIFY(rig.ready);
    FakeController &fake = rig.pc.fake;
    LineModulesForm::setAnswerTimeoutMs(300);
    fake.setCommandBusyTime(SET_KONF_SECT, 1500);
    WindowTest::MessageBoxRecorder boxes;
    QVERIFY(!rig.startMode(Typed));
    QCOMPARE(boxes.asked.size(), 1);
    QSignalSpy started(&rig.pc.client, &LantrelClient::addressModeStarted);
    QVERIFY(started.wait(LongWaitMs));

    LineModulesForm::setAnswerTimeoutMs(m_defaultTimeout);
    QVERIFY(rig.startMode(Typed));
    QCOMPARE(commandCount(fake, SET_KONF_SECT), 1);
    QVERIFY(rig.pickModule(Typed, NewSensor, SECT_ACC, 0));
    rig.setNewAddress(30);
    QVERIFY(rig.button("btnSetAddr")->isEnabled());
    rig.click("btnSetAddr");
    QCOMPARE(rig.pc.client.lineModulesModel()->moduleAt(30).serialNumber, NewSensor);
}

// "Не показывать больше в этом сеансе" holds until the mode ends; ending the
// mode asks first when modules were changed, and restarts the controller.
void TestLineModulesForm::questionsSkippedUntilTheModeEnds()
{
    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    QVERIFY(rig.startMode(FromTable));

    // Refused, but the box was checked: the move is not done now ...
    UiSeams::setCheckBoxHandler([](const QString &text) {
        return text == QStringLiteral("Не показывать больше в этом сеансе");
    });
    WindowTest::MessageBoxRecorder boxes(QMessageBox::No);
    QVERIFY(rig.pickModule(FromTable, sensorAt(6), sensorTypeAt(6), 6));
    rig.setNewAddress(40);
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(client.lineModulesModel()->moduleAt(6).serialNumber, sensorAt(6));
    // ... and the next one goes ahead without the question.
    UiSeams::setCheckBoxHandler({});
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(client.lineModulesModel()->moduleAt(40).serialNumber, sensorAt(6));
    QVERIFY(client.lineModulesChanged());

    // Ending with changes asks; No keeps the mode.
    rig.click("btnStopAddressing");
    QCOMPARE(boxes.asked.size(), 2);
    QVERIFY(boxes.asked.last().text.contains(QStringLiteral("Конфигурация линейных модулей была изменена")));
    QVERIFY(rig.modeShown());
    QCOMPARE(fake.restartCount(), 0);

    QSignalSpy rebooted(&client, &LantrelClient::deviceRebooted);
    boxes.setAnswer(QMessageBox::Yes);
    rig.click("btnStopAddressing");
    QCOMPARE(boxes.asked.size(), 3);
    QVERIFY(rebooted.wait(LongWaitMs));
    QCOMPARE(fake.restartCount(), 1);
    QVERIFY(!rig.modeShown());
    QTRY_VERIFY_WITH_TIMEOUT(rig.button("btnModuleAddressing")->isEnabled(), 5000);

    // A new run asks again; ending it without changes asks nothing.
    QVERIFY(rig.startMode(FromTable));
    QVERIFY(rig.pickModule(FromTable, sensorAt(7), sensorTypeAt(7), 7));
    rig.setNewAddress(41);
    boxes.setAnswer(QMessageBox::No);
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 4);
    QVERIFY(!client.lineModulesChanged());
    rig.click("btnStopAddressing");
    QCOMPARE(boxes.asked.size(), 4);
    QTRY_COMPARE_WITH_TIMEOUT(fake.restartCount(), 2, 5000);
}

QTEST_MAIN(TestLineModulesForm)
#include "tst_linemodulesform.moc"
