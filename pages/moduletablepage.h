#ifndef MODULETABLEPAGE_H
#define MODULETABLEPAGE_H

#include <QMap>
#include <QString>
#include <QVector>
#include <QWidget>

class FixedTableFilterModel;
class QAbstractItemModel;
class QAbstractItemView;
class QCheckBox;
class QComboBox;
class QFrame;
class QModelIndex;
class QPushButton;
class QTableView;

// What the module table pages (I/O, sensors, processing, line protection)
// share: the table over a filter of one of the client's fixed tables, with
// spanned captions, the first-row selection after a read and the jump to a
// module's row.
namespace ModuleTable {

struct Span
{
    QString text;
    int first;
    int last;
};

// Puts `filter` (owned by the page) over `source`, hiding the empty rows, on
// `table`, with a spanned header and row numbers when "Common/ShowModuleNumber"
// is set; after every dataset change selects the first module if nothing is selected.
void setUp(QTableView *table, FixedTableFilterModel *filter, QAbstractItemModel *source,
           const QVector<Span> &spans);
// Before the client sends or replaces the configuration, or anything asks
// about unsent edits, an editor still open on `view` hands its value over,
// so that the edit counts as not yet sent instead of being lost.
void commitEditsOnConfigurationTask(QAbstractItemView *view);
// Selects row 0 when the table has rows and no selection.
void selectFirstRow(QTableView *table);
// Makes the row of the module at `sourceRow` of the client's table the
// current and only selected one; nothing when that module is not shown.
void jumpTo(QTableView *table, int sourceRow);

// Items of `dictionary` in key order, the key as user data.
void fillCombo(QComboBox *combo, const QMap<int, QString> &dictionary);
// Makes current the item whose data equals `value`; none when no item does.
void selectData(QComboBox *combo, const QVariant &value);
// The combo box's current data when `check` is checked and the combo has a
// current item; false (and `value` untouched) otherwise.
bool checkedData(const QCheckBox *check, const QComboBox *combo, quint8 *value);

} // namespace ModuleTable

// The enable rules of the group-tuning buttons.
struct GroupPanelState
{
    bool actionsEnabled;      // no client task runs
    bool hasSelection;
    bool applying;
    bool anyParameterChecked;
};

struct GroupPanelActions
{
    bool groupTuning;
    bool apply;
};

GroupPanelActions groupPanelActions(const GroupPanelState &state);

// A module table page with the group-tuning panel: check a parameter, pick
// its value, and apply it to every selected module. The page builds its
// form, calls setUpGroupPanel once and supplies the two per-page steps.
class ModuleTablePage : public QWidget
{
    Q_OBJECT

public slots:
    void disableFormActions(bool yes);

protected:
    explicit ModuleTablePage(QWidget *parent, Qt::WindowFlags flags);

    // A parameter of the group panel: its check box and the editor it enables.
    struct Parameter
    {
        QCheckBox *check;
        QWidget *editor;
    };
    struct GroupPanel
    {
        QTableView *table;
        QFrame *frame;
        QPushButton *tuning;
        QPushButton *apply;
        QVector<Parameter> parameters;
    };
    void setUpGroupPanel(const GroupPanel &panel);

    // Loads the group editors from row `row` of the table's (filter) model.
    virtual void loadGroupEditors(const QModelIndex &row) = 0;
    // Applies the checked parameters to the module at `index` of the client's table.
    virtual void applyGroupSettingsTo(ushort index) = 0;

private slots:
    void updateActions();
    void onTableItemClicked(const QModelIndex &idx);
    void applyGroupSettings();

private:
    bool anyParameterChecked() const;

    GroupPanel m_panel {};
    bool m_actionsEnabled = true;
    bool m_groupMode = false;
    bool m_applying = false;
    int m_lastClickedRow = -1;
};

#endif // MODULETABLEPAGE_H
