#include "controllerconfigform.h"
#include "ui_controllerconfigform.h"

#include "appcontext.h"
#include "controllerconfigmodel.h"
#include "dictionaries.h"
#include "ipv4edit.h"
#include "lantrelclient.h"
#include "moduletablepage.h"
#include "outofrange.h"
#include "texthelpers.h"
#include "uiseams.h"

#include <QHostAddress>
#include <QLocale>
#include <QValidator>

using namespace LantrelProtocol;

// What is typed is cut to what the controller keeps, at a character
// boundary. A longer identifier from a file stays as it is and may be edited,
// but it does not grow.
class BlockIdValidator : public QValidator
{
public:
    using QValidator::QValidator;
    // The identifier as read: its length is allowed until the next one.
    void hold(const QString &loaded) { limit = qMax(BlockIdMaxBytes, int(loaded.toUtf8().size())); }
    State validate(QString &input, int &pos) const override
    {
        if (input.toUtf8().size() > limit) {
            input = QString::fromUtf8(utf8Prefix(input, limit));
            pos = qMin(pos, input.size());
        }
        return Acceptable;
    }

private:
    int limit = BlockIdMaxBytes;
};

namespace {

const int SettingsTab = 0;
const int StateTab = 1;

// The numbers are what the model stores.
QMap<int, QString> lineModes()
{
    return {{0, QStringLiteral("не задан")}, {1, QStringLiteral("ведущий")}, {2, QStringLiteral("ведомый")}};
}

const QString NormalText = QStringLiteral("<p>НОРМА</p>");
const QString ActiveText = QStringLiteral("<p style=\"color:red;\">АКТИВ</p>");
// A loop's two status bits (first bit, second bit) as an index.
const QStringList LoopStateTexts = {NormalText, QStringLiteral("<p style=\"color:red;\">ОБРЫВ</p>"),
                                    QStringLiteral("<p style=\"color:red;\">КЗ</p>"), ActiveText};
const QString LoopOffText = QStringLiteral("<p>ОТКЛ</p>");
const QString RelayOnText = QStringLiteral("<p style=\"color:red;\">ВКЛ</p>");
const QString RelayOffText = QStringLiteral("<p>ВЫКЛ</p>");
// What no status stands for any more.
const QString UnknownStateText = QStringLiteral("<p>?</p>");
const QString UnknownValueText = QStringLiteral("?");
const QString UnknownItem = QStringLiteral("&nbsp;&#9679; неизвестно");


// A value with no item is shown as an extra, marked item.
void selectItem(QComboBox *box, uint value)
{
    OutOfRange::showInComboBox(box, int(value));
}

QString macText(const quint8 (&mac)[6])
{
    QStringList bytes;
    for (const quint8 byte : mac)
        bytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0'));
    return bytes.join(QLatin1Char('-')).toUpper();
}

// A loop switched off in the settings reads so whatever the status says; a
// loop of an unknown status reads unknown.
QString loopText(quint32 mode, const std::optional<Status_Device_t> &stat, int shift)
{
    if (mode == 0)
        return LoopOffText;
    return stat ? LoopStateTexts.at((stat->Status3 >> shift) & 0x03) : UnknownStateText;
}

QString voltageText(quint16 millivolts)
{
    return QLocale().toString(millivolts / 1000.0, 'f', 1) + QStringLiteral(" В.");
}

QString currentText(quint16 milliamperes)
{
    return QString::number(milliamperes) + QStringLiteral(" мА.");
}

// A caption over its list, or nothing when the list is not to be shown.
QString titledBlock(const QString &caption, bool show, const QString &list)
{
    return show ? QStringLiteral("<p><u>%1</u><br/>%2</p>").arg(caption, list) : QString();
}

// What the page offers in a given state. The settings tab is always usable;
// the state tab and its commands need a live controller, and the remote-control
// command is not offered again while the controller still runs its check.
struct PageActions
{
    bool stateTab = false;
    bool remoteControl = false;
    bool clearEvents = false;
};

PageActions pageActions(bool connected, bool busy, bool remoteControlRunning)
{
    PageActions actions;
    actions.stateTab = connected;
    actions.remoteControl = !busy && !remoteControlRunning;
    actions.clearEvents = !busy;
    return actions;
}

} // namespace

ControllerConfigForm::ControllerConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::ControllerConfigForm)
    , client(appClient())
    , model(client->controllerConfigModel())
{
    ui->setupUi(this);
    // The form's placeholders are the longest identity texts: the labels keep
    // room for them, so that no identity is cut when the page is narrow.
    for (QLabel *label : {ui->lblSerialNo, ui->lblPcbVer, ui->lblFwVer, ui->lblFwDate})
        label->setMinimumWidth(label->sizeHint().width());
    // The same for the state labels and their widest state: the designed
    // width is a pixel short of some of them.
    const QStringList stateTexts = LoopStateTexts + QStringList{LoopOffText, RelayOnText, RelayOffText};
    for (QLabel *label : {ui->lblLoop1, ui->lblLoop2, ui->lblRelay1, ui->lblRelay2, ui->lblTamper}) {
        const QString shown = label->text();
        int width = label->minimumWidth();
        for (const QString &text : stateTexts) {
            label->setText(text);
            width = qMax(width, label->minimumSizeHint().width());
        }
        label->setText(shown);
        label->setMinimumWidth(width);
    }

    editorIds = {
        {ui->edtBlockID, ControllerConfigModel::BlockIdParam},
        {ui->edtLineAddr, ControllerConfigModel::LineAddrParam},
        {ui->edtTsign, ControllerConfigModel::TSignParam},
        {ui->edtMRef, ControllerConfigModel::MRefParam},
        {ui->edtTwork, ControllerConfigModel::TWorkParam},
        {ui->edtNExc, ControllerConfigModel::NExcParam},
        {ui->edtRatio, ControllerConfigModel::RatioParam},
        {ui->edtDist, ControllerConfigModel::DistParam},
        {ui->cbLoop1, ControllerConfigModel::Loop1ModeParam},
        {ui->cbLoop2, ControllerConfigModel::Loop2ModeParam},
        {ui->edtIpAddr, ControllerConfigModel::IpAddrParam},
        {ui->edtSubnetMask, ControllerConfigModel::NetMaskParam},
        {ui->edtGateway, ControllerConfigModel::GatewayParam},
        {ui->cbLineMode, ControllerConfigModel::LineModeParam},
        {ui->cbRange, ControllerConfigModel::RangeParam},
        {ui->cbLPFs, ControllerConfigModel::LpfParam},
        {ui->cbHPFs, ControllerConfigModel::HpfParam},
        {ui->ckDAFs, ControllerConfigModel::DafParam},
        {ui->cbSRule, ControllerConfigModel::RuleJpParam},
    };
    blockIdValidator = new BlockIdValidator(ui->edtBlockID);
    ui->edtBlockID->setValidator(blockIdValidator);
    ui->lblBlockIdCut->hide();
    connect(ui->edtBlockID, &QLineEdit::textChanged, this, &ControllerConfigForm::showBlockIdCut);
    for (QLineEdit *edit : {ui->edtIpAddr, ui->edtSubnetMask, ui->edtGateway})
        new Ipv4Edit(edit);
    fillComboBoxes();
    ui->lblRemoteControl->hide();

    connectClient();
    connectEditors();
    setConnected(false);

    showIdentity();
    showSettings();
}

ControllerConfigForm::~ControllerConfigForm()
{
    delete ui;
}

void ControllerConfigForm::fillComboBoxes()
{
    using namespace Dictionaries;
    ModuleTable::fillCombo(ui->cbLoop1, loopModes());
    ModuleTable::fillCombo(ui->cbLoop2, loopModes());
    ModuleTable::fillCombo(ui->cbLineMode, lineModes());
    ModuleTable::fillCombo(ui->cbRange, accelerationRanges());
    ModuleTable::fillCombo(ui->cbLPFs, lowPassFilters());
    ModuleTable::fillCombo(ui->cbHPFs, highPassFilters());
    ModuleTable::fillCombo(ui->cbSRule, jointRules());
}

void ControllerConfigForm::connectClient()
{
    connect(client, &LantrelClient::deviceConnected, this, [this] { setConnected(true); });
    connect(client, &LantrelClient::deviceDisconnected, this, [this] { setConnected(false); });
    connect(client, &LantrelClient::controllerStatusChanged, this, &ControllerConfigForm::onControllerStatus);
    connect(client, &LantrelClient::powerStatusChanged, this, &ControllerConfigForm::onPowerStatus);
    connect(client, &LantrelClient::lineStatusChanged, this, &ControllerConfigForm::onLineStatus);
    connect(client, &LantrelClient::eventMemoryStatus, this, &ControllerConfigForm::onEventMemoryStatus);
    connect(client, &LantrelClient::writeFinished, this, &ControllerConfigForm::onWriteFinished);
    connect(ui->btnRemoteControl, &QPushButton::clicked, client, &LantrelClient::startRemoteControl);
    connect(ui->btnClearEvents, &QPushButton::clicked, this, &ControllerConfigForm::clearEvents);
    connect(model, &ControllerConfigModel::dataChanged, this, &ControllerConfigForm::onModelDataChanged);
    // The settings are read-only while the configuration is sent or replaced.
    connect(client, &LantrelClient::configurationBusyChanged, this, [this](bool busy) {
        const QList<QObject *> editors = editorIds.keys();
        for (QObject *editor : editors)
            static_cast<QWidget *>(editor)->setEnabled(!busy);
    });
}

void ControllerConfigForm::connectEditors()
{
    for (QLineEdit *edit : {ui->edtBlockID, ui->edtIpAddr, ui->edtSubnetMask, ui->edtGateway})
        connect(edit, &QLineEdit::textChanged, this, &ControllerConfigForm::onLineEditTextChanged);
    for (QSpinBox *spin : {ui->edtLineAddr, ui->edtTwork, ui->edtTsign, ui->edtDist, ui->edtMRef, ui->edtNExc,
                           ui->edtRatio})
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &ControllerConfigForm::onSpinBoxValueChanged);
    for (QComboBox *box : {ui->cbLoop1, ui->cbLoop2, ui->cbLineMode, ui->cbRange, ui->cbLPFs, ui->cbHPFs,
                           ui->cbSRule})
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &ControllerConfigForm::onComboBoxIndexChanged);
    // A held value is left by a click that checks the box without toggling it.
    connect(ui->ckDAFs, &QCheckBox::stateChanged, this, &ControllerConfigForm::onCheckBoxToggled);
}

int ControllerConfigForm::editorId(QObject *editor) const
{
    return editorIds.value(editor, -1);
}

// ------------------------------------------------------------ settings tab

void ControllerConfigForm::onModelDataChanged(const QVector<int> &roles)
{
    if (roles.contains(ControllerConfigModel::IdentityReplaced))
        showIdentity();
    if (roles.contains(ControllerConfigModel::SettingsReplaced))
        showSettings();
}

void ControllerConfigForm::showIdentity()
{
    const ControllerInfo &info = model->info;
    const bool controller = info.deviceType == BOS_LIN;
    ui->lblSerialNo->setText(controller ? info.serialNumber : QString());
    ui->lblPcbVer->setText(controller ? info.boardVersion : QString());
    ui->lblFwVer->setText(controller ? info.firmwareVersion : QString());
    ui->lblFwDate->setText(controller ? info.firmwareDate : QString());
}

// Shows the model's settings without writing any of them back.
void ControllerConfigForm::showSettings()
{
    const Konfig_Device_t device = model->deviceConfig;
    const ETH_konf_t network = model->networkConfig;
    const Konfig_Line_t line = model->lineConfig;

    ui->lblMacAddr->setText(macText(network.MAC));

    const QList<QObject *> editors = editorIds.keys();
    for (QObject *editor : editors)
        editor->blockSignals(true);

    blockIdValidator->hold(model->blockId);
    ui->edtBlockID->setText(model->blockId);
    showBlockIdCut();
    ui->edtIpAddr->setText(QHostAddress(network.IPAddr).toString());
    ui->edtSubnetMask->setText(QHostAddress(network.NetMask).toString());
    ui->edtGateway->setText(QHostAddress(network.Gateway).toString());

    // A value beyond an editor's range is shown as it is and kept.
    OutOfRange::showInSpinBox(ui->edtLineAddr, device.LineAddr);
    OutOfRange::showInSpinBox(ui->edtTwork, device.TWork);
    OutOfRange::showInSpinBox(ui->edtTsign, device.TSign);
    OutOfRange::showInSpinBox(ui->edtDist, device.Dist);
    OutOfRange::showInSpinBox(ui->edtMRef, device.MRef);
    OutOfRange::showInSpinBox(ui->edtNExc, device.NExc);
    OutOfRange::showInSpinBox(ui->edtRatio, device.Ratio);

    setLoopModes((device.CfgLoop >> 4) & 0x03, (device.CfgLoop >> 6) & 0x03);
    selectItem(ui->cbLoop1, loop1Mode);
    selectItem(ui->cbLoop2, loop2Mode);
    selectItem(ui->cbLineMode, line.LineMode);
    selectItem(ui->cbRange, device.Range);
    selectItem(ui->cbLPFs, device.LPF);
    selectItem(ui->cbHPFs, device.HPF);
    selectItem(ui->cbSRule, device.RuleJP);
    OutOfRange::showInCheckBox(ui->ckDAFs, device.DAF);

    for (QObject *editor : editors)
        editor->blockSignals(false);
}

void ControllerConfigForm::onLineEditTextChanged()
{
    auto *edit = qobject_cast<QLineEdit *>(sender());
    const int id = editorId(edit);
    // A partly typed address is not written: the model keeps the last whole one.
    if (id < 0 || !edit->hasAcceptableInput())
        return;
    model->setData(id, edit->text(), Qt::EditRole);
    // An edited identifier is text: what it says of held bytes is gone.
    if (edit == ui->edtBlockID)
        showBlockIdCut();
}

// An identifier longer than the controller keeps is shown whole and marked;
// so is one whose bytes are no text, which goes back as it came until edited.
void ControllerConfigForm::showBlockIdCut()
{
    const bool held = !model->heldBlockId.isNull();
    const bool cut = !held && ui->edtBlockID->text().toUtf8().size() > BlockIdMaxBytes;
    OutOfRange::markWidget(ui->edtBlockID, held || cut);
    ui->lblBlockIdCut->setText(held ? QStringLiteral("Не текст UTF-8: ЦУ-Л получит его таким, как прочитан")
                                    : QStringLiteral("ЦУ-Л получит только первые %1 байта идентификатора")
                                          .arg(BlockIdMaxBytes));
    ui->lblBlockIdCut->setToolTip(held ? QStringLiteral("<p>Идентификатор в ЦУ-Л не является текстом UTF-8 и "
                                                        "показан не таким, как хранится. Пока он не изменён, "
                                                        "ЦУ-Л получит его таким, как прочитан.</p>")
                                       : QString());
    ui->lblBlockIdCut->setVisible(held || cut);
}

void ControllerConfigForm::onSpinBoxValueChanged()
{
    auto *spin = qobject_cast<QSpinBox *>(sender());
    const int id = editorId(spin);
    if (id < 0 || OutOfRange::isHeld(spin))
        return;
    model->setData(id, spin->value(), Qt::EditRole);
}

void ControllerConfigForm::onComboBoxIndexChanged()
{
    auto *box = qobject_cast<QComboBox *>(sender());
    const int id = editorId(box);
    if (id < 0 || box->currentIndex() < 0)
        return;
    model->setData(id, box->currentData(Qt::UserRole), Qt::EditRole);
}

void ControllerConfigForm::onCheckBoxToggled()
{
    auto *check = qobject_cast<QCheckBox *>(sender());
    const int id = editorId(check);
    if (id < 0 || OutOfRange::isHeld(check))
        return;
    model->setData(id, check->isChecked() ? 1u : 0u, Qt::EditRole);
}

// The settings just written are the controller's now: read its loop bits by them.
void ControllerConfigForm::onWriteFinished()
{
    setLoopModes(ui->cbLoop1->currentData(Qt::UserRole).toUInt(), ui->cbLoop2->currentData(Qt::UserRole).toUInt());
}

// The controller reports its status only when it changes, so the last one
// is shown again by the new modes.
void ControllerConfigForm::setLoopModes(quint32 loop1, quint32 loop2)
{
    loop1Mode = loop1;
    loop2Mode = loop2;
    if (lastStatus || statusUnknown)
        showLoops();
}

// --------------------------------------------------------------- state tab

void ControllerConfigForm::onControllerStatus(Status_Device_t stat)
{
    lastStatus = stat;
    statusUnknown = false;
    showLoops();
    ui->lblRelay1->setText(stat.Status3 & 0x01 ? RelayOnText : RelayOffText);
    ui->lblRelay2->setText(stat.Status3 & 0x02 ? RelayOnText : RelayOffText);
    ui->lblTamper->setText(stat.Status1 & 0x08 ? ActiveText : NormalText);
    ui->lblControllerFaults->setText(titledBlock(QStringLiteral("Ошибки ЦУ-Л:"),
                                                 stat.Status2 != 0 || (stat.Status1 & 0x30) != 0,
                                                 controllerFaultsToHtml(stat)));

    remoteControlRunning = stat.Status1 & 0x01;
    ui->lblRemoteControl->setVisible(remoteControlRunning);
    updateActions();
}

void ControllerConfigForm::showLoops()
{
    ui->lblLoop1->setText(loopText(loop1Mode, lastStatus, 4));
    ui->lblLoop2->setText(loopText(loop2Mode, lastStatus, 6));
}

void ControllerConfigForm::onPowerStatus(Feature_Device_t stat)
{
    ui->lblVddExt->setText(voltageText(stat.VddExt));
    ui->lblVddInt->setText(voltageText(stat.VddInt));
    ui->lblVddBat->setText(voltageText(stat.VddBat));
    ui->lblVddLin->setText(voltageText(stat.VddLin));
    ui->lblIddSens->setText(currentText(stat.IddSens));
    ui->lblIddLin->setText(currentText(stat.IddLin));
}

void ControllerConfigForm::onLineStatus(Status_Line_t status)
{
    if (status.State == LantrelClient::UnknownLineState) {
        showStatusUnknown();
        return;
    }
    ui->lblLineStatus->setText(titledBlock(QStringLiteral("Состояние линии:"), true, lineStatusToHtml(status)));
    ui->lblLineFaults->setText(titledBlock(QStringLiteral("Ошибки работы линии:"), status.Faults != 0,
                                           lineFaultsToHtml(status)));
}

// The controller no longer gives its status: nothing shown from the last one
// stands. The next status shows it all again.
void ControllerConfigForm::showStatusUnknown()
{
    lastStatus.reset();
    statusUnknown = true;
    showLoops();
    for (QLabel *state : {ui->lblRelay1, ui->lblRelay2, ui->lblTamper})
        state->setText(UnknownStateText);
    for (QLabel *value : {ui->lblVddExt, ui->lblVddInt, ui->lblVddBat, ui->lblVddLin, ui->lblIddSens,
                          ui->lblIddLin, ui->lblEventsTotal, ui->lblEventsUnread})
        value->setText(UnknownValueText);
    ui->lblLineStatus->setText(titledBlock(QStringLiteral("Состояние линии:"), true, UnknownItem));
    ui->lblLineFaults->setText(titledBlock(QStringLiteral("Ошибки работы линии:"), true, UnknownItem));
    ui->lblControllerFaults->setText(titledBlock(QStringLiteral("Ошибки ЦУ-Л:"), true, UnknownItem));
    remoteControlRunning = false;
    ui->lblRemoteControl->setVisible(false);
    updateActions();
}

void ControllerConfigForm::onEventMemoryStatus(ushort all_events, ushort unreaded_events)
{
    ui->lblEventsTotal->setText(QString::number(all_events));
    ui->lblEventsUnread->setText(QString::number(unreaded_events));
}

void ControllerConfigForm::clearEvents()
{
    const QMessageBox::StandardButton answer = UiSeams::messageBox(
        this, QMessageBox::Question, windowTitle(),
        QStringLiteral("Очистить все сохраненные в памяти ЦУ-Л события?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        client->clearEvents();
}

// ------------------------------------------------------------ enable rules

void ControllerConfigForm::disableFormActions(bool yes)
{
    busy = yes;
    updateActions();
}

void ControllerConfigForm::setConnected(bool yes)
{
    connected = yes;
    // Off the state tab before it is disabled, so the settings are on screen.
    if (!yes)
        ui->tabWidget->setCurrentIndex(SettingsTab);
    updateActions();
}

void ControllerConfigForm::updateActions()
{
    const PageActions actions = pageActions(connected, busy, remoteControlRunning);
    ui->tabWidget->setTabEnabled(StateTab, actions.stateTab);
    ui->btnRemoteControl->setEnabled(actions.remoteControl);
    ui->btnClearEvents->setEnabled(actions.clearEvents);
}
