#ifndef FAKERELAYMODULE_H
#define FAKERELAYMODULE_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A relay module on Modbus TCP port 502 of a loopback address: identity
// holding registers 1 to 21 and discrete input 2, with switches for faults.
class FakeRelayModule : public QObject
{
    Q_OBJECT
public:
    enum Fault {
        NoFault, ExceptionOnIdentity, ExceptionOnInput, Silent, CloseOnIdentity, ShortIdentity, ShortInput,
        // hostile or broken answers
        InputAsRegisters, IdentityAsInputRegisters, OtherUnit, CutIdentity
    };

    quint16 addressRegister = 0x0105;   // the module's line address in the low byte
    quint16 deviceCode = 2;             // 2: a relay module
    quint32 configuredIp = 0;           // the address the module reports; listen() sets it
    quint8 inputByte = 1;               // discrete input 2: the expansion module
    Fault fault = NoFault;
    // The identity read is answered "busy" (exception 6) this many times
    // before it is answered; -1: always.
    int busyAnswers = 0;
    QList<QPair<quint8, quint8>> requests;   // unit id, function

    bool listen(const QString &ip);

private:
    void onConnection();
    void serve(QTcpSocket *s);
    QByteArray answer(quint8 function);

    QTcpServer server;
    QByteArray buffer;
};

#endif // FAKERELAYMODULE_H
