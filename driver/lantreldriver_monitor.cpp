// The monitoring cycle: events, status block, module pages, samples and the
// infrared-channel voltage measurement.
#include "lantreldriver.h"
#include "modbuserrortext.h"

#include <QMetaEnum>
#include <QModbusReply>
#include <QTextStream>

using namespace LantrelProtocol;

namespace {

enum MonitorState {
    MON_EVENT_COUNT = 0,
    MON_EVENTS = 1,
    MON_STATUS = 2,
    MON_SENSOR_STATUS = 3,
    MON_SAMPLES = 4,
    MON_IO_STATUS = 5,
    MON_SCP_STATUS = 6,
    MON_IR_COMMAND = 7,
    MON_IR_POLL = 8,
    MON_IR_VOLTAGE = 9
};

// A failed infrared measurement is tried again after this pause.
const qint64 kIrSettleMs = 3000;
// Wrong answers in a row to the polls that close the link, as time-outs do.
const int monitorRejectLimit = 3;

quint8 lowByte(quint16 value)
{
    return quint8(value & 0xFF);
}

int remaining(int count, int index, int page)
{
    return qMax(0, qMin(count - index, page));
}

template <typename E>
QString enumKey(int value)
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(value));
}

QByteArray irCommandPayload()
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << quint16(52) << quint16(4) << quint8(8) << quint16(0) << quint16(RD_IKOUT_VOLT)
        << quint16(0) << quint16(0);
    return payload;
}

} // namespace

void LantrelDriver::setVoltageMeasurementMode(bool yes)
{
    if (yes && sensorCount == 0)
        return;
    irReadyMs = 0;
    irCommandDueMs = 0;
    voltageMeasurement = yes;
}

bool LantrelDriver::irStepDue(qint64 now) const
{
    if (!voltageMeasurement || sensorCount == 0)
        return false;
    return irReadyMs == 0 ? now >= irCommandDueMs : irReadyMs <= now;
}

void LantrelDriver::startIrStep()
{
    cycleDueMs = 0;
    pageIndex = 0;
    monitorState = irReadyMs == 0 ? MON_IR_COMMAND : MON_IR_VOLTAGE;
}

void LantrelDriver::endMonitoringCycle(qint64 now)
{
    cycleDueMs += 200;
    if (cycleDueMs < now)
        cycleDueMs = 0;
    driverMode = MODE_IDLE;
}

void LantrelDriver::advanceModuleDataDue(qint64 now)
{
    moduleDataDueMs += 800;
    if (moduleDataDueMs < now)
        moduleDataDueMs = 0;
}

void LantrelDriver::endModulePass(qint64 now, bool after_samples)
{
    if (after_samples)
        advanceModuleDataDue(now);
    if (irStepDue(now)) {
        // without samples the module pages are read again in the cycle after
        // the infrared step
        startIrStep();
        return;
    }
    endMonitoringCycle(now);
    if (!after_samples)
        advanceModuleDataDue(now);
}

void LantrelDriver::failIrMeasurement(qint64 now)
{
    irReadyMs = 0;
    irCommandDueMs = now + kIrSettleMs;
    pageIndex = 0;
    cycleDueMs = 0;
    driverMode = MODE_IDLE;
}

void LantrelDriver::sendMonitoringRequest()
{
    const qint64 now = clock.elapsed();
    switch (monitorState) {
    case MON_EVENT_COUNT:
        sendRequest(7, QByteArray());
        return;
    case MON_EVENTS: {
        const int count = qMin(int(newEventCount), 20);
        if (count == 0) {
            monitorState = MON_STATUS;
            sendRequest(3, readRegistersPayload(22, 20));
            return;
        }
        sendRequest(20, readFilePayload(6, 0, quint16(count * 6)));
        return;
    }
    case MON_STATUS:
        sendRequest(3, readRegistersPayload(22, 20));
        return;
    case MON_SENSOR_STATUS: {
        const int n = remaining(sensorCount, pageIndex, 40);
        if (n == 0)
            break;
        sendRequest(20, readFilePayload(9, pageIndex, quint16(n * 3)));
        return;
    }
    case MON_SAMPLES: {
        const int n = remaining(sensorCount, pageIndex, 120);
        if (n == 0)
            break;
        sendRequest(20, readFilePayload(23, pageIndex, quint16(n)));
        return;
    }
    case MON_IO_STATUS: {
        const int n = remaining(ioModuleCount, pageIndex, 40);
        if (n == 0)
            break;
        sendRequest(20, readFilePayload(14, pageIndex, quint16(n * 3)));
        return;
    }
    case MON_SCP_STATUS: {
        const int n = remaining(scpModuleCount, pageIndex, 30);
        if (n == 0)
            break;
        sendRequest(20, readFilePayload(19, pageIndex, quint16(n * 4)));
        return;
    }
    case MON_IR_COMMAND:
        sendRequest(16, irCommandPayload());
        return;
    case MON_IR_POLL:
        sendRequest(3, readRegistersPayload(52, 2));
        return;
    case MON_IR_VOLTAGE: {
        cycleDueMs = 0;
        const int n = remaining(sensorCount, pageIndex, 120);
        if (n == 0) {
            failIrMeasurement(now);
            return;
        }
        sendRequest(20, readFilePayload(26, pageIndex, quint16(n)));
        return;
    }
    default:
        break;
    }
    // Nothing left to ask for (the module counts changed under the pass).
    pageIndex = 0;
    advanceModuleDataDue(now);
    endMonitoringCycle(now);
}

int LantrelDriver::partialRecordSize() const
{
    return driverMode == MODE_MONITORING && monitorState == MON_EVENTS ? 12 : 0;
}

void LantrelDriver::abandonMonitoringCycle(qint64 now, int exceptionCode)
{
    if (monitorState == MON_EVENT_COUNT || monitorState == MON_EVENTS) {
        // Events that cannot be read never hold the status block back.
        monitorState = MON_STATUS;
        return;
    }
    if (monitorState == MON_IR_POLL) {
        cycleDueMs = now + 20;   // the command state is asked again
        return;
    }
    if (monitorState == MON_IR_COMMAND || monitorState == MON_IR_VOLTAGE) {
        // The infrared step would be due again at once: back off as after a
        // failed measurement, so the status and module pages keep their pace.
        failIrMeasurement(now);
        return;
    }
    if (monitorState == MON_STATUS)
        noteStatusRefused(now, exceptionCode);
    cycleDueMs = (cycleDueMs + 200 < now) ? 0 : cycleDueMs + 200;
    if (moduleDataDueMs < now)
        moduleDataDueMs = 0;
    driverMode = MODE_IDLE;
}

bool LantrelDriver::rejectMonitoringReply(qint64 now)
{
    if (++monitorRejects >= monitorRejectLimit)
        return true;
    switch (monitorState) {
    case MON_SENSOR_STATUS:
    case MON_SAMPLES:
    case MON_IO_STATUS:
    case MON_SCP_STATUS:
        // A module page that is no answer ends the pass rather than being
        // asked again at once.
        pageIndex = 0;
        advanceModuleDataDue(now);
        endMonitoringCycle(now);
        return false;
    default:
        // Asking again at once would flood the link with the same request.
        abandonMonitoringCycle(now);
        return false;
    }
}

void LantrelDriver::decodeMonitoringReply(QModbusReply *reply, qint64 now)
{
    // The reply answers the request of the state (replyAnswersRequest).
    const QByteArray data = replyData(reply);

    switch (monitorState) {
    case MON_EVENT_COUNT:
        newEventCount = quint8(data.at(0));
        monitorState = newEventCount == 0 ? MON_STATUS : MON_EVENTS;
        return;

    case MON_EVENTS: {
        const int asked = qMin(int(newEventCount), 20);
        const int length = data.size() > 1 ? quint8(data.at(1)) : 0;
        const int announced = length == 0 ? 0 : (length - 1) / 12;
        const QVector<Event_Record_t> records =
                readRecords<Event_Record_t>(data, 3, 12, qMin(asked, announced));
        for (const Event_Record_t &record : records)
            logEventRecord(record);
        // No records although some were announced: go on with the status
        // block instead of asking again at once.
        monitorState = (newEventCount < 21 || records.isEmpty()) ? MON_STATUS : MON_EVENT_COUNT;
        return;
    }

    case MON_STATUS:
        decodeStatusBlock(data);
        pageIndex = 0;
        if (!linePolling || moduleCount == 0) {
            endMonitoringCycle(now);
        } else if (irStepDue(now)) {
            startIrStep();
        } else if (moduleDataDueMs != 0 && moduleDataDueMs > now) {
            endMonitoringCycle(now);
        } else {
            if (moduleDataDueMs == 0)
                moduleDataDueMs = now;
            monitorState = sensorCount != 0 ? MON_SENSOR_STATUS
                                            : ioModuleCount != 0 ? MON_IO_STATUS : MON_SCP_STATUS;
        }
        return;

    case MON_SENSOR_STATUS: {
        const QVector<Status_Section_t> records =
                readRecords<Status_Section_t>(data, 3, 6, remaining(sensorCount, pageIndex, 40));
        if (records.isEmpty())
            break;
        emit sensorStatus(pageIndex, records);
        pageIndex += quint16(records.size());
        if (pageIndex >= sensorCount) {
            monitorState = MON_SAMPLES;
            pageIndex = 0;
        }
        return;
    }

    case MON_SAMPLES: {
        const QVector<quint16> values = recordValues(data, remaining(sensorCount, pageIndex, 120));
        if (values.isEmpty())
            break;
        emit sensorSamples(pageIndex, values);
        pageIndex += quint16(values.size());
        if (pageIndex >= sensorCount) {
            pageIndex = 0;
            if (ioModuleCount != 0)
                monitorState = MON_IO_STATUS;
            else if (scpModuleCount != 0)
                monitorState = MON_SCP_STATUS;
            else
                endModulePass(now, true);
        }
        return;
    }

    case MON_IO_STATUS: {
        const QVector<Status_MVV_t> records =
                readRecords<Status_MVV_t>(data, 3, 6, remaining(ioModuleCount, pageIndex, 40));
        if (records.isEmpty())
            break;
        emit ioModuleStatus(pageIndex, records);
        pageIndex += quint16(records.size());
        if (pageIndex >= ioModuleCount) {
            pageIndex = 0;
            if (scpModuleCount != 0)
                monitorState = MON_SCP_STATUS;
            else
                endModulePass(now, false);
        }
        return;
    }

    case MON_SCP_STATUS: {
        const QVector<Status_MKZ_t> records =
                readRecords<Status_MKZ_t>(data, 3, 8, remaining(scpModuleCount, pageIndex, 30));
        if (records.isEmpty())
            break;
        emit scpModuleStatus(pageIndex, records);
        pageIndex += quint16(records.size());
        if (pageIndex >= scpModuleCount) {
            pageIndex = 0;
            endModulePass(now, false);
        }
        return;
    }

    case MON_IR_COMMAND:
        monitorState = MON_IR_POLL;
        cycleDueMs = now + 20;
        return;

    case MON_IR_POLL: {
        const quint16 state = registerAt(data, 0);
        const quint16 code = registerAt(data, 1);
        if (state == STATE_ERR || code == Err_CMD) {
            failIrMeasurement(now);
            return;
        }
        irReadyMs = now + kIrSettleMs;
        cycleDueMs = 0;
        driverMode = MODE_IDLE;
        return;
    }

    case MON_IR_VOLTAGE: {
        const QVector<quint16> values = recordValues(data, remaining(sensorCount, pageIndex, 120));
        if (values.isEmpty()) {
            failIrMeasurement(now);
            return;
        }
        emit sensorIrVoltage(pageIndex, values);
        pageIndex += quint16(values.size());
        if (pageIndex >= sensorCount) {
            cycleDueMs = 0;
            pageIndex = 0;
            irReadyMs = 0;
            driverMode = MODE_IDLE;
        }
        return;
    }

    default:
        return;
    }

    // A module page without records ends the pass rather than asking again.
    pageIndex = 0;
    advanceModuleDataDue(now);
    endMonitoringCycle(now);
}

void LantrelDriver::noteStatusRefused(qint64 now, int code)
{
    if (!statusBusy.tooLong(now) || statusUnknown)
        return;
    // What the windows show is no longer the controller's state.
    statusUnknown = true;
    // The next status block is news in full, changed or not.
    statusRefreshPending = true;
    lastLineStatus = Status_Line_t();
    lastLineStatus.State = 0xFF;   // no line state
    if (code < 0 || BusyWait::busyCode(code))
        emit writeToLog(QStringLiteral("%1 и не сообщает своё состояние").arg(busyText()));
    else
        emit writeToLog(QStringLiteral("ЦУ-Л отклоняет запрос своего состояния: %1").arg(modbusExceptionCodeText(code)));
    emit statusUnavailable();
}

void LantrelDriver::decodeStatusBlock(const QByteArray &data)
{
    statusBusy.reset();
    statusUnknown = false;
    // registers 22 to 41
    auto reg = [&data](int number) { return registerAt(data, number - 22); };

    if (reg(22) != sensorCount || reg(23) != ioModuleCount || reg(24) != scpModuleCount)
        emit modulesCountChanged();

    Status_Device_t device;
    device.Status0 = lowByte(reg(26));
    device.Status1 = lowByte(reg(27));
    device.Status2 = lowByte(reg(28));
    device.Status3 = lowByte(reg(29));
    device.Status4 = 0;
    device.Status5 = lowByte(reg(30));
    if (device != lastControllerStatus || statusRefreshPending) {
        statusRefreshPending = false;
        emit controllerStatus(device);
        lastControllerStatus = device;
        if (device.Status1 & 0x04) {
            emit controllerRebooted();
            clearCoil10();
        }
    }

    Feature_Device_t power;
    power.VddExt = reg(31);
    power.VddInt = reg(32);
    power.VddBat = reg(33);
    power.VddLin = reg(34);
    power.IddSens = reg(35);
    power.IddLin = reg(36);
    emit powerStatus(power);

    Status_Line_t line;
    line.Flags = lowByte(reg(37));
    line.State = lowByte(reg(38));
    line.Faults = lowByte(reg(39));
    line.Reserved3 = 0;
    if (line != lastLineStatus) {
        emit lineStatus(line);
        lastLineStatus = line;
    }
    linePolling = (line.Flags & 0x01) && line.State == LN_ONN;

    emit eventMemoryStatus(reg(40), reg(41));
}

void LantrelDriver::logEventRecord(const Event_Record_t &record)
{
    if (!readEventsEnabled)
        return;
    const QDateTime time(QDate(2000 + record.Year, record.Month, record.Day),
                         QTime(record.Hour, record.Minute, record.Second), Qt::LocalTime);
    uint address = record.Address;
    QString flags = QStringLiteral("0x%1").arg(record.Flags, 2, 16, QLatin1Char('0'));
    if (record.DeviceType == BOS_LIN && record.Event == EVN_NORMA) {
        flags = enumKey<Event_TypeDef>(record.Flags);
    } else if (record.DeviceType == BOS_LIN && record.Event == EVN_LNOFF) {
        address = record.Flags;
        flags = QStringLiteral("0x%1").arg(record.Address, 2, 16, QLatin1Char('0'));
    }

    QString line;
    QTextStream out(&line);
    out.setFieldAlignment(QTextStream::AlignLeft);
    out << time.toString(Qt::ISODate) << "  ";
    out.setFieldWidth(14);
    out << enumKey<Event_TypeDef>(record.Event);
    out.setFieldWidth(11);
    out << enumKey<Dev_Type_t>(record.DeviceType);
    out.setFieldWidth(0);
    out << "Address: ";
    out.setFieldWidth(5);
    out << address;
    out.setFieldWidth(0);
    out << "Flags: " << flags;
    out.flush();
    emit capturedEvent(line);
}
