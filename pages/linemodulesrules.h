#ifndef LINEMODULESRULES_H
#define LINEMODULESRULES_H

#include <QSet>
#include <QVector>

// What the line modules page's widgets may do, as plain functions of the
// page's state, so that the rules read (and are tested) as tables.

struct LineModulesPageState
{
    bool connected = false;         // the client holds a driver
    bool actionsEnabled = true;     // no client task runs
    bool waiting = false;           // the page waits for the controller's answer
    bool addressingMode = false;
    bool allowGroup = false;        // "Групповое изменение" checked
    int selectionMode = 0;          // 0 magnet, 1 table, 2 typed type and serial number
    bool addressChangeAllowed = false;  // addressChangeRule() said so
    bool enableChangeSerial = false;
    quint16 lineModulesTotal = 0;
    bool newSerialAcceptable = false;
};

struct LineModulesPageActions
{
    bool clearModules = false;
    bool findModules = false;
    bool startAddressing = false;
    bool setAddress = false;
    bool stopAddressing = false;
    bool modCountVisible = false;
    bool moduleInfoEditable = false;    // cbModType and edtSerialNo
    bool serialGroupVisible = false;
    bool serialGroupEnabled = false;
    bool setSerial = false;
};

LineModulesPageActions lineModulesPageActions(const LineModulesPageState &s);

// The current module of the addressing mode and the address it is to get.
struct AddressChangeQuery
{
    quint8 moduleType = 0;
    quint32 moduleSerial = 0;
    quint16 moduleAddress = 0;  // where the module answers; 0 none
    quint16 storedAddress = 0;  // where the configuration holds it; 0 not stored
    quint16 newAddress = 0;
    int selectionMode = 0;
    bool group = false;
    int groupSize = 1;
};

struct AddressChangeRule
{
    bool enabled = false;
    quint16 groupEnd = 0;       // farthest member of the group, when one was walked
};

// Whether "Изменить" may run; `freeAddresses` are the line addresses holding no module.
AddressChangeRule addressChangeRule(const AddressChangeQuery &q, const QSet<quint16> &freeAddresses);

// Line addresses of a group: the occupied addresses from `from` (included)
// to `to`, in that direction; nothing when `to` lies on the other side.
QVector<quint16> groupMembers(quint16 from, quint16 to, bool downwards, const QSet<quint16> &freeAddresses);

#endif // LINEMODULESRULES_H
