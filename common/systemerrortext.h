#ifndef SYSTEMERRORTEXT_H
#define SYSTEMERRORTEXT_H

#include <QString>

// The reason of a failed file or socket operation as the user reads it: Qt
// passes the system's own (English) text through, so the common failures
// (no space, no access, no such file or folder, read-only, connection
// refused or reset) are given in Russian; any other text is returned as it is.
QString systemErrorText(const QString &systemText);

#endif // SYSTEMERRORTEXT_H
