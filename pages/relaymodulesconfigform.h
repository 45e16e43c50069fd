#ifndef RELAYMODULESCONFIGFORM_H
#define RELAYMODULESCONFIGFORM_H

#include <QModelIndex>
#include <QWidget>

namespace Ui {
class RelayModulesConfigForm;
}

class QTableView;
class LantrelClient;
class RelayModuleForm;
class RelayModulesConfigModel;
class RelayModulesDetailModel;
class TableWidthFollower;

// The external relay modules page: the modules (at most 4) and, below them,
// the relay hold times of the selected one, edited in place.
class RelayModulesConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit RelayModulesConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~RelayModulesConfigForm() override;

    struct State
    {
        bool enabled = true;    // no client task runs
        int moduleCount = 0;
        bool moduleSelected = false;
    };
    struct Actions
    {
        bool add = false;
        bool edit = false;
        bool remove = false;
    };
    static Actions actionsFor(const State &state);

public slots:
    void disableFormActions(bool yes);

private slots:
    void onMasterSelectionChanged(const QModelIndex &current, const QModelIndex &);
    void addRelayModule();
    void editRelayModule();
    void deleteRelayModule();
    void onDataChanged(ushort cfg_idx);

private:
    // The module row of the list's current index; -1 when there is none.
    int currentRow() const;
    void updateActions();
    RelayModuleForm *openEditor();
    void selectFirstRow();
    static void setUpTable(QTableView *table);

    Ui::RelayModulesConfigForm *ui = nullptr;
    LantrelClient *client = nullptr;
    RelayModulesConfigModel *model = nullptr;
    RelayModulesDetailModel *detailModel = nullptr;
    TableWidthFollower *widthFollower = nullptr;
    bool actionsEnabled = true;
};

#endif // RELAYMODULESCONFIGFORM_H
