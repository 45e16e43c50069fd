#include "fixedtablemodel.h"

FixedTableModel::FixedTableModel(int rows, const QStringList &captions,
                                 const QVector<int> &wholeRowRoles, QObject *parent)
    : QAbstractTableModel(parent)
    , m_rows(rows)
    , m_columns(captions.size())
    , m_captions(captions)
    , m_wholeRowRoles(wholeRowRoles)
{
}

int FixedTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int FixedTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant FixedTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < m_columns)
        return m_captions.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool FixedTableModel::isCellValid(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && !index.parent().isValid()
           && index.row() < m_rows && index.column() < m_columns;
}

void FixedTableModel::reportRow(int row, const QVector<int> &roles)
{
    emit dataChanged(index(row, 0), index(row, m_columns - 1), roles);
}

void FixedTableModel::reportCell(int row, int column, const QVector<int> &roles)
{
    const QModelIndex idx = index(row, column);
    emit dataChanged(idx, idx, roles);
}

void FixedTableModel::reportTable()
{
    emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1), m_wholeRowRoles);
}

int FixedTableModel::addressOrderedPosition(quint16 lineAddress) const
{
    for (int row = 0; row < m_rows; ++row) {
        if (isEmptyRow(row) || rowLineAddress(row) >= lineAddress)
            return row;
    }
    return m_rows;
}

int FixedTableModel::prepareInsertion(quint16 lineAddress)
{
    if (lineAddress == 0)
        return -1;
    const int pos = addressOrderedPosition(lineAddress);
    if (pos >= m_rows)
        return -1;
    if (isEmptyRow(pos) || rowLineAddress(pos) == lineAddress)
        return pos;
    // A module with a higher address sits there: the empty last row moves up
    // to make room, so that module keeps its configuration.
    const int last = m_rows - 1;
    if (!isEmptyRow(last))
        return -1;
    beginMoveRows(QModelIndex(), last, last, QModelIndex(), pos);
    rotateRow(last, pos);
    endMoveRows();
    return pos;
}

int FixedTableModel::moveToAddress(int index, quint16 lineAddress)
{
    if (!isRowValid(index) || isEmptyRow(index) || lineAddress == 0)
        return -1;
    const int target = addressOrderedPosition(lineAddress);
    if (target == index || target == index + 1) {
        readdressRow(index, lineAddress);
        reportRow(index, {Qt::DisplayRole});
        return index;
    }
    const int dest = target > index ? target - 1 : target;
    beginMoveRows(QModelIndex(), index, index, QModelIndex(), target);
    readdressRow(index, lineAddress);
    rotateRow(index, dest);
    endMoveRows();
    reportRow(index);
    reportRow(dest);
    return dest;
}

bool FixedTableModel::removeRowAt(int index)
{
    if (!isRowValid(index))
        return false;
    const int last = m_rows - 1;
    if (index != last) {
        beginMoveRows(QModelIndex(), index, index, QModelIndex(), m_rows);
        rotateRow(index, last);
        endMoveRows();
    }
    emptyRow(last);
    reportRow(last);
    return true;
}

bool FixedTableModel::moveRowTo(int from, int to)
{
    if (!isRowValid(from) || !isRowValid(to))
        return false;
    if (from == to)
        return true;
    if (to == from + 1)
        beginMoveRows(QModelIndex(), to, to, QModelIndex(), from);
    else if (to > from + 1)
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), to + 1);
    else
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), to);
    rotateRow(from, to);
    endMoveRows();
    reportRow(from);
    reportRow(to);
    return true;
}

FixedTableFilterModel::FixedTableFilterModel(int keyColumn, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_keyColumn(keyColumn)
{
}

void FixedTableFilterModel::setHideEmptyRows(bool hide)
{
    m_showAll = !hide;
    invalidateFilter();
}

bool FixedTableFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_showAll)
        return true;
    const QAbstractItemModel *source = sourceModel();
    if (!source)
        return false;
    const QModelIndex key = source->index(sourceRow, m_keyColumn, sourceParent);
    if (!key.isValid())
        return false;
    return key.data(Qt::UserRole).toUInt() != 0;
}
