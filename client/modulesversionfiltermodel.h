#ifndef MODULESVERSIONFILTERMODEL_H
#define MODULESVERSIONFILTERMODEL_H

#include <QSortFilterProxyModel>

// Filter over ModulesVersionModel by module kind; free addresses hidden
// until setHideEmptyRows(false).
class ModulesVersionFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit ModulesVersionFilterModel(QObject *parent = nullptr);

    void setHideEmptyRows(bool hide);
    void setModuleTypeFilter(int kind);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    bool m_showEmptyRows = false;
    int m_kind = 0;
};

#endif // MODULESVERSIONFILTERMODEL_H
