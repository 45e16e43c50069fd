#ifndef RELAYMODULESCONFIGMODEL_H
#define RELAYMODULESCONFIGMODEL_H

#include <QAbstractTableModel>
#include <QMap>
#include <QString>

#include "lantrelprotocol.h"

// One external relay module ("ЖН-Т"). The number shown to the user and used
// as an interaction's executor number is configIndex + 1.
struct RelayModuleRecord
{
    quint16 configIndex = 0;                // slot 0 to 3 of the controller's table
    QString ipAddress;                      // dotted text
    LantrelProtocol::Konfig_Modul_t config; // Relays[i] is relay i + 1
};

// The configured relay modules, one row per module in ascending order of
// their configuration index.
class RelayModulesConfigModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        NumberColumn = 0, AddressColumn, LineAddressColumn, ExpansionColumn,
        FirstRelayColumn, ColumnCount = FirstRelayColumn + 32
    };

    explicit RelayModulesConfigModel(QObject *parent = nullptr);

    // Empty record when the row holds no module.
    RelayModuleRecord moduleAt(int row) const;
    RelayModuleRecord moduleByIndex(quint16 cfgIndex) const;
    // (row, column 0) of that module; invalid when none.
    QModelIndex indexOf(quint16 cfgIndex) const;
    // Inserts the module or replaces the one with the same configuration index.
    void setModule(const RelayModuleRecord &record);
    void removeModule(int row);
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // While false no cell is editable and setData() changes nothing.
    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }

signals:
    // Device type 16 and the configuration index of the module being removed.
    void moduleDeteted(uchar mod_type, ushort mod_idx);
    // Device type 16, configuration index, relay number 1 to 32, interval count.
    void relayTimeChanged(uchar mod_type, ushort mod_idx, uchar relay_num, uchar time_value);

private:
    const RelayModuleRecord *recordAt(int row) const;

    int m_columnCount = ColumnCount;
    bool m_editable = true;
    QMap<quint16, RelayModuleRecord> m_modules;
};

#endif // RELAYMODULESCONFIGMODEL_H
