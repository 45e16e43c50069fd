#ifndef CLIENTANSWERWAIT_H
#define CLIENTANSWERWAIT_H

#include <functional>

class LantrelClient;
class QObject;

// A window's wait for the client's answer to a call made by name. The wait
// runs a local event loop, so the program stays live, and it always ends: on
// the answer, when the link is lost or the driver stops, when the controller
// restarts, when the waiting window goes, or when the time limit passes.
class ClientAnswerWait
{
public:
    enum Outcome { Answered, LinkLost, Restarted, OwnerGone, TimedOut };
    using AnswerSignal = void (LantrelClient::*)(bool);

    ClientAnswerWait(LantrelClient *client, AnswerSignal answer, QObject *owner, int timeLimitMs);

    // Makes the call and waits. The call must be queued (a call by name), so
    // that its answer cannot come before the wait has started.
    Outcome run(const std::function<void()> &call);
    // The answer; false unless the outcome is Answered.
    bool answer() const { return m_answer; }

private:
    LantrelClient *m_client;
    AnswerSignal m_signal;
    QObject *m_owner;
    int m_timeLimitMs;
    bool m_answer = false;
};

#endif // CLIENTANSWERWAIT_H
