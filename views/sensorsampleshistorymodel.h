#ifndef SENSORSAMPLESHISTORYMODEL_H
#define SENSORSAMPLESHISTORYMODEL_H

#include <QAbstractTableModel>
#include <QList>
#include <QMetaType>
#include <QSortFilterProxyModel>
#include <QVector>

// One amplitude sample with the state flags of the sensor's line-module row
// when it arrived (LineModuleRecord::stateFlags, 0 when none was known).
struct SensorSample
{
    quint32 flags = 0;
    quint16 value = 0;
};

// A sensor's samples, the newest first.
using SensorSampleList = QList<SensorSample>;
Q_DECLARE_METATYPE(SensorSampleList)

// The samples of one line address.
struct SensorHistory
{
    quint16 address = 0;
    SensorSampleList samples;
};

// The last samples of every sensor that sent one, one row per line address
// in ascending order. Column 0 shows the address; column 1 holds the
// samples as a SensorSampleList in the display role.
class SensorSamplesHistoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int MaxSamples = 100;

    explicit SensorSamplesHistoryModel(QObject *parent = nullptr);

    void addSample(quint16 address, const SensorSample &sample);
    // Removes every row.
    void clear();
    // Empties every row and keeps the rows.
    void clearSamples();

    // The rows in ascending address order.
    const QVector<SensorHistory> &history() const { return m_rows; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVector<SensorHistory> m_rows;
};

// The history rows of an address range; 1 to 500 shows every row.
class SensorHistoryFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit SensorHistoryFilterModel(QObject *parent = nullptr);

    // The limits in either order.
    void setRange(quint16 min, quint16 max);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    quint16 m_min = 1;
    quint16 m_max = 500;
};

#endif // SENSORSAMPLESHISTORYMODEL_H
