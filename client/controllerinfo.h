#ifndef CONTROLLERINFO_H
#define CONTROLLERINFO_H

#include <QString>

// The controller's identity as the windows show it. Plain value, passed by
// direct calls within the GUI thread only (not a meta-type).
struct ControllerInfo
{
    int deviceType = 0;
    QString serialNumber;      // serialNumberToString()
    QString boardVersion;      // versionToString()
    QString firmwareVersion;   // versionToString()
    QString firmwareDate;      // "dd.MM.yyyy"
};

#endif // CONTROLLERINFO_H
