#include "modulestatetext.h"

#include <QLocale>
#include <QPair>
#include <QVector>

#include "linemodulesmodel.h"

namespace {

QString plainLine(const QString &text)
{
    return QStringLiteral("&nbsp;&#9679; ") + text + QStringLiteral("<br/>");
}

QString redLine(const QString &text)
{
    return QStringLiteral("&nbsp;&#9679; <span style=\"color:red\">") + text + QStringLiteral("</span><br/>");
}

// A remark below a loop's line, indented under it.
QString redRemark(const QString &text)
{
    return QStringLiteral("&nbsp;&nbsp; <span style=\"color:red\">") + text + QStringLiteral("</span><br/>");
}

QString redSubLine(const QString &text)
{
    return QStringLiteral("&nbsp;&nbsp;&#9679; <span style=\"color:red\">") + text + QStringLiteral("</span><br/>");
}

QString volts(quint16 millivolts)
{
    return QLocale().toString(millivolts / 1000.0, 'f', 2);
}

QString voltageBlock(const LineModuleRecord &m)
{
    return QStringLiteral("</p><p><u>Напряжения:</u><br/>")
           + QStringLiteral("&nbsp;&#9679; на входе %1 В.<br/>").arg(volts(m.inputVoltage))
           + QStringLiteral("&nbsp;&#9679; на выходе %1 В.<br/>").arg(volts(m.outputVoltage));
}

// The bits of one input loop of an I/O module and the words for it.
struct LoopBits
{
    int number;
    int mode;
    quint32 disarmed, active, brk, shorted;
};

QString loopLines(const LoopBits &loop, quint32 f)
{
    const QString name = QStringLiteral("шлейф %1 - ").arg(loop.number);
    if (loop.mode == 0)
        return plainLine(name + QStringLiteral("отключен"));
    if (f & loop.disarmed) {
        QString text = plainLine(name + QStringLiteral("снят с охраны"));
        if (f & loop.brk)
            text += redRemark(QStringLiteral("(обрыв шлейфа)"));
        else if (f & loop.shorted)
            text += redRemark(QStringLiteral("(замыкание шлейфа)"));
        return text;
    }
    if (f & loop.active)
        return plainLine(name + QStringLiteral("активен"));
    if (f & loop.brk)
        return redLine(name + QStringLiteral("обрыв"));
    if (f & loop.shorted)
        return redLine(name + QStringLiteral("замыкание"));
    return plainLine(name + QStringLiteral("норма"));
}

QString ioModuleLines(const LineModuleRecord &m)
{
    const quint32 f = m.stateFlags;
    return loopLines({1, m.loop1Mode, ModuleLoop1Disarmed, ModuleLoop1Active, ModuleLoop1Break, ModuleLoop1Short}, f)
           + plainLine((f & ModuleRelayOn) ? QStringLiteral("реле - включено") : QStringLiteral("реле - отключено"))
           + loopLines({2, m.loop2Mode, ModuleLoop2Disarmed, ModuleLoop2Active, ModuleLoop2Break, ModuleLoop2Short}, f);
}

QString sensorLines(const LineModuleRecord &m)
{
    const quint32 f = m.stateFlags;
    if (f & ModuleLoop1Disarmed)
        return plainLine(QStringLiteral("снят с охраны"));
    if (!(f & ModuleLoop1Active))
        return plainLine(QStringLiteral("норма"));
    QString text = redLine(QStringLiteral("тревога"));
    if (m.deviceType == 3) {
        if (m.status0 & 0x04)
            text += redSubLine(QStringLiteral("сработка ВК"));
        if (m.status0 & 0x08)
            text += redSubLine(QStringLiteral("сработка ИК"));
    }
    return text;
}

QString scpModuleLines(const LineModuleRecord &m)
{
    return ((m.status0 & 0x40) ? redLine(QStringLiteral("режим - «Ручной»"))
                               : plainLine(QStringLiteral("режим - «Авто»")))
           + ((m.stateFlags & ModuleLoop1Active) ? redLine(QStringLiteral("реле разомкнуто"))
                                     : plainLine(QStringLiteral("реле включено")))
           + voltageBlock(m);
}

QString normalStateLines(const LineModuleRecord &m)
{
    switch (m.deviceType) {
    case 2:
        return ioModuleLines(m);
    case 3:
    case 4:
        return sensorLines(m);
    case 5:
        return scpModuleLines(m);
    default:
        return QString();
    }
}

// Red lines for the set bits of `bits`, in the order given.
QString bitLines(quint8 bits, const QVector<QPair<quint8, const char *>> &texts)
{
    QString text;
    for (const auto &t : texts) {
        if (bits & t.first)
            text += redLine(QString::fromUtf8(t.second));
    }
    return text;
}

} // namespace

QString moduleStateHtml(const LineModuleRecord &module, bool *commandsAllowed)
{
    const quint32 f = module.stateFlags;
    bool allowed = false;
    QString lines;
    if (f == 0) {
        lines = plainLine(QStringLiteral("неизвестно"));
    } else if (f & ModuleNoLink) {
        lines = redLine(QStringLiteral("нет связи"));
    } else if (f & ModuleSwitchedOff) {
        lines = redLine(QStringLiteral("отключен"));
    } else if (f & (ModuleExcluded | ModuleParamsDiffer)) {
        lines = bitLines(module.status1,
                         {{0x40, "изменён"}, {0x80, "заменён"}, {0x04, "исключён"}, {0x20, "добавлен"}});
    } else if (f & ModuleFault) {
        allowed = true;
        lines = redLine(QStringLiteral("неисправность"));
        if (module.deviceType == 5)
            lines += voltageBlock(module);
    } else {
        allowed = true;
        lines = normalStateLines(module);
    }
    if (commandsAllowed)
        *commandsAllowed = allowed;
    return QStringLiteral("<p><u>Состояние модуля:</u><br/>") + lines + QStringLiteral("</p>");
}

QString moduleFaultsHtml(const LineModuleRecord &module)
{
    const quint8 b0 = module.status0;
    const quint8 b2 = module.status2;
    QString lines;
    switch (module.deviceType) {
    case 2:
        if (!(b0 & 0x04))
            return QString();
        lines = bitLines(b2, {{0x08, "неисправность, выявленная<br/>программой"},
                              {0x04, "не норма питания"},
                              {0x01, "ошибка приема данных"}});
        break;
    case 3:
    case 4:
        if (!(b0 & 0x20))
            return QString();
        lines = bitLines(b2, {{0x20, "неисправность, выявленная<br/>программой"},
                              {0x04, "ИК-канал неисправен"},
                              {0x08, "виброканал неисправен"},
                              {0x10, "не норма питания"},
                              {0x01, "ошибка приема данных"}});
        break;
    case 5:
        if (!(b0 & (0x04 | 0x08 | 0x20)))
            return QString();
        lines = bitLines(b2, {{0x01, "не норма питания"},
                              {0x02, "не норма источника"},
                              {0x04, "два источника"},
                              {0x08, "не норма на выходе"},
                              {0x10, "ошибка в загрузчике"},
                              {0x20, "ошибка в настройках"},
                              {0x40, "ошибка в серийном номере"},
                              {0x80, "ошибка в программе"}});
        break;
    default:
        return QString();
    }
    return QStringLiteral("<p><u>Ошибки модуля:</u><br/>") + lines + QStringLiteral("</p>");
}
