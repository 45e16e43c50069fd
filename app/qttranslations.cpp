#include "qttranslations.h"

#include <QCoreApplication>
#include <QTranslator>

bool installRussianQtTranslations(QCoreApplication *app)
{
    bool all = true;
    for (const char *catalogue : {"qtserialport_ru", "qtbase_ru"}) {
        auto *translator = new QTranslator(app);
        if (translator->load(QLatin1String(catalogue), QStringLiteral(":/translations/"))) {
            app->installTranslator(translator);
        } else {
            delete translator;
            all = false;
        }
    }
    return all;
}
