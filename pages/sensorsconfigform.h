#ifndef SENSORSCONFIGFORM_H
#define SENSORSCONFIGFORM_H

#include "moduletablepage.h"

namespace Ui {
class SensorsConfigForm;
}

// The sensor modules page: filters of every sensor module and, for the
// modules with an infrared channel ("ВС-Л"), the infrared threshold, the
// exceedance count and the joint-processing rule of the two channels.
class SensorsConfigForm : public ModuleTablePage
{
    Q_OBJECT

public:
    explicit SensorsConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SensorsConfigForm() override;

public slots:
    void jumpToModule(uchar mod_type, ushort mod_idx);

protected:
    void loadGroupEditors(const QModelIndex &row) override;
    void applyGroupSettingsTo(ushort index) override;

private slots:
    void onRefUkValueChanged(int val);
    void onSRuleIndexChanged();

private:
    // The rule picked in the panel: 1 "И" (with a waiting time), 0 "ИЛИ" or none.
    int pickedRule() const;

    Ui::SensorsConfigForm *ui;
};

#endif // SENSORSCONFIGFORM_H
