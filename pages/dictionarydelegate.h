#ifndef DICTIONARYDELEGATE_H
#define DICTIONARYDELEGATE_H

#include <QMap>
#include <QStyledItemDelegate>

// An integer code shown through a dictionary of texts and edited with a
// drop-down list; picking an entry stores it at once and closes the list.
class DictionaryDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    DictionaryDelegate(const QMap<int, QString> &dictionary, QObject *parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    QString displayText(const QVariant &value, const QLocale &locale) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    void commitAndCloseEditor();

    const QMap<int, QString> m_dictionary;
    // Wide enough for the longest text and the drop-down arrow; 0 = none.
    int m_minimumWidth = 0;
};

#endif // DICTIONARYDELEGATE_H
