#include "appcontext.h"

#include "appglobals.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>

#include "lantrelclient.h"

namespace {
QPointer<LantrelClient> g_client;
bool g_waitCursor = false;
} // namespace

LantrelClient *appClient()
{
    return g_client.data();
}

void setAppClient(LantrelClient *client)
{
    g_client = client;
}

void showAppWaitCursor(bool show)
{
    if (show == g_waitCursor)
        return;
    if (show)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
    g_waitCursor = show;
}

bool appWaitCursorShown()
{
    return g_waitCursor;
}

QString rememberedFolder(const QString &key)
{
    const QString path = appSettings ? appSettings->value(key).toString() : QString();
    if (path.isEmpty() || !QDir(path).exists())
        return appDataPath;
    return path;
}

void rememberFolder(const QString &key, const QString &fileName)
{
    if (appSettings)
        appSettings->setValue(key, QFileInfo(fileName).absolutePath());
}

QString configFileFolder()
{
    return rememberedFolder(QStringLiteral("Common/LastPath"));
}

void rememberConfigFileFolder(const QString &fileName)
{
    rememberFolder(QStringLiteral("Common/LastPath"), fileName);
}

QByteArray readHexSetting(const QString &key)
{
    return QByteArray::fromHex(appSettings->value(key).toString().toLatin1());
}

void writeHexSetting(const QString &key, const QByteArray &data)
{
    appSettings->setValue(key, QString::fromLatin1(data.toHex().toUpper()));
}
