#include "busywait.h"

#include <QLocale>

QString BusyWait::busyText(const QString &device)
{
    return QStringLiteral("%1 отвечает, но остаётся занятым").arg(device);
}

QString BusyWait::giveUpText(const QString &device, const QString &what) const
{
    return QStringLiteral("%1: %2 не выполнен за %3 с")
        .arg(busyText(device), what.isEmpty() ? QStringLiteral("запрос") : what, limitText());
}

QString BusyWait::limitText() const
{
    return QLocale().toString(m_limitMs / 1000.0);
}
