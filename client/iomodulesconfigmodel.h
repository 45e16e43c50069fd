#ifndef IOMODULESCONFIGMODEL_H
#define IOMODULESCONFIGMODEL_H

#include <QString>
#include <QVector>

#include "fixedtablemodel.h"

// One input/output module ("ПС-Л"), one row of the controller's I/O table.
struct IoModuleRecord
{
    quint16 lineAddress = 0;        // 0 in an empty row
    quint32 serialNumber = 0;
    QString serialNumberText;
    quint8 deviceType = 0;          // SECT_MVV (2); 0 empty
    QString deviceTypeName;
    quint8 config = 0;              // CfgIO: bit 1 relay contact, bits 4-5 loop 1, bits 6-7 loop 2
    quint8 relayContact = 0;        // 0 normally open, 1 normally closed
    quint8 loop1Mode = 0;           // 0 to 3
    quint8 loop2Mode = 0;           // 0 to 3
    quint8 relayTime = 0;           // TSign, seconds
    quint8 loop1RefCount = 0;       // RefCountL1
    quint8 loop2RefCount = 0;       // RefCountL2
};

class IoModulesConfigModel : public FixedModuleTableModel<IoModuleRecord>
{
    Q_OBJECT
public:
    enum { RowCount = 100 };
    enum Column {
        AddressColumn = 0, TypeColumn, SerialColumn, Loop1ModeColumn, Loop2ModeColumn,
        RelayContactColumn, RelayTimeColumn, Loop1RefColumn, Loop2RefColumn, ColumnCount
    };

    explicit IoModulesConfigModel(QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Loop 1 count for loop 1, loop 2 count for any other value; stops at 255.
    bool addReference(ushort index, uchar loop);
    bool removeReference(ushort index, uchar loop);

signals:
    // Device type (2), row, relay number (0: the module's one output relay), hold time.
    void relayTimeChanged(uchar mod_type, ushort mod_idx, uchar relay_num, uchar time_value);

protected:
    void readdressRow(int row, quint16 lineAddress) override;
};

#endif // IOMODULESCONFIGMODEL_H
