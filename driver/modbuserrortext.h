#ifndef MODBUSERRORTEXT_H
#define MODBUSERRORTEXT_H

#include <QModbusDevice>
#include <QString>

class QModbusReply;
class QModbusResponse;

// The failure of a Modbus request or link as the user reads it. Qt reports
// these in English; the ones a controller or a network really gives
// (time-out, exception with its code, invalid response, connection refused
// or reset) are said in Russian here, any other in Qt's own words.

// The exception code of a reply; -1 for an exception reply without one (or
// no exception).
int modbusExceptionCode(const QModbusResponse &response);
// An exception code of a Modbus reply: "Ответ-исключение Modbus: устройство занято".
QString modbusExceptionText(int code);
// The same with the code in hexadecimal: "… занято (код 0x06)"; a code
// below 0 is an exception reply without a code.
QString modbusExceptionCodeText(int code);
// An error without a reply at hand (the transport's error and its text).
QString modbusErrorText(QModbusDevice::Error error, const QString &qtText);
// A finished reply's error, with the exception code in hexadecimal when
// there is one.
QString modbusErrorText(const QModbusReply *reply);

#endif // MODBUSERRORTEXT_H
