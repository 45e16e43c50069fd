#include "modbusreplycheck.h"

namespace {

int be16(const QByteArray &data, int at)
{
    return (quint8(data.at(at)) << 8) | quint8(data.at(at + 1));
}

// Byte count first, then exactly that many bytes.
bool countedData(const QByteArray &reply, int expectedCount)
{
    return !reply.isEmpty() && quint8(reply.at(0)) == expectedCount && reply.size() == 1 + expectedCount;
}

bool fileRecordsAnswer(const QByteArray &request, const QByteArray &reply, int partialRecordSize)
{
    // Request: byte count, then sub-requests of 7 bytes (reference type,
    // file, record, length in registers). Reply: byte count, then per
    // sub-request its length (reference type and data), reference type 6
    // and the data.
    if (request.size() < 8 || reply.isEmpty() || quint8(reply.at(0)) != reply.size() - 1)
        return false;
    int at = 1;
    for (int sub = 1; sub + 7 <= request.size(); sub += 7) {
        if (at + 2 > reply.size())
            return false;
        const int asked = 2 * be16(request, sub + 5);
        const int got = quint8(reply.at(at)) - 1;
        if (got < 0 || quint8(reply.at(at + 1)) != 6)
            return false;
        const bool partial = partialRecordSize > 0 && got < asked && got % partialRecordSize == 0;
        if (got != asked && !partial)
            return false;
        at += 2 + got;
    }
    return at == reply.size();
}

} // namespace

bool ModbusReplyCheck::answers(int function, const QByteArray &request, const QByteArray &reply,
                               int partialRecordSize)
{
    switch (function) {
    case 1: // read coils / discrete inputs: start, count
    case 2:
        return request.size() == 4 && countedData(reply, (be16(request, 2) + 7) / 8);
    case 3: // read registers: start, count
    case 4:
        return request.size() == 4 && countedData(reply, 2 * be16(request, 2));
    case 5: // single writes and Write File Record: the echo is the request
    case 6:
    case 21:
        return reply == request;
    case 7: // one byte of exception status (here: the number of new events)
        return reply.size() == 1;
    case 15: // multiple writes: start and count echoed
    case 16:
        return request.size() >= 4 && reply == request.left(4);
    case 20:
        return fileRecordsAnswer(request, reply, partialRecordSize);
    default:
        return false;
    }
}
