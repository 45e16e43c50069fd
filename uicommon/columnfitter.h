#ifndef COLUMNFITTER_H
#define COLUMNFITTER_H

#include <QObject>

class QTableView;

// Sizes a table's columns for the widest value of each column over all rows,
// not only the rows on screen, and again whenever the model changes. A table
// that is not shown is fitted when it is shown: Qt measures every cell of a
// hidden table, and nobody sees its columns anyway.
class ColumnFitter : public QObject
{
    Q_OBJECT

public:
    // Takes over the sizes of the table's horizontal header, which must be in
    // place, and follows the table's model from now on.
    explicit ColumnFitter(QTableView *table);

    // fit() once the events in hand are done, or once the table is shown:
    // a read that inserts thousands of rows one by one fits once.
    void requestFit();
    // Sizes every column now, shown or not.
    void fit();

    // The width that shows every value of `column` whole.
    static int columnWidth(const QTableView *table, int column);

signals:
    void fitted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitIfShown();

    QTableView *m_table;
    bool m_pending = false;
    bool m_queued = false;
};

#endif // COLUMNFITTER_H
