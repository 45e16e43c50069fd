// Main window: the progress of client tasks, the link to the controller and
// end to end against the fake line controller.

#include "appglobals.h"
#include "connectorform.h"
#include "firmwareupdateform.h"
#include "interactionsconfigmodel.h"
#include "mainformrig.h"
#include "sensorsconfigmodel.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace LantrelProtocol;
using namespace MainFormTest;

class TestMainFormTasks : public QObject, public MainFormRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init() { initRig(); }
    void cleanup() { cleanupRig(); }

    void taskSteps_data();
    void taskSteps();
    void taskWithoutCount();
    void secondTaskReusesDialog();
    void progressParentDestroyed();
    void progressAfterEachConnect();
    void lostLinkSaysWhy();
    void disconnectEndsTask();
    void closeNoKeepsTask();
    void incompleteReadShown();
    void heldRecordsToldAndAskedFor();
    void endToEnd();
};

void TestMainFormTasks::taskSteps_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<QList<int>>("failedSteps");
    QTest::addColumn<QString>("result");
    QTest::newRow("127 steps") << 127 << QList<int>() << "Чтение конфигурации ИОП из ЦУ-Л - успешно";
    QTest::newRow("failed last step") << 127 << QList<int>{127} << "Чтение конфигурации ИОП из ЦУ-Л - ошибка";
    // A failed step fails the task: "успешно" after it would hide the failure.
    QTest::newRow("failed middle step") << 127 << QList<int>{5, 60} << "Чтение конфигурации ИОП из ЦУ-Л - ошибка";
    QTest::newRow("one step") << 1 << QList<int>() << "Чтение конфигурации ИОП из ЦУ-Л - успешно";
}

void TestMainFormTasks::taskSteps()
{
    QFETCH(int, steps);
    QFETCH(QList<int>, failedSteps);
    QFETCH(QString, result);

    MainForm *form = makeForm();
    LantrelClient *client = m_manager->client();
    QSignalSpy cursor(form, &MainForm::showWaitCursor);
    emit client->deviceConnected(tcpConnection());
    emit client->taskStarted(ReadTask, ushort(steps));
    settle();

    QProgressDialog *dialog = visibleProgress();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), BaseTitle);
    QCOMPARE(dialog->labelText(), ReadTask);
    QCOMPARE(dialog->maximum(), steps);
    QCOMPARE(dialog->findChildren<QPushButton *>().size(), 0);
    QVERIFY(dialog->windowFlags() & Qt::Tool);
    QCOMPARE(form->statusBar()->currentMessage(), ReadTask);
    QCOMPARE(cursor.count(), 1);
    QCOMPARE(cursor.at(0).at(0).toBool(), true);
    QVERIFY(!act(QStringLiteral("actGetConfig"))->isEnabled());

    for (int i = 1; i < steps; ++i)
        emit client->taskCompleted(ushort(i), !failedSteps.contains(i));
    settle();
    QCOMPARE(visibleProgress(), dialog);
    if (steps > 1)
        QCOMPARE(dialog->value(), steps - 1);
    QCOMPARE(cursor.count(), 1);
    QVERIFY(!act(QStringLiteral("actGetConfig"))->isEnabled());

    emit client->taskCompleted(ushort(steps), !failedSteps.contains(steps));
    settle();
    QVERIFY(!visibleProgress());
    QCOMPARE(form->statusBar()->currentMessage(), result);
    QCOMPARE(cursor.count(), 2);
    QCOMPARE(cursor.at(1).at(0).toBool(), false);
    QVERIFY(act(QStringLiteral("actGetConfig"))->isEnabled());
}

void TestMainFormTasks::taskWithoutCount()
{
    MainForm *form = makeForm();
    LantrelClient *client = m_manager->client();
    emit client->deviceConnected(tcpConnection());
    emit client->taskStarted(QStringLiteral("Перезапуск ЦУ-Л..."), 0);
    settle();
    QProgressDialog *dialog = visibleProgress();
    QVERIFY(dialog);
    // An empty range: the bar shows the busy indicator.
    QCOMPARE(dialog->minimum(), 0);
    QCOMPARE(dialog->maximum(), 0);

    // Whatever number it carries, the first step ends the task.
    emit client->taskCompleted(5, false);
    settle();
    QVERIFY(!visibleProgress());
    QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Перезапуск ЦУ-Л - ошибка"));
    QVERIFY(act(QStringLiteral("actRebootController"))->isEnabled());
}

void TestMainFormTasks::secondTaskReusesDialog()
{
    MainForm *form = makeForm();
    LantrelClient *client = m_manager->client();
    emit client->deviceConnected(tcpConnection());
    emit client->taskStarted(QStringLiteral("Передача конфигурации ИОП в ЦУ-Л..."), 10);
    emit client->taskCompleted(3, true);
    settle();
    QProgressDialog *first = visibleProgress();
    QVERIFY(first);
    QCOMPARE(first->value(), 3);

    emit client->taskStarted(QStringLiteral("Сохранение конфигурации ИОП..."), 0);
    settle();
    QCOMPARE(visibleProgress(), first);
    QCOMPARE(first->labelText(), QStringLiteral("Сохранение конфигурации ИОП..."));
    QCOMPARE(first->maximum(), 0);
    QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Сохранение конфигурации ИОП..."));

    emit client->taskCompleted(1, true);
    settle();
    QVERIFY(!visibleProgress());
    QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Сохранение конфигурации ИОП - успешно"));

    // The next task gets a new dialog.
    emit client->taskStarted(ReadTask, 127);
    settle();
    QVERIFY(visibleProgress());
    QCOMPARE(visibleProgress()->maximum(), 127);
    QVERIFY(visibleProgress()->value() <= 0);
}

void TestMainFormTasks::progressParentDestroyed()
{
    makeForm();
    LantrelClient *client = m_manager->client();
    emit client->deviceConnected(tcpConnection());

    // A modal dialog that deletes itself on close is open when the task
    // starts; the progress dialog, shown over it, goes down with it.
    auto *dialog = new QWidget(nullptr, Qt::Dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    QApplication::setActiveWindow(dialog);
    QCOMPARE(QApplication::activeWindow(), dialog);
    QSignalSpy cursor(m_form.get(), &MainForm::showWaitCursor);
    emit client->taskStarted(ReadTask, 3);
    settle();
    QPointer<QProgressDialog> progress = visibleProgress();
    QVERIFY(progress);
    QCOMPARE(progress->parentWidget(), dialog);
    dialog->close();
    settle();
    QVERIFY(progress.isNull());

    // Steps and the end of the task after that must not reach the dead dialog.
    emit client->taskCompleted(1, true);
    emit client->taskStarted(QStringLiteral("Другая задача..."), 2);
    emit client->taskCompleted(1, true);
    emit client->taskCompleted(2, true);
    settle();
    QVERIFY(!visibleProgress());
    QCOMPARE(cursor.last().at(0).toBool(), false);
    QVERIFY(act(QStringLiteral("actGetConfig"))->isEnabled());
    QCOMPARE(m_form->statusBar()->currentMessage(), QStringLiteral("Другая задача - успешно"));
}

void TestMainFormTasks::progressAfterEachConnect()
{
    FakeLine line;
    QVERIFY(line.listening);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->setValue(QStringLiteral("Connection/LineAddress"), LineAddress);
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();

    // A task that starts while the connection dialog is the active window
    // (as the first read does) keeps its progress when the dialog closes.
    act(QStringLiteral("actConnect"))->trigger();
    QPointer<ConnectorForm> first = form->findChild<ConnectorForm *>();
    QApplication::setActiveWindow(first);
    QCOMPARE(QApplication::activeWindow(), first.data());
    emit client->taskStarted(ReadTask, 3);
    settle();
    first->close();
    settle();
    QVERIFY(first.isNull());
    QVERIFY(visibleProgress());
    emit client->taskCompleted(3, true);
    settle();
    QVERIFY(!visibleProgress());

    // Connecting for real, again and again: the first read's progress is
    // shown after the connection dialog has gone, every time.
    for (int round = 0; round < 6; ++round) {
        act(QStringLiteral("actConnect"))->trigger();
        QPointer<ConnectorForm> connector = form->findChild<ConnectorForm *>();
        QVERIFY(connector);
        bool seenWithoutConnector = false;
        QMetaObject::Connection watch = connect(form, &MainForm::updateProgress, this, [&]() {
            if (!connector && visibleProgress())
                seenWithoutConnector = true;
        });
        QSignalSpy read(client, &LantrelClient::datasetChanged);
        auto *edit = connector->findChild<QLineEdit *>(QStringLiteral("edtIpAddr"));
        edit->setText(QStringLiteral("127.0.0.1"));
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(read.wait(20000));
        waitIdle();
        disconnect(watch);
        QVERIFY(!connector);
        QVERIFY2(seenWithoutConnector, qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л - успешно"));
        client->shutdownDriver();
        QTRY_VERIFY(!client->hasDriver());
    }
    QCOMPARE(m_boxes.asked.size(), 0);
}

void TestMainFormTasks::lostLinkSaysWhy()
{
    FakeLine line;
    QVERIFY(line.listening);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    MainForm *form = showConnected(line);
    QVERIFY(form);

    // The controller goes silent: after three time-outs the link is given up.
    line.fake.addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
    QSignalSpy disconnected(m_manager->client(), &LantrelClient::deviceDisconnected);
    QSignalSpy title(form, &QWidget::windowTitleChanged);
    act(QStringLiteral("actGetConfig"))->trigger();
    QVERIFY(disconnected.wait(20000));
    // The title says it at once, before any box.
    QCOMPARE(form->windowTitle(), BaseTitle + QStringLiteral(" (Режим автономной работы)"));
    // The read it cut short is reported as incomplete; the loss on its own.
    const QString lost = QStringLiteral("Связь с ЦУ-Л (адрес 127.0.0.1, линейный адрес %1) потеряна.\n"
                                        "Устройство не отвечает на запросы")
                             .arg(LineAddress);
    auto lossBoxes = [this, &lost]() {
        int n = 0;
        for (const Question &q : m_boxes.asked)
            n += q.text == lost && q.icon == QMessageBox::Critical ? 1 : 0;
        return n;
    };
    QTRY_COMPARE_WITH_TIMEOUT(lossBoxes(), 1, 10000);
    settle();
    QCOMPARE(lossBoxes(), 1);

    // A disconnect the user asked for is no loss.
    m_boxes.asked.clear();
    line.fake.clearInjections();
    QVERIFY(connectToFake(line));
    waitIdle();
    act(QStringLiteral("actDisconnect"))->trigger();
    QTRY_VERIFY(!m_manager->client()->hasDriver());
    settle();
    QCOMPARE(m_boxes.asked.size(), 0);
}

void TestMainFormTasks::disconnectEndsTask()
{
    MainForm *form = makeForm();
    LantrelClient *client = m_manager->client();
    QSignalSpy cursor(form, &MainForm::showWaitCursor);
    emit client->deviceConnected(tcpConnection());
    emit client->taskStarted(ReadTask, 127);
    emit client->taskCompleted(1, true);
    settle();
    QVERIFY(visibleProgress());

    emit client->deviceDisconnected();
    settle();
    QVERIFY(!visibleProgress());
    QCOMPARE(cursor.last().at(0).toBool(), false);
    QCOMPARE(enabledActions().join(QLatin1Char(' ')),
             QStringLiteral("Connect LoadConfig SaveConfig Exit ShowStateViewer AboutProgram AboutQt"));
    // No result word for a task the link took away.
    QVERIFY(!form->statusBar()->currentMessage().contains(QStringLiteral(" - ")));
}

void TestMainFormTasks::closeNoKeepsTask()
{
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    emit client->deviceConnected(tcpConnection());
    emit client->taskStarted(ReadTask, 127);
    emit client->taskCompleted(1, true);
    settle();
    QPointer<QProgressDialog> dialog = visibleProgress();
    QVERIFY(dialog);

    QSignalSpy cursor(form, &MainForm::showWaitCursor);
    QSignalSpy shutdown(form, &MainForm::shutdown);
    m_boxes.answers = {QMessageBox::No};
    QVERIFY(!form->close());
    settle();
    // The running task is still shown as running.
    QCOMPARE(visibleProgress(), dialog.data());
    QCOMPARE(cursor.count(), 0);
    QVERIFY(!act(QStringLiteral("actExit"))->isEnabled());
    QCOMPARE(shutdown.count(), 0);
    // ... and still ends normally.
    emit client->taskCompleted(2, true);
    settle();
    QCOMPARE(dialog->value(), 2);

    m_boxes.answers = {QMessageBox::Yes};
    QVERIFY(form->close());
    settle();
    QVERIFY(!visibleProgress());
    QCOMPARE(cursor.count(), 1);
    QCOMPARE(cursor.at(0).at(0).toBool(), false);
    QCOMPARE(shutdown.count(), 1);
    QVERIFY(appSettings->contains(QStringLiteral("MainForm/Geometry")));
}

// A read with a failed step: the window says so until a whole read.
void TestMainFormTasks::incompleteReadShown()
{
    FakeLine line;
    QVERIFY(line.listening);
    FakeInjection refuse = FakeInjection::exception(2, 20);
    refuse.file = 10;
    refuse.record = 15;
    line.fake.addInjection(refuse);
    MainForm *form = makeForm();
    form->show();
    QLabel *incomplete = nullptr;
    for (QLabel *label : form->statusBar()->findChildren<QLabel *>())
        if (label->text().contains(QStringLiteral("Конфигурация прочитана не полностью")))
            incomplete = label;
    QVERIFY(incomplete);
    QVERIFY(!incomplete->isVisible());

    QVERIFY(connectToFake(line));
    waitIdle();
    settle();
    QVERIFY(incomplete->isVisible());
    // One failed step fails the task, whatever the last step did.
    QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л - ошибка"));
    QCOMPARE(m_boxes.asked.size(), 1);
    QVERIFY2(m_boxes.asked.at(0).text.contains(QStringLiteral("записи 16–30 таблицы модулей ВТ-Л и ВС-Л")),
             qPrintable(m_boxes.asked.at(0).text));

    QSignalSpy dataset(m_manager->client(), &LantrelClient::datasetChanged);
    act(QStringLiteral("actGetConfig"))->trigger();
    QVERIFY(dataset.wait(20000));
    QVERIFY(m_manager->client()->datasetComplete());
    QVERIFY(!incomplete->isVisible());
}

// Records the tables have no place for: the read ends as no success and says
// which; a write that would put a row in their place asks, "Нет" first.
void TestMainFormTasks::heldRecordsToldAndAskedFor()
{
    FakeLine line;
    QVERIFY(line.listening);
    line.fake.setRecord(11, 30, LantrelProtocol::Control_Relay_t{(1 << 8) | 4, 0, LantrelProtocol::EXT_RELY});
    MainForm *form = showConnected(line);
    QVERIFY(form);
    settle();
    QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л - ошибка"));
    QCOMPARE(m_boxes.asked.size(), 1);
    QVERIFY2(m_boxes.asked.at(0).text.contains(QStringLiteral("запись 31 таблицы взаимодействий")),
             qPrintable(m_boxes.asked.at(0).text));

    LantrelClient *client = m_manager->client();
    InteractionRecord added;
    added.sourceKind = SensorModuleSource;
    added.sourceAddress = 2;
    added.executorType = LantrelProtocol::SECT_MVV;
    added.executorNumber = 1;
    QVERIFY(client->interactionsConfigModel()->addInteraction(added));
    QVERIFY(client->sensorsConfigModel()->addReference(1));
    line.fake.clearLog();
    act(QStringLiteral("actSetConfig"))->trigger();
    settle();
    QCOMPARE(m_boxes.asked.size(), 2);
    const Question &asked = m_boxes.asked.at(1);
    QCOMPARE(asked.icon, QMessageBox::Warning);
    QCOMPARE(asked.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(asked.defaultButton, QMessageBox::No);
    QVERIFY2(asked.text.contains(QStringLiteral("запись 31 таблицы взаимодействий")), qPrintable(asked.text));
    waitIdle();
    QVERIFY(line.fake.requests(21).isEmpty());
    QVERIFY(client->isModified());
}

void TestMainFormTasks::endToEnd()
{
    FakeLine line;
    QVERIFY(line.listening);
    QTemporaryDir files;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();

    // Connect: the window reads the whole configuration at once.
    QSignalSpy progress(form, &MainForm::updateProgress);
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    QProgressDialog *seen = nullptr;
    int seenMaximum = -1;
    QMetaObject::Connection watch = connect(form, &MainForm::updateProgress, this, [&]() {
        if (!seen && visibleProgress()) {
            seen = visibleProgress();
            seenMaximum = seen->maximum();
        }
    });
    QVERIFY(connectToFake(line));
    QCOMPARE(form->windowTitle(), BaseTitle + QStringLiteral(" (Подключен к ЦУ-Л 127.0.0.1)"));
    waitIdle();
    disconnect(watch);
    QVERIFY(seen);
    QCOMPARE(seenMaximum, 127);
    QCOMPARE(progress.count(), 127);
    QCOMPARE(progress.last().at(0).toInt(), 127);
    QCOMPARE(dataset.count(), 1);
    QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л - успешно"));
    QCOMPARE(m_boxes.asked.size(), 0);
    // Monitoring shows the line on.
    QTRY_VERIFY_WITH_TIMEOUT(act(QStringLiteral("actShowSamplesViewer"))->isEnabled(), 10000);

    // The firmware window asks for the module versions only while the line is on.
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    act(QStringLiteral("actFirmwareUpdate"))->trigger();
    QPointer<FirmwareUpdateForm> firmware = form->findChild<FirmwareUpdateForm *>();
    QVERIFY(firmware && firmware->isVisible());
    QCOMPARE(firmware->windowModality(), Qt::ApplicationModal);
    QTRY_VERIFY(!tasks.isEmpty());
    QCOMPARE(tasks.at(0).at(0).toString(), QStringLiteral("Запрос версий прошивок модулей..."));
    // The request is followed by the read of the versions: wait for the read's end,
    // not for the gap between the two tasks.
    QTRY_COMPARE_WITH_TIMEOUT(form->statusBar()->currentMessage(),
                              QStringLiteral("Чтение версий прошивок модулей - успешно"), 20000);
    QCOMPARE(tasks.size(), 2);
    QCOMPARE(tasks.at(1).at(0).toString(), QStringLiteral("Чтение версий прошивок модулей..."));
    waitIdle();
    // The window shows what the controller reported (the first sensor runs 1.02).
    QCOMPARE(firmware->findChild<QTableView *>()->model()->index(0, 3).data().toString(), QStringLiteral("1.02"));
    firmware->close();
    settle();
    QVERIFY(firmware.isNull());
    tasks.clear();
    emit client->lineStatusChanged(lineStatus(LN_OFF));
    QVERIFY(!act(QStringLiteral("actUploadConfigToLine"))->isEnabled());
    act(QStringLiteral("actFirmwareUpdate"))->trigger();
    firmware = form->findChild<FirmwareUpdateForm *>();
    QVERIFY(firmware && firmware->isVisible());
    settle();
    QCOMPARE(tasks.count(), 0);
    firmware->close();
    settle();

    // Write the configuration to the controller.
    QSignalSpy written(client, &LantrelClient::writeFinished);
    act(QStringLiteral("actSetConfig"))->trigger();
    QVERIFY(written.count() > 0 || written.wait(15000));
    waitIdle();
    QCOMPARE(form->statusBar()->currentMessage(), QStringLiteral("Передача конфигурации ИОП в ЦУ-Л - успешно"));
    QVERIFY(!client->configSaved());

    // Save it to the controller's flash memory.
    act(QStringLiteral("actSaveFlash"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(client->configSaved(), 15000);
    waitIdle();
    QVERIFY(form->statusBar()->currentMessage().endsWith(QStringLiteral(" - успешно")));
    QCOMPARE(m_boxes.asked.size(), 0);

    // Restart: nothing unsaved, so no question; the controller comes back.
    line.fake.setRestartDelays(100, 300);
    QSignalSpy rebooted(client, &LantrelClient::deviceRebooted);
    act(QStringLiteral("actRebootController"))->trigger();
    QVERIFY(rebooted.count() > 0 || rebooted.wait(15000));
    QCOMPARE(m_boxes.asked.size(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(act(QStringLiteral("actGetConfig"))->isEnabled() && !visibleProgress(), 20000);
    QCOMPARE(line.fake.restartCount(), 1);

    // Save to a file.
    const QString path = files.filePath(QStringLiteral("line.xml"));
    m_saveAnswer = path;
    act(QStringLiteral("actSaveConfig"))->trigger();
    waitIdle();
    QVERIFY(QFileInfo(path).size() > 0);
    QCOMPARE(appSettings->value(QStringLiteral("Common/LastPath")).toString(), files.path());

    // Disconnect: everything is saved, so no question.
    QSignalSpy down(client, &LantrelClient::deviceDisconnected);
    act(QStringLiteral("actDisconnect"))->trigger();
    QVERIFY(down.count() > 0 || down.wait(5000));
    QTRY_VERIFY(!client->hasDriver());
    QCOMPARE(m_boxes.asked.size(), 0);
    QCOMPARE(form->windowTitle(), BaseTitle + QStringLiteral(" (Режим автономной работы)"));
    QVERIFY(act(QStringLiteral("actConnect"))->isEnabled());

    // Load that file offline.
    dataset.clear();
    m_openAnswer = path;
    act(QStringLiteral("actLoadConfig"))->trigger();
    QVERIFY(dataset.count() > 0 || dataset.wait(5000));
    waitIdle();
    QCOMPARE(m_openCalls.last().dir, files.path());
    QCOMPARE(m_boxes.asked.size(), 0);

    // Close: the program asks and ends.
    QSignalSpy shutdown(form, &MainForm::shutdown);
    m_boxes.answers = {QMessageBox::Yes};
    act(QStringLiteral("actExit"))->trigger();
    QCOMPARE(m_boxes.asked.size(), 1);
    QCOMPARE(m_boxes.asked.at(0).text, QStringLiteral("Завершить работу приложения?"));
    QCOMPARE(shutdown.count(), 1);
    QVERIFY(!form->isVisible());
}

QTEST_MAIN(TestMainFormTasks)
#include "tst_mainformtasks.moc"
