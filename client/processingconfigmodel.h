#ifndef PROCESSINGCONFIGMODEL_H
#define PROCESSINGCONFIGMODEL_H

#include <QVector>

#include "fixedtablemodel.h"
#include "lantrelprotocol.h"

// The joint-processing rule (comparison zone) of the sensor module in the
// same row of SensorsConfigModel.
struct ProcessingRuleRecord
{
    quint16 lineAddress = 0;                // of that sensor module; 0: no rule
    LantrelProtocol::Konfig_Proc_t config;  // MRef, NExc, SensLeft, SensRight, Ratio
};

class ProcessingConfigModel : public FixedRecordTableModel<ProcessingRuleRecord>
{
    Q_OBJECT
public:
    enum { RowCount = 500 };
    enum Column {
        AddressColumn = 0, ThresholdColumn, ExceedColumn, LeftColumn, RightColumn,
        RatioColumn, ColumnCount
    };

    explicit ProcessingConfigModel(QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // A copy of the row; all zero beyond the table.
    ProcessingRuleRecord ruleAt(ushort index) const { return recordAt(index); }
    // The operations below return false and change nothing for a row beyond the table.
    bool setRule(ushort index, const ProcessingRuleRecord &rule) { return setRecord(index, rule); }
    bool moveRule(ushort from, ushort to) { return moveRowTo(from, to); }
    bool removeRule(ushort index) { return removeRowAt(index); }
};

#endif // PROCESSINGCONFIGMODEL_H
