#ifndef TABLEWIDTHFOLLOWER_H
#define TABLEWIDTHFOLLOWER_H

#include <QObject>
#include <QGridLayout>
#include <QPointer>

class QTableView;

// Keeps a column of a page's grid layout exactly as wide as a table's
// columns plus a vertical scroll bar: the table keeps to the left and the
// free width goes to the column beside it.
class TableWidthFollower : public QObject
{
    Q_OBJECT

public:
    TableWidthFollower(QTableView *table, QGridLayout *layout, int column = 0);

    // Sizes the table's columns to their contents, then follows them.
    void fitColumns();
    // fitColumns() once the events in hand are done: a read that inserts
    // thousands of rows one by one sizes the columns once.
    void requestFit();
    // Only the layout column follows the header's length.
    void follow();

private:
    QTableView *m_table;
    // The page deletes its layout before its children, which still report
    // their geometry while they go.
    QPointer<QGridLayout> m_layout;
    int m_column;
    int m_scrollBarExtent;
    bool m_fitRequested = false;
};

#endif // TABLEWIDTHFOLLOWER_H
