#ifndef UISEAMS_H
#define UISEAMS_H

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Message boxes, file dialogs and the serial-port list reach the windows
// through these functions, so that a test can answer them without a user
// (and list a pseudo-terminal, which the system's port list leaves out).
namespace UiSeams {

using MessageBoxHandler = std::function<QMessageBox::StandardButton(
    QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)>;
using FileDialogHandler = std::function<QString(QWidget *parent, const QString &caption, const QString &dir,
                                                const QString &filter, QFileDialog::Options options)>;
using PortListHandler = std::function<QStringList()>;

QMessageBox::StandardButton messageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                       const QString &text,
                                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                       QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                        QFileDialog::Options options = QFileDialog::Options());
QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                        QFileDialog::Options options = QFileDialog::Options());
// Names of the serial ports the system reports (QSerialPortInfo), unsorted.
QStringList serialPortNames();

// An empty handler restores the real dialog or list.
void setMessageBoxHandler(MessageBoxHandler handler);
void setOpenFileHandler(FileDialogHandler handler);
void setSaveFileHandler(FileDialogHandler handler);
void setPortListHandler(PortListHandler handler);

} // namespace UiSeams

#endif // UISEAMS_H
