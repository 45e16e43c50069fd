#include "mainform.h"
#include "ui_mainform.h"

#include "aboutform.h"
#include "appcontext.h"
#include "appglobals.h"
#include "connectorform.h"
#include "controllererrorswidget.h"
#include "firmwareupdateform.h"
#include "lantrelclient.h"
#include "linestatuswidget.h"
#include "progressdialogs.h"
#include "restartquestion.h"
#include "savefilename.h"
#include "samplesviewerform.h"
#include "serialchangeform.h"
#include "stateviewerform.h"
#include "taskmanager.h"
#include "uiseams.h"
#include "unsentedits.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSettings>
#include <QStatusBar>
#include <QTreeWidgetItem>

namespace {
const int TaskMessageMs = 20000;
const int PageItemType = 1000;
const QString OfflineText = QStringLiteral("Режим автономной работы");

// Before the program lets go of a controller whose memory holds a written
// configuration that its flash does not.
QString unflashedConfigQuestion(const QString &question)
{
    return QStringLiteral("<p><b>Внимание!</b> Конфигурация передана в ЦУ-Л, но не сохранена в его "
                          "энергонезависимой памяти: не выполнена команда «Сохранить конфигурацию».</p>"
                          "<p>При следующем перезапуске ЦУ-Л загрузит из энергонезависимой памяти прежнюю "
                          "конфигурацию, и переданные изменения будут отменены. Чтобы сохранить их, ответьте "
                          "«Нет» и выполните команду «Сохранить конфигурацию».</p>"
                          "<p>%1</p>")
        .arg(question);
}
}

MainForm::MainForm(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , ui(new Ui::MainForm)
{
    client = appTaskManager->client();
    monitoringEnabled = appSettings->value(QStringLiteral("Driver/EnableMonitoring"), true).toBool();

    ui->setupUi(this);
    baseTitle = windowTitle();

    controllerErrorsWidget = new ControllerErrorsWidget();
    ui->statusBar->addPermanentWidget(controllerErrorsWidget, 0);
    connect(client, &LantrelClient::controllerStatusChanged, controllerErrorsWidget,
            &ControllerErrorsWidget::updateControllerStatus);

    lineStatusWidget = new LineStatusWidget();
    ui->statusBar->addPermanentWidget(lineStatusWidget, 0);
    connect(this, &MainForm::showWaitCursor, lineStatusWidget, &LineStatusWidget::disableActions);
    connect(client, &LantrelClient::lineStatusChanged, lineStatusWidget, &LineStatusWidget::updateLineStatus);
    connect(lineStatusWidget, &LineStatusWidget::switchLineState, client, &LantrelClient::switchLineState);

    connectionLabel = new QLabel();
    ui->statusBar->addPermanentWidget(connectionLabel);

    incompleteLabel = new QLabel(QStringLiteral("<b style='color:#c00000'>Конфигурация прочитана не полностью</b>"));
    incompleteLabel->setToolTip(QStringLiteral("<p>Часть конфигурации не прочитана из ЦУ-Л. Передача конфигурации "
                                               "в ЦУ-Л возможна после её полного чтения.</p>"));
    incompleteLabel->hide();
    ui->statusBar->insertPermanentWidget(0, incompleteLabel);
    connect(client, &LantrelClient::datasetChanged, this,
            [this]() { incompleteLabel->setVisible(!client->datasetComplete()); });

    staleLabel = new QLabel(QStringLiteral("<b style='color:#c00000'>Конфигурация ЦУ-Л изменилась</b>"));
    staleLabel->setToolTip(QStringLiteral("<p>Конфигурация ЦУ-Л изменилась после её чтения, а изменения в окне "
                                          "не переданы в ЦУ-Л. Они могут больше не соответствовать "
                                          "конфигурации ЦУ-Л.</p>"));
    staleLabel->hide();
    ui->statusBar->insertPermanentWidget(0, staleLabel);
    connect(client, &LantrelClient::datasetChanged, staleLabel, &QWidget::hide);
    connect(client, &LantrelClient::deviceDisconnected, staleLabel, &QWidget::hide);
    connect(client, &LantrelClient::controllerConfigurationChanged, this,
            &MainForm::onControllerConfigurationChanged, Qt::QueuedConnection);
    // A write that would put rows where the controller holds records the
    // tables do not show asks first.
    client->setOverwriteQuestion([this](const QString &question) { return confirm(QMessageBox::Warning, question); });
    // Every action that restarts the controller while its memory is not
    // saved to flash asks this, over whatever window started it.
    client->setRestartQuestion([this](const QString &lead) {
        QWidget *parent = QApplication::activeWindow();
        return UiSeams::messageBox(parent ? parent : this, QMessageBox::Warning, baseTitle,
                                   restartUnsavedConfigQuestion(lead), QMessageBox::Yes | QMessageBox::No,
                                   QMessageBox::No)
               == QMessageBox::Yes;
    });

    onDeviceDisconnected();

    auto *itemController = new QTreeWidgetItem(PageItemType + 1);
    itemController->setText(0, QStringLiteral("ЦУ-Л"));
    itemController->setIcon(0, QIcon(QStringLiteral(":/images/controller_24.png")));
    auto *itemModules = new QTreeWidgetItem(PageItemType + 2);
    itemModules->setText(0, QStringLiteral("Модули"));
    itemModules->setIcon(0, QIcon(QStringLiteral(":/images/line_module_24.png")));
    auto *itemSensors = new QTreeWidgetItem(itemModules, PageItemType + 3);
    itemSensors->setText(0, QStringLiteral("ВТ-Л"));
    itemSensors->setIcon(0, QIcon(QStringLiteral(":/images/sensor_24.png")));
    auto *itemIoModules = new QTreeWidgetItem(itemModules, PageItemType + 4);
    itemIoModules->setText(0, QStringLiteral("ПС-Л"));
    itemIoModules->setIcon(0, QIcon(QStringLiteral(":/images/io_module_24.png")));
    auto *itemScpModules = new QTreeWidgetItem(itemModules, PageItemType + 5);
    itemScpModules->setText(0, QStringLiteral("ТЗ-Л"));
    itemScpModules->setIcon(0, QIcon(QStringLiteral(":/images/scp_module_24.png")));
    auto *itemRelayModules = new QTreeWidgetItem(PageItemType + 6);
    itemRelayModules->setText(0, QStringLiteral("ЖН-Т"));
    itemRelayModules->setIcon(0, QIcon(QStringLiteral(":/images/relay_module_24.png")));
    auto *itemInteractions = new QTreeWidgetItem(PageItemType + 7);
    itemInteractions->setText(0, QStringLiteral("Взаимодействия"));
    itemInteractions->setIcon(0, QIcon(QStringLiteral(":/images/interactions_24.png")));
    pageItems.insert(3, itemSensors);
    pageItems.insert(4, itemIoModules);
    pageItems.insert(5, itemScpModules);

    ui->treePages->setIconSize(QSize(24, 24));
    ui->treePages->addTopLevelItem(itemController);
    ui->treePages->addTopLevelItem(itemModules);
    ui->treePages->addTopLevelItem(itemRelayModules);
    ui->treePages->addTopLevelItem(itemInteractions);
    ui->treePages->setHeaderHidden(true);
    ui->treePages->expandAll();
    ui->treePages->setCurrentItem(itemController);
    onTreeCurrentItemChanged(itemController, nullptr);

    connect(ui->actAboutProgram, &QAction::triggered, this, &MainForm::showAboutForm);
    connect(ui->actAboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);
    connect(ui->actExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actConnect, &QAction::triggered, this, &MainForm::newConnection);
    connect(ui->actDisconnect, &QAction::triggered, this, &MainForm::disconnectDevice);
    connect(ui->actGetConfig, &QAction::triggered, this, &MainForm::readConfiguration);
    connect(ui->actSetConfig, &QAction::triggered, client, &LantrelClient::writeConfiguration);
    connect(ui->actReadFlash, &QAction::triggered, this, &MainForm::restoreConfigFromFlash);
    connect(ui->actSaveFlash, &QAction::triggered, client, &LantrelClient::saveConfigToFlash);
    connect(ui->actUploadConfigToLine, &QAction::triggered, client, &LantrelClient::uploadConfigToLine);
    connect(ui->actRebootController, &QAction::triggered, this, &MainForm::rebootController);
    connect(ui->actSetDefaults, &QAction::triggered, this, &MainForm::setControllerDefaults);
    connect(ui->actSetModuleDefaults, &QAction::triggered, this, &MainForm::setModulesDefaults);
    connect(ui->actLoadConfig, &QAction::triggered, this, &MainForm::loadConfiguration);
    connect(ui->actSaveConfig, &QAction::triggered, this, &MainForm::saveConfigurationAs);
    connect(ui->actFirmwareUpdate, &QAction::triggered, this, &MainForm::updateFirmware);
    connect(ui->actShowStateViewer, &QAction::triggered, this, &MainForm::showStateViewer);
    connect(ui->actShowSamplesViewer, &QAction::triggered, this, &MainForm::showSamplesViewer);

    connect(this, &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    connect(this, &MainForm::writeToLog, appTaskManager, &TaskManager::writeToLog);
    connect(this, &MainForm::showWaitCursor, appTaskManager, &TaskManager::showWaitCursor);
    connect(this, &MainForm::showWaitCursor, ui->pageController, &ControllerConfigForm::disableFormActions);
    connect(this, &MainForm::showWaitCursor, ui->pageLineModules, &LineModulesForm::disableFormActions);
    connect(this, &MainForm::showWaitCursor, ui->pageSensors, &SensorsForm::disableFormActions);
    connect(this, &MainForm::showWaitCursor, ui->pageIoModules, &IoModulesConfigForm::disableFormActions);
    connect(this, &MainForm::showWaitCursor, ui->pageRelayModules, &RelayModulesConfigForm::disableFormActions);
    connect(this, &MainForm::showWaitCursor, ui->pageInteractions, &InteractionsConfigForm::disableFormActions);

    // The window switches the page before the page selects the row.
    connect(ui->pageLineModules, &LineModulesForm::jumpToModuleConfig, this, &MainForm::jumpToModuleConfigPage);
    connect(ui->pageLineModules, &LineModulesForm::jumpToProcessingConfig, this, &MainForm::jumpToProcessingPage);
    connect(ui->pageLineModules, &LineModulesForm::jumpToModuleConfig, ui->pageSensors, &SensorsForm::jumpToModule);
    connect(ui->pageLineModules, &LineModulesForm::jumpToProcessingConfig, ui->pageSensors,
            &SensorsForm::jumpToProcessing);
    connect(ui->pageLineModules, &LineModulesForm::jumpToModuleConfig, ui->pageIoModules,
            &IoModulesConfigForm::jumpToModule);
    connect(ui->pageLineModules, &LineModulesForm::jumpToModuleConfig, ui->pageScpModules,
            &ScpModulesConfigForm::jumpToModule);

    connect(client, &LantrelClient::lineStatusChanged, this, &MainForm::onLineStatusChanged);
    connect(client, &LantrelClient::clientError, this, &MainForm::onClientError, Qt::QueuedConnection);
    connect(client, &LantrelClient::deviceConnected, this, &MainForm::onDeviceConnected);
    connect(client, &LantrelClient::connectionChanged, this, &MainForm::onConnectionChanged);
    connect(client, &LantrelClient::deviceDisconnected, this, &MainForm::onDeviceDisconnected);
    connect(client, &LantrelClient::driverStopped, this, &MainForm::onDriverStopped, Qt::QueuedConnection);
    connect(client, &LantrelClient::taskStarted, this, &MainForm::onTaskStarted, Qt::QueuedConnection);
    connect(client, &LantrelClient::taskCompleted, this, &MainForm::onTaskCompleted, Qt::QueuedConnection);

    connect(ui->treePages, &QTreeWidget::currentItemChanged, this, &MainForm::onTreeCurrentItemChanged);

    ui->actChangeSerial->setVisible(appSettings->value(QStringLiteral("Common/EnableChangeSerial"), false).toBool());
    connect(ui->actChangeSerial, &QAction::triggered, this, &MainForm::showSerialChangerForm);

    // A status message cut by the indicators is still there to read whole.
    connect(ui->statusBar, &QStatusBar::messageChanged, ui->statusBar, &QWidget::setToolTip);
    resize(firstRunSize());
    // The page tree as wide as its texts, the page the rest: on a small
    // screen every pixel the tree does not need goes to the page.
    const QAbstractItemView *tree = ui->treePages;
    const int treeWidth = qMax(ui->treePages->minimumWidth(),
                               tree->sizeHintForColumn(0) + 2 * ui->treePages->frameWidth() + 4);
    ui->splitter->setSizes({treeWidth, width() - treeWidth});

    appSettings->beginGroup(QStringLiteral("MainForm"));
    const QByteArray geometry = readHexSetting(QStringLiteral("Geometry"));
    const QByteArray state = readHexSetting(QStringLiteral("State"));
    const QByteArray splitter = readHexSetting(QStringLiteral("Splitter"));
    appSettings->endGroup();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    if (!state.isEmpty())
        restoreState(state, 0);
    if (!splitter.isEmpty())
        ui->splitter->restoreState(splitter);
}

MainForm::~MainForm()
{
    client->setOverwriteQuestion({});
    client->setRestartQuestion({});
    // The state and data windows have no parent; they must not outlive
    // the window that opened them.
    delete stateViewerForm.data();
    delete samplesViewerForm.data();
    delete progressDialog.data();
    delete ui;
}

QSize MainForm::firstRunSize() const
{
    // The longest status message beside the status-bar indicators, and the
    // title of a serial connection, fit at the default font.
    const QFontMetrics metrics(font());
    const int statusWidth = metrics.horizontalAdvance(
                                QStringLiteral("Передача параметров конфигурации в линейные модули - успешно"))
                            + lineStatusWidget->sizeHint().width() + controllerErrorsWidget->sizeHint().width()
                            + 2 * connectionLabel->sizeHint().width() + 48;
    const int titleWidth = metrics.horizontalAdvance(
                               QStringLiteral("%1 (Подключение к ЦУ-Л, порт /dev/ttyUSB0, линейный адрес 247)")
                                   .arg(baseTitle))
                           + 160;
    return QSize(qMax(qMax(width(), statusWidth), titleWidth), height());
}

// ---------------------------------------------------------------------------
// Actions

void MainForm::updateActions()
{
    const bool ready = online && idle;
    ui->actGetConfig->setEnabled(ready);
    ui->actSetConfig->setEnabled(ready);
    ui->actReadFlash->setEnabled(ready);
    ui->actSaveFlash->setEnabled(ready);
    ui->actUploadConfigToLine->setEnabled(ready && lineOn);
    ui->actSetDefaults->setEnabled(ready);
    ui->actSetModuleDefaults->setEnabled(ready && lineOn);
    ui->actRebootController->setEnabled(ready);
    ui->actConnect->setEnabled(!online && idle);
    ui->actDisconnect->setEnabled(online);
    ui->actExit->setEnabled(idle);
    ui->actLoadConfig->setEnabled(idle);
    ui->actSaveConfig->setEnabled(idle);
    ui->actFirmwareUpdate->setEnabled(ready);
    ui->actShowSamplesViewer->setEnabled(online && lineOn);
    if (ui->actChangeSerial->isVisible())
        ui->actChangeSerial->setEnabled(ready);
}

void MainForm::onLineStatusChanged(LantrelProtocol::Status_Line_t status)
{
    if (!monitoringEnabled)
        return;
    const bool on = status.State == LantrelProtocol::LN_ONN;
    if (on != lineOn) {
        lineOn = on;
        updateActions();
    }
}

void MainForm::onTreeCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous)
{
    Q_UNUSED(previous)
    if (current)
        ui->stackedWidget->setCurrentIndex(current->type() - PageItemType);
    else
        ui->stackedWidget->setCurrentWidget(ui->pageEmpty);
}

// ---------------------------------------------------------------------------
// Tasks

void MainForm::onTaskStarted(QString task_msg, ushort op_count)
{
    taskSteps = op_count;
    taskFailed = false;
    idle = false;
    updateActions();
    startProgress(task_msg, op_count);
    taskText = task_msg.left(qMax(0, task_msg.size() - 3));
    ui->statusBar->showMessage(task_msg, TaskMessageMs);
}

void MainForm::startProgress(const QString &text, ushort steps)
{
    emit showWaitCursor(true);
    if (!progressDialog) {
        auto *dialog = createProgressDialog(progressParent(), baseTitle);
        connect(this, &MainForm::stopProgress, dialog, &QDialog::accept);
        connect(dialog, &QDialog::finished, this, [this, dialog]() {
            dialog->deleteLater();
            if (progressDialog == dialog)
                progressDialog = nullptr;
        });
        progressDialog = dialog;
    }

    progressDialog->setRange(0, steps);
    if (steps != 0)
        connect(this, &MainForm::updateProgress, progressDialog.data(), &QProgressDialog::setValue,
                Qt::UniqueConnection);
    else
        disconnect(this, &MainForm::updateProgress, progressDialog.data(), &QProgressDialog::setValue);
    progressDialog->setLabelText(text);
    if (client->configTransferRunning()) {
        QPointer<LantrelClient> transfer = client;
        setProgressStop(progressDialog, [transfer]() {
            if (transfer)
                transfer->stopConfigTransfer();
        });
    } else {
        setProgressStop(progressDialog, {});
    }
    progressDialog->show();
    progressDialog->raise();
}

QWidget *MainForm::progressParent()
{
    // Over a dialog that waits for the task (the firmware window, say); not
    // over the connection dialog, which closes as soon as the controller is
    // connected and would take the progress of the first read with it.
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && !qobject_cast<ConnectorForm *>(modal))
        return modal;
    return this;
}

void MainForm::hideProgress()
{
    emit stopProgress();
    emit showWaitCursor(false);
}

void MainForm::onTaskCompleted(ushort op_num, bool success)
{
    if (op_num != 0)
        emit updateProgress(op_num);
    taskFailed = taskFailed || !success;
    if (op_num < taskSteps)
        return;

    if (!taskText.isEmpty()) {
        ui->statusBar->showMessage(taskText + (taskFailed ? QStringLiteral(" - ошибка") : QStringLiteral(" - успешно")),
                                   TaskMessageMs);
        taskText.clear();
    }
    idle = true;
    hideProgress();
    updateActions();
}

// ---------------------------------------------------------------------------
// Connection state

void MainForm::onDeviceConnected(ClientConnection conn_info)
{
    online = true;
    linkLost = false;
    controllerErrorsWidget->setVisible(monitoringEnabled);
    lineStatusWidget->setVisible(monitoringEnabled);
    if (!monitoringEnabled)
        lineOn = true;
    connectionLabel->setPixmap(cachedPixmap(QStringLiteral(":/images/online.png")));
    onConnectionChanged(conn_info);
    updateActions();
    // Asked before the connection was made when it drops unsent edits.
    client->rereadConfiguration();
}

void MainForm::onConnectionChanged(ClientConnection conn_info)
{
    // The link may be up before the controller has identified itself.
    QString text = online ? QStringLiteral("Подключен к ЦУ-Л") : QStringLiteral("Подключение к ЦУ-Л");
    if (conn_info.connType == 0)
        text += QLatin1Char(' ') + conn_info.address;
    else
        text += QStringLiteral(", порт ") + conn_info.address + QStringLiteral(", линейный адрес ")
                + QString::number(conn_info.lineAddress);
    connectionLabel->setToolTip(QStringLiteral("<p>%1</p>").arg(text));
    setWindowTitle(QStringLiteral("%1 (%2)").arg(baseTitle, text));
    connectionText = conn_info.connType == 0
        ? QStringLiteral("адрес %1, линейный адрес %2").arg(conn_info.address).arg(conn_info.lineAddress)
        : QStringLiteral("порт %1, линейный адрес %2").arg(conn_info.address).arg(conn_info.lineAddress);
}

void MainForm::onDeviceDisconnected()
{
    // Told once the driver has stopped: its reason arrives after this.
    linkLost = online;
    online = false;
    if (monitoringEnabled) {
        controllerErrorsWidget->hide();
        lineStatusWidget->hide();
    }
    if (!idle)
        hideProgress();
    idle = true;
    connectionLabel->setPixmap(cachedPixmap(QStringLiteral(":/images/offline.png")));
    connectionLabel->setToolTip(QStringLiteral("<p>%1</p>").arg(OfflineText));
    setWindowTitle(QStringLiteral("%1 (%2)").arg(baseTitle, OfflineText));
    updateActions();
}

void MainForm::onDriverStopped()
{
    const bool lost = linkLost;
    linkLost = false;
    const QString reason = client->lastLinkError();
    if (!lost || reason.isEmpty() || sessionEnding)
        return;
    onClientError(QStringLiteral("Связь с ЦУ-Л (%1) потеряна.\n%2").arg(connectionText, reason));
}

void MainForm::onClientError(QString msg)
{
    // Logged when it happens, on one line: the box may stay open a long time,
    // or never be closed at all.
    emit writeToLog(QString(msg).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    UiSeams::messageBox(QApplication::activeWindow(), QMessageBox::Critical, baseTitle, msg, QMessageBox::Ok);
}

// ---------------------------------------------------------------------------
// Commands

bool MainForm::confirm(int icon, const QString &text)
{
    return UiSeams::messageBox(this, QMessageBox::Icon(icon), baseTitle, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No)
           == QMessageBox::Yes;
}

bool MainForm::confirmRestartingAction(const QString &question, const QString &restartLead)
{
    const bool unflashed = !client->configSaved();
    if (!confirm(QMessageBox::Warning,
                 question.arg(unflashed ? restartLead + unflashedConfigParagraph() : QString())))
        return false;
    if (unflashed)
        client->acceptRestart();
    return true;
}

void MainForm::rebootController()
{
    // The client asks about the memory not saved to flash; with unsent line
    // modules as well, one question says both.
    if (client->lineModulesChanged()
        && !confirmRestartingAction(
            QStringLiteral("<p><b>Внимание!</b> Конфигурация линейных модулей была изменена.</p>"
                           "<p>Перед перезапуском необходимо сохранить конфигурацию в ЦУ-Л.<br/>"
                           "В противном случае после перезапуска устройства возможен конфликт "
                           "конфигураций.</p>%1"
                           "<p>Продолжить процедуру перезапуска ЦУ-Л?</p>")))
        return;
    client->rebootController();
}

void MainForm::disconnectDevice()
{
    // Every question that applies, in turn.
    const QString question = QStringLiteral("Вы действительно желаете завершить подключение к ЦУ-Л?");
    if (client->lineModulesChanged()
        && !confirm(QMessageBox::Warning,
                    QStringLiteral("<p><b>Внимание!</b> Конфигурация линейных модулей была изменена, но не "
                                   "сохранена в ЦУ-Л.</p><p>%1</p>").arg(question)))
        return;
    if (!confirmDropEdits(QStringLiteral("После отключения передать их в ЦУ-Л будет нельзя: при следующем "
                                         "подключении конфигурация будет прочитана из ЦУ-Л."),
                          question))
        return;
    if (!client->configSaved() && !confirm(QMessageBox::Warning, unflashedConfigQuestion(question)))
        return;
    client->shutdownDriver();
}

bool MainForm::confirmDropEdits(const QString &consequence, const QString &question)
{
    return confirmDropUnsentEdits(this, baseTitle, consequence, question);
}

void MainForm::onControllerConfigurationChanged()
{
    // The change may be told again while the question is open.
    if (askingAboutChange || !client->isConnected())
        return;
    askingAboutChange = true;
    QPointer<MainForm> self(this);
    const bool read = confirmDropEdits(
        QStringLiteral("Конфигурация ЦУ-Л изменилась (например, после его перезапуска или изменения "
                       "конфигурации другим клиентом). При чтении её из ЦУ-Л они будут потеряны."),
        QStringLiteral("Прочитать конфигурацию из ЦУ-Л?"));
    if (!self)
        return;
    askingAboutChange = false;
    if (read) {
        client->acceptDroppingEdits();
        client->rereadConfiguration();
    } else {
        staleLabel->show();
    }
}

void MainForm::readConfiguration()
{
    if (!confirmDropEdits(QStringLiteral("При чтении конфигурации из ЦУ-Л они будут потеряны."),
                          QStringLiteral("Продолжить чтение конфигурации?")))
        return;
    client->readConfiguration();
}

// Both replace what the controller holds, and the defaults may give it
// another address: the link can be lost.
void MainForm::setControllerDefaults()
{
    if (!confirmRestartingAction(
            QStringLiteral("<p><b>Внимание!</b><br/>Параметры ЦУ-Л будут заменены значениями по умолчанию, "
                           "после чего ЦУ-Л будет перезапущен.</p>"
                           "<p>Сетевой и линейный адреса ЦУ-Л могут измениться, и связь с ним будет "
                           "потеряна.</p>%1"
                           "<p>Продолжить установку параметров ЦУ-Л по умолчанию?</p>")))
        return;
    client->setControllerDefaults();
}

void MainForm::restoreConfigFromFlash()
{
    if (!confirm(QMessageBox::Warning,
                 QStringLiteral("<p><b>Внимание!</b><br/>Текущая конфигурация ЦУ-Л будет заменена конфигурацией, "
                                "сохраненной в его энергонезависимой памяти.</p>"
                                "<p>Изменения, не сохраненные в энергонезависимой памяти ЦУ-Л, будут потеряны.</p>"
                                "<p>Продолжить восстановление конфигурации?</p>")))
        return;
    client->restoreConfigFromFlash();
}

void MainForm::setModulesDefaults()
{
    if (!confirmRestartingAction(
            QStringLiteral("<p><b>Внимание!</b><br/>При восстановлении в линейных модулях параметров по "
                           "умолчанию будут удалены адреса модулей.</p>"
                           "<p>После выполнения данной процедуры необходимо выполнить процедуру адресации "
                           "модулей.</p>%1"
                           "<p>Продолжить установку параметров по умолчанию для модулей?</p>"),
            QStringLiteral("<p>Затем ЦУ-Л будет перезапущен.</p>")))
        return;
    client->setModulesDefaults(0, 0);
}

// ---------------------------------------------------------------------------
// Windows

void MainForm::showAboutForm()
{
    // Not on the stack: the end of the desktop session deletes this window,
    // and its children with it, while the box is open.
    QPointer<AboutForm> about = new AboutForm(this, Qt::Dialog);
    about->setWindowFlags(about->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    about->layout()->setSizeConstraint(QLayout::SetFixedSize);
    about->adjustSize();
    about->exec();
    delete about.data();
}

void MainForm::newConnection()
{
    if (!connectorForm) {
        if (!confirmDropEdits(QStringLiteral("При подключении к ЦУ-Л конфигурация будет прочитана из ЦУ-Л, "
                                             "и они будут потеряны."),
                              QStringLiteral("Продолжить подключение к ЦУ-Л?")))
            return;
        client->acceptDroppingEdits();
        connectorForm = new ConnectorForm(this, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
        connectorForm->layout()->setSizeConstraint(QLayout::SetFixedSize);
        connectorForm->adjustSize();
        connectorForm->setAttribute(Qt::WA_DeleteOnClose);
        connectorForm->setWindowModality(Qt::ApplicationModal);
        connectorForm->setOfflineControlsVisible(false);
        connect(connectorForm, &ConnectorForm::showWaitCursor, this, &MainForm::showWaitCursor);
        connect(connectorForm, &ConnectorForm::closeApp, connectorForm, &QWidget::close);
        connect(connectorForm, &ConnectorForm::writeToLog, this, &MainForm::writeToLog);
    } else {
        connectorForm->raise();
        connectorForm->activateWindow();
    }
    connectorForm->show();
}

void MainForm::updateFirmware()
{
    if (!firmwareUpdateForm) {
        firmwareUpdateForm = new FirmwareUpdateForm(this, Qt::Dialog);
        firmwareUpdateForm->setWindowFlags(firmwareUpdateForm->windowFlags() & ~Qt::WindowContextHelpButtonHint);
        firmwareUpdateForm->setAttribute(Qt::WA_DeleteOnClose);
        firmwareUpdateForm->setWindowModality(Qt::ApplicationModal);
        connect(firmwareUpdateForm, &FirmwareUpdateForm::writeToLog, this, &MainForm::writeToLog);
        connect(this, &MainForm::showWaitCursor, firmwareUpdateForm, &FirmwareUpdateForm::disableFormActions);
    } else {
        firmwareUpdateForm->raise();
        firmwareUpdateForm->activateWindow();
    }
    firmwareUpdateForm->disableModulesUpdate(!lineOn);
    firmwareUpdateForm->show();
    if (lineOn)
        QMetaObject::invokeMethod(client, "checkModulesFwVersion", Qt::QueuedConnection);
}

void MainForm::showStateViewer()
{
    if (!stateViewerForm) {
        stateViewerForm = new StateViewerForm(nullptr, Qt::Window);
        stateViewerForm->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &MainForm::showWaitCursor, stateViewerForm, &StateViewerForm::disableFormActions);
    } else {
        if (stateViewerForm->isMinimized())
            stateViewerForm->setWindowState(stateViewerForm->windowState() & ~Qt::WindowMinimized);
        stateViewerForm->raise();
        stateViewerForm->activateWindow();
    }
    stateViewerForm->disableFormActions(!progressDialog.isNull());
    stateViewerForm->show();
}

void MainForm::showSamplesViewer()
{
    if (!samplesViewerForm) {
        samplesViewerForm = new SamplesViewerForm(nullptr, Qt::Window);
        samplesViewerForm->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &MainForm::showWaitCursor, samplesViewerForm, &SamplesViewerForm::disableFormActions);
    } else {
        if (samplesViewerForm->isMinimized())
            samplesViewerForm->setWindowState(samplesViewerForm->windowState() & ~Qt::WindowMinimized);
        samplesViewerForm->raise();
        samplesViewerForm->activateWindow();
    }
    emit samplesViewerForm->disableFormActions(!progressDialog.isNull());
    samplesViewerForm->show();
}

void MainForm::showSerialChangerForm()
{
    auto *form = new SerialChangeForm(this, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    form->layout()->setSizeConstraint(QLayout::SetFixedSize);
    form->adjustSize();
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
}

// ---------------------------------------------------------------------------
// Page jumps

void MainForm::jumpToModuleConfigPage(uchar mod_type)
{
    int page = 0;
    switch (mod_type) {
    case LantrelProtocol::SECT_MVV:
        page = 4;
        break;
    case LantrelProtocol::SECT_ACCI:
    case LantrelProtocol::SECT_ACC:
        page = 3;
        break;
    case LantrelProtocol::SECT_MKZ:
        page = 5;
        break;
    default:
        return;
    }
    if (QTreeWidgetItem *item = pageItems.value(page))
        ui->treePages->setCurrentItem(item);
}

void MainForm::jumpToProcessingPage()
{
    if (QTreeWidgetItem *item = pageItems.value(3))
        ui->treePages->setCurrentItem(item);
}

// ---------------------------------------------------------------------------
// Files

void MainForm::loadConfiguration()
{
    if (!confirmDropEdits(QStringLiteral("При загрузке конфигурации из файла они будут потеряны."),
                          QStringLiteral("Продолжить загрузку конфигурации?")))
        return;
    const QString fileName = UiSeams::getOpenFileName(
        this, QStringLiteral("Загрузка конфигурации из файла"), configFileFolder(),
        QStringLiteral("XML файлы (*.xml);;Все файлы (*.*)"),
        QFileDialog::DontResolveSymlinks | QFileDialog::ReadOnly | QFileDialog::DontUseCustomDirectoryIcons);
    if (fileName.isEmpty() || !client->loadConfigFile(fileName))
        return;
    rememberConfigFileFolder(fileName);
}

void MainForm::saveConfigurationAs()
{
    const QString fileName = chooseSaveFileName(
        this, baseTitle, QStringLiteral("Сохранение конфигурации в файл"), configFileFolder(),
        QStringLiteral("XML файлы (*.xml)"), QStringLiteral(".xml"),
        QFileDialog::DontResolveSymlinks | QFileDialog::DontUseCustomDirectoryIcons);
    if (fileName.isEmpty() || !client->saveConfigFile(fileName))
        return;
    rememberConfigFileFolder(fileName);
}

// ---------------------------------------------------------------------------
// Closing

bool MainForm::confirmClose()
{
    // Every question that applies, in turn; the plain one when none does.
    const QString question = QStringLiteral("Вы действительно желаете завершить работу приложения?");
    bool warned = false;
    auto ask = [&](const QString &text) {
        warned = true;
        return confirm(QMessageBox::Warning, text);
    };
    if (!idle) {
        const QString task = taskText.isEmpty() ? QStringLiteral("обмен с ЦУ-Л") : taskText;
        const QString consequence = client->readingConfiguration()
            ? QStringLiteral("При завершении работы приложения она будет прервана.")
            : QStringLiteral("При завершении работы приложения она будет прервана, и ЦУ-Л останется с частично "
                             "переданными данными.");
        if (!ask(QStringLiteral("<p><b>Внимание!</b> Выполняется операция «%1».</p><p>%2</p><p>%3</p>")
                     .arg(task, consequence, question)))
            return false;
    }
    if (client->lineModulesChanged()
        && !ask(QStringLiteral("<p><b>Внимание!</b> Конфигурация линейных модулей была изменена, но не "
                               "сохранена в ЦУ-Л.</p><p>%1</p>").arg(question)))
        return false;
    if (client->hasUnsentEdits()) {
        warned = true;
        if (!confirmDropEdits(QStringLiteral("При завершении работы приложения они будут потеряны."), question))
            return false;
    }
    if (!client->configSaved() && !ask(unflashedConfigQuestion(question)))
        return false;
    // Offline the client still knows which controller was left so: its
    // memory goes back to flash at its next restart.
    const QString unflashed = client->isConnected() ? QString() : client->unflashedController();
    if (!unflashed.isEmpty()
        && !ask(QStringLiteral("<p><b>Внимание!</b> Конфигурация передана в ЦУ-Л с серийным номером %1, но не "
                               "сохранена в его энергонезависимой памяти: не выполнена команда «Сохранить "
                               "конфигурацию». Связи с этим ЦУ-Л сейчас нет; при его перезапуске переданная "
                               "конфигурация будет потеряна.</p><p>%2</p>")
                    .arg(unflashed, question)))
        return false;
    return warned || confirm(QMessageBox::Question, QStringLiteral("Завершить работу приложения?"));
}

void MainForm::closeEvent(QCloseEvent *event)
{
    // The progress of a running task stays until the user has decided:
    // answering No must leave the task and the busy state as they were.
    if (!sessionEnding && !confirmClose()) {
        event->ignore();
        return;
    }
    hideProgress();

    const QByteArray geometry = saveGeometry();
    const QByteArray state = saveState(0);
    const QByteArray splitter = ui->splitter->saveState();
    appSettings->beginGroup(QStringLiteral("MainForm"));
    if (!geometry.isEmpty())
        writeHexSetting(QStringLiteral("Geometry"), geometry);
    if (!state.isEmpty())
        writeHexSetting(QStringLiteral("State"), state);
    if (!splitter.isEmpty())
        writeHexSetting(QStringLiteral("Splitter"), splitter);
    appSettings->endGroup();

    if (!sessionEnding)
        emit shutdown();
    event->accept();
}
