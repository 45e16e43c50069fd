#include "scpmodulesconfigform.h"
#include "ui_scpmodulesconfigform.h"

#include "appcontext.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "moduletablepage.h"
#include "scpmodulesconfigfiltermodel.h"
#include "scpmodulesconfigmodel.h"

ScpModulesConfigForm::ScpModulesConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::ScpModulesConfigForm)
{
    ui->setupUi(this);
    using Model = ScpModulesConfigModel;
    ModuleTable::setUp(ui->tableView, new ScpModulesConfigFilterModel(this), appClient()->scpModulesConfigModel(),
                       {{QStringLiteral("Пороговое напряжение"), Model::ThrMinColumn, Model::ThrOnColumn}});
}

ScpModulesConfigForm::~ScpModulesConfigForm()
{
    delete ui;
}

void ScpModulesConfigForm::jumpToModule(uchar mod_type, ushort mod_idx)
{
    if (mod_type == LantrelProtocol::SECT_MKZ)
        ModuleTable::jumpTo(ui->tableView, mod_idx);
}
