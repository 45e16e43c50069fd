#include "relaymodulesconfigform.h"

#include <QLabel>
#include <QVBoxLayout>

RelayModulesConfigForm::RelayModulesConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Настройка ЖН-Т"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

RelayModulesConfigForm::~RelayModulesConfigForm() = default;

void RelayModulesConfigForm::disableFormActions(bool yes)
{
    Q_UNUSED(yes)
}
