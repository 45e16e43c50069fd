#ifndef TABLEWIDTHFOLLOWER_H
#define TABLEWIDTHFOLLOWER_H

#include <QObject>
#include <QGridLayout>
#include <QPointer>

class ColumnFitter;
class QSpacerItem;
class QTableView;

// Asks for a column of a window's grid layout exactly as wide as a table's
// columns plus a vertical scroll bar: the table keeps to the left and the
// free width goes to the column beside it. Where the window is narrower, the
// table gives way and scrolls.
class TableWidthFollower : public QObject
{
    Q_OBJECT

public:
    TableWidthFollower(QTableView *table, QGridLayout *layout, int column = 0);

    // Sizes the table's columns for their widest values, then follows them.
    void fitColumns();
    // Only the layout column follows the header's length.
    void follow();

private:
    QTableView *m_table;
    ColumnFitter *m_fitter;
    // The page deletes its layout before its children, which still report
    // their geometry while they go.
    QPointer<QGridLayout> m_layout;
    // Shares the table's cell: its width is the column's preferred width,
    // and it asks for no minimum.
    QSpacerItem *m_width = nullptr;
    int m_scrollBarExtent;
};

#endif // TABLEWIDTHFOLLOWER_H
