#include "faketcpserver.h"

#include "fakecontroller.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// A dual-stack listener reports IPv4 peers as IPv4-mapped IPv6 addresses.
QHostAddress plainIpv4(const QHostAddress &a)
{
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : a;
}

} // namespace

FakeTcpServer::FakeTcpServer(FakeController *controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &FakeTcpServer::onNewConnection);
    connect(controller, &FakeController::dropConnectionsRequested, this, &FakeTcpServer::dropConnections);
    connect(controller, &FakeController::refuseConnectionsRequested, this, &FakeTcpServer::refuseFor);
}

FakeTcpServer::~FakeTcpServer()
{
    close();
}

bool FakeTcpServer::listen(const QHostAddress &address, quint16 port)
{
    m_address = address;
    m_port = port;
    m_wanted = true;
    if (m_controller && m_controller->refusingConnections())
        return true;
    if (m_server->isListening())
        m_server->close();
    const bool ok = m_server->listen(address, port);
    if (ok)
        m_port = m_server->serverPort();
    return ok;
}

void FakeTcpServer::close()
{
    m_wanted = false;
    m_server->close();
    dropConnections();
}

bool FakeTcpServer::isListening() const
{
    return m_server->isListening();
}

int FakeTcpServer::connectionCount() const
{
    int n = 0;
    for (const QPointer<QTcpSocket> &s : m_sockets)
        n += (s && s->state() == QAbstractSocket::ConnectedState) ? 1 : 0;
    return n;
}

void FakeTcpServer::dropConnections()
{
    const QList<QPointer<QTcpSocket>> sockets = m_sockets;
    m_sockets.clear();
    m_buffers.clear();
    for (const QPointer<QTcpSocket> &s : sockets) {
        if (s) {
            s->abort();
            s->deleteLater();
        }
    }
}

void FakeTcpServer::refuseFor(int ms)
{
    m_server->close();
    const int generation = ++m_refuseGeneration;
    QTimer::singleShot(qMax(0, ms), this, [this, generation]() {
        if (generation == m_refuseGeneration)
            relisten();
    });
}

void FakeTcpServer::relisten()
{
    if (m_wanted && !m_server->isListening())
        m_server->listen(m_address, m_port);
}

void FakeTcpServer::onNewConnection()
{
    while (QTcpSocket *s = m_server->nextPendingConnection()) {
        if (!m_controller || m_controller->refusingConnections()
            || (m_strict && plainIpv4(s->localAddress()) != plainIpv4(m_controller->activeIpAddress()))) {
            s->abort();
            s->deleteLater();
            continue;
        }
        ++m_accepted;
        m_lastLocal = plainIpv4(s->localAddress());
        m_sockets.append(s);
        connect(s, &QTcpSocket::readyRead, this, [this, s]() { onReadyRead(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s]() {
            m_sockets.removeAll(s);
            m_buffers.remove(s);
            s->deleteLater();
            emit clientDisconnected();
        });
        emit clientConnected(m_lastLocal, plainIpv4(s->peerAddress()));
    }
}

void FakeTcpServer::onReadyRead(QTcpSocket *s)
{
    QByteArray &buf = m_buffers[s];
    buf.append(s->readAll());
    while (buf.size() >= 7) {
        const quint16 tid = quint16((quint8(buf[0]) << 8) | quint8(buf[1]));
        const quint16 pid = quint16((quint8(buf[2]) << 8) | quint8(buf[3]));
        const int len = (quint8(buf[4]) << 8) | quint8(buf[5]);
        if (pid != 0 || len < 2 || len > 254) {
            // Not Modbus: a real server drops such a link.
            m_buffers.remove(s);
            s->abort();
            return;
        }
        if (buf.size() < 6 + len)
            return;
        const int unit = quint8(buf[6]);
        const QByteArray pdu = buf.mid(7, len - 1);
        buf.remove(0, 6 + len);
        if (!m_controller)
            return;
        const FakeOutcome out = m_controller->handleRequest(unit, pdu);
        if (out.action == FakeOutcome::Close) {
            m_buffers.remove(s);
            s->disconnectFromHost();
            return;
        }
        if (out.action != FakeOutcome::Reply)
            continue;
        QByteArray frame;
        frame.append(char(tid >> 8));
        frame.append(char(tid & 0xFF));
        frame.append(char(0));
        frame.append(char(0));
        const int n = out.pdu.size() + 1 + out.lengthSurplus;
        frame.append(char(n >> 8));
        frame.append(char(n & 0xFF));
        frame.append(char(unit + out.unitOffset));
        frame.append(out.pdu);
        frame.chop(out.cutBytes);
        QPointer<QTcpSocket> guard(s);
        if (out.delayMs > 0) {
            QTimer::singleShot(out.delayMs, this, [guard, frame]() {
                if (guard && guard->state() == QAbstractSocket::ConnectedState)
                    guard->write(frame);
            });
        } else {
            s->write(frame);
        }
    }
}
