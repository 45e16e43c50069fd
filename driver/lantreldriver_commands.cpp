// Commands of the controller's command block, coil actions, module addressing,
// module readings and the firmware transfer.
#include "lantreldriver.h"

#include <QModbusReply>

using namespace LantrelProtocol;

namespace {

// Register 52 states in which the command block takes a new command.
bool commandBlockReady(quint16 state)
{
    return state == STATE_VOID || state == STATE_REDY || state == STATE_ERR;
}

bool commandBlockBusy(quint16 state)
{
    return state == STATE_BUSY || state == STATE_FULL || state == STATE_SEND;
}

QByteArray writeRegistersPayload(quint16 start, const QVector<quint16> &values)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << start << quint16(values.size()) << quint8(values.size() * 2);
    for (quint16 v : values)
        out << v;
    return payload;
}

// Write File Record of record 500 of file 10 (the module named) together with
// the module command record of file 27.
QByteArray moduleCommandPayload(const Konfig_Section_t &module, const Command_Record_t &command)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << quint8(36);
    out << quint8(6) << quint16(10) << quint16(500) << quint16(8) << module;
    out << quint8(6) << quint16(27) << quint16(0) << quint16(3) << command;
    return payload;
}

Konfig_Section_t moduleFromPayload(const QByteArray &payload)
{
    Konfig_Section_t module;
    if (payload.size() < 8 + 16)
        return module;
    QDataStream in(payload);
    in.setByteOrder(QDataStream::BigEndian);
    in.skipRawData(8);
    in >> module;
    return module;
}

// First poll of a command after its write, by code.
qint64 firstPollDelay(quint16 code, quint8 target)
{
    switch (code) {
    case MOV_SETT_SECT:
    case RD_SETT_SECT:
    case SET_MOD_DEF:
        return 9000;
    case WR_KONF_REG:
        return 7000;
    case LOAD_PROG:
        return 3500;
    case MOVE_PROG:
        return 1800;
    case SAVE_PROG:
        return target > 2 ? 500 : 200;
    default:
        return 0;
    }
}

// Firmware bodies are written to files 0x8000 to 0x80FF; each chunk item
// counts in 16-bit group fields.
const qint64 kFirmwareChunk = 128;
const qint64 kFirmwareMaxSize = 0x100 * 0x10000;
const qint64 kFirmwareMaxChunks = 0xFFFF;

} // namespace

void LantrelDriver::saveConfigToFlash()
{
    executeCommand(WR_KONF_REG, 0, 63);
}

void LantrelDriver::restoreConfigFromFlash()
{
    addressChangePending = serverAddress != savedServerAddress;
    if (connectionType == 0)
        ipChangePending = deviceIp != savedDeviceIp;
    executeCommand(RD_KONF_REG, 0, 63);
}

void LantrelDriver::eraseFlash()
{
    executeCoilCommand(5);
}

void LantrelDriver::setDefaults()
{
    executeCoilCommand(3);
}

void LantrelDriver::rebootController()
{
    executeCoilCommand(2);
}

void LantrelDriver::executeCommand(ushort cmd_code, ushort dev_addr, ushort count)
{
    quint16 size = 3;
    if (cmd_code == SAVE_PROG) {
        firmwareTarget = quint8(dev_addr & 0xFF);
        if (firmwareTarget == 2)
            size = 2;   // the controller restarts: nothing to poll
    }
    enqueue(REQ_CMD_WAIT_READY, 3, readRegistersPayload(52, 1), cmd_code, -1, 1, size);
    enqueue(REQ_CMD_WRITE, 16, writeRegistersPayload(52, {0, cmd_code, dev_addr, count}),
            cmd_code, -1, 2, size);
    if (size == 3)
        enqueue(REQ_CMD_POLL, 3, readRegistersPayload(52, 4), cmd_code, -1, 3, size);
}

void LantrelDriver::executeCommand(ushort cmd_code, ushort dev_addr)
{
    executeCommand(cmd_code, dev_addr, 0);
}

void LantrelDriver::executeCommand(ushort cmd_code)
{
    executeCommand(cmd_code, 0, 0);
}

void LantrelDriver::setControllerSerial(ushort prod_year, ushort serial_no, ushort pcb_ver)
{
    enqueue(REQ_SET_CONTROLLER_SERIAL, 16,
            writeRegistersPayload(60, {prod_year, serial_no, BOS_LIN, pcb_ver, SET_CTRL_SERIAL}),
            SET_CTRL_SERIAL);
}

void LantrelDriver::setModuleAddressSerial(uchar mod_type, uint serial_no, ushort line_addr, bool set_serial)
{
    if (mod_type != SECT_MVV && mod_type != SECT_ACCI && mod_type != SECT_ACC && mod_type != SECT_MKZ) {
        if (set_serial)
            emit commandCompleted(SET_MOD_SERIAL, false);
        else
            emit moduleAddressChanged(false);
        return;
    }
    const quint16 cmd = set_serial ? SET_MOD_SERIAL : WR_ADDR_SECT;
    // The expectations of an address job travel in its own write request and
    // are taken when that write is acknowledged, so a second job queued
    // meanwhile cannot overwrite them.
    Konfig_Section_t module;
    module.SerialNo = serial_no;
    module.LineAddr = line_addr;
    module.DeviceType = mod_type;
    Command_Record_t command;
    command.Command = quint8(cmd);
    command.Address = line_addr;
    enqueue(REQ_CMD_WAIT_READY, 3, readRegistersPayload(52, 1), cmd, -1, 1, 3);
    enqueue(REQ_CMD_WRITE, 21, moduleCommandPayload(module, command), cmd, -1, 2, 3);
    enqueue(REQ_CMD_POLL, 3, readRegistersPayload(52, 4), cmd, -1, 3, 3);
}

void LantrelDriver::getModuleAddress(uint serial_no)
{
    queueIdentityRequest(serial_no, false);
}

void LantrelDriver::queueIdentityRequest(quint32 serial_no, bool next)
{
    Konfig_Section_t module;
    module.SerialNo = serial_no;
    Command_Record_t enable;
    enable.Command = CMD_EN_RID_ID;
    Command_Record_t identify;
    identify.Command = REP_ID_SECT;
    const QList<DriverRequest> items = {
        {REQ_CMD_WAIT_READY, 3, readRegistersPayload(52, 1), nullptr, CMD_EN_RID_ID, -1, 1, 5},
        {REQ_CMD_WRITE, 21, moduleCommandPayload(module, enable), nullptr, CMD_EN_RID_ID, -1, 2, 5},
        {REQ_CMD_POLL, 3, readRegistersPayload(52, 4), nullptr, CMD_EN_RID_ID, -1, 3, 5},
        {REQ_CMD_WRITE, 21, moduleCommandPayload(module, identify), nullptr, REP_ID_SECT, -1, 4, 5},
        {REQ_CMD_POLL, 3, readRegistersPayload(52, 4), nullptr, REP_ID_SECT, -1, 5, 5},
    };
    placeItems(items, next);
}

void LantrelDriver::placeItems(const QList<DriverRequest> &items, bool next)
{
    // "next": right behind the head item (the one being decoded), so that the
    // steps of one job follow each other with nothing in between.
    int pos = next && !queue.isEmpty() ? 1 : queue.size();
    for (const DriverRequest &item : items)
        queue.insert(pos++, new DriverRequest(item));
}

void LantrelDriver::queueFoundModuleRead(bool answer_owed, bool next)
{
    // expected = 1 marks a read that owes its caller an answer even when
    // no module record comes back.
    placeItems({{REQ_FOUND_MODULE_READ, 20, readFilePayload(10, 500, 8), nullptr, 500,
                 qint16(answer_owed ? 1 : -1), 1, 1}},
               next);
}

void LantrelDriver::getModulesFwVersion()
{
    for (quint16 r = 0; r < 500; r += 120)
        enqueue(REQ_MODULES_FW_VERSION, 20, readFilePayload(30, r, quint16(qMin(120, 500 - r))), r);
}

void LantrelDriver::getModulesSupplyVoltage()
{
    for (quint16 r = 0; r < 500; r += 120)
        enqueue(REQ_MODULES_SUPPLY_VOLTAGE, 20, readFilePayload(22, r, quint16(qMin(120, 500 - r))), r);
}

void LantrelDriver::uploadFirmware(QByteArray fw_body)
{
    const qint64 n = fw_body.size();
    const qint64 m = (n + kFirmwareChunk - 1) / kFirmwareChunk;
    if (n == 0 || n >= kFirmwareMaxSize || m > kFirmwareMaxChunks) {
        emit writeToLog(QStringLiteral("Недопустимый размер файла прошивки: %1 байт").arg(n));
        emit firmwareUploadCompleted(false);
        return;
    }
    for (qint64 k = 1; k <= m; ++k) {
        const qint64 offset = kFirmwareChunk * (k - 1);
        const int length = int(qMin(kFirmwareChunk, n - offset));
        const quint16 registers = quint16((length + 1) / 2);
        QByteArray payload;
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::BigEndian);
        out << quint8(registers * 2 + 7) << quint8(6) << quint16(0x8000 + (offset >> 16))
            << quint16(offset & 0xFFFF) << registers;
        payload.append(fw_body.constData() + offset, length);
        // An odd last chunk is padded to the whole register it announces.
        if (length % 2)
            payload.append('\0');
        enqueue(REQ_FIRMWARE_CHUNK, 21, payload, LOAD_PROG, -1, quint16(k), quint16(m));
    }
}

void LantrelDriver::enableUseMagneticSensor(bool yes)
{
    useMagneticSensor = yes;
}

void LantrelDriver::stopLinePolling()
{
    // Decide on a line status read now, not on the last one monitoring saw.
    if (linePollStopCheck || waitLinePollStop)
        return;   // a stop is already running; its answer serves this call too
    linePollStopCancelled = false;
    linePollStopCheck = true;
    getLineStatus();
}

void LantrelDriver::cancelLinePollStop()
{
    linePollStopCancelled = true;
    linePollStopCheck = false;
    waitLinePollStop = false;
    linePollStopReads = 0;
}

void LantrelDriver::executeCoilCommand(quint16 coil)
{
    const quint16 readBack = coil == 2 ? 10 : coil;
    const qint16 expected = (coil == 3 || coil == 5) ? 1 : 0;
    enqueue(REQ_CMD_WAIT_READY, 3, readRegistersPayload(52, 1), quint16(coil + 127), -1, 1, 3);
    enqueue(REQ_COIL_WRITE, 5, writeRegisterPayload(coil, 0xFF00), coil, -1, 2, 3);
    enqueue(REQ_COIL_READ, 1, readRegistersPayload(readBack, 1), coil, expected, 3, 3);
}

void LantrelDriver::readCoil10()
{
    enqueue(REQ_COIL_READ, 1, readRegistersPayload(10, 1), 2, 0);
}

void LantrelDriver::clearCoil10()
{
    enqueue(REQ_COIL_WRITE, 5, writeRegisterPayload(10, 0x0000), 10);
}

void LantrelDriver::endLinePollStop(bool ok)
{
    if (!linePollStopCheck && !waitLinePollStop)
        return;
    linePollStopCheck = false;
    waitLinePollStop = false;
    linePollStopReads = 0;
    emit linePollStopped(ok);
}

void LantrelDriver::serveLinePollStopWait(qint64 now)
{
    if (linePollStopCheck) {
        linePollStopCheck = false;
        if (lastLineStatus.State != LN_ONN)
            emit linePollStopped(true);
        else
            executeCoilCommand(1);
        return;
    }
    if (!waitLinePollStop)
        return;
    if (lastLineStatus.State != LN_ONN) {
        endLinePollStop(true);
        return;
    }
    if (lastLineStatus.Flags & 0x01) {
        endLinePollStop(false);
        return;
    }
    if (++linePollStopReads > 499) {
        emit writeToLog(QStringLiteral("Достигнут лимит повторов ожидания завершения"));
        endLinePollStop(false);
        return;
    }
    // One re-read at a time, even when someone else also asked for the line status.
    for (int i = 1; i < queue.size(); ++i) {
        if (queue.at(i)->kind == REQ_LINE_STATUS)
            return;
    }
    nextSendTime = now + 1800;
    getLineStatus();
}

void LantrelDriver::takeFoundModule(const QVector<Konfig_Section_t> &records)
{
    // Only the record 500 read answers a job; see decodeCommandReply.
    if (!addressJobPending)
        return;
    addressJobPending = false;
    const bool match = !records.isEmpty() && records.first().LineAddr == expectedLineAddress
            && records.first().SerialNo == expectedSerial
            && records.first().DeviceType == expectedModuleType;
    emit moduleAddressChanged(match);
}

void LantrelDriver::decodeCommandReply(QModbusReply *reply, qint64 now)
{
    if (queue.isEmpty())
        return;
    DriverRequest *item = queue.first();
    const QByteArray data = replyData(reply);
    const quint16 tag = item->tag;

    switch (item->kind) {
    case REQ_CMD_WAIT_READY: {
        if (commandBlockReady(registerAt(data, 0))) {
            pollRetryCount = 0;
            nextSendTime = 0;
            finishRequest(reply, false);
            return;
        }
        if (++pollRetryCount <= 499) {
            nextSendTime = now + 20;
            return;
        }
        pollRetryCount = 0;
        nextSendTime = 0;
        emit writeToLog(QStringLiteral("Достигнут лимит повторов ожидания готовности ЦУ-Л к выполнению команды"));
        finishRequest(reply, true);
        return;
    }

    case REQ_CMD_WRITE: {
        if (tag == WR_ADDR_SECT) {
            const Konfig_Section_t module = moduleFromPayload(item->payload);
            expectedModuleType = module.DeviceType;
            expectedLineAddress = module.LineAddr;
            expectedSerial = module.SerialNo;
        }
        if (tag == SAVE_PROG && item->functionCode == 16 && item->payload.size() >= 11) {
            // low byte of dev_addr, register 54 of the written block
            firmwareTarget = quint8(item->payload.at(10));
        }
        if (tag == SAVE_PROG && firmwareTarget == 2) {
            emit commandCompleted(SAVE_PROG, true);
            reconnectPending = true;
            cycleDueMs = 0;
            moduleDataDueMs = 0;
            nextSendTime = now + 7000;
            endLinePollStop(false);
            finishRequest(reply, false);
            readCoil10();
            getControllerInfo();
            return;
        }
        const qint64 delay = item->groupIndex < item->groupSize ? firstPollDelay(tag, firmwareTarget) : 0;
        nextSendTime = delay ? now + delay : 0;
        pollRetryCount = 0;
        commandSeenBusy = false;
        finishRequest(reply, false);
        return;
    }

    case REQ_CMD_POLL: {
        const quint16 state = registerAt(data, 0);
        if (commandBlockBusy(state)) {
            commandSeenBusy = true;
            if (++pollRetryCount > 499) {
                pollRetryCount = 0;
                nextSendTime = 0;
                emit writeToLog(QStringLiteral("Достигнут лимит повторов ожидания завершения выполнения команды"));
                finishRequest(reply, true);
                return;
            }
            if (tag == MOVE_PROG) {
                emit firmwareMoveProgress(registerAt(data, 3));
                nextSendTime = now + 800;
            } else if (tag == SAVE_PROG && firmwareTarget > 2) {
                emit firmwareUpdateProgress(registerAt(data, 3));
                nextSendTime = now + 500;
            } else if (tag == SAVE_PROG) {
                nextSendTime = now + 200;
            } else {
                nextSendTime = now + 20;
            }
            return;
        }
        pollRetryCount = 0;
        nextSendTime = 0;
        // Success is the block's word for this command: seen running since
        // the write, or done and ready. A void block ran nothing (a write
        // that never reached the controller leaves it as it was).
        const bool ok = registerAt(data, 1) == 0 && (commandSeenBusy || state == STATE_REDY);
        // A failed step fails its group: the core emits the one failure
        // signal of the tag and drops the rest of the group.
        if (!ok || (tag == REP_ID_SECT && state != STATE_REDY)) {
            finishRequest(reply, true);
            return;
        }
        switch (tag) {
        case REP_ID_SECT:
            nextSendTime = now + 20;
            queueFoundModuleRead(true, true);
            break;
        case SET_KONF_SECT:
            emit commandCompleted(tag, true);
            addressingMode = true;
            cycleDueMs = 0;
            moduleDataDueMs = 0;
            emit monitoringStateChanged(false);
            getLineStatus();
            break;
        case WR_ADDR_SECT:
            addressJobPending = true;
            nextSendTime = now + 100;
            queueIdentityRequest(expectedSerial, true);
            break;
        case CMD_EN_RID_ID:
            nextSendTime = now + 20;
            break;
        case WR_KONF_REG:
            emit commandCompleted(tag, true);
            if (addressChangePending) {
                savedServerAddress = serverAddress;
                addressChangePending = false;
            }
            if (ipChangePending) {
                savedDeviceIp = deviceIp;
                ipChangePending = false;
            }
            break;
        case RD_KONF_REG:
            emit commandCompleted(tag, true);
            if (addressChangePending) {
                serverAddress = savedServerAddress;
                addressChangePending = false;
                emit deviceAddressChanged(serverAddress);
            }
            if (ipChangePending) {
                deviceIp = savedDeviceIp;
                ipChangePending = false;
            }
            statusRefreshPending = true;
            break;
        case RD_VOLT_SECT:
        case RD_SECT_VER:
            emit commandCompleted(tag, true);
            nextSendTime = now + 1800;
            break;
        case SAVE_PROG:
            emit commandCompleted(tag, true);
            nextSendTime = now + 4000;
            break;
        default:
            emit commandCompleted(tag, true);
            break;
        }
        finishRequest(reply, false);
        return;
    }

    case REQ_COIL_WRITE: {
        if (tag == 3 || tag == 5) {
            nextSendTime = now + 3500;
        } else if (tag == 2) {
            if (addressingMode) {
                addressingMode = false;
                emit monitoringStateChanged(true);
                addressJobPending = false;
            }
            lastControllerStatus = Status_Device_t();
            emit controllerStatus(lastControllerStatus);
            lastLineStatus = Status_Line_t();
            emit lineStatus(lastLineStatus);
            reconnectPending = true;
            statusRefreshPending = true;
            cycleDueMs = 0;
            moduleDataDueMs = 0;
            nextSendTime = now + 4000;
            endLinePollStop(false);
        }
        finishRequest(reply, false);
        return;
    }

    case REQ_COIL_READ: {
        const int status = quint8(data.at(1)) & 0x01;
        if (status == item->expected) {
            if (++pollRetryCount <= 499) {
                nextSendTime = now + 20;
                return;
            }
            pollRetryCount = 0;
            nextSendTime = 0;
            emit writeToLog(QStringLiteral("Достигнут лимит повторов ожидания завершения"));
            finishRequest(reply, true);
            return;
        }
        pollRetryCount = 0;
        nextSendTime = 0;
        switch (tag) {
        case 2:
            emit rebootCompleted(true);
            statusRefreshPending = true;
            emit writeToLog(QStringLiteral("Перезапуск ЦУ-Л - успешно"));
            clearCoil10();
            break;
        case 1:
            if (linePollStopCancelled)
                break;
            waitLinePollStop = true;
            linePollStopReads = 0;
            nextSendTime = now + 1800;
            getLineStatus();
            break;
        case 3:
            emit setDefaultsCompleted(true);
            factoryReconnectPending = true;
            statusRefreshPending = true;
            emit writeToLog(QStringLiteral("Восстановление параметров ЦУ-Л по умолчанию - успешно"));
            break;
        case 5:
            emit eraseFlashCompleted(true);
            factoryReconnectPending = true;
            statusRefreshPending = true;
            emit writeToLog(QStringLiteral("Очистка установок в энергонезависимой памяти ЦУ-Л - успешно"));
            break;
        default:
            break;
        }
        finishRequest(reply, false);
        return;
    }

    case REQ_FOUND_MODULE_READ: {
        // One whole record; a reply without it failed the item before this.
        const QVector<Konfig_Section_t> records = readRecords<Konfig_Section_t>(data, 3, 16, 1);
        if (addressJobPending)
            takeFoundModule(records);
        else
            emit sensorConfig(500, records);
        finishRequest(reply, false);
        return;
    }

    case REQ_MODULES_FW_VERSION:
    case REQ_MODULES_SUPPLY_VOLTAGE: {
        const QVector<quint16> values = recordValues(data, qMin(120, 500 - int(tag)));
        if (item->kind == REQ_MODULES_FW_VERSION)
            emit modulesFwVersion(tag, values);
        else
            emit modulesSupplyVoltage(tag, values);
        finishRequest(reply, false);
        return;
    }

    case REQ_FIRMWARE_CHUNK:
        nextSendTime = now + 20;
        emit firmwareUploadCompleted(true);
        finishRequest(reply, false);
        return;

    case REQ_SET_CONTROLLER_SERIAL:
        nextSendTime = now + 20;
        emit commandCompleted(SET_CTRL_SERIAL, true);
        finishRequest(reply, false);
        return;

    default:
        finishRequest(reply, false);
        return;
    }
}

void LantrelDriver::sendAddressModeRequest()
{
    if (addressingStep == 0)
        sendRequest(16, writeRegistersPayload(52, {0, REP_ID_SECT, 0, 0}));
    else
        sendRequest(3, readRegistersPayload(52, 2));
}

void LantrelDriver::decodeAddressModeReply(QModbusReply *reply, qint64 now)
{
    // The reply answers the request of the step (replyAnswersRequest).
    if (addressingStep == 0) {
        addressingStep = 1;
        moduleDataDueMs = now + 1000;
        cycleDueMs = now + 20;
        return;
    }
    const QByteArray data = replyData(reply);
    const quint16 state = registerAt(data, 0);
    const bool done = registerAt(data, 1) == 0 && (state == STATE_REDY || state == STATE_VOID);
    if (!done) {
        // Not decided yet: read again at the loop's pace, not the reply's.
        cycleDueMs = now + loopIntervalMs;
        return;
    }
    cycleDueMs = 0;
    addressingStep = 0;
    if (state == STATE_REDY)
        queueFoundModuleRead(false, false);   // a module answered
}

void LantrelDriver::deferAddressingPoll(qint64 now)
{
    if (addressingStep == 1) {
        moduleDataDueMs = now + 1000;
    } else {
        // The identity command goes out when moduleDataDueMs comes: without
        // moving it a refusing controller would get one every pass.
        cycleDueMs = now + 20;
        moduleDataDueMs = now + 20;
    }
}
