// The input/output modules page on a table filled from a fixture: the
// table's shape, cell edits through the delegates, the group panel and its
// enable rules, the first-row selection and the jump; and a round trip
// through the fake line controller.

#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QtTest>

#include "appcontext.h"
#include "iomodulesconfigform.h"
#include "iomodulerecords.h"
#include "iomodulesconfigmodel.h"
#include "pagetestsupport.h"
#include "spannedheaderview.h"

using namespace PageTest;

namespace {

using Model = IoModulesConfigModel;

IoModuleRecord ioModule(quint16 address, quint8 config, quint8 time)
{
    return IoModuleTest::record(address, 5000u + address, config, time);
}

// Five modules at line addresses 10, 20, ... 50.
const quint8 FixtureConfig[] = {0x00, 0xFF, 0x50, 0x92, 0x60};

struct Page
{
    explicit Page(QObject *owner, int modules = 5, bool showModuleNumbers = false)
        : env(owner)
        , numbersSet(setShowModuleNumbers(showModuleNumbers))
    {
        for (int i = 0; i < modules; ++i)
            model()->setModule(ushort(i), ioModule(quint16(10 * (i + 1)), FixtureConfig[i], quint8(i)));
        form.resize(900, 500);
        form.show();
        emit env.client.datasetChanged();
    }

    Model *model() const { return env.client.ioModulesConfigModel(); }
    QTableView *table() const { return form.findChild<QTableView *>(QStringLiteral("tableView")); }
    template <typename T>
    T *widget(const char *name) const { return form.findChild<T *>(QLatin1String(name)); }

    static bool setShowModuleNumbers(bool show)
    {
        appSettings->setValue(QStringLiteral("Common/ShowModuleNumber"), show);
        return show;
    }

    Environment env;
    bool numbersSet; // before the form reads it
    IoModulesConfigForm form;
};

} // namespace

class TestIoModulesConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void tableShowsModulesOnly();
    void rowNumbersFollowTheSetting();
    void firstRowSelectedAfterRead();
    void cellEdits_data();
    void cellEdits();
    void readOnlyCellsOpenNoEditor();
    void editorsLoadedOncePerRow();
    void groupApply_data();
    void groupApply();
    void groupApplyTouchesSelectedRowsOnly();
    void groupPanelRules_data();
    void groupPanelRules();
    void buttonsFollowThePage();
    void jumpToModule_data();
    void jumpToModule();
    void editsReachTheControllerAndComeBack();
    void editsWhileConfigurationTaskRuns_data();
    void editsWhileConfigurationTaskRuns();
    void flashSaveSendsOpenEditor();
};

void TestIoModulesConfigForm::tableShowsModulesOnly()
{
    Page p(this);
    QTableView *table = p.table();
    QCOMPARE(table->model()->rowCount(), 5);
    QCOMPARE(table->model()->index(1, Model::Loop1ModeColumn).data(Qt::DisplayRole).toInt(), 3);
    auto *header = qobject_cast<SpannedHeaderView *>(table->horizontalHeader());
    QVERIFY(header);
    QVERIFY(!header->sectionsClickable());
    QVERIFY(!table->verticalHeader()->isVisible());
    // The spanned caption is there: the header is taller than one caption line.
    QVERIFY(header->height() > 2 * header->fontMetrics().height());
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(table->selectionMode(), QAbstractItemView::ExtendedSelection);
}

void TestIoModulesConfigForm::rowNumbersFollowTheSetting()
{
    Page p(this, 5, true);
    QTableView *table = p.table();
    QVERIFY(table->verticalHeader()->isVisible());
    QCOMPARE(table->model()->headerData(0, Qt::Vertical).toInt(), 1);
    QCOMPARE(table->model()->headerData(2, Qt::Vertical).toInt(), 3);
}

void TestIoModulesConfigForm::firstRowSelectedAfterRead()
{
    Page p(this, 0);
    QTableView *table = p.table();
    QVERIFY(!table->selectionModel()->hasSelection());
    QVERIFY(!p.widget<QPushButton>("btnGroupTuning")->isEnabled());

    p.model()->setModule(0, ioModule(7, 0, 0));
    p.model()->setModule(1, ioModule(8, 0, 0));
    emit p.env.client.datasetChanged();
    QCOMPARE(selectedRows(table), QList<int>{0});
    QVERIFY(p.widget<QPushButton>("btnGroupTuning")->isEnabled());

    // An existing selection stays.
    clickCell(table, 1);
    emit p.env.client.datasetChanged();
    QCOMPARE(selectedRows(table), QList<int>{1});
}

void TestIoModulesConfigForm::cellEdits_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("value");   // a dictionary code, or the number typed
    QTest::addColumn<int>("config");  // configuration byte afterwards
    QTest::addColumn<QString>("shown");

    // Row 1 holds 0xFF, row 2 holds 0x50.
    QTest::newRow("loop 1 fault") << 1 << int(Model::Loop1ModeColumn) << 2 << 0xE2 << "неисправность";
    QTest::newRow("loop 2 off") << 1 << int(Model::Loop2ModeColumn) << 0 << 0x32 << "отключено";
    QTest::newRow("relay normally closed") << 2 << int(Model::RelayContactColumn) << 1 << 0x52
                                           << "нормально замкнутое";
    QTest::newRow("hold time") << 2 << int(Model::RelayTimeColumn) << 137 << 0x50 << "137";
}

void TestIoModulesConfigForm::cellEdits()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, value);
    QFETCH(int, config);
    QFETCH(QString, shown);

    Page p(this);
    const IoModuleRecord before = p.model()->moduleAt(ushort(row));
    if (column == Model::RelayTimeColumn)
        QVERIFY(typeInCell(p.table(), row, column, QString::number(value)));
    else
        QVERIFY(pickInCell(p.table(), row, column, value));

    const IoModuleRecord after = p.model()->moduleAt(ushort(row));
    QCOMPARE(int(after.config), config);
    QCOMPARE(int(after.loop1Mode), column == Model::Loop1ModeColumn ? value : int(before.loop1Mode));
    QCOMPARE(int(after.loop2Mode), column == Model::Loop2ModeColumn ? value : int(before.loop2Mode));
    QCOMPARE(int(after.relayContact), column == Model::RelayContactColumn ? value : int(before.relayContact));
    QCOMPARE(int(after.relayTime), column == Model::RelayTimeColumn ? value : int(before.relayTime));

    // The cell shows the new value through its delegate.
    const QModelIndex cell = p.table()->model()->index(row, column);
    auto *delegate = static_cast<QStyledItemDelegate *>(p.table()->itemDelegateForColumn(column));
    QCOMPARE(delegate->displayText(cell.data(), QLocale()), shown);
}

void TestIoModulesConfigForm::readOnlyCellsOpenNoEditor()
{
    Page p(this);
    for (int column : {0, 1, 2, 7, 8}) {
        QVERIFY(!openEditor<QWidget>(p.table(), 0, column));
        QVERIFY(!p.table()->model()->flags(p.table()->model()->index(0, column)).testFlag(Qt::ItemIsEditable));
    }
}

void TestIoModulesConfigForm::editorsLoadedOncePerRow()
{
    Page p(this);
    auto *cbLoop1 = p.widget<QComboBox>("cbLoop1");
    auto *cbRelay = p.widget<QComboBox>("cbRelay");
    auto *edtTime = p.widget<QSpinBox>("edtTime");

    clickCell(p.table(), 1);
    QCOMPARE(cbLoop1->currentData().toInt(), 3);
    QCOMPARE(cbRelay->currentData().toInt(), 1);
    QCOMPARE(edtTime->value(), 1);

    pick(cbLoop1, 0);
    clickCell(p.table(), 1, 4);
    QCOMPARE(cbLoop1->currentData().toInt(), 0); // same row: kept

    clickCell(p.table(), 2);
    clickCell(p.table(), 1);
    QCOMPARE(cbLoop1->currentData().toInt(), 3);
}

void TestIoModulesConfigForm::groupApply_data()
{
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("config");
    QTest::addColumn<int>("time");

    // Panel: loop 1 "неисправность" (2), loop 2 "тревога" (1), relay normally closed (1), 200 s.
    QTest::newRow("loop 1 on 0xFF") << QStringList{"ckLoop1"} << 1 << 0xE2 << 1;
    QTest::newRow("relay on 0x50") << QStringList{"ckRelay"} << 2 << 0x52 << 2;
    QTest::newRow("loop 2 on 0x92") << QStringList{"ckLoop2"} << 3 << 0x52 << 3;
    QTest::newRow("all four, in order") << QStringList{"ckLoop1", "ckLoop2", "ckRelay", "ckTime"} << 1 << 0x62 << 200;
    QTest::newRow("time only") << QStringList{"ckTime"} << 4 << 0x60 << 200;
}

void TestIoModulesConfigForm::groupApply()
{
    QFETCH(QStringList, checked);
    QFETCH(int, row);
    QFETCH(int, config);
    QFETCH(int, time);

    Page p(this);
    clickCell(p.table(), row); // loads the panel from the row first
    p.widget<QPushButton>("btnGroupTuning")->click();
    QVERIFY(p.widget<QFrame>("frameParameters")->isVisible());
    pick(p.widget<QComboBox>("cbLoop1"), 2);
    pick(p.widget<QComboBox>("cbLoop2"), 1);
    pick(p.widget<QComboBox>("cbRelay"), 1);
    p.widget<QSpinBox>("edtTime")->setValue(200);
    for (const QString &name : checked)
        QTest::mouseClick(p.widget<QCheckBox>(name.toLatin1().constData()), Qt::LeftButton);

    QSignalSpy times(p.model(), &IoModulesConfigModel::relayTimeChanged);
    auto *apply = p.widget<QPushButton>("btnApply");
    QVERIFY(apply->isEnabled());
    QTest::mouseClick(apply, Qt::LeftButton);

    const IoModuleRecord rec = p.model()->moduleAt(ushort(row));
    QCOMPARE(int(rec.config), config);
    QCOMPARE(int(rec.relayContact), (config >> 1) & 1);
    QCOMPARE(int(rec.loop1Mode), (config >> 4) & 3);
    QCOMPARE(int(rec.loop2Mode), (config >> 6) & 3);
    QCOMPARE(int(rec.relayTime), time);
    // A new hold time is announced like a cell edit, for the interactions' texts.
    QCOMPARE(times.count(), checked.contains("ckTime") ? 1 : 0);
}

void TestIoModulesConfigForm::groupApplyTouchesSelectedRowsOnly()
{
    Page p(this);
    selectRows(p.table(), 1, 3);
    p.widget<QPushButton>("btnGroupTuning")->click();
    pick(p.widget<QComboBox>("cbLoop1"), 2);
    p.widget<QSpinBox>("edtTime")->setValue(99);
    QTest::mouseClick(p.widget<QCheckBox>("ckLoop1"), Qt::LeftButton);
    QTest::mouseClick(p.widget<QCheckBox>("ckTime"), Qt::LeftButton);

    QVector<IoModuleRecord> before;
    for (ushort i = 0; i < 5; ++i)
        before.append(p.model()->moduleAt(i));

    QVector<bool> cursorDuringWrites;
    connect(p.model(), &QAbstractItemModel::dataChanged, this,
            [&cursorDuringWrites] { cursorDuringWrites.append(appWaitCursorShown()); });
    QTest::mouseClick(p.widget<QPushButton>("btnApply"), Qt::LeftButton);

    for (ushort i = 0; i < 5; ++i) {
        const IoModuleRecord rec = p.model()->moduleAt(i);
        const bool selected = i >= 1 && i <= 3;
        QCOMPARE(int(rec.loop1Mode), selected ? 2 : int(before[i].loop1Mode));
        QCOMPARE(int(rec.relayTime), selected ? 99 : int(before[i].relayTime));
        QCOMPARE(int(rec.config), selected ? (before[i].config & 0xC2) | 0x20 : int(before[i].config));
        QCOMPARE(int(rec.loop2Mode), int(before[i].loop2Mode));
        QCOMPARE(int(rec.relayContact), int(before[i].relayContact));
        QCOMPARE(rec.serialNumber, before[i].serialNumber);
    }
    QVERIFY(!cursorDuringWrites.isEmpty());
    QVERIFY(!cursorDuringWrites.contains(false));
    QVERIFY(!appWaitCursorShown());
    QVERIFY(p.widget<QPushButton>("btnApply")->isEnabled());
}

void TestIoModulesConfigForm::groupPanelRules_data()
{
    QTest::addColumn<bool>("actionsEnabled");
    QTest::addColumn<bool>("hasSelection");
    QTest::addColumn<bool>("applying");
    QTest::addColumn<bool>("anyChecked");
    QTest::addColumn<bool>("groupTuning");
    QTest::addColumn<bool>("apply");

    QTest::newRow("idle, all set") << true << true << false << true << true << true;
    QTest::newRow("idle, nothing checked") << true << true << false << false << true << false;
    QTest::newRow("idle, nothing selected") << true << false << false << true << false << false;
    QTest::newRow("task running") << false << true << false << true << false << false;
    QTest::newRow("applying") << true << true << true << true << false << false;
    QTest::newRow("offline, nothing at all") << true << false << false << false << false << false;
}

void TestIoModulesConfigForm::groupPanelRules()
{
    QFETCH(bool, actionsEnabled);
    QFETCH(bool, hasSelection);
    QFETCH(bool, applying);
    QFETCH(bool, anyChecked);
    QFETCH(bool, groupTuning);
    QFETCH(bool, apply);

    const GroupPanelActions actions = groupPanelActions({actionsEnabled, hasSelection, applying, anyChecked});
    QCOMPARE(actions.groupTuning, groupTuning);
    QCOMPARE(actions.apply, apply);
}

void TestIoModulesConfigForm::buttonsFollowThePage()
{
    Page p(this);
    auto *tuning = p.widget<QPushButton>("btnGroupTuning");
    auto *apply = p.widget<QPushButton>("btnApply");
    QVERIFY(tuning->isEnabled());
    tuning->click();
    QVERIFY(!apply->isEnabled());
    QTest::mouseClick(p.widget<QCheckBox>("ckRelay"), Qt::LeftButton);
    QVERIFY(p.widget<QComboBox>("cbRelay")->isEnabled());
    QVERIFY(apply->isEnabled());

    p.form.disableFormActions(true);
    QVERIFY(!tuning->isEnabled());
    QVERIFY(!apply->isEnabled());
    QVERIFY(apply->isVisible()); // the panel stays open during a task
    p.form.disableFormActions(false);
    QVERIFY(apply->isEnabled());

    // Closing the panel keeps the check boxes as they are.
    tuning->click();
    QVERIFY(!apply->isVisible());
    QVERIFY(!p.widget<QFrame>("frameParameters")->isVisible());
    QVERIFY(p.widget<QCheckBox>("ckRelay")->isChecked());
}

void TestIoModulesConfigForm::jumpToModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<int>>("selected");

    QTest::newRow("I/O module") << 2 << 3 << QList<int>{3};
    QTest::newRow("first I/O module") << 2 << 0 << QList<int>{0};
    QTest::newRow("sensor") << 3 << 3 << QList<int>{1, 2};
    QTest::newRow("sensor with IR") << 4 << 3 << QList<int>{1, 2};
    QTest::newRow("line protection") << 5 << 3 << QList<int>{1, 2};
    QTest::newRow("empty row") << 2 << 40 << QList<int>{1, 2};
}

void TestIoModulesConfigForm::jumpToModule()
{
    QFETCH(int, type);
    QFETCH(int, index);
    QFETCH(QList<int>, selected);

    Page p(this);
    selectRows(p.table(), 1, 2);
    p.form.jumpToModule(uchar(type), ushort(index));
    QCOMPARE(selectedRows(p.table()), selected);
}

void TestIoModulesConfigForm::editsReachTheControllerAndComeBack()
{
    Environment env(this);
    env.published.fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")),
                                                   24, 100, 2);
    QVERIFY(ClientTest::listenAndConnect(env.published.server, env.client));
    IoModulesConfigForm form;
    form.resize(900, 500);
    form.show();
    QTableView *table = form.findChild<QTableView *>(QStringLiteral("tableView"));

    QSignalSpy dataset(&env.client, &LantrelClient::datasetChanged);
    env.client.readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    QCOMPARE(table->model()->rowCount(), 100);
    QCOMPARE(selectedRows(table), QList<int>{0});

    // Loop 2 of module 0 by its cell, the relay of modules 5 to 7 by group.
    QVERIFY(pickInCell(table, 0, Model::Loop2ModeColumn, 3));
    form.findChild<QPushButton *>(QStringLiteral("btnGroupTuning"))->click();
    QTest::mouseClick(form.findChild<QCheckBox *>(QStringLiteral("ckRelay")), Qt::LeftButton);
    selectRows(table, 5, 7);
    pick(form.findChild<QComboBox *>(QStringLiteral("cbRelay")), 1);
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("btnApply")), Qt::LeftButton);

    const QVector<LantrelProtocol::Konfig_MVV_t> original = env.published.fake.ioModules();
    QSignalSpy written(&env.client, &LantrelClient::writeFinished);
    env.client.writeConfiguration();
    QVERIFY(written.wait(ClientTest::LongWaitMs));

    const QVector<LantrelProtocol::Konfig_MVV_t> stored = env.published.fake.ioModules();
    QCOMPARE(int(stored[0].CfgIO), (original[0].CfgIO & 0x32) | 0xC0);
    for (int i = 5; i <= 7; ++i)
        QCOMPARE(int(stored[i].CfgIO), (original[i].CfgIO & 0xF0) | 0x02);
    QCOMPARE(stored[4].CfgIO, original[4].CfgIO);
    QCOMPARE(stored[8].CfgIO, original[8].CfgIO);

    env.client.readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    const IoModulesConfigModel *model = env.client.ioModulesConfigModel();
    QCOMPARE(int(model->moduleAt(0).loop2Mode), 3);
    for (ushort i = 5; i <= 7; ++i)
        QCOMPARE(int(model->moduleAt(i).relayContact), 1);
}

// While a write or read of the configuration runs, no edit reaches the
// models unnoticed: a new editor does not open, a delegate's commit is
// refused, and an editor left open hands its value over before the write takes its values.
void TestIoModulesConfigForm::editsWhileConfigurationTaskRuns_data()
{
    QTest::addColumn<bool>("write");   // or read
    QTest::addColumn<QString>("edit");
    QTest::newRow("write, editor opened on the first step") << true << "open";
    QTest::newRow("write, delegate commit on the first step") << true << "commit";
    QTest::newRow("write, editor left open") << true << "left open";
    QTest::newRow("read, editor opened on the first step") << false << "open";
    QTest::newRow("read, delegate commit on the first step") << false << "commit";
}

void TestIoModulesConfigForm::editsWhileConfigurationTaskRuns()
{
    QFETCH(bool, write);
    QFETCH(QString, edit);
    Environment env(this);
    env.published.fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")),
                                                   24, 4, 2);
    QVERIFY(ClientTest::listenAndConnect(env.published.server, env.client));
    IoModulesConfigForm form;
    form.resize(900, 500);
    form.show();
    QTableView *table = form.findChild<QTableView *>(QStringLiteral("tableView"));
    QSignalSpy dataset(&env.client, &LantrelClient::datasetChanged);
    env.client.readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    const quint8 held = env.published.fake.ioModules().at(1).TSign;
    QVERIFY(held != 99);
    QVERIFY(!env.client.isModified());

    const int column = Model::RelayTimeColumn;
    QSpinBox *leftOpen = nullptr;
    if (edit == QLatin1String("left open")) {
        leftOpen = openEditor<QSpinBox>(table, 1, column);
        QVERIFY(leftOpen);
        leftOpen->selectAll();
        QTest::keyClicks(leftOpen, QStringLiteral("99"));
    }
    bool opened = false;
    bool committed = false;
    QMetaObject::Connection firstStep = connect(&env.client, &LantrelClient::taskCompleted, this,
                                                [&](ushort step, bool) {
        if (step != 1)
            return;
        QObject::disconnect(firstStep);
        if (edit == QLatin1String("open")) {
            opened = openEditor<QSpinBox>(table, 1, column) != nullptr;
        } else if (edit == QLatin1String("commit")) {
            QSpinBox spin;
            spin.setRange(0, 255);
            spin.setValue(99);
            const QModelIndex index = table->model()->index(1, column);
            table->itemDelegateForColumn(column)->setModelData(&spin, table->model(), index);
            committed = index.data(Qt::EditRole).toInt() == 99;
        }
    });
    QSignalSpy written(&env.client, &LantrelClient::writeFinished);
    if (write) {
        env.client.writeConfiguration();
        QVERIFY(written.wait(ClientTest::LongWaitMs));
    } else {
        env.client.readConfiguration();
        QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    }
    QVERIFY(!env.client.configurationBusy());
    QVERIFY(!opened);
    QVERIFY(!committed);

    const quint8 shown = env.client.ioModulesConfigModel()->moduleAt(1).relayTime;
    if (!leftOpen) {
        // Refused: the table shows what the controller holds, nothing is pending.
        QCOMPARE(env.published.fake.ioModules().at(1).TSign, held);
        QCOMPARE(shown, held);
        QVERIFY(!env.client.isModified());
        return;
    }
    // Handed over before the write took its values: sent, nothing pending.
    QCOMPARE(int(shown), 99);
    QCOMPARE(int(env.published.fake.ioModules().at(1).TSign), 99);
    QVERIFY(!env.client.isModified());
    QVERIFY(!env.client.hasUnsavedEdits());
}

// "Сохранить конфигурацию" with a value still open in its editor sends it
// first instead of saving the old tables and reporting success.
void TestIoModulesConfigForm::flashSaveSendsOpenEditor()
{
    Environment env(this);
    env.published.fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")),
                                                   24, 4, 2);
    QVERIFY(ClientTest::listenAndConnect(env.published.server, env.client));
    IoModulesConfigForm form;
    form.resize(900, 500);
    form.show();
    QTableView *table = form.findChild<QTableView *>(QStringLiteral("tableView"));
    QSignalSpy dataset(&env.client, &LantrelClient::datasetChanged);
    env.client.readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    QVERIFY(env.published.fake.ioModules().at(1).TSign != 99);

    QSpinBox *spin = openEditor<QSpinBox>(table, 1, Model::RelayTimeColumn);
    QVERIFY(spin);
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("99"));
    QVERIFY(!env.client.isModified());

    env.published.fake.clearLog();
    env.client.saveConfigToFlash();
    QVERIFY(ClientTest::waitFor([&] { return env.client.configSaved() && !env.client.configurationBusy()
                                             && !env.published.fake.requests(21).isEmpty(); }));
    QCOMPARE(int(env.published.fake.ioModules().at(1).TSign), 99);
    QVERIFY(!env.client.hasUnsavedEdits());
}

QTEST_MAIN(TestIoModulesConfigForm)
#include "tst_iomodulesconfigform.moc"
