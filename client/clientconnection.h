#ifndef CLIENTCONNECTION_H
#define CLIENTCONNECTION_H

#include <QMetaType>
#include <QString>

// The connection the user asked for, kept up to date with the controller's
// current IPv4 address and line address. Travels only within the GUI thread.
struct ClientConnection
{
    int connType = -1;      // 0 Ethernet (Modbus TCP), 1 RS-485 (Modbus RTU), -1 none
    QString address;        // dotted IPv4 text or serial port name
    int lineAddress = 0;    // the controller's Modbus server address

    bool operator==(const ClientConnection &other) const
    {
        return connType == other.connType && address == other.address
               && lineAddress == other.lineAddress;
    }
    bool operator!=(const ClientConnection &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(ClientConnection)

#endif // CLIENTCONNECTION_H
