#include "singleapplication.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSharedMemory>

#include <cstdlib>

SingleApplication::SingleApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    const QString key = instanceKey();

    {
        // On Unix the last detach removes a segment that a killed instance
        // left behind; a live instance keeps its own attached.
        QSharedMemory stale(key);
        stale.attach(QSharedMemory::ReadOnly);
    }

    m_sharedMemory = new QSharedMemory(key);
    if (m_sharedMemory->create(1, QSharedMemory::ReadOnly)) {
        m_localServer = new QLocalServer();
        QLocalServer::removeServer(key);
        m_localServer->listen(key);
        connect(m_localServer, &QLocalServer::newConnection, this, &SingleApplication::onNewConnection);
        return;
    }

    if (m_sharedMemory->error() != QSharedMemory::AlreadyExists) {
        // No way to tell whether another instance runs: better run twice
        // than not at all.
        m_guardError = QStringLiteral("Ошибка создания сегмента общей памяти «%1»: %2")
                           .arg(key, m_sharedMemory->errorString());
        qWarning("%s", qUtf8Printable(m_guardError));
        delete m_sharedMemory;
        m_sharedMemory = nullptr;
        return;
    }

    m_localSocket = new QLocalSocket();
    m_localSocket->connectToServer(key, QIODevice::ReadWrite);
    if (!m_localSocket->waitForConnected(100)) {
        delete m_sharedMemory;
        m_sharedMemory = nullptr;
    }
    std::exit(0);
}

SingleApplication::~SingleApplication()
{
    delete m_sharedMemory;
    m_sharedMemory = nullptr;
    if (m_localServer)
        m_localServer->close();
    delete m_localServer;
    delete m_localSocket;
}

QString SingleApplication::instanceKey()
{
    QString key = QCoreApplication::organizationName() + QCoreApplication::applicationName();
    key.remove(QRegularExpression(QStringLiteral("[^\\w\\-. ]")));
    return key;
}

void SingleApplication::onNewConnection()
{
    QLocalSocket *socket = m_localServer->nextPendingConnection();
    if (socket) {
        socket->close();
        delete socket;
    }
}
