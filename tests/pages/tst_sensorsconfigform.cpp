// The sensor modules page on a table of both kinds of module: what can be
// edited per kind, an edit through each delegate, the group panel over mixed
// kinds, the joint-processing rule frame (also while the page is hidden) and
// the jump.

#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "lantrelprotocol.h"
#include "pagetestsupport.h"
#include "sensorsconfigform.h"
#include "sensorsconfigmodel.h"

using namespace PageTest;

namespace {

using Model = SensorsConfigModel;
constexpr quint8 WithIr = LantrelProtocol::SECT_ACCI;     // "ВС-Л"
constexpr quint8 VibrationOnly = LantrelProtocol::SECT_ACC; // "ВТ-Л"

SensorModuleRecord sensor(quint16 address, quint8 type, quint8 waitTime)
{
    SensorModuleRecord rec;
    rec.lineAddress = address;
    rec.serialNumber = 7000u + address;
    rec.serialNumberText = QString::number(rec.serialNumber);
    rec.deviceType = type;
    rec.deviceTypeName = type == WithIr ? QStringLiteral("ВС-Л") : QStringLiteral("ВТ-Л");
    rec.range = 1;
    rec.lowPassFilter = 1;
    rec.highPassFilter = 1;
    rec.adaptiveFilter = 0;
    // A vibration-only module keeps whatever its record holds here; it must stay.
    rec.irThreshold = 17;
    rec.irExceedCount = 1;
    rec.rule = waitTime != 0;
    rec.waitTime = waitTime;
    return rec;
}

// Rows: 0 "ВС-Л" rule "И" (3 cycles), 1 "ВТ-Л", 2 "ВС-Л" rule "ИЛИ", 3 "ВТ-Л".
struct Page
{
    explicit Page(QObject *owner, bool show = true)
        : env(owner)
    {
        model()->setModule(0, sensor(11, WithIr, 3));
        model()->setModule(1, sensor(12, VibrationOnly, 0));
        model()->setModule(2, sensor(13, WithIr, 0));
        model()->setModule(3, sensor(14, VibrationOnly, 0));
        form.resize(1000, 600);
        if (show)
            form.show();
        emit env.client.datasetChanged();
    }

    Model *model() const { return env.client.sensorsConfigModel(); }
    QTableView *table() const { return widget<QTableView>("tableView"); }
    template <typename T>
    T *widget(const char *name) const { return form.findChild<T *>(QLatin1String(name)); }
    void check(const char *name) { QTest::mouseClick(widget<QCheckBox>(name), Qt::LeftButton); }
    void apply() { QTest::mouseClick(widget<QPushButton>("btnApply"), Qt::LeftButton); }

    Environment env;
    SensorsConfigForm form;
};

} // namespace

class TestSensorsConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void editableCellsByKind_data();
    void editableCellsByKind();
    void cellEdits_data();
    void cellEdits();
    void adaptiveFilterToggledInPlace();
    void groupApplyOverMixedKinds();
    void groupApplyRuleOr();
    void vibrationRowAfterIrRowLeavesIrUnchanged();
    void ruleFrameFollowsRuleWhileHidden();
    void irThresholdSnapsToTens();
    void jumpToModule_data();
    void jumpToModule();
};

void TestSensorsConfigForm::editableCellsByKind_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QList<int>>("editable");

    QTest::newRow("ВС-Л, rule И") << 0 << QList<int>{3, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("ВТ-Л") << 1 << QList<int>{3, 4, 5, 6};
    QTest::newRow("ВС-Л, rule ИЛИ") << 2 << QList<int>{3, 4, 5, 6, 7, 8, 9};
}

void TestSensorsConfigForm::editableCellsByKind()
{
    QFETCH(int, row);
    QFETCH(QList<int>, editable);

    Page p(this);
    for (int column = 0; column < Model::ColumnCount; ++column) {
        const QModelIndex cell = p.table()->model()->index(row, column);
        QCOMPARE(p.table()->model()->flags(cell).testFlag(Qt::ItemIsEditable), editable.contains(column));
        // Every editable cell but the check box opens its editor on a double click.
        if (column == Model::AdaptiveColumn)
            continue;
        QWidget *editor = openEditor<QWidget>(p.table(), row, column);
        QCOMPARE(editor != nullptr, editable.contains(column));
        if (editor)
            QTest::keyClick(editor, Qt::Key_Escape);
    }
    // The infrared columns of a "ВТ-Л" row are empty.
    if (row == 1) {
        for (int column = Model::IrThresholdColumn; column <= Model::WaitTimeColumn; ++column)
            QVERIFY(p.table()->model()->index(row, column).data().isNull());
    }
}

void TestSensorsConfigForm::cellEdits_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("value");   // a dictionary code or the number typed
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("stored");

    QTest::newRow("range") << 1 << int(Model::RangeColumn) << 3 << "range" << 3;
    QTest::newRow("low-pass") << 1 << int(Model::LowPassColumn) << 2 << "lowPass" << 2;
    QTest::newRow("high-pass") << 0 << int(Model::HighPassColumn) << 0 << "highPass" << 0;
    QTest::newRow("IR threshold in mV") << 0 << int(Model::IrThresholdColumn) << 1234 << "irThreshold" << 124;
    QTest::newRow("exceedances off") << 0 << int(Model::IrExceedColumn) << 0 << "irExceed" << 0;
    QTest::newRow("rule И starts at 1 cycle") << 2 << int(Model::RuleColumn) << 1 << "waitTime" << 1;
    QTest::newRow("rule ИЛИ stores 0") << 0 << int(Model::RuleColumn) << 0 << "waitTime" << 0;
    QTest::newRow("waiting time") << 0 << int(Model::WaitTimeColumn) << 17 << "waitTime" << 17;
}

void TestSensorsConfigForm::cellEdits()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, value);
    QFETCH(QString, field);
    QFETCH(int, stored);

    Page p(this);
    const bool typed = column == Model::IrThresholdColumn || column == Model::WaitTimeColumn;
    if (typed)
        QVERIFY(typeInCell(p.table(), row, column, QString::number(value)));
    else
        QVERIFY(pickInCell(p.table(), row, column, value));

    const SensorModuleRecord rec = p.model()->moduleAt(ushort(row));
    const QMap<QString, int> fields{{"range", rec.range},         {"lowPass", rec.lowPassFilter},
                                    {"highPass", rec.highPassFilter}, {"irThreshold", rec.irThreshold},
                                    {"irExceed", rec.irExceedCount}, {"waitTime", rec.waitTime}};
    QCOMPARE(fields.value(field), stored);
    QCOMPARE(int(rec.rule), int(rec.waitTime != 0));
}

void TestSensorsConfigForm::adaptiveFilterToggledInPlace()
{
    Page p(this);
    clickCell(p.table(), 1, Model::AdaptiveColumn);
    QCOMPARE(int(p.model()->moduleAt(1).adaptiveFilter), 1);
    clickCell(p.table(), 1, Model::AdaptiveColumn);
    QCOMPARE(int(p.model()->moduleAt(1).adaptiveFilter), 0);
}

void TestSensorsConfigForm::groupApplyOverMixedKinds()
{
    Page p(this);
    selectRows(p.table(), 0, 1);
    p.widget<QPushButton>("btnGroupTuning")->click();
    p.check("ckRange");
    pick(p.widget<QComboBox>("cbRange"), 2);
    p.check("ckRefUK");
    p.widget<QSpinBox>("edtRefUK")->setValue(250);
    p.check("ckNumExc");
    pick(p.widget<QComboBox>("cbNumExc"), 2);
    p.check("ckSRule");
    pick(p.widget<QComboBox>("cbSRule"), 1);
    p.widget<QSpinBox>("edtCycles")->setValue(5);
    const SensorModuleRecord vibrationBefore = p.model()->moduleAt(1);
    p.apply();

    const SensorModuleRecord withIr = p.model()->moduleAt(0);
    QCOMPARE(int(withIr.range), 2);
    QCOMPARE(int(withIr.irThreshold), 25);
    QCOMPARE(int(withIr.irExceedCount), 2);
    QCOMPARE(int(withIr.rule), 1);
    QCOMPARE(int(withIr.waitTime), 5);

    const SensorModuleRecord vibration = p.model()->moduleAt(1);
    QCOMPARE(int(vibration.range), 2);
    QCOMPARE(vibration.irThreshold, vibrationBefore.irThreshold);
    QCOMPARE(vibration.irExceedCount, vibrationBefore.irExceedCount);
    QCOMPARE(vibration.rule, vibrationBefore.rule);
    QCOMPARE(vibration.waitTime, vibrationBefore.waitTime);
    QCOMPARE(vibration.lowPassFilter, vibrationBefore.lowPassFilter);
    // Rows outside the selection are untouched.
    QCOMPARE(int(p.model()->moduleAt(2).range), 1);
}

void TestSensorsConfigForm::groupApplyRuleOr()
{
    Page p(this);
    clickCell(p.table(), 0);
    p.widget<QPushButton>("btnGroupTuning")->click();
    p.check("ckSRule");
    pick(p.widget<QComboBox>("cbSRule"), 0);
    QVERIFY(!p.widget<QFrame>("frameSRule")->isVisible());
    p.apply();
    QCOMPARE(int(p.model()->moduleAt(0).rule), 0);
    QCOMPARE(int(p.model()->moduleAt(0).waitTime), 0);
}

void TestSensorsConfigForm::vibrationRowAfterIrRowLeavesIrUnchanged()
{
    Page p(this);
    clickCell(p.table(), 0);
    QCOMPARE(p.widget<QComboBox>("cbSRule")->currentData().toInt(), 1);
    QCOMPARE(p.widget<QSpinBox>("edtRefUK")->value(), 170);
    QCOMPARE(p.widget<QSpinBox>("edtCycles")->value(), 3);
    QVERIFY(!p.widget<QFrame>("frameSRule")->isHidden()); // its panel is closed

    clickCell(p.table(), 1);
    QCOMPARE(p.widget<QComboBox>("cbNumExc")->currentIndex(), -1);
    QCOMPARE(p.widget<QComboBox>("cbSRule")->currentIndex(), -1);
    QCOMPARE(p.widget<QSpinBox>("edtRefUK")->value(), 10);
    QCOMPARE(p.widget<QSpinBox>("edtCycles")->value(), 1);
    QVERIFY(p.widget<QFrame>("frameSRule")->isHidden());

    selectRows(p.table(), 0, 3);
    p.widget<QPushButton>("btnGroupTuning")->click();
    p.check("ckNumExc");
    p.check("ckSRule");
    p.apply();
    for (ushort i = 0; i < 4; ++i) {
        QCOMPARE(int(p.model()->moduleAt(i).irExceedCount), 1);
        QCOMPARE(int(p.model()->moduleAt(i).waitTime), i == 0 ? 3 : 0);
    }
}

void TestSensorsConfigForm::ruleFrameFollowsRuleWhileHidden()
{
    // The page is never shown: the frame and the group change still follow the rule picked.
    Page p(this, false);
    auto *frame = p.widget<QFrame>("frameSRule");
    p.table()->selectionModel()->select(p.table()->model()->index(2, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    p.widget<QPushButton>("btnGroupTuning")->click();
    p.widget<QCheckBox>("ckSRule")->click();
    QVERIFY(p.widget<QComboBox>("cbSRule")->isEnabled());
    QVERIFY(frame->isEnabled());

    pick(p.widget<QComboBox>("cbSRule"), 1);
    QVERIFY(frame->isVisibleTo(&p.form));
    QCOMPARE(p.widget<QSpinBox>("edtCycles")->value(), 1);
    p.widget<QSpinBox>("edtCycles")->setValue(6);
    QVERIFY(p.widget<QPushButton>("btnApply")->isEnabled());
    p.widget<QPushButton>("btnApply")->click();
    QCOMPARE(int(p.model()->moduleAt(2).rule), 1);
    QCOMPARE(int(p.model()->moduleAt(2).waitTime), 6);

    pick(p.widget<QComboBox>("cbSRule"), 0);
    QVERIFY(!frame->isVisibleTo(&p.form));
}

void TestSensorsConfigForm::irThresholdSnapsToTens()
{
    Page p(this);
    p.widget<QPushButton>("btnGroupTuning")->click();
    p.check("ckRefUK");
    auto *edit = p.widget<QSpinBox>("edtRefUK");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("1234"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->value(), 1240);

    edit->setValue(1640);
    edit->stepUp();
    QCOMPARE(edit->value(), 1650);
    edit->stepUp();
    QCOMPARE(edit->value(), 1650);
}

void TestSensorsConfigForm::jumpToModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("selected");

    QTest::newRow("ВС-Л") << int(WithIr) << QList<int>{2};
    QTest::newRow("ВТ-Л") << int(VibrationOnly) << QList<int>{2};
    QTest::newRow("I/O module") << 2 << QList<int>{0, 1};
    QTest::newRow("line protection") << 5 << QList<int>{0, 1};
}

void TestSensorsConfigForm::jumpToModule()
{
    QFETCH(int, type);
    QFETCH(QList<int>, selected);

    Page p(this);
    selectRows(p.table(), 0, 1);
    p.form.jumpToModule(uchar(type), 2);
    QCOMPARE(selectedRows(p.table()), selected);
}

QTEST_MAIN(TestSensorsConfigForm)
#include "tst_sensorsconfigform.moc"
