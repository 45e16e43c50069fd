#include "iomodulesconfigform.h"

#include <QLabel>
#include <QVBoxLayout>

IoModulesConfigForm::IoModulesConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Настройка ПС-Л"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

IoModulesConfigForm::~IoModulesConfigForm() = default;

void IoModulesConfigForm::disableFormActions(bool yes)
{
    Q_UNUSED(yes)
}

void IoModulesConfigForm::jumpToModule(uchar mod_type, ushort mod_idx)
{
    Q_UNUSED(mod_type)
    Q_UNUSED(mod_idx)
}
