#include "windowfit.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace WindowFit {
namespace {

// Window managers draw the title in bold, in a font near the program's.
QFont titleFont(const QWidget *window)
{
    QFont font = window->font();
    font.setBold(true);
    return font;
}

int titleBarHeight(const QWidget *window)
{
    return QFontMetrics(titleFont(window)).height() + 8;
}

QRect availableGeometry(const QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

int titleBarWidth(const QWidget *window, const QString &title)
{
    // The icon, iconify, maximize and close: square buttons as high as the
    // bar, and the margins between them.
    return QFontMetrics(titleFont(window)).horizontalAdvance(title) + 4 * titleBarHeight(window) + 24;
}

QSize frameSize(const QWidget *window)
{
    if (window->isVisible()) {
        const QSize frame = window->frameGeometry().size() - window->geometry().size();
        if (!frame.isEmpty())
            return frame;
    }
    const int border = 4;
    return QSize(2 * border, titleBarHeight(window) + 2 * border);
}

QSize boundedToScreen(const QWidget *window, const QSize &size)
{
    const QRect screen = availableGeometry(window);
    if (screen.isEmpty())
        return size;
    return size.boundedTo(screen.size() - frameSize(window)).expandedTo(window->minimumSize());
}

int widthForTitle(const QWidget *window)
{
    const int width = titleBarWidth(window, window->windowTitle());
    const QRect screen = availableGeometry(window);
    return screen.isEmpty() ? width : qMin(width, screen.width() - frameSize(window).width());
}

void widenForTitle(QWidget *window)
{
    window->setMinimumWidth(qMax(window->minimumWidth(), widthForTitle(window)));
}

} // namespace WindowFit
