#include "modbuserrortext.h"

#include "systemerrortext.h"

#include <QModbusReply>
#include <QRegularExpression>

namespace {

QString exceptionName(int code)
{
    switch (code) {
    case 1: return QStringLiteral("функция не поддерживается");
    case 2: return QStringLiteral("недопустимый адрес данных");
    case 3: return QStringLiteral("недопустимое значение данных");
    case 4: return QStringLiteral("отказ устройства");
    case 5: return QStringLiteral("запрос принят, выполнение не завершено");
    case 6: return QStringLiteral("устройство занято");
    case 8: return QStringLiteral("ошибка чётности памяти");
    case 10: return QStringLiteral("шлюз: путь недоступен");
    case 11: return QStringLiteral("шлюз: устройство не ответило");
    default: return QString();
    }
}

// Qt wraps the socket's reason: "TCP socket error (Connection refused)."
QString socketText(const QString &qtText)
{
    static const QRegularExpression wrapped(QStringLiteral("^TCP socket error \\((.*)\\)\\.?$"));
    const QRegularExpressionMatch match = wrapped.match(qtText);
    if (!match.hasMatch())
        return systemErrorText(qtText);
    const QString reason = match.captured(1);
    const QString russian = systemErrorText(reason);
    return russian != reason ? russian : QStringLiteral("Ошибка сокета TCP (%1)").arg(reason);
}

} // namespace

QString modbusExceptionText(int code)
{
    const QString name = exceptionName(code);
    return name.isEmpty() ? QStringLiteral("Ответ-исключение Modbus")
                          : QStringLiteral("Ответ-исключение Modbus: %1").arg(name);
}

int modbusExceptionCode(const QModbusResponse &response)
{
    if (!response.isException() || response.data().isEmpty())
        return -1;
    return quint8(response.data().at(0));
}

QString modbusExceptionCodeText(int code)
{
    if (code < 0)
        return QStringLiteral("Ответ-исключение Modbus без кода");
    return QStringLiteral("%1 (код 0x%2)").arg(modbusExceptionText(code)).arg(code, 2, 16, QLatin1Char('0'));
}

QString modbusErrorText(QModbusDevice::Error error, const QString &qtText)
{
    switch (error) {
    case QModbusDevice::NoError:
        return QString();
    case QModbusDevice::TimeoutError:
        return QStringLiteral("Ответ не получен за отведённое время");
    case QModbusDevice::ProtocolError:
        return QStringLiteral("Ответ-исключение Modbus");
    case QModbusDevice::ReplyAbortedError:
        return QStringLiteral("Запрос прерван");
    case QModbusDevice::ConnectionError:
        return socketText(qtText);
    case QModbusDevice::UnknownError:
        // Qt's only unknown error of a reply that came back
        if (qtText.contains(QLatin1String("invalid response"), Qt::CaseInsensitive))
            return QStringLiteral("Получен некорректный ответ");
        return socketText(qtText);
    default:
        return socketText(qtText);
    }
}

QString modbusErrorText(const QModbusReply *reply)
{
    if (!reply)
        return QString();
    if (reply->error() == QModbusDevice::ProtocolError) {
        const int code = modbusExceptionCode(reply->rawResult());
        if (code >= 0)
            return modbusExceptionCodeText(code);
    }
    return modbusErrorText(reply->error(), reply->errorString());
}
