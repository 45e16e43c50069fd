#ifndef CONFIGUREDPAGERIG_H
#define CONFIGUREDPAGERIG_H

// A configuration page shown over a client that has read the fake line
// controller's configuration, with the message boxes recorded; built anew
// for each test function. Header-only; the test sets up the quiet
// environment first.

#include <QApplication>
#include <QPushButton>
#include <QSize>

#include <memory>

#include "configuredclient.h"

namespace WindowTest {

template <typename Page>
struct ConfiguredPageRig
{
    // The page is shown before the read, so that it follows the read as a user sees it.
    bool open(const QSize &size)
    {
        config = std::make_unique<ConfiguredClient>();
        page = std::make_unique<Page>();
        page->resize(size);
        page->show();
        QApplication::setActiveWindow(page.get());
        if (!config->start())
            return false;
        boxes = std::make_unique<MessageBoxRecorder>();
        return true;
    }

    void close()
    {
        page.reset();
        boxes.reset();
        config.reset();
    }

    template <typename T> T *child(const char *name) const { return page->template findChild<T *>(QLatin1String(name)); }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }

    std::unique_ptr<ConfiguredClient> config;
    std::unique_ptr<MessageBoxRecorder> boxes;
    std::unique_ptr<Page> page;
};

} // namespace WindowTest

#endif // CONFIGUREDPAGERIG_H
