#ifndef LINEMODULESPAGERIG_H
#define LINEMODULESPAGERIG_H

// The line modules page over a client connected to the fake line controller
// with its generated configuration, and what its tests compare: the line
// table, the controller's module tables and its line modules. Header-only;
// include it from tests that link the pages library.

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include <memory>

#include "configinvariants.h"
#include "linemodulesform.h"
#include "texthelpers.h"
#include "windowtestsupport.h"

namespace LineModulesTest {

using namespace LantrelProtocol;
using ClientTest::LongWaitMs;
using ClientTest::waitFor;

inline quint32 serialOf(int year, int n)
{
    return quint32(((year - 20) << 18) | n);
}

// Modules of the generated configuration: sensors at 1 to 24 (type 3 at
// addresses 2, 5, 8 ..., else type 4), I/O modules at 201 to 204,
// line-protection modules at 301 and 302, and two sensors on the line
// without an address yet.
const quint32 NewSensor = serialOf(24, 5001);     // type 4
const quint32 NewIrSensor = serialOf(24, 5002);   // type 3
inline quint32 sensorAt(int address)
{
    return serialOf(24, 1000 + address - 1);
}
inline quint8 sensorTypeAt(int address)
{
    return (address - 1) % 3 == 1 ? SECT_ACCI : SECT_ACC;
}

enum Selection { ByMagnet = 0, FromTable = 1, Typed = 2 };

// What the line table holds at each address: type and serial number.
inline QList<QPair<int, quint32>> lineSnapshot(const LantrelClient &client)
{
    QList<QPair<int, quint32>> rows;
    for (quint16 a = 1; a <= LineModulesModel::RowCount; ++a) {
        const LineModuleRecord r = client.lineModulesModel()->moduleAt(a);
        rows.append({r.deviceType, r.serialNumber});
    }
    return rows;
}

inline quint16 lineAddressOnFake(const FakeController &fake, quint32 serial)
{
    for (const FakeLineModule &m : fake.lineModules()) {
        if (m.serial == serial)
            return m.lineAddr;
    }
    return 0xFFFF;
}

inline int commandCount(FakeController &fake, int code)
{
    int n = 0;
    for (const FakeCommand &c : fake.commands())
        n += c.code == code ? 1 : 0;
    return n;
}

// The controller's module tables and counts against the client's models.
inline QStringList fakeTablesDiffer(const FakeController &fake, const LantrelClient &client)
{
    QStringList diffs;
    const auto compare = [&](const QString &table, int row, int fAddr, quint32 fSerial, int fType, int mAddr,
                             quint32 mSerial, int mType) {
        if (fAddr != mAddr || fSerial != mSerial || fType != mType)
            diffs << QStringLiteral("%1 row %2: controller %3/%4/%5, models %6/%7/%8")
                         .arg(table).arg(row).arg(fAddr).arg(fSerial).arg(fType).arg(mAddr).arg(mSerial).arg(mType);
    };
    const auto sensors = fake.sensors();
    for (int k = 0; k < SensorsConfigModel::RowCount; ++k) {
        const SensorModuleRecord m = client.sensorsConfigModel()->moduleAt(ushort(k));
        compare(QStringLiteral("sensors"), k, sensors[k].LineAddr, sensors[k].SerialNo, sensors[k].DeviceType,
                m.lineAddress, m.serialNumber, m.deviceType);
    }
    const auto ios = fake.ioModules();
    for (int k = 0; k < IoModulesConfigModel::RowCount; ++k) {
        const IoModuleRecord m = client.ioModulesConfigModel()->moduleAt(ushort(k));
        compare(QStringLiteral("io"), k, ios[k].LineAddr, ios[k].SerialNo, ios[k].DeviceType, m.lineAddress,
                m.serialNumber, m.deviceType);
    }
    const auto scps = fake.scpModules();
    for (int k = 0; k < ScpModulesConfigModel::RowCount; ++k) {
        const ScpModuleRecord m = client.scpModulesConfigModel()->moduleAt(ushort(k));
        compare(QStringLiteral("scp"), k, scps[k].LineAddr, scps[k].SerialNo, scps[k].DeviceType, m.lineAddress,
                m.serialNumber, m.deviceType);
    }
    const Konfig_Line_t f = fake.lineConfig();
    const Konfig_Line_t m = client.controllerConfigModel()->lineConfig;
    if (f.SensorCount != m.SensorCount || f.IoCount != m.IoCount || f.ScpCount != m.ScpCount)
        diffs << QStringLiteral("line counts: controller %1/%2/%3, models %4/%5/%6")
                     .arg(f.SensorCount).arg(f.IoCount).arg(f.ScpCount)
                     .arg(m.SensorCount).arg(m.IoCount).arg(m.ScpCount);
    return diffs;
}

// The page over a client connected to the fake controller, with the
// generated configuration read.
struct Rig
{
    WindowTest::PublishedClient pc;
    std::unique_ptr<LineModulesForm> page;
    bool ready = false;

    explicit Rig(int sensors = 24, int ioModules = 4, int scpModules = 2)
    {
        pc.fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")),
                                           sensors, ioModules, scpModules);
        // A restart ends the addressing mode; the fake's own part of it stays short.
        pc.fake.setRestartDelays(50, 200);
        if (!ClientTest::listenAndConnect(pc.server, pc.client))
            return;
        page.reset(new LineModulesForm);
        page->show();
        QSignalSpy read(&pc.client, &LantrelClient::datasetChanged);
        pc.client.readConfiguration();
        ready = read.wait(LongWaitMs);
        // The main window's end of the read task.
        page->disableFormActions(false);
    }

    template <typename T>
    T *w(const char *name) const
    {
        T *widget = page->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QPushButton *button(const char *name) const { return w<QPushButton>(name); }
    QTableView *table() const { return w<QTableView>("tableView"); }
    bool modeShown() const { return w<QFrame>("frameAddressing")->isVisible(); }

    QModelIndex shownIndex(quint16 address, int column) const
    {
        auto *proxy = qobject_cast<QSortFilterProxyModel *>(table()->model());
        return proxy->mapFromSource(pc.client.lineModulesModel()->index(address - 1, column));
    }

    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    void selectInCombo(const char *name, int data)
    {
        auto *combo = w<QComboBox>(name);
        combo->setCurrentIndex(combo->findData(data));
    }

    bool startMode(Selection selection)
    {
        selectInCombo("cbSelectionMode", selection);
        click("btnModuleAddressing");
        return modeShown();
    }

    void doubleClickRow(quint16 address, int column)
    {
        const QModelIndex idx = shownIndex(address, column);
        table()->scrollTo(idx);
        // A widget's double-click event alone comes without the press before it.
        const QPoint at = table()->visualRect(idx).center();
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // Makes the module the current one the way the selection mode asks for.
    bool pickModule(Selection selection, quint32 serial, quint8 type, quint16 storedAt)
    {
        auto *serialEdit = w<QLineEdit>("edtSerialNo");
        switch (selection) {
        case ByMagnet:
            if (!pc.fake.touchLineModule(serial))
                return false;
            break;
        case FromTable:
            doubleClickRow(storedAt, 1);
            break;
        case Typed:
            selectInCombo("cbModType", type);
            serialEdit->clear();
            QTest::keyClicks(serialEdit, serialNumberToString(serial));
            break;
        }
        return waitFor([&]() { return serialEdit->text() == serialNumberToString(serial); }, 5000);
    }

    void setNewAddress(int address) { w<QSpinBox>("edtNewAddress")->setValue(address); }

    QStringList invariants() const { return ConfigInvariants::checkConfigInvariants(pc.client); }

    // Writes the whole configuration to the controller; empty when its
    // tables then hold what the models hold.
    QStringList writtenTablesDiffer()
    {
        QSignalSpy finished(&pc.client, &LantrelClient::writeFinished);
        pc.client.writeConfiguration();
        if (!finished.wait(LongWaitMs))
            return {QStringLiteral("write did not finish")};
        return fakeTablesDiffer(pc.fake, pc.client);
    }
};

} // namespace LineModulesTest

#endif // LINEMODULESPAGERIG_H
