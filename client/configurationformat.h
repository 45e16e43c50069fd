#ifndef CONFIGURATIONFORMAT_H
#define CONFIGURATIONFORMAT_H

#include <QString>

// The shape of a configuration file: its root, its sections and the limits
// that the reader, the value rules and the writer share.
namespace ConfigFile {

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

// The attributes the program writes.
bool isKnownAttribute(const char *name, int size);

extern const char RootName[];

QString sectionName(int i);
const int SectionCount = 7;

QString missingSectionText(int i);

// The table a section holds, as the user is told of it: "модулей ПС-Л" (the
// words after "таблица"); empty for the controller's section.
QString tableName(int section);

} // namespace ConfigFile

#endif // CONFIGURATIONFORMAT_H
