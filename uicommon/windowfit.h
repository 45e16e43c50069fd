#ifndef WINDOWFIT_H
#define WINDOWFIT_H

#include <QSize>
#include <QString>

class QWidget;

// What the window manager adds around a window: a title bar with an icon and
// its buttons beside the title, and borders. Windows sized before they are
// shown allow for it, so that they fit a small screen and show their title.
namespace WindowFit {

// The width a title bar needs for `title` whole, beside its icon and buttons.
int titleBarWidth(const QWidget *window, const QString &title);

// The frame around `window`: the real one once the window manager has put it
// there, else what a usual title bar and borders take.
QSize frameSize(const QWidget *window);

// `size` made no larger than the free part of the screen, frame included.
QSize boundedToScreen(const QWidget *window, const QSize &size);

// The width `window` takes to show its whole title, as far as the screen allows.
int widthForTitle(const QWidget *window);
// Widens `window` (not yet shown) to widthForTitle.
void widenForTitle(QWidget *window);

} // namespace WindowFit

#endif // WINDOWFIT_H
