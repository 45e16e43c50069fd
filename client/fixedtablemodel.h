#ifndef FIXEDTABLEMODEL_H
#define FIXEDTABLEMODEL_H

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QVector>

#include <algorithm>

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
