#ifndef FIRMWARETESTSUPPORT_H
#define FIRMWARETESTSUPPORT_H

// Hand-made ".mcr" firmware files for the tests: a body and a 32-byte
// little-endian trailer (target code, version, 24 unused bytes, CRC of the
// body, CRC of the trailer's first 30 bytes). Header-only.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace FirmwareTest {

// Bit-by-bit CRC-16/ARC, independent of the program's table-driven one.
inline quint16 arc(const QByteArray &data)
{
    quint16 crc = 0;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

inline QByteArray patternBody(int size)
{
    QByteArray body(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        body[i] = char((i * 7 + 3) & 0xFF);
    return body;
}

// A well-formed file; the unused trailer bytes carry noise. A non-zero
// bodyCrcError spoils the body CRC while the trailer CRC stays right.
inline QByteArray makeFile(const QByteArray &body, quint16 target, quint16 version, quint16 bodyCrcError = 0)
{
    QByteArray trailer(32, '\0');
    auto put = [&trailer](int at, quint16 v) {
        trailer[at] = char(v & 0xFF);
        trailer[at + 1] = char(v >> 8);
    };
    put(0, target);
    put(2, version);
    for (int i = 4; i < 28; ++i)
        trailer[i] = char(0xA0 + i);
    put(28, quint16(arc(body) ^ bodyCrcError));
    put(30, arc(trailer.left(30)));
    return body + trailer;
}

// The image the controller must receive for `file`: the file and its CRC, high byte first.
inline QByteArray uploadImageOf(const QByteArray &file)
{
    const quint16 crc = arc(file);
    return file + char(crc >> 8) + char(crc & 0xFF);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace FirmwareTest

#endif // FIRMWARETESTSUPPORT_H
