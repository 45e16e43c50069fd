#ifndef FAKECONTROLLER_H
#define FAKECONTROLLER_H

// FakeController: an in-process line controller for tests and manual checks.
//
// The core works on Modbus PDUs (function code + data) and knows nothing of
// framing; FakeTcpServer (MBAP over a raw QTcpServer, port 502 by default) and
// FakeRtuServer (RTU frames with CRC-16 on a serial port; FakeRtuLine bundles
// it with a socat PtyPair) put it on a link. It answers only requests whose
// unit id is its active line address, and nothing while it restarts.
//
// Typical use:
//   FakeController fake;
//   fake.loadGeneratedConfiguration(3, QHostAddress("127.0.0.1"));
//   FakeTcpServer tcp(&fake);  tcp.listen(QHostAddress("127.0.0.1"), 502);
//   FakeRtuLine rtu(&fake);    rtu.start();  // program opens rtu.clientPortName()
//
// What it holds
//  - holding registers 0-99: identity 0-6 (setIdentity), 7 = active line
//    address; status block 22-41 (22-24 follow the line settings of file 8,
//    27 bit 2 follows coil 10, 30 bit 6 is the clock-apply bit, 37-39 the
//    line status); 25 relay count; 52-55 command block; 60-64 serial block
//    (writing 199 into 64 with 7 in 62 takes the new identity).
//    overrideRegister() pins any register. Writable: 25, 30, 52-55, 60-64.
//    27 bit 0 is set while a remote-control check (SET_CMD_DC) runs.
//  - coils 1 (stop line polling: the line drops its polling bit and turns
//    LN_OFF after setLinePollStopMs), 2 (restart), 3 (factory defaults into RAM
//    and flash; reads 1 for setCoilBusyMs), 5 (erase flash: factory defaults
//    into flash only; reads 1 likewise), 10 (restarted flag, set by every
//    restart until written 0).
//  - numbered files, fileRecordBytes()/fileRecordCount(): configuration 3, 4,
//    8, 10 (record 500 = module scratch record), 11, 13, 15, 17, 20, 28 as a
//    RAM image with a flash copy; clock 1 (read) / 5 (write, applied through
//    register 30 bit 6 after setClockApplyMs); line status 7; event memory 6
//    (function 7 = number of new events, reading file 6 consumes them); module
//    states 9, 14, 19; supply voltages 22; samples 23; infrared voltages 26;
//    module command record 27 (starts a command); firmware versions 30;
//    firmware files 0x8000-0x80FF, rebuilt into firmwareImage().
//  - a written line address (file 3) takes effect at once; RD_KONF_REG and a
//    restart take it (and, at a restart, the IPv4 address) from flash.
//  - commands run commandBusyTime(code) ms with register 52 = BUSY and 53 =
//    the code, then end with REDY/0, VOID/0 for a module identity request no
//    module answered, or ERR/result for failCommand(). A new command while
//    busy gets exception 6. Register 55 counts up to setProgressEnd() during
//    MOVE_PROG and SAVE_PROG. Effects: WR_KONF_REG saves RAM to flash,
//    RD_KONF_REG restores it, SET_KONF_SECT starts addressing mode,
//    CMD_EN_RID_ID enables the module named in record 500, REP_ID_SECT puts
//    the enabled module (or else a pending magnet module, once) into record
//    500, WR_ADDR_SECT / SET_MOD_SERIAL change lineModules(), CMD_CLR_EVENTS
//    clears the events, SAVE_PROG with target 2 restarts the controller.
//  - restart (coil 2, SAVE_PROG target 2, restartNow()): after dropMs the
//    links drop and connections are refused for downMs; then RAM = flash,
//    coil 10 = 1, addressing mode off, line polling on, restarted().
//
// Test controls
//  - addInjection(FakeInjection): exception (code -1 = without a code),
//    silence, short / empty / over-long / truncated reply, closed socket,
//    delayed reply; a broken or hostile peer's cut frame, overstated
//    length, wrong function, corrupted echo, echo without effect, foreign
//    unit id; matched by function, address, file, record, unit id, after
//    `skip` matching requests, for `times` requests (-1 = until
//    clearInjections()), answered `delayMs` later (a slow busy answer).
//    setResponseDelay() delays every reply.
//  - refuseConnections(ms), dropConnections(); FakeTcpServer follows them.
//  - requestLog(), requests(function, file), requestReceived(FakeRequest):
//    every request with its time, unit id, function and decoded fields;
//    coilWrites(coil) counts the coil's writes of 0xFF00 (1 stops the line
//    polling, 2 restarts the controller, 3 sets its defaults).
//  - raw bytes: fileBytes/setFileBytes, flashFileBytes/setFlashFileBytes,
//    recordBytes/setRecordBytes; records: record<T>/records<T>/setRecord<T>
//    for every record with stream operators, shorthands such as sensors(),
//    lineConfig(), setters for the status records and the 16-bit module
//    values; commands() lists the commands the controller ran.
//  - loadGeneratedConfiguration(): a full, consistent configuration (both
//    sensor kinds, I/O and line-protection modules, two relay modules with
//    relay 32 in use, interactions matching every reference counter, module
//    states and readings); loadFactoryConfiguration(): line address 1,
//    192.168.0.254, empty tables.

#include <QByteArray>
#include <QDateTime>
#include <QDataStream>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QVector>

#include "lantrelprotocol.h"

struct FakeInjection
{
    enum Kind {
        None = 0,
        Exception,      // param: exception code; -1 = exception response without a code
        Silence,        // no reply; param 1 = the request still takes effect
        ShortReply,     // drop param bytes (default 1) from the end, lengths kept consistent
        EmptyReply,     // function code only, no data
        LongReply,      // add param bytes (default one record), lengths kept consistent
        TruncatedReply, // drop param bytes from the end, lengths left as they were
        CloseSocket,    // TCP: close the connection instead of answering (RTU: silence)
        Delay,          // answer after param ms
        // Broken or hostile peers (front ends shape the frame):
        CutFrame,         // the frame goes out without its last param bytes (0: half the PDU), then nothing
        OverstatedLength, // the frame claims param bytes (0: 10) more: MBAP length (TCP), byte count (RTU)
        WrongFunction,    // the reply carries function param (0: another read function) over its data
        CorruptEcho,      // the request is not taken; its echo comes back with the last byte changed
        AckWithoutEffect, // the request is not taken, yet answered with the right echo
        ForeignUnit       // the reply is framed for another unit id
    };
    Kind kind = None;
    int param = 0;
    int function = -1; // match: function code, -1 any
    int address = -1;  // match: register or coil address (functions 1, 3, 5, 6, 16)
    int file = -1;     // match: file of any sub-request (functions 20, 21)
    int record = -1;   // match: record of that sub-request
    int unitId = -1;   // match: unit id (requests to other ids are never answered anyway)
    int skip = 0;      // matching requests let through before this one applies
    int times = 1;     // requests affected; -1 = until removed
    int delayMs = 0;   // the injected answer (an exception too) comes this much later

    static FakeInjection exception(int code, int function = -1, int times = 1)
    { FakeInjection i; i.kind = Exception; i.param = code; i.function = function; i.times = times; return i; }
    static FakeInjection make(Kind k, int function = -1, int times = 1, int param = 0)
    { FakeInjection i; i.kind = k; i.param = param; i.function = function; i.times = times; return i; }
};

struct FakeSubRequest
{
    int file = -1;
    int record = -1;
    int length = -1;   // registers
    QByteArray data;   // write data (function 21)
};

struct FakeRequest
{
    qint64 timeMs = 0;        // ms since the fake was created
    QDateTime time;           // wall-clock time
    int unitId = -1;
    int function = -1;
    QByteArray data;          // PDU data after the function code
    bool answered = false;    // addressed to this controller and not silenced
    bool forUs = false;       // unit id matched the active line address and the controller was up
    int injection = FakeInjection::None;
    int exceptionCode = 0;    // exception sent, 0 none
    int address = -1;         // functions 1, 3, 5, 6, 16
    int count = -1;           // functions 1, 3, 16
    QVector<quint16> values;  // 5, 6: the value; 16: the values
    QVector<FakeSubRequest> subs; // 20, 21

    int file() const { return subs.isEmpty() ? -1 : subs.first().file; }
    int record() const { return subs.isEmpty() ? -1 : subs.first().record; }
    int length() const { return subs.isEmpty() ? -1 : subs.first().length; }
};
Q_DECLARE_METATYPE(FakeRequest)

struct FakeOutcome
{
    enum Action { Reply, Silence, Close };
    Action action = Silence;
    QByteArray pdu;   // function code + data
    int delayMs = 0;
    int cutBytes = 0;       // send the frame without its last bytes
    int lengthSurplus = 0;  // the frame's length field claims this many bytes more
    int unitOffset = 0;     // the frame names another unit id
};

struct FakeLineModule
{
    quint32 serial = 0;
    quint16 lineAddr = 0;
    quint8 type = 0;
};

struct FakeCommand
{
    qint64 timeMs = 0;
    int code = 0;
    int param1 = 0;
    int param2 = 0;
    bool viaFile27 = false;
    int result = -1;   // register 53 at the end; -1 still running
};

class FakeController : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirmwareFileFirst = 0x8000;
    static constexpr int FirmwareFileLast = 0x80FF;

    explicit FakeController(QObject *parent = nullptr);
    ~FakeController() override;

    // The whole request handling: unit id and PDU in, what to send out.
    FakeOutcome handleRequest(int unitId, const QByteArray &pdu);

    // --- identity and addressing
    int unitId() const { return m_unitId; }            // active line address
    void setUnitId(int id);                             // also RAM and flash LineAddr
    QHostAddress ipAddress() const;                     // RAM IPv4 address
    QHostAddress activeIpAddress() const { return m_activeIp; } // address in use since the last restart
    void setIpAddress(const QHostAddress &ip);          // RAM, flash and active
    void setIdentity(quint16 prodYear, quint16 serialNo, quint16 deviceType,
                     quint16 pcbVer, quint16 fwVer, const QDate &fwDate);
    quint16 identityRegister(int reg) const;

    // --- registers and coils
    quint16 holdingRegister(int addr);                  // value a read would return
    void setHoldingRegister(int addr, quint16 value);   // raw store (no side effects)
    void overrideRegister(int addr, quint16 value);
    void clearRegisterOverride(int addr);
    bool coil(int n);
    void setCoil(int n, bool on);                       // raw, no side effects

    // --- status block
    void setControllerStatus(const LantrelProtocol::Status_Device_t &s); // restart bit follows coil 10
    LantrelProtocol::Status_Device_t controllerStatus();
    void setPowerStatus(const LantrelProtocol::Feature_Device_t &f);
    void setLineStatus(const LantrelProtocol::Status_Line_t &s); // stops following coil 1 until coil 1 is written
    LantrelProtocol::Status_Line_t lineStatus();
    void setEventCounters(quint16 reg40, quint16 reg41);
    void setLinePollStopMs(int ms) { m_linePollStopMs = ms; }     // coil 1 -> LN_OFF after this
    void setIgnoreLinePollStop(bool on) { m_ignoreLineStop = on; } // coil 1 reads 1 but the line keeps polling
    // SET_CMD_DC starts a remote-control check that runs this long after the
    // command ends; status byte 1 bit 0 is set while it runs.
    void setRemoteControlMs(int ms) { m_remoteControlMs = ms; }
    bool remoteControlRunning() const;

    // --- command block
    void setCommandBusyTime(int code, int ms);          // -1 = stays busy
    int commandBusyTime(int code) const;
    void setDefaultBusyTime(int ms) { m_defaultBusyMs = ms; }
    void failCommand(int code, quint16 result = 1, int times = 1); // register 53 = result, state ERR
    void setProgressEnd(int value) { m_progressEnd = value; }
    QList<FakeCommand> commands() { updateCommand(); return m_commands; }
    void clearCommands() { m_commands.clear(); }
    bool addressingMode() { updateCommand(); return m_addressingMode; }
    void setCommandState(quint16 state) { m_cmdRegs[0] = state; m_cmdRunning = false; }

    // --- line modules (addressing)
    QVector<FakeLineModule> lineModules() const { return m_lineModules; }
    void setLineModules(const QVector<FakeLineModule> &m) { m_lineModules = m; }
    void addLineModule(const FakeLineModule &m) { m_lineModules.append(m); }
    void setMagnetModule(const FakeLineModule &m);      // answers the next identity command once
    bool magnetPending() const { return m_magnetPending; }
    // The installer holds the magnet to the line module with this serial
    // number: the next identity command reports it as it is on the line now
    // (its current address). False when no such module is on the line.
    bool touchLineModule(quint32 serial);

    // --- restart
    void setRestartDelays(int dropMs, int downMs) { m_restartDropMs = dropMs; m_restartDownMs = downMs; }
    void setCoilBusyMs(int ms) { m_coilBusyMs = ms; }   // coils 3 and 5 read 1 this long
    void setClockApplyMs(int ms) { m_clockApplyMs = ms; } // -1 = bit 6 never clears
    void restartNow();                                   // as if coil 2 had been written
    int restartCount() const { return m_restartCount; }
    bool isDown() const { return m_down; }

    // --- link controls (front ends follow them)
    void refuseConnections(int ms);
    void dropConnections();
    bool refusingConnections() const;

    // --- injections and log
    void addInjection(const FakeInjection &inj);
    void clearInjections() { m_injections.clear(); }
    void setResponseDelay(int ms) { m_responseDelayMs = ms; }
    QList<FakeRequest> requestLog() const { return m_log; }
    QList<FakeRequest> requests(int function, int file = -1) const;
    int coilWrites(int coil) const;   // writes of 0xFF00 to `coil` in the log
    void clearLog() { m_log.clear(); }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    // --- files
    static int fileRecordBytes(int file);   // 0 for an unknown file; firmware files: 1
    static int fileRecordCount(int file);
    QByteArray fileBytes(int file) const;           // RAM / current content
    void setFileBytes(int file, const QByteArray &bytes); // padded or cut to the file size
    QByteArray flashFileBytes(int file) const;
    void setFlashFileBytes(int file, const QByteArray &bytes);
    QByteArray recordBytes(int file, int record, int count = 1) const;
    void setRecordBytes(int file, int record, const QByteArray &bytes);
    void saveToFlash();       // flash = RAM
    void restoreFromFlash();  // RAM = flash, line address from flash
    static QList<int> configurationFiles();

    template <typename T> T record(int file, int index) const
    {
        T r;
        QDataStream s(recordBytes(file, index));
        s.setByteOrder(QDataStream::BigEndian);
        s >> r;
        return r;
    }
    template <typename T> QVector<T> records(int file) const
    {
        QVector<T> v;
        QDataStream s(fileBytes(file));
        s.setByteOrder(QDataStream::BigEndian);
        for (int i = 0; i < fileRecordCount(file); ++i) {
            T r;
            s >> r;
            v.append(r);
        }
        return v;
    }
    template <typename T> void setRecord(int file, int index, const T &r)
    {
        setRecordBytes(file, index, encode(r));
    }
    template <typename T> static QByteArray encode(const T &r)
    {
        QByteArray b;
        QDataStream s(&b, QIODevice::WriteOnly);
        s.setByteOrder(QDataStream::BigEndian);
        s << r;
        return b;
    }

    // Shorthands for the configuration tables (RAM image).
    LantrelProtocol::Konfig_Device_t controllerConfig() const { return record<LantrelProtocol::Konfig_Device_t>(3, 0); }
    void setControllerConfig(const LantrelProtocol::Konfig_Device_t &r) { setRecord(3, 0, r); }
    LantrelProtocol::ETH_konf_t networkConfig() const { return record<LantrelProtocol::ETH_konf_t>(4, 0); }
    void setNetworkConfig(const LantrelProtocol::ETH_konf_t &r) { setRecord(4, 0, r); }
    LantrelProtocol::Konfig_Line_t lineConfig() const { return record<LantrelProtocol::Konfig_Line_t>(8, 0); }
    void setLineConfig(const LantrelProtocol::Konfig_Line_t &r) { setRecord(8, 0, r); }
    QByteArray blockId() const { return fileBytes(28); }
    void setBlockId(const QByteArray &id) { setFileBytes(28, id); }
    QVector<LantrelProtocol::Konfig_Section_t> sensors() const { return records<LantrelProtocol::Konfig_Section_t>(10).mid(0, 500); }
    QVector<LantrelProtocol::Konfig_MVV_t> ioModules() const { return records<LantrelProtocol::Konfig_MVV_t>(15); }
    QVector<LantrelProtocol::Konfig_MKZ_t> scpModules() const { return records<LantrelProtocol::Konfig_MKZ_t>(20); }
    QVector<LantrelProtocol::Konfig_Modul_t> relayModules() const { return records<LantrelProtocol::Konfig_Modul_t>(17); }
    QVector<LantrelProtocol::Konfig_Proc_t> processing() const { return records<LantrelProtocol::Konfig_Proc_t>(13); }
    QVector<LantrelProtocol::Control_Relay_t> interactions() const { return records<LantrelProtocol::Control_Relay_t>(11); }

    // Status records have no writers in the protocol.
    void setSensorStatus(int index, const LantrelProtocol::Status_Section_t &s);
    void setIoModuleStatus(int index, const LantrelProtocol::Status_MVV_t &s);
    void setScpModuleStatus(int index, const LantrelProtocol::Status_MKZ_t &s);
    void setModuleValue(int file, int index, quint16 value); // files 22, 23, 26, 30
    quint16 moduleValue(int file, int index) const;

    // --- clock
    QDateTime clock() const;
    void setClock(const QDateTime &dt);
    QByteArray lastClockWrite() const { return m_pendingClock; }

    // --- events
    void addEvent(const LantrelProtocol::Event_Record_t &e);
    void addEvents(int n);                  // n plausible events
    int newEventCount() const { return m_newEvents.size(); }
    void clearEvents() { m_newEvents.clear(); m_eventTotal = 0; }

    // --- firmware
    QByteArray firmwareImage() const { return m_firmware; }
    void clearFirmware() { m_firmware.clear(); }

    // --- firmware update as the controller runs it (fakecontroller_firmware.cpp)
    // When on: LOAD_PROG (type << 8 | size bits 16-23, size bits 0-15)
    // empties the firmware files and announces the image; MOVE_PROG fails
    // (register 53 = 1) unless the image received has the announced type and
    // size and ends in the CRC-16/ARC of the rest, high byte first, and its
    // register 55 counts 256-byte blocks of a module image; SAVE_PROG of a
    // module type counts the configured modules of that kind in register 55
    // and gives them the image's version (trailer bytes 2-3), which the next
    // RD_SECT_VER collects into file 30; SAVE_PROG of the controller program
    // (2) restarts with that version in identity register 4.
    void emulateFirmwareUpdate(bool on = true) { m_emulateFirmware = on; }
    QVector<quint16> firmwareModuleAddresses(int firmwareType) const; // line addresses of that kind
    quint16 imageVersion() const;           // version in the received image's trailer, 0 none

    // --- configuration
    // Controller at `unitId` / `ip` with sensors of both kinds, I/O and
    // line-protection modules, two relay modules (one using relay 32) and
    // interactions whose counts match the reference counters. RAM and flash.
    void loadGeneratedConfiguration(int unitId = 3,
                                    const QHostAddress &ip = QHostAddress(QStringLiteral("127.0.0.1")),
                                    int sensors = 24, int ioModules = 4, int scpModules = 2);
    void loadFactoryConfiguration();        // RAM and flash: line address 1, 192.168.0.254
    // Empties row `row` of a module table (10 sensors, 15 I/O, 20 line
    // protection) in RAM without packing the table, as another tool or a
    // controller's own firmware may leave it: the row goes to zero, a
    // sensor's joint-processing rule with it, the interaction records of its
    // sources leave the interaction table (the later ones move up) and the
    // line settings count one module less. The rows after it stay where they are.
    void vacateModuleRow(int file, int row);

signals:
    void requestReceived(const FakeRequest &request);
    void dropConnectionsRequested();
    void refuseConnectionsRequested(int ms);
    void restarted();
    void commandStarted(int code);

private:
    FakeOutcome process(FakeRequest &req);
    QByteArray exceptionPdu(int function, int code) const;
    QByteArray readCoils(FakeRequest &req, int *exc);
    QByteArray readRegisters(FakeRequest &req, int *exc);
    QByteArray writeCoil(FakeRequest &req, int *exc);
    QByteArray writeRegister(FakeRequest &req, int *exc);
    QByteArray writeRegisters(FakeRequest &req, int *exc);
    QByteArray readFileRecord(FakeRequest &req, int *exc);
    QByteArray writeFileRecord(FakeRequest &req, int *exc);
    bool decode(FakeRequest &req) const;
    bool validRegister(int addr) const;
    void registerWritten(int addr, quint16 value);
    void coilWritten(int n, bool on);
    void startCommand(int code, int p1, int p2, bool viaFile27);
    void updateCommand();
    void finishCommand();
    void updateLine();
    void scheduleRestart(int dropMs, int downMs);
    void finishRestart();
    void syncUnitIdFromRam();
    FakeInjection *matchInjection(const FakeRequest &req);
    QByteArray readFileData(int file, int record, int regs);
    QByteArray applyReplyShape(const FakeRequest &req, const QByteArray &pdu, const FakeInjection &inj);
    // Broken or hostile answers: the kinds from CutFrame on.
    FakeOutcome hostileOutcome(FakeRequest &req, const FakeInjection &inj, bool wellFormed);
    void ensureFile(int file);
    // Firmware update steps (fakecontroller_firmware.cpp).
    void firmwareCommandStarted(int code, int p1, int p2);
    int firmwareProgressEnd(int code, int p1) const;
    quint16 firmwareCommandResult(int code, int p1);
    bool firmwareImageAccepted(int firmwareType) const;
    void installFirmware(int firmwareType);
    void collectModuleVersions();

    QElapsedTimer m_clock;
    int m_unitId = 1;
    QHostAddress m_activeIp;
    quint16 m_identity[7] = {2023, 1234, 7, 0x0102, 0x0305, 0x0A1F, 2022};
    QHash<int, QByteArray> m_files;       // RAM and every other file
    QHash<int, QByteArray> m_flash;       // configuration files only
    QMap<int, quint16> m_regs;            // plain registers
    QMap<int, quint16> m_overrides;
    quint16 m_cmdRegs[4] = {2, 0, 0, 0};
    quint16 m_serialRegs[5] = {0, 0, 0, 0, 0};
    bool m_coils[16] = {};

    // status
    quint8 m_status[6] = {};
    quint16 m_power[6] = {24000, 12000, 13500, 23000, 150, 1};
    quint8 m_lineFlags = 1, m_lineState = 2, m_lineFaults = 0;
    bool m_lineFollowsCoil = true;
    qint64 m_lineStopAt = -1;
    int m_linePollStopMs = 300;
    bool m_ignoreLineStop = false;
    quint16 m_eventRegs[2] = {0, 0};
    bool m_eventRegsSet = false;
    int m_remoteControlMs = 1000;
    qint64 m_remoteControlEnd = -1;

    // command block
    bool m_cmdRunning = false;
    int m_cmdCode = 0, m_cmdP1 = 0;
    qint64 m_cmdStart = 0;
    int m_cmdGeneration = 0;
    QByteArray m_cmdScratch;
    QHash<int, int> m_busy;
    int m_defaultBusyMs = 30;
    struct Failure { quint16 result; int times; };
    QHash<int, Failure> m_failures;
    int m_progressEnd = 100;
    QList<FakeCommand> m_commands;
    bool m_addressingMode = false;
    QVector<FakeLineModule> m_lineModules;
    FakeLineModule m_magnet;
    bool m_magnetPending = false;
    quint32 m_enabledSerial = 0;
    bool m_enabledSerialSet = false;

    // coils 3 and 5
    qint64 m_coilBusyUntil[16] = {};
    int m_coilBusyMs = 400;

    // restart
    int m_restartDropMs = 300;
    int m_restartDownMs = 1500;
    bool m_down = false;
    bool m_restartScheduled = false;
    int m_restartCount = 0;
    qint64 m_refuseUntil = 0;

    // clock
    qint64 m_clockOffsetMs = 0;
    QByteArray m_pendingClock;
    qint64 m_clockApplyAt = -1;
    bool m_clockPending = false;
    int m_clockApplyMs = 40;

    // events
    QList<QByteArray> m_newEvents;
    int m_eventTotal = 0;

    QByteArray m_firmware;
    bool m_emulateFirmware = false;
    int m_announcedType = -1;               // LOAD_PROG: firmware type, -1 none
    int m_announcedSize = -1;               // LOAD_PROG: image size in bytes
    QMap<int, quint16> m_installedVersions; // line address -> version a module now runs
    QList<FakeInjection> m_injections;
    int m_responseDelayMs = 0;
    QList<FakeRequest> m_log;
};

#endif // FAKECONTROLLER_H
