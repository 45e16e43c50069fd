#ifndef PROCESSINGCONFIGFORM_H
#define PROCESSINGCONFIGFORM_H

#include "moduletablepage.h"

namespace Ui {
class ProcessingConfigForm;
}

// The processing rules page: per sensor module the detection threshold, the
// exceedance count, the comparison zone and the ratio of signal levels.
class ProcessingConfigForm : public ModuleTablePage
{
    Q_OBJECT

public:
    explicit ProcessingConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ProcessingConfigForm() override;

public slots:
    // `mod_idx` is the sensor module's index in the sensor table, which is its row here.
    void jumpToModule(ushort mod_idx);

protected:
    void loadGroupEditors(const QModelIndex &row) override;
    void applyGroupSettingsTo(ushort index) override;

private:
    Ui::ProcessingConfigForm *ui;
};

#endif // PROCESSINGCONFIGFORM_H
