#include "taskmanager.h"

#include "appcontext.h"
#include "appglobals.h"
#include "connectorform.h"
#include "lantrelclient.h"
#include "mainform.h"
#include "textlogger.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLayout>
#include <QSettings>
#include <QStandardPaths>

TaskManager *appTaskManager = nullptr;
bool sessionEnding = false;

void onSessionSaveRequest()
{
    sessionEnding = true;
    if (appTaskManager)
        appTaskManager->stopApp();
}

TaskManager::TaskManager(QObject *parent)
    : QObject(parent)
{
    appDataPath = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                  + QStringLiteral("/Kestu/Lantrel");
    QDir dataDir(appDataPath);
    if (!dataDir.exists())
        dataDir.mkpath(QStringLiteral("."));

    const QString baseName = QCoreApplication::applicationName().toLower();
    const QString settingsPath = appDataPath + QLatin1Char('/') + baseName + QStringLiteral(".ini");
    const bool firstRun = !QFileInfo::exists(settingsPath);

    appSettings = new QSettings(settingsPath, QSettings::IniFormat, this);
    appSettings->setIniCodec("UTF-8");
    if (firstRun)
        writeFirstRunDefaults();

    appSettings->beginGroup(QStringLiteral("Logging"));
    const qint64 logSize = appSettings->value(QStringLiteral("LogSize"), qint64(5242880)).toLongLong();
    const int logCount = appSettings->value(QStringLiteral("LogCount"), 20).toInt();
    const bool logTimestamp = appSettings->value(QStringLiteral("LogTimestamp"), true).toBool();
    const bool timestampMSec = appSettings->value(QStringLiteral("TimestampMSec"), false).toBool();
    appSettings->endGroup();

    auto *log = new TextLogger(baseName + QStringLiteral(".log"), appDataPath, TextLogger::Shift, logSize,
                               logCount, this);
    if (logTimestamp)
        log->setTimeFormat(logTimeFormat(timestampMSec));
    log->setEnabled(true);
    connect(this, &TaskManager::writeToLog, log, qOverload<const QString &>(&TextLogger::write));

    log->write(QStringLiteral("Начало работы приложения. Версия ") + QStringLiteral("1.0.1.776"));
    if (firstRun)
        log->write(QStringLiteral(
            "Файл настроек приложения не обнаружен. Создание нового файла с настройками по умолчанию"));

    m_client = new LantrelClient(this);
    setAppClient(m_client);
    connect(m_client, &LantrelClient::writeToLog, log, qOverload<const QString &>(&TextLogger::write));
}

TaskManager::~TaskManager()
{
    // The override cursor belongs to the application, which outlives us.
    showAppWaitCursor(false);
    if (appClient() == m_client)
        setAppClient(nullptr);
    delete m_connectorForm.data();
    delete m_mainForm.data();
}

QWidget *TaskManager::mainForm() const
{
    return m_mainForm.data();
}

ConnectorForm *TaskManager::connectorForm() const
{
    return m_connectorForm.data();
}

QString TaskManager::logTimeFormat(bool withMilliseconds)
{
    return withMilliseconds ? QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz") : QStringLiteral("dd.MM.yyyy hh:mm:ss");
}

void TaskManager::writeFirstRunDefaults()
{
    QSettings &s = *appSettings;
    s.beginGroup(QStringLiteral("Common"));
    s.setValue(QStringLiteral("LastPath"), QString());
    s.setValue(QStringLiteral("FirmwarePath"), QString());
    s.endGroup();
    s.beginGroup(QStringLiteral("Connection"));
    s.setValue(QStringLiteral("Type"), 0);
    s.setValue(QStringLiteral("Host"), QString());
    s.setValue(QStringLiteral("SerialPort"), QString());
    s.setValue(QStringLiteral("LineAddress"), 1);
    s.endGroup();
    s.beginGroup(QStringLiteral("Logging"));
    s.setValue(QStringLiteral("LogSize"), qint64(5242880));
    s.setValue(QStringLiteral("LogCount"), 20);
    s.setValue(QStringLiteral("LogTimestamp"), true);
    s.setValue(QStringLiteral("TimestampMSec"), false);
    s.endGroup();
    s.beginGroup(QStringLiteral("Driver"));
    s.setValue(QStringLiteral("EnableDebugLog"), false);
    s.setValue(QStringLiteral("DebugLogSize"), qint64(26214400));
    s.setValue(QStringLiteral("DebugLogCount"), 40);
    s.setValue(QStringLiteral("DebugTimestamp"), true);
    s.setValue(QStringLiteral("TimestampMSec"), true);
    s.endGroup();
    // Written at once, so the file exists even if the program is killed.
    s.sync();
}

void TaskManager::startApp()
{
    if (!m_mainForm) {
        // The window connects its shutdown, wait cursor and log itself.
        m_mainForm = new MainForm();
    }

    if (m_connectorForm) {
        m_connectorForm->raise();
        m_connectorForm->activateWindow();
        return;
    }

    m_connectorForm = new ConnectorForm(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    m_connectorForm->layout()->setSizeConstraint(QLayout::SetFixedSize);
    m_connectorForm->adjustSize();
    m_connectorForm->setAttribute(Qt::WA_DeleteOnClose);
    m_connectorForm->setWindowModality(Qt::ApplicationModal);
    connect(m_connectorForm, &ConnectorForm::showMainForm, m_mainForm, &QWidget::show);
    connect(m_connectorForm, &ConnectorForm::closeApp, this, &TaskManager::stopApp);
    connect(m_connectorForm, &ConnectorForm::writeToLog, this, &TaskManager::writeToLog);
    connect(m_connectorForm, &ConnectorForm::showWaitCursor, this, &TaskManager::showWaitCursor);
    m_connectorForm->show();
}

void TaskManager::stopApp()
{
    // Closing the main window below emits its shutdown again.
    if (m_stopping)
        return;
    m_stopping = true;

    if (m_connectorForm)
        m_connectorForm->close();

    // Forgotten first, so that a later run (another save request of the
    // session) never reaches a window that is already gone.
    QPointer<MainForm> form = m_mainForm;
    m_mainForm = nullptr;
    if (form) {
        if (sessionEnding && form->isVisible())
            form->close();
        if (form)
            form->deleteLater();
    }

    m_client->shutdownDriver();
    emit writeToLog(QStringLiteral("Завершение работы приложения"));
    m_stopping = false;

    if (!sessionEnding)
        QCoreApplication::quit();
}

void TaskManager::showWaitCursor(bool show_wait)
{
    showAppWaitCursor(show_wait);
}
