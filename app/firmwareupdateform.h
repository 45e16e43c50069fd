#ifndef FIRMWAREUPDATEFORM_H
#define FIRMWAREUPDATEFORM_H

#include <QWidget>

// The firmware update window of the controller and the line modules.
class FirmwareUpdateForm : public QWidget
{
    Q_OBJECT

public:
    explicit FirmwareUpdateForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~FirmwareUpdateForm() override;

signals:
    void writeToLog(QString);

public slots:
    void disableFormActions(bool yes);
    void disableModulesUpdate(bool yes);
};

#endif // FIRMWAREUPDATEFORM_H
