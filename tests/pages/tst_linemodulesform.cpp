// Line modules page against the fake line controller: the enable rules as
// tables, the table with its filters and counters, and the module actions.

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "appglobals.h"
#include "controllerconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "linemodulespagerig.h"
#include "linemodulesrules.h"
#include "sensorsconfigmodel.h"

using namespace LineModulesTest;

namespace {

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

    void pageActions_data();
    void pageActions();
    void addressChangeRule_data();
    void addressChangeRule();

    void tableFiltersAndCounters();
    void contextMenu_data();
    void contextMenu();
    void deletionSendsUnsentEdits_data();
    void deletionSendsUnsentEdits();
    void clearModules_data();
    void clearModules();
    void findModules();
    void serialNumberChange_data();
    void serialNumberChange();

private:
    QTemporaryDir m_dir;
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

// The deletion writes its tables at once: unsent edits in them go too, and
// the question says so; those elsewhere stay unsent, and marked so.
void TestLineModulesForm::deletionSendsUnsentEdits_data()
{
    QTest::addColumn<QStringList>("edits");   // "sensor" (another sensor), "line mode", "controller", "io"
    QTest::addColumn<QString>("named");       // what the question says goes too; empty: nothing is said
    QTest::addColumn<bool>("unsentAfter");

    const QString sensors = QStringLiteral("таблица модулей ВТ-Л и ВС-Л");
    QTest::newRow("no edits") << QStringList() << QString() << false;
    QTest::newRow("another sensor") << QStringList{"sensor"} << sensors << false;
    QTest::newRow("line mode") << QStringList{"line mode"} << QStringLiteral("параметры линии") << false;
    QTest::newRow("controller page") << QStringList{"controller"} << QString() << true;
    QTest::newRow("input/output module") << QStringList{"io"} << QString() << true;
    QTest::newRow("another sensor and controller page") << QStringList{"sensor", "controller"} << sensors << true;
}

void TestLineModulesForm::deletionSendsUnsentEdits()
{
    QFETCH(QStringList, edits);
    QFETCH(QString, named);
    QFETCH(bool, unsentAfter);

    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    const quint16 deleted = 6;
    const quint16 sensorRow = client.lineModulesModel()->moduleAt(9).tableIndex;
    const quint16 ioRow = client.lineModulesModel()->moduleAt(202).tableIndex;
    const quint8 adaptive = fake.sensors().at(sensorRow).DAF;
    const quint8 lineMode = fake.lineConfig().LineMode;
    const QByteArray controllerBefore = fake.fileBytes(3);
    const QByteArray ioBefore = fake.fileBytes(15);

    ControllerConfigModel *settings = client.controllerConfigModel();
    if (edits.contains(QStringLiteral("sensor"))) {
        SensorsConfigModel *model = client.sensorsConfigModel();
        QVERIFY(model->setData(model->index(sensorRow, SensorsConfigModel::AdaptiveColumn), adaptive ? 0 : 1));
    }
    if (edits.contains(QStringLiteral("line mode")))
        settings->setData(ControllerConfigModel::LineModeParam, lineMode ? 0 : 1, Qt::EditRole);
    if (edits.contains(QStringLiteral("controller")))
        settings->setData(ControllerConfigModel::TSignParam, settings->deviceConfig.TSign == 7 ? 8 : 7, Qt::EditRole);
    if (edits.contains(QStringLiteral("io"))) {
        IoModulesConfigModel *model = client.ioModulesConfigModel();
        const QModelIndex contact = model->index(ioRow, IoModulesConfigModel::RelayContactColumn);
        QVERIFY(model->setData(contact, model->data(contact, Qt::EditRole).toUInt() ? 0 : 1));
    }
    QCOMPARE(client.hasUnsentEdits(), !edits.isEmpty());

    client.lineModulesModel()->setModuleState(deleted, 0x01, 0, 0);
    rig.table()->setCurrentIndex(rig.shownIndex(deleted, 0));
    WindowTest::MessageBoxRecorder boxes(QMessageBox::Yes);
    QSignalSpy written(&client, &LantrelClient::writeFinished);
    contextMenuTexts(rig.table(), [](QMenu *menu) { menuAction(menu, QStringLiteral("Удалить модуль"))->trigger(); });
    QCOMPARE(boxes.asked.size(), 1);
    const QString question = boxes.asked.first().text;
    QVERIFY(question.startsWith(QStringLiteral("<p>Удалить модуль из конфигурации ЦУ-Л?")));
    if (named.isEmpty()) {
        QVERIFY2(!question.contains(QStringLiteral("будут переданы")), qPrintable(question));
    } else {
        QVERIFY2(question.contains(QStringLiteral("будут переданы")), qPrintable(question));
        QVERIFY2(question.contains(named), qPrintable(question));
    }
    QVERIFY(written.wait(LongWaitMs));
    QCOMPARE(client.lineModulesModel()->moduleAt(deleted).deviceType, quint8(0));

    // What reached the controller: the tables the deletion wrote, as the
    // window holds them; nothing else.
    // The rows after the deleted one moved up.
    int sensorAfter = -1;
    const auto sensorsAfter = fake.sensors();
    for (int k = 0; k < sensorsAfter.size() && sensorAfter < 0; ++k)
        sensorAfter = sensorsAfter.at(k).LineAddr == 9 ? k : -1;
    QVERIFY(sensorAfter >= 0);
    QCOMPARE(sensorsAfter.at(sensorAfter).DAF, quint8(edits.contains(QStringLiteral("sensor")) ? !adaptive : adaptive));
    QCOMPARE(fake.lineConfig().LineMode,
             quint8(edits.contains(QStringLiteral("line mode")) ? (lineMode ? 0 : 1) : lineMode));
    QCOMPARE(fake.fileBytes(3), controllerBefore);
    QCOMPARE(fake.fileBytes(15), ioBefore);
    QCOMPARE(fakeTablesDiffer(fake, client), QStringList());
    QCOMPARE(client.hasUnsentEdits(), unsentAfter);
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

QTEST_MAIN(TestLineModulesForm)
#include "tst_linemodulesform.moc"
