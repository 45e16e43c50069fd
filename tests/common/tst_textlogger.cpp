#include <QtTest>

#include "appglobals.h"
#include "textlogger.h"

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

bool setModified(const QString &path, const QDateTime &when)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

} // namespace

class TestTextLogger : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void globalsStartEmpty();
    void exactLineBytes_data();
    void exactLineBytes();
    void currentTimePrefix();
    void nothingWrittenWhenClosed();
    void enableTwiceAndDisable();

    void limitsAdjusted_data();
    void limitsAdjusted();

    void shiftRotation();
    void shiftRotationByTimer();
    void shiftRenameFailureKeepsContents();
    void singleFileEmptied();
    void singleFileWithoutLimit();
    void ringContinuesNewest();
    void ringStartsAtOneAndWraps();
    void failedReopenIsRetried();

private:
    QScopedPointer<QTemporaryDir> m_tmp;
    QString path(const QString &name) const { return m_tmp->path() + QLatin1Char('/') + name; }
};

void TestTextLogger::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TestTextLogger::init()
{
    m_tmp.reset(new QTemporaryDir);
    QVERIFY(m_tmp->isValid());
}

void TestTextLogger::globalsStartEmpty()
{
    QVERIFY(appSettings == nullptr);
    QVERIFY(appDataPath.isEmpty());
}

void TestTextLogger::exactLineBytes_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray text = QString::fromUtf8("Подключен к ЦУ-Л").toUtf8();
    QTest::newRow("seconds") << "dd.MM.yyyy hh:mm:ss"
                             << QByteArray("08.12.2026 18:31:45\t") + text + '\n';
    QTest::newRow("milliseconds") << "dd.MM.yyyy hh:mm:ss.zzz"
                                  << QByteArray("08.12.2026 18:31:45.007\t") + text + '\n';
    QTest::newRow("no prefix") << QString() << text + '\n';
}

void TestTextLogger::exactLineBytes()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, expected);
    // An existing file is appended to, never overwritten.
    QVERIFY(writeFile(path("x.log"), "old\n"));
    TextLogger logger("x.log", m_tmp->path(), TextLogger::Shift, 1000000, 5);
    logger.setTimeFormat(format);
    logger.setEnabled(true);
    QVERIFY(logger.isOpen());
    const QDateTime dt(QDate(2026, 12, 8), QTime(18, 31, 45, 7));
    logger.write(dt, QString::fromUtf8("Подключен к ЦУ-Л"));
    logger.write(dt, QString()); // empty text: nothing, not even a prefix
    // Flushed per line: visible before the logger is closed.
    QCOMPARE(readAll(path("x.log")), QByteArray("old\n") + expected);
    logger.write(QString());
    QCOMPARE(readAll(path("x.log")), QByteArray("old\n") + expected);
}

void TestTextLogger::currentTimePrefix()
{
    TextLogger logger("x.log", m_tmp->path(), TextLogger::Shift, 1000000, 5);
    logger.setTimeFormat("yyyy-MM-dd hh:mm:ss");
    logger.setEnabled(true);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    logger.write(QStringLiteral("строка"));
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    const QByteArray data = readAll(path("x.log"));
    QVERIFY(!data.startsWith("\xEF\xBB\xBF"));
    const QList<QByteArray> parts = data.split('\t');
    QCOMPARE(parts.size(), 2);
    const QDateTime stamp = QDateTime::fromString(QString::fromLatin1(parts[0]), "yyyy-MM-dd hh:mm:ss");
    QVERIFY(stamp.isValid());
    QVERIFY(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after);
    QCOMPARE(parts[1], QString::fromUtf8("строка\n").toUtf8());
}

void TestTextLogger::nothingWrittenWhenClosed()
{
    {
        TextLogger neverEnabled("x.log", m_tmp->path(), TextLogger::Shift, 1000, 3);
        neverEnabled.write(QStringLiteral("a"));
        neverEnabled.write(QDateTime::currentDateTime(), QStringLiteral("b"));
        QVERIFY(!neverEnabled.isOpen());
    }
    QVERIFY(!QFile::exists(path("x.log")));

    TextLogger missingFolder("x.log", path("missing"), TextLogger::Shift, 1000, 3);
    missingFolder.setEnabled(true);
    QVERIFY(!missingFolder.isOpen());
    missingFolder.write(QStringLiteral("a"));
    QVERIFY(!QFileInfo::exists(path("missing")));
}

void TestTextLogger::enableTwiceAndDisable()
{
    TextLogger logger("x.log", m_tmp->path(), TextLogger::Shift, 1000, 3);
    logger.setEnabled(true);
    logger.write(QStringLiteral("1"));
    logger.setEnabled(true); // no effect on an open logger
    QVERIFY(logger.isOpen());
    logger.write(QStringLiteral("2"));
    logger.setEnabled(false);
    QVERIFY(!logger.isOpen());
    logger.write(QStringLiteral("dropped"));
    logger.setEnabled(true);
    logger.write(QStringLiteral("3"));
    QCOMPARE(readAll(path("x.log")), QByteArray("1\n2\n3\n"));
    // close() itself takes no lock, so a direct call must not hang.
    logger.close();
    QVERIFY(!logger.isOpen());
}

void TestTextLogger::limitsAdjusted_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("expectedSize");
    QTest::addColumn<int>("expectedCount");
    QTest::newRow("shift, zero") << 2 << qint64(0) << 0 << qint64(20971520) << 20;
    QTest::newRow("shift, negative, one") << 2 << qint64(-5) << 1 << qint64(20971520) << 20;
    QTest::newRow("shift, kept") << 2 << qint64(100) << 2 << qint64(100) << 2;
    QTest::newRow("ring, zero") << 1 << qint64(0) << -3 << qint64(20971520) << 20;
    QTest::newRow("single, negative") << 0 << qint64(-1) << 7 << qint64(0) << 1;
    QTest::newRow("single, positive") << 0 << qint64(500) << 0 << qint64(500) << 1;
}

void TestTextLogger::limitsAdjusted()
{
    QFETCH(int, mode);
    QFETCH(qint64, size);
    QFETCH(int, count);
    QFETCH(qint64, expectedSize);
    QFETCH(int, expectedCount);
    TextLogger logger("x.log", m_tmp->path(), mode, size, count);
    QCOMPARE(logger.maxSize(), expectedSize);
    QCOMPARE(logger.maxCount(), expectedCount);
    QCOMPARE(logger.filePath(), path(mode == 1 ? "x_001.log" : "x.log"));
}

void TestTextLogger::shiftRotation()
{
    // Gap at 002; the current file at the limit is rotated on enabling.
    QVERIFY(writeFile(path("x.log"), "current\n"));
    QVERIFY(writeFile(path("x_001.log"), "one\n"));
    QVERIFY(writeFile(path("x_003.log"), "three\n"));
    {
        TextLogger logger("x.log", m_tmp->path(), TextLogger::Shift, 8, 3);
        logger.setEnabled(true);
        QVERIFY(logger.isOpen());
        logger.write(QStringLiteral("new"));
    }
    QCOMPARE(readAll(path("x.log")), QByteArray("new\n"));
    QCOMPARE(readAll(path("x_001.log")), QByteArray("current\n"));
    QCOMPARE(readAll(path("x_002.log")), QByteArray("one\n"));
    QVERIFY(!QFile::exists(path("x_003.log"))); // old 003 discarded, nothing moved into it
    QVERIFY(!QFile::exists(path("x_004.log")));

    // Full set: 003 dropped, everything shifts up by one.
    QVERIFY(writeFile(path("x.log"), "current2\n"));
    QVERIFY(writeFile(path("x_003.log"), "three\n"));
    {
        TextLogger logger("x.log", m_tmp->path(), TextLogger::Shift, 8, 3);
        logger.setEnabled(true);
    }
    QCOMPARE(readAll(path("x.log")), QByteArray());
    QCOMPARE(readAll(path("x_001.log")), QByteArray("current2\n"));
    QCOMPARE(readAll(path("x_002.log")), QByteArray("current\n"));
    QCOMPARE(readAll(path("x_003.log")), QByteArray("one\n"));
    QCOMPARE(QDir(m_tmp->path()).entryList(QDir::Files).size(), 4);
}

void TestTextLogger::shiftRotationByTimer()
{
    TextLogger logger("app.debug.log", m_tmp->path(), TextLogger::Shift, 10, 2);
    logger.setEnabled(true);
    logger.write(QStringLiteral("0123456789"));
    // Numbered names: base before the first dot, suffix all after it.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("app_001.debug.log")), 5000);
    QCOMPARE(readAll(path("app_001.debug.log")), QByteArray("0123456789\n"));
    QVERIFY(logger.isOpen());
    logger.write(QStringLiteral("next"));
    QCOMPARE(readAll(path("app.debug.log")), QByteArray("next\n"));
}

void TestTextLogger::shiftRenameFailureKeepsContents()
{
    // A folder at x_002.log cannot be removed by the rotation, so nothing can move
    // up and the current file cannot become 001: it must be kept and appended to.
    QVERIFY(writeFile(path("x.log"), "keep me\n"));
    QVERIFY(writeFile(path("x_001.log"), "one\n"));
    QVERIFY(QDir(m_tmp->path()).mkdir("x_002.log"));

    TextLogger logger("x.log", m_tmp->path(), TextLogger::Shift, 5, 2);
    logger.setEnabled(true);
    QVERIFY(logger.isOpen());
    logger.write(QStringLiteral("appended"));
    QCOMPARE(readAll(path("x.log")), QByteArray("keep me\nappended\n"));
    QCOMPARE(readAll(path("x_001.log")), QByteArray("one\n"));

    // Once the obstacle is gone, the next size check rotates.
    QVERIFY(QDir(m_tmp->path()).rmdir("x_002.log"));
    QTRY_COMPARE_WITH_TIMEOUT(readAll(path("x_001.log")), QByteArray("keep me\nappended\n"), 5000);
    QCOMPARE(readAll(path("x_002.log")), QByteArray("one\n"));
    QVERIFY(logger.isOpen());
    logger.write(QStringLiteral("fresh"));
    QCOMPARE(readAll(path("x.log")), QByteArray("fresh\n"));
}

void TestTextLogger::singleFileEmptied()
{
    QVERIFY(writeFile(path("x.log"), "0123456789\n"));
    TextLogger logger("x.log", m_tmp->path(), TextLogger::SingleFile, 10, 5);
    logger.setEnabled(true);
    logger.write(QStringLiteral("a"));
    QCOMPARE(readAll(path("x.log")), QByteArray("a\n"));
    logger.write(QStringLiteral("0123456789"));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path("x.log")).size(), qint64(0), 5000);
    logger.write(QStringLiteral("b"));
    QCOMPARE(readAll(path("x.log")), QByteArray("b\n"));
    QCOMPARE(QDir(m_tmp->path()).entryList(QDir::Files), QStringList{"x.log"});
}

void TestTextLogger::singleFileWithoutLimit()
{
    const QByteArray big(4096, 'z');
    QVERIFY(writeFile(path("x.log"), big));
    TextLogger logger("x.log", m_tmp->path(), TextLogger::SingleFile, -1, 5);
    logger.setEnabled(true);
    logger.write(QStringLiteral("tail"));
    QCOMPARE(readAll(path("x.log")), big + "tail\n");
}

void TestTextLogger::ringContinuesNewest()
{
    const QDateTime base = QDateTime::currentDateTime().addDays(-1);
    QVERIFY(writeFile(path("x_001.log"), "1\n"));
    QVERIFY(writeFile(path("x_002.log"), "2\n"));
    QVERIFY(writeFile(path("x_003.log"), "3\n"));
    QVERIFY(setModified(path("x_001.log"), base));
    QVERIFY(setModified(path("x_002.log"), base.addSecs(60)));
    QVERIFY(setModified(path("x_003.log"), base.addSecs(30)));
    {
        TextLogger logger("x.log", m_tmp->path(), TextLogger::NumberedRing, 100, 3);
        QCOMPARE(logger.filePath(), path("x_002.log"));
        logger.setEnabled(true);
        logger.write(QStringLiteral("more"));
    }
    QCOMPARE(readAll(path("x_002.log")), QByteArray("2\nmore\n"));

    // Equally new: the lowest number wins.
    QVERIFY(setModified(path("x_002.log"), base.addSecs(90)));
    QVERIFY(setModified(path("x_003.log"), base.addSecs(90)));
    TextLogger tie("x.log", m_tmp->path(), TextLogger::NumberedRing, 100, 3);
    QCOMPARE(tie.filePath(), path("x_002.log"));
}

void TestTextLogger::ringStartsAtOneAndWraps()
{
    TextLogger logger("x.log", m_tmp->path(), TextLogger::NumberedRing, 4, 2);
    QCOMPARE(logger.filePath(), path("x_001.log"));
    logger.setEnabled(true);
    logger.write(QStringLiteral("aaaa"));
    QTRY_COMPARE_WITH_TIMEOUT(logger.filePath(), path("x_002.log"), 5000);
    logger.write(QStringLiteral("bbbb"));
    QCOMPARE(readAll(path("x_002.log")), QByteArray("bbbb\n"));
    // After the last number the ring wraps to 001, whose old contents go.
    QTRY_COMPARE_WITH_TIMEOUT(logger.filePath(), path("x_001.log"), 5000);
    QCOMPARE(readAll(path("x_001.log")), QByteArray());
    logger.write(QStringLiteral("c"));
    QCOMPARE(readAll(path("x_001.log")), QByteArray("c\n"));
    QCOMPARE(readAll(path("x_002.log")), QByteArray("bbbb\n"));
}

void TestTextLogger::failedReopenIsRetried()
{
    // The next ring file is taken by a folder: the reopen fails, lines are dropped,
    // and the logger opens the file again once it can.
    QVERIFY(QDir(m_tmp->path()).mkdir("x_002.log"));
    TextLogger logger("x.log", m_tmp->path(), TextLogger::NumberedRing, 4, 2);
    logger.setEnabled(true);
    QVERIFY(logger.isOpen());
    logger.write(QStringLiteral("aaaa"));
    QTRY_VERIFY_WITH_TIMEOUT(!logger.isOpen(), 5000);
    QCOMPARE(logger.filePath(), path("x_002.log"));
    logger.write(QStringLiteral("dropped"));

    QVERIFY(QDir(m_tmp->path()).rmdir("x_002.log"));
    QTRY_VERIFY_WITH_TIMEOUT(logger.isOpen(), 5000);
    logger.write(QStringLiteral("back"));
    QCOMPARE(readAll(path("x_002.log")), QByteArray("back\n"));
    QCOMPARE(readAll(path("x_001.log")), QByteArray("aaaa\n"));
}

QTEST_GUILESS_MAIN(TestTextLogger)
#include "tst_textlogger.moc"
