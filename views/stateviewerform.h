#ifndef STATEVIEWERFORM_H
#define STATEVIEWERFORM_H

#include <QWidget>

// The installation's state window.
class StateViewerForm : public QWidget
{
    Q_OBJECT

public:
    explicit StateViewerForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~StateViewerForm() override;

public slots:
    void disableFormActions(bool yes);
};

#endif // STATEVIEWERFORM_H
