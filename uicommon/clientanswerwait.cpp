#include "clientanswerwait.h"

#include <QEventLoop>
#include <QTimer>

#include "lantrelclient.h"

ClientAnswerWait::ClientAnswerWait(LantrelClient *client, AnswerSignal answer, QObject *owner, int timeLimitMs)
    : m_client(client)
    , m_signal(answer)
    , m_owner(owner)
    , m_timeLimitMs(timeLimitMs)
{
}

ClientAnswerWait::Outcome ClientAnswerWait::run(const std::function<void()> &call)
{
    m_answer = false;
    // Without a driver the client accepts no call and never answers.
    if (!m_client || !m_client->hasDriver())
        return LinkLost;

    QEventLoop loop;
    bool ended = false;
    Outcome outcome = TimedOut;
    const auto end = [&](Outcome o) {
        if (ended)
            return;
        ended = true;
        outcome = o;
        loop.quit();
    };
    QObject::connect(m_client, m_signal, &loop, [&](bool ok) {
        if (!ended)
            m_answer = ok;
        end(Answered);
    });
    QObject::connect(m_client, &LantrelClient::deviceDisconnected, &loop, [&]() { end(LinkLost); });
    QObject::connect(m_client, &LantrelClient::driverStopped, &loop, [&]() { end(LinkLost); });
    QObject::connect(m_client, &QObject::destroyed, &loop, [&]() { end(LinkLost); });
    QObject::connect(m_client, &LantrelClient::deviceRebooted, &loop, [&]() { end(Restarted); });
    if (m_owner)
        QObject::connect(m_owner, &QObject::destroyed, &loop, [&]() { end(OwnerGone); });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&]() { end(TimedOut); });
    limit.start(m_timeLimitMs);

    call();
    if (!ended)
        loop.exec();
    return outcome;
}
