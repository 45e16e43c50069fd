#include "uiseams.h"

#include "windowfit.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLayout>
#include <QPointer>
#include <QSerialPortInfo>

namespace UiSeams {
namespace {

// The handler a test installed, one of each kind; the tag tells apart kinds
// of the same type.
template <typename Handler, typename Tag = Handler>
Handler &installed()
{
    static Handler handler;
    return handler;
}
struct OpenFile;
struct SaveFile;

// The parent may be deleted while the box waits for an answer (the desktop
// session ending, say), and the box with it: it lives on the heap, and such
// a box counts as unanswered. `checked`, when given, receives the state of
// the box's check box.
QMessageBox::StandardButton execBox(QPointer<QMessageBox> box, QMessageBox::StandardButton defaultButton,
                                    bool *checked)
{
    box->setDefaultButton(defaultButton);
    // The box sizes itself for its texts when shown, and for its title only
    // as far as a title bar without buttons goes: the row of buttons, which
    // spans the box, is made as wide as the window manager's title bar needs.
    if (auto *buttons = box->findChild<QDialogButtonBox *>()) {
        const QMargins margins = box->layout()->contentsMargins();
        buttons->setMinimumWidth(WindowFit::widthForTitle(box) - margins.left() - margins.right());
    }
    const int answer = box->exec();
    if (!box)
        return QMessageBox::NoButton;
    if (checked)
        *checked = box->checkBox()->isChecked();
    delete box.data();
    return QMessageBox::StandardButton(answer);
}

} // namespace

QMessageBox::StandardButton messageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                       const QString &text, QMessageBox::StandardButtons buttons,
                                       QMessageBox::StandardButton defaultButton)
{
    if (const auto &handler = installed<MessageBoxHandler>())
        return handler(parent, icon, title, text, buttons, defaultButton);
    return execBox(new QMessageBox(icon, title, text, buttons, parent), defaultButton, nullptr);
}

QMessageBox::StandardButton messageBoxWithCheckBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                   const QString &text, const QString &checkBoxText, bool *checked,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    *checked = false;
    if (const auto &handler = installed<MessageBoxHandler>()) {
        if (const auto &checkBox = installed<CheckBoxHandler>())
            *checked = checkBox(checkBoxText);
        return handler(parent, icon, title, text, buttons, defaultButton);
    }
    auto *box = new QMessageBox(icon, title, text, buttons, parent);
    box->setCheckBox(new QCheckBox(checkBoxText, box));
    return execBox(box, defaultButton, checked);
}

QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                        QFileDialog::Options options)
{
    if (const auto &handler = installed<FileDialogHandler, OpenFile>())
        return handler(parent, caption, dir, filter, options);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr, options);
}

QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                        QFileDialog::Options options)
{
    if (const auto &handler = installed<FileDialogHandler, SaveFile>())
        return handler(parent, caption, dir, filter, options);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, options);
}

QStringList serialPortNames()
{
    if (const auto &handler = installed<PortListHandler>())
        return handler();
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    return names;
}

void setMessageBoxHandler(MessageBoxHandler handler) { installed<MessageBoxHandler>() = std::move(handler); }
void setOpenFileHandler(FileDialogHandler handler) { installed<FileDialogHandler, OpenFile>() = std::move(handler); }
void setSaveFileHandler(FileDialogHandler handler) { installed<FileDialogHandler, SaveFile>() = std::move(handler); }
void setPortListHandler(PortListHandler handler) { installed<PortListHandler>() = std::move(handler); }
void setCheckBoxHandler(CheckBoxHandler handler) { installed<CheckBoxHandler>() = std::move(handler); }

} // namespace UiSeams
