#include "sensorsconfigform.h"
#include "ui_sensorsconfigform.h"

#include "appcontext.h"
#include "checkboxdelegate.h"
#include "dictionaries.h"
#include "dictionarydelegate.h"
#include "fixedvaluesspindelegate.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "sensorsconfigfiltermodel.h"
#include "sensorsconfigmodel.h"

#include <QSignalBlocker>

namespace {

using Model = SensorsConfigModel;
using namespace Dictionaries;

// The infrared threshold is stored in units of 10 mV and edited in millivolts.
constexpr int IrThresholdUnit = 10;
constexpr int RuleAnd = 1;

QMap<int, QString> exceedances()
{
    return {{0, QStringLiteral("Откл.")}, {1, QStringLiteral("1")}, {2, QStringLiteral("2")},
            {3, QStringLiteral("3")}};
}

QMap<int, QString> adaptiveFilterStates()
{
    return {{0, QStringLiteral("откл.")}, {1, QStringLiteral("вкл.")}};
}

} // namespace

SensorsConfigForm::SensorsConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : ModuleTablePage(parent, flags)
    , ui(new Ui::SensorsConfigForm)
{
    ui->setupUi(this);
    ModuleTable::setUp(ui->tableView, new SensorsConfigFilterModel(this), appClient()->sensorsConfigModel(),
                       {{QStringLiteral("Совместная\nобработка каналов"), Model::RuleColumn,
                         Model::WaitTimeColumn}});

    QTableView *table = ui->tableView;
    table->setItemDelegateForColumn(Model::RangeColumn, new DictionaryDelegate(accelerationRanges(), this));
    table->setItemDelegateForColumn(Model::LowPassColumn, new DictionaryDelegate(lowPassFilters(), this));
    table->setItemDelegateForColumn(Model::HighPassColumn, new DictionaryDelegate(highPassFilters(), this));
    table->setItemDelegateForColumn(Model::AdaptiveColumn, new CheckBoxDelegate(this));
    table->setItemDelegateForColumn(Model::IrThresholdColumn,
                                    new FixedValuesSpinDelegate(10, 1650, 10, IrThresholdUnit, this));
    table->setItemDelegateForColumn(Model::IrExceedColumn, new DictionaryDelegate(exceedances(), this));
    table->setItemDelegateForColumn(Model::RuleColumn, new DictionaryDelegate(jointRules(), this));
    table->setItemDelegateForColumn(Model::WaitTimeColumn, new FixedValuesSpinDelegate(1, 20, 1, 1, this));

    ModuleTable::fillCombo(ui->cbRange, accelerationRanges());
    ModuleTable::fillCombo(ui->cbDAFs, adaptiveFilterStates());
    ModuleTable::fillCombo(ui->cbLPFs, lowPassFilters());
    ModuleTable::fillCombo(ui->cbHPFs, highPassFilters());
    ModuleTable::fillCombo(ui->cbNumExc, exceedances());
    ModuleTable::fillCombo(ui->cbSRule, jointRules());
    ui->edtRefUK->setRange(10, 1650);
    ui->edtRefUK->setSingleStep(10);
    ui->edtRefUK->setKeyboardTracking(false);
    connect(ui->edtRefUK, qOverload<int>(&QSpinBox::valueChanged), this, &SensorsConfigForm::onRefUkValueChanged);
    ui->edtCycles->setRange(1, 20);
    connect(ui->ckSRule, &QCheckBox::clicked, ui->frameSRule, &QWidget::setEnabled);
    ui->frameSRule->setEnabled(false);
    ui->frameSRule->hide();
    connect(ui->cbSRule, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SensorsConfigForm::onSRuleIndexChanged);

    setUpGroupPanel({ui->tableView,
                     ui->frameParameters,
                     ui->btnGroupTuning,
                     ui->btnApply,
                     {{ui->ckRange, ui->cbRange},
                      {ui->ckDAFs, ui->cbDAFs},
                      {ui->ckLPFs, ui->cbLPFs},
                      {ui->ckHPFs, ui->cbHPFs},
                      {ui->ckRefUK, ui->edtRefUK},
                      {ui->ckNumExc, ui->cbNumExc},
                      {ui->ckSRule, ui->cbSRule}}});
}

SensorsConfigForm::~SensorsConfigForm()
{
    // Hiding the page while it goes makes the spin box read its text and
    // signal once more, when this page is no longer whole.
    ui->edtRefUK->disconnect(this);
    delete ui;
}

void SensorsConfigForm::jumpToModule(uchar mod_type, ushort mod_idx)
{
    // Both kinds of sensor module share this table.
    if (mod_type == LantrelProtocol::SECT_ACCI || mod_type == LantrelProtocol::SECT_ACC)
        ModuleTable::jumpTo(ui->tableView, mod_idx);
}

void SensorsConfigForm::onRefUkValueChanged(int val)
{
    const int remainder = val % IrThresholdUnit;
    if (remainder == 0)
        return;
    const QSignalBlocker blocker(ui->edtRefUK);
    ui->edtRefUK->setValue(val - remainder + IrThresholdUnit);
}

int SensorsConfigForm::pickedRule() const
{
    return ui->cbSRule->currentData().toInt();
}

void SensorsConfigForm::onSRuleIndexChanged()
{
    // Decided from the picked rule, not from what is on screen: the page may be hidden.
    const int rule = pickedRule();
    ui->frameSRule->setVisible(rule == RuleAnd);
    ui->edtCycles->setValue(rule);
}

void SensorsConfigForm::loadGroupEditors(const QModelIndex &row)
{
    const auto cell = [&row](int column) { return row.siblingAtColumn(column).data(Qt::DisplayRole); };
    ModuleTable::selectData(ui->cbRange, cell(Model::RangeColumn));
    ModuleTable::selectData(ui->cbDAFs, cell(Model::AdaptiveColumn));
    ModuleTable::selectData(ui->cbLPFs, cell(Model::LowPassColumn));
    ModuleTable::selectData(ui->cbHPFs, cell(Model::HighPassColumn));
    ModuleTable::selectData(ui->cbNumExc, cell(Model::IrExceedColumn));
    ModuleTable::selectData(ui->cbSRule, cell(Model::RuleColumn));
    // Empty cells (a "ВТ-Л" row, or no waiting time under "ИЛИ") give 0,
    // which the spin boxes raise to their minimum.
    ui->edtRefUK->setValue(cell(Model::IrThresholdColumn).toInt() * IrThresholdUnit);
    ui->edtCycles->setValue(cell(Model::WaitTimeColumn).toInt());
}

void SensorsConfigForm::applyGroupSettingsTo(ushort index)
{
    SensorsConfigModel *model = appClient()->sensorsConfigModel();
    SensorModuleRecord rec = model->moduleAt(index);
    quint8 value = 0;
    if (ModuleTable::checkedData(ui->ckRange, ui->cbRange, &value))
        rec.range = value;
    if (ModuleTable::checkedData(ui->ckDAFs, ui->cbDAFs, &value))
        rec.adaptiveFilter = value;
    if (ModuleTable::checkedData(ui->ckLPFs, ui->cbLPFs, &value))
        rec.lowPassFilter = value;
    if (ModuleTable::checkedData(ui->ckHPFs, ui->cbHPFs, &value))
        rec.highPassFilter = value;

    // A vibration-only module has no infrared channel and no joint rule.
    if (rec.deviceType == LantrelProtocol::SECT_ACCI) {
        if (ui->ckRefUK->isChecked())
            rec.irThreshold = quint8(ui->edtRefUK->value() / IrThresholdUnit);
        if (ModuleTable::checkedData(ui->ckNumExc, ui->cbNumExc, &value))
            rec.irExceedCount = value;
        if (ModuleTable::checkedData(ui->ckSRule, ui->cbSRule, &value)) {
            // The controller keeps one byte: 0 "ИЛИ", n = "И" waiting n cycles.
            rec.rule = value;
            rec.waitTime = value == RuleAnd ? quint8(ui->edtCycles->value()) : value;
        }
    }
    model->setModule(index, rec);
}
