#ifndef RELAYMODULEREADER_H
#define RELAYMODULEREADER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QModbusDevice>
#include <QObject>
#include <QString>

#include "busywait.h"

class MbapHeaderCheck;
class QModbusReply;
class QModbusTcpClient;
class QTimer;

// One request of the relay-module probe.
struct ReaderRequest
{
    enum Kind : quint8 { READ_IDENTITY = 1, READ_INPUT = 2 };

    quint8 kind = 0;
    int functionCode = 0;
    QByteArray payload;     // big-endian
};

// Checks the link to one external relay module over Modbus TCP: reads its
// identity, makes sure it is a relay module configured with the probed IPv4
// address, then reads discrete input 2. Lives in the thread that creates it;
// the owner keeps an event loop running until readCompleted.
class RelayModuleReader : public QObject
{
    Q_OBJECT

public:
    explicit RelayModuleReader(QString ip, QObject *parent = nullptr);
    ~RelayModuleReader() override;

signals:
    void readCompleted(bool success, QString error_text);
    void writeToLog(QString text);
    void controllerInfo(uchar address, bool input_on);

public slots:
    void getControllerInfo();

private slots:
    void sendCommand();
    void decodeModbusResponse();
    void onModbusClientStateChanged(QModbusDevice::State state);
    void onRequestWatchdog();

private:
    QModbusReply *sendRequest(int function_code, const QByteArray &payload);
    void handleReply(QModbusReply *reply);
    // The reply answers the head request: function, MBAP header and shape.
    bool answersHead(const QModbusReply *reply) const;
    void failRequest(const QString &reason);
    void decodeReply(QModbusReply *reply);
    void popRequest();
    // The text the owner shows, and the log line when that does not name the module.
    void fail(const QString &text, const QString &logText = QString());
    void complete(bool success, const QString &text);

    quint8 serverAddress = 49;
    QString ip;
    QModbusTcpClient *modbusClient = nullptr;
    MbapHeaderCheck *mbapCheck = nullptr;
    // Ends a request Qt stopped timing on a cut frame.
    QTimer *requestWatchdog = nullptr;
    QModbusReply *replyInFlight = nullptr;
    // A module that answers "not now" is asked again as the driver asks
    // its controller, within the time an editor waits for the probe.
    BusyWait busyWait{3000};
    QElapsedTimer clock;
    bool linkUp = false;
    QList<ReaderRequest> queue;
    bool ready = true;
    bool failed = false;
    QString errorText;
    // readCompleted was emitted for the running probe.
    bool completed = true;
};

#endif // RELAYMODULEREADER_H
