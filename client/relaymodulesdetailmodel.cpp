#include "relaymodulesdetailmodel.h"

#include "interactiontext.h"
#include "relaymodulesconfigmodel.h"

RelayModulesDetailModel::RelayModulesDetailModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void RelayModulesDetailModel::setMasterModel(QAbstractItemModel *model)
{
    if (m_master) {
        disconnect(m_master, nullptr, this, nullptr);
        resetShownModule();
    }
    m_master = qobject_cast<RelayModulesConfigModel *>(model);
    if (!m_master)
        return;
    connect(m_master, &QAbstractItemModel::dataChanged,
            this, &RelayModulesDetailModel::onMasterDataChanged);
    // The shown module is followed by its configuration index, so every
    // structural change of the master is looked at again.
    connect(m_master, &QAbstractItemModel::rowsInserted,
            this, &RelayModulesDetailModel::onMasterRowsChanged);
    connect(m_master, &QAbstractItemModel::rowsRemoved,
            this, &RelayModulesDetailModel::onMasterRowsChanged);
    connect(m_master, &QAbstractItemModel::rowsMoved,
            this, &RelayModulesDetailModel::onMasterRowsChanged);
    connect(m_master, &QAbstractItemModel::modelReset,
            this, &RelayModulesDetailModel::onMasterRowsChanged);
    connect(m_master, &QAbstractItemModel::layoutChanged,
            this, &RelayModulesDetailModel::onMasterRowsChanged);
    connect(m_master, &QObject::destroyed, this, &RelayModulesDetailModel::onMasterDestroyed);
}

void RelayModulesDetailModel::setMasterRow(const QModelIndex &current)
{
    if (!m_master)
        return;
    int row = current.isValid() ? current.row() : -1;
    if (row >= m_master->rowCount())
        row = -1;
    const int cfgIndex = row >= 0 ? int(m_master->moduleAt(row).configIndex) : -1;
    if (row == m_masterRow && cfgIndex == m_masterIndex)
        return;
    removeShownRows();
    m_masterRow = row;
    m_masterIndex = cfgIndex;
    if (row < 0)
        return;
    showModule(row);
}

void RelayModulesDetailModel::resetShownModule()
{
    beginResetModel();
    m_masterRow = -1;
    m_masterIndex = -1;
    m_counts.clear();
    endResetModel();
}

void RelayModulesDetailModel::removeShownRows()
{
    if (m_counts.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, m_counts.size() - 1);
    m_counts.clear();
    endRemoveRows();
}

void RelayModulesDetailModel::showModule(int masterRow)
{
    const RelayModuleRecord rec = m_master->moduleAt(masterRow);
    const int n = rec.config.ExpMod != 0 ? 32 : 16;
    beginInsertRows(QModelIndex(), 0, n - 1);
    m_counts.resize(n);
    for (int i = 0; i < n; ++i)
        m_counts[i] = rec.config.Relays[i].TSign;
    endInsertRows();
}

void RelayModulesDetailModel::refreshCounts()
{
    const RelayModuleRecord rec = m_master->moduleAt(m_masterRow);
    const int n = rec.config.ExpMod != 0 ? 32 : 16;
    if (n != m_counts.size()) {
        removeShownRows();
        showModule(m_masterRow);
        return;
    }
    for (int i = 0; i < n; ++i) {
        const quint8 count = rec.config.Relays[i].TSign;
        if (m_counts.at(i) == count)
            continue;
        m_counts[i] = count;
        emit dataChanged(index(i, CountColumn), index(i, SecondsColumn),
                         {Qt::DisplayRole, Qt::EditRole});
    }
}

void RelayModulesDetailModel::onMasterDataChanged(const QModelIndex &first_idx,
                                                  const QModelIndex &last_idx,
                                                  const QVector<int> &roles)
{
    if (!m_master || m_masterRow < 0)
        return;
    if (!roles.isEmpty() && !roles.contains(Qt::EditRole))
        return;
    const int last = last_idx.isValid() ? last_idx.row() : first_idx.row();
    if (m_masterRow < first_idx.row() || m_masterRow > last)
        return;
    refreshCounts();
}

void RelayModulesDetailModel::onMasterRowsChanged()
{
    if (!m_master || m_masterIndex < 0)
        return;
    const QModelIndex idx = m_master->indexOf(quint16(m_masterIndex));
    if (!idx.isValid()) {
        // The shown module is gone: show nothing rather than its neighbour.
        removeShownRows();
        m_masterRow = -1;
        m_masterIndex = -1;
        return;
    }
    m_masterRow = idx.row();
    refreshCounts();
}

void RelayModulesDetailModel::onMasterDestroyed()
{
    resetShownModule();
}

int RelayModulesDetailModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_counts.size();
}

int RelayModulesDetailModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant RelayModulesDetailModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_counts.size() || index.column() >= m_columnCount)
        return QVariant();
    const int row = index.row();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignHCenter | Qt::AlignVCenter);
    const quint8 count = m_counts.at(row);
    if (role == Qt::EditRole)
        return index.column() == CountColumn ? QVariant(uint(count)) : QVariant();
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case RelayColumn:
        return row + 1;
    case CountColumn:
        return uint(count);
    case SecondsColumn:
        return relayTimeText(LantrelProtocol::EXT_RELY, count);
    default:
        return QVariant();
    }
}

bool RelayModulesDetailModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != CountColumn
        || index.row() >= m_counts.size() || !m_master || !m_master->isEditable() || m_masterIndex < 0)
        return false;
    bool ok = false;
    const uint number = value.toUInt(&ok);
    if (!ok)
        return false;
    // Written to the module shown, wherever its row in the master is now.
    const QModelIndex masterRowIndex = m_master->indexOf(quint16(m_masterIndex));
    if (!masterRowIndex.isValid())
        return false;
    const quint8 count = quint8(number);
    m_counts[index.row()] = count;
    // The seconds follow the count.
    emit dataChanged(index, index.siblingAtColumn(SecondsColumn), {Qt::DisplayRole, Qt::EditRole});
    m_master->setData(m_master->index(masterRowIndex.row(),
                                      RelayModulesConfigModel::FirstRelayColumn + index.row()),
                      uint(count), Qt::EditRole);
    return true;
}

QVariant RelayModulesDetailModel::headerData(int section, Qt::Orientation orientation,
                                             int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
        case RelayColumn: return QStringLiteral("№\nреле");
        case CountColumn: return QStringLiteral("Количество\nинтервалов");
        case SecondsColumn: return QStringLiteral("Время, с.");
        default: break;
        }
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RelayModulesDetailModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == CountColumn && m_master && m_master->isEditable())
        f |= Qt::ItemIsEditable;
    return f;
}
