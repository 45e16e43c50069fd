#include "lantrelprotocol.h"

namespace LantrelProtocol {

namespace {

// Switches the stream to the given byte order and puts the caller's order back
// when the operator returns.
class ByteOrderScope
{
public:
    ByteOrderScope(QDataStream &s, QDataStream::ByteOrder order)
        : m_stream(s), m_saved(s.byteOrder())
    {
        m_stream.setByteOrder(order);
    }
    ~ByteOrderScope() { m_stream.setByteOrder(m_saved); }
    ByteOrderScope(const ByteOrderScope &) = delete;
    ByteOrderScope &operator=(const ByteOrderScope &) = delete;

private:
    QDataStream &m_stream;
    QDataStream::ByteOrder m_saved;
};

// Packed fields cannot bind to the stream's reference parameters: go through
// a temporary. QDataStream leaves 0 in the temporary when the data ran out.
template <typename T>
T take(QDataStream &s)
{
    T v = 0;
    s >> v;
    return v;
}

template <typename T>
void put(QDataStream &s, T v)
{
    s << v;
}

// Qt names the map after ushort, while signal and slot signatures spell the
// key quint16: register that spelling too, or connections made by signature
// cannot queue the map.
template <typename T>
void registerTableTypes(const char *mapSignatureName)
{
    qRegisterMetaType<T>();
    qRegisterMetaType<QVector<T>>();
    qRegisterMetaType<QMap<quint16, T>>();
    qRegisterMetaType<QMap<quint16, T>>(mapSignatureName);
}

} // namespace

// ---- Clock_Device_t

QDataStream &operator>>(QDataStream &s, Clock_Device_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.DayOfWeek = take<quint8>(s);
    r.Second = take<quint8>(s);
    r.Minute = take<quint8>(s);
    r.Hour = take<quint8>(s);
    r.Day = take<quint8>(s);
    r.Month = take<quint8>(s);
    r.Year = take<quint16>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Clock_Device_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint8>(s, r.DayOfWeek);
    put<quint8>(s, r.Second);
    put<quint8>(s, r.Minute);
    put<quint8>(s, r.Hour);
    put<quint8>(s, r.Day);
    put<quint8>(s, r.Month);
    put<quint16>(s, r.Year);
    return s;
}

// ---- Event_Record_t

QDataStream &operator>>(QDataStream &s, Event_Record_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.DeviceType = take<quint16>(s);
    r.Address = take<quint16>(s);
    r.Event = take<quint8>(s);
    r.Flags = take<quint8>(s);
    r.Year = take<quint8>(s);
    r.Month = take<quint8>(s);
    r.Day = take<quint8>(s);
    r.Hour = take<quint8>(s);
    r.Minute = take<quint8>(s);
    r.Second = take<quint8>(s);
    return s;
}

// ---- Konfig_Device_t

QDataStream &operator>>(QDataStream &s, Konfig_Device_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.Reserved0 = take<quint32>(s);
    r.Reserved4 = take<quint32>(s);
    r.Reserved8 = take<quint32>(s);
    r.Reserved12 = take<quint8>(s);
    r.Reserved13 = take<quint8>(s);
    r.Reserved14 = take<quint8>(s);
    r.Reserved15 = take<quint8>(s);
    r.LineAddr = take<quint16>(s);
    r.Reserved18 = take<quint8>(s);
    r.TSign = take<quint8>(s);
    r.MRef = take<quint16>(s);
    r.TWork = take<quint8>(s);
    r.NExc = take<quint8>(s);
    r.Ratio = take<quint8>(s);
    r.Dist = take<quint8>(s);
    r.Range = take<quint8>(s);
    r.LPF = take<quint8>(s);
    r.HPF = take<quint8>(s);
    r.DAF = take<quint8>(s);
    r.RuleJP = take<quint8>(s);
    r.CfgLoop = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Konfig_Device_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint32>(s, r.Reserved0);
    put<quint32>(s, r.Reserved4);
    put<quint32>(s, r.Reserved8);
    put<quint8>(s, r.Reserved12);
    put<quint8>(s, r.Reserved13);
    put<quint8>(s, r.Reserved14);
    put<quint8>(s, r.Reserved15);
    put<quint16>(s, r.LineAddr);
    put<quint8>(s, r.Reserved18);
    put<quint8>(s, r.TSign);
    put<quint16>(s, r.MRef);
    put<quint8>(s, r.TWork);
    put<quint8>(s, r.NExc);
    put<quint8>(s, r.Ratio);
    put<quint8>(s, r.Dist);
    put<quint8>(s, r.Range);
    put<quint8>(s, r.LPF);
    put<quint8>(s, r.HPF);
    put<quint8>(s, r.DAF);
    put<quint8>(s, r.RuleJP);
    put<quint8>(s, r.CfgLoop);
    return s;
}

// ---- ETH_konf_t
// IPAddr goes in the caller's byte order (the driver's streams are big-endian),
// NetMask and Gateway always big-endian, the rest little-endian.

QDataStream &operator>>(QDataStream &s, ETH_konf_t &r)
{
    r.IPAddr = take<quint32>(s);
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.Reserved4 = take<quint16>(s);
    r.Reserved6 = take<quint16>(s);
    s.setByteOrder(QDataStream::BigEndian);
    r.NetMask = take<quint32>(s);
    r.Gateway = take<quint32>(s);
    s.setByteOrder(QDataStream::LittleEndian);
    for (quint8 &octet : r.MAC)
        octet = take<quint8>(s);
    r.Reserved22 = take<quint8>(s);
    r.Reserved23 = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const ETH_konf_t &r)
{
    put<quint32>(s, r.IPAddr);
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint16>(s, r.Reserved4);
    put<quint16>(s, r.Reserved6);
    s.setByteOrder(QDataStream::BigEndian);
    put<quint32>(s, r.NetMask);
    put<quint32>(s, r.Gateway);
    s.setByteOrder(QDataStream::LittleEndian);
    for (quint8 octet : r.MAC)
        put<quint8>(s, octet);
    put<quint8>(s, r.Reserved22);
    put<quint8>(s, r.Reserved23);
    return s;
}

// ---- Konfig_Line_t

QDataStream &operator>>(QDataStream &s, Konfig_Line_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.SensorCount = take<quint16>(s);
    r.IoCount = take<quint16>(s);
    r.ScpCount = take<quint16>(s);
    r.RelayCount = take<quint8>(s);
    r.LineMode = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Konfig_Line_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint16>(s, r.SensorCount);
    put<quint16>(s, r.IoCount);
    put<quint16>(s, r.ScpCount);
    put<quint8>(s, r.RelayCount);
    put<quint8>(s, r.LineMode);
    return s;
}

// ---- Konfig_Section_t

QDataStream &operator>>(QDataStream &s, Konfig_Section_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.SerialNo = take<quint32>(s);
    r.LineAddr = take<quint16>(s);
    r.DeviceType = take<quint8>(s);
    r.Range = take<quint8>(s);
    r.LPF = take<quint8>(s);
    r.HPF = take<quint8>(s);
    r.DAF = take<quint8>(s);
    r.ThrIR = take<quint8>(s);
    r.NExcIR = take<quint8>(s);
    r.RuleJP = take<quint8>(s);
    r.RefCount = take<quint8>(s);
    r.Reserved15 = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Konfig_Section_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint32>(s, r.SerialNo);
    put<quint16>(s, r.LineAddr);
    put<quint8>(s, r.DeviceType);
    put<quint8>(s, r.Range);
    put<quint8>(s, r.LPF);
    put<quint8>(s, r.HPF);
    put<quint8>(s, r.DAF);
    put<quint8>(s, r.ThrIR);
    put<quint8>(s, r.NExcIR);
    put<quint8>(s, r.RuleJP);
    put<quint8>(s, r.RefCount);
    put<quint8>(s, r.Reserved15);
    return s;
}

// ---- Konfig_MVV_t

QDataStream &operator>>(QDataStream &s, Konfig_MVV_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.SerialNo = take<quint32>(s);
    r.LineAddr = take<quint16>(s);
    r.DeviceType = take<quint8>(s);
    r.CfgIO = take<quint8>(s);
    r.TSign = take<quint8>(s);
    r.Reserved9 = take<quint8>(s);
    r.Reserved10 = take<quint8>(s);
    r.RefCountL1 = take<quint8>(s);
    r.RefCountL2 = take<quint8>(s);
    r.Reserved13 = take<quint8>(s);
    r.Reserved14 = take<quint8>(s);
    r.Reserved15 = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Konfig_MVV_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint32>(s, r.SerialNo);
    put<quint16>(s, r.LineAddr);
    put<quint8>(s, r.DeviceType);
    put<quint8>(s, r.CfgIO);
    put<quint8>(s, r.TSign);
    put<quint8>(s, r.Reserved9);
    put<quint8>(s, r.Reserved10);
    put<quint8>(s, r.RefCountL1);
    put<quint8>(s, r.RefCountL2);
    put<quint8>(s, r.Reserved13);
    put<quint8>(s, r.Reserved14);
    put<quint8>(s, r.Reserved15);
    return s;
}

// ---- Konfig_MKZ_t

QDataStream &operator>>(QDataStream &s, Konfig_MKZ_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.SerialNo = take<quint32>(s);
    r.LineAddr = take<quint16>(s);
    r.DeviceType = take<quint8>(s);
    r.Reserved7 = take<quint8>(s);
    r.ThrMin = take<quint16>(s);
    r.ThrOff = take<quint16>(s);
    r.ThrOn = take<quint16>(s);
    r.Reserved14 = take<quint8>(s);
    r.Reserved15 = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Konfig_MKZ_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint32>(s, r.SerialNo);
    put<quint16>(s, r.LineAddr);
    put<quint8>(s, r.DeviceType);
    put<quint8>(s, r.Reserved7);
    put<quint16>(s, r.ThrMin);
    put<quint16>(s, r.ThrOff);
    put<quint16>(s, r.ThrOn);
    put<quint8>(s, r.Reserved14);
    put<quint8>(s, r.Reserved15);
    return s;
}

// ---- Konfig_Modul_t (IPAddr in the caller's byte order, as for ETH_konf_t)

QDataStream &operator>>(QDataStream &s, Konfig_Modul_t &r)
{
    r.IPAddr = take<quint32>(s);
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.Reserved4 = take<quint16>(s);
    r.Reserved6 = take<quint16>(s);
    r.LineAddr = take<quint8>(s);
    r.Reserved9 = take<quint8>(s);
    r.ExpMod = take<quint8>(s);
    r.Reserved11 = take<quint8>(s);
    for (Relay_Entry_t &relay : r.Relays) {
        relay.RelayNum = take<quint8>(s);
        relay.TSign = take<quint8>(s);
    }
    return s;
}

QDataStream &operator<<(QDataStream &s, const Konfig_Modul_t &r)
{
    put<quint32>(s, r.IPAddr);
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint16>(s, r.Reserved4);
    put<quint16>(s, r.Reserved6);
    put<quint8>(s, r.LineAddr);
    put<quint8>(s, r.Reserved9);
    put<quint8>(s, r.ExpMod);
    put<quint8>(s, r.Reserved11);
    for (const Relay_Entry_t &relay : r.Relays) {
        put<quint8>(s, relay.RelayNum);
        put<quint8>(s, relay.TSign);
    }
    return s;
}

// ---- Konfig_Proc_t

QDataStream &operator>>(QDataStream &s, Konfig_Proc_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.MRef = take<quint16>(s);
    r.NExc = take<quint8>(s);
    r.SensLeft = take<qint8>(s);
    r.SensRight = take<qint8>(s);
    r.Ratio = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Konfig_Proc_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint16>(s, r.MRef);
    put<quint8>(s, r.NExc);
    put<qint8>(s, r.SensLeft);
    put<qint8>(s, r.SensRight);
    put<quint8>(s, r.Ratio);
    return s;
}

// ---- Control_Relay_t

QDataStream &operator>>(QDataStream &s, Control_Relay_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.DestRef = take<quint16>(s);
    r.DestFunc = take<quint8>(s);
    r.DeviceType = take<quint8>(s);
    return s;
}

QDataStream &operator<<(QDataStream &s, const Control_Relay_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint16>(s, r.DestRef);
    put<quint8>(s, r.DestFunc);
    put<quint8>(s, r.DeviceType);
    return s;
}

// ---- Command_Record_t

QDataStream &operator<<(QDataStream &s, const Command_Record_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    put<quint8>(s, r.State);
    put<quint8>(s, r.Command);
    put<quint16>(s, r.Address);
    put<quint16>(s, r.Param);
    return s;
}

// ---- Module and line status (single bytes, byte order untouched)

QDataStream &operator>>(QDataStream &s, Status_Line_t &r)
{
    r.Flags = take<quint8>(s);
    r.State = take<quint8>(s);
    r.Faults = take<quint8>(s);
    r.Reserved3 = take<quint8>(s);
    return s;
}

namespace {
// Sensor and I/O module status records share one layout: six state bytes.
template <typename R>
QDataStream &readSixStates(QDataStream &s, R &r)
{
    r.State0 = take<quint8>(s);
    r.State1 = take<quint8>(s);
    r.State2 = take<quint8>(s);
    r.State3 = take<quint8>(s);
    r.State4 = take<quint8>(s);
    r.State5 = take<quint8>(s);
    return s;
}
} // namespace

QDataStream &operator>>(QDataStream &s, Status_Section_t &r)
{
    return readSixStates(s, r);
}

QDataStream &operator>>(QDataStream &s, Status_MVV_t &r)
{
    return readSixStates(s, r);
}

QDataStream &operator>>(QDataStream &s, Status_MKZ_t &r)
{
    ByteOrderScope le(s, QDataStream::LittleEndian);
    r.State0 = take<quint8>(s);
    r.State1 = take<quint8>(s);
    r.State2 = take<quint8>(s);
    r.State3 = take<quint8>(s);
    r.Value1 = take<quint16>(s);
    r.Value2 = take<quint16>(s);
    return s;
}

// ---- Comparisons

bool operator==(const Status_Line_t &a, const Status_Line_t &b)
{
    return a.Flags == b.Flags && a.State == b.State && a.Faults == b.Faults;
}

bool operator!=(const Status_Line_t &a, const Status_Line_t &b)
{
    return !(a == b);
}

bool operator==(const Status_Device_t &a, const Status_Device_t &b)
{
    return a.Status0 == b.Status0 && a.Status1 == b.Status1 && a.Status2 == b.Status2
        && a.Status3 == b.Status3 && a.Status4 == b.Status4 && a.Status5 == b.Status5;
}

bool operator!=(const Status_Device_t &a, const Status_Device_t &b)
{
    return !(a == b);
}

// ---- Meta-types

void registerMetaTypes()
{
    qRegisterMetaType<Info_Device_t>();
    qRegisterMetaType<Konfig_Device_t>();
    qRegisterMetaType<ETH_konf_t>();
    qRegisterMetaType<Konfig_Line_t>();
    qRegisterMetaType<Status_Device_t>();
    qRegisterMetaType<Feature_Device_t>();
    qRegisterMetaType<Status_Line_t>();

    // Configuration tables: read as vectors, written as index -> record maps.
    registerTableTypes<Konfig_Section_t>("QMap<quint16,LantrelProtocol::Konfig_Section_t>");
    registerTableTypes<Konfig_MVV_t>("QMap<quint16,LantrelProtocol::Konfig_MVV_t>");
    registerTableTypes<Konfig_MKZ_t>("QMap<quint16,LantrelProtocol::Konfig_MKZ_t>");
    registerTableTypes<Konfig_Modul_t>("QMap<quint16,LantrelProtocol::Konfig_Modul_t>");
    registerTableTypes<Konfig_Proc_t>("QMap<quint16,LantrelProtocol::Konfig_Proc_t>");
    registerTableTypes<Control_Relay_t>("QMap<quint16,LantrelProtocol::Control_Relay_t>");

    qRegisterMetaType<Status_Section_t>();
    qRegisterMetaType<Status_MVV_t>();
    qRegisterMetaType<Status_MKZ_t>();
    qRegisterMetaType<QVector<Status_Section_t>>();
    qRegisterMetaType<QVector<Status_MVV_t>>();
    qRegisterMetaType<QVector<Status_MKZ_t>>();

    // Record index lists travel next to the tables.
    qRegisterMetaType<QVector<quint16>>();
    qRegisterMetaType<QVector<quint16>>("QVector<quint16>");
}

} // namespace LantrelProtocol
