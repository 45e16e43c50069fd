// Self-test of the fake line controller's firmware update, spoken to with
// raw request PDUs: which images it takes, the module count it reports, and
// the versions the modules and the controller run afterwards.

#include "fakecontroller.h"
#include "firmwaretestsupport.h"

#include <QSignalSpy>
#include <QtTest>

using namespace LantrelProtocol;

namespace {

constexpr int Unit = 3;

QByteArray be16(quint16 v)
{
    return QByteArray(1, char(v >> 8)) + char(v & 0xFF);
}

// Runs one command through the command block; register 53 afterwards.
quint16 command(FakeController &fake, int code, int p1 = 0, int p2 = 0)
{
    const QByteArray pdu = QByteArray(1, char(16)) + be16(52) + be16(4) + char(8) + be16(0) + be16(quint16(code))
                           + be16(quint16(p1)) + be16(quint16(p2));
    fake.handleRequest(Unit, pdu);
    return fake.holdingRegister(53);
}

// The image in 128-byte chunks, as the program writes it.
void transfer(FakeController &fake, const QByteArray &image)
{
    for (int o = 0; o < image.size(); o += 128) {
        const QByteArray chunk = image.mid(o, 128);
        const QByteArray sub = QByteArray(1, char(6)) + be16(quint16(0x8000 + o / 65536)) + be16(quint16(o % 65536))
                               + be16(quint16((chunk.size() + 1) / 2)) + chunk;
        fake.handleRequest(Unit, QByteArray(1, char(21)) + char(sub.size()) + sub);
    }
}

} // namespace

class TestFakeFirmware : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void imageChecked_data();
    void imageChecked();
    void modulesTakeTheVersion();
    void controllerRestartsWithTheVersion();

private:
    std::unique_ptr<FakeController> m_fake;
};

void TestFakeFirmware::init()
{
    m_fake.reset(new FakeController);
    m_fake->loadGeneratedConfiguration(Unit);
    m_fake->emulateFirmwareUpdate();
    for (int code : {LOAD_PROG, MOVE_PROG, SAVE_PROG, RD_SECT_VER})
        m_fake->setCommandBusyTime(code, 0);
}

void TestFakeFirmware::imageChecked_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("announcedSize");   // 0: the image's own
    QTest::addColumn<int>("moveType");
    QTest::addColumn<int>("result");

    const QByteArray image = FirmwareTest::uploadImageOf(
        FirmwareTest::makeFile(FirmwareTest::patternBody(992), 193, 0x0211));
    QByteArray spoiled = image;
    spoiled[spoiled.size() - 1] = char(spoiled.at(spoiled.size() - 1) ^ 0x01);

    QTest::newRow("image and its CRC") << image << 0 << 3 << 0;
    QTest::newRow("CRC spoiled") << spoiled << 0 << 3 << 1;
    QTest::newRow("shorter than announced") << image << image.size() + 2 << 3 << 1;
    QTest::newRow("announced for another type") << image << 0 << 4 << 1;
}

void TestFakeFirmware::imageChecked()
{
    QFETCH(QByteArray, image);
    QFETCH(int, announcedSize);
    QFETCH(int, moveType);
    QFETCH(int, result);

    const int size = announcedSize ? announcedSize : image.size();
    QCOMPARE(command(*m_fake, LOAD_PROG, (3 << 8) | (size >> 16), size & 0xFFFF), quint16(0));
    transfer(*m_fake, image);
    QCOMPARE(m_fake->firmwareImage(), image);
    QCOMPARE(command(*m_fake, MOVE_PROG, moveType), quint16(result));
    // A module image passes on in blocks of 256 bytes without trailer and CRC.
    if (result == 0)
        QCOMPARE(m_fake->holdingRegister(55), quint16(4));
}

void TestFakeFirmware::modulesTakeTheVersion()
{
    const QByteArray image = FirmwareTest::uploadImageOf(
        FirmwareTest::makeFile(FirmwareTest::patternBody(992), 194, 0x0305));
    command(*m_fake, LOAD_PROG, 4 << 8, image.size());
    transfer(*m_fake, image);
    QCOMPARE(command(*m_fake, MOVE_PROG, 4), quint16(0));
    QCOMPARE(command(*m_fake, SAVE_PROG, 4), quint16(0));
    // Four I/O modules at 201 to 204 were updated.
    QCOMPARE(m_fake->firmwareModuleAddresses(4), (QVector<quint16>{201, 202, 203, 204}));
    QCOMPARE(m_fake->holdingRegister(55), quint16(4));

    // The controller learns the new versions when it asks the modules.
    QCOMPARE(m_fake->moduleValue(30, 200), quint16(0));
    QCOMPARE(command(*m_fake, RD_SECT_VER), quint16(0));
    for (int i = 200; i < 204; ++i)
        QCOMPARE(m_fake->moduleValue(30, i), quint16(0x0305));
    QCOMPARE(m_fake->moduleValue(30, 204), quint16(0));
    QCOMPARE(m_fake->moduleValue(30, 0), quint16(0x0102));   // a sensor keeps its own
}

void TestFakeFirmware::controllerRestartsWithTheVersion()
{
    m_fake->setRestartDelays(10, 50);
    const QByteArray image = FirmwareTest::uploadImageOf(
        FirmwareTest::makeFile(FirmwareTest::patternBody(2016), 192, 0x0412));
    command(*m_fake, LOAD_PROG, 2 << 8, image.size());
    transfer(*m_fake, image);
    QCOMPARE(command(*m_fake, MOVE_PROG, 2), quint16(0));
    QSignalSpy restarted(m_fake.get(), &FakeController::restarted);
    command(*m_fake, SAVE_PROG, 2);
    QVERIFY(restarted.wait(2000));
    QCOMPARE(m_fake->identityRegister(4), quint16(0x0412));
}

QTEST_MAIN(TestFakeFirmware)
#include "tst_fakefirmware.moc"
