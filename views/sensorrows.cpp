#include "sensorrows.h"

SensorModuleRecord sensorAtRow(const SensorsConfigModel &sensors, int row)
{
    if (row < 0 || row >= sensors.rowCount())
        return SensorModuleRecord();
    return sensors.moduleAt(ushort(row));
}

QVector<SensorModuleRecord> occupiedSensorRows(const SensorsConfigModel &sensors)
{
    QVector<SensorModuleRecord> rows;
    for (int row = 0;; ++row) {
        SensorModuleRecord rec = sensorAtRow(sensors, row);
        if (rec.lineAddress == 0)
            return rows;
        rows.append(std::move(rec));
    }
}
