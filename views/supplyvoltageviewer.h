#ifndef SUPPLYVOLTAGEVIEWER_H
#define SUPPLYVOLTAGEVIEWER_H

#include <QVector>

#include "plottab.h"

class QwtPlotCurve;

namespace Ui {
class SupplyVoltageViewer;
}

// Whether the refresh and calibration buttons are enabled.
bool supplyCommandsEnabled(bool connected, bool lineOn, bool idle);

class SupplyVoltagePicker : public PlotTabPicker
{
public:
    SupplyVoltagePicker(QWidget *canvas, const QVector<quint16> *voltages);

protected:
    bool hasData() const override;
    QString valueLines(quint16 address) const override;

private:
    const QVector<quint16> *m_voltages;
};

// Supply voltage tab: the voltage at the input of every line address,
// measured on request (when the tab is chosen and by "Обновить данные"),
// with the modules' calibration where the settings allow it.
class SupplyVoltageViewer : public PlotTab
{
    Q_OBJECT

public:
    explicit SupplyVoltageViewer(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SupplyVoltageViewer() override;

public slots:
    void disableFormActions(bool yes);
    void startTask();

private slots:
    void onModulesSupplyVoltage(ushort first_idx, QVector<quint16> voltage_array);
    void calibrateModules();

private:
    void updateButtons() override;
    void replot() override;
    void clearData() override;

    Ui::SupplyVoltageViewer *ui;
    QwtPlotCurve *m_curve = nullptr;
    // Millivolts, 0 where no module reports; index = line address - 1.
    // Cleared by a new link or configuration.
    QVector<quint16> m_voltages;
    bool m_idle = true;
    bool m_refreshPending = false;
};

#endif // SUPPLYVOLTAGEVIEWER_H
