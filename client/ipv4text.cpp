#include "ipv4text.h"

#include <QHostAddress>

quint32 ipv4FromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.split(QLatin1Char('.')).size() != 4)
        return 0;
    QHostAddress address;
    if (!address.setAddress(trimmed) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return 0;
    return address.toIPv4Address();
}
