#include "devicetables.h"

const QHash<quint8, QString> deviceTypeNames = {
    {4, QStringLiteral("ВТ-Л")},
    {3, QStringLiteral("ВС-Л")},
    {2, QStringLiteral("ПС-Л")},
    {5, QStringLiteral("ТЗ-Л")},
    {16, QStringLiteral("ЖН-Т")},
};

const QHash<quint8, QString> deviceTypeImages = {
    {4, QStringLiteral(":/images/sensor.png")},
    {3, QStringLiteral(":/images/sensor_ir.png")},
    {2, QStringLiteral(":/images/io_module.png")},
    {5, QStringLiteral(":/images/scp_module.png")},
    {16, QStringLiteral(":/images/relay_module.png")},
};

const QHash<int, QLatin1String> stateColorNames = {
    {0, QLatin1String("lightblue")},
    {1, QLatin1String("white")},
    {2, QLatin1String("yellow")},
    {4, QLatin1String("gray")},
    {8, QLatin1String("darkgray")},
    {16, QLatin1String("lightgray")},
    {32, QLatin1String("orange")},
    {64, QLatin1String("blue")},
    {128, QLatin1String("blue")},
    {256, QLatin1String("lightgreen")},
    {512, QLatin1String("lightgreen")},
    {1024, QLatin1String("red")},
    {2048, QLatin1String("red")},
    {4096, QLatin1String("brown")},
    {8192, QLatin1String("brown")},
    {16384, QLatin1String("orange")},
    {32768, QLatin1String("orange")},
    {65536, QLatin1String("red")},
    {131072, QLatin1String("green")},
};

const QHash<quint8, QString> relayModeNames = {
    {0, QStringLiteral("Вкл./откл. по команде")},
    {1, QStringLiteral("Работа по формуле")},
    {255, QStringLiteral("Вкл. на время")},
};

const QHash<quint8, QString> relayModeShortNames = {
    {0, QStringLiteral("Вкл./откл. по команде")},
    {1, QStringLiteral("Формула №")},
    {255, QStringLiteral("Вкл. на ")},
};
