#ifndef FIRMWAREFORMFIXTURE_H
#define FIRMWAREFORMFIXTURE_H

// The firmware window over a client connected to the fake line controller,
// shared by the firmware window tests. Header-only.

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QtTest>

#include "appglobals.h"
#include "firmwaretestsupport.h"
#include "firmwareupdateform.h"
#include "lantrelclient.h"
#include "windowtestsupport.h"

namespace FirmwareFormTest {

// Target codes of the firmware files.
enum Target : quint16 { ControllerLoader = 191, ControllerProgram = 192, Sensors = 193, IoModules = 194, ScpModules = 195 };

inline void initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    LantrelProtocol::registerMetaTypes();
}

// Settings and data folder in a temporary folder, the fake controller at
// line address 3 (24 sensors, 4 I/O and 2 line-protection modules unless
// told otherwise) emulating a firmware update, and the client connected to
// it with the configuration read. Message boxes are answered and recorded,
// the open-file dialog answers `answer`.
class Rig
{
public:
    Rig()
    {
        UiSeams::setOpenFileHandler([this](QWidget *, const QString &caption, const QString &dir,
                                           const QString &filter, QFileDialog::Options options) {
            dialogs.append({caption, dir, filter, QString::number(int(options))});
            return answer;
        });
    }

    ~Rig()
    {
        delete form.data();
        line.client.shutdownDriver();
        UiSeams::setOpenFileHandler({});
        FirmwareUpdateForm::setLineStopTimeoutMs(60000);
        appSettings = nullptr;
    }

    Rig(const Rig &) = delete;
    Rig &operator=(const Rig &) = delete;

    bool connect(bool monitoring = false, int ioModules = 4)
    {
        ClientTest::setUpQuietEnvironment(dir, &settingsOwner);
        if (QTest::currentTestFailed())
            return false;
        appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), monitoring);
        line.fake.loadGeneratedConfiguration(ClientTest::LineAddress, QHostAddress(QStringLiteral("127.0.0.1")), 24,
                                             ioModules, 2);
        line.fake.emulateFirmwareUpdate();
        if (!ClientTest::listenAndConnect(line.server, line.client))
            return false;
        QSignalSpy read(&line.client, &LantrelClient::datasetChanged);
        line.client.readConfiguration();
        return read.wait(ClientTest::LongWaitMs);
    }

    // Opened as the main window opens it, with the line on or off.
    FirmwareUpdateForm *open(bool lineOn = true)
    {
        form = new FirmwareUpdateForm(nullptr, Qt::Dialog);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->disableModulesUpdate(!lineOn);
        form->show();
        return form;
    }

    // A firmware file in the "firmware" folder of the temporary folder.
    QString file(const QString &name, const QByteArray &bytes)
    {
        QDir(dir.path()).mkpath(QStringLiteral("firmware"));
        const QString path = dir.filePath(QStringLiteral("firmware/") + name);
        if (!FirmwareTest::writeFile(path, bytes))
            return QString();
        return path;
    }

    QString moduleFile(quint16 target, quint16 version, int bodySize = 2016)
    {
        return file(QStringLiteral("fw%1.mcr").arg(target),
                    FirmwareTest::makeFile(FirmwareTest::patternBody(bodySize), target, version));
    }

    // Closes the window as the user does; true once it is gone.
    bool closeForm()
    {
        form->close();
        return QTest::qWaitFor([this]() { return form.isNull(); }, 2000);
    }

    // Clicks the file button as the user does and answers the dialog with `path`.
    void choose(const QString &path)
    {
        answer = path;
        QTest::mouseClick(button("btnLoadFirmwareFile"), Qt::LeftButton);
    }

    QAbstractButton *button(const char *name) const
    {
        return form->findChild<QAbstractButton *>(QString::fromLatin1(name));
    }
    QWidget *widget(const char *name) const { return form->findChild<QWidget *>(QString::fromLatin1(name)); }
    QLabel *label(const char *name) const { return form->findChild<QLabel *>(QString::fromLatin1(name)); }
    QString text(const char *name) const { return label(name)->text(); }
    bool shown(const char *name) const { return label(name)->isVisibleTo(form); }
    // What the outcome line reads, without its markup.
    QString result() const { return QTextDocumentFragment::fromHtml(text("lblResult")).toPlainText(); }

    // The commands the fake ran (its coil writes: line.fake.coilWrites).
    QList<int> commandCodes()
    {
        QList<int> codes;
        for (const FakeCommand &c : line.fake.commands())
            codes << c.code;
        return codes;
    }

    struct Dialog
    {
        QString caption;
        QString dir;
        QString filter;
        QString options;
    };

    QTemporaryDir dir;
    QObject settingsOwner;
    WindowTest::PublishedClient line;
    WindowTest::MessageBoxRecorder boxes {QMessageBox::Ok};
    QPointer<FirmwareUpdateForm> form;
    QList<Dialog> dialogs;
    QString answer;
};

// Waits for the end of a transfer that `uploaded` (the client's
// firmwareUploaded) watches; true when it succeeded.
inline bool uploadSucceeded(QSignalSpy &uploaded)
{
    if (uploaded.isEmpty() && !uploaded.wait(ClientTest::LongWaitMs))
        return false;
    return uploaded.first().first().toBool();
}

} // namespace FirmwareFormTest

#endif // FIRMWAREFORMFIXTURE_H
