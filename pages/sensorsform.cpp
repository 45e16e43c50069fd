#include "sensorsform.h"

#include <QLabel>
#include <QVBoxLayout>

SensorsForm::SensorsForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(QStringLiteral("Параметры датчиков"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(windowTitle(), this);
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption);
}

SensorsForm::~SensorsForm() = default;

void SensorsForm::jumpToModule(uchar mod_type, ushort mod_idx)
{
    Q_UNUSED(mod_type)
    Q_UNUSED(mod_idx)
}

void SensorsForm::jumpToProcessing(ushort mod_idx)
{
    Q_UNUSED(mod_idx)
}
