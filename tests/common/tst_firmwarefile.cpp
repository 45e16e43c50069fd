// Firmware file check: hand-made files of every firmware type and every
// rejection, with the upload image and its checksum.

#include <QtTest>

#include "firmwarefile.h"
#include "firmwaretestsupport.h"

using namespace FirmwareTest;

namespace {

QByteArray flipped(QByteArray bytes, int at)
{
    bytes[at] = char(bytes.at(at) ^ 0x01);
    return bytes;
}

const QString Damaged = QStringLiteral("Ошибка загрузки файла прошивки %1. Файл поврежден или имеет неверный формат");

} // namespace

class TestFirmwareFile : public QObject
{
    Q_OBJECT
private slots:
    void check_data();
    void check();
    void sizeLimit_data();
    void sizeLimit();
};

void TestFirmwareFile::check_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");

    const QByteArray body = patternBody(992);
    const int A = FirmwareFile::Accepted;
    const int D = FirmwareFile::Damaged;

    QTest::newRow("controller loader") << makeFile(body, 191, 0x0105) << A << 1
                                       << QStringLiteral("ЦУ-Л (загрузчик)") << QStringLiteral("1.05");
    QTest::newRow("controller program") << makeFile(body, 192, 0x0312) << A << 2
                                        << QStringLiteral("ЦУ-Л (программа)") << QStringLiteral("3.18");
    QTest::newRow("sensor modules") << makeFile(body, 193, 0x0210) << A << 3 << QStringLiteral("ВТ-Л (ВС-Л)")
                                    << QStringLiteral("2.16");
    QTest::newRow("I/O modules") << makeFile(body, 194, 0x0100) << A << 4 << QStringLiteral("ПС-Л")
                                 << QStringLiteral("1.00");
    QTest::newRow("line-protection modules") << makeFile(body, 195, 0xFF63) << A << 5 << QStringLiteral("ТЗ-Л")
                                             << QStringLiteral("255.99");
    QTest::newRow("empty body") << makeFile(QByteArray(), 193, 0x0001) << A << 3
                                << QStringLiteral("ВТ-Л (ВС-Л)") << QStringLiteral("0.01");
    QTest::newRow("body of 96 bytes") << makeFile(patternBody(96), 194, 0x0203) << A << 4
                                          << QStringLiteral("ПС-Л") << QStringLiteral("2.03");
    QTest::newRow("version 0") << makeFile(body, 192, 0) << A << 2 << QStringLiteral("ЦУ-Л (программа)")
                               << QString();

    const QByteArray good = makeFile(body, 193, 0x0210);
    QTest::newRow("empty file") << QByteArray() << D << 0 << QString() << QString();
    QTest::newRow("31 bytes") << good.right(31) << D << 0 << QString() << QString();
    QTest::newRow("33 bytes") << good.right(33) << D << 0 << QString() << QString();
    QTest::newRow("one byte too many") << good + char(0) << D << 0 << QString() << QString();
    QTest::newRow("body byte changed") << flipped(good, 500) << D << 0 << QString() << QString();
    QTest::newRow("unused trailer byte changed") << flipped(good, 992 + 10) << D << 0 << QString() << QString();
    QTest::newRow("trailer CRC changed") << flipped(good, good.size() - 1) << D << 0 << QString() << QString();
    QTest::newRow("body CRC off, trailer consistent") << makeFile(body, 193, 0x0210, 0x0100) << D << 0
                                                      << QString() << QString();
    QTest::newRow("body cut by 32 bytes") << good.mid(32) << D << 0 << QString() << QString();
    // Checksums and target right: only the size gives these away.
    QTest::newRow("body of 990 bytes") << makeFile(patternBody(990), 193, 0x0210) << D << 0 << QString()
                                       << QString();
    QTest::newRow("body of one byte") << makeFile(patternBody(1), 193, 0x0210) << D << 0 << QString() << QString();
    QTest::newRow("target 190") << makeFile(body, 190, 0x0210) << D << 0 << QString() << QString();
    QTest::newRow("target 196") << makeFile(body, 196, 0x0210) << D << 0 << QString() << QString();
    QTest::newRow("target in the high byte") << makeFile(body, 193 << 8, 0x0210) << D << 0 << QString()
                                             << QString();
}

void TestFirmwareFile::check()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, version);

    const FirmwareFile file = FirmwareFile::check(bytes);
    QCOMPARE(int(file.status()), status);
    QCOMPARE(int(file.firmwareType()), type);
    QCOMPARE(file.displayName(), name);
    const QString fileName = QStringLiteral("/tmp/прошивка %2.mcr");
    const QByteArray image = file.uploadImage();
    if (status != FirmwareFile::Accepted) {
        QCOMPARE(file.rejectionMessage(fileName), Damaged.arg(fileName));
        QVERIFY(image.isEmpty());
        return;
    }
    QCOMPARE(file.versionText(), version);
    QVERIFY(file.rejectionMessage(fileName).isEmpty());
    // The image is the file unchanged and its CRC, high byte first.
    QCOMPARE(image.size(), bytes.size() + 2);
    QCOMPARE(image, uploadImageOf(bytes));
}

void TestFirmwareFile::sizeLimit_data()
{
    QTest::addColumn<int>("bodySize");
    QTest::addColumn<bool>("wellFormed");
    QTest::addColumn<int>("status");

    // The largest whole file whose image still fits the 16-bit chunk count.
    const int largest = int(FirmwareFile::MaxFileSize / 32 * 32);
    QTest::newRow("largest transferable") << largest - 32 << true << int(FirmwareFile::Accepted);
    QTest::newRow("one trailer more") << largest << true << int(FirmwareFile::TooLarge);
    // The limit itself, byte for byte: a file of exactly the largest size
    // is judged by its format, one byte more by its size alone.
    const int limit = int(FirmwareFile::MaxFileSize);
    QTest::newRow("exactly the largest size") << limit - 32 << false << int(FirmwareFile::Damaged);
    QTest::newRow("one byte more") << limit - 31 << false << int(FirmwareFile::TooLarge);
    // The size alone refuses it, before any checksum.
    QTest::newRow("16 MiB of zeros") << (16 << 20) - 32 << false << int(FirmwareFile::TooLarge);
}

void TestFirmwareFile::sizeLimit()
{
    QFETCH(int, bodySize);
    QFETCH(bool, wellFormed);
    QFETCH(int, status);

    const QByteArray bytes = wellFormed ? makeFile(patternBody(bodySize), 192, 0x0101)
                                        : QByteArray(bodySize + 32, '\0');
    const FirmwareFile file = FirmwareFile::check(bytes);
    QCOMPARE(int(file.status()), status);
    if (status == FirmwareFile::Accepted) {
        // The image's chunks of 128 bytes still fit the transfer's 16-bit counters.
        QVERIFY((file.uploadImage().size() + 127) / 128 <= 0xFFFF);
        return;
    }
    QVERIFY(file.uploadImage().isEmpty());
    if (status == FirmwareFile::Damaged) {
        QCOMPARE(file.rejectionMessage(QStringLiteral("big.mcr")), Damaged.arg(QStringLiteral("big.mcr")));
        return;
    }
    QCOMPARE(file.rejectionMessage(QStringLiteral("big.mcr")),
             QStringLiteral("Ошибка загрузки файла прошивки big.mcr. Файл слишком велик для передачи в ЦУ-Л "
                            "(допустимо не более %1 байт)")
                 .arg(FirmwareFile::MaxFileSize));
    // Only the start of such a file is enough to refuse it.
    QCOMPARE(int(FirmwareFile::check(bytes.left(int(FirmwareFile::MaxFileSize) + 1)).status()), status);
}

QTEST_APPLESS_MAIN(TestFirmwareFile)
#include "tst_firmwarefile.moc"
