#ifndef MAINFORM_H
#define MAINFORM_H

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include "clientconnection.h"
#include "lantrelprotocol.h"

namespace Ui {
class MainForm;
}

class QLabel;
class QProgressDialog;
class QTreeWidgetItem;
class LantrelClient;
class LineStatusWidget;
class ControllerErrorsWidget;
class ConnectorForm;
class FirmwareUpdateForm;
class StateViewerForm;
class SamplesViewerForm;

// The program's main window: menus, tool bar, the tree of configuration
// pages with the pages, the status-bar indicators, the task progress, and
// the opener of every other window.
class MainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~MainForm() override;

signals:
    void updateProgress(int);
    void stopProgress();
    void shutdown();
    void showWaitCursor(bool);
    void writeToLog(QString);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void newConnection();
    void onDeviceConnected(ClientConnection conn_info);
    void onConnectionChanged(ClientConnection conn_info);
    void onDeviceDisconnected();
    void onClientError(QString msg);
    void onDriverStopped();
    void onTreeCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void onTaskStarted(QString task_msg, ushort op_count);
    void onTaskCompleted(ushort op_num, bool success);
    void onControllerConfigurationChanged();
    void rebootController();
    void disconnectDevice();
    void setControllerDefaults();
    void restoreConfigFromFlash();
    void setModulesDefaults();
    void jumpToModuleConfigPage(uchar mod_type);
    void jumpToProcessingPage();
    void readConfiguration();
    void loadConfiguration();
    void saveConfigurationAs();
    void updateFirmware();
    void showStateViewer();
    void showSamplesViewer();
    void showSerialChangerForm();

private:
    void updateActions();
    void startProgress(const QString &text, ushort steps);
    void hideProgress();
    QWidget *progressParent();
    QSize firstRunSize() const;
    void onLineStatusChanged(LantrelProtocol::Status_Line_t status);
    void showAboutForm();
    bool confirm(int icon, const QString &text);
    // The question of an action that ends in a restart: over memory not
    // saved to flash it says so at %1 (after `restartLead`), and its "Да"
    // answers the client's own restart question too.
    bool confirmRestartingAction(const QString &question, const QString &restartLead = QString());
    // True when the models hold no unsaved edits or the user lets `consequence` drop them.
    bool confirmDropEdits(const QString &consequence, const QString &question);
    bool confirmClose();

    Ui::MainForm *ui = nullptr;
    QString baseTitle;
    LineStatusWidget *lineStatusWidget = nullptr;
    ControllerErrorsWidget *controllerErrorsWidget = nullptr;
    QLabel *connectionLabel = nullptr;
    // Shown while the models hold a read with failed steps.
    QLabel *incompleteLabel = nullptr;
    // Shown while the user kept edits over a changed controller configuration.
    QLabel *staleLabel = nullptr;
    bool askingAboutChange = false;
    QPointer<ConnectorForm> connectorForm;
    QPointer<FirmwareUpdateForm> firmwareUpdateForm;
    QPointer<StateViewerForm> stateViewerForm;
    QPointer<SamplesViewerForm> samplesViewerForm;
    LantrelClient *client = nullptr;
    bool online = false;
    // The link went down while connected, not by the user's wish.
    bool linkLost = false;
    // The connection as shown in the title, for messages after it is gone.
    QString connectionText;
    bool lineOn = false;
    bool monitoringEnabled = true;
    // Parented to whatever window was active when the task started, which
    // may be destroyed before the task ends.
    QPointer<QProgressDialog> progressDialog;
    ushort taskSteps = 0;
    bool taskFailed = false;    // a step of the running task failed
    bool idle = true;
    QString taskText;
    QHash<int, QTreeWidgetItem *> pageItems;
};

#endif // MAINFORM_H
