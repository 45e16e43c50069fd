#ifndef PROCESSINGCONFIGFILTERMODEL_H
#define PROCESSINGCONFIGFILTERMODEL_H

#include "fixedtablemodel.h"

// Hides the rows of ProcessingConfigModel that hold no rule (line address 0) on request.
class ProcessingConfigFilterModel : public FixedTableFilterModel
{
    Q_OBJECT
public:
    explicit ProcessingConfigFilterModel(QObject *parent = nullptr);
};

#endif // PROCESSINGCONFIGFILTERMODEL_H
