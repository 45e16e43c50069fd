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

    std::function<void()> stop;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Cancel) && !hasCancelButton()) {
            event->accept();
            if (stop)
                stop();
            return;
        }
        QProgressDialog::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent *event) override
    {
        // The program's own close() still ends it; a stopped task closes
        // the window itself when it has ended.
        if (event->spontaneous() && !hasCancelButton()) {
            event->ignore();
            if (stop)
                stop();
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

void setProgressStop(QProgressDialog *dialog, std::function<void()> stop)
{
    if (auto *task = dynamic_cast<TaskProgressDialog *>(dialog))
        task->stop = std::move(stop);
}

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
