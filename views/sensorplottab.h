#ifndef SENSORPLOTTAB_H
#define SENSORPLOTTAB_H

#include <QVector>

#include "plottab.h"
#include "sensorsconfigmodel.h"

class QPushButton;

// Which of Start and Stop a measuring tab enables.
struct MeasurementButtons
{
    bool start = false;
    bool stop = false;
};
MeasurementButtons measurementButtons(bool connected, bool hasData, bool lineOn, bool running);

// A plot tab with one point per sensor line address (amplitude, infrared
// levels): the points are rebuilt from the sensor table after every
// configuration read, and a measurement is started and stopped.
class SensorPlotTab : public PlotTab
{
    Q_OBJECT

public slots:
    virtual void startTask() = 0;
    virtual void stopTask() = 0;

private slots:
    void onDatasetChanged(bool reset_axis);
    void onDatasetChanged();

protected:
    SensorPlotTab(const QString &settingsGroup, QWidget *parent, Qt::WindowFlags flags);

    void setMeasurementButtons(QPushButton *start, QPushButton *stop);
    // Rebuilds the points without resetting the X axis, and follows every
    // later configuration read with a reset one.
    void followSensorTable();

    // One empty point per line address of the occupied sensor rows; the
    // curves are drawn anew from them.
    virtual void rebuildPoints(const QVector<SensorModuleRecord> &rows) = 0;

    void updateButtons() override;
    void onLineStateChanged() override;
    void clearData() override;

    bool m_running = false;
    bool m_hasData = false;
    // The sensors' address range with one address of margin on each side.
    quint16 m_lowestAddress = 0;
    quint16 m_highestAddress = 0;

private:
    QPushButton *m_startButton = nullptr;
    QPushButton *m_stopButton = nullptr;
};

#endif // SENSORPLOTTAB_H
