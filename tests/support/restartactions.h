#ifndef RESTARTACTIONS_H
#define RESTARTACTIONS_H

// Every action that restarts the line controller, run through the main
// window against the fake controller as the installer runs it, with the
// controller's memory saved to its flash or not, and every question
// answered "Да" or "Нет". Header-only; include it from tests that link the
// app library. The rows of one table, split between test programs by
// concern.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>

#include "firmwaretestsupport.h"
#include "firmwareupdateform.h"
#include "mainwindowrig.h"
#include "serialchangeform.h"

namespace RestartActionTest {

using namespace MainWindowTest;

template <typename T>
T *openWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<T *>(w))
            if (window->isVisible())
                return window;
    return nullptr;
}

inline QAbstractButton *buttonOf(QWidget *window, const char *name)
{
    return window->findChild<QAbstractButton *>(QString::fromLatin1(name));
}

inline bool namesFlashSave(const Box &box)
{
    return box.text.contains(QStringLiteral("энергонезависимой памяти"))
           && box.text.contains(QStringLiteral("«Сохранить конфигурацию»"));
}

// The actions: "restart", "serial number", "firmware window close",
// "firmware update", "module defaults", "controller defaults".
inline void addRows(std::initializer_list<const char *> actions)
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("unflashed");   // written to the controller, not saved to its flash
    QTest::addColumn<bool>("yes");         // the answer to every question

    for (const char *action : actions) {
        QTest::addRow("%s, saved to flash", action) << QString::fromLatin1(action) << false << true;
        QTest::addRow("%s, not saved, no", action) << QString::fromLatin1(action) << true << false;
        QTest::addRow("%s, not saved, yes", action) << QString::fromLatin1(action) << true << true;
    }
}

// While the memory is not saved to flash the action asks first, once, with
// "Нет" the default; "Нет" sends nothing at all, "Да" (or a saved memory)
// restarts the controller once. `folder` takes the firmware file.
inline void checkAction(const QString &action, bool unflashed, bool yes, const QTemporaryDir &folder)
{
    const bool firmware = action.startsWith(QLatin1String("firmware"));
    // The defaults have a question of their own, which takes the warning in.
    const bool ownQuestion = action.endsWith(QLatin1String("defaults"));

    Rig rig(true, action == QLatin1String("serial number"));
    rig.line.fake.emulateFirmwareUpdate(firmware);
    // The controller takes a firmware as fast as the driver asks.
    rig.line.fake.setCommandBusyTime(LantrelProtocol::MOVE_PROG, 300);
    rig.line.fake.setCommandBusyTime(LantrelProtocol::SAVE_PROG, 300);
    QVERIFY(rig.connect());
    if (unflashed)
        QVERIFY(rig.writeToController());
    QCOMPARE(rig.client()->configSaved(), !unflashed);
    // The monitoring reports the line on: every action is offered.
    QTRY_VERIFY_WITH_TIMEOUT(rig.act("actSetModuleDefaults")->isEnabled(), 10000);

    QPointer<FirmwareUpdateForm> firmwareForm;
    const QString firmwareFile = folder.filePath(QStringLiteral("sensors.mcr"));
    if (firmware) {
        QVERIFY(FirmwareTest::writeFile(firmwareFile, FirmwareTest::makeFile(FirmwareTest::patternBody(2016), 193, 0x0203)));
        UiSeams::setOpenFileHandler([&firmwareFile](QWidget *, const QString &, const QString &, const QString &,
                                                    QFileDialog::Options) { return firmwareFile; });
        QSignalSpy tasks(rig.client(), &LantrelClient::taskStarted);
        rig.act("actFirmwareUpdate")->trigger();
        firmwareForm = openWindow<FirmwareUpdateForm>();
        QVERIFY(firmwareForm);
        // Its own look at the module versions first: a command, then a read.
        QTRY_VERIFY_WITH_TIMEOUT(tasks.count() >= 2, 10000);
        QVERIFY(rig.waitIdle());
    }

    rig.line.fake.clearLog();
    const int restartsBefore = rig.line.fake.restartCount();
    rig.asked.clear();
    for (int i = 0; i < 4; ++i)
        rig.answers << (yes ? QMessageBox::Yes : QMessageBox::No);
    QSignalSpy uploaded(rig.client(), &LantrelClient::firmwareUploaded);

    if (action == QLatin1String("restart")) {
        rig.act("actRebootController")->trigger();
    } else if (action == QLatin1String("module defaults")) {
        rig.act("actSetModuleDefaults")->trigger();
    } else if (action == QLatin1String("controller defaults")) {
        rig.act("actSetDefaults")->trigger();
    } else if (action == QLatin1String("serial number")) {
        rig.act("actChangeSerial")->trigger();
        QPointer<SerialChangeForm> serialForm = openWindow<SerialChangeForm>();
        QVERIFY(serialForm);
        const QList<QPair<QString, QString>> fields = {{QStringLiteral("edtSerial"), QStringLiteral("321")},
                                                       {QStringLiteral("edtProdYear"), QStringLiteral("2024")},
                                                       {QStringLiteral("edtPcbVer"), QStringLiteral("1.2")}};
        for (const auto &field : fields) {
            auto *edit = serialForm->findChild<QLineEdit *>(field.first);
            edit->clear();
            QTest::keyClicks(edit, field.second);
        }
        QTest::mouseClick(buttonOf(serialForm, "btnChange"), Qt::LeftButton);
        // "Нет" leaves the window open for the flash save first.
        if (!yes)
            QVERIFY(serialForm && serialForm->isVisible());
        delete serialForm.data();
    } else {
        QTest::mouseClick(buttonOf(firmwareForm, "btnLoadFirmwareFile"), Qt::LeftButton);
        if (yes) {
            QVERIFY(uploaded.count() > 0 || uploaded.wait(30000));
            QVERIFY(uploaded.first().first().toBool());
            QVERIFY(rig.waitIdle());
            // The transfer itself restarts nothing.
            QCOMPARE(rig.line.fake.coilWrites(2), 0);
            if (action == QLatin1String("firmware update")) {
                QTRY_VERIFY_WITH_TIMEOUT(buttonOf(firmwareForm, "btnStartUpdateFirmware")->isEnabled(), 5000);
                QTest::mouseClick(buttonOf(firmwareForm, "btnStartUpdateFirmware"), Qt::LeftButton);
            }
        }
        if (action == QLatin1String("firmware window close") || !yes) {
            firmwareForm->close();
            QTRY_VERIFY_WITH_TIMEOUT(firmwareForm.isNull(), 2000);
        }
    }

    // One question at most, and only one naming the flash.
    QList<Box> questions;
    for (const Box &box : qAsConst(rig.asked))
        if (box.buttons & QMessageBox::Yes)
            questions << box;
    const bool flashAsked = !questions.isEmpty() && namesFlashSave(questions.first());
    QCOMPARE(questions.size(), (unflashed || ownQuestion) ? 1 : 0);
    QCOMPARE(flashAsked, unflashed);
    if (!questions.isEmpty()) {
        QCOMPARE(questions.first().icon, QMessageBox::Warning);
        QCOMPARE(questions.first().defaultButton, QMessageBox::No);
    }

    if (unflashed && !yes) {
        // Nothing of the action reached the controller, which still runs
        // what it was given.
        QTest::qWait(500);
        settle();
        QVERIFY2(rig.writeRequests().isEmpty(), qPrintable(rig.writeRequests().join(QStringLiteral(", "))));
        QCOMPARE(rig.line.fake.restartCount(), restartsBefore);
        QVERIFY(!rig.client()->configSaved());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(rig.line.fake.coilWrites(2), 1, 30000);
        // The restart asked nothing more, whatever followed it.
        QTest::qWait(300);
        QCOMPARE(rig.line.fake.coilWrites(2), 1);
    }
    int questionsAfter = 0;
    for (const Box &box : qAsConst(rig.asked))
        questionsAfter += (box.buttons & QMessageBox::Yes) ? 1 : 0;
    QCOMPARE(questionsAfter, questions.size());
    delete firmwareForm.data();
}

} // namespace RestartActionTest

#endif // RESTARTACTIONS_H
