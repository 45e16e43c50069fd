#ifndef LANTRELCLIENT_H
#define LANTRELCLIENT_H

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QModelIndex>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <functional>

#include "clientconnection.h"
#include "interactionsconfigmodel.h"
#include "lantrelprotocol.h"

class QTimer;
class QUdpSocket;
class LantrelDriver;
class ConfigurationManager;
class ControllerConfigModel;
class LineModulesModel;
class SensorsConfigModel;
class IoModulesConfigModel;
class ScpModulesConfigModel;
class RelayModulesConfigModel;
class ProcessingConfigModel;

// The one object between the windows and the two back ends: the driver of a
// live controller (in a worker thread) and the configuration document of a
// file. Everything here runs in the GUI thread.
class LantrelClient : public QObject
{
    Q_OBJECT

public:
    explicit LantrelClient(QObject *parent = nullptr);
    ~LantrelClient() override;

    void connectToDevice(uint conn_type, const QString &address, int line_addr);
    void shutdownDriver();
    bool loadConfigFile(const QString &path);
    bool saveConfigFile(const QString &path);
    void scanNetworkInterfaces();

    // What the windows read; they change none of it.
    bool hasDriver() const { return !m_driver.isNull(); }
    // The link is up and the controller identified itself; a driver also
    // exists while it connects or ends after a lost link.
    bool isConnected() const { return m_connected; }
    QPointer<LantrelDriver> driver() const { return m_driver; }
    ClientConnection connection() const { return m_connection; }
    bool configSaved() const { return m_configSaved; }
    bool lineModulesChanged() const { return m_lineModulesChanged; }
    bool isModified() const { return m_modified; }
    // Edits in the models that were neither written to the controller nor
    // saved to a file since the models were last read or loaded.
    bool hasUnsavedEdits() const { return m_editSerial != m_keptSerial; }
    // Unsent edits of the module tables, which a module search replaces;
    // edits of the controller settings and relay modules it keeps.
    bool hasUnsentModuleTableEdits();
    // An editor still open hands its value over to its model first, so that
    // it counts; asked before anything looks at, sends or replaces the edits.
    void commitOpenEditors();
    bool hasUnsentEdits();
    // The unsent edits that a deletion of the module at line_addr would
    // write along with it, as the names of their tables; empty for none.
    QStringList unsentEditsSentWithDeletion(uchar mod_type, ushort line_addr);
    // The user agreed to lose the edits made so far: the read that follows
    // the action asks nothing more about them.
    void acceptDroppingEdits() { m_dropAcceptedSerial = m_editSerial; }
    // A read or write of the configuration runs: the models are read-only.
    bool configurationBusy() const { return m_configBusy; }
    bool readingConfiguration() const { return m_readTotal != 0; }
    // A read from or write to the controller runs, which stopConfigTransfer ends.
    bool configTransferRunning() const
    {
        return !m_driver.isNull() && !m_fileMode && ((m_readTotal != 0 && !m_readPlan.isEmpty()) || (m_writeTotal != 0 && !toDocument()));
    }
    bool addressingMode() const { return m_addressingMode; }
    bool datasetComplete() const { return m_datasetComplete; }
    // Why the last connection attempt failed or the link was lost (the
    // first reason the driver gave); empty while nothing went wrong since
    // connectToDevice.
    QString lastLinkError() const { return m_lastLinkError; }
    LantrelProtocol::Status_Device_t lastControllerStatus() const { return m_lastControllerStatus; }
    LantrelProtocol::Feature_Device_t lastPowerStatus() const { return m_lastPowerStatus; }
    LantrelProtocol::Status_Line_t lastLineStatus() const { return m_lastLineStatus; }
    // The line state while the controller does not give its status: none
    // of the controller's own states, so every window shows it as unknown.
    static constexpr quint8 UnknownLineState = 0xFF;
    QMap<quint32, quint8> foundHosts() const { return m_foundHosts; }
    QMap<int, QList<quint32>> networkInterfaces() const { return m_networkInterfaces; }

    ControllerConfigModel *controllerConfigModel() const { return m_controllerModel; }
    LineModulesModel *lineModulesModel() const { return m_lineModulesModel; }
    SensorsConfigModel *sensorsConfigModel() const { return m_sensorsModel; }
    IoModulesConfigModel *ioModulesConfigModel() const { return m_ioModulesModel; }
    ScpModulesConfigModel *scpModulesConfigModel() const { return m_scpModulesModel; }
    RelayModulesConfigModel *relayModulesConfigModel() const { return m_relayModulesModel; }
    ProcessingConfigModel *processingConfigModel() const { return m_processingModel; }
    InteractionsConfigModel *interactionsConfigModel() const { return m_interactionsModel; }
    ConfigurationManager *configurationManager() const { return m_document; }

    // Asked, with the question's text, before a write puts rows of the tables
    // where the controller holds records the tables could not show; true
    // goes on. Without it such a write is not made.
    using OverwriteQuestion = std::function<bool(const QString &question)>;
    void setOverwriteQuestion(OverwriteQuestion question) { m_overwriteQuestion = std::move(question); }

    // Asked before an action restarts the controller while its memory holds
    // a written configuration that its flash does not: the restart would
    // drop it. `lead` says what the action does (empty for a plain restart);
    // true goes on.
    using RestartQuestion = std::function<bool(const QString &lead)>;
    void setRestartQuestion(RestartQuestion question) { m_restartQuestion = std::move(question); }
    // Whether an action that ends in a restart may start now: the memory
    // matches the flash, or the user agreed to lose what it holds beyond it
    // (asked here when not yet). Without a question set such an action is
    // refused. Every action that restarts the controller passes here first.
    bool mayRestartController(const QString &lead = QString());
    // The user agreed in the action's own question that its restart drops
    // what the memory holds beyond the flash; the agreement lasts until a
    // restart is sent, the memory is written or saved, or the action fails.
    void acceptRestart() { m_restartAccepted = true; }
    // The controller whose memory was written and not saved to flash, by its
    // serial number; kept while offline after a lost link. Empty when none.
    QString unflashedController() const { return m_unflashedController; }

signals:
    void writeToLog(QString);
    void clientError(QString);
    void linkError(QString);
    void driverStopped();
    void deviceConnected(ClientConnection);
    void connectionChanged(ClientConnection);
    void deviceDisconnected();
    void searchFinished();
    void taskStarted(QString, ushort);
    void taskCompleted(ushort, bool);
    void setControllerConfig(QByteArray, LantrelProtocol::Konfig_Device_t,
                             LantrelProtocol::ETH_konf_t, LantrelProtocol::Konfig_Line_t);
    void setLineConfig(LantrelProtocol::Konfig_Line_t);
    void setSensorsConfig(QMap<quint16, LantrelProtocol::Konfig_Section_t>);
    void setIoModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MVV_t>);
    void setScpModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MKZ_t>);
    void setRelayModulesConfig(QMap<quint16, LantrelProtocol::Konfig_Modul_t>, bool);
    void setProcessingConfig(QMap<quint16, LantrelProtocol::Konfig_Proc_t>);
    void setInteractionsConfig(QMap<quint16, LantrelProtocol::Control_Relay_t>);
    void saveControllerConfig(QByteArray, LantrelProtocol::Konfig_Device_t,
                              LantrelProtocol::ETH_konf_t, LantrelProtocol::Konfig_Line_t);
    void saveSensorsConfig(QMap<quint16, LantrelProtocol::Konfig_Section_t>);
    void saveIoModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MVV_t>);
    void saveScpModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MKZ_t>);
    void saveRelayModulesConfig(QMap<quint16, LantrelProtocol::Konfig_Modul_t>);
    void saveProcessingConfig(QMap<quint16, LantrelProtocol::Konfig_Proc_t>);
    void saveInteractionsConfig(QMap<quint16, LantrelProtocol::Control_Relay_t>);
    void lineConfigChanged(LantrelProtocol::Konfig_Line_t);
    void controllerStatusChanged(LantrelProtocol::Status_Device_t);
    void powerStatusChanged(LantrelProtocol::Feature_Device_t);
    void lineStatusChanged(LantrelProtocol::Status_Line_t);
    void foundLineModule(ushort, uint, uchar);
    void moduleFirmwareVersion(ushort, ushort);
    void moduleAddressChanged(bool);
    void datasetChanged();
    void deviceRebooted();
    void writeFinished();
    void firmwareUploaded(bool);
    void firmwareUpdateProgress(ushort);
    void firmwareUpdated(bool);
    void sensorSamples(ushort, QVector<quint16>);
    void modulesSupplyVoltage(ushort, QVector<quint16>);
    void sensorIrVoltage(ushort, QVector<quint16>);
    void eventMemoryStatus(ushort, ushort);
    void addressModeStarted(bool);
    void linePollStopped(bool);
    void controllerSerialChanged(bool);
    // Told before the models become read-only, so that an editor still open
    // can hand its value over first, and after they are editable again.
    void configurationBusyChanged(bool);
    // Editors still open are to hand their values over now.
    void openEditorsCommitRequested();
    // The controller's configuration changed (a restart, another client),
    // but reading it would drop unsent edits: the windows ask first.
    void controllerConfigurationChanged();

public slots:
    void startSearch();
    void readConfiguration();
    // A read the user did not ask for (after a connection, a restart or a
    // change of the module counts): after a running task, and never over
    // unsent edits the user has not agreed to lose.
    void rereadConfiguration();
    void importConfiguration();
    void readLineModulesConfig();
    void readControllerInfo();
    void checkModulesFwVersion();
    void readModulesFwVersion();
    void restoreConfigFromFlash();
    void saveConfigToFlash();
    void writeConfiguration();
    void rebootController();
    void clearModulesConfig();
    void findLineModules();
    void eraseFlash();
    void setControllerDefaults();
    void setModulesDefaults(ushort first_addr, ushort mod_count);
    void setModulesDefaults(ushort first_addr);
    void setModulesDefaults();
    void setAddressingMode(bool send_cmd, bool use_magnet);
    void uploadConfigToLine();
    void setControllerSerial(ushort prod_year, ushort serial_no, ushort pcb_ver);
    void setModuleAddressSerial(uchar mod_type, uint serial_no, ushort line_addr, bool set_serial);
    void switchLineState();
    void addModule(uchar mod_type, uint serial_no, ushort line_addr, quint16 &new_idx);
    void moveModule(uchar mod_type, ushort old_addr, ushort old_idx, ushort new_addr, quint16 &new_idx);
    void updateModuleInfo(uchar mod_type, ushort line_addr, uint serial_no);
    void deleteModule(uchar mod_type, ushort mod_idx, ushort line_addr);
    void clearSourcesCache();
    void uploadFirmware(uchar fw_type, QByteArray fw_body);
    void updateFirmware();
    void startRemoteControl();
    void changeArmedState(uchar mod_type, ushort first_idx, ushort mod_count, bool set_on);
    void changeRelayState(uchar mod_type, ushort first_idx, ushort mod_count, bool set_on);
    void disableModule(ushort line_addr, ushort mod_count);
    void checkModulesSupplyVoltage();
    void setVoltageMeasurementMode(bool yes);
    void clearEvents();
    void getModuleAddress(uint serial_no);
    void stopLinePolling();
    // Ends a line-polling stop nobody waits for any more: its task ends as
    // failed and its answer, should it still come, is not passed on.
    void cancelLinePollStop();
    void calibrateModules();
    // Stops a running read from or write to the controller: what is still
    // queued is not sent, and the task ends as stopped.
    void stopConfigTransfer();

private slots:
    void discovery();
    void readDatagrams();
    void onSocketError();
    void onDeviceConnected();
    void onDeviceDisconnected();
    void onControllerInfo(LantrelProtocol::Info_Device_t dev_info, ushort, QDate fw_date);
    void onControllerDateTime(QDateTime dt);
    void onControllerConfig(QByteArray block_id, LantrelProtocol::Konfig_Device_t dev_cfg,
                            LantrelProtocol::ETH_konf_t net_cfg, LantrelProtocol::Konfig_Line_t line_cfg);
    void onSensorConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_Section_t> cfg);
    void onIoModuleConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_MVV_t> cfg);
    void onScpModuleConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_MKZ_t> cfg);
    void onRelayModuleConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_Modul_t> cfg);
    void onProcessingConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_Proc_t> cfg);
    void onInteractionsConfig(ushort first_idx, QVector<LantrelProtocol::Control_Relay_t> cfg);
    void onModulesFwVersion(ushort first_idx, QVector<quint16> vers);
    void onControllerStatus(LantrelProtocol::Status_Device_t stat);
    void onPowerStatus(LantrelProtocol::Feature_Device_t stat);
    void onLineStatus(LantrelProtocol::Status_Line_t stat);
    void onStatusUnavailable();
    void onSensorStatus(ushort first_idx, QVector<LantrelProtocol::Status_Section_t> stat);
    void onIoModuleStatus(ushort first_idx, QVector<LantrelProtocol::Status_MVV_t> stat);
    void onScpModuleStatus(ushort first_idx, QVector<LantrelProtocol::Status_MKZ_t> stat);
    void onInteractionDeleted(InteractionSource src_type, ushort src_addr, uchar src_child);
    void onRelayTimeChanged(uchar mod_type, ushort mod_idx, uchar relay_num, uchar time_value);
    void onTaskCompleted(bool success);
    void onReadCompleted(bool success);
    void onWriteCompleted(bool success);
    void onRebootCompleted(bool success);
    void onSetDefaultsCompleted(bool success);
    void onEraseFlashCompleted(bool success);
    void onCommandCompleted(ushort cmd_code, bool success);
    void onFirmwareUploadCompleted(bool success);
    void onFirmwareMoveProgress(ushort block_num);
    void onMonitoringStateChanged(bool enabled);
    void onModelDataChanged(const QModelIndex &, const QModelIndex &, const QVector<int> &roles);
    void onModelRowCountChanged();
    void onControllerRebooted();
    void onModuleAddressChanged(bool success);
    void onDeviceIpChanged(uint ip_addr);
    void onDeviceAddressChanged(int line_addr);
    void onLinePollStopped(bool success);
    void onModulesCountChanged();
    void onLineConfigRead(LantrelProtocol::Konfig_Line_t line_cfg);
    void onRequestFailed(const QString &reason, bool busy);

private:
    // Task protocol
    void resetTaskState();
    // A firmware step or a restart that failed because the link went: the
    // loss is told on its own, the failure only logged.
    void reportStepFailure(const QString &text);
    // A task that failed: told in a box, or only logged while the user's
    // own disconnect ends it.
    void reportTaskFailure(const QString &text);
    void startCommandTask(const QString &text);
    // A command task (one without a step count) waits for its one step.
    bool commandRunning() const { return m_stepsDone == 65535; }
    // A read from the controller: the part of the configuration each step
    // brings, so that a failed step names the records it left out.
    enum ReadPart {
        ControllerPart, LinePart, SensorsPart, IoModulesPart, ScpModulesPart, RelayModulesPart,
        ProcessingPart, InteractionsPart
    };
    struct ReadStep
    {
        int part = ControllerPart;
        int first = 0;   // first record
        int count = 1;
    };
    static QVector<ReadStep> readPlan(const QVector<int> &parts);
    void beginRead(const QString &text, quint16 steps, const QVector<ReadStep> &plan = {});
    bool recordMissing(int part, int record) const;
    QString missingPartsText() const;
    // The words after "таблица" for a part of a read.
    static QString partTableName(int part);
    // Records the tables of a read have no place for, named with the reason.
    QString heldRecordsText() const;
    // Whether a write may go on over held records its rows would replace;
    // asks when there are such records.
    bool mayOverwriteHeldRecords(bool toFile);
    void beginWrite(bool wholeWrite);
    // The edit marks before a write of part of the tables.
    struct EditMarks
    {
        bool modified;
        bool unsaved;
        quint32 kept;
    };
    EditMarks editMarks() const { return {m_modified, hasUnsavedEdits(), m_keptSerial}; }
    void restoreModifiedAfterWrite(const EditMarks &before);
    // A write of these parts alone to the controller: what they held when it
    // began is sent; the edits of the other parts stay marked as they were.
    void markSentAfterWrite(const QVector<int> &parts, const EditMarks &before);
    // What the write sends is fixed: later edits stay marked.
    void startWriteTask(const QString &text);
    void setConfigurationBusy(bool busy);
    // Every edit is noted with the part it changed (a ReadPart; NoPart when
    // the models it changed note their own).
    static constexpr int NoPart = -1;
    static constexpr int PartCount = InteractionsPart + 1;
    void noteEdit(int part);
    // The edit count of the last edit of the settings or relay modules,
    // which a read of the line modules leaves in place (0: none, or written
    // apart since).
    quint32 lastSettingsEdit() const;
    int modelPart(const QObject *model) const;
    // The part an edit of the controller settings changed: the line settings
    // alone (written with a deletion too), or the others.
    int controllerEditPart();
    // The parts whose edits were neither written to the controller nor
    // saved to a file.
    QVector<int> unsavedParts() const;
    // The parts a deletion of the module at line_addr writes; empty when
    // there is no such module.
    QVector<int> deletionParts(uchar mod_type, ushort line_addr) const;
    void noteLineModulesEdit();
    void setConfigSaved();
    void startFlashSave();
    // An action that ends in a restart may start: there is a link, the
    // restart may go, and the link is still there after the question.
    bool restartMayGo();
    // The restart itself, for actions that passed mayRestartController.
    void sendRestart();
    void startLineUpload();
    bool refuseIncompleteDataset();
    void runPendingReread();
    // The controller's configuration was replaced (a restart, a restore):
    // read anew, or ask again even when an earlier change was left unread.
    void rereadAfterControllerChange();
    // A read that replaces the models starts: what it puts there is no edit.
    void beginModelFill(bool keepSettingsEdits);

    // Reading and writing the tables
    void clearTableModels(bool keepRelayModules);
    void registerLineModule(ushort line_addr, uint serial_no, uchar dev_type, ushort table_idx);
    void buildSourcesCache();
    // The controller's record of an interaction row.
    static LantrelProtocol::Control_Relay_t interactionRecord(const InteractionRecord &row);
    InteractionRecord executorOf(InteractionRecord rec, const LantrelProtocol::Control_Relay_t &r) const;
    void writeControllerConfig();
    void writeSensorsConfig();
    void writeIoModulesConfig();
    void writeScpModulesConfig();
    void writeRelayModulesConfig();
    void writeProcessingConfig();
    void writeInteractionsConfig();
    void writeLineConfig(const LantrelProtocol::Konfig_Line_t &cfg);
    template <typename Map>
    void sendTable(const Map &map, ushort driverSteps, int part, void (LantrelClient::*save)(Map),
                   void (LantrelClient::*set)(Map));
    bool toDocument() const { return m_driver.isNull() || m_fileMode; }
    void addWriteSteps(ushort toDriver, int part);
    // The first cause a step of the running read or write failed for, and
    // how the task came to an end early: "" or the words for it.
    QString transferEndText() const;
    QString unwrittenPartsText() const;
    void resetAllModuleStates();

    // Driver life cycle
    void connectDriverSignals(LantrelDriver *driver);
    void invokeDriver(const char *slot, QGenericArgument a0 = QGenericArgument(),
                      QGenericArgument a1 = QGenericArgument(), QGenericArgument a2 = QGenericArgument(),
                      QGenericArgument a3 = QGenericArgument());
    void invokeCommand(quint16 code, quint16 a = 0, quint16 b = 0);
    // Lets go of the driver and lets its thread end, which deletes it.
    void releaseDriver();
    // A driver that did not stop in time: the client goes on without it.
    void abandonDriver();

    QThread m_thread;
    // Set and cleared only in this thread: cleared before the worker thread
    // may end and delete the driver, so a driver it points to is alive.
    QPointer<LantrelDriver> m_driver;
    // Counts the drivers let go of; a late signal of an old one is ignored.
    quint32 m_driverGeneration = 0;

    ControllerConfigModel *m_controllerModel = nullptr;
    LineModulesModel *m_lineModulesModel = nullptr;
    SensorsConfigModel *m_sensorsModel = nullptr;
    IoModulesConfigModel *m_ioModulesModel = nullptr;
    ScpModulesConfigModel *m_scpModulesModel = nullptr;
    RelayModulesConfigModel *m_relayModulesModel = nullptr;
    ProcessingConfigModel *m_processingModel = nullptr;
    InteractionsConfigModel *m_interactionsModel = nullptr;
    ConfigurationManager *m_document = nullptr;

    ClientConnection m_connection;
    QString m_lastLinkError;
    bool m_connected = false;
    LantrelProtocol::Status_Device_t m_lastControllerStatus {};
    LantrelProtocol::Feature_Device_t m_lastPowerStatus {};
    LantrelProtocol::Status_Line_t m_lastLineStatus {};

    // Steps the running read or write owes in all; 0 while none runs.
    quint16 m_readTotal = 0;
    quint16 m_writeTotal = 0;
    quint16 m_commandTotal = 0;
    quint16 m_stepsDone = 0;
    bool m_readFailed = false;
    bool m_writeFailed = false;
    bool m_modified = false;
    // Counts edits; the count that the last write sent, and the one the
    // controller or a file (or the last read) holds.
    quint32 m_editSerial = 0;
    quint32 m_sentSerial = 0;
    quint32 m_keptSerial = 0;
    quint32 m_dropAcceptedSerial = 0;
    // The windows were told that the controller's configuration changed; the
    // driver keeps telling it until the next read.
    bool m_changeTold = false;
    // The edit count of each part's last edit; 0 once the part was written
    // apart from the others (a deletion writes some tables at once).
    quint32 m_partEdit[PartCount] = {};
    // The controller settings as the last edit of them left them.
    LantrelProtocol::Konfig_Device_t m_seenDevice {};
    LantrelProtocol::ETH_konf_t m_seenNetwork {};
    LantrelProtocol::Konfig_Line_t m_seenLine {};
    QString m_seenBlockId;
    // The edit count when a read last replaced the module tables.
    quint32 m_moduleTablesReplaced = 0;
    // A read fills the models: their changes are not counted as edits.
    bool m_fillingModels = false;
    // Counts the reads that replace the whole configuration; a delayed
    // re-read is not needed once another has started.
    quint32 m_wholeReadsStarted = 0;
    // The running read replaces only the module tables, while edits of the
    // settings were unsent when it started.
    bool m_keepSettingsEdits = false;
    // The controller whose memory was written and not yet saved to flash:
    // the mark outlives a lost link and a reconnect.
    QString m_unflashedController;
    bool m_configBusy = false;
    bool m_importWhileConnected = false;
    bool m_configSaved = true;
    bool m_addressingMode = false;
    bool m_lineModulesChanged = false;
    bool m_wholeWrite = false;
    bool m_keepIdentity = true;
    bool m_fileMode = false;
    bool m_pendingFlashSave = false;
    bool m_pendingLineUpload = false;
    bool m_rereadAfterRestart = false;
    bool m_skipDataset = false;
    // The models hold a whole configuration (a read without failed steps or
    // a file); until then they must not be written to the controller.
    bool m_datasetComplete = true;
    bool m_rereadPending = false;
    // A search by serial number (getModuleAddress) still owes its one step.
    bool m_moduleSearch = false;
    bool m_linePollStopPending = false;
    bool m_linePollStopCancelled = false;
    QVector<ReadStep> m_readPlan;       // of the running or last read
    QVector<ReadStep> m_missingSteps;   // its failed steps
    QVector<int> m_writePlan;           // the part each step of the running write sends
    QVector<int> m_unwrittenSteps;      // its failed steps
    QString m_failureReason;            // why the first step of the task failed
    bool m_transferBusy = false;        // given up: the controller stayed busy
    bool m_transferStopped = false;     // the user stopped it
    bool m_shuttingDown = false;        // the user's disconnect ends the link

    quint8 m_firmwareType = 0;
    QByteArray m_firmwareBody;

    QVector<quint32> m_sourcesCache;
    bool m_sourcesCacheValid = false;
    // The sources end before the interaction records do: at a module table's
    // empty row with used rows after it (the part and row; part -1 for none,
    // and the records run past the reference counts), or at a record a
    // failed step left out.
    int m_sourcesGapPart = -1;
    int m_sourcesGapRow = 0;
    bool m_sourcesUnread = false;
    // Interaction records (not empty) that no source reaches, by index. The
    // tables do not show them; a write puts them back where they were unless
    // a row of the table takes their place, and asks first when it would.
    QMap<quint16, LantrelProtocol::Control_Relay_t> m_heldInteractions;
    OverwriteQuestion m_overwriteQuestion;
    RestartQuestion m_restartQuestion;
    bool m_restartAccepted = false;

    struct AddressJob {
        quint8 devType = 0;
        quint16 lineAddr = 0;
        quint32 serialNo = 0;
    } m_addressJob;

    // Controller search; the socket and the timer exist while one runs.
    QUdpSocket *m_searchSocket = nullptr;
    QTimer *m_searchTimer = nullptr;
    QMap<int, QList<quint32>> m_networkInterfaces;
    int m_searchTicks = 0;
    bool m_searchSending = false;
    bool m_networkReady = false;
    QMap<quint32, quint8> m_foundHosts;
};

#endif // LANTRELCLIENT_H
