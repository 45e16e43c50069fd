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
// The state a test leaves the check box of messageBoxWithCheckBox in.
using CheckBoxHandler = std::function<bool(const QString &checkBoxText)>;

QMessageBox::StandardButton messageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                       const QString &text,
                                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                       QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// A message box with a check box under its text ("do not ask again" and the
// like); `checked` receives the box's state when it closes, whatever the answer.
QMessageBox::StandardButton messageBoxWithCheckBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                   const QString &text, const QString &checkBoxText, bool *checked,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton);
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
// Used with the message box handler; without one the check box stays unchecked.
void setCheckBoxHandler(CheckBoxHandler handler);

} // namespace UiSeams

#endif // UISEAMS_H
