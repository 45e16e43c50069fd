// Application controller: data folder, settings file, application log,
// start and stop.

#include "appglobals.h"
#include "connectorform.h"
#include "lantrelclient.h"
#include "taskmanager.h"
#include "windowtestsupport.h"

#include <QApplication>
#include <QLayout>
#include <QPushButton>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestTaskManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunWritesDefaults();
    void laterRunWritesNothing();
    void logTimePrefix_data();
    void logTimePrefix();
    void waitCursorNeverStacks();
    void startAppShowsConnectionDialog();
    void cancelEndsProgram();
    void sessionSaveRequest();

private:
    QString dataFolder() const { return m_home->path() + QStringLiteral("/Kestu/Lantrel"); }
    QString iniPath() const { return dataFolder() + QStringLiteral("/lantrelprog.ini"); }
    QString logPath() const { return dataFolder() + QStringLiteral("/lantrelprog.log"); }
    QStringList logLines() const;
    void writeIni(const QString &text);

    std::unique_ptr<QTemporaryDir> m_home;
};

QStringList TestTaskManager::logLines() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void TestTaskManager::writeIni(const QString &text)
{
    QDir().mkpath(dataFolder());
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

void TestTaskManager::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));
    // As in main: only the controller ends the event loop.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestTaskManager::init()
{
    // A data folder of its own for every case: the controller reads the
    // generic data location each time it is built.
    m_home.reset(new QTemporaryDir);
    QVERIFY(m_home->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), m_home->path());
}

void TestTaskManager::cleanup()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    sessionEnding = false;
    appTaskManager = nullptr;
    m_home.reset();
}

void TestTaskManager::firstRunWritesDefaults()
{
    QVERIFY(!QDir(dataFolder()).exists());
    {
        TaskManager manager;
        QCOMPARE(appDataPath, dataFolder());
        QVERIFY(QDir(dataFolder()).exists());
        // On disk right after start-up, not only when the program ends.
        QVERIFY(QFile::exists(iniPath()));
    }

    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    // The INI text shows the types: numbers bare, booleans as words,
    // empty texts empty.
    const QStringList expected = {
        "[Common]", "FirmwarePath=", "LastPath=",
        "[Connection]", "Host=", "LineAddress=1", "SerialPort=", "Type=0",
        "[Driver]", "DebugLogCount=40", "DebugLogSize=26214400", "DebugTimestamp=true",
        "EnableDebugLog=false", "TimestampMSec=true",
        "[Logging]", "LogCount=20", "LogSize=5242880", "LogTimestamp=true", "TimestampMSec=false"};
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString &line : lines)
        line = line.trimmed();
    QCOMPARE(lines, expected);

    QSettings settings(iniPath(), QSettings::IniFormat);
    QCOMPARE(settings.allKeys().size(), 15);

    const QStringList log = logLines();
    QCOMPARE(log.size(), 2);
    QVERIFY(log.at(0).endsWith(QStringLiteral("\tНачало работы приложения. Версия 1.0.1.776")));
    QVERIFY(log.at(1).endsWith(QStringLiteral(
        "\tФайл настроек приложения не обнаружен. Создание нового файла с настройками по умолчанию")));
}

void TestTaskManager::laterRunWritesNothing()
{
    { TaskManager first; }
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Connection/Host"), QStringLiteral("10.1.2.3"));
        settings.remove(QStringLiteral("Driver/DebugLogCount"));
        settings.remove(QStringLiteral("Common"));
    }
    {
        TaskManager second;
        QCOMPARE(appSettings->value(QStringLiteral("Connection/Host")).toString(), QStringLiteral("10.1.2.3"));
    }
    QSettings settings(iniPath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Connection/Host")).toString(), QStringLiteral("10.1.2.3"));
    QVERIFY(!settings.contains(QStringLiteral("Driver/DebugLogCount")));
    QVERIFY(!settings.contains(QStringLiteral("Common/LastPath")));
    QCOMPARE(settings.allKeys().size(), 12);

    const QStringList log = logLines();
    QCOMPARE(log.size(), 3);
    QVERIFY(log.at(2).endsWith(QStringLiteral("\tНачало работы приложения. Версия 1.0.1.776")));
}

void TestTaskManager::logTimePrefix_data()
{
    QTest::addColumn<QString>("logging");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("no time") << "LogTimestamp=false\nTimestampMSec=true\n"
                             << "^Начало работы";
    QTest::newRow("seconds") << "LogTimestamp=true\nTimestampMSec=false\n"
                             << "^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\tНачало работы";
    QTest::newRow("milliseconds") << "LogTimestamp=true\nTimestampMSec=true\n"
                                  << "^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\tНачало работы";
    QTest::newRow("defaults") << "" << "^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\tНачало работы";
}

void TestTaskManager::logTimePrefix()
{
    QFETCH(QString, logging);
    QFETCH(QString, pattern);
    writeIni(QStringLiteral("[Logging]\n") + logging);
    {
        TaskManager manager;
        emit manager.writeToLog(QStringLiteral("строка"));
    }
    const QStringList log = logLines();
    QCOMPARE(log.size(), 2);
    QVERIFY2(QRegularExpression(pattern).match(log.at(0)).hasMatch(), qPrintable(log.at(0)));
    const QString second = QString(pattern).replace(QStringLiteral("Начало работы"), QStringLiteral("строка$"));
    QVERIFY2(QRegularExpression(second).match(log.at(1)).hasMatch(), qPrintable(log.at(1)));
}

void TestTaskManager::waitCursorNeverStacks()
{
    TaskManager manager;
    manager.showWaitCursor(true);
    manager.showWaitCursor(true);
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    manager.showWaitCursor(false);
    QVERIFY(!QApplication::overrideCursor());
    manager.showWaitCursor(false);
    QVERIFY(!QApplication::overrideCursor());

    // Someone else's override cursor is left alone.
    QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    manager.showWaitCursor(false);
    QVERIFY(QApplication::overrideCursor());
    QApplication::restoreOverrideCursor();
}

void TestTaskManager::startAppShowsConnectionDialog()
{
    TaskManager manager;
    appTaskManager = &manager;
    manager.startApp();

    QPointer<ConnectorForm> dialog = manager.connectorForm();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!manager.mainForm()->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QCOMPARE(dialog->layout()->sizeConstraint(), QLayout::SetFixedSize);

    // A second start only brings the same dialog forward.
    manager.startApp();
    QCOMPARE(manager.connectorForm(), dialog.data());

    // showMainForm shows the hidden main window.
    QMetaObject::invokeMethod(dialog, "showMainForm");
    QVERIFY(manager.mainForm()->isVisible());
}

void TestTaskManager::cancelEndsProgram()
{
    TaskManager manager;
    appTaskManager = &manager;
    manager.startApp();
    QPointer<ConnectorForm> dialog = manager.connectorForm();
    QPointer<QWidget> mainForm = manager.mainForm();
    QVERIFY(dialog && mainForm);

    QTimer::singleShot(0, dialog, [dialog]() {
        QPushButton *cancel = dialog->findChild<QPushButton *>(QStringLiteral("btnCancel"));
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    QVERIFY(WindowTest::execUntilQuit(10000));
    QTRY_VERIFY(!dialog);
    QTRY_VERIFY(!mainForm);
    QVERIFY(!manager.mainForm());
    QCOMPARE(logLines().last().section(QLatin1Char('\t'), 1), QStringLiteral("Завершение работы приложения"));

    // A second stop finds nothing left to close.
    manager.stopApp();
    QCOMPARE(logLines().last().section(QLatin1Char('\t'), 1), QStringLiteral("Завершение работы приложения"));
}

void TestTaskManager::sessionSaveRequest()
{
    TaskManager manager;
    appTaskManager = &manager;
    manager.startApp();
    QPointer<QWidget> mainForm = manager.mainForm();
    QMetaObject::invokeMethod(manager.connectorForm(), "showMainForm");
    QVERIFY(mainForm->isVisible());

    // The event loop must survive the request: only a timer ends it here.
    QTimer::singleShot(0, qApp, []() { onSessionSaveRequest(); });
    QTimer::singleShot(300, qApp, []() { QCoreApplication::exit(7); });
    QCOMPARE(QCoreApplication::exec(), 7);

    QVERIFY(sessionEnding);
    QVERIFY(!manager.connectorForm());
    QTRY_VERIFY(!mainForm);
    const QStringList log = logLines();
    QCOMPARE(log.filter(QStringLiteral("Завершение работы приложения")).size(), 1);

    // A second request of the session must not touch the deleted window.
    onSessionSaveRequest();
    QCOMPARE(logLines().filter(QStringLiteral("Завершение работы приложения")).size(), 2);
}

QTEST_MAIN(TestTaskManager)
#include "tst_taskmanager.moc"
