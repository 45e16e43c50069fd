#include "singleapplication.h"
#include "taskmanager.h"

#include <QLocale>
#include <QNetworkProxy>
#include <QSessionManager>
#include <QTranslator>

#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));

    // A second instance ends in here.
    std::unique_ptr<SingleApplication> app(new SingleApplication(argc, argv));

    QLocale::setDefault(QLocale::system());
    app->setQuitOnLastWindowClosed(false);

    const QString translations = QStringLiteral(":/translations/");
    std::unique_ptr<QTranslator> serialPortTranslator(new QTranslator());
    if (serialPortTranslator->load(QStringLiteral("qtserialport_") + QLocale::system().name(), translations))
        app->installTranslator(serialPortTranslator.get());
    std::unique_ptr<QTranslator> baseTranslator(new QTranslator());
    if (baseTranslator->load(QStringLiteral("qtbase_") + QLocale::system().name(), translations))
        app->installTranslator(baseTranslator.get());

    std::unique_ptr<QNetworkProxy> proxy(new QNetworkProxy(QNetworkProxy::NoProxy));
    QNetworkProxy::setApplicationProxy(*proxy);

    int result = 0;
    {
        TaskManager taskManager(app.get());
        appTaskManager = &taskManager;
        if (!app->guardError().isEmpty())
            emit taskManager.writeToLog(app->guardError());

        QObject::connect(app.get(), &QGuiApplication::commitDataRequest, app.get(),
                         [](QSessionManager &) { onSessionSaveRequest(); });

        taskManager.startApp();
        result = app->exec();
        appTaskManager = nullptr;
    }
    proxy.reset();
    baseTranslator.reset();
    serialPortTranslator.reset();
    app.reset();
    return result;
}
