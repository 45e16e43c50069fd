#include "sensorsampleshistorymodel.h"

#include <algorithm>

namespace {
const int Centred = Qt::AlignHCenter | Qt::AlignVCenter;
} // namespace

SensorSamplesHistoryModel::SensorSamplesHistoryModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void SensorSamplesHistoryModel::addSample(quint16 address, const SensorSample &sample)
{
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), address,
                                     [](const SensorHistory &h, quint16 a) { return h.address < a; });
    const int row = int(it - m_rows.begin());
    if (it == m_rows.end() || it->address != address) {
        beginInsertRows(QModelIndex(), row, row);
        m_rows.insert(row, SensorHistory {address, {sample}});
        endInsertRows();
        return;
    }
    SensorSampleList &samples = it->samples;
    if (samples.size() >= MaxSamples)
        samples.removeLast();
    samples.prepend(sample);
    emit dataChanged(index(row, 1), index(row, 1), {Qt::DisplayRole});
}

void SensorSamplesHistoryModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, m_rows.size() - 1);
    m_rows.clear();
    endRemoveRows();
}

void SensorSamplesHistoryModel::clearSamples()
{
    if (m_rows.isEmpty())
        return;
    for (SensorHistory &h : m_rows)
        h.samples.clear();
    emit dataChanged(index(0, 1), index(m_rows.size() - 1, 1), {Qt::DisplayRole});
}

int SensorSamplesHistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int SensorSamplesHistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant SensorSamplesHistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_rows.size() || index.column() > 1)
        return QVariant();
    const SensorHistory &h = m_rows.at(index.row());
    if (index.column() == 0) {
        if (role == Qt::TextAlignmentRole)
            return Centred;
        if (role == Qt::DisplayRole)
            return int(h.address);
        return QVariant();
    }
    return role == Qt::DisplayRole ? QVariant::fromValue(h.samples) : QVariant();
}

QVariant SensorSamplesHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role != Qt::DisplayRole)
            return QVariant();
        switch (section) {
        case 0: return QStringLiteral("Адрес");
        case 1: return QStringLiteral("Данные от датчика");
        default: return QVariant();
        }
    }
    if (role == Qt::TextAlignmentRole)
        return Centred;
    if (role == Qt::DisplayRole)
        return section >= 0 && section < m_rows.size() ? QVariant(int(m_rows.at(section).address)) : QVariant();
    return QAbstractTableModel::headerData(section, orientation, role);
}

SensorHistoryFilterModel::SensorHistoryFilterModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
}

void SensorHistoryFilterModel::setRange(quint16 min, quint16 max)
{
    m_min = qMin(min, max);
    m_max = qMax(min, max);
    invalidateFilter();
}

bool SensorHistoryFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_min == 1 && m_max == 500)
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (!index.isValid())
        return false;
    const auto address = quint16(index.data(Qt::DisplayRole).toUInt());
    return address >= m_min && address <= m_max;
}
