#include "singleapplication.h"
#include "qttranslations.h"
#include "taskmanager.h"

#include <QLocale>
#include <QNetworkProxy>
#include <QSessionManager>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));

    // A second instance ends in here.
    SingleApplication app(argc, argv);

    QLocale::setDefault(QLocale::system());
    app.setQuitOnLastWindowClosed(false);

    installRussianQtTranslations(&app);

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
