#ifndef INTERACTIONSCONFIGFORM_H
#define INTERACTIONSCONFIGFORM_H

#include <QVector>
#include <QWidget>

namespace Ui {
class InteractionsConfigForm;
}

class QSortFilterProxyModel;
class InteractionForm;
class InteractionsConfigModel;
class LantrelClient;
class TableWidthFollower;

// The interactions page: the list, sorted by any column, with adding,
// editing and deleting (one or several rows) in the interaction editor.
class InteractionsConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit InteractionsConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~InteractionsConfigForm() override;

    struct State
    {
        bool enabled = true;    // no client task runs
        int rowCount = 0;
        int selectedRows = 0;
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
    void updateActions();
    void addInteraction();
    void editInteraction();
    void deleteInteraction();

private:
    // Model rows of the selected table rows, whatever the sorting.
    QVector<int> selectedSourceRows() const;
    InteractionForm *openEditor();
    void selectFirstRow();

    Ui::InteractionsConfigForm *ui = nullptr;
    LantrelClient *client = nullptr;
    InteractionsConfigModel *model = nullptr;
    QSortFilterProxyModel *proxy = nullptr;
    TableWidthFollower *widthFollower = nullptr;
    bool actionsEnabled = true;
};

#endif // INTERACTIONSCONFIGFORM_H
