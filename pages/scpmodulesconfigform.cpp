#include "scpmodulesconfigform.h"

#include <QLabel>
#include <QVBoxLayout>

ScpModulesConfigForm::ScpModulesConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Настройка ТЗ-Л"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

ScpModulesConfigForm::~ScpModulesConfigForm() = default;

void ScpModulesConfigForm::jumpToModule(uchar mod_type, ushort mod_idx)
{
    Q_UNUSED(mod_type)
    Q_UNUSED(mod_idx)
}
