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
class ScpModulesConfigModel : public FixedTableModel
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

    void clear();
    ScpModuleRecord moduleAt(ushort index) const;
    bool setModule(ushort index, const ScpModuleRecord &record);
    bool insertModule(const ScpModuleRecord &record, quint16 *index);
    bool moveModule(ushort index, ushort lineAddress, quint16 *newIndex);
    bool removeModule(ushort index);

protected:
    bool isEmptyRow(int row) const override;
    quint16 rowLineAddress(int row) const override;
    void emptyRow(int row) override;
    void rotateRow(int from, int to) override;
    void readdressRow(int row, quint16 lineAddress) override;

private:
    QVector<ScpModuleRecord> m_rows;
};

#endif // SCPMODULESCONFIGMODEL_H
