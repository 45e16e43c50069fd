#ifndef SCPMODULESCONFIGMODEL_H
#define SCPMODULESCONFIGMODEL_H

#include <QString>
#include <QVector>

#include "fixedtablemodel.h"

// One line-protection module ("ТЗ-Л"), one row of the controller's table.
// Each threshold text is the value in volts, two decimals, default locale.
struct ScpModuleRecord
{
    quint16 lineAddress = 0;        // 0 in an empty row
    quint32 serialNumber = 0;
    QString serialNumberText;
    quint8 deviceType = 0;          // SECT_MKZ (5); 0 empty
    QString deviceTypeName;
    quint16 thrMin = 0;             // switch-off threshold, mV
    QString thrMinText;
    quint16 thrOff = 0;             // opening threshold, mV
    QString thrOffText;
    quint16 thrOn = 0;              // restore threshold, mV
    QString thrOnText;
};

// Read-only.
class ScpModulesConfigModel : public FixedModuleTableModel<ScpModuleRecord>
{
    Q_OBJECT
public:
    enum { RowCount = 32 };
    enum Column {
        AddressColumn = 0, TypeColumn, SerialColumn, ThrMinColumn, ThrOffColumn,
        ThrOnColumn, ColumnCount
    };

    explicit ScpModulesConfigModel(QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

#endif // SCPMODULESCONFIGMODEL_H
