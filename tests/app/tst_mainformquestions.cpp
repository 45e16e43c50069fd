// Main window: the questions before restart, disconnect, reading, loading,
// closing and the controller commands, by what is at stake.

#include "appglobals.h"
#include "controllerconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "mainformrig.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace LantrelProtocol;
using namespace MainFormTest;

namespace {

// Before disconnecting or closing while the controller's memory holds a
// written configuration its flash does not.
QString unflashedQuestion(const QString &question)
{
    return QStringLiteral("<p><b>Внимание!</b> Конфигурация передана в ЦУ-Л, но не сохранена в его "
                          "энергонезависимой памяти: не выполнена команда «Сохранить конфигурацию».</p>"
                          "<p>При следующем перезапуске ЦУ-Л загрузит из энергонезависимой памяти прежнюю "
                          "конфигурацию, и переданные изменения будут отменены. Чтобы сохранить их, ответьте "
                          "«Нет» и выполните команду «Сохранить конфигурацию».</p>"
                          "<p>%1</p>")
        .arg(question);
}

} // namespace

class TestMainFormQuestions : public QObject, public MainFormRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init() { initRig(); }
    void cleanup() { cleanupRig(); }

    void offlineQuestions_data();
    void offlineQuestions();
    void onlineQuestions_data();
    void onlineQuestions();
    void unsavedEditsQuestions_data();
    void unsavedEditsQuestions();
    void closeDuringWrite();
    void closeAsksEveryQuestion();
    void cutWriteStaysUnflashed();
    void commandQuestions_data();
    void commandQuestions();
    void questionsOnlyAtStake_data();
    void questionsOnlyAtStake();
};

// Questions before restart, disconnect and closing, by the client's marks.
// Offline only the line-module mark can be set; the flash mark needs a
// controller (onlineQuestions).
void TestMainFormQuestions::offlineQuestions_data()
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

void TestMainFormQuestions::offlineQuestions()
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

void TestMainFormQuestions::onlineQuestions_data()
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
        << unflashedQuestion(QStringLiteral("Вы действительно желаете завершить подключение к ЦУ-Л?"))
        << unflashedQuestion(QStringLiteral("Вы действительно желаете завершить работу приложения?"));
    QTest::newRow("line modules changed") << false << true << lineReboot << lineDisconnect << lineClose;
    // One restart question says both.
    QString bothReboot = lineReboot;
    bothReboot.insert(bothReboot.lastIndexOf(QLatin1String("<p>")),
                      QStringLiteral("<p>Конфигурация передана в ЦУ-Л, но не сохранена в его энергонезависимой "
                                     "памяти: не выполнена команда «Сохранить конфигурацию». При перезапуске ЦУ-Л "
                                     "она будет потеряна.</p>"));
    QTest::newRow("both: line modules win") << true << true << bothReboot << lineDisconnect << lineClose;
}

void TestMainFormQuestions::onlineQuestions()
{
    QFETCH(bool, unsaved);
    QFETCH(bool, lineModulesChanged);
    QFETCH(QString, rebootQuestion);
    QFETCH(QString, disconnectQuestion);
    QFETCH(QString, closeQuestion);

    FakeLine line;
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();

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
void TestMainFormQuestions::unsavedEditsQuestions_data()
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

void TestMainFormQuestions::unsavedEditsQuestions()
{
    QFETCH(bool, edited);
    QFETCH(QString, saving);
    QFETCH(QString, action);
    QFETCH(bool, asked);

    FakeLine line;
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();
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

// Closing while a write runs names it; "Нет" lets it finish whole.
void TestMainFormQuestions::closeDuringWrite()
{
    FakeLine line;
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();

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
void TestMainFormQuestions::closeAsksEveryQuestion()
{
    FakeLine line;
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();
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
             unflashedQuestion(QStringLiteral("Вы действительно желаете завершить работу приложения?")));
    QCOMPARE(shutdown.count(), 0);

    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::Yes, QMessageBox::Yes};
    QVERIFY(form->close());
    QCOMPARE(m_boxes.asked.size(), 2);
    QCOMPARE(shutdown.count(), 1);
}

// A write cut by a lost link leaves the controller not saved to flash, also
// after a reconnect to it.
void TestMainFormQuestions::cutWriteStaysUnflashed()
{
    FakeLine line;
    MainForm *form = showConnected(line);
    QVERIFY(form);
    LantrelClient *client = m_manager->client();
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
             unflashedQuestion(QStringLiteral("Вы действительно желаете завершить работу приложения?")));
}

// Commands that replace what the controller holds ask first; No is the default.
void TestMainFormQuestions::commandQuestions_data()
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

void TestMainFormQuestions::commandQuestions()
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

// A question only when something is at stake, in words that name it: the
// first read puts no edits into the models, and a module search keeps the
// controller settings.
void TestMainFormQuestions::questionsOnlyAtStake_data()
{
    QTest::addColumn<QString>("situation");   // "first read", "settings edit" or "table edit"
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("asked");   // every question, answered "Да"
    QTest::newRow("first read, disconnect") << "first read" << "disconnect" << QStringList();
    QTest::newRow("first read, close")
        << "first read" << "close"
        << QStringList{QStringLiteral("<p><b>Внимание!</b> Выполняется операция «Чтение конфигурации ИОП из ЦУ-Л».</p>"
                                      "<p>При завершении работы приложения она будет прервана.</p>"
                                      "<p>Вы действительно желаете завершить работу приложения?</p>")};
    QTest::newRow("controller page edited, module search") << "settings edit" << "module search" << QStringList();
    QTest::newRow("module table edited, module search")
        << "table edit" << "module search"
        << QStringList{QStringLiteral("<p><b>Внимание!</b> Изменения конфигурации не переданы в ЦУ-Л и не сохранены "
                                      "в файл.</p>"
                                      "<p>При поиске модулей таблицы модулей будут заменены прочитанными из ЦУ-Л, и "
                                      "изменения в них будут потеряны.</p>"
                                      "<p>Чтобы не потерять их, ответьте «Нет» и сохраните конфигурацию в файл "
                                      "(«Сохранить конфигурацию в файл»).</p>"
                                      "<p>Продолжить поиск модулей?</p>")};
}

void TestMainFormQuestions::questionsOnlyAtStake()
{
    QFETCH(QString, situation);
    QFETCH(QString, action);
    QFETCH(QStringList, asked);

    FakeLine line;
    QVERIFY(line.listening);
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    if (situation == QLatin1String("first read")) {
        // A slow controller: the action comes while the models fill.
        line.fake.setResponseDelay(25);
        QSignalSpy up(client, &LantrelClient::deviceConnected);
        client->connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
        QVERIFY(up.wait(10000));
        QVERIFY(QTest::qWaitFor([&line]() { return line.configurationReads() >= 10; }, 15000));
        QVERIFY(client->readingConfiguration());
    } else {
        QVERIFY(connectToFake(line));
        waitIdle();
        if (situation == QLatin1String("settings edit")) {
            ControllerConfigModel *settings = client->controllerConfigModel();
            settings->setData(ControllerConfigModel::TSignParam, settings->deviceConfig.TSign == 7 ? 8 : 7,
                              Qt::EditRole);
        } else {
            IoModulesConfigModel *io = client->ioModulesConfigModel();
            QVERIFY(io->setData(io->index(1, IoModulesConfigModel::RelayTimeColumn), 99, Qt::EditRole));
        }
    }

    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    QSignalSpy shutdown(form, &MainForm::shutdown);
    m_boxes.asked.clear();
    m_boxes.answers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes};
    if (action == QLatin1String("disconnect")) {
        act(QStringLiteral("actDisconnect"))->trigger();
    } else if (action == QLatin1String("close")) {
        QVERIFY(form->close());
    } else {
        auto *search = form->findChild<QPushButton *>(QStringLiteral("btnFindModules"));
        QVERIFY(search && search->isEnabled());
        search->click();
    }
    // Boxes the action's end brings come queued.
    settle();
    QStringList texts;
    for (const Question &q : m_boxes.asked)
        texts << q.text;
    QVERIFY2(texts == asked, qPrintable(texts.join(QStringLiteral("\n---\n"))));

    // What the answers let go ahead went ahead.
    if (action == QLatin1String("disconnect")) {
        QVERIFY(!client->hasDriver());
    } else if (action == QLatin1String("close")) {
        QCOMPARE(shutdown.count(), 1);
    } else {
        QVERIFY(dataset.wait(20000));
        QCOMPARE(tasks.first().at(0).toString(), QStringLiteral("Поиск линейных модулей..."));
        waitIdle();
        // A settings edit outlives the search; a table edit does not.
        QCOMPARE(client->hasUnsavedEdits(), situation == QLatin1String("settings edit"));
    }
}

QTEST_MAIN(TestMainFormQuestions)
#include "tst_mainformquestions.moc"
