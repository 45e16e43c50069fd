#include <QtTest>

#include "crc16.h"

namespace {

// Bit-by-bit reference of the reflected 0xA001 CRC.
quint16 referenceCrc(quint16 crc, const QByteArray &data)
{
    for (const char c : data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

quint16 swap16(quint16 v) { return quint16((v << 8) | (v >> 8)); }

QByteArray pseudoRandomBytes(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        data[i] = char(seed >> 16);
    }
    return data;
}

} // namespace

class TestCrc16 : public QObject
{
    Q_OBJECT
private slots:
    void checkValues_data();
    void checkValues();
    void matchesBitwiseReference();
    void chainingEqualsOnePass();
    void appendedCrcGivesZero();
};

void TestCrc16::checkValues_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("initialSwapped");
    QTest::addColumn<int>("expectedSwapped");

    QTest::newRow("digits, init 0") << QByteArray("123456789") << 0x0000 << 0xBB3D << 0x0000 << 0x3DBB;
    QTest::newRow("digits, init FFFF") << QByteArray("123456789") << 0xFFFF << 0x4B37 << 0xFFFF << 0x374B;
    QTest::newRow("abc, init FFFF") << QByteArray("abc") << 0xFFFF << 0x5749 << 0xFFFF << 0x4957;
    QTest::newRow("empty keeps initial") << QByteArray() << 0x1234 << 0x1234 << 0xABCD << 0xABCD;
}

void TestCrc16::checkValues()
{
    QFETCH(QByteArray, data);
    QFETCH(int, initial);
    QFETCH(int, expected);
    QFETCH(int, initialSwapped);
    QFETCH(int, expectedSwapped);

    QCOMPARE(int(crc16Modbus(quint16(initial), data.constData(), data.size())), expected);
    QCOMPARE(int(crc16ModbusSwapped(quint16(initialSwapped), data.constData(), data.size())),
             expectedSwapped);
}

void TestCrc16::matchesBitwiseReference()
{
    // Every table entry is reached; the swapped form must be the byte swap for any initial value.
    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    const QVector<QByteArray> inputs = {all, pseudoRandomBytes(1000, 7), QByteArray(1, '\xff')};
    const QVector<quint16> initials = {0x0000, 0xFFFF, 0x1234, 0x8001, 0x00FF};
    for (const QByteArray &data : inputs) {
        for (const quint16 init : initials) {
            const quint16 expected = referenceCrc(init, data);
            QCOMPARE(crc16Modbus(init, data.constData(), data.size()), expected);
            QCOMPARE(crc16ModbusSwapped(swap16(init), data.constData(), data.size()), swap16(expected));
        }
    }
}

void TestCrc16::chainingEqualsOnePass()
{
    const QByteArray data = pseudoRandomBytes(777, 42);
    for (const int split : {0, 1, 300, 776, 777}) {
        const quint16 first = crc16Modbus(0xFFFF, data.constData(), split);
        QCOMPARE(crc16Modbus(first, data.constData() + split, data.size() - split),
                 crc16Modbus(0xFFFF, data.constData(), data.size()));

        const quint16 firstSwapped = crc16ModbusSwapped(0, data.constData(), split);
        QCOMPARE(crc16ModbusSwapped(firstSwapped, data.constData() + split, data.size() - split),
                 crc16ModbusSwapped(0, data.constData(), data.size()));
    }
}

void TestCrc16::appendedCrcGivesZero()
{
    // The firmware-file check relies on this.
    for (const quint16 init : {quint16(0), quint16(0xFFFF)}) {
        QByteArray block = pseudoRandomBytes(512, init + 3u);
        const quint16 crc = crc16Modbus(init, block.constData(), block.size());
        block.append(char(crc & 0xFF));
        block.append(char(crc >> 8));
        QCOMPARE(crc16Modbus(init, block.constData(), block.size()), quint16(0));
    }
}

QTEST_GUILESS_MAIN(TestCrc16)
#include "tst_crc16.moc"
