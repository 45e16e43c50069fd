#ifndef SINGLEAPPLICATION_H
#define SINGLEAPPLICATION_H

#include <QApplication>
#include <QString>

class QSharedMemory;
class QLocalServer;
class QLocalSocket;

// The application object; keeps the program to one running instance per
// user session. A second instance ends inside the constructor (exit status
// 0, no window, nothing sent to the first one).
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(int &argc, char **argv);
    ~SingleApplication() override;

    // Organisation and application name with everything but word
    // characters, "-", "." and blanks removed; names the shared-memory
    // segment and the local server.
    static QString instanceKey();

    // Why the single-instance guard could not be set up (empty when it
    // was); the program runs unguarded and writes this to its log.
    QString guardError() const { return m_guardError; }

private:
    void onNewConnection();

    QSharedMemory *m_sharedMemory = nullptr;
    QLocalServer *m_localServer = nullptr;
    QLocalSocket *m_localSocket = nullptr;
    QString m_guardError;
};

#endif // SINGLEAPPLICATION_H
