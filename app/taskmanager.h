#ifndef TASKMANAGER_H
#define TASKMANAGER_H

#include <QObject>
#include <QPointer>
#include <QString>

class LantrelClient;
class ConnectorForm;
class MainForm;

// The application controller: owns the settings object, the application log
// and the client, opens the first windows and takes the program down.
class TaskManager : public QObject
{
    Q_OBJECT

public:
    explicit TaskManager(QObject *parent = nullptr);
    ~TaskManager() override;

    LantrelClient *client() const { return m_client; }
    QWidget *mainForm() const;
    ConnectorForm *connectorForm() const;

    // Log line formats of the application log.
    static QString logTimeFormat(bool withMilliseconds);

signals:
    void writeToLog(QString);

public slots:
    void startApp();
    void stopApp();
    void showWaitCursor(bool show_wait);

private:
    void writeFirstRunDefaults();

    LantrelClient *m_client = nullptr;
    QPointer<MainForm> m_mainForm;
    QPointer<ConnectorForm> m_connectorForm;
    bool m_stopping = false;
};

// The one application controller; null until main has constructed it.
extern TaskManager *appTaskManager;

// Set once the desktop session asked the program to save its state.
extern bool sessionEnding;

// The handler of the desktop session's save request: from now on the
// program closes without questions and leaves ending to the session.
void onSessionSaveRequest();

#endif // TASKMANAGER_H
