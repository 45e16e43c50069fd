// Search for line controllers by UDP broadcast on the local networks.

#include "lantrelclient.h"

#include <QDataStream>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

namespace {
constexpr quint16 SearchPort = 49502;
constexpr int SearchRounds = 3;
constexpr int SearchIntervalMs = 1000;
constexpr quint16 LineControllerType = 7;

QByteArray searchRequest(quint16 transaction)
{
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    // MBAP header, then function 3 over the identity registers 0 to 7.
    out << transaction << quint16(0) << quint16(6) << quint8(0) << quint8(3) << quint16(0) << quint16(8);
    return request;
}

quint16 be16(const QByteArray &data, int offset)
{
    if (offset + 2 > data.size())
        return 0;
    return quint16((quint8(data.at(offset)) << 8) | quint8(data.at(offset + 1)));
}

// The line address a valid reply names; -1 for anything else.
int lineAddressOfReply(const QByteArray &data)
{
    if (data.size() <= 8)
        return -1;
    const quint8 byteCount = quint8(data.at(8));
    if (be16(data, 2) != 0 || be16(data, 4) != quint16(data.size() - 6) || quint8(data.at(7)) != 3
        || byteCount != 16)
        return -1;
    // A reply shorter than its own byte count carries no line address.
    if (data.size() < 9 + byteCount)
        return -1;
    if (be16(data, 13) != LineControllerType)
        return -1;
    return be16(data, 23) & 0xFF;
}
}

void LantrelClient::scanNetworkInterfaces()
{
    m_networkInterfaces.clear();
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const bool usable = (iface.type() == QNetworkInterface::Ethernet || iface.type() == QNetworkInterface::Wifi)
                            && iface.flags().testFlag(QNetworkInterface::IsUp);
        if (!usable)
            continue;
        QList<quint32> addresses;
        for (const QNetworkAddressEntry &entry : iface.addressEntries()) {
            bool ok = false;
            const quint32 ip = entry.ip().toIPv4Address(&ok);
            if (ok)
                addresses.append(ip);
        }
        if (!addresses.isEmpty())
            m_networkInterfaces.insert(iface.index(), addresses);
    }
    m_networkReady = !m_networkInterfaces.isEmpty();
}

void LantrelClient::startSearch()
{
    if (m_searchTimer)
        return;
    // An adapter may have come up, or gone, since the last scan.
    scanNetworkInterfaces();
    if (!m_networkReady) {
        emit searchFinished();
        return;
    }

    m_searchSocket = new QUdpSocket(this);
    if (!m_searchSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        m_networkReady = false;
        delete m_searchSocket;
        m_searchSocket = nullptr;
        emit searchFinished();
        return;
    }
    connect(m_searchSocket, &QUdpSocket::readyRead, this, &LantrelClient::readDatagrams);
    connect(m_searchSocket, &QAbstractSocket::errorOccurred, this, &LantrelClient::onSocketError);

    m_searchTimer = new QTimer(this);
    m_searchTimer->setInterval(SearchIntervalMs);
    connect(m_searchTimer, &QTimer::timeout, this, &LantrelClient::discovery);

    m_searchTicks = 0;
    m_foundHosts.clear();
    m_searchTimer->start();
    QMetaObject::invokeMethod(this, "discovery", Qt::QueuedConnection);
}

void LantrelClient::discovery()
{
    if (!m_searchTimer)
        return;
    ++m_searchTicks;
    if (m_searchTicks > SearchRounds) {
        delete m_searchTimer;
        m_searchTimer = nullptr;
        delete m_searchSocket;
        m_searchSocket = nullptr;
        emit searchFinished();
        return;
    }

    const QByteArray request = searchRequest(quint16(m_searchTicks));
    // A send that fails on one interface must not end the search on the others.
    m_searchSending = true;
    for (auto it = m_networkInterfaces.cbegin(); it != m_networkInterfaces.cend(); ++it) {
        QNetworkDatagram datagram(request, QHostAddress(QHostAddress::Broadcast), SearchPort);
        datagram.setInterfaceIndex(uint(it.key()));
        for (quint32 ip : it.value()) {
            datagram.setSender(QHostAddress(ip), m_searchSocket->localPort());
            m_searchSocket->writeDatagram(datagram);
        }
    }
    m_searchSending = false;
}

void LantrelClient::readDatagrams()
{
    while (m_searchSocket && m_searchSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_searchSocket->receiveDatagram();
        const QByteArray data = datagram.data();
        if (data.size() <= 8)
            continue;
        bool ok = false;
        const quint32 sender = datagram.senderAddress().toIPv4Address(&ok);
        if (!ok)
            continue;
        const int lineAddress = lineAddressOfReply(data);
        if (lineAddress < 0 || m_foundHosts.contains(sender))
            continue;
        m_foundHosts.insert(sender, quint8(lineAddress));
    }
}

void LantrelClient::onSocketError()
{
    if (!m_searchSocket)
        return;
    const QAbstractSocket::SocketError error = m_searchSocket->error();
    const bool fatal = error == QAbstractSocket::SocketAccessError || error == QAbstractSocket::SocketResourceError
                       || error == QAbstractSocket::NetworkError || error == QAbstractSocket::UnknownSocketError;
    if (!fatal || m_searchSending) {
        if (!fatal)
            m_networkReady = true;
        return;
    }
    m_networkReady = false;
    if (!m_searchTimer)
        return;
    delete m_searchTimer;
    m_searchTimer = nullptr;
    m_searchSocket->deleteLater();
    m_searchSocket = nullptr;
    emit searchFinished();
}
