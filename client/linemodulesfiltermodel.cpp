#include "linemodulesfiltermodel.h"

bool lineModuleRowAccepted(const QAbstractItemModel *source, int sourceRow,
                           const QModelIndex &sourceParent, int kind, bool showEmptyRows)
{
    if (kind == 0 && showEmptyRows)
        return true;
    if (!source)
        return false;
    const QModelIndex index = source->index(sourceRow, 1, sourceParent);
    if (!index.isValid())
        return false;
    const quint8 type = static_cast<quint8>(index.data(Qt::UserRole).toUInt() & 0xFF);
    bool matches = false;
    switch (kind) {
    case 0:
        matches = type != 0;
        break;
    case 1:
        matches = type == 3 || type == 4;
        break;
    case 2:
        matches = type == 2;
        break;
    case 3:
        matches = type == 5;
        break;
    default:
        break;
    }
    return matches || (showEmptyRows && type == 0);
}

LineModulesFilterModel::LineModulesFilterModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
}

void LineModulesFilterModel::setHideEmptyRows(bool hide)
{
    m_showEmptyRows = !hide;
    invalidateFilter();
}

void LineModulesFilterModel::setModuleTypeFilter(int kind)
{
    m_kind = kind;
    invalidateFilter();
}

bool LineModulesFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    return lineModuleRowAccepted(sourceModel(), sourceRow, sourceParent, m_kind, m_showEmptyRows);
}

bool LineModulesFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    // Serial numbers sort by their packed value, not by their text.
    if (left.column() == 2 && right.column() == 2)
        return left.data(Qt::UserRole).toInt() < right.data(Qt::UserRole).toInt();
    return QSortFilterProxyModel::lessThan(left, right);
}
