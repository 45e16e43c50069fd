#include "linemodulesmodel.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QPixmapCache>

#include "devicetables.h"

namespace {

const QVector<int> allRoles = {Qt::DisplayRole, Qt::DecorationRole, Qt::ToolTipRole,
                               Qt::BackgroundRole, Qt::UserRole};
const QVector<int> stateRoles = {Qt::DecorationRole, Qt::ToolTipRole, Qt::BackgroundRole};
const QVector<int> backgroundRole = {Qt::BackgroundRole};
const QVector<int> userRole = {Qt::UserRole};

constexpr int centred = Qt::AlignHCenter | Qt::AlignVCenter;

inline bool validAddress(quint16 lineAddress)
{
    return lineAddress >= 1 && lineAddress <= LineModulesModel::RowCount;
}

inline void setBit(quint32 &flags, quint32 bit, bool on)
{
    if (on)
        flags |= bit;
    else
        flags &= ~bit;
}

// Empty row at its own address; the line address survives every emptying.
LineModuleRecord emptyRecord(quint16 lineAddress, quint32 flags)
{
    LineModuleRecord r;
    r.lineAddress = lineAddress;
    r.stateFlags = flags;
    return r;
}

// State flags from the stored status bytes and loop modes, starting from the
// row's current flags (bits not named for the device type keep their value).
quint32 deriveStateFlags(const LineModuleRecord &r)
{
    quint32 f = r.stateFlags & ~quint32(ModuleStateNone);
    const quint8 s0 = r.status0;
    const quint8 s1 = r.status1;
    setBit(f, ModuleNoLink, s0 & 0x01);
    setBit(f, ModuleSwitchedOff, s1 & 0x01);
    setBit(f, ModuleExcluded, s1 & 0x04);
    setBit(f, ModuleParamsDiffer, s1 & 0xC0);

    switch (r.deviceType) {
    case 3:
    case 4:
        setBit(f, ModuleFault, s0 & 0x20);
        setBit(f, ModuleLoop1Disarmed, !(s1 & 0x02));
        setBit(f, ModuleLoop1Active, s0 & 0x0E);
        setBit(f, ModuleLoop1Normal, !(s0 & 0x0E));
        break;
    case 2: {
        setBit(f, ModuleFault, s0 & 0x04);
        setBit(f, ModuleLoop1Disarmed, !(s1 & 0x02) && r.loop1Mode == 1);
        setBit(f, ModuleLoop2Disarmed, !(s1 & 0x10) && r.loop2Mode == 1);
        static const quint32 loop1[4] = {ModuleLoop1Normal, ModuleLoop1Break,
                                         ModuleLoop1Short, ModuleLoop1Active};
        static const quint32 loop2[4] = {ModuleLoop2Normal, ModuleLoop2Break,
                                         ModuleLoop2Short, ModuleLoop2Active};
        for (int i = 0; i < 4; ++i) {
            setBit(f, loop1[i], i == ((s0 >> 4) & 0x03));
            setBit(f, loop2[i], i == ((s0 >> 6) & 0x03));
        }
        setBit(f, ModuleRelayOn, s0 & 0x02);
        break;
    }
    case 5:
        setBit(f, ModuleFault, s0 & 0x0C);
        setBit(f, ModuleScpRelayClosed, s0 & 0x80);
        setBit(f, ModuleLoop1Active, !(s0 & 0x80));
        break;
    default:
        break;
    }
    return f;
}

inline bool derivesState(quint8 deviceType)
{
    return deviceType >= 2 && deviceType <= 5;
}

QVariant cachedPixmap(const QString &path)
{
    // Pixmaps need a GUI application; a console user of the model gets none.
    if (path.isEmpty() || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QVariant();
    QPixmap pixmap;
    if (!QPixmapCache::find(path, &pixmap)) {
        if (!pixmap.load(path))
            return QVariant();
        QPixmapCache::insert(path, pixmap);
    }
    return pixmap;
}

} // namespace

int lineModuleKind(quint8 deviceType)
{
    switch (deviceType) {
    case 5:
        return 3;
    case 2:
        return 2;
    default:
        return 1;
    }
}

QVariant lineModuleCaption(int section)
{
    switch (section) {
    case 0:
        return QStringLiteral("Адрес модуля");
    case 1:
        return QStringLiteral("Тип модуля");
    case 2:
        return QStringLiteral("Серийный номер");
    default:
        return QVariant();
    }
}

QVariant lineModuleCell(const LineModuleRecord &r, int column, int role)
{
    if (role == Qt::DisplayRole) {
        if (column == 0)
            return int(r.lineAddress);
        if (column == 1)
            return r.typeName;
        return r.serialNumberText;
    }
    if (role == Qt::UserRole) {
        if (column == 0)
            return uint(r.tableIndex);
        if (column == 1)
            return uint(r.deviceType);
        return uint(r.serialNumber);
    }
    return QVariant();
}

LineModulesModel::LineModulesModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_rows.reserve(RowCount);
    for (int row = 0; row < RowCount; ++row)
        m_rows.append(emptyRecord(static_cast<quint16>(row + 1), 0));
}

LineModuleRecord LineModulesModel::moduleAt(quint16 lineAddress) const
{
    if (!validAddress(lineAddress))
        return LineModuleRecord();
    return m_rows.at(lineAddress - 1);
}

QModelIndex LineModulesModel::indexOf(quint8 deviceType, quint32 serialNumber) const
{
    if (deviceType == 0 || serialNumber == 0)
        return QModelIndex();
    for (int row = 0; row < RowCount; ++row) {
        const LineModuleRecord &r = m_rows.at(row);
        if (r.deviceType == deviceType && r.serialNumber == serialNumber)
            return index(row, 0);
    }
    return QModelIndex();
}

void LineModulesModel::clear(int kind)
{
    for (LineModuleRecord &r : m_rows) {
        if (r.deviceType != 0 && (kind == 0 || lineModuleKind(r.deviceType) == kind))
            r = emptyRecord(r.lineAddress, ModuleStateNone);
    }
    emit dataChanged(index(0, 0), index(RowCount - 1, m_columnCount - 1), allRoles);
}

void LineModulesModel::setModule(const LineModuleRecord &record)
{
    if (!validAddress(record.lineAddress))
        return;
    const int row = record.lineAddress - 1;
    m_rows[row] = record;
    m_rows[row].stateFlags = record.deviceType == 0 ? quint32(ModuleStateNone) : 0u;
    emitRowChanged(row, allRoles);
}

void LineModulesModel::insertModule(const LineModuleRecord &record)
{
    if (!validAddress(record.lineAddress))
        return;
    setModule(record);
    // A free address takes no place in any configuration table.
    if (record.deviceType == 0 || record.lineAddress == RowCount)
        return;
    const int kind = lineModuleKind(record.deviceType);
    for (int row = record.lineAddress; row < RowCount; ++row) {
        LineModuleRecord &r = m_rows[row];
        if (r.deviceType != 0 && lineModuleKind(r.deviceType) == kind)
            ++r.tableIndex;
    }
    emit dataChanged(index(record.lineAddress, 0), index(RowCount - 1, m_columnCount - 1),
                     userRole);
}

void LineModulesModel::removeModule(int row)
{
    if (row < 0 || row >= RowCount || m_rows.at(row).deviceType == 0)
        return;
    const int kind = lineModuleKind(m_rows.at(row).deviceType);
    m_rows[row] = emptyRecord(m_rows.at(row).lineAddress, ModuleStateNone);
    for (int later = row + 1; later < RowCount; ++later) {
        LineModuleRecord &r = m_rows[later];
        if (r.deviceType != 0 && lineModuleKind(r.deviceType) == kind && r.tableIndex > 0)
            --r.tableIndex;
    }
    emit dataChanged(index(row, 0), index(RowCount - 1, m_columnCount - 1), allRoles);
}

void LineModulesModel::moveModule(quint16 from, quint16 to)
{
    // Moves only a present module to a free address; anything else would
    // lose or mix up modules.
    if (!validAddress(from) || !validAddress(to) || from == to)
        return;
    const int fromRow = from - 1;
    const int toRow = to - 1;
    if (m_rows.at(fromRow).deviceType == 0 || m_rows.at(toRow).deviceType != 0)
        return;

    // Rows keep their line addresses, so this is a change of two rows, not a
    // row move: views and persistent indexes stay on their addresses.
    const int kind = lineModuleKind(m_rows.at(fromRow).deviceType);
    LineModuleRecord moved = m_rows.at(fromRow);
    LineModuleRecord vacated = m_rows.at(toRow);
    moved.lineAddress = to;
    vacated.lineAddress = from;
    moved.stateFlags = 0;
    vacated.stateFlags = ModuleStateNone;
    m_rows[toRow] = moved;
    m_rows[fromRow] = vacated;
    emitRowChanged(fromRow, allRoles);
    emitRowChanged(toRow, allRoles);

    quint16 next = 0;
    for (LineModuleRecord &r : m_rows) {
        if (r.deviceType != 0 && lineModuleKind(r.deviceType) == kind)
            r.tableIndex = next++;
    }
    emit dataChanged(index(0, 0), index(RowCount - 1, m_columnCount - 1), userRole);
}

void LineModulesModel::setModuleState(quint16 lineAddress, quint8 s0, quint8 s1, quint8 s2)
{
    if (!validAddress(lineAddress))
        return;
    const int row = lineAddress - 1;
    LineModuleRecord &r = m_rows[row];
    if (r.deviceType == 0)
        return;
    if (r.status0 == s0 && r.status1 == s1 && r.status2 == s2 && r.stateFlags != 0)
        return;
    r.status0 = s0;
    r.status1 = s1;
    r.status2 = s2;
    if (!derivesState(r.deviceType))
        return;
    r.stateFlags = deriveStateFlags(r);
    emitStateChanged(row, stateRoles);
}

void LineModulesModel::resetModuleState(quint16 lineAddress)
{
    if (!validAddress(lineAddress))
        return;
    const int row = lineAddress - 1;
    LineModuleRecord &r = m_rows[row];
    if (r.deviceType == 0 || r.stateFlags == 0)
        return;
    r.stateFlags = 0;
    r.status0 = 0;
    r.status1 = 0;
    r.status2 = 0;
    emitStateChanged(row, stateRoles);
}

void LineModulesModel::setLoopModes(quint16 lineAddress, int loop1Mode, int loop2Mode)
{
    if (!validAddress(lineAddress))
        return;
    const int row = lineAddress - 1;
    LineModuleRecord &r = m_rows[row];
    if (r.deviceType != 2 || (r.loop1Mode == loop1Mode && r.loop2Mode == loop2Mode))
        return;
    r.loop1Mode = loop1Mode;
    r.loop2Mode = loop2Mode;
    // The disarmed bits depend on the modes: derive them again from the last
    // status, unless no state is known yet.
    if (r.stateFlags != 0)
        r.stateFlags = deriveStateFlags(r);
    emitStateChanged(row, backgroundRole);
}

void LineModulesModel::setModuleVoltages(quint16 lineAddress, quint16 inputMv, quint16 outputMv)
{
    if (!validAddress(lineAddress))
        return;
    const int row = lineAddress - 1;
    LineModuleRecord &r = m_rows[row];
    if (r.deviceType != 5)
        return;
    if (r.inputVoltage == inputMv && r.outputVoltage == outputMv && r.stateFlags != 0)
        return;
    r.inputVoltage = inputMv;
    r.outputVoltage = outputMv;
    emitStateChanged(row, backgroundRole);
}

int LineModulesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : RowCount;
}

int LineModulesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant LineModulesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= RowCount || index.column() < 0
        || index.column() >= m_columnCount)
        return QVariant();
    const LineModuleRecord &r = m_rows.at(index.row());
    const int column = index.column();

    switch (role) {
    case Qt::DisplayRole:
    case Qt::UserRole:
        return lineModuleCell(r, column, role);
    case Qt::DecorationRole:
        if (column != 1 || r.deviceType == 0)
            return QVariant();
        if (r.stateFlags & ModuleNoLink)
            return cachedPixmap(QStringLiteral(":/images/delete.png"));
        if (r.stateFlags & ModuleParamsDiffer)
            return cachedPixmap(QStringLiteral(":/images/warning.png"));
        if (r.stateFlags & ModuleExcluded)
            return cachedPixmap(QStringLiteral(":/images/exclamation.png"));
        return cachedPixmap(deviceTypeImages.value(r.deviceType));
    case Qt::ToolTipRole:
        if (column != 1 || r.deviceType == 0)
            return QVariant();
        if (r.stateFlags & ModuleNoLink)
            return QStringLiteral("<p>нет связи с модулем</p>");
        if (r.stateFlags & ModuleParamsDiffer)
            return QStringLiteral("<p>параметры модуля не соответствуют хранимым в ЦУ-Л</p>");
        if (r.stateFlags & ModuleExcluded)
            return QStringLiteral("<p>модуль исключен из обработки</p>");
        return QVariant();
    case Qt::TextAlignmentRole:
        return centred;
    default:
        return QVariant();
    }
}

QVariant LineModulesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return lineModuleCaption(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void LineModulesModel::emitRowChanged(int row, const QVector<int> &roles)
{
    emit dataChanged(index(row, 0), index(row, m_columnCount - 1), roles);
}

void LineModulesModel::emitStateChanged(int row, const QVector<int> &roles)
{
    emit dataChanged(index(row, 1), index(row, 1), roles);
}
