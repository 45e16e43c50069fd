#ifndef SCPMODULESCONFIGFORM_H
#define SCPMODULESCONFIGFORM_H

#include <QWidget>

// The line-protection modules page.
class ScpModulesConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit ScpModulesConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ScpModulesConfigForm() override;

public slots:
    void jumpToModule(uchar mod_type, ushort mod_idx);
};

#endif // SCPMODULESCONFIGFORM_H
