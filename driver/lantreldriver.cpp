#include "lantreldriver.h"

#include "appglobals.h"
#include "mbapheadercheck.h"
#include "modbuserrortext.h"
#include "modbusreplycheck.h"
#include "systemerrortext.h"
#include "textlogger.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QLocale>
#include <QMetaEnum>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSerialPort>
#include <QTcpSocket>
#include <QSettings>
#include <QTimer>

namespace {

const int timeoutLimit = 3;
// A request still in flight this long after Qt's own time-outs and retries
// would have ended it is one Qt waits on for ever (it stops timing a reply
// once a frame header has come).
const int watchdogMarginMs = 1000;
const char factoryIp[] = "192.168.0.254";

QString hexText(const QByteArray &data)
{
    return QString::fromLatin1(data.toHex().toUpper());
}

const QString notAnAnswerText = QStringLiteral(". Ответ не соответствует запросу");

// A reply in the packet log: its bytes, with the reason when it is no
// answer to the request. Bytes Qt could not take for a reply are not shown.
QString receivedText(const QModbusReply *reply, bool answers)
{
    const QModbusResponse response = reply->rawResult();
    if (!response.isValid())
        return QStringLiteral("RX: ") + modbusErrorText(reply);
    const QString bytes = QStringLiteral("RX: %1%2")
                              .arg(int(response.functionCode()) & 0x7F, 2, 16, QLatin1Char('0'))
                              .arg(hexText(response.data()));
    return answers ? bytes : bytes + notAnAnswerText;
}

} // namespace

const QMap<int, QString> LantrelDriver::modeLogPrefixes = {
    {LantrelDriver::MODE_ADDRESSING, QStringLiteral("ADR  ")},
    {LantrelDriver::MODE_MONITORING, QStringLiteral("MON  ")},
};

LantrelDriver::LantrelDriver(uint conn_type, QString address, int server_address, QObject *parent)
    : QObject(parent)
    , connectionType(conn_type)
    , address(address)
    , serverAddress(server_address)
    , savedServerAddress(server_address)
{
    if (connectionType == 0) {
        deviceIp = QHostAddress(this->address).toIPv4Address();
        savedDeviceIp = deviceIp;
    }

    // Every setting is read here, in the thread that owns appSettings.
    // How long a controller may stay busy before a request is given up.
    int busyTimeLimitMs = BusyWait::DefaultLimitMs;
    if (appSettings) {
        appSettings->sync();
        appSettings->beginGroup(QStringLiteral("Driver"));
        debugLogEnabled = appSettings->value(QStringLiteral("EnableDebugLog"), false).toBool();
        monitoringEnabled = appSettings->value(QStringLiteral("EnableMonitoring"), true).toBool();
        readEventsEnabled = appSettings->value(QStringLiteral("EnableReadEvents"), false).toBool();
        debugLogSize = appSettings->value(QStringLiteral("DebugLogSize"), qint64(5242880)).toLongLong();
        debugLogCount = appSettings->value(QStringLiteral("DebugLogCount"), 20).toInt();
        debugTimestamp = appSettings->value(QStringLiteral("DebugTimestamp"), true).toBool();
        timestampMSec = appSettings->value(QStringLiteral("TimestampMSec"), true).toBool();
        busyTimeLimitMs = qMax(0, appSettings->value(QStringLiteral("BusyTimeLimit"), int(BusyWait::DefaultLimitMs)).toInt());
        // 0: the transport's own
        responseTimeoutMs = qMax(0, appSettings->value(QStringLiteral("ResponseTimeout"), 0).toInt());
        appSettings->endGroup();
    }
    requestBusy.setLimitMs(busyTimeLimitMs);
    statusBusy.setLimitMs(busyTimeLimitMs);

    logBaseName = QCoreApplication::applicationName().toLower();
    // Without a data folder there is no place for logs (never the root).
    if (!appDataPath.isEmpty()) {
        logDir = appDataPath + QStringLiteral("/Logs");
        if ((debugLogEnabled || readEventsEnabled) && !QDir(logDir).exists())
            QDir().mkpath(logDir);
    }
}

LantrelDriver::~LantrelDriver()
{
    qDeleteAll(queue);
    queue.clear();
    // Normally released by stop(); a driver destroyed without it still frees
    // them, without handling the transport's last state changes.
    if (modbusDevice)
        modbusDevice->disconnect(this);
    delete modbusDevice;
    delete packetLog;
    delete eventLog;
    delete loopTimer;
    delete requestWatchdog;
}

void LantrelDriver::start()
{
    stopping = false;
    linkUp = false;
    linkRecovery = RecoveryNone;
    disconnectedEmitted = false;
    moduleCount = 0;
    ready = true;
    replyInFlight = nullptr;
    firstPass = true;
    driverMode = MODE_IDLE;
    linePolling = false;
    cycleDueMs = 0;
    moduleDataDueMs = 0;
    nextSendTime = 0;

    startTime = QDateTime::currentDateTime();
    clock.start();

    loopTimer = new QTimer;
    loopTimer->setSingleShot(true);
    loopTimer->setTimerType(Qt::PreciseTimer);
    loopTimer->setInterval(loopIntervalMs);
    connect(loopTimer, &QTimer::timeout, this, &LantrelDriver::mainLoopProc, Qt::QueuedConnection);
    connect(this, &LantrelDriver::finished, loopTimer, &QObject::deleteLater);

    requestWatchdog = new QTimer;
    requestWatchdog->setSingleShot(true);
    connect(requestWatchdog, &QTimer::timeout, this, &LantrelDriver::onRequestWatchdog);
    connect(this, &LantrelDriver::finished, requestWatchdog, &QObject::deleteLater);

    if (debugLogEnabled && !logDir.isEmpty()) {
        packetLog = new TextLogger(logBaseName + QStringLiteral("_debug.log"), logDir, 2,
                                   debugLogSize, debugLogCount);
        if (debugTimestamp)
            packetLog->setTimeFormat(timestampMSec ? QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz")
                                                   : QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        packetLog->setEnabled(true);
        connect(this, &LantrelDriver::capturedPacket, packetLog,
                QOverload<const QDateTime &, const QString &>::of(&TextLogger::write));
    }
    if (readEventsEnabled && !logDir.isEmpty()) {
        eventLog = new TextLogger(logBaseName + QStringLiteral("_events.log"), logDir, 2,
                                  debugLogSize, debugLogCount);
        eventLog->setEnabled(true);
        connect(this, &LantrelDriver::capturedEvent, eventLog,
                QOverload<const QString &>::of(&TextLogger::write));
    }

    if (connectionType == 0) {
        auto *tcp = new QModbusTcpClient;
        tcp->setConnectionParameter(QModbusDevice::NetworkAddressParameter, address);
        tcp->setConnectionParameter(QModbusDevice::NetworkPortParameter, 502);
        mbapCheck = new MbapHeaderCheck(tcp);
        modbusDevice = tcp;
    } else {
        auto *rtu = new QModbusRtuSerialMaster;
        rtu->setConnectionParameter(QModbusDevice::SerialPortNameParameter, address);
        rtu->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, QSerialPort::Baud115200);
        rtu->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
        rtu->setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
        rtu->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::TwoStop);
        modbusDevice = rtu;
    }
    modbusDevice->setNumberOfRetries(1);
    if (responseTimeoutMs > 0)
        modbusDevice->setTimeout(responseTimeoutMs);
    connect(modbusDevice, &QModbusDevice::stateChanged, this, &LantrelDriver::onDeviceStateChanged);
    connect(modbusDevice, &QModbusDevice::errorOccurred, this, &LantrelDriver::onDeviceErrorOccurred);

    QMetaObject::invokeMethod(this, "mainLoopProc", Qt::QueuedConnection);
    emit started();
    modbusDevice->connectDevice();
}

void LantrelDriver::stop()
{
    stopping = true;
    if (loopTimer) {
        if (loopTimer->isActive())
            loopTimer->stop();
        // Deleted later through the connection to finished().
        loopTimer = nullptr;
    }
    if (requestWatchdog) {
        requestWatchdog->stop();
        requestWatchdog = nullptr;
    }
    if (modbusDevice) {
        QModbusClient *device = modbusDevice;
        const QModbusDevice::State state = device->state();
        if (state == QModbusDevice::ConnectedState || state == QModbusDevice::ConnectingState) {
            device->disconnectDevice();
            // A socket with unsent bytes closes later, after we stop listening:
            // end the link here so that the queue fails and disconnected() comes.
            if (device->state() != QModbusDevice::UnconnectedState)
                onDeviceStateChanged(QModbusDevice::UnconnectedState);
        } else if (linkRecovery != RecoveryNone) {
            // Between the drop and the new connection: the link was up.
            onDeviceStateChanged(QModbusDevice::UnconnectedState);
        }
        // The reply in flight dies with the transport: no decoding after that.
        if (replyInFlight) {
            replyInFlight->disconnect(this);
            replyInFlight = nullptr;
        }
        modbusDevice = nullptr;
        mbapCheck = nullptr;    // a child of the transport
        device->disconnect(this);
        device->deleteLater();
    }
    for (TextLogger **log : {&packetLog, &eventLog}) {
        if (*log) {
            if ((*log)->isOpen())
                (*log)->setEnabled(false);
            delete *log;
            *log = nullptr;
        }
    }
    clock.invalidate();
    emit finished();
}

void LantrelDriver::mainLoopProc()
{
    if (stopping)
        return;
    serveLink();
    if (loopTimer && !stopping)
        loopTimer->start();
}

void LantrelDriver::serveLink()
{
    const qint64 now = clock.elapsed();

    if (reconnectPending && now >= nextSendTime) {
        reconnectPending = false;
        nextSendTime = 0;
        if (factoryReconnectPending) {
            if (serverAddress != 1) {
                serverAddress = 1;
                emit deviceAddressChanged(1);
            }
            savedServerAddress = serverAddress;
            // The factory address is the saved one: nothing left to take back.
            addressChangePending = false;
            factoryReconnectPending = false;
        }
        disconnectedEmitted = false;
        if (modbusDevice)
            modbusDevice->connectDevice();
    } else if (linkRecovery == RecoveryReconnect) {
        linkRecovery = RecoveryConnecting;
        if (modbusDevice)
            modbusDevice->connectDevice();
    } else if (linkUp && ready && !reconnectPending) {
        if (firstPass) {
            firstPass = false;
            if (driverMode == MODE_IDLE)
                driverMode = MODE_CONNECTING;
            getControllerInfo();
            getControllerClock();
        }
        if (!queue.isEmpty()) {
            if (driverMode != MODE_CONNECTING)
                driverMode = MODE_QUEUE;
            if (now >= nextSendTime) {
                nextSendTime = 0;
                sendNextRequest();
            }
        } else if (addressingMode) {
            if (driverMode != MODE_ADDRESSING) {
                driverMode = MODE_ADDRESSING;
                addressingStep = 0;
                if (moduleDataDueMs == 0)
                    moduleDataDueMs = now;
                cycleDueMs = 0;
                if (useMagneticSensor && now >= moduleDataDueMs)
                    sendAddressModeRequest();
            } else if (now >= moduleDataDueMs) {
                addressingStep = 0;
                cycleDueMs = 0;
                if (useMagneticSensor)
                    sendAddressModeRequest();
            } else if (useMagneticSensor && addressingStep == 1 && now >= cycleDueMs) {
                sendAddressModeRequest();
            }
        } else if (monitoringEnabled && now >= cycleDueMs) {
            if (driverMode != MODE_MONITORING) {
                if (cycleDueMs == 0)
                    cycleDueMs = now;
                if (moduleDataDueMs == 0)
                    moduleDataDueMs = now;
                driverMode = MODE_MONITORING;
                monitorState = readEventsEnabled ? 0 : 2;
            }
            sendMonitoringRequest();
        }
    }
}

void LantrelDriver::enqueue(int kind, int function_code, const QByteArray &payload, quint16 tag,
                            qint16 expected, quint16 group_index, quint16 group_size)
{
    auto *request = new DriverRequest;
    request->kind = kind;
    request->functionCode = function_code;
    request->payload = payload;
    request->tag = tag;
    request->expected = expected;
    request->groupIndex = group_index;
    request->groupSize = group_size;
    queue.append(request);
}

void LantrelDriver::sendNextRequest()
{
    if (!ready || queue.isEmpty())
        return;
    DriverRequest *head = queue.first();
    if (head->kind == REQ_CLOCK_WRITE)
        head->payload = clockWritePayload();
    QModbusReply *reply = sendRequest(head->functionCode, head->payload);
    // A refusal may have closed the link and failed the queue meanwhile.
    if (queue.isEmpty() || queue.first() != head)
        return;
    head->reply = reply;
    if (!reply) {
        // Nothing will answer this request: end it like a failed one.
        finishRequest(nullptr, true);
    }
}

QModbusReply *LantrelDriver::sendRequest(int function_code, const QByteArray &payload)
{
    const QString prefix = debugLogEnabled ? modePrefix() : QString();
    QModbusReply *reply = nullptr;
    if (modbusDevice) {
        const QModbusRequest request(QModbusPdu::FunctionCode(function_code), payload);
        reply = modbusDevice->sendRawRequest(request, serverAddress);
    }

    if (debugLogEnabled) {
        QString text = QStringLiteral("TX: %1%2").arg(function_code, 2, 16, QLatin1Char('0')).arg(hexText(payload));
        if (!reply) {
            const bool linked = modbusDevice && modbusDevice->state() == QModbusDevice::ConnectedState;
            text += linked ? QStringLiteral(". Запрос не отправлен: некорректный запрос Modbus")
                           : QStringLiteral(". Запрос не отправлен: нет соединения");
        }
        emit capturedPacket(packetTime(clock.isValid() ? clock.elapsed() : 0), prefix + text);
    }

    if (!reply) {
        ready = true;
        return nullptr;
    }
    if (reply->isFinished()) {
        // Nothing comes back (a broadcast, or an error set at once).
        ready = true;
        reply->deleteLater();
        return nullptr;
    }
    ready = false;
    replyInFlight = reply;
    sentFunction = function_code;
    sentPayload = payload;
    if (mbapCheck)
        mbapCheck->expect(serverAddress);
    connect(reply, &QModbusReply::finished, this, &LantrelDriver::decodeModbusResponse,
            Qt::QueuedConnection);
    if (requestWatchdog) {
        const int retries = modbusDevice->numberOfRetries();
        requestWatchdog->start(modbusDevice->timeout() * (retries + 1) + watchdogMarginMs);
    }
    return reply;
}

void LantrelDriver::decodeModbusResponse()
{
    auto *reply = qobject_cast<QModbusReply *>(sender());
    if (!reply)
        return;
    if (stopping || reply != replyInFlight) {
        reply->deleteLater();
        return;
    }
    if (requestWatchdog)
        requestWatchdog->stop();

    const qint64 now = clock.elapsed();
    bool limitReached = false;
    bool brokenAnswers = false;
    const QString prefix = debugLogEnabled ? modePrefix() : QString();
    QString text;
    const QModbusResponse response = reply->rawResult();
    QModbusDevice::Error error = reply->error();
    // An exception reply without its code is one still, though Qt's TCP
    // client drops it as invalid.
    const bool noCodeException = error == QModbusDevice::UnknownError && !response.isValid() && mbapCheck
                                 && mbapCheck->lastPdu() == QByteArray(1, char(quint8(sentFunction | 0x80)));
    if (noCodeException)
        error = QModbusDevice::ProtocolError;

    switch (error) {
    case QModbusDevice::NoError:
    case QModbusDevice::UnknownError: {
        const bool answers = replyAnswersRequest(reply);
        if (debugLogEnabled)
            text = prefix + receivedText(reply, answers);
        if (!answers) {
            brokenAnswers = rejectReply(reply, now);
        } else {
            timeoutCount = 0;
            if (driverMode == MODE_ADDRESSING) {
                decodeAddressModeReply(reply, now);
            } else if (driverMode == MODE_MONITORING) {
                monitorRejects = 0;
                decodeMonitoringReply(reply, now);
            } else {
                requestBusy.reset();
                decodeQueuedReply(reply, now);
            }
        }
        break;
    }

    case QModbusDevice::ProtocolError: {
        const int code = modbusExceptionCode(response);
        // An exception for another function or unit is no answer either.
        const bool matches = noCodeException ? mbapCheck->framesMatch() : replyMatchesRequestFrame(response);
        if (debugLogEnabled)
            text = prefix + QStringLiteral("RX: ") + (code < 0 ? modbusExceptionCodeText(code) : modbusErrorText(reply))
                   + (matches ? QString() : notAnAnswerText);
        if (!matches) {
            brokenAnswers = rejectReply(reply, now);
        } else if (driverMode == MODE_ADDRESSING) {
            deferAddressingPoll(now);
        } else if (driverMode == MODE_MONITORING) {
            abandonMonitoringCycle(now, code);
        } else if (!BusyWait::retryable(code)) {
            failureReason = refusedText(code, headWhat());
            finishRequest(reply, true);
        } else if (requestBusy.tooLong(now) || headStopped) {
            // The controller answers but stays busy: give the operation up.
            if (headStopped) {
                failureReason = QStringLiteral("передача остановлена");
            } else {
                failureReason = givenUpText(code, headWhat());
                emit writeToLog(failureReason);
                failedBusy = true;
            }
            finishRequest(reply, true);
            failedBusy = false;
        } else {
            // now is truncated to whole milliseconds: one more keeps the gap.
            nextSendTime = now + BusyWait::RetryDelayMs + 1;
        }
        break;
    }

    default:
        if (debugLogEnabled)
            text = prefix + QStringLiteral("RX: ") + modbusErrorText(reply);
        if (error == QModbusDevice::TimeoutError) {
            limitReached = countTimeout(reply);
            // A stopped transfer is not sent again.
            if (!limitReached && headStopped && driverMode == MODE_QUEUE) {
                failureReason = QStringLiteral("передача остановлена");
                finishRequest(reply, true);
            }
        } else if (driverMode == MODE_QUEUE || driverMode == MODE_CONNECTING) {
            failureReason = modbusErrorText(reply);
            finishRequest(reply, true);
        }
        break;
    }

    ready = true;
    replyInFlight = nullptr;
    if (!text.isEmpty())
        emit capturedPacket(packetTime(now), text);
    reply->deleteLater();
    if (brokenAnswers)
        closeLinkOnBrokenAnswers();
    else
        closeLinkIfDue(limitReached);
    // The next request goes out now, not at the next pass of the loop.
    if (!limitReached && !brokenAnswers && !stopping)
        serveLink();
}

bool LantrelDriver::replyMatchesRequestFrame(const QModbusResponse &response) const
{
    return int(response.functionCode()) == sentFunction && (!mbapCheck || mbapCheck->framesMatch());
}

bool LantrelDriver::replyAnswersRequest(const QModbusReply *reply) const
{
    const QModbusResponse response = reply->rawResult();
    if (response.isException() || !replyMatchesRequestFrame(response))
        return false;
    // Qt checks only the functions it knows and hands valid replies of the
    // others (7, 20, 21) over as unknown errors: those are checked here.
    if (reply->error() == QModbusDevice::UnknownError && sentFunction != 7 && sentFunction != 20
        && sentFunction != 21)
        return false;
    return ModbusReplyCheck::answers(sentFunction, sentPayload, response.data(), partialRecordSize());
}

bool LantrelDriver::rejectReply(QModbusReply *reply, qint64 now)
{
    if (driverMode == MODE_ADDRESSING)
        deferAddressingPoll(now);
    else if (driverMode == MODE_MONITORING)
        return rejectMonitoringReply(now);
    else {
        failureReason = queue.isEmpty() || queue.first()->kind != REQ_CONTROLLER_INFO
                            ? QStringLiteral("ответ ЦУ-Л не соответствует запросу")
                            : QStringLiteral("Ответ устройства не соответствует запросу идентификации ЦУ-Л");
        finishRequest(reply, true);
    }
    return false;
}

bool LantrelDriver::countTimeout(QModbusReply *reply)
{
    if (addressChangePending) {
        // The controller may not answer on its new address: go back.
        // An unsaved IPv4 change stays until the next restart.
        addressChangePending = false;
        serverAddress = savedServerAddress;
        emit deviceAddressChanged(serverAddress);
        return false;
    }
    if (++timeoutCount < timeoutLimit)
        return false;
    auto giveUp = [this]() {
        if (!modbusDevice)
            return;
        emit writeToLog(QStringLiteral("Устройство не отвечает на запросы, превышен допустимый лимит повторов"));
        emit linkError(QStringLiteral("Устройство не отвечает на запросы"));
    };
    // The reason goes out before the failure it causes: whoever waits for
    // the failed operation knows by then that the link is going. A failed
    // identification names its own reason first.
    const bool connecting = driverMode == MODE_CONNECTING;
    if (!connecting)
        giveUp();
    if (driverMode == MODE_QUEUE || connecting) {
        if (!queue.isEmpty() && queue.first()->kind != REQ_CONTROLLER_INFO)
            failureReason = QStringLiteral("ЦУ-Л не ответил на запрос");
        finishRequest(reply, true);
    }
    if (connecting)
        giveUp();
    return true;
}

void LantrelDriver::closeLinkIfDue(bool limitReached)
{
    if (!modbusDevice)
        return;
    if (limitReached) {
        modbusDevice->disconnectDevice();
    } else if (reconnectPending) {
        emit writeToLog(QStringLiteral("Выполняется перезапуск ЦУ-Л"));
        modbusDevice->disconnectDevice();
    }
}

void LantrelDriver::closeLinkOnBrokenAnswers()
{
    if (!modbusDevice)
        return;
    emit writeToLog(QStringLiteral("Ответы ЦУ-Л на запросы опроса не соответствуют запросам, "
                                   "превышен допустимый лимит повторов"));
    emit linkError(QStringLiteral("Ответы ЦУ-Л на запросы опроса не соответствуют запросам"));
    modbusDevice->disconnectDevice();
}

void LantrelDriver::onRequestWatchdog()
{
    QModbusReply *reply = replyInFlight;
    // A reply that finished is on its way to decodeModbusResponse.
    if (stopping || !reply || reply->isFinished())
        return;
    replyInFlight = nullptr;
    reply->disconnect(this);
    const qint64 now = clock.elapsed();
    if (debugLogEnabled)
        emit capturedPacket(packetTime(now), modePrefix() + QStringLiteral("RX: Ответ получен не полностью"));
    const bool limitReached = countTimeout(reply);
    reply->deleteLater();
    ready = true;
    if (limitReached || reconnectPending) {
        closeLinkIfDue(limitReached);
        return;
    }
    emit writeToLog(QStringLiteral("Ответ ЦУ-Л не получен полностью, соединение восстанавливается"));
    recoverLink();
}

void LantrelDriver::recoverLink()
{
    if (!modbusDevice)
        return;
    linkRecovery = RecoveryDropping;
    modbusDevice->disconnectDevice();
}

void LantrelDriver::finishRequest(QModbusReply *reply, bool failed)
{
    if (queue.isEmpty())
        return;
    DriverRequest *head = queue.first();
    // A reply that does not belong to the head item changes nothing.
    if (reply && head->reply != reply)
        return;

    const int kind = head->kind;
    const quint16 tag = head->tag;
    const qint16 expected = head->expected;
    const int rest = int(head->groupSize) - int(head->groupIndex);
    queue.removeFirst();
    delete head;
    requestBusy.reset();
    headStopped = false;

    if (failed) {
        pollRetryCount = 0;
        for (int i = 0; i < rest && !queue.isEmpty(); ++i)
            delete queue.takeFirst();
    }
    const bool busy = failed && failedBusy;
    QString reason;
    std::swap(reason, failureReason);
    if (failed && isTransferKind(kind))
        emit requestFailed(reason.isEmpty() ? QStringLiteral("нет связи с ЦУ-Л") : reason, busy);
    if (kind == REQ_CONTROLLER_INFO && failed && driverMode == MODE_CONNECTING && linkUp) {
        // Without the controller's identity the connection attempt is over;
        // nobody would announce it otherwise. Ended once this reply is done.
        failConnection(!reason.isEmpty() ? reason
                                         : QStringLiteral("Устройство не ответило на запрос идентификации ЦУ-Л"));
        return;
    }
    announceEnd(kind, tag, expected, failed);
    // A controller that stays busy is not asked for the rest of the task.
    if (busy && isTransferKind(kind))
        dropQueuedTransfers(QStringLiteral("%1, запрос не отправлен").arg(busyText()), true);
}

void LantrelDriver::announceEnd(int kind, quint16 tag, qint16 expected, bool failed)
{
    const bool ok = !failed;
    switch (kind) {
    case REQ_CONTROLLER_CONFIG:
    case REQ_NETWORK_CONFIG:
    case REQ_LINE_CONFIG:
    case REQ_SENSORS_CONFIG:
    case REQ_IO_MODULES_CONFIG:
    case REQ_SCP_MODULES_CONFIG:
    case REQ_RELAY_MODULES_CONFIG:
    case REQ_PROCESSING_CONFIG:
    case REQ_INTERACTIONS_CONFIG:
    case REQ_MODULES_FW_VERSION:
    case REQ_MODULES_SUPPLY_VOLTAGE:
        emit readCompleted(ok);
        break;
    case REQ_SET_CONTROLLER_CONFIG:
    case REQ_SET_LINE_CONFIG:
    case REQ_SET_SENSORS_CONFIG:
    case REQ_SET_IO_MODULES_CONFIG:
    case REQ_SET_SCP_MODULES_CONFIG:
    case REQ_SET_RELAY_MODULES_CONFIG:
    case REQ_SET_RELAY_MODULES_COUNT:
    case REQ_SET_PROCESSING_CONFIG:
    case REQ_SET_INTERACTIONS_CONFIG:
        emit writeCompleted(ok);
        break;
    case REQ_LINE_STATUS:
        // The caller of stopLinePolling waits for an answer in any case.
        if (failed)
            endLinePollStop(false);
        break;
    case REQ_CMD_WAIT_READY:
    case REQ_CMD_WRITE:
    case REQ_CMD_POLL:
        if (!failed)
            break;
        if (kind == REQ_CMD_WAIT_READY && tag >= 128 && tag <= 132) {
            switch (tag) {
            case 128: emit linePollStopped(false); break;
            case 129: emit rebootCompleted(false); break;
            case 130: emit setDefaultsCompleted(false); break;
            case 132: emit eraseFlashCompleted(false); break;
            default: break;
            }
        } else if (tag == LantrelProtocol::REP_ID_SECT || tag == LantrelProtocol::WR_ADDR_SECT
                   || tag == LantrelProtocol::CMD_EN_RID_ID) {
            addressJobPending = false;
            emit writeToLog(QStringLiteral("Команда %1 не выполнена").arg(cmdCodeName(tag)));
            emit moduleAddressChanged(false);
        } else {
            emit commandCompleted(tag, false);
        }
        break;
    case REQ_COIL_READ:
    case REQ_COIL_WRITE:
        if (!failed)
            break;
        switch (tag) {
        case 1: emit linePollStopped(false); break;
        case 2: emit rebootCompleted(false); break;
        case 3: emit setDefaultsCompleted(false); break;
        case 5: emit eraseFlashCompleted(false); break;
        default: break;
        }
        break;
    case REQ_FOUND_MODULE_READ:
        // expected 1: a module search that owes its caller an answer
        if (failed && (addressJobPending || expected == 1)) {
            addressJobPending = false;
            emit moduleAddressChanged(false);
        }
        break;
    case REQ_FIRMWARE_CHUNK:
        if (failed)
            emit firmwareUploadCompleted(false);
        break;
    case REQ_SET_CONTROLLER_SERIAL:
        if (failed)
            emit commandCompleted(LantrelProtocol::SET_CTRL_SERIAL, false);
        break;
    default:
        break;
    }
}

bool LantrelDriver::isTransferKind(int kind)
{
    return kind >= REQ_CONTROLLER_CONFIG && kind <= REQ_SET_INTERACTIONS_CONFIG;
}

void LantrelDriver::dropQueuedTransfers(const QString &reason, bool busy)
{
    for (int i = 0; i < queue.size();) {
        DriverRequest *item = queue.at(i);
        // The one on the wire ends with its answer.
        const bool onWire = i == 0 && replyInFlight && item->reply == replyInFlight;
        if (!isTransferKind(item->kind) || onWire) {
            ++i;
            continue;
        }
        if (i == 0) {
            requestBusy.reset();
            headStopped = false;
        }
        const int kind = item->kind;
        queue.removeAt(i);
        delete item;
        emit requestFailed(reason, busy);
        announceEnd(kind, 0, -1, true);
    }
}

void LantrelDriver::stopConfigTransfers()
{
    if (!queue.isEmpty() && replyInFlight && queue.first()->reply == replyInFlight
        && isTransferKind(queue.first()->kind))
        headStopped = true;
    dropQueuedTransfers(QStringLiteral("передача остановлена"), false);
}

void LantrelDriver::onDeviceStateChanged(QModbusDevice::State state)
{
    const bool tcp = connectionType == 0;
    switch (state) {
    case QModbusDevice::ConnectingState:
        if (tcp)
            emit writeToLog(QStringLiteral("Устанавливается соединение с хостом %1").arg(address));
        break;

    case QModbusDevice::ConnectedState:
        if (linkUp)
            break;
        linkUp = true;
        disconnectedEmitted = false;
        if (linkRecovery != RecoveryNone) {
            // The same link again, only without the half-read frame: the
            // time-outs that led here still count.
            linkRecovery = RecoveryNone;
            break;
        }
        timeoutCount = 0;
        monitorRejects = 0;
        statusBusy.reset();
        if (firstPass) {
            driverMode = MODE_CONNECTING;
            emit writeToLog(tcp ? QStringLiteral("Установлено соединение с хостом %1").arg(address)
                                : QStringLiteral("Подключен к коммуникационному порту %1").arg(address));
        }
        if (tcp) {
            emit deviceIpChanged(deviceIp);
            savedDeviceIp = deviceIp;
        }
        break;

    case QModbusDevice::ClosingState:
        if (!linkUp && !reconnectPending && !disconnectedEmitted) {
            disconnectedEmitted = true;
            emit disconnected();
        }
        break;

    case QModbusDevice::UnconnectedState:
        if (reconnectPending) {
            // The controller restarts: reconnect silently at nextSendTime.
            if (tcp) {
                if (ipChangePending) {
                    ipChangePending = false;
                    deviceIp = savedDeviceIp;
                }
                if (factoryReconnectPending)
                    deviceIp = QHostAddress(QString::fromLatin1(factoryIp)).toIPv4Address();
                address = QHostAddress(deviceIp).toString();
                if (modbusDevice)
                    modbusDevice->setConnectionParameter(QModbusDevice::NetworkAddressParameter, address);
            }
            linkUp = false;
            break;
        }
        if (linkRecovery == RecoveryDropping && !stopping) {
            // Dropped on purpose; the loop connects again.
            linkUp = false;
            linkRecovery = RecoveryReconnect;
            break;
        }
        {
            const bool wasUp = linkUp || linkRecovery != RecoveryNone;
            linkRecovery = RecoveryNone;
            const QString what = !wasUp ? QStringLiteral("Не удалось установить")
                                 : stopping ? QStringLiteral("Завершено")
                                            : QStringLiteral("Прервано");
            const QString where = tcp ? QStringLiteral("соединение с хостом")
                                      : QStringLiteral("подключение к коммуникационному порту");
            emit writeToLog(QStringLiteral("%1 %2 %3").arg(what, where, address));
            if (wasUp) {
                while (!queue.isEmpty())
                    finishRequest(nullptr, true);
            }
            if (!disconnectedEmitted) {
                disconnectedEmitted = true;
                emit disconnected();
            }
            linkUp = false;
            if (!stopping)
                QMetaObject::invokeMethod(this, "stop", Qt::QueuedConnection);
        }
        break;
    }
}

void LantrelDriver::onDeviceErrorOccurred(QModbusDevice::Error error)
{
    if (error == QModbusDevice::NoError)
        return;
    const QString errorText = modbusDevice ? modbusErrorText(error, modbusDevice->errorString()) : QString();
    emit writeToLog(QStringLiteral("Ошибка связи с ЦУ-Л. Код ошибки %1. %2").arg(int(error)).arg(errorText));
    if (error == QModbusDevice::ConnectionError) {
        emit writeToLog(QStringLiteral("Ошибка соединения с ЦУ-Л"));
        emit linkError(transportErrorText());
        if (modbusDevice)
            modbusDevice->disconnectDevice();
    }
}

QString LantrelDriver::transportErrorText() const
{
    // Qt's Modbus clients own their transport; its error says what happened.
    if (connectionType == 0) {
        const auto *socket = modbusDevice ? modbusDevice->findChild<QAbstractSocket *>() : nullptr;
        switch (socket ? socket->error() : QAbstractSocket::UnknownSocketError) {
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("Хост %1 отклонил соединение: на порту 502 нет службы Modbus TCP").arg(address);
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral("Хост %1 не найден").arg(address);
        case QAbstractSocket::NetworkError:
            return QStringLiteral("Хост %1 недоступен: нет маршрута в сети").arg(address);
        case QAbstractSocket::SocketTimeoutError:
            return QStringLiteral("Хост %1 не отвечает").arg(address);
        case QAbstractSocket::RemoteHostClosedError:
            return QStringLiteral("Хост %1 закрыл соединение").arg(address);
        default:
            return QStringLiteral("Ошибка соединения с хостом %1: %2")
                .arg(address, socket ? systemErrorText(socket->errorString())
                                     : modbusErrorText(QModbusDevice::ConnectionError, modbusDevice->errorString()));
        }
    }
    const auto *port = modbusDevice ? modbusDevice->findChild<QSerialPort *>() : nullptr;
    switch (port ? port->error() : QSerialPort::UnknownError) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("Коммуникационный порт %1 не найден").arg(address);
    case QSerialPort::PermissionError:
        return QStringLiteral("Нет доступа к коммуникационному порту %1: он занят другой программой "
                              "или недостаточно прав")
            .arg(address);
    case QSerialPort::ResourceError:
        return QStringLiteral("Коммуникационный порт %1 недоступен (устройство отключено)").arg(address);
    default:
        return QStringLiteral("Ошибка коммуникационного порта %1: %2")
            .arg(address, port ? systemErrorText(port->errorString())
                               : modbusErrorText(QModbusDevice::ConnectionError, modbusDevice->errorString()));
    }
}

void LantrelDriver::failConnection(const QString &reason)
{
    if (stopping)
        return;
    emit writeToLog(QStringLiteral("Подключение к ЦУ-Л не выполнено: %1").arg(reason));
    emit linkError(reason);
    // Nothing more goes out once the attempt is given up.
    stopping = true;
    QMetaObject::invokeMethod(this, "stop", Qt::QueuedConnection);
}

QString LantrelDriver::busyText()
{
    return BusyWait::busyText(QStringLiteral("ЦУ-Л"));
}

QString LantrelDriver::givenUpText(int code, const QString &what) const
{
    if (code < 0 || BusyWait::busyCode(code))
        return requestBusy.giveUpText(QStringLiteral("ЦУ-Л"), what);
    return QStringLiteral("ЦУ-Л отвечает исключением «%1»: %2 не выполнен за %3 с")
        .arg(modbusExceptionCodeText(code), what, requestBusy.limitText());
}

QString LantrelDriver::headWhat() const
{
    return !queue.isEmpty() && queue.first()->kind == REQ_CONTROLLER_INFO ? QStringLiteral("запрос идентификации")
                                                                         : QStringLiteral("запрос");
}

QString LantrelDriver::refusedText(int code, const QString &what)
{
    return QStringLiteral("ЦУ-Л отклонил %1: %2").arg(what, modbusExceptionCodeText(code));
}

QString LantrelDriver::modePrefix() const
{
    return modeLogPrefixes.value(driverMode, QStringLiteral("CMD  "));
}

QDateTime LantrelDriver::packetTime(qint64 now) const
{
    return startTime.addMSecs(now);
}

QString LantrelDriver::cmdCodeName(int code) const
{
    const QMetaEnum me = QMetaEnum::fromType<LantrelProtocol::Cmd_Code_t>();
    return QString::fromLatin1(me.valueToKey(code));
}

QByteArray LantrelDriver::readRegistersPayload(quint16 start, quint16 count)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << start << count;
    return payload;
}

QByteArray LantrelDriver::writeRegisterPayload(quint16 reg, quint16 value)
{
    return readRegistersPayload(reg, value);
}

QByteArray LantrelDriver::readFilePayload(quint16 file_no, quint16 record, quint16 length)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << quint8(7) << quint8(6) << file_no << record << length;
    return payload;
}

QByteArray LantrelDriver::replyData(QModbusReply *reply)
{
    return reply ? reply->rawResult().data() : QByteArray();
}

quint16 LantrelDriver::registerAt(const QByteArray &data, int index)
{
    // data[0] is the byte count of a function 3 reply
    const int pos = 1 + 2 * index;
    if (pos + 1 >= data.size())
        return 0;
    return quint16((quint8(data.at(pos)) << 8) | quint8(data.at(pos + 1)));
}

QVector<quint16> LantrelDriver::recordValues(const QByteArray &data, int max_values)
{
    // data[0..2]: byte count, sub-response length, reference type
    QVector<quint16> values;
    const int count = qMin(max_values, qMax(0, (data.size() - 3) / 2));
    values.reserve(qMax(0, count));
    for (int i = 0; i < count; ++i) {
        const int pos = 3 + 2 * i;
        values.append(quint16(quint8(data.at(pos)) | (quint8(data.at(pos + 1)) << 8)));
    }
    return values;
}
