#include "restartquestion.h"

QString restartUnsavedConfigQuestion()
{
    return QStringLiteral("<p><b>Внимание!</b> Изменения конфигурации не сохранены в ЦУ-Л.</p>"
                          "<p>После перезапуска устройства все несохраненные изменения будут отменены.</p>"
                          "<p>Продолжить процедуру перезапуска ЦУ-Л?</p>");
}
