#include "mbapheadercheck.h"

#include <QModbusTcpClient>
#include <QTcpSocket>

namespace {
const int headerSize = 7;       // transaction, protocol, length, unit id
const int maxLengthField = 254; // unit id and a PDU of at most 253 bytes
}

MbapHeaderCheck::MbapHeaderCheck(QModbusTcpClient *client)
    : QObject(client)
    , m_socket(client->findChild<QTcpSocket *>())
{
    connect(client, &QModbusDevice::stateChanged, this, &MbapHeaderCheck::onStateChanged);
    // The client connected to readyRead when it made its socket, so it reads
    // first; this runs after it, on the bytes the transaction kept.
    if (m_socket)
        connect(m_socket, &QIODevice::readyRead, this, &MbapHeaderCheck::onReadyRead);
}

void MbapHeaderCheck::expect(int unitId)
{
    m_unitId = unitId;
    m_match = true;
    m_lastPdu.clear();
}

void MbapHeaderCheck::onStateChanged(QModbusDevice::State state)
{
    // A new connection starts with an empty stream; the client clears its
    // buffer then too.
    if (state != QModbusDevice::ConnectedState || !m_socket)
        return;
    m_buffer.clear();
    if (!m_socket->isTransactionStarted())
        m_socket->startTransaction();
}

void MbapHeaderCheck::onReadyRead()
{
    if (!m_socket->isTransactionStarted())
        return; // not connected through onStateChanged: nothing kept to read
    m_socket->rollbackTransaction();
    m_buffer.append(m_socket->readAll());
    m_socket->startTransaction();
    takeFrames();
}

void MbapHeaderCheck::takeFrames()
{
    while (m_buffer.size() >= headerSize) {
        const int protocol = (quint8(m_buffer.at(2)) << 8) | quint8(m_buffer.at(3));
        const int length = (quint8(m_buffer.at(4)) << 8) | quint8(m_buffer.at(5));
        const int unit = quint8(m_buffer.at(6));
        if (length < 2 || length > maxLengthField) {
            // No Modbus frame: the stream cannot be followed any further.
            m_match = false;
            m_buffer.clear();
            return;
        }
        if (m_buffer.size() < 6 + length)
            return;
        if (protocol != 0 || unit != m_unitId)
            m_match = false;
        m_lastPdu = m_buffer.mid(headerSize, length - 1);
        m_buffer.remove(0, 6 + length);
    }
}
