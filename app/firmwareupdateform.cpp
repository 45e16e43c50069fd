#include "firmwareupdateform.h"
#include "ui_firmwareupdateform.h"

#include "appcontext.h"
#include "tableviews.h"
#include "appglobals.h"
#include "clientanswerwait.h"
#include "controllerconfigmodel.h"
#include "firmwarefile.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "modulesversionfiltermodel.h"
#include "modulesversionmodel.h"
#include "regularfile.h"
#include "tablewidthfollower.h"
#include "texthelpers.h"
#include "uiseams.h"
#include "windowfit.h"

#include <QCloseEvent>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QSettings>

namespace {

const QString NoData = QStringLiteral("<Нет данных>");
const QString NoCount = QStringLiteral("<Нет>");
const QString LoadError = QStringLiteral("<Ошибка загрузки>");

// The driver re-reads the line status every 1.8 s until the polling stops;
// a controller that never gets there must not hold the window for ever.
int lineStopWaitMs = 60000;

bool isModuleFirmware(quint8 type)
{
    return type > 2;
}

bool reportsProgress(quint8 type)
{
    return type == 3 || type == 4;
}

// Modules of the kind a module firmware is for, as the controller's line
// settings count them.
int moduleCount(quint8 firmwareType)
{
    const LantrelProtocol::Konfig_Line_t &line = appClient()->controllerConfigModel()->lineConfig;
    switch (firmwareType) {
    case 3:
        return line.SensorCount;
    case 4:
        return line.IoCount;
    case 5:
        return line.ScpCount;
    default:
        return 0;
    }
}

// The controller's progress register counts by the controller's own rules;
// the modules of the configuration are no total for it, so none is shown.
QString progressText(int updated)
{
    return QStringLiteral("%1 по отчёту ЦУ-Л").arg(updated);
}

// The end the controller reports only as success or failure of the whole.
QString lastReportText(int updated)
{
    return QStringLiteral("Последний отчёт ЦУ-Л о ходе обновления: обновлено модулей — %1").arg(updated);
}

} // namespace

FirmwareFormControls firmwareFormControls(const FirmwareFormState &s)
{
    FirmwareFormControls c;
    const bool idle = s.actionsEnabled && !s.uploading && !s.updating && !s.waitingForLineStop;
    c.readControllerInfo = idle && s.connected;
    c.loadFile = idle && s.connected;
    c.readModulesInfo = idle && s.connected && s.modulesUpdateEnabled;
    c.startUpdate = idle && s.connected && s.imageUploaded;
    c.close = s.actionsEnabled && !s.updating && !s.waitingForLineStop;
    c.countVisible = isModuleFirmware(s.firmwareType);
    // Afterwards the outcome says what the last count was.
    c.progressVisible = reportsProgress(s.firmwareType) && s.updating;
    return c;
}

int FirmwareUpdateForm::lineStopTimeoutMs()
{
    return lineStopWaitMs;
}

void FirmwareUpdateForm::setLineStopTimeoutMs(int ms)
{
    lineStopWaitMs = ms;
}

FirmwareUpdateForm::FirmwareUpdateForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::FirmwareUpdateForm)
{
    ui->setupUi(this);
    LantrelClient *client = appClient();
    state.connected = client->isConnected();

    connect(client, &LantrelClient::firmwareUploaded, this, &FirmwareUpdateForm::onFirmwareUploaded);
    connect(client, &LantrelClient::firmwareUpdateProgress, this, &FirmwareUpdateForm::onFirmwareUpdateProgress);
    connect(client, &LantrelClient::firmwareUpdated, this, &FirmwareUpdateForm::onFirmwareUpdated);
    connect(client, &LantrelClient::lineStatusChanged, this, &FirmwareUpdateForm::onLineStatus);
    // The driver tells why the link went before it fails what was under
    // way; the reason stays here once the main window's box is gone.
    connect(client, &LantrelClient::linkError, this, &FirmwareUpdateForm::noteLinkLoss);
    connect(client, &LantrelClient::deviceDisconnected, this, [this]() {
        noteLinkLoss(appClient()->lastLinkError());
        state.connected = false;
        updateActions();
    });
    connect(client, &LantrelClient::driverStopped, this, [this]() {
        if (linkLost)
            noteLinkLoss(appClient()->lastLinkError());
    });
    connect(client, &LantrelClient::deviceRebooted, this, [this]() { controllerRebooted = true; });
    connect(client->controllerConfigModel(), &ControllerConfigModel::dataChanged, this,
            &FirmwareUpdateForm::onControllerModelDataChanged);
    connect(client, &LantrelClient::moduleFirmwareVersion, this, &FirmwareUpdateForm::onModuleFwVersion);

    setUpTable();
    fixValueWidths();
    showControllerInfo();
    ui->lblFirmwareFileName->installEventFilter(this);

    connect(ui->btnLoadFirmwareFile, &QToolButton::clicked, this, &FirmwareUpdateForm::loadFirmwareFile);
    connect(ui->btnStartUpdateFirmware, &QPushButton::clicked, this, &FirmwareUpdateForm::updateFirmware);
    connect(ui->btnReadControllerInfo, &QToolButton::clicked, client, &LantrelClient::readControllerInfo);
    connect(ui->btnReadModulesInfo, &QToolButton::clicked, client, &LantrelClient::checkModulesFwVersion);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QWidget::close);

    restoreSettings();
    updateActions();
}

FirmwareUpdateForm::~FirmwareUpdateForm()
{
    // The header still reports its geometry while the base class deletes it.
    ui->tableView->horizontalHeader()->disconnect(this);
    delete ui;
}

void FirmwareUpdateForm::setUpTable()
{
    ui->cbFilter->addItem(QStringLiteral("Все модули"), 0);
    ui->cbFilter->addItem(QStringLiteral("ВТ-Л"), 1);
    ui->cbFilter->addItem(QStringLiteral("ПС-Л"), 2);
    ui->cbFilter->addItem(QStringLiteral("ТЗ-Л"), 3);

    versionModel = new ModulesVersionModel(this);
    const LineModulesModel *lineModules = appClient()->lineModulesModel();
    for (quint16 addr = 1; addr <= LineModulesModel::RowCount; ++addr)
        versionModel->setModule(lineModules->moduleAt(addr));

    auto *filter = new ModulesVersionFilterModel(this);
    filter->setHideEmptyRows(false);
    filter->setModuleTypeFilter(0);
    filter->setSourceModel(versionModel);
    connect(ui->cbFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this, filter]() { filter->setModuleTypeFilter(ui->cbFilter->currentData().toInt()); });

    QTableView *table = ui->tableView;
    setUpSortedModuleTable(table, filter);
    // The table's column is as wide as its header and a scroll bar; the
    // columns are fitted now, so that the first size of the window holds them.
    auto *follower = new TableWidthFollower(table, ui->gridLayout);
    follower->fitColumns();
}

// The values beside the file's description take their widest text from the
// start, so the window keeps its width whatever file is chosen.
void FirmwareUpdateForm::fixValueWidths()
{
    QStringList texts {NoData, LoadError, progressText(65535)};
    for (const QString &name : firmwareNames)
        texts << name;
    const QFontMetrics metrics(ui->lblHwType->font());
    int width = 0;
    for (const QString &text : qAsConst(texts))
        width = qMax(width, metrics.horizontalAdvance(text));
    ui->lblHwType->setMinimumWidth(width + 2 * ui->lblHwType->margin() + 2);
    // The file name takes the free width beside it, and no less than this.
    ui->lblFirmwareFileName->setMinimumWidth(width);

    // The framed build date is sized in the form for a narrower font.
    QLabel *date = ui->lblFwDate;
    const int frame = 2 * date->frameWidth() + 2 * date->margin() + 6;
    const int dateWidth = date->fontMetrics().horizontalAdvance(QStringLiteral("99.99.9999")) + frame;
    date->setMinimumWidth(qMax(date->minimumWidth(), dateWidth));
}

void FirmwareUpdateForm::restoreSettings()
{
    appSettings->sync();
    firmwarePath = appSettings->value(QStringLiteral("Common/FirmwarePath")).toString();
    appSettings->beginGroup(QStringLiteral("FirmwareUpdateForm"));
    const QByteArray geometry = readHexSetting(QStringLiteral("Geometry"));
    const int x = appSettings->value(QStringLiteral("X"), 0).toInt();
    const int y = appSettings->value(QStringLiteral("Y"), 0).toInt();
    appSettings->endGroup();
    // The first time the window opens as wide as its table, within the screen.
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(WindowFit::boundedToScreen(this, sizeHint().expandedTo(size())));
    if (x != 0 && y != 0)
        move(x, y);
}

void FirmwareUpdateForm::showControllerInfo()
{
    const ControllerInfo &info = appClient()->controllerConfigModel()->info;
    ui->lblFwVer->setText(info.firmwareVersion);
    ui->lblFwDate->setText(info.firmwareDate);
}

void FirmwareUpdateForm::disableFormActions(bool yes)
{
    state.actionsEnabled = !yes;
    updateActions();
}

void FirmwareUpdateForm::disableModulesUpdate(bool yes)
{
    state.modulesUpdateEnabled = !yes;
    updateActions();
}

void FirmwareUpdateForm::updateActions()
{
    const FirmwareFormControls c = firmwareFormControls(state);
    ui->btnReadControllerInfo->setEnabled(c.readControllerInfo);
    ui->btnReadModulesInfo->setEnabled(c.readModulesInfo);
    ui->btnLoadFirmwareFile->setEnabled(c.loadFile);
    ui->btnStartUpdateFirmware->setEnabled(c.startUpdate);
    ui->buttonBox->setEnabled(c.close);
    ui->lblCount->setVisible(c.countVisible);
    ui->lblHwCount->setVisible(c.countVisible);
    ui->lblModProgress->setVisible(c.progressVisible);
    ui->lblModProgressCount->setVisible(c.progressVisible);
    showResult();
}

void FirmwareUpdateForm::showOutcome(const QString &text)
{
    outcome = text;
    showResult();
}

void FirmwareUpdateForm::showResult()
{
    QStringList lines;
    if (!outcome.isEmpty())
        lines << QStringLiteral("<b>%1</b>").arg(outcome.toHtmlEscaped());
    if (!linkLossReason.isEmpty())
        lines << linkLossReason.toHtmlEscaped();
    const bool busy = state.uploading || state.updating || state.waitingForLineStop;
    if (!state.updating && lastProgress >= 0)
        lines << lastReportText(lastProgress).toHtmlEscaped();
    if (versionsPending && state.connected)
        lines << QStringLiteral("Версии прошивок модулей будут прочитаны заново после перезапуска ЦУ-Л");
    if (linePollingStopped && state.connected && !busy)
        lines << QStringLiteral("При закрытии окна ЦУ-Л будет перезапущен, чтобы возобновить чтение линии");
    ui->lblResult->setText(lines.join(QStringLiteral("<br>")));
    ui->lblResult->setVisible(!lines.isEmpty());
}

void FirmwareUpdateForm::onControllerModelDataChanged(QVector<int> roles)
{
    if (!roles.contains(Qt::UserRole))
        return;
    if (appClient()->controllerConfigModel()->info.deviceType == LantrelProtocol::BOS_LIN) {
        showControllerInfo();
    } else {
        ui->lblFwVer->clear();
        ui->lblFwDate->clear();
    }
}

void FirmwareUpdateForm::onModuleFwVersion(ushort line_addr, ushort fw_ver)
{
    if (line_addr < 1 || line_addr > LineModulesModel::RowCount)
        return;
    LineModuleRecord record = versionModel->moduleAt(line_addr);
    record.firmwareVersion = fw_ver;
    record.firmwareVersionText = versionToString(fw_ver);
    versionModel->setModule(record);
}

// ---------------------------------------------------------------------------
// Choosing a file and transferring it

void FirmwareUpdateForm::loadFirmwareFile()
{
    if (firmwarePath.isEmpty() || !QDir(firmwarePath).exists())
        firmwarePath = appDataPath;
    const QString fileName = UiSeams::getOpenFileName(
        this, QStringLiteral("Выбор файла прошивки"), firmwarePath, QStringLiteral("Файлы прошивок (*.mcr)"),
        QFileDialog::DontResolveSymlinks | QFileDialog::ReadOnly | QFileDialog::DontUseCustomDirectoryIcons);
    if (fileName.isEmpty())
        return;
    shownFileName = QFileInfo(fileName).fileName();
    showFileName();
    ui->lblFirmwareFileName->setToolTip(QDir::toNativeSeparators(fileName));
    // Whatever happens to this file, an earlier one is no longer to be updated.
    dropFirmware();

    QFile file(fileName);
    const QString openError = openRegularFile(file);
    if (!openError.isEmpty()) {
        reportError(QStringLiteral("Ошибка открытия файла прошивки %1. %2")
                        .arg(QDir::toNativeSeparators(fileName), openError));
        updateActions();
        return;
    }
    // A file too large to transfer is refused from its size alone.
    const QByteArray bytes = file.read(FirmwareFile::MaxFileSize + 1);
    file.close();
    firmwarePath = QFileInfo(fileName).absolutePath();

    const FirmwareFile firmware = FirmwareFile::check(bytes);
    if (!acceptFile(fileName, firmware)) {
        updateActions();
        return;
    }

    // The stopped line polls again only after a restart.
    QPointer<FirmwareUpdateForm> self(this);
    const bool mayRestart = appClient()->mayRestartController(
        QStringLiteral("Для передачи прошивки ЦУ-Л остановит чтение линии; после обновления прошивки или при "
                       "закрытии окна ЦУ-Л будет перезапущен."));
    if (!self)
        return;
    if (!mayRestart) {
        updateActions();
        return;
    }
    const bool stopped = stopLinePolling();
    if (!self)
        return;
    if (!stopped) {
        updateActions();
        return;
    }
    emit writeToLog(QStringLiteral("Передача файла прошивки %1 в ЦУ-Л. Тип прошивки - %2, версия - %3")
                        .arg(QDir::toNativeSeparators(fileName), firmware.displayName(), firmware.versionText()));
    state.uploading = true;
    appClient()->uploadFirmware(state.firmwareType, firmware.uploadImage());
    updateActions();
}

// A name longer than the room for it is shortened in the middle, where
// names keep their version; the whole path is in the tool tip.
void FirmwareUpdateForm::showFileName()
{
    if (shownFileName.isEmpty())
        return;
    QLabel *label = ui->lblFirmwareFileName;
    const int room = label->contentsRect().width() - 2 * label->margin();
    label->setText(label->fontMetrics().elidedText(shownFileName, Qt::ElideMiddle, room));
}

bool FirmwareUpdateForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->lblFirmwareFileName && event->type() == QEvent::Resize)
        showFileName();
    return QWidget::eventFilter(watched, event);
}

void FirmwareUpdateForm::dropFirmware()
{
    state.imageUploaded = false;
    state.firmwareType = 0;
    lastProgress = -1;
    outcome.clear();
    linkLost = false;
    linkLossReason.clear();
    ui->lblHwType->setText(NoData);
    ui->lblVersion->setText(NoData);
    ui->lblHwCount->setText(NoCount);
}

// Shows what the file holds; true when it is to be transferred now.
bool FirmwareUpdateForm::acceptFile(const QString &fileName, const FirmwareFile &file)
{
    if (!file.isAccepted()) {
        ui->lblHwType->setText(LoadError);
        ui->lblVersion->setText(LoadError);
        reportError(file.rejectionMessage(QDir::toNativeSeparators(fileName)));
        return false;
    }
    ui->lblHwType->setText(file.displayName());
    ui->lblVersion->setText(file.versionText());
    state.firmwareType = file.firmwareType();
    if (!isModuleFirmware(state.firmwareType))
        return true;
    const int count = moduleCount(state.firmwareType);
    ui->lblHwCount->setText(QString::number(count));
    if (count == 0) {
        showOutcome(QStringLiteral("Прошивка не передана: в конфигурации ЦУ-Л нет модулей %1").arg(file.displayName()));
        return false;
    }
    // The line this window stopped for an earlier transfer stays stopped;
    // the modules still take their firmware.
    if (!state.modulesUpdateEnabled && !linePollingStopped) {
        showOutcome(QStringLiteral("Прошивка не передана: линия связи с модулями не включена"));
        return false;
    }
    return true;
}

// True when the controller has stopped polling the line for the transfer.
bool FirmwareUpdateForm::stopLinePolling()
{
    ClientAnswerWait wait(appClient(), &LantrelClient::linePollStopped, this, lineStopWaitMs);
    state.waitingForLineStop = true;
    updateActions();
    const ClientAnswerWait::Outcome outcome
        = wait.run([]() { QMetaObject::invokeMethod(appClient(), "stopLinePolling", Qt::QueuedConnection); });
    if (outcome == ClientAnswerWait::OwnerGone || outcome == ClientAnswerWait::TimedOut) {
        // Nobody waits any more: the client's task ends with the wait, so
        // the main window and this one are free again.
        appClient()->cancelLinePollStop();
    }
    if (outcome == ClientAnswerWait::OwnerGone)
        return false;
    state.waitingForLineStop = false;

    if (outcome == ClientAnswerWait::TimedOut) {
        // The stop may still take effect: closing the window restarts the controller.
        linePollingStopped = true;
        showOutcome(QStringLiteral("Передача прошивки отменена: ЦУ-Л не подтвердил остановку чтения линии"));
        reportError(QStringLiteral("ЦУ-Л не подтвердил остановку чтения линии. Передача прошивки отменена"));
        return false;
    }
    if (wait.answer())
        linePollingStopped = true;
    else
        showOutcome(QStringLiteral("Прошивка не передана: чтение линии не остановлено"));
    return wait.answer();
}

void FirmwareUpdateForm::reportError(const QString &message)
{
    emit writeToLog(message);
    UiSeams::messageBox(this, QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok);
}

void FirmwareUpdateForm::onFirmwareUploaded(bool success)
{
    state.imageUploaded = success;
    state.uploading = false;
    if (!linkLost)
        outcome = success ? QStringLiteral("Файл прошивки передан в ЦУ-Л")
                          : QStringLiteral("Ошибка передачи файла прошивки в ЦУ-Л");
    updateActions();
}

// A lost link ends the transfer this program makes; the update the
// controller makes on its own may go on without it. The window says which,
// and why, whatever the failure that follows says.
void FirmwareUpdateForm::noteLinkLoss(const QString &reason)
{
    if (!linkLost) {
        if (state.uploading || state.waitingForLineStop)
            outcome = QStringLiteral("Связь с ЦУ-Л потеряна, передача файла прошивки прервана");
        else if (state.updating)
            outcome = QStringLiteral("Связь с ЦУ-Л потеряна во время обновления прошивки. "
                                     "Продолжил ли ЦУ-Л обновление, неизвестно");
        else
            return;
        linkLost = true;
    }
    if (linkLossReason.isEmpty())
        linkLossReason = reason;
    showResult();
}

// ---------------------------------------------------------------------------
// The update

void FirmwareUpdateForm::updateFirmware()
{
    const bool modules = isModuleFirmware(state.firmwareType);
    emit writeToLog(QStringLiteral("Запуск процедуры обновления прошивки")
                    + (modules ? QStringLiteral(" модулей") : QStringLiteral(" ЦУ-Л")));
    state.updating = true;
    outcome.clear();
    lastProgress = -1;
    ui->lblModProgressCount->setText(progressText(0));
    appClient()->updateFirmware();
    updateActions();
}

void FirmwareUpdateForm::onFirmwareUpdateProgress(ushort mod_count)
{
    if (!reportsProgress(state.firmwareType))
        return;
    lastProgress = mod_count;
    ui->lblModProgressCount->setText(progressText(mod_count));
}

void FirmwareUpdateForm::onFirmwareUpdated(bool success)
{
    state.imageUploaded = false;
    state.updating = false;
    controllerRebooted = false;
    // A successful update restarts the controller, which polls the line
    // again; after a failed one the line stays stopped until the window closes.
    if (success)
        linePollingStopped = false;
    versionsPending = success && isModuleFirmware(state.firmwareType);
    if (!linkLost)
        outcome = success ? QStringLiteral("Обновление прошивки успешно завершено")
                          : QStringLiteral("Ошибка обновления прошивки");
    updateActions();
}

void FirmwareUpdateForm::onLineStatus(LantrelProtocol::Status_Line_t status)
{
    const bool polling = status.Flags & 0x01;
    if (versionsPending && controllerRebooted && status.State == LantrelProtocol::LN_ONN && polling) {
        versionsPending = false;
        controllerRebooted = false;
        appClient()->checkModulesFwVersion();
        showResult();
    }
    disableModulesUpdate(status.State != LantrelProtocol::LN_POW && status.State != LantrelProtocol::LN_ONN);
}

// ---------------------------------------------------------------------------
// Closing

void FirmwareUpdateForm::closeEvent(QCloseEvent *event)
{
    if (state.waitingForLineStop || (state.connected && (state.updating || state.uploading))) {
        event->ignore();
        return;
    }
    if (linePollingStopped && state.connected)
        QMetaObject::invokeMethod(appClient(), "rebootController", Qt::QueuedConnection);
    if (!firmwarePath.isEmpty())
        appSettings->setValue(QStringLiteral("Common/FirmwarePath"), firmwarePath);
    appSettings->beginGroup(QStringLiteral("FirmwareUpdateForm"));
    const QByteArray geometry = saveGeometry();
    if (!geometry.isEmpty())
        writeHexSetting(QStringLiteral("Geometry"), geometry);
    appSettings->setValue(QStringLiteral("X"), x());
    appSettings->setValue(QStringLiteral("Y"), y());
    appSettings->endGroup();
    event->accept();
}
