// Main window: every action that sends or replaces the configuration asks
// before it drops unsent work, against the fake line controller.

#include "connectorform.h"
#include "controllerconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "linemodulesmodel.h"
#include "mainformrig.h"
#include "pagetestsupport.h"
#include "scpmodulesconfigmodel.h"

#include <QApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

using namespace LantrelProtocol;
using namespace MainFormTest;

class TestMainFormUnsentWork : public QObject, public MainFormRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init() { initRig(); }
    void cleanup() { cleanupRig(); }

    void unsentWorkAsks_data();
    void unsentWorkAsks();
    void moduleSearchKeepsSettingsEdits_data();
    void moduleSearchKeepsSettingsEdits();
};

// Every action that sends or replaces the configuration asks before it
// drops unsent work of any kind, and "Нет" keeps everything.
void TestMainFormUnsentWork::unsentWorkAsks_data()
{
    QTest::addColumn<QString>("work");     // "table", "line module" or "open editor"
    QTest::addColumn<QString>("action");
    for (const char *work : {"table", "line module", "open editor"}) {
        for (const char *action : {"connect", "disconnect", "read", "module search", "reread", "open", "close"})
            QTest::addRow("%s, %s", work, action) << QString::fromLatin1(work) << QString::fromLatin1(action);
    }
}

void TestMainFormUnsentWork::unsentWorkAsks()
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

void TestMainFormUnsentWork::moduleSearchKeepsSettingsEdits_data()
{
    QTest::addColumn<bool>("lineMode");   // else the hold time

    QTest::newRow("hold time") << false;
    // Read again with the module counts, which the search brings.
    QTest::newRow("line mode") << true;
}

// A module search replaces the module tables only: an unsent edit of the
// controller page stays, and stays marked.
void TestMainFormUnsentWork::moduleSearchKeepsSettingsEdits()
{
    QFETCH(bool, lineMode);

    FakeLine line;
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();
    ControllerConfigModel *settings = client->controllerConfigModel();
    const auto value = [settings, lineMode]() {
        return lineMode ? settings->lineConfig.LineMode : settings->deviceConfig.TSign;
    };
    const quint8 edit = lineMode ? (value() == 2 ? 1 : 2) : (value() == 7 ? 8 : 7);
    settings->setData(lineMode ? ControllerConfigModel::LineModeParam : ControllerConfigModel::TSignParam, edit,
                      Qt::EditRole);
    QCOMPARE(value(), edit);

    auto *search = form->findChild<QPushButton *>(QStringLiteral("btnFindModules"));
    QVERIFY(search && search->isEnabled());
    m_boxes.answers = {QMessageBox::Yes};
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    search->click();
    // Nothing it replaces is unsent: no question.
    QCOMPARE(m_boxes.asked.size(), 0);
    QVERIFY(dataset.wait(20000));
    waitIdle();
    QCOMPARE(value(), edit);
    QVERIFY(client->hasUnsavedEdits());

    // So the next read still asks.
    m_boxes.asked.clear();
    m_boxes.answers.clear();
    act(QStringLiteral("actGetConfig"))->trigger();
    QCOMPARE(m_boxes.asked.size(), 1);
    QVERIFY(m_boxes.asked.at(0).text.contains(QStringLiteral("не переданы в ЦУ-Л и не сохранены в файл")));
}

QTEST_MAIN(TestMainFormUnsentWork)
#include "tst_mainformunsentwork.moc"
