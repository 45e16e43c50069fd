#ifndef DEVICETABLES_H
#define DEVICETABLES_H

#include <QHash>
#include <QLatin1String>
#include <QString>

// Program-wide constant tables, built before main() and only looked up by key
// (value() of a missing key gives an empty text).

// Device type (Dev_Type_t) to model designation.
extern const QHash<quint8, QString> deviceTypeNames;
// Device type (Dev_Type_t) to resource image.
extern const QHash<quint8, QString> deviceTypeImages;
// Module state flag (0 or a single bit 2^0..2^17) to a colour name for QColor.
extern const QHash<int, QLatin1String> stateColorNames;
// Executor function (Control_Relay_t::DestFunc: 0, 1 = formula, 255 = timed) to text.
// Callers map every DestFunc from 1 to 254 to key 1.
extern const QHash<quint8, QString> relayModeNames;
// Short form; the caller appends the formula number or the time.
extern const QHash<quint8, QString> relayModeShortNames;

#endif // DEVICETABLES_H
