#ifndef SAMPLESVIEWERFORM_H
#define SAMPLESVIEWERFORM_H

#include <QWidget>

namespace Ui {
class SamplesViewerForm;
}

// The module-data window: amplitude, supply-voltage and infrared-level plots
// and the sample history, one tab each. Choosing a tab starts its task;
// leaving the infrared tab ends its measurement mode.
class SamplesViewerForm : public QWidget
{
    Q_OBJECT

public:
    explicit SamplesViewerForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SamplesViewerForm() override;

signals:
    // The main window's busy state; only the supply-voltage tab follows it.
    void disableFormActions(bool);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void onCurrentTabIndexChanged(int idx);

private:
    Ui::SamplesViewerForm *ui;
    int m_previousTab = -1;
};

#endif // SAMPLESVIEWERFORM_H
