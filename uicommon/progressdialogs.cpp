#include "progressdialogs.h"

#include "windowfit.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

namespace {

// Without a cancel button the task cannot be stopped from here, so its
// progress stays in sight until the task ends: Escape and the window's
// close do nothing. With one, both cancel as usual.
class TaskProgressDialog : public QProgressDialog
{
public:
    using QProgressDialog::QProgressDialog;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Cancel) && !hasCancelButton()) {
            event->accept();
            return;
        }
        QProgressDialog::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent *event) override
    {
        // The program's own close() still ends it.
        if (event->spontaneous() && !hasCancelButton()) {
            event->ignore();
            return;
        }
        QProgressDialog::closeEvent(event);
    }

private:
    bool hasCancelButton() const
    {
        return findChild<QPushButton *>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
    }
};

} // namespace

QProgressDialog *createProgressDialog(QWidget *parent, const QString &title)
{
    auto *dialog = new TaskProgressDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    dialog->setWindowTitle(title);
    dialog->setCancelButtonText(QString());
    auto *bar = new QProgressBar(dialog);
    bar->setTextVisible(false);
    dialog->setBar(bar);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    WindowFit::widenForTitle(dialog);
    return dialog;
}
