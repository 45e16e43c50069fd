#include "interactionsconfigmodel.h"

#include "ipv4text.h"
#include "lantrelprotocol.h"
#include "texthelpers.h"

#include <algorithm>

using LantrelProtocol::EXT_RELY;

InteractionsConfigModel::InteractionsConfigModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int InteractionsConfigModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int InteractionsConfigModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant InteractionsConfigModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size()
        || index.column() < 0 || index.column() >= m_columnCount)
        return QVariant();
    const InteractionRecord &r = m_rows.at(index.row());
    const int column = index.column();

    if (role == Qt::DisplayRole) {
        switch (column) {
        case 0:
            return QString::number(index.row() + 1);
        case 1:
            return r.sourceText;
        case 2:
            return r.sourceKind != NoInteractionSource ? QVariant(uint(r.sourceAddress)) : QVariant();
        case 3:
            return r.sourceKind == IoLoopSource ? QVariant(uint(r.sourceLoop)) : QVariant();
        case 4:
            return r.executorTypeText;
        case 5:
            return r.executorAddressText;
        case 6:
            if (r.executorType != EXT_RELY)
                return QVariant();
            return (r.held & InteractionRecord::HeldRelay) ? QVariant(outOfRangeText(r.relay)) : QVariant(uint(r.relay));
        case 7:
            return r.functionText;
        }
    } else if (role == HeldRole) {
        switch (column) {
        case 4:
            return bool(r.held & InteractionRecord::HeldExecutorType);
        case 5:
            return bool(r.held & InteractionRecord::HeldExecutor);
        case 6:
            return bool(r.held & InteractionRecord::HeldRelay);
        }
        return false;
    } else if (role == Qt::UserRole) {
        switch (column) {
        case 0:
            return index.row();
        case 1:
            return uint(r.sourceKind);
        case 2:
            return uint(r.sourceAddress);
        case 3:
            return uint(r.sourceLoop);
        case 4:
            return uint(r.executorType);
        case 5:
            // Relay modules sort by their IPv4 address, I/O modules by number.
            return r.executorType == EXT_RELY ? uint(ipv4FromText(r.executorAddressText))
                                                     : uint(r.executorNumber);
        case 6:
            return uint(r.relay);
        case 7:
            return uint(r.function);
        }
    } else if (role == Qt::TextAlignmentRole) {
        if (column == 0 || column == 2 || column == 3 || column == 6)
            return int(Qt::AlignCenter);
    }
    return QVariant();
}

QVariant InteractionsConfigModel::headerData(int section, Qt::Orientation orientation,
                                             int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < m_columnCount) {
        static const char *const captions[] = {"№ п/п", "тип", "адрес", "шлейф",
                                               "тип", "адрес", "реле", "функция"};
        return QString::fromUtf8(captions[section]);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

InteractionRecord InteractionsConfigModel::interactionAt(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return InteractionRecord();
    return m_rows.at(row);
}

bool InteractionsConfigModel::isUnique(int sourceKind, ushort sourceAddress, uchar loop,
                                       uchar executorType, ushort executorNumber, uchar relay,
                                       short exceptRow) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (row == exceptRow)
            continue;
        const InteractionRecord &r = m_rows.at(row);
        if (r.sourceKind == sourceKind && r.sourceAddress == sourceAddress
            && r.sourceLoop == loop && r.executorType == executorType
            && r.executorNumber == executorNumber && r.relay == relay)
            return false;
    }
    return true;
}

bool InteractionsConfigModel::addInteraction(const InteractionRecord &record)
{
    if (m_rows.size() >= MaxInteractions)
        return false;

    // Sensor sources first, then by line address and loop; among equal
    // sources the newest goes last.
    int pos = 0;
    for (; pos < m_rows.size(); ++pos) {
        const InteractionRecord &r = m_rows.at(pos);
        if (r.sourceKind != record.sourceKind) {
            if (record.sourceKind == SensorModuleSource)
                break;
            continue;
        }
        if (r.sourceAddress > record.sourceAddress)
            break;
        if (r.sourceAddress == record.sourceAddress && r.sourceLoop > record.sourceLoop)
            break;
    }

    beginInsertRows(QModelIndex(), pos, pos);
    m_rows.insert(pos, record);
    endInsertRows();
    return true;
}

bool InteractionsConfigModel::updateInteraction(ushort row, const InteractionRecord &record)
{
    if (row >= MaxInteractions)
        return false;
    if (row < m_rows.size()) {
        m_rows[row] = record;
        emit dataChanged(index(row, 0), index(row, m_columnCount - 1),
                         {Qt::DisplayRole, Qt::UserRole, HeldRole});
        return true;
    }
    // A row past the end is appended: no row may exist without a record.
    const int pos = m_rows.size();
    beginInsertRows(QModelIndex(), pos, pos);
    m_rows.append(record);
    endInsertRows();
    return true;
}

void InteractionsConfigModel::updateInteractions(int first, const QVector<InteractionRecord> &records)
{
    if (first < 0)
        return;
    const int size = m_rows.size();
    const int count = std::min(records.size(), MaxInteractions - first);
    // Rows before the end are replaced; from there on, rows are appended.
    const int replaced = std::clamp(size - first, 0, std::max(count, 0));
    for (int k = 0; k < replaced; ++k)
        m_rows[first + k] = records[k];
    if (replaced > 0) {
        emit dataChanged(index(first, 0), index(first + replaced - 1, m_columnCount - 1),
                         {Qt::DisplayRole, Qt::UserRole});
    }
    const int added = count - replaced;
    if (added <= 0)
        return;
    beginInsertRows(QModelIndex(), size, size + added - 1);
    m_rows.reserve(size + added);
    for (int k = replaced; k < count; ++k)
        m_rows.append(records[k]);
    endInsertRows();
}

void InteractionsConfigModel::removeInteraction(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    emitDeleted(m_rows.at(row));
    m_rows.remove(row);
    endRemoveRows();
}

void InteractionsConfigModel::removeSourceInteractions(uchar deviceType, ushort lineAddress)
{
    const qint32 kind = deviceType == LantrelProtocol::SECT_MVV ? IoLoopSource : SensorModuleSource;

    // Every row is looked at: an edited row may sit out of order, and the
    // matching rows then need not be adjacent.
    QVector<int> noted;
    for (int row = 0; row < m_rows.size(); ++row) {
        const InteractionRecord &r = m_rows.at(row);
        if (r.sourceKind == kind && r.sourceAddress == lineAddress)
            noted.append(row);
    }
    removeInteractions(noted);
}

void InteractionsConfigModel::removeExecutorInteractions(uchar deviceType, ushort index)
{
    const int number = int(index) + 1;
    QVector<int> noted;
    for (int row = 0; row < m_rows.size(); ++row) {
        const InteractionRecord &r = m_rows.at(row);
        if (r.executorType == deviceType && r.executorNumber == number)
            noted.append(row);
    }
    removeInteractions(noted);
}

void InteractionsConfigModel::removeInteractions(QVector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](int row) { return row < 0 || row >= m_rows.size(); }),
               rows.end());
    for (const int row : qAsConst(rows))
        emitDeleted(m_rows.at(row));

    // One removal per run of adjacent rows, the last run first, so that the
    // noted row numbers stay valid.
    int end = rows.size() - 1;
    while (end >= 0) {
        int begin = end;
        while (begin > 0 && rows.at(begin - 1) == rows.at(begin) - 1)
            --begin;
        const int first = rows.at(begin);
        const int last = rows.at(end);
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        end = begin - 1;
    }
}

void InteractionsConfigModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, m_rows.size() - 1);
    m_rows.clear();
    endRemoveRows();
}

void InteractionsConfigModel::emitDeleted(const InteractionRecord &record)
{
    emit interactionDeleted(static_cast<InteractionSource>(record.sourceKind),
                            record.sourceAddress, record.sourceLoop);
}
