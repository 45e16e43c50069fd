// The sensors page with its two tabs: the busy state reaches both, the line
// page's jump requests switch the tab and select the row, and edits made on
// both tabs reach the fake line controller and come back.

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "lantrelprotocol.h"
#include "pagetestsupport.h"
#include "processingconfigform.h"
#include "processingconfigmodel.h"
#include "sensorsconfigform.h"
#include "sensorsconfigmodel.h"
#include "sensorsform.h"

using namespace PageTest;

namespace {

SensorModuleRecord sensor(quint16 address, quint8 type)
{
    SensorModuleRecord rec;
    rec.lineAddress = address;
    rec.serialNumber = 9000u + address;
    rec.serialNumberText = QString::number(rec.serialNumber);
    rec.deviceType = type;
    rec.deviceTypeName = QStringLiteral("ВТ-Л");
    return rec;
}

struct Page
{
    explicit Page(QObject *owner)
        : env(owner)
    {
        for (ushort i = 0; i < 6; ++i) {
            env.client.sensorsConfigModel()->setModule(i, sensor(quint16(20 + i), LantrelProtocol::SECT_ACC));
            ProcessingRuleRecord rule;
            rule.lineAddress = quint16(20 + i);
            env.client.processingConfigModel()->setRule(i, rule);
        }
        form.resize(1000, 600);
        form.show();
        emit env.client.datasetChanged();
    }

    QTabWidget *tabs() const { return form.findChild<QTabWidget *>(QStringLiteral("tabWidget")); }
    QWidget *tab(const char *name) const { return form.findChild<QWidget *>(QLatin1String(name)); }
    QTableView *table(const char *tabName) const
    {
        return tab(tabName)->findChild<QTableView *>(QStringLiteral("tableView"));
    }
    QPushButton *tuning(const char *tabName) const
    {
        return tab(tabName)->findChild<QPushButton *>(QStringLiteral("btnGroupTuning"));
    }

    Environment env;
    SensorsForm form;
};

} // namespace

class TestSensorsForm : public QObject
{
    Q_OBJECT

private slots:
    void tabs();
    void busyStateReachesBothTabs();
    void jumpToModule_data();
    void jumpToModule();
    void jumpToProcessing();
    void editsReachTheControllerAndComeBack();
};

void TestSensorsForm::tabs()
{
    Page p(this);
    QCOMPARE(p.tabs()->currentWidget(), p.tab("tabSensors"));
    QVERIFY(qobject_cast<SensorsConfigForm *>(p.tabs()->widget(0)));
    QVERIFY(qobject_cast<ProcessingConfigForm *>(p.tabs()->widget(1)));
    QCOMPARE(p.tabs()->tabText(0), QStringLiteral("Настройка датчиков"));
    QCOMPARE(p.tabs()->tabText(1), QStringLiteral("Настройка обработки"));
}

void TestSensorsForm::busyStateReachesBothTabs()
{
    Page p(this);
    QVERIFY(p.tuning("tabSensors")->isEnabled());
    QVERIFY(p.tuning("tabProcessing")->isEnabled());
    emit p.form.disableFormActions(true);
    QVERIFY(!p.tuning("tabSensors")->isEnabled());
    QVERIFY(!p.tuning("tabProcessing")->isEnabled());
    emit p.form.disableFormActions(false);
    QVERIFY(p.tuning("tabSensors")->isEnabled());
    QVERIFY(p.tuning("tabProcessing")->isEnabled());
}

void TestSensorsForm::jumpToModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("selected");

    QTest::newRow("sensor") << int(LantrelProtocol::SECT_ACC) << QList<int>{4};
    QTest::newRow("sensor with IR") << int(LantrelProtocol::SECT_ACCI) << QList<int>{4};
    QTest::newRow("I/O module: tab only") << int(LantrelProtocol::SECT_MVV) << QList<int>{0};
}

void TestSensorsForm::jumpToModule()
{
    QFETCH(int, type);
    QFETCH(QList<int>, selected);

    Page p(this);
    p.tabs()->setCurrentIndex(1);
    p.form.jumpToModule(uchar(type), 4);
    QCOMPARE(p.tabs()->currentIndex(), 0);
    QCOMPARE(selectedRows(p.table("tabSensors")), selected);
    QCOMPARE(selectedRows(p.table("tabProcessing")), QList<int>{0});
}

void TestSensorsForm::jumpToProcessing()
{
    Page p(this);
    p.form.jumpToProcessing(5);
    QCOMPARE(p.tabs()->currentIndex(), 1);
    QCOMPARE(selectedRows(p.table("tabProcessing")), QList<int>{5});
    QCOMPARE(selectedRows(p.table("tabSensors")), QList<int>{0});
}

void TestSensorsForm::editsReachTheControllerAndComeBack()
{
    Environment env(this);
    FakeController &fake = env.published.fake;
    fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")), 150, 4, 2);
    QVERIFY(ClientTest::listenAndConnect(env.published.server, env.client));
    SensorsForm form;
    form.resize(1000, 600);
    form.show();
    QSignalSpy dataset(&env.client, &LantrelClient::datasetChanged);
    env.client.readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));

    auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QWidget *sensorsTab = tabs->widget(0);
    QWidget *processingTab = tabs->widget(1);
    auto *sensors = sensorsTab->findChild<QTableView *>(QStringLiteral("tableView"));
    auto *processing = processingTab->findChild<QTableView *>(QStringLiteral("tableView"));
    QCOMPARE(sensors->model()->rowCount(), 150);

    // Sensors: the IR threshold of module 1 ("ВС-Л") in its cell, the range of modules 0 to 4 by group.
    QVERIFY(typeInCell(sensors, 1, SensorsConfigModel::IrThresholdColumn, QStringLiteral("900")));
    sensorsTab->findChild<QPushButton *>(QStringLiteral("btnGroupTuning"))->click();
    selectRows(sensors, 0, 4);
    QTest::mouseClick(sensorsTab->findChild<QCheckBox *>(QStringLiteral("ckRange")), Qt::LeftButton);
    pick(sensorsTab->findChild<QComboBox *>(QStringLiteral("cbRange")), 3);
    QTest::mouseClick(sensorsTab->findChild<QPushButton *>(QStringLiteral("btnApply")), Qt::LeftButton);

    // Processing: the threshold of module 7 in its cell, the left zone of modules 2 and 3 by group.
    tabs->setCurrentIndex(1);
    QVERIFY(typeInCell(processing, 7, ProcessingConfigModel::ThresholdColumn, QStringLiteral("1234")));
    processingTab->findChild<QPushButton *>(QStringLiteral("btnGroupTuning"))->click();
    selectRows(processing, 2, 3);
    QTest::mouseClick(processingTab->findChild<QCheckBox *>(QStringLiteral("ckNSec1")), Qt::LeftButton);
    processingTab->findChild<QSpinBox *>(QStringLiteral("edtNSec1"))->setValue(-7);
    QTest::mouseClick(processingTab->findChild<QPushButton *>(QStringLiteral("btnApply")), Qt::LeftButton);

    const auto sensorsBefore = fake.sensors();
    QSignalSpy written(&env.client, &LantrelClient::writeFinished);
    env.client.writeConfiguration();
    QVERIFY(written.wait(ClientTest::LongWaitMs));

    const auto sensorsAfter = fake.sensors();
    QCOMPARE(int(sensorsAfter[1].ThrIR), 90);
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(int(sensorsAfter[i].Range), 3);
    QCOMPARE(sensorsAfter[5].Range, sensorsBefore[5].Range);
    // The vibration-only modules of the group got no infrared values.
    QCOMPARE(sensorsAfter[0].ThrIR, sensorsBefore[0].ThrIR);
    QCOMPARE(sensorsAfter[0].RuleJP, sensorsBefore[0].RuleJP);
    const auto rules = fake.processing();
    QCOMPARE(int(rules[7].MRef), 1234);
    QCOMPARE(int(rules[2].SensLeft), -7);
    QCOMPARE(int(rules[3].SensLeft), -7);
    QCOMPARE(int(rules[4].SensLeft), -1);

    env.client.readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    QCOMPARE(int(env.client.sensorsConfigModel()->moduleAt(1).irThreshold), 90);
    QCOMPARE(int(env.client.processingConfigModel()->ruleAt(2).config.SensLeft), -7);
}

QTEST_MAIN(TestSensorsForm)
#include "tst_sensorsform.moc"
