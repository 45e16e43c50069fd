#include "savefilename.h"

#include <QDir>
#include <QFileInfo>

#include "uiseams.h"

QString chooseSaveFileName(QWidget *parent, const QString &title, const QString &caption, const QString &dir,
                           const QString &filter, const QString &suffix, QFileDialog::Options options)
{
    QString fileName = UiSeams::getSaveFileName(parent, caption, dir, filter, options);
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    fileName += suffix;
    if (QFileInfo::exists(fileName)
        && UiSeams::messageBox(parent, QMessageBox::Warning, title,
                               QStringLiteral("<p>Файл «%1» уже существует.</p><p>Заменить его?</p>")
                                   .arg(QDir::toNativeSeparators(fileName)),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               != QMessageBox::Yes)
        return QString();
    return fileName;
}
