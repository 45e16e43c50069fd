#include "fakertuserver.h"

#include "crc16.h"
#include "ptypair.h"

#include <QSerialPort>
#include <QTimer>

FakeRtuServer::FakeRtuServer(FakeController *controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_port(new QSerialPort(this))
    , m_gapTimer(new QTimer(this))
{
    // A frame that stays incomplete this long is line noise.
    m_gapTimer->setSingleShot(true);
    m_gapTimer->setInterval(50);
    connect(m_gapTimer, &QTimer::timeout, this, [this]() { m_buffer.clear(); });
    connect(m_port, &QSerialPort::readyRead, this, &FakeRtuServer::onReadyRead);
}

FakeRtuServer::~FakeRtuServer()
{
    close();
}

bool FakeRtuServer::open(const QString &portName)
{
    close();
    m_port->setPortName(portName);
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    m_port->setBaudRate(115200);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::TwoStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_buffer.clear();
    return true;
}

void FakeRtuServer::close()
{
    if (m_port->isOpen())
        m_port->close();
}

bool FakeRtuServer::isOpen() const
{
    return m_port->isOpen();
}

namespace {

quint16 crc16(const QByteArray &data)
{
    return crc16Modbus(0xFFFF, data.constData(), data.size());
}

} // namespace

void FakeRtuServer::onReadyRead()
{
    m_buffer.append(m_port->readAll());
    parse();
    if (!m_buffer.isEmpty())
        m_gapTimer->start();
    else
        m_gapTimer->stop();
}

int FakeRtuServer::frameLength() const
{
    if (m_buffer.size() < 2)
        return 0;
    switch (quint8(m_buffer[1])) {
    case 1: case 2: case 3: case 4: case 5: case 6:
        return 8;
    case 7:
        return 4;
    case 15: case 16:
        return m_buffer.size() < 7 ? 0 : 9 + quint8(m_buffer[6]);
    case 20: case 21:
        return m_buffer.size() < 3 ? 0 : 5 + quint8(m_buffer[2]);
    default:
        return -1;
    }
}

void FakeRtuServer::parse()
{
    while (!m_buffer.isEmpty()) {
        const int len = frameLength();
        if (len < 0) {
            m_buffer.clear();
            return;
        }
        if (len == 0 || m_buffer.size() < len)
            return;
        const QByteArray frame = m_buffer.left(len);
        m_buffer.remove(0, len);
        const quint16 crc = crc16(frame.left(len - 2));
        if (quint8(frame[len - 2]) != (crc & 0xFF) || quint8(frame[len - 1]) != (crc >> 8)) {
            ++m_crcErrors;
            m_buffer.clear();
            return;
        }
        const int unit = quint8(frame[0]);
        if (!m_controller)
            return;
        const FakeOutcome out = m_controller->handleRequest(unit, frame.mid(1, len - 3));
        if (out.action != FakeOutcome::Reply)
            continue;
        QByteArray reply;
        reply.append(char(unit + out.unitOffset));
        reply.append(out.pdu);
        // The byte count after the function code claims more than follows.
        if (out.lengthSurplus && reply.size() > 2)
            reply[2] = char(quint8(reply.at(2)) + out.lengthSurplus);
        const quint16 rc = crc16(reply);
        reply.append(char(rc & 0xFF));
        reply.append(char(rc >> 8));
        reply.chop(out.cutBytes);
        QPointer<QSerialPort> port(m_port);
        if (out.delayMs > 0) {
            QTimer::singleShot(out.delayMs, this, [port, reply]() {
                if (port && port->isOpen())
                    port->write(reply);
            });
        } else {
            m_port->write(reply);
        }
    }
}

FakeRtuLine::FakeRtuLine(FakeController *controller, QObject *parent)
    : QObject(parent)
    , m_pty(new PtyPair(this))
    , m_server(new FakeRtuServer(controller, this))
{
}

FakeRtuLine::~FakeRtuLine()
{
    m_server->close();
    m_pty->stop();
}

bool FakeRtuLine::start()
{
    if (!m_pty->start()) {
        m_error = m_pty->errorText();
        return false;
    }
    if (!m_server->open(m_pty->first())) {
        m_error = QStringLiteral("cannot open ") + m_pty->first();
        return false;
    }
    return true;
}

QString FakeRtuLine::clientPortName() const
{
    return m_pty->second();
}
