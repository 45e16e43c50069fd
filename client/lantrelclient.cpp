#include "lantrelclient.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QScopeGuard>
#include <QTimer>

#include <cstring>
#include <memory>

#include "configurationmanager.h"
#include "controllerconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantreldriver.h"
#include "linemodulesmodel.h"
#include "processingconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace {
// How long a shut-down waits for the restart that ends the addressing mode
// when the controller does not come back.
constexpr int AddressModeRestartLimitMs = 20000;
constexpr int DriverStopLimitMs = 3000;
constexpr int LineAddressCount = LineModulesModel::RowCount;
}

LantrelClient::LantrelClient(QObject *parent)
    : QObject(parent)
{
    registerMetaTypes();

    m_controllerModel = new ControllerConfigModel(this);
    connect(this, &LantrelClient::lineConfigChanged,
            m_controllerModel, &ControllerConfigModel::setLineConfig);
    connect(m_controllerModel, &ControllerConfigModel::dataChanged, this,
            [this](const QVector<int> &roles) {
                // The identity, which the user does not edit, is no edit.
                if (roles.contains(ControllerConfigModel::SettingsReplaced)
                    || roles.contains(ControllerConfigModel::ParameterEdited))
                    noteEdit(controllerEditPart());
            });

    m_lineModulesModel = new LineModulesModel(this);

    m_sensorsModel = new SensorsConfigModel(this);
    connect(m_sensorsModel, &QAbstractItemModel::rowsRemoved, this, &LantrelClient::clearSourcesCache);
    connect(m_sensorsModel, &QAbstractItemModel::dataChanged, this, &LantrelClient::onModelDataChanged);

    m_ioModulesModel = new IoModulesConfigModel(this);
    connect(m_ioModulesModel, &QAbstractItemModel::rowsRemoved, this, &LantrelClient::clearSourcesCache);
    connect(m_ioModulesModel, &IoModulesConfigModel::relayTimeChanged, this, &LantrelClient::onRelayTimeChanged);
    connect(m_ioModulesModel, &QAbstractItemModel::dataChanged, this, &LantrelClient::onModelDataChanged);

    m_scpModulesModel = new ScpModulesConfigModel(this);
    connect(m_scpModulesModel, &QAbstractItemModel::dataChanged, this, &LantrelClient::onModelDataChanged);

    m_relayModulesModel = new RelayModulesConfigModel(this);
    connect(m_relayModulesModel, &RelayModulesConfigModel::relayTimeChanged, this, &LantrelClient::onRelayTimeChanged);
    connect(m_relayModulesModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QVector<int> &roles) {
                if (roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole))
                    noteEdit(RelayModulesPart);
            });
    connect(m_relayModulesModel, &QAbstractItemModel::rowsInserted, this, [this] { noteEdit(RelayModulesPart); });
    connect(m_relayModulesModel, &QAbstractItemModel::rowsRemoved, this, [this] { noteEdit(RelayModulesPart); });

    m_processingModel = new ProcessingConfigModel(this);
    connect(m_processingModel, &QAbstractItemModel::dataChanged, this, &LantrelClient::onModelDataChanged);

    m_interactionsModel = new InteractionsConfigModel(this);
    connect(m_interactionsModel, &QAbstractItemModel::rowsRemoved, this, &LantrelClient::clearSourcesCache);
    connect(m_interactionsModel, &InteractionsConfigModel::interactionDeleted, this, &LantrelClient::onInteractionDeleted);
    connect(m_interactionsModel, &QAbstractItemModel::dataChanged, this, &LantrelClient::onModelDataChanged);

    connect(m_relayModulesModel, &RelayModulesConfigModel::moduleDeteted,
            m_interactionsModel, &InteractionsConfigModel::removeExecutorInteractions);

    // The document lives in this thread too, but is spoken to queued both
    // ways so that it behaves exactly like the driver.
    m_document = new ConfigurationManager(this);
    connect(this, &LantrelClient::saveControllerConfig, m_document, &ConfigurationManager::setControllerConfig, Qt::QueuedConnection);
    connect(this, &LantrelClient::saveSensorsConfig, m_document, &ConfigurationManager::setSensorsConfig, Qt::QueuedConnection);
    connect(this, &LantrelClient::saveIoModulesConfig, m_document, &ConfigurationManager::setIoModulesConfig, Qt::QueuedConnection);
    connect(this, &LantrelClient::saveScpModulesConfig, m_document, &ConfigurationManager::setScpModulesConfig, Qt::QueuedConnection);
    connect(this, &LantrelClient::saveRelayModulesConfig, m_document, &ConfigurationManager::setRelayModulesConfig, Qt::QueuedConnection);
    connect(this, &LantrelClient::saveProcessingConfig, m_document, &ConfigurationManager::setProcessingConfig, Qt::QueuedConnection);
    connect(this, &LantrelClient::saveInteractionsConfig, m_document, &ConfigurationManager::setInteractionsConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::controllerInfo, this, &LantrelClient::onControllerInfo, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::controllerConfig, this, &LantrelClient::onControllerConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::sensorConfig, this, &LantrelClient::onSensorConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::ioModuleConfig, this, &LantrelClient::onIoModuleConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::scpModuleConfig, this, &LantrelClient::onScpModuleConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::relayModuleConfig, this, &LantrelClient::onRelayModuleConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::processingConfig, this, &LantrelClient::onProcessingConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::interactionsConfig, this, &LantrelClient::onInteractionsConfig, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::readCompleted, this, &LantrelClient::onReadCompleted, Qt::QueuedConnection);
    connect(m_document, &ConfigurationManager::writeCompleted, this, &LantrelClient::onWriteCompleted, Qt::QueuedConnection);

    // Made once, here: a handler with the driver as context would run in the
    // worker thread, and one per connection would pile up.
    connect(this, &LantrelClient::driverStopped, this, [this]() {
        m_connection = ClientConnection();
        m_connected = false;
        releaseDriver();
    });

    scanNetworkInterfaces();
}

LantrelClient::~LantrelClient()
{
    if (m_thread.isRunning()) {
        releaseDriver();
        // Waited for to its end, as before a new connection: stopping it by
        // force cancels it inside Qt's code, which aborts the program (a
        // serial port may take seconds to close on a loaded machine).
        m_thread.wait();
    }
}

// ---------------------------------------------------------------------------
// Driver life cycle

void LantrelClient::invokeDriver(const char *slot, QGenericArgument a0, QGenericArgument a1,
                                 QGenericArgument a2, QGenericArgument a3)
{
    if (m_driver)
        QMetaObject::invokeMethod(m_driver.data(), slot, Qt::QueuedConnection, a0, a1, a2, a3);
}

void LantrelClient::invokeCommand(quint16 code, quint16 a, quint16 b)
{
    invokeDriver("executeCommand", Q_ARG(quint16, code), Q_ARG(quint16, a), Q_ARG(quint16, b));
}

void LantrelClient::connectToDevice(uint conn_type, const QString &address, int line_addr)
{
    if (m_driver)
        shutdownDriver();

    // A thread that was only asked to quit would ignore start(), and the
    // new driver would never run.
    if (m_thread.isRunning()) {
        m_thread.quit();
        m_thread.wait();
    }

    m_lastLinkError.clear();
    m_connected = false;
    m_connection.connType = int(conn_type);
    m_connection.address = address;
    m_connection.lineAddress = line_addr;

    auto *driver = new LantrelDriver(conn_type, address, line_addr, nullptr);
    m_driver = driver;
    driver->moveToThread(&m_thread);
    connectDriverSignals(driver);
    m_thread.start(QThread::InheritPriority);
}

void LantrelClient::connectDriverSignals(LantrelDriver *driver)
{
    const auto q = Qt::QueuedConnection;

    connect(&m_thread, &QThread::started, driver, &LantrelDriver::start, q);
    // Only the first end of the current driver counts: a stop asked of a
    // driver that stopped on its own ends it once more.
    const quint32 generation = m_driverGeneration;
    connect(driver, &LantrelDriver::finished, this, [this, generation]() {
        if (generation == m_driverGeneration && m_driver)
            emit driverStopped();
    }, q);
    connect(&m_thread, &QThread::finished, driver, &QObject::deleteLater);

    connect(driver, &LantrelDriver::writeToLog, this, &LantrelClient::writeToLog, q);
    connect(driver, &LantrelDriver::linkError, this, [this](const QString &reason) {
        // The first reason is the cause; what follows is its consequence.
        if (m_lastLinkError.isEmpty())
            m_lastLinkError = reason;
        emit linkError(reason);
    }, q);
    connect(driver, &LantrelDriver::connected, this, &LantrelClient::onDeviceConnected, q);
    connect(driver, &LantrelDriver::disconnected, this, &LantrelClient::onDeviceDisconnected, q);
    connect(driver, &LantrelDriver::controllerInfo, this, &LantrelClient::onControllerInfo, q);
    connect(driver, &LantrelDriver::controllerDateTime, this, &LantrelClient::onControllerDateTime, q);
    connect(driver, &LantrelDriver::controllerConfig, this, &LantrelClient::onControllerConfig, q);
    connect(driver, &LantrelDriver::networkConfig, m_controllerModel, &ControllerConfigModel::setNetworkConfig, q);
    connect(driver, &LantrelDriver::lineConfig, this, &LantrelClient::onLineConfigRead, q);
    connect(driver, &LantrelDriver::sensorConfig, this, &LantrelClient::onSensorConfig, q);
    connect(driver, &LantrelDriver::ioModuleConfig, this, &LantrelClient::onIoModuleConfig, q);
    connect(driver, &LantrelDriver::scpModuleConfig, this, &LantrelClient::onScpModuleConfig, q);
    connect(driver, &LantrelDriver::relayModuleConfig, this, &LantrelClient::onRelayModuleConfig, q);
    connect(driver, &LantrelDriver::processingConfig, this, &LantrelClient::onProcessingConfig, q);
    connect(driver, &LantrelDriver::interactionsConfig, this, &LantrelClient::onInteractionsConfig, q);
    connect(driver, &LantrelDriver::controllerStatus, this, &LantrelClient::onControllerStatus, q);
    connect(driver, &LantrelDriver::powerStatus, this, &LantrelClient::onPowerStatus, q);
    connect(driver, &LantrelDriver::lineStatus, this, &LantrelClient::onLineStatus, q);
    connect(driver, &LantrelDriver::statusUnavailable, this, &LantrelClient::onStatusUnavailable, q);
    connect(driver, &LantrelDriver::sensorStatus, this, &LantrelClient::onSensorStatus, q);
    connect(driver, &LantrelDriver::sensorSamples, this, &LantrelClient::sensorSamples, q);
    connect(driver, &LantrelDriver::ioModuleStatus, this, &LantrelClient::onIoModuleStatus, q);
    connect(driver, &LantrelDriver::scpModuleStatus, this, &LantrelClient::onScpModuleStatus, q);
    connect(driver, &LantrelDriver::readCompleted, this, &LantrelClient::onReadCompleted, q);
    connect(driver, &LantrelDriver::writeCompleted, this, &LantrelClient::onWriteCompleted, q);
    connect(driver, &LantrelDriver::setDefaultsCompleted, this, &LantrelClient::onSetDefaultsCompleted, q);
    connect(driver, &LantrelDriver::eraseFlashCompleted, this, &LantrelClient::onEraseFlashCompleted, q);
    connect(driver, &LantrelDriver::commandCompleted, this, &LantrelClient::onCommandCompleted, q);
    connect(driver, &LantrelDriver::rebootCompleted, this, &LantrelClient::onRebootCompleted, q);
    connect(driver, &LantrelDriver::modulesFwVersion, this, &LantrelClient::onModulesFwVersion, q);
    connect(driver, &LantrelDriver::modulesSupplyVoltage, this, &LantrelClient::modulesSupplyVoltage, q);
    connect(driver, &LantrelDriver::sensorIrVoltage, this, &LantrelClient::sensorIrVoltage, q);
    connect(driver, &LantrelDriver::firmwareUploadCompleted, this, &LantrelClient::onFirmwareUploadCompleted, q);
    connect(driver, &LantrelDriver::firmwareMoveProgress, this, &LantrelClient::onFirmwareMoveProgress, q);
    connect(driver, &LantrelDriver::firmwareUpdateProgress, this, &LantrelClient::firmwareUpdateProgress, q);
    connect(driver, &LantrelDriver::monitoringStateChanged, this, &LantrelClient::onMonitoringStateChanged, q);
    connect(driver, &LantrelDriver::controllerRebooted, this, &LantrelClient::onControllerRebooted, q);
    connect(driver, &LantrelDriver::eventMemoryStatus, this, &LantrelClient::eventMemoryStatus, q);
    connect(driver, &LantrelDriver::modulesCountChanged, this, &LantrelClient::onModulesCountChanged, q);
    connect(driver, &LantrelDriver::moduleAddressChanged, this, &LantrelClient::onModuleAddressChanged, q);
    connect(driver, &LantrelDriver::deviceAddressChanged, this, &LantrelClient::onDeviceAddressChanged, q);
    connect(driver, &LantrelDriver::deviceIpChanged, this, &LantrelClient::onDeviceIpChanged, q);
    connect(driver, &LantrelDriver::linePollStopped, this, &LantrelClient::onLinePollStopped, q);
    connect(driver, &LantrelDriver::requestFailed, this, &LantrelClient::onRequestFailed, q);

    connect(this, &LantrelClient::setControllerConfig, driver, &LantrelDriver::setControllerConfig, q);
    connect(this, &LantrelClient::setLineConfig, driver, &LantrelDriver::setLineConfig, q);
    connect(this, &LantrelClient::setSensorsConfig, driver, &LantrelDriver::setSensorsConfig, q);
    connect(this, &LantrelClient::setIoModulesConfig, driver, &LantrelDriver::setIoModulesConfig, q);
    connect(this, &LantrelClient::setScpModulesConfig, driver, &LantrelDriver::setScpModulesConfig, q);
    connect(this, &LantrelClient::setRelayModulesConfig, driver, &LantrelDriver::setRelayModulesConfig, q);
    connect(this, &LantrelClient::setProcessingConfig, driver, &LantrelDriver::setProcessingConfig, q);
    connect(this, &LantrelClient::setInteractionsConfig, driver, &LantrelDriver::setInteractionsConfig, q);
}

void LantrelClient::shutdownDriver()
{
    if (!m_driver)
        return;

    if (m_addressingMode) {
        // The addressing mode ends only with a controller restart. The wait
        // is bounded: the controller may never come back.
        m_stepsDone = 65535;
        emit taskStarted(QStringLiteral("Завершение режима конфигурирования линии..."), 0);
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(m_driver.data(), &LantrelDriver::rebootCompleted, &loop, &QEventLoop::quit);
        connect(this, &LantrelClient::driverStopped, &loop, &QEventLoop::quit);
        connect(this, &LantrelClient::deviceDisconnected, &loop, &QEventLoop::quit);
        invokeDriver("rebootController");
        limit.start(AddressModeRestartLimitMs);
        if (m_driver)
            loop.exec();
    }

    if (!m_driver)
        return;

    emit writeToLog(QStringLiteral("Завершение работы протокольного модуля"));
    // The read or write this ends was ended by the user: no error of it.
    m_shuttingDown = true;
    const auto shutDown = qScopeGuard([this]() { m_shuttingDown = false; });

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, [this, &loop]() {
        abandonDriver();
        loop.quit();
    });
    connect(this, &LantrelClient::driverStopped, &loop, [&limit, &loop]() {
        limit.stop();
        loop.quit();
    });
    invokeDriver("stop");
    limit.start(DriverStopLimitMs);
    loop.exec();
}

void LantrelClient::releaseDriver()
{
    if (LantrelDriver *driver = m_driver.data()) {
        // Alive here: its thread runs until the quit below. Nothing of it
        // reaches this object any more, nor anything of this object it.
        disconnect(driver, nullptr, this, nullptr);
        disconnect(driver, nullptr, m_controllerModel, nullptr);
        disconnect(this, nullptr, driver, nullptr);
    }
    m_driver.clear();
    ++m_driverGeneration;
    m_thread.quit();
}

void LantrelClient::abandonDriver()
{
    if (!m_driver)
        return;
    emit writeToLog(QStringLiteral("Протокольный модуль не завершил работу в отведённое время"));
    if (m_connected)
        onDeviceDisconnected();
    emit driverStopped();
}

// ---------------------------------------------------------------------------
// Task protocol

void LantrelClient::resetTaskState()
{
    m_readTotal = 0;
    m_writeTotal = 0;
    m_stepsDone = 0;
    m_readFailed = false;
    m_writeFailed = false;
    m_modified = false;
    m_importWhileConnected = false;
    m_addressingMode = false;
    m_lineModulesChanged = false;
    m_wholeWrite = false;
    m_pendingFlashSave = false;
    m_rereadAfterRestart = false;
    m_pendingLineUpload = false;
    m_skipDataset = false;
    m_rereadPending = false;
    m_fillingModels = false;
    m_moduleSearch = false;
    m_linePollStopPending = false;
    m_linePollStopCancelled = false;
    m_changeTold = false;
    m_configSaved = true;
    m_restartAccepted = false;
    setConfigurationBusy(false);
}

void LantrelClient::startCommandTask(const QString &text)
{
    m_stepsDone = 65535;
    emit taskStarted(text, 0);
}

void LantrelClient::beginRead(const QString &text, quint16 steps, const QVector<ReadStep> &plan)
{
    m_failureReason.clear();
    m_transferBusy = false;
    m_transferStopped = false;
    m_stepsDone = 0;
    m_readFailed = false;
    m_readTotal = steps;
    m_readPlan = plan;
    m_missingSteps.clear();
    emit taskStarted(text, steps);
}

void LantrelClient::beginWrite(bool wholeWrite)
{
    commitOpenEditors();
    m_failureReason.clear();
    m_transferBusy = false;
    m_transferStopped = false;
    m_writePlan.clear();
    m_unwrittenSteps.clear();
    m_stepsDone = 0;
    m_writeTotal = 0;
    m_writeFailed = false;
    m_wholeWrite = wholeWrite;
}

// A write of part of the tables leaves the edits made before it unsent.
void LantrelClient::restoreModifiedAfterWrite(const EditMarks &before)
{
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(this, &LantrelClient::writeFinished, this, [this, once, before]() {
        disconnect(*once);
        if (m_writeFailed)
            return;
        m_modified = before.modified || m_editSerial != m_sentSerial;
        if (before.unsaved)
            m_keptSerial = before.kept;
    });
}

void LantrelClient::markSentAfterWrite(const QVector<int> &parts, const EditMarks &before)
{
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(this, &LantrelClient::writeFinished, this, [this, once, parts, before]() {
        disconnect(*once);
        if (m_writeFailed)
            return;
        m_modified = before.modified || m_editSerial != m_sentSerial;
        for (int part : parts)
            if (m_partEdit[part] <= m_sentSerial)
                m_partEdit[part] = 0;
        // Edits of the other parts, and those made while the write ran, are
        // still unsent; without them nothing sent before the write is.
        m_keptSerial = before.kept;
        if (unsavedParts().isEmpty())
            m_keptSerial = m_sentSerial;
    });
}

void LantrelClient::startWriteTask(const QString &text)
{
    m_sentSerial = m_editSerial;
    if (!toDocument())
        m_unflashedController = m_controllerModel->info.serialNumber;
    setConfigurationBusy(true);
    emit taskStarted(text, m_writeTotal);
}

void LantrelClient::setConfigurationBusy(bool busy)
{
    if (busy == m_configBusy)
        return;
    if (busy)
        commitOpenEditors();
    m_configBusy = busy;
    if (busy)
        emit configurationBusyChanged(true);
    m_controllerModel->setEditable(!busy);
    m_sensorsModel->setEditable(!busy);
    m_ioModulesModel->setEditable(!busy);
    m_scpModulesModel->setEditable(!busy);
    m_relayModulesModel->setEditable(!busy);
    m_processingModel->setEditable(!busy);
    if (!busy)
        emit configurationBusyChanged(false);
}

void LantrelClient::noteEdit(int part)
{
    m_modified = true;
    // What a read puts into the models is the controller's, no edit.
    if (m_fillingModels)
        return;
    ++m_editSerial;
    if (part == NoPart)
        return;
    m_partEdit[part] = m_editSerial;
}

quint32 LantrelClient::lastSettingsEdit() const
{
    return qMax(m_partEdit[ControllerPart], qMax(m_partEdit[LinePart], m_partEdit[RelayModulesPart]));
}

void LantrelClient::beginModelFill(bool keepSettingsEdits)
{
    m_keepSettingsEdits = keepSettingsEdits;
    // The edits the read replaces are gone from the models from now on, even
    // if the read is cut short.
    if (!keepSettingsEdits)
        m_keptSerial = m_editSerial;
    m_moduleTablesReplaced = m_editSerial;
    m_fillingModels = true;
}

int LantrelClient::controllerEditPart()
{
    const ControllerConfigModel &m = *m_controllerModel;
    const bool line = memcmp(&m.lineConfig, &m_seenLine, sizeof m_seenLine) != 0;
    const bool others = memcmp(&m.deviceConfig, &m_seenDevice, sizeof m_seenDevice) != 0
                        || memcmp(&m.networkConfig, &m_seenNetwork, sizeof m_seenNetwork) != 0
                        || m.blockId != m_seenBlockId;
    m_seenLine = m.lineConfig;
    m_seenDevice = m.deviceConfig;
    m_seenNetwork = m.networkConfig;
    m_seenBlockId = m.blockId;
    return line && !others ? LinePart : ControllerPart;
}

int LantrelClient::modelPart(const QObject *model) const
{
    if (model == m_sensorsModel)
        return SensorsPart;
    if (model == m_ioModulesModel)
        return IoModulesPart;
    if (model == m_scpModulesModel)
        return ScpModulesPart;
    if (model == m_processingModel)
        return ProcessingPart;
    if (model == m_interactionsModel)
        return InteractionsPart;
    return NoPart;
}

QVector<int> LantrelClient::unsavedParts() const
{
    QVector<int> parts;
    for (int part = 0; part < PartCount; ++part)
        if (m_partEdit[part] > m_keptSerial)
            parts << part;
    return parts;
}

void LantrelClient::noteLineModulesEdit()
{
    m_lineModulesChanged = true;
    noteEdit(NoPart);
}

void LantrelClient::commitOpenEditors()
{
    // Not while the models are read-only: the value would be refused.
    if (!m_configBusy)
        emit openEditorsCommitRequested();
}

bool LantrelClient::hasUnsentEdits()
{
    commitOpenEditors();
    return hasUnsavedEdits();
}

bool LantrelClient::hasUnsentModuleTableEdits()
{
    if (!hasUnsentEdits())
        return false;
    const quint32 replaced = qMax(m_keptSerial, m_moduleTablesReplaced);
    for (int part : {SensorsPart, IoModulesPart, ScpModulesPart, ProcessingPart, InteractionsPart})
        if (m_partEdit[part] > replaced)
            return true;
    return false;
}

void LantrelClient::setConfigSaved()
{
    m_configSaved = true;
    m_restartAccepted = false;
    m_unflashedController.clear();
}

void LantrelClient::onTaskCompleted(bool success)
{
    ++m_stepsDone;
    emit taskCompleted(m_stepsDone, success);
}

void LantrelClient::onReadCompleted(bool success)
{
    // A read is no success while the tables lack records it brought.
    const bool lastStep = m_readTotal != 0 && quint16(m_stepsDone + 1) == m_readTotal;
    onTaskCompleted(success && !(lastStep && !m_heldInteractions.isEmpty()));
    if (!success) {
        m_readFailed = true;
        if (m_stepsDone <= m_readPlan.size())
            m_missingSteps.append(m_readPlan.at(m_stepsDone - 1));
    }
    if (m_stepsDone < m_readTotal)
        return;

    m_readTotal = 0;
    m_fillingModels = false;
    setConfigurationBusy(false);
    if (m_skipDataset) {
        m_skipDataset = false;
    } else {
        // The models hold what was read or loaded: nothing of the user's is
        // in the tables it replaced.
        if (!m_keepSettingsEdits) {
            m_keptSerial = m_editSerial;
        } else {
            // The line settings came with the tables, an unsent line mode
            // kept (onLineConfigRead).
            for (int part : {SensorsPart, IoModulesPart, ScpModulesPart, ProcessingPart, InteractionsPart})
                m_partEdit[part] = 0;
        }
        m_datasetComplete = !m_readFailed;
        m_changeTold = false;
        emit datasetChanged();
        if (!m_readFailed && !m_keepSettingsEdits)
            m_modified = false;
        else if (!m_missingSteps.isEmpty())
            reportTaskFailure(QStringLiteral("%1, не прочитаны: %2.%3 "
                                            "Пока она не прочитана полностью, передать её в ЦУ-Л нельзя")
                                 .arg(m_transferStopped ? QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л остановлено")
                                                        : QStringLiteral("Конфигурация ИОП прочитана из ЦУ-Л не полностью"),
                                      missingPartsText(), transferEndText()));
        if (!m_readFailed && !m_heldInteractions.isEmpty())
            emit clientError(heldRecordsText());
    }
    if (m_importWhileConnected) {
        m_modified = true;
        m_importWhileConnected = false;
    }

    // A busy controller is not asked for the whole configuration again on
    // the program's own account, nor is a read the user stopped started anew.
    if (m_transferBusy || m_transferStopped)
        m_rereadPending = false;
    runPendingReread();
}

void LantrelClient::runPendingReread()
{
    // A re-read was asked for while another read or write ran.
    if (m_rereadPending) {
        m_rereadPending = false;
        QTimer::singleShot(0, this, &LantrelClient::rereadConfiguration);
    }
}

void LantrelClient::onWriteCompleted(bool success)
{
    onTaskCompleted(success);
    if (!success && m_stepsDone <= m_writePlan.size())
        m_unwrittenSteps.append(m_stepsDone - 1);
    if (success) {
        // Only the controller's own memory can stop matching its flash; an
        // agreement to lose what it held does not cover what it holds now.
        if (!toDocument()) {
            m_configSaved = false;
            m_restartAccepted = false;
        }
    } else {
        m_writeFailed = true;
    }
    if (m_stepsDone < m_writeTotal)
        return;

    m_writeTotal = 0;
    setConfigurationBusy(false);
    if (m_writeFailed) {
        if (toDocument())
            emit clientError(QStringLiteral("В процессе обновления данных автономной конфигурации были ошибки"));
        else
            reportTaskFailure(QStringLiteral("%1, не переданы: %2.%3")
                                 .arg(m_transferStopped ? QStringLiteral("Передача конфигурации ИОП в ЦУ-Л остановлена")
                                                        : QStringLiteral("В процессе передачи данных в ЦУ-Л были ошибки"),
                                      unwrittenPartsText(), transferEndText()));
        m_pendingFlashSave = false;
        m_pendingLineUpload = false;
        emit writeFinished();
        if (m_transferBusy || m_transferStopped)
            m_rereadPending = false;
        runPendingReread();
        return;
    }

    // A file save tells nothing about what the controller holds.
    if (!m_fileMode || !m_driver) {
        if (m_wholeWrite) {
            m_wholeWrite = false;
            m_lineModulesChanged = false;
        }
        // Edits made while the write ran were not sent.
        m_modified = m_editSerial != m_sentSerial;
        if (!toDocument())
            m_keptSerial = m_sentSerial;
    } else {
        m_wholeWrite = false;
    }
    emit writeFinished();

    if (m_pendingFlashSave) {
        m_pendingFlashSave = false;
        QTimer::singleShot(20, Qt::PreciseTimer, this, &LantrelClient::startFlashSave);
    } else if (m_pendingLineUpload) {
        m_pendingLineUpload = false;
        QTimer::singleShot(20, Qt::PreciseTimer, this, &LantrelClient::startLineUpload);
    }
    runPendingReread();
}

void LantrelClient::startFlashSave()
{
    startCommandTask(QStringLiteral("Сохранение конфигурации ИОП..."));
    invokeDriver("saveConfigToFlash");
}

void LantrelClient::startLineUpload()
{
    startCommandTask(QStringLiteral("Передача параметров конфигурации в линейные модули..."));
    invokeCommand(MOV_SETT_SECT);
}

void LantrelClient::onRebootCompleted(bool success)
{
    onTaskCompleted(success);
    if (!success) {
        reportStepFailure(QStringLiteral("Ошибка выполнения команды перезапуска ЦУ-Л"));
        return;
    }
    resetAllModuleStates();
    if (m_addressingMode) {
        m_addressingMode = false;
        m_wholeWrite = false;
    }
    emit deviceRebooted();
    m_lineModulesChanged = false;

    // What was not saved to flash is gone from the controller: read it anew.
    const bool reread = !m_configSaved || m_rereadAfterRestart;
    setConfigSaved();
    m_rereadAfterRestart = false;
    if (reread) {
        // A new change: asked about even when an earlier one was left unread.
        m_changeTold = false;
        const quint32 reads = m_wholeReadsStarted;
        QTimer::singleShot(4000, Qt::CoarseTimer, this, [this, reads]() {
            // A read started meanwhile (the module counts changed) took it.
            if (m_wholeReadsStarted == reads)
                rereadConfiguration();
        });
    }
}

void LantrelClient::rereadAfterControllerChange()
{
    m_changeTold = false;
    rereadConfiguration();
}

void LantrelClient::onEraseFlashCompleted(bool success)
{
    onTaskCompleted(success);
    if (!success)
        emit clientError(QStringLiteral("Ошибка выполнения команды очистки установок в энергонезависимой памяти ЦУ-Л"));
}

void LantrelClient::onLinePollStopped(bool success)
{
    // The answer to a stop given up on comes to nobody.
    if (m_linePollStopCancelled)
        return;
    m_linePollStopPending = false;
    onTaskCompleted(success);
    if (!success)
        emit clientError(QStringLiteral("Ошибка выполнения процедуры остановки чтения линии"));
    emit linePollStopped(success);
}

void LantrelClient::onFirmwareMoveProgress(ushort block_num)
{
    emit taskCompleted(block_num, true);
}

void LantrelClient::onFirmwareUploadCompleted(bool success)
{
    onTaskCompleted(success);
    if (success) {
        if (m_stepsDone == m_commandTotal)
            emit firmwareUploaded(true);
        return;
    }
    emit taskCompleted(m_commandTotal, false);
    emit firmwareUploaded(false);
    reportStepFailure(QStringLiteral("Ошибка передачи файла прошивки в ЦУ-Л"));
}

void LantrelClient::reportStepFailure(const QString &text)
{
    // The driver gives its reason before it fails what was under way.
    if (m_lastLinkError.isEmpty())
        reportTaskFailure(text);
    else
        emit writeToLog(text);
}

void LantrelClient::reportTaskFailure(const QString &text)
{
    if (m_shuttingDown)
        emit writeToLog(text);
    else
        emit clientError(text);
}

void LantrelClient::onModelDataChanged(const QModelIndex &, const QModelIndex &, const QVector<int> &roles)
{
    if (roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole))
        noteEdit(modelPart(sender()));
}

void LantrelClient::onModelRowCountChanged()
{
    noteEdit(modelPart(sender()));
}

// ---------------------------------------------------------------------------
// Connection, identity, clock and status

void LantrelClient::onDeviceConnected()
{
    emit writeToLog(QStringLiteral("Подключен к ЦУ-Л"));
    // The main window starts the first read inside deviceConnected: the
    // task state must be fresh before that.
    resetTaskState();
    m_connected = true;
    emit deviceConnected(m_connection);
}

void LantrelClient::onDeviceDisconnected()
{
    m_connected = false;
    resetTaskState();
    resetAllModuleStates();
    emit writeToLog(QStringLiteral("Отключен от ЦУ-Л"));
    emit deviceDisconnected();
}

void LantrelClient::onDeviceAddressChanged(int line_addr)
{
    m_connection.lineAddress = line_addr;
    emit connectionChanged(m_connection);
}

void LantrelClient::onDeviceIpChanged(uint ip_addr)
{
    m_connection.address = QHostAddress(quint32(ip_addr)).toString();
    emit connectionChanged(m_connection);
}

void LantrelClient::onControllerInfo(Info_Device_t dev_info, ushort, QDate fw_date)
{
    m_keepIdentity = true;
    const QString serial = QStringLiteral("%1.%2").arg(dev_info.SerialNo).arg(dev_info.ProdYear);

    if (sender() == m_document && m_driver) {
        // A file imported while connected: only decide whether it belongs
        // to the connected controller.
        m_keepIdentity = (serial == m_controllerModel->info.serialNumber);
        return;
    }

    ControllerInfo info;
    info.deviceType = int(dev_info.DeviceType);
    info.serialNumber = serial;
    info.boardVersion = versionToString(dev_info.PCBVer);
    info.firmwareVersion = versionToString(dev_info.FwVer);
    info.firmwareDate = fw_date.toString(QStringLiteral("dd.MM.yyyy"));
    m_controllerModel->setControllerInfo(info);

    // Its memory was written and not saved to flash before the link was lost.
    if (m_driver && !m_unflashedController.isEmpty() && serial == m_unflashedController)
        m_configSaved = false;

    if (m_driver) {
        emit writeToLog(QStringLiteral("Чтение информации о блоке. Серийный номер - %1, версия ПО - %2, версия платы - %3")
                            .arg(info.serialNumber, info.firmwareVersion, info.boardVersion));
    }
}

void LantrelClient::onControllerDateTime(QDateTime dt)
{
    emit writeToLog(QStringLiteral("Показания часов ЦУ-Л - ") + dt.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    // A clock that does not hold a valid date is as wrong as one that is off.
    const bool invalid = !dt.isValid();
    const qint64 diff = invalid ? 0 : dt.secsTo(QDateTime::currentDateTime());
    if (invalid || qAbs(diff) > 9) {
        emit writeToLog(QStringLiteral("Разница показаний часов ЦУ-Л и локального ПК превышает 10 с. "
                                       "Будет выполнена корректировка показаний часов ЦУ-Л"));
        invokeDriver("setControllerClock");
    }
}

void LantrelClient::resetAllModuleStates()
{
    for (int addr = 1; addr <= LineAddressCount; ++addr)
        m_lineModulesModel->resetModuleState(quint16(addr));
}

void LantrelClient::onControllerStatus(Status_Device_t stat)
{
    m_lastControllerStatus = stat;
    emit controllerStatusChanged(stat);
}

void LantrelClient::onPowerStatus(Feature_Device_t stat)
{
    m_lastPowerStatus = stat;
    emit powerStatusChanged(stat);
}

void LantrelClient::onLineStatus(Status_Line_t stat)
{
    m_lastLineStatus = stat;
    if (stat.State == LN_NON || stat.State == LN_OFF || stat.State == UnknownLineState)
        resetAllModuleStates();
    emit lineStatusChanged(stat);
}

void LantrelClient::onStatusUnavailable()
{
    Status_Line_t unknown;
    unknown.State = UnknownLineState;
    onLineStatus(unknown);
}

void LantrelClient::onSensorStatus(ushort first_idx, QVector<Status_Section_t> stat)
{
    for (int k = 0; k < stat.size(); ++k) {
        const quint16 addr = m_sensorsModel->moduleAt(quint16(first_idx + k)).lineAddress;
        if (addr != 0)
            m_lineModulesModel->setModuleState(addr, stat[k].State0, stat[k].State1, stat[k].State2);
    }
}

void LantrelClient::onIoModuleStatus(ushort first_idx, QVector<Status_MVV_t> stat)
{
    for (int k = 0; k < stat.size(); ++k) {
        const quint16 addr = m_ioModulesModel->moduleAt(quint16(first_idx + k)).lineAddress;
        if (addr != 0)
            m_lineModulesModel->setModuleState(addr, stat[k].State0, stat[k].State1, stat[k].State2);
    }
}

void LantrelClient::onScpModuleStatus(ushort first_idx, QVector<Status_MKZ_t> stat)
{
    for (int k = 0; k < stat.size(); ++k) {
        const quint16 addr = m_scpModulesModel->moduleAt(quint16(first_idx + k)).lineAddress;
        if (addr == 0)
            continue;
        m_lineModulesModel->setModuleState(addr, stat[k].State0, stat[k].State1, stat[k].State2);
        m_lineModulesModel->setModuleVoltages(addr, stat[k].Value1, stat[k].Value2);
    }
}

void LantrelClient::onMonitoringStateChanged(bool enabled)
{
    if (!enabled)
        resetAllModuleStates();
}

void LantrelClient::onModulesFwVersion(ushort first_idx, QVector<quint16> vers)
{
    for (int k = 0; k < vers.size(); ++k)
        emit moduleFirmwareVersion(ushort(first_idx + 1 + k), vers[k]);
}

void LantrelClient::onRequestFailed(const QString &reason, bool busy)
{
    if (m_readTotal == 0 && m_writeTotal == 0)
        return;
    if (m_failureReason.isEmpty())
        m_failureReason = reason;
    m_transferBusy = m_transferBusy || busy;
}

void LantrelClient::stopConfigTransfer()
{
    if (!m_driver || (m_readTotal == 0 && m_writeTotal == 0) || m_transferStopped)
        return;
    m_transferStopped = true;
    emit writeToLog(m_readTotal != 0 ? QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л остановлено пользователем")
                                     : QStringLiteral("Передача конфигурации ИОП в ЦУ-Л остановлена пользователем"));
    invokeDriver("stopConfigTransfers");
}

QString LantrelClient::transferEndText() const
{
    // A stop says itself; otherwise the first cause, the busy one above all.
    if (m_transferStopped || m_failureReason.isEmpty())
        return QString();
    return QStringLiteral(" Причина: %1.").arg(m_failureReason);
}

// The line settings a module search reads: the module counts are the
// controller's, while an unsent edit of the line mode, a setting of the
// controller page that the search keeps, stays.
void LantrelClient::onLineConfigRead(Konfig_Line_t line_cfg)
{
    if (m_keepSettingsEdits && m_partEdit[LinePart] > m_keptSerial)
        line_cfg.LineMode = m_controllerModel->lineConfig.LineMode;
    emit lineConfigChanged(line_cfg);
}

void LantrelClient::onModulesCountChanged()
{
    // Told on every status block until a read takes the new counts. A read
    // or write running now settles what they are compared with, and a
    // command (a restore, a restart) that changes them reads anew after it:
    // a change none of them took is told again after them.
    if (m_readTotal != 0 || m_writeTotal != 0 || commandRunning())
        return;
    rereadConfiguration();
}
