#ifndef MODULESVERSIONMODEL_H
#define MODULESVERSIONMODEL_H

#include <QAbstractTableModel>
#include <QVector>

#include "linemodulesmodel.h"

// The 500 line addresses with the firmware version of each module.
class ModulesVersionModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ModulesVersionModel(QObject *parent = nullptr);

    void setModule(const LineModuleRecord &record);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Rows are read directly by the firmware window.
    LineModuleRecord moduleAt(quint16 lineAddress) const;

private:
    int m_columnCount = 4;
    QVector<LineModuleRecord> m_rows;
};

#endif // MODULESVERSIONMODEL_H
