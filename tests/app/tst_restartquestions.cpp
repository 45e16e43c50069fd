// The actions of the main window that restart the line controller, and the
// close question after the link is gone, against the fake controller: while
// the controller's memory holds a written configuration its flash does not,
// each asks first, once, and "Нет" sends nothing.

#include <QTemporaryDir>
#include <QtTest>

#include "controllerconfigmodel.h"
#include "restartactions.h"

using namespace RestartActionTest;

class TestRestartQuestions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyRestartAsks_data();
    void everyRestartAsks();
    void offlineCloseNamesUnsavedController_data();
    void offlineCloseNamesUnsavedController();

private:
    QTemporaryDir m_dir;
};

void TestRestartQuestions::initTestCase()
{
    initApp();
    QVERIFY(m_dir.isValid());
}

// The firmware window's restarts are the rest of the table.
void TestRestartQuestions::everyRestartAsks_data()
{
    addRows({"restart", "serial number", "module defaults", "controller defaults"});
}

void TestRestartQuestions::everyRestartAsks()
{
    QFETCH(QString, action);
    QFETCH(bool, unflashed);
    QFETCH(bool, yes);
    checkAction(action, unflashed, yes, m_dir);
}

// After a write the link is lost; the installer closes the program offline.
void TestRestartQuestions::offlineCloseNamesUnsavedController_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("saveToFlash");
    QTest::addColumn<bool>("named");
    QTest::newRow("nothing written") << false << false << false;
    QTest::newRow("written, not saved to flash") << true << false << true;
    QTest::newRow("written and saved to flash") << true << true << false;
}

void TestRestartQuestions::offlineCloseNamesUnsavedController()
{
    QFETCH(bool, write);
    QFETCH(bool, saveToFlash);
    QFETCH(bool, named);

    Rig rig(false);
    QVERIFY(rig.connect());
    const QString serial = rig.client()->controllerConfigModel()->info.serialNumber;
    QVERIFY(!serial.isEmpty());
    if (write)
        QVERIFY(rig.writeToController());
    if (saveToFlash) {
        rig.act("actSaveFlash")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(rig.client()->configSaved(), 15000);
        QVERIFY(rig.waitIdle());
    }

    // The controller goes silent: after three time-outs the link is given up.
    rig.line.fake.addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
    QSignalSpy disconnected(rig.client(), &LantrelClient::deviceDisconnected);
    rig.act("actGetConfig")->trigger();
    QVERIFY(disconnected.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.client()->hasDriver(), 10000);
    settle();

    rig.asked.clear();
    QSignalSpy shutdown(rig.form.get(), &MainForm::shutdown);
    QVERIFY(!rig.form->close());
    QCOMPARE(rig.asked.size(), 1);
    const Box box = rig.asked.first();
    QCOMPARE(box.defaultButton, QMessageBox::No);
    if (named) {
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(namesFlashSave(box), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("серийным номером %1").arg(serial)), qPrintable(box.text));
        QVERIFY(box.text.contains(QStringLiteral("Вы действительно желаете завершить работу приложения?")));
    } else {
        QCOMPARE(box.text, QStringLiteral("Завершить работу приложения?"));
    }
    QCOMPARE(shutdown.count(), 0);

    // "Да" closes.
    rig.asked.clear();
    rig.answers = {QMessageBox::Yes};
    QVERIFY(rig.form->close());
    QCOMPARE(rig.asked.size(), 1);
    QCOMPARE(shutdown.count(), 1);
}

QTEST_MAIN(TestRestartQuestions)
#include "tst_restartquestions.moc"
