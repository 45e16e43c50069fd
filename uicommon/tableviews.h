#ifndef TABLEVIEWS_H
#define TABLEVIEWS_H

class QSortFilterProxyModel;
class QTableView;

// A read-only list of line modules through `proxy`: whole rows, one at a
// time, sorted by a click on a caption (column 0 first, locale-aware and
// case-insensitive), rows one line high, columns sized to their contents.
void setUpSortedModuleTable(QTableView *table, QSortFilterProxyModel *proxy);

#endif // TABLEVIEWS_H
