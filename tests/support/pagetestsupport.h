#ifndef PAGETESTSUPPORT_H
#define PAGETESTSUPPORT_H

// Shared by the page tests: a page over the published client in a quiet
// environment, and the user's moves on a table (clicks, selections, cell
// editors). Header-only, like windowtestsupport.h.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include "windowtestsupport.h"

namespace PageTest {

// Quiet settings in a temporary folder and the published client; the page
// under test is built after it.
struct Environment
{
    explicit Environment(QObject *owner) { ClientTest::setUpQuietEnvironment(dir, owner); }

    QTemporaryDir dir;
    WindowTest::PublishedClient published;
    LantrelClient &client = published.client;
};

inline QPoint cellCentre(QTableView *table, int row, int column)
{
    return table->visualRect(table->model()->index(row, column)).center();
}

inline void clickCell(QTableView *table, int row, int column = 0,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, cellCentre(table, row, column));
}

// Rows first..last of the table selected as a user does: a click and a Shift+click.
inline void selectRows(QTableView *table, int first, int last)
{
    clickCell(table, first);
    clickCell(table, last, 0, Qt::ShiftModifier);
}

inline QList<int> selectedRows(QTableView *table)
{
    QList<int> rows;
    for (const QModelIndex &index : table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A double click as the platform delivers it: press, release, press,
// double-click, release (QTest's own sends the double-click event alone).
inline void doubleClick(QWidget *widget, const QPoint &pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, pos);
}

// Opens the cell's editor as a double click does; null when the cell has none.
template <typename Editor>
Editor *openEditor(QTableView *table, int row, int column)
{
    // Editors closed before are deleted later; only the open one is shown.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QModelIndex index = table->model()->index(row, column);
    table->setCurrentIndex(index);
    doubleClick(table->viewport(), table->visualRect(index).center());
    for (Editor *editor : table->viewport()->findChildren<Editor *>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

// Picks the entry with `code` in the cell's drop-down list (which stores it and closes).
inline bool pickInCell(QTableView *table, int row, int column, int code)
{
    auto *combo = openEditor<QComboBox>(table, row, column);
    if (!combo)
        return false;
    combo->setCurrentIndex(combo->findData(code));
    QApplication::processEvents();
    return true;
}

// Types `text` into the cell's spin box and leaves the cell with Tab.
inline bool typeInCell(QTableView *table, int row, int column, const QString &text)
{
    auto *spin = openEditor<QSpinBox>(table, row, column);
    if (!spin)
        return false;
    spin->selectAll();
    QTest::keyClicks(spin, text);
    QTest::keyClick(spin, Qt::Key_Tab);
    QApplication::processEvents();
    return true;
}

// Makes the combo box's item with `code` current as a user picking it would.
inline void pick(QComboBox *combo, int code)
{
    combo->setCurrentIndex(combo->findData(code));
}

} // namespace PageTest

#endif // PAGETESTSUPPORT_H
