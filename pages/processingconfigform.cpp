#include "processingconfigform.h"
#include "ui_processingconfigform.h"

#include "appcontext.h"
#include "fixedvaluesspindelegate.h"
#include "lantrelclient.h"
#include "processingconfigfiltermodel.h"
#include "processingconfigmodel.h"

namespace {

using Model = ProcessingConfigModel;

// Range of each parameter, shared by the cell editors and the group panel.
struct Limits
{
    int minimum;
    int maximum;
};
constexpr Limits Threshold {1, 8000};
constexpr Limits Exceedances {2, 7};
constexpr Limits ZoneSensors {-99, 99};
constexpr Limits Ratio {2, 20};

} // namespace

ProcessingConfigForm::ProcessingConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : ModuleTablePage(parent, flags)
    , ui(new Ui::ProcessingConfigForm)
{
    ui->setupUi(this);
    ModuleTable::setUp(ui->tableView, new ProcessingConfigFilterModel(this), appClient()->processingConfigModel(),
                       {{QStringLiteral("Число датчиков\nзоны сравнения"), Model::LeftColumn, Model::RightColumn}});

    const auto setColumn = [this](int column, Limits limits, QSpinBox *panelEditor) {
        ui->tableView->setItemDelegateForColumn(
            column, new FixedValuesSpinDelegate(limits.minimum, limits.maximum, 1, 1, this));
        panelEditor->setRange(limits.minimum, limits.maximum);
    };
    setColumn(Model::ThresholdColumn, Threshold, ui->edtMRef);
    setColumn(Model::ExceedColumn, Exceedances, ui->edtNExc);
    setColumn(Model::LeftColumn, ZoneSensors, ui->edtNSec1);
    setColumn(Model::RightColumn, ZoneSensors, ui->edtNSec2);
    setColumn(Model::RatioColumn, Ratio, ui->edtRatio);

    setUpGroupPanel({ui->tableView,
                     ui->frameParameters,
                     ui->btnGroupTuning,
                     ui->btnApply,
                     {{ui->ckMRef, ui->edtMRef},
                      {ui->ckNExc, ui->edtNExc},
                      {ui->ckNSec1, ui->edtNSec1},
                      {ui->ckNSec2, ui->edtNSec2},
                      {ui->ckRatio, ui->edtRatio}}});
}

ProcessingConfigForm::~ProcessingConfigForm()
{
    delete ui;
}

void ProcessingConfigForm::jumpToModule(ushort mod_idx)
{
    ModuleTable::jumpTo(ui->tableView, mod_idx);
}

void ProcessingConfigForm::loadGroupEditors(const QModelIndex &row)
{
    const auto cell = [&row](int column) { return row.siblingAtColumn(column).data(Qt::DisplayRole).toInt(); };
    ui->edtMRef->setValue(cell(Model::ThresholdColumn));
    ui->edtNExc->setValue(cell(Model::ExceedColumn));
    ui->edtNSec1->setValue(cell(Model::LeftColumn));
    ui->edtNSec2->setValue(cell(Model::RightColumn));
    ui->edtRatio->setValue(cell(Model::RatioColumn));
}

void ProcessingConfigForm::applyGroupSettingsTo(ushort index)
{
    ProcessingConfigModel *model = appClient()->processingConfigModel();
    ProcessingRuleRecord rec = model->ruleAt(index);
    LantrelProtocol::Konfig_Proc_t &rule = rec.config;
    if (ui->ckMRef->isChecked())
        rule.MRef = quint16(ui->edtMRef->value());
    if (ui->ckNExc->isChecked())
        rule.NExc = quint8(ui->edtNExc->value());
    if (ui->ckNSec1->isChecked())
        rule.SensLeft = qint8(ui->edtNSec1->value());
    if (ui->ckNSec2->isChecked())
        rule.SensRight = qint8(ui->edtNSec2->value());
    if (ui->ckRatio->isChecked())
        rule.Ratio = quint8(ui->edtRatio->value());
    model->setRule(index, rec);
}
