#ifndef CONTROLLERCONFIGFORM_H
#define CONTROLLERCONFIGFORM_H

#include <QHash>
#include <QVector>
#include <QWidget>

#include <optional>

#include "lantrelprotocol.h"

namespace Ui {
class ControllerConfigForm;
}

class BlockIdValidator;
class ControllerConfigModel;
class LantrelClient;

// The controller page: the settings tab edits the client's
// ControllerConfigModel parameter by parameter, the state tab shows the
// controller's live status and runs its two commands.
class ControllerConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit ControllerConfigForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ControllerConfigForm() override;

public slots:
    void disableFormActions(bool yes);

private slots:
    void onModelDataChanged(const QVector<int> &roles);
    void onLineEditTextChanged();
    void showBlockIdCut();
    void onSpinBoxValueChanged();
    void onComboBoxIndexChanged();
    void onCheckBoxToggled();
    void onWriteFinished();

    void onControllerStatus(LantrelProtocol::Status_Device_t stat);
    void onPowerStatus(LantrelProtocol::Feature_Device_t stat);
    void onLineStatus(LantrelProtocol::Status_Line_t status);
    void onEventMemoryStatus(ushort all_events, ushort unreaded_events);
    void clearEvents();

private:
    void fillComboBoxes();
    void connectClient();
    void connectEditors();
    void showIdentity();
    void showSettings();
    int editorId(QObject *editor) const;
    void setLoopModes(quint32 loop1, quint32 loop2);
    void showLoops();
    void showStatusUnknown();
    void setConnected(bool yes);
    void updateActions();

    Ui::ControllerConfigForm *ui;
    BlockIdValidator *blockIdValidator = nullptr;
    LantrelClient *client;
    ControllerConfigModel *model;
    QHash<QObject *, int> editorIds;
    // The loop modes the state tab reads the loop bits with: those of the
    // settings last read or written, not the ones being edited.
    quint32 loop1Mode = 0;
    quint32 loop2Mode = 0;
    // None until the first status: the labels stay empty until then.
    std::optional<LantrelProtocol::Status_Device_t> lastStatus;
    // The controller stopped giving its status; none has come since.
    bool statusUnknown = false;
    bool connected = false;
    bool busy = false;
    // From the controller's status, kept here so that it holds whether or
    // not the state tab is on screen.
    bool remoteControlRunning = false;
};

#endif // CONTROLLERCONFIGFORM_H
