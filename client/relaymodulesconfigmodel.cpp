#include "relaymodulesconfigmodel.h"

#include <iterator>

RelayModulesConfigModel::RelayModulesConfigModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

const RelayModuleRecord *RelayModulesConfigModel::recordAt(int row) const
{
    if (row < 0 || row >= m_modules.size())
        return nullptr;
    return &*std::next(m_modules.constBegin(), row);
}

RelayModuleRecord RelayModulesConfigModel::moduleAt(int row) const
{
    const RelayModuleRecord *rec = recordAt(row);
    return rec ? *rec : RelayModuleRecord();
}

RelayModuleRecord RelayModulesConfigModel::moduleByIndex(quint16 cfgIndex) const
{
    return m_modules.value(cfgIndex, RelayModuleRecord());
}

QModelIndex RelayModulesConfigModel::indexOf(quint16 cfgIndex) const
{
    const auto it = m_modules.constFind(cfgIndex);
    if (it == m_modules.constEnd())
        return QModelIndex();
    return index(int(std::distance(m_modules.constBegin(), it)), 0);
}

void RelayModulesConfigModel::setModule(const RelayModuleRecord &record)
{
    const quint16 key = record.configIndex;
    const auto it = m_modules.find(key);
    if (it != m_modules.end()) {
        *it = record;
        const int row = int(std::distance(m_modules.begin(), it));
        emit dataChanged(index(row, 0), index(row, m_columnCount - 1),
                         {Qt::DisplayRole, Qt::EditRole});
        return;
    }
    const int pos = int(std::distance(m_modules.begin(), m_modules.lowerBound(key)));
    beginInsertRows(QModelIndex(), pos, pos);
    m_modules.insert(key, record);
    endInsertRows();
}

void RelayModulesConfigModel::removeModule(int row)
{
    const RelayModuleRecord *rec = recordAt(row);
    if (!rec)
        return;
    const quint16 key = rec->configIndex;
    beginRemoveRows(QModelIndex(), row, row);
    // Sent while the row still exists, so listeners can still look the module up.
    emit moduleDeteted(LantrelProtocol::EXT_RELY, key);
    m_modules.remove(key);
    endRemoveRows();
}

void RelayModulesConfigModel::clear()
{
    if (m_modules.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, m_modules.size() - 1);
    m_modules.clear();
    endRemoveRows();
}

int RelayModulesConfigModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_modules.size();
}

int RelayModulesConfigModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant RelayModulesConfigModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() >= m_columnCount)
        return QVariant();
    const RelayModuleRecord *rec = recordAt(index.row());
    if (!rec)
        return QVariant();
    const int column = index.column();

    if (role == Qt::TextAlignmentRole) {
        if (column == NumberColumn || column == LineAddressColumn)
            return int(Qt::AlignHCenter | Qt::AlignVCenter);
        return QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    switch (column) {
    case NumberColumn: return uint(rec->configIndex) + 1;
    case AddressColumn: return rec->ipAddress;
    case LineAddressColumn: return uint(rec->config.LineAddr);
    case ExpansionColumn: return uint(rec->config.ExpMod);
    default:
        break;
    }
    const int relay = column - FirstRelayColumn + 1;
    if (relay > 16 && rec->config.ExpMod == 0)
        return QVariant();
    return uint(rec->config.Relays[relay - 1].TSign);
}

bool RelayModulesConfigModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !m_editable || !index.isValid())
        return false;
    const int column = index.column();
    // Modules change as a whole through setModule(); only the hold times are edited here.
    if (column < FirstRelayColumn || column >= m_columnCount)
        return false;
    const RelayModuleRecord *found = recordAt(index.row());
    if (!found)
        return false;
    const quint16 key = found->configIndex;
    RelayModuleRecord &rec = m_modules[key];
    const int relay = column - FirstRelayColumn + 1;
    if (relay > 16 && rec.config.ExpMod == 0)
        return false;
    bool ok = false;
    const uint number = value.toUInt(&ok);
    if (!ok)
        return false;
    const quint8 count = quint8(number);
    rec.config.Relays[relay - 1].TSign = count;
    emit relayTimeChanged(LantrelProtocol::EXT_RELY, rec.configIndex, uchar(relay), count);
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant RelayModulesConfigModel::headerData(int section, Qt::Orientation orientation,
                                             int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < m_columnCount) {
        switch (section) {
        case NumberColumn: return QStringLiteral("№\nмодуля");
        case AddressColumn: return QStringLiteral("IP адрес");
        case LineAddressColumn: return QStringLiteral("Линейный\nадрес");
        case ExpansionColumn: return QStringLiteral("Модуль\nрасширения");
        default: return QString::number(section - FirstRelayColumn + 1);
        }
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RelayModulesConfigModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_editable && index.column() >= FirstRelayColumn && index.column() < m_columnCount)
        f |= Qt::ItemIsEditable;
    return f;
}
