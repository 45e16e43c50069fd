#ifndef SENSORSCONFIGFILTERMODEL_H
#define SENSORSCONFIGFILTERMODEL_H

#include "fixedtablemodel.h"

// Hides the empty rows of SensorsConfigModel (device type 0) on request.
class SensorsConfigFilterModel : public FixedTableFilterModel
{
    Q_OBJECT
public:
    explicit SensorsConfigFilterModel(QObject *parent = nullptr);
};

#endif // SENSORSCONFIGFILTERMODEL_H
