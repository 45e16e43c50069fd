#ifndef CLIENTLINESTATE_H
#define CLIENTLINESTATE_H

#include <QObject>

// What the monitoring windows follow of the client: whether it is connected
// (the link is up and the controller identified itself; a driver that is
// still connecting or ends after a lost link is not), and whether the
// controller's line is on (state LN_ONN). Reads both from the client at
// construction, then follows its signals.
class ClientLineState : public QObject
{
    Q_OBJECT

public:
    explicit ClientLineState(QObject *parent);

    bool isConnected() const { return m_connected; }
    bool isLineOn() const { return m_lineOn; }

signals:
    void connectionChanged();
    void lineStateChanged();

private:
    bool m_connected = false;
    bool m_lineOn = false;
};

#endif // CLIENTLINESTATE_H
