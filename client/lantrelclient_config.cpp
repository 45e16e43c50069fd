// Reading the configuration into the models, writing it back, and the
// configuration files.

#include "lantrelclient.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QLocale>
#include <QSaveFile>

#include <cstring>

#include "configurationformat.h"
#include "configurationmanager.h"
#include "controllerconfigmodel.h"
#include "lantreldriver.h"
#include "devicetables.h"
#include "interactiontext.h"
#include "iomodulesconfigmodel.h"
#include "regularfile.h"
#include "linemodulesmodel.h"
#include "processingconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "systemerrortext.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace {
constexpr int SensorRows = SensorsConfigModel::RowCount;
constexpr int IoRows = IoModulesConfigModel::RowCount;
constexpr int ScpRows = ScpModulesConfigModel::RowCount;
constexpr int RelaySlots = 4;
constexpr int ProcessingRows = ProcessingConfigModel::RowCount;
constexpr int InteractionRows = InteractionsConfigModel::MaxInteractions;
// The addressing mode's scratch record arrives as sensor index 500.
constexpr int AddressModeScratchIndex = 500;

QString voltsText(quint16 millivolts)
{
    return QLocale().toString(millivolts / 1000.0, 'f', 2);
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool isEmptyRecord(const Control_Relay_t &r)
{
    return r.DeviceType == 0 && r.DestFunc == 0 && r.DestRef == 0;
}

// "запись 5 таблицы взаимодействий", "записи 5–9, 12 таблицы взаимодействий"
// for records numbered from 0.
QString recordsText(const QList<quint16> &records, const QString &table)
{
    QStringList runs;
    for (int i = 0; i < records.size();) {
        int j = i;
        while (j + 1 < records.size() && records.at(j + 1) == records.at(j) + 1)
            ++j;
        runs << (i == j ? QString::number(records.at(i) + 1)
                        : QStringLiteral("%1–%2").arg(records.at(i) + 1).arg(records.at(j) + 1));
        i = j + 1;
    }
    return QStringLiteral("%1 %2 таблицы %3")
        .arg(records.size() == 1 ? QStringLiteral("запись") : QStringLiteral("записи"), runs.join(QStringLiteral(", ")),
             table);
}
}

QString LantrelClient::partTableName(int part)
{
    switch (part) {
    case SensorsPart: return ConfigFile::tableName(1);
    case IoModulesPart: return ConfigFile::tableName(2);
    case ScpModulesPart: return ConfigFile::tableName(3);
    case RelayModulesPart: return ConfigFile::tableName(5);
    case ProcessingPart: return ConfigFile::tableName(4);
    case InteractionsPart: return ConfigFile::tableName(6);
    default: return QString();
    }
}

bool LantrelClient::refuseIncompleteDataset()
{
    if (m_datasetComplete || toDocument())
        return false;
    emit clientError(QStringLiteral("Ошибка передачи конфигурации в ЦУ-Л. Конфигурация ИОП прочитана не полностью: "
                                    "повторите чтение конфигурации из ЦУ-Л или загрузите её из файла"));
    return true;
}

// ---------------------------------------------------------------------------
// Reading

void LantrelClient::clearTableModels(bool keepRelayModules)
{
    clearSourcesCache();
    m_heldInteractions.clear();
    m_lineModulesModel->clear(0);
    m_sensorsModel->clear();
    m_ioModulesModel->clear();
    m_scpModulesModel->clear();
    if (!keepRelayModules)
        m_relayModulesModel->clear();
    m_processingModel->clear();
    m_interactionsModel->clear();
}

void LantrelClient::readConfiguration()
{
    if (!m_driver)
        return;
    // Never on top of a running read, load or write: after it.
    if (m_readTotal != 0 || m_writeTotal != 0) {
        m_rereadPending = true;
        return;
    }
    setConfigurationBusy(true);
    beginModelFill(false);
    ++m_wholeReadsStarted;
    clearTableModels(false);
    m_datasetComplete = false;
    // Whatever file was imported before, the controller's own identity and
    // settings stay its own.
    m_keepIdentity = true;
    const QVector<ReadStep> plan = readPlan({ControllerPart, SensorsPart, IoModulesPart, ScpModulesPart,
                                             RelayModulesPart, ProcessingPart, InteractionsPart});
    beginRead(QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л..."), quint16(plan.size()), plan);
    invokeDriver("getControllerConfig");
    invokeDriver("getSensorsConfig");
    invokeDriver("getIoModulesConfig");
    invokeDriver("getScpModulesConfig");
    invokeDriver("getRelayModulesConfig");
    invokeDriver("getProcessingConfig");
    invokeDriver("getInteractionsConfig");
}

void LantrelClient::rereadConfiguration()
{
    if (!m_driver)
        return;
    if (m_readTotal != 0 || m_writeTotal != 0) {
        m_rereadPending = true;
        return;
    }
    if (hasUnsentEdits() && m_editSerial != m_dropAcceptedSerial) {
        if (!m_changeTold) {
            m_changeTold = true;
            emit controllerConfigurationChanged();
        }
        return;
    }
    readConfiguration();
}

void LantrelClient::importConfiguration()
{
    setConfigurationBusy(true);
    beginModelFill(false);
    clearTableModels(false);
    beginRead(QStringLiteral("Загрузка конфигурации ИОП из файла..."), 7);
    for (const char *slot : {"getControllerConfig", "getSensorsConfig", "getIoModulesConfig",
                             "getScpModulesConfig", "getRelayModulesConfig", "getProcessingConfig",
                             "getInteractionsConfig"}) {
        QMetaObject::invokeMethod(m_document, slot, Qt::QueuedConnection);
    }
    if (m_driver)
        m_importWhileConnected = true;
}

void LantrelClient::readLineModulesConfig()
{
    if (!m_driver)
        return;
    if (m_readTotal != 0 || m_writeTotal != 0) {
        emit clientError(QStringLiteral("Чтение конфигурации модулей невозможно: выполняется другая операция "
                                        "с конфигурацией. Повторите поиск модулей после её завершения"));
        return;
    }
    // The controller settings and relay modules stay as they are, and so
    // does the mark of their unsent edits.
    setConfigurationBusy(true);
    beginModelFill(lastSettingsEdit() > m_keptSerial);
    clearTableModels(true);
    m_datasetComplete = false;
    const QVector<ReadStep> plan = readPlan({SensorsPart, IoModulesPart, ScpModulesPart, ProcessingPart,
                                             InteractionsPart, LinePart});
    beginRead(QStringLiteral("Чтение конфигурации модулей из ЦУ-Л..."), quint16(plan.size()), plan);
    invokeDriver("getSensorsConfig");
    invokeDriver("getIoModulesConfig");
    invokeDriver("getScpModulesConfig");
    invokeDriver("getProcessingConfig");
    invokeDriver("getInteractionsConfig");
    invokeDriver("getLineConfig");
}

void LantrelClient::onControllerConfig(QByteArray block_id, Konfig_Device_t dev_cfg,
                                       ETH_konf_t net_cfg, Konfig_Line_t line_cfg)
{
    QString blockId = blockIdToString(block_id);
    QByteArray heldBlockId = undecodedBlockId(block_id);
    if (!m_keepIdentity) {
        // A file of another controller imported while connected: what makes
        // the connected controller reachable stays as it is.
        const ControllerConfigModel &held = *m_controllerModel;
        blockId = held.blockId;
        heldBlockId = held.heldBlockId;
        dev_cfg.LineAddr = held.deviceConfig.LineAddr;
        dev_cfg.CfgLoop = held.deviceConfig.CfgLoop;
        net_cfg = held.networkConfig;
        line_cfg.LineMode = held.lineConfig.LineMode;
    }
    m_controllerModel->setConfig(blockId, dev_cfg, net_cfg, line_cfg, heldBlockId);
    emit lineConfigChanged(line_cfg);
}

void LantrelClient::registerLineModule(ushort line_addr, uint serial_no, uchar dev_type, ushort table_idx)
{
    if (line_addr < 1 || line_addr > LineModulesModel::RowCount)
        return;
    LineModuleRecord row;
    row.lineAddress = line_addr;
    row.serialNumber = serial_no;
    row.serialNumberText = serialNumberToString(serial_no);
    row.deviceType = dev_type;
    row.typeName = deviceTypeNames.value(dev_type);
    row.tableIndex = table_idx;
    row.loop1Mode = 3;
    row.loop2Mode = 3;
    m_lineModulesModel->setModule(row);
}

void LantrelClient::onSensorConfig(ushort first_idx, QVector<Konfig_Section_t> cfg)
{
    if (first_idx == AddressModeScratchIndex) {
        // A search by serial number ends here; in the addressing mode no
        // task waits for the module. The step goes first: a window may start
        // its next task on foundLineModule.
        if (m_moduleSearch) {
            m_moduleSearch = false;
            onTaskCompleted(true);
        }
        if (!cfg.isEmpty())
            emit foundLineModule(cfg.first().LineAddr, cfg.first().SerialNo, cfg.first().DeviceType);
        return;
    }
    for (int i = 0; i < cfg.size(); ++i) {
        const int idx = first_idx + i;
        if (idx >= SensorRows)
            break;
        const Konfig_Section_t &r = cfg[i];
        if (r.DeviceType != 0)
            registerLineModule(r.LineAddr, r.SerialNo, r.DeviceType, quint16(idx));
        SensorModuleRecord row;
        row.lineAddress = r.LineAddr;
        row.serialNumber = r.SerialNo;
        row.serialNumberText = serialNumberToString(r.SerialNo);
        row.deviceType = r.DeviceType;
        row.deviceTypeName = deviceTypeNames.value(r.DeviceType);
        row.range = r.Range;
        row.lowPassFilter = r.LPF;
        row.highPassFilter = r.HPF;
        row.adaptiveFilter = r.DAF;
        row.irThreshold = r.ThrIR;
        row.irExceedCount = r.NExcIR;
        row.rule = r.RuleJP != 0 ? 1 : 0;
        row.waitTime = r.RuleJP;
        row.refCount = r.RefCount;
        m_sensorsModel->setModule(quint16(idx), row);
    }
}

void LantrelClient::onIoModuleConfig(ushort first_idx, QVector<Konfig_MVV_t> cfg)
{
    for (int i = 0; i < cfg.size(); ++i) {
        const int idx = first_idx + i;
        if (idx >= IoRows)
            break;
        const Konfig_MVV_t &r = cfg[i];
        if (r.DeviceType != 0)
            registerLineModule(r.LineAddr, r.SerialNo, r.DeviceType, quint16(idx));
        IoModuleRecord row;
        row.lineAddress = r.LineAddr;
        row.serialNumber = r.SerialNo;
        row.serialNumberText = serialNumberToString(r.SerialNo);
        row.deviceType = r.DeviceType;
        row.deviceTypeName = deviceTypeNames.value(r.DeviceType);
        row.config = r.CfgIO;
        row.relayContact = (r.CfgIO >> 1) & 1;
        row.loop1Mode = (r.CfgIO >> 4) & 3;
        row.loop2Mode = (r.CfgIO >> 6) & 3;
        row.relayTime = r.TSign;
        row.loop1RefCount = r.RefCountL1;
        row.loop2RefCount = r.RefCountL2;
        m_ioModulesModel->setModule(quint16(idx), row);
        // An empty slot may still carry a stale address: it names no module.
        if (r.DeviceType != 0)
            m_lineModulesModel->setLoopModes(r.LineAddr, row.loop1Mode, row.loop2Mode);
    }
}

void LantrelClient::onScpModuleConfig(ushort first_idx, QVector<Konfig_MKZ_t> cfg)
{
    for (int i = 0; i < cfg.size(); ++i) {
        const int idx = first_idx + i;
        if (idx >= ScpRows)
            break;
        const Konfig_MKZ_t &r = cfg[i];
        if (r.DeviceType != 0)
            registerLineModule(r.LineAddr, r.SerialNo, r.DeviceType, quint16(idx));
        ScpModuleRecord row;
        row.lineAddress = r.LineAddr;
        row.serialNumber = r.SerialNo;
        row.serialNumberText = serialNumberToString(r.SerialNo);
        row.deviceType = r.DeviceType;
        row.deviceTypeName = deviceTypeNames.value(r.DeviceType);
        row.thrMin = r.ThrMin;
        row.thrMinText = voltsText(r.ThrMin);
        row.thrOff = r.ThrOff;
        row.thrOffText = voltsText(r.ThrOff);
        row.thrOn = r.ThrOn;
        row.thrOnText = voltsText(r.ThrOn);
        m_scpModulesModel->setModule(quint16(idx), row);
    }
}

void LantrelClient::onRelayModuleConfig(ushort first_idx, QVector<Konfig_Modul_t> cfg)
{
    for (int i = 0; i < cfg.size(); ++i) {
        const int idx = first_idx + i;
        if (idx >= RelaySlots)
            break;
        if (cfg[i].IPAddr == 0)
            continue;
        RelayModuleRecord row;
        row.configIndex = quint16(idx);
        row.ipAddress = QHostAddress(quint32(cfg[i].IPAddr)).toString();
        row.config = cfg[i];
        m_relayModulesModel->setModule(row);
    }
}

void LantrelClient::onProcessingConfig(ushort first_idx, QVector<Konfig_Proc_t> cfg)
{
    for (int i = 0; i < cfg.size(); ++i) {
        const int idx = first_idx + i;
        if (idx >= ProcessingRows)
            break;
        ProcessingRuleRecord rule;
        rule.lineAddress = m_sensorsModel->moduleAt(quint16(idx)).lineAddress;
        rule.config = cfg[i];
        m_processingModel->setRule(quint16(idx), rule);
    }
}

void LantrelClient::clearSourcesCache()
{
    m_sourcesCache.clear();
    m_sourcesCacheValid = false;
}

void LantrelClient::buildSourcesCache()
{
    // The interactions of a module follow those of the modules before it;
    // where a failed step left module records out, the sources of all later
    // interactions are unknown, and they are left out rather than given to
    // the wrong modules. The same holds after an empty row that has used
    // rows after it: the tables are packed, and nothing tells whether the
    // records of the rows after it follow on.
    m_sourcesCache.clear();
    m_sourcesCacheValid = true;
    m_sourcesGapPart = -1;
    m_sourcesUnread = false;
    const auto sensorUsed = [this](int row) { return m_sensorsModel->moduleAt(quint16(row)).deviceType != 0; };
    const auto ioUsed = [this](int row) { return m_ioModulesModel->moduleAt(quint16(row)).deviceType != 0; };
    const auto usedAfter = [](int row, int rows, const std::function<bool(int)> &used) {
        for (int later = row + 1; later < rows; ++later) {
            if (used(later))
                return true;
        }
        return false;
    };
    for (int row = 0; row < SensorRows; ++row) {
        if (recordMissing(SensorsPart, row)) {
            m_sourcesUnread = true;
            return;
        }
        const SensorModuleRecord s = m_sensorsModel->moduleAt(quint16(row));
        if (s.deviceType == 0) {
            if (usedAfter(row, SensorRows, sensorUsed)) {
                m_sourcesGapPart = SensorsPart;
                m_sourcesGapRow = row;
                return;
            }
            break;
        }
        for (int k = 0; k < s.refCount; ++k)
            m_sourcesCache.append(packInteractionSource(SensorModuleSource, s.lineAddress, 0));
    }
    for (int row = 0; row < IoRows; ++row) {
        if (recordMissing(IoModulesPart, row)) {
            m_sourcesUnread = true;
            return;
        }
        const IoModuleRecord io = m_ioModulesModel->moduleAt(quint16(row));
        if (io.deviceType == 0) {
            if (usedAfter(row, IoRows, ioUsed)) {
                m_sourcesGapPart = IoModulesPart;
                m_sourcesGapRow = row;
                return;
            }
            break;
        }
        for (int k = 0; k < io.loop1RefCount; ++k)
            m_sourcesCache.append(packInteractionSource(IoLoopSource, io.lineAddress, 1));
        for (int k = 0; k < io.loop2RefCount; ++k)
            m_sourcesCache.append(packInteractionSource(IoLoopSource, io.lineAddress, 2));
    }
}

QVector<LantrelClient::ReadStep> LantrelClient::readPlan(const QVector<int> &parts)
{
    QVector<ReadStep> plan;
    for (int part : parts) {
        const TableLayout *table = nullptr;
        switch (part) {
        case SensorsPart: table = &ConfigTables::sensors; break;
        case IoModulesPart: table = &ConfigTables::ioModules; break;
        case ScpModulesPart: table = &ConfigTables::scpModules; break;
        case RelayModulesPart: table = &ConfigTables::relayModules; break;
        case ProcessingPart: table = &ConfigTables::processing; break;
        case InteractionsPart: table = &ConfigTables::interactions; break;
        default: break;   // one step of settings
        }
        if (!table) {
            plan.append({part, 0, 1});
            continue;
        }
        for (int first = 0; first < table->records; first += table->perRead)
            plan.append({part, first, qMin(table->perRead, table->records - first)});
    }
    return plan;
}

bool LantrelClient::recordMissing(int part, int record) const
{
    for (const ReadStep &step : m_missingSteps) {
        if (step.part == part && record >= step.first && record < step.first + step.count)
            return true;
    }
    return false;
}

QString LantrelClient::missingPartsText() const
{
    // Runs of failed pages of one table read as one range of records.
    QVector<ReadStep> runs;
    for (const ReadStep &step : m_missingSteps) {
        if (!runs.isEmpty() && runs.last().part == step.part
            && runs.last().first + runs.last().count == step.first)
            runs.last().count += step.count;
        else
            runs.append(step);
    }
    QStringList parts;
    for (const ReadStep &run : runs) {
        if (run.part == ControllerPart)
            parts << QStringLiteral("параметры ЦУ-Л");
        else if (run.part == LinePart)
            parts << QStringLiteral("параметры линии");
        else if (run.count == 1)
            parts << QStringLiteral("запись %1 таблицы %2").arg(run.first + 1).arg(partTableName(run.part));
        else
            parts << QStringLiteral("записи %1–%2 таблицы %3")
                         .arg(run.first + 1)
                         .arg(run.first + run.count)
                         .arg(partTableName(run.part));
    }
    return parts.join(QStringLiteral(", "));
}

void LantrelClient::onInteractionsConfig(ushort first_idx, QVector<Control_Relay_t> cfg)
{
    if (!m_sourcesCacheValid)
        buildSourcesCache();
    const int placed = qMin(int(m_sourcesCache.size()), InteractionRows);

    // Records no source reaches are kept as they came, for the write; the
    // records of sources a failed step left unknown are not read at all.
    if (!m_sourcesUnread) {
        for (int k = qMax(0, placed - int(first_idx)); k < cfg.size() && first_idx + k < InteractionRows; ++k) {
            if (!isEmptyRecord(cfg[k]))
                m_heldInteractions.insert(quint16(first_idx + k), cfg[k]);
        }
    }
    if (cfg.isEmpty() || first_idx >= placed)
        return;

    // A page lost before this one leaves a gap: storing here would put the
    // records on the wrong rows.
    if (first_idx > m_interactionsModel->rowCount())
        return;

    // Every record of a source is a row, an empty one too: it is kept as a
    // record of an executor type no table holds.
    QVector<InteractionRecord> records;
    records.reserve(cfg.size());
    for (int k = 0; k < cfg.size() && first_idx + k < placed; ++k) {
        const int b = first_idx + k;

        const Control_Relay_t &r = cfg[k];
        quint8 srcType = 0;
        quint16 srcAddr = 0;
        quint8 srcLoop = 0;
        unpackInteractionSource(m_sourcesCache[b], srcType, srcAddr, srcLoop);

        InteractionRecord rec;
        rec.sourceKind = srcType;
        rec.sourceText = m_lineModulesModel->moduleAt(srcAddr).typeName;
        rec.sourceAddress = srcAddr;
        rec.sourceLoop = srcLoop;
        records.append(executorOf(rec, r));
    }
    m_interactionsModel->updateInteractions(first_idx, records);
}

// The executor part of an interaction from its record. Every record is kept
// as the controller or the file holds it: an executor that is not in the
// tables, or of a type no table holds, is shown as its numbers and marked.
InteractionRecord LantrelClient::executorOf(InteractionRecord rec, const Control_Relay_t &r) const
{
    rec.executorType = r.DeviceType;
    rec.executorTypeText = deviceTypeNames.value(r.DeviceType);
    rec.function = r.DestFunc;
    rec.held = 0;

    bool timeKnown = false;
    quint8 relayTime = 0;
    if (r.DeviceType == SECT_MVV) {
        rec.executorNumber = r.DestRef;
        rec.relay = 0;
        const IoModuleRecord io = m_ioModulesModel->moduleAt(quint16(r.DestRef - 1));
        if (r.DestRef >= 1 && r.DestRef <= IoRows && io.deviceType != 0) {
            rec.executorAddressText = QString::number(io.lineAddress);
            relayTime = io.relayTime;
            timeKnown = true;
        } else {
            rec.executorAddressText = outOfRangeText(r.DestRef);
            rec.held |= InteractionRecord::HeldExecutor;
        }
    } else if (r.DeviceType == EXT_RELY) {
        rec.executorNumber = quint16(r.DestRef >> 8);
        // The whole low byte: relay 32 does not fit in five bits.
        rec.relay = quint8(r.DestRef & 0xFF);
        const quint16 slot = quint16(rec.executorNumber - 1);
        if (rec.executorNumber >= 1 && m_relayModulesModel->indexOf(slot).isValid()) {
            const RelayModuleRecord relayModule = m_relayModulesModel->moduleByIndex(slot);
            rec.executorAddressText = relayModule.ipAddress;
            const int relays = relayModule.config.ExpMod != 0 ? 32 : 16;
            if (rec.relay >= 1 && rec.relay <= relays) {
                relayTime = relayModule.config.Relays[rec.relay - 1].TSign;
                timeKnown = true;
            } else {
                rec.held |= InteractionRecord::HeldRelay;
            }
        } else {
            rec.executorAddressText = outOfRangeText(rec.executorNumber);
            rec.held |= InteractionRecord::HeldExecutor;
        }
    } else {
        rec.executorTypeText = outOfRangeText(r.DeviceType);
        rec.executorNumber = r.DestRef;
        rec.relay = 0;
        rec.executorAddressText = QString::number(r.DestRef);
        rec.held |= InteractionRecord::HeldExecutorType;
    }
    // A hold time belongs to an executor's relay: without one there is none to show.
    if (r.DestFunc == 255 && !timeKnown)
        rec.functionText = relayModeNames.value(255);
    else
        rec.functionText = interactionFunctionText(r.DestFunc, r.DeviceType, relayTime);
    return rec;
}

void LantrelClient::onRelayTimeChanged(uchar mod_type, ushort mod_idx, uchar relay_num, uchar time_value)
{
    for (int row = 0; row < InteractionRows; ++row) {
        InteractionRecord rec = m_interactionsModel->interactionAt(row);
        if (rec.sourceKind == NoInteractionSource)
            break;
        if (rec.executorType != mod_type || rec.executorNumber != mod_idx + 1
            || rec.relay != relay_num || rec.function != 255)
            continue;
        if (rec.held != 0)
            continue;
        rec.functionText = interactionFunctionText(255, mod_type, time_value);
        m_interactionsModel->updateInteraction(quint16(row), rec);
    }
}

void LantrelClient::onInteractionDeleted(InteractionSource src_type, ushort src_addr, uchar src_child)
{
    const quint16 index = m_lineModulesModel->moduleAt(src_addr).tableIndex;
    if (src_type == SensorModuleSource)
        m_sensorsModel->removeReference(index);
    else
        m_ioModulesModel->removeReference(index, src_child);
}

// ---------------------------------------------------------------------------
// Writing

// One table goes to the document in one step, or to the controller in
// driverSteps requests.
void LantrelClient::addWriteSteps(ushort toDriver, int part)
{
    const ushort steps = toDocument() ? 1 : toDriver;
    m_writeTotal += steps;
    m_writePlan.insert(m_writePlan.size(), steps, part);
}

QString LantrelClient::unwrittenPartsText() const
{
    QStringList parts;
    for (int step : m_unwrittenSteps) {
        const int part = m_writePlan.value(step, -1);
        const QString text = part == ControllerPart ? QStringLiteral("параметры ЦУ-Л")
                             : part == LinePart     ? QStringLiteral("параметры линии")
                                                    : QStringLiteral("записи таблицы %1").arg(partTableName(part));
        if (part >= 0 && !parts.contains(text))
            parts << text;
    }
    return parts.join(QStringLiteral(", "));
}

template <typename Map>
void LantrelClient::sendTable(const Map &map, ushort driverSteps, int part, void (LantrelClient::*save)(Map),
                              void (LantrelClient::*set)(Map))
{
    addWriteSteps(driverSteps, part);
    if (toDocument())
        emit (this->*save)(map);
    else
        emit (this->*set)(map);
}

// The document gets the line settings with the next whole write.
void LantrelClient::writeLineConfig(const Konfig_Line_t &cfg)
{
    if (toDocument())
        return;
    addWriteSteps(1, LinePart);
    emit setLineConfig(cfg);
}

void LantrelClient::writeConfiguration()
{
    // A file save asked before it began.
    if (refuseIncompleteDataset() || (!m_fileMode && !mayOverwriteHeldRecords(toDocument()))) {
        m_pendingFlashSave = false;
        m_pendingLineUpload = false;
        return;
    }
    beginWrite(true);

    writeSensorsConfig();
    writeIoModulesConfig();
    writeScpModulesConfig();
    writeRelayModulesConfig();
    writeControllerConfig();
    writeProcessingConfig();
    writeInteractionsConfig();

    startWriteTask(toDocument() ? QStringLiteral("Сохранение параметров ИОП в файл конфигурации...")
                                : QStringLiteral("Передача конфигурации ИОП в ЦУ-Л..."));
}

void LantrelClient::writeSensorsConfig()
{
    QMap<quint16, Konfig_Section_t> map;
    for (int k = 0; k < SensorRows; ++k) {
        const SensorModuleRecord row = m_sensorsModel->moduleAt(quint16(k));
        Konfig_Section_t r;
        r.SerialNo = row.serialNumber;
        r.LineAddr = row.lineAddress;
        r.DeviceType = row.deviceType;
        r.Range = row.range;
        r.LPF = row.lowPassFilter;
        r.HPF = row.highPassFilter;
        r.DAF = row.adaptiveFilter;
        r.ThrIR = row.irThreshold;
        r.NExcIR = row.irExceedCount;
        r.RuleJP = row.waitTime;
        r.RefCount = row.refCount;
        map.insert(quint16(k), r);
    }
    sendTable(map, 34, SensorsPart, &LantrelClient::saveSensorsConfig, &LantrelClient::setSensorsConfig);
}

void LantrelClient::writeIoModulesConfig()
{
    QMap<quint16, Konfig_MVV_t> map;
    for (int k = 0; k < IoRows; ++k) {
        const IoModuleRecord row = m_ioModulesModel->moduleAt(quint16(k));
        Konfig_MVV_t r;
        r.SerialNo = row.serialNumber;
        r.LineAddr = row.lineAddress;
        r.DeviceType = row.deviceType;
        r.CfgIO = row.config;
        r.TSign = row.relayTime;
        r.RefCountL1 = row.loop1RefCount;
        r.RefCountL2 = row.loop2RefCount;
        map.insert(quint16(k), r);
    }
    sendTable(map, 7, IoModulesPart, &LantrelClient::saveIoModulesConfig, &LantrelClient::setIoModulesConfig);
}

void LantrelClient::writeScpModulesConfig()
{
    QMap<quint16, Konfig_MKZ_t> map;
    for (int k = 0; k < ScpRows; ++k) {
        const ScpModuleRecord row = m_scpModulesModel->moduleAt(quint16(k));
        Konfig_MKZ_t r;
        r.SerialNo = row.serialNumber;
        r.LineAddr = row.lineAddress;
        r.DeviceType = row.deviceType;
        r.ThrMin = row.thrMin;
        r.ThrOff = row.thrOff;
        r.ThrOn = row.thrOn;
        map.insert(quint16(k), r);
    }
    sendTable(map, 3, ScpModulesPart, &LantrelClient::saveScpModulesConfig, &LantrelClient::setScpModulesConfig);
}

void LantrelClient::writeRelayModulesConfig()
{
    QMap<quint16, Konfig_Modul_t> map;
    int used = 0;
    for (int k = 0; k < RelaySlots; ++k) {
        Konfig_Modul_t r;
        std::memset(static_cast<void *>(&r), 0, sizeof(r));
        if (m_relayModulesModel->indexOf(quint16(k)).isValid()) {
            const RelayModuleRecord row = m_relayModulesModel->moduleByIndex(quint16(k));
            r = row.config;
            if (row.ipAddress.isEmpty()) {
                r.Reserved4 = 0;
                r.Reserved6 = 0;
                r.Reserved9 = 0;
            } else {
                ++used;
                r.Reserved4 = 502;
                r.Reserved6 = 2;
                r.Reserved9 = quint8(k + 1);
            }
        }
        map.insert(quint16(k), r);
    }
    if (used != m_controllerModel->lineConfig.RelayCount)
        m_controllerModel->setRelayModuleCount(quint8(used));

    addWriteSteps(2, RelayModulesPart);
    if (toDocument())
        emit saveRelayModulesConfig(map);
    else
        emit setRelayModulesConfig(map, false);
}

void LantrelClient::writeControllerConfig()
{
    const ControllerConfigModel &held = *m_controllerModel;
    Konfig_Device_t dev = held.deviceConfig;
    dev.Reserved0 = 115200;
    dev.Reserved4 = 1;
    dev.Reserved8 = 4;
    ETH_konf_t net = held.networkConfig;
    net.Reserved4 = 502;
    net.Reserved6 = 2;
    // A file keeps the identifier whole; the controller keeps its first
    // bytes, and gets back unchanged those that are no text until edited.
    const QByteArray blockId = toDocument()                  ? held.blockId.toUtf8()
                               : !held.heldBlockId.isNull() ? held.heldBlockId
                                                            : blockIdControllerBytes(held.blockId);

    addWriteSteps(1, ControllerPart);
    if (toDocument())
        emit saveControllerConfig(blockId, dev, net, held.lineConfig);
    else
        emit setControllerConfig(blockId, dev, net, held.lineConfig);
}

void LantrelClient::writeProcessingConfig()
{
    QMap<quint16, Konfig_Proc_t> map;
    for (int k = 0; k < ProcessingRows; ++k)
        map.insert(quint16(k), m_processingModel->ruleAt(quint16(k)).config);
    sendTable(map, 13, ProcessingPart, &LantrelClient::saveProcessingConfig, &LantrelClient::setProcessingConfig);
}

Control_Relay_t LantrelClient::interactionRecord(const InteractionRecord &row)
{
    Control_Relay_t r;
    r.DeviceType = row.executorType;
    r.DestFunc = row.function;
    // Any executor but a relay module holds its reference whole.
    r.DestRef = row.executorType == EXT_RELY ? quint16((row.executorNumber << 8) | row.relay) : row.executorNumber;
    return r;
}

// The rows of the table, then the records held where no row reaches; a
// file gets the table up to its last row or held record.
void LantrelClient::writeInteractionsConfig()
{
    const int rows = m_interactionsModel->rowCount();
    int used = rows;
    if (!m_heldInteractions.isEmpty())
        used = qMax(used, m_heldInteractions.lastKey() + 1);
    QMap<quint16, Control_Relay_t> map;
    for (int k = 0; k < (toDocument() ? used : InteractionRows); ++k) {
        map.insert(quint16(k), k < rows ? interactionRecord(m_interactionsModel->interactionAt(k))
                                        : m_heldInteractions.value(quint16(k)));
    }
    // The rows took the place of the records held there: the controller
    // holds the rows now.
    if (!toDocument()) {
        while (!m_heldInteractions.isEmpty() && m_heldInteractions.firstKey() < rows)
            m_heldInteractions.erase(m_heldInteractions.begin());
    }
    sendTable(map, 66, InteractionsPart, &LantrelClient::saveInteractionsConfig, &LantrelClient::setInteractionsConfig);
}

QString LantrelClient::heldRecordsText() const
{
    const QString table = partTableName(InteractionsPart);
    const QString reason =
        m_sourcesGapPart < 0
            ? QStringLiteral("они за пределами счётчиков ссылок модулей")
            : QStringLiteral("их источники не определены: строка %1 таблицы %2 пуста, а после неё есть модули")
                  .arg(m_sourcesGapRow + 1)
                  .arg(partTableName(m_sourcesGapPart));
    return QStringLiteral("Не все записи конфигурации ИОП размещены в таблицах программы: %1 (%2). "
                          "Эти записи не показаны. При записи конфигурации они сохраняются такими, как прочитаны; "
                          "если на их место попадут строки таблицы, программа спросит подтверждение")
        .arg(recordsText(m_heldInteractions.keys(), table), reason);
}

bool LantrelClient::mayOverwriteHeldRecords(bool toFile)
{
    const int rows = m_interactionsModel->rowCount();
    QList<quint16> replaced;
    for (auto it = m_heldInteractions.cbegin(); it != m_heldInteractions.cend() && it.key() < rows; ++it)
        replaced << it.key();
    if (replaced.isEmpty())
        return true;
    const QString target = toFile ? QStringLiteral("Сохранение конфигурации в файл")
                                  : QStringLiteral("Передача конфигурации в ЦУ-Л");
    const QString question =
        QStringLiteral("<p><b>Внимание!</b> Записи конфигурации, которые не размещены в таблицах программы "
                       "и не показаны: %1.</p>"
                       "<p>%2 запишет на их место строки таблицы взаимодействий, и эти записи будут потеряны.</p>"
                       "<p>Продолжить?</p>")
            .arg(recordsText(replaced, partTableName(InteractionsPart)), target);
    if (m_overwriteQuestion && m_overwriteQuestion(question))
        return true;
    emit writeToLog((toFile ? QStringLiteral("Сохранение конфигурации в файл отменено, чтобы не потерять %1")
                            : QStringLiteral("Передача конфигурации в ЦУ-Л отменена, чтобы не перезаписать %1"))
                        .arg(recordsText(replaced, partTableName(InteractionsPart))));
    return false;
}

void LantrelClient::saveConfigToFlash()
{
    if (!m_driver)
        return;
    commitOpenEditors();
    if (!m_modified) {
        startFlashSave();
        return;
    }
    if (refuseIncompleteDataset())
        return;
    m_pendingFlashSave = true;
    writeConfiguration();
}

void LantrelClient::uploadConfigToLine()
{
    if (!m_driver)
        return;
    commitOpenEditors();
    if (!m_modified) {
        startLineUpload();
        return;
    }
    if (refuseIncompleteDataset())
        return;
    m_pendingLineUpload = true;
    writeConfiguration();
}

// ---------------------------------------------------------------------------
// Configuration files

bool LantrelClient::loadConfigFile(const QString &path)
{
    // The models are replaced as one whole set from one source: never
    // while a read or write fills or takes them.
    if (m_readTotal != 0 || m_writeTotal != 0) {
        emit clientError(QStringLiteral("Загрузка конфигурации из файла «%1» невозможна: выполняется %2. "
                                        "Повторите загрузку после её завершения")
                             .arg(nativePath(path),
                                  m_readTotal != 0 ? QStringLiteral("чтение конфигурации")
                                                   : QStringLiteral("передача конфигурации")));
        return false;
    }
    QFile file(path);
    const QString openError = openRegularFile(file);
    if (!openError.isEmpty()) {
        emit clientError(QStringLiteral("Ошибка чтения файла конфигурации «%1». %2").arg(nativePath(path), openError));
        return false;
    }
    if (!m_document->readDocument(&file)) {
        emit clientError(QStringLiteral("Ошибка загрузки конфигурации ИОП из файла «%1». %2")
                             .arg(nativePath(path), m_document->lastError()));
        return false;
    }
    emit writeToLog(QStringLiteral("Конфигурация ИОП загружена из файла «%1»").arg(nativePath(path)));
    m_document->getControllerInfo();
    importConfiguration();
    return true;
}

bool LantrelClient::saveConfigFile(const QString &path)
{
    if (!mayOverwriteHeldRecords(true))
        return false;
    // The old file stays as it was until the new one is whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        emit clientError(QStringLiteral("Ошибка открытия файла конфигурации «%1». %2")
                             .arg(nativePath(path), systemErrorText(file.errorString())));
        return false;
    }
    if (!m_document->hasDocument())
        m_document->newDocument();
    m_document->setControllerInfo(m_controllerModel->info);

    m_fileMode = true;
    QEventLoop loop;
    connect(this, &LantrelClient::writeFinished, &loop, &QEventLoop::quit);
    QMetaObject::invokeMethod(this, "writeConfiguration", Qt::QueuedConnection);
    loop.exec();
    m_fileMode = false;

    if (m_writeFailed) {
        file.cancelWriting();
        return false;
    }
    QString reason;
    if (!m_document->writeDocument(&file))
        reason = m_document->lastError();
    else if (!file.commit())
        reason = systemErrorText(file.errorString());
    if (!reason.isNull()) {
        file.cancelWriting();
        emit clientError(QStringLiteral("Ошибка сохранения конфигурации ИОП в файл «%1». %2")
                             .arg(nativePath(path), reason));
        return false;
    }
    m_keptSerial = m_sentSerial;
    emit writeToLog(QStringLiteral("Конфигурация ИОП сохранена в файл «%1»").arg(nativePath(path)));
    return true;
}
