#ifndef LINEMODULESMODEL_H
#define LINEMODULESMODEL_H

#include <QAbstractTableModel>
#include <QString>
#include <QVariant>
#include <QVector>

// One line address of the communication line and the module on it.
struct LineModuleRecord
{
    quint16 lineAddress = 0;        // 1..500, always row + 1 inside a model
    quint32 serialNumber = 0;
    QString serialNumberText;
    quint8 deviceType = 0;          // Dev_Type_t, 0 for a free address
    QString typeName;
    quint16 tableIndex = 0;         // row in the configuration table of its kind
    quint16 firmwareVersion = 0;    // ModulesVersionModel only
    QString firmwareVersionText;
    int loop1Mode = 3;              // I/O modules: 0 off, 1 alarm, 2 fault, 3 technological
    int loop2Mode = 3;
    quint8 status0 = 0;
    quint8 status1 = 0;
    quint8 status2 = 0;
    quint32 stateFlags = 0;         // LineModuleState bits, 0 while no state is known
    quint16 inputVoltage = 0;       // line-protection modules, mV
    quint16 outputVoltage = 0;
};

// Bits of LineModuleRecord::stateFlags; keys of stateColorNames.
enum LineModuleState : quint32 {
    ModuleStateNone = 0x1,          // the row holds no module state
    ModuleNoLink = 0x2,
    ModuleSwitchedOff = 0x4,
    ModuleExcluded = 0x8,
    ModuleParamsDiffer = 0x10,
    ModuleFault = 0x20,
    ModuleLoop1Disarmed = 0x40,     // sensor disarmed, I/O loop 1 disarmed
    ModuleLoop2Disarmed = 0x80,
    ModuleLoop1Normal = 0x100,      // sensor normal, I/O loop 1 normal
    ModuleLoop2Normal = 0x200,
    ModuleLoop1Active = 0x400,      // sensor alarm, I/O loop 1 active, line-protection relay open
    ModuleLoop2Active = 0x800,
    ModuleLoop1Break = 0x1000,
    ModuleLoop2Break = 0x2000,
    ModuleLoop1Short = 0x4000,
    ModuleLoop2Short = 0x8000,
    ModuleRelayOn = 0x10000,        // I/O module output relay on
    ModuleScpRelayClosed = 0x20000  // line-protection module relay closed
};

// Module kind of a device type: 3 line protection (5), 2 I/O (2), 1 any other.
int lineModuleKind(quint8 deviceType);

// The address, type and serial-number columns (0 to 2) that every table of
// line addresses starts with: their captions, and a record's display and
// user-role data (any column above 1 counts as the serial number).
QVariant lineModuleCaption(int section);
QVariant lineModuleCell(const LineModuleRecord &r, int column, int role);

// Table of the 500 line addresses; row = line address - 1. Rows are never
// inserted or removed: modules are placed, moved and removed in place.
class LineModulesModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int RowCount = 500;

    explicit LineModulesModel(QObject *parent = nullptr);

    LineModuleRecord moduleAt(quint16 lineAddress) const;
    QModelIndex indexOf(quint8 deviceType, quint32 serialNumber) const;

    void clear(int kind);
    void setModule(const LineModuleRecord &record);
    void insertModule(const LineModuleRecord &record);
    void removeModule(int row);
    void moveModule(quint16 from, quint16 to);
    void setModuleState(quint16 lineAddress, quint8 s0, quint8 s1, quint8 s2);
    void resetModuleState(quint16 lineAddress);
    void setLoopModes(quint16 lineAddress, int loop1Mode, int loop2Mode);
    void setModuleVoltages(quint16 lineAddress, quint16 inputMv, quint16 outputMv);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void emitRowChanged(int row, const QVector<int> &roles);
    void emitStateChanged(int row, const QVector<int> &roles);

    int m_columnCount = 3;
    QVector<LineModuleRecord> m_rows;
};

#endif // LINEMODULESMODEL_H
