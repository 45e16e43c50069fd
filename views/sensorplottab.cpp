#include "sensorplottab.h"

#include <QPushButton>

#include "appcontext.h"
#include "lantrelclient.h"
#include "sensorrows.h"

MeasurementButtons measurementButtons(bool connected, bool hasData, bool lineOn, bool running)
{
    MeasurementButtons b;
    b.start = connected && hasData && lineOn && !running;
    b.stop = connected && running;
    return b;
}

SensorPlotTab::SensorPlotTab(const QString &settingsGroup, QWidget *parent, Qt::WindowFlags flags)
    : PlotTab(settingsGroup, parent, flags)
{
}

void SensorPlotTab::setMeasurementButtons(QPushButton *start, QPushButton *stop)
{
    m_startButton = start;
    m_stopButton = stop;
}

void SensorPlotTab::followSensorTable()
{
    if (LantrelClient *client = appClient())
        connect(client, SIGNAL(datasetChanged()), this, SLOT(onDatasetChanged()));
    onDatasetChanged(false);
}

void SensorPlotTab::onDatasetChanged()
{
    onDatasetChanged(true);
}

void SensorPlotTab::onDatasetChanged(bool reset_axis)
{
    LantrelClient *client = appClient();
    const QVector<SensorModuleRecord> rows =
        client ? occupiedSensorRows(*client->sensorsConfigModel()) : QVector<SensorModuleRecord>();
    rebuildPoints(rows);
    // The curves of the previous configuration go with it.
    replot();

    // The range runs from the smallest to the largest address, whatever the
    // order of the rows.
    int lowest = 1;
    int highest = 500;
    if (!rows.isEmpty()) {
        lowest = highest = rows.first().lineAddress;
        for (const SensorModuleRecord &r : rows) {
            lowest = qMin(lowest, int(r.lineAddress));
            highest = qMax(highest, int(r.lineAddress));
        }
    }
    m_lowestAddress = quint16(qBound(1, lowest - 1, 500));
    m_highestAddress = quint16(qBound(int(m_lowestAddress), highest + 1, 500));

    setAddressRange(m_lowestAddress, m_highestAddress);
    m_hasData = !rows.isEmpty();
    if (reset_axis)
        resetAxisXLimit();
    updateButtons();
}

void SensorPlotTab::updateButtons()
{
    const MeasurementButtons b = measurementButtons(isConnected(), m_hasData, isLineOn(), m_running);
    m_startButton->setEnabled(b.start);
    m_stopButton->setEnabled(b.stop);
}

void SensorPlotTab::clearData()
{
    onDatasetChanged(false);
}

void SensorPlotTab::onLineStateChanged()
{
    if (m_running && !isLineOn())
        stopTask();
}
