#ifndef FIRMWAREUPDATEFORM_H
#define FIRMWAREUPDATEFORM_H

#include <QString>
#include <QWidget>

#include "lantrelprotocol.h"

namespace Ui {
class FirmwareUpdateForm;
}
class FirmwareFile;
class ModulesVersionModel;

// What the window's buttons and labels follow.
struct FirmwareFormState
{
    bool actionsEnabled = true;        // no client task runs
    bool modulesUpdateEnabled = true;  // the line is powered or on
    bool connected = false;
    bool imageUploaded = false;
    bool uploading = false;
    bool updating = false;
    bool waitingForLineStop = false;
    quint8 firmwareType = 0;
};

struct FirmwareFormControls
{
    bool readControllerInfo = false;
    bool readModulesInfo = false;
    bool loadFile = false;
    bool startUpdate = false;
    bool close = false;
    bool countVisible = false;      // module firmware: how many modules take it
    bool progressVisible = false;   // sensor and I/O updates report their progress
};

FirmwareFormControls firmwareFormControls(const FirmwareFormState &state);

// The firmware update window of the controller and the line modules: it
// checks a ".mcr" file, hands its image to the client for the controller
// and starts the update; the client does all the talking.
class FirmwareUpdateForm : public QWidget
{
    Q_OBJECT

public:
    explicit FirmwareUpdateForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~FirmwareUpdateForm() override;

    // Longest wait for the controller to stop polling the line.
    static int lineStopTimeoutMs();
    static void setLineStopTimeoutMs(int ms);

signals:
    void writeToLog(QString);

public slots:
    void disableFormActions(bool yes);
    void disableModulesUpdate(bool yes);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void loadFirmwareFile();
    void updateFirmware();
    void onModuleFwVersion(ushort line_addr, ushort fw_ver);
    void onFirmwareUploaded(bool success);
    void onFirmwareUpdateProgress(ushort mod_count);
    void onFirmwareUpdated(bool success);
    void onControllerModelDataChanged(QVector<int> roles);
    void onLineStatus(LantrelProtocol::Status_Line_t status);

private:
    void setUpTable();
    void fixValueWidths();
    void restoreSettings();
    void dropFirmware();
    bool acceptFile(const QString &fileName, const FirmwareFile &file);
    bool stopLinePolling();
    void reportError(const QString &message);
    void noteLinkLoss(const QString &reason);
    void showFileName();
    void showOutcome(const QString &text);
    void showResult();
    void showControllerInfo();
    void updateActions();

    Ui::FirmwareUpdateForm *ui = nullptr;
    ModulesVersionModel *versionModel = nullptr;
    FirmwareFormState state;
    // This window stopped the line polling; a successful update restarts
    // the controller, otherwise closing the window does.
    bool linePollingStopped = false;
    bool versionsPending = false;
    bool controllerRebooted = false;
    int lastProgress = -1;   // modules updated, as the controller last reported
    QString outcome;         // what became of the last transfer or update
    bool linkLost = false;   // the link went while a transfer or an update ran
    QString linkLossReason;
    QString shownFileName;   // without its folder
    QString firmwarePath;
};

#endif // FIRMWAREUPDATEFORM_H
