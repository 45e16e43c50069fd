#ifndef APPGLOBALS_H
#define APPGLOBALS_H

#include <QString>

class QSettings;

// The program's one settings object (INI, UTF-8); null until the application
// controller creates it, owned by that controller.
extern QSettings *appSettings;

// Per-user data folder (generic data location + "/Kestu/Lantrel"); empty until
// the application controller sets it at start-up.
extern QString appDataPath;

#endif // APPGLOBALS_H
