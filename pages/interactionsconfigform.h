#ifndef INTERACTIONSCONFIGFORM_H
#define INTERACTIONSCONFIGFORM_H

#include <QWidget>

// The interactions page.
class InteractionsConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit InteractionsConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~InteractionsConfigForm() override;

public slots:
    void disableFormActions(bool yes);
};

#endif // INTERACTIONSCONFIGFORM_H
