#include "lantreldriver.h"

#include <QModbusReply>

using namespace LantrelProtocol;

namespace {

// Read File Record / Write File Record limits: a reply carries at most
// 120 registers, a request's byte count is at most 251.
const int maxWriteByteCount = 251;
const int subRequestHeader = 7;
const quint8 referenceType = 6;

QDataStream &bigEndian(QDataStream &s)
{
    s.setByteOrder(QDataStream::BigEndian);
    return s;
}

void appendSubRequestHeader(QDataStream &out, quint16 file_no, quint16 record, quint16 length)
{
    out << referenceType << file_no << record << length;
}

// Records asked for by a Read File Record item: its length field, in records.
int requestedRecords(const QByteArray &payload, int record_size)
{
    if (payload.size() < 8 || record_size <= 0)
        return 0;
    const int registers = (quint8(payload.at(6)) << 8) | quint8(payload.at(7));
    return registers * 2 / record_size;
}

} // namespace

// ---------------------------------------------------------------- reads

void LantrelDriver::getControllerInfo()
{
    enqueue(REQ_CONTROLLER_INFO, 3, readRegistersPayload(0, 8));
}

void LantrelDriver::getControllerClock()
{
    enqueue(REQ_CLOCK_READ, 20, readFilePayload(1, 0, 4));
}

void LantrelDriver::getControllerConfig()
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    bigEndian(out);
    out << quint8(4 * subRequestHeader);
    appendSubRequestHeader(out, 3, 0, 16);
    appendSubRequestHeader(out, 4, 0, 12);
    appendSubRequestHeader(out, 8, 0, 4);
    appendSubRequestHeader(out, 28, 0, 32);
    enqueue(REQ_CONTROLLER_CONFIG, 20, payload);
}

void LantrelDriver::getNetworkConfig()
{
    enqueue(REQ_NETWORK_CONFIG, 20, readFilePayload(4, 0, 12));
}

void LantrelDriver::getLineConfig()
{
    enqueue(REQ_LINE_CONFIG, 20, readFilePayload(8, 0, 4));
}

void LantrelDriver::getLineStatus()
{
    enqueue(REQ_LINE_STATUS, 20, readFilePayload(7, 0, 2));
}

void LantrelDriver::queueTableRead(int kind, const TableLayout &table)
{
    for (int first = 0; first < table.records; first += table.perRead) {
        const int n = qMin(table.perRead, table.records - first);
        enqueue(kind, 20, readFilePayload(table.file, quint16(first), quint16(n * table.registers)),
                quint16(first));
    }
}

void LantrelDriver::getSensorsConfig()
{
    queueTableRead(REQ_SENSORS_CONFIG, ConfigTables::sensors);
}

void LantrelDriver::getIoModulesConfig()
{
    queueTableRead(REQ_IO_MODULES_CONFIG, ConfigTables::ioModules);
}

void LantrelDriver::getScpModulesConfig()
{
    queueTableRead(REQ_SCP_MODULES_CONFIG, ConfigTables::scpModules);
}

void LantrelDriver::getRelayModulesConfig()
{
    queueTableRead(REQ_RELAY_MODULES_CONFIG, ConfigTables::relayModules);
}

void LantrelDriver::getProcessingConfig()
{
    queueTableRead(REQ_PROCESSING_CONFIG, ConfigTables::processing);
}

void LantrelDriver::getInteractionsConfig()
{
    queueTableRead(REQ_INTERACTIONS_CONFIG, ConfigTables::interactions);
}

// ---------------------------------------------------------------- clock

void LantrelDriver::setControllerClock()
{
    // The payload is filled in when the item is sent.
    enqueue(REQ_CLOCK_WRITE, 21, QByteArray(), 0, -1, 1, 3);
    enqueue(REQ_CLOCK_APPLY, 6, writeRegisterPayload(30, 64), 0, -1, 2, 3);
    enqueue(REQ_CLOCK_APPLY_POLL, 3, readRegistersPayload(30, 1), 0, 64, 3, 3);
}

QByteArray LantrelDriver::clockWritePayload()
{
    const QDateTime now = QDateTime::currentDateTime();
    Clock_Device_t clk;
    clk.DayOfWeek = quint8(now.date().dayOfWeek());
    clk.Second = quint8(now.time().second());
    clk.Minute = quint8(now.time().minute());
    clk.Hour = quint8(now.time().hour());
    clk.Day = quint8(now.date().day());
    clk.Month = quint8(now.date().month());
    clk.Year = quint16(now.date().year());

    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    bigEndian(out);
    out << quint8(subRequestHeader + 8);
    appendSubRequestHeader(out, 5, 0, 4);
    out << clk;
    return payload;
}

// ---------------------------------------------------------------- writes

void LantrelDriver::setControllerConfig(QByteArray block_id, Konfig_Device_t dev_cfg,
                                        ETH_konf_t net_cfg, Konfig_Line_t line_cfg)
{
    QByteArray block = block_id.left(64);
    if (block.size() < 64)
        block.append(QByteArray(64 - block.size(), '\0'));

    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    bigEndian(out);
    out << quint8(4 * subRequestHeader + 32 + 24 + 8 + 64);
    appendSubRequestHeader(out, 3, 0, 16);
    out << dev_cfg;
    appendSubRequestHeader(out, 4, 0, 12);
    out << net_cfg;
    appendSubRequestHeader(out, 8, 0, 4);
    out << line_cfg;
    appendSubRequestHeader(out, 28, 0, 32);
    out.writeRawData(block.constData(), block.size());
    enqueue(REQ_SET_CONTROLLER_CONFIG, 21, payload);
}

void LantrelDriver::setLineConfig(Konfig_Line_t line_cfg)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    bigEndian(out);
    out << quint8(subRequestHeader + 8);
    appendSubRequestHeader(out, 8, 0, 4);
    out << line_cfg;
    enqueue(REQ_SET_LINE_CONFIG, 21, payload);
}

int LantrelDriver::queueTableWrite(int kind, quint16 file_no, int record_size, const QList<quint16> &keys,
                                   const std::function<void(QDataStream &, quint16)> &write_record)
{
    if (keys.isEmpty()) {
        emit writeCompleted(false);
        return 0;
    }

    int items = 0;
    QByteArray body;          // sub-requests of the request being built
    int count = subRequestHeader;

    auto closeRun = [&](int first, int last) {
        QDataStream out(&body, QIODevice::WriteOnly | QIODevice::Append);
        bigEndian(out);
        const int records = last - first + 1;
        appendSubRequestHeader(out, file_no, keys.at(first), quint16(records * record_size / 2));
        for (int k = first; k <= last; ++k)
            write_record(out, keys.at(k));
    };
    auto closeRequest = [&](int byte_count) {
        QByteArray payload;
        payload.reserve(body.size() + 1);
        payload.append(char(quint8(byte_count)));
        payload.append(body);
        enqueue(kind, 21, payload);
        body.clear();
        ++items;
    };

    int i = 0;
    while (i < keys.size()) {
        const int runStart = i;
        int next = count + record_size;
        for (;;) {
            next = count + record_size;
            if (i == keys.size() - 1) {
                closeRun(runStart, i);
                closeRequest(next);
                return items;
            }
            if (keys.at(i + 1) == keys.at(i) + 1 && next <= maxWriteByteCount - record_size) {
                count = next;
                ++i;
                continue;
            }
            closeRun(runStart, i);
            break;
        }
        if (next <= maxWriteByteCount - subRequestHeader - record_size) {
            count = next + subRequestHeader;
        } else {
            closeRequest(next);
            count = subRequestHeader;
        }
        ++i;
    }
    return items;
}

void LantrelDriver::setSensorsConfig(QMap<quint16, Konfig_Section_t> cfg)
{
    queueTableWrite(REQ_SET_SENSORS_CONFIG, ConfigTables::sensors.file, 16, cfg.keys(),
                    [&cfg](QDataStream &out, quint16 key) { out << cfg.value(key); });
}

void LantrelDriver::setIoModulesConfig(QMap<quint16, Konfig_MVV_t> cfg)
{
    queueTableWrite(REQ_SET_IO_MODULES_CONFIG, ConfigTables::ioModules.file, 16, cfg.keys(),
                    [&cfg](QDataStream &out, quint16 key) { out << cfg.value(key); });
}

void LantrelDriver::setScpModulesConfig(QMap<quint16, Konfig_MKZ_t> cfg)
{
    queueTableWrite(REQ_SET_SCP_MODULES_CONFIG, ConfigTables::scpModules.file, 16, cfg.keys(),
                    [&cfg](QDataStream &out, quint16 key) { out << cfg.value(key); });
}

void LantrelDriver::setRelayModulesConfig(QMap<quint16, Konfig_Modul_t> cfg, bool update_count)
{
    quint16 occupied = 0;
    for (auto it = cfg.cbegin(); it != cfg.cend(); ++it) {
        if (it.value().IPAddr != 0)
            ++occupied;
    }
    const int items = queueTableWrite(REQ_SET_RELAY_MODULES_CONFIG, ConfigTables::relayModules.file, 76, cfg.keys(),
                                      [&cfg](QDataStream &out, quint16 key) { out << cfg.value(key); });
    if (items > 0 && update_count)
        enqueue(REQ_SET_RELAY_MODULES_COUNT, 6, writeRegisterPayload(25, occupied));
}

void LantrelDriver::setProcessingConfig(QMap<quint16, Konfig_Proc_t> cfg)
{
    queueTableWrite(REQ_SET_PROCESSING_CONFIG, ConfigTables::processing.file, 6, cfg.keys(),
                    [&cfg](QDataStream &out, quint16 key) { out << cfg.value(key); });
}

void LantrelDriver::setInteractionsConfig(QMap<quint16, Control_Relay_t> cfg)
{
    queueTableWrite(REQ_SET_INTERACTIONS_CONFIG, ConfigTables::interactions.file, 4, cfg.keys(),
                    [&cfg](QDataStream &out, quint16 key) { out << cfg.value(key); });
}

void LantrelDriver::storeLineCounts(const Konfig_Line_t &line_cfg)
{
    sensorCount = line_cfg.SensorCount;
    ioModuleCount = line_cfg.IoCount;
    scpModuleCount = line_cfg.ScpCount;
    moduleCount = quint16(sensorCount + ioModuleCount + scpModuleCount);
}

// ---------------------------------------------------------------- replies

void LantrelDriver::decodeQueuedReply(QModbusReply *reply, qint64 now)
{
    if (queue.isEmpty())
        return;
    DriverRequest *head = queue.first();
    if (head->reply != reply)
        return;

    // The reply has the shape of the request (replyAnswersRequest): every
    // record asked for is there.
    const QByteArray data = replyData(reply);
    QDataStream in(data);
    bigEndian(in);

    switch (head->kind) {
    case REQ_CONTROLLER_INFO: {
        quint8 byteCount = 0;
        quint16 regs[8] = {};
        in >> byteCount;
        for (quint16 &r : regs)
            in >> r;
        Info_Device_t info;
        info.ProdYear = regs[0];
        info.SerialNo = regs[1];
        info.DeviceType = regs[2];
        info.PCBVer = regs[3];
        info.FwVer = regs[4];
        const QDate fwDate(regs[6], regs[5] >> 8, regs[5] & 0xFF);
        if (regs[2] != BOS_LIN && driverMode == MODE_CONNECTING) {
            failConnection(QStringLiteral("Устройство с линейным адресом %1 не является ЦУ-Л (тип устройства %2)")
                               .arg(serverAddress)
                               .arg(regs[2]));
        } else if (regs[2] == BOS_LIN) {
            const bool announcing = driverMode == MODE_CONNECTING;
            if (announcing)
                emit connected();
            emit controllerInfo(info, regs[7], fwDate);
            if (announcing) {
                driverMode = MODE_IDLE;
                lastControllerStatus = Status_Device_t();
                emit controllerStatus(lastControllerStatus);
                lastLineStatus = Status_Line_t();
                emit lineStatus(lastLineStatus);
            }
        }
        break;
    }

    case REQ_CLOCK_READ: {
        Clock_Device_t clk;
        in.skipRawData(3);
        in >> clk;
        emit controllerDateTime(QDateTime(QDate(clk.Year, clk.Month, clk.Day),
                                          QTime(clk.Hour, clk.Minute, clk.Second)));
        break;
    }

    case REQ_CONTROLLER_CONFIG: {
        Konfig_Device_t dev;
        ETH_konf_t net;
        Konfig_Line_t line;
        in.skipRawData(3);
        in >> dev;
        in.skipRawData(2);
        in >> net;
        in.skipRawData(2);
        in >> line;
        in.skipRawData(2);
        QByteArray block(64, '\0');
        in.readRawData(block.data(), block.size());
        emit controllerConfig(block, dev, net, line);
        storeLineCounts(line);
        break;
    }

    case REQ_NETWORK_CONFIG: {
        ETH_konf_t net;
        in.skipRawData(3);
        in >> net;
        emit networkConfig(net);
        break;
    }

    case REQ_LINE_CONFIG: {
        Konfig_Line_t line;
        in.skipRawData(3);
        in >> line;
        emit lineConfig(line);
        storeLineCounts(line);
        break;
    }

    case REQ_LINE_STATUS: {
        Status_Line_t status;
        in.skipRawData(3);
        in >> status;
        lastLineStatus = status;
        emit lineStatus(status);
        serveLinePollStopWait(now);
        break;
    }

    case REQ_SENSORS_CONFIG:
        // Only the record 500 read (REQ_FOUND_MODULE_READ) answers a module-address job.
        emit sensorConfig(head->tag, readRecords<Konfig_Section_t>(data, 3, 16, requestedRecords(head->payload, 16)));
        break;
    case REQ_IO_MODULES_CONFIG:
        emit ioModuleConfig(head->tag, readRecords<Konfig_MVV_t>(data, 3, 16, requestedRecords(head->payload, 16)));
        break;
    case REQ_SCP_MODULES_CONFIG:
        emit scpModuleConfig(head->tag, readRecords<Konfig_MKZ_t>(data, 3, 16, requestedRecords(head->payload, 16)));
        break;
    case REQ_RELAY_MODULES_CONFIG:
        emit relayModuleConfig(head->tag, readRecords<Konfig_Modul_t>(data, 3, 76, requestedRecords(head->payload, 76)));
        break;
    case REQ_PROCESSING_CONFIG:
        emit processingConfig(head->tag, readRecords<Konfig_Proc_t>(data, 3, 6, requestedRecords(head->payload, 6)));
        break;
    case REQ_INTERACTIONS_CONFIG:
        emit interactionsConfig(head->tag, readRecords<Control_Relay_t>(data, 3, 4, requestedRecords(head->payload, 4)));
        break;

    case REQ_SET_CONTROLLER_CONFIG: {
        // The echo equals the request: these are the settings written.
        Konfig_Device_t dev;
        in.skipRawData(8);
        in >> dev;
        if (dev.LineAddr != 0 && dev.LineAddr != serverAddress) {
            serverAddress = dev.LineAddr;
            addressChangePending = serverAddress != savedServerAddress;
            emit deviceAddressChanged(serverAddress);
        }
        if (connectionType == 0) {
            ETH_konf_t net;
            in.skipRawData(7);
            in >> net;
            if (net.IPAddr != 0 && net.IPAddr != deviceIp) {
                deviceIp = net.IPAddr;
                ipChangePending = deviceIp != savedDeviceIp;
            }
        }
        statusRefreshPending = true;
        break;
    }

    case REQ_SET_LINE_CONFIG: {
        Konfig_Line_t line;
        in.skipRawData(8);
        in >> line;
        storeLineCounts(line);
        break;
    }

    case REQ_SET_SENSORS_CONFIG:
    case REQ_SET_IO_MODULES_CONFIG:
    case REQ_SET_SCP_MODULES_CONFIG:
    case REQ_SET_RELAY_MODULES_CONFIG:
    case REQ_SET_RELAY_MODULES_COUNT:
    case REQ_SET_PROCESSING_CONFIG:
    case REQ_SET_INTERACTIONS_CONFIG:
    case REQ_CLOCK_WRITE:
    case REQ_CLOCK_APPLY:
        break;

    case REQ_CLOCK_APPLY_POLL: {
        quint8 byteCount = 0;
        quint16 control = 0;
        in >> byteCount >> control;
        const quint16 mask = quint16(head->expected);
        if ((control & mask) == mask) {
            ++pollRetryCount;
            if (pollRetryCount <= 499) {
                nextSendTime = now + 20;
                return; // read again
            }
            pollRetryCount = 0;
            nextSendTime = 0;
            emit writeToLog(QStringLiteral("Ошибка синхронизации показаний часов: достигнут лимит повторов ожидания"));
        } else {
            pollRetryCount = 0;
            nextSendTime = 0;
            emit writeToLog(QStringLiteral("Показания часов синхронизированы с локальным источником"));
        }
        break;
    }

    case REQ_CMD_WAIT_READY:
    case REQ_CMD_WRITE:
    case REQ_CMD_POLL:
    case REQ_COIL_READ:
    case REQ_COIL_WRITE:
    case REQ_FOUND_MODULE_READ:
    case REQ_MODULES_FW_VERSION:
    case REQ_FIRMWARE_CHUNK:
    case REQ_MODULES_SUPPLY_VOLTAGE:
    case REQ_SET_CONTROLLER_SERIAL:
        decodeCommandReply(reply, now);
        return;

    default:
        break;
    }
    finishRequest(reply, false);
}
