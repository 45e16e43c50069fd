#include "sensorsconfigfiltermodel.h"

SensorsConfigFilterModel::SensorsConfigFilterModel(QObject *parent)
    : FixedTableFilterModel(1, parent)
{
}
