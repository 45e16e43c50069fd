// Main window: a read or write of the configuration held up by a busy
// controller is stopped from its progress window, by Escape or its close.

#include <QAction>
#include <QApplication>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

#include <memory>

#include "appglobals.h"
#include "faketcpserver.h"
#include "lantrelclient.h"
#include "mainform.h"
#include "taskmanager.h"
#include "windowtestsupport.h"

using namespace LantrelProtocol;

namespace {

const int LineAddress = 3;

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

} // namespace

class TestBusyTasks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void stopFromProgress_data();
    void stopFromProgress();

private:
    std::unique_ptr<TaskManager> m_manager;
    std::unique_ptr<MainForm> m_form;
};

void TestBusyTasks::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<ClientConnection>();
}

void TestBusyTasks::init()
{
    sessionEnding = false;
    m_manager.reset(new TaskManager);
    appTaskManager = m_manager.get();
    appSettings->remove(QStringLiteral("Driver"));
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    // Only a stop ends the task here.
    appSettings->setValue(QStringLiteral("Driver/BusyTimeLimit"), 20000);
    appSettings->sync();
}

void TestBusyTasks::cleanup()
{
    m_form.reset();
    if (m_manager)
        m_manager->client()->shutdownDriver();
    settle();
    appTaskManager = nullptr;
    m_manager.reset();
    settle();
}

void TestBusyTasks::stopFromProgress_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("escape");   // else the window's close
    QTest::addColumn<QString>("words");

    const QString readStopped = QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л остановлено, не прочитаны: "
                                               "записи 31–500 таблицы модулей ВТ-Л и ВС-Л");
    QTest::newRow("read, Escape") << false << true << readStopped;
    QTest::newRow("read, close") << false << false << readStopped;
    QTest::newRow("write, Escape") << true << true
                                   << QStringLiteral("Передача конфигурации ИОП в ЦУ-Л остановлена, не переданы: "
                                                     "записи таблицы модулей ВТ-Л и ВС-Л");
}

void TestBusyTasks::stopFromProgress()
{
    QFETCH(bool, write);
    QFETCH(bool, escape);
    QFETCH(QString, words);

    WindowTest::MessageBoxRecorder boxes(QMessageBox::Yes);
    FakeController fake;
    fake.loadGeneratedConfiguration(LineAddress, QHostAddress(QStringLiteral("127.0.0.1")));
    FakeTcpServer server(&fake);
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502));
    m_form.reset(new MainForm);
    QObject::disconnect(m_form.get(), &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
    LantrelClient *client = m_manager->client();
    // The window reads the configuration on the connect.
    QSignalSpy read(client, &LantrelClient::datasetChanged);
    client->connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
    QVERIFY(read.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(!visibleProgress(), 5000);
    boxes.asked.clear();

    const int function = write ? 21 : 20;
    FakeInjection busy = FakeInjection::exception(6, function, -1);
    busy.file = 10;
    busy.skip = 2;
    fake.addInjection(busy);
    fake.clearLog();
    m_form->findChild<QAction *>(write ? QStringLiteral("actSetConfig") : QStringLiteral("actGetConfig"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fake.requests(function, 10).size() >= 4 && visibleProgress(), 5000);

    QProgressDialog *progress = visibleProgress();
    if (escape)
        QTest::keyClick(progress, Qt::Key_Escape);
    else
        progress->windowHandle()->close();   // as the window manager closes it
    QTRY_VERIFY_WITH_TIMEOUT(!visibleProgress(), 3000);

    QStringList said;
    for (const WindowTest::AskedBox &box : boxes.asked)
        said << box.text;
    QVERIFY2(said.size() == 1 && said.first().startsWith(words), qPrintable(said.join('\n')));
    QVERIFY(fake.requests(function, 15).isEmpty());
    QVERIFY(m_form->findChild<QAction *>(QStringLiteral("actLoadConfig"))->isEnabled());
}

QTEST_MAIN(TestBusyTasks)
#include "tst_busytasks.moc"
