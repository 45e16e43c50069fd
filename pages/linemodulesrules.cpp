#include "linemodulesrules.h"

namespace {
constexpr int FirstAddress = 1;
constexpr int LastAddress = 500;

bool onLine(int address)
{
    return address >= FirstAddress && address <= LastAddress;
}
} // namespace

LineModulesPageActions lineModulesPageActions(const LineModulesPageState &s)
{
    LineModulesPageActions a;
    const bool ready = s.connected && s.actionsEnabled && !s.waiting;
    a.clearModules = ready;
    a.findModules = ready && !s.addressingMode;
    // A second start while the mode is on would never be answered.
    a.startAddressing = ready && !s.addressingMode;
    if (s.addressingMode) {
        a.modCountVisible = s.allowGroup;
        a.moduleInfoEditable = s.selectionMode == 2;
        a.setAddress = ready && s.addressChangeAllowed;
        a.stopAddressing = ready;
    }
    a.serialGroupVisible = s.enableChangeSerial && s.lineModulesTotal == 1 && !s.addressingMode;
    a.serialGroupEnabled = ready;
    a.setSerial = s.newSerialAcceptable;
    return a;
}

AddressChangeRule addressChangeRule(const AddressChangeQuery &q, const QSet<quint16> &freeAddresses)
{
    AddressChangeRule r;
    if (q.moduleType == 0 || q.moduleSerial == 0)
        return r;
    const int v = q.newAddress;
    const int a = q.storedAddress;
    const int b = q.moduleAddress;
    if (a == 0) {
        r.enabled = v != b;
        return r;
    }
    if (b == 0) {
        r.enabled = v == a;
        return r;
    }
    if (v == b && q.selectionMode == 0)
        return r;
    if (!q.group) {
        r.enabled = freeAddresses.contains(quint16(v)) || v == a;
        return r;
    }

    const bool downwards = b < v;
    r.groupEnd = quint16(b);
    int found = 0;
    for (int m = b; onLine(m) && found < q.groupSize; m += downwards ? -1 : 1) {
        if (!freeAddresses.contains(quint16(m))) {
            ++found;
            r.groupEnd = quint16(m);
        }
    }
    if (v == b) {
        r.enabled = true;
        return r;
    }
    const QVector<quint16> members = groupMembers(quint16(b), r.groupEnd, downwards, freeAddresses);
    bool fits = true;
    for (quint16 m : members) {
        const int target = m + (v - b);
        if (!freeAddresses.contains(quint16(target)) && !members.contains(quint16(target)))
            fits = false;
    }
    r.enabled = fits || v == a;
    return r;
}

QVector<quint16> groupMembers(quint16 from, quint16 to, bool downwards, const QSet<quint16> &freeAddresses)
{
    QVector<quint16> members;
    if (downwards ? to > from : to < from)
        return members;
    const int step = downwards ? -1 : 1;
    for (int m = from; onLine(m); m += step) {
        if (!freeAddresses.contains(quint16(m)))
            members.append(quint16(m));
        if (m == to)
            break;
    }
    return members;
}
