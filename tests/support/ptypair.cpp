#include "ptypair.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>

PtyPair::PtyPair(QObject *parent)
    : QObject(parent)
    , m_process(new QProcess(this))
{
}

PtyPair::~PtyPair()
{
    stop();
}

bool PtyPair::start(int timeoutMs)
{
    stop();
    m_first.clear();
    m_second.clear();
    m_error.clear();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setReadChannel(QProcess::StandardError);
    m_process->start(QStringLiteral("socat"),
                     {QStringLiteral("-d"), QStringLiteral("-d"),
                      QStringLiteral("pty,raw,echo=0"), QStringLiteral("pty,raw,echo=0")});
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = m_process->errorString();
        return false;
    }
    static const QRegularExpression ptyRe(QStringLiteral("PTY is (\\S+)"));
    QString text;
    QDeadlineTimer deadline(timeoutMs);
    bool loopStarted = false;
    while (!deadline.hasExpired()) {
        if (!m_process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))
            && m_process->state() != QProcess::Running)
            break;
        text += QString::fromLocal8Bit(m_process->readAllStandardError());
        QStringList found;
        auto it = ptyRe.globalMatch(text);
        while (it.hasNext())
            found << it.next().captured(1);
        loopStarted = text.contains(QLatin1String("starting data transfer loop"));
        if (found.size() >= 2 && loopStarted) {
            m_first = found.at(0);
            m_second = found.at(1);
            return true;
        }
    }
    m_error = QStringLiteral("socat gave no pseudo-terminals: ") + text;
    stop();
    return false;
}

void PtyPair::stop()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(2000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
}
