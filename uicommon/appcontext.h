#ifndef APPCONTEXT_H
#define APPCONTEXT_H

#include <QByteArray>
#include <QString>

class LantrelClient;

// What the pages and views need of the application controller. The
// controller (or a test) sets the client once; windows outside app/ reach it
// here, so they never depend on app/.
LantrelClient *appClient();
void setAppClient(LantrelClient *client);

// The one switch of the application-wide wait cursor: it changes the cursor
// only when the requested state differs, so requests never stack.
void showAppWaitCursor(bool show);
bool appWaitCursorShown();

// The folder a file dialog opens in: the one remembered under `key` while it
// still exists, else the program's data folder.
QString rememberedFolder(const QString &key);
// Remembers the folder of `fileName` under `key`.
void rememberFolder(const QString &key, const QString &fileName);

// The configuration and CSV files' folder ("Common/LastPath").
QString configFileFolder();
void rememberConfigFileFolder(const QString &fileName);

// Window geometry and other state kept as upper-case hexadecimal text under
// `key` of the settings group in effect; empty when nothing is stored.
QByteArray readHexSetting(const QString &key);
void writeHexSetting(const QString &key, const QByteArray &data);

#endif // APPCONTEXT_H
