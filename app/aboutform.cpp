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
    ui->lblContacts->setText(QStringLiteral("<html><head/><body><p align=\"right\">Разработчик: %1<br/>"
                                            "Программа: %2</p></body></html>")
                                 .arg(QCoreApplication::organizationName().toHtmlEscaped(),
                                      QCoreApplication::applicationName().toHtmlEscaped()));
}

AboutForm::~AboutForm()
{
    delete ui;
}
