#include "iomodulesconfigform.h"
#include "ui_iomodulesconfigform.h"

#include "appcontext.h"
#include "dictionaries.h"
#include "dictionarydelegate.h"
#include "fixedvaluesspindelegate.h"
#include "iomodulesconfigfiltermodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"

namespace {

using Dictionaries::loopModes;

QMap<int, QString> contactTypes()
{
    return {{0, QStringLiteral("нормально разомкнутое")}, {1, QStringLiteral("нормально замкнутое")}};
}

} // namespace

IoModulesConfigForm::IoModulesConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : ModuleTablePage(parent, flags)
    , ui(new Ui::IoModulesConfigForm)
{
    ui->setupUi(this);
    using Model = IoModulesConfigModel;
    ModuleTable::setUp(ui->tableView, new IoModulesConfigFilterModel(this), appClient()->ioModulesConfigModel(),
                       {{QStringLiteral("Количество\nссылок"), Model::Loop1RefColumn, Model::Loop2RefColumn}});

    ui->tableView->setItemDelegateForColumn(Model::RelayContactColumn, new DictionaryDelegate(contactTypes(), this));
    ui->tableView->setItemDelegateForColumn(Model::Loop1ModeColumn, new DictionaryDelegate(loopModes(), this));
    ui->tableView->setItemDelegateForColumn(Model::Loop2ModeColumn, new DictionaryDelegate(loopModes(), this));
    ui->tableView->setItemDelegateForColumn(Model::RelayTimeColumn, new FixedValuesSpinDelegate(0, 255, 1, 1, this));

    ModuleTable::fillCombo(ui->cbLoop1, loopModes());
    ModuleTable::fillCombo(ui->cbLoop2, loopModes());
    ModuleTable::fillCombo(ui->cbRelay, contactTypes());
    ui->edtTime->setRange(0, 255);
    setUpGroupPanel({ui->tableView,
                     ui->frameParameters,
                     ui->btnGroupTuning,
                     ui->btnApply,
                     {{ui->ckLoop1, ui->cbLoop1},
                      {ui->ckLoop2, ui->cbLoop2},
                      {ui->ckRelay, ui->cbRelay},
                      {ui->ckTime, ui->edtTime}}});
}

IoModulesConfigForm::~IoModulesConfigForm()
{
    delete ui;
}

void IoModulesConfigForm::jumpToModule(uchar mod_type, ushort mod_idx)
{
    if (mod_type == LantrelProtocol::SECT_MVV)
        ModuleTable::jumpTo(ui->tableView, mod_idx);
}

void IoModulesConfigForm::loadGroupEditors(const QModelIndex &row)
{
    using Model = IoModulesConfigModel;
    const auto cell = [&row](int column) { return row.siblingAtColumn(column).data(Qt::DisplayRole); };
    ModuleTable::selectData(ui->cbLoop1, cell(Model::Loop1ModeColumn));
    ModuleTable::selectData(ui->cbLoop2, cell(Model::Loop2ModeColumn));
    ModuleTable::selectData(ui->cbRelay, cell(Model::RelayContactColumn));
    ui->edtTime->setValue(cell(Model::RelayTimeColumn).toInt());
}

void IoModulesConfigForm::applyGroupSettingsTo(ushort index)
{
    IoModulesConfigModel *model = appClient()->ioModulesConfigModel();
    IoModuleRecord rec = model->moduleAt(index);
    quint8 value = 0;
    // Each value lands in its own bits of the configuration byte, as a cell edit does.
    if (ModuleTable::checkedData(ui->ckLoop1, ui->cbLoop1, &value)) {
        rec.loop1Mode = value;
        rec.config = quint8((rec.config & 0xC2) | (value << 4));
    }
    if (ModuleTable::checkedData(ui->ckLoop2, ui->cbLoop2, &value)) {
        rec.loop2Mode = value;
        rec.config = quint8((rec.config & 0x32) | (value << 6));
    }
    if (ModuleTable::checkedData(ui->ckRelay, ui->cbRelay, &value)) {
        rec.relayContact = value;
        rec.config = quint8((rec.config & 0xF0) | (value << 1));
    }
    model->setModule(index, rec);
    // The hold time goes through the cell, so that the interactions driven by
    // this output show the new time too.
    if (ui->ckTime->isChecked() && rec.relayTime != ui->edtTime->value())
        model->setData(model->index(index, IoModulesConfigModel::RelayTimeColumn), ui->edtTime->value());
}
