#include "scpmodulesconfigfiltermodel.h"

ScpModulesConfigFilterModel::ScpModulesConfigFilterModel(QObject *parent)
    : FixedTableFilterModel(1, parent)
{
}
