#ifndef CLIENTLINESTATE_H
#define CLIENTLINESTATE_H

#include <QObject>

// What the module-data window's tabs follow of the client: whether it holds
// a driver, and whether the controller's line is on (state LN_ONN). Reads
// both from the client at construction, then follows its signals.
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
