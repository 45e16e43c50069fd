// Module table workflows of the line-modules page: adding, readdressing,
// replacing and deleting a module, and clearing every module table. Each
// keeps the tables consistent with each other: table indexes of the line
// modules, processing rules, interactions and their reference counters, and
// the module counts of the line settings.

#include "lantrelclient.h"

#include <QHash>
#include <QLocale>

#include "controllerconfigmodel.h"
#include "devicetables.h"
#include "iomodulesconfigmodel.h"
#include "linemodulesmodel.h"
#include "processingconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace {

constexpr int LineAddressCount = LineModulesModel::RowCount;
constexpr int SensorRows = SensorsConfigModel::RowCount;
constexpr int IoRows = IoModulesConfigModel::RowCount;
constexpr int ScpRows = ScpModulesConfigModel::RowCount;
constexpr int ProcessingRows = ProcessingConfigModel::RowCount;

// Defaults of a new line-protection module, mV.
constexpr quint16 ScpThrMinDefault = 16490;
constexpr quint16 ScpThrOffDefault = 15990;
constexpr quint16 ScpThrOnDefault = 4070;
// Defaults of the infrared channel of a new sensor.
constexpr quint8 IrThresholdDefault = 40;
constexpr quint8 IrExceedDefault = 3;
// Default comparison zone of a new sensor: three neighbours on each side.
constexpr qint8 ZoneLeftDefault = -3;
constexpr qint8 ZoneRightDefault = 3;
constexpr quint8 IoConfigDefault = 0xF0;   // both loops technological, relay normally open

enum TableKind { NoTable, SensorTable, IoTable, ScpTable };

TableKind tableKind(quint8 deviceType)
{
    switch (deviceType) {
    case SECT_MVV:
        return IoTable;
    case SECT_ACCI:
    case SECT_ACC:
        return SensorTable;
    case SECT_MKZ:
        return ScpTable;
    default:
        return NoTable;
    }
}

QString typeText(quint8 deviceType)
{
    const QString name = deviceTypeNames.value(deviceType);
    return name.isEmpty() ? QString::number(deviceType) : name;
}

QString noTableText(quint8 deviceType)
{
    return QStringLiteral("Модули с кодом типа %1 не входят в конфигурацию ЦУ-Л").arg(deviceType);
}

QString badAddressText(ushort lineAddress)
{
    return QStringLiteral("Недопустимый адрес модуля: %1").arg(lineAddress);
}

QString occupiedText(ushort lineAddress, const LineModuleRecord &occupant)
{
    return QStringLiteral("Адрес %1 уже занят в конфигурации модулем %2 с серийным номером %3")
        .arg(lineAddress).arg(typeText(occupant.deviceType), occupant.serialNumberText);
}

QString missingText(quint8 deviceType, ushort lineAddress)
{
    return QStringLiteral("В конфигурации нет модуля %1 с адресом %2").arg(typeText(deviceType)).arg(lineAddress);
}

QString lostText(ushort lineAddress)
{
    return QStringLiteral("Модуль с адресом %1 не найден в таблице модулей своего типа").arg(lineAddress);
}

QString voltsText(quint16 millivolts)
{
    return QLocale().toString(millivolts / 1000.0, 'f', 2);
}

bool validAddress(ushort lineAddress)
{
    return lineAddress >= 1 && lineAddress <= LineAddressCount;
}

// Occupied rows are packed from row 0, so the first empty row is the count.
template <typename Model>
quint16 usedRows(const Model *model, int rows)
{
    int n = 0;
    while (n < rows && model->moduleAt(ushort(n)).deviceType != DEV_NOT)
        ++n;
    return quint16(n);
}

QVector<quint16> ioLineAddresses(const IoModulesConfigModel *model)
{
    QVector<quint16> addresses(IoRows, 0);
    for (int row = 0; row < IoRows; ++row) {
        const IoModuleRecord rec = model->moduleAt(ushort(row));
        if (rec.deviceType != DEV_NOT)
            addresses[row] = rec.lineAddress;
    }
    return addresses;
}

// Interactions name an I/O executor by its row. After the I/O table changed,
// every such interaction is pointed again at the row where the module it
// drove now sits, so no relay changes hands. `before` holds the line address
// of each row before the change; a readdressed module maps `movedFrom` to
// `movedTo`.
void followIoExecutors(InteractionsConfigModel *interactions, const QVector<quint16> &before,
                       const IoModulesConfigModel *io, quint16 movedFrom = 0, quint16 movedTo = 0)
{
    QHash<quint16, int> rowOf;
    for (int row = 0; row < IoRows; ++row) {
        const IoModuleRecord rec = io->moduleAt(ushort(row));
        if (rec.deviceType != DEV_NOT)
            rowOf.insert(rec.lineAddress, row);
    }
    for (int k = 0; k < interactions->rowCount(); ++k) {
        InteractionRecord rec = interactions->interactionAt(k);
        if (rec.executorType != SECT_MVV || rec.executorNumber == 0 || rec.executorNumber > IoRows)
            continue;
        quint16 address = before.value(rec.executorNumber - 1);
        if (address == 0)
            continue;
        if (movedFrom != 0 && address == movedFrom)
            address = movedTo;
        const int row = rowOf.value(address, -1);
        if (row < 0 || row + 1 == rec.executorNumber)
            continue;
        rec.executorNumber = quint16(row + 1);
        rec.executorAddressText = QString::number(address);
        interactions->updateInteraction(quint16(k), rec);
    }
}

// Who a module is: the same four fields in every module table and the line table.
struct ModuleIdentity
{
    uint serialNumber;
    QString serialNumberText;
    uchar deviceType;
    QString deviceTypeName;
};

ModuleIdentity moduleIdentity(uchar deviceType, uint serialNumber)
{
    return {serialNumber, serialNumberToString(serialNumber), deviceType,
            deviceTypeNames.value(deviceType)};
}

template <typename Record>
void setIdentity(Record &rec, const ModuleIdentity &id)
{
    rec.serialNumber = id.serialNumber;
    rec.serialNumberText = id.serialNumberText;
    rec.deviceType = id.deviceType;
    rec.deviceTypeName = id.deviceTypeName;
}

void setIdentity(LineModuleRecord &rec, const ModuleIdentity &id)
{
    rec.serialNumber = id.serialNumber;
    rec.serialNumberText = id.serialNumberText;
    rec.deviceType = id.deviceType;
    rec.typeName = id.deviceTypeName;
}

// A table row for a new module at the line address.
template <typename Record>
Record newModuleRow(ushort lineAddress, const ModuleIdentity &id)
{
    Record rec;
    rec.lineAddress = lineAddress;
    setIdentity(rec, id);
    return rec;
}

// The table row the line table points at still holds the module of that address.
template <typename Record>
bool holdsModule(const Record &rec, ushort lineAddress)
{
    return rec.deviceType != DEV_NOT && rec.lineAddress == lineAddress;
}

} // namespace

// ---------------------------------------------------------------------------
// Adding, replacing and readdressing: the models only, nothing is sent.

void LantrelClient::addModule(uchar mod_type, uint serial_no, ushort line_addr, quint16 &new_idx)
{
    const TableKind kind = tableKind(mod_type);
    if (kind == NoTable) {
        // A line row whose module has no table row would shift the table
        // indexes of the sensor modules.
        emit clientError(noTableText(mod_type));
        return;
    }
    if (!validAddress(line_addr)) {
        emit clientError(badAddressText(line_addr));
        return;
    }
    LineModuleRecord line = m_lineModulesModel->moduleAt(line_addr);
    if (line.deviceType != DEV_NOT) {
        emit clientError(occupiedText(line_addr, line));
        return;
    }

    const auto refuseFull = [&](int rows) {
        emit clientError(QStringLiteral("Невозможно добавить модуль %1 с адресом %2: "
                                        "таблица модулей этого типа заполнена (не более %3)")
                             .arg(typeText(mod_type)).arg(line_addr).arg(rows));
    };
    const ModuleIdentity id = moduleIdentity(mod_type, serial_no);
    const Konfig_Device_t &dev = m_controllerModel->deviceConfig;
    // The new counts go out through lineConfigChanged, which stores them in
    // the holder and lets the page's module counters follow.
    Konfig_Line_t lineCfg = m_controllerModel->lineConfig;
    quint16 idx = 0;

    switch (kind) {
    case IoTable: {
        if (usedRows(m_ioModulesModel, IoRows) >= IoRows) {
            refuseFull(IoRows);
            return;
        }
        auto rec = newModuleRow<IoModuleRecord>(line_addr, id);
        rec.config = IoConfigDefault;
        rec.loop1Mode = 3;
        rec.loop2Mode = 3;
        const QVector<quint16> before = ioLineAddresses(m_ioModulesModel);
        if (!m_ioModulesModel->insertModule(rec, &idx)) {
            refuseFull(IoRows);
            return;
        }
        followIoExecutors(m_interactionsModel, before, m_ioModulesModel);
        lineCfg.IoCount = usedRows(m_ioModulesModel, IoRows);
        emit lineConfigChanged(lineCfg);
        break;
    }
    case SensorTable: {
        if (usedRows(m_sensorsModel, SensorRows) >= SensorRows) {
            refuseFull(SensorRows);
            return;
        }
        auto rec = newModuleRow<SensorModuleRecord>(line_addr, id);
        rec.range = dev.Range;
        rec.lowPassFilter = dev.LPF;
        rec.highPassFilter = dev.HPF;
        rec.adaptiveFilter = dev.DAF;
        if (mod_type == SECT_ACCI) {
            rec.irThreshold = IrThresholdDefault;
            rec.irExceedCount = IrExceedDefault;
            // RuleJP is the wait time of rule "И"; 0 means rule "ИЛИ".
            rec.waitTime = dev.RuleJP;
            rec.rule = dev.RuleJP != 0 ? 1 : 0;
        }
        if (!m_sensorsModel->insertModule(rec, &idx)) {
            refuseFull(SensorRows);
            return;
        }
        // When the sensor went in between two others the later sensor rows
        // moved down by one; their rules must follow them.
        if (idx + 1 < SensorRows && m_sensorsModel->moduleAt(ushort(idx + 1)).deviceType != DEV_NOT)
            m_processingModel->moveRule(ProcessingRows - 1, idx);
        ProcessingRuleRecord rule;
        rule.lineAddress = line_addr;
        rule.config.MRef = dev.MRef;
        rule.config.NExc = dev.NExc;
        rule.config.Ratio = dev.Ratio;
        rule.config.SensLeft = ZoneLeftDefault;
        rule.config.SensRight = ZoneRightDefault;
        m_processingModel->setRule(idx, rule);
        lineCfg.SensorCount = usedRows(m_sensorsModel, SensorRows);
        emit lineConfigChanged(lineCfg);
        break;
    }
    case ScpTable: {
        if (usedRows(m_scpModulesModel, ScpRows) >= ScpRows) {
            refuseFull(ScpRows);
            return;
        }
        auto rec = newModuleRow<ScpModuleRecord>(line_addr, id);
        rec.thrMin = ScpThrMinDefault;
        rec.thrMinText = voltsText(ScpThrMinDefault);
        rec.thrOff = ScpThrOffDefault;
        rec.thrOffText = voltsText(ScpThrOffDefault);
        rec.thrOn = ScpThrOnDefault;
        rec.thrOnText = voltsText(ScpThrOnDefault);
        if (!m_scpModulesModel->insertModule(rec, &idx)) {
            refuseFull(ScpRows);
            return;
        }
        lineCfg.ScpCount = usedRows(m_scpModulesModel, ScpRows);
        emit lineConfigChanged(lineCfg);
        break;
    }
    case NoTable:
        return;
    }

    new_idx = idx;
    setIdentity(line, id);
    line.tableIndex = idx;
    m_lineModulesModel->insertModule(line);
    noteLineModulesEdit();
}

void LantrelClient::updateModuleInfo(uchar mod_type, ushort line_addr, uint serial_no)
{
    const TableKind kind = tableKind(mod_type);
    if (kind == NoTable) {
        emit clientError(noTableText(mod_type));
        return;
    }
    LineModuleRecord line = m_lineModulesModel->moduleAt(line_addr);
    if (!validAddress(line_addr) || line.deviceType == DEV_NOT) {
        emit clientError(QStringLiteral("В конфигурации нет модуля с адресом %1").arg(line_addr));
        return;
    }
    if (tableKind(line.deviceType) != kind) {
        // Another kind lives in another table: the page deletes the old
        // module and adds the new one instead.
        emit clientError(QStringLiteral("Адрес %1 занят в конфигурации модулем %2 другого типа. "
                                        "Удалите его из конфигурации и добавьте модуль %3")
                             .arg(line_addr).arg(typeText(line.deviceType), typeText(mod_type)));
        return;
    }

    const ModuleIdentity id = moduleIdentity(mod_type, serial_no);
    const ushort idx = line.tableIndex;

    switch (kind) {
    case IoTable: {
        IoModuleRecord rec = m_ioModulesModel->moduleAt(idx);
        if (!holdsModule(rec, line_addr)) {
            emit clientError(lostText(line_addr));
            return;
        }
        setIdentity(rec, id);
        m_ioModulesModel->setModule(idx, rec);
        break;
    }
    case SensorTable: {
        SensorModuleRecord rec = m_sensorsModel->moduleAt(idx);
        if (!holdsModule(rec, line_addr)) {
            emit clientError(lostText(line_addr));
            return;
        }
        if (rec.deviceType != mod_type) {
            if (mod_type == SECT_ACC) {
                // Without an infrared channel these settings can be neither
                // shown nor edited, and a wait time would hold back alarms.
                rec.irThreshold = 0;
                rec.irExceedCount = 0;
                rec.rule = 0;
                rec.waitTime = 0;
            } else {
                const Konfig_Device_t &dev = m_controllerModel->deviceConfig;
                rec.irThreshold = IrThresholdDefault;
                rec.irExceedCount = IrExceedDefault;
                rec.waitTime = dev.RuleJP;
                rec.rule = dev.RuleJP != 0 ? 1 : 0;
            }
        }
        setIdentity(rec, id);
        m_sensorsModel->setModule(idx, rec);
        break;
    }
    case ScpTable: {
        ScpModuleRecord rec = m_scpModulesModel->moduleAt(idx);
        if (!holdsModule(rec, line_addr)) {
            emit clientError(lostText(line_addr));
            return;
        }
        setIdentity(rec, id);
        m_scpModulesModel->setModule(idx, rec);
        break;
    }
    case NoTable:
        return;
    }

    setIdentity(line, id);
    m_lineModulesModel->setModule(line);
    noteLineModulesEdit();
}

void LantrelClient::moveModule(uchar mod_type, ushort old_addr, ushort old_idx, ushort new_addr,
                               quint16 &new_idx)
{
    Q_UNUSED(old_idx)   // the line row of old_addr names the table row
    const TableKind kind = tableKind(mod_type);
    if (kind == NoTable) {
        emit clientError(noTableText(mod_type));
        return;
    }
    const LineModuleRecord line = m_lineModulesModel->moduleAt(old_addr);
    if (!validAddress(old_addr) || line.deviceType == DEV_NOT || tableKind(line.deviceType) != kind) {
        emit clientError(missingText(mod_type, old_addr));
        return;
    }
    if (!validAddress(new_addr) || new_addr == old_addr) {
        emit clientError(badAddressText(new_addr));
        return;
    }
    const LineModuleRecord target = m_lineModulesModel->moduleAt(new_addr);
    if (target.deviceType != DEV_NOT) {
        emit clientError(occupiedText(new_addr, target));
        return;
    }

    const ushort idx = line.tableIndex;
    quint16 dest = idx;

    switch (kind) {
    case IoTable: {
        if (m_ioModulesModel->moduleAt(idx).lineAddress != old_addr) {
            emit clientError(lostText(old_addr));
            return;
        }
        m_interactionsModel->removeSourceInteractions(SECT_MVV, old_addr);
        m_interactionsModel->removeExecutorInteractions(SECT_MVV, idx);
        const QVector<quint16> before = ioLineAddresses(m_ioModulesModel);
        m_ioModulesModel->moveModule(idx, new_addr, &dest);
        followIoExecutors(m_interactionsModel, before, m_ioModulesModel, old_addr, new_addr);
        break;
    }
    case SensorTable: {
        if (m_sensorsModel->moduleAt(idx).lineAddress != old_addr) {
            emit clientError(lostText(old_addr));
            return;
        }
        m_interactionsModel->removeSourceInteractions(line.deviceType, old_addr);
        m_sensorsModel->moveModule(idx, new_addr, &dest);
        if (dest == idx) {
            // Same place in the table: the sensor keeps its rule.
            ProcessingRuleRecord rule = m_processingModel->ruleAt(idx);
            if (rule.lineAddress == 0)
                rule = ProcessingRuleRecord();
            rule.lineAddress = new_addr;
            m_processingModel->setRule(idx, rule);
        } else {
            m_processingModel->moveRule(idx, dest);
            const Konfig_Device_t &dev = m_controllerModel->deviceConfig;
            ProcessingRuleRecord rule;
            rule.lineAddress = new_addr;
            rule.config.MRef = dev.MRef;
            rule.config.NExc = dev.NExc;
            rule.config.Ratio = dev.Ratio;
            rule.config.SensLeft = ZoneLeftDefault;
            rule.config.SensRight = ZoneRightDefault;
            m_processingModel->setRule(dest, rule);
        }
        break;
    }
    case ScpTable:
        if (m_scpModulesModel->moduleAt(idx).lineAddress != old_addr) {
            emit clientError(lostText(old_addr));
            return;
        }
        m_scpModulesModel->moveModule(idx, new_addr, &dest);
        break;
    case NoTable:
        return;
    }

    m_lineModulesModel->moveModule(old_addr, new_addr);
    new_idx = dest;
    noteLineModulesEdit();
}

// ---------------------------------------------------------------------------
// Deleting and clearing: the changed tables are written at once.

QVector<int> LantrelClient::deletionParts(uchar mod_type, ushort line_addr) const
{
    const TableKind kind = tableKind(mod_type);
    if (kind == NoTable || !validAddress(line_addr))
        return {};
    const LineModuleRecord line = m_lineModulesModel->moduleAt(line_addr);
    const ushort idx = line.tableIndex;
    if (line.deviceType == DEV_NOT || tableKind(line.deviceType) != kind)
        return {};
    switch (kind) {
    case IoTable: {
        if (m_ioModulesModel->moduleAt(idx).lineAddress != line_addr)
            return {};
        QVector<int> parts {LinePart, IoModulesPart, InteractionsPart};
        // Sensor sources of the relay's interactions lose a reference: their
        // table is written too so that the counters match the interactions.
        for (int k = 0; k < m_interactionsModel->rowCount(); ++k) {
            const InteractionRecord rec = m_interactionsModel->interactionAt(k);
            if (rec.executorType == SECT_MVV && rec.executorNumber == idx + 1
                && rec.sourceKind == SensorModuleSource) {
                parts << SensorsPart;
                break;
            }
        }
        return parts;
    }
    case SensorTable:
        if (m_sensorsModel->moduleAt(idx).lineAddress != line_addr)
            return {};
        return {LinePart, SensorsPart, ProcessingPart, InteractionsPart};
    case ScpTable:
        if (m_scpModulesModel->moduleAt(idx).lineAddress != line_addr)
            return {};
        return {LinePart, ScpModulesPart};
    case NoTable:
        break;
    }
    return {};
}

QStringList LantrelClient::unsentEditsSentWithDeletion(uchar mod_type, ushort line_addr)
{
    // Without a controller the deletion goes into the document alone.
    if (toDocument())
        return {};
    commitOpenEditors();
    const QVector<int> written = deletionParts(mod_type, line_addr);
    QStringList names;
    for (int part : unsavedParts()) {
        if (!written.contains(part))
            continue;
        names << (part == LinePart ? QStringLiteral("параметры линии")
                                   : QStringLiteral("таблица %1").arg(partTableName(part)));
    }
    return names;
}

void LantrelClient::deleteModule(uchar mod_type, ushort mod_idx, ushort line_addr)
{
    Q_UNUSED(mod_idx)   // the line row of line_addr names the table row
    const TableKind kind = tableKind(mod_type);
    if (kind == NoTable)
        return;
    const LineModuleRecord line = m_lineModulesModel->moduleAt(line_addr);
    const ushort idx = line.tableIndex;
    const QVector<int> written = deletionParts(mod_type, line_addr);
    if (written.isEmpty()) {
        emit clientError(missingText(mod_type, line_addr));
        return;
    }
    // Tables that were not read whole must not be written over the controller's.
    if (refuseIncompleteDataset() || !mayOverwriteHeldRecords(toDocument()))
        return;

    commitOpenEditors();
    const EditMarks before = editMarks();
    const bool toController = !toDocument();
    Konfig_Line_t lineCfg = m_controllerModel->lineConfig;
    const bool sensors = written.contains(SensorsPart);
    const bool processing = written.contains(ProcessingPart);
    const bool io = written.contains(IoModulesPart);
    const bool scp = written.contains(ScpModulesPart);
    const bool interactions = written.contains(InteractionsPart);

    switch (kind) {
    case IoTable: {
        m_interactionsModel->removeSourceInteractions(SECT_MVV, line_addr);
        m_interactionsModel->removeExecutorInteractions(SECT_MVV, idx);
        const QVector<quint16> before = ioLineAddresses(m_ioModulesModel);
        m_ioModulesModel->removeModule(idx);
        followIoExecutors(m_interactionsModel, before, m_ioModulesModel);
        m_lineModulesModel->removeModule(line_addr - 1);
        emit datasetChanged();
        lineCfg.IoCount = usedRows(m_ioModulesModel, IoRows);
        emit lineConfigChanged(lineCfg);
        break;
    }
    case SensorTable:
        m_interactionsModel->removeSourceInteractions(line.deviceType, line_addr);
        m_processingModel->removeRule(idx);
        m_sensorsModel->removeModule(idx);
        m_lineModulesModel->removeModule(line_addr - 1);
        emit datasetChanged();
        lineCfg.SensorCount = usedRows(m_sensorsModel, SensorRows);
        emit lineConfigChanged(lineCfg);
        break;
    case ScpTable:
        m_scpModulesModel->removeModule(idx);
        m_lineModulesModel->removeModule(line_addr - 1);
        emit datasetChanged();
        lineCfg = m_controllerModel->lineConfig;
        lineCfg.ScpCount = usedRows(m_scpModulesModel, ScpRows);
        emit lineConfigChanged(lineCfg);
        break;
    case NoTable:
        return;
    }

    // Not a whole write: the line-modules-changed mark stays.
    beginWrite(false);
    writeLineConfig(lineCfg);
    if (sensors)
        writeSensorsConfig();
    if (processing)
        writeProcessingConfig();
    if (io)
        writeIoModulesConfig();
    if (scp)
        writeScpModulesConfig();
    if (interactions)
        writeInteractionsConfig();

    if (toController)
        markSentAfterWrite(written, before);
    else
        restoreModifiedAfterWrite(before);

    startWriteTask(QStringLiteral("Обновление конфигурации линейных модулей..."));
}

void LantrelClient::clearModulesConfig()
{
    commitOpenEditors();
    const EditMarks before = editMarks();
    beginWrite(true);
    // The cleared tables are saved in the controller's flash too; there is
    // no flash to save into without a controller.
    m_pendingFlashSave = !toDocument();

    Konfig_Line_t lineCfg = m_controllerModel->lineConfig;
    lineCfg.SensorCount = 0;
    lineCfg.IoCount = 0;
    lineCfg.ScpCount = 0;
    emit lineConfigChanged(lineCfg);

    clearTableModels(true);
    emit datasetChanged();

    writeSensorsConfig();
    writeIoModulesConfig();
    writeScpModulesConfig();
    writeProcessingConfig();
    writeInteractionsConfig();
    writeLineConfig(lineCfg);

    // The relay modules and the controller settings are not written here.
    restoreModifiedAfterWrite(before);

    startWriteTask(QStringLiteral("Очистка конфигурации линейных модулей..."));
}
