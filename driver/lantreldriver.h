#ifndef LANTRELDRIVER_H
#define LANTRELDRIVER_H

#include <QByteArray>
#include <QDataStream>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QModbusDevice>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

#include "busywait.h"
#include "lantrelprotocol.h"

class MbapHeaderCheck;
class QModbusClient;
class QModbusReply;
class QModbusResponse;
class QTimer;
class TextLogger;

// A configuration table of the controller as the driver reads it: its
// file, its records, the records one read request asks for and the
// registers of one record. The client maps the steps of a read onto them.
struct TableLayout
{
    quint16 file;
    int records;
    int perRead;
    int registers;

    int readRequests() const { return (records + perRead - 1) / perRead; }
};

namespace ConfigTables {
constexpr TableLayout sensors{10, 500, 15, 8};
constexpr TableLayout ioModules{15, 100, 15, 8};
constexpr TableLayout scpModules{20, 32, 15, 8};
constexpr TableLayout relayModules{17, 4, 2, 38};
constexpr TableLayout processing{13, 500, 40, 3};
constexpr TableLayout interactions{11, 4000, 60, 2};
} // namespace ConfigTables

// One queue item of the driver; owned by the driver's queue.
struct DriverRequest
{
    int kind = 0;                   // LantrelDriver::RequestKind
    int functionCode = 0;
    QByteArray payload;             // request data after the function code
    QModbusReply *reply = nullptr;  // reply of the request in flight
    quint16 tag = 0;                // first record, or command / coil code
    qint16 expected = -1;           // value or bit mask a poll item waits for
    quint16 groupIndex = 1;         // position in its group, from 1
    quint16 groupSize = 1;          // items in the group
};

// The one object that talks to the line controller over Modbus TCP or RTU.
// Lives in its caller's worker thread and answers only by signals.
class LantrelDriver : public QObject
{
    Q_OBJECT
public:
    enum DriverMode {
        MODE_IDLE = 0,
        MODE_QUEUE = 1,
        MODE_CONNECTING = 2,
        MODE_ADDRESSING = 3,
        MODE_MONITORING = 4
    };

    enum RequestKind {
        REQ_CONTROLLER_INFO = 1,
        REQ_CLOCK_READ = 2,
        REQ_CLOCK_WRITE = 3,
        REQ_CONTROLLER_CONFIG = 4,
        REQ_NETWORK_CONFIG = 5,
        REQ_LINE_CONFIG = 6,
        REQ_SENSORS_CONFIG = 7,
        REQ_IO_MODULES_CONFIG = 8,
        REQ_SCP_MODULES_CONFIG = 9,
        REQ_RELAY_MODULES_CONFIG = 10,
        REQ_PROCESSING_CONFIG = 11,
        REQ_INTERACTIONS_CONFIG = 12,
        REQ_SET_CONTROLLER_CONFIG = 13,
        REQ_SET_LINE_CONFIG = 14,
        REQ_SET_SENSORS_CONFIG = 15,
        REQ_SET_IO_MODULES_CONFIG = 16,
        REQ_SET_SCP_MODULES_CONFIG = 17,
        REQ_SET_RELAY_MODULES_CONFIG = 18,
        REQ_SET_RELAY_MODULES_COUNT = 19,
        REQ_SET_PROCESSING_CONFIG = 20,
        REQ_SET_INTERACTIONS_CONFIG = 21,
        REQ_LINE_STATUS = 23,
        REQ_CLOCK_APPLY = 27,
        REQ_CLOCK_APPLY_POLL = 28,
        REQ_CMD_WAIT_READY = 29,
        REQ_CMD_WRITE = 30,
        REQ_CMD_POLL = 31,
        REQ_COIL_READ = 32,
        REQ_COIL_WRITE = 33,
        REQ_FOUND_MODULE_READ = 34,
        REQ_MODULES_FW_VERSION = 35,
        REQ_FIRMWARE_CHUNK = 36,
        REQ_MODULES_SUPPLY_VOLTAGE = 37,
        REQ_SET_CONTROLLER_SERIAL = 38
    };

    // Reads the "Driver" settings through appSettings: call in the thread
    // that owns appSettings (the GUI thread), before moving the driver.
    LantrelDriver(uint conn_type, QString address, int server_address, QObject *parent = nullptr);
    ~LantrelDriver() override;

signals:
    void started();
    void finished();
    void connected();
    void disconnected();
    void capturedPacket(QDateTime dt, QString text);
    void capturedEvent(QString text);
    void writeToLog(QString text);
    // Why the link could not be made or was lost, in words for the user.
    void linkError(QString reason);
    void controllerInfo(LantrelProtocol::Info_Device_t info, ushort line_addr, QDate fw_date);
    void controllerDateTime(QDateTime dt);
    void controllerConfig(QByteArray block_id, LantrelProtocol::Konfig_Device_t dev_cfg,
                          LantrelProtocol::ETH_konf_t net_cfg, LantrelProtocol::Konfig_Line_t line_cfg);
    void networkConfig(LantrelProtocol::ETH_konf_t net_cfg);
    void lineConfig(LantrelProtocol::Konfig_Line_t line_cfg);
    void sensorConfig(ushort index, QVector<LantrelProtocol::Konfig_Section_t> cfg);
    void ioModuleConfig(ushort index, QVector<LantrelProtocol::Konfig_MVV_t> cfg);
    void scpModuleConfig(ushort index, QVector<LantrelProtocol::Konfig_MKZ_t> cfg);
    void relayModuleConfig(ushort index, QVector<LantrelProtocol::Konfig_Modul_t> cfg);
    void processingConfig(ushort index, QVector<LantrelProtocol::Konfig_Proc_t> cfg);
    void interactionsConfig(ushort index, QVector<LantrelProtocol::Control_Relay_t> cfg);
    void modulesFwVersion(ushort index, QVector<quint16> versions);
    void controllerStatus(LantrelProtocol::Status_Device_t status);
    void powerStatus(LantrelProtocol::Feature_Device_t status);
    void lineStatus(LantrelProtocol::Status_Line_t status);
    void modulesSupplyVoltage(ushort index, QVector<quint16> voltages);
    void sensorIrVoltage(ushort index, QVector<quint16> voltages);
    void sensorStatus(ushort index, QVector<LantrelProtocol::Status_Section_t> status);
    void sensorSamples(ushort index, QVector<quint16> samples);
    void ioModuleStatus(ushort index, QVector<LantrelProtocol::Status_MVV_t> status);
    void scpModuleStatus(ushort index, QVector<LantrelProtocol::Status_MKZ_t> status);
    void readCompleted(bool ok);
    void writeCompleted(bool ok);
    void eraseFlashCompleted(bool ok);
    void setDefaultsCompleted(bool ok);
    void commandCompleted(ushort cmd_code, bool ok);
    void rebootCompleted(bool ok);
    void firmwareUploadCompleted(bool ok);
    void firmwareMoveProgress(ushort progress);
    void firmwareUpdateProgress(ushort count);
    void monitoringStateChanged(bool enabled);
    void controllerRebooted();
    void eventMemoryStatus(ushort value1, ushort value2);
    void modulesCountChanged();
    void moduleAddressChanged(bool ok);
    void deviceIpChanged(uint ip);
    void deviceAddressChanged(int address);
    void linePollStopped(bool ok);
    // The controller keeps refusing its status block: the last state sent
    // is no longer its state.
    void statusUnavailable();
    // Why the configuration read or write request whose failure follows
    // failed, in words for the user; `busy`: the controller kept answering
    // "not now" until the time limit, and the transfers queued after it
    // are not sent.
    void requestFailed(QString reason, bool busy);

public slots:
    // core (lantreldriver.cpp)
    void start();
    void stop();
    // configuration transfers (lantreldriver_config.cpp)
    void getControllerInfo();
    void getControllerClock();
    void getControllerConfig();
    void getNetworkConfig();
    void getLineConfig();
    void getSensorsConfig();
    void getIoModulesConfig();
    void getScpModulesConfig();
    void getRelayModulesConfig();
    void getProcessingConfig();
    void getInteractionsConfig();
    void setControllerClock();
    void setControllerConfig(QByteArray block_id, LantrelProtocol::Konfig_Device_t dev_cfg,
                             LantrelProtocol::ETH_konf_t net_cfg, LantrelProtocol::Konfig_Line_t line_cfg);
    void setLineConfig(LantrelProtocol::Konfig_Line_t line_cfg);
    void setSensorsConfig(QMap<quint16, LantrelProtocol::Konfig_Section_t> cfg);
    void setIoModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MVV_t> cfg);
    void setScpModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MKZ_t> cfg);
    void setRelayModulesConfig(QMap<quint16, LantrelProtocol::Konfig_Modul_t> cfg, bool update_count);
    void setProcessingConfig(QMap<quint16, LantrelProtocol::Konfig_Proc_t> cfg);
    void setInteractionsConfig(QMap<quint16, LantrelProtocol::Control_Relay_t> cfg);
    void getLineStatus();
    // commands, addressing mode, firmware (lantreldriver_commands.cpp)
    void saveConfigToFlash();
    void restoreConfigFromFlash();
    void eraseFlash();
    void setDefaults();
    void rebootController();
    void executeCommand(ushort cmd_code, ushort dev_addr, ushort count);
    void executeCommand(ushort cmd_code, ushort dev_addr);
    void executeCommand(ushort cmd_code);
    void setControllerSerial(ushort prod_year, ushort serial_no, ushort pcb_ver);
    void setModuleAddressSerial(uchar mod_type, uint serial_no, ushort line_addr, bool set_serial);
    void getModuleAddress(uint serial_no);
    void getModulesFwVersion();
    void uploadFirmware(QByteArray fw_body);
    void getModulesSupplyVoltage();
    // monitoring (lantreldriver_monitor.cpp)
    void setVoltageMeasurementMode(bool yes);
    // commands (lantreldriver_commands.cpp)
    void enableUseMagneticSensor(bool yes);
    void stopLinePolling();
    // The caller no longer waits for the stop: no answer, no more re-reads.
    void cancelLinePollStop();
    // The configuration reads and writes still queued end unsent, as failed;
    // one on the wire ends with its answer, and is not sent again.
    void stopConfigTransfers();

private slots:
    void onDeviceStateChanged(QModbusDevice::State state);
    void onDeviceErrorOccurred(QModbusDevice::Error error);
    void decodeModbusResponse();
    void mainLoopProc();
    void onRequestWatchdog();

private:
    // ---- core (lantreldriver.cpp) ----
    // One pass of the loop: a due reconnection, or the next request of the
    // queue, the addressing mode or the monitoring cycle. Also run as soon
    // as a reply has been handled.
    void serveLink();
    QModbusReply *sendRequest(int function_code, const QByteArray &payload);
    void sendNextRequest();
    void finishRequest(QModbusReply *reply, bool failed);
    // Ends a connection attempt that cannot succeed, saying why.
    void failConnection(const QString &reason);
    QString transportErrorText() const;
    // Appends one item to the end of the queue.
    void enqueue(int kind, int function_code, const QByteArray &payload, quint16 tag = 0,
                 qint16 expected = -1, quint16 group_index = 1, quint16 group_size = 1);
    QString modePrefix() const;
    QDateTime packetTime(qint64 now) const;
    QString cmdCodeName(int code) const;

    // Request framing helpers (big-endian Modbus fields).
    static QByteArray readRegistersPayload(quint16 start, quint16 count);
    static QByteArray writeRegisterPayload(quint16 reg, quint16 value);
    static QByteArray readFilePayload(quint16 file_no, quint16 record, quint16 length);
    // The reply's data after the function code.
    static QByteArray replyData(QModbusReply *reply);
    // Register `index` (from 0) of a function 3 reply's data; 0 past its end.
    static quint16 registerAt(const QByteArray &data, int index);
    // Little-endian 16-bit values of a file record reply, at most max_values.
    static QVector<quint16> recordValues(const QByteArray &data, int max_values);

    // Reads at most max_records whole records of record_size bytes from data
    // after `skip` bytes; a trailing partial record is dropped.
    template <typename T>
    static QVector<T> readRecords(const QByteArray &data, int skip, int record_size, int max_records)
    {
        QVector<T> records;
        if (data.size() <= skip || record_size <= 0 || max_records <= 0)
            return records;
        const int available = (data.size() - skip) / record_size;
        const int count = qMin(available, max_records);
        QDataStream in(data);
        in.setByteOrder(QDataStream::BigEndian);
        in.skipRawData(skip);
        records.reserve(count);
        for (int i = 0; i < count; ++i) {
            T record;
            in >> record;
            records.append(record);
        }
        return records;
    }

    // ---- configuration transfers (lantreldriver_config.cpp) ----
    void decodeQueuedReply(QModbusReply *reply, qint64 now);
    // Built when the request is sent, so that it carries the time of sending.
    static QByteArray clockWritePayload();
    void queueTableRead(int kind, const TableLayout &table);
    // Packs the keys into write requests of at most 251 bytes; returns the
    // number of items queued.
    int queueTableWrite(int kind, quint16 file_no, int record_size, const QList<quint16> &keys,
                        const std::function<void(QDataStream &, quint16)> &write_record);
    void storeLineCounts(const LantrelProtocol::Konfig_Line_t &line_cfg);

    // ---- commands, addressing mode, firmware (lantreldriver_commands.cpp) ----
    // Reply of kinds 29 to 38 (commands, coils, module reads, firmware, serial).
    void decodeCommandReply(QModbusReply *reply, qint64 now);
    void decodeAddressModeReply(QModbusReply *reply, qint64 now);
    void sendAddressModeRequest();
    void executeCoilCommand(quint16 coil);
    void readCoil10();
    void clearCoil10();
    // Records of file 10 read while a module-address job is pending.
    void takeFoundModule(const QVector<LantrelProtocol::Konfig_Section_t> &records);
    // Served after every line-status reply (waiting for the line poll to stop).
    void serveLinePollStopWait(qint64 now);

    // ---- monitoring (lantreldriver_monitor.cpp) ----
    void sendMonitoringRequest();
    void decodeMonitoringReply(QModbusReply *reply, qint64 now);
    void logEventRecord(const LantrelProtocol::Event_Record_t &record);

    // ---- state ----
    static const QMap<int, QString> modeLogPrefixes;
    static const int loopIntervalMs = 2;

    QModbusClient *modbusDevice = nullptr;
    uint connectionType = 0;
    QString address;
    int serverAddress = 0;
    int savedServerAddress = 0;
    bool addressChangePending = false;
    uint deviceIp = 0;
    uint savedDeviceIp = 0;
    bool ipChangePending = false;
    bool factoryReconnectPending = false;
    bool statusRefreshPending = false;
    TextLogger *packetLog = nullptr;
    TextLogger *eventLog = nullptr;
    bool debugLogEnabled = false;
    QElapsedTimer clock;
    QDateTime startTime;
    QTimer *loopTimer = nullptr;
    bool stopping = false;
    bool linkUp = false;
    bool ready = true;
    bool monitoringEnabled = true;
    bool readEventsEnabled = false;
    QList<DriverRequest *> queue;
    int driverMode = MODE_IDLE;
    qint64 cycleDueMs = 0;
    qint64 moduleDataDueMs = 0;
    qint64 irReadyMs = 0;
    qint64 nextSendTime = 0;
    int monitorState = 0;
    int addressingStep = 0;
    bool firstPass = false;
    bool reconnectPending = false;
    bool addressingMode = false;
    bool voltageMeasurement = false;
    int timeoutCount = 0;
    int pollRetryCount = 0;
    quint8 newEventCount = 0;
    quint16 sensorCount = 0;
    quint16 ioModuleCount = 0;
    quint16 scpModuleCount = 0;
    quint16 moduleCount = 0;
    quint16 pageIndex = 0;
    bool linePolling = false;
    LantrelProtocol::Status_Device_t lastControllerStatus {};
    LantrelProtocol::Status_Line_t lastLineStatus {};
    bool addressJobPending = false;
    bool useMagneticSensor = true;
    quint8 expectedModuleType = 0;
    quint16 expectedLineAddress = 0;
    quint32 expectedSerial = 0;
    quint8 firmwareTarget = 0;
    bool waitLinePollStop = false;

    // Log settings, read with the others in the constructor: the worker
    // thread never touches appSettings.
    qint64 debugLogSize = 5242880;
    int debugLogCount = 20;
    bool debugTimestamp = true;
    bool timestampMSec = true;
    QString logDir;
    QString logBaseName;  // lower-case application name
    // The head item's wait for a controller that answers "not now".
    BusyWait requestBusy;
    // The transport's response time-out; 0 leaves Qt's default.
    int responseTimeoutMs = 0;
    // The head item fails because the controller stayed busy.
    bool failedBusy = false;
    // Why the head item fails, for the user; set just before it is finished.
    QString failureReason;
    // The head item was on the wire when the transfers were stopped.
    bool headStopped = false;
    // The program's words for a controller that stays busy.
    static QString busyText();
    // The words for a request given up after the busy time limit, by the
    // exception the controller kept answering.
    QString givenUpText(int code, const QString &what) const;
    // The words for a request the controller refused with `code`.
    static QString refusedText(int code, const QString &what);
    static bool isTransferKind(int kind);
    // The head item's request in those words: "запрос идентификации", "запрос".
    QString headWhat() const;
    // Ends every queued configuration transfer unsent, as failed.
    void dropQueuedTransfers(const QString &reason, bool busy);
    // The completion signal of an item that ended.
    void announceEnd(int kind, quint16 tag, qint16 expected, bool failed);
    // The one request on the wire; a reply that is not this one is stale.
    QModbusReply *replyInFlight = nullptr;
    // disconnected() is emitted once per loss of the link.
    bool disconnectedEmitted = false;

    // ======== reserved for the commands / monitoring code ========
    // Private members and helpers needed only by lantreldriver_commands.cpp
    // and lantreldriver_monitor.cpp go below this line.

    // commands
    bool linePollStopCheck = false;  // stopLinePolling waits for a fresh line status
    int linePollStopReads = 0;       // line-status reads while waiting for the stop
    bool linePollStopCancelled = false;  // a stop command still in the queue starts no wait
    void queueIdentityRequest(quint32 serial_no, bool next);
    // Puts copies of the items at the end of the queue, or right behind the
    // head item when `next` is set.
    void placeItems(const QList<DriverRequest> &items, bool next);
    void queueFoundModuleRead(bool answer_owed, bool next);
    void endLinePollStop(bool ok);

    // monitoring
    qint64 irCommandDueMs = 0;       // no infrared measurement command before this
    bool irStepDue(qint64 now) const;
    void startIrStep();
    void endMonitoringCycle(qint64 now);
    void advanceModuleDataDue(qint64 now);
    void endModulePass(qint64 now, bool after_samples);
    void failIrMeasurement(qint64 now);
    void decodeStatusBlock(const QByteArray &data);
    // The status block was answered with an exception: after the busy time
    // limit the state is said to be unknown until a status block comes.
    void noteStatusRefused(qint64 now, int code);
    BusyWait statusBusy;
    bool statusUnknown = false;

    // ======== end of the commands / monitoring section ========

    // ---- reply checks and the request watchdog (lantreldriver.cpp) ----
    // A reply counts only when it answers the request on the wire: its
    // function, its MBAP header (TCP) and its shape.
    bool replyAnswersRequest(const QModbusReply *reply) const;
    // The reply's function and (TCP) MBAP header are those of the request.
    bool replyMatchesRequestFrame(const QModbusResponse &response) const;
    // A reply that does not answer its request, by mode; true when the
    // controller keeps answering so and the link is to be closed.
    bool rejectReply(QModbusReply *reply, qint64 now);
    // One more time-out in a row; true when that reaches the limit.
    bool countTimeout(QModbusReply *reply);
    // Log and disconnect as the reply handling decided.
    void closeLinkIfDue(bool limitReached);
    void closeLinkOnBrokenAnswers();
    // Reconnects to drop what is left of a frame Qt waits on for ever.
    void recoverLink();
    // Read File Record requests of the monitoring cycle that may be
    // answered with fewer whole records of this size (0: none).
    int partialRecordSize() const;
    // Abandons the monitoring cycle after an exception (its code; -1 for
    // none) or a reply that is no answer (lantreldriver_monitor.cpp).
    void abandonMonitoringCycle(qint64 now, int exceptionCode = -1);
    bool rejectMonitoringReply(qint64 now);
    // The addressing poll after an exception or a reply that is no answer
    // (lantreldriver_commands.cpp).
    void deferAddressingPoll(qint64 now);

    enum LinkRecovery { RecoveryNone, RecoveryDropping, RecoveryReconnect, RecoveryConnecting };

    int sentFunction = 0;           // function and data of the request on the wire
    QByteArray sentPayload;
    QTimer *requestWatchdog = nullptr;
    MbapHeaderCheck *mbapCheck = nullptr;   // Modbus TCP only
    int linkRecovery = RecoveryNone;
    // Replies in a row to the monitoring polls that were no answer: a
    // controller that keeps answering wrongly is no live link. A good reply
    // to any poll ends the row.
    int monitorRejects = 0;
    // The command in flight was seen running since its write.
    bool commandSeenBusy = false;
};

#endif // LANTRELDRIVER_H
