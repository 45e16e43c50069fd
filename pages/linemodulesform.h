#ifndef LINEMODULESFORM_H
#define LINEMODULESFORM_H

#include <QModelIndex>
#include <QPoint>
#include <QSet>
#include <QWidget>

#include "lantrelprotocol.h"

namespace Ui {
class LineModulesForm;
}
class LantrelClient;
class LineModulesFilterModel;
class LineModulesModel;
struct LineModuleRecord;

// The line modules page: the 500 line addresses with their modules, the
// module set as a whole (search, clearing, deletion, serial number) and the
// addressing mode, in which modules get their line addresses and the
// configuration follows them.
class LineModulesForm : public QWidget
{
    Q_OBJECT

public:
    explicit LineModulesForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~LineModulesForm() override;

    // Longest wait for the controller's answer to a start of the addressing
    // mode or to an address change before the page gives up.
    static int answerTimeoutMs();
    static void setAnswerTimeoutMs(int ms);

signals:
    void jumpToModuleConfig(uchar mod_type, ushort mod_idx);
    void jumpToProcessingConfig(ushort mod_idx);

public slots:
    void disableFormActions(bool yes);

private slots:
    void clearModulesConfig();
    void findModules();
    void beginAddressingMode();
    void endAddressingMode();
    void resetAddressingMode();
    void changeModuleAddress();
    void changeSerialNumber();
    void showCustomContextMenu(QPoint pos);
    void updateFreeAddressSet();
    void onFoundLineModule(ushort line_addr, uint serial_no, uchar mod_type);
    void onLineConfig(LantrelProtocol::Konfig_Line_t line_cfg);
    void onTableDoubleClicked(QModelIndex idx);
    void onSelectionModeChanged();
    void onModuleInfoChanged();

private:
    // What a single address change does to the configuration.
    enum class ConfigAction { None, Add, Move, Replace, DeleteAndAdd };

    void setUpTable();
    void connectClient();
    void connectWidgets();
    void updateActions();
    void onDatasetChanged();
    void selectFirstRowIfNone();
    LineModuleRecord currentModule() const;
    void askToDeleteModule(const LineModuleRecord &module);
    // The deletion writes its tables at once: a paragraph naming the unsent
    // edits in them that go too; empty when there are none.
    QString sentWithDeletionText(const LineModuleRecord &module) const;

    void changeSingleModuleAddress();
    void changeGroupModuleAddresses();
    bool chooseConfigAction(quint16 newAddress, ConfigAction *action);
    bool askGroupMove(const QVector<quint16> &members);
    bool setAddressOnLine(quint8 type, quint32 serial, quint16 address);
    void clearCurrentModule();
    void showModuleAddress();
    void rederiveCurrentModule();
    void selectModuleType(quint8 type);
    int interactionsOfModule(const LineModuleRecord &module) const;

    LantrelClient *client() const;
    LineModulesModel *lineModules() const;

    Ui::LineModulesForm *ui = nullptr;
    LineModulesFilterModel *filterModel = nullptr;
    bool actionsEnabled = true;
    // The link is up: the client may hold its driver a moment after losing it.
    bool linkUp = false;
    bool addressingMode = false;
    bool enableChangeSerial = false;
    bool moveNoAsk = false;
    bool replaceNoAsk = false;
    // A wait for the controller's answer runs; the page offers nothing then.
    bool waiting = false;
    quint8 moduleType = 0;
    quint32 moduleSerial = 0;
    quint16 moduleAddress = 0;
    quint16 groupEnd = 0;
    quint16 moduleIndex = 0;
    quint16 storedAddress = 0;
    QSet<quint16> freeAddresses;
    quint16 lineModulesTotal = 0;
    int selectionMode = 0;
};

#endif // LINEMODULESFORM_H
