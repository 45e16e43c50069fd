// Whether a reply answers its request: the Read File Record replies, whose
// shape Qt does not check, byte for byte.

#include <QtTest>

#include "modbusreplycheck.h"

class TestModbusReplyCheck : public QObject
{
    Q_OBJECT

private slots:
    void fileRecordReplies_data();
    void fileRecordReplies();
};

void TestModbusReplyCheck::fileRecordReplies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("partialRecordSize");
    QTest::addColumn<bool>("answers");

    // File 10, record 0, 2 registers; file 6, record 0, 12 registers (two events).
    const QByteArray twoRegisters = QByteArray::fromHex("0706000A00000002");
    const QByteArray twoEvents = QByteArray::fromHex("070600060000000C");
    const QByteArray event(12, '\x11');

    QTest::newRow("as asked") << twoRegisters << QByteArray::fromHex("060506AABBCCDD") << 0 << true;
    QTest::newRow("reference type 5") << twoRegisters << QByteArray::fromHex("060505AABBCCDD") << 0 << false;
    QTest::newRow("reference type 0") << twoRegisters << QByteArray::fromHex("060500AABBCCDD") << 0 << false;
    QTest::newRow("one byte short") << twoRegisters << QByteArray::fromHex("050406AABBCC") << 0 << false;
    QTest::newRow("byte count off") << twoRegisters << QByteArray::fromHex("070506AABBCCDD") << 0 << false;
    QTest::newRow("one event of two may come") << twoEvents << QByteArray::fromHex("0E0D06") + event << 12 << true;
    QTest::newRow("one event, reference type 7") << twoEvents << QByteArray::fromHex("0E0D07") + event << 12
                                                 << false;
}

void TestModbusReplyCheck::fileRecordReplies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, partialRecordSize);
    QFETCH(bool, answers);

    QCOMPARE(ModbusReplyCheck::answers(20, request, reply, partialRecordSize), answers);
}

QTEST_APPLESS_MAIN(TestModbusReplyCheck)
#include "tst_modbusreplycheck.moc"
