#ifndef PROGRESSDIALOGS_H
#define PROGRESSDIALOGS_H

#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

// The progress window of a task: a tool window with a title bar and no
// buttons of its own, shown at once, never closed or reset by its value,
// and wide enough to show its whole title. Unless it is given a cancel
// button, Escape and the close of the window leave it open.
QProgressDialog *createProgressDialog(QWidget *parent, const QString &title);
// A task that can be stopped: Escape and the close of the window call
// `stop` and leave the window open until the task ends. An empty function
// takes that back.
void setProgressStop(QProgressDialog *dialog, std::function<void()> stop);

#endif // PROGRESSDIALOGS_H
