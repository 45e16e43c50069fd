// The firmware window's restarts of the line controller, closing it and the
// update's own, against the fake controller: while the controller's memory
// holds a written configuration its flash does not, the window asks before
// the line polling stops, once, and "Нет" sends nothing.

#include <QTemporaryDir>
#include <QtTest>

#include "restartactions.h"

using namespace RestartActionTest;

class TestFirmwareRestartQuestions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyRestartAsks_data();
    void everyRestartAsks();

private:
    QTemporaryDir m_dir;
};

void TestFirmwareRestartQuestions::initTestCase()
{
    initApp();
    QVERIFY(m_dir.isValid());
    FirmwareUpdateForm::setLineStopTimeoutMs(15000);
}

// The main window's restarts are the rest of the table.
void TestFirmwareRestartQuestions::everyRestartAsks_data()
{
    addRows({"firmware window close", "firmware update"});
}

void TestFirmwareRestartQuestions::everyRestartAsks()
{
    QFETCH(QString, action);
    QFETCH(bool, unflashed);
    QFETCH(bool, yes);
    checkAction(action, unflashed, yes, m_dir);
}

QTEST_MAIN(TestFirmwareRestartQuestions)
#include "tst_firmwarerestartquestions.moc"
