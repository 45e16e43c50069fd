#ifndef INTERACTIONSCONFIGMODEL_H
#define INTERACTIONSCONFIGMODEL_H

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

// Kind of an interaction's source; 1 and 2 are also the source type of
// packInteractionSource().
enum InteractionSource {
    NoInteractionSource = 0,
    SensorModuleSource = 1,
    IoLoopSource = 2
};

// One interaction: a source (sensor module or I/O input loop) switches an
// executor (I/O module output relay or a relay of an external relay module).
struct InteractionRecord
{
    qint32 sourceKind = NoInteractionSource;  // InteractionSource
    QString sourceText;                       // type name of the source module
    quint16 sourceAddress = 0;                // line address of the source
    quint8 sourceLoop = 0;                    // 1 or 2 for an input loop, 0 for a sensor
    quint8 executorType = 0;                  // Dev_Type_t: 2 I/O module, 16 relay module
    QString executorTypeText;
    quint16 executorNumber = 0;               // executor's table row + 1
    QString executorAddressText;              // I/O: line address; relay module: IPv4 text
    quint8 relay = 0;                         // relay module: relay 1..32; I/O: 0
    quint8 function = 0;                      // Control_Relay_t::DestFunc
    QString functionText;
    // Parts the tables have no place for, shown as held and marked.
    enum HeldPart { HeldExecutorType = 1, HeldExecutor = 2, HeldRelay = 4 };
    quint8 held = 0;
};

// All interactions of the configuration, kept sorted by source kind, source
// line address and loop; at most MaxInteractions rows. Read-only for views.
class InteractionsConfigModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int MaxInteractions = 4000;
    // True for a cell that shows a held value.
    static constexpr int HeldRole = Qt::UserRole + 1;

    explicit InteractionsConfigModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    InteractionRecord interactionAt(int row) const;
    bool isUnique(int sourceKind, ushort sourceAddress, uchar loop, uchar executorType,
                  ushort executorNumber, uchar relay, short exceptRow) const;
    bool addInteraction(const InteractionRecord &record);
    bool updateInteraction(ushort row, const InteractionRecord &record);
    // As updateInteraction for records[k] at row first + k, in order, with
    // one signal for the rows replaced and one for the rows added: a read
    // of thousands of rows does not make views and proxies follow each.
    void updateInteractions(int first, const QVector<InteractionRecord> &records);
    void removeInteraction(int row);
    void removeSourceInteractions(uchar deviceType, ushort lineAddress);
    void removeExecutorInteractions(uchar deviceType, ushort index);
    // Removes the rows given (in any order; rows out of range are skipped),
    // one removal per run of adjacent rows.
    void removeInteractions(QVector<int> rows);
    void clear();

signals:
    void interactionDeleted(InteractionSource src_type, ushort src_addr, uchar src_child);

private:
    void emitDeleted(const InteractionRecord &record);

    int m_columnCount = 8;
    QVector<InteractionRecord> m_rows;
};

#endif // INTERACTIONSCONFIGMODEL_H
