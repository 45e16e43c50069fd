#include "controllerconfigform.h"

#include <QLabel>
#include <QVBoxLayout>

ControllerConfigForm::ControllerConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Настройка ЦУ-Л"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

ControllerConfigForm::~ControllerConfigForm() = default;

void ControllerConfigForm::disableFormActions(bool yes)
{
    Q_UNUSED(yes)
}
