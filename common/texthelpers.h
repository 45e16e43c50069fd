#ifndef TEXTHELPERS_H
#define TEXTHELPERS_H

#include <QByteArray>
#include <QString>

#include "lantrelprotocol.h"

// Serial number: bits 0-17 running number, bits 18-31 year minus 20; text "number.year".
// 0 gives an empty text.
QString serialNumberToString(quint32 serial);
// 0 for a text that does not parse or does not fit (number above 262143,
// year outside 20..16403).
quint32 serialNumberFromString(const QString &text);

// Version: major in the high byte, minor in the low byte; text "major.mm".
// 0 gives an empty text.
QString versionToString(quint16 version);
// 0 for a text that does not parse; each part is cut to its low byte.
quint16 versionFromString(const QString &text);

// Controller block identifier: the bytes up to the first zero, as UTF-8.
// A null array gives a null text.
QString blockIdToString(const QByteArray &bytes);
// The controller keeps this many bytes of a block identifier.
constexpr int BlockIdMaxBytes = 64;
// The UTF-8 of `text`, cut to at most `maxBytes` without splitting a character.
QByteArray utf8Prefix(const QString &text, int maxBytes);
// What the controller keeps of a block identifier.
QByteArray blockIdControllerBytes(const QString &text);
// The identifier's bytes when blockIdToString() does not give them back:
// not UTF-8 up to the first zero, or more than zeros after it. Null when
// the text is the whole identifier.
QByteArray undecodedBlockId(const QByteArray &bytes);

// A value an editor or a table has no place for: "8 (вне диапазона)".
QString outOfRangeText(qlonglong value);

// Interaction source key: bits 24-25 source type, bits 8-23 line address,
// bits 0-1 loop. Numeric order of keys is type, address, loop.
quint32 packInteractionSource(quint8 sourceType, quint16 address, quint8 loop);
void unpackInteractionSource(quint32 key, quint8 &sourceType, quint16 &address, quint8 &loop);

// HTML fragments for rich-text labels.
QString lineStatusToHtml(const LantrelProtocol::Status_Line_t &status);
QString lineFaultsToHtml(const LantrelProtocol::Status_Line_t &status);
QString controllerFaultsToHtml(const LantrelProtocol::Status_Device_t &status);

#endif // TEXTHELPERS_H
