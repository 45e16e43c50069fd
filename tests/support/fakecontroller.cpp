#include "fakecontroller.h"

#include <QTimer>

using namespace LantrelProtocol;

namespace {

void put16(QByteArray &b, quint16 v)
{
    b.append(char(v >> 8));
    b.append(char(v & 0xFF));
}

quint16 get16(const QByteArray &b, int at)
{
    return quint16((quint8(b.at(at)) << 8) | quint8(b.at(at + 1)));
}

quint16 le16(const QByteArray &b, int at)
{
    return quint16(quint8(b.at(at)) | (quint8(b.at(at + 1)) << 8));
}

quint32 le32(const QByteArray &b, int at)
{
    return quint32(quint8(b.at(at))) | (quint32(quint8(b.at(at + 1))) << 8)
        | (quint32(quint8(b.at(at + 2))) << 16) | (quint32(quint8(b.at(at + 3))) << 24);
}

void setLe16(QByteArray &b, int at, quint16 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

bool isFirmwareFile(int file)
{
    return file >= FakeController::FirmwareFileFirst && file <= FakeController::FirmwareFileLast;
}

bool fileReadable(int file)
{
    return FakeController::fileRecordBytes(file) > 0 && file != 5 && file != 27 && !isFirmwareFile(file);
}

bool fileWritable(int file)
{
    switch (file) {
    case 3: case 4: case 5: case 8: case 10: case 11: case 13: case 15: case 17:
    case 20: case 27: case 28:
        return true;
    default:
        return isFirmwareFile(file);
    }
}

// Position of the last sub-response's length byte in a function 20 reply.
int lastSubResponse(const QByteArray &pdu)
{
    int last = 2;
    while (last + 1 + quint8(pdu[last]) < pdu.size())
        last += 1 + quint8(pdu[last]);
    return last;
}

enum { ExcFunction = 1, ExcAddress = 2, ExcValue = 3, ExcBusy = 6 };

const int LogLimit = 200000;

} // namespace

FakeController::FakeController(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<FakeRequest>("FakeRequest");
    m_clock.start();
    m_activeIp = QHostAddress(QStringLiteral("127.0.0.1"));
    for (int f : {1, 3, 4, 7, 8, 9, 10, 11, 13, 14, 15, 17, 19, 20, 22, 23, 26, 27, 28, 30})
        ensureFile(f);
    m_busy.insert(WR_KONF_REG, 400);
    m_busy.insert(RD_KONF_REG, 100);
    m_busy.insert(MOVE_PROG, 2500);
    m_busy.insert(SAVE_PROG, 1200);
    m_busy.insert(RD_IKOUT_VOLT, 30);
    loadFactoryConfiguration();
}

FakeController::~FakeController() = default;

// ---------------------------------------------------------------- files

int FakeController::fileRecordBytes(int file)
{
    switch (file) {
    case 1: case 5: return 8;
    case 3: return 32;
    case 4: return 24;
    case 6: return 12;
    case 7: return 4;
    case 8: return 8;
    case 9: return 6;
    case 10: return 16;
    case 11: return 4;
    case 13: return 6;
    case 14: return 6;
    case 15: return 16;
    case 17: return 76;
    case 19: return 8;
    case 20: return 16;
    case 22: case 23: case 26: case 30: return 2;
    case 27: return 6;
    case 28: return 64;
    default:
        return isFirmwareFile(file) ? 1 : 0;
    }
}

int FakeController::fileRecordCount(int file)
{
    switch (file) {
    case 1: case 3: case 4: case 5: case 7: case 8: case 27: case 28: return 1;
    case 6: return 1024;
    case 9: case 13: case 22: case 23: case 26: case 30: return 500;
    case 10: return 501;
    case 11: return 4000;
    case 14: case 15: return 100;
    case 17: return 4;
    case 19: case 20: return 32;
    default:
        return isFirmwareFile(file) ? 65536 : 0;
    }
}

QList<int> FakeController::configurationFiles()
{
    return {3, 4, 8, 10, 11, 13, 15, 17, 20, 28};
}

void FakeController::ensureFile(int file)
{
    const int size = fileRecordBytes(file) * fileRecordCount(file);
    if (size <= 0 || isFirmwareFile(file) || file == 6)
        return;
    QByteArray &b = m_files[file];
    if (b.size() != size)
        b.resize(size), b.fill(0);
    if (configurationFiles().contains(file) && m_flash.value(file).size() != size)
        m_flash[file] = b;
}

QByteArray FakeController::fileBytes(int file) const
{
    if (file == 1) {
        const QDateTime dt = clock();
        QByteArray b;
        b.append(char(dt.date().dayOfWeek()));
        b.append(char(dt.time().second()));
        b.append(char(dt.time().minute()));
        b.append(char(dt.time().hour()));
        b.append(char(dt.date().day()));
        b.append(char(dt.date().month()));
        b.append(char(dt.date().year() & 0xFF));
        b.append(char(dt.date().year() >> 8));
        return b;
    }
    if (file == 7) {
        FakeController *self = const_cast<FakeController *>(this);
        self->updateLine();
        QByteArray b;
        b.append(char(m_lineFlags));
        b.append(char(m_lineState));
        b.append(char(m_lineFaults));
        b.append(char(0));
        return b;
    }
    if (file == 6) {
        QByteArray b;
        for (const QByteArray &e : m_newEvents)
            b.append(e);
        return b;
    }
    return m_files.value(file);
}

void FakeController::setFileBytes(int file, const QByteArray &bytes)
{
    const int size = fileRecordBytes(file) * fileRecordCount(file);
    if (size <= 0 || isFirmwareFile(file) || file == 6 || file == 1 || file == 7)
        return;
    m_files[file] = bytes.leftJustified(size, '\0', true);
    if (file == 3)
        syncUnitIdFromRam();
}

QByteArray FakeController::flashFileBytes(int file) const
{
    return m_flash.value(file);
}

void FakeController::setFlashFileBytes(int file, const QByteArray &bytes)
{
    if (!configurationFiles().contains(file))
        return;
    const int size = fileRecordBytes(file) * fileRecordCount(file);
    m_flash[file] = bytes.leftJustified(size, '\0', true);
}

QByteArray FakeController::recordBytes(int file, int record, int count) const
{
    const int rb = fileRecordBytes(file);
    if (rb <= 0 || record < 0 || count < 0)
        return QByteArray();
    return fileBytes(file).mid(record * rb, count * rb);
}

void FakeController::setRecordBytes(int file, int record, const QByteArray &bytes)
{
    const int rb = fileRecordBytes(file);
    const int size = rb * fileRecordCount(file);
    if (rb <= 0 || record < 0 || file == 1 || file == 7 || file == 6 || isFirmwareFile(file))
        return;
    ensureFile(file);
    QByteArray &b = m_files[file];
    const int at = record * rb;
    const int n = qMin(bytes.size(), size - at);
    if (n <= 0)
        return;
    b.replace(at, n, bytes.left(n));
    if (file == 3)
        syncUnitIdFromRam();
}

void FakeController::saveToFlash()
{
    for (int f : configurationFiles())
        m_flash[f] = m_files.value(f);
}

void FakeController::restoreFromFlash()
{
    for (int f : configurationFiles())
        m_files[f] = m_flash.value(f);
    syncUnitIdFromRam();
}

void FakeController::syncUnitIdFromRam()
{
    const QByteArray b = m_files.value(3);
    if (b.size() >= 18) {
        const int addr = le16(b, 16);
        if (addr > 0 && addr < 248)
            m_unitId = addr;
    }
}

// ---------------------------------------------------------------- identity

void FakeController::setUnitId(int id)
{
    m_unitId = id;
    ensureFile(3);
    setLe16(m_files[3], 16, quint16(id));
    setLe16(m_flash[3], 16, quint16(id));
}

QHostAddress FakeController::ipAddress() const
{
    const QByteArray b = m_files.value(4);
    if (b.size() < 4)
        return QHostAddress();
    return QHostAddress(quint32(get16(b, 0)) << 16 | get16(b, 2));
}

void FakeController::setIpAddress(const QHostAddress &ip)
{
    const quint32 v = ip.toIPv4Address();
    for (QHash<int, QByteArray> *h : {&m_files, &m_flash}) {
        QByteArray &b = (*h)[4];
        if (b.size() < 24)
            b.resize(24), b.fill(0);
        b[0] = char(v >> 24);
        b[1] = char(v >> 16);
        b[2] = char(v >> 8);
        b[3] = char(v);
    }
    m_activeIp = ip;
}

void FakeController::setIdentity(quint16 prodYear, quint16 serialNo, quint16 deviceType,
                                 quint16 pcbVer, quint16 fwVer, const QDate &fwDate)
{
    m_identity[0] = prodYear;
    m_identity[1] = serialNo;
    m_identity[2] = deviceType;
    m_identity[3] = pcbVer;
    m_identity[4] = fwVer;
    m_identity[5] = quint16((fwDate.month() << 8) | fwDate.day());
    m_identity[6] = quint16(fwDate.year());
}

quint16 FakeController::identityRegister(int reg) const
{
    if (reg == 7)
        return quint16(m_unitId);
    return reg >= 0 && reg < 7 ? m_identity[reg] : 0;
}

// ---------------------------------------------------------------- registers

bool FakeController::validRegister(int addr) const
{
    return addr >= 0 && addr < 100;
}

quint16 FakeController::holdingRegister(int addr)
{
    updateCommand();
    updateLine();
    if (m_clockPending && m_clockApplyAt >= 0 && m_clock.elapsed() >= m_clockApplyAt) {
        m_clockPending = false;
        m_clockApplyAt = -1;
        if (m_pendingClock.size() == 8) {
            const QByteArray &c = m_pendingClock;
            const QDateTime dt(QDate(le16(c, 6), quint8(c[5]), quint8(c[4])),
                               QTime(quint8(c[3]), quint8(c[2]), quint8(c[1])));
            if (dt.isValid())
                m_clockOffsetMs = QDateTime::currentDateTime().msecsTo(dt);
        }
    }
    if (m_overrides.contains(addr))
        return m_overrides.value(addr);
    if (addr >= 0 && addr <= 7)
        return identityRegister(addr);
    const QByteArray line = m_files.value(8);
    switch (addr) {
    case 22: return le16(line, 0);
    case 23: return le16(line, 2);
    case 24: return le16(line, 4);
    case 26: return m_status[0];
    case 27: return quint16(m_status[1] | (m_coils[10] ? 0x04 : 0) | (remoteControlRunning() ? 0x01 : 0));
    case 28: return m_status[2];
    case 29: return m_status[3];
    case 30: return quint16((m_status[5] & ~0x40) | (m_clockPending ? 0x40 : 0));
    case 31: case 32: case 33: case 34: case 35: case 36:
        return m_power[addr - 31];
    case 37: return m_lineFlags;
    case 38: return m_lineState;
    case 39: return m_lineFaults;
    case 40: return m_eventRegsSet ? m_eventRegs[0] : quint16(qMin(m_eventTotal, 65535));
    case 41: return m_eventRegsSet ? m_eventRegs[1] : quint16(m_newEvents.size());
    case 52: case 53: case 54: case 55:
        return m_cmdRegs[addr - 52];
    case 60: case 61: case 62: case 63: case 64:
        return m_serialRegs[addr - 60];
    default:
        return m_regs.value(addr);
    }
}

void FakeController::setHoldingRegister(int addr, quint16 value)
{
    if (addr >= 52 && addr <= 55)
        m_cmdRegs[addr - 52] = value;
    else if (addr >= 60 && addr <= 64)
        m_serialRegs[addr - 60] = value;
    else if (addr >= 0 && addr < 7)
        m_identity[addr] = value;
    else
        m_regs[addr] = value;
}

void FakeController::overrideRegister(int addr, quint16 value)
{
    m_overrides[addr] = value;
}

void FakeController::clearRegisterOverride(int addr)
{
    m_overrides.remove(addr);
}

bool FakeController::coil(int n)
{
    if (n < 0 || n >= 16)
        return false;
    if (n == 3 || n == 5)
        return m_clock.elapsed() < m_coilBusyUntil[n];
    if (n == 2)
        return false;
    return m_coils[n];
}

void FakeController::setCoil(int n, bool on)
{
    if (n >= 0 && n < 16)
        m_coils[n] = on;
}

void FakeController::registerWritten(int addr, quint16 value)
{
    if (addr == 30) {
        if (value & 0x40) {
            m_clockPending = true;
            m_clockApplyAt = m_clockApplyMs < 0 ? -1 : m_clock.elapsed() + m_clockApplyMs;
        }
        return;
    }
    if (addr >= 52 && addr <= 55) {
        m_cmdRegs[addr - 52] = value;
        return;
    }
    if (addr >= 60 && addr <= 64) {
        m_serialRegs[addr - 60] = value;
        if (addr == 64 && value == SET_CTRL_SERIAL && m_serialRegs[2] == BOS_LIN) {
            m_identity[0] = m_serialRegs[0];
            m_identity[1] = m_serialRegs[1];
            m_identity[3] = m_serialRegs[3];
        }
        return;
    }
    m_regs[addr] = value;
}

void FakeController::coilWritten(int n, bool on)
{
    const qint64 now = m_clock.elapsed();
    switch (n) {
    case 1:
        m_coils[1] = on;
        m_lineFollowsCoil = true;
        m_lineStopAt = on ? now + m_linePollStopMs : -1;
        updateLine();
        break;
    case 2:
        if (on)
            scheduleRestart(m_restartDropMs, m_restartDownMs);
        break;
    case 3:
        if (on) {
            m_coilBusyUntil[3] = now + m_coilBusyMs;
            const int keep = m_unitId;
            const QHostAddress keepIp = m_activeIp;
            loadFactoryConfiguration();
            // The running address stays until the next restart.
            m_unitId = keep;
            m_activeIp = keepIp;
        }
        break;
    case 5:
        if (on) {
            m_coilBusyUntil[5] = now + m_coilBusyMs;
            const QHash<int, QByteArray> ram = m_files;
            const quint16 relays = m_regs.value(25);
            const int keep = m_unitId;
            const QHostAddress keepIp = m_activeIp;
            loadFactoryConfiguration();
            for (int f : configurationFiles())
                m_files[f] = ram.value(f);
            m_regs[25] = relays;
            m_unitId = keep;
            m_activeIp = keepIp;
        }
        break;
    default:
        if (n >= 0 && n < 16)
            m_coils[n] = on;
        break;
    }
}

// ---------------------------------------------------------------- status

void FakeController::setControllerStatus(const Status_Device_t &s)
{
    m_status[0] = s.Status0;
    m_status[1] = s.Status1;
    m_status[2] = s.Status2;
    m_status[3] = s.Status3;
    m_status[4] = s.Status4;
    m_status[5] = s.Status5;
}

bool FakeController::remoteControlRunning() const
{
    return m_remoteControlEnd >= 0 && m_clock.elapsed() < m_remoteControlEnd;
}

Status_Device_t FakeController::controllerStatus()
{
    Status_Device_t s;
    s.Status0 = quint8(holdingRegister(26));
    s.Status1 = quint8(holdingRegister(27));
    s.Status2 = quint8(holdingRegister(28));
    s.Status3 = quint8(holdingRegister(29));
    s.Status5 = quint8(holdingRegister(30));
    return s;
}

void FakeController::setPowerStatus(const Feature_Device_t &f)
{
    m_power[0] = f.VddExt;
    m_power[1] = f.VddInt;
    m_power[2] = f.VddBat;
    m_power[3] = f.VddLin;
    m_power[4] = f.IddSens;
    m_power[5] = f.IddLin;
}

void FakeController::setLineStatus(const Status_Line_t &s)
{
    m_lineFollowsCoil = false;
    m_lineFlags = s.Flags;
    m_lineState = s.State;
    m_lineFaults = s.Faults;
}

Status_Line_t FakeController::lineStatus()
{
    updateLine();
    Status_Line_t s;
    s.Flags = m_lineFlags;
    s.State = m_lineState;
    s.Faults = m_lineFaults;
    return s;
}

void FakeController::setEventCounters(quint16 reg40, quint16 reg41)
{
    m_eventRegs[0] = reg40;
    m_eventRegs[1] = reg41;
    m_eventRegsSet = true;
}

void FakeController::updateLine()
{
    if (!m_lineFollowsCoil)
        return;
    if (!m_coils[1] || m_ignoreLineStop) {
        m_lineFlags = quint8(m_lineFlags | 0x01);
        m_lineState = LN_ONN;
        return;
    }
    m_lineFlags = quint8(m_lineFlags & ~0x01);
    m_lineState = (m_lineStopAt >= 0 && m_clock.elapsed() >= m_lineStopAt) ? LN_OFF : LN_ONN;
}

void FakeController::setSensorStatus(int index, const Status_Section_t &s)
{
    setRecordBytes(9, index, QByteArray(reinterpret_cast<const char *>(&s), sizeof s));
}

void FakeController::setIoModuleStatus(int index, const Status_MVV_t &s)
{
    setRecordBytes(14, index, QByteArray(reinterpret_cast<const char *>(&s), sizeof s));
}

void FakeController::setScpModuleStatus(int index, const Status_MKZ_t &s)
{
    QByteArray b;
    b.append(char(s.State0));
    b.append(char(s.State1));
    b.append(char(s.State2));
    b.append(char(s.State3));
    b.append(char(s.Value1 & 0xFF));
    b.append(char(s.Value1 >> 8));
    b.append(char(s.Value2 & 0xFF));
    b.append(char(s.Value2 >> 8));
    setRecordBytes(19, index, b);
}

void FakeController::setModuleValue(int file, int index, quint16 value)
{
    QByteArray b(2, '\0');
    setLe16(b, 0, value);
    setRecordBytes(file, index, b);
}

quint16 FakeController::moduleValue(int file, int index) const
{
    const QByteArray b = recordBytes(file, index);
    return b.size() == 2 ? le16(b, 0) : 0;
}

// ---------------------------------------------------------------- clock

QDateTime FakeController::clock() const
{
    return QDateTime::currentDateTime().addMSecs(m_clockOffsetMs);
}

void FakeController::setClock(const QDateTime &dt)
{
    m_clockOffsetMs = QDateTime::currentDateTime().msecsTo(dt);
}

// ---------------------------------------------------------------- events

void FakeController::addEvent(const Event_Record_t &e)
{
    QByteArray b;
    b.append(char(e.DeviceType & 0xFF));
    b.append(char(e.DeviceType >> 8));
    b.append(char(e.Address & 0xFF));
    b.append(char(e.Address >> 8));
    b.append(char(e.Event));
    b.append(char(e.Flags));
    b.append(char(e.Year));
    b.append(char(e.Month));
    b.append(char(e.Day));
    b.append(char(e.Hour));
    b.append(char(e.Minute));
    b.append(char(e.Second));
    m_newEvents.append(b);
    ++m_eventTotal;
}

void FakeController::addEvents(int n)
{
    static const quint8 codes[] = {EVN_ALARM, EVN_NORMA, EVN_FAULT, EVN_OPEN, EVN_LNOFF, EVN_REBOOT};
    const int first = m_eventTotal;
    for (int i = 0; i < n; ++i) {
        Event_Record_t e;
        const int k = (first + i) % 6;
        e.DeviceType = (k == 1 || k == 4 || k == 5) ? BOS_LIN : SECT_ACC;
        e.Address = quint16(1 + (first + i) % 20);
        e.Event = codes[k];
        // The controller's EVN_NORMA carries an event code in its flags.
        e.Flags = quint8(k == 1 ? EVN_POWOKY : k == 4 ? 2 : i);
        e.Year = 24;
        e.Month = 3;
        e.Day = 5;
        e.Hour = 14;
        e.Minute = quint8(i % 60);
        e.Second = quint8((i * 7) % 60);
        addEvent(e);
    }
}

// ---------------------------------------------------------------- commands

void FakeController::setCommandBusyTime(int code, int ms)
{
    m_busy.insert(code, ms);
}

int FakeController::commandBusyTime(int code) const
{
    return m_busy.value(code, m_defaultBusyMs);
}

void FakeController::failCommand(int code, quint16 result, int times)
{
    m_failures.insert(code, Failure{result, times});
}

void FakeController::setMagnetModule(const FakeLineModule &m)
{
    m_magnet = m;
    m_magnetPending = true;
}

bool FakeController::touchLineModule(quint32 serial)
{
    for (const FakeLineModule &m : qAsConst(m_lineModules)) {
        if (m.serial == serial) {
            setMagnetModule(m);
            return true;
        }
    }
    return false;
}

void FakeController::startCommand(int code, int p1, int p2, bool viaFile27)
{
    FakeCommand c;
    c.timeMs = m_clock.elapsed();
    c.code = code;
    c.param1 = p1;
    c.param2 = p2;
    c.viaFile27 = viaFile27;
    m_commands.append(c);
    m_cmdRunning = true;
    m_cmdCode = code;
    m_cmdP1 = p1;
    m_cmdStart = m_clock.elapsed();
    // The module command takes the module record as it was when the command came.
    m_cmdScratch = recordBytes(10, 500);
    m_cmdRegs[0] = STATE_BUSY;
    m_cmdRegs[1] = quint16(code);
    m_cmdRegs[2] = quint16(p1);
    m_cmdRegs[3] = (code == MOVE_PROG || code == SAVE_PROG) ? 0 : quint16(p2);
    firmwareCommandStarted(code, p1, p2);
    emit commandStarted(code);
    // Finish on time even when nobody polls (effects such as a flash save).
    const int busy = commandBusyTime(code);
    if (busy > 0) {
        const int generation = ++m_cmdGeneration;
        QTimer::singleShot(busy + 1, this, [this, generation]() {
            if (generation == m_cmdGeneration)
                updateCommand();
        });
    }
    if (code == SAVE_PROG && (p1 & 0xFF) == 2)
        scheduleRestart(m_restartDropMs, m_restartDownMs);
    updateCommand();
}

void FakeController::updateCommand()
{
    if (!m_cmdRunning)
        return;
    const int busy = commandBusyTime(m_cmdCode);
    const qint64 elapsed = m_clock.elapsed() - m_cmdStart;
    if (busy >= 0 && elapsed >= busy) {
        finishCommand();
        return;
    }
    if (m_cmdCode == MOVE_PROG || m_cmdCode == SAVE_PROG) {
        const int end = firmwareProgressEnd(m_cmdCode, m_cmdP1);
        const qint64 p = busy > 0 ? elapsed * end / busy : elapsed / 100;
        m_cmdRegs[3] = quint16(qMin<qint64>(p, end));
    }
}

void FakeController::finishCommand()
{
    m_cmdRunning = false;
    quint16 result = 0;
    quint16 state = STATE_REDY;
    auto fail = m_failures.find(m_cmdCode);
    if (fail != m_failures.end() && fail->times != 0) {
        result = fail->result;
        if (fail->times > 0 && --fail->times == 0)
            m_failures.erase(fail);
    }
    if (result == 0) {
        const QByteArray scratch = m_cmdScratch;
        const quint32 serial = scratch.size() == 16 ? le32(scratch, 0) : 0;
        const quint16 addr = scratch.size() == 16 ? le16(scratch, 4) : 0;
        auto answer = [this](const FakeLineModule &m) {
            QByteArray r(16, '\0');
            r[0] = char(m.serial & 0xFF);
            r[1] = char((m.serial >> 8) & 0xFF);
            r[2] = char((m.serial >> 16) & 0xFF);
            r[3] = char((m.serial >> 24) & 0xFF);
            setLe16(r, 4, m.lineAddr);
            r[6] = char(m.type);
            setRecordBytes(10, 500, r);
        };
        switch (m_cmdCode) {
        case REP_ID_SECT: {
            bool found = false;
            if (m_enabledSerialSet) {
                for (const FakeLineModule &m : qAsConst(m_lineModules)) {
                    if (m.serial == m_enabledSerial) {
                        answer(m);
                        found = true;
                        break;
                    }
                }
                m_enabledSerialSet = false;
            } else if (m_magnetPending) {
                answer(m_magnet);
                m_magnetPending = false;
                found = true;
            }
            if (!found)
                state = STATE_VOID;
            break;
        }
        case SET_KONF_SECT:
            m_addressingMode = true;
            break;
        case WR_ADDR_SECT: {
            bool found = false;
            for (FakeLineModule &m : m_lineModules) {
                if (m.serial == serial) {
                    m.lineAddr = addr;
                    found = true;
                }
            }
            if (!found)
                result = 1;
            break;
        }
        case SET_MOD_SERIAL: {
            bool found = false;
            for (FakeLineModule &m : m_lineModules) {
                if (m.lineAddr == m_cmdP1 && m_cmdP1 != 0) {
                    m.serial = serial;
                    found = true;
                }
            }
            if (!found)
                result = 1;
            break;
        }
        case CMD_EN_RID_ID:
            m_enabledSerial = serial;
            m_enabledSerialSet = true;
            break;
        case WR_KONF_REG:
            saveToFlash();
            break;
        case RD_KONF_REG:
            restoreFromFlash();
            break;
        case CMD_CLR_EVENTS:
            clearEvents();
            break;
        case SET_CMD_DC:
            m_remoteControlEnd = m_clock.elapsed() + m_remoteControlMs;
            break;
        case MOVE_PROG:
        case SAVE_PROG:
            m_cmdRegs[3] = quint16(firmwareProgressEnd(m_cmdCode, m_cmdP1));
            result = firmwareCommandResult(m_cmdCode, m_cmdP1);
            break;
        case RD_SECT_VER:
            collectModuleVersions();
            break;
        default:
            break;
        }
        if (result != 0)
            state = STATE_ERR;
    } else {
        state = STATE_ERR;
    }
    m_cmdRegs[0] = state;
    m_cmdRegs[1] = result;
    for (int i = m_commands.size() - 1; i >= 0; --i) {
        if (m_commands[i].result < 0) {
            m_commands[i].result = result;
            break;
        }
    }
}

// ---------------------------------------------------------------- restart and links

void FakeController::scheduleRestart(int dropMs, int downMs)
{
    if (m_restartScheduled)
        return;
    m_restartScheduled = true;
    QTimer::singleShot(qMax(0, dropMs), this, [this, downMs]() {
        m_down = true;
        emit dropConnectionsRequested();
        refuseConnections(downMs);
        QTimer::singleShot(qMax(0, downMs), this, &FakeController::finishRestart);
    });
}

void FakeController::restartNow()
{
    scheduleRestart(0, m_restartDownMs);
}

void FakeController::finishRestart()
{
    m_restartScheduled = false;
    m_down = false;
    restoreFromFlash();
    m_activeIp = ipAddress();
    m_coils[10] = true;
    m_coils[1] = false;
    m_lineFollowsCoil = true;
    m_lineStopAt = -1;
    m_addressingMode = false;
    m_cmdRunning = false;
    m_cmdRegs[0] = STATE_REDY;
    m_cmdRegs[1] = 0;
    m_enabledSerialSet = false;
    ++m_restartCount;
    emit restarted();
}

void FakeController::refuseConnections(int ms)
{
    m_refuseUntil = m_clock.elapsed() + ms;
    emit refuseConnectionsRequested(ms);
}

void FakeController::dropConnections()
{
    emit dropConnectionsRequested();
}

bool FakeController::refusingConnections() const
{
    return m_clock.elapsed() < m_refuseUntil;
}

// ---------------------------------------------------------------- injections and log

void FakeController::addInjection(const FakeInjection &inj)
{
    m_injections.append(inj);
}

QList<FakeRequest> FakeController::requests(int function, int file) const
{
    QList<FakeRequest> out;
    for (const FakeRequest &r : m_log) {
        if (!r.forUs || (function >= 0 && r.function != function))
            continue;
        if (file >= 0) {
            bool hit = false;
            for (const FakeSubRequest &s : r.subs)
                hit = hit || s.file == file;
            if (!hit)
                continue;
        }
        out.append(r);
    }
    return out;
}

int FakeController::coilWrites(int coil) const
{
    int n = 0;
    for (const FakeRequest &r : requests(5))
        n += (r.address == coil && r.values.value(0) == 0xFF00) ? 1 : 0;
    return n;
}

FakeInjection *FakeController::matchInjection(const FakeRequest &req)
{
    for (FakeInjection &inj : m_injections) {
        if (inj.times == 0)
            continue;
        if (inj.function >= 0 && inj.function != req.function)
            continue;
        if (inj.unitId >= 0 && inj.unitId != req.unitId)
            continue;
        if (inj.address >= 0) {
            if (req.address < 0)
                continue;
            const int n = qMax(1, req.count);
            if (inj.address < req.address || inj.address >= req.address + n)
                continue;
        }
        if (inj.file >= 0 || inj.record >= 0) {
            bool hit = false;
            for (const FakeSubRequest &s : req.subs) {
                if ((inj.file < 0 || s.file == inj.file) && (inj.record < 0 || s.record == inj.record))
                    hit = true;
            }
            if (!hit)
                continue;
        }
        if (inj.skip > 0) {
            --inj.skip;
            continue;
        }
        return &inj;
    }
    return nullptr;
}

// ---------------------------------------------------------------- request handling

bool FakeController::decode(FakeRequest &req) const
{
    const QByteArray &d = req.data;
    switch (req.function) {
    case 1: case 3:
        if (d.size() != 4)
            return false;
        req.address = get16(d, 0);
        req.count = get16(d, 2);
        return true;
    case 5: case 6:
        if (d.size() != 4)
            return false;
        req.address = get16(d, 0);
        req.values = {get16(d, 2)};
        return true;
    case 7:
        return d.isEmpty();
    case 16: {
        if (d.size() < 5)
            return false;
        req.address = get16(d, 0);
        req.count = get16(d, 2);
        const int bc = quint8(d[4]);
        if (bc != d.size() - 5 || bc != req.count * 2)
            return false;
        for (int i = 0; i < req.count; ++i)
            req.values.append(get16(d, 5 + 2 * i));
        return true;
    }
    case 20: {
        if (d.isEmpty())
            return false;
        const int bc = quint8(d[0]);
        if (bc != d.size() - 1 || bc % 7 != 0 || bc == 0)
            return false;
        for (int at = 1; at < d.size(); at += 7) {
            if (quint8(d[at]) != 6)
                return false;
            FakeSubRequest s;
            s.file = get16(d, at + 1);
            s.record = get16(d, at + 3);
            s.length = get16(d, at + 5);
            req.subs.append(s);
        }
        return true;
    }
    case 21: {
        if (d.isEmpty())
            return false;
        const int bc = quint8(d[0]);
        if (bc != d.size() - 1)
            return false;
        int at = 1;
        while (at < d.size()) {
            if (d.size() - at < 7 || quint8(d[at]) != 6)
                return false;
            FakeSubRequest s;
            s.file = get16(d, at + 1);
            s.record = get16(d, at + 3);
            s.length = get16(d, at + 5);
            at += 7;
            int n = s.length * 2;
            // An odd firmware chunk carries one byte less than its register count.
            if (d.size() - at == n - 1 && isFirmwareFile(s.file))
                n -= 1;
            if (d.size() - at < n)
                return false;
            s.data = d.mid(at, n);
            at += n;
            req.subs.append(s);
        }
        return !req.subs.isEmpty();
    }
    default:
        return true;
    }
}

QByteArray FakeController::exceptionPdu(int function, int code) const
{
    QByteArray b;
    b.append(char(quint8(function) | 0x80));
    if (code >= 0)
        b.append(char(code));
    return b;
}

FakeOutcome FakeController::handleRequest(int unitId, const QByteArray &pdu)
{
    FakeRequest req;
    req.timeMs = m_clock.elapsed();
    req.time = QDateTime::currentDateTime();
    req.unitId = unitId;
    req.function = pdu.isEmpty() ? -1 : quint8(pdu.at(0));
    req.data = pdu.mid(1);
    const bool wellFormed = decode(req);
    req.forUs = !m_down && unitId == m_unitId && !pdu.isEmpty();

    FakeOutcome out;
    out.action = FakeOutcome::Silence;
    if (req.forUs) {
        FakeInjection inj;
        if (FakeInjection *p = matchInjection(req)) {
            inj = *p;
            if (p->times > 0)
                --p->times;
        }
        req.injection = inj.kind;
        switch (inj.kind) {
        case FakeInjection::Exception:
            out.action = FakeOutcome::Reply;
            out.pdu = exceptionPdu(req.function, inj.param);
            req.exceptionCode = inj.param;
            break;
        case FakeInjection::Silence:
            if (inj.param == 1 && wellFormed)
                process(req);
            break;
        case FakeInjection::CloseSocket:
            out.action = FakeOutcome::Close;
            break;
        case FakeInjection::CutFrame:
        case FakeInjection::OverstatedLength:
        case FakeInjection::WrongFunction:
        case FakeInjection::CorruptEcho:
        case FakeInjection::AckWithoutEffect:
        case FakeInjection::ForeignUnit:
            out = hostileOutcome(req, inj, wellFormed);
            break;
        default:
            if (!wellFormed) {
                out.action = FakeOutcome::Reply;
                out.pdu = exceptionPdu(req.function, ExcValue);
                req.exceptionCode = ExcValue;
            } else {
                out = process(req);
            }
            if (out.action == FakeOutcome::Reply && req.exceptionCode == 0)
                out.pdu = applyReplyShape(req, out.pdu, inj);
            if (inj.kind == FakeInjection::Delay)
                out.delayMs = inj.param;
            break;
        }
        req.answered = out.action == FakeOutcome::Reply;
        out.delayMs += m_responseDelayMs + inj.delayMs;
    }
    m_log.append(req);
    if (m_log.size() > LogLimit)
        m_log.erase(m_log.begin(), m_log.begin() + LogLimit / 10);
    emit requestReceived(req);
    return out;
}

FakeOutcome FakeController::process(FakeRequest &req)
{
    int exc = 0;
    QByteArray data;
    switch (req.function) {
    case 1: data = readCoils(req, &exc); break;
    case 3: data = readRegisters(req, &exc); break;
    case 5: data = writeCoil(req, &exc); break;
    case 6: data = writeRegister(req, &exc); break;
    case 7: data.append(char(qMin(255, m_newEvents.size()))); break;
    case 16: data = writeRegisters(req, &exc); break;
    case 20: data = readFileRecord(req, &exc); break;
    case 21: data = writeFileRecord(req, &exc); break;
    default: exc = ExcFunction; break;
    }
    FakeOutcome out;
    out.action = FakeOutcome::Reply;
    if (exc) {
        req.exceptionCode = exc;
        out.pdu = exceptionPdu(req.function, exc);
    } else {
        out.pdu.append(char(req.function));
        out.pdu.append(data);
    }
    return out;
}

QByteArray FakeController::readCoils(FakeRequest &req, int *exc)
{
    if (req.count < 1 || req.count > 2000) {
        *exc = ExcValue;
        return QByteArray();
    }
    if (req.address + req.count > 16) {
        *exc = ExcAddress;
        return QByteArray();
    }
    updateLine();
    QByteArray bits((req.count + 7) / 8, '\0');
    for (int i = 0; i < req.count; ++i) {
        if (coil(req.address + i))
            bits[i / 8] = char(quint8(bits[i / 8]) | (1 << (i % 8)));
    }
    QByteArray d;
    d.append(char(bits.size()));
    d.append(bits);
    return d;
}

QByteArray FakeController::readRegisters(FakeRequest &req, int *exc)
{
    if (req.count < 1 || req.count > 125) {
        *exc = ExcValue;
        return QByteArray();
    }
    if (!validRegister(req.address) || !validRegister(req.address + req.count - 1)) {
        *exc = ExcAddress;
        return QByteArray();
    }
    QByteArray d;
    d.append(char(req.count * 2));
    for (int i = 0; i < req.count; ++i)
        put16(d, holdingRegister(req.address + i));
    return d;
}

QByteArray FakeController::writeCoil(FakeRequest &req, int *exc)
{
    const quint16 v = req.values.value(0);
    if (v != 0xFF00 && v != 0x0000) {
        *exc = ExcValue;
        return QByteArray();
    }
    if (req.address < 0 || req.address >= 16) {
        *exc = ExcAddress;
        return QByteArray();
    }
    coilWritten(req.address, v == 0xFF00);
    return req.data;
}

static bool writableRegister(int addr)
{
    return addr == 25 || addr == 30 || (addr >= 52 && addr <= 55) || (addr >= 60 && addr <= 64);
}

QByteArray FakeController::writeRegister(FakeRequest &req, int *exc)
{
    if (!writableRegister(req.address)) {
        *exc = ExcAddress;
        return QByteArray();
    }
    updateCommand();
    if (req.address == 53) {
        if (m_cmdRunning) {
            *exc = ExcBusy;
            return QByteArray();
        }
        registerWritten(53, req.values.value(0));
        startCommand(req.values.value(0), m_cmdRegs[2], m_cmdRegs[3], false);
    } else {
        registerWritten(req.address, req.values.value(0));
    }
    return req.data;
}

QByteArray FakeController::writeRegisters(FakeRequest &req, int *exc)
{
    if (req.count < 1 || req.count > 123) {
        *exc = ExcValue;
        return QByteArray();
    }
    for (int i = 0; i < req.count; ++i) {
        if (!writableRegister(req.address + i)) {
            *exc = ExcAddress;
            return QByteArray();
        }
    }
    updateCommand();
    const bool command = req.address <= 53 && req.address + req.count > 53;
    if (command && m_cmdRunning) {
        *exc = ExcBusy;
        return QByteArray();
    }
    for (int i = 0; i < req.count; ++i)
        registerWritten(req.address + i, req.values.at(i));
    if (command)
        startCommand(m_cmdRegs[1], m_cmdRegs[2], m_cmdRegs[3], false);
    return req.data.left(4);
}

// A sub-request readFileRecord() has already checked.
QByteArray FakeController::readFileData(int file, int record, int regs)
{
    const int rb = fileRecordBytes(file);
    const int len = regs * 2;
    if (file == 6) {
        // The event window: the oldest unread events, consumed by the read.
        QByteArray b;
        const int wanted = (len + rb - 1) / rb;
        for (int i = 0; i < wanted && !m_newEvents.isEmpty(); ++i)
            b.append(m_newEvents.takeFirst());
        return b.leftJustified(len, '\0', true);
    }
    return fileBytes(file).mid(record * rb, len);
}

QByteArray FakeController::readFileRecord(FakeRequest &req, int *exc)
{
    int total = 0;
    for (const FakeSubRequest &s : qAsConst(req.subs))
        total += 2 + s.length * 2;
    if (total > 251) {
        *exc = ExcValue;
        return QByteArray();
    }
    // Check every sub-request before the event window is consumed.
    for (const FakeSubRequest &s : qAsConst(req.subs)) {
        const int rb = fileRecordBytes(s.file);
        if (!fileReadable(s.file) || s.length < 1
            || s.record * rb + s.length * 2 > rb * fileRecordCount(s.file)) {
            *exc = ExcAddress;
            return QByteArray();
        }
    }
    QByteArray body;
    for (const FakeSubRequest &s : qAsConst(req.subs)) {
        const QByteArray part = readFileData(s.file, s.record, s.length);
        body.append(char(part.size() + 1));
        body.append(char(6));
        body.append(part);
    }
    QByteArray d;
    d.append(char(body.size()));
    d.append(body);
    return d;
}

QByteArray FakeController::writeFileRecord(FakeRequest &req, int *exc)
{
    for (const FakeSubRequest &s : qAsConst(req.subs)) {
        if (!fileWritable(s.file)) {
            *exc = ExcAddress;
            return QByteArray();
        }
        const int rb = fileRecordBytes(s.file);
        if (s.record * rb + s.data.size() > rb * fileRecordCount(s.file) || s.data.isEmpty()) {
            *exc = ExcAddress;
            return QByteArray();
        }
        if (s.file == 27) {
            updateCommand();
            if (m_cmdRunning) {
                *exc = ExcBusy;
                return QByteArray();
            }
        }
    }
    for (const FakeSubRequest &s : qAsConst(req.subs)) {
        if (isFirmwareFile(s.file)) {
            const int at = (s.file - FirmwareFileFirst) * 65536 + s.record;
            if (m_firmware.size() < at + s.data.size())
                m_firmware.append(QByteArray(at + s.data.size() - m_firmware.size(), '\0'));
            m_firmware.replace(at, s.data.size(), s.data);
        } else if (s.file == 5) {
            m_pendingClock = s.data.left(8);
        } else if (s.file == 27) {
            const QByteArray &c = s.data;
            if (c.size() >= 6)
                startCommand(quint8(c[1]), le16(c, 2), le16(c, 4), true);
        } else {
            setRecordBytes(s.file, s.record, s.data);
        }
    }
    return req.data;
}

FakeOutcome FakeController::hostileOutcome(FakeRequest &req, const FakeInjection &inj, bool wellFormed)
{
    FakeOutcome out;
    out.action = FakeOutcome::Reply;
    if (inj.kind == FakeInjection::CorruptEcho || inj.kind == FakeInjection::AckWithoutEffect) {
        // What a write reply echoes: the request, or its start and count.
        const bool startAndCount = req.function == 15 || req.function == 16;
        out.pdu = QByteArray(1, char(req.function)) + (startAndCount ? req.data.left(4) : req.data);
        if (inj.kind == FakeInjection::CorruptEcho)
            out.pdu[out.pdu.size() - 1] = char(quint8(out.pdu.at(out.pdu.size() - 1)) ^ 0x5A);
        return out;
    }
    if (wellFormed)
        out = process(req);
    else
        out.pdu = exceptionPdu(req.function, ExcValue);
    if (out.action != FakeOutcome::Reply)
        return out;
    switch (inj.kind) {
    case FakeInjection::CutFrame:
        out.cutBytes = inj.param > 0 ? inj.param : qMax(1, out.pdu.size() / 2);
        break;
    case FakeInjection::OverstatedLength:
        out.lengthSurplus = inj.param > 0 ? inj.param : 10;
        break;
    case FakeInjection::ForeignUnit:
        out.unitOffset = 1;
        break;
    default: { // WrongFunction
        const int other = req.function == 3 ? 4 : 3;
        out.pdu[0] = char(inj.param > 0 ? inj.param : other);
        break;
    }
    }
    return out;
}

QByteArray FakeController::applyReplyShape(const FakeRequest &req, const QByteArray &pdu,
                                           const FakeInjection &inj)
{
    QByteArray out = pdu;
    switch (inj.kind) {
    case FakeInjection::EmptyReply:
        return out.left(1);
    case FakeInjection::TruncatedReply:
        return out.left(qMax(1, out.size() - qMax(1, inj.param)));
    case FakeInjection::ShortReply: {
        const int drop = qMax(1, inj.param);
        if (req.function == 3 && out.size() >= 2) {
            const int n = qMin(drop, out.size() - 2);
            out.chop(n);
            out[1] = char(quint8(out[1]) - n);
        } else if (req.function == 20 && out.size() >= 4) {
            const int last = lastSubResponse(out);
            const int n = qMin(drop, quint8(out[last]) - 1);
            out.chop(n);
            out[last] = char(quint8(out[last]) - n);
            out[1] = char(quint8(out[1]) - n);
        } else {
            out.chop(qMin(drop, out.size() - 1));
        }
        return out;
    }
    case FakeInjection::LongReply: {
        if (req.function == 3 && out.size() >= 2) {
            const int n = inj.param > 0 ? inj.param : 2;
            const int regs = (n + 1) / 2;
            for (int i = 0; i < regs; ++i) {
                const int a = req.address + req.count + i;
                put16(out, validRegister(a) ? holdingRegister(a) : 0);
            }
            out[1] = char(quint8(out[1]) + regs * 2);
        } else if (req.function == 20 && out.size() >= 4 && !req.subs.isEmpty()) {
            const FakeSubRequest &s = req.subs.last();
            const int rb = fileRecordBytes(s.file);
            const int n = inj.param > 0 ? inj.param : rb;
            const QByteArray extra = fileBytes(s.file).mid(s.record * rb + s.length * 2, n).leftJustified(n, '\0');
            const int last = lastSubResponse(out);
            out.append(extra);
            out[last] = char(quint8(out[last]) + n);
            out[1] = char(quint8(out[1]) + n);
        } else {
            out.append(QByteArray(inj.param > 0 ? inj.param : 2, '\0'));
        }
        return out;
    }
    default:
        return out;
    }
}

// ---------------------------------------------------------------- configurations

void FakeController::loadFactoryConfiguration()
{
    for (int f : configurationFiles()) {
        const int size = fileRecordBytes(f) * fileRecordCount(f);
        m_files[f] = QByteArray(size, '\0');
    }
    Konfig_Device_t dev;
    dev.Reserved0 = 115200;
    dev.Reserved4 = 1;
    dev.Reserved8 = 4;
    dev.LineAddr = 1;
    dev.TSign = 3;
    dev.MRef = 400;
    dev.TWork = 4;
    dev.NExc = 2;
    dev.Ratio = 2;
    dev.Dist = 2;
    dev.Range = 1;
    dev.LPF = 1;
    dev.HPF = 1;
    setRecord(3, 0, dev);
    const QByteArray oldEth = m_flash.value(4);
    ETH_konf_t eth;
    eth.IPAddr = QHostAddress(QStringLiteral("192.168.0.254")).toIPv4Address();
    eth.NetMask = 0xFFFFFF00u;
    eth.Gateway = QHostAddress(QStringLiteral("192.168.0.1")).toIPv4Address();
    const quint8 mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    for (int i = 0; i < 6; ++i)
        eth.MAC[i] = oldEth.size() == 24 ? quint8(oldEth.at(16 + i)) : mac[i];
    setRecord(4, 0, eth);
    m_regs[25] = 0;
    saveToFlash();
    m_activeIp = QHostAddress(QStringLiteral("192.168.0.254"));
}

void FakeController::vacateModuleRow(int file, int row)
{
    if ((file != 10 && file != 15 && file != 20) || row < 0 || row >= fileRecordCount(file))
        return;
    // The interaction records are ordered by source: each sensor row with its
    // reference count, then loop 1 and loop 2 of each I/O row.
    int first = 0;
    int count = 0;
    const QVector<Konfig_Section_t> sensorRows = sensors();
    for (int k = 0; k < sensorRows.size(); ++k) {
        if (file == 10 && k == row) {
            count = sensorRows[k].RefCount;
            break;
        }
        first += sensorRows[k].RefCount;
    }
    if (file == 15) {
        const QVector<Konfig_MVV_t> ioRows = ioModules();
        for (int k = 0; k < row; ++k)
            first += ioRows[k].RefCountL1 + ioRows[k].RefCountL2;
        count = ioRows[row].RefCountL1 + ioRows[row].RefCountL2;
    }
    if (count > 0) {
        QByteArray table = fileBytes(11);
        const int recordBytes = fileRecordBytes(11);
        table.remove(first * recordBytes, count * recordBytes);
        setFileBytes(11, table);
    }

    // The device type is byte 6 of every module record.
    const bool used = recordBytes(file, row).at(6) != 0;
    setRecordBytes(file, row, QByteArray(fileRecordBytes(file), '\0'));
    if (file == 10)
        setRecordBytes(13, row, QByteArray(fileRecordBytes(13), '\0'));
    Konfig_Line_t line = lineConfig();
    quint16 &modules = file == 10 ? line.SensorCount : file == 15 ? line.IoCount : line.ScpCount;
    if (used && modules > 0)
        --modules;
    setLineConfig(line);
}

void FakeController::loadGeneratedConfiguration(int unitId, const QHostAddress &ip,
                                                int sensors, int ioModules, int scpModules)
{
    sensors = qBound(0, sensors, 500);
    ioModules = qBound(0, ioModules, 100);
    scpModules = qBound(0, scpModules, 32);
    for (int f : configurationFiles())
        m_files[f] = QByteArray(fileRecordBytes(f) * fileRecordCount(f), '\0');
    m_lineModules.clear();

    Konfig_Device_t dev;
    dev.Reserved0 = 115200;
    dev.Reserved4 = 1;
    dev.Reserved8 = 4;
    dev.LineAddr = quint16(unitId);
    dev.TSign = 5;
    dev.MRef = 520;
    dev.TWork = 6;
    dev.NExc = 3;
    dev.Ratio = 2;
    dev.Dist = 3;
    dev.Range = 2;
    dev.LPF = 3;
    dev.HPF = 1;
    dev.DAF = 1;
    dev.RuleJP = 4;
    dev.CfgLoop = 0x60;
    setRecord(3, 0, dev);

    ETH_konf_t eth;
    eth.IPAddr = ip.toIPv4Address();
    eth.NetMask = 0xFFFFFF00u;
    eth.Gateway = (eth.IPAddr & 0xFFFFFF00u) | 1u;
    const quint8 mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    for (int i = 0; i < 6; ++i)
        eth.MAC[i] = mac[i];
    setRecord(4, 0, eth);

    auto serialOf = [](int year, int n) { return quint32(((year - 20) << 18) | n); };

    QByteArray blockId("LantrelProg test configuration 2024-03-05");
    setRecordBytes(28, 0, blockId);

    // Sensors at line addresses 1.., every third one with an infrared channel.
    QVector<int> refs;
    for (int i = 0; i < sensors; ++i) {
        Konfig_Section_t s;
        s.SerialNo = serialOf(24, 1000 + i);
        s.LineAddr = quint16(1 + i);
        s.DeviceType = (i % 3 == 1) ? SECT_ACCI : SECT_ACC;
        s.Range = quint8(i % 4);
        s.LPF = quint8(1 + i % 3);
        s.HPF = quint8(i % 2);
        s.DAF = quint8(i % 2);
        if (s.DeviceType == SECT_ACCI) {
            s.ThrIR = quint8(40 + i);
            s.NExcIR = 2;
            s.RuleJP = quint8(1 + i % 5);
        }
        s.RefCount = quint8(i % 3);
        refs.append(s.RefCount);
        setRecord(10, i, s);
        m_lineModules.append({s.SerialNo, s.LineAddr, s.DeviceType});

        Konfig_Proc_t p;
        p.MRef = quint16(480 + i);
        p.NExc = quint8(2 + i % 3);
        p.SensLeft = qint8(i == 0 ? 0 : -1 - (i % 2));
        p.SensRight = qint8(i + 1 == sensors ? 0 : 1 + (i % 2));
        p.Ratio = quint8(30 + i % 40);
        setRecord(13, i, p);
    }
    // Input/output modules at 201.., line-protection modules at 301..
    QVector<QPair<int, int>> ioRefs;
    for (int i = 0; i < ioModules; ++i) {
        Konfig_MVV_t m;
        m.SerialNo = serialOf(23, 2000 + i);
        m.LineAddr = quint16(201 + i);
        m.DeviceType = SECT_MVV;
        m.CfgIO = quint8(0x12 | ((i % 4) << 6));
        m.TSign = quint8(3 + i);
        m.RefCountL1 = 1;
        m.RefCountL2 = quint8(i % 2);
        ioRefs.append({m.RefCountL1, m.RefCountL2});
        setRecord(15, i, m);
        m_lineModules.append({m.SerialNo, m.LineAddr, m.DeviceType});
    }
    for (int i = 0; i < scpModules; ++i) {
        Konfig_MKZ_t m;
        m.SerialNo = serialOf(22, 3000 + i);
        m.LineAddr = quint16(301 + i);
        m.DeviceType = SECT_MKZ;
        m.ThrMin = 16000;
        m.ThrOff = 14000;
        m.ThrOn = 18000;
        setRecord(20, i, m);
        m_lineModules.append({m.SerialNo, m.LineAddr, m.DeviceType});
    }
    // Two relay modules: the first with its expansion (relays 1-32).
    for (int slot = 0; slot < 2; ++slot) {
        Konfig_Modul_t r;
        r.IPAddr = QHostAddress(QStringLiteral("192.168.0.%1").arg(60 + slot)).toIPv4Address();
        r.LineAddr = quint8(101 + slot);
        r.Reserved9 = quint8(slot + 1);
        r.ExpMod = slot == 0 ? 1 : 0;
        const int n = slot == 0 ? 32 : 16;
        for (int k = 0; k < n; ++k) {
            r.Relays[k].RelayNum = quint8(k + 1);
            r.Relays[k].TSign = quint8(1 + k % 7);
        }
        setRecord(17, slot, r);
    }
    // Interactions in source order: sensors, then loop 1 and loop 2 of each I/O module.
    int idx = 0;
    auto addInteraction = [&](int n) {
        Control_Relay_t c;
        if (idx == 0) {
            c.DestRef = quint16((1 << 8) | 32);   // relay 32 of relay module 1
            c.DestFunc = 255;
            c.DeviceType = EXT_RELY;
        } else if (n % 3 == 0 && ioModules > 0) {
            c.DestRef = quint16(1 + n % ioModules);
            c.DestFunc = 0;
            c.DeviceType = SECT_MVV;
        } else {
            c.DestRef = quint16(((1 + n % 2) << 8) | (1 + n % 16));
            c.DestFunc = quint8(n % 2 ? 255 : 1 + n % 10);
            c.DeviceType = EXT_RELY;
        }
        setRecord(11, idx++, c);
    };
    for (int r : refs)
        for (int k = 0; k < r; ++k)
            addInteraction(idx);
    for (const auto &p : ioRefs) {
        for (int k = 0; k < p.first + p.second; ++k)
            addInteraction(idx);
    }

    Konfig_Line_t line;
    line.SensorCount = quint16(sensors);
    line.IoCount = quint16(ioModules);
    line.ScpCount = quint16(scpModules);
    line.RelayCount = 2;
    line.LineMode = 1;
    setRecord(8, 0, line);
    m_regs[25] = 2;

    // Two modules on the line without an address yet.
    m_lineModules.append({serialOf(24, 5001), 0, SECT_ACC});
    m_lineModules.append({serialOf(24, 5002), 0, SECT_ACCI});

    // Monitoring data.
    for (int i = 0; i < 500; ++i) {
        Status_Section_t st;
        if (i < sensors) {
            st.State0 = quint8(0x01 | (i % 5 == 2 ? 0x04 : 0));
            st.State1 = quint8(i % 7);
            st.State2 = quint8(i % 3);
            st.State3 = quint8(10 + i % 50);
        }
        setSensorStatus(i, st);
        setModuleValue(22, i, i < sensors ? quint16(11800 + 10 * (i % 30)) : 0);
        setModuleValue(23, i, i < sensors ? quint16(100 + 3 * i) : 0);
        setModuleValue(26, i, i < sensors ? quint16(1500 + i) : 0);
        setModuleValue(30, i, i < sensors ? quint16(0x0102 + (i % 3)) : 0);
    }
    for (int i = 0; i < ioModules; ++i) {
        Status_MVV_t st;
        st.State0 = 1;
        st.State1 = quint8(i);
        setIoModuleStatus(i, st);
    }
    for (int i = 0; i < scpModules; ++i) {
        Status_MKZ_t st;
        st.State0 = 1;
        st.Value1 = quint16(23000 - 100 * i);
        st.Value2 = quint16(22000 - 100 * i);
        setScpModuleStatus(i, st);
    }

    saveToFlash();
    m_unitId = unitId;
    m_activeIp = ip;
}
