#include "supplyvoltageviewer.h"
#include "ui_supplyvoltageviewer.h"

#include <QLocale>
#include <QSettings>

#include <qwt_plot_curve.h>
#include <qwt_symbol.h>

#include <cmath>

#include "appcontext.h"
#include "appglobals.h"
#include "lantrelclient.h"

namespace {
const int AddressCount = 500;
const int DefaultMinY = 0;
const int DefaultMaxY = 35;

// Top of the automatic scale in volts: 10 % above the largest voltage,
// never below it and never below 1 V.
int autoMaxVolts(int largestMv)
{
    if (largestMv == 0)
        return DefaultMaxY;
    const double volts = largestMv / 1000.0;
    return qMax(int(volts * 1.1), int(std::ceil(volts)));
}
} // namespace

bool supplyCommandsEnabled(bool connected, bool lineOn, bool idle)
{
    return connected && lineOn && idle;
}

SupplyVoltagePicker::SupplyVoltagePicker(QWidget *canvas, const QVector<quint16> *voltages)
    : PlotTabPicker(canvas)
    , m_voltages(voltages)
{
}

bool SupplyVoltagePicker::hasData() const
{
    return !m_voltages->isEmpty();
}

QString SupplyVoltagePicker::valueLines(quint16 address) const
{
    const quint16 mv = address >= 1 && address <= m_voltages->size() ? m_voltages->at(address - 1) : 0;
    if (mv == 0)
        return QString();
    return QStringLiteral("\nНапряжение: %1 В.").arg(QLocale().toString(mv / 1000.0, 'f', 3));
}

SupplyVoltageViewer::SupplyVoltageViewer(QWidget *parent, Qt::WindowFlags flags)
    : PlotTab(QStringLiteral("SupplyVoltageViewer"), parent, flags)
    , ui(new Ui::SupplyVoltageViewer)
    , m_voltages(AddressCount, 0)
{
    ui->setupUi(this);
    setUpPlot(formControlsWithMinY(ui), QStringLiteral("Напряжение питания, В."), QStringLiteral("Адрес модуля"));

    m_curve = new QwtPlotCurve(QString());
    m_curve->setStyle(QwtPlotCurve::Lines);
    m_curve->setPen(QColor("green"), 0, Qt::SolidLine);
    m_curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(QColor("green")), QPen(QColor("black")), QSize(4, 4)));
    m_curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    m_curve->attach(ui->plot);

    setUpPicker(new SupplyVoltagePicker(ui->plot->canvas(), &m_voltages));

    connectClient();
    if (LantrelClient *client = appClient()) {
        connect(client, &LantrelClient::modulesSupplyVoltage, this, &SupplyVoltageViewer::onModulesSupplyVoltage);
        connect(client, &LantrelClient::datasetChanged, this, &SupplyVoltageViewer::clearData);
    }

    readAxisSettings(DefaultMinY, DefaultMaxY);
    ui->btnCalibrate->setVisible(appSettings->value(QStringLiteral("Common/EnableCalibration"), false).toBool());
    updateButtons();
    setAxisXLimit();
    setAxisYLimit();

    connectAxisControls();
    connect(ui->btnUpdateSamples, &QPushButton::clicked, this, &SupplyVoltageViewer::startTask);
    connect(ui->btnCalibrate, &QPushButton::clicked, this, &SupplyVoltageViewer::calibrateModules);
}

SupplyVoltageViewer::~SupplyVoltageViewer()
{
    disconnectControls();
    delete ui;
}

void SupplyVoltageViewer::updateButtons()
{
    const bool enabled = supplyCommandsEnabled(isConnected(), isLineOn(), m_idle);
    ui->btnUpdateSamples->setEnabled(enabled);
    ui->btnCalibrate->setEnabled(enabled);
}

void SupplyVoltageViewer::disableFormActions(bool yes)
{
    m_idle = !yes;
    updateButtons();
    if (!yes && m_refreshPending) {
        m_refreshPending = false;
        startTask();
    }
}

void SupplyVoltageViewer::startTask()
{
    // A refresh asked for while another task runs waits for its end.
    if (!m_idle && isConnected() && isLineOn()) {
        m_refreshPending = true;
        return;
    }
    LantrelClient *client = appClient();
    if (client && supplyCommandsEnabled(isConnected(), isLineOn(), m_idle))
        client->checkModulesSupplyVoltage();
}

void SupplyVoltageViewer::calibrateModules()
{
    if (LantrelClient *client = appClient())
        client->calibrateModules();
}

void SupplyVoltageViewer::onModulesSupplyVoltage(ushort first_idx, QVector<quint16> voltage_array)
{
    int index = first_idx;
    for (const quint16 mv : qAsConst(voltage_array)) {
        if (index >= AddressCount)
            break;
        m_voltages[index++] = mv;
    }
    // The batch that reaches the last address draws them all.
    if (index >= AddressCount)
        replot();
}

void SupplyVoltageViewer::replot()
{
    QVector<QPointF> points;
    points.reserve(AddressCount);
    int largest = 0;
    for (int i = 0; i < AddressCount; ++i) {
        // Free addresses and modules without a supply measurement report 0:
        // they are left out rather than drawn as drops to 0 V.
        if (m_voltages.at(i) == 0)
            continue;
        points.append(QPointF(i + 1, m_voltages.at(i) / 1000.0));
        largest = qMax(largest, int(m_voltages.at(i)));
    }
    if (isAutoY())
        setAutoYScale(0, autoMaxVolts(largest));
    m_curve->setSamples(points);
    ui->plot->replot();
}

void SupplyVoltageViewer::clearData()
{
    m_voltages.fill(0);
    replot();
}
