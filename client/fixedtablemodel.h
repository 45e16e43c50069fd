#ifndef FIXEDTABLEMODEL_H
#define FIXEDTABLEMODEL_H

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QVector>

#include <algorithm>

#include "lantrelprotocol.h"

// Mechanics shared by the fixed configuration tables (sensors, I/O,
// line protection, processing). The row count never changes: every row
// exists from construction, occupied rows are packed from row 0 in ascending
// line-address order, and row moves are announced with Qt's move
// notifications. Subclasses keep the rows and implement the few storage
// hooks below.
class FixedTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // While false no cell is editable and setData() changes nothing: a task
    // sends or replaces the configuration.
    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }

protected:
    FixedTableModel(int rows, const QStringList &captions,
                    const QVector<int> &wholeRowRoles, QObject *parent);

    // Storage hooks.
    virtual bool isEmptyRow(int row) const = 0;
    virtual quint16 rowLineAddress(int row) const = 0;
    // Numbers 0, texts empty.
    virtual void emptyRow(int row) = 0;
    // Stored row `from` goes to `to`; the rows in between shift by one towards `from`.
    virtual void rotateRow(int from, int to) = 0;
    // New line address for a module moved on the line; reference counts restart at 0.
    virtual void readdressRow(int row, quint16 lineAddress) = 0;

    bool isCellValid(const QModelIndex &index) const;
    bool isRowValid(int row) const { return row >= 0 && row < m_rows; }
    QVector<int> wholeRowRoles() const { return m_wholeRowRoles; }

    void reportRow(int row, const QVector<int> &roles);
    void reportRow(int row) { reportRow(row, m_wholeRowRoles); }
    void reportCell(int row, int column, const QVector<int> &roles);
    void reportTable();

    // First row that is empty or whose line address is not below `lineAddress`;
    // the row count when none.
    int addressOrderedPosition(quint16 lineAddress) const;
    // Row where a module with `lineAddress` belongs; when a module with a
    // higher address sits there, the rows from it down move by one to make
    // room. -1 when the module cannot be placed (table full, address 0).
    int prepareInsertion(quint16 lineAddress);
    // The module in row `index` gets `lineAddress` and moves to its
    // address-ordered place; returns the new row, -1 when refused.
    int moveToAddress(int index, quint16 lineAddress);
    // Row `index` moves to the end of the table and is emptied.
    bool removeRowAt(int index);
    // Row `from` moves to `to`, the rows in between shift by one towards `from`.
    bool moveRowTo(int from, int to);

    template <typename T>
    static void rotateVector(QVector<T> &rows, int from, int to)
    {
        if (from < to)
            std::rotate(rows.begin() + from, rows.begin() + from + 1, rows.begin() + to + 1);
        else if (to < from)
            std::rotate(rows.begin() + to, rows.begin() + from, rows.begin() + from + 1);
    }

private:
    const int m_rows;
    const int m_columns;
    const QStringList m_captions;
    const QVector<int> m_wholeRowRoles;
    bool m_editable = true;
};

// Row storage of a fixed table: one Record (with a `lineAddress`) per row.
// The storage hooks work on the vector; a table whose rows carry reference
// counts resets them in its own readdressRow.
template <typename Record>
class FixedRecordTableModel : public FixedTableModel
{
public:
    void clear()
    {
        for (Record &rec : m_rows)
            rec = Record();
        reportTable();
    }

protected:
    FixedRecordTableModel(int rows, const QStringList &captions,
                          const QVector<int> &wholeRowRoles, QObject *parent)
        : FixedTableModel(rows, captions, wholeRowRoles, parent)
        , m_rows(rows)
    {
    }

    // A copy of the row; an empty record beyond the table.
    Record recordAt(ushort index) const
    {
        return index < m_rows.size() ? m_rows.at(index) : Record();
    }
    // False and nothing changed for a row beyond the table.
    bool setRecord(ushort index, const Record &record)
    {
        if (!isRowValid(index))
            return false;
        m_rows[index] = record;
        reportRow(index);
        return true;
    }
    // One more (step 1) or one less (step -1) in a reference count of the
    // row, shown in `column`; false beyond the table and at 0 and 255.
    bool stepCount(ushort index, quint8 Record::*count, int step, int column)
    {
        if (!isRowValid(index))
            return false;
        quint8 &value = m_rows[index].*count;
        if ((step > 0 && value == 0xFF) || (step < 0 && value == 0))
            return false;
        value = quint8(value + step);
        reportCell(index, column, {Qt::DisplayRole});
        return true;
    }

    bool isEmptyRow(int row) const override { return m_rows.at(row).lineAddress == 0; }
    quint16 rowLineAddress(int row) const override { return m_rows.at(row).lineAddress; }
    void emptyRow(int row) override { m_rows[row] = Record(); }
    void rotateRow(int from, int to) override { rotateVector(m_rows, from, to); }
    void readdressRow(int row, quint16 lineAddress) override { m_rows[row].lineAddress = lineAddress; }

    QVector<Record> m_rows;
};

// A fixed table of line modules: a row is empty while its device type is
// DEV_NOT, and modules are placed by line address.
template <typename Record>
class FixedModuleTableModel : public FixedRecordTableModel<Record>
{
    using Base = FixedRecordTableModel<Record>;

public:
    // A copy of the row; an empty record beyond the table.
    Record moduleAt(ushort index) const { return this->recordAt(index); }
    // The operations below return false and change nothing for a row beyond the table.
    bool setModule(ushort index, const Record &record) { return this->setRecord(index, record); }
    // Places the module at its address-ordered row, moving later modules down
    // when needed; false when the table has no room for it.
    bool insertModule(const Record &record, quint16 *index)
    {
        if (record.deviceType == LantrelProtocol::DEV_NOT)
            return false;
        const int pos = this->prepareInsertion(record.lineAddress);
        if (pos < 0)
            return false;
        if (index)
            *index = quint16(pos);
        return setModule(ushort(pos), record);
    }
    bool moveModule(ushort index, ushort lineAddress, quint16 *newIndex)
    {
        const int dest = this->moveToAddress(index, lineAddress);
        if (dest < 0)
            return false;
        if (newIndex)
            *newIndex = quint16(dest);
        return true;
    }
    bool removeModule(ushort index) { return this->removeRowAt(index); }

protected:
    using Base::Base;

    // Every module table starts with the address, type and serial-number
    // columns (0, 1, 2). Their display data; nothing for any other column.
    static QVariant identityText(const Record &rec, int column)
    {
        switch (column) {
        case 0: return uint(rec.lineAddress);
        case 1: return rec.deviceTypeName;
        case 2: return rec.serialNumberText;
        default: return QVariant();
        }
    }
    // User data of the type and serial columns: device type and serial
    // number, also in an empty row; nothing for any other column.
    static QVariant identityUserData(const Record &rec, int column)
    {
        switch (column) {
        case 1: return uint(rec.deviceType);
        case 2: return uint(rec.serialNumber);
        default: return QVariant();
        }
    }

    bool isEmptyRow(int row) const override
    {
        return this->m_rows.at(row).deviceType == LantrelProtocol::DEV_NOT;
    }
};

// Filter shared by the fixed tables' pages: hides rows whose key column holds
// 0 in the user role unless told to show them all.
class FixedTableFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    void setHideEmptyRows(bool hide);

protected:
    FixedTableFilterModel(int keyColumn, QObject *parent);
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    const int m_keyColumn;
    bool m_showAll = true;
};

#endif // FIXEDTABLEMODEL_H
