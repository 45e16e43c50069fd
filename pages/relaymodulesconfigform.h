#ifndef RELAYMODULESCONFIGFORM_H
#define RELAYMODULESCONFIGFORM_H

#include <QWidget>

// The external relay modules page.
class RelayModulesConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit RelayModulesConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~RelayModulesConfigForm() override;

public slots:
    void disableFormActions(bool yes);
};

#endif // RELAYMODULESCONFIGFORM_H
