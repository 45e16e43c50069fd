#include "restartquestion.h"

QString restartUnsavedConfigQuestion()
{
    return QStringLiteral("<p><b>Внимание!</b> Конфигурация передана в ЦУ-Л, но не сохранена в его "
                          "энергонезависимой памяти: не выполнена команда «Сохранить конфигурацию».</p>"
                          "<p>После перезапуска ЦУ-Л загрузит из энергонезависимой памяти прежнюю конфигурацию, "
                          "и все несохраненные изменения будут отменены. Адреса модулей в ней могут не совпасть "
                          "с адресами модулей на линии (конфликт адресов).</p>"
                          "<p>Продолжить процедуру перезапуска ЦУ-Л?</p>");
}

QString restartUnsavedConfigQuestion(const QString &lead)
{
    if (lead.isEmpty())
        return restartUnsavedConfigQuestion();
    return QStringLiteral("<p><b>Внимание!</b> %1</p>%2<p>Продолжить?</p>").arg(lead, unflashedConfigParagraph());
}

QString unflashedConfigParagraph()
{
    return QStringLiteral("<p>Конфигурация передана в ЦУ-Л, но не сохранена в его энергонезависимой памяти: "
                          "не выполнена команда «Сохранить конфигурацию». При перезапуске ЦУ-Л она будет "
                          "потеряна.</p>");
}
