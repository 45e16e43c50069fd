#ifndef SAMPLESVIEWERFORM_H
#define SAMPLESVIEWERFORM_H

#include <QWidget>

// The module-data window with its plots and sample history.
class SamplesViewerForm : public QWidget
{
    Q_OBJECT

public:
    explicit SamplesViewerForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SamplesViewerForm() override;

signals:
    void disableFormActions(bool);
};

#endif // SAMPLESVIEWERFORM_H
