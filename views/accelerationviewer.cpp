#include "accelerationviewer.h"
#include "ui_accelerationviewer.h"

#include <QSettings>

#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_symbol.h>

#include "appcontext.h"
#include "appglobals.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "sensorrows.h"

namespace {
const int DefaultMaxY = 8200;
const int DefaultThreshold = 500;

QwtPlotCurve *makeStickCurve(const char *colour, QwtPlot *plot)
{
    const QColor c(QLatin1String {colour});
    auto *curve = new QwtPlotCurve(QString());
    curve->setStyle(QwtPlotCurve::Sticks);
    curve->setPen(c, 2, Qt::SolidLine);
    curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(c), Qt::NoPen, QSize(4, 4)));
    curve->attach(plot);
    return curve;
}

// Top of the automatic scale: 10 % above the largest amplitude.
int autoMaxAmplitude(int largest)
{
    return largest == 0 ? DefaultMaxY : int(largest * 1.1);
}
} // namespace

SensorSamplesPicker::SensorSamplesPicker(QWidget *canvas, const QMap<quint16, AmplitudePoint> *samples)
    : PlotTabPicker(canvas)
    , m_samples(samples)
{
}

bool SensorSamplesPicker::hasData() const
{
    return !m_samples->isEmpty();
}

QString SensorSamplesPicker::valueLines(quint16 address) const
{
    const quint16 amplitude = m_samples->value(address).amplitude;
    return amplitude == 0xFFFF ? QString() : QStringLiteral("\nАмплитуда: %1").arg(amplitude);
}

AccelerationViewer::AccelerationViewer(QWidget *parent, Qt::WindowFlags flags)
    : SensorPlotTab(QStringLiteral("AccelerationViewer"), parent, flags)
    , ui(new Ui::AccelerationViewer)
{
    ui->setupUi(this);
    setUpPlot(formControls(ui), QStringLiteral("Амплитуда сигнала"), QStringLiteral("Адрес датчика"));
    setMeasurementButtons(ui->btnStartSampling, ui->btnStopSampling);

    m_normalCurve = makeStickCurve("lightgreen", ui->plot);
    m_alarmCurve = makeStickCurve("red", ui->plot);
    m_thresholdMarker = new QwtPlotMarker(QString());
    m_thresholdMarker->setLineStyle(QwtPlotMarker::HLine);
    m_thresholdMarker->setLinePen(QColor(Qt::red), 0, Qt::DashLine);
    m_thresholdMarker->attach(ui->plot);

    setUpPicker(new SensorSamplesPicker(ui->plot->canvas(), &m_samples));

    connectClient();
    if (LantrelClient *client = appClient())
        connect(client, &LantrelClient::sensorSamples, this, &AccelerationViewer::onSensorSamples);

    readAxisSettings(0, DefaultMaxY);
    ui->edtRefAcc->setValue(appSettings->value(settingsKey(QStringLiteral("Threshold")), DefaultThreshold).toInt());

    followSensorTable();
    setAxisXLimit();
    setRefAcc();
    setAxisYLimit();

    connectAxisControls();
    connect(ui->edtRefAcc, &QSpinBox::editingFinished, this, &AccelerationViewer::setRefAcc);
    connect(ui->btnSetRefAcc, &QPushButton::clicked, this, &AccelerationViewer::setRefAcc);
    connect(ui->btnResetRefAcc, &QPushButton::clicked, this, &AccelerationViewer::resetRefAcc);
    connect(ui->btnStartSampling, &QPushButton::clicked, this, &AccelerationViewer::startTask);
    connect(ui->btnStopSampling, &QPushButton::clicked, this, &AccelerationViewer::stopTask);
}

AccelerationViewer::~AccelerationViewer()
{
    disconnectControls();
    delete ui;
}

void AccelerationViewer::startTask()
{
    if (m_running)
        return;
    m_running = true;
    updateButtons();
}

void AccelerationViewer::stopTask()
{
    if (!m_running)
        return;
    m_running = false;
    updateButtons();
}

void AccelerationViewer::rebuildPoints(const QVector<SensorModuleRecord> &rows)
{
    m_samples.clear();
    for (const SensorModuleRecord &r : rows)
        m_samples.insert(r.lineAddress, AmplitudePoint());
}

void AccelerationViewer::onSensorSamples(ushort first_idx, QVector<quint16> acc_array)
{
    const LantrelClient *client = appClient();
    if (!client)
        return;
    const LineModulesModel *lines = client->lineModulesModel();
    const bool complete = forEachSensorValue(
        *client->sensorsConfigModel(), first_idx, acc_array, [&](quint16 address, quint16 value) {
            const auto it = m_samples.find(address);
            if (it == m_samples.end())
                return;
            it->amplitude = value;
            it->alarm = lines->moduleAt(address).stateFlags & ModuleLoop1Active;
        });
    if (m_running && complete)
        replot();
}

void AccelerationViewer::replot()
{
    QVector<QPointF> normal;
    QVector<QPointF> alarm;
    int largest = 0;
    for (auto it = m_samples.cbegin(); it != m_samples.cend(); ++it) {
        if (it->amplitude == 0xFFFF)
            continue;
        (it->alarm ? alarm : normal).append(QPointF(it.key(), it->amplitude));
        largest = qMax(largest, int(it->amplitude));
    }
    if (isAutoY())
        setAutoYScale(0, autoMaxAmplitude(largest));
    m_normalCurve->setSamples(normal);
    m_alarmCurve->setSamples(alarm);
    ui->plot->replot();
}

void AccelerationViewer::setRefAcc()
{
    m_thresholdMarker->setYValue(ui->edtRefAcc->value());
    writeSetting(QStringLiteral("Threshold"), ui->edtRefAcc->value());
    ui->plot->replot();
}

void AccelerationViewer::resetRefAcc()
{
    ui->edtRefAcc->setValue(DefaultThreshold);
    setRefAcc();
}
