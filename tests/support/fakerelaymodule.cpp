#include "fakerelaymodule.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QVector>

bool FakeRelayModule::listen(const QString &ip)
{
    configuredIp = QHostAddress(ip).toIPv4Address();
    connect(&server, &QTcpServer::newConnection, this, &FakeRelayModule::onConnection);
    return server.listen(QHostAddress(ip), 502);
}

void FakeRelayModule::onConnection()
{
    while (QTcpSocket *s = server.nextPendingConnection()) {
        connect(s, &QTcpSocket::readyRead, this, [this, s]() { serve(s); });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    }
}

void FakeRelayModule::serve(QTcpSocket *s)
{
    buffer += s->readAll();
    while (buffer.size() >= 7) {
        const int length = (quint8(buffer[4]) << 8) | quint8(buffer[5]);
        if (buffer.size() < 6 + length)
            return;
        const QByteArray adu = buffer.left(6 + length);
        buffer.remove(0, 6 + length);
        const quint8 unit = quint8(adu[6]);
        const quint8 function = quint8(adu[7]);
        requests.append({unit, function});
        QByteArray pdu = answer(function);
        if (fault == Silent)
            continue;
        if (fault == CloseOnIdentity && function == 3) {
            s->disconnectFromHost();
            return;
        }
        QByteArray reply = adu.left(4);
        reply.append(char((pdu.size() + 1) >> 8)).append(char((pdu.size() + 1) & 0xFF));
        reply.append(char(fault == OtherUnit ? unit + 1 : unit)).append(pdu);
        if (fault == CutIdentity && function == 3)
            reply.chop(10);   // the header promises bytes that never come
        s->write(reply);
    }
}

QByteArray FakeRelayModule::answer(quint8 function)
{
    QByteArray pdu;
    if (function == 3) {
        if (fault == ExceptionOnIdentity)
            return QByteArray::fromHex("8302");
        if (busyAnswers != 0) {
            if (busyAnswers > 0)
                --busyAnswers;
            return QByteArray::fromHex("8306");
        }
        QVector<quint16> regs(21, 0);
        regs[0] = addressRegister;
        regs[4] = deviceCode;
        for (int k = 0; k < 4; ++k)   // high bytes are noise the probe must ignore
            regs[17 + k] = quint16(0xAB00 | ((configuredIp >> (24 - 8 * k)) & 0xFF));
        const int count = fault == ShortIdentity ? 10 : 21;
        pdu.append(char(fault == IdentityAsInputRegisters ? 4 : 3)).append(char(count * 2));
        for (int k = 0; k < count; ++k)
            pdu.append(char(regs[k] >> 8)).append(char(regs[k] & 0xFF));
    } else if (function == 2) {
        if (fault == ExceptionOnInput)
            return QByteArray::fromHex("8203");
        if (fault == ShortInput)
            return QByteArray::fromHex("0200");   // byte count 0, no status byte
        if (fault == InputAsRegisters)
            return QByteArray::fromHex("03020001");   // "on" to an input read that was never made
        pdu.append(char(2)).append(char(1)).append(char(inputByte));
    } else {
        pdu = QByteArray::fromHex("8101");
        pdu[0] = char(function | 0x80);
    }
    return pdu;
}
