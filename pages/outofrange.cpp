#include "outofrange.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QComboBox>
#include <QSpinBox>
#include <QStyleOptionViewItem>

#include "texthelpers.h"

namespace {

const char MinimumProperty[] = "outOfRangeMinimum";
const char MinimumWidthProperty[] = "outOfRangeMinimumWidth";
const char MaximumProperty[] = "outOfRangeMaximum";
const char HookedProperty[] = "outOfRangeHooked";
const char TextProperty[] = "outOfRangeText";
const char NearestProperty[] = "outOfRangeNearest";
const char SlotProperty[] = "outOfRangeSlot";
// Marks the extra item of a combo box.
const int HeldItemRole = Qt::UserRole + 1;

QColor markColour()
{
    return QColor(Qt::red);
}

void mark(QWidget *widget, bool yes)
{
    if (!yes) {
        // Back to the palette the widget inherits.
        widget->setPalette(QPalette());
        return;
    }
    QPalette palette = widget->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        palette.setColor(role, markColour());
    widget->setPalette(palette);
}

// Runs once per widget: the first call says whether the hook is still to be made.
bool firstHook(QWidget *widget)
{
    if (widget->property(HookedProperty).toBool())
        return false;
    widget->setProperty(HookedProperty, true);
    return true;
}

void restoreSpinBox(QSpinBox *spin)
{
    spin->setSpecialValueText(QString());
    spin->setRange(spin->property(MinimumProperty).toInt(), spin->property(MaximumProperty).toInt());
    mark(spin, false);
}

int heldItem(const QComboBox *combo)
{
    for (int i = combo->count() - 1; i >= 0; --i) {
        if (combo->itemData(i, HeldItemRole).toBool())
            return i;
    }
    return -1;
}

// Either arrow, key or wheel step off a held value goes to the value in
// range nearest to it: the spin box itself would step from its slot below
// the range, so that up gives the minimum and down nothing.
class HeldStepFilter : public QObject
{
public:
    explicit HeldStepFilter(QSpinBox *spin)
        : QObject(spin)
        , spin(spin)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != spin || !OutOfRange::isHeld(spin) || spin->isReadOnly() || !isStep(event))
            return false;
        spin->setValue(spin->property(NearestProperty).toInt());
        return true;
    }

private:
    bool isStep(QEvent *event) const
    {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent *>(event)->key();
            return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
        }
        case QEvent::Wheel:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // The arrows are the part of the box outside its text field.
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const QLineEdit *edit = spin->findChild<QLineEdit *>();
            return mouse->button() == Qt::LeftButton && edit && !edit->geometry().contains(mouse->pos());
        }
        default:
            return false;
        }
    }

    QSpinBox *spin;
};

} // namespace

namespace OutOfRange {

QString text(qlonglong value)
{
    return outOfRangeText(value);
}

void markWidget(QWidget *widget, bool yes)
{
    mark(widget, yes);
}

void markCell(QStyleOptionViewItem *option)
{
    option->palette.setColor(QPalette::Text, markColour());
    option->font.setBold(true);
}

void showInSpinBox(QSpinBox *spin, int value)
{
    if (firstHook(spin)) {
        spin->setProperty(MinimumProperty, spin->minimum());
        spin->setProperty(MaximumProperty, spin->maximum());
        QObject::connect(spin, qOverload<int>(&QSpinBox::valueChanged), spin, [spin](int shown) {
            if (!spin->specialValueText().isEmpty() && shown != spin->minimum())
                restoreSpinBox(spin);
        });
        spin->installEventFilter(new HeldStepFilter(spin));
    }
    const int minimum = spin->property(MinimumProperty).toInt();
    const int maximum = spin->property(MaximumProperty).toInt();
    if (value >= minimum && value <= maximum) {
        if (!spin->specialValueText().isEmpty())
            restoreSpinBox(spin);
        spin->setValue(value);
        return;
    }
    // The held value is shown as the special value text one step below the
    // range; a step by the user goes to the range's nearest end (HeldStepFilter).
    const int slot = minimum - spin->singleStep();
    spin->setProperty(NearestProperty, value < minimum ? minimum : maximum);
    spin->setSpecialValueText(text(value));
    spin->setRange(slot, maximum);
    spin->setValue(slot);
    mark(spin, true);
}

bool isHeld(const QSpinBox *spin)
{
    return !spin->specialValueText().isEmpty() && spin->value() == spin->minimum()
           && spin->property(HookedProperty).toBool();
}

void showInComboBox(QComboBox *combo, const QVariant &value)
{
    if (firstHook(combo)) {
        // Sized once on first show, the box would cut an extra item added later.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        combo->setProperty(MinimumWidthProperty, combo->minimumWidth());
        QObject::connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), combo, [combo](int index) {
            const int held = heldItem(combo);
            if (held < 0 || held == index)
                return;
            // The extra item is the last one: removing it leaves the current item as it is.
            combo->removeItem(held);
            combo->setMinimumWidth(combo->property(MinimumWidthProperty).toInt());
            mark(combo, false);
        });
    }
    const int old = heldItem(combo);
    if (old >= 0)
        combo->removeItem(old);
    int index = combo->findData(value, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (index < 0 && ok) {
        combo->addItem(text(number), value);
        index = combo->count() - 1;
        combo->setItemData(index, true, HeldItemRole);
        combo->setItemData(index, markColour(), Qt::ForegroundRole);
        // The layout may give the box less than it asks; the held value stays whole.
        combo->setMinimumWidth(qMax(combo->property(MinimumWidthProperty).toInt(), combo->sizeHint().width()));
    } else {
        combo->setMinimumWidth(combo->property(MinimumWidthProperty).toInt());
    }
    combo->setCurrentIndex(index);
    mark(combo, heldItem(combo) >= 0);
}

bool isHeld(const QComboBox *combo)
{
    return heldItem(combo) >= 0;
}

void showInCheckBox(QCheckBox *check, uint value)
{
    if (firstHook(check)) {
        check->setProperty(TextProperty, check->text());
        QObject::connect(check, &QCheckBox::stateChanged, check, [check](int state) {
            if (state == Qt::PartiallyChecked || !check->isTristate())
                return;
            check->setTristate(false);
            check->setText(check->property(TextProperty).toString());
            mark(check, false);
        });
    }
    const bool held = value > 1;
    if (held) {
        check->setText(QStringLiteral("%1: %2").arg(check->property(TextProperty).toString(), text(value)));
        check->setCheckState(Qt::PartiallyChecked);
    } else {
        check->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
        check->setTristate(false);
        check->setText(check->property(TextProperty).toString());
    }
    mark(check, held);
}

bool isHeld(const QCheckBox *check)
{
    return check->isTristate() && check->checkState() == Qt::PartiallyChecked;
}

} // namespace OutOfRange
