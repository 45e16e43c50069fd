#include "configurationvalues.h"

#include <QHostAddress>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <limits>

#include "configurationformat.h"
#include "configurationparser.h"
#include "ipv4text.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace ConfigFile {

namespace {

bool isXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
           || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Digits only, into 64 bits; no locale and no copy, for every number of a file.
bool parseDigits(const QString &text, quint64 &value)
{
    value = 0;
    if (text.isEmpty() || text.size() > 20)
        return false;
    quint64 result = 0;
    for (const QChar ch : text) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
        const quint64 digit = ch.unicode() - '0';
        if (result > (std::numeric_limits<quint64>::max() - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

// The document is built in one pass without line numbers; a message about
// a bad value finds its line by running that same parse again, so that both
// agree on the tree.
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
    int line = 0;
    parseChecked(source, parsed, &path, &line);
    return line;
}

} // namespace

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

quint64 ValueReader::number(const QDomElement &e, const QString &name, quint64 max)
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

qint64 ValueReader::signedNumber(const QDomElement &e, const QString &name, qint64 min, qint64 max)
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
quint32 ValueReader::serial(const QDomElement &e, const QString &name)
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

quint32 ValueReader::ipv4(const QDomElement &e, const QString &name)
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
void ValueReader::mac(const QDomElement &e, const QString &name, quint8 *out)
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
quint16 ValueReader::version(const QDomElement &e, const QString &name)
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
void ValueReader::controllerSerial(const QDomElement &e, const QString &name, Info_Device_t &info)
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

void ValueReader::badValue(const QDomElement &e, const QString &name)
{
    if (failed())
        return;
    error = QStringLiteral("Ошибка конфигурации: недопустимое значение атрибута %1 элемента %2 "
                           "(%3): «%4»")
                .arg(name, e.tagName(), placeOf(e), e.attribute(name).left(64));
}

void ValueReader::tooMany(const QDomElement &parent, const QString &child, int max)
{
    if (failed())
        return;
    error = QStringLiteral("Ошибка конфигурации: в узле %1 (%2) больше %3 элементов %4")
                .arg(parent.tagName(), placeOf(parent))
                .arg(max)
                .arg(child);
}

QString ValueReader::placeOf(const QDomElement &e) const
{
    if (!namesRows)
        return QStringLiteral("строка %1").arg(lineOf(e));
    const QDomElement root = e.ownerDocument().documentElement();
    const auto sectionIndex = [](const QDomElement &section) {
        int index = 0;
        while (index < SectionCount && section.tagName() != sectionName(index))
            ++index;
        return index;
    };
    if (e.parentNode() == root) {
        const int index = sectionIndex(e);
        if (index == 0)
            return QStringLiteral("параметры ЦУ-Л");
        return index < SectionCount ? QStringLiteral("таблица %1").arg(tableName(index)) : e.tagName();
    }
    // A section's entry, or an element within one (a relay of a relay
    // module): the row is the entry's, which the writers give as Addr.
    QDomElement entry = e;
    while (!entry.parentNode().parentNode().isNull() && entry.parentNode().parentNode() != root)
        entry = entry.parentNode().toElement();
    const int index = sectionIndex(entry.parentNode().toElement());
    bool ok = false;
    int row = entry.attribute(QStringLiteral("Addr")).toInt(&ok);
    if (!ok || row < 1) {
        row = 1;
        for (QDomElement before = entry.previousSiblingElement(entry.tagName()); !before.isNull();
             before = before.previousSiblingElement(entry.tagName()))
            ++row;
    }
    if (index == 0 || index == SectionCount)
        return QStringLiteral("элемент %1 узла %2").arg(row).arg(entry.parentNode().toElement().tagName());
    return QStringLiteral("строка %1 таблицы %2").arg(row).arg(tableName(index));
}

int ValueReader::lineOf(const QDomNode &node) const
{
    if (node.lineNumber() > 0 || !source)
        return node.lineNumber();
    return sourceLine(*source, node);
}

// Line addresses of the modules in use.
void checkLineAddress(ValueReader &r, const QDomElement &e, quint8 deviceType, quint16 lineAddr)
{
    if (deviceType != DEV_NOT && (lineAddr < 1 || lineAddr > MaxLineAddress))
        r.badValue(e, QStringLiteral("LineAddr"));
}

void readController(const QDomElement &c, ValueReader &r, ControllerData &out)
{
    out.info.DeviceType = quint32(r.number(c, QStringLiteral("DeviceType"), 0xFFFFFFFFu));
    r.controllerSerial(c, QStringLiteral("SerialNo"), out.info);
    out.info.PCBVer = r.version(c, QStringLiteral("PCBVer"));
    out.info.FwVer = r.version(c, QStringLiteral("FwVer"));
    out.fwDate = QDate::fromString(c.attribute(QStringLiteral("FwDate")), QStringLiteral("dd.MM.yyyy"));

    // Kept whole, however long: the controller is sent its first bytes only.
    out.blockId = c.attribute(QStringLiteral("BlockID")).toUtf8();

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
QString checkValues(const QDomDocument &doc, const QByteArray &source, bool namesRows)
{
    const QDomElement root = doc.documentElement();
    ValueReader r(&source);
    if (namesRows)
        r.nameTableRows();
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

} // namespace ConfigFile
