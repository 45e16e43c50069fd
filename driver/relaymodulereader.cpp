#include "relaymodulereader.h"

#include "mbapheadercheck.h"
#include "modbuserrortext.h"
#include "modbusreplycheck.h"

#include <QDataStream>
#include <QHostAddress>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QTimer>
#include <QVariant>

namespace {
constexpr int ModbusPort = 502;
constexpr int FirstServerAddress = 49;
constexpr int IdentityRegisters = 21;
constexpr quint16 RelayModuleCode = 2;
constexpr int TimeoutMs = 1000;
constexpr int Retries = 2;
// Beyond Qt's own time-outs and retries: a frame Qt waits on for ever.
constexpr int WatchdogMs = TimeoutMs * (Retries + 1) + 1000;

QByteArray readPayload(quint16 start, quint16 count)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << start << count;
    return payload;
}

quint16 registerAt(const QByteArray &data, int reg)
{
    // Register 1 follows the byte count.
    const int offset = 1 + (reg - 1) * 2;
    return quint16((quint8(data.at(offset)) << 8) | quint8(data.at(offset + 1)));
}
}

RelayModuleReader::RelayModuleReader(QString ip_addr, QObject *parent)
    : QObject(parent)
    , serverAddress(FirstServerAddress)
    , ip(std::move(ip_addr))
{
    modbusClient = new QModbusTcpClient(this);
    connect(modbusClient, &QModbusDevice::stateChanged, this, &RelayModuleReader::onModbusClientStateChanged);
    modbusClient->setConnectionParameter(QModbusDevice::NetworkAddressParameter, ip);
    modbusClient->setConnectionParameter(QModbusDevice::NetworkPortParameter, ModbusPort);
    modbusClient->setTimeout(TimeoutMs);
    modbusClient->setNumberOfRetries(Retries);
    mbapCheck = new MbapHeaderCheck(modbusClient);
    requestWatchdog = new QTimer(this);
    requestWatchdog->setSingleShot(true);
    requestWatchdog->setInterval(WatchdogMs);
    connect(requestWatchdog, &QTimer::timeout, this, &RelayModuleReader::onRequestWatchdog);
}

RelayModuleReader::~RelayModuleReader()
{
    // The owner is gone: nobody waits for the answers any more.
    disconnect(modbusClient, nullptr, this, nullptr);
}

void RelayModuleReader::getControllerInfo()
{
    completed = false;
    queue.append({ReaderRequest::READ_IDENTITY, 3, readPayload(1, IdentityRegisters)});
    if (linkUp)
        QMetaObject::invokeMethod(this, "sendCommand", Qt::QueuedConnection);
    else
        modbusClient->connectDevice();
}

void RelayModuleReader::onModbusClientStateChanged(QModbusDevice::State state)
{
    if (state == QModbusDevice::UnconnectedState) {
        if (!linkUp) {
            queue.clear();
            if (!completed) {
                fail(QStringLiteral("Не удалось подключиться к ЖН-Т %1").arg(ip));
                complete(false, errorText);
            }
        } else if (!queue.isEmpty()) {
            // The link went down under a request: the probe ends here.
            queue.clear();
            ready = true;
            replyInFlight = nullptr;
            requestWatchdog->stop();
            if (!failed)
                fail(QStringLiteral("Ошибка выполнения запроса к ЖН-Т %1. %2").arg(ip, modbusErrorText(modbusClient->error(), modbusClient->errorString())));
            complete(false, errorText);
        }
        linkUp = false;
    } else if (state == QModbusDevice::ConnectedState) {
        if (!linkUp) {
            failed = false;
            errorText.clear();
            QMetaObject::invokeMethod(this, "sendCommand", Qt::QueuedConnection);
        }
        linkUp = true;
    }
}

void RelayModuleReader::sendCommand()
{
    if (!ready)
        return;
    if (queue.isEmpty()) {
        complete(!failed, errorText);
        if (linkUp)
            modbusClient->disconnectDevice();
        return;
    }
    const ReaderRequest head = queue.first();
    if (!sendRequest(head.functionCode, head.payload)) {
        popRequest();
        QMetaObject::invokeMethod(this, "sendCommand", Qt::QueuedConnection);
    }
}

QModbusReply *RelayModuleReader::sendRequest(int function_code, const QByteArray &payload)
{
    QModbusReply *reply = modbusClient->sendRawRequest(
        QModbusRequest(QModbusPdu::FunctionCode(function_code), payload), serverAddress);
    if (!reply) {
        ready = true;
        fail(QStringLiteral("Ошибка отправки: некорректно сформированный запрос"),
             QStringLiteral("Ошибка отправки запроса к ЖН-Т %1: некорректно сформированный запрос").arg(ip));
        return nullptr;
    }
    ready = false;
    replyInFlight = reply;
    mbapCheck->expect(serverAddress);
    requestWatchdog->start();
    // A reply that is finished already is decoded like any other.
    if (reply->isFinished())
        QMetaObject::invokeMethod(this, [this, reply]() { handleReply(reply); }, Qt::QueuedConnection);
    else
        connect(reply, &QModbusReply::finished, this, &RelayModuleReader::decodeModbusResponse, Qt::QueuedConnection);
    return reply;
}

void RelayModuleReader::decodeModbusResponse()
{
    if (auto *reply = qobject_cast<QModbusReply *>(sender()))
        handleReply(reply);
}

void RelayModuleReader::handleReply(QModbusReply *reply)
{
    if (reply != replyInFlight) {
        reply->deleteLater();   // given up already
        return;
    }
    replyInFlight = nullptr;
    requestWatchdog->stop();
    if (reply->error() == QModbusDevice::ProtocolError) {
        const int code = modbusExceptionCode(reply->rawResult());
        if (!clock.isValid())
            clock.start();
        const bool retry = BusyWait::retryable(code);
        if (retry && !busyWait.tooLong(clock.elapsed())) {
            // The same request again after the spacing.
            ready = true;
            reply->deleteLater();
            QTimer::singleShot(BusyWait::RetryDelayMs + 1, Qt::PreciseTimer, this, &RelayModuleReader::sendCommand);
            return;
        }
        const int shown = code < 0 ? 255 : code;
        failRequest(QStringLiteral("%1 (MODBUS код 0x%2)")
                        .arg(retry ? busyWait.giveUpText(QStringLiteral("ЖН-Т")) : modbusExceptionText(shown))
                        .arg(shown, 2, 16, QLatin1Char('0')));
    } else if (reply->error() != QModbusDevice::NoError) {
        failRequest(modbusErrorText(reply));
    } else if (!answersHead(reply)) {
        failRequest(QStringLiteral("Ответ устройства не соответствует запросу"));
    } else {
        busyWait.reset();
        decodeReply(reply);
        popRequest();
    }
    ready = true;
    reply->deleteLater();
    QMetaObject::invokeMethod(this, "sendCommand", Qt::QueuedConnection);
}

bool RelayModuleReader::answersHead(const QModbusReply *reply) const
{
    if (queue.isEmpty())
        return false;
    const ReaderRequest &head = queue.first();
    const QModbusResponse response = reply->rawResult();
    return !response.isException() && int(response.functionCode()) == head.functionCode
           && mbapCheck->framesMatch()
           && ModbusReplyCheck::answers(head.functionCode, head.payload, response.data());
}

void RelayModuleReader::failRequest(const QString &reason)
{
    fail(QStringLiteral("Ошибка выполнения запроса к ЖН-Т %1. %2").arg(ip, reason));
    queue.clear();
}

void RelayModuleReader::onRequestWatchdog()
{
    QModbusReply *reply = replyInFlight;
    if (!reply || reply->isFinished())
        return;   // its answer is on the way
    replyInFlight = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
    failRequest(QStringLiteral("Ответ устройства не получен полностью"));
    ready = true;
    QMetaObject::invokeMethod(this, "sendCommand", Qt::QueuedConnection);
}

void RelayModuleReader::decodeReply(QModbusReply *reply)
{
    if (queue.isEmpty())
        return;
    // The reply has the shape of the request (answersHead).
    const QByteArray data = reply->rawResult().data();
    const quint8 kind = queue.first().kind;

    if (kind == ReaderRequest::READ_IDENTITY) {
        const quint16 address = registerAt(data, 1);
        const quint16 code = registerAt(data, 5);
        const quint32 configured = (quint32(registerAt(data, 18) & 0xFF) << 24)
                                   | (quint32(registerAt(data, 19) & 0xFF) << 16)
                                   | (quint32(registerAt(data, 20) & 0xFF) << 8)
                                   | quint32(registerAt(data, 21) & 0xFF);
        bool ok = false;
        const quint32 probed = QHostAddress(ip).toIPv4Address(&ok);
        if (ok && configured == probed && code == RelayModuleCode) {
            serverAddress = quint8(address & 0xFF);
            queue.append({ReaderRequest::READ_INPUT, 2, readPayload(2, 1)});
        } else {
            fail(QStringLiteral("Ответ устройства получен, но это не ЖН-Т"),
                 QStringLiteral("Ответ устройства %1 получен, но это не ЖН-Т").arg(ip));
        }
    } else if (kind == ReaderRequest::READ_INPUT) {
        emit controllerInfo(serverAddress, quint8(data.at(1)) == 1);
    }
}

void RelayModuleReader::popRequest()
{
    if (!queue.isEmpty())
        queue.removeFirst();
}

// Every failure of a probe is logged once, when it happens, naming the module.
void RelayModuleReader::fail(const QString &text, const QString &logText)
{
    failed = true;
    errorText = text;
    emit writeToLog(logText.isEmpty() ? text : logText);
}

void RelayModuleReader::complete(bool success, const QString &text)
{
    if (completed)
        return;
    completed = true;
    emit readCompleted(success, text);
}
