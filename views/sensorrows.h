#ifndef SENSORROWS_H
#define SENSORROWS_H

#include <QVector>

#include "sensorsconfigmodel.h"

// The client relays sensor samples and infrared levels in the order of the
// controller's sensor table: value k of a batch belongs to the sensor in row
// first + k, whatever its line address. Occupied rows come first; the first
// empty row ends them.

// The sensor of `row`; an empty record beyond the table.
SensorModuleRecord sensorAtRow(const SensorsConfigModel &sensors, int row);

// The occupied rows, in table order.
QVector<SensorModuleRecord> occupiedSensorRows(const SensorsConfigModel &sensors);

// Hands each value of a batch to take(lineAddress, value) with the address
// of its own row; an empty row ends the batch (the rest is dropped). True
// when the batch reached the end of the occupied rows.
template <typename Take>
bool forEachSensorValue(const SensorsConfigModel &sensors, ushort first, const QVector<quint16> &values,
                        Take take)
{
    int row = first;
    for (const quint16 value : values) {
        const quint16 address = sensorAtRow(sensors, row).lineAddress;
        if (address == 0)
            return true;
        take(address, value);
        ++row;
    }
    return sensorAtRow(sensors, row).lineAddress == 0;
}

#endif // SENSORROWS_H
