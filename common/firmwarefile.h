#ifndef FIRMWAREFILE_H
#define FIRMWAREFILE_H

#include <QByteArray>
#include <QHash>
#include <QString>

// Target code of a firmware file to the firmware type the controller takes
// (1 controller loader, 2 controller program, 3 sensor modules, 4 I/O
// modules, 5 line-protection modules) and to its display name.
extern const QHash<quint16, quint8> firmwareTypes;
extern const QHash<quint16, QString> firmwareNames;

// A ".mcr" firmware file checked from its bytes: a body followed by a
// 32-byte little-endian trailer (target code, version, 24 unused bytes,
// CRC-16/ARC of the body, CRC-16/ARC of the trailer's first 30 bytes).
class FirmwareFile
{
public:
    enum Status {
        Accepted,
        Damaged,    // empty, not whole trailers, a CRC off or an unknown target
        TooLarge    // cannot be transferred at all
    };

    static constexpr int TrailerSize = 32;
    // The upload image travels in 128-byte chunks counted in 16 bits, and
    // the preparation command carries its length in 24 bits.
    static constexpr qint64 MaxImageSize = qMin<qint64>(0xFFFF * 128, 0xFFFFFF);
    // The image is the file and its 2-byte CRC.
    static constexpr qint64 MaxFileSize = MaxImageSize - 2;

    static FirmwareFile check(const QByteArray &bytes);

    Status status() const { return m_status; }
    bool isAccepted() const { return m_status == Accepted; }
    quint16 targetCode() const { return m_targetCode; }
    quint16 version() const { return m_version; }
    quint8 firmwareType() const { return m_firmwareType; }   // 0 unless accepted
    QString displayName() const { return m_displayName; }
    QString versionText() const;

    // The whole file followed by its CRC-16/ARC, high byte first: what the
    // controller takes. Empty unless accepted.
    QByteArray uploadImage() const;

    // The text that tells the user why `fileName` (shown as given) was refused.
    QString rejectionMessage(const QString &fileName) const;

private:
    Status m_status = Damaged;
    QByteArray m_bytes;
    quint16 m_targetCode = 0;
    quint16 m_version = 0;
    quint8 m_firmwareType = 0;
    QString m_displayName;
};

#endif // FIRMWAREFILE_H
