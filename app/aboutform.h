#ifndef ABOUTFORM_H
#define ABOUTFORM_H

#include <QDialog>

namespace Ui {
class AboutForm;
}

// "О программе": logo, title, version and the maker's contact details.
class AboutForm : public QDialog
{
    Q_OBJECT

public:
    explicit AboutForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~AboutForm() override;

private:
    Ui::AboutForm *ui = nullptr;
};

#endif // ABOUTFORM_H
