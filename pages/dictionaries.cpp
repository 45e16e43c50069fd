#include "dictionaries.h"

namespace Dictionaries {

QMap<int, QString> loopModes()
{
    return {{0, QStringLiteral("отключено")},
            {1, QStringLiteral("тревога")},
            {2, QStringLiteral("неисправность")},
            {3, QStringLiteral("технологический")}};
}

QMap<int, QString> accelerationRanges()
{
    return {{0, QStringLiteral("2 g")}, {1, QStringLiteral("4 g")}, {2, QStringLiteral("8 g")},
            {3, QStringLiteral("16 g")}};
}

QMap<int, QString> lowPassFilters()
{
    return {{0, QStringLiteral("200 Гц")}, {1, QStringLiteral("100 Гц")}, {2, QStringLiteral("50 Гц")},
            {3, QStringLiteral("25 Гц")}};
}

QMap<int, QString> highPassFilters()
{
    return {{0, QStringLiteral("3 Гц")}, {1, QStringLiteral("6,5 Гц")}, {2, QStringLiteral("12,5 Гц")},
            {3, QStringLiteral("25 Гц")}};
}

QMap<int, QString> jointRules()
{
    return {{0, QStringLiteral("ИЛИ")}, {1, QStringLiteral("И")}};
}

} // namespace Dictionaries
