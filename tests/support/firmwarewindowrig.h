#ifndef FIRMWAREWINDOWRIG_H
#define FIRMWAREWINDOWRIG_H

// The firmware window opened from the main window, which runs the client's
// tasks, against the fake line controller emulating a firmware update.
// Header-only; include it from tests that link the app library.

#include <QAbstractButton>
#include <QAction>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "appglobals.h"
#include "fakecontroller.h"
#include "firmwareupdateform.h"
#include "lantrelclient.h"
#include "mainformrig.h"

namespace FirmwareWindowTest {

using namespace MainFormTest;

// The test object's part, as MainFormRig's: calls initFirmwareRig and
// cleanupFirmwareRig from init and cleanup.
class FirmwareWindowRig : public MainFormRig
{
protected:
    void initFirmwareRig()
    {
        initRig();
        // Monitoring on: the line is reported on and module firmware goes over.
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
        appSettings->setValue(QStringLiteral("Driver/EnableReadEvents"), false);
        m_line.reset(new FakeLine);
        m_line->fake.emulateFirmwareUpdate();
    }

    void cleanupFirmwareRig()
    {
        delete m_firmware.data();
        cleanupRig();
        m_line.reset();
        FirmwareUpdateForm::setLineStopTimeoutMs(60000);
    }

    FakeController &fake() { return m_line->fake; }

    // The main window connected to the fake, idle, with the line on, and its
    // firmware window open.
    bool openFirmwareWindow()
    {
        makeForm()->show();
        if (!connectToFake(*m_line))
            return false;
        QAction *firmware = act(QStringLiteral("actFirmwareUpdate"));
        // The data window's action follows the line state that monitoring reports.
        QAction *lineOn = act(QStringLiteral("actShowSamplesViewer"));
        if (!QTest::qWaitFor([&]() { return firmware->isEnabled() && lineOn->isEnabled() && !visibleProgress(); },
                             10000))
            return false;
        // Opened with the line on, the window asks for the module versions and
        // the client then reads them: two tasks.
        QSignalSpy tasks(m_manager->client(), &LantrelClient::taskStarted);
        firmware->trigger();
        m_firmware = m_form->findChild<FirmwareUpdateForm *>();
        return m_firmware
               && QTest::qWaitFor(
                   [&]() {
                       return tasks.size() == 2 && act(QStringLiteral("actLoadConfig"))->isEnabled()
                              && !visibleProgress();
                   },
                   20000)
               && button("btnLoadFirmwareFile")->isEnabled();
    }

    // Clicks the file button as the user does and answers the dialog with `path`.
    void chooseFile(const QString &path)
    {
        m_openAnswer = path;
        QTest::mouseClick(button("btnLoadFirmwareFile"), Qt::LeftButton);
    }

    QAbstractButton *button(const char *name) const
    {
        return m_firmware->findChild<QAbstractButton *>(QString::fromLatin1(name));
    }

    std::unique_ptr<FakeLine> m_line;
    QPointer<FirmwareUpdateForm> m_firmware;
    QTemporaryDir m_files;
};

} // namespace FirmwareWindowTest

#endif // FIRMWAREWINDOWRIG_H
