#ifndef LINEMODULESFORM_H
#define LINEMODULESFORM_H

#include <QWidget>

// The line modules page: the 500 line addresses and the module set as a whole.
class LineModulesForm : public QWidget
{
    Q_OBJECT

public:
    explicit LineModulesForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~LineModulesForm() override;

signals:
    void jumpToModuleConfig(uchar mod_type, ushort mod_idx);
    void jumpToProcessingConfig(ushort mod_idx);

public slots:
    void disableFormActions(bool yes);
};

#endif // LINEMODULESFORM_H
