#include "iomodulesconfigfiltermodel.h"

IoModulesConfigFilterModel::IoModulesConfigFilterModel(QObject *parent)
    : FixedTableFilterModel(1, parent)
{
}
