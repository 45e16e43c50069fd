#include "samplesviewerform.h"

#include <QLabel>
#include <QVBoxLayout>

SamplesViewerForm::SamplesViewerForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Данные от модулей"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

SamplesViewerForm::~SamplesViewerForm() = default;
