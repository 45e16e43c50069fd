#include "textlogger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTextStream>
#include <QTimer>

namespace {
constexpr qint64 defaultMaxSize = 20971520; // 20 MiB
constexpr int defaultMaxCount = 20;
constexpr int sizeCheckInterval = 1000;
} // namespace

TextLogger::TextLogger(const QString &fileName, const QString &dir, int mode, qint64 maxSize,
                       int maxCount, QObject *parent)
    : QObject(parent)
    , m_mode(mode)
    , m_fileName(fileName)
    , m_dir(dir)
    , m_maxSize(maxSize)
    , m_maxCount(maxCount)
{
    m_file = new QFile(this);
    // Every close, however caused, clears the flag.
    connect(m_file, &QIODevice::aboutToClose, this, [this] { m_isOpen = false; });

    if (m_mode == SingleFile) {
        if (m_maxSize < 0)
            m_maxSize = 0;
        m_maxCount = 1;
    } else {
        if (m_maxSize <= 0)
            m_maxSize = defaultMaxSize;
        if (m_maxCount <= 1)
            m_maxCount = defaultMaxCount;
    }

    QString path = m_dir + QLatin1Char('/') + m_fileName;
    if (m_maxSize >= 1) {
        m_sizeTimer = new QTimer(this);
        m_sizeTimer->setTimerType(Qt::VeryCoarseTimer);
        connect(m_sizeTimer, &QTimer::timeout, this, &TextLogger::checkSize);
        if (m_mode == NumberedRing) {
            // Continue the newest numbered file; of equally new ones the lowest number.
            m_ringIndex = 1;
            qint64 newest = 0;
            for (int i = m_maxCount; i >= 1; --i) {
                const QFileInfo info(numberedPath(i));
                if (!info.exists())
                    continue;
                const qint64 modified = info.lastModified().toMSecsSinceEpoch();
                if (modified >= newest) {
                    newest = modified;
                    m_ringIndex = i;
                }
            }
            path = numberedPath(m_ringIndex);
        }
    }
    useFile(path);
}

TextLogger::~TextLogger()
{
    if (m_sizeTimer)
        m_sizeTimer->stop();
    QMutexLocker locker(&m_mutex);
    close();
}

void TextLogger::setTimeFormat(const QString &format)
{
    m_timeFormat = format;
}

void TextLogger::setEnabled(bool enable)
{
    if (enable) {
        if (m_isOpen)
            return;
        // A file already at the limit is rotated (and reopened) first.
        checkSize();
        if (!m_isOpen) {
            QMutexLocker locker(&m_mutex);
            m_isOpen = openFile(false);
        }
        m_enabled = m_isOpen;
        if (m_isOpen && m_sizeTimer)
            m_sizeTimer->start(sizeCheckInterval);
    } else {
        if (m_sizeTimer)
            m_sizeTimer->stop();
        m_enabled = false;
        QMutexLocker locker(&m_mutex);
        close();
    }
}

void TextLogger::close()
{
    if (m_file->isOpen()) {
        m_file->flush();
        m_file->close();
    }
}

void TextLogger::write(const QString &text)
{
    if (!m_isOpen || text.isEmpty())
        return;
    if (!m_timeFormat.isEmpty())
        write(QDateTime::currentDateTime(), text);
    else
        writeLine(text);
}

void TextLogger::write(const QDateTime &dt, const QString &text)
{
    if (!m_isOpen || text.isEmpty())
        return;
    if (!m_timeFormat.isEmpty())
        writeLine(dt.toString(m_timeFormat) + QLatin1Char('\t') + text);
    else
        writeLine(text);
}

void TextLogger::checkSize()
{
    if (m_maxSize == 0)
        return;
    const qint64 size = QFileInfo(m_filePath).size();
    QMutexLocker locker(&m_mutex);
    if (size < m_maxSize) {
        // An earlier reopen failed: keep trying while the owner wants the log.
        if (m_enabled && !m_isOpen)
            m_isOpen = openFile(false);
        return;
    }
    close();
    bool fresh = true;
    if (m_mode == NumberedRing)
        rotateRing();
    else if (m_mode == Shift)
        fresh = rotateShift();
    // When the current file could not be moved aside, keep its contents and
    // try the rotation again at the next check.
    m_isOpen = openFile(fresh);
}

bool TextLogger::rotateShift()
{
    const QString last = numberedPath(m_maxCount);
    if (QFileInfo::exists(last))
        QFile::remove(last);
    for (int i = m_maxCount - 1; i >= 1; --i) {
        const QString from = numberedPath(i);
        if (QFileInfo::exists(from))
            QFile::rename(from, numberedPath(i + 1));
    }
    if (QFileInfo::exists(m_filePath))
        return QFile::rename(m_filePath, numberedPath(1));
    return true;
}

void TextLogger::rotateRing()
{
    m_ringIndex = m_ringIndex + 1 <= m_maxCount ? m_ringIndex + 1 : 1;
    useFile(numberedPath(m_ringIndex));
}

void TextLogger::writeLine(const QString &line)
{
    QMutexLocker locker(&m_mutex);
    if (!m_file->isOpen())
        return;
    QTextStream stream(m_file);
    stream.setCodec("UTF-8");
    stream << line << '\n';
    stream.flush();
}

QString TextLogger::numberedPath(int number) const
{
    const QFileInfo info(m_fileName);
    // Concatenated rather than arg() so that '%' in a folder name is harmless.
    return m_dir + QLatin1Char('/') + info.baseName() + QLatin1Char('_')
        + QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'))
        + QLatin1Char('.') + info.completeSuffix();
}

bool TextLogger::openFile(bool truncate)
{
    QIODevice::OpenMode openMode = QIODevice::WriteOnly | QIODevice::Text;
    openMode |= truncate ? QIODevice::Truncate : QIODevice::Append;
    return m_file->open(openMode);
}

void TextLogger::useFile(const QString &path)
{
    const QFileInfo info(path);
    m_filePath = info.isRelative() ? info.absoluteFilePath() : path;
    m_file->setFileName(m_filePath);
}
