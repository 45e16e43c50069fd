#include "interactiontext.h"

#include <QLocale>

#include "devicetables.h"
#include "lantrelprotocol.h"

QString relayTimeText(quint8 executorType, quint8 time)
{
    if (executorType != LantrelProtocol::EXT_RELY)
        return QString::number(time);
    if (time & 1)
        return QLocale().toString(time * 0.5, 'f', 1);
    return QString::number(time >> 1);
}

QString interactionFunctionText(quint8 function, quint8 executorType, quint8 relayTime)
{
    switch (function) {
    case 0:
        return relayModeShortNames.value(0);
    case 255:
        return relayModeShortNames.value(255) + relayTimeText(executorType, relayTime)
               + QStringLiteral(" с.");
    default:
        return relayModeShortNames.value(1) + QString::number(function);
    }
}
