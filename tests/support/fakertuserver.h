#ifndef FAKERTUSERVER_H
#define FAKERTUSERVER_H

// Modbus RTU front end of FakeController: RTU frames with CRC-16 on a serial
// port (115200 baud, 8 data bits, no parity, 2 stop bits), typically one end
// of a PtyPair. Frames are cut by the length their function code implies; a
// frame with a bad CRC is ignored, as on a real line. While the controller
// restarts it stays silent.

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include "fakecontroller.h"

class QSerialPort;
class QTimer;

class FakeRtuServer : public QObject
{
    Q_OBJECT
public:
    explicit FakeRtuServer(FakeController *controller, QObject *parent = nullptr);
    ~FakeRtuServer() override;

    bool open(const QString &portName);
    void close();
    bool isOpen() const;
    int crcErrors() const { return m_crcErrors; }

private:
    void onReadyRead();
    void parse();
    int frameLength() const;   // 0 = not known yet, -1 = unknown function

    QPointer<FakeController> m_controller;
    QSerialPort *m_port;
    QTimer *m_gapTimer;
    QByteArray m_buffer;
    int m_crcErrors = 0;
};

// The whole serial line in one: a socat pair with the fake on one end; the
// program opens clientPortName().
class PtyPair;
class FakeRtuLine : public QObject
{
    Q_OBJECT
public:
    explicit FakeRtuLine(FakeController *controller, QObject *parent = nullptr);
    ~FakeRtuLine() override;

    bool start();
    QString clientPortName() const;
    QString errorText() const { return m_error; }
    FakeRtuServer *server() const { return m_server; }

private:
    PtyPair *m_pty;
    FakeRtuServer *m_server;
    QString m_error;
};

#endif // FAKERTUSERVER_H
