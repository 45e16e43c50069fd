#include "uiseams.h"

#include <QCheckBox>
#include <QPointer>
#include <QSerialPortInfo>

namespace UiSeams {
namespace {
MessageBoxHandler &messageBoxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}
FileDialogHandler &openFileHandler()
{
    static FileDialogHandler handler;
    return handler;
}
FileDialogHandler &saveFileHandler()
{
    static FileDialogHandler handler;
    return handler;
}
PortListHandler &portListHandler()
{
    static PortListHandler handler;
    return handler;
}
CheckBoxHandler &checkBoxHandler()
{
    static CheckBoxHandler handler;
    return handler;
}
} // namespace

QMessageBox::StandardButton messageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                       const QString &text, QMessageBox::StandardButtons buttons,
                                       QMessageBox::StandardButton defaultButton)
{
    if (messageBoxHandler())
        return messageBoxHandler()(parent, icon, title, text, buttons, defaultButton);
    // The parent may be deleted while the box waits for an answer (the
    // desktop session ending, say), and the box with it: it lives on the
    // heap, and such a box counts as unanswered.
    QPointer<QMessageBox> box = new QMessageBox(icon, title, text, buttons, parent);
    box->setDefaultButton(defaultButton);
    const int answer = box->exec();
    if (!box)
        return QMessageBox::NoButton;
    delete box.data();
    return QMessageBox::StandardButton(answer);
}

QMessageBox::StandardButton messageBoxWithCheckBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                   const QString &text, const QString &checkBoxText, bool *checked,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    if (messageBoxHandler()) {
        *checked = checkBoxHandler() ? checkBoxHandler()(checkBoxText) : false;
        return messageBoxHandler()(parent, icon, title, text, buttons, defaultButton);
    }
    *checked = false;
    // On the heap for the same reason as in messageBox().
    QPointer<QMessageBox> box = new QMessageBox(icon, title, text, buttons, parent);
    box->setDefaultButton(defaultButton);
    box->setCheckBox(new QCheckBox(checkBoxText, box));
    const int answer = box->exec();
    if (!box)
        return QMessageBox::NoButton;
    *checked = box->checkBox()->isChecked();
    delete box.data();
    return QMessageBox::StandardButton(answer);
}

QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                        QFileDialog::Options options)
{
    if (openFileHandler())
        return openFileHandler()(parent, caption, dir, filter, options);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr, options);
}

QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                        QFileDialog::Options options)
{
    if (saveFileHandler())
        return saveFileHandler()(parent, caption, dir, filter, options);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, options);
}

QStringList serialPortNames()
{
    if (portListHandler())
        return portListHandler()();
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    return names;
}

void setMessageBoxHandler(MessageBoxHandler handler) { messageBoxHandler() = std::move(handler); }
void setOpenFileHandler(FileDialogHandler handler) { openFileHandler() = std::move(handler); }
void setSaveFileHandler(FileDialogHandler handler) { saveFileHandler() = std::move(handler); }
void setPortListHandler(PortListHandler handler) { portListHandler() = std::move(handler); }
void setCheckBoxHandler(CheckBoxHandler handler) { checkBoxHandler() = std::move(handler); }

} // namespace UiSeams
