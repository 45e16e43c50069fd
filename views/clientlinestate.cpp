#include "clientlinestate.h"

#include "appcontext.h"
#include "lantrelclient.h"

ClientLineState::ClientLineState(QObject *parent)
    : QObject(parent)
{
    LantrelClient *client = appClient();
    if (!client)
        return;
    m_connected = client->isConnected();
    m_lineOn = client->lastLineStatus().State == LantrelProtocol::LN_ONN;
    connect(client, &LantrelClient::deviceConnected, this, [this] {
        m_connected = true;
        emit connectionChanged();
    });
    // A lost link leaves the tasks as they are; only their buttons wait.
    connect(client, &LantrelClient::deviceDisconnected, this, [this] {
        m_connected = false;
        emit connectionChanged();
    });
    connect(client, &LantrelClient::lineStatusChanged, this, [this](LantrelProtocol::Status_Line_t status) {
        m_lineOn = status.State == LantrelProtocol::LN_ONN;
        emit lineStateChanged();
    });
}
