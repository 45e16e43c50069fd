#ifndef SCPMODULESCONFIGFORM_H
#define SCPMODULESCONFIGFORM_H

#include <QWidget>

namespace Ui {
class ScpModulesConfigForm;
}

// The line-protection modules ("ТЗ-Л") page: their threshold voltages, shown
// and not edited.
class ScpModulesConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit ScpModulesConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ScpModulesConfigForm() override;

public slots:
    void jumpToModule(uchar mod_type, ushort mod_idx);

private:
    Ui::ScpModulesConfigForm *ui;
};

#endif // SCPMODULESCONFIGFORM_H
