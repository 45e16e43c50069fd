#include "relaymodulesconfigform.h"
#include "ui_relaymodulesconfigform.h"

#include "appcontext.h"
#include "editorwindow.h"
#include "checkboxdelegate.h"
#include "columnfitter.h"
#include "fixedvaluesspindelegate.h"
#include "lantrelclient.h"
#include "moduletablepage.h"
#include "relaymoduleform.h"
#include "relaymodulesconfigmodel.h"
#include "relaymodulesdetailmodel.h"
#include "tablewidthfollower.h"
#include "uiseams.h"

namespace {
constexpr int MaxModules = 4;
}

RelayModulesConfigForm::RelayModulesConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::RelayModulesConfigForm)
    , client(appClient())
    , model(client->relayModulesConfigModel())
{
    ui->setupUi(this);

    ui->tableRelays->setModel(model);
    for (int column = RelayModulesConfigModel::FirstRelayColumn; column < RelayModulesConfigModel::ColumnCount;
         ++column)
        ui->tableRelays->hideColumn(column);
    setUpTable(ui->tableRelays);
    // The model keeps the flag read-only, so the box only shows it.
    ui->tableRelays->setItemDelegateForColumn(RelayModulesConfigModel::ExpansionColumn, new CheckBoxDelegate(this));
    ui->tableRelays->setEditTriggers(QAbstractItemView::NoEditTriggers);

    // Fits the columns whenever the list changes, once it is shown.
    widthFollower = new TableWidthFollower(ui->tableRelays, ui->gridLayout);
    // The add button follows the module count, also when a read fills the list.
    connect(model, &QAbstractItemModel::rowsInserted, this, &RelayModulesConfigForm::updateActions);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &RelayModulesConfigForm::updateActions);

    detailModel = new RelayModulesDetailModel(this);
    detailModel->setMasterModel(model);
    ui->tableDetail->setModel(detailModel);
    setUpTable(ui->tableDetail);
    // As wide as the module list above it.
    ui->tableDetail->horizontalHeader()->setStretchLastSection(true);
    new ColumnFitter(ui->tableDetail);
    ui->tableDetail->setItemDelegateForColumn(RelayModulesDetailModel::CountColumn,
                                              new FixedValuesSpinDelegate(0, 255, 1, 1, this));

    connect(ui->tableRelays->selectionModel(), &QItemSelectionModel::currentRowChanged,
            detailModel, &RelayModulesDetailModel::setMasterRow);
    connect(ui->tableRelays->selectionModel(), &QItemSelectionModel::currentRowChanged,
            this, &RelayModulesConfigForm::onMasterSelectionChanged);

    connect(ui->btnAddModule, &QPushButton::clicked, this, &RelayModulesConfigForm::addRelayModule);
    connect(ui->btnEditModule, &QPushButton::clicked, this, &RelayModulesConfigForm::editRelayModule);
    connect(ui->btnRemoveModule, &QPushButton::clicked, this, &RelayModulesConfigForm::deleteRelayModule);
    connect(client, &LantrelClient::datasetChanged, this, &RelayModulesConfigForm::selectFirstRow);
    updateActions();
}

RelayModulesConfigForm::~RelayModulesConfigForm()
{
    delete ui;
}

void RelayModulesConfigForm::setUpTable(QTableView *table)
{
    QHeaderView *rows = table->verticalHeader();
    rows->setDefaultSectionSize(table->fontMetrics().height() + 4);
    rows->hide();
    QHeaderView *columns = table->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::ResizeToContents);
    columns->setResizeContentsPrecision(0);
    columns->setSectionsClickable(false);
    columns->setSortIndicatorShown(false);
    columns->setHighlightSections(false);
    table->setSortingEnabled(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    ModuleTable::commitEditsOnConfigurationTask(table);
}

RelayModulesConfigForm::Actions RelayModulesConfigForm::actionsFor(const State &state)
{
    Actions a;
    a.add = state.enabled && state.moduleCount < MaxModules;
    a.edit = state.enabled && state.moduleSelected;
    a.remove = a.edit;
    return a;
}

int RelayModulesConfigForm::currentRow() const
{
    const QModelIndex current = ui->tableRelays->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void RelayModulesConfigForm::updateActions()
{
    State state;
    state.enabled = actionsEnabled;
    state.moduleCount = model->rowCount();
    state.moduleSelected = currentRow() >= 0;
    const Actions a = actionsFor(state);
    ui->btnAddModule->setEnabled(a.add);
    ui->btnEditModule->setEnabled(a.edit);
    ui->btnRemoveModule->setEnabled(a.remove);
}

void RelayModulesConfigForm::disableFormActions(bool yes)
{
    actionsEnabled = !yes;
    updateActions();
}

void RelayModulesConfigForm::onMasterSelectionChanged(const QModelIndex &, const QModelIndex &)
{
    updateActions();
}

void RelayModulesConfigForm::selectFirstRow()
{
    if (!ui->tableRelays->selectionModel()->hasSelection() && model->rowCount() > 0)
        ui->tableRelays->selectRow(0);
}

RelayModuleForm *RelayModulesConfigForm::openEditor()
{
    auto *form = new RelayModuleForm(this, EditorWindowFlags);
    setUpEditorWindow(form);
    connect(form, &RelayModuleForm::dataChanged, this, &RelayModulesConfigForm::onDataChanged);
    return form;
}

void RelayModulesConfigForm::addRelayModule()
{
    openEditor()->show();
}

void RelayModulesConfigForm::editRelayModule()
{
    const int row = currentRow();
    if (row < 0)
        return;
    RelayModuleForm *form = openEditor();
    form->loadRelayModule(model->moduleAt(row).configIndex);
    form->show();
}

void RelayModulesConfigForm::deleteRelayModule()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString text = QStringLiteral("Удалить ЖН-Т с адресом %1 из конфигурации?").arg(model->moduleAt(row).ipAddress);
    if (UiSeams::messageBox(this, QMessageBox::Question, windowTitle(), text,
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    model->removeModule(row);
    widthFollower->fitColumns();
    detailModel->setMasterRow(ui->tableRelays->currentIndex());
    updateActions();
}

void RelayModulesConfigForm::onDataChanged(ushort cfg_idx)
{
    ui->tableRelays->setCurrentIndex(model->indexOf(cfg_idx));
    detailModel->setMasterRow(ui->tableRelays->currentIndex());
    updateActions();
}
