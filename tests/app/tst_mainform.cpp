// Main window: actions and their enable rules, task progress, connection
// state, questions, page jumps, files, closing; end to end against the fake
// line controller.

#include "appglobals.h"
#include "connectorform.h"
#include "fakecontroller.h"
#include "firmwareupdateform.h"
#include "faketcpserver.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "linemodulesform.h"
#include "mainform.h"
#include "controllerconfigmodel.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "linemodulesmodel.h"
#include "pagetestsupport.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "samplesviewerform.h"
#include "stateviewerform.h"
#include "taskmanager.h"
#include "uiseams.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSizeGrip>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace LantrelProtocol;

namespace {

const int LineAddress = 3;
const QString BaseTitle = QStringLiteral("Настройка ИОП «Лантрел-А»");
const QString ReadTask = QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л...");

const QStringList AllActions = {
    QStringLiteral("actConnect"), QStringLiteral("actDisconnect"), QStringLiteral("actLoadConfig"),
    QStringLiteral("actSaveConfig"), QStringLiteral("actExit"), QStringLiteral("actGetConfig"),
    QStringLiteral("actSetConfig"), QStringLiteral("actUploadConfigToLine"), QStringLiteral("actSaveFlash"),
    QStringLiteral("actRebootController"), QStringLiteral("actFirmwareUpdate"), QStringLiteral("actReadFlash"),
    QStringLiteral("actSetDefaults"), QStringLiteral("actSetModuleDefaults"), QStringLiteral("actChangeSerial"),
    QStringLiteral("actShowStateViewer"), QStringLiteral("actShowSamplesViewer"),
    QStringLiteral("actAboutProgram"), QStringLiteral("actAboutQt")};

struct Question
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

// Message boxes answered from a queue (No when it is empty) and recorded.
struct Boxes
{
    QList<Question> asked;
    QList<QMessageBox::StandardButton> answers;
    // Runs while a box is open, before it is answered.
    std::function<void()> whileOpen;

    void install()
    {
        UiSeams::setMessageBoxHandler([this](QWidget *, QMessageBox::Icon icon, const QString &title,
                                             const QString &text, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton def) {
            asked.append({icon, title, text, buttons, def});
            if (whileOpen)
                whileOpen();
            if (!(buttons & QMessageBox::Yes))
                return QMessageBox::Ok;
            return answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
        });
    }
};

struct FileDialogCall
{
    QString caption;
    QString dir;
    QString filter;
    QFileDialog::Options options;
};

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

QProgressDialog *visibleProgress()
{
    for (QWidget *w : QApplication::allWidgets())
        if (auto *d = qobject_cast<QProgressDialog *>(w))
            if (d->isVisible())
                return d;
    return nullptr;
}

Status_Line_t lineStatus(int state)
{
    Status_Line_t s;
    s.Flags = 1;
    s.State = quint8(state);
    return s;
}

ClientConnection tcpConnection(const QString &address = QStringLiteral("127.0.0.1"), int line = LineAddress)
{
    ClientConnection c;
    c.connType = 0;
    c.address = address;
    c.lineAddress = line;
    return c;
}

// The fake controller at line address 3 on 127.0.0.1:502.
struct FakeLine
{
    FakeController fake;
    FakeTcpServer server{&fake};
    bool listening = false;

    FakeLine()
    {
        fake.loadGeneratedConfiguration(LineAddress, QHostAddress(QStringLiteral("127.0.0.1")));
        listening = server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502);
    }
};

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void construction();
    void treeShowsPages_data();
    void treeShowsPages();
    void serialAction_data();
    void serialAction();
    void enableRules_data();
    void enableRules();
    void statusIndicators_data();
    void statusIndicators();
    void connectionTitle_data();
    void connectionTitle();
    void taskSteps_data();
    void taskSteps();
    void taskWithoutCount();
    void secondTaskReusesDialog();
    void progressParentDestroyed();
    void progressAfterEachConnect();
    void lostLinkSaysWhy();
    void firstRunTextsWhole();
    void saveAddsSuffix_data();
    void saveAddsSuffix();
    void disconnectEndsTask();
    void clientErrorShowsBox_data();
    void clientErrorShowsBox();
    void incompleteReadShown();
    void heldRecordsToldAndAskedFor();
    void offlineQuestions_data();
    void offlineQuestions();
    void onlineQuestions_data();
    void onlineQuestions();
    void unsavedEditsQuestions_data();
    void unsavedEditsQuestions();
    void unsentWorkAsks_data();
    void unsentWorkAsks();
    void moduleSearchKeepsSettingsEdits();
    void loadDuringRead();
    void closeDuringWrite();
    void closeAsksEveryQuestion();
    void cutWriteStaysUnflashed();
    void commandQuestions_data();
    void commandQuestions();
    void closeNoKeepsTask();
    void closeWhileSessionEnds();
    void sessionEndsWhileBoxIsOpen_data();
    void sessionEndsWhileBoxIsOpen();
    void geometryStoredAsUpperHex();
    void pageJumps_data();
    void pageJumps();
    void fileDialogsStartFolder_data();
    void fileDialogsStartFolder();
    void loadFailureKeepsFolder();
    void singleInstanceWindows();
    void dialogsFromMenus();
    void endToEnd();

private:
    MainForm *makeForm();
    QAction *act(const QString &name) const;
    QStringList enabledActions() const;
    bool connectToFake(FakeLine &line);
    void waitIdle(int timeoutMs = 20000);

    std::unique_ptr<TaskManager> m_manager;
    std::unique_ptr<MainForm> m_form;
    Boxes m_boxes;
    QList<FileDialogCall> m_openCalls;
    QList<FileDialogCall> m_saveCalls;
    QString m_openAnswer;
    QString m_saveAnswer;
};

void TestMainForm::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<ClientConnection>();
}

void TestMainForm::init()
{
    sessionEnding = false;
    m_manager.reset(new TaskManager);
    appTaskManager = m_manager.get();
    for (const char *key : {"MainForm", "Common/LastPath", "Common/EnableChangeSerial", "Driver"})
        appSettings->remove(QString::fromLatin1(key));
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);

    m_boxes = Boxes();
    m_boxes.install();
    m_openCalls.clear();
    m_saveCalls.clear();
    m_openAnswer.clear();
    m_saveAnswer.clear();
    UiSeams::setOpenFileHandler([this](QWidget *, const QString &caption, const QString &dir,
                                       const QString &filter, QFileDialog::Options options) {
        m_openCalls.append({caption, dir, filter, options});
        return m_openAnswer;
    });
    UiSeams::setSaveFileHandler([this](QWidget *, const QString &caption, const QString &dir,
                                       const QString &filter, QFileDialog::Options options) {
        m_saveCalls.append({caption, dir, filter, options});
        return m_saveAnswer;
    });
}

void TestMainForm::cleanup()
{
    m_form.reset();
    if (m_manager)
        m_manager->client()->shutdownDriver();
    settle();
    appTaskManager = nullptr;
    m_manager.reset();
    UiSeams::setMessageBoxHandler(nullptr);
    UiSeams::setOpenFileHandler(nullptr);
    UiSeams::setSaveFileHandler(nullptr);
    sessionEnding = false;
    settle();
}

MainForm *TestMainForm::makeForm()
{
    m_form.reset(new MainForm);
    // Ending the program here would end every later event loop of the test.
    QObject::disconnect(m_form.get(), &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    return m_form.get();
}

QAction *TestMainForm::act(const QString &name) const
{
    return m_form->findChild<QAction *>(name);
}

QStringList TestMainForm::enabledActions() const
{
    QStringList names;
    for (const QString &name : AllActions) {
        QAction *a = act(name);
        if (a && a->isEnabled() && a->isVisible())
            names << name.mid(3);
    }
    return names;
}

bool TestMainForm::connectToFake(FakeLine &line)
{
    if (!line.listening)
        return false;
    // The window reads the configuration on the connect; wait for its end.
    QSignalSpy up(m_manager->client(), &LantrelClient::deviceConnected);
    QSignalSpy read(m_manager->client(), &LantrelClient::datasetChanged);
    m_manager->client()->connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
    if (!up.wait(10000))
        return false;
    if (read.isEmpty() && !read.wait(20000))
        return false;
    settle();
    return true;
}

void TestMainForm::waitIdle(int timeoutMs)
{
    // actLoadConfig is enabled exactly while no client task runs.
    QTRY_VERIFY_WITH_TIMEOUT(act(QStringLiteral("actLoadConfig"))->isEnabled() && !visibleProgress(), timeoutMs);
}

// ---------------------------------------------------------------------------

void TestMainForm::construction()
{
    MainForm *form = makeForm();
    QCOMPARE(form->windowTitle(), BaseTitle + QStringLiteral(" (Режим автономной работы)"));
    QCOMPARE(form->height(), 400);
    QVERIFY(form->width() >= 600);

    auto order = [](const QList<QAction *> &actions) {
        QStringList names;
        for (QAction *a : actions)
            names << (a->isSeparator() ? QStringLiteral("|") : a->objectName().mid(3));
        return names.join(QLatin1Char(' '));
    };
    auto menu = [form](const char *name) { return form->findChild<QMenu *>(QString::fromLatin1(name)); };
    QCOMPARE(order(menu("menuSystem")->actions()), QStringLiteral("Connect Disconnect | LoadConfig SaveConfig | Exit"));
    QCOMPARE(order(menu("menuControl")->actions()),
             QStringLiteral("GetConfig | SetConfig UploadConfigToLine SaveFlash | RebootController | FirmwareUpdate | "
                            "ReadFlash | SetDefaults SetModuleDefaults ChangeSerial"));
    QCOMPARE(order(menu("menuMonitoring")->actions()), QStringLiteral("ShowStateViewer ShowSamplesViewer"));
    QCOMPARE(order(menu("menuHelp")->actions()), QStringLiteral("AboutProgram AboutQt"));
    QCOMPARE(order(form->findChild<QToolBar *>(QStringLiteral("mainToolBar"))->actions()),
             QStringLiteral("Connect Disconnect | GetConfig | UploadConfigToLine SaveFlash | RebootController | "
                            "LoadConfig SaveConfig | ShowStateViewer ShowSamplesViewer | Exit"));
    QCOMPARE(menu("menuControl")->title(), QStringLiteral("Управление"));
    QCOMPARE(act(QStringLiteral("actAboutProgram"))->menuRole(), QAction::AboutRole);

    auto *tree = form->findChild<QTreeWidget *>(QStringLiteral("treePages"));
    QCOMPARE(tree->topLevelItemCount(), 4);
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = tree->topLevelItem(i);
        texts << item->text(0) + QString::number(item->type());
        for (int c = 0; c < item->childCount(); ++c)
            texts << QStringLiteral("-") + item->child(c)->text(0) + QString::number(item->child(c)->type());
    }
    QCOMPARE(texts.join(QLatin1Char(' ')),
             QStringLiteral("ЦУ-Л1001 Модули1002 -ВТ-Л1003 -ПС-Л1004 -ТЗ-Л1005 ЖН-Т1006 Взаимодействия1007"));
    QVERIFY(tree->isHeaderHidden());
    QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
    auto *stack = form->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    QCOMPARE(stack->count(), 8);
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("pageController"));

    QCOMPARE(enabledActions().join(QLatin1Char(' ')),
             QStringLiteral("Connect LoadConfig SaveConfig Exit ShowStateViewer AboutProgram AboutQt"));
}

void TestMainForm::treeShowsPages_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("page");
    QTest::newRow("controller") << "ЦУ-Л" << "pageController";
    QTest::newRow("modules") << "Модули" << "pageLineModules";
    QTest::newRow("sensors") << "ВТ-Л" << "pageSensors";
    QTest::newRow("io") << "ПС-Л" << "pageIoModules";
    QTest::newRow("scp") << "ТЗ-Л" << "pageScpModules";
    QTest::newRow("relay") << "ЖН-Т" << "pageRelayModules";
    QTest::newRow("interactions") << "Взаимодействия" << "pageInteractions";
    QTest::newRow("none") << "" << "pageEmpty";
}

void TestMainForm::treeShowsPages()
{
    QFETCH(QString, item);
    QFETCH(QString, page);
    MainForm *form = makeForm();
    auto *tree = form->findChild<QTreeWidget *>(QStringLiteral("treePages"));
    auto *stack = form->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    // Start from another page, so the change is visible.
    tree->setCurrentItem(tree->topLevelItem(3));
    if (item.isEmpty()) {
        tree->setCurrentItem(nullptr);
    } else {
        const QList<QTreeWidgetItem *> found = tree->findItems(item, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        tree->setCurrentItem(found.first());
    }
    QCOMPARE(stack->currentWidget()->objectName(), page);
}

void TestMainForm::serialAction_data()
{
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<bool>("visible");
    QTest::newRow("absent") << QVariant() << false;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("true") << QVariant(true) << true;
}

void TestMainForm::serialAction()
{
    QFETCH(QVariant, setting);
    QFETCH(bool, visible);
    if (setting.isValid())
        appSettings->setValue(QStringLiteral("Common/EnableChangeSerial"), setting);
    MainForm *form = makeForm();
    QAction *a = act(QStringLiteral("actChangeSerial"));
    QCOMPARE(a->isVisible(), visible);
    QCOMPARE(a->text(), QStringLiteral("Смена серийного номера ЦУ-Л"));
    QCOMPARE(form->findChild<QMenu *>(QStringLiteral("menuControl"))->actions().last(), a);
}

void TestMainForm::enableRules_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<bool>("monitoring");
    QTest::addColumn<QList<int>>("lineReports");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("serialSetting");
    QTest::addColumn<QString>("enabled");

    const QString offlineIdle = QStringLiteral("Connect LoadConfig SaveConfig Exit ShowStateViewer AboutProgram AboutQt");
    const QString onlineIdle = QStringLiteral(
        "Disconnect LoadConfig SaveConfig Exit GetConfig SetConfig SaveFlash RebootController FirmwareUpdate "
        "ReadFlash SetDefaults ShowStateViewer AboutProgram AboutQt");
    const QString onlineIdleLineOn = QStringLiteral(
        "Disconnect LoadConfig SaveConfig Exit GetConfig SetConfig UploadConfigToLine SaveFlash RebootController "
        "FirmwareUpdate ReadFlash SetDefaults SetModuleDefaults ShowStateViewer ShowSamplesViewer AboutProgram "
        "AboutQt");
    const QString onlineIdleSerial = QStringLiteral(
        "Disconnect LoadConfig SaveConfig Exit GetConfig SetConfig SaveFlash RebootController FirmwareUpdate "
        "ReadFlash SetDefaults ChangeSerial ShowStateViewer AboutProgram AboutQt");
    const QList<int> none;

    QTest::newRow("offline") << false << true << none << false << false << offlineIdle;
    QTest::newRow("offline, serial setting") << false << true << none << false << true << offlineIdle;
    QTest::newRow("offline, busy") << false << true << none << true << false
                                   << "ShowStateViewer AboutProgram AboutQt";
    QTest::newRow("offline, line report") << false << true << QList<int>{LN_ONN} << false << false << offlineIdle;
    QTest::newRow("online, no line report") << true << true << none << false << false << onlineIdle;
    QTest::newRow("online, line on") << true << true << QList<int>{LN_ONN} << false << false << onlineIdleLineOn;
    QTest::newRow("online, line on twice") << true << true << QList<int>{LN_ONN, LN_ONN} << false << false
                                           << onlineIdleLineOn;
    QTest::newRow("online, voltage only") << true << true << QList<int>{LN_POW} << false << false << onlineIdle;
    QTest::newRow("online, line on then off") << true << true << QList<int>{LN_ONN, LN_OFF} << false << false
                                              << onlineIdle;
    QTest::newRow("online, command off") << true << true << QList<int>{LN_ONN, CMD_OFF} << false << false
                                         << onlineIdle;
    QTest::newRow("online, busy") << true << true << none << true << false
                                  << "Disconnect ShowStateViewer AboutProgram AboutQt";
    QTest::newRow("online, busy, line on") << true << true << QList<int>{LN_ONN} << true << false
                                           << "Disconnect ShowStateViewer ShowSamplesViewer AboutProgram AboutQt";
    QTest::newRow("online, serial setting") << true << true << none << false << true << onlineIdleSerial;
    QTest::newRow("online, busy, serial setting") << true << true << none << true << true
                                                  << "Disconnect ShowStateViewer AboutProgram AboutQt";
    QTest::newRow("no monitoring, online") << true << false << none << false << false << onlineIdleLineOn;
    QTest::newRow("no monitoring, reports ignored") << true << false << QList<int>{LN_OFF, LN_NON} << false << false
                                                    << onlineIdleLineOn;
    QTest::newRow("no monitoring, offline") << false << false << QList<int>{LN_ONN} << false << false << offlineIdle;
}

void TestMainForm::enableRules()
{
    QFETCH(bool, online);
    QFETCH(bool, monitoring);
    QFETCH(QList<int>, lineReports);
    QFETCH(bool, busy);
    QFETCH(bool, serialSetting);
    QFETCH(QString, enabled);

    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), monitoring);
    appSettings->setValue(QStringLiteral("Common/EnableChangeSerial"), serialSetting);
    makeForm();
    LantrelClient *client = m_manager->client();
    if (online)
        emit client->deviceConnected(tcpConnection());
    for (int state : lineReports)
        emit client->lineStatusChanged(lineStatus(state));
    if (busy)
        emit client->taskStarted(QStringLiteral("Работа..."), 0);
    settle();

    QStringList expected = enabled.split(QLatin1Char(' '));
    QStringList actual = enabledActions();
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
}

void TestMainForm::statusIndicators_data()
{
    QTest::addColumn<bool>("monitoring");
    QTest::addColumn<bool>("beforeConnect");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("afterDisconnect");
    QTest::newRow("monitoring") << true << false << true << false;
    QTest::newRow("no monitoring") << false << true << false << false;
}

void TestMainForm::statusIndicators()
{
    QFETCH(bool, monitoring);
    QFETCH(bool, beforeConnect);
    QFETCH(bool, connected);
    QFETCH(bool, afterDisconnect);

    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), monitoring);
    MainForm *form = makeForm();
    form->show();
    QList<QWidget *> bar;
    for (const char *cls : {"ControllerErrorsWidget", "LineStatusWidget"})
        for (QWidget *w : form->statusBar()->findChildren<QWidget *>())
            if (QByteArray(w->metaObject()->className()) == cls)
                bar << w;
    QCOMPARE(bar.size(), 2);
    auto *connection = qobject_cast<QLabel *>(form->statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).value(0));
    auto visible = [&]() { return !bar.at(0)->isHidden() && !bar.at(1)->isHidden(); };
    auto hidden = [&]() { return bar.at(0)->isHidden() && bar.at(1)->isHidden(); };

    QVERIFY(beforeConnect ? visible() : hidden());
    if (beforeConnect) {
        // Fault indicator, line indicator, connection picture, left to right.
        QTRY_VERIFY(bar.at(0)->x() < bar.at(1)->x());
        QVERIFY(connection);
        QVERIFY(bar.at(1)->x() < connection->x());
    }
    emit m_manager->client()->deviceConnected(tcpConnection());
    QVERIFY(connected ? visible() : hidden());
    emit m_manager->client()->deviceDisconnected();
    QVERIFY(afterDisconnect ? visible() : hidden());
}

void TestMainForm::connectionTitle_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::newRow("ethernet") << 0 << "10.1.2.3" << 3 << "Подключен к ЦУ-Л 10.1.2.3";
    QTest::newRow("rs-485") << 1 << "/dev/ttyUSB0" << 17 << "Подключен к ЦУ-Л, порт /dev/ttyUSB0, линейный адрес 17";
}

void TestMainForm::connectionTitle()
{
    QFETCH(int, type);
    QFETCH(QString, address);
    QFETCH(int, line);
    QFETCH(QString, text);

    MainForm *form = makeForm();
    QLabel *connection = nullptr;
    for (QLabel *l : form->statusBar()->findChildren<QLabel *>())
        if (l->toolTip() == QStringLiteral("<p>Режим автономной работы</p>"))
            connection = l;
    QVERIFY(connection);

    ClientConnection conn;
    conn.connType = type;
    conn.address = address;
    conn.lineAddress = line;
    // The link is up, the controller not yet identified.
    emit m_manager->client()->connectionChanged(conn);
    QString checking = text;
    checking.replace(QStringLiteral("Подключен к"), QStringLiteral("Подключение к"));
    QCOMPARE(form->windowTitle(), BaseTitle + QStringLiteral(" (") + checking + QStringLiteral(")"));
    emit m_manager->client()->deviceConnected(conn);
    QCOMPARE(form->windowTitle(), BaseTitle + QStringLiteral(" (") + text + QStringLiteral(")"));
    QCOMPARE(connection->toolTip(), QStringLiteral("<p>") + text + QStringLiteral("</p>"));

    // A restart with a new line address renames the window.
    conn.lineAddress = line + 1;
    conn.address = address + QStringLiteral("9");
    emit m_manager->client()->connectionChanged(conn);
    QVERIFY(form->windowTitle().contains(address + QStringLiteral("9")));

    emit m_manager->client()->deviceDisconnected();
    QCOMPARE(form->windowTitle(), BaseTitle + QStringLiteral(" (Режим автономной работы)"));
    QCOMPARE(connection->toolTip(), QStringLiteral("<p>Режим автономной работы</p>"));
}

void TestMainForm::taskSteps_data()
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

void TestMainForm::taskSteps()
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

void TestMainForm::taskWithoutCount()
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

void TestMainForm::secondTaskReusesDialog()
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

void TestMainForm::progressParentDestroyed()
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

void TestMainForm::progressAfterEachConnect()
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

void TestMainForm::lostLinkSaysWhy()
{
    FakeLine line;
    QVERIFY(line.listening);
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    MainForm *form = makeForm();
    form->show();
    QVERIFY(connectToFake(line));
    waitIdle();

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

void TestMainForm::firstRunTextsWhole()
{
    MainForm *form = makeForm();
    form->show();
    emit m_manager->client()->deviceConnected(tcpConnection());
    QVERIFY(QTest::qWaitForWindowExposed(form));

    // The longest task message fits beside the indicators.
    const QString message = QStringLiteral("Передача параметров конфигурации в линейные модули - успешно");
    form->statusBar()->showMessage(message);
    int indicators = 0;
    for (QWidget *w : form->statusBar()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isVisible() && !qobject_cast<QSizeGrip *>(w))
            indicators += w->width();
    QVERIFY2(form->statusBar()->fontMetrics().horizontalAdvance(message) + indicators < form->statusBar()->width(),
             qPrintable(QStringLiteral("status bar %1, indicators %2").arg(form->statusBar()->width()).arg(indicators)));
    // Whatever is cut is whole in the tooltip.
    QCOMPARE(form->statusBar()->toolTip(), message);

    // The progress window is wide enough for its title.
    emit m_manager->client()->taskStarted(ReadTask, 3);
    settle();
    QProgressDialog *progress = visibleProgress();
    QVERIFY(progress);
    QVERIFY(progress->width() > progress->fontMetrics().horizontalAdvance(BaseTitle));
}

void TestMainForm::saveAddsSuffix_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    // A file of that name is there before; the answer to the question about it.
    QTest::addColumn<QString>("existing");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("replaced");
    const int none = int(QMessageBox::NoButton);
    QTest::newRow("no suffix") << "site" << "site.xml" << "" << none << false << true;
    QTest::newRow("xml suffix") << "site.xml" << "site.xml" << "" << none << false << true;
    QTest::newRow("other suffix") << "site.cfg" << "site.cfg" << "" << none << false << true;
    // The dialog asked about the typed name only.
    QTest::newRow("completed name exists, kept")
        << "site" << "site.xml" << "site.xml" << int(QMessageBox::No) << true << false;
    QTest::newRow("completed name exists, replaced")
        << "site" << "site.xml" << "site.xml" << int(QMessageBox::Yes) << true << true;
    QTest::newRow("typed name exists: the dialog asked")
        << "site.xml" << "site.xml" << "site.xml" << none << false << true;
}

void TestMainForm::saveAddsSuffix()
{
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QFETCH(QString, existing);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, replaced);
    QTemporaryDir dir;
    const QByteArray older("an older file");
    if (!existing.isEmpty()) {
        QFile file(dir.filePath(existing));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(older);
    }
    makeForm();
    m_saveAnswer = dir.filePath(typed);
    m_boxes.answers = {QMessageBox::StandardButton(answer)};
    act(QStringLiteral("actSaveConfig"))->trigger();
    QCOMPARE(m_boxes.asked.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(m_boxes.asked.at(0).icon, QMessageBox::Warning);
        QCOMPARE(m_boxes.asked.at(0).text,
                 QStringLiteral("<p>Файл «%1» уже существует.</p><p>Заменить его?</p>")
                     .arg(QDir::toNativeSeparators(dir.filePath(saved))));
        QCOMPARE(m_boxes.asked.at(0).defaultButton, QMessageBox::No);
    }
    QFile file(dir.filePath(saved));
    if (replaced)
        QTRY_VERIFY(file.size() > older.size());
    settle();
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (!replaced)
        QCOMPARE(file.readAll(), older);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{saved});
    waitIdle();
}

void TestMainForm::disconnectEndsTask()
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

void TestMainForm::clientErrorShowsBox_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("logged");

    QTest::newRow("one line") << QStringLiteral("Ошибка выполнения команды")
                              << QStringLiteral("Ошибка выполнения команды");
    // One log line for one error.
    QTest::newRow("two lines") << QStringLiteral("Связь с ЦУ-Л (адрес 127.0.0.1, линейный адрес 3) потеряна.\n"
                                                 "Устройство не отвечает на запросы")
                               << QStringLiteral("Связь с ЦУ-Л (адрес 127.0.0.1, линейный адрес 3) потеряна. "
                                                 "Устройство не отвечает на запросы");
}

void TestMainForm::clientErrorShowsBox()
{
    QFETCH(QString, message);
    QFETCH(QString, logged);

    MainForm *form = makeForm();
    QSignalSpy log(form, &MainForm::writeToLog);
    // The log has the error when it happens, however long its box stays open.
    QStringList loggedWhileOpen;
    m_boxes.whileOpen = [&log, &loggedWhileOpen]() {
        for (const QList<QVariant> &args : log)
            loggedWhileOpen << args.at(0).toString();
    };
    emit m_manager->client()->clientError(message);
    // Queued: shown from the event loop, not inside the client's call.
    QCOMPARE(m_boxes.asked.size(), 0);
    settle();
    QCOMPARE(m_boxes.asked.size(), 1);
    QCOMPARE(m_boxes.asked.at(0).icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.asked.at(0).title, BaseTitle);
    QCOMPARE(m_boxes.asked.at(0).text, message);
    QCOMPARE(m_boxes.asked.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(loggedWhileOpen, QStringList{logged});
    QCOMPARE(log.count(), 1);
}

// A read with a failed step: the window says so until a whole read.
void TestMainForm::incompleteReadShown()
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
void TestMainForm::heldRecordsToldAndAskedFor()
{
    FakeLine line;
    QVERIFY(line.listening);
    line.fake.setRecord(11, 30, LantrelProtocol::Control_Relay_t{(1 << 8) | 4, 0, LantrelProtocol::EXT_RELY});
    MainForm *form = makeForm();
    form->show();
    QVERIFY(connectToFake(line));
    waitIdle();
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

// Questions before restart, disconnect and closing, by the client's marks.
// Offline only the line-module mark can be set; the flash mark needs a
// controller (onlineQuestions).
void TestMainForm::offlineQuestions_data()
{
    QTest::addColumn<bool>("lineModulesChanged");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("closeQuestion");
    QTest::newRow("clean") << false << int(QMessageBox::Question) << "Завершить работу приложения?";
    QTest::newRow("line modules changed")
        << true << int(QMessageBox::Warning)
        << "<p><b>Внимание!</b> Конфигурация линейных модулей была изменена, но не сохранена в ЦУ-Л.</p>"
           "<p>Вы действительно желаете завершить работу приложения?</p>";
}

void TestMainForm::offlineQuestions()
{
    QFETCH(bool, lineModulesChanged);
    QFETCH(int, icon);
    QFETCH(QString, closeQuestion);

    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    if (lineModulesChanged) {
        quint16 idx = 0;
        client->addModule(SECT_ACC, 0x12345, 7, idx);
    }
    QCOMPARE(client->lineModulesChanged(), lineModulesChanged);

    QSignalSpy shutdown(form, &MainForm::shutdown);
    m_boxes.answers = {QMessageBox::No};
    QVERIFY(!form->close());
    QCOMPARE(m_boxes.asked.size(), 1);
    QCOMPARE(int(m_boxes.asked.at(0).icon), icon);
    QCOMPARE(m_boxes.asked.at(0).text, closeQuestion);
    QCOMPARE(m_boxes.asked.at(0).title, BaseTitle);
    QCOMPARE(m_boxes.asked.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(m_boxes.asked.at(0).defaultButton, QMessageBox::No);
    QVERIFY(form->isVisible());
    QCOMPARE(shutdown.count(), 0);
    QVERIFY(!appSettings->contains(QStringLiteral("MainForm/Geometry")));

    // Yes to each: the line modules, then their unsent edits.
    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::Yes, QMessageBox::Yes};
    QVERIFY(form->close());
    QCOMPARE(m_boxes.asked.size(), lineModulesChanged ? 2 : 1);
    QCOMPARE(shutdown.count(), 1);
}

void TestMainForm::onlineQuestions_data()
{
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<bool>("lineModulesChanged");
    QTest::addColumn<QString>("rebootQuestion");
    QTest::addColumn<QString>("disconnectQuestion");
    QTest::addColumn<QString>("closeQuestion");

    const QString lineReboot = QStringLiteral(
        "<p><b>Внимание!</b> Конфигурация линейных модулей была изменена.</p>"
        "<p>Перед перезапуском необходимо сохранить конфигурацию в ЦУ-Л.<br/>"
        "В противном случае после перезапуска устройства возможен конфликт конфигураций.</p>"
        "<p>Продолжить процедуру перезапуска ЦУ-Л?</p>");
    const QString lineDisconnect = QStringLiteral(
        "<p><b>Внимание!</b> Конфигурация линейных модулей была изменена, но не сохранена в ЦУ-Л.</p>"
        "<p>Вы действительно желаете завершить подключение к ЦУ-Л?</p>");
    const QString lineClose = QStringLiteral(
        "<p><b>Внимание!</b> Конфигурация линейных модулей была изменена, но не сохранена в ЦУ-Л.</p>"
        "<p>Вы действительно желаете завершить работу приложения?</p>");

    QTest::newRow("saved") << false << false << QString() << QString()
                           << QStringLiteral("Завершить работу приложения?");
    QTest::newRow("not in flash")
        << true << false
        << QStringLiteral("<p><b>Внимание!</b> Конфигурация передана в ЦУ-Л, но не сохранена в его "
                          "энергонезависимой памяти: не выполнена команда «Сохранить конфигурацию».</p>"
                          "<p>После перезапуска ЦУ-Л загрузит из энергонезависимой памяти прежнюю "
                          "конфигурацию, и все несохраненные изменения будут отменены. Адреса модулей в ней "
                          "могут не совпасть с адресами модулей на линии (конфликт адресов).</p>"
                          "<p>Продолжить процедуру перезапуска ЦУ-Л?</p>")
        << QStringLiteral("<p><b>Внимание!</b> Изменения конфигурации не сохранены в ЦУ-Л.</p>"
                          "<p>Вы действительно желаете завершить подключение к ЦУ-Л?</p>")
        << QStringLiteral("<p><b>Внимание!</b> Изменения конфигурации не сохранены в ЦУ-Л.</p>"
                          "<p>Вы действительно желаете завершить работу приложения?</p>");
    QTest::newRow("line modules changed") << false << true << lineReboot << lineDisconnect << lineClose;
    // One restart question says both.
    QString bothReboot = lineReboot;
    bothReboot.insert(bothReboot.lastIndexOf(QLatin1String("<p>")),
                      QStringLiteral("<p>Конфигурация передана в ЦУ-Л, но не сохранена в его энергонезависимой "
                                     "памяти: не выполнена команда «Сохранить конфигурацию». При перезапуске ЦУ-Л "
                                     "она будет потеряна.</p>"));
    QTest::newRow("both: line modules win") << true << true << bothReboot << lineDisconnect << lineClose;
}

void TestMainForm::onlineQuestions()
{
    QFETCH(bool, unsaved);
    QFETCH(bool, lineModulesChanged);
    QFETCH(QString, rebootQuestion);
    QFETCH(QString, disconnectQuestion);
    QFETCH(QString, closeQuestion);

    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();

    if (unsaved) {
        QSignalSpy written(client, &LantrelClient::writeFinished);
        act(QStringLiteral("actSetConfig"))->trigger();
        QVERIFY(written.count() > 0 || written.wait(15000));
        waitIdle();
    }
    if (lineModulesChanged) {
        quint16 idx = 0;
        client->addModule(SECT_ACC, 0x54321, 480, idx);
    }
    QCOMPARE(client->configSaved(), !unsaved);
    QCOMPARE(client->lineModulesChanged(), lineModulesChanged);

    // Every question answered No: nothing happens.
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    QSignalSpy shutdown(form, &MainForm::shutdown);
    m_boxes.asked.clear();
    auto expectQuestion = [this](const QString &text, QMessageBox::Icon icon) {
        if (text.isEmpty()) {
            QCOMPARE(m_boxes.asked.size(), 0);
            return;
        }
        QCOMPARE(m_boxes.asked.size(), 1);
        QCOMPARE(m_boxes.asked.at(0).text, text);
        QCOMPARE(m_boxes.asked.at(0).icon, icon);
        QCOMPARE(m_boxes.asked.at(0).defaultButton, QMessageBox::No);
        m_boxes.asked.clear();
    };

    if (!rebootQuestion.isEmpty()) {
        act(QStringLiteral("actRebootController"))->trigger();
        expectQuestion(rebootQuestion, QMessageBox::Warning);
        if (QTest::currentTestFailed())
            return;
    }
    if (!disconnectQuestion.isEmpty()) {
        act(QStringLiteral("actDisconnect"))->trigger();
        expectQuestion(disconnectQuestion, QMessageBox::Warning);
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(!form->close());
    expectQuestion(closeQuestion, closeQuestion.startsWith(QLatin1String("<p>")) ? QMessageBox::Warning
                                                                                   : QMessageBox::Question);
    settle();
    QCOMPARE(tasks.count(), 0);
    QVERIFY(client->hasDriver());
    QCOMPARE(shutdown.count(), 0);

    // Yes to the restart (or no question at all) restarts the controller.
    m_boxes.answers = {QMessageBox::Yes};
    act(QStringLiteral("actRebootController"))->trigger();
    expectQuestion(rebootQuestion, QMessageBox::Warning);
    QTRY_VERIFY(tasks.count() > 0);
    QCOMPARE(tasks.at(0).at(0).toString(), QStringLiteral("Перезапуск ЦУ-Л..."));
}

// Reading, loading and closing drop the models' edits; they ask first when
// some were neither written to the controller nor saved to a file.
void TestMainForm::unsavedEditsQuestions_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QString>("saving");   // "", "file" or "controller"
    QTest::addColumn<QString>("action");   // "read", "load" or "close"
    QTest::addColumn<bool>("asked");
    QTest::newRow("nothing edited, read") << false << "" << "read" << false;
    QTest::newRow("nothing edited, load") << false << "" << "load" << false;
    QTest::newRow("edited, read") << true << "" << "read" << true;
    QTest::newRow("edited, load") << true << "" << "load" << true;
    QTest::newRow("edited, close") << true << "" << "close" << true;
    QTest::newRow("edited and saved to a file, read") << true << "file" << "read" << false;
    QTest::newRow("edited and saved to a file, close") << true << "file" << "close" << false;
    QTest::newRow("edited and written, load") << true << "controller" << "load" << false;
}

void TestMainForm::unsavedEditsQuestions()
{
    QFETCH(bool, edited);
    QFETCH(QString, saving);
    QFETCH(QString, action);
    QFETCH(bool, asked);

    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
    ControllerConfigModel *settings = client->controllerConfigModel();
    const quint8 edit = settings->deviceConfig.TSign == 7 ? 8 : 7;
    if (edited)
        settings->setData(ControllerConfigModel::TSignParam, edit, Qt::EditRole);
    QTemporaryDir dir;
    if (saving == QLatin1String("file")) {
        m_saveAnswer = dir.filePath(QStringLiteral("site.xml"));
        act(QStringLiteral("actSaveConfig"))->trigger();
        QVERIFY(QFile::exists(m_saveAnswer));
    } else if (saving == QLatin1String("controller")) {
        QSignalSpy written(client, &LantrelClient::writeFinished);
        act(QStringLiteral("actSetConfig"))->trigger();
        QVERIFY(written.wait(15000));
    }
    waitIdle();
    QCOMPARE(client->hasUnsavedEdits(), asked);

    auto trigger = [&] {
        if (action == QLatin1String("read"))
            act(QStringLiteral("actGetConfig"))->trigger();
        else if (action == QLatin1String("load"))
            act(QStringLiteral("actLoadConfig"))->trigger();
        else
            form->close();
    };
    // No keeps the edits and does nothing else.
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::No};
    trigger();
    settle();
    const bool question = !m_boxes.asked.isEmpty()
                          && m_boxes.asked.at(0).text.startsWith(QStringLiteral(
                              "<p><b>Внимание!</b> Изменения конфигурации не переданы в ЦУ-Л и не сохранены в файл.</p>"));
    QCOMPARE(question, asked);
    if (asked) {
        QCOMPARE(m_boxes.asked.size(), 1);
        QCOMPARE(m_boxes.asked.at(0).icon, QMessageBox::Warning);
        QCOMPARE(m_boxes.asked.at(0).defaultButton, QMessageBox::No);
        QCOMPARE(tasks.count(), 0);
        QVERIFY(m_openCalls.isEmpty());
        QVERIFY(form->isVisible());
        QCOMPARE(settings->deviceConfig.TSign, edit);
        QVERIFY(client->hasUnsavedEdits());
        // Yes goes on.
        m_boxes.answers = {QMessageBox::Yes};
        trigger();
    }
    if (action == QLatin1String("read"))
        QTRY_VERIFY(tasks.count() > 0);
    else if (action == QLatin1String("load"))
        QCOMPARE(m_openCalls.size(), 1);
    waitIdle();
}

// Every action that sends or replaces the configuration asks before it
// drops unsent work of any kind, and "Нет" keeps everything.
void TestMainForm::unsentWorkAsks_data()
{
    QTest::addColumn<QString>("work");     // "table", "line module" or "open editor"
    QTest::addColumn<QString>("action");
    for (const char *work : {"table", "line module", "open editor"}) {
        for (const char *action : {"connect", "disconnect", "read", "module search", "reread", "open", "close"})
            QTest::addRow("%s, %s", work, action) << QString::fromLatin1(work) << QString::fromLatin1(action);
    }
}

void TestMainForm::unsentWorkAsks()
{
    QFETCH(QString, work);
    QFETCH(QString, action);

    FakeLine line;
    MainForm *form = makeForm();
    form->resize(1200, 800);
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
    if (action == QLatin1String("connect"))
        client->shutdownDriver();
    settle();
    QVERIFY(!client->hasUnsavedEdits());

    // The I/O page, where the table is edited or an editor left open.
    auto *tree = form->findChild<QTreeWidget *>(QStringLiteral("treePages"));
    tree->setCurrentItem(tree->findItems(QStringLiteral("ПС-Л"), Qt::MatchExactly | Qt::MatchRecursive).value(0));
    auto *stack = form->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    auto *ioTable = stack->currentWidget()->findChild<QTableView *>(QStringLiteral("tableView"));
    QVERIFY(ioTable && ioTable->isVisible());
    IoModulesConfigModel *io = client->ioModulesConfigModel();
    ScpModulesConfigModel *scp = client->scpModulesConfigModel();
    const int column = IoModulesConfigModel::RelayTimeColumn;
    const quint8 held = io->moduleAt(1).relayTime;
    QVERIFY(held != 99);
    // The line-protection module moved to a free address, as in the addressing mode.
    const quint16 scpFrom = scp->moduleAt(0).lineAddress;
    quint16 scpTo = 499;
    if (work == QLatin1String("table")) {
        QVERIFY(io->setData(io->index(1, column), 99, Qt::EditRole));
    } else if (work == QLatin1String("line module")) {
        QVERIFY(client->lineModulesModel()->moduleAt(scpTo).deviceType == 0);
        quint16 idx = 0;
        client->moveModule(SECT_MKZ, scpFrom, 0, scpTo, idx);
        QCOMPARE(client->lineModulesModel()->moduleAt(scpTo).deviceType, quint8(SECT_MKZ));
    } else {
        auto *spin = PageTest::openEditor<QSpinBox>(ioTable, 1, column);
        QVERIFY(spin);
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("99"));
        QCOMPARE(io->moduleAt(1).relayTime, held);
    }

    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    m_boxes.asked.clear();
    m_boxes.answers.clear();   // every question answered "Нет"
    if (action == QLatin1String("connect")) {
        act(QStringLiteral("actConnect"))->trigger();
    } else if (action == QLatin1String("disconnect")) {
        act(QStringLiteral("actDisconnect"))->trigger();
    } else if (action == QLatin1String("read")) {
        act(QStringLiteral("actGetConfig"))->trigger();
    } else if (action == QLatin1String("module search")) {
        auto *search = form->findChild<QPushButton *>(QStringLiteral("btnFindModules"));
        QVERIFY(search && search->isEnabled());
        search->click();
    } else if (action == QLatin1String("reread")) {
        // The controller's module counts change, as after a restart from flash.
        line.fake.overrideRegister(22, 77);
        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.asked.isEmpty(), 15000);
    } else if (action == QLatin1String("open")) {
        act(QStringLiteral("actLoadConfig"))->trigger();
    } else {
        QVERIFY(!form->close());
    }
    settle();

    QVERIFY(!m_boxes.asked.isEmpty());
    const Question &question = m_boxes.asked.first();
    QCOMPARE(question.icon, QMessageBox::Warning);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::No);
    const bool named = question.text.contains(QStringLiteral("не переданы в ЦУ-Л и не сохранены в файл"))
                       || question.text.contains(QStringLiteral("Конфигурация линейных модулей была изменена"));
    QVERIFY2(named, qPrintable(question.text));
    if (action == QLatin1String("reread")) {
        QVERIFY(question.text.contains(QStringLiteral("Конфигурация ЦУ-Л изменилась")));
        // Told once; the window shows that the edits may not match any more.
        QTest::qWait(1500);
        QCOMPARE(m_boxes.asked.size(), 1);
        bool shown = false;
        for (QLabel *label : form->statusBar()->findChildren<QLabel *>())
            shown = shown || (label->isVisible() && label->text().contains(QStringLiteral("Конфигурация ЦУ-Л изменилась")));
        QVERIFY(shown);
    }

    // "Нет" keeps everything.
    QCOMPARE(tasks.count(), 0);
    QVERIFY(form->isVisible());
    QVERIFY(client->hasUnsavedEdits());
    QVERIFY(m_openCalls.isEmpty());
    QVERIFY(!form->findChild<ConnectorForm *>());
    QCOMPARE(client->hasDriver(), action != QLatin1String("connect"));
    if (work == QLatin1String("line module")) {
        QCOMPARE(client->lineModulesModel()->moduleAt(scpTo).deviceType, quint8(SECT_MKZ));
        QCOMPARE(client->lineModulesModel()->moduleAt(scpFrom).deviceType, quint8(0));
        const quint16 row = client->lineModulesModel()->moduleAt(scpTo).tableIndex;
        QCOMPARE(scp->moduleAt(row).lineAddress, scpTo);
    } else {
        // The open editor handed its value over before the question.
        QCOMPARE(io->moduleAt(1).relayTime, quint8(99));
    }
    line.fake.clearRegisterOverride(22);
}

// A module search replaces the module tables only: an unsent edit of the
// controller settings stays marked.
void TestMainForm::moduleSearchKeepsSettingsEdits()
{
    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
    ControllerConfigModel *settings = client->controllerConfigModel();
    const quint8 edit = settings->deviceConfig.TSign == 7 ? 8 : 7;
    settings->setData(ControllerConfigModel::TSignParam, edit, Qt::EditRole);

    auto *search = form->findChild<QPushButton *>(QStringLiteral("btnFindModules"));
    QVERIFY(search && search->isEnabled());
    m_boxes.answers = {QMessageBox::Yes};
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    search->click();
    QCOMPARE(m_boxes.asked.size(), 1);
    QVERIFY(dataset.wait(20000));
    waitIdle();
    QCOMPARE(settings->deviceConfig.TSign, edit);
    QVERIFY(client->hasUnsavedEdits());

    // So the next read still asks.
    m_boxes.asked.clear();
    act(QStringLiteral("actGetConfig"))->trigger();
    QCOMPARE(m_boxes.asked.size(), 1);
    QVERIFY(m_boxes.asked.at(0).text.contains(QStringLiteral("не переданы в ЦУ-Л и не сохранены в файл")));
}

// A file opened while an automatic re-read runs is refused with a word; the
// models are the controller's whole set.
void TestMainForm::loadDuringRead()
{
    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
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

// Closing while a write runs names it; "Нет" lets it finish whole.
void TestMainForm::closeDuringWrite()
{
    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();

    QSignalSpy written(client, &LantrelClient::writeFinished);
    QSignalSpy errors(client, &LantrelClient::clientError);
    QSignalSpy shutdown(form, &MainForm::shutdown);
    line.fake.clearLog();
    act(QStringLiteral("actSetConfig"))->trigger();
    QTRY_VERIFY(visibleProgress());
    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::No};
    QVERIFY(!form->close());
    QCOMPARE(m_boxes.asked.size(), 1);
    const Question &question = m_boxes.asked.first();
    QCOMPARE(question.icon, QMessageBox::Warning);
    QCOMPARE(question.defaultButton, QMessageBox::No);
    QVERIFY2(question.text.contains(QStringLiteral("Выполняется операция «Передача конфигурации ИОП в ЦУ-Л»")),
             qPrintable(question.text));
    QVERIFY(question.text.contains(QStringLiteral("частично переданными")));

    QVERIFY(written.wait(20000));
    waitIdle();
    QCOMPARE(errors.count(), 0);
    QCOMPARE(shutdown.count(), 0);
    QCOMPARE(line.fake.requests(21).size(), 126);
}

// After a write and one more edit, closing asks about the edit and then
// about the flash.
void TestMainForm::closeAsksEveryQuestion()
{
    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
    QSignalSpy written(client, &LantrelClient::writeFinished);
    act(QStringLiteral("actSetConfig"))->trigger();
    QVERIFY(written.wait(20000));
    waitIdle();
    ControllerConfigModel *settings = client->controllerConfigModel();
    settings->setData(ControllerConfigModel::TSignParam, settings->deviceConfig.TSign == 7 ? 8 : 7, Qt::EditRole);

    QSignalSpy shutdown(form, &MainForm::shutdown);
    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::Yes, QMessageBox::No};
    QVERIFY(!form->close());
    QCOMPARE(m_boxes.asked.size(), 2);
    QVERIFY(m_boxes.asked.at(0).text.contains(QStringLiteral("не переданы в ЦУ-Л и не сохранены в файл")));
    QCOMPARE(m_boxes.asked.at(1).text,
             QStringLiteral("<p><b>Внимание!</b> Изменения конфигурации не сохранены в ЦУ-Л.</p>"
                            "<p>Вы действительно желаете завершить работу приложения?</p>"));
    QCOMPARE(shutdown.count(), 0);

    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::Yes, QMessageBox::Yes};
    QVERIFY(form->close());
    QCOMPARE(m_boxes.asked.size(), 2);
    QCOMPARE(shutdown.count(), 1);
}

// A write cut by a lost link leaves the controller not saved to flash, also
// after a reconnect to it.
void TestMainForm::cutWriteStaysUnflashed()
{
    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
    QVERIFY(client->configSaved());

    FakeInjection cut = FakeInjection::make(FakeInjection::CloseSocket, 21);
    cut.skip = 30;
    line.fake.addInjection(cut);
    QSignalSpy stopped(client, &LantrelClient::driverStopped);
    act(QStringLiteral("actSetConfig"))->trigger();
    QVERIFY(stopped.wait(30000));
    settle();
    QVERIFY(!client->hasDriver());
    line.fake.clearInjections();

    m_boxes.asked.clear();
    QVERIFY(connectToFake(line));
    waitIdle();
    QVERIFY(!client->configSaved());
    m_boxes.asked.clear();
    QVERIFY(!form->close());
    QCOMPARE(m_boxes.asked.size(), 1);
    QCOMPARE(m_boxes.asked.at(0).text,
             QStringLiteral("<p><b>Внимание!</b> Изменения конфигурации не сохранены в ЦУ-Л.</p>"
                            "<p>Вы действительно желаете завершить работу приложения?</p>"));
}

// Commands that replace what the controller holds ask first; No is the default.
void TestMainForm::commandQuestions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("task");
    QTest::newRow("module defaults")
        << "actSetModuleDefaults"
        << "<p><b>Внимание!</b><br/>При восстановлении в линейных модулях параметров по умолчанию"
        << "Восстановление параметров модулей по умолчанию...";
    QTest::newRow("controller defaults")
        << "actSetDefaults" << "<p><b>Внимание!</b><br/>Параметры ЦУ-Л будут заменены значениями по умолчанию"
        << "Восстановление параметров ЦУ-Л по умолчанию...";
    QTest::newRow("restore from flash")
        << "actReadFlash"
        << "<p><b>Внимание!</b><br/>Текущая конфигурация ЦУ-Л будет заменена конфигурацией, сохраненной"
        << "Восстановление конфигурации ИОП...";
}

void TestMainForm::commandQuestions()
{
    QFETCH(QString, action);
    QFETCH(QString, question);
    QFETCH(QString, task);
    FakeLine line;
    makeForm();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
    // The fake reports the line on: the line actions become available.
    QTRY_VERIFY_WITH_TIMEOUT(act(action)->isEnabled(), 10000);

    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    act(action)->trigger();
    QCOMPARE(m_boxes.asked.size(), 1);
    QCOMPARE(m_boxes.asked.at(0).icon, QMessageBox::Warning);
    QVERIFY2(m_boxes.asked.at(0).text.startsWith(question), qPrintable(m_boxes.asked.at(0).text));
    QCOMPARE(m_boxes.asked.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(m_boxes.asked.at(0).defaultButton, QMessageBox::No);
    settle();
    QCOMPARE(tasks.count(), 0);

    m_boxes.answers = {QMessageBox::Yes};
    act(action)->trigger();
    QTRY_VERIFY(tasks.count() > 0);
    QCOMPARE(tasks.at(0).at(0).toString(), task);
}

void TestMainForm::closeNoKeepsTask()
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

void TestMainForm::closeWhileSessionEnds()
{
    MainForm *form = makeForm();
    form->show();
    quint16 idx = 0;
    m_manager->client()->addModule(SECT_ACC, 0x12345, 7, idx);
    emit m_manager->client()->taskStarted(ReadTask, 127);
    settle();
    QSignalSpy shutdown(form, &MainForm::shutdown);
    sessionEnding = true;
    QVERIFY(form->close());
    QCOMPARE(m_boxes.asked.size(), 0);
    QCOMPARE(shutdown.count(), 0);
    QVERIFY(!visibleProgress());
    QVERIFY(appSettings->contains(QStringLiteral("MainForm/Geometry")));
    QVERIFY(appSettings->contains(QStringLiteral("MainForm/State")));
    QVERIFY(appSettings->contains(QStringLiteral("MainForm/Splitter")));
}

void TestMainForm::sessionEndsWhileBoxIsOpen_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("client error") << "error";
    QTest::newRow("close question") << "close";
    QTest::newRow("about box") << "about";
}

void TestMainForm::sessionEndsWhileBoxIsOpen()
{
    QFETCH(QString, box);
    // Real boxes: the desktop session's save request deletes the main
    // window, and the box parented to it, while the box waits for the user.
    UiSeams::setMessageBoxHandler(nullptr);
    m_manager->startApp();
    delete m_manager->connectorForm();
    QPointer<QWidget> form = m_manager->mainForm();
    QVERIFY(form);
    form->show();
    QApplication::setActiveWindow(form);

    bool requested = false;
    int ticksAfter = 0;
    QTimer saveRequest;
    saveRequest.setInterval(20);
    connect(&saveRequest, &QTimer::timeout, this, [&]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!requested) {
            if (!modal)
                return;
            QVERIFY(modal->parent() == form);
            requested = true;
            onSessionSaveRequest();
            return;
        }
        // A box that outlived its window would wait for ever.
        if (modal && ++ticksAfter > 100)
            modal->close();
    });
    saveRequest.start();

    if (box == QLatin1String("close")) {
        form->close();
    } else if (box == QLatin1String("about")) {
        form->findChild<QAction *>(QStringLiteral("actAboutProgram"))->trigger();
    } else {
        emit m_manager->client()->clientError(QStringLiteral("Ошибка выполнения команды"));
        settle();
    }
    QTRY_VERIFY(requested);
    QTRY_VERIFY(!form);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainForm::geometryStoredAsUpperHex()
{
    const QSize firstRun = makeForm()->size();
    MainForm *form = makeForm();
    form->show();
    // Above the least size the pages leave the window.
    const QSize size = form->minimumSizeHint().expandedTo(QSize(730, 510)) + QSize(20, 20);
    form->resize(size);
    auto *splitter = form->findChild<QSplitter *>(QStringLiteral("splitter"));
    splitter->setSizes({260, 400});
    const QList<int> sizes = splitter->sizes();
    const QByteArray geometry = form->saveGeometry();
    m_boxes.answers = {QMessageBox::Yes};
    QVERIFY(form->close());

    const QRegularExpression upperHex(QStringLiteral("^[0-9A-F]+$"));
    for (const char *key : {"Geometry", "State", "Splitter"}) {
        const QString text = appSettings->value(QStringLiteral("MainForm/") + QLatin1String(key)).toString();
        QVERIFY2(upperHex.match(text).hasMatch(), key);
    }
    QCOMPARE(appSettings->value(QStringLiteral("MainForm/Geometry")).toString(),
             QString::fromLatin1(geometry.toHex().toUpper()));

    // A new window comes back the same.
    m_form.reset();
    MainForm *again = makeForm();
    QCOMPARE(again->size(), size);
    again->show();
    QCOMPARE(again->findChild<QSplitter *>(QStringLiteral("splitter"))->sizes(), sizes);

    // Empty keys leave the defaults.
    m_form.reset();
    for (const char *key : {"Geometry", "State", "Splitter"})
        appSettings->setValue(QStringLiteral("MainForm/") + QLatin1String(key), QString());
    QCOMPARE(makeForm()->size(), firstRun);
}

void TestMainForm::pageJumps_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("processing");
    QTest::addColumn<QString>("page");
    QTest::newRow("io module") << 2 << false << "pageIoModules";
    QTest::newRow("sensor with ir") << 3 << false << "pageSensors";
    QTest::newRow("sensor") << 4 << false << "pageSensors";
    QTest::newRow("line protection") << 5 << false << "pageScpModules";
    QTest::newRow("relay module") << 16 << false << "pageLineModules";
    QTest::newRow("no module") << 0 << false << "pageLineModules";
    QTest::newRow("controller") << 7 << false << "pageLineModules";
    QTest::newRow("processing") << 4 << true << "pageSensors";
}

void TestMainForm::pageJumps()
{
    QFETCH(int, type);
    QFETCH(bool, processing);
    QFETCH(QString, page);

    MainForm *form = makeForm();
    auto *tree = form->findChild<QTreeWidget *>(QStringLiteral("treePages"));
    auto *stack = form->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    tree->setCurrentItem(tree->topLevelItem(1));
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("pageLineModules"));

    auto *lineModules = form->findChild<LineModulesForm *>(QStringLiteral("pageLineModules"));
    if (processing)
        emit lineModules->jumpToProcessingConfig(3);
    else
        emit lineModules->jumpToModuleConfig(uchar(type), 3);
    QCOMPARE(stack->currentWidget()->objectName(), page);
    QCOMPARE(tree->currentItem()->type() - 1000, stack->currentIndex());
}

void TestMainForm::fileDialogsStartFolder_data()
{
    QTest::addColumn<QString>("lastPath");
    QTest::addColumn<bool>("useLast");
    QTest::newRow("none") << QString() << false;
    QTest::newRow("deleted folder") << QStringLiteral("/nonexistent/lantrel/folder") << false;
    QTest::newRow("existing folder") << QStringLiteral("tmp") << true;
}

void TestMainForm::fileDialogsStartFolder()
{
    QFETCH(QString, lastPath);
    QFETCH(bool, useLast);

    QTemporaryDir dir;
    if (lastPath == QLatin1String("tmp"))
        lastPath = dir.path();
    if (!lastPath.isEmpty())
        appSettings->setValue(QStringLiteral("Common/LastPath"), lastPath);
    makeForm();

    act(QStringLiteral("actLoadConfig"))->trigger();
    act(QStringLiteral("actSaveConfig"))->trigger();
    QCOMPARE(m_openCalls.size(), 1);
    QCOMPARE(m_saveCalls.size(), 1);
    const QString expected = useLast ? lastPath : appDataPath;
    QCOMPARE(m_openCalls.at(0).dir, expected);
    QCOMPARE(m_saveCalls.at(0).dir, expected);
    QCOMPARE(m_openCalls.at(0).caption, QStringLiteral("Загрузка конфигурации из файла"));
    QCOMPARE(m_openCalls.at(0).filter, QStringLiteral("XML файлы (*.xml);;Все файлы (*.*)"));
    QCOMPARE(m_openCalls.at(0).options, QFileDialog::DontResolveSymlinks | QFileDialog::ReadOnly
                                            | QFileDialog::DontUseCustomDirectoryIcons);
    QCOMPARE(m_saveCalls.at(0).caption, QStringLiteral("Сохранение конфигурации в файл"));
    QCOMPARE(m_saveCalls.at(0).filter, QStringLiteral("XML файлы (*.xml)"));
    QCOMPARE(m_saveCalls.at(0).options, QFileDialog::DontResolveSymlinks | QFileDialog::DontUseCustomDirectoryIcons);
    // Both dialogs were cancelled: nothing changed.
    QCOMPARE(appSettings->value(QStringLiteral("Common/LastPath")).toString(), lastPath);
    settle();
    QCOMPARE(m_boxes.asked.size(), 0);
}

void TestMainForm::loadFailureKeepsFolder()
{
    QTemporaryDir before;
    QTemporaryDir other;
    appSettings->setValue(QStringLiteral("Common/LastPath"), before.path());
    makeForm();

    QFile bad(other.filePath(QStringLiteral("bad.xml")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("<not a configuration");
    bad.close();
    m_openAnswer = bad.fileName();
    act(QStringLiteral("actLoadConfig"))->trigger();
    settle();
    QCOMPARE(appSettings->value(QStringLiteral("Common/LastPath")).toString(), before.path());
    QCOMPARE(m_boxes.asked.size(), 1);
    QCOMPARE(m_boxes.asked.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.asked.at(0).text.startsWith(QStringLiteral("Ошибка")), qPrintable(m_boxes.asked.at(0).text));

    // A folder that cannot take the file: the save fails the same way.
    m_saveAnswer = other.filePath(QStringLiteral("missing/sub/folder/config.xml"));
    act(QStringLiteral("actSaveConfig"))->trigger();
    settle();
    QCOMPARE(appSettings->value(QStringLiteral("Common/LastPath")).toString(), before.path());
    QCOMPARE(m_boxes.asked.size(), 2);
    QCOMPARE(m_boxes.asked.at(1).icon, QMessageBox::Critical);
}

void TestMainForm::singleInstanceWindows()
{
    MainForm *form = makeForm();
    act(QStringLiteral("actShowStateViewer"))->trigger();
    act(QStringLiteral("actShowStateViewer"))->trigger();
    QList<StateViewerForm *> states;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *s = qobject_cast<StateViewerForm *>(w))
            states << s;
    QCOMPARE(states.size(), 1);
    QVERIFY(states.first()->isVisible());
    QVERIFY(!states.first()->parentWidget());
    QPointer<StateViewerForm> state = states.first();
    state->close();
    settle();
    QVERIFY(state.isNull());
    act(QStringLiteral("actShowStateViewer"))->trigger();
    QVERIFY(form->findChildren<StateViewerForm *>().isEmpty());

    // The windows without a parent go with the main window.
    QPointer<QWidget> reopened;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<StateViewerForm *>(w))
            reopened = w;
    QVERIFY(reopened);
    m_form.reset();
    QVERIFY(reopened.isNull());
}

void TestMainForm::dialogsFromMenus()
{
    MainForm *form = makeForm();
    form->show();

    // The connection dialog: one at a time, modal, its busy state is the window's.
    act(QStringLiteral("actConnect"))->trigger();
    act(QStringLiteral("actConnect"))->trigger();
    const QList<ConnectorForm *> connectors = form->findChildren<ConnectorForm *>();
    QCOMPARE(connectors.size(), 1);
    QPointer<ConnectorForm> connector = connectors.first();
    QVERIFY(connector->isVisible());
    QCOMPARE(connector->windowModality(), Qt::ApplicationModal);
    QVERIFY(!(connector->windowFlags() & Qt::WindowCloseButtonHint));
    QSignalSpy cursor(form, &MainForm::showWaitCursor);
    emit connector->showWaitCursor(true);
    QCOMPARE(cursor.count(), 1);
    // Its "close the program" only closes the dialog here.
    QSignalSpy shutdown(form, &MainForm::shutdown);
    emit connector->closeApp();
    settle();
    QVERIFY(connector.isNull());
    QVERIFY(form->isVisible());
    QCOMPARE(shutdown.count(), 0);

    // The about box runs modally and has no context-help button.
    QString aboutClass;
    Qt::WindowFlags aboutFlags;
    QTimer::singleShot(0, [&]() {
        if (QWidget *w = QApplication::activeModalWidget()) {
            aboutClass = QString::fromLatin1(w->metaObject()->className());
            aboutFlags = w->windowFlags();
            w->close();
        }
    });
    act(QStringLiteral("actAboutProgram"))->trigger();
    QCOMPARE(aboutClass, QStringLiteral("AboutForm"));
    QVERIFY(!(aboutFlags & Qt::WindowContextHelpButtonHint));
}

void TestMainForm::endToEnd()
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

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
