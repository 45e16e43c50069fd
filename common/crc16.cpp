#include "crc16.h"

#include <array>

namespace {

// Standard table of the reflected polynomial 0xA001: entry i is the register
// after shifting byte i through it eight times.
constexpr quint16 reflectedEntry(unsigned i)
{
    unsigned r = i;
    for (int bit = 0; bit < 8; ++bit)
        r = (r & 1u) ? (r >> 1) ^ 0xA001u : (r >> 1);
    return quint16(r);
}

struct CrcTables
{
    std::array<quint8, 256> low{};
    std::array<quint8, 256> high{};
    std::array<quint16, 256> swapped{};

    constexpr CrcTables()
    {
        for (unsigned i = 0; i < 256; ++i) {
            const quint16 e = reflectedEntry(i);
            low[i] = quint8(e & 0xFF);
            high[i] = quint8(e >> 8);
            swapped[i] = quint16(((e & 0xFF) << 8) | (e >> 8));
        }
    }
};

constexpr CrcTables tables;

} // namespace

quint16 crc16Modbus(quint16 initial, const void *data, qint64 length)
{
    if (!data || length <= 0)
        return initial;
    const auto *p = static_cast<const quint8 *>(data);
    quint8 lo = quint8(initial & 0xFF);
    quint8 hi = quint8(initial >> 8);
    for (qint64 i = 0; i < length; ++i) {
        const quint8 index = lo ^ p[i];
        lo = tables.low[index] ^ hi;
        hi = tables.high[index];
    }
    return quint16((hi << 8) | lo);
}

quint16 crc16ModbusSwapped(quint16 initial, const void *data, qint64 length)
{
    if (!data || length <= 0)
        return initial;
    const auto *p = static_cast<const quint8 *>(data);
    unsigned reg = initial;
    for (qint64 i = 0; i < length; ++i)
        reg = ((reg << 8) ^ tables.swapped[((reg >> 8) ^ p[i]) & 0xFF]) & 0xFFFF;
    return quint16(reg);
}
