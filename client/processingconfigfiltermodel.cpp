#include "processingconfigfiltermodel.h"

ProcessingConfigFilterModel::ProcessingConfigFilterModel(QObject *parent)
    : FixedTableFilterModel(0, parent)
{
}
