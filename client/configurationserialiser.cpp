#include "configurationserialiser.h"

#include <QHash>
#include <QStringList>
#include <QVector>

#include <algorithm>

namespace ConfigFile {

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

} // namespace

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

} // namespace ConfigFile
