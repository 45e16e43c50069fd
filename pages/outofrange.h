#ifndef OUTOFRANGE_H
#define OUTOFRANGE_H

#include <QString>
#include <QVariant>

class QCheckBox;
class QComboBox;
class QSpinBox;
class QStyleOptionViewItem;
class QWidget;

// A value that the controller or a file holds but an editor has no place
// for. The editor shows it as it is, marked, and does not change it: it is
// written back unchanged until the user picks another value.
namespace OutOfRange {

// "8 (вне диапазона)"
QString text(qlonglong value);
// Marks an item view cell's text.
void markCell(QStyleOptionViewItem *option);
// Marks a widget's text, or takes the mark off.
void markWidget(QWidget *widget, bool yes);

// Shows `value` in `spin`. The spin box's range when first called is its
// own: a value outside it is shown as its text one step below the minimum
// (the spin box's special value), so that stepping up or typing leaves it.
void showInSpinBox(QSpinBox *spin, int value);
// Whether the spin box still shows the value outside its range.
bool isHeld(const QSpinBox *spin);

// Makes current the item whose data is `value`; a value without an item
// gets an extra, marked item that goes away once another one is picked.
void showInComboBox(QComboBox *combo, const QVariant &value);
bool isHeld(const QComboBox *combo);

// 0 unchecked, 1 checked; any other value partly checked and marked until
// the user clicks the box.
void showInCheckBox(QCheckBox *check, uint value);
bool isHeld(const QCheckBox *check);

} // namespace OutOfRange

#endif // OUTOFRANGE_H
