#ifndef FIXEDVALUESSPINDELEGATE_H
#define FIXEDVALUESSPINDELEGATE_H

#include <QStyledItemDelegate>

// An integer edited with a spin box that shows the stored value times a
// multiplier; with a step above 1 the value snaps up to the next multiple of
// the step. Minimum, maximum and step are in displayed units.
class FixedValuesSpinDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    FixedValuesSpinDelegate(int minimum, int maximum, int step, int multiplier, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    QString displayText(const QVariant &value, const QLocale &locale) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    void snapToStep(int value);
    bool inRange(const QVariant &value) const;

    const int m_minimum;
    const int m_maximum;
    const int m_step;
    const int m_multiplier;
};

#endif // FIXEDVALUESSPINDELEGATE_H
