#include "busywait.h"

#include <QLocale>

QString BusyWait::giveUpText(const QString &device, const QString &what) const
{
    return QStringLiteral("%1 отвечает, но остаётся занятым: %2 не выполнен за %3 с")
        .arg(device, what.isEmpty() ? QStringLiteral("запрос") : what, limitText());
}

QString BusyWait::limitText() const
{
    return QLocale().toString(m_limitMs / 1000.0);
}
