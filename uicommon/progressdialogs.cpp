#include "progressdialogs.h"

#include <QFontMetrics>
#include <QProgressBar>
#include <QProgressDialog>

QProgressDialog *createProgressDialog(QWidget *parent, const QString &title)
{
    auto *dialog = new QProgressDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    dialog->setWindowTitle(title);
    dialog->setCancelButtonText(QString());
    auto *bar = new QProgressBar(dialog);
    bar->setTextVisible(false);
    dialog->setBar(bar);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    // The title bar adds an icon and margins around the title text.
    const int titleWidth = QFontMetrics(dialog->font()).horizontalAdvance(title) + 96;
    dialog->setMinimumWidth(qMax(dialog->minimumWidth(), titleWidth));
    return dialog;
}
