#ifndef SENSORSCONFIGMODEL_H
#define SENSORSCONFIGMODEL_H

#include <QString>
#include <QVector>

#include "fixedtablemodel.h"

// One sensor module ("ВТ-Л" or "ВС-Л"), one row of the controller's sensor table.
struct SensorModuleRecord
{
    quint16 lineAddress = 0;        // 1 to 500; 0 in an empty row
    quint32 serialNumber = 0;
    QString serialNumberText;       // serialNumberToString()
    quint8 deviceType = 0;          // SECT_ACC (4) or SECT_ACCI (3); 0 empty
    QString deviceTypeName;         // deviceTypeNames
    quint8 range = 0;               // Range
    quint8 lowPassFilter = 0;       // LPF
    quint8 highPassFilter = 0;      // HPF
    quint8 adaptiveFilter = 0;      // DAF, 0 or 1
    quint8 irThreshold = 0;         // ThrIR, units of 10 mV
    quint8 irExceedCount = 0;       // NExcIR
    quint8 rule = 0;                // 0 "ИЛИ", 1 "И"; not sent, 1 when waitTime is not 0
    quint8 waitTime = 0;            // the controller's RuleJP byte
    quint8 refCount = 0;            // RefCount: interactions with this module as source
};

class SensorsConfigModel : public FixedModuleTableModel<SensorModuleRecord>
{
    Q_OBJECT
public:
    enum { RowCount = 500 };
    enum Column {
        AddressColumn = 0, TypeColumn, SerialColumn, RangeColumn, LowPassColumn,
        HighPassColumn, AdaptiveColumn, IrThresholdColumn, IrExceedColumn,
        RuleColumn, WaitTimeColumn, RefCountColumn, ColumnCount
    };

    explicit SensorsConfigModel(QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The count stops at 255; false beyond the table.
    bool addReference(ushort index);
    bool removeReference(ushort index);

protected:
    void readdressRow(int row, quint16 lineAddress) override;
};

#endif // SENSORSCONFIGMODEL_H
