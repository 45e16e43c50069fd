#include "serialchangeform.h"
#include "ui_serialchangeform.h"

#include "controllerconfigmodel.h"
#include "lantrelclient.h"
#include "taskmanager.h"
#include "texthelpers.h"

#include <QEventLoop>
#include <QIntValidator>
#include <QPointer>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace {
// The controller answers a serial-number write within a few seconds; a
// lost answer must not keep the application-modal dialog open for ever.
int serialAnswerTimeoutMs = 30000;
}

int SerialChangeForm::answerTimeoutMs()
{
    return serialAnswerTimeoutMs;
}

void SerialChangeForm::setAnswerTimeoutMs(int ms)
{
    serialAnswerTimeoutMs = ms;
}

SerialChangeForm::SerialChangeForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::SerialChangeForm)
{
    ui->setupUi(this);

    ui->edtSerial->setValidator(new QIntValidator(1, 65535, this));
    ui->edtProdYear->setValidator(new QIntValidator(2020, 2083, this));
    ui->edtPcbVer->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^((1?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])\\.(1?[0-9]?[0-9]|2[0-4][0-9]|25[0-5]))$")),
        this));

    connect(ui->edtSerial, &QLineEdit::textChanged, this, &SerialChangeForm::updateChangeButton);
    connect(ui->edtProdYear, &QLineEdit::textChanged, this, &SerialChangeForm::updateChangeButton);
    connect(ui->edtPcbVer, &QLineEdit::textChanged, this, &SerialChangeForm::updateChangeButton);
    connect(ui->btnChange, &QPushButton::clicked, this, &SerialChangeForm::changeSerial);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);

    const ControllerInfo &info = appTaskManager->client()->controllerConfigModel()->info;
    const QStringList parts = info.serialNumber.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() == 2) {
        ui->edtSerial->setText(parts.at(0));
        ui->edtProdYear->setText(parts.at(1));
    }
    ui->edtPcbVer->setText(info.boardVersion);

    updateChangeButton();
}

SerialChangeForm::~SerialChangeForm()
{
    delete ui;
}

void SerialChangeForm::updateChangeButton()
{
    ui->btnChange->setEnabled(ui->edtSerial->hasAcceptableInput() && ui->edtProdYear->hasAcceptableInput()
                              && ui->edtPcbVer->hasAcceptableInput());
}

void SerialChangeForm::changeSerial()
{
    const quint16 serialNo = quint16(ui->edtSerial->text().toUInt());
    const quint16 prodYear = quint16(ui->edtProdYear->text().toUInt());
    const quint16 pcbVer = versionFromString(ui->edtPcbVer->text());

    LantrelClient *client = appTaskManager->client();
    // The new number takes effect with a restart, asked for before anything is sent.
    QPointer<SerialChangeForm> asking(this);
    if (client->hasDriver()
        && !client->mayRestartController(QStringLiteral("После изменения серийного номера ЦУ-Л будет перезапущен.")))
        return;
    if (!asking)
        return;
    // Without a driver the client never answers: nothing to wait for.
    if (client->hasDriver()) {
        ui->btnChange->setEnabled(false);
        QEventLoop loop;
        connect(client, &LantrelClient::controllerSerialChanged, &loop, &QEventLoop::quit);
        connect(client, &LantrelClient::deviceDisconnected, &loop, &QEventLoop::quit);
        connect(client, &LantrelClient::driverStopped, &loop, &QEventLoop::quit);
        // The dialog may be destroyed with the main window while it waits.
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(serialAnswerTimeoutMs, &loop, &QEventLoop::quit);
        QMetaObject::invokeMethod(client, "setControllerSerial", Qt::QueuedConnection, Q_ARG(quint16, prodYear),
                                  Q_ARG(quint16, serialNo), Q_ARG(quint16, pcbVer));
        QPointer<SerialChangeForm> self(this);
        loop.exec();
        if (!self)
            return;
    }
    close();
}
