#ifndef CONFIGINVARIANTS_H
#define CONFIGINVARIANTS_H

// How the client's configuration tables hang together, checked as a whole.
// Header-only: it needs the client library, which lantrel_testsupport does
// not link; include it from tests that link lantrel_client.
//
// checkConfigInvariants() returns one text per violation (empty when the
// configuration is consistent):
//  - the sensor, I/O and line-protection tables are packed from row 0, in
//    ascending line address, with device types of their kind;
//  - every used row of LineModulesModel names a table row holding the same
//    module, and every table row is registered at its line address;
//  - processing row k carries the line address of sensor row k;
//  - the interactions follow the sources list that the reference counters
//    make (sensors in table order, then I/O loop 1 and loop 2), so every
//    counter equals the interactions of its source and the rows are sorted;
//  - every I/O executor names a used I/O row and shows its line address,
//    every relay-module executor an existing relay module;
//  - the module counts of the line settings equal the used rows.
//
// interactionKeys() names each interaction's executor by what it drives (the
// I/O module's line address, or the relay module and relay), so lists taken
// before and after an operation show whether a relay changed hands.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include "controllerconfigmodel.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "processingconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"

namespace ConfigInvariants {

struct InteractionKey
{
    int sourceKind = 0;
    int sourceAddress = 0;
    int sourceLoop = 0;
    int executorType = 0;
    int executor = 0;   // I/O: line address of the executor row; relay module: its number
    int relay = 0;
    int function = 0;

    bool operator==(const InteractionKey &o) const
    {
        return sourceKind == o.sourceKind && sourceAddress == o.sourceAddress
               && sourceLoop == o.sourceLoop && executorType == o.executorType
               && executor == o.executor && relay == o.relay && function == o.function;
    }
    bool operator!=(const InteractionKey &o) const { return !(*this == o); }

    QString toString() const
    {
        return QStringLiteral("src(%1,%2,%3)->exec(%4,%5,r%6) f%7")
            .arg(sourceKind).arg(sourceAddress).arg(sourceLoop)
            .arg(executorType).arg(executor).arg(relay).arg(function);
    }
};

inline QList<InteractionKey> interactionKeys(const LantrelClient &client)
{
    QList<InteractionKey> keys;
    const InteractionsConfigModel *im = client.interactionsConfigModel();
    const IoModulesConfigModel *io = client.ioModulesConfigModel();
    for (int k = 0; k < im->rowCount(); ++k) {
        const InteractionRecord r = im->interactionAt(k);
        InteractionKey key;
        key.sourceKind = r.sourceKind;
        key.sourceAddress = r.sourceAddress;
        key.sourceLoop = r.sourceLoop;
        key.executorType = r.executorType;
        key.relay = r.relay;
        key.function = r.function;
        if (r.executorType == 2)
            key.executor = r.executorNumber == 0 ? -1 : io->moduleAt(ushort(r.executorNumber - 1)).lineAddress;
        else
            key.executor = r.executorNumber;
        keys.append(key);
    }
    return keys;
}

inline QString keysText(const QList<InteractionKey> &keys)
{
    QStringList parts;
    for (const InteractionKey &k : keys)
        parts << k.toString();
    return parts.join(QStringLiteral("; "));
}

namespace detail {

struct TableRow
{
    int lineAddress = 0;
    int deviceType = 0;
    quint32 serial = 0;
};

inline void checkTable(const QString &name, const QVector<TableRow> &rows,
                       const QList<int> &types, QStringList &errors)
{
    bool emptySeen = false;
    int lastAddress = 0;
    for (int row = 0; row < rows.size(); ++row) {
        const TableRow &r = rows.at(row);
        if (r.deviceType == 0) {
            emptySeen = true;
            if (r.lineAddress != 0)
                errors << QStringLiteral("%1 row %2: empty row with line address %3").arg(name).arg(row).arg(r.lineAddress);
            continue;
        }
        if (emptySeen)
            errors << QStringLiteral("%1 row %2: module after an empty row").arg(name).arg(row);
        if (!types.contains(r.deviceType))
            errors << QStringLiteral("%1 row %2: device type %3").arg(name).arg(row).arg(r.deviceType);
        if (r.lineAddress < 1 || r.lineAddress > 500)
            errors << QStringLiteral("%1 row %2: line address %3").arg(name).arg(row).arg(r.lineAddress);
        if (r.lineAddress <= lastAddress)
            errors << QStringLiteral("%1 row %2: address %3 not above %4").arg(name).arg(row).arg(r.lineAddress).arg(lastAddress);
        lastAddress = r.lineAddress;
    }
}

inline int usedRows(const QVector<TableRow> &rows)
{
    int n = 0;
    for (const TableRow &r : rows)
        n += r.deviceType != 0 ? 1 : 0;
    return n;
}

} // namespace detail

inline QStringList checkConfigInvariants(const LantrelClient &client)
{
    using namespace detail;
    QStringList errors;
    const SensorsConfigModel *sm = client.sensorsConfigModel();
    const IoModulesConfigModel *io = client.ioModulesConfigModel();
    const ScpModulesConfigModel *scp = client.scpModulesConfigModel();
    const ProcessingConfigModel *pm = client.processingConfigModel();
    const LineModulesModel *lm = client.lineModulesModel();
    const InteractionsConfigModel *im = client.interactionsConfigModel();
    const RelayModulesConfigModel *rm = client.relayModulesConfigModel();

    QVector<TableRow> sensors, ios, scps;
    for (int k = 0; k < SensorsConfigModel::RowCount; ++k) {
        const SensorModuleRecord r = sm->moduleAt(ushort(k));
        sensors.append({r.lineAddress, r.deviceType, r.serialNumber});
    }
    for (int k = 0; k < IoModulesConfigModel::RowCount; ++k) {
        const IoModuleRecord r = io->moduleAt(ushort(k));
        ios.append({r.lineAddress, r.deviceType, r.serialNumber});
    }
    for (int k = 0; k < ScpModulesConfigModel::RowCount; ++k) {
        const ScpModuleRecord r = scp->moduleAt(ushort(k));
        scps.append({r.lineAddress, r.deviceType, r.serialNumber});
    }
    checkTable(QStringLiteral("sensors"), sensors, {3, 4}, errors);
    checkTable(QStringLiteral("io"), ios, {2}, errors);
    checkTable(QStringLiteral("scp"), scps, {5}, errors);

    // Line modules against the type tables, both ways.
    auto tableOf = [&](int type) -> const QVector<TableRow> * {
        if (type == 3 || type == 4)
            return &sensors;
        if (type == 2)
            return &ios;
        if (type == 5)
            return &scps;
        return nullptr;
    };
    for (int addr = 1; addr <= 500; ++addr) {
        const LineModuleRecord l = lm->moduleAt(quint16(addr));
        if (l.lineAddress != addr)
            errors << QStringLiteral("line row %1 holds address %2").arg(addr).arg(l.lineAddress);
        if (l.deviceType == 0)
            continue;
        const QVector<TableRow> *table = tableOf(l.deviceType);
        if (!table) {
            errors << QStringLiteral("line %1: device type %2 has no table").arg(addr).arg(l.deviceType);
            continue;
        }
        if (l.tableIndex >= table->size()) {
            errors << QStringLiteral("line %1: table index %2 out of range").arg(addr).arg(l.tableIndex);
            continue;
        }
        const TableRow &t = table->at(l.tableIndex);
        if (t.lineAddress != addr || t.deviceType != l.deviceType || t.serial != l.serialNumber)
            errors << QStringLiteral("line %1 (type %2, serial %3) -> index %4 holds address %5 type %6 serial %7")
                          .arg(addr).arg(l.deviceType).arg(l.serialNumber).arg(l.tableIndex)
                          .arg(t.lineAddress).arg(t.deviceType).arg(t.serial);
    }
    auto checkRegistered = [&](const QString &name, const QVector<TableRow> &rows) {
        for (int row = 0; row < rows.size(); ++row) {
            const TableRow &t = rows.at(row);
            if (t.deviceType == 0 || t.lineAddress < 1 || t.lineAddress > 500)
                continue;
            const LineModuleRecord l = lm->moduleAt(quint16(t.lineAddress));
            if (l.deviceType != t.deviceType || l.tableIndex != row)
                errors << QStringLiteral("%1 row %2 (address %3) registered as type %4 index %5")
                              .arg(name).arg(row).arg(t.lineAddress).arg(l.deviceType).arg(l.tableIndex);
        }
    };
    checkRegistered(QStringLiteral("sensors"), sensors);
    checkRegistered(QStringLiteral("io"), ios);
    checkRegistered(QStringLiteral("scp"), scps);

    // Processing row k belongs to sensor row k.
    for (int k = 0; k < ProcessingConfigModel::RowCount; ++k) {
        const int ruleAddress = pm->ruleAt(ushort(k)).lineAddress;
        if (ruleAddress != sensors.at(k).lineAddress)
            errors << QStringLiteral("processing row %1: address %2, sensor row holds %3")
                          .arg(k).arg(ruleAddress).arg(sensors.at(k).lineAddress);
    }

    // The sources list the controller derives from the counters must name
    // every interaction's own source, row by row.
    struct Source { int kind; int address; int loop; };
    QVector<Source> sources;
    for (int k = 0; k < SensorsConfigModel::RowCount; ++k) {
        const SensorModuleRecord r = sm->moduleAt(ushort(k));
        if (r.deviceType == 0)
            break;
        for (int n = 0; n < r.refCount; ++n)
            sources.append({1, r.lineAddress, 0});
    }
    for (int k = 0; k < IoModulesConfigModel::RowCount; ++k) {
        const IoModuleRecord r = io->moduleAt(ushort(k));
        if (r.deviceType == 0)
            break;
        for (int n = 0; n < r.loop1RefCount; ++n)
            sources.append({2, r.lineAddress, 1});
        for (int n = 0; n < r.loop2RefCount; ++n)
            sources.append({2, r.lineAddress, 2});
    }
    if (sources.size() != im->rowCount())
        errors << QStringLiteral("reference counters sum to %1, %2 interactions")
                      .arg(sources.size()).arg(im->rowCount());
    for (int k = 0; k < qMin(sources.size(), im->rowCount()); ++k) {
        const InteractionRecord r = im->interactionAt(k);
        const Source &s = sources.at(k);
        if (r.sourceKind != s.kind || r.sourceAddress != s.address || r.sourceLoop != s.loop) {
            errors << QStringLiteral("interaction %1: source (%2,%3,%4), counters say (%5,%6,%7)")
                          .arg(k).arg(r.sourceKind).arg(r.sourceAddress).arg(r.sourceLoop)
                          .arg(s.kind).arg(s.address).arg(s.loop);
            break;
        }
    }
    for (int k = 0; k < im->rowCount(); ++k) {
        const InteractionRecord r = im->interactionAt(k);
        if (r.executorType == 2) {
            const int row = int(r.executorNumber) - 1;
            if (row < 0 || row >= ios.size() || ios.at(row).deviceType == 0)
                errors << QStringLiteral("interaction %1: I/O executor %2 names no module").arg(k).arg(r.executorNumber);
            else if (r.executorAddressText != QString::number(ios.at(row).lineAddress))
                errors << QStringLiteral("interaction %1: I/O executor %2 shows address %3, row holds %4")
                              .arg(k).arg(r.executorNumber).arg(r.executorAddressText).arg(ios.at(row).lineAddress);
        } else if (r.executorType == 16) {
            if (r.executorNumber < 1 || r.executorNumber > 4
                || !rm->indexOf(quint16(r.executorNumber - 1)).isValid())
                errors << QStringLiteral("interaction %1: relay module %2 does not exist").arg(k).arg(r.executorNumber);
        } else {
            errors << QStringLiteral("interaction %1: executor type %2").arg(k).arg(r.executorType);
        }
    }

    const LantrelProtocol::Konfig_Line_t line = client.controllerConfigModel()->lineConfig;
    if (line.SensorCount != usedRows(sensors) || line.IoCount != usedRows(ios) || line.ScpCount != usedRows(scps))
        errors << QStringLiteral("line counts %1/%2/%3, used rows %4/%5/%6")
                      .arg(line.SensorCount).arg(line.IoCount).arg(line.ScpCount)
                      .arg(usedRows(sensors)).arg(usedRows(ios)).arg(usedRows(scps));
    return errors;
}

} // namespace ConfigInvariants

#endif // CONFIGINVARIANTS_H
