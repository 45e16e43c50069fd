#include "fixedvaluesspindelegate.h"

#include <QSignalBlocker>
#include <QSpinBox>

#include "outofrange.h"

FixedValuesSpinDelegate::FixedValuesSpinDelegate(int minimum, int maximum, int step, int multiplier,
                                                 QObject *parent)
    : QStyledItemDelegate(parent)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_step(step)
    , m_multiplier(multiplier)
{
}

QWidget *FixedValuesSpinDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                               const QModelIndex &) const
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(m_minimum, m_maximum);
    spin->setSingleStep(m_step);
    spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    if (m_step > 1) {
        // Snap once the typing is over, not at every keystroke.
        spin->setKeyboardTracking(false);
        connect(spin, qOverload<int>(&QSpinBox::valueChanged), this, &FixedValuesSpinDelegate::snapToStep);
    }
    return spin;
}

void FixedValuesSpinDelegate::snapToStep(int value)
{
    auto *spin = qobject_cast<QSpinBox *>(sender());
    if (!spin)
        return;
    const int remainder = value % m_step;
    if (remainder == 0)
        return;
    const QSignalBlocker blocker(spin);
    spin->setValue(value + m_step - remainder);
}

void FixedValuesSpinDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (!index.isValid() || !index.model())
        return;
    auto *spin = qobject_cast<QSpinBox *>(editor);
    if (!spin) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    OutOfRange::showInSpinBox(spin, index.data(Qt::EditRole).toInt() * m_multiplier);
}

void FixedValuesSpinDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                           const QModelIndex &index) const
{
    if (!index.isValid() || !model)
        return;
    auto *spin = qobject_cast<QSpinBox *>(editor);
    if (!spin) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    // The view commits on focus out and Tab before the spin box has read its
    // own text; take the typed value (and its snap) first.
    spin->interpretText();
    // A value beyond the range stays as it is until another one is chosen.
    if (OutOfRange::isHeld(spin))
        return;
    const QVariant value(spin->value() / m_multiplier);
    if (value != model->data(index, Qt::EditRole))
        model->setData(index, value, Qt::EditRole);
}

bool FixedValuesSpinDelegate::inRange(const QVariant &value) const
{
    const qlonglong shown = qlonglong(value.toInt()) * m_multiplier;
    return shown >= m_minimum && shown <= m_maximum;
}

QString FixedValuesSpinDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    const qlonglong shown = qlonglong(value.toInt()) * m_multiplier;
    return inRange(value) ? locale.toString(shown) : OutOfRange::text(shown);
}

void FixedValuesSpinDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant value = index.data(Qt::DisplayRole);
    if (value.isValid() && !inRange(value))
        OutOfRange::markCell(option);
}
