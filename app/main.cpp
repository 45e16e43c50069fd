#include "singleapplication.h"
#include "taskmanager.h"

#include <QLocale>
#include <QNetworkProxy>
#include <QSessionManager>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));

    // A second instance ends in here.
    SingleApplication app(argc, argv);

    QLocale::setDefault(QLocale::system());
    app.setQuitOnLastWindowClosed(false);

    const QString translations = QStringLiteral(":/translations/");
    QTranslator serialPortTranslator;
    if (serialPortTranslator.load(QStringLiteral("qtserialport_") + QLocale::system().name(), translations))
        app.installTranslator(&serialPortTranslator);
    QTranslator baseTranslator;
    if (baseTranslator.load(QStringLiteral("qtbase_") + QLocale::system().name(), translations))
        app.installTranslator(&baseTranslator);

    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));

    TaskManager taskManager(&app);
    appTaskManager = &taskManager;
    if (!app.guardError().isEmpty())
        emit taskManager.writeToLog(app.guardError());

    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [](QSessionManager &) { onSessionSaveRequest(); });

    taskManager.startApp();
    const int result = app.exec();
    appTaskManager = nullptr;
    return result;
}
