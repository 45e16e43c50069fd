#ifndef VERTICALSCROLLAREA_H
#define VERTICALSCROLLAREA_H

#include <QScrollArea>

// A column of controls that scrolls up and down where the window is too low
// for it, and is always as wide as its controls need beside the scroll bar:
// a window's minimum height no longer grows with what the column shows.
class VerticalScrollArea : public QScrollArea
{
    Q_OBJECT

public:
    explicit VerticalScrollArea(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int widthFor(int contentWidth) const;
};

#endif // VERTICALSCROLLAREA_H
