#include "stateviewerform.h"
#include "ui_stateviewerform.h"

#include <QCloseEvent>
#include <QLocale>
#include <QScrollBar>
#include <QSettings>

#include "appcontext.h"
#include "appglobals.h"
#include "clientlinestate.h"
#include "commandpanelrules.h"
#include "controllerconfigmodel.h"
#include "flagsviewerwidget.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "modulestatetext.h"
#include "texthelpers.h"
#include "uiseams.h"
#include "windowfit.h"

using namespace LantrelProtocol;

namespace {

const QString SettingsGroup = QStringLiteral("StateViewer");
const QString GeometryKey = QStringLiteral("Geometry");

FlagsCell cellOf(const LineModuleRecord &m)
{
    return {m.deviceType, m.stateFlags, m.loop1Mode, m.loop2Mode};
}

// A list that may be empty takes no room while it is.
void showList(QLabel *label, const QString &html)
{
    label->setText(html);
    label->setVisible(!html.isEmpty());
}

QString milliamperes(quint16 value)
{
    return QString::number(value) + QStringLiteral(" мА.");
}

const QString UnknownRelayText = QStringLiteral("<p>?</p>");
const QString UnknownItem = QStringLiteral("&nbsp;&#9679; неизвестно<br/>");
const QString LineHeading = QStringLiteral("<p><u>Состояние линии:</u><br/>");

} // namespace

StateViewerForm::StateViewerForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::StateViewerForm)
    , client(appClient())
    , modules(client->lineModulesModel())
{
    ui->setupUi(this);
    setUpCommandPanel();

    connect(client, &LantrelClient::controllerStatusChanged, this, &StateViewerForm::onControllerStatus);
    connect(client, &LantrelClient::powerStatusChanged, this, &StateViewerForm::onPowerStatus);
    connect(client, &LantrelClient::lineStatusChanged, this, &StateViewerForm::onLineStatus);
    connect(ui->wgtFlagsViewer, &FlagsViewerWidget::activeCellChanged, this, &StateViewerForm::onActiveCellChanged);
    connect(ui->wgtFlagsViewer, &FlagsViewerWidget::activeCellChanged, this, [this](int cell) {
        const QRectF r = ui->wgtFlagsViewer->cellRect(cell);
        ui->saFlagsViewer->ensureVisible(int(r.center().x()), int(r.center().y()), int(r.width()),
                                         int(r.height()));
    });
    // The same meaning of "connected" as the module-data window's tabs.
    auto *link = new ClientLineState(this);
    const auto followLink = [this, link]() {
        if (link->isConnected())
            onDeviceConnected();
        else
            onDeviceDisconnected();
    };
    connect(link, &ClientLineState::connectionChanged, this, followLink);
    connect(modules, &QAbstractItemModel::dataChanged, this, &StateViewerForm::onModulesChanged);
    // New module counts change how many modules a group may take.
    connect(client->controllerConfigModel(), &ControllerConfigModel::dataChanged, this,
            [this](const QVector<int> &roles) {
                if (roles.contains(ControllerConfigModel::SettingsReplaced))
                    onActiveCellChanged(ui->wgtFlagsViewer->activeCell());
            });

    for (int cell = 0; cell < FlagsViewerWidget::CellCount; ++cell)
        ui->wgtFlagsViewer->setCell(cell, cellOf(modules->moduleAt(quint16(cell + 1))));

    followLink();

    onActiveCellChanged(ui->wgtFlagsViewer->activeCell());
    fitToContents();
    restoreGeometryFromSettings();
}

StateViewerForm::~StateViewerForm()
{
    delete ui;
}

void StateViewerForm::setUpCommandPanel()
{
    ui->buttonGroup->setId(ui->rbSingleModule, SelectedModule);
    ui->buttonGroup->setId(ui->rbGroupModule, ModuleGroup);
    ui->buttonGroup->setId(ui->rbAllModule, AllModules);
    connect(ui->buttonGroup, &QButtonGroup::idToggled, this, &StateViewerForm::onSelectorToggled);
    connect(ui->edtModuleCount, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &StateViewerForm::onModuleCountChanged);

    ui->cbLoop->addItem(QStringLiteral("1"), 1);
    ui->cbLoop->addItem(QStringLiteral("2"), 2);
    ui->cbLoop->addItem(QStringLiteral("Все"), 0);

    for (QPushButton *arm : {ui->btnArmSensor, ui->btnArmIoModule})
        connect(arm, &QPushButton::clicked, this, [this]() { changeArmedState(true); });
    for (QPushButton *disarm : {ui->btnDisarmSensor, ui->btnDisarmIoModule})
        connect(disarm, &QPushButton::clicked, this, [this]() { changeArmedState(false); });
    for (QPushButton *on : {ui->btnRelayOn, ui->btnScpOn})
        connect(on, &QPushButton::clicked, this, [this]() { changeRelayState(true); });
    for (QPushButton *off : {ui->btnRelayOff, ui->btnScpOff})
        connect(off, &QPushButton::clicked, this, [this]() { changeRelayState(false); });
    for (QPushButton *disable : {ui->btnDisableSensor, ui->btnDisableIoModule})
        connect(disable, &QPushButton::clicked, this, &StateViewerForm::disableModule);
}

void StateViewerForm::fitToContents()
{
    // A side column scrolls when the window is too short for it; its width
    // keeps room for the scroll bar, so that nothing is cut sideways then.
    ensurePolished();
    layout()->activate();
    for (QScrollArea *side : {ui->saController, ui->saModules}) {
        side->setMinimumWidth(qMax(side->minimumWidth(), side->widget()->sizeHint().width()
                                                             + side->verticalScrollBar()->sizeHint().width()));
    }
    // The designed size suits small fonts; with larger ones the window opens
    // as large as its columns and the whole grid need, within the screen.
    const QMargins margins = layout()->contentsMargins();
    const int width = ui->saController->minimumWidth() + ui->saModules->minimumWidth()
                      + ui->wgtFlagsViewer->sizeHint().width() + 2 * layout()->spacing() + margins.left()
                      + margins.right();
    // A few more lines of module state than the first selection shows.
    const int height = qMax(ui->saControllerContents->sizeHint().height(),
                            ui->saModulesContents->sizeHint().height() + 3 * fontMetrics().lineSpacing())
                       + margins.top() + margins.bottom();
    resize(WindowFit::boundedToScreen(this, size().expandedTo(QSize(width, height))));
}

void StateViewerForm::restoreGeometryFromSettings()
{
    appSettings->sync();
    appSettings->beginGroup(SettingsGroup);
    const QByteArray geometry = readHexSetting(GeometryKey);
    appSettings->endGroup();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void StateViewerForm::closeEvent(QCloseEvent *event)
{
    const QByteArray geometry = saveGeometry();
    if (!geometry.isEmpty()) {
        appSettings->beginGroup(SettingsGroup);
        writeHexSetting(GeometryKey, geometry);
        appSettings->endGroup();
    }
    event->accept();
}

// ---------------------------------------------------------------------------
// Controller panel

void StateViewerForm::onDeviceConnected()
{
    online = true;
    ui->lblConnStatus->setText(QStringLiteral("<p><b>Подключен к ЦУ-Л</b></p>"));
    onControllerStatus(client->lastControllerStatus());
    onPowerStatus(client->lastPowerStatus());
    onLineStatus(client->lastLineStatus());
    updateActions();
}

void StateViewerForm::onDeviceDisconnected()
{
    online = false;
    ui->lblConnStatus->setText(QStringLiteral("<p style=\"color:red\"><b>Нет связи с ЦУ-Л</b></p>"));
    onControllerStatus(Status_Device_t());
    onPowerStatus(Feature_Device_t());
    onLineStatus(Status_Line_t());
    updateActions();
}

void StateViewerForm::onControllerStatus(Status_Device_t stat)
{
    const auto relayText = [this](bool on) {
        if (!online)
            return UnknownRelayText;
        return on ? QStringLiteral("<p style=\"color:red;\">ВКЛ</p>") : QStringLiteral("<p>ВЫКЛ</p>");
    };
    ui->lblRelay1->setText(relayText(stat.Status3 & 0x01));
    ui->lblRelay2->setText(relayText(stat.Status3 & 0x02));

    const bool faults = stat.Status2 != 0 || (stat.Status1 & 0x30);
    showList(ui->lblControllerFaults, faults ? QStringLiteral("<p><u>Ошибки ЦУ-Л:</u><br/>")
                                                   + controllerFaultsToHtml(stat) + QStringLiteral("</p>")
                                             : QString());
}

void StateViewerForm::onPowerStatus(Feature_Device_t stat)
{
    ui->lblVddLin->setText(QLocale().toString(stat.VddLin / 1000.0, 'f', 1) + QStringLiteral(" В."));
    ui->lblIddSens->setText(milliamperes(stat.IddSens));
    ui->lblIddLin->setText(milliamperes(stat.IddLin));
}

void StateViewerForm::onLineStatus(Status_Line_t status)
{
    lineOn = online && status.State == LN_ONN;
    if (!online) {
        ui->lblLineStatus->setText(LineHeading + UnknownItem + QStringLiteral("</p>"));
        showList(ui->lblLineFaults, QString());
        return;
    }
    if (status.State == LantrelClient::UnknownLineState) {
        showStatusUnknown();
        updateActions();
        return;
    }
    ui->lblLineStatus->setText(LineHeading + lineStatusToHtml(status) + QStringLiteral("</p>"));
    showList(ui->lblLineFaults, status.Faults != 0 ? QStringLiteral("<p><u>Ошибки работы линии:</u><br/>")
                                                         + lineFaultsToHtml(status) + QStringLiteral("</p>")
                                                   : QString());
    updateActions();
}

// The controller no longer gives its status: nothing shown from the last one
// stands. The next status shows it all again.
void StateViewerForm::showStatusUnknown()
{
    ui->lblLineStatus->setText(LineHeading + UnknownItem + QStringLiteral("</p>"));
    showList(ui->lblLineFaults, QStringLiteral("<p><u>Ошибки работы линии:</u><br/>") + UnknownItem
                                    + QStringLiteral("</p>"));
    ui->lblRelay1->setText(UnknownRelayText);
    ui->lblRelay2->setText(UnknownRelayText);
    for (QLabel *value : {ui->lblVddLin, ui->lblIddSens, ui->lblIddLin})
        value->setText(QStringLiteral("?"));
    showList(ui->lblControllerFaults,
             QStringLiteral("<p><u>Ошибки ЦУ-Л:</u><br/>") + UnknownItem + QStringLiteral("</p>"));
}

// ---------------------------------------------------------------------------
// Selected module

void StateViewerForm::onModulesChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                       const QVector<int> &roles)
{
    // The background role comes with every change of a module or its state,
    // the user role with a new position of a module in its table.
    const bool cellsChanged = roles.contains(Qt::BackgroundRole);
    if (!cellsChanged && !roles.contains(Qt::UserRole))
        return;
    const int first = topLeft.row();
    const int last = bottomRight.row();
    if (cellsChanged) {
        for (int row = first; row <= last; ++row)
            ui->wgtFlagsViewer->setCell(row, cellOf(modules->moduleAt(quint16(row + 1))));
    }
    const int active = ui->wgtFlagsViewer->activeCell();
    if (active >= first && active <= last)
        onActiveCellChanged(active);
}

void StateViewerForm::onActiveCellChanged(int cell_idx)
{
    lineAddress = quint16(cell_idx + 1);
    const LineModuleRecord module = modules->moduleAt(lineAddress);
    ui->lblModAddr->setText(QString::number(lineAddress));
    alarmLoops.clear();
    modulePresent = module.deviceType != 0;
    targetType = module.deviceType;
    if (modulePresent) {
        ui->lblModType->setText(module.typeName);
        ui->lblSerialNo->setText(module.serialNumberText);
        showModuleState(module);
    } else {
        ui->lblModType->setText(QStringLiteral("Нет"));
        commandsAllowed = false;
    }
    selectCommandPage(module, cell_idx);
    onSelectorToggled();
}

void StateViewerForm::showModuleState(const LineModuleRecord &module)
{
    ui->lblStatusDetail->setText(moduleStateHtml(module, &commandsAllowed));
    showList(ui->lblFaultDetail, moduleFaultsHtml(module));
}

void StateViewerForm::selectCommandPage(const LineModuleRecord &module, int cell_idx)
{
    ui->edtModuleCount->setMaximum(FlagsViewerWidget::CellCount - cell_idx);
    switch (module.deviceType) {
    case SECT_MVV:
        commandPage = IoModulePage;
        if (module.loop1Mode == 1)
            alarmLoops.insert(1);
        if (module.loop2Mode == 1)
            alarmLoops.insert(2);
        break;
    case SECT_ACCI:
    case SECT_ACC:
        commandPage = SensorPage;
        break;
    case SECT_MKZ:
        // One line-protection module at a time.
        commandPage = ScpModulePage;
        if (targetMode != SelectedModule)
            ui->rbSingleModule->setChecked(true);
        ui->edtModuleCount->setMaximum(1);
        break;
    default:
        moduleNumber = 0;
        modulesLeft = 0;
        return;
    }
    moduleNumber = module.tableIndex + 1;
    modulesLeft = modulesLeftFrom(module);
    if (ui->stackedWidget->currentIndex() != commandPage)
        ui->stackedWidget->setCurrentIndex(commandPage);
}

int StateViewerForm::modulesLeftFrom(const LineModuleRecord &module) const
{
    const Konfig_Line_t &line = client->controllerConfigModel()->lineConfig;
    int count = 0;
    switch (module.deviceType) {
    case SECT_MVV:
        count = line.IoCount;
        break;
    case SECT_ACCI:
    case SECT_ACC:
        count = line.SensorCount;
        break;
    case SECT_MKZ:
        count = line.ScpCount;
        break;
    default:
        break;
    }
    // Counts that lag behind the tables must not make room for more modules.
    return qMax(0, count - int(module.tableIndex));
}

// ---------------------------------------------------------------------------
// Command panel

void StateViewerForm::onSelectorToggled()
{
    targetMode = ui->buttonGroup->checkedId();
    updateActions();
}

void StateViewerForm::onModuleCountChanged(int)
{
    updateActions();
}

void StateViewerForm::disableFormActions(bool yes)
{
    actionsEnabled = !yes;
    updateActions();
}

void StateViewerForm::updateActions()
{
    CommandPanelState state;
    state.modulePresent = modulePresent;
    state.online = online;
    state.lineOn = lineOn;
    state.actionsEnabled = actionsEnabled;
    state.commandsAllowed = commandsAllowed;
    state.page = commandPage;
    state.targetMode = targetMode;
    state.groupSize = ui->edtModuleCount->value();
    state.modulesLeft = modulesLeft;
    state.alarmLoops = alarmLoops;
    const CommandPanelEnables e = commandPanelEnables(state);

    ui->frameModuleData->setVisible(e.panelVisible);
    ui->gbControls->setVisible(e.panelVisible);
    ui->gbControls->setEnabled(e.panelEnabled);
    ui->edtModuleCount->setEnabled(e.groupSizeEnabled);
    ui->rbGroupModule->setEnabled(e.targetChoicesEnabled);
    ui->rbAllModule->setEnabled(e.targetChoicesEnabled);
    for (QPushButton *b : {ui->btnArmSensor, ui->btnDisarmSensor, ui->btnDisableSensor})
        b->setEnabled(e.sensorCommands);
    if (e.forcedLoop >= 0)
        ui->cbLoop->setCurrentIndex(ui->cbLoop->findData(e.forcedLoop));
    ui->cbLoop->setEnabled(e.loopChoiceEnabled);
    ui->btnArmIoModule->setEnabled(e.ioArming);
    ui->btnDisarmIoModule->setEnabled(e.ioArming);
    ui->btnRelayOn->setEnabled(e.ioRelay);
    ui->btnRelayOff->setEnabled(e.ioRelay);
    ui->btnDisableIoModule->setEnabled(e.ioDisable);
}

bool StateViewerForm::resolveTarget()
{
    const LineModuleRecord module = modules->moduleAt(lineAddress);
    if (module.deviceType == 0 || module.deviceType != targetType) {
        UiSeams::messageBox(this, QMessageBox::Warning, windowTitle(),
                            QStringLiteral("Модуль с адресом %1 отсутствует в конфигурации. "
                                           "Команда не отправлена.")
                                .arg(lineAddress));
        ui->wgtFlagsViewer->setCell(lineAddress - 1, cellOf(module));
        onActiveCellChanged(lineAddress - 1);
        return false;
    }
    moduleNumber = module.tableIndex + 1;
    modulesLeft = modulesLeftFrom(module);
    return true;
}

int StateViewerForm::groupSize() const
{
    // A group ends with the last module of its kind.
    return qMin(ui->edtModuleCount->value(), modulesLeft);
}

void StateViewerForm::changeArmedState(bool set_on)
{
    if (!resolveTarget())
        return;
    const quint16 first = quint16(moduleNumber);
    if (commandPage == SensorPage) {
        // Both sensor kinds are commanded as type 4.
        if (targetMode == AllModules)
            client->changeArmedState(SECT_ACC, 0, 0, set_on);
        else if (targetMode == SelectedModule)
            client->changeArmedState(SECT_ACC, first, 1, set_on);
        else if (groupSize() > 0)
            client->changeArmedState(SECT_ACC, first, quint16(groupSize()), set_on);
    } else if (commandPage == IoModulePage) {
        if (targetMode == AllModules)
            client->changeArmedState(SECT_MVV, 0, 0, set_on);
        else if (targetMode == SelectedModule)
            client->changeArmedState(SECT_MVV, first, quint16(ui->cbLoop->currentData().toUInt()), set_on);
    }
}

void StateViewerForm::changeRelayState(bool set_on)
{
    if (!resolveTarget())
        return;
    const quint16 first = quint16(moduleNumber);
    if (commandPage == ScpModulePage) {
        client->changeRelayState(SECT_MKZ, first, 1, set_on);
    } else if (commandPage == IoModulePage) {
        if (targetMode == SelectedModule)
            client->changeRelayState(SECT_MVV, first, 1, set_on);
        else if (targetMode == ModuleGroup && groupSize() > 0)
            client->changeRelayState(SECT_MVV, first, quint16(groupSize()), set_on);
    }
}

void StateViewerForm::disableModule()
{
    if (!resolveTarget())
        return;
    if (targetMode == AllModules)
        client->disableModule(0, 0);
    else if (targetMode == SelectedModule)
        client->disableModule(lineAddress, 1);
    else if (groupSize() > 0)
        client->disableModule(lineAddress, quint16(groupSize()));
}
