#ifndef IROUTVOLTAGEVIEWER_H
#define IROUTVOLTAGEVIEWER_H

#include <QMap>
#include <QVector>

#include "sensorplottab.h"

class QwtPlotCurve;
class QwtPlotMarker;

namespace Ui {
class IrOutVoltageViewer;
}

// The two infrared-channel output levels of one sensor in millivolts;
// 0xFFFF until they arrive. Only sensors of device type 3 have them.
struct IrVoltagePoint
{
    quint16 drop = 0xFFFF;
    quint16 excess = 0xFFFF;
    quint8 deviceType = 0;
};

class IrOutVoltagePicker : public PlotTabPicker
{
public:
    IrOutVoltagePicker(QWidget *canvas, const QMap<quint16, IrVoltagePoint> *levels);

protected:
    bool hasData() const override;
    QString valueLines(quint16 address) const override;

private:
    const QMap<quint16, IrVoltagePoint> *m_levels;
};

// Infrared-channel output tab: the excess and drop levels of every "ВС-Л"
// sensor against the band 1650 ± threshold mV, measured while the tab runs
// the controller's voltage measurement mode.
class IrOutVoltageViewer : public SensorPlotTab
{
    Q_OBJECT

public:
    explicit IrOutVoltageViewer(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~IrOutVoltageViewer() override;

public slots:
    void startTask() override;
    void stopTask() override;

private slots:
    void onSensorIrVoltage(ushort first_idx, QVector<quint16> voltage_array);
    void onRefUkValueChanged(int val);
    void setRefUK();
    void resetRefUK();

private:
    void rebuildPoints(const QVector<SensorModuleRecord> &rows) override;
    void replot() override;

    Ui::IrOutVoltageViewer *ui;
    QwtPlotCurve *m_dropCurve = nullptr;
    QwtPlotCurve *m_excessCurve = nullptr;
    QwtPlotMarker *m_upperMarker = nullptr;
    QwtPlotMarker *m_lowerMarker = nullptr;
    QMap<quint16, IrVoltagePoint> m_levels;
};

#endif // IROUTVOLTAGEVIEWER_H
