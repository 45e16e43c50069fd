// Main window: its menus, pages and actions with their enable rules, the
// status bar, file dialogs, boxes, geometry and the other windows it opens.

#include "appglobals.h"
#include "connectorform.h"
#include "linemodulesform.h"
#include "mainformrig.h"
#include "stateviewerform.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

using namespace LantrelProtocol;
using namespace MainFormTest;

class TestMainForm : public QObject, public MainFormRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init() { initRig(); }
    void cleanup() { cleanupRig(); }

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
    void firstRunTextsWhole();
    void saveAddsSuffix_data();
    void saveAddsSuffix();
    void clientErrorShowsBox_data();
    void clientErrorShowsBox();
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
};

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

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
