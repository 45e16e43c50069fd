#include "aboutform.h"
#include "ui_aboutform.h"

#include <QCoreApplication>

AboutForm::AboutForm(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , ui(new Ui::AboutForm)
{
    ui->setupUi(this);
    ui->lblAppVersion->setText(
        QStringLiteral("<html><head /><body><p align = \"center\"><span style = \"font-size:11pt;\">версия ")
        + QCoreApplication::applicationVersion() + QStringLiteral("</span></p></body></html>"));
}

AboutForm::~AboutForm()
{
    delete ui;
}
