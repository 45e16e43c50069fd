#include "firmwarefile.h"

#include "crc16.h"
#include "texthelpers.h"

const QHash<quint16, quint8> firmwareTypes = {
    {191, 1}, {192, 2}, {193, 3}, {194, 4}, {195, 5},
};

const QHash<quint16, QString> firmwareNames = {
    {191, QStringLiteral("ЦУ-Л (загрузчик)")},
    {192, QStringLiteral("ЦУ-Л (программа)")},
    {193, QStringLiteral("ВТ-Л (ВС-Л)")},
    {194, QStringLiteral("ПС-Л")},
    {195, QStringLiteral("ТЗ-Л")},
};

namespace {

quint16 le16(const char *p)
{
    return quint16(quint8(p[0]) | (quint8(p[1]) << 8));
}

} // namespace

FirmwareFile FirmwareFile::check(const QByteArray &bytes)
{
    FirmwareFile file;
    // Checked first: a caller may hand over only the start of a huge file.
    if (bytes.size() > MaxFileSize) {
        file.m_status = TooLarge;
        return file;
    }
    if (bytes.isEmpty() || bytes.size() % TrailerSize != 0)
        return file;
    const int bodySize = bytes.size() - TrailerSize;
    const char *trailer = bytes.constData() + bodySize;
    if (crc16Modbus(0, bytes.constData(), bodySize) != le16(trailer + 28))
        return file;
    if (crc16Modbus(0, trailer, TrailerSize) != 0)
        return file;
    const quint16 target = le16(trailer);
    if (!firmwareTypes.contains(target))
        return file;

    file.m_status = Accepted;
    file.m_bytes = bytes;
    file.m_targetCode = target;
    file.m_version = le16(trailer + 2);
    file.m_firmwareType = firmwareTypes.value(target);
    file.m_displayName = firmwareNames.value(target);
    return file;
}

QString FirmwareFile::versionText() const
{
    return versionToString(m_version);
}

QByteArray FirmwareFile::uploadImage() const
{
    if (!isAccepted())
        return QByteArray();
    // The swapped CRC's low byte is the CRC's high byte.
    const quint16 swapped = crc16ModbusSwapped(0, m_bytes.constData(), m_bytes.size());
    QByteArray image = m_bytes;
    image.append(char(swapped & 0xFF));
    image.append(char(swapped >> 8));
    return image;
}

QString FirmwareFile::rejectionMessage(const QString &fileName) const
{
    switch (m_status) {
    case Accepted:
        return QString();
    case TooLarge:
        return QStringLiteral("Ошибка загрузки файла прошивки %1. Файл слишком велик для передачи в ЦУ-Л "
                              "(допустимо не более %2 байт)")
            .arg(fileName, QString::number(MaxFileSize));
    case Damaged:
        break;
    }
    return QStringLiteral("Ошибка загрузки файла прошивки %1. Файл поврежден или имеет неверный формат").arg(fileName);
}
