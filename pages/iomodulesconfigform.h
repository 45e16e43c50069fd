#ifndef IOMODULESCONFIGFORM_H
#define IOMODULESCONFIGFORM_H

#include "moduletablepage.h"

namespace Ui {
class IoModulesConfigForm;
}

// The input/output modules ("ПС-Л") page: loop modes, output relay contact
// and hold time, cell by cell or for the selected modules at once.
class IoModulesConfigForm : public ModuleTablePage
{
    Q_OBJECT

public:
    explicit IoModulesConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~IoModulesConfigForm() override;

public slots:
    void jumpToModule(uchar mod_type, ushort mod_idx);

protected:
    void loadGroupEditors(const QModelIndex &row) override;
    void applyGroupSettingsTo(ushort index) override;

private:
    Ui::IoModulesConfigForm *ui;
};

#endif // IOMODULESCONFIGFORM_H
