#include "texthelpers.h"

#include <QStringList>

namespace {

constexpr quint32 maxRunningNumber = 0x3FFFF;       // 18 bits
constexpr quint32 minSerialYear = 20;
constexpr quint32 maxSerialYear = 0x3FFF + minSerialYear; // 14 bits above the year offset

// A part that does not convert counts as 0; a part made only of digits that is
// too large for any field sets tooLarge instead of silently becoming 0.
quint64 partValue(const QString &part, bool &tooLarge)
{
    bool ok = false;
    const QString trimmed = part.trimmed();
    const quint64 value = trimmed.toULongLong(&ok, 10);
    if (ok)
        return value;
    if (!trimmed.isEmpty()) {
        bool digitsOnly = true;
        for (const QChar c : trimmed) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                digitsOnly = false;
                break;
            }
        }
        if (digitsOnly)
            tooLarge = true;
    }
    return 0;
}

const QString bullet = QStringLiteral("&nbsp;&#9679; ");

QString faultLine(const QString &text)
{
    return bullet + QStringLiteral("<span style=\"color:red\">") + text + QStringLiteral("</span><br/>");
}

} // namespace

QString serialNumberToString(quint32 serial)
{
    if (serial == 0)
        return QString();
    return QStringLiteral("%1.%2").arg(serial & maxRunningNumber).arg((serial >> 18) + minSerialYear);
}

quint32 serialNumberFromString(const QString &text)
{
    if (text.isEmpty())
        return 0;
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return 0;
    bool tooLarge = false;
    const quint64 number = partValue(parts.at(0), tooLarge);
    const quint64 year = partValue(parts.at(1), tooLarge);
    // Never hand out a wrapped or masked number that would be written to a module.
    if (tooLarge || number > maxRunningNumber || year < minSerialYear || year > maxSerialYear)
        return 0;
    return (quint32(year - minSerialYear) << 18) | quint32(number);
}

QString versionToString(quint16 version)
{
    if (version == 0)
        return QString();
    return QStringLiteral("%1.%2").arg(version >> 8).arg(version & 0xFF, 2, 10, QLatin1Char('0'));
}

quint16 versionFromString(const QString &text)
{
    if (text.isEmpty())
        return 0;
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return 0;
    // A part that does not convert counts as 0.
    const quint32 major = parts.at(0).toUInt(nullptr, 10);
    const quint32 minor = parts.at(1).toUInt(nullptr, 10);
    return quint16(((major & 0xFF) << 8) | (minor & 0xFF));
}

QString blockIdToString(const QByteArray &bytes)
{
    if (bytes.isNull())
        return QString();
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

QByteArray utf8Prefix(const QString &text, int maxBytes)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= maxBytes)
        return bytes;
    int cut = maxBytes;
    while (cut > 0 && (quint8(bytes.at(cut)) & 0xC0) == 0x80)
        --cut;
    bytes.truncate(cut);
    return bytes;
}

QByteArray blockIdControllerBytes(const QString &text)
{
    return utf8Prefix(text, BlockIdMaxBytes);
}

QByteArray undecodedBlockId(const QByteArray &bytes)
{
    const QByteArray text = blockIdToString(bytes).toUtf8();
    if (bytes.startsWith(text) && bytes.count('\0') == bytes.size() - text.size())
        return QByteArray();
    return bytes;
}

QString outOfRangeText(qlonglong value)
{
    return QStringLiteral("%1 (вне диапазона)").arg(value);
}

quint32 packInteractionSource(quint8 sourceType, quint16 address, quint8 loop)
{
    return ((quint32(sourceType) << 24) & 0x3000000u)
         | ((quint32(address) << 8) & 0xFFFF00u)
         | (quint32(loop) & 3u);
}

void unpackInteractionSource(quint32 key, quint8 &sourceType, quint16 &address, quint8 &loop)
{
    sourceType = quint8((key >> 24) & 3u);
    address = quint16((key >> 8) & 0xFFFFu);
    loop = quint8(key & 3u);
}

QString lineStatusToHtml(const LantrelProtocol::Status_Line_t &status)
{
    switch (status.State) {
    case 0:
        return bullet + QStringLiteral("не активна");
    case 1:
        return bullet + QStringLiteral("напряжение подано");
    case 2:
        return bullet + ((status.Flags & 0x01) ? QStringLiteral("включена, опрос модулей")
                                                : QStringLiteral("включена, проверка модулей"));
    case 3:
        return bullet + QStringLiteral("отключена");
    default:
        return QString();
    }
}

QString lineFaultsToHtml(const LantrelProtocol::Status_Line_t &status)
{
    static const char *const texts[8] = {
        "обрыв на линии",
        "внешний источник",
        "не норма источника",
        "потребление модулей выше нормы",
        "утечка на линии",
        "перегрузка",
        "авария (возможно короткое замыкание)",
        "не норма питания",
    };
    QString html;
    for (int bit = 0; bit < 8; ++bit) {
        if (status.Faults & (1u << bit))
            html += faultLine(QString::fromUtf8(texts[bit]));
    }
    return html;
}

QString controllerFaultsToHtml(const LantrelProtocol::Status_Device_t &status)
{
    static const char *const status1Texts[2] = {
        "ошибки в серийном номере",                        // bit 4
        "конфигурация датчиков не соответствует хранимой", // bit 5
    };
    static const char *const status2Texts[8] = {
        "не норма первичного питания",
        "не норма вторичного питания",
        "не норма батареи",
        "не норма питания периферии",
        "не норма питания линии",
        "ошибка энергонезависимой памяти событий",
        "ошибка контроля целостности параметров",
        "ошибка контроля целостности программы",
    };
    QString html;
    for (int i = 0; i < 2; ++i) {
        if (status.Status1 & (1u << (4 + i)))
            html += faultLine(QString::fromUtf8(status1Texts[i]));
    }
    for (int bit = 0; bit < 8; ++bit) {
        if (status.Status2 & (1u << bit))
            html += faultLine(QString::fromUtf8(status2Texts[bit]));
    }
    return html;
}
