#include "tablewidthfollower.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <QTimer>

TableWidthFollower::TableWidthFollower(QTableView *table, QGridLayout *layout, int column)
    : QObject(table)
    , m_table(table)
    , m_layout(layout)
    , m_column(column)
    , m_scrollBarExtent(table->style()->pixelMetric(QStyle::PM_ScrollBarExtent))
{
    connect(table->horizontalHeader(), &QHeaderView::geometriesChanged, this, &TableWidthFollower::follow);
}

void TableWidthFollower::requestFit()
{
    if (m_fitRequested)
        return;
    m_fitRequested = true;
    QTimer::singleShot(0, this, &TableWidthFollower::fitColumns);
}

void TableWidthFollower::fitColumns()
{
    m_fitRequested = false;
    m_table->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    follow();
}

void TableWidthFollower::follow()
{
    if (!m_layout)
        return;
    m_layout->setColumnMinimumWidth(m_column, m_table->horizontalHeader()->length() + m_scrollBarExtent + 6);
}
