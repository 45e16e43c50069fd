#include "regularfile.h"

#include <QFile>
#include <QFileInfo>

#include "systemerrortext.h"

QString notRegularFileReason(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return QString();
    return QStringLiteral("Это не обычный файл");
}

QString openRegularFile(QFile &file)
{
    QString reason = notRegularFileReason(file.fileName());
    if (reason.isEmpty() && !file.open(QIODevice::ReadOnly))
        reason = systemErrorText(file.errorString());
    return reason;
}
