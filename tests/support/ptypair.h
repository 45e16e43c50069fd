#ifndef PTYPAIR_H
#define PTYPAIR_H

// A connected pair of pseudo-terminals made by socat, standing in for an
// RS-485 line: what is written to one end is read at the other. socat is
// killed when the pair is destroyed.

#include <QObject>
#include <QString>

class QProcess;

class PtyPair : public QObject
{
    Q_OBJECT
public:
    explicit PtyPair(QObject *parent = nullptr);
    ~PtyPair() override;

    bool start(int timeoutMs = 5000);
    void stop();
    QString first() const { return m_first; }
    QString second() const { return m_second; }
    QString errorText() const { return m_error; }

private:
    QProcess *m_process;
    QString m_first;
    QString m_second;
    QString m_error;
};

#endif // PTYPAIR_H
