#include "editorwindow.h"

#include <QLayout>
#include <QWidget>

void setUpEditorWindow(QWidget *form)
{
    form->layout()->setSizeConstraint(QLayout::SetFixedSize);
    form->adjustSize();
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowModality(Qt::ApplicationModal);
}
