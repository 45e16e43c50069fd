// The three plot tabs of the module-data window on their own: what each
// batch of values draws, the axes and their settings, the enable rules,
// the threshold lines and the trackers.

#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "accelerationviewer.h"
#include "appglobals.h"
#include "iroutvoltageviewer.h"
#include "sensorplottab.h"
#include "supplyvoltageviewer.h"
#include "viewstestsupport.h"
#include "windowtestsupport.h"

using namespace ViewsTest;

using Batch = QPair<int, QVector<quint16>>;
using Batches = QVector<Batch>;

namespace {
QVector<quint16> repeat(int count, quint16 value)
{
    return QVector<quint16>(count, value);
}

template <typename T>
T *child(const QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}
} // namespace

class TestPlotTabs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void measurementButtonRules_data();
    void measurementButtonRules();
    void supplyButtonRules();

    void amplitudeBatches_data();
    void amplitudeBatches();
    void amplitudeAlarmColours();
    void amplitudeStartStop();
    void amplitudeAxesAndSettings();
    void savedSettingsAtConstruction();

    void supplyBatches_data();
    void supplyBatches();
    void supplyCalibrationHidden_data();
    void supplyCalibrationHidden();

    void irBatches_data();
    void irBatches();
    void irThresholdLines();

    void plotsFollowLinkAndConfiguration_data();
    void plotsFollowLinkAndConfiguration();
    void irRangeFollowsThreshold();
    void closedWithFocusInSpinBox_data();
    void closedWithFocusInSpinBox();

    void trackers();

private:
    LantrelClient &client() { return m_env->client; }
    void send(void (LantrelClient::*signal)(ushort, QVector<quint16>), const Batches &batches);

    QTemporaryDir m_dir;
    std::unique_ptr<WindowTest::PublishedClient> m_env;
};

void TestPlotTabs::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestPlotTabs::init()
{
    appSettings->remove(QString());
    m_env = std::make_unique<WindowTest::PublishedClient>();
}

void TestPlotTabs::cleanup()
{
    m_env.reset();
}

void TestPlotTabs::send(void (LantrelClient::*signal)(ushort, QVector<quint16>), const Batches &batches)
{
    for (const Batch &b : batches)
        (client().*signal)(ushort(b.first), b.second);
}

// ---------------------------------------------------------------------------
// Enable rules

void TestPlotTabs::measurementButtonRules_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("hasData");
    QTest::addColumn<bool>("lineOn");
    QTest::addColumn<bool>("running");
    for (int bits = 0; bits < 16; ++bits) {
        const bool c = bits & 1, d = bits & 2, l = bits & 4, r = bits & 8;
        QTest::addRow("c%d d%d l%d r%d", c, d, l, r) << c << d << l << r;
    }
}

void TestPlotTabs::measurementButtonRules()
{
    QFETCH(bool, connected);
    QFETCH(bool, hasData);
    QFETCH(bool, lineOn);
    QFETCH(bool, running);
    const MeasurementButtons b = measurementButtons(connected, hasData, lineOn, running);
    QCOMPARE(b.start, connected && hasData && lineOn && !running);
    QCOMPARE(b.stop, connected && running);
}

void TestPlotTabs::supplyButtonRules()
{
    for (int bits = 0; bits < 8; ++bits)
        QCOMPARE(supplyCommandsEnabled(bits & 1, bits & 2, bits & 4), bits == 7);
}

// ---------------------------------------------------------------------------
// Amplitude

void TestPlotTabs::amplitudeBatches_data()
{
    QTest::addColumn<QVector<int>>("rows");
    QTest::addColumn<Batches>("batches");
    QTest::addColumn<QVector<QPointF>>("drawn");
    QTest::addColumn<double>("yTop");
    QTest::addColumn<QPointF>("xRange");

    QTest::newRow("rows out of address order")
        << QVector<int> {5, 3, 9} << Batches {{0, {100, 200, 300}}}
        << QVector<QPointF> {{3, 200}, {5, 100}, {9, 300}} << 330.0 << QPointF(2, 10);
    QTest::newRow("batches split over the table")
        << QVector<int> {30, 10, 20} << Batches {{0, {1, 2}}, {2, {3}}}
        << QVector<QPointF> {{10, 2}, {20, 3}, {30, 1}} << 3.0 << QPointF(9, 31);
    QTest::newRow("a batch short of the last row draws nothing")
        << QVector<int> {10, 20, 30} << Batches {{0, {1, 2}}} << QVector<QPointF> {} << 8200.0
        << QPointF(9, 31);
    QTest::newRow("an empty row ends the table")
        << QVector<int> {7, 0, 9} << Batches {{0, {50, 60, 70}}} << QVector<QPointF> {{7, 50}} << 55.0
        << QPointF(6, 8);
    QTest::newRow("values past the rows are dropped")
        << QVector<int> {2} << Batches {{0, {10, 20, 30}}} << QVector<QPointF> {{2, 10}} << 11.0
        << QPointF(1, 3);
    QTest::newRow("amplitudes at the top of 16 bits")
        << QVector<int> {500, 1} << Batches {{0, {0, 65534}}} << QVector<QPointF> {{1, 65534}, {500, 0}}
        << 72087.0 << QPointF(1, 500);
    QTest::newRow("all amplitudes 0")
        << QVector<int> {4, 6} << Batches {{0, {0, 0}}} << QVector<QPointF> {{4, 0}, {6, 0}} << 8200.0
        << QPointF(3, 7);
    QTest::newRow("a later batch replaces the values")
        << QVector<int> {1, 2} << Batches {{0, {5, 6}}, {0, {7, 8}}} << QVector<QPointF> {{1, 7}, {2, 8}}
        << 8.0 << QPointF(1, 3);
    QTest::newRow("no sensors")
        << QVector<int> {} << Batches {{0, {5}}} << QVector<QPointF> {} << 8200.0 << QPointF(1, 500);
}

void TestPlotTabs::amplitudeBatches()
{
    QFETCH(QVector<int>, rows);
    QFETCH(Batches, batches);
    QFETCH(QVector<QPointF>, drawn);
    QFETCH(double, yTop);
    QFETCH(QPointF, xRange);

    AccelerationViewer tab;
    tab.startTask();
    setSensorRows(client(), rows);
    emit client().datasetChanged();
    send(&LantrelClient::sensorSamples, batches);

    QCOMPARE(points(&tab, QStringLiteral("lightgreen")), drawn);
    QCOMPARE(points(&tab, QStringLiteral("red")), QVector<QPointF>());
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(0, yTop));
    // After a configuration read the X axis shows the sensors with a margin.
    QCOMPARE(axisRange(&tab, QwtPlot::xBottom), xRange);
    QCOMPARE(child<QSpinBox>(&tab, "edtAddrMin")->minimum(), int(xRange.x()));
    QCOMPARE(child<QSpinBox>(&tab, "edtAddrMax")->maximum(), int(xRange.y()));
    QCOMPARE(appSettings->value("AccelerationViewer/MinX").toDouble(), xRange.x());
    QCOMPARE(appSettings->value("AccelerationViewer/MaxX").toDouble(), xRange.y());
}

void TestPlotTabs::amplitudeAlarmColours()
{
    AccelerationViewer tab;
    tab.startTask();
    setSensorRows(client(), {5, 4, 3});
    emit client().datasetChanged();
    setSensorAlarm(client(), 3, false);
    setSensorAlarm(client(), 4, true);
    // Address 5 reports no state: not in alarm.
    emit client().sensorSamples(0, {30, 20, 10});
    QCOMPARE(points(&tab, QStringLiteral("lightgreen")), (QVector<QPointF> {{3, 10}, {5, 30}}));
    QCOMPARE(points(&tab, QStringLiteral("red")), (QVector<QPointF> {{4, 20}}));

    setSensorAlarm(client(), 4, false);
    setSensorAlarm(client(), 3, true);
    emit client().sensorSamples(0, {31, 21, 11});
    QCOMPARE(points(&tab, QStringLiteral("lightgreen")), (QVector<QPointF> {{4, 21}, {5, 31}}));
    QCOMPARE(points(&tab, QStringLiteral("red")), (QVector<QPointF> {{3, 11}}));
}

void TestPlotTabs::amplitudeStartStop()
{
    AccelerationViewer tab;
    auto *start = child<QPushButton>(&tab, "btnStartSampling");
    auto *stop = child<QPushButton>(&tab, "btnStopSampling");
    QVERIFY(!start->isEnabled() && !stop->isEnabled());

    setSensorRows(client(), {1, 2});
    emit client().datasetChanged();
    pretendOnline(client());
    QVERIFY(start->isEnabled() && !stop->isEnabled());
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(!start->isEnabled() && stop->isEnabled());
    emit client().sensorSamples(0, {5, 6});
    QCOMPARE(points(&tab, QStringLiteral("lightgreen")), (QVector<QPointF> {{1, 5}, {2, 6}}));

    // Stopped: samples are kept but not drawn until a batch reaches the end while running.
    QTest::mouseClick(stop, Qt::LeftButton);
    QVERIFY(start->isEnabled() && !stop->isEnabled());
    emit client().sensorSamples(0, {7, 8});
    QCOMPARE(points(&tab, QStringLiteral("lightgreen")), (QVector<QPointF> {{1, 5}, {2, 6}}));
    QTest::mouseClick(start, Qt::LeftButton);
    emit client().sensorSamples(1, {9});
    QCOMPARE(points(&tab, QStringLiteral("lightgreen")), (QVector<QPointF> {{1, 7}, {2, 9}}));

    // A lost connection keeps the task; both buttons wait for the link.
    emit client().deviceDisconnected();
    QVERIFY(!start->isEnabled() && !stop->isEnabled());
    emit client().deviceConnected(ClientConnection());
    QVERIFY(!start->isEnabled() && stop->isEnabled());

    // The line going off ends it; the line coming back does not restart it.
    emit client().lineStatusChanged(lineStatus(LantrelProtocol::LN_OFF));
    QVERIFY(!start->isEnabled() && !stop->isEnabled());
    emit client().lineStatusChanged(lineStatus(LantrelProtocol::LN_ONN));
    QVERIFY(start->isEnabled() && !stop->isEnabled());
    // The reconnect cleared the old link's curve; samples of a stopped task are not drawn.
    emit client().sensorSamples(0, {1, 1});
    QCOMPARE(points(&tab, QStringLiteral("lightgreen")), QVector<QPointF>());
}

void TestPlotTabs::amplitudeAxesAndSettings()
{
    AccelerationViewer tab;
    auto *addrMin = child<QSpinBox>(&tab, "edtAddrMin");
    auto *addrMax = child<QSpinBox>(&tab, "edtAddrMax");
    auto *setX = child<QPushButton>(&tab, "btnSetAxisX");

    // Limits in the wrong order are applied in order; the spin boxes keep theirs.
    addrMin->setValue(300);
    addrMax->setValue(100);
    QTest::mouseClick(setX, Qt::LeftButton);
    QCOMPARE(axisRange(&tab, QwtPlot::xBottom), QPointF(100, 300));
    QCOMPARE(appSettings->value("AccelerationViewer/MinX").toInt(), 100);
    QCOMPARE(appSettings->value("AccelerationViewer/MaxX").toInt(), 300);
    QCOMPARE(addrMin->value(), 300);
    QCOMPARE(addrMax->value(), 100);

    // Short ranges get a tick at every address.
    addrMin->setValue(10);
    addrMax->setValue(19);
    QTest::mouseClick(setX, Qt::LeftButton);
    QCOMPARE(plotOf(&tab)->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick).size(), 10);
    addrMax->setValue(20);
    QTest::mouseClick(setX, Qt::LeftButton);
    QVERIFY(plotOf(&tab)->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick).size() < 11);

    // Turning "Авто" off applies the spin box at once; on, it waits for samples.
    auto *autoY = child<QCheckBox>(&tab, "ckAutoY");
    auto *valueMax = child<QSpinBox>(&tab, "edtValueMax");
    QVERIFY(autoY->isChecked());
    QVERIFY(!valueMax->isEnabled());
    valueMax->setValue(4000);
    QTest::mouseClick(autoY, Qt::LeftButton);
    QVERIFY(valueMax->isEnabled() && child<QPushButton>(&tab, "btnSetAxisY")->isEnabled());
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(0, 4000));
    QCOMPARE(appSettings->value("AccelerationViewer/AutoY").toBool(), false);
    QCOMPARE(appSettings->value("AccelerationViewer/MaxY").toInt(), 4000);

    tab.startTask();
    setSensorRows(client(), {1});
    emit client().datasetChanged();
    emit client().sensorSamples(0, {1000});
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(0, 4000));
    QTest::mouseClick(autoY, Qt::LeftButton);
    QVERIFY(!child<QPushButton>(&tab, "btnResetAxisY")->isEnabled());
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(0, 4000));
    emit client().sensorSamples(0, {1000});
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(0, 1100));

    // The X reset goes back to the sensors' range.
    addrMin->setValue(2);
    QTest::mouseClick(child<QPushButton>(&tab, "btnResetAxisX"), Qt::LeftButton);
    QCOMPARE(axisRange(&tab, QwtPlot::xBottom), QPointF(1, 2));

    // The threshold line follows its spin box and its reset.
    auto *threshold = child<QSpinBox>(&tab, "edtRefAcc");
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), QVector<double> {500});
    threshold->setValue(1234);
    QTest::mouseClick(child<QPushButton>(&tab, "btnSetRefAcc"), Qt::LeftButton);
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), QVector<double> {1234});
    QCOMPARE(appSettings->value("AccelerationViewer/Threshold").toInt(), 1234);
    QTest::mouseClick(child<QPushButton>(&tab, "btnResetRefAcc"), Qt::LeftButton);
    QCOMPARE(threshold->value(), 500);
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), QVector<double> {500});
}

void TestPlotTabs::savedSettingsAtConstruction()
{
    appSettings->setValue("AccelerationViewer/AutoY", false);
    appSettings->setValue("AccelerationViewer/MaxY", 5000);
    appSettings->setValue("AccelerationViewer/Threshold", 700);
    appSettings->setValue("SupplyVoltageViewer/MinY", 30);
    appSettings->setValue("SupplyVoltageViewer/MaxY", 12);
    appSettings->setValue("IrOutVoltageViewer/MinX", 40);
    appSettings->setValue("IrOutVoltageViewer/MaxX", 20);
    appSettings->setValue("IrOutVoltageViewer/Threshold", 1650);

    AccelerationViewer amplitude;
    QCOMPARE(axisRange(&amplitude, QwtPlot::yLeft), QPointF(0, 5000));
    QVERIFY(child<QSpinBox>(&amplitude, "edtValueMax")->isEnabled());
    QCOMPARE(lineLevels(&amplitude, QStringLiteral("red")), QVector<double> {700});

    // Limits are ordered on the axis and written back in order.
    SupplyVoltageViewer supply;
    QCOMPARE(axisRange(&supply, QwtPlot::yLeft), QPointF(12, 30));
    QCOMPARE(appSettings->value("SupplyVoltageViewer/MinY").toInt(), 12);
    QVERIFY(!child<QSpinBox>(&supply, "edtValueMin")->isEnabled());
    // Until "Авто" is first toggled only the spin boxes follow it.
    QVERIFY(child<QPushButton>(&supply, "btnSetAxisY")->isEnabled());

    IrOutVoltageViewer ir;
    QCOMPARE(axisRange(&ir, QwtPlot::xBottom), QPointF(20, 40));
    QCOMPARE(lineLevels(&ir, QStringLiteral("red")), (QVector<double> {0, 3300}));
}

// ---------------------------------------------------------------------------
// Supply voltage

void TestPlotTabs::supplyBatches_data()
{
    QTest::addColumn<Batches>("batches");
    QTest::addColumn<QVector<QPointF>>("drawn");
    QTest::addColumn<double>("yTop");

    // Only the addresses that report a voltage are drawn.
    QTest::newRow("a batch short of the last address is only stored")
        << Batches {{0, {24500}}} << QVector<QPointF> {} << 35.0;
    QTest::newRow("the last page draws every reported address")
        << Batches {{0, {24500, 12000}}, {120, repeat(120, 0)}, {240, repeat(120, 0)}, {360, repeat(120, 0)},
                    {480, repeat(20, 0)}}
        << QVector<QPointF> {{1, 24.5}, {2, 12.0}} << 26.0;
    QVector<QPointF> top;
    for (int address = 481; address <= 500; ++address)
        top.append(QPointF(address, 5.0));
    QTest::newRow("values past address 500 are dropped") << Batches {{480, repeat(30, 5000)}} << top << 5.0;
    QTest::newRow("below 909 mV the range stays 1 V")
        << Batches {{0, {900}}, {500, {}}} << QVector<QPointF> {{1, 0.9}} << 1.0;
    QTest::newRow("the range reaches above the largest voltage")
        << Batches {{0, {1500}}, {500, {}}} << QVector<QPointF> {{1, 1.5}} << 2.0;
    QTest::newRow("all addresses at 0 V") << Batches {{500, {}}} << QVector<QPointF> {} << 35.0;
    QTest::newRow("a batch past the table stores nothing") << Batches {{500, {7000}}} << QVector<QPointF> {} << 35.0;
    QTest::newRow("an empty batch at the end redraws")
        << Batches {{499, {3000}}, {0, {4000}}, {600, {}}} << QVector<QPointF> {{1, 4.0}, {500, 3.0}} << 4.0;
    // Free addresses and modules without a measurement between the
    // sensors leave no drops to 0 V.
    QVector<quint16> line(500, 0);
    line[0] = 12100;
    line[1] = 12050;
    line[69] = 11900;
    line[499] = 11800;
    QTest::newRow("free addresses between modules")
        << Batches {{0, line.mid(0, 120)}, {120, line.mid(120, 120)}, {240, line.mid(240, 120)},
                    {360, line.mid(360, 120)}, {480, line.mid(480)}}
        << QVector<QPointF> {{1, 12.1}, {2, 12.05}, {70, 11.9}, {500, 11.8}} << 13.0;
}

void TestPlotTabs::supplyBatches()
{
    QFETCH(Batches, batches);
    QFETCH(QVector<QPointF>, drawn);
    QFETCH(double, yTop);

    SupplyVoltageViewer tab;
    send(&LantrelClient::modulesSupplyVoltage, batches);
    QCOMPARE(points(&tab, QStringLiteral("green")), drawn);
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(0, yTop));
}

void TestPlotTabs::supplyCalibrationHidden_data()
{
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<bool>("shown");
    QTest::newRow("absent") << QVariant() << false;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("true") << QVariant(true) << true;
}

void TestPlotTabs::supplyCalibrationHidden()
{
    QFETCH(QVariant, setting);
    QFETCH(bool, shown);
    if (setting.isValid())
        appSettings->setValue("Common/EnableCalibration", setting);
    SupplyVoltageViewer tab;
    tab.show();
    QCOMPARE(child<QPushButton>(&tab, "btnCalibrate")->isVisible(), shown);
}

// ---------------------------------------------------------------------------
// Infrared levels

void TestPlotTabs::irBatches_data()
{
    QTest::addColumn<QVector<int>>("rows");
    QTest::addColumn<QVector<int>>("irSensors");
    QTest::addColumn<Batches>("batches");
    QTest::addColumn<QVector<QPointF>>("drops");
    QTest::addColumn<QVector<QPointF>>("excesses");
    QTest::addColumn<QPointF>("yRange");

    QTest::newRow("rows out of order, other types skipped")
        << QVector<int> {5, 3, 9} << QVector<int> {5, 9} << Batches {{0, {0x2A64, 0x1111, 0x0000}}}
        << QVector<QPointF> {{5, 1500}, {9, 500}} << QVector<QPointF> {{5, 920}, {9, 500}}
        << QPointF(490, 2091);
    QTest::newRow("an excess below the drop is inside the range")
        << QVector<int> {7} << QVector<int> {7} << Batches {{0, {0x0AC8}}} << QVector<QPointF> {{7, 2500}}
        << QVector<QPointF> {{7, 600}} << QPointF(588, 2550);
    // The threshold band (1250 to 2050 mV) stays on the scale.
    QTest::newRow("levels between the band lines")
        << QVector<int> {7} << QVector<int> {7} << Batches {{0, {0x5A6E}}} << QVector<QPointF> {{7, 1600}}
        << QVector<QPointF> {{7, 1400}} << QPointF(1225, 2091);
    QTest::newRow("levels at the byte edges")
        << QVector<int> {1} << QVector<int> {1} << Batches {{0, {0xFFFF}}} << QVector<QPointF> {{1, 3050}}
        << QVector<QPointF> {{1, 3050}} << QPointF(1225, 3111);
    QTest::newRow("no infrared sensor")
        << QVector<int> {4} << QVector<int> {} << Batches {{0, {0x1234}}} << QVector<QPointF> {}
        << QVector<QPointF> {} << QPointF(500, 3300);
    QTest::newRow("a short batch is only stored")
        << QVector<int> {5, 9} << QVector<int> {5, 9} << Batches {{0, {0x0101}}} << QVector<QPointF> {}
        << QVector<QPointF> {} << QPointF(500, 3300);
    QTest::newRow("split batches")
        << QVector<int> {9, 5} << QVector<int> {5, 9} << Batches {{0, {0x0101}}, {1, {0x0302}}}
        << QVector<QPointF> {{5, 520}, {9, 510}} << QVector<QPointF> {{5, 530}, {9, 510}}
        << QPointF(499, 2091);
}

void TestPlotTabs::irBatches()
{
    QFETCH(QVector<int>, rows);
    QFETCH(QVector<int>, irSensors);
    QFETCH(Batches, batches);
    QFETCH(QVector<QPointF>, drops);
    QFETCH(QVector<QPointF>, excesses);
    QFETCH(QPointF, yRange);

    IrOutVoltageViewer tab;
    setSensorRows(client(), rows, irSensors);
    emit client().datasetChanged();
    send(&LantrelClient::sensorIrVoltage, batches);
    QCOMPARE(points(&tab, QStringLiteral("blue")), drops);
    QCOMPARE(points(&tab, QStringLiteral("green")), excesses);
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), yRange);
}

void TestPlotTabs::irThresholdLines()
{
    IrOutVoltageViewer tab;
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), (QVector<double> {1250, 2050}));
    QCOMPARE(lineLevels(&tab, QStringLiteral("black")), QVector<double> {1650});

    // A typed value goes up to the next 10 mV when editing ends.
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    auto *threshold = child<QSpinBox>(&tab, "edtRefUK");
    threshold->setFocus();
    threshold->selectAll();
    QTest::keyClicks(threshold, QStringLiteral("415"));
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), (QVector<double> {1250, 2050}));
    QTest::keyClick(threshold, Qt::Key_Return);
    QCOMPARE(threshold->value(), 420);
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), (QVector<double> {1230, 2070}));
    QCOMPARE(appSettings->value("IrOutVoltageViewer/Threshold").toInt(), 420);

    // Steps move the value, not the lines, until it is applied.
    QTest::keyClick(threshold, Qt::Key_Up);
    QCOMPARE(threshold->value(), 430);
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), (QVector<double> {1230, 2070}));
    QTest::mouseClick(child<QPushButton>(&tab, "btnResetRefUK"), Qt::LeftButton);
    QCOMPARE(threshold->value(), 400);
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), (QVector<double> {1250, 2050}));
}

// ---------------------------------------------------------------------------
// What every plot tab shows belongs to one link and one configuration

void TestPlotTabs::plotsFollowLinkAndConfiguration_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("kept");

    for (const char *tab : {"amplitude", "supply", "infrared"}) {
        QTest::addRow("%s, reconnect", tab) << tab << "reconnect" << false;
        QTest::addRow("%s, new configuration", tab) << tab << "configuration" << false;
        QTest::addRow("%s, link lost", tab) << tab << "disconnect" << true;
    }
}

void TestPlotTabs::plotsFollowLinkAndConfiguration()
{
    QFETCH(QString, tab);
    QFETCH(QString, event);
    QFETCH(bool, kept);

    setSensorRows(client(), {1, 2}, {1, 2});
    pretendOnline(client());
    std::unique_ptr<QWidget> widget;
    QString colour = QStringLiteral("green");
    if (tab == QLatin1String("amplitude")) {
        auto *amplitude = new AccelerationViewer;
        widget.reset(amplitude);
        amplitude->startTask();
        emit client().sensorSamples(0, {5, 6});
        // Stopped, as when the tab is left before the change.
        amplitude->stopTask();
        colour = QStringLiteral("lightgreen");
    } else if (tab == QLatin1String("supply")) {
        widget.reset(new SupplyVoltageViewer);
        emit client().modulesSupplyVoltage(0, {12000, 12100});
        emit client().modulesSupplyVoltage(500, {});
    } else {
        widget.reset(new IrOutVoltageViewer);
        emit client().sensorIrVoltage(0, {0x2A64, 0x2A64});
    }
    const QVector<QPointF> before = points(widget.get(), colour);
    QCOMPARE(before.size(), 2);

    if (event == QLatin1String("reconnect")) {
        emit client().deviceDisconnected();
        emit client().deviceConnected(ClientConnection());
    } else if (event == QLatin1String("configuration")) {
        setSensorRows(client(), {1, 2}, {1, 2});
        emit client().datasetChanged();
    } else {
        emit client().deviceDisconnected();
    }
    QCOMPARE(points(widget.get(), colour), kept ? before : QVector<QPointF>());
}

// The automatic range keeps both lines of the threshold band on the scale.
void TestPlotTabs::irRangeFollowsThreshold()
{
    IrOutVoltageViewer tab;
    setSensorRows(client(), {3}, {3});
    emit client().datasetChanged();
    emit client().sensorIrVoltage(0, {0x5A6E}); // 1600 and 1400 mV
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(1225, 2091));

    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    auto *threshold = child<QSpinBox>(&tab, "edtRefUK");
    threshold->setFocus();
    threshold->selectAll();
    QTest::keyClicks(threshold, QStringLiteral("1600"));
    QTest::keyClick(threshold, Qt::Key_Return);
    QCOMPARE(lineLevels(&tab, QStringLiteral("red")), (QVector<double> {50, 3250}));
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(49, 3315));

    // With no levels yet the default range widens to the band as well.
    emit client().datasetChanged();
    QCOMPARE(axisRange(&tab, QwtPlot::yLeft), QPointF(50, 3300));
}

void TestPlotTabs::closedWithFocusInSpinBox_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("spinBox");
    QTest::newRow("amplitude threshold") << "amplitude" << "edtRefAcc";
    QTest::newRow("infrared threshold") << "infrared" << "edtRefUK";
    QTest::newRow("supply upper limit") << "supply" << "edtValueMax";
    QTest::newRow("infrared address") << "infrared" << "edtAddrMin";
}

// The spin box's editing ends while the tab is torn down: the tab's slots
// must not run on a half-destroyed tab.
void TestPlotTabs::closedWithFocusInSpinBox()
{
    QFETCH(QString, tab);
    QFETCH(QString, spinBox);

    std::unique_ptr<QWidget> widget;
    if (tab == QLatin1String("amplitude"))
        widget.reset(new AccelerationViewer);
    else if (tab == QLatin1String("supply"))
        widget.reset(new SupplyVoltageViewer);
    else
        widget.reset(new IrOutVoltageViewer);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    QApplication::setActiveWindow(widget.get());
    auto *spin = widget->findChild<QSpinBox *>(spinBox);
    QVERIFY(spin);
    spin->setEnabled(true);
    spin->setFocus();
    QTRY_VERIFY(spin->hasFocus());
    widget.reset();
}

// ---------------------------------------------------------------------------
// Trackers

void TestPlotTabs::trackers()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    AccelerationViewer amplitude;
    SupplyVoltageViewer supply;
    IrOutVoltageViewer ir;
    for (QWidget *tab : {static_cast<QWidget *>(&amplitude), static_cast<QWidget *>(&supply),
                         static_cast<QWidget *>(&ir)}) {
        tab->resize(700, 450);
        tab->show();
        QVERIFY(QTest::qWaitForWindowExposed(tab));
    }
    // No sensors yet: no tracker text.
    QCOMPARE(trackerText(&amplitude, 5), QString());

    setSensorRows(client(), {5, 3}, {5});
    emit client().datasetChanged();
    emit client().sensorSamples(0, {100});
    emit client().sensorIrVoltage(0, {0x2A64});
    emit client().modulesSupplyVoltage(2, {24500});
    QCOMPARE(trackerText(&amplitude, 5), QStringLiteral("Адрес: 5\nАмплитуда: 100"));
    QCOMPARE(trackerText(&amplitude, 3), QStringLiteral("Адрес: 3"));
    QCOMPARE(trackerText(&amplitude, 4), QStringLiteral("Адрес: 4"));
    QCOMPARE(trackerText(&ir, 5), QStringLiteral("Адрес: 5\nПревышение: 920 мВ.\nПонижение: 1500 мВ."));
    QCOMPARE(trackerText(&ir, 3), QStringLiteral("Адрес: 3"));
    QCOMPARE(trackerText(&supply, 3), QStringLiteral("Адрес: 3\nНапряжение: 24,500 В."));
    QCOMPARE(trackerText(&supply, 4), QStringLiteral("Адрес: 4"));
}

QTEST_MAIN(TestPlotTabs)
#include "tst_plottabs.moc"
