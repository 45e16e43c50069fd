#ifndef SERIALCHANGEFORM_H
#define SERIALCHANGEFORM_H

#include <QWidget>

namespace Ui {
class SerialChangeForm;
}

// Writes a new serial number, production year and board version into the
// connected line controller.
class SerialChangeForm : public QWidget
{
    Q_OBJECT

public:
    explicit SerialChangeForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SerialChangeForm() override;

    // Longest wait for the controller's answer before the dialog gives up.
    static int answerTimeoutMs();
    static void setAnswerTimeoutMs(int ms);

private:
    void updateChangeButton();
    void changeSerial();

    Ui::SerialChangeForm *ui = nullptr;
};

#endif // SERIALCHANGEFORM_H
