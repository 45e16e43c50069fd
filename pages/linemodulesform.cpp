#include "linemodulesform.h"

#include <QLabel>
#include <QVBoxLayout>

LineModulesForm::LineModulesForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Линейные модули"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

LineModulesForm::~LineModulesForm() = default;

void LineModulesForm::disableFormActions(bool yes)
{
    Q_UNUSED(yes)
}
