#ifndef CONTROLLERCONFIGFORM_H
#define CONTROLLERCONFIGFORM_H

#include <QWidget>

// The controller page: its settings and its live state.
class ControllerConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit ControllerConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ControllerConfigForm() override;

public slots:
    void disableFormActions(bool yes);
};

#endif // CONTROLLERCONFIGFORM_H
