#ifndef SAVEFILENAME_H
#define SAVEFILENAME_H

#include <QFileDialog>
#include <QString>

class QWidget;

// Asks for the name of a file to write through the save dialog. A name typed
// without a suffix gets `suffix` (".xml", say), so that the file shows in the
// load dialog's filter; the dialog checked only the typed name, so replacing
// an existing file under the completed name is asked here (title `title`).
// Empty when the dialog was cancelled or the user keeps the existing file.
QString chooseSaveFileName(QWidget *parent, const QString &title, const QString &caption, const QString &dir,
                           const QString &filter, const QString &suffix,
                           QFileDialog::Options options = QFileDialog::Options());

#endif // SAVEFILENAME_H
