#ifndef TEXTLOGGER_H
#define TEXTLOGGER_H

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>

class QFile;
class QTimer;

// Appends lines (UTF-8, no BOM, flushed per line) to one log file and keeps it
// within a size limit by rotating it. Used in the thread it lives in.
class TextLogger : public QObject
{
    Q_OBJECT
public:
    enum RotationMode {
        SingleFile = 0,   // dir/fileName, emptied at the limit
        NumberedRing = 1, // dir/base_NNN.suffix, moves on to the next number at the limit
        Shift = 2         // dir/fileName, older files shift up, current becomes _001
    };

    TextLogger(const QString &fileName, const QString &dir, int mode, qint64 maxSize,
               int maxCount, QObject *parent = nullptr);
    ~TextLogger() override;

    // Set once, before enabling; an empty format means no time prefix.
    void setTimeFormat(const QString &format);
    void setEnabled(bool enable);

    // Flushes and closes the file if it is open. Does not lock: the caller
    // holds the logger's mutex or is the only user of the logger.
    void close();

    bool isOpen() const { return m_isOpen; }
    int mode() const { return m_mode; }
    qint64 maxSize() const { return m_maxSize; }
    int maxCount() const { return m_maxCount; }
    QString filePath() const { return m_filePath; }
    QString timeFormat() const { return m_timeFormat; }

public slots:
    void write(const QString &text);
    void write(const QDateTime &dt, const QString &text);

private:
    void checkSize();
    bool rotateShift();
    void rotateRing();
    void writeLine(const QString &line);
    QString numberedPath(int number) const;
    bool openFile(bool truncate);
    // Makes path (made absolute) the current log file.
    void useFile(const QString &path);

    int m_mode;
    QString m_fileName;
    QString m_dir;
    qint64 m_maxSize;
    int m_maxCount;
    QString m_timeFormat;
    QString m_filePath;
    int m_ringIndex = 0;
    std::atomic<bool> m_isOpen{false};
    bool m_enabled = false; // setEnabled(true) succeeded and was not undone
    QFile *m_file = nullptr;
    QTimer *m_sizeTimer = nullptr;
    QMutex m_mutex;
};

#endif // TEXTLOGGER_H
