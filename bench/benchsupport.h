#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

// Waiting in the benchmarks: an event loop that sleeps until something
// happens, never a loop that polls and keeps a CPU busy.

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>

namespace Bench {

// Runs an event loop until `done` holds, looking again whenever `sender`
// emits `signal`; false when `timeoutMs` pass first.
template <typename Sender, typename Signal>
bool waitFor(const Sender *sender, Signal signal, const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(sender, signal, &loop, [&]() {
        if (done())
            loop.quit();
    });
    limit.start(timeoutMs);
    loop.exec();
    return done();
}

} // namespace Bench

#endif // BENCHSUPPORT_H
