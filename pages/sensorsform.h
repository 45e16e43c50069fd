#ifndef SENSORSFORM_H
#define SENSORSFORM_H

#include <QWidget>

// The sensor modules page with its processing rules tab.
class SensorsForm : public QWidget
{
    Q_OBJECT

public:
    explicit SensorsForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SensorsForm() override;

signals:
    void disableFormActions(bool);

public slots:
    void jumpToModule(uchar mod_type, ushort mod_idx);
    void jumpToProcessing(ushort mod_idx);
};

#endif // SENSORSFORM_H
