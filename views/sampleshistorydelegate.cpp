#include "sampleshistorydelegate.h"

#include <QFontMetricsF>
#include <QPainter>

#include "devicetables.h"
#include "linemodulesmodel.h"
#include "sensorsampleshistorymodel.h"

namespace {
// Samples of a module without link, switched off, excluded or with other
// parameters are not drawn.
const quint32 HiddenStates = ModuleNoLink | ModuleSwitchedOff | ModuleExcluded | ModuleParamsDiffer;

// The value labels stand in the margin left of the axis.
const int LabelWidth = 35;

// The painter's font, made smaller when `widest` would not fit beside the
// axis: a label cut at the cell's edge would read as another number.
QFont labelFont(const QFont &font, const QString &widest)
{
    const qreal width = QFontMetricsF(font).horizontalAdvance(widest);
    if (width <= LabelWidth)
        return font;
    QFont smaller = font;
    // A pixel to spare for the rounding of the new size.
    const qreal scale = (LabelWidth - 1) / width;
    if (font.pointSizeF() > 0)
        smaller.setPointSizeF(font.pointSizeF() * scale);
    else
        smaller.setPixelSize(qMax(1, int(font.pixelSize() * scale)));
    return smaller;
}

QColor sampleColour(quint32 flags)
{
    int key = ModuleLoop1Normal;
    if (flags & ModuleFault)
        key = ModuleFault;
    else if (flags & ModuleLoop1Disarmed)
        key = ModuleLoop1Disarmed;
    else if (flags & ModuleLoop1Active)
        key = ModuleLoop1Active;
    return QColor(stateColorNames.value(key));
}
} // namespace

SamplesHistoryDelegate::SamplesHistoryDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

void SamplesHistoryDelegate::setValueLimit(ushort limit_value)
{
    m_valueLimit = limit_value;
    m_horizontalDivisions = 4;
}

QSize SamplesHistoryDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 100);
}

void SamplesHistoryDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    const QRect &cell = option.rect;
    const PlotArea area {cell.left() + 40, cell.top() + 10, cell.right() - 5, cell.bottom() - 10};
    if (area.left <= area.right && area.top <= area.bottom) {
        const QColor colour = option.palette.color(selected ? QPalette::HighlightedText : QPalette::WindowText);
        drawGrid(painter, cell, area, colour);
        drawSamples(painter, area, colour, index);
    }
    painter->restore();
}

void SamplesHistoryDelegate::drawGrid(QPainter *painter, const QRect &cell, const PlotArea &a,
                                      const QColor &colour) const
{
    const QPen solid(colour);
    QPen dotted(colour);
    dotted.setStyle(Qt::DotLine);
    const double w = a.right - a.left + 1;
    const double h = a.bottom - a.top + 1;

    painter->setPen(solid);
    painter->drawLine(a.left, a.top, a.left, a.bottom + 5);
    for (int i = 1; i <= m_verticalDivisions; ++i) {
        const int x = int(a.left + i * (w - 1) / m_verticalDivisions);
        painter->setPen(dotted);
        painter->drawLine(x, a.top, x, a.bottom - 1);
        painter->setPen(solid);
        painter->drawLine(x, a.bottom, x, a.bottom + 5);
    }
    painter->drawLine(a.left - 5, a.bottom, a.right, a.bottom);
    const auto label = [this](int i) {
        return QString::number(m_valueLimit * i / double(m_horizontalDivisions), 'f', 0);
    };
    painter->setFont(labelFont(painter->font(), label(m_horizontalDivisions)));
    for (int i = 1; i <= m_horizontalDivisions; ++i) {
        const double y = a.bottom - i * (h - 1) / m_horizontalDivisions;
        painter->setPen(solid);
        painter->drawLine(a.left - 5, int(y), a.left, int(y));
        painter->drawText(QRect(cell.left(), int(y - 10), LabelWidth, 20), Qt::AlignRight | Qt::AlignVCenter,
                          label(i));
        painter->setPen(dotted);
        painter->drawLine(a.left + 1, int(y), a.right, int(y));
    }
}

void SamplesHistoryDelegate::drawSamples(QPainter *painter, const PlotArea &a, const QColor &colour,
                                         const QModelIndex &index) const
{
    const QVariant data = index.data(Qt::DisplayRole);
    if (data.userType() != qMetaTypeId<SensorSampleList>())
        return;
    const SensorSampleList samples = data.value<SensorSampleList>();
    // Values above the limit are cut at the top of the plot.
    painter->setClipRect(QRect(QPoint(a.left + 1, a.top + 1), QPoint(a.right - 1, a.bottom - 1)));
    painter->setPen(QPen(colour));
    const double slot = (a.right - a.left) / double(SensorSamplesHistoryModel::MaxSamples);
    const double scale = (a.bottom - a.top) / double(qMax<quint16>(m_valueLimit, 1));
    // In narrow cells a bar keeps one pixel.
    const double width = qMax(slot - 2, 1.0);
    for (int i = 0; i < samples.size(); ++i) {
        const SensorSample &s = samples.at(i);
        if (s.flags == 0 || (s.flags & HiddenStates))
            continue;
        painter->setBrush(sampleColour(s.flags));
        const double height = s.value * scale;
        painter->drawRect(QRectF(a.left + i * slot, a.bottom - height, width, height));
    }
}
