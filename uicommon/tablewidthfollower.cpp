#include "tablewidthfollower.h"

#include "columnfitter.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QSpacerItem>
#include <QStyle>
#include <QTableView>

TableWidthFollower::TableWidthFollower(QTableView *table, QGridLayout *layout, int column)
    : QObject(table)
    , m_table(table)
    , m_fitter(table->findChild<ColumnFitter *>(QString(), Qt::FindDirectChildrenOnly))
    , m_layout(layout)
    , m_scrollBarExtent(table->style()->pixelMetric(QStyle::PM_ScrollBarExtent))
{
    if (!m_fitter)
        m_fitter = new ColumnFitter(table);
    int row = 0;
    const int index = layout->indexOf(table);
    if (index >= 0) {
        int c = 0;
        int rowSpan = 0;
        int columnSpan = 0;
        layout->getItemPosition(index, &row, &c, &rowSpan, &columnSpan);
    }
    m_width = new QSpacerItem(0, 0, QSizePolicy::Preferred, QSizePolicy::Minimum);
    layout->addItem(m_width, row, column);
    connect(table->horizontalHeader(), &QHeaderView::geometriesChanged, this, &TableWidthFollower::follow);
    connect(table->horizontalHeader(), &QHeaderView::sectionResized, this, &TableWidthFollower::follow);
    connect(m_fitter, &ColumnFitter::fitted, this, &TableWidthFollower::follow);
}

void TableWidthFollower::fitColumns()
{
    m_fitter->fit();
}

void TableWidthFollower::follow()
{
    if (!m_layout)
        return;
    const int width = m_table->horizontalHeader()->length() + m_scrollBarExtent + 2 * m_table->frameWidth() + 2;
    if (m_width->sizeHint().width() == width)
        return;
    m_width->changeSize(width, 0, QSizePolicy::Preferred, QSizePolicy::Minimum);
    m_layout->invalidate();
}
