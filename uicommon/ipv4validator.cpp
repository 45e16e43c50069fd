#include "ipv4validator.h"

#include "ipv4text.h"

#include <QStringList>

QValidator::State Ipv4Validator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    // Complete the text with zeros: if the result is an acceptable address,
    // the text is on the way to one.
    QStringList parts = input.split(QLatin1Char('.'));
    if (parts.size() > 4)
        return Invalid;
    for (QString &part : parts) {
        if (part.isEmpty())
            part = QStringLiteral("0");
    }
    while (parts.size() < 4)
        parts.append(QStringLiteral("0"));
    const QString completed = parts.join(QLatin1Char('.'));
    if (!isCanonicalIpv4Text(completed))
        return Invalid;
    return completed == input ? Acceptable : Intermediate;
}
