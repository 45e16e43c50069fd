#include "scpmodulesconfigmodel.h"

#include "lantrelprotocol.h"

ScpModulesConfigModel::ScpModulesConfigModel(QObject *parent)
    : FixedTableModel(RowCount,
                      {QStringLiteral("Адрес\nмодуля"), QStringLiteral("Тип"),
                       QStringLiteral("Серийный\nномер"), QStringLiteral("отключения"),
                       QStringLiteral("размыкания"), QStringLiteral("восстановления")},
                      {Qt::DisplayRole, Qt::UserRole}, parent)
    , m_rows(RowCount)
{
}

QVariant ScpModulesConfigModel::data(const QModelIndex &index, int role) const
{
    if (!isCellValid(index))
        return QVariant();
    const ScpModuleRecord &rec = m_rows.at(index.row());
    const int column = index.column();

    if (role == Qt::UserRole) {
        switch (column) {
        case TypeColumn: return uint(rec.deviceType);
        case SerialColumn: return uint(rec.serialNumber);
        case ThrMinColumn: return uint(rec.thrMin);
        case ThrOffColumn: return uint(rec.thrOff);
        case ThrOnColumn: return uint(rec.thrOn);
        default: return QVariant();
        }
    }
    if (rec.deviceType == LantrelProtocol::DEV_NOT)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (column) {
    case AddressColumn: return uint(rec.lineAddress);
    case TypeColumn: return rec.deviceTypeName;
    case SerialColumn: return rec.serialNumberText;
    case ThrMinColumn: return rec.thrMinText;
    case ThrOffColumn: return rec.thrOffText;
    case ThrOnColumn: return rec.thrOnText;
    default: return QVariant();
    }
}

void ScpModulesConfigModel::clear()
{
    for (ScpModuleRecord &rec : m_rows)
        rec = ScpModuleRecord();
    reportTable();
}

ScpModuleRecord ScpModulesConfigModel::moduleAt(ushort index) const
{
    return index < m_rows.size() ? m_rows.at(index) : ScpModuleRecord();
}

bool ScpModulesConfigModel::setModule(ushort index, const ScpModuleRecord &record)
{
    if (!isRowValid(index))
        return false;
    m_rows[index] = record;
    reportRow(index);
    return true;
}

bool ScpModulesConfigModel::insertModule(const ScpModuleRecord &record, quint16 *index)
{
    if (record.deviceType == LantrelProtocol::DEV_NOT)
        return false;
    const int pos = prepareInsertion(record.lineAddress);
    if (pos < 0)
        return false;
    if (index)
        *index = quint16(pos);
    return setModule(ushort(pos), record);
}

bool ScpModulesConfigModel::moveModule(ushort index, ushort lineAddress, quint16 *newIndex)
{
    const int dest = moveToAddress(index, lineAddress);
    if (dest < 0)
        return false;
    if (newIndex)
        *newIndex = quint16(dest);
    return true;
}

bool ScpModulesConfigModel::removeModule(ushort index)
{
    return removeRowAt(index);
}

bool ScpModulesConfigModel::isEmptyRow(int row) const
{
    return m_rows.at(row).deviceType == LantrelProtocol::DEV_NOT;
}

quint16 ScpModulesConfigModel::rowLineAddress(int row) const
{
    return m_rows.at(row).lineAddress;
}

void ScpModulesConfigModel::emptyRow(int row)
{
    m_rows[row] = ScpModuleRecord();
}

void ScpModulesConfigModel::rotateRow(int from, int to)
{
    rotateVector(m_rows, from, to);
}

void ScpModulesConfigModel::readdressRow(int row, quint16 lineAddress)
{
    m_rows[row].lineAddress = lineAddress;
}
