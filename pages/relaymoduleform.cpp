#include "relaymoduleform.h"
#include "ui_relaymoduleform.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QTimer>

#include "appcontext.h"
#include "interactionsconfigmodel.h"
#include "ipv4edit.h"
#include "ipv4text.h"
#include "lantrelclient.h"
#include "relaymodulereader.h"
#include "relaymodulesconfigmodel.h"
#include "uiseams.h"

using LantrelProtocol::EXT_RELY;

namespace {

constexpr int ModuleSlots = 4;
constexpr int BaseRelays = 16;
constexpr int ExpansionRelays = 32;
constexpr int CheckLimitMs = 5000;

} // namespace

RelayModuleForm::RelayModuleForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::RelayModuleForm)
    , client(appClient())
{
    ui->setupUi(this);

    collectUsedAddresses(-1);
    cfgIndex = -1;
    const RelayModulesConfigModel *modules = client->relayModulesConfigModel();
    for (int index = 0; index < ModuleSlots && cfgIndex < 0; ++index) {
        if (modules->moduleByIndex(quint16(index)).ipAddress.isEmpty())
            cfgIndex = index;
    }
    if (cfgIndex >= 0)
        ui->lblNumber->setText(QString::number(cfgIndex + 1));
    else
        ui->lblNumber->clear();

    new Ipv4Edit(ui->edtIpAddr);
    connect(ui->edtIpAddr, &QLineEdit::textChanged, this, &RelayModuleForm::onIpAddrTextChanged);
    connect(ui->btnSave, &QPushButton::clicked, this, &RelayModuleForm::saveData);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnCheck, &QToolButton::clicked, this, &RelayModuleForm::checkConfig);
    updateButtons();
}

RelayModuleForm::~RelayModuleForm()
{
    delete ui;
}

void RelayModuleForm::collectUsedAddresses(int skipIndex)
{
    usedAddresses.clear();
    const RelayModulesConfigModel *modules = client->relayModulesConfigModel();
    for (int index = 0; index < ModuleSlots; ++index) {
        const QString address = modules->moduleByIndex(quint16(index)).ipAddress;
        if (index != skipIndex && !address.isEmpty())
            usedAddresses.insert(ipv4FromText(address));
    }
}

void RelayModuleForm::loadRelayModule(ushort cfg_idx)
{
    cfgIndex = cfg_idx;
    isNew = false;
    const RelayModuleRecord module = client->relayModulesConfigModel()->moduleByIndex(cfg_idx);
    loadedAddress = module.ipAddress;
    collectUsedAddresses(cfg_idx);

    ui->lblNumber->setText(QString::number(cfg_idx + 1));
    ui->edtIpAddr->setText(module.ipAddress);
    ui->edtLineAddr->setValue(module.config.LineAddr);
    // Any non-zero flag: the tables show such a module with 32 relays too.
    ui->ckExpand->setChecked(module.config.ExpMod != 0);
    ui->btnSave->setText(QStringLiteral("Сохранить"));
    updateButtons();
}

void RelayModuleForm::closeEvent(QCloseEvent *event)
{
    if (checking)
        emit stopCheck();
    event->accept();
}

void RelayModuleForm::onIpAddrTextChanged(QString txt)
{
    // Ipv4Edit has added the automatic dot already.
    Q_UNUSED(txt)
    updateCheckStatus();
    updateButtons();
}

void RelayModuleForm::updateButtons()
{
    ui->btnSave->setEnabled(!checking && saveAllowed);
    ui->btnCheck->setEnabled(!checking && ipAcceptable);
}

void RelayModuleForm::showCheckStatus(const QString &image, const QString &toolTip)
{
    ui->lblCheckStatus->setPixmap(QPixmap(image));
    ui->lblCheckStatus->setToolTip(toolTip);
}

void RelayModuleForm::updateCheckStatus()
{
    const bool acceptable = ui->edtIpAddr->hasAcceptableInput();
    if (acceptable) {
        if (usedAddresses.contains(ipv4FromText(ui->edtIpAddr->text())))
            showCheckStatus(QStringLiteral(":/images/exclamation.png"),
                            QStringLiteral("ЖН-Т с таким IP адресом уже есть в конфигурации"));
        else
            showCheckStatus(QStringLiteral(":/images/question.png"),
                            QStringLiteral("Не выполнена проверка связи с ЖН-Т"));
    }
    ipAcceptable = acceptable;
    // A duplicate address is only marked; it does not block saving.
    saveAllowed = acceptable && cfgIndex != -1 && !ui->lblNumber->text().isEmpty();
}

QString RelayModuleForm::staleReason() const
{
    const RelayModulesConfigModel *modules = client->relayModulesConfigModel();
    const bool present = modules->indexOf(quint16(cfgIndex)).isValid();
    if (isNew) {
        if (present)
            return QStringLiteral("ЖН-Т №%1 уже есть в конфигурации, модуль не добавлен").arg(cfgIndex + 1);
        return QString();
    }
    if (!present || modules->moduleByIndex(quint16(cfgIndex)).ipAddress != loadedAddress)
        return QStringLiteral("ЖН-Т %1 отсутствует в конфигурации, изменения не сохранены").arg(loadedAddress);
    return QString();
}

QVector<int> RelayModuleForm::upperRelayInteractions() const
{
    const InteractionsConfigModel *interactions = client->interactionsConfigModel();
    QVector<int> rows;
    for (int row = 0; row < interactions->rowCount(); ++row) {
        const InteractionRecord r = interactions->interactionAt(row);
        if (r.executorType == EXT_RELY && r.executorNumber == cfgIndex + 1 && r.relay > BaseRelays)
            rows.append(row);
    }
    return rows;
}

// A module without the expansion loses relays 17 to 32, and with them the
// interactions they drive; false when the user keeps the expansion.
bool RelayModuleForm::confirmRelayLoss()
{
    const QVector<int> rows = upperRelayInteractions();
    if (rows.isEmpty())
        return true;
    const QString text = QStringLiteral("Реле 17–32 этого ЖН-Т используются во взаимодействиях (%1). "
                                        "Удалить эти взаимодействия из конфигурации?")
                             .arg(rows.size());
    if (UiSeams::messageBox(this, QMessageBox::Question, windowTitle(), text,
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes) {
        ui->ckExpand->setChecked(true);
        return false;
    }
    client->interactionsConfigModel()->removeInteractions(rows);
    return true;
}

// The interactions show their relay module by its address.
void RelayModuleForm::renameExecutor(const QString &ipAddress)
{
    InteractionsConfigModel *interactions = client->interactionsConfigModel();
    for (int row = 0; row < interactions->rowCount(); ++row) {
        InteractionRecord r = interactions->interactionAt(row);
        if (r.executorType != EXT_RELY || r.executorNumber != cfgIndex + 1 || r.executorAddressText == ipAddress)
            continue;
        r.executorAddressText = ipAddress;
        interactions->updateInteraction(ushort(row), r);
    }
}

void RelayModuleForm::saveData()
{
    const QString stale = staleReason();
    if (!stale.isEmpty()) {
        UiSeams::messageBox(this, QMessageBox::Warning, windowTitle(), stale, QMessageBox::Ok);
        close();
        return;
    }
    const bool expansion = ui->ckExpand->isChecked();
    if (!isNew && !expansion && !confirmRelayLoss())
        return;

    RelayModulesConfigModel *modules = client->relayModulesConfigModel();
    RelayModuleRecord record = isNew ? RelayModuleRecord() : modules->moduleByIndex(quint16(cfgIndex));
    record.configIndex = quint16(cfgIndex);
    record.ipAddress = ui->edtIpAddr->text();
    LantrelProtocol::Konfig_Modul_t &cfg = record.config;
    cfg.IPAddr = ipv4FromText(record.ipAddress);
    cfg.Reserved4 = 502;
    cfg.Reserved6 = 2;
    cfg.LineAddr = quint8(ui->edtLineAddr->value());
    cfg.Reserved9 = quint8(record.configIndex + 1);
    cfg.ExpMod = expansion ? 1 : 0;
    const int relays = expansion ? ExpansionRelays : BaseRelays;
    for (int i = 0; i < ExpansionRelays; ++i) {
        if (i < relays)
            cfg.Relays[i].RelayNum = quint8(i + 1);
        else
            cfg.Relays[i] = LantrelProtocol::Relay_Entry_t();
    }
    modules->setModule(record);
    renameExecutor(record.ipAddress);
    emit dataChanged(record.configIndex);
    close();
}

void RelayModuleForm::checkConfig()
{
    if (!ui->edtIpAddr->hasAcceptableInput())
        return;
    QEventLoop loop;
    const QString ip = ui->edtIpAddr->text();
    RelayModuleReader reader(ip);
    bool result = false;
    QString status = QStringLiteral("Выполняется проверка связи с ЖН-Т...");

    // The loop is the context: nothing arrives once the check has ended.
    connect(this, &RelayModuleForm::stopCheck, &loop, [this, &loop]() {
        checking = false;
        loop.quit();
    });
    connect(&reader, &RelayModuleReader::controllerInfo, &loop, [this](uchar address, bool expansion) {
        ui->edtLineAddr->setValue(address);
        ui->ckExpand->setChecked(expansion);
    });
    connect(&reader, &RelayModuleReader::readCompleted, &loop, [this, &result, &status](bool ok, const QString &text) {
        result = ok;
        status = ok ? QStringLiteral("Проверка связи завершена успешно") : text;
        emit stopCheck();
    });
    // The probe's failures go to the application log, as the client's own do.
    connect(&reader, &RelayModuleReader::writeToLog, client, &LantrelClient::writeToLog);

    showCheckStatus(QStringLiteral(":/images/question.png"), status);
    status = QStringLiteral("Нет связи с ЖН-Т");
    checking = true;
    showAppWaitCursor(true);
    updateButtons();

    QMetaObject::invokeMethod(&reader, "getControllerInfo", Qt::QueuedConnection);
    QTimer::singleShot(CheckLimitMs, Qt::CoarseTimer, &loop, [this, &loop, &ip]() {
        checking = false;
        emit client->writeToLog(QStringLiteral("Нет связи с ЖН-Т %1: проверка связи не завершена за %2 с")
                                    .arg(ip)
                                    .arg(CheckLimitMs / 1000));
        loop.quit();
    });
    loop.exec();

    showAppWaitCursor(checking);
    updateButtons();
    showCheckStatus(result ? QStringLiteral(":/images/ok.png") : QStringLiteral(":/images/delete.png"), status);
}
