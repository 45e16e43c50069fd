#ifndef FIFOTESTSUPPORT_H
#define FIFOTESTSUPPORT_H

// A named pipe for the tests of files that are not regular files. Opening
// it for reading blocks until a writer comes; should the code under test do
// that, the guard comes as the writer after a while, so the test fails
// instead of hanging. Header-only, POSIX.

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FifoTest {

class Guard
{
public:
    explicit Guard(const QString &path, int releaseAfterMs = 3000)
        : m_path(QFile::encodeName(path))
    {
        m_valid = ::mkfifo(m_path.constData(), 0600) == 0;
        if (!m_valid)
            return;
        m_thread = std::thread([this, releaseAfterMs]() {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_cv.wait_for(lock, std::chrono::milliseconds(releaseAfterMs), [this]() { return m_stop; }))
                return;
            while (!m_stop) {
                // Succeeds only while someone waits to read.
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    m_released = true;
                    ::close(fd);
                }
                m_cv.wait_for(lock, std::chrono::milliseconds(100), [this]() { return m_stop; });
            }
        });
    }

    ~Guard()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;

    bool isValid() const { return m_valid; }
    // A reader blocked on the pipe and had to be let go.
    bool released() const { return m_released; }

private:
    QByteArray m_path;
    bool m_valid = false;
    std::atomic<bool> m_released {false};
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::thread m_thread;
};

} // namespace FifoTest

#endif // FIFOTESTSUPPORT_H
