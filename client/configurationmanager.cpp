#include "configurationmanager.h"

#include <QBuffer>
#include <QFileDevice>
#include <QHash>
#include <QHostAddress>
#include <QIODevice>
#include <QSet>
#include <QStringList>
#include <QTextStream>
#include <QThread>
#include <QXmlStreamReader>

#include <algorithm>
#include <utility>
#include <cstring>

#include "ipv4text.h"
#include "systemerrortext.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace {

// What the controller's tables hold; a file never puts more into them.
const int MaxSensors = 500;
const int MaxIoModules = 100;
const int MaxScpModules = 32;
const int MaxRules = 500;
const int MaxRelayModules = 4;
const int MaxRelays = 32;
const int MaxRelaysWithoutExpansion = 16;
const int MaxInteractions = 4000;
const int MaxLineAddress = 500;
const int MaxBlockIdBytes = 64;

// The format needs four levels; anything far deeper is not a configuration,
// and the DOM copies and frees its trees recursively.
const int MaxNestingDepth = 256;
// A full configuration is some 6000 elements in well under a megabyte. The
// DOM spends hundreds of bytes per node, so the shape of a file is checked
// before it is parsed into one. The limits leave out what the writers replace
// or add (table entries in their sections, the attributes they set), so that
// a document updated by the writers always reads back.
const int MaxFileSize = 32 * 1024 * 1024;
const int MaxOtherNodes = 200000;
// XML parsers look for duplicate attributes pair by pair; an element with
// tens of thousands of them would keep the program busy for minutes.
const int MaxOtherAttributesPerElement = 256;

const char *const KnownAttributes[] = {
    "version", "Addr", "SerialNo", "LineAddr", "DeviceType", "Range", "LPF", "HPF", "DAF",
    "ThrIR", "NExcIR", "RuleJP", "RefCount", "CfgIO", "TSign", "RefCountL1", "RefCountL2",
    "ThrMin", "ThrOff", "ThrOn", "MRef", "NExc", "SensLeft", "SensRight", "Ratio", "IPAddr",
    "ExpMod", "RelayNum", "DestFunc", "DestRef", "PCBVer", "FwVer", "FwDate", "BlockID",
    "TWork", "Dist", "CfgLoop", "NetMask", "Gateway", "MAC", "LineMode"};

bool isKnownAttribute(const char *name, int size)
{
    for (const char *known : KnownAttributes) {
        if (int(std::strlen(known)) == size && std::memcmp(known, name, size_t(size)) == 0)
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
const int SectionCount = 7;

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

bool isXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
           || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Texts from the controller may hold characters that XML 1.0 cannot carry;
// a file holding them could not be read back.
QString xmlSafe(const QString &text)
{
    const QVector<uint> codes = text.toUcs4();
    QVector<uint> kept;
    kept.reserve(codes.size());
    for (uint c : codes) {
        if (isXmlChar(c))
            kept.append(c);
    }
    if (kept.size() == codes.size())
        return text;
    return QString::fromUcs4(kept.constData(), kept.size());
}

bool parseDigits(const QString &text, quint64 &value)
{
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (const QChar ch : text) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    value = text.toULongLong(&ok, 10);
    return ok;
}

// The document is built in one pass without line numbers; a message about
// a bad value finds its line by parsing the file again, as the DOM does.
int sourceLine(const QByteArray &source, const QDomNode &node)
{
    QVector<int> path;
    for (QDomNode n = node; !n.parentNode().isNull(); n = n.parentNode()) {
        int index = 0;
        for (QDomNode s = n.previousSibling(); !s.isNull(); s = s.previousSibling())
            ++index;
        path.prepend(index);
    }
    QDomDocument parsed;
    if (!parsed.setContent(source, false))
        return -1;
    QDomNode n = parsed;
    for (int index : qAsConst(path))
        n = n.childNodes().at(index);
    return n.lineNumber();
}

// Reads attribute values. The first value that does not parse or does not
// fit its field is remembered as the error; the lenient value (0 for text
// that is not a number, low-order bits for wide values) is returned anyway,
// so a held document always yields records.
class ValueReader
{
public:
    explicit ValueReader(const QByteArray *source = nullptr)
        : source(source)
    {
    }

    QString error;

    bool failed() const { return !error.isEmpty(); }

    quint64 number(const QDomElement &e, const QString &name, quint64 max)
    {
        const QString text = e.attribute(name).trimmed();
        if (text.isEmpty())
            return 0;
        quint64 value = 0;
        if (!parseDigits(text, value)) {
            badValue(e, name);
            return 0;
        }
        if (value > max)
            badValue(e, name);
        return value;
    }

    qint64 signedNumber(const QDomElement &e, const QString &name, qint64 min, qint64 max)
    {
        QString text = e.attribute(name).trimmed();
        if (text.isEmpty())
            return 0;
        const bool negative = text.startsWith(QLatin1Char('-'));
        if (negative)
            text.remove(0, 1);
        quint64 magnitude = 0;
        if (!parseDigits(text, magnitude) || magnitude > quint64(1) << 62) {
            badValue(e, name);
            return 0;
        }
        const qint64 value = negative ? -qint64(magnitude) : qint64(magnitude);
        if (value < min || value > max)
            badValue(e, name);
        return value;
    }

    // Module serial numbers as serialNumberToString writes them.
    quint32 serial(const QDomElement &e, const QString &name)
    {
        const QString text = e.attribute(name).trimmed();
        if (text.isEmpty())
            return 0;
        const QStringList parts = text.split(QLatin1Char('.'));
        quint64 number = 0;
        quint64 year = 0;
        if (parts.size() != 2 || !parseDigits(parts[0], number) || !parseDigits(parts[1], year)
            || number > 0x3FFFF || year < 20 || year > 20 + 0x3FFF) {
            badValue(e, name);
        }
        return serialNumberFromString(text);
    }

    quint32 ipv4(const QDomElement &e, const QString &name)
    {
        const QString text = e.attribute(name).trimmed();
        if (text.isEmpty())
            return 0;
        bool ok = false;
        const quint32 value = ipv4FromText(text, &ok);
        if (ok)
            return value;
        badValue(e, name);
        QHostAddress address;
        if (address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toIPv4Address();
        return 0;
    }

    // Six bytes from hexadecimal digits; separators are skipped.
    void mac(const QDomElement &e, const QString &name, quint8 *out)
    {
        const QString text = e.attribute(name).trimmed();
        if (text.isEmpty())
            return;
        QByteArray digits;
        for (const QChar ch : text) {
            const char c = ch.toLatin1();
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))
                digits.append(c);
        }
        if (digits.size() != 12) {
            badValue(e, name);
            return;
        }
        const QByteArray bytes = QByteArray::fromHex(digits);
        std::memcpy(out, bytes.constData(), 6);
    }

    // "major.minor" as versionToString writes it.
    quint16 version(const QDomElement &e, const QString &name)
    {
        const QString text = e.attribute(name).trimmed();
        if (text.isEmpty())
            return 0;
        const QStringList parts = text.split(QLatin1Char('.'));
        quint64 major = 0;
        quint64 minor = 0;
        if (parts.size() != 2 || !parseDigits(parts[0], major) || !parseDigits(parts[1], minor)
            || major > 255 || minor > 255) {
            badValue(e, name);
        }
        return versionFromString(text);
    }

    // The controller's serial text: serial number, point, production year.
    void controllerSerial(const QDomElement &e, const QString &name, Info_Device_t &info)
    {
        const QString text = e.attribute(name).trimmed();
        if (text.isEmpty())
            return;
        const QStringList parts = text.split(QLatin1Char('.'));
        quint64 serialNo = 0;
        quint64 year = 0;
        if (parts.size() != 2 || !parseDigits(parts[0], serialNo) || !parseDigits(parts[1], year)
            || serialNo > 0xFFFF || year > 0xFFFF) {
            badValue(e, name);
            if (parts.size() != 2)
                return;
            serialNo = parts[0].toUInt();
            year = parts[1].toUInt();
        }
        info.SerialNo = quint16(serialNo);
        info.ProdYear = quint16(year);
    }

    void badValue(const QDomElement &e, const QString &name)
    {
        if (failed())
            return;
        error = QStringLiteral("Ошибка конфигурации: недопустимое значение атрибута %1 элемента %2 "
                               "(строка %3): «%4»")
                    .arg(name, e.tagName())
                    .arg(lineOf(e))
                    .arg(e.attribute(name).left(64));
    }

    void tooMany(const QDomElement &parent, const QString &child, int max)
    {
        if (failed())
            return;
        error = QStringLiteral("Ошибка конфигурации: в узле %1 (строка %2) больше %3 элементов %4")
                    .arg(parent.tagName())
                    .arg(lineOf(parent))
                    .arg(max)
                    .arg(child);
    }

private:
    int lineOf(const QDomNode &node) const
    {
        if (node.lineNumber() > 0 || !source)
            return node.lineNumber();
        return sourceLine(*source, node);
    }

    const QByteArray *source;
};

// A file the XML parser refuses, in words for the user: where, then the
// parser's own words.
QString parseErrorText()
{
    return QStringLiteral("Файл не является файлом конфигурации ИОП: ошибка разбора XML в строке %1, "
                          "колонке %2. %3");
}

// A module entry of a kind its table does not hold would be shown and
// counted as another kind.
void checkDeviceType(ValueReader &r, const QDomElement &e, quint8 deviceType, std::initializer_list<quint8> kinds)
{
    if (deviceType != DEV_NOT && std::find(kinds.begin(), kinds.end(), deviceType) == kinds.end())
        r.badValue(e, QStringLiteral("DeviceType"));
}

// Line addresses of the modules in use.
void checkLineAddress(ValueReader &r, const QDomElement &e, quint8 deviceType, quint16 lineAddr)
{
    if (deviceType != DEV_NOT && (lineAddr < 1 || lineAddr > MaxLineAddress))
        r.badValue(e, QStringLiteral("LineAddr"));
}

struct ControllerData
{
    Info_Device_t info;
    ushort lineAddr = 0;
    QDate fwDate;
    QByteArray blockId;
    Konfig_Device_t device;
    ETH_konf_t network;
    Konfig_Line_t line;
};

void readController(const QDomElement &c, ValueReader &r, ControllerData &out)
{
    out.info.DeviceType = quint32(r.number(c, QStringLiteral("DeviceType"), 0xFFFFFFFFu));
    r.controllerSerial(c, QStringLiteral("SerialNo"), out.info);
    out.info.PCBVer = r.version(c, QStringLiteral("PCBVer"));
    out.info.FwVer = r.version(c, QStringLiteral("FwVer"));
    out.fwDate = QDate::fromString(c.attribute(QStringLiteral("FwDate")), QStringLiteral("dd.MM.yyyy"));

    out.blockId = c.attribute(QStringLiteral("BlockID")).toUtf8();
    // The controller keeps 64 bytes: a longer identifier could be neither
    // shown nor written whole.
    if (out.blockId.size() > MaxBlockIdBytes)
        r.badValue(c, QStringLiteral("BlockID"));

    Konfig_Device_t &d = out.device;
    d.LineAddr = quint16(r.number(c, QStringLiteral("LineAddr"), 0xFFFF));
    out.lineAddr = d.LineAddr;
    d.TSign = quint8(r.number(c, QStringLiteral("TSign"), 0xFF));
    d.MRef = quint16(r.number(c, QStringLiteral("MRef"), 0xFFFF));
    d.TWork = quint8(r.number(c, QStringLiteral("TWork"), 0xFF));
    d.NExc = quint8(r.number(c, QStringLiteral("NExc"), 0xFF));
    d.Ratio = quint8(r.number(c, QStringLiteral("Ratio"), 0xFF));
    d.Dist = quint8(r.number(c, QStringLiteral("Dist"), 0xFF));
    d.Range = quint8(r.number(c, QStringLiteral("Range"), 0xFF));
    d.LPF = quint8(r.number(c, QStringLiteral("LPF"), 0xFF));
    d.HPF = quint8(r.number(c, QStringLiteral("HPF"), 0xFF));
    d.DAF = quint8(r.number(c, QStringLiteral("DAF"), 0xFF));
    d.RuleJP = quint8(r.number(c, QStringLiteral("RuleJP"), 0xFF));
    d.CfgLoop = quint8(r.number(c, QStringLiteral("CfgLoop"), 0xFF));

    ETH_konf_t &n = out.network;
    n.IPAddr = r.ipv4(c, QStringLiteral("IPAddr"));
    n.NetMask = r.ipv4(c, QStringLiteral("NetMask"));
    n.Gateway = r.ipv4(c, QStringLiteral("Gateway"));
    quint8 mac[6] = {0, 0, 0, 0, 0, 0};
    r.mac(c, QStringLiteral("MAC"), mac);
    std::memcpy(n.MAC, mac, sizeof mac);

    out.line.LineMode = quint8(r.number(c, QStringLiteral("LineMode"), 0xFF));
}

// Module entries of device type 0 are empty records: a packed table cannot
// hold them in its used part, so they are left out and their positions
// reported (the processing rule at the same position goes with them).
QVector<Konfig_Section_t> readSensors(const QDomElement &s, ValueReader &r, QVector<int> *skipped)
{
    QVector<Konfig_Section_t> out;
    int position = 0;
    for (QDomElement e = s.firstChildElement(QStringLiteral("Sensor")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("Sensor")), ++position) {
        Konfig_Section_t rec;
        rec.SerialNo = r.serial(e, QStringLiteral("SerialNo"));
        rec.LineAddr = quint16(r.number(e, QStringLiteral("LineAddr"), 0xFFFF));
        rec.DeviceType = quint8(r.number(e, QStringLiteral("DeviceType"), 0xFF));
        rec.Range = quint8(r.number(e, QStringLiteral("Range"), 0xFF));
        rec.LPF = quint8(r.number(e, QStringLiteral("LPF"), 0xFF));
        rec.HPF = quint8(r.number(e, QStringLiteral("HPF"), 0xFF));
        rec.DAF = quint8(r.number(e, QStringLiteral("DAF"), 0xFF));
        if (rec.DeviceType == SECT_ACCI) {
            rec.ThrIR = quint8(r.number(e, QStringLiteral("ThrIR"), 0xFF));
            rec.NExcIR = quint8(r.number(e, QStringLiteral("NExcIR"), 0xFF));
            rec.RuleJP = quint8(r.number(e, QStringLiteral("RuleJP"), 0xFF));
        }
        rec.RefCount = quint8(r.number(e, QStringLiteral("RefCount"), 0xFF));
        checkDeviceType(r, e, rec.DeviceType, {SECT_ACCI, SECT_ACC});
        checkLineAddress(r, e, rec.DeviceType, rec.LineAddr);
        if (rec.DeviceType == DEV_NOT) {
            if (skipped)
                skipped->append(position);
            continue;
        }
        if (out.size() == MaxSensors) {
            r.tooMany(s, QStringLiteral("Sensor"), MaxSensors);
            break;
        }
        out.append(rec);
    }
    return out;
}

QVector<Konfig_MVV_t> readIoModules(const QDomElement &s, ValueReader &r)
{
    QVector<Konfig_MVV_t> out;
    for (QDomElement e = s.firstChildElement(QStringLiteral("IOModule")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("IOModule"))) {
        Konfig_MVV_t rec;
        rec.SerialNo = r.serial(e, QStringLiteral("SerialNo"));
        rec.LineAddr = quint16(r.number(e, QStringLiteral("LineAddr"), 0xFFFF));
        rec.DeviceType = quint8(r.number(e, QStringLiteral("DeviceType"), 0xFF));
        rec.CfgIO = quint8(r.number(e, QStringLiteral("CfgIO"), 0xFF));
        rec.TSign = quint8(r.number(e, QStringLiteral("TSign"), 0xFF));
        rec.RefCountL1 = quint8(r.number(e, QStringLiteral("RefCountL1"), 0xFF));
        rec.RefCountL2 = quint8(r.number(e, QStringLiteral("RefCountL2"), 0xFF));
        checkDeviceType(r, e, rec.DeviceType, {SECT_MVV});
        checkLineAddress(r, e, rec.DeviceType, rec.LineAddr);
        if (rec.DeviceType == DEV_NOT)
            continue;
        if (out.size() == MaxIoModules) {
            r.tooMany(s, QStringLiteral("IOModule"), MaxIoModules);
            break;
        }
        out.append(rec);
    }
    return out;
}

QVector<Konfig_MKZ_t> readScpModules(const QDomElement &s, ValueReader &r)
{
    QVector<Konfig_MKZ_t> out;
    for (QDomElement e = s.firstChildElement(QStringLiteral("SCPModule")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("SCPModule"))) {
        Konfig_MKZ_t rec;
        rec.SerialNo = r.serial(e, QStringLiteral("SerialNo"));
        rec.LineAddr = quint16(r.number(e, QStringLiteral("LineAddr"), 0xFFFF));
        rec.DeviceType = quint8(r.number(e, QStringLiteral("DeviceType"), 0xFF));
        rec.ThrMin = quint16(r.number(e, QStringLiteral("ThrMin"), 0xFFFF));
        rec.ThrOff = quint16(r.number(e, QStringLiteral("ThrOff"), 0xFFFF));
        rec.ThrOn = quint16(r.number(e, QStringLiteral("ThrOn"), 0xFFFF));
        checkDeviceType(r, e, rec.DeviceType, {SECT_MKZ});
        checkLineAddress(r, e, rec.DeviceType, rec.LineAddr);
        if (rec.DeviceType == DEV_NOT)
            continue;
        if (out.size() == MaxScpModules) {
            r.tooMany(s, QStringLiteral("SCPModule"), MaxScpModules);
            break;
        }
        out.append(rec);
    }
    return out;
}

// Rule k belongs to sensor k: rules at the positions of skipped sensor
// entries are left out with them.
QVector<Konfig_Proc_t> readRules(const QDomElement &s, ValueReader &r, const QVector<int> &skipped)
{
    QVector<Konfig_Proc_t> out;
    int position = 0;
    int nextSkipped = 0;  // positions come in ascending order
    for (QDomElement e = s.firstChildElement(QStringLiteral("Rule")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("Rule")), ++position) {
        Konfig_Proc_t rec;
        rec.MRef = quint16(r.number(e, QStringLiteral("MRef"), 0xFFFF));
        rec.NExc = quint8(r.number(e, QStringLiteral("NExc"), 0xFF));
        rec.SensLeft = qint8(r.signedNumber(e, QStringLiteral("SensLeft"), -128, 127));
        rec.SensRight = qint8(r.signedNumber(e, QStringLiteral("SensRight"), -128, 127));
        rec.Ratio = quint8(r.number(e, QStringLiteral("Ratio"), 0xFF));
        while (nextSkipped < skipped.size() && skipped[nextSkipped] < position)
            ++nextSkipped;
        if (nextSkipped < skipped.size() && skipped[nextSkipped] == position)
            continue;
        if (out.size() == MaxRules) {
            r.tooMany(s, QStringLiteral("Rule"), MaxRules);
            break;
        }
        out.append(rec);
    }
    return out;
}

// The relays a relay module has: 17 to 32 only with its expansion module.
int relaysOf(const Konfig_Modul_t &module)
{
    return module.ExpMod != 0 ? MaxRelays : MaxRelaysWithoutExpansion;
}

Konfig_Modul_t defaultRelayModule()
{
    Konfig_Modul_t rec;
    std::memset(static_cast<void *>(&rec), 0, sizeof rec);
    rec.Reserved4 = 502;
    rec.Reserved6 = 2;
    return rec;
}

// The four slots of the relay-module table; *elements counts the modules read.
QVector<Konfig_Modul_t> readRelayModules(const QDomElement &s, ValueReader &r, int *elements)
{
    QVector<Konfig_Modul_t> out(MaxRelayModules, defaultRelayModule());
    *elements = 0;
    for (QDomElement e = s.firstChildElement(QStringLiteral("RelayModule")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("RelayModule"))) {
        ++*elements;
        const quint16 key = quint16(r.number(e, QStringLiteral("Addr"), MaxRelayModules) - 1);
        if (key >= MaxRelayModules)
            r.badValue(e, QStringLiteral("Addr"));
        Konfig_Modul_t rec = defaultRelayModule();
        rec.IPAddr = r.ipv4(e, QStringLiteral("IPAddr"));
        rec.LineAddr = quint8(r.number(e, QStringLiteral("LineAddr"), 0xFF));
        rec.ExpMod = quint8(r.number(e, QStringLiteral("ExpMod"), 0xFF));
        rec.Reserved9 = quint8(key + 1);
        // Any flag but 0 means the expansion module is there, as for the
        // controller and the relay-module page.
        const int limit = relaysOf(rec);
        int n = 0;
        for (QDomElement relay = e.firstChildElement(QStringLiteral("Relay")); !relay.isNull();
             relay = relay.nextSiblingElement(QStringLiteral("Relay")), ++n) {
            if (n == MaxRelays) {
                r.tooMany(e, QStringLiteral("Relay"), MaxRelays);
                break;
            }
            const quint8 num = quint8(r.number(relay, QStringLiteral("RelayNum"), 0xFF));
            const quint8 time = quint8(r.number(relay, QStringLiteral("TSign"), 0xFF));
            if (n < limit) {
                rec.Relays[n].RelayNum = num;
                rec.Relays[n].TSign = time;
            }
        }
        if (key < MaxRelayModules)
            out[key] = rec;
    }
    return out;
}

QVector<Control_Relay_t> readInteractions(const QDomElement &s, ValueReader &r)
{
    QVector<Control_Relay_t> out;
    for (QDomElement e = s.firstChildElement(QStringLiteral("Interaction")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("Interaction"))) {
        if (out.size() == MaxInteractions) {
            r.tooMany(s, QStringLiteral("Interaction"), MaxInteractions);
            break;
        }
        Control_Relay_t rec;
        rec.DeviceType = quint8(r.number(e, QStringLiteral("DeviceType"), 0xFF));
        rec.DestFunc = quint8(r.number(e, QStringLiteral("DestFunc"), 0xFF));
        rec.DestRef = quint16(r.number(e, QStringLiteral("DestRef"), 0xFFFF));
        out.append(rec);
    }
    return out;
}

int usedRelaySlots(const QVector<Konfig_Modul_t> &modules)
{
    int n = 0;
    for (const Konfig_Modul_t &m : modules) {
        if (m.IPAddr != 0)
            ++n;
    }
    return n;
}

// The counts of the line settings are those of the entries the readers pass on.
void readLineCounts(const QDomElement &root, ValueReader &r, Konfig_Line_t &line)
{
    line.SensorCount = quint16(readSensors(root.firstChildElement(sectionName(1)), r, nullptr).size());
    line.IoCount = quint16(readIoModules(root.firstChildElement(sectionName(2)), r).size());
    line.ScpCount = quint16(readScpModules(root.firstChildElement(sectionName(3)), r).size());
    int elements = 0;
    line.RelayCount =
        quint8(usedRelaySlots(readRelayModules(root.firstChildElement(sectionName(5)), r, &elements)));
}

// Checks every value of a parsed document; empty when it can be used.
QString checkValues(const QDomDocument &doc, const QByteArray &source)
{
    const QDomElement root = doc.documentElement();
    ValueReader r(&source);
    ControllerData controller;
    readController(root.firstChildElement(sectionName(0)), r, controller);
    QVector<int> skipped;
    readSensors(root.firstChildElement(sectionName(1)), r, &skipped);
    readIoModules(root.firstChildElement(sectionName(2)), r);
    readScpModules(root.firstChildElement(sectionName(3)), r);
    int elements = 0;
    readRelayModules(root.firstChildElement(sectionName(5)), r, &elements);
    readRules(root.firstChildElement(sectionName(4)), r, skipped);
    readInteractions(root.firstChildElement(sectionName(6)), r);
    return r.error;
}

// Counts the attributes of each start tag in the raw bytes, ahead of any
// parser. Works on every ASCII-compatible encoding and on UTF-16/32, whose
// markup characters are the same bytes with zeros between them.
QString checkAttributeCounts(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    const auto skipTo = [&](const char *pattern) {
        const int at = bytes.indexOf(pattern, int(p - bytes.constData()));
        p = at < 0 ? end : bytes.constData() + at + int(std::strlen(pattern));
    };
    while (p < end) {
        if (*p != '<') {
            ++p;
            continue;
        }
        const char *const tagStart = p;
        if (end - p >= 4 && std::memcmp(p, "<!--", 4) == 0) {
            skipTo("-->");
            continue;
        }
        if (end - p >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0) {
            skipTo("]]>");
            continue;
        }
        ++p;
        if (p < end && (*p == '?' || *p == '!' || *p == '/'))
            continue;
        int count = 0;
        char quote = 0;
        for (; p < end; ++p) {
            if (quote) {
                if (*p == quote)
                    quote = 0;
            } else if (*p == '"' || *p == '\'') {
                quote = *p;
            } else if (*p == '=') {
                const char *nameEnd = p;
                while (nameEnd > tagStart && (nameEnd[-1] == ' ' || nameEnd[-1] == '\t'
                                              || nameEnd[-1] == '\r' || nameEnd[-1] == '\n'))
                    --nameEnd;
                // Stopping at the previous '=' keeps the scan linear: no
                // byte is walked over twice, whatever the tag holds.
                const char *name = nameEnd;
                while (name > tagStart && name[-1] != ' ' && name[-1] != '\t' && name[-1] != '\r'
                       && name[-1] != '\n' && name[-1] != '"' && name[-1] != '\'' && name[-1] != '=')
                    --name;
                if (!isKnownAttribute(name, int(nameEnd - name)))
                    ++count;
            } else if (*p == '>' || *p == '<') {
                break;
            }
        }
        if (count > MaxOtherAttributesPerElement) {
            const int line = 1 + int(std::count(bytes.constData(), tagStart, '\n'));
            return QStringLiteral("Ошибка конфигурации: слишком много атрибутов элемента (строка %1)")
                .arg(line);
        }
    }
    return QString();
}

// Parses the bytes into `doc` in one pass and refuses, on the way, trees too
// deep or too large to hold as a document. Table entries in their sections
// are limited by kind; every other node (and every attribute the program
// does not write) counts against one common limit. The tree is the one the
// DOM's own parser makes: text of white space only is dropped.
QString parseChecked(const QByteArray &bytes, QDomDocument &doc)
{
    struct Kind
    {
        const char *section;
        const char *entry;
        int limit;
        int count;
    };
    Kind kinds[] = {{"Sensors", "Sensor", 4 * MaxSensors, 0},
                    {"IOModules", "IOModule", 4 * MaxIoModules, 0},
                    {"SCPModules", "SCPModule", 4 * MaxScpModules, 0},
                    {"Processing", "Rule", 4 * MaxRules, 0},
                    {"RelayModules", "RelayModule", 4 * MaxRelayModules, 0},
                    {"Interactions", "Interaction", MaxInteractions, 0}};
    int relays = 0;
    const int maxRelays = 4 * MaxRelayModules * MaxRelays;

    QXmlStreamReader xml(bytes);
    xml.setNamespaceProcessing(false);
    // A document to add nodes to (a default one is null until first used).
    doc = QDomDocument(QDomDocumentType());
    QDomNode parentNode = doc;
    // Per open element: 0 other, 1 root, 2 a section as the readers find
    // it, 3 a table entry, 4 a relay of a relay-module entry.
    QVector<int> roles;
    QVector<int> entryKinds;  // kind of each open section or entry
    QSet<QString> sectionsSeen;
    int others = 0;
    bool rootSeen = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartDocument) {
            // The declaration, as the DOM keeps it.
            if (!xml.documentVersion().isEmpty()) {
                QString data = QStringLiteral("version='%1'").arg(xml.documentVersion());
                if (!xml.documentEncoding().isEmpty())
                    data += QStringLiteral(" encoding='%1'").arg(xml.documentEncoding());
                if (xml.isStandaloneDocument())
                    data += QStringLiteral(" standalone='yes'");
                doc.appendChild(doc.createProcessingInstruction(QStringLiteral("xml"), data));
            }
        } else if (token == QXmlStreamReader::StartElement) {
            if (roles.size() >= MaxNestingDepth) {
                return QStringLiteral("Ошибка конфигурации: слишком глубокая вложенность элементов "
                                      "(строка %1)")
                    .arg(xml.lineNumber());
            }
            const QString name = xml.qualifiedName().toString();
            const int parent = roles.isEmpty() ? -1 : roles.last();
            int role = 0;
            int kind = -1;
            if (parent == -1 && !rootSeen) {
                role = 1;
                rootSeen = true;
            } else if (parent == 1 && !sectionsSeen.contains(name)) {
                sectionsSeen.insert(name);
                role = 2;
                for (int i = 0; i < 6; ++i) {
                    if (name == QLatin1String(kinds[i].section))
                        kind = i;
                }
                if (kind < 0 && name != QLatin1String("Controller"))
                    role = 0;
            } else if (parent == 2 && entryKinds.last() >= 0
                       && name == QLatin1String(kinds[entryKinds.last()].entry)) {
                role = 3;
                kind = entryKinds.last();
                Kind &k = kinds[kind];
                if (++k.count > k.limit) {
                    return QStringLiteral("Ошибка конфигурации: в узле %1 больше %2 элементов %3")
                        .arg(QLatin1String(k.section))
                        .arg(k.limit)
                        .arg(QLatin1String(k.entry));
                }
            } else if (parent == 3 && entryKinds.last() == 4 && name == QLatin1String("Relay")) {
                role = 4;
                if (++relays > maxRelays) {
                    return QStringLiteral("Ошибка конфигурации: в узле RelayModules больше %1 "
                                          "элементов Relay")
                        .arg(maxRelays);
                }
            }
            roles.append(role);
            entryKinds.append(kind);
            if (role == 0)
                ++others;
            QDomElement element = doc.createElement(name);
            const QXmlStreamAttributes attributes = xml.attributes();
            for (const QXmlStreamAttribute &a : attributes) {
                const QByteArray attributeName = a.qualifiedName().toLatin1();
                if (role == 0 || !isKnownAttribute(attributeName.constData(), attributeName.size()))
                    ++others;
                element.setAttribute(a.qualifiedName().toString(), a.value().toString());
            }
            parentNode = parentNode.appendChild(element);
        } else if (token == QXmlStreamReader::EndElement) {
            roles.removeLast();
            entryKinds.removeLast();
            parentNode = parentNode.parentNode();
        } else if (token == QXmlStreamReader::Characters) {
            // Indentation makes no nodes of the document.
            if (xml.isCDATA()) {
                ++others;
                parentNode.appendChild(doc.createCDATASection(xml.text().toString()));
            } else if (!xml.isWhitespace()) {
                ++others;
                // One text node, however the reader splits the text.
                QDomNode last = parentNode.lastChild();
                if (last.isText() && !last.isCDATASection())
                    last.toText().appendData(xml.text().toString());
                else
                    parentNode.appendChild(doc.createTextNode(xml.text().toString()));
            }
        } else if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference) {
            // The program writes neither; a file with them would not read
            // back once saved (the writer drops the declarations and keeps
            // the references), and declared entities can blow up in memory.
            // Character references and the predefined entities stay fine.
            return QStringLiteral("Ошибка конфигурации: объявления типа документа (DOCTYPE) и ссылки "
                                  "на сущности в файле данных не допускаются (строка %1)")
                .arg(xml.lineNumber());
        } else if (token == QXmlStreamReader::Comment) {
            ++others;
            parentNode.appendChild(doc.createComment(xml.text().toString()));
        } else if (token == QXmlStreamReader::ProcessingInstruction) {
            ++others;
            parentNode.appendChild(doc.createProcessingInstruction(xml.processingInstructionTarget().toString(),
                                                                   xml.processingInstructionData().toString()));
        }
        if (others > MaxOtherNodes) {
            return QStringLiteral("Ошибка конфигурации: слишком много узлов в файле данных (строка %1)")
                .arg(xml.lineNumber());
        }
    }
    if (xml.hasError()) {
        return parseErrorText()
            .arg(xml.lineNumber())
            .arg(xml.columnNumber())
            .arg(xml.errorString());
    }
    return QString();
}

void setNumber(QDomElement &e, const QString &name, qint64 value)
{
    e.setAttribute(name, QString::number(value));
}

} // namespace

ConfigurationManager::ConfigurationManager(QObject *parent)
    : QObject(parent)
{
    registerMetaTypes();
}

ConfigurationManager::~ConfigurationManager()
{
    if (teardown) {
        teardown->wait();
        delete teardown;
    }
}

void ConfigurationManager::retireDocument(QDomDocument old)
{
    if (old.isNull())
        return;
    if (teardown) {
        teardown->wait();
        delete teardown;
    }
    // The thread holds the last reference: the tree goes there, while the
    // new document is read into the tables.
    teardown = QThread::create([old = std::move(old)]() mutable { old = QDomDocument(); });
    teardown->start(QThread::LowPriority);
}

void ConfigurationManager::newDocument()
{
    if (hasDocument())
        clear();
    document.appendChild(document.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version='1.0' encoding='UTF-8' standalone='yes'")));
    QDomElement root = document.createElement(QLatin1String(RootName));
    root.setAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    for (int i = 0; i < SectionCount; ++i)
        root.appendChild(document.createElement(sectionName(i)));
    document.appendChild(root);
}

bool ConfigurationManager::readDocument(QIODevice *device)
{
    if (!device || !device->isReadable()) {
        errorText = QStringLiteral("Ошибка чтения конфигурации: %1")
                        .arg(device ? device->errorString() : QString());
        return false;
    }
    QByteArray bytes;
    bool tooLarge = false;
    if (!device->isSequential()) {
        device->seek(0);
        tooLarge = device->size() > MaxFileSize;
        if (!tooLarge)
            bytes = device->readAll();
    } else {
        while (!tooLarge) {
            const QByteArray chunk = device->read(1 << 16);
            if (chunk.isEmpty())
                break;
            bytes += chunk;
            tooLarge = bytes.size() > MaxFileSize;
        }
    }
    if (bytes.isEmpty() && !tooLarge) {
        errorText = QStringLiteral("Ошибка конфигурации: пустой файл данных");
        return false;
    }
    if (tooLarge) {
        errorText = QStringLiteral("Ошибка конфигурации: размер файла данных больше %1 байт")
                        .arg(MaxFileSize);
        return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);

    QDomDocument parsed;
    QString error = checkAttributeCounts(bytes);
    if (error.isEmpty())
        error = parseChecked(bytes, parsed);
    if (!error.isEmpty()) {
        errorText = error;
        return false;
    }

    const QDomElement root = parsed.documentElement();
    if (root.isNull() || root.tagName().compare(QLatin1String(RootName), Qt::CaseInsensitive) != 0) {
        errorText = QStringLiteral("Данный документ не является конфигурацией ИОП «Лантрел-А»");
        return false;
    }
    for (int i = 0; i < SectionCount; ++i) {
        if (root.firstChildElement(sectionName(i)).isNull()) {
            errorText = missingSectionText(i);
            return false;
        }
    }

    error = checkValues(parsed, bytes);
    if (!error.isEmpty()) {
        errorText = error;
        return false;
    }

    // Nothing else refers to the parsed tree: it becomes the document as is.
    // Freeing the old tree's thousands of nodes is no part of reading the
    // new one: it goes to a thread of its own.
    errorText.clear();
    retireDocument(std::exchange(document, parsed));
    return true;
}

namespace {

// The order in which the program writes the attributes of its elements;
// attributes it does not know follow in the order of their names. The
// document keeps attributes unordered, so a save without a fixed order
// would give other bytes each time.
int attributeRank(const QString &element, const QString &attribute)
{
    static const QHash<QString, QStringList> orders = {
        {QStringLiteral("RUZConfig"), {QStringLiteral("version")}},
        {QStringLiteral("Controller"),
         QStringLiteral("DeviceType SerialNo PCBVer FwVer FwDate BlockID LineAddr TSign MRef TWork NExc Ratio Dist "
                        "Range LPF HPF DAF RuleJP CfgLoop IPAddr NetMask Gateway MAC LineMode")
             .split(QLatin1Char(' '))},
        {QStringLiteral("Sensor"),
         QStringLiteral("Addr SerialNo LineAddr DeviceType Range LPF HPF DAF ThrIR NExcIR RuleJP RefCount")
             .split(QLatin1Char(' '))},
        {QStringLiteral("IOModule"),
         QStringLiteral("Addr SerialNo LineAddr DeviceType CfgIO TSign RefCountL1 RefCountL2").split(QLatin1Char(' '))},
        {QStringLiteral("SCPModule"),
         QStringLiteral("Addr SerialNo LineAddr DeviceType ThrMin ThrOff ThrOn").split(QLatin1Char(' '))},
        {QStringLiteral("Rule"), QStringLiteral("Addr MRef NExc SensLeft SensRight Ratio").split(QLatin1Char(' '))},
        {QStringLiteral("RelayModule"), QStringLiteral("Addr IPAddr LineAddr ExpMod").split(QLatin1Char(' '))},
        {QStringLiteral("Relay"), {QStringLiteral("RelayNum"), QStringLiteral("TSign")}},
        {QStringLiteral("Interaction"), QStringLiteral("Addr DeviceType DestFunc DestRef").split(QLatin1Char(' '))},
    };
    const QStringList order = orders.value(element);
    const int rank = order.indexOf(attribute);
    return rank < 0 ? order.size() : rank;
}

// Escapes as the DOM's own writer does, so that files keep their form.
QString escaped(const QString &text, bool attribute)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (c == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else if (attribute && c == QLatin1Char('"'))
            out += QLatin1String("&quot;");
        else if (c == QLatin1Char('>') && i >= 2 && text.at(i - 1) == QLatin1Char(']')
                 && text.at(i - 2) == QLatin1Char(']'))
            out += QLatin1String("&gt;");
        else if ((attribute && (c == QChar(0x9) || c == QChar(0xA))) || c == QChar(0xD))
            out += QStringLiteral("&#x%1;").arg(c.unicode(), 0, 16);
        else
            out += c;
    }
    return out;
}

void serialise(QString &out, const QDomNode &node, int depth)
{
    const QString indent(depth * 2, QLatin1Char(' '));
    const bool afterText = node.previousSibling().isText();
    const bool beforeText = node.nextSibling().isText();
    if (node.isCDATASection()) {
        QString text = node.nodeValue();
        out += QLatin1String("<![CDATA[") + text.replace(QLatin1String("]]>"), QLatin1String("]]]]><![CDATA[>"))
               + QLatin1String("]]>");
    } else if (node.isText()) {
        out += escaped(node.nodeValue(), false);
    } else if (node.isComment()) {
        if (!afterText)
            out += indent;
        const QString text = node.nodeValue();
        out += QLatin1String("<!--") + text + (text.endsWith(QLatin1Char('-')) ? QLatin1String(" ") : QLatin1String())
               + QLatin1String("-->");
        if (!beforeText)
            out += QLatin1Char('\n');
    } else if (node.isProcessingInstruction()) {
        out += QLatin1String("<?") + node.nodeName() + QLatin1Char(' ') + node.nodeValue() + QLatin1String("?>\n");
    } else if (node.isEntityReference()) {
        out += QLatin1Char('&') + node.nodeName() + QLatin1Char(';');
    } else if (node.isElement()) {
        const QDomElement e = node.toElement();
        const QString name = e.tagName();
        if (!afterText)
            out += indent;
        out += QLatin1Char('<') + name;
        const QDomNamedNodeMap attributes = e.attributes();
        QVector<QPair<int, QString>> names;
        for (int i = 0; i < attributes.count(); ++i) {
            const QString attribute = attributes.item(i).nodeName();
            names.append({attributeRank(name, attribute), attribute});
        }
        std::sort(names.begin(), names.end());
        for (const auto &attribute : qAsConst(names)) {
            out += QLatin1Char(' ') + attribute.second + QLatin1String("=\"")
                   + escaped(e.attribute(attribute.second), true) + QLatin1Char('"');
        }
        if (e.hasChildNodes()) {
            out += QLatin1Char('>');
            if (!e.firstChild().isText())
                out += QLatin1Char('\n');
            for (QDomNode child = e.firstChild(); !child.isNull(); child = child.nextSibling())
                serialise(out, child, depth + 1);
            if (!e.lastChild().isText())
                out += indent;
            out += QLatin1String("</") + name + QLatin1Char('>');
        } else {
            out += QLatin1String("/>");
        }
        if (!beforeText)
            out += QLatin1Char('\n');
    }
}

// UTF-8 with a byte-order mark and its declaration; the document's own
// declaration is replaced by it.
QByteArray serialise(const QDomDocument &document)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    for (QDomNode node = document.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (node.isProcessingInstruction() && node.nodeName() == QLatin1String("xml"))
            continue;
        serialise(text, node, 0);
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace

bool ConfigurationManager::writeDocument(QIODevice *device)
{
    if (!hasDocument()) {
        errorText = QStringLiteral("Ошибка: пустая конфигурация");
        return false;
    }
    const auto fail = [this](const QString &reason) {
        errorText = QStringLiteral("Ошибка записи конфигурации: ") + reason;
        return false;
    };
    if (!device || !device->isWritable())
        return fail(device ? systemErrorText(device->errorString()) : QString());

    // Replace the contents: truncate a file, clear a memory buffer.
    QFileDevice *file = qobject_cast<QFileDevice *>(device);
    QBuffer *buffer = qobject_cast<QBuffer *>(device);
    if (buffer) {
        buffer->seek(0);
        buffer->buffer().clear();
    } else if (!device->isSequential()) {
        if (!device->seek(0) || (file && !file->resize(0)))
            return fail(systemErrorText(device->errorString()));
    }

    // The text is made in memory first, so that every byte that does not
    // reach the device is noticed: a text stream drops short writes silently.
    const QByteArray bytes = serialise(document);
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = device->write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return fail(systemErrorText(device->errorString()));
        done += n;
    }
    // A file keeps written data in its own buffer: only its flush shows
    // whether the data reached the disk.
    if (file && !file->flush())
        return fail(systemErrorText(file->errorString()));
    return true;
}

void ConfigurationManager::clear()
{
    errorText.clear();
    document = QDomDocument();
}

bool ConfigurationManager::hasDocument() const
{
    return !document.isNull();
}

QString ConfigurationManager::lastError() const
{
    return errorText;
}

QDomElement ConfigurationManager::section(const QString &name) const
{
    return document.documentElement().firstChildElement(name);
}

// ---- Readers

void ConfigurationManager::getControllerInfo()
{
    if (!hasDocument())
        return;
    ValueReader r;
    ControllerData c;
    readController(section(sectionName(0)), r, c);
    emit controllerInfo(c.info, c.lineAddr, c.fwDate);
}

void ConfigurationManager::getControllerConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    ControllerData c;
    readController(section(sectionName(0)), r, c);
    readLineCounts(document.documentElement(), r, c.line);
    emit controllerConfig(c.blockId, c.device, c.network, c.line);
    emit readCompleted(true);
}

void ConfigurationManager::getSensorsConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Konfig_Section_t> records = readSensors(section(sectionName(1)), r, nullptr);
    if (!records.isEmpty())
        emit sensorConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getIoModulesConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Konfig_MVV_t> records = readIoModules(section(sectionName(2)), r);
    if (!records.isEmpty())
        emit ioModuleConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getScpModulesConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Konfig_MKZ_t> records = readScpModules(section(sectionName(3)), r);
    if (!records.isEmpty())
        emit scpModuleConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getRelayModulesConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    int elements = 0;
    const QVector<Konfig_Modul_t> records = readRelayModules(section(sectionName(5)), r, &elements);
    if (elements > 0)
        emit relayModuleConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getProcessingConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    QVector<int> skipped;
    readSensors(section(sectionName(1)), r, &skipped);
    const QVector<Konfig_Proc_t> records = readRules(section(sectionName(4)), r, skipped);
    if (!records.isEmpty())
        emit processingConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getInteractionsConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Control_Relay_t> records = readInteractions(section(sectionName(6)), r);
    if (!records.isEmpty())
        emit interactionsConfig(0, records);
    emit readCompleted(true);
}

// ---- Writers

namespace {

void removeChildElements(QDomElement &parent, const QString &name)
{
    QDomElement e = parent.firstChildElement(name);
    while (!e.isNull()) {
        const QDomElement next = e.nextSiblingElement(name);
        parent.removeChild(e);
        e = next;
    }
}

} // namespace

void ConfigurationManager::setControllerInfo(ControllerInfo dev_info)
{
    QDomElement c = section(sectionName(0));
    if (!hasDocument() || c.isNull())
        return;
    setNumber(c, QStringLiteral("DeviceType"), quint32(dev_info.deviceType));
    c.setAttribute(QStringLiteral("SerialNo"), xmlSafe(dev_info.serialNumber));
    c.setAttribute(QStringLiteral("PCBVer"), xmlSafe(dev_info.boardVersion));
    c.setAttribute(QStringLiteral("FwVer"), xmlSafe(dev_info.firmwareVersion));
    c.setAttribute(QStringLiteral("FwDate"), xmlSafe(dev_info.firmwareDate));
}

void ConfigurationManager::setControllerConfig(QByteArray block_id, Konfig_Device_t dev_cfg,
                                               ETH_konf_t net_cfg, Konfig_Line_t line_cfg)
{
    QDomElement c = section(sectionName(0));
    if (!hasDocument() || c.isNull()) {
        emit writeCompleted(false);
        return;
    }
    c.setAttribute(QStringLiteral("BlockID"), xmlSafe(blockIdToString(block_id)));
    setNumber(c, QStringLiteral("LineAddr"), dev_cfg.LineAddr);
    setNumber(c, QStringLiteral("TSign"), dev_cfg.TSign);
    setNumber(c, QStringLiteral("MRef"), dev_cfg.MRef);
    setNumber(c, QStringLiteral("TWork"), dev_cfg.TWork);
    setNumber(c, QStringLiteral("NExc"), dev_cfg.NExc);
    setNumber(c, QStringLiteral("Ratio"), dev_cfg.Ratio);
    setNumber(c, QStringLiteral("Dist"), dev_cfg.Dist);
    setNumber(c, QStringLiteral("Range"), dev_cfg.Range);
    setNumber(c, QStringLiteral("LPF"), dev_cfg.LPF);
    setNumber(c, QStringLiteral("HPF"), dev_cfg.HPF);
    setNumber(c, QStringLiteral("DAF"), dev_cfg.DAF);
    setNumber(c, QStringLiteral("RuleJP"), dev_cfg.RuleJP);
    setNumber(c, QStringLiteral("CfgLoop"), dev_cfg.CfgLoop);
    c.setAttribute(QStringLiteral("IPAddr"), QHostAddress(net_cfg.IPAddr).toString());
    c.setAttribute(QStringLiteral("NetMask"), QHostAddress(net_cfg.NetMask).toString());
    c.setAttribute(QStringLiteral("Gateway"), QHostAddress(net_cfg.Gateway).toString());
    const QByteArray mac(reinterpret_cast<const char *>(net_cfg.MAC), sizeof net_cfg.MAC);
    c.setAttribute(QStringLiteral("MAC"), QString::fromLatin1(mac.toHex()));
    setNumber(c, QStringLiteral("LineMode"), line_cfg.LineMode);
    emit writeCompleted(true);
}

void ConfigurationManager::setSensorsConfig(QMap<quint16, Konfig_Section_t> cfg)
{
    QDomElement s = section(sectionName(1));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("Sensor"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxSensors; ++it) {
        const Konfig_Section_t &rec = it.value();
        if (rec.DeviceType == DEV_NOT)
            break;
        QDomElement e = document.createElement(QStringLiteral("Sensor"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("SerialNo"), serialNumberToString(rec.SerialNo));
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("Range"), rec.Range);
        setNumber(e, QStringLiteral("LPF"), rec.LPF);
        setNumber(e, QStringLiteral("HPF"), rec.HPF);
        setNumber(e, QStringLiteral("DAF"), rec.DAF);
        if (rec.DeviceType == SECT_ACCI) {
            setNumber(e, QStringLiteral("ThrIR"), rec.ThrIR);
            setNumber(e, QStringLiteral("NExcIR"), rec.NExcIR);
            setNumber(e, QStringLiteral("RuleJP"), rec.RuleJP);
        }
        setNumber(e, QStringLiteral("RefCount"), rec.RefCount);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setIoModulesConfig(QMap<quint16, Konfig_MVV_t> cfg)
{
    QDomElement s = section(sectionName(2));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("IOModule"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxIoModules; ++it) {
        const Konfig_MVV_t &rec = it.value();
        if (rec.DeviceType == DEV_NOT)
            break;
        QDomElement e = document.createElement(QStringLiteral("IOModule"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("SerialNo"), serialNumberToString(rec.SerialNo));
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("CfgIO"), rec.CfgIO);
        setNumber(e, QStringLiteral("TSign"), rec.TSign);
        setNumber(e, QStringLiteral("RefCountL1"), rec.RefCountL1);
        setNumber(e, QStringLiteral("RefCountL2"), rec.RefCountL2);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setScpModulesConfig(QMap<quint16, Konfig_MKZ_t> cfg)
{
    QDomElement s = section(sectionName(3));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("SCPModule"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxScpModules; ++it) {
        const Konfig_MKZ_t &rec = it.value();
        if (rec.DeviceType == DEV_NOT)
            break;
        QDomElement e = document.createElement(QStringLiteral("SCPModule"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("SerialNo"), serialNumberToString(rec.SerialNo));
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("ThrMin"), rec.ThrMin);
        setNumber(e, QStringLiteral("ThrOff"), rec.ThrOff);
        setNumber(e, QStringLiteral("ThrOn"), rec.ThrOn);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setRelayModulesConfig(QMap<quint16, Konfig_Modul_t> cfg)
{
    QDomElement s = section(sectionName(5));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("RelayModule"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxRelayModules; ++it) {
        const Konfig_Modul_t &rec = it.value();
        if (rec.IPAddr == 0)
            continue;
        QDomElement e = document.createElement(QStringLiteral("RelayModule"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("IPAddr"), QHostAddress(rec.IPAddr).toString());
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("ExpMod"), rec.ExpMod);
        // Every relay the module has up to the last one in use: an entry
        // with relay number 0 may still carry an on-time set on the page.
        int relays = relaysOf(rec);
        while (relays > 0 && rec.Relays[relays - 1].RelayNum == 0 && rec.Relays[relays - 1].TSign == 0)
            --relays;
        for (int i = 0; i < relays; ++i) {
            QDomElement relay = document.createElement(QStringLiteral("Relay"));
            setNumber(relay, QStringLiteral("RelayNum"), rec.Relays[i].RelayNum);
            setNumber(relay, QStringLiteral("TSign"), rec.Relays[i].TSign);
            e.appendChild(relay);
        }
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

// One rule per sensor entry of the document: a rule whose NExc is 0 is a
// rule like any other, not the end of the table.
void ConfigurationManager::setProcessingConfig(QMap<quint16, Konfig_Proc_t> cfg)
{
    QDomElement s = section(sectionName(4));
    const QDomElement sensors = section(sectionName(1));
    if (!hasDocument() || s.isNull() || sensors.isNull()) {
        emit writeCompleted(false);
        return;
    }
    int count = 0;
    for (QDomElement e = sensors.firstChildElement(QStringLiteral("Sensor"));
         !e.isNull() && count < MaxRules; e = e.nextSiblingElement(QStringLiteral("Sensor"))) {
        ++count;
    }
    removeChildElements(s, QStringLiteral("Rule"));
    for (int key = 0; key < count; ++key) {
        const Konfig_Proc_t rec = cfg.value(quint16(key));
        QDomElement e = document.createElement(QStringLiteral("Rule"));
        setNumber(e, QStringLiteral("Addr"), key + 1);
        setNumber(e, QStringLiteral("MRef"), rec.MRef);
        setNumber(e, QStringLiteral("NExc"), rec.NExc);
        setNumber(e, QStringLiteral("SensLeft"), rec.SensLeft);
        setNumber(e, QStringLiteral("SensRight"), rec.SensRight);
        setNumber(e, QStringLiteral("Ratio"), rec.Ratio);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setInteractionsConfig(QMap<quint16, Control_Relay_t> cfg)
{
    QDomElement s = section(sectionName(6));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("Interaction"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxInteractions; ++it) {
        const Control_Relay_t &rec = it.value();
        if (rec.DeviceType == DEV_NOT)
            break;
        QDomElement e = document.createElement(QStringLiteral("Interaction"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("DestFunc"), rec.DestFunc);
        setNumber(e, QStringLiteral("DestRef"), rec.DestRef);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}
