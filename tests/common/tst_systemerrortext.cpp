// Reasons of failed file and socket operations in the user's language.

#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include "systemerrortext.h"

class TestSystemErrorText : public QObject
{
    Q_OBJECT
private slots:
    void knownTexts_data();
    void knownTexts();
    void realFailures_data();
    void realFailures();
};

void TestSystemErrorText::knownTexts_data()
{
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no space") << "No space left on device" << "Недостаточно места на диске";
    QTest::newRow("no space, windows") << "There is not enough space on the disk." << "Недостаточно места на диске";
    QTest::newRow("quota") << "Disk quota exceeded" << "Превышена дисковая квота";
    QTest::newRow("permission") << "Permission denied" << "Нет прав доступа";
    QTest::newRow("permission, windows") << "Access is denied." << "Нет прав доступа";
    QTest::newRow("no folder") << "No such file or directory" << "Файл или папка не существует";
    QTest::newRow("no folder, windows") << "The system cannot find the path specified." << "Папка не существует";
    QTest::newRow("read-only") << "Read-only file system" << "Файловая система доступна только для чтения";
    QTest::newRow("refused") << "Connection refused" << "Соединение отклонено";
    QTest::newRow("reset") << "Connection reset by peer" << "Соединение сброшено удалённой стороной";
    QTest::newRow("closed by the peer") << "The remote host closed the connection"
                                        << "Удалённая сторона закрыла соединение";
    QTest::newRow("other case") << "NO SPACE LEFT ON DEVICE" << "Недостаточно места на диске";
    QTest::newRow("unknown stays") << "Something odd happened" << "Something odd happened";
    QTest::newRow("empty") << "" << "";
}

void TestSystemErrorText::knownTexts()
{
    QFETCH(QString, system);
    QFETCH(QString, shown);
    QCOMPARE(systemErrorText(system), shown);
}

// What the system really says, through Qt, for the failures an installer meets.
void TestSystemErrorText::realFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("writeFails");
    QTest::addColumn<QString>("shown");
    QTest::newRow("full disk") << "/dev/full" << true << "Недостаточно места на диске";
    QTest::newRow("missing folder") << "missing/file.xml" << false << "Файл или папка не существует";
}

void TestSystemErrorText::realFailures()
{
    QFETCH(QString, path);
    QFETCH(bool, writeFails);
    QFETCH(QString, shown);
    if (writeFails && !QFile::exists(path))
        QSKIP("no such device here");
    QTemporaryDir dir;
    QFile file(path.startsWith(QLatin1Char('/')) ? path : dir.filePath(path));
    if (writeFails) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QCOMPARE(file.write("x", 1), qint64(-1));
    } else {
        QVERIFY(!file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(systemErrorText(file.errorString()), shown);
}

QTEST_GUILESS_MAIN(TestSystemErrorText)
#include "tst_systemerrortext.moc"
