#include "checkboxdelegate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

} // namespace

CheckBoxDelegate::CheckBoxDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QRect CheckBoxDelegate::indicatorRect(const QStyleOptionViewItem &option, const QRect &cell)
{
    QStyleOptionButton button;
    button.QStyleOption::operator=(option);
    button.rect = cell;
    const QSize size =
        styleOf(option)->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &button, option.widget).size();
    return QRect(cell.left() + (cell.width() - size.width()) / 2,
                 cell.top() + (cell.height() - size.height()) / 2, size.width(), size.height());
}

void CheckBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    if (!index.isValid() || !index.model() || index.data(Qt::DisplayRole).isNull()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    QStyle *style = styleOf(opt);
    painter->save();
    // Background and selection only: the text is empty and no focus frame is drawn.
    opt.state &= ~QStyle::State_HasFocus;
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    opt.rect = indicatorRect(opt, option.rect);
    opt.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange);
    // A flag that is neither 0 nor 1 is drawn partly checked, so that it stands out.
    const uint flag = index.data(Qt::DisplayRole).toUInt();
    opt.state |= flag > 1 ? QStyle::State_NoChange : flag == 1 ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &opt, painter, opt.widget);
    painter->restore();
}

QWidget *CheckBoxDelegate::createEditor(QWidget *, const QStyleOptionViewItem &, const QModelIndex &) const
{
    return nullptr;
}

QString CheckBoxDelegate::displayText(const QVariant &, const QLocale &) const
{
    return QString();
}

bool CheckBoxDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                   const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (!event || !model)
        return false;
    const Qt::ItemFlags flags = model->flags(index);
    if (!option.state.testFlag(QStyle::State_Enabled) || !flags.testFlag(Qt::ItemIsEditable)
        || !flags.testFlag(Qt::ItemIsEnabled))
        return false;

    switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton
            || !indicatorRect(option, option.rect).contains(mouse->localPos().toPoint()))
            return false;
        // A double click on the indicator is swallowed so that the view opens nothing.
        if (event->type() == QEvent::MouseButtonDblClick)
            return true;
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select)
            return false;
        break;
    }
    default:
        return false;
    }
    const bool checked = index.data(Qt::DisplayRole).toBool();
    return model->setData(index, QVariant(!checked), Qt::EditRole);
}
