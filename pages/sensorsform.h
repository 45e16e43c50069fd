#ifndef SENSORSFORM_H
#define SENSORSFORM_H

#include <QWidget>

namespace Ui {
class SensorsForm;
}

// The sensors page: the sensor modules and their processing rules as two
// tabs; passes the busy state on to both and turns the line modules page's
// jump requests into a tab switch and a jump.
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

private:
    Ui::SensorsForm *ui;
};

#endif // SENSORSFORM_H
