#include "regularfile.h"

#include <QFileInfo>

QString notRegularFileReason(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return QString();
    return QStringLiteral("Это не обычный файл");
}
