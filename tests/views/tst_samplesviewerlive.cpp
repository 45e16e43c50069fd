// The module-data window against the fake line controller: amplitudes of
// the monitoring cycle drawn at their own sensors' addresses, supply
// voltages measured on request, and the infrared measurement mode following
// the tab.

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "accelerationviewer.h"
#include "appglobals.h"
#include "iroutvoltageviewer.h"
#include "samplesviewerform.h"
#include "sensorsampleshistorymodel.h"
#include "supplyvoltageviewer.h"
#include "viewstestsupport.h"
#include "windowtestsupport.h"

using namespace LantrelProtocol;
using namespace ViewsTest;

namespace {
const int Sensors = 24;
const QSet<int> AlarmRows {0, 5, 13};

bool byAddress(const QPointF &a, const QPointF &b)
{
    return a.x() < b.x();
}
} // namespace

class TestSamplesViewerLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void amplitudesArriveLive();
    void supplyVoltagesOnRequest();
    void infraredModeFollowsTheTab();
    void historyRecordsLive();

private:
    FakeController &fake() { return m_env->fake; }
    LantrelClient &client() { return m_env->client; }
    // Infrared measurement commands and level reads the controller has seen.
    int infraredRequests();
    std::unique_ptr<SamplesViewerForm> openForm();
    void chooseTab(SamplesViewerForm &form, int index);
    int commandCount(int code);
    // What the amplitude plot should show: normal and alarm sticks.
    QPair<QVector<QPointF>, QVector<QPointF>> expectedAmplitudes();

    QTemporaryDir m_dir;
    std::unique_ptr<WindowTest::PublishedClient> m_env;
};

// One connection for every test: reading the configuration takes a while.
void TestSamplesViewerLive::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    m_env = std::make_unique<WindowTest::PublishedClient>();
    fake().loadGeneratedConfiguration(ClientTest::LineAddress);
    // The first two sensor rows out of address order; a few sensors in alarm.
    const QVector<Konfig_Section_t> rows = fake().sensors();
    fake().setRecord(10, 0, rows.at(1));
    fake().setRecord(10, 1, rows.at(0));
    for (int row = 0; row < Sensors; ++row) {
        Status_Section_t st;
        st.State0 = AlarmRows.contains(row) ? 0x02 : 0x00;
        st.State1 = 0x02;
        fake().setSensorStatus(row, st);
    }
    QVERIFY(ClientTest::listenAndConnect(m_env->server, client()));
    QSignalSpy dataset(&client(), &LantrelClient::datasetChanged);
    client().readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    // The main window offers this window only while the line is on.
    QVERIFY(ClientTest::waitFor([this] { return client().lastLineStatus().State == LN_ONN; }));
}

void TestSamplesViewerLive::cleanupTestCase()
{
    m_env.reset();
}

std::unique_ptr<SamplesViewerForm> TestSamplesViewerLive::openForm()
{
    auto form = std::make_unique<SamplesViewerForm>(nullptr, Qt::Window);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("window not exposed");
    return form;
}

void TestSamplesViewerLive::chooseTab(SamplesViewerForm &form, int index)
{
    QTabBar *bar = form.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
}

int TestSamplesViewerLive::commandCount(int code)
{
    const QList<FakeCommand> commands = fake().commands();
    return int(std::count_if(commands.cbegin(), commands.cend(),
                             [code](const FakeCommand &c) { return c.code == code; }));
}

QPair<QVector<QPointF>, QVector<QPointF>> TestSamplesViewerLive::expectedAmplitudes()
{
    QVector<QPointF> normal;
    QVector<QPointF> alarm;
    const QVector<Konfig_Section_t> rows = fake().sensors();
    for (int row = 0; row < Sensors; ++row) {
        const QPointF p(rows.at(row).LineAddr, fake().moduleValue(23, row));
        (AlarmRows.contains(row) ? alarm : normal).append(p);
    }
    std::sort(normal.begin(), normal.end(), byAddress);
    std::sort(alarm.begin(), alarm.end(), byAddress);
    return {normal, alarm};
}

void TestSamplesViewerLive::amplitudesArriveLive()
{
    auto form = openForm();
    auto *tab = form->findChild<AccelerationViewer *>();
    auto expected = expectedAmplitudes();
    QCOMPARE(expected.first.first(), QPointF(1, fake().moduleValue(23, 1)));
    QTRY_COMPARE_WITH_TIMEOUT(points(tab, QStringLiteral("lightgreen")), expected.first, 10000);
    QCOMPARE(points(tab, QStringLiteral("red")), expected.second);

    // New samples on the next monitoring cycles.
    for (int round = 1; round <= 2; ++round) {
        for (int row = 0; row < Sensors; ++row)
            fake().setModuleValue(23, row, quint16(1000 * round + 37 * row));
        expected = expectedAmplitudes();
        QTRY_COMPARE_WITH_TIMEOUT(points(tab, QStringLiteral("lightgreen")), expected.first, 10000);
        QCOMPARE(points(tab, QStringLiteral("red")), expected.second);
    }
    QCOMPARE(axisRange(tab, QwtPlot::yLeft), QPointF(0, int((2000 + 37 * 23) * 1.1)));
}

void TestSamplesViewerLive::supplyVoltagesOnRequest()
{
    auto form = openForm();
    auto *tab = form->findChild<SupplyVoltageViewer *>();
    QSignalSpy tasks(&client(), &LantrelClient::taskCompleted);
    const int measured = commandCount(RD_VOLT_SECT);

    // Choosing the tab measures; the voltages arrive in batches.
    chooseTab(*form, 1);
    QTRY_COMPARE_WITH_TIMEOUT(points(tab, QStringLiteral("green")).value(0), QPointF(1, 11.8), 10000);
    QCOMPARE(commandCount(RD_VOLT_SECT), measured + 1);
    // Only the sensors report a supply voltage: the other addresses are not drawn.
    QCOMPARE(points(tab, QStringLiteral("green")).size(), Sensors);
    QCOMPARE(points(tab, QStringLiteral("green")).last().x(), double(Sensors));
    // The read's five steps end the task.
    QTRY_COMPARE(tasks.count(), 6);

    // "Обновить данные" measures again.
    fake().setModuleValue(22, 0, 24500);
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("btnUpdateSamples")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(points(tab, QStringLiteral("green")).value(0), QPointF(1, 24.5), 10000);
    QCOMPARE(commandCount(RD_VOLT_SECT), measured + 2);
    QTRY_COMPARE(tasks.count(), 12);

    // While the main window is busy the measurement waits for the end of its task.
    emit form->disableFormActions(true);
    chooseTab(*form, 0);
    chooseTab(*form, 1);
    QTest::qWait(300);
    QCOMPARE(commandCount(RD_VOLT_SECT), measured + 2);
    emit form->disableFormActions(false);
    QTRY_COMPARE_WITH_TIMEOUT(commandCount(RD_VOLT_SECT), measured + 3, 5000);
    QTRY_COMPARE(tasks.count(), 18);
}

int TestSamplesViewerLive::infraredRequests()
{
    return commandCount(RD_IKOUT_VOLT) + fake().requests(20, 26).size();
}

void TestSamplesViewerLive::infraredModeFollowsTheTab()
{
    auto form = openForm();
    auto *tab = form->findChild<IrOutVoltageViewer *>();
    QTest::qWait(300);
    QCOMPARE(commandCount(RD_IKOUT_VOLT), 0);

    // The levels of the "ВС-Л" sensors arrive some 3 s after the measurement command.
    QSignalSpy levels(&client(), &LantrelClient::sensorIrVoltage);
    chooseTab(*form, 2);
    QVERIFY(levels.wait(10000));
    QVector<QPointF> drops;
    QVector<QPointF> excesses;
    const QVector<Konfig_Section_t> rows = fake().sensors();
    for (int row = 0; row < Sensors; ++row) {
        if (rows.at(row).DeviceType != SECT_ACCI)
            continue;
        const quint16 v = fake().moduleValue(26, row);
        drops.append(QPointF(rows.at(row).LineAddr, (v & 0xFF) * 10 + 500));
        excesses.append(QPointF(rows.at(row).LineAddr, (v >> 8) * 10 + 500));
    }
    std::sort(drops.begin(), drops.end(), byAddress);
    std::sort(excesses.begin(), excesses.end(), byAddress);
    QVERIFY(!drops.isEmpty());
    QTRY_COMPARE(points(tab, QStringLiteral("blue")), drops);
    QCOMPARE(points(tab, QStringLiteral("green")), excesses);

    // Leaving the tab ends the mode: no more commands, no more reads (the
    // next ones would come within 3.2 s).
    auto quietFor = [this](int ms) {
        QTest::qWait(300);
        const int before = infraredRequests();
        QTest::qWait(ms);
        return infraredRequests() == before;
    };
    chooseTab(*form, 1);
    QVERIFY(quietFor(3500));

    // So does closing the window on it.
    const int commands = commandCount(RD_IKOUT_VOLT);
    chooseTab(*form, 2);
    QTRY_VERIFY_WITH_TIMEOUT(commandCount(RD_IKOUT_VOLT) > commands, 3000);
    form->close();
    QVERIFY(quietFor(3500));
}

void TestSamplesViewerLive::historyRecordsLive()
{
    auto form = openForm();
    auto *history = form->findChild<SensorSamplesHistoryModel *>();
    chooseTab(*form, 3);
    QTRY_VERIFY_WITH_TIMEOUT(history->rowCount() == Sensors && history->history().first().samples.size() >= 2,
                             10000);
    // Each sample is kept at its own sensor's address, with its state.
    const QVector<Konfig_Section_t> rows = fake().sensors();
    for (int row = 0; row < Sensors; ++row) {
        const auto &h = *std::find_if(history->history().cbegin(), history->history().cend(),
                                      [&](const SensorHistory &x) { return x.address == rows.at(row).LineAddr; });
        QCOMPARE(h.samples.first().value, fake().moduleValue(23, row));
        QCOMPARE(bool(h.samples.first().flags & 0x400), AlarmRows.contains(row));
    }
}

QTEST_MAIN(TestSamplesViewerLive)
#include "tst_samplesviewerlive.moc"
