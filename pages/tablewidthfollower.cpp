#include "tablewidthfollower.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

TableWidthFollower::TableWidthFollower(QTableView *table, QGridLayout *layout, int column)
    : QObject(table)
    , m_table(table)
    , m_layout(layout)
    , m_column(column)
    , m_scrollBarExtent(table->style()->pixelMetric(QStyle::PM_ScrollBarExtent))
{
    connect(table->horizontalHeader(), &QHeaderView::geometriesChanged, this, &TableWidthFollower::follow);
}

void TableWidthFollower::fitColumns()
{
    m_table->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    follow();
}

void TableWidthFollower::follow()
{
    if (!m_layout)
        return;
    m_layout->setColumnMinimumWidth(m_column, m_table->horizontalHeader()->length() + m_scrollBarExtent + 6);
}
