#include "verticalscrollarea.h"

#include <QEvent>
#include <QScrollBar>

VerticalScrollArea::VerticalScrollArea(QWidget *parent)
    : QScrollArea(parent)
{
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
}

int VerticalScrollArea::widthFor(int contentWidth) const
{
    return contentWidth + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

QSize VerticalScrollArea::sizeHint() const
{
    if (!widget())
        return QScrollArea::sizeHint();
    const QSize content = widget()->sizeHint().expandedTo(widget()->minimumSizeHint());
    return QSize(widthFor(content.width()), content.height() + 2 * frameWidth());
}

QSize VerticalScrollArea::minimumSizeHint() const
{
    if (!widget())
        return QScrollArea::minimumSizeHint();
    return QSize(widthFor(widget()->minimumSizeHint().width()), QScrollArea::minimumSizeHint().height());
}

// setWidget() makes this area the filter of its content.
bool VerticalScrollArea::eventFilter(QObject *watched, QEvent *event)
{
    // The content's layout changed (a part shown or hidden): so did the
    // width this area asks for.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}
