#ifndef MAINFORMRIG_H
#define MAINFORMRIG_H

// Shared set-up of the main window's test programs: the program's task
// manager with a real client, the main window, message boxes and file
// dialogs answered by the test, and the fake line controller on
// 127.0.0.1:502. Header-only: only the window tests link the application.
// mainwindowrig.h and firmwarewindowrig.h build on it.

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHostAddress>
#include <QList>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QtTest>

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

namespace MainFormTest {

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

// Message boxes answered from a queue (No when it is empty) and recorded;
// a box without Yes gets its Ok.
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
                return buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::NoButton;
            return answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
        });
    }

    QStringList texts() const
    {
        QStringList said;
        for (const Question &q : asked)
            said << q.text;
        return said;
    }
};

struct FileDialogCall
{
    QString caption;
    QString dir;
    QString filter;
    QFileDialog::Options options;
};

// Names, Russian texts and meta-types, once per test program.
inline void initApp()
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

inline QProgressDialog *visibleProgress()
{
    for (QWidget *w : QApplication::allWidgets())
        if (auto *d = qobject_cast<QProgressDialog *>(w))
            if (d->isVisible())
                return d;
    return nullptr;
}

inline LantrelProtocol::Status_Line_t lineStatus(int state)
{
    LantrelProtocol::Status_Line_t s;
    s.Flags = 1;
    s.State = quint8(state);
    return s;
}

inline ClientConnection tcpConnection(const QString &address = QStringLiteral("127.0.0.1"), int line = LineAddress)
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

    // Requests that read a configuration table (each a step of a read).
    int configurationReads() const
    {
        const QList<int> files = FakeController::configurationFiles();
        int n = 0;
        for (const FakeRequest &r : fake.requestLog())
            n += r.function == 20 && files.contains(r.file()) ? 1 : 0;
        return n;
    }

    // Waits until the controller has answered `count` status blocks (the
    // monitoring cycle's, which tell a change of the module counts) at or
    // after `fakeMs` of its clock: whatever the first one starts has started.
    bool waitStatusReadsFrom(qint64 fakeMs, int count = 2, int timeoutMs = 20000)
    {
        auto statusReads = [this, fakeMs]() {
            int n = 0;
            for (const FakeRequest &r : fake.requestLog())
                n += r.function == 3 && r.address == 22 && r.answered && r.timeMs >= fakeMs ? 1 : 0;
            return n;
        };
        return QTest::qWaitFor([&]() { return statusReads() >= count; }, timeoutMs);
    }
};

// The test object's part: a test class derives from QObject and this, and
// calls initApp, initRig and cleanupRig from initTestCase, init and cleanup.
class MainFormRig
{
protected:
    void initRig()
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

    void cleanupRig()
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

    MainForm *makeForm()
    {
        m_form.reset(new MainForm);
        // Ending the program here would end every later event loop of the test.
        QObject::disconnect(m_form.get(), &MainForm::shutdown, appTaskManager, &TaskManager::stopApp);
        return m_form.get();
    }

    QAction *act(const QString &name) const { return m_form->findChild<QAction *>(name); }

    QStringList enabledActions() const
    {
        QStringList names;
        for (const QString &name : AllActions) {
            QAction *a = act(name);
            if (a && a->isEnabled() && a->isVisible())
                names << name.mid(3);
        }
        return names;
    }

    // Connects as the connection dialog does; the window reads the
    // configuration on the connect, and this waits for the read's end.
    bool connectToFake(const FakeLine &line)
    {
        if (!line.listening)
            return false;
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

    // actLoadConfig is enabled exactly while no client task runs.
    bool idle() const { return act(QStringLiteral("actLoadConfig"))->isEnabled() && !visibleProgress(); }

    void waitIdle(int timeoutMs = 20000) { QTRY_VERIFY_WITH_TIMEOUT(idle(), timeoutMs); }

    // The window shown and connected to the fake, its first read over and
    // no task running; null when that did not come about.
    MainForm *showConnected(FakeLine &line)
    {
        MainForm *form = makeForm();
        form->show();
        if (!connectToFake(line) || !QTest::qWaitFor([this]() { return idle(); }, 20000))
            return nullptr;
        return form;
    }

    std::unique_ptr<TaskManager> m_manager;
    std::unique_ptr<MainForm> m_form;
    Boxes m_boxes;
    QList<FileDialogCall> m_openCalls;
    QList<FileDialogCall> m_saveCalls;
    QString m_openAnswer;
    QString m_saveAnswer;
};

} // namespace MainFormTest

#endif // MAINFORMRIG_H
