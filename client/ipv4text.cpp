#include "ipv4text.h"

#include <QHostAddress>
#include <QStringList>

quint32 ipv4FromText(const QString &text, bool *ok)
{
    if (ok)
        *ok = false;
    // Parsed by hand: the address editors accept parts such as "08" or "010",
    // which the system resolvers would read as octal or refuse.
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    quint32 address = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return 0;
        uint octet = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return 0;
            octet = octet * 10 + uint(c.unicode() - '0');
        }
        if (octet > 255)
            return 0;
        address = (address << 8) | octet;
    }
    if (ok)
        *ok = true;
    return address;
}

bool isCanonicalIpv4Text(const QString &text)
{
    bool ok = false;
    const quint32 address = ipv4FromText(text, &ok);
    return ok && QHostAddress(address).toString() == text;
}
