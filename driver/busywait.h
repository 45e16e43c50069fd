#ifndef BUSYWAIT_H
#define BUSYWAIT_H

#include <QString>
#include <QtGlobal>

// Waiting out a Modbus server that answers "not now": which exception
// answers are worth sending the request again, how far apart the re-sends
// go, and when the request is given up, counted from the first such answer
// (a slow server must not stretch the wait by its own slowness).
class BusyWait
{
public:
    static constexpr int RetryDelayMs = 20;
    static constexpr int DefaultLimitMs = 10000;

    explicit BusyWait(int limitMs = DefaultLimitMs) : m_limitMs(qMax(0, limitMs)) {}

    // An exception answer (code -1: one without a code) that asks for the
    // request again rather than refusing it: codes 4 to 127, and none.
    static bool retryable(int code) { return code < 0 || (code >= 4 && code <= 127); }
    // The codes that say in so many words that the server is busy.
    static bool busyCode(int code) { return code == 5 || code == 6; }

    // One more "not now" answer at `nowMs`; true once the time since the
    // first of them has reached the limit.
    bool tooLong(qint64 nowMs)
    {
        if (m_sinceMs < 0)
            m_sinceMs = nowMs;
        return nowMs - m_sinceMs >= m_limitMs;
    }
    // An answer with data ends the wait.
    void reset() { m_sinceMs = -1; }
    bool waiting() const { return m_sinceMs >= 0; }

    int limitMs() const { return m_limitMs; }
    void setLimitMs(int ms) { m_limitMs = qMax(0, ms); }
    // "ЦУ-Л отвечает, но остаётся занятым"
    static QString busyText(const QString &device);
    // "ЦУ-Л отвечает, но остаётся занятым: запрос не выполнен за 10 с"
    QString giveUpText(const QString &device, const QString &what = QString()) const;
    // The limit in seconds as the locale writes it.
    QString limitText() const;

private:
    qint64 m_sinceMs = -1;
    int m_limitMs;
};

#endif // BUSYWAIT_H
