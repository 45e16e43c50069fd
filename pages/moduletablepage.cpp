#include "moduletablepage.h"

#include "appcontext.h"
#include "appglobals.h"
#include "columnfitter.h"
#include "fixedtablemodel.h"
#include "lantrelclient.h"
#include "spannedheaderview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSettings>
#include <QTableView>

namespace ModuleTable {

void setUp(QTableView *table, FixedTableFilterModel *filter, QAbstractItemModel *source,
           const QVector<Span> &spans)
{
    filter->setSourceModel(source);
    filter->setHideEmptyRows(true);
    table->setModel(filter);

    QHeaderView *rows = table->verticalHeader();
    rows->setDefaultSectionSize(table->fontMetrics().height() + 4);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setVisible(appSettings->value(QStringLiteral("Common/ShowModuleNumber"), false).toBool());

    auto *header = new SpannedHeaderView(table);
    table->setHorizontalHeader(header);
    for (const Span &span : spans)
        header->setSpan(span.text, span.first, span.last);
    header->setSectionsClickable(false);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);

    table->setSortingEnabled(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    new ColumnFitter(table);

    QObject::connect(appClient(), &LantrelClient::datasetChanged, table, [table] { selectFirstRow(table); });
    commitEditsOnConfigurationTask(table);
}

void commitEditsOnConfigurationTask(QAbstractItemView *view)
{
    QObject::connect(appClient(), &LantrelClient::openEditorsCommitRequested, view, [view] {
        // The view's own commit and close, as on Enter. The editor open on
        // the current cell, if any, is the one being typed in (the pages
        // keep no persistent editors).
        QWidget *editor = view->indexWidget(view->currentIndex());
        if (!editor)
            return;
        QMetaObject::invokeMethod(view, "commitData", Q_ARG(QWidget *, editor));
        QMetaObject::invokeMethod(view, "closeEditor", Q_ARG(QWidget *, editor),
                                  Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
    });
}

void selectFirstRow(QTableView *table)
{
    // Through the current index, not selectRow(): that one picks its column
    // from the header's layout, which a table not yet laid out lacks.
    if (!table->selectionModel()->hasSelection() && table->model()->rowCount() > 0)
        table->setCurrentIndex(table->model()->index(0, 0));
}

void jumpTo(QTableView *table, int sourceRow)
{
    auto *filter = static_cast<QAbstractProxyModel *>(table->model());
    const QModelIndex index = filter->mapFromSource(filter->sourceModel()->index(sourceRow, 0));
    if (index.isValid())
        table->setCurrentIndex(index);
}

void fillCombo(QComboBox *combo, const QMap<int, QString> &dictionary)
{
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it)
        combo->addItem(it.value(), it.key());
}

void selectData(QComboBox *combo, const QVariant &value)
{
    combo->setCurrentIndex(combo->findData(value, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

bool checkedData(const QCheckBox *check, const QComboBox *combo, quint8 *value)
{
    if (!check->isChecked() || combo->currentIndex() < 0)
        return false;
    *value = quint8(combo->currentData().toUInt());
    return true;
}

} // namespace ModuleTable

GroupPanelActions groupPanelActions(const GroupPanelState &state)
{
    const bool ready = state.actionsEnabled && state.hasSelection && !state.applying;
    return {ready, ready && state.anyParameterChecked};
}

ModuleTablePage::ModuleTablePage(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
}

void ModuleTablePage::setUpGroupPanel(const GroupPanel &panel)
{
    m_panel = panel;
    connect(panel.tuning, &QPushButton::clicked, this, [this](bool checked) {
        m_panel.frame->setVisible(checked);
        m_panel.apply->setVisible(checked);
        m_groupMode = checked;
        updateActions();
    });
    connect(panel.apply, &QPushButton::clicked, this, &ModuleTablePage::applyGroupSettings);
    panel.frame->hide();
    panel.apply->hide();

    for (const Parameter &parameter : panel.parameters) {
        QWidget *editor = parameter.editor;
        connect(parameter.check, &QCheckBox::clicked, editor, &QWidget::setEnabled);
        connect(parameter.check, &QCheckBox::clicked, this, &ModuleTablePage::updateActions);
        editor->setEnabled(false);
    }

    connect(panel.table, &QTableView::clicked, this, &ModuleTablePage::onTableItemClicked);
    connect(panel.table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ModuleTablePage::updateActions);
    updateActions();
}

bool ModuleTablePage::anyParameterChecked() const
{
    for (const Parameter &parameter : m_panel.parameters) {
        if (parameter.check->isChecked())
            return true;
    }
    return false;
}

void ModuleTablePage::updateActions()
{
    const GroupPanelActions actions = groupPanelActions(
        {m_actionsEnabled, m_panel.table->selectionModel()->hasSelection(), m_applying, anyParameterChecked()});
    m_panel.tuning->setEnabled(actions.groupTuning);
    // Hidden outside group mode, where it keeps its state.
    if (m_groupMode)
        m_panel.apply->setEnabled(actions.apply);
}

void ModuleTablePage::disableFormActions(bool yes)
{
    m_actionsEnabled = !yes;
    updateActions();
}

void ModuleTablePage::onTableItemClicked(const QModelIndex &idx)
{
    // The editors start from the clicked module once; later clicks on the
    // same row keep what the user has set.
    if (idx.row() == m_lastClickedRow)
        return;
    m_lastClickedRow = idx.row();
    loadGroupEditors(idx);
}

void ModuleTablePage::applyGroupSettings()
{
    auto *filter = static_cast<QAbstractProxyModel *>(m_panel.table->model());
    // Source rows first: the stores below may make the filter re-sort its rows.
    QVector<ushort> indexes;
    const QModelIndexList rows = m_panel.table->selectionModel()->selectedRows(0);
    for (const QModelIndex &row : rows)
        indexes.append(ushort(filter->mapToSource(row).row()));
    if (indexes.isEmpty())
        return;

    m_applying = true;
    showAppWaitCursor(true);
    updateActions();
    for (ushort index : indexes)
        applyGroupSettingsTo(index);
    m_applying = false;
    showAppWaitCursor(false);
    updateActions();
}
