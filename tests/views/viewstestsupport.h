#ifndef VIEWSTESTSUPPORT_H
#define VIEWSTESTSUPPORT_H

// Helpers of the module-data window tests: a sensor table in any row order,
// module states, the client's connection and line signals, and what a plot
// shows (curves read back by colour, axis ranges, tracker texts).

#include <QPointF>
#include <QTest>
#include <QVector>
#include <QWidget>

#include <qwt_picker.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_scale_div.h>

#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "sensorsconfigmodel.h"

namespace ViewsTest {

// Sensor rows with these line addresses, in this row order (0 = an empty
// row); type 3 where `irTypes` says so, else 4. Each gets its line-module row.
inline void setSensorRows(LantrelClient &client, const QVector<int> &addresses,
                          const QVector<int> &irAddresses = {})
{
    SensorsConfigModel *sensors = client.sensorsConfigModel();
    sensors->clear();
    client.lineModulesModel()->clear(0);
    for (int row = 0; row < addresses.size(); ++row) {
        SensorModuleRecord rec;
        rec.lineAddress = quint16(addresses.at(row));
        if (rec.lineAddress != 0)
            rec.deviceType = irAddresses.contains(rec.lineAddress) ? 3 : 4;
        sensors->setModule(quint16(row), rec);
        if (rec.lineAddress == 0)
            continue;
        LineModuleRecord line;
        line.lineAddress = rec.lineAddress;
        line.deviceType = rec.deviceType;
        client.lineModulesModel()->setModule(line);
    }
}

// The sensor at `address` armed, in alarm or not.
inline void setSensorAlarm(LantrelClient &client, int address, bool alarm)
{
    client.lineModulesModel()->setModuleState(quint16(address), alarm ? 0x02 : 0x00, 0x02, 0);
}

inline LantrelProtocol::Status_Line_t lineStatus(int state)
{
    LantrelProtocol::Status_Line_t s;
    s.Flags = 1;
    s.State = quint8(state);
    return s;
}

// A client without a driver that the windows take for connected, line on.
inline void pretendOnline(LantrelClient &client, bool lineOn = true)
{
    emit client.deviceConnected(ClientConnection());
    emit client.lineStatusChanged(lineStatus(lineOn ? LantrelProtocol::LN_ONN : LantrelProtocol::LN_OFF));
}

inline QwtPlot *plotOf(const QWidget *tab)
{
    return tab->findChild<QwtPlot *>(QStringLiteral("plot"));
}

// The plot's curve drawn in `colour`.
inline const QwtPlotCurve *curve(const QWidget *tab, const QString &colour)
{
    const QwtPlotItemList items = plotOf(tab)->itemList(QwtPlotItem::Rtti_PlotCurve);
    for (const QwtPlotItem *item : items) {
        const auto *c = static_cast<const QwtPlotCurve *>(item);
        if (c->pen().color() == QColor(colour))
            return c;
    }
    return nullptr;
}

inline QVector<QPointF> points(const QwtPlotCurve *c)
{
    QVector<QPointF> v;
    for (size_t i = 0; c && i < c->dataSize(); ++i)
        v.append(c->sample(int(i)));
    return v;
}

inline QVector<QPointF> points(const QWidget *tab, const QString &colour)
{
    return points(curve(tab, colour));
}

// Lower and upper bound of an axis as last drawn.
inline QPointF axisRange(const QWidget *tab, QwtPlot::Axis axis)
{
    const QwtScaleDiv div = plotOf(tab)->axisScaleDiv(axis);
    return QPointF(div.lowerBound(), div.upperBound());
}

// The Y values of the plot's horizontal lines in `colour`.
inline QVector<double> lineLevels(const QWidget *tab, const QString &colour)
{
    QVector<double> v;
    const QwtPlotItemList items = plotOf(tab)->itemList(QwtPlotItem::Rtti_PlotMarker);
    for (const QwtPlotItem *item : items) {
        const auto *m = static_cast<const QwtPlotMarker *>(item);
        if (m->linePen().color() == QColor(colour))
            v.append(m->yValue());
    }
    std::sort(v.begin(), v.end());
    return v;
}

// The tracker's text with the pointer over address `x` (the plot must have
// been laid out, e.g. shown).
inline QString trackerText(const QWidget *tab, double x)
{
    QwtPlot *plot = plotOf(tab);
    QwtPicker *picker = plot->canvas()->findChild<QwtPlotPicker *>();
    const QPoint pos(qRound(plot->transform(QwtPlot::xBottom, x)), plot->canvas()->height() / 2);
    return picker ? picker->trackerText(pos).text() : QStringLiteral("(no picker)");
}

} // namespace ViewsTest

#endif // VIEWSTESTSUPPORT_H
