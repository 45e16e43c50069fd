#include "firmwareupdateform.h"

#include <QLabel>
#include <QVBoxLayout>

FirmwareUpdateForm::FirmwareUpdateForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Обновление прошивок"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

FirmwareUpdateForm::~FirmwareUpdateForm() = default;

void FirmwareUpdateForm::disableFormActions(bool yes)
{
    Q_UNUSED(yes)
}

void FirmwareUpdateForm::disableModulesUpdate(bool yes)
{
    Q_UNUSED(yes)
}
