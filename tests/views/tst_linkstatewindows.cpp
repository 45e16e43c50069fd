// The state window and the module-data window against the fake line
// controller: both take the client for connected in exactly the same link
// states (link up and controller identified), whether they are opened in
// that state or follow it.

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "appglobals.h"
#include "fakemodulestates.h"
#include "flagsviewerwidget.h"
#include "linemodulesmodel.h"
#include "samplesviewerform.h"
#include "stateviewerform.h"
#include "windowtestsupport.h"

using namespace LantrelProtocol;

namespace {

enum LinkState { Offline, Connecting, Identified, LostDriverEnding, LostDriverGone };

// What the two windows let the user do.
struct Enabled
{
    bool stateOnline = false;   // "Подключен к ЦУ-Л"
    bool moduleCommands = false;
    bool updateVoltages = false;
    bool calibrate = false;
    bool startHistory = false;

    bool operator==(const Enabled &o) const
    {
        return stateOnline == o.stateOnline && moduleCommands == o.moduleCommands
               && updateVoltages == o.updateVoltages && calibrate == o.calibrate && startHistory == o.startHistory;
    }
};

Enabled all(bool on)
{
    return {on, on, on, on, on};
}

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

struct Windows
{
    std::unique_ptr<StateViewerForm> state{new StateViewerForm(nullptr, Qt::Window)};
    std::unique_ptr<SamplesViewerForm> data{new SamplesViewerForm(nullptr, Qt::Window)};

    bool show()
    {
        state->show();
        data->show();
        if (!QTest::qWaitForWindowExposed(state.get()) || !QTest::qWaitForWindowExposed(data.get()))
            return false;
        // A module chosen on the grid, as for a command.
        auto *grid = child<FlagsViewerWidget>(state.get(), "wgtFlagsViewer");
        QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, grid->cellRect(1).center().toPoint());
        return true;
    }

    Enabled enabled() const
    {
        Enabled e;
        e.stateOnline = child<QLabel>(state.get(), "lblConnStatus")->text().contains(QStringLiteral("Подключен"));
        e.moduleCommands = child<QGroupBox>(state.get(), "gbControls")->isEnabled();
        e.updateVoltages = child<QPushButton>(data.get(), "btnUpdateSamples")->isEnabled();
        e.calibrate = child<QPushButton>(data.get(), "btnCalibrate")->isEnabled();
        QWidget *history = child<QWidget>(data.get(), "tabSamplesHistory");
        e.startHistory = child<QPushButton>(history, "btnStartSampling")->isEnabled();
        return e;
    }
};

} // namespace

namespace QTest {
template <>
char *toString(const Enabled &e)
{
    return qstrdup(QStringLiteral("online %1, commands %2, update %3, calibrate %4, history %5")
                       .arg(e.stateOnline).arg(e.moduleCommands).arg(e.updateVoltages).arg(e.calibrate)
                       .arg(e.startHistory).toLatin1().constData());
}
} // namespace QTest

class TestLinkStateWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneMeaningOfConnected_data();
    void oneMeaningOfConnected();

private:
    QTemporaryDir m_dir;
};

void TestLinkStateWindows::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    appSettings->sync();
}

void TestLinkStateWindows::oneMeaningOfConnected_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<bool>("connected");
    QTest::newRow("never connected") << int(Offline) << false;
    QTest::newRow("link up, controller not yet identified") << int(Connecting) << false;
    QTest::newRow("controller identified") << int(Identified) << true;
    QTest::newRow("link lost, driver still ending") << int(LostDriverEnding) << false;
    QTest::newRow("link lost, driver gone") << int(LostDriverGone) << false;
}

void TestLinkStateWindows::oneMeaningOfConnected()
{
    QFETCH(int, link);
    QFETCH(bool, connected);

    WindowTest::PublishedClient rig;
    LantrelClient &client = rig.client;
    std::unique_ptr<Windows> windows;

    if (link != Offline) {
        rig.fake.loadGeneratedConfiguration(ClientTest::LineAddress);
        // The module chosen below is armed: it takes commands.
        rig.fake.setSensorStatus(1, FakeModuleStates::sensor(FakeModuleStates::Sensor::Armed));
        QVERIFY(ClientTest::listenAndConnect(rig.server, client));
        QSignalSpy dataset(&client, &LantrelClient::datasetChanged);
        client.readConfiguration();
        QVERIFY(dataset.wait(ClientTest::LongWaitMs));
        // The last line status said "on": only the link decides below.
        QVERIFY(ClientTest::waitFor([&]() { return client.lastLineStatus().State == LN_ONN; }));
        QVERIFY(ClientTest::waitFor([&]() { return client.lineModulesModel()->moduleAt(2).stateFlags != 0; }));
    }

    QSignalSpy identified(&client, &LantrelClient::deviceConnected);
    switch (link) {
    case Connecting: {
        client.shutdownDriver();
        FakeInjection slowIdentity = FakeInjection::make(FakeInjection::Delay, 3, 1, 3000);
        slowIdentity.address = 0;
        rig.fake.addInjection(slowIdentity);
        rig.fake.clearLog();
        client.connectToDevice(0, QStringLiteral("127.0.0.1"), ClientTest::LineAddress);
        QVERIFY(ClientTest::waitFor([&]() { return !rig.fake.requests(3).isEmpty(); }));
        QVERIFY(client.hasDriver());
        break;
    }
    case LostDriverEnding: {
        // Opened the moment the link is reported lost, while the driver ends.
        bool driverThere = false;
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(&client, &LantrelClient::deviceDisconnected, [&, once]() {
            QObject::disconnect(*once);
            driverThere = client.hasDriver();
            windows.reset(new Windows);
        });
        rig.fake.dropConnections();
        QVERIFY(ClientTest::waitFor([&]() { return windows != nullptr; }));
        QVERIFY(driverThere);
        break;
    }
    case LostDriverGone:
        rig.fake.dropConnections();
        QVERIFY(ClientTest::waitFor([&]() { return !client.hasDriver(); }));
        break;
    default:
        break;
    }

    if (!windows)
        windows.reset(new Windows);
    QVERIFY(windows->show());
    QCOMPARE(windows->enabled(), all(connected));

    // Open windows follow the link the same way.
    if (link == Connecting) {
        QVERIFY(identified.wait(ClientTest::LongWaitMs));
        // The module states come with the monitoring that follows.
        QTRY_COMPARE_WITH_TIMEOUT(windows->enabled(), all(true), 10000);
    } else if (link == Identified) {
        QSignalSpy lost(&client, &LantrelClient::deviceDisconnected);
        rig.fake.dropConnections();
        QVERIFY(lost.wait(ClientTest::LongWaitMs));
        QCOMPARE(windows->enabled(), all(false));
    }
}

QTEST_MAIN(TestLinkStateWindows)
#include "tst_linkstatewindows.moc"
