// Main window: the reads of the configuration the user did not ask for
// (after a connection, a restart, a restore, a change of the module counts),
// counted in the fake line controller's requests.

#include "controllerconfigmodel.h"
#include "mainformrig.h"
#include "sensorsconfigmodel.h"

#include <QApplication>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace LantrelProtocol;
using namespace MainFormTest;

class TestMainFormReads : public QObject, public MainFormRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init() { initRig(); }
    void cleanup() { cleanupRig(); }

    void loadDuringRead();
    void oneReadPerConnection_data();
    void oneReadPerConnection();
    void automaticRereadsReadOnce_data();
    void automaticRereadsReadOnce();
    void restoreAsksAgainAfterNo_data();
    void restoreAsksAgainAfterNo();

private:
    int readTasks(const QSignalSpy &tasks) const;
};

namespace {

// Another client puts one more sensor on the line: the controller's module
// counts change, its tables stay consistent (the sensor has no interactions).
void addSensorOnController(FakeController &fake)
{
    const QVector<Konfig_Section_t> sensors = fake.sensors();
    int row = 0;
    while (row < sensors.size() && sensors.at(row).DeviceType != 0)
        ++row;
    Konfig_Section_t added;
    added.SerialNo = 0x2F0F1;
    added.LineAddr = 499;
    added.DeviceType = SECT_ACC;
    fake.setRecord(10, row, added);
    Konfig_Line_t line = fake.lineConfig();
    ++line.SensorCount;
    fake.setLineConfig(line);
}

} // namespace

// A file opened while an automatic re-read runs is refused with a word; the
// models are the controller's whole set.
void TestMainFormReads::loadDuringRead()
{
    FakeLine line;
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();
    ControllerConfigModel *settings = client->controllerConfigModel();
    const quint8 held = settings->deviceConfig.TSign;
    const quint8 edit = held == 7 ? 8 : 7;
    const quint16 heldSensor = client->sensorsConfigModel()->moduleAt(0).lineAddress;

    // A file of the same controller with another hold time.
    QTemporaryDir dir;
    settings->setData(ControllerConfigModel::TSignParam, edit, Qt::EditRole);
    m_saveAnswer = dir.filePath(QStringLiteral("other.xml"));
    act(QStringLiteral("actSaveConfig"))->trigger();
    QVERIFY(QFile::exists(m_saveAnswer));
    waitIdle();

    // The controller's configuration changes while the file dialog is open.
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    line.fake.overrideRegister(22, 77);
    UiSeams::setOpenFileHandler([&](QWidget *, const QString &, const QString &, const QString &,
                                    QFileDialog::Options) {
        // The edit was saved to the file: the re-read asks nothing.
        if (!QTest::qWaitFor([&] { return !tasks.isEmpty(); }, 15000))
            return QString();
        return m_saveAnswer;
    });
    m_boxes.asked.clear();
    act(QStringLiteral("actLoadConfig"))->trigger();
    QVERIFY(!tasks.isEmpty());
    QCOMPARE(tasks.at(0).at(0).toString(), ReadTask);
    line.fake.clearRegisterOverride(22);
    QVERIFY(dataset.count() > 0 || dataset.wait(30000));
    waitIdle(30000);
    settle();

    QTRY_VERIFY(!m_boxes.asked.isEmpty());
    QCOMPARE(m_boxes.asked.first().icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.asked.first().text.contains(QStringLiteral("невозможна: выполняется чтение конфигурации")),
             qPrintable(m_boxes.asked.first().text));
    // One source: the controller's.
    QCOMPARE(tasks.count(), 1);
    QVERIFY(client->datasetComplete());
    QCOMPARE(settings->deviceConfig.TSign, held);
    QCOMPARE(client->sensorsConfigModel()->moduleAt(0).lineAddress, heldSensor);
    QVERIFY(!form->statusBar()->currentMessage().contains(QStringLiteral("Загрузка")));
}

int TestMainFormReads::readTasks(const QSignalSpy &tasks) const
{
    int n = 0;
    for (const QList<QVariant> &args : tasks)
        n += args.at(0).toString() == ReadTask ? 1 : 0;
    return n;
}

// A connection reads the whole configuration once, though the first status
// block may tell module counts the driver has not taken from it yet.
void TestMainFormReads::oneReadPerConnection_data()
{
    QTest::addColumn<bool>("slowWindow");
    QTest::newRow("the read starts at once") << false;
    // A loaded machine: the driver sends its first status request before the
    // window starts the read, and the answer comes while the read runs.
    QTest::newRow("status request before the read") << true;
}

void TestMainFormReads::oneReadPerConnection()
{
    QFETCH(bool, slowWindow);

    FakeLine line;
    QVERIFY(line.listening);
    LantrelClient *client = m_manager->client();
    bool statusSent = false;
    if (slowWindow) {
        FakeInjection late = FakeInjection::make(FakeInjection::Delay, 3, 1, 300);
        late.address = 22;
        line.fake.addInjection(late);
        // Told before the window is: it holds the window back until then.
        connect(client, &LantrelClient::deviceConnected, this, [&]() {
            statusSent = QTest::qWaitFor([&line]() {
                for (const FakeRequest &r : line.fake.requestLog())
                    if (r.function == 3 && r.address == 22)
                        return true;
                return false;
            }, 5000);
        });
    }
    makeForm()->show();
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    QVERIFY(connectToFake(line));
    waitIdle();
    QCOMPARE(statusSent, slowWindow);
    QVERIFY(line.waitStatusReadsFrom(line.fake.elapsedMs(), 3));
    settle();
    QCOMPARE(line.configurationReads(), 127);
    QCOMPARE(readTasks(tasks), 1);
    QCOMPARE(m_boxes.asked.size(), 0);
}

// Each read the program starts on its own reads the whole configuration
// once; status blocks with the counts the last read took start none.
void TestMainFormReads::automaticRereadsReadOnce_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("reads");
    QTest::newRow("nothing changes") << "none" << 0;
    QTest::newRow("another client adds a module") << "counts" << 127;
    QTest::newRow("restart after a write not saved to flash") << "restart" << 127;
    // The flash holds other counts than the write took: the counts change too.
    QTest::newRow("restart, flash with other counts") << "restart, counts" << 127;
    QTest::newRow("restore from flash") << "restore" << 127;
    QTest::newRow("restore, flash with other counts") << "restore, counts" << 127;
}

void TestMainFormReads::automaticRereadsReadOnce()
{
    QFETCH(QString, change);
    QFETCH(int, reads);

    FakeLine line;
    QVERIFY(line.listening);
    line.fake.setRestartDelays(100, 300);
    QVERIFY(showConnected(line));
    LantrelClient *client = m_manager->client();

    if (change.endsWith(QLatin1String("counts")) && change != QLatin1String("counts")) {
        quint16 idx = 0;
        client->addModule(SECT_ACC, 0x54321, 480, idx);
    }
    if (change.startsWith(QLatin1String("restart")) || change.startsWith(QLatin1String("restore"))) {
        QSignalSpy written(client, &LantrelClient::writeFinished);
        act(QStringLiteral("actSetConfig"))->trigger();
        QVERIFY(written.count() > 0 || written.wait(20000));
        waitIdle();
        QVERIFY(!client->configSaved());
    }

    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    QSignalSpy rebooted(client, &LantrelClient::deviceRebooted);
    line.fake.clearLog();
    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::Yes, QMessageBox::Yes};
    qint64 quietFrom = line.fake.elapsedMs();
    if (change == QLatin1String("counts")) {
        addSensorOnController(line.fake);
    } else if (change.startsWith(QLatin1String("restart"))) {
        act(QStringLiteral("actRebootController"))->trigger();
        QVERIFY(rebooted.wait(20000));
        // The restart's own re-read comes 4 s after it, later on a loaded machine.
        quietFrom = line.fake.elapsedMs() + 5500;
    } else if (change.startsWith(QLatin1String("restore"))) {
        act(QStringLiteral("actReadFlash"))->trigger();
    }
    if (reads > 0) {
        QVERIFY(dataset.wait(30000));
        waitIdle();
    }
    QVERIFY(line.waitStatusReadsFrom(qMax(quietFrom, line.fake.elapsedMs())));
    settle();

    QCOMPARE(line.configurationReads(), reads);
    QCOMPARE(readTasks(tasks), reads == 0 ? 0 : 1);
    QCOMPARE(dataset.count(), reads == 0 ? 0 : 1);
    if (change.endsWith(QLatin1String("counts"))) {
        // The models hold what the controller holds.
        const Konfig_Line_t held = line.fake.lineConfig();
        QCOMPARE(int(client->controllerConfigModel()->lineConfig.SensorCount), int(held.SensorCount));
    }
}

// After the question about a changed configuration was answered "Нет", a
// restore from flash asks again (the edits are still unsent) and reads on "Да".
void TestMainFormReads::restoreAsksAgainAfterNo_data()
{
    QTest::addColumn<bool>("savedToFile");   // the edits, after the first "Нет"
    QTest::addColumn<int>("answer");         // to the question after the restore
    QTest::addColumn<bool>("asked");
    QTest::addColumn<int>("reads");
    QTest::newRow("unsent edits, read") << false << int(QMessageBox::Yes) << true << 127;
    QTest::newRow("unsent edits, kept") << false << int(QMessageBox::No) << true << 0;
    QTest::newRow("edits saved to a file meanwhile") << true << int(QMessageBox::No) << false << 127;
}

void TestMainFormReads::restoreAsksAgainAfterNo()
{
    QFETCH(bool, savedToFile);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(int, reads);

    FakeLine line;
    QVERIFY(line.listening);
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();
    ControllerConfigModel *settings = client->controllerConfigModel();
    const quint8 held = settings->deviceConfig.TSign;
    const quint8 edit = held == 7 ? 8 : 7;
    settings->setData(ControllerConfigModel::TSignParam, edit, Qt::EditRole);

    // The controller's configuration changes; "Нет" keeps the edit.
    const QString changed = QStringLiteral("Конфигурация ЦУ-Л изменилась");
    addSensorOnController(line.fake);
    QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.asked.isEmpty(), 15000);
    QVERIFY(m_boxes.asked.first().text.contains(changed));
    settle();
    QCOMPARE(settings->deviceConfig.TSign, edit);
    QTemporaryDir dir;
    if (savedToFile) {
        m_saveAnswer = dir.filePath(QStringLiteral("site.xml"));
        act(QStringLiteral("actSaveConfig"))->trigger();
        QVERIFY(QFile::exists(m_saveAnswer));
        waitIdle();
    }

    // The restore from flash, "Да" to its own question.
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    line.fake.clearLog();
    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::Yes, QMessageBox::StandardButton(answer)};
    act(QStringLiteral("actReadFlash"))->trigger();
    if (asked) {
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.asked.size(), 2, 15000);
        const Question &again = m_boxes.asked.at(1);
        QCOMPARE(again.icon, QMessageBox::Warning);
        QCOMPARE(again.defaultButton, QMessageBox::No);
        QVERIFY2(again.text.contains(changed), qPrintable(again.text));
        QVERIFY2(again.text.contains(QStringLiteral("не переданы в ЦУ-Л и не сохранены в файл")), qPrintable(again.text));
    }
    if (reads > 0)
        QVERIFY(dataset.wait(30000));
    waitIdle();
    QVERIFY(line.waitStatusReadsFrom(line.fake.elapsedMs()));
    settle();
    QCOMPARE(m_boxes.asked.size(), asked ? 2 : 1);
    QCOMPARE(line.configurationReads(), reads);
    QCOMPARE(readTasks(tasks), reads == 0 ? 0 : 1);
    QCOMPARE(settings->deviceConfig.TSign, reads == 0 ? edit : held);
    QCOMPARE(client->hasUnsavedEdits(), reads == 0);
}

QTEST_MAIN(TestMainFormReads)
#include "tst_mainformreads.moc"
