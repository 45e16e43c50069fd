#include "linemodulesform.h"
#include "ui_linemodulesform.h"

#include <QMenu>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QStyle>

#include "appcontext.h"
#include "tableviews.h"
#include "appglobals.h"
#include "lantrelclient.h"
#include "linemodulesfiltermodel.h"
#include "linemodulesmodel.h"
#include "linemodulesrules.h"
#include "tablewidthfollower.h"
#include "texthelpers.h"
#include "uiseams.h"
#include "unsentedits.h"

using namespace LantrelProtocol;

namespace {
const QString HideEmptyKey = QStringLiteral("LineModulesForm/HideEmptyLines");
const QString EnableChangeSerialKey = QStringLiteral("Common/EnableChangeSerial");

// State flags that allow deleting a module: it cannot be reached or is left out.
constexpr quint32 DeletableStates = ModuleNoLink | ModuleExcluded;

void fillCombo(QComboBox *combo, const QList<QPair<QString, int>> &items)
{
    for (const auto &item : items)
        combo->addItem(item.first, item.second);
}

QValidator *serialNumberValidator(QObject *parent)
{
    // Number, point, two-digit year.
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{1,6}\\.\\d{2}")), parent);
}
} // namespace

LineModulesForm::LineModulesForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::LineModulesForm)
{
    ui->setupUi(this);
    fillCombo(ui->cbFilter, {{QStringLiteral("Все модули"), 0}, {QStringLiteral("ВТ-Л"), 1},
                             {QStringLiteral("ПС-Л"), 2}, {QStringLiteral("ТЗ-Л"), 3}});
    fillCombo(ui->cbModType, {{QStringLiteral("нет"), DEV_NOT}, {QStringLiteral("ВТ-Л"), SECT_ACC},
                              {QStringLiteral("ВС-Л"), SECT_ACCI}, {QStringLiteral("ПС-Л"), SECT_MVV},
                              {QStringLiteral("ТЗ-Л"), SECT_MKZ}});
    fillCombo(ui->cbSelectionMode, {{QStringLiteral("по магнитному сенсору"), 0},
                                    {QStringLiteral("выбрать из таблицы"), 1},
                                    {QStringLiteral("указать тип и номер"), 2}});
    ui->edtSerialNo->setValidator(serialNumberValidator(this));
    ui->edtNewSerialNo->setValidator(serialNumberValidator(this));

    connectClient();
    setUpTable();
    connectWidgets();

    ui->frameAddressing->hide();
    ui->gbSerialNumber->hide();
    enableChangeSerial = appSettings->value(EnableChangeSerialKey, false).toBool();

    // After the handler above: the free addresses are up to date when a row is selected.
    connect(client(), &LantrelClient::datasetChanged, this, &LineModulesForm::selectFirstRowIfNone);
    updateActions();
}

LineModulesForm::~LineModulesForm()
{
    // The table goes with the page's children, after this part of the page.
    ui->tableView->horizontalHeader()->disconnect(this);
    delete ui;
}

LantrelClient *LineModulesForm::client() const
{
    return appClient();
}

LineModulesModel *LineModulesForm::lineModules() const
{
    return appClient()->lineModulesModel();
}

void LineModulesForm::connectClient()
{
    LantrelClient *c = client();
    connect(c, &LantrelClient::foundLineModule, this, &LineModulesForm::onFoundLineModule);
    connect(c, &LantrelClient::lineConfigChanged, this, &LineModulesForm::onLineConfig);
    connect(c, &LantrelClient::datasetChanged, this, &LineModulesForm::onDatasetChanged);
    connect(c, &LantrelClient::deviceRebooted, this, &LineModulesForm::resetAddressingMode);
    connect(c, &LantrelClient::deviceDisconnected, this, [this]() {
        linkUp = false;
        resetAddressingMode();
    });
    connect(c, &LantrelClient::deviceConnected, this, [this]() {
        linkUp = true;
        updateActions();
    });
    // A driver that is still connecting is no link yet.
    linkUp = c->isConnected();
}

void LineModulesForm::setUpTable()
{
    filterModel = new LineModulesFilterModel(this);
    filterModel->setSourceModel(lineModules());

    QTableView *table = ui->tableView;
    setUpSortedModuleTable(table, filterModel);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, &LineModulesForm::showCustomContextMenu);
    connect(table, &QAbstractItemView::doubleClicked, this, &LineModulesForm::onTableDoubleClicked);

    // The table column is as wide as its contents; the spacer column takes the rest.
    new TableWidthFollower(table, ui->gridLayout);

    connect(ui->ckHideEmpty, &QCheckBox::toggled, this, [this](bool hide) {
        filterModel->setHideEmptyRows(hide);
        appSettings->setValue(HideEmptyKey, hide);
    });
    connect(ui->cbFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this]() { filterModel->setModuleTypeFilter(ui->cbFilter->currentData().toInt()); });
    ui->ckHideEmpty->setChecked(appSettings->value(HideEmptyKey, false).toBool());
}

void LineModulesForm::connectWidgets()
{
    connect(ui->cbSelectionMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LineModulesForm::onSelectionModeChanged);
    connect(ui->ckAllowGroup, &QCheckBox::toggled, this, &LineModulesForm::updateActions);
    connect(ui->cbModType, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LineModulesForm::onModuleInfoChanged);
    connect(ui->edtSerialNo, &QLineEdit::textChanged, this, &LineModulesForm::onModuleInfoChanged);
    connect(ui->edtNewAddress, QOverload<int>::of(&QSpinBox::valueChanged), this, &LineModulesForm::updateActions);
    connect(ui->edtModCount, QOverload<int>::of(&QSpinBox::valueChanged), this, &LineModulesForm::updateActions);
    connect(ui->edtNewSerialNo, &QLineEdit::textChanged, this, &LineModulesForm::updateActions);
    connect(ui->btnSetSerialNumber, &QPushButton::clicked, this, &LineModulesForm::changeSerialNumber);
    connect(ui->btnClearModules, &QPushButton::clicked, this, &LineModulesForm::clearModulesConfig);
    connect(ui->btnFindModules, &QPushButton::clicked, this, &LineModulesForm::findModules);
    connect(ui->btnModuleAddressing, &QPushButton::clicked, this, &LineModulesForm::beginAddressingMode);
    connect(ui->btnStopAddressing, &QPushButton::clicked, this, &LineModulesForm::endAddressingMode);
    connect(ui->btnSetAddr, &QPushButton::clicked, this, &LineModulesForm::changeModuleAddress);
}

void LineModulesForm::disableFormActions(bool yes)
{
    actionsEnabled = !yes;
    updateActions();
}

void LineModulesForm::updateActions()
{
    LineModulesPageState s;
    s.connected = linkUp && client()->hasDriver();
    s.actionsEnabled = actionsEnabled;
    s.waiting = waiting;
    s.addressingMode = addressingMode;
    s.allowGroup = ui->ckAllowGroup->isChecked();
    s.selectionMode = selectionMode;
    s.enableChangeSerial = enableChangeSerial;
    s.lineModulesTotal = lineModulesTotal;
    s.newSerialAcceptable = ui->edtNewSerialNo->hasAcceptableInput();
    if (addressingMode) {
        AddressChangeQuery q;
        q.moduleType = moduleType;
        q.moduleSerial = moduleSerial;
        q.moduleAddress = moduleAddress;
        q.storedAddress = storedAddress;
        q.newAddress = quint16(ui->edtNewAddress->value());
        q.selectionMode = selectionMode;
        q.group = s.allowGroup;
        q.groupSize = ui->edtModCount->value();
        const AddressChangeRule rule = addressChangeRule(q, freeAddresses);
        s.addressChangeAllowed = rule.enabled;
        if (q.group)
            groupEnd = rule.groupEnd;
    }

    const LineModulesPageActions a = lineModulesPageActions(s);
    ui->btnClearModules->setEnabled(a.clearModules);
    ui->btnFindModules->setEnabled(a.findModules);
    ui->btnModuleAddressing->setEnabled(a.startAddressing);
    if (addressingMode) {
        ui->frameModCount->setVisible(a.modCountVisible);
        ui->edtSerialNo->setEnabled(a.moduleInfoEditable);
        ui->cbModType->setEnabled(a.moduleInfoEditable);
    }
    ui->btnSetAddr->setEnabled(a.setAddress);
    ui->btnStopAddressing->setEnabled(a.stopAddressing);
    ui->gbSerialNumber->setVisible(a.serialGroupVisible);
    if (ui->gbSerialNumber->isVisible()) {
        ui->gbSerialNumber->setEnabled(a.serialGroupEnabled);
        ui->btnSetSerialNumber->setEnabled(a.setSerial);
    }
}

void LineModulesForm::onDatasetChanged()
{
    if (!addressingMode)
        return;
    rederiveCurrentModule();
    updateActions();
}

void LineModulesForm::selectFirstRowIfNone()
{
    QTableView *table = ui->tableView;
    if (!table->selectionModel()->hasSelection() && filterModel->rowCount() > 0)
        table->selectRow(0);
}

void LineModulesForm::onLineConfig(Konfig_Line_t line_cfg)
{
    lineModulesTotal = quint16(line_cfg.SensorCount + line_cfg.IoCount + line_cfg.ScpCount);
    ui->lblModulesCount->setText(QString::number(lineModulesTotal));
    ui->lblSensorsCount->setText(QString::number(line_cfg.SensorCount));
    ui->lblIoModulesCount->setText(QString::number(line_cfg.IoCount));
    ui->lblScpModulesCount->setText(QString::number(line_cfg.ScpCount));
}

void LineModulesForm::findModules()
{
    // The search replaces the module tables only: unsent edits of the
    // controller settings and relay modules stay as they are.
    if (client()->hasUnsentModuleTableEdits()
        && !askDropUnsentEdits(this, QStringLiteral("Поиск модулей"),
                               QStringLiteral("При поиске модулей таблицы модулей будут заменены прочитанными "
                                              "из ЦУ-Л, и изменения в них будут потеряны."),
                               QStringLiteral("Продолжить поиск модулей?")))
        return;
    client()->findLineModules();
}

void LineModulesForm::clearModulesConfig()
{
    const auto answer = UiSeams::messageBox(
        this, QMessageBox::Question, QStringLiteral("Очистка конфигурации"),
        QStringLiteral("<h3>Очистить конфигурацию линейных модулей?</h3>"
                       "<p>При очистке конфигурации будет удалена вся информация о модулях, параметрах обработки "
                       "и взаимодействиях из оперативной и энергонезависимой памяти ЦУ-Л.</p>"
                       "<p>Перед выполнением данной операции рекомендуется сохранить копию текущей конфигурации "
                       "в файл</p>"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::No)
        client()->clearModulesConfig();
}

// The module of the table's current row; an empty record for none or a free address.
LineModuleRecord LineModulesForm::currentModule() const
{
    const QModelIndex current = ui->tableView->currentIndex();
    if (!current.isValid())
        return LineModuleRecord();
    return lineModules()->moduleAt(quint16(filterModel->mapToSource(current).row() + 1));
}

void LineModulesForm::showCustomContextMenu(QPoint pos)
{
    const LineModuleRecord module = currentModule();
    if (module.deviceType == DEV_NOT)
        return;

    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Конфигурация модуля")), &QAction::triggered, this,
            [this, module]() { emit jumpToModuleConfig(module.deviceType, module.tableIndex); });
    if (module.deviceType == SECT_ACCI || module.deviceType == SECT_ACC) {
        menu.addSeparator();
        connect(menu.addAction(QStringLiteral("Параметры обработки")), &QAction::triggered, this,
                [this, module]() { emit jumpToProcessingConfig(module.tableIndex); });
    }
    if (module.stateFlags & DeletableStates) {
        menu.addSeparator();
        connect(menu.addAction(QStringLiteral("Удалить модуль")), &QAction::triggered, this,
                [this, module]() { askToDeleteModule(module); });
    }
    menu.exec(ui->tableView->viewport()->mapToGlobal(pos));
}

QString LineModulesForm::sentWithDeletionText(const LineModuleRecord &module) const
{
    const QStringList tables = client()->unsentEditsSentWithDeletion(module.deviceType, module.lineAddress);
    if (tables.isEmpty())
        return QString();
    return QStringLiteral("<p>Удаление сразу передается в ЦУ-Л. Вместе с ним будут переданы и не переданные ранее "
                          "изменения в таблицах, которые оно затрагивает (%1).</p>")
        .arg(tables.join(QStringLiteral(", ")));
}

void LineModulesForm::askToDeleteModule(const LineModuleRecord &module)
{
    const auto answer = UiSeams::messageBox(
        this, QMessageBox::Question, windowTitle(),
        QStringLiteral("<p>Удалить модуль из конфигурации ЦУ-Л?<br/>"
                       "Удаление временно отсутствующего модуля может привести к конфликту конфигурации</p>")
            + sentWithDeletionText(module),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::No)
        client()->deleteModule(module.deviceType, module.tableIndex, module.lineAddress);
}

void LineModulesForm::changeSerialNumber()
{
    const LineModuleRecord module = currentModule();
    if (module.deviceType == DEV_NOT)
        return;
    const quint32 serial = serialNumberFromString(ui->edtNewSerialNo->text());
    if (serial == 0)
        return;
    client()->setModuleAddressSerial(module.deviceType, serial, module.lineAddress, true);
}
