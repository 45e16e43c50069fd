#include "plottab.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>

#include "appglobals.h"
#include "clientlinestate.h"

namespace {
// Tick step of an axis: every value on a short range, the library's choice otherwise.
double tickStep(int lo, int hi)
{
    return hi - lo <= 9 ? 1 : 0;
}
} // namespace

PlotTab::PlotTab(const QString &settingsGroup, QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , m_group(settingsGroup)
{
}

void PlotTab::setUpPlot(const Controls &controls, const QString &yTitle, const QString &xTitle)
{
    m_controls = controls;
    QwtPlot *p = m_controls.plot;
    p->setAutoReplot(false);
    p->canvas()->setCursor(Qt::ArrowCursor);

    QwtText title {QString()};
    QFont font = title.font();
    font.setPointSize(10);
    title.setFont(font);
    font.setPointSize(8);
    title.setText(yTitle);
    p->setAxisAutoScale(QwtPlot::yLeft, false);
    p->setAxisAutoScale(QwtPlot::yLeft, true);
    p->setAxisTitle(QwtPlot::yLeft, title);
    p->setAxisFont(QwtPlot::yLeft, font);
    title.setText(xTitle);
    p->setAxisTitle(QwtPlot::xBottom, title);
    p->setAxisFont(QwtPlot::xBottom, font);
    p->setAxisAutoScale(QwtPlot::xBottom, false);
    p->setAxisMaxMinor(QwtPlot::xBottom, 0);

    auto *grid = new QwtPlotGrid;
    grid->enableX(false);
    grid->enableXMin(false);
    grid->setPen(Qt::black, 0, Qt::DotLine);
    grid->attach(p);
}

void PlotTab::setUpPicker(QwtPlotPicker *picker)
{
    picker->setRubberBandPen(QPen(Qt::DashLine));
}

void PlotTab::connectClient()
{
    m_clientState = new ClientLineState(this);
    connect(m_clientState, &ClientLineState::connectionChanged, this, [this] {
        // The values of the old link belong to it; a lost link keeps them on screen.
        if (isConnected())
            clearData();
        updateButtons();
    });
    connect(m_clientState, &ClientLineState::lineStateChanged, this, [this] {
        onLineStateChanged();
        updateButtons();
    });
}

bool PlotTab::isConnected() const
{
    return m_clientState && m_clientState->isConnected();
}

bool PlotTab::isLineOn() const
{
    return m_clientState && m_clientState->isLineOn();
}

void PlotTab::readAxisSettings(int defaultMinY, int defaultMaxY)
{
    m_defaultMinY = defaultMinY;
    m_defaultMaxY = defaultMaxY;
    appSettings->sync();
    appSettings->beginGroup(m_group);
    m_controls.addrMin->setValue(appSettings->value(QStringLiteral("MinX"), 1).toInt());
    m_controls.addrMax->setValue(appSettings->value(QStringLiteral("MaxX"), 500).toInt());
    m_controls.autoY->setChecked(appSettings->value(QStringLiteral("AutoY"), true).toBool());
    if (m_controls.valueMin)
        m_controls.valueMin->setValue(appSettings->value(QStringLiteral("MinY"), defaultMinY).toInt());
    m_controls.valueMax->setValue(appSettings->value(QStringLiteral("MaxY"), defaultMaxY).toInt());
    appSettings->endGroup();

    // Until "Авто" is first toggled only the spin boxes follow it.
    const bool manual = !m_controls.autoY->isChecked();
    if (m_controls.valueMin)
        m_controls.valueMin->setEnabled(manual);
    m_controls.valueMax->setEnabled(manual);
}

void PlotTab::connectAxisControls()
{
    connect(m_controls.setAxisX, &QPushButton::clicked, this, &PlotTab::setAxisXLimit);
    connect(m_controls.resetAxisX, &QPushButton::clicked, this, &PlotTab::resetAxisXLimit);
    connect(m_controls.setAxisY, &QPushButton::clicked, this, &PlotTab::setAxisYLimit);
    connect(m_controls.resetAxisY, &QPushButton::clicked, this, &PlotTab::resetAxisYLimit);
    connect(m_controls.addrMin, &QSpinBox::editingFinished, this, &PlotTab::setAxisXLimit);
    connect(m_controls.addrMax, &QSpinBox::editingFinished, this, &PlotTab::setAxisXLimit);
    if (m_controls.valueMin)
        connect(m_controls.valueMin, &QSpinBox::editingFinished, this, &PlotTab::setAxisYLimit);
    connect(m_controls.valueMax, &QSpinBox::editingFinished, this, &PlotTab::setAxisYLimit);
    connect(m_controls.autoY, &QCheckBox::toggled, this, &PlotTab::changeAutoY);
}

void PlotTab::disconnectControls()
{
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *child : children)
        child->disconnect(this);
}

void PlotTab::writeSetting(const QString &key, const QVariant &value)
{
    appSettings->setValue(settingsKey(key), value);
}

void PlotTab::setAddressRange(int lo, int hi)
{
    m_controls.addrMin->setRange(lo, hi);
    m_controls.addrMax->setRange(lo, hi);
}

bool PlotTab::isAutoY() const
{
    return m_controls.autoY->isChecked();
}

void PlotTab::setAutoYScale(double lo, double hi)
{
    plot()->setAxisScale(QwtPlot::yLeft, lo, hi, 0);
}

void PlotTab::setAxisXLimit()
{
    const int lo = qMin(m_controls.addrMin->value(), m_controls.addrMax->value());
    const int hi = qMax(m_controls.addrMin->value(), m_controls.addrMax->value());
    plot()->setAxisScale(QwtPlot::xBottom, lo, hi, tickStep(lo, hi));
    plot()->replot();
    writeSetting(QStringLiteral("MinX"), lo);
    writeSetting(QStringLiteral("MaxX"), hi);
}

void PlotTab::resetAxisXLimit()
{
    m_controls.addrMin->setValue(defaultMinX());
    m_controls.addrMax->setValue(defaultMaxX());
    setAxisXLimit();
}

void PlotTab::setAxisYLimit()
{
    const int hiValue = m_controls.valueMax->value();
    if (!m_controls.valueMin) {
        plot()->setAxisScale(QwtPlot::yLeft, 0, hiValue, 0);
        plot()->replot();
        writeSetting(QStringLiteral("MaxY"), hiValue);
        return;
    }
    const int lo = qMin(m_controls.valueMin->value(), hiValue);
    const int hi = qMax(m_controls.valueMin->value(), hiValue);
    plot()->setAxisScale(QwtPlot::yLeft, lo, hi, tickStep(lo, hi));
    plot()->replot();
    writeSetting(QStringLiteral("MinY"), lo);
    writeSetting(QStringLiteral("MaxY"), hi);
}

void PlotTab::resetAxisYLimit()
{
    if (m_controls.valueMin)
        m_controls.valueMin->setValue(m_defaultMinY);
    m_controls.valueMax->setValue(m_defaultMaxY);
    setAxisYLimit();
}

void PlotTab::changeAutoY(bool yes)
{
    QList<QWidget *> widgets = m_controls.yLabels;
    widgets << m_controls.valueMin << m_controls.valueMax << m_controls.setAxisY << m_controls.resetAxisY;
    for (QWidget *w : qAsConst(widgets)) {
        if (w)
            w->setEnabled(!yes);
    }
    writeSetting(QStringLiteral("AutoY"), yes);
    if (yes)
        onAutoYSwitchedOn();
    else
        setAxisYLimit();
}

// ---------------------------------------------------------------------------

PlotTabPicker::PlotTabPicker(QWidget *canvas)
    : QwtPlotPicker(canvas)
{
    setStateMachine(new QwtPickerDragPointMachine);
    setRubberBand(QwtPicker::VLineRubberBand);
    setTrackerMode(QwtPicker::ActiveOnly);
}

QwtText PlotTabPicker::trackerTextF(const QPointF &pos) const
{
    QwtText text;
    if (!hasData())
        return text;
    const auto address = quint16(qBound(0, qRound(pos.x()), 0xFFFF));
    text.setText(QStringLiteral("Адрес: %1").arg(address) + valueLines(address));
    text.setRenderFlags(Qt::AlignLeft | Qt::AlignTop);
    // Readable over the curves and grid.
    text.setBackgroundBrush(QColor(255, 255, 255, 210));
    return text;
}
