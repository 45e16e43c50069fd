#ifndef LINEMODULESFILTERMODEL_H
#define LINEMODULESFILTERMODEL_H

#include <QSortFilterProxyModel>

// Filter over LineModulesModel by module kind (0 all, 1 sensors, 2 I/O,
// 3 line protection), optionally with the free addresses.
class LineModulesFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit LineModulesFilterModel(QObject *parent = nullptr);

    void setHideEmptyRows(bool hide);
    void setModuleTypeFilter(int kind);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    bool m_showEmptyRows = true;
    int m_kind = 0;
};

// Row acceptance shared by the line-module filter models: column 1 of the
// source row carries the device type in its UserRole.
bool lineModuleRowAccepted(const QAbstractItemModel *source, int sourceRow,
                           const QModelIndex &sourceParent, int kind, bool showEmptyRows);

#endif // LINEMODULESFILTERMODEL_H
