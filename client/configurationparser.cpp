#include "configurationparser.h"

#include <QHash>
#include <QSet>
#include <QStringView>
#include <QVector>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>

#include "configurationformat.h"

namespace ConfigFile {

// A file the XML parser refuses, in words for the user: where, then the
// parser's own words.
QString parseErrorText()
{
    return QStringLiteral("Файл не является файлом конфигурации ИОП: ошибка разбора XML в строке %1, "
                          "колонке %2. %3");
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

namespace {

// Names and small numbers repeat thousands of times in a file. The document
// holds one shared string for each rather than a copy per node: the memory
// of those copies, and the system's time to hand it out, was most of a parse.
class SharedTexts
{
public:
    struct Name
    {
        QString text;
        bool known = false;  // an attribute the program writes
    };

    // Looks a name up without making a string of it first; names past the
    // first few hundred (no file of the program has them) are not kept.
    Name name(const QStringRef &ref)
    {
        const auto it = names.constFind(QStringView(ref));
        if (it != names.constEnd())
            return *it;
        Name made;
        made.text = ref.toString();
        const QByteArray latin1 = made.text.toLatin1();
        made.known = isKnownAttribute(latin1.constData(), latin1.size());
        if (names.size() < MaxKeptNames)
            names.insert(QStringView(made.text), made);
        return made;
    }

    // Values of up to three digits are shared; others are copied.
    QString value(const QStringRef &ref)
    {
        const int size = ref.size();
        if (size == 0 || size > 3)
            return ref.toString();
        int index = 0;
        for (const QChar ch : ref) {
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                return ref.toString();
            index = index * 10 + (ch.unicode() - '0');
        }
        // "7", "07" and "007" are three texts: one block of slots per length.
        index += size == 1 ? 0 : size == 2 ? 10 : 110;
        QString &shared = numbers[index];
        if (shared.isNull())
            shared = ref.toString();
        return shared;
    }

private:
    static constexpr int MaxKeptNames = 512;
    QHash<QStringView, Name> names;
    QString numbers[10 + 100 + 1000];
};

} // namespace

// Parses the bytes into `doc` in one pass and refuses, on the way, trees too
// deep or too large to hold as a document. Table entries in their sections
// are limited by kind; every other node (and every attribute the program
// does not write) counts against one common limit. The tree is the one the
// DOM's own parser makes: text of white space only is dropped.
QString parseChecked(const QByteArray &bytes, QDomDocument &doc, const QVector<int> *findPath, int *foundLine)
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
    // Child counts of the open nodes and the child indexes down to the
    // current element, to tell the line of the element at findPath.
    QVector<int> childCounts(1, 0);
    QVector<int> path;
    // Per open element: 0 other, 1 root, 2 a section as the readers find
    // it, 3 a table entry, 4 a relay of a relay-module entry.
    QVector<int> roles;
    QVector<int> entryKinds;  // kind of each open section or entry
    QSet<QString> sectionsSeen;
    SharedTexts shared;
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
                ++childCounts.last();
            }
        } else if (token == QXmlStreamReader::StartElement) {
            if (roles.size() >= MaxNestingDepth) {
                return QStringLiteral("Ошибка конфигурации: слишком глубокая вложенность элементов "
                                      "(строка %1)")
                    .arg(xml.lineNumber());
            }
            const QString name = shared.name(xml.qualifiedName()).text;
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
                const SharedTexts::Name attributeName = shared.name(a.qualifiedName());
                if (role == 0 || !attributeName.known)
                    ++others;
                element.setAttribute(attributeName.text, shared.value(a.value()));
            }
            parentNode = parentNode.appendChild(element);
            path.append(childCounts.last()++);
            childCounts.append(0);
            if (findPath && foundLine && path == *findPath)
                *foundLine = int(xml.lineNumber());
        } else if (token == QXmlStreamReader::EndElement) {
            roles.removeLast();
            entryKinds.removeLast();
            parentNode = parentNode.parentNode();
            path.removeLast();
            childCounts.removeLast();
        } else if (token == QXmlStreamReader::Characters) {
            // Indentation makes no nodes of the document.
            if (xml.isCDATA()) {
                ++others;
                parentNode.appendChild(doc.createCDATASection(xml.text().toString()));
                ++childCounts.last();
            } else if (!xml.isWhitespace()) {
                ++others;
                // One text node, however the reader splits the text.
                QDomNode last = parentNode.lastChild();
                if (last.isText() && !last.isCDATASection()) {
                    last.toText().appendData(xml.text().toString());
                } else {
                    parentNode.appendChild(doc.createTextNode(xml.text().toString()));
                    ++childCounts.last();
                }
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
            ++childCounts.last();
        } else if (token == QXmlStreamReader::ProcessingInstruction) {
            ++others;
            parentNode.appendChild(doc.createProcessingInstruction(xml.processingInstructionTarget().toString(),
                                                                   xml.processingInstructionData().toString()));
            ++childCounts.last();
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

} // namespace ConfigFile
