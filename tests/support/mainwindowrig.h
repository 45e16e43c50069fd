#ifndef MAINWINDOWRIG_H
#define MAINWINDOWRIG_H

// The program's main window as TaskManager makes it, with its client, beside
// the fake line controller at line address 3 on 127.0.0.1:502; message boxes
// are answered from a queue and recorded. One rig a test function, on the
// main window tests' own set-up (mainformrig.h). Header-only; include it from
// tests that link the app library.

#include <QAction>
#include <QList>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include "appglobals.h"
#include "fakecontroller.h"
#include "lantrelclient.h"
#include "mainform.h"
#include "mainformrig.h"

namespace MainWindowTest {

using MainFormTest::initApp;
using MainFormTest::LineAddress;
using MainFormTest::settle;
using MainFormTest::visibleProgress;

// One message box as the program asked it.
using Box = MainFormTest::Question;

class Rig : private MainFormTest::MainFormRig
{
public:
    // `monitoring` as the settings give it: the line state, which some
    // actions wait for, comes with the monitoring.
    explicit Rig(bool monitoring = true, bool changeSerial = false)
    {
        initRig();
        for (const char *key : {"Common", "FirmwareUpdateForm"})
            appSettings->remove(QString::fromLatin1(key));
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), monitoring);
        appSettings->setValue(QStringLiteral("Common/EnableChangeSerial"), changeSerial);
        line.fake.setRestartDelays(50, 200);
        makeForm()->show();
    }

    ~Rig() { cleanupRig(); }

    Rig(const Rig &) = delete;
    Rig &operator=(const Rig &) = delete;

    LantrelClient *client() const { return m_manager->client(); }

    QAction *act(const char *name) const { return MainFormRig::act(QString::fromLatin1(name)); }

    // Connected and the connect's read ended.
    bool connect() { return connectToFake(line) && waitIdle(); }

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

    // Requests that change something in the controller: coils, registers,
    // file records; each as function, then address or file.
    QStringList writeRequests() const
    {
        QStringList writes;
        for (const FakeRequest &r : line.fake.requestLog()) {
            if (r.function == 5 || r.function == 6 || r.function == 15 || r.function == 16)
                writes << QStringLiteral("%1 at %2").arg(r.function).arg(r.address);
            else if (r.function == 21)
                writes << QStringLiteral("21 file %1").arg(r.file());
        }
        return writes;
    }

    MainFormTest::FakeLine line;
    // The rig's window and boxes, as the tests name them.
    std::unique_ptr<MainForm> &form = m_form;
    QList<Box> &asked = m_boxes.asked;
    QList<QMessageBox::StandardButton> &answers = m_boxes.answers;
};

} // namespace MainWindowTest

#endif // MAINWINDOWRIG_H
