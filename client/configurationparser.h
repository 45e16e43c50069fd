#ifndef CONFIGURATIONPARSER_H
#define CONFIGURATIONPARSER_H

#include <QByteArray>
#include <QDomDocument>
#include <QString>
#include <QVector>

// Turns the bytes of a configuration file into a document, refusing on the
// way what is too large or too deep to hold as one.
namespace ConfigFile {

// A file the XML parser refuses, in words for the user: where, then the
// parser's own words.
QString parseErrorText();

// Counts the attributes of each start tag in the raw bytes, ahead of any
// parser; empty when no element has too many.
QString checkAttributeCounts(const QByteArray &bytes);

// Parses the bytes into `doc` in one pass; empty when it succeeded. The
// document holds no line numbers: given the child indexes of an element from
// the document node down, *foundLine is set to the line it starts on.
QString parseChecked(const QByteArray &bytes, QDomDocument &doc, const QVector<int> *findPath = nullptr,
                     int *foundLine = nullptr);

} // namespace ConfigFile

#endif // CONFIGURATIONPARSER_H
