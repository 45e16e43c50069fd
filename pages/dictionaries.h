#ifndef DICTIONARIES_H
#define DICTIONARIES_H

#include <QMap>
#include <QString>

// Codes and their texts that several pages show and edit: the controller's
// defaults for new sensor modules use the same codes as the sensor modules,
// and its input loops the same modes as those of the I/O modules.
namespace Dictionaries {

QMap<int, QString> loopModes();
QMap<int, QString> accelerationRanges();
QMap<int, QString> lowPassFilters();
QMap<int, QString> highPassFilters();
// Joint processing of the vibration and infrared channels.
QMap<int, QString> jointRules();

} // namespace Dictionaries

#endif // DICTIONARIES_H
