#ifndef MODBUSREPLYCHECK_H
#define MODBUSREPLYCHECK_H

#include <QByteArray>

// Whether the data of a reply (after its function code) has the shape that
// answers the request it was sent for: the byte counts agree with the data,
// a read returns exactly what was asked, a write is echoed as it was sent.
// Qt's Modbus client checks only the functions it knows, and those only
// loosely; a reply counts only when this says so.
namespace ModbusReplyCheck {

// `request` is the request data after its function code. For a Read File
// Record request `partialRecordSize`, when not 0, lets a sub-response hold
// fewer whole records of that size than asked (the event memory may have
// fewer events than it counted a moment before).
bool answers(int function, const QByteArray &request, const QByteArray &reply,
             int partialRecordSize = 0);

} // namespace ModbusReplyCheck

#endif // MODBUSREPLYCHECK_H
