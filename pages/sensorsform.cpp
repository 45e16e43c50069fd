#include "sensorsform.h"
#include "ui_sensorsform.h"

SensorsForm::SensorsForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::SensorsForm)
{
    ui->setupUi(this);
    connect(this, &SensorsForm::disableFormActions, ui->tabSensors, &SensorsConfigForm::disableFormActions);
    connect(this, &SensorsForm::disableFormActions, ui->tabProcessing, &ProcessingConfigForm::disableFormActions);
}

SensorsForm::~SensorsForm()
{
    delete ui;
}

void SensorsForm::jumpToModule(uchar mod_type, ushort mod_idx)
{
    ui->tabWidget->setCurrentWidget(ui->tabSensors);
    ui->tabSensors->jumpToModule(mod_type, mod_idx);
}

void SensorsForm::jumpToProcessing(ushort mod_idx)
{
    ui->tabWidget->setCurrentWidget(ui->tabProcessing);
    ui->tabProcessing->jumpToModule(mod_idx);
}
