#ifndef MBAPHEADERCHECK_H
#define MBAPHEADERCHECK_H

#include <QByteArray>
#include <QModbusDevice>
#include <QObject>
#include <QPointer>

class QModbusTcpClient;
class QTcpSocket;

// Qt's Modbus TCP client pairs a reply with its request by the transaction
// id alone: it reads neither the protocol id nor the unit id of the MBAP
// header. This reads the same bytes the client reads, through a read
// transaction on the client's own socket that is rolled back once the
// client has taken its copy, and tells whether every frame since the last
// request was one of protocol 0 for the unit asked.
class MbapHeaderCheck : public QObject
{
    Q_OBJECT
public:
    explicit MbapHeaderCheck(QModbusTcpClient *client);

    // A request to `unitId` goes out: what came before no longer counts.
    void expect(int unitId);
    bool framesMatch() const { return m_match; }
    // The PDU of the last whole frame since the request (empty: none).
    // Qt's client drops an exception reply without its code as invalid.
    QByteArray lastPdu() const { return m_lastPdu; }

private:
    void onStateChanged(QModbusDevice::State state);
    void onReadyRead();
    void takeFrames();

    QPointer<QTcpSocket> m_socket;
    QByteArray m_buffer;
    int m_unitId = -1;
    bool m_match = true;
    QByteArray m_lastPdu;
};

#endif // MBAPHEADERCHECK_H
