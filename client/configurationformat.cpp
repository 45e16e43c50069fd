#include "configurationformat.h"

#include <array>
#include <cstring>
#include <iterator>

namespace ConfigFile {

namespace {

const char *const KnownAttributes[] = {
    "version", "Addr", "SerialNo", "LineAddr", "DeviceType", "Range", "LPF", "HPF", "DAF",
    "ThrIR", "NExcIR", "RuleJP", "RefCount", "CfgIO", "TSign", "RefCountL1", "RefCountL2",
    "ThrMin", "ThrOff", "ThrOn", "MRef", "NExc", "SensLeft", "SensRight", "Ratio", "IPAddr",
    "ExpMod", "RelayNum", "DestFunc", "DestRef", "PCBVer", "FwVer", "FwDate", "BlockID",
    "TWork", "Dist", "CfgLoop", "NetMask", "Gateway", "MAC", "LineMode"};

} // namespace

bool isKnownAttribute(const char *name, int size)
{
    // The raw-byte scan asks for every attribute of a file.
    static const auto lengths = [] {
        std::array<int, std::size(KnownAttributes)> l{};
        for (size_t i = 0; i < l.size(); ++i)
            l[i] = int(std::strlen(KnownAttributes[i]));
        return l;
    }();
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] == size && std::memcmp(KnownAttributes[i], name, size_t(size)) == 0)
            return true;
    }
    return false;
}

const char RootName[] = "RUZConfig";

QString sectionName(int i)
{
    static const char *const names[] = {"Controller", "Sensors", "IOModules", "SCPModules",
                                        "Processing", "RelayModules", "Interactions"};
    return QString::fromLatin1(names[i]);
}

QString missingSectionText(int i)
{
    switch (i) {
    case 0: return QStringLiteral("Ошибка конфигурации: отсутствует узел ЦУ-Л");
    case 1: return QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ВТ-Л/ВС-Л");
    case 2: return QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ПС-Л");
    case 3: return QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ТЗ-Л");
    case 4: return QStringLiteral("Ошибка конфигурации: отсутствует корневой узел параметров обработки");
    case 5: return QStringLiteral("Ошибка конфигурации: отсутствует корневой узел ЖН-Т");
    default: return QStringLiteral("Ошибка конфигурации: отсутствует корневой узел взаимодействий");
    }
}

QString tableName(int section)
{
    switch (section) {
    case 1: return QStringLiteral("модулей ВТ-Л и ВС-Л");
    case 2: return QStringLiteral("модулей ПС-Л");
    case 3: return QStringLiteral("модулей ТЗ-Л");
    case 4: return QStringLiteral("совместной обработки");
    case 5: return QStringLiteral("модулей ЖН-Т");
    case 6: return QStringLiteral("взаимодействий");
    default: return QString();
    }
}

} // namespace ConfigFile
