#include "dictionarydelegate.h"

#include <QComboBox>

#include "outofrange.h"

namespace {

// Room for the combo box's arrow and frame beside the text.
constexpr int ComboExtraWidth = 35;

} // namespace

DictionaryDelegate::DictionaryDelegate(const QMap<int, QString> &dictionary, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_dictionary(dictionary)
{
    QString longest;
    for (const QString &text : dictionary) {
        if (text.size() > longest.size())
            longest = text;
    }
    if (!longest.isEmpty())
        m_minimumWidth = QStyleOptionViewItem().fontMetrics.horizontalAdvance(longest) + ComboExtraWidth;
}

QSize DictionaryDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.isValid() && index.model() && size.width() < m_minimumWidth)
        size.setWidth(m_minimumWidth);
    return size;
}

QWidget *DictionaryDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                          const QModelIndex &) const
{
    auto *combo = new QComboBox(parent);
    combo->setUpdatesEnabled(false);
    for (auto it = m_dictionary.cbegin(); it != m_dictionary.cend(); ++it)
        combo->addItem(it.value(), it.key());
    combo->setUpdatesEnabled(true);
    connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &DictionaryDelegate::commitAndCloseEditor);
    return combo;
}

void DictionaryDelegate::commitAndCloseEditor()
{
    auto *combo = qobject_cast<QComboBox *>(sender());
    if (!combo)
        return;
    // The view ignores both while the editor is being set up (not yet registered).
    emit commitData(combo);
    emit closeEditor(combo, QAbstractItemDelegate::NoHint);
}

void DictionaryDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (!index.isValid() || !index.model())
        return;
    auto *combo = qobject_cast<QComboBox *>(editor);
    if (!combo) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    // A code without a text gets an item of its own, so that it is kept.
    bool ok = false;
    const int code = index.data(Qt::EditRole).toInt(&ok);
    if (ok)
        OutOfRange::showInComboBox(combo, code);
    else
        combo->setCurrentIndex(-1);
}

void DictionaryDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                      const QModelIndex &index) const
{
    if (!index.isValid() || !model)
        return;
    auto *combo = qobject_cast<QComboBox *>(editor);
    if (!combo) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    const QVariant current = combo->currentData(Qt::UserRole);
    if (model->data(index, Qt::EditRole) == current)
        return;
    bool ok = false;
    const int code = current.toInt(&ok);
    if (ok)
        model->setData(index, code, Qt::EditRole);
}

QString DictionaryDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    bool ok = false;
    const int code = value.toInt(&ok);
    if (!ok)
        return QStyledItemDelegate::displayText(value, locale);
    const auto it = m_dictionary.constFind(code);
    return it != m_dictionary.cend() ? *it : OutOfRange::text(code);
}

void DictionaryDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    bool ok = false;
    const int code = index.data(Qt::DisplayRole).toInt(&ok);
    if (ok && !m_dictionary.contains(code))
        OutOfRange::markCell(option);
}
