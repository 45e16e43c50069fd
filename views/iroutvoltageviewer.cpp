#include "iroutvoltageviewer.h"
#include "ui_iroutvoltageviewer.h"

#include <QSettings>
#include <QSignalBlocker>

#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_symbol.h>

#include "appcontext.h"
#include "appglobals.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "sensorrows.h"

namespace {
const int DefaultMinY = 500;
const int DefaultMaxY = 3300;
const int DefaultThreshold = 400;
const int CentreLevel = 1650;

QwtPlotCurve *makeLevelCurve(const char *colour, QwtPlot *plot)
{
    const QColor c(colour);
    auto *curve = new QwtPlotCurve(QString());
    curve->setStyle(QwtPlotCurve::Lines);
    curve->setPen(c, 0, Qt::SolidLine);
    curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(c), QPen(QColor("black")), QSize(4, 4)));
    curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    curve->attach(plot);
    return curve;
}

QwtPlotMarker *makeLevelLine(Qt::GlobalColor colour, QwtPlot *plot)
{
    auto *marker = new QwtPlotMarker(QString());
    marker->setLineStyle(QwtPlotMarker::HLine);
    marker->setLinePen(QColor(colour), 0, Qt::DashLine);
    marker->attach(plot);
    return marker;
}

// One level byte in millivolts.
quint16 levelMv(int code)
{
    return quint16(code * 10 + 500);
}

bool hasLevels(const IrVoltagePoint &p)
{
    return p.deviceType == LantrelProtocol::SECT_ACCI && p.drop != 0xFFFF && p.excess != 0xFFFF;
}
} // namespace

IrOutVoltagePicker::IrOutVoltagePicker(QWidget *canvas, const QMap<quint16, IrVoltagePoint> *levels)
    : PlotTabPicker(canvas)
    , m_levels(levels)
{
}

bool IrOutVoltagePicker::hasData() const
{
    return !m_levels->isEmpty();
}

QString IrOutVoltagePicker::valueLines(quint16 address) const
{
    const IrVoltagePoint p = m_levels->value(address);
    QString lines;
    if (p.excess != 0xFFFF)
        lines += QStringLiteral("\nПревышение: %1 мВ.").arg(p.excess);
    if (p.drop != 0xFFFF)
        lines += QStringLiteral("\nПонижение: %1 мВ.").arg(p.drop);
    return lines;
}

IrOutVoltageViewer::IrOutVoltageViewer(QWidget *parent, Qt::WindowFlags flags)
    : SensorPlotTab(QStringLiteral("IrOutVoltageViewer"), parent, flags)
    , ui(new Ui::IrOutVoltageViewer)
{
    ui->setupUi(this);
    setUpPlot(formControlsWithMinY(ui), QStringLiteral("Напряжение, мВ."), QStringLiteral("Адрес датчика"));
    setMeasurementButtons(ui->btnStartMeasurement, ui->btnStopMeasurement);

    m_dropCurve = makeLevelCurve("blue", ui->plot);
    m_excessCurve = makeLevelCurve("green", ui->plot);
    m_upperMarker = makeLevelLine(Qt::red, ui->plot);
    m_lowerMarker = makeLevelLine(Qt::red, ui->plot);
    makeLevelLine(Qt::black, ui->plot)->setYValue(CentreLevel);

    setUpPicker(new IrOutVoltagePicker(ui->plot->canvas(), &m_levels));

    connectClient();
    if (LantrelClient *client = appClient())
        connect(client, &LantrelClient::sensorIrVoltage, this, &IrOutVoltageViewer::onSensorIrVoltage);

    readAxisSettings(DefaultMinY, DefaultMaxY);
    ui->edtRefUK->setValue(appSettings->value(settingsKey(QStringLiteral("Threshold")), DefaultThreshold).toInt());

    followSensorTable();
    setAxisXLimit();
    setRefUK();
    setAxisYLimit();

    connectAxisControls();
    connect(ui->edtRefUK, QOverload<int>::of(&QSpinBox::valueChanged), this, &IrOutVoltageViewer::onRefUkValueChanged);
    connect(ui->edtRefUK, &QSpinBox::editingFinished, this, &IrOutVoltageViewer::setRefUK);
    connect(ui->btnSetRefUK, &QPushButton::clicked, this, &IrOutVoltageViewer::setRefUK);
    connect(ui->btnResetRefUK, &QPushButton::clicked, this, &IrOutVoltageViewer::resetRefUK);
    connect(ui->btnStartMeasurement, &QPushButton::clicked, this, &IrOutVoltageViewer::startTask);
    connect(ui->btnStopMeasurement, &QPushButton::clicked, this, &IrOutVoltageViewer::stopTask);
}

IrOutVoltageViewer::~IrOutVoltageViewer()
{
    disconnectControls();
    delete ui;
}

void IrOutVoltageViewer::startTask()
{
    LantrelClient *client = appClient();
    if (!client || !measurementButtons(isConnected(), m_hasData, isLineOn(), m_running).start)
        return;
    client->setVoltageMeasurementMode(true);
    m_running = true;
    updateButtons();
}

void IrOutVoltageViewer::stopTask()
{
    LantrelClient *client = appClient();
    if (!client || !measurementButtons(isConnected(), m_hasData, isLineOn(), m_running).stop)
        return;
    client->setVoltageMeasurementMode(false);
    m_running = false;
    updateButtons();
}

void IrOutVoltageViewer::rebuildPoints(const QVector<SensorModuleRecord> &rows)
{
    m_levels.clear();
    for (const SensorModuleRecord &r : rows) {
        IrVoltagePoint p;
        p.deviceType = r.deviceType;
        m_levels.insert(r.lineAddress, p);
    }
}

void IrOutVoltageViewer::onSensorIrVoltage(ushort first_idx, QVector<quint16> voltage_array)
{
    const LantrelClient *client = appClient();
    if (!client)
        return;
    const bool complete = forEachSensorValue(
        *client->sensorsConfigModel(), first_idx, voltage_array, [this](quint16 address, quint16 value) {
            const auto it = m_levels.find(address);
            if (it == m_levels.end() || it->deviceType != LantrelProtocol::SECT_ACCI)
                return;
            it->drop = levelMv(value & 0xFF);
            it->excess = levelMv(value >> 8);
        });
    if (complete)
        replot();
}

void IrOutVoltageViewer::replot()
{
    QVector<QPointF> drops;
    QVector<QPointF> excesses;
    int lowest = 0xFFFF;
    int highest = 0;
    for (auto it = m_levels.cbegin(); it != m_levels.cend(); ++it) {
        if (!hasLevels(*it))
            continue;
        drops.append(QPointF(it.key(), it->drop));
        excesses.append(QPointF(it.key(), it->excess));
        // The range covers every level drawn, whichever curve it is on.
        lowest = qMin(lowest, int(qMin(it->drop, it->excess)));
        highest = qMax(highest, int(qMax(it->drop, it->excess)));
    }
    if (isAutoY()) {
        // The threshold band is part of the picture: both of its lines stay on the scale.
        const int bandLow = int(m_lowerMarker->yValue());
        const int bandHigh = int(m_upperMarker->yValue());
        if (drops.isEmpty())
            setAutoYScale(qMin(DefaultMinY, bandLow), qMax(DefaultMaxY, bandHigh));
        else
            setAutoYScale(int(qMin(lowest, bandLow) * 0.98), int(qMax(highest, bandHigh) * 1.02));
    }
    m_dropCurve->setSamples(drops);
    m_excessCurve->setSamples(excesses);
    ui->plot->replot();
}

void IrOutVoltageViewer::onRefUkValueChanged(int val)
{
    // The threshold goes in steps of 10 mV: a value between is raised.
    if (val % 10 == 0)
        return;
    const QSignalBlocker blocker(ui->edtRefUK);
    ui->edtRefUK->setValue(val - val % 10 + 10);
}

void IrOutVoltageViewer::setRefUK()
{
    const int threshold = ui->edtRefUK->value();
    m_upperMarker->setYValue(CentreLevel + threshold);
    m_lowerMarker->setYValue(CentreLevel - threshold);
    writeSetting(QStringLiteral("Threshold"), threshold);
    if (isAutoY())
        replot();
    else
        ui->plot->replot();
}

void IrOutVoltageViewer::resetRefUK()
{
    {
        const QSignalBlocker blocker(ui->edtRefUK);
        ui->edtRefUK->setValue(DefaultThreshold);
    }
    setRefUK();
}
