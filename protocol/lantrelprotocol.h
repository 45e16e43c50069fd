#ifndef LANTRELPROTOCOL_H
#define LANTRELPROTOCOL_H

#include <QDataStream>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QVector>
#include <QtGlobal>

#include <type_traits>

// Vocabulary of the line controller's protocol. A record's layout in memory is
// its byte form in a Modbus file record: records are packed, copied by value and
// must keep their exact sizes.
namespace LantrelProtocol {
Q_NAMESPACE

enum Dev_Type_t {
    DEV_NOT = 0,
    SECT_OLD = 1,
    SECT_MVV = 2,
    SECT_ACCI = 3,
    SECT_ACC = 4,
    SECT_MKZ = 5,
    BOS_LIN = 7,
    EXT_RELY = 16
};
Q_ENUM_NS(Dev_Type_t)

enum Event_TypeDef {
    EVN_REBOOT = 1,
    EVN_TXNORM = 2,
    EVN_NORMA = 3,
    MOD_LNORM = 4,
    MOD_LERR = 5,
    EVN_ALARM = 16,
    NTC_ALARM = 17,
    NTC_FAULT = 18,
    NTC_LOOP = 19,
    NTC_NORMA = 20,
    EVN_OUT_ON = 21,
    EVN_OUTOFF = 22,
    EVN_TXOFF = 32,
    EVN_LNERR = 33,
    EVN_FAULT = 34,
    EVN_CLOSS = 40,
    EVN_VDDOKY = 41,
    EVN_POWOKY = 42,
    EVN_LNOKY = 43,
    EVN_KONOKY = 44,
    EVN_OPEN = 48,
    EVN_TXERR = 49,
    EVN_KONFER = 50,
    EVN_VDDER = 51,
    EVN_POWLN = 52,
    EVN_FLERR = 53,
    EVN_LNOFF = 54,
    EVN_ETHCON = 55,
    EVN_LNSTAT = 56,
    EVN_POST = 64,
    EVN_PASS = 65,
    EVN_CMD_ON = 66,
    EVN_CMDOFF = 67,
    EVN_CMDDC = 68,
    EVN_NOSET = 69,
    EVN_ED_PAR = 80,
    EVN_ED_LINE = 81,
    EVN_ED_MVV = 82,
    EVN_ED_MDD = 83,
    EVN_WR_FLASH = 84,
    EVN_WR_LINE = 85,
    EVN_ED_MKZ = 86,
    EVN_SET_DEF = 96,
    EVN_SET_KONF = 97
};
Q_ENUM_NS(Event_TypeDef)

enum LIN_Status_t {
    LN_NON = 0,
    LN_POW = 1,
    LN_ONN = 2,
    LN_OFF = 3,
    CMD_OFF = 4
};
Q_ENUM_NS(LIN_Status_t)

enum STATE_t {
    STATE_VOID = 0,
    STATE_HALT = 1,
    STATE_REDY = 2,
    STATE_BUSY = 3,
    STATE_FULL = 4,
    STATE_SEND = 5,
    STATE_ERR = 6,
    STATE_NUL = 255
};
Q_ENUM_NS(STATE_t)

enum Cmd_Code_t {
    Oky_CMD = 0,
    REP_ID_SECT = 1,
    SET_KONF_SECT = 2,
    WR_ADDR_SECT = 3,
    MOV_SETT_SECT = 4,
    ED_SETT_SECT = 5,
    ED_SETT_PROC = 6,
    ED_SETT_MOVV = 7,
    ED_SETT_RELY = 8,
    ED_SETT_MOKZ = 9,
    WR_KONF_REG = 10,
    RD_KONF_REG = 11,
    SEQRE_REM_SECT = 12,
    SEQRE_SET_SECT = 13,
    SEQRE_REM_MVV = 14,
    SEQRE_SET_MVV = 15,
    SET_COIL_MOVV = 16,
    CLR_COIL_MOVV = 17,
    START_TEST_SECT = 18,
    RD_SETT_SECT = 19,
    RD_VOLT_SECT = 20,
    RD_IKOUT_VOLT = 21,
    RESET_SECT = 22,
    SET_CMD_DC = 23,
    LOAD_PROG = 24,
    MOVE_PROG = 25,
    SAVE_PROG = 26,
    TITLE_PROG = 27,
    ON_OUT_MKZ = 28,
    OFF_OUT_MKZ = 29,
    RD_SECT_VER = 30,
    CMD_ONOF_LIN = 31,
    CMD_MOD_OFF = 32,
    CALIBRAT_MKZ = 33,
    SET_MOD_DEF = 34,
    RD_ACCEL_TST = 35,
    CMD_EN_RID_ID = 36,
    CMD_CLR_EVENTS = 37,
    SET_CORR = 38,
    CLR_CORR = 39,
    SET_MOD_SERIAL = 99,
    SET_CTRL_SERIAL = 199,
    Err_CMD = 127
};
Q_ENUM_NS(Cmd_Code_t)

#pragma pack(push, 1)

// Controller identity; filled field by field from holding registers 0 to 4.
struct Info_Device_t {
    quint16 ProdYear = 0;
    quint16 SerialNo = 0;
    quint32 DeviceType = 0;
    quint16 PCBVer = 0;
    quint16 FwVer = 0;
};

struct Clock_Device_t {
    quint8 DayOfWeek = 0;
    quint8 Second = 0;
    quint8 Minute = 0;
    quint8 Hour = 0;
    quint8 Day = 0;
    quint8 Month = 0;
    quint16 Year = 0;
};

struct Event_Record_t {
    quint16 DeviceType = 0;
    quint16 Address = 0;
    quint8 Event = 0;
    quint8 Flags = 0;
    quint8 Year = 0;
    quint8 Month = 0;
    quint8 Day = 0;
    quint8 Hour = 0;
    quint8 Minute = 0;
    quint8 Second = 0;
};

struct Konfig_Device_t {
    quint32 Reserved0 = 0;
    quint32 Reserved4 = 0;
    quint32 Reserved8 = 0;
    quint8 Reserved12 = 0;
    quint8 Reserved13 = 0;
    quint8 Reserved14 = 0;
    quint8 Reserved15 = 0;
    quint16 LineAddr = 0;
    quint8 Reserved18 = 1;
    quint8 TSign = 0;
    quint16 MRef = 0;
    quint8 TWork = 0;
    quint8 NExc = 0;
    quint8 Ratio = 0;
    quint8 Dist = 0;
    quint8 Range = 0;
    quint8 LPF = 0;
    quint8 HPF = 0;
    quint8 DAF = 0;
    quint8 RuleJP = 0;
    quint8 CfgLoop = 0;
};

// IPAddr, NetMask and Gateway hold the first octet in the most significant byte.
struct ETH_konf_t {
    quint32 IPAddr = 0;
    quint16 Reserved4 = 502;
    quint16 Reserved6 = 2;
    quint32 NetMask = 0;
    quint32 Gateway = 0;
    quint8 MAC[6] = {0, 0, 0, 0, 0, 0};
    quint8 Reserved22 = 0;
    quint8 Reserved23 = 0;
};

struct Konfig_Line_t {
    quint16 SensorCount = 0;
    quint16 IoCount = 0;
    quint16 ScpCount = 0;
    quint8 RelayCount = 0;
    quint8 LineMode = 0;
};

struct Konfig_Section_t {
    quint32 SerialNo = 0;
    quint16 LineAddr = 0;
    quint8 DeviceType = 0;
    quint8 Range = 0;
    quint8 LPF = 0;
    quint8 HPF = 0;
    quint8 DAF = 0;
    quint8 ThrIR = 0;
    quint8 NExcIR = 0;
    quint8 RuleJP = 0;
    quint8 RefCount = 0;
    quint8 Reserved15 = 0;
};

struct Konfig_MVV_t {
    quint32 SerialNo = 0;
    quint16 LineAddr = 0;
    quint8 DeviceType = 0;
    quint8 CfgIO = 0;
    quint8 TSign = 0;
    quint8 Reserved9 = 0;
    quint8 Reserved10 = 0;
    quint8 RefCountL1 = 0;
    quint8 RefCountL2 = 0;
    quint8 Reserved13 = 0;
    quint8 Reserved14 = 0;
    quint8 Reserved15 = 0;
};

struct Konfig_MKZ_t {
    quint32 SerialNo = 0;
    quint16 LineAddr = 0;
    quint8 DeviceType = 0;
    quint8 Reserved7 = 0;
    quint16 ThrMin = 0;
    quint16 ThrOff = 0;
    quint16 ThrOn = 0;
    quint8 Reserved14 = 0;
    quint8 Reserved15 = 0;
};

// One relay of an external relay module; entry i of Relays is relay i + 1.
struct Relay_Entry_t {
    quint8 RelayNum = 0;
    quint8 TSign = 0;   // on-time in half-second intervals
};

struct Konfig_Modul_t {
    quint32 IPAddr = 0;
    quint16 Reserved4 = 502;
    quint16 Reserved6 = 2;
    quint8 LineAddr = 0;
    quint8 Reserved9 = 0;
    quint8 ExpMod = 0;
    quint8 Reserved11 = 0;
    Relay_Entry_t Relays[32];
};

struct Konfig_Proc_t {
    quint16 MRef = 0;
    quint8 NExc = 0;
    qint8 SensLeft = 0;
    qint8 SensRight = 0;
    quint8 Ratio = 0;
};

struct Control_Relay_t {
    quint16 DestRef = 0;
    quint8 DestFunc = 0;
    quint8 DeviceType = 0;
};

struct Command_Record_t {
    quint8 State = 0;
    quint8 Command = 0;
    quint16 Address = 0;
    quint16 Param = 0;
};

struct Status_Device_t {
    quint8 Status0 = 0;
    quint8 Status1 = 0;
    quint8 Status2 = 0;
    quint8 Status3 = 0;
    quint8 Status4 = 0;
    quint8 Status5 = 0;
};

struct Feature_Device_t {
    quint16 VddExt = 0;
    quint16 VddInt = 0;
    quint16 VddBat = 0;
    quint16 VddLin = 0;
    quint16 IddSens = 0;
    quint16 IddLin = 0;
};

struct Status_Line_t {
    quint8 Flags = 0;
    quint8 State = 0;
    quint8 Faults = 0;
    quint8 Reserved3 = 0;
};

struct Status_Section_t {
    quint8 State0 = 0;
    quint8 State1 = 0;
    quint8 State2 = 0;
    quint8 State3 = 0;
    quint8 State4 = 0;
    quint8 State5 = 0;
};

struct Status_MVV_t {
    quint8 State0 = 0;
    quint8 State1 = 0;
    quint8 State2 = 0;
    quint8 State3 = 0;
    quint8 State4 = 0;
    quint8 State5 = 0;
};

struct Status_MKZ_t {
    quint8 State0 = 0;
    quint8 State1 = 0;
    quint8 State2 = 0;
    quint8 State3 = 0;
    quint16 Value1 = 0;
    quint16 Value2 = 0;
};

#pragma pack(pop)

static_assert(sizeof(Info_Device_t) == 12, "Info_Device_t size");
static_assert(sizeof(Clock_Device_t) == 8, "Clock_Device_t size");
static_assert(sizeof(Event_Record_t) == 12, "Event_Record_t size");
static_assert(sizeof(Konfig_Device_t) == 32, "Konfig_Device_t size");
static_assert(sizeof(ETH_konf_t) == 24, "ETH_konf_t size");
static_assert(sizeof(Konfig_Line_t) == 8, "Konfig_Line_t size");
static_assert(sizeof(Konfig_Section_t) == 16, "Konfig_Section_t size");
static_assert(sizeof(Konfig_MVV_t) == 16, "Konfig_MVV_t size");
static_assert(sizeof(Konfig_MKZ_t) == 16, "Konfig_MKZ_t size");
static_assert(sizeof(Relay_Entry_t) == 2, "Relay_Entry_t size");
static_assert(sizeof(Konfig_Modul_t) == 76, "Konfig_Modul_t size");
static_assert(sizeof(Konfig_Proc_t) == 6, "Konfig_Proc_t size");
static_assert(sizeof(Control_Relay_t) == 4, "Control_Relay_t size");
static_assert(sizeof(Command_Record_t) == 6, "Command_Record_t size");
static_assert(sizeof(Status_Device_t) == 6, "Status_Device_t size");
static_assert(sizeof(Feature_Device_t) == 12, "Feature_Device_t size");
static_assert(sizeof(Status_Line_t) == 4, "Status_Line_t size");
static_assert(sizeof(Status_Section_t) == 6, "Status_Section_t size");
static_assert(sizeof(Status_MVV_t) == 6, "Status_MVV_t size");
static_assert(sizeof(Status_MKZ_t) == 8, "Status_MKZ_t size");

static_assert(std::is_trivially_copyable<Konfig_Modul_t>::value, "records are copied as plain memory");
static_assert(std::is_trivially_copyable<ETH_konf_t>::value, "records are copied as plain memory");

// Stream operators. Record fields are little-endian; IPv4 fields are
// big-endian (see the .cpp). Every operator restores the stream's byte order.
QDataStream &operator>>(QDataStream &s, Clock_Device_t &r);
QDataStream &operator<<(QDataStream &s, const Clock_Device_t &r);

QDataStream &operator>>(QDataStream &s, Event_Record_t &r);

QDataStream &operator>>(QDataStream &s, Konfig_Device_t &r);
QDataStream &operator<<(QDataStream &s, const Konfig_Device_t &r);

QDataStream &operator>>(QDataStream &s, ETH_konf_t &r);
QDataStream &operator<<(QDataStream &s, const ETH_konf_t &r);

QDataStream &operator>>(QDataStream &s, Konfig_Line_t &r);
QDataStream &operator<<(QDataStream &s, const Konfig_Line_t &r);

QDataStream &operator>>(QDataStream &s, Konfig_Section_t &r);
QDataStream &operator<<(QDataStream &s, const Konfig_Section_t &r);

QDataStream &operator>>(QDataStream &s, Konfig_MVV_t &r);
QDataStream &operator<<(QDataStream &s, const Konfig_MVV_t &r);

QDataStream &operator>>(QDataStream &s, Konfig_MKZ_t &r);
QDataStream &operator<<(QDataStream &s, const Konfig_MKZ_t &r);

QDataStream &operator>>(QDataStream &s, Konfig_Modul_t &r);
QDataStream &operator<<(QDataStream &s, const Konfig_Modul_t &r);

QDataStream &operator>>(QDataStream &s, Konfig_Proc_t &r);
QDataStream &operator<<(QDataStream &s, const Konfig_Proc_t &r);

QDataStream &operator>>(QDataStream &s, Control_Relay_t &r);
QDataStream &operator<<(QDataStream &s, const Control_Relay_t &r);

QDataStream &operator<<(QDataStream &s, const Command_Record_t &r);

QDataStream &operator>>(QDataStream &s, Status_Line_t &r);
QDataStream &operator>>(QDataStream &s, Status_Section_t &r);
QDataStream &operator>>(QDataStream &s, Status_MVV_t &r);
QDataStream &operator>>(QDataStream &s, Status_MKZ_t &r);

// Reserved3 is not part of the line status.
bool operator==(const Status_Line_t &a, const Status_Line_t &b);
bool operator!=(const Status_Line_t &a, const Status_Line_t &b);
bool operator==(const Status_Device_t &a, const Status_Device_t &b);
bool operator!=(const Status_Device_t &a, const Status_Device_t &b);

// Registers the records and the containers that cross threads in queued
// connections. Safe to call any number of times.
void registerMetaTypes();

} // namespace LantrelProtocol

Q_DECLARE_TYPEINFO(LantrelProtocol::Info_Device_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Konfig_Device_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::ETH_konf_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Konfig_Line_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Konfig_Section_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Konfig_MVV_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Konfig_MKZ_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Konfig_Modul_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Konfig_Proc_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Control_Relay_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Status_Device_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Feature_Device_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Status_Line_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Status_Section_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Status_MVV_t, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(LantrelProtocol::Status_MKZ_t, Q_MOVABLE_TYPE);

// QVector<T> and QMap<quint16, T> of these are declared by Qt's container
// templates once the element type is declared here.
Q_DECLARE_METATYPE(LantrelProtocol::Info_Device_t)
Q_DECLARE_METATYPE(LantrelProtocol::Konfig_Device_t)
Q_DECLARE_METATYPE(LantrelProtocol::ETH_konf_t)
Q_DECLARE_METATYPE(LantrelProtocol::Konfig_Line_t)
Q_DECLARE_METATYPE(LantrelProtocol::Konfig_Section_t)
Q_DECLARE_METATYPE(LantrelProtocol::Konfig_MVV_t)
Q_DECLARE_METATYPE(LantrelProtocol::Konfig_MKZ_t)
Q_DECLARE_METATYPE(LantrelProtocol::Konfig_Modul_t)
Q_DECLARE_METATYPE(LantrelProtocol::Konfig_Proc_t)
Q_DECLARE_METATYPE(LantrelProtocol::Control_Relay_t)
Q_DECLARE_METATYPE(LantrelProtocol::Status_Device_t)
Q_DECLARE_METATYPE(LantrelProtocol::Feature_Device_t)
Q_DECLARE_METATYPE(LantrelProtocol::Status_Line_t)
Q_DECLARE_METATYPE(LantrelProtocol::Status_Section_t)
Q_DECLARE_METATYPE(LantrelProtocol::Status_MVV_t)
Q_DECLARE_METATYPE(LantrelProtocol::Status_MKZ_t)

#endif // LANTRELPROTOCOL_H
