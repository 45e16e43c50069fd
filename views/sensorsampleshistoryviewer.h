#ifndef SENSORSAMPLESHISTORYVIEWER_H
#define SENSORSAMPLESHISTORYVIEWER_H

#include <QPair>
#include <QVector>
#include <QWidget>

class ClientLineState;
class SensorSamplesHistoryModel;

namespace Ui {
class SensorSamplesHistoryViewer;
}

// Which of the history tab's buttons are enabled.
struct HistoryButtons
{
    bool start = false;
    bool stop = false;
    bool exportHistory = false;
};
HistoryButtons historyButtons(bool connected, bool lineOn, bool running, bool hasRows);

// Sample history tab: records the sensors' amplitude samples while running,
// shows the last ones of each sensor as a bar chart, narrowed to an address
// range, and exports the whole history as CSV.
class SensorSamplesHistoryViewer : public QWidget
{
    Q_OBJECT

public:
    explicit SensorSamplesHistoryViewer(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SensorSamplesHistoryViewer() override;

signals:
    void valuesLimitChanged(ushort);

public slots:
    // A new recording: the samples recorded before are dropped.
    void startTask();
    void stopTask();
    // The tab was chosen: records when there is no history yet; a stopped
    // history stays as it is until the user starts anew.
    void resumeTask();

private slots:
    void onSensorSamples(ushort first_idx, QVector<quint16> acc_array);
    void setSensorsLimit();
    void setValuesLimit();
    void resetSensorsLimit();
    void resetValuesLimit();
    void exportSamples();

private:
    void updateButtons();
    bool hasSamples() const;
    // The sensors of the configuration, as line address and serial number.
    QVector<QPair<quint16, quint32>> sensorSet() const;
    void onDatasetChanged();

    Ui::SensorSamplesHistoryViewer *ui;
    SensorSamplesHistoryModel *m_history = nullptr;
    ClientLineState *m_clientState = nullptr;
    bool m_running = false;
    QVector<QPair<quint16, quint32>> m_recordedSensors;
};

#endif // SENSORSAMPLESHISTORYVIEWER_H
