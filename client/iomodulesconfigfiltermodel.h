#ifndef IOMODULESCONFIGFILTERMODEL_H
#define IOMODULESCONFIGFILTERMODEL_H

#include "fixedtablemodel.h"

// Hides the empty rows of IoModulesConfigModel (device type 0) on request.
class IoModulesConfigFilterModel : public FixedTableFilterModel
{
    Q_OBJECT
public:
    explicit IoModulesConfigFilterModel(QObject *parent = nullptr);
};

#endif // IOMODULESCONFIGFILTERMODEL_H
