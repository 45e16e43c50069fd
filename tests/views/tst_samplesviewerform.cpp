// The module-data window: its tabs, what choosing and leaving a tab starts
// and stops, the busy state it relays and the geometry it keeps.

#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <memory>

#include "accelerationviewer.h"
#include "appglobals.h"
#include "iroutvoltageviewer.h"
#include "samplesviewerform.h"
#include "sensorsampleshistorymodel.h"
#include "sensorsampleshistoryviewer.h"
#include "supplyvoltageviewer.h"
#include "viewstestsupport.h"
#include "windowtestsupport.h"

using namespace ViewsTest;

namespace {
// A button of one tab (the tabs share some object names).
template <typename Tab>
QPushButton *button(SamplesViewerForm &form, const char *name)
{
    auto *b = form.findChild<Tab *>()->template findChild<QPushButton *>(QLatin1String(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}
} // namespace

class TestSamplesViewerForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabs();
    void amplitudeRunsFromTheStart();
    void leavingTheInfraredTabStopsIt_data();
    void leavingTheInfraredTabStopsIt();
    void closingStopsTheInfraredMeasurement();
    void historyRecordsFromItsTab_data();
    void historyRecordsFromItsTab();
    void busyStateReachesTheSupplyTab();
    void geometryIsKept();

private:
    LantrelClient &client() { return m_env->client; }
    std::unique_ptr<SamplesViewerForm> openForm();
    void chooseTab(SamplesViewerForm &form, int index);

    QTemporaryDir m_dir;
    std::unique_ptr<WindowTest::PublishedClient> m_env;
};

void TestSamplesViewerForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestSamplesViewerForm::init()
{
    appSettings->remove(QString());
    m_env = std::make_unique<WindowTest::PublishedClient>();
}

void TestSamplesViewerForm::cleanup()
{
    m_env.reset();
}

std::unique_ptr<SamplesViewerForm> TestSamplesViewerForm::openForm()
{
    auto form = std::make_unique<SamplesViewerForm>(nullptr, Qt::Window);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("window not exposed");
    return form;
}

void TestSamplesViewerForm::chooseTab(SamplesViewerForm &form, int index)
{
    QTabBar *bar = form.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
    QCOMPARE(bar->currentIndex(), index);
}

void TestSamplesViewerForm::tabs()
{
    auto form = openForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("Данные от модулей"));
    auto *tabs = form->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->currentIndex(), 0);
    const QStringList captions {QStringLiteral("Амплитуда сигналов датчиков"),
                                QStringLiteral("Напряжение на входе модулей"),
                                QStringLiteral("Напряжение на выходе ИК-канала"),
                                QStringLiteral("История сигналов от датчиков")};
    for (int i = 0; i < captions.size(); ++i)
        QCOMPARE(tabs->tabText(i), captions.at(i));
    QVERIFY(qobject_cast<AccelerationViewer *>(tabs->widget(0)));
    QVERIFY(qobject_cast<SupplyVoltageViewer *>(tabs->widget(1)));
    QVERIFY(qobject_cast<IrOutVoltageViewer *>(tabs->widget(2)));
    QVERIFY(qobject_cast<SensorSamplesHistoryViewer *>(tabs->widget(3)));
}

void TestSamplesViewerForm::amplitudeRunsFromTheStart()
{
    setSensorRows(client(), {1, 2});
    emit client().datasetChanged();
    auto form = openForm();
    pretendOnline(client());
    QVERIFY(!button<AccelerationViewer>(*form, "btnStartSampling")->isEnabled());
    QVERIFY(button<AccelerationViewer>(*form, "btnStopSampling")->isEnabled());
    emit client().sensorSamples(0, {3, 4});
    QCOMPARE(points(form->findChild<AccelerationViewer *>(), QStringLiteral("lightgreen")),
             (QVector<QPointF> {{1, 3}, {2, 4}}));

    // Choosing the tab again restarts a stopped task.
    QTest::mouseClick(button<AccelerationViewer>(*form, "btnStopSampling"), Qt::LeftButton);
    chooseTab(*form, 1);
    QVERIFY(button<AccelerationViewer>(*form, "btnStartSampling")->isEnabled());
    chooseTab(*form, 0);
    QVERIFY(button<AccelerationViewer>(*form, "btnStopSampling")->isEnabled());
}

void TestSamplesViewerForm::leavingTheInfraredTabStopsIt_data()
{
    QTest::addColumn<int>("next");
    QTest::newRow("to the amplitudes") << 0;
    QTest::newRow("to the supply voltages") << 1;
    QTest::newRow("to the history") << 3;
}

void TestSamplesViewerForm::leavingTheInfraredTabStopsIt()
{
    QFETCH(int, next);
    setSensorRows(client(), {5}, {5});
    emit client().datasetChanged();
    auto form = openForm();
    pretendOnline(client());
    QPushButton *start = button<IrOutVoltageViewer>(*form, "btnStartMeasurement");
    QPushButton *stop = button<IrOutVoltageViewer>(*form, "btnStopMeasurement");
    QVERIFY(start->isEnabled());

    chooseTab(*form, 2);
    QVERIFY(!start->isEnabled() && stop->isEnabled());
    chooseTab(*form, next);
    QVERIFY(start->isEnabled() && !stop->isEnabled());

    // Moving between the other tabs leaves it alone.
    QTest::mouseClick(start, Qt::LeftButton);
    chooseTab(*form, next == 1 ? 0 : 1);
    QVERIFY(stop->isEnabled());
}

void TestSamplesViewerForm::closingStopsTheInfraredMeasurement()
{
    setSensorRows(client(), {5}, {5});
    emit client().datasetChanged();
    auto form = openForm();
    pretendOnline(client());
    IrOutVoltageViewer *ir = form->findChild<IrOutVoltageViewer *>();
    chooseTab(*form, 2);
    form->close();
    QVERIFY(button<IrOutVoltageViewer>(*form, "btnStartMeasurement")->isEnabled());

    // With another tab current, closing does not touch it.
    form->show();
    chooseTab(*form, 1);
    ir->startTask();
    form->close();
    QVERIFY(button<IrOutVoltageViewer>(*form, "btnStopMeasurement")->isEnabled());
}

void TestSamplesViewerForm::historyRecordsFromItsTab_data()
{
    QTest::addColumn<bool>("linkLost");
    QTest::newRow("online") << false;
    QTest::newRow("link lost while recording") << true;
}

void TestSamplesViewerForm::historyRecordsFromItsTab()
{
    QFETCH(bool, linkLost);
    setSensorRows(client(), {4});
    auto form = openForm();
    pretendOnline(client());
    auto *history = form->findChild<SensorSamplesHistoryModel *>();
    emit client().sensorSamples(0, {1});
    QCOMPARE(history->rowCount(), 0);

    chooseTab(*form, 3);
    QVERIFY(button<SensorSamplesHistoryViewer>(*form, "btnStopSampling")->isEnabled());
    emit client().sensorSamples(0, {2});
    // Other tabs leave the recording running; coming back keeps the history.
    chooseTab(*form, 0);
    emit client().sensorSamples(0, {3});
    chooseTab(*form, 3);
    QCOMPARE(history->history().first().samples.size(), 2);

    // Stopped (online or not), the history survives other tabs and the
    // read after a reconnection, and can be exported.
    if (linkLost)
        emit client().deviceDisconnected();
    QPushButton *stop = button<SensorSamplesHistoryViewer>(*form, "btnStopSampling");
    QVERIFY(stop->isEnabled());
    QTest::mouseClick(stop, Qt::LeftButton);
    chooseTab(*form, 0);
    chooseTab(*form, 3);
    if (linkLost) {
        pretendOnline(client());
        emit client().datasetChanged();
    }
    QCOMPARE(history->history().first().samples.size(), 2);
    QVERIFY(!stop->isEnabled());
    QVERIFY(button<SensorSamplesHistoryViewer>(*form, "btnExport")->isEnabled());

    // Only a new recording drops it.
    QPushButton *start = button<SensorSamplesHistoryViewer>(*form, "btnStartSampling");
    QTRY_VERIFY(start->isEnabled());
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(history->rowCount(), 1);
    QVERIFY(history->history().first().samples.isEmpty());
}

void TestSamplesViewerForm::busyStateReachesTheSupplyTab()
{
    auto form = openForm();
    pretendOnline(client());
    QPushButton *refresh = button<SupplyVoltageViewer>(*form, "btnUpdateSamples");
    QVERIFY(refresh->isEnabled());
    emit form->disableFormActions(true);
    QVERIFY(!refresh->isEnabled());
    QVERIFY(!button<SupplyVoltageViewer>(*form, "btnCalibrate")->isEnabled());
    emit form->disableFormActions(false);
    QVERIFY(refresh->isEnabled());
    // Nothing else follows the busy state.
    emit form->disableFormActions(true);
    QVERIFY(button<AccelerationViewer>(*form, "btnStopSampling")->isEnabled());
}

void TestSamplesViewerForm::geometryIsKept()
{
    QSize initial;
    {
        auto form = openForm();
        initial = form->size();
        // The first size is no taller than the screen (600 pixels here).
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        QVERIFY2(initial.height() <= screen.height(), qPrintable(QString::number(initial.height())));
        form->resize(initial + QSize(150, 100));
        form->close();
    }
    const QString saved = appSettings->value("SamplesViewer/Geometry").toString();
    QVERIFY(!saved.isEmpty());
    QCOMPARE(saved, saved.toUpper());
    auto form = openForm();
    QCOMPARE(form->size(), initial + QSize(150, 100));

    // A value that does not decode leaves the initial size.
    form->close();
    form.reset();
    appSettings->setValue("SamplesViewer/Geometry", QStringLiteral("not hexadecimal"));
    form = openForm();
    QCOMPARE(form->size(), initial);
}

QTEST_MAIN(TestSamplesViewerForm)
#include "tst_samplesviewerform.moc"
