#include "modulesversionfiltermodel.h"

#include "linemodulesfiltermodel.h"

ModulesVersionFilterModel::ModulesVersionFilterModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
}

void ModulesVersionFilterModel::setHideEmptyRows(bool hide)
{
    m_showEmptyRows = !hide;
    invalidateFilter();
}

void ModulesVersionFilterModel::setModuleTypeFilter(int kind)
{
    m_kind = kind;
    invalidateFilter();
}

bool ModulesVersionFilterModel::filterAcceptsRow(int sourceRow,
                                                 const QModelIndex &sourceParent) const
{
    return lineModuleRowAccepted(sourceModel(), sourceRow, sourceParent, m_kind, m_showEmptyRows);
}

bool ModulesVersionFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    // Serial numbers and versions sort by their packed values.
    const int column = left.column();
    if (column == right.column() && (column == 2 || column == 3))
        return left.data(Qt::UserRole).toInt() < right.data(Qt::UserRole).toInt();
    return QSortFilterProxyModel::lessThan(left, right);
}
