#ifndef MAINWINDOWRIG_H
#define MAINWINDOWRIG_H

// The program's main window as TaskManager makes it, with its client, beside
// the fake line controller at line address 3 on 127.0.0.1:502; message boxes
// are answered from a queue and recorded. Header-only; include it from tests
// that link the app library.

#include <QAction>
#include <QApplication>
#include <QHostAddress>
#include <QList>
#include <QLocale>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

#include "appglobals.h"
#include "clientconnection.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "mainform.h"
#include "taskmanager.h"
#include "uiseams.h"

namespace MainWindowTest {

constexpr int LineAddress = 3;

// Names, Russian texts and meta-types, once per test program.
inline void initApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    qRegisterMetaType<ClientConnection>();
}

inline void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// One message box as the program asked it.
struct Box
{
    QMessageBox::Icon icon;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

class Rig
{
public:
    // `monitoring` as the settings give it: the line state, which some
    // actions wait for, comes with the monitoring.
    explicit Rig(bool monitoring = true, bool changeSerial = false)
    {
        sessionEnding = false;
        m_manager.reset(new TaskManager);
        appTaskManager = m_manager.get();
        for (const char *key : {"MainForm", "Common", "Driver", "FirmwareUpdateForm"})
            appSettings->remove(QString::fromLatin1(key));
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), monitoring);
        appSettings->setValue(QStringLiteral("Common/EnableChangeSerial"), changeSerial);
        UiSeams::setMessageBoxHandler([this](QWidget *, QMessageBox::Icon icon, const QString &,
                                             const QString &text, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton def) {
            asked.append({icon, text, buttons, def});
            if (!(buttons & QMessageBox::Yes))
                return buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::NoButton;
            return answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
        });
        fake.loadGeneratedConfiguration(LineAddress, QHostAddress(QStringLiteral("127.0.0.1")));
        fake.setRestartDelays(50, 200);
        listening = server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502);
        form.reset(new MainForm);
        // Ending the program here would end every later event loop of the test.
        QObject::disconnect(form.get(), &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
        form->show();
    }

    ~Rig()
    {
        form.reset();
        m_manager->client()->shutdownDriver();
        settle();
        appTaskManager = nullptr;
        m_manager.reset();
        UiSeams::setMessageBoxHandler(nullptr);
        UiSeams::setOpenFileHandler(nullptr);
        sessionEnding = false;
        settle();
    }

    Rig(const Rig &) = delete;
    Rig &operator=(const Rig &) = delete;

    LantrelClient *client() const { return m_manager->client(); }

    QAction *act(const char *name) const { return form->findChild<QAction *>(QString::fromLatin1(name)); }

    // Connects as the connection dialog does; the window reads the
    // configuration, and this waits for the read's end.
    bool connect()
    {
        if (!listening)
            return false;
        QSignalSpy up(client(), &LantrelClient::deviceConnected);
        QSignalSpy read(client(), &LantrelClient::datasetChanged);
        client()->connectToDevice(0, QStringLiteral("127.0.0.1"), LineAddress);
        if (!up.wait(10000))
            return false;
        if (read.isEmpty() && !read.wait(20000))
            return false;
        return waitIdle();
    }

    // No client task runs: actLoadConfig is enabled exactly then.
    bool waitIdle(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([this]() { return act("actLoadConfig")->isEnabled(); }, timeoutMs);
    }

    // Writes the whole configuration as "Передать конфигурацию в ЦУ-Л"
    // does: the controller's memory then differs from its flash.
    bool writeToController()
    {
        QSignalSpy written(client(), &LantrelClient::writeFinished);
        act("actSetConfig")->trigger();
        if (written.isEmpty() && !written.wait(30000))
            return false;
        return waitIdle() && !client()->configSaved();
    }

    // Coil writes of 0xFF00 that reached the controller: 1 stops the line
    // polling, 2 restarts it, 3 sets its defaults.
    int coilWrites(int coil) const
    {
        int n = 0;
        for (const FakeRequest &r : fake.requests(5))
            n += (r.address == coil && r.values.value(0) == 0xFF00) ? 1 : 0;
        return n;
    }

    // Requests that change something in the controller: coils, registers,
    // file records; each as function, then address or file.
    QStringList writeRequests() const
    {
        QStringList writes;
        for (const FakeRequest &r : fake.requestLog()) {
            if (r.function == 5 || r.function == 6 || r.function == 15 || r.function == 16)
                writes << QStringLiteral("%1 at %2").arg(r.function).arg(r.address);
            else if (r.function == 21)
                writes << QStringLiteral("21 file %1").arg(r.file());
        }
        return writes;
    }

    QList<Box> asked;
    QList<QMessageBox::StandardButton> answers;
    FakeController fake;
    FakeTcpServer server {&fake};
    bool listening = false;
    std::unique_ptr<MainForm> form;

private:
    std::unique_ptr<TaskManager> m_manager;
};

} // namespace MainWindowTest

#endif // MAINWINDOWRIG_H
