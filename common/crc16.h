#ifndef CRC16_H
#define CRC16_H

#include <QtGlobal>

// CRC-16 of the Modbus serial line (reflected polynomial 0xA001, no final XOR),
// continuing from the given initial value; a length of 0 (or less) returns it unchanged.
// The result's low byte is the one a Modbus frame carries first.
quint16 crc16Modbus(quint16 initial, const void *data, qint64 length);

// The same CRC with the initial value and the result byte-swapped:
// crc16ModbusSwapped(c, d, n) == byteswap(crc16Modbus(byteswap(c), d, n)).
quint16 crc16ModbusSwapped(quint16 initial, const void *data, qint64 length);

#endif // CRC16_H
