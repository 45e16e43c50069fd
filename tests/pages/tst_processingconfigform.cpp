// The processing rules page: spin editors in the cells, the group panel with
// its signed zone counts, clamped panel values and the jump by sensor index.

#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "pagetestsupport.h"
#include "processingconfigform.h"
#include "processingconfigmodel.h"

using namespace PageTest;

namespace {

using Model = ProcessingConfigModel;

ProcessingRuleRecord rule(quint16 address, quint16 threshold)
{
    ProcessingRuleRecord rec;
    rec.lineAddress = address;
    rec.config.MRef = threshold;
    rec.config.NExc = 3;
    rec.config.SensLeft = 2;
    rec.config.SensRight = -1;
    rec.config.Ratio = 4;
    return rec;
}

// Rules of the sensors at line addresses 100, 200, 256, 300 and 400 (rows 0 to 4).
struct Page
{
    explicit Page(QObject *owner)
        : env(owner)
    {
        const quint16 addresses[] = {100, 200, 256, 300, 400};
        for (ushort i = 0; i < 5; ++i)
            model()->setRule(i, rule(addresses[i], i == 1 ? 9000 : 500));
        form.resize(900, 600);
        form.show();
        emit env.client.datasetChanged();
    }

    Model *model() const { return env.client.processingConfigModel(); }
    QTableView *table() const { return widget<QTableView>("tableView"); }
    template <typename T>
    T *widget(const char *name) const { return form.findChild<T *>(QLatin1String(name)); }

    Environment env;
    ProcessingConfigForm form;
};

} // namespace

class TestProcessingConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void everyRuleShown();
    void cellEdits_data();
    void cellEdits();
    void groupApply();
    void anyParameterEnablesApply_data();
    void anyParameterEnablesApply();
    void panelClampsValues();
    void jumpToModule();
};

void TestProcessingConfigForm::everyRuleShown()
{
    Page p(this);
    QCOMPARE(p.table()->model()->rowCount(), 5);
    // The filter tests the whole line address: 256 is not taken for 0.
    QCOMPARE(p.table()->model()->index(2, Model::AddressColumn).data().toInt(), 256);
    QCOMPARE(selectedRows(p.table()), QList<int>{0});
}

void TestProcessingConfigForm::cellEdits_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored");

    QTest::newRow("threshold") << int(Model::ThresholdColumn) << "7999" << 7999;
    QTest::newRow("threshold above range") << int(Model::ThresholdColumn) << "9500" << 950; // last digit refused
    QTest::newRow("exceedances") << int(Model::ExceedColumn) << "6" << 6;
    QTest::newRow("exceedances, the least") << int(Model::ExceedColumn) << "2" << 2;
    QTest::newRow("exceedances below the least") << int(Model::ExceedColumn) << "1" << 2; // raised to it
    QTest::newRow("left negative") << int(Model::LeftColumn) << "-3" << -3;
    QTest::newRow("right") << int(Model::RightColumn) << "12" << 12;
    QTest::newRow("ratio") << int(Model::RatioColumn) << "20" << 20;
}

void TestProcessingConfigForm::cellEdits()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(int, stored);

    Page p(this);
    const ProcessingRuleRecord before = p.model()->ruleAt(3);
    QVERIFY(typeInCell(p.table(), 3, column, typed));
    const LantrelProtocol::Konfig_Proc_t after = p.model()->ruleAt(3).config;
    const QMap<int, int> fields{{Model::ThresholdColumn, after.MRef}, {Model::ExceedColumn, after.NExc},
                                {Model::LeftColumn, after.SensLeft},  {Model::RightColumn, after.SensRight},
                                {Model::RatioColumn, after.Ratio}};
    const QMap<int, int> old{{Model::ThresholdColumn, before.config.MRef}, {Model::ExceedColumn, before.config.NExc},
                             {Model::LeftColumn, before.config.SensLeft},  {Model::RightColumn, before.config.SensRight},
                             {Model::RatioColumn, before.config.Ratio}};
    for (int c : fields.keys())
        QCOMPARE(fields.value(c), c == column ? stored : old.value(c));
}

void TestProcessingConfigForm::groupApply()
{
    Page p(this);
    selectRows(p.table(), 1, 3);
    p.widget<QPushButton>("btnGroupTuning")->click();
    QTest::mouseClick(p.widget<QCheckBox>("ckNSec1"), Qt::LeftButton);
    QTest::mouseClick(p.widget<QCheckBox>("ckRatio"), Qt::LeftButton);
    p.widget<QSpinBox>("edtNSec1")->setValue(-3);
    p.widget<QSpinBox>("edtRatio")->setValue(7);
    QTest::mouseClick(p.widget<QPushButton>("btnApply"), Qt::LeftButton);

    for (ushort i = 0; i < 5; ++i) {
        const ProcessingRuleRecord rec = p.model()->ruleAt(i);
        const bool selected = i >= 1 && i <= 3;
        QCOMPARE(quint8(rec.config.SensLeft), quint8(selected ? 0xFD : 2));
        QCOMPARE(int(rec.config.Ratio), selected ? 7 : 4);
        QCOMPARE(int(rec.config.MRef), i == 1 ? 9000 : 500);
        QCOMPARE(int(rec.config.SensRight), -1);
    }
    QCOMPARE(p.table()->model()->index(2, Model::LeftColumn).data().toInt(), -3);
}

void TestProcessingConfigForm::anyParameterEnablesApply_data()
{
    QTest::addColumn<QString>("check");
    for (const char *name : {"ckMRef", "ckNExc", "ckNSec1", "ckNSec2", "ckRatio"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestProcessingConfigForm::anyParameterEnablesApply()
{
    QFETCH(QString, check);

    Page p(this);
    p.widget<QPushButton>("btnGroupTuning")->click();
    auto *apply = p.widget<QPushButton>("btnApply");
    QVERIFY(!apply->isEnabled());
    QTest::mouseClick(p.widget<QCheckBox>(check.toLatin1().constData()), Qt::LeftButton);
    QVERIFY(apply->isEnabled());
    p.form.disableFormActions(true);
    QVERIFY(!apply->isEnabled());
}

void TestProcessingConfigForm::panelClampsValues()
{
    Page p(this);
    clickCell(p.table(), 1);
    QCOMPARE(p.widget<QSpinBox>("edtMRef")->value(), 8000);
    QCOMPARE(p.widget<QSpinBox>("edtNSec2")->value(), -1);
    QCOMPARE(p.widget<QSpinBox>("edtRatio")->value(), 4);
}

void TestProcessingConfigForm::jumpToModule()
{
    Page p(this);
    selectRows(p.table(), 0, 1);
    p.form.jumpToModule(4);
    QCOMPARE(selectedRows(p.table()), QList<int>{4});
    p.form.jumpToModule(300); // a sensor with no rule: the selection stays
    QCOMPARE(selectedRows(p.table()), QList<int>{4});
}

QTEST_MAIN(TestProcessingConfigForm)
#include "tst_processingconfigform.moc"
