#include "appglobals.h"

QSettings *appSettings = nullptr;
QString appDataPath;
