#include "interactionsconfigform.h"
#include "ui_interactionsconfigform.h"

#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>

#include "appcontext.h"
#include "editorwindow.h"
#include "interactionform.h"
#include "interactionsconfigmodel.h"
#include "lantrelclient.h"
#include "outofrange.h"
#include "spannedheaderview.h"
#include "tablewidthfollower.h"
#include "uiseams.h"

namespace {

// Marks the cells that show a value the tables have no place for.
class HeldCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(InteractionsConfigModel::HeldRole).toBool())
            OutOfRange::markCell(option);
    }
};

} // namespace

InteractionsConfigForm::InteractionsConfigForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::InteractionsConfigForm)
    , client(appClient())
    , model(client->interactionsConfigModel())
{
    ui->setupUi(this);

    proxy = new QSortFilterProxyModel(this);
    proxy->setSourceModel(model);
    proxy->setDynamicSortFilter(true);
    proxy->setSortRole(Qt::UserRole);
    ui->tableView->setModel(proxy);
    ui->tableView->setItemDelegate(new HeldCellDelegate(ui->tableView));
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView *rows = ui->tableView->verticalHeader();
    rows->setDefaultSectionSize(ui->tableView->fontMetrics().height() + 4);
    rows->hide();

    auto *header = new SpannedHeaderView(this);
    ui->tableView->setHorizontalHeader(header);
    header->setSpan(QStringLiteral("Источник"), 1, 3);
    header->setSpan(QStringLiteral("Исполнитель"), 4, 7);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setResizeContentsPrecision(0);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setHighlightSections(false);

    ui->tableView->setSortingEnabled(true);
    ui->tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(ui->tableView->selectionModel(), &QItemSelectionModel::selectionChanged,
            this, &InteractionsConfigForm::updateActions);

    // Fits the columns whenever the table changes, once it is shown.
    widthFollower = new TableWidthFollower(ui->tableView, ui->gridLayout);
    // The add button follows the row count, also when a read fills the table.
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &InteractionsConfigForm::updateActions);

    connect(ui->btnAddInteraction, &QPushButton::clicked, this, &InteractionsConfigForm::addInteraction);
    connect(ui->btnEditInteraction, &QPushButton::clicked, this, &InteractionsConfigForm::editInteraction);
    connect(ui->btnRemoveInteraction, &QPushButton::clicked, this, &InteractionsConfigForm::deleteInteraction);

    proxy->sort(0, Qt::AscendingOrder);
    connect(client, &LantrelClient::datasetChanged, this, &InteractionsConfigForm::selectFirstRow);
    updateActions();
}

InteractionsConfigForm::~InteractionsConfigForm()
{
    delete ui;
}

InteractionsConfigForm::Actions InteractionsConfigForm::actionsFor(const State &state)
{
    Actions a;
    a.add = state.enabled && state.rowCount < InteractionsConfigModel::MaxInteractions;
    a.edit = state.enabled && state.selectedRows == 1;
    a.remove = state.enabled && state.selectedRows > 0;
    return a;
}

void InteractionsConfigForm::disableFormActions(bool yes)
{
    actionsEnabled = !yes;
    updateActions();
}

void InteractionsConfigForm::updateActions()
{
    State state;
    state.enabled = actionsEnabled;
    state.rowCount = model->rowCount();
    state.selectedRows = ui->tableView->selectionModel()->selectedRows().size();
    const Actions a = actionsFor(state);
    ui->btnAddInteraction->setEnabled(a.add);
    ui->btnEditInteraction->setEnabled(a.edit);
    ui->btnRemoveInteraction->setEnabled(a.remove);
}

QVector<int> InteractionsConfigForm::selectedSourceRows() const
{
    QVector<int> rows;
    for (const QModelIndex &index : ui->tableView->selectionModel()->selectedRows())
        rows.append(proxy->mapToSource(index).row());
    return rows;
}

void InteractionsConfigForm::selectFirstRow()
{
    if (!ui->tableView->selectionModel()->hasSelection() && proxy->rowCount() > 0)
        ui->tableView->selectRow(0);
}

InteractionForm *InteractionsConfigForm::openEditor()
{
    auto *form = new InteractionForm(this, EditorWindowFlags);
    setUpEditorWindow(form);
    connect(form, &InteractionForm::dataChanged, this, &InteractionsConfigForm::updateActions);
    connect(form, &InteractionForm::dataChanged, client, &LantrelClient::clearSourcesCache);
    return form;
}

void InteractionsConfigForm::addInteraction()
{
    openEditor()->show();
}

void InteractionsConfigForm::editInteraction()
{
    const QVector<int> rows = selectedSourceRows();
    if (rows.size() != 1)
        return;
    InteractionForm *form = openEditor();
    form->loadInteraction(ushort(rows.first()), model->interactionAt(rows.first()));
    form->show();
}

void InteractionsConfigForm::deleteInteraction()
{
    const QVector<int> rows = selectedSourceRows();
    if (rows.isEmpty())
        return;
    const QString text = rows.size() == 1
        ? QStringLiteral("Удалить выбранное взаимодействие из конфигурации?")
        : QStringLiteral("Удалить выбранные взаимодействия (%1) из конфигурации?").arg(rows.size());
    if (UiSeams::messageBox(this, QMessageBox::Question, windowTitle(), text,
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    model->removeInteractions(rows);
    widthFollower->fitColumns();
    // The row that took the place of the deleted ones becomes the selection,
    // so that deleting can go on.
    const QModelIndex current = ui->tableView->currentIndex();
    if (current.isValid() && !ui->tableView->selectionModel()->hasSelection())
        ui->tableView->selectRow(current.row());
    updateActions();
}
