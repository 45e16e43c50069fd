#include "connectorform.h"
#include "ui_connectorform.h"

#include "appcontext.h"
#include "appglobals.h"
#include "ipv4edit.h"
#include "lantrelclient.h"
#include "progressdialogs.h"
#include "taskmanager.h"
#include "uiseams.h"
#include "unsentedits.h"

#include <QCloseEvent>
#include <algorithm>
#include <QCollator>
#include <QDataStream>
#include <QEventLoop>
#include <QHostAddress>
#include <QKeyEvent>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSettings>
#include <QStyle>
#include <QTimer>

namespace {
const QString ListKey = QStringLiteral("List");
const QString NoControllerAnswered =
    QStringLiteral("Ни один контроллер не ответил на поиск. Список контроллеров не изменён.");
}

int ConnectorForm::connectWaitLimitMs = 30000;

ConnectorForm::ConnectorForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::ConnectorForm)
{
    ui->setupUi(this);
    client = appTaskManager->client();

    ui->cbConnectType->addItem(QStringLiteral("Ethernet"), 0);
    ui->cbConnectType->addItem(QStringLiteral("RS-485"), 1);

    new Ipv4Edit(ui->edtIpAddr);

    const int width = ui->edtIpAddr->fontMetrics().boundingRect(QStringLiteral("255.255.255.255")).width()
                      + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    const int height = ui->edtIpAddr->height();
    ui->edtIpAddr->setFixedWidth(width);
    ui->tblHosts->setFixedSize(width, 4 * (height - 1) + 16);
    QHeaderView *rows = ui->tblHosts->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(height);
    rows->setDefaultSectionSize(height);
    ui->tblHosts->setColumnCount(1);
    ui->tblHosts->setRowCount(0);

    adjustSize();
    refreshPortsList();

    appSettings->sync();
    appSettings->beginGroup(QStringLiteral("Connection"));
    hosts = decodeHostList(appSettings->value(ListKey, QString()).toString());
    if (!hosts.isEmpty())
        fillHostsTable();

    const int type = appSettings->value(QStringLiteral("Type"), 0).toInt();
    const int typeIndex = ui->cbConnectType->findData(type);
    if (typeIndex >= 0) {
        ui->cbConnectType->setCurrentIndex(typeIndex);
        ui->stackedWidget->setCurrentIndex(typeIndex);
    }

    const QString port = appSettings->value(QStringLiteral("SerialPort"), QString()).toString();
    if (!port.isEmpty()) {
        const int portIndex = ui->cbSerialPort->findText(port, Qt::MatchExactly);
        if (portIndex >= 0)
            ui->cbSerialPort->setCurrentIndex(portIndex);
    }

    ui->edtLineAddress->setValue(appSettings->value(QStringLiteral("LineAddress"), 1).toInt());

    const QString host = appSettings->value(QStringLiteral("Host"), QString()).toString();
    ui->edtIpAddr->setText(host);
    if (!host.isEmpty() && !hosts.isEmpty()) {
        const auto found = ui->tblHosts->findItems(host, Qt::MatchFixedString);
        if (!found.isEmpty())
            ui->tblHosts->setCurrentItem(found.first());
    }
    appSettings->endGroup();

    ui->edtIpAddr->installEventFilter(this);
    ui->tblHosts->installEventFilter(this);

    connect(ui->cbConnectType, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        ui->stackedWidget->setCurrentIndex(index);
        checkConnectionParams();
        updateWidgetsState();
    });
    connect(ui->edtIpAddr, &QLineEdit::textChanged, this, &ConnectorForm::onIpAddrTextChanged);
    connect(ui->ckEnableOffline, &QCheckBox::toggled, this, &ConnectorForm::updateWidgetsState);
    connect(ui->btnUpdate, &QToolButton::clicked, this, &ConnectorForm::refreshPortsList);
    connect(ui->btnSearch, &QToolButton::clicked, this, &ConnectorForm::searchDevices);
    connect(ui->btnLoad, &QPushButton::clicked, this, &ConnectorForm::loadConfig);
    connect(ui->btnConnect, &QPushButton::clicked, this, &ConnectorForm::connectDevice);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->tblHosts, &QTableWidget::itemClicked, this, &ConnectorForm::onTableItemClicked);
    connect(ui->tblHosts, &QTableWidget::itemDoubleClicked, this, &ConnectorForm::onTableItemDoubleClicked);

    checkConnectionParams();
    updateWidgetsState();
}

ConnectorForm::~ConnectorForm()
{
    delete ui;
}

void ConnectorForm::setOfflineControlsVisible(bool visible)
{
    ui->ckEnableOffline->setVisible(visible);
    ui->btnLoad->setVisible(visible);
}

QString ConnectorForm::encodeHostList(const QMap<quint32, quint8> &hosts)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << quint32(hosts.size());
    // Descending order, as Qt serialises a map.
    for (auto it = hosts.constEnd(); it != hosts.constBegin();) {
        --it;
        out << quint32(it.key()) << quint8(it.value());
    }
    return QString::fromLatin1(data.toHex());
}

QMap<quint32, quint8> ConnectorForm::decodeHostList(const QString &text)
{
    const QByteArray data = QByteArray::fromHex(text.toLatin1());
    QDataStream in(data);
    in.setByteOrder(QDataStream::BigEndian);
    quint32 count = 0;
    in >> count;
    QMap<quint32, quint8> result;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        quint32 address = 0;
        quint8 lineAddress = 0;
        in >> address >> lineAddress;
        if (in.status() == QDataStream::Ok)
            result.insert(address, lineAddress);
    }
    if (in.status() != QDataStream::Ok)
        return {};
    return result;
}

void ConnectorForm::fillHostsTable()
{
    ui->tblHosts->clearContents();
    ui->tblHosts->setRowCount(hosts.size());
    int row = 0;
    for (auto it = hosts.constBegin(); it != hosts.constEnd(); ++it, ++row) {
        auto *item = new QTableWidgetItem(QHostAddress(it.key()).toString());
        item->setData(Qt::UserRole, int(it.value()));
        ui->tblHosts->setItem(row, 0, item);
    }
}

void ConnectorForm::storeHostList()
{
    appSettings->setValue(QStringLiteral("Connection/List"), encodeHostList(hosts));
}

void ConnectorForm::checkConnectionParams()
{
    // An adapter may have come up since the last look.
    client->scanNetworkInterfaces();
    switch (ui->cbConnectType->currentData().toInt()) {
    case 0:
        paramsValid = ui->edtIpAddr->hasAcceptableInput() && !client->networkInterfaces().isEmpty();
        break;
    case 1:
        paramsValid = ui->cbSerialPort->currentIndex() >= 0;
        break;
    default:
        paramsValid = false;
        break;
    }
}

void ConnectorForm::updateWidgetsState()
{
    if (ui->ckEnableOffline->isChecked()) {
        ui->frameConnectParams->setEnabled(false);
        ui->btnLoad->setEnabled(true);
        ui->btnConnect->setEnabled(false);
        return;
    }
    ui->btnSearch->setEnabled(!client->networkInterfaces().isEmpty());
    ui->frameConnectParams->setEnabled(true);
    ui->btnLoad->setEnabled(false);
    ui->btnConnect->setEnabled(paramsValid);
}

void ConnectorForm::onIpAddrTextChanged()
{
    // Ipv4Edit has added the automatic dot already.
    checkConnectionParams();
    updateWidgetsState();
}

void ConnectorForm::refreshPortsList()
{
    ui->cbSerialPort->clear();
    QStringList names = UiSeams::serialPortNames();
    if (!names.isEmpty()) {
        QCollator collator{QLocale()};
        collator.setNumericMode(true);
        std::sort(names.begin(), names.end(), collator);
        ui->cbSerialPort->addItems(names);
    }
    checkConnectionParams();
    updateWidgetsState();
}

void ConnectorForm::onTableItemClicked(QTableWidgetItem *item)
{
    if (!item)
        return;
    ui->edtLineAddress->setValue(int(item->data(Qt::UserRole).toUInt()));
    ui->edtIpAddr->setText(item->text());
}

void ConnectorForm::onTableItemDoubleClicked(QTableWidgetItem *item)
{
    if (!item)
        return;
    onTableItemClicked(item);
    connectDevice();
}

bool ConnectorForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (auto *edit = qobject_cast<QLineEdit *>(watched)) {
                if (edit->hasAcceptableInput()) {
                    QMetaObject::invokeMethod(this, "connectDevice", Qt::QueuedConnection);
                    return true;
                }
            } else if (auto *table = qobject_cast<QTableWidget *>(watched)) {
                if (table->currentItem())
                    onTableItemDoubleClicked(table->currentItem());
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ConnectorForm::connectDevice()
{
    // The dialog stays usable while it waits; a second attempt from inside
    // the wait would stop the first one's driver and wait in a nested loop.
    if (connecting)
        return;
    connecting = true;
    connectCancelled = false;

    const int connType = ui->cbConnectType->currentData().toInt();
    const QString target = connType == 1 ? ui->cbSerialPort->currentText() : ui->edtIpAddr->text();
    bool success = false;
    bool timedOut = false;

    showProgress(QStringLiteral("Проверка подключения к контроллеру..."), true);
    if (client->hasDriver())
        client->shutdownDriver();

    QPointer<ConnectorForm> self(this);
    {
        QEventLoop loop;
        // The dialog stays usable during the wait, so it may be closed and
        // deleted before the client answers: the answer must not reach it
        // then, and the wait ends with it.
        connect(client, &LantrelClient::deviceConnected, &loop, [&success, &loop]() {
            success = true;
            loop.quit();
        });
        connect(client, &LantrelClient::driverStopped, &loop, &QEventLoop::quit);
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        // A host that swallows the connection request, or a peer that never
        // finishes identifying itself, must not keep the dialog for ever.
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, [&timedOut, &loop]() {
            timedOut = true;
            loop.quit();
        });
        client->connectToDevice(uint(connType), target, ui->edtLineAddress->value());
        limit.start(connectWaitLimitMs);
        loop.exec();
    }
    if (timedOut && !success)
        client->shutdownDriver();
    if (!self)
        return;
    hideProgress();
    connecting = false;
    if (!success) {
        if (!connectCancelled) {
            const QString reason = timedOut
                ? QStringLiteral("Контроллер не ответил за %1 с.").arg(qMax(1, connectWaitLimitMs / 1000))
                : client->lastLinkError();
            reportConnectionFailure(
                QStringLiteral("Не удалось подключиться к ЦУ-Л (%1).").arg(connectionTargetText(connType, target))
                + (reason.isEmpty() ? QString() : QLatin1Char('\n') + reason));
        }
        return;
    }

    appSettings->beginGroup(QStringLiteral("Connection"));
    appSettings->setValue(QStringLiteral("Type"), connType);
    appSettings->setValue(QStringLiteral("LineAddress"), ui->edtLineAddress->value());
    if (connType == 1) {
        appSettings->setValue(QStringLiteral("SerialPort"), target);
    } else {
        appSettings->setValue(QStringLiteral("Host"), target);
        hosts.insert(QHostAddress(target).toIPv4Address(), quint8(ui->edtLineAddress->value()));
        appSettings->setValue(ListKey, encodeHostList(hosts));
    }
    appSettings->endGroup();
    done = true;
    emit showMainForm();
    close();
}

QString ConnectorForm::connectionTargetText(int connType, const QString &target) const
{
    return (connType == 1 ? QStringLiteral("порт %1") : QStringLiteral("адрес %1")).arg(target)
           + QStringLiteral(", линейный адрес %1").arg(ui->edtLineAddress->value());
}

void ConnectorForm::reportConnectionFailure(const QString &text)
{
    emit writeToLog(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    UiSeams::messageBox(this, QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok);
}

void ConnectorForm::searchDevices()
{
    showProgress(QStringLiteral("Поиск контроллеров в линии Ethernet..."), false);
    QPointer<ConnectorForm> self(this);
    bool finished = false;
    {
        QEventLoop loop;
        connect(
            client, &LantrelClient::searchFinished, &loop,
            [&finished, &loop]() {
                finished = true;
                loop.quit();
            },
            Qt::QueuedConnection);
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        client->startSearch();
        loop.exec();
    }
    if (!self)
        return;
    hideProgress();
    // Ended by the program quitting, not by the search: what was found so
    // far is no result, and the remembered list stays as it was.
    if (!finished)
        return;

    // A search that finds nothing (a cable out, a switched-off controller)
    // keeps the remembered controllers, and says so.
    const QMap<quint32, quint8> found = client->foundHosts();
    if (!found.isEmpty()) {
        ui->edtIpAddr->clear();
        hosts = found;
        fillHostsTable();
        storeHostList();
    } else {
        UiSeams::messageBox(this, QMessageBox::Information, windowTitle(), NoControllerAnswered, QMessageBox::Ok);
    }

    checkConnectionParams();
    updateWidgetsState();
}

void ConnectorForm::loadConfig()
{
    const QString caption = QStringLiteral("Загрузка конфигурации системы");
    if (!confirmDropUnsentEdits(this, caption,
                                QStringLiteral("При загрузке конфигурации из файла они будут потеряны."),
                                QStringLiteral("Продолжить загрузку конфигурации?")))
        return;
    const QString fileName = UiSeams::getOpenFileName(
        this, caption, configFileFolder(), QStringLiteral("XML файлы (*.xml);;Все файлы (*.*)"),
        QFileDialog::DontResolveSymlinks | QFileDialog::ReadOnly | QFileDialog::DontUseCustomDirectoryIcons);
    if (fileName.isEmpty())
        return;

    showProgress(caption + QStringLiteral("..."), false);
    const bool loaded = client->loadConfigFile(fileName);
    hideProgress();
    if (!loaded)
        return;

    rememberConfigFileFolder(fileName);
    done = true;
    emit showMainForm();
    close();
}

void ConnectorForm::showProgress(const QString &text, bool cancelable)
{
    emit showWaitCursor(true);
    if (!progressDialog) {
        progressDialog = createProgressDialog(this, windowTitle());
        progressDialog->setRange(0, 0);
        connect(this, &ConnectorForm::stopProgress, progressDialog, &QProgressDialog::accept);
        connect(progressDialog, &QProgressDialog::canceled, this, [this]() {
            connectCancelled = true;
            client->shutdownDriver();
        });
        connect(progressDialog, &QProgressDialog::finished, this, [this]() {
            if (progressDialog) {
                progressDialog->deleteLater();
                progressDialog = nullptr;
            }
        });
    }
    progressDialog->setLabelText(text);
    progressDialog->setCancelButtonText(cancelable ? QStringLiteral("Отмена") : QString());
    progressDialog->show();
}

void ConnectorForm::hideProgress()
{
    emit stopProgress();
    emit showWaitCursor(false);
}

void ConnectorForm::closeEvent(QCloseEvent *event)
{
    if (progressDialog)
        hideProgress();
    event->accept();
    // Closed by the user (Cancel, Escape, the title bar): at start-up that
    // ends the program, which otherwise would live on without a window.
    if (!done) {
        done = true;
        emit closeApp();
    }
}

void ConnectorForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
