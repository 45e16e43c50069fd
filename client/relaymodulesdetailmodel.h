#ifndef RELAYMODULESDETAILMODEL_H
#define RELAYMODULESDETAILMODEL_H

#include <QAbstractTableModel>
#include <QPointer>
#include <QVector>

class RelayModulesConfigModel;

// The relays of the module selected in a RelayModulesConfigModel, one row
// per relay (16, or 32 with the expansion module). The module is followed by
// its configuration index, so insertions, removals and resets in the master
// never make this model show or edit another module's relays.
class RelayModulesDetailModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { RelayColumn = 0, CountColumn, SecondsColumn, ColumnCount };

    explicit RelayModulesDetailModel(QObject *parent = nullptr);

    // Binds to a RelayModulesConfigModel; any other model leaves this one unbound.
    void setMasterModel(QAbstractItemModel *model);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

public slots:
    // Shows the relays of the master row of `current`; none for an invalid index.
    void setMasterRow(const QModelIndex &current);

private slots:
    void onMasterDataChanged(const QModelIndex &first_idx, const QModelIndex &,
                             const QVector<int> &roles);
    void onMasterRowsChanged();
    void onMasterDestroyed();

private:
    // Shows no module, as a reset of this model.
    void resetShownModule();
    void removeShownRows();
    void showModule(int masterRow);
    void refreshCounts();

    int m_columnCount = ColumnCount;
    QPointer<RelayModulesConfigModel> m_master;
    int m_masterRow = -1;
    int m_masterIndex = -1;     // configuration index of the shown module
    QVector<quint8> m_counts;   // interval counts of the shown relays, one per row
};

#endif // RELAYMODULESDETAILMODEL_H
