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

class ProcessingConfigModel : public FixedTableModel
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

    void clear();
    // A copy of the row; all zero beyond the table.
    ProcessingRuleRecord ruleAt(ushort index) const;
    // The operations below return false and change nothing for a row beyond the table.
    bool setRule(ushort index, const ProcessingRuleRecord &rule);
    bool moveRule(ushort from, ushort to);
    bool removeRule(ushort index);

protected:
    bool isEmptyRow(int row) const override;
    quint16 rowLineAddress(int row) const override;
    void emptyRow(int row) override;
    void rotateRow(int from, int to) override;
    void readdressRow(int row, quint16 lineAddress) override;

private:
    QVector<ProcessingRuleRecord> m_rows;
};

#endif // PROCESSINGCONFIGMODEL_H
