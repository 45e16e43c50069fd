#ifndef ACCELERATIONVIEWER_H
#define ACCELERATIONVIEWER_H

#include <QMap>
#include <QVector>

#include "sensorplottab.h"

class QwtPlotCurve;
class QwtPlotMarker;

namespace Ui {
class AccelerationViewer;
}

// The last amplitude of one sensor; 0xFFFF until one arrives.
struct AmplitudePoint
{
    quint16 amplitude = 0xFFFF;
    bool alarm = false;
};

class SensorSamplesPicker : public PlotTabPicker
{
public:
    SensorSamplesPicker(QWidget *canvas, const QMap<quint16, AmplitudePoint> *samples);

protected:
    bool hasData() const override;
    QString valueLines(quint16 address) const override;

private:
    const QMap<quint16, AmplitudePoint> *m_samples;
};

// Signal amplitude tab: each sensor's last sample as a stick at its line
// address, red while the module reports an alarm, under a threshold line.
// The samples arrive from the monitoring cycle; Start and Stop only decide
// whether they are drawn.
class AccelerationViewer : public SensorPlotTab
{
    Q_OBJECT

public:
    explicit AccelerationViewer(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~AccelerationViewer() override;

public slots:
    void startTask() override;
    void stopTask() override;

private slots:
    void onSensorSamples(ushort first_idx, QVector<quint16> acc_array);
    void setRefAcc();
    void resetRefAcc();

private:
    void rebuildPoints(const QVector<SensorModuleRecord> &rows) override;
    void replot() override;
    // Switching "Авто" on keeps the scale until the next samples.
    void onAutoYSwitchedOn() override {}
    int defaultMinX() const override { return m_lowestAddress; }
    int defaultMaxX() const override { return m_highestAddress; }

    Ui::AccelerationViewer *ui;
    QwtPlotCurve *m_normalCurve = nullptr;
    QwtPlotCurve *m_alarmCurve = nullptr;
    QwtPlotMarker *m_thresholdMarker = nullptr;
    QMap<quint16, AmplitudePoint> m_samples;
};

#endif // ACCELERATIONVIEWER_H
