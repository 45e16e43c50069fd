#ifndef IOMODULESCONFIGFORM_H
#define IOMODULESCONFIGFORM_H

#include <QWidget>

// The input/output modules page.
class IoModulesConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit IoModulesConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~IoModulesConfigForm() override;

public slots:
    void disableFormActions(bool yes);
    void jumpToModule(uchar mod_type, ushort mod_idx);
};

#endif // IOMODULESCONFIGFORM_H
