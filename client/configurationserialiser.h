#ifndef CONFIGURATIONSERIALISER_H
#define CONFIGURATIONSERIALISER_H

#include <QByteArray>
#include <QDomDocument>

namespace ConfigFile {

// The bytes of a configuration file: UTF-8 with a byte-order mark and its
// declaration, indent 2, the attributes of each element in a fixed order.
QByteArray serialise(const QDomDocument &document);

} // namespace ConfigFile

#endif // CONFIGURATIONSERIALISER_H
