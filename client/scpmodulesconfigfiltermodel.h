#ifndef SCPMODULESCONFIGFILTERMODEL_H
#define SCPMODULESCONFIGFILTERMODEL_H

#include "fixedtablemodel.h"

// Hides the empty rows of ScpModulesConfigModel (device type 0) on request.
class ScpModulesConfigFilterModel : public FixedTableFilterModel
{
    Q_OBJECT
public:
    explicit ScpModulesConfigFilterModel(QObject *parent = nullptr);
};

#endif // SCPMODULESCONFIGFILTERMODEL_H
