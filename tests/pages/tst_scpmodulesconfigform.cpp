// The line-protection modules page: thresholds as read from the controller,
// in volts of the default locale, under one spanned caption; nothing to edit;
// first-row selection and the jump.

#include <QHeaderView>
#include <QtTest>

#include "lantrelprotocol.h"
#include "pagetestsupport.h"
#include "scpmodulesconfigform.h"
#include "scpmodulesconfigmodel.h"
#include "spannedheaderview.h"

using namespace PageTest;

class TestScpModulesConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void thresholdsReadFromController();
    void emptyTable();
    void jumpToModule_data();
    void jumpToModule();
};

void TestScpModulesConfigForm::thresholdsReadFromController()
{
    Environment env(this);
    FakeController &fake = env.published.fake;
    fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")), 4, 4, 3);
    LantrelProtocol::Konfig_MKZ_t first = fake.scpModules().at(0);
    first.ThrMin = 850;
    first.ThrOff = 12340;
    first.ThrOn = 5;
    fake.setRecord(20, 0, first);
    QVERIFY(ClientTest::listenAndConnect(env.published.server, env.client));

    ScpModulesConfigForm form;
    form.resize(800, 400);
    form.show();
    auto *table = form.findChild<QTableView *>(QStringLiteral("tableView"));
    QSignalSpy dataset(&env.client, &LantrelClient::datasetChanged);
    env.client.readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));

    QCOMPARE(table->model()->rowCount(), 3);
    QCOMPARE(selectedRows(table), QList<int>{0});
    const auto text = [table](int column) { return table->model()->index(0, column).data().toString(); };
    QCOMPARE(text(ScpModulesConfigModel::ThrMinColumn), QStringLiteral("0,85"));
    QCOMPARE(text(ScpModulesConfigModel::ThrOffColumn), QStringLiteral("12,34"));
    QCOMPARE(text(ScpModulesConfigModel::ThrOnColumn), QStringLiteral("0,01"));
    QVERIFY(qobject_cast<SpannedHeaderView *>(table->horizontalHeader()));

    // Nothing opens an editor.
    for (int column = 0; column < ScpModulesConfigModel::ColumnCount; ++column)
        QVERIFY(!openEditor<QWidget>(table, 0, column));
    QCOMPARE(table->model()->index(0, ScpModulesConfigModel::ThrMinColumn).data().toString(),
             QStringLiteral("0,85"));
}

void TestScpModulesConfigForm::emptyTable()
{
    Environment env(this);
    ScpModulesConfigForm form;
    form.show();
    emit env.client.datasetChanged();
    auto *table = form.findChild<QTableView *>(QStringLiteral("tableView"));
    QCOMPARE(table->model()->rowCount(), 0);
    QVERIFY(!table->selectionModel()->hasSelection());
}

void TestScpModulesConfigForm::jumpToModule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("selected");

    QTest::newRow("line protection") << int(LantrelProtocol::SECT_MKZ) << QList<int>{2};
    QTest::newRow("I/O module") << int(LantrelProtocol::SECT_MVV) << QList<int>{0};
    QTest::newRow("sensor") << int(LantrelProtocol::SECT_ACC) << QList<int>{0};
}

void TestScpModulesConfigForm::jumpToModule()
{
    QFETCH(int, type);
    QFETCH(QList<int>, selected);

    Environment env(this);
    for (ushort i = 0; i < 3; ++i) {
        ScpModuleRecord rec;
        rec.lineAddress = quint16(301 + i);
        rec.deviceType = LantrelProtocol::SECT_MKZ;
        env.client.scpModulesConfigModel()->setModule(i, rec);
    }
    ScpModulesConfigForm form;
    form.show();
    emit env.client.datasetChanged();
    auto *table = form.findChild<QTableView *>(QStringLiteral("tableView"));
    form.jumpToModule(uchar(type), 2);
    QCOMPARE(selectedRows(table), selected);
}

QTEST_MAIN(TestScpModulesConfigForm)
#include "tst_scpmodulesconfigform.moc"
