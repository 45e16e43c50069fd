#ifndef SAMPLESHISTORYDELEGATE_H
#define SAMPLESHISTORYDELEGATE_H

#include <QStyledItemDelegate>

// Paints a history row's samples (a SensorSampleList in the display role)
// as bars coloured by the module's state, newest on the left, on a grid
// whose top is the value limit.
class SamplesHistoryDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit SamplesHistoryDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

public slots:
    // Takes effect at the next paint.
    void setValueLimit(ushort limit_value);

private:
    // The plot inside a cell, inclusive pixel coordinates.
    struct PlotArea
    {
        int left;
        int top;
        int right;
        int bottom;
    };

    void drawGrid(QPainter *painter, const QRect &cell, const PlotArea &area, const QColor &colour) const;
    void drawSamples(QPainter *painter, const PlotArea &area, const QColor &colour, const QModelIndex &index) const;

    quint16 m_valueLimit = 8200;
    int m_verticalDivisions = 10;
    int m_horizontalDivisions = 4;
};

#endif // SAMPLESHISTORYDELEGATE_H
