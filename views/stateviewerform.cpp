#include "stateviewerform.h"

#include <QLabel>
#include <QVBoxLayout>

StateViewerForm::StateViewerForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Состояние ИОП"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

StateViewerForm::~StateViewerForm() = default;

void StateViewerForm::disableFormActions(bool yes)
{
    Q_UNUSED(yes)
}
