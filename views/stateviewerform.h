#ifndef STATEVIEWERFORM_H
#define STATEVIEWERFORM_H

#include <QModelIndex>
#include <QSet>
#include <QVector>
#include <QWidget>

#include "lantrelprotocol.h"

namespace Ui {
class StateViewerForm;
}

class LantrelClient;
class LineModulesModel;
struct LineModuleRecord;

// The installation's state window: the controller's state, the grid of the
// 500 line addresses, the selected module's details and the panel that sends
// commands to it, to a group starting with it or to all modules of its kind.
class StateViewerForm : public QWidget
{
    Q_OBJECT

public:
    explicit StateViewerForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~StateViewerForm() override;

public slots:
    void disableFormActions(bool yes);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void updateActions();
    void onDeviceConnected();
    void onDeviceDisconnected();
    void onControllerStatus(LantrelProtocol::Status_Device_t stat);
    void onPowerStatus(LantrelProtocol::Feature_Device_t stat);
    void onLineStatus(LantrelProtocol::Status_Line_t status);
    void onActiveCellChanged(int cell_idx);
    void onSelectorToggled();
    void onModuleCountChanged(int val);
    void changeArmedState(bool set_on);
    void changeRelayState(bool set_on);
    void disableModule();
    void onModulesChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);

private:
    void setUpCommandPanel();
    void showModuleState(const LineModuleRecord &module);
    void showStatusUnknown();
    void selectCommandPage(const LineModuleRecord &module, int cell_idx);
    int modulesLeftFrom(const LineModuleRecord &module) const;
    bool resolveTarget();
    int groupSize() const;
    void fitToContents();
    void restoreGeometryFromSettings();

    Ui::StateViewerForm *ui;
    LantrelClient *client;
    LineModulesModel *modules;

    bool actionsEnabled = true;
    bool modulePresent = false;
    bool online = false;
    bool lineOn = false;
    bool commandsAllowed = false;
    // The command target is the module's identity, looked up again in the
    // tables when a command goes out: they may have been read again since.
    quint16 lineAddress = 0;
    quint8 targetType = 0;
    int moduleNumber = 0;       // 1-based position in its type's table
    int modulesLeft = 0;        // of its kind from it to the end of the table, never below 0
    int commandPage = 0;
    int targetMode = 0;
    QSet<int> alarmLoops;
};

#endif // STATEVIEWERFORM_H
