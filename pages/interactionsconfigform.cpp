#include "interactionsconfigform.h"

#include <QLabel>
#include <QVBoxLayout>

InteractionsConfigForm::InteractionsConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Настройка взаимодействий"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

InteractionsConfigForm::~InteractionsConfigForm() = default;

void InteractionsConfigForm::disableFormActions(bool yes)
{
    Q_UNUSED(yes)
}
