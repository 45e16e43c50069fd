#ifndef FAKETCPSERVER_H
#define FAKETCPSERVER_H

// Modbus TCP front end of FakeController: a raw QTcpServer that parses MBAP
// frames itself, so the fake can stay silent, close the socket or answer
// functions 7, 20 and 21. Follows the controller's dropConnectionsRequested
// and refuseConnectionsRequested (refusing = not listening at all).

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;
class FakeController;

class FakeTcpServer : public QObject
{
    Q_OBJECT
public:
    explicit FakeTcpServer(FakeController *controller, QObject *parent = nullptr);
    ~FakeTcpServer() override;

    bool listen(const QHostAddress &address = QHostAddress::Any, quint16 port = 502);
    void close();
    bool isListening() const;
    quint16 port() const { return m_port; }

    // Accept only connections made to the controller's active IPv4 address.
    void setAcceptOnlyActiveAddress(bool on) { m_strict = on; }

    int connectionCount() const;       // open connections
    int acceptedCount() const { return m_accepted; }
    QHostAddress lastLocalAddress() const { return m_lastLocal; }
    void dropConnections();
    void refuseFor(int ms);

signals:
    void clientConnected(const QHostAddress &local, const QHostAddress &peer);
    void clientDisconnected();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *s);
    void relisten();

    QPointer<FakeController> m_controller;
    QTcpServer *m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHostAddress m_address;
    quint16 m_port = 502;
    bool m_wanted = false;
    bool m_strict = false;
    int m_accepted = 0;
    int m_refuseGeneration = 0;
    QHostAddress m_lastLocal;
};

#endif // FAKETCPSERVER_H
