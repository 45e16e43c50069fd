#include <QtTest>

#include "devicetables.h"
#include "texthelpers.h"

using LantrelProtocol::Status_Device_t;
using LantrelProtocol::Status_Line_t;

namespace {

QString faultLine(const char *text)
{
    return QStringLiteral("&nbsp;&#9679; <span style=\"color:red\">") + QString::fromUtf8(text)
         + QStringLiteral("</span><br/>");
}

} // namespace

class TestTextHelpers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void serialToString_data();
    void serialToString();
    void serialFromString_data();
    void serialFromString();
    void versionToString_data();
    void versionToString();
    void versionFromString_data();
    void versionFromString();
    void blockIdToString_data();
    void blockIdToString();
    void interactionSource_data();
    void interactionSource();
    void interactionSourceOrder();

    void lineStatus_data();
    void lineStatus();
    void lineFaults_data();
    void lineFaults();
    void controllerFaults_data();
    void controllerFaults();

    void deviceTables();
};

void TestTextHelpers::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TestTextHelpers::serialToString_data()
{
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero is empty") << 0u << QString();
    QTest::newRow("one") << 1u << "1.20";
    QTest::newRow("1111.42") << 0x580457u << "1111.42";
    QTest::newRow("all bits") << 0xFFFFFFFFu << "262143.16403";
    QTest::newRow("year only") << (1u << 18) << "0.21";
}

void TestTextHelpers::serialToString()
{
    QFETCH(quint32, serial);
    QFETCH(QString, text);
    QCOMPARE(serialNumberToString(serial), text);
}

void TestTextHelpers::serialFromString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("serial");
    QTest::newRow("1111.42") << "1111.42" << 0x580457u;
    QTest::newRow("largest") << "262143.16403" << 0xFFFFFFFFu;
    QTest::newRow("smallest year") << "5.20" << 5u;
    QTest::newRow("number not a number") << "abc.22" << 524288u;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("one part") << "1111" << 0u;
    QTest::newRow("three parts") << "1.2.3" << 0u;
    QTest::newRow("trailing point") << "1111." << 0u;
    // Out of range: never a wrapped or masked value.
    QTest::newRow("year below 20") << "12.5" << 0u;
    QTest::newRow("year above 16403") << "12.16404" << 0u;
    QTest::newRow("number above 18 bits") << "262144.42" << 0u;
    QTest::newRow("number far too large") << "99999999999999999999999.42" << 0u;
    QTest::newRow("year not a number") << "1111.abc" << 0u;
}

void TestTextHelpers::serialFromString()
{
    QFETCH(QString, text);
    QFETCH(quint32, serial);
    QCOMPARE(serialNumberFromString(text), serial);
    if (serial != 0 && text.at(0).isDigit())
        QCOMPARE(serialNumberToString(serial), text);
}

void TestTextHelpers::versionToString_data()
{
    QTest::addColumn<quint16>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero is empty") << quint16(0) << QString();
    QTest::newRow("0105") << quint16(0x0105) << "1.05";
    QTest::newRow("0A0C") << quint16(0x0A0C) << "10.12";
    QTest::newRow("0100") << quint16(0x0100) << "1.00";
    QTest::newRow("FF00") << quint16(0xFF00) << "255.00";
    QTest::newRow("00FF") << quint16(0x00FF) << "0.255";
}

void TestTextHelpers::versionToString()
{
    QFETCH(quint16, version);
    QFETCH(QString, text);
    QCOMPARE(::versionToString(version), text);
}

void TestTextHelpers::versionFromString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint16>("version");
    QTest::newRow("1.5") << "1.5" << quint16(0x0105);
    QTest::newRow("1.05") << "1.05" << quint16(0x0105);
    QTest::newRow("10.12") << "10.12" << quint16(0x0A0C);
    QTest::newRow("2.300 minor cut") << "2.300" << quint16(0x022C);
    QTest::newRow("300.1 major cut") << "300.1" << quint16(0x2C01);
    QTest::newRow("empty") << "" << quint16(0);
    QTest::newRow("one part") << "1" << quint16(0);
    QTest::newRow("three parts") << "1.2.3" << quint16(0);
    QTest::newRow("minor not a number") << "3.x" << quint16(0x0300);
}

void TestTextHelpers::versionFromString()
{
    QFETCH(QString, text);
    QFETCH(quint16, version);
    QCOMPARE(::versionFromString(text), version);
}

void TestTextHelpers::blockIdToString_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("null"); // the caller tells "no identifier read" by a null text
    QTest::newRow("null") << QByteArray() << QString() << true;
    QTest::newRow("empty") << QByteArray("") << QString() << false;
    QTest::newRow("no zero") << QByteArray("Blk-7") << "Blk-7" << false;
    QTest::newRow("zero padded") << QByteArray("Blk\0\0\0", 6) << "Blk" << false;
    QTest::newRow("text after the zero") << QByteArray("A\0B", 3) << "A" << false;
    QTest::newRow("leading zero") << QByteArray("\0AB", 3) << QString() << false;
    QTest::newRow("utf-8") << QByteArray("\xd0\x9f\xd0\xb5\0", 5) << QString::fromUtf8("\xd0\x9f\xd0\xb5") << false;
}

void TestTextHelpers::blockIdToString()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, null);
    const QString got = ::blockIdToString(bytes);
    QCOMPARE(got, text);
    if (null)
        QVERIFY(got.isNull());
}

void TestTextHelpers::interactionSource_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("loop");
    QTest::addColumn<quint32>("key");
    QTest::addColumn<int>("keptType");
    QTest::addColumn<int>("keptLoop");
    QTest::newRow("sensor 17") << 1 << 17 << 0 << 0x01001100u << 1 << 0;
    QTest::newRow("io 500 loop 2") << 2 << 500 << 2 << 0x0201F402u << 2 << 2;
    QTest::newRow("only low bits kept") << 5 << 17 << 6 << 0x01001102u << 1 << 2;
    QTest::newRow("largest address") << 2 << 0xFFFF << 1 << 0x02FFFF01u << 2 << 1;
}

void TestTextHelpers::interactionSource()
{
    QFETCH(int, type);
    QFETCH(int, address);
    QFETCH(int, loop);
    QFETCH(quint32, key);
    QFETCH(int, keptType);
    QFETCH(int, keptLoop);

    QCOMPARE(packInteractionSource(quint8(type), quint16(address), quint8(loop)), key);
    quint8 t = 0xEE;
    quint16 a = 0xEEEE;
    quint8 l = 0xEE;
    unpackInteractionSource(key | 0xFC0000FCu, t, a, l); // stray bits are ignored
    QCOMPARE(int(t), keptType);
    QCOMPARE(int(a), address);
    QCOMPARE(int(l), keptLoop);
}

void TestTextHelpers::interactionSourceOrder()
{
    // Numeric order of keys: type, then address, then loop.
    const quint32 a = packInteractionSource(1, 500, 0);
    const quint32 b = packInteractionSource(2, 1, 1);
    const quint32 c = packInteractionSource(2, 1, 2);
    const quint32 d = packInteractionSource(2, 2, 1);
    QVERIFY(a < b);
    QVERIFY(b < c);
    QVERIFY(c < d);
}

void TestTextHelpers::lineStatus_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("html");
    const QString b = QStringLiteral("&nbsp;&#9679; ");
    QTest::newRow("not active") << 0 << 0xFF << b + "не активна";
    QTest::newRow("powered") << 1 << 0 << b + "напряжение подано";
    QTest::newRow("on, polling") << 2 << 0x01 << b + "включена, опрос модулей";
    QTest::newRow("on, polling, other flags") << 2 << 0xFF << b + "включена, опрос модулей";
    QTest::newRow("on, checking") << 2 << 0xFE << b + "включена, проверка модулей";
    QTest::newRow("off") << 3 << 0 << b + "отключена";
    QTest::newRow("cmd off") << 4 << 1 << QString();
    QTest::newRow("unknown") << 200 << 1 << QString();
}

void TestTextHelpers::lineStatus()
{
    QFETCH(int, state);
    QFETCH(int, flags);
    QFETCH(QString, html);
    Status_Line_t status;
    status.State = quint8(state);
    status.Flags = quint8(flags);
    status.Faults = 0xFF; // faults do not change the state line
    QCOMPARE(lineStatusToHtml(status), html);
}

void TestTextHelpers::lineFaults_data()
{
    QTest::addColumn<int>("faults");
    QTest::addColumn<QString>("html");
    const char *texts[8] = {"обрыв на линии", "внешний источник", "не норма источника",
                            "потребление модулей выше нормы", "утечка на линии", "перегрузка",
                            "авария (возможно короткое замыкание)", "не норма питания"};
    QString all;
    for (int bit = 0; bit < 8; ++bit) {
        QTest::addRow("bit %d", bit) << (1 << bit) << faultLine(texts[bit]);
        all += faultLine(texts[bit]);
    }
    QTest::newRow("none") << 0 << QString();
    QTest::newRow("0x81 in bit order") << 0x81 << faultLine(texts[0]) + faultLine(texts[7]);
    QTest::newRow("all") << 0xFF << all;
}

void TestTextHelpers::lineFaults()
{
    QFETCH(int, faults);
    QFETCH(QString, html);
    Status_Line_t status;
    status.Faults = quint8(faults);
    status.Flags = 0xFF; // other bytes are ignored
    status.State = 2;
    status.Reserved3 = 0xFF;
    QCOMPARE(lineFaultsToHtml(status), html);
}

void TestTextHelpers::controllerFaults_data()
{
    QTest::addColumn<int>("status1");
    QTest::addColumn<int>("status2");
    QTest::addColumn<QString>("html");
    const QString serial = faultLine("ошибки в серийном номере");
    const QString config = faultLine("конфигурация датчиков не соответствует хранимой");
    const char *texts2[8] = {"не норма первичного питания", "не норма вторичного питания",
                             "не норма батареи", "не норма питания периферии",
                             "не норма питания линии", "ошибка энергонезависимой памяти событий",
                             "ошибка контроля целостности параметров",
                             "ошибка контроля целостности программы"};
    // Bits of byte 1 other than 4 and 5 are not faults.
    const int ignored1 = 0xCF;
    QTest::newRow("none") << 0 << 0 << QString();
    QTest::newRow("byte 1 ignored bits") << ignored1 << 0 << QString();
    QTest::newRow("byte 1 bit 4") << (0x10 | ignored1) << 0 << serial;
    QTest::newRow("byte 1 0x24") << 0x24 << 0 << config;
    for (int bit = 0; bit < 8; ++bit)
        QTest::addRow("byte 2 bit %d", bit) << 0 << (1 << bit) << faultLine(texts2[bit]);
    QString all = serial + config;
    for (const char *t : texts2)
        all += faultLine(t);
    QTest::newRow("all, in order") << 0xFF << 0xFF << all;
    QTest::newRow("mixed") << 0x20 << 0x41 << config + faultLine(texts2[0]) + faultLine(texts2[6]);
}

void TestTextHelpers::controllerFaults()
{
    QFETCH(int, status1);
    QFETCH(int, status2);
    QFETCH(QString, html);
    Status_Device_t status;
    status.Status0 = 0xFF; // bytes other than 1 and 2 are ignored
    status.Status1 = quint8(status1);
    status.Status2 = quint8(status2);
    status.Status3 = 0xFF;
    status.Status4 = 0xFF;
    status.Status5 = 0xFF;
    QCOMPARE(controllerFaultsToHtml(status), html);
}

void TestTextHelpers::deviceTables()
{
    QCOMPARE(deviceTypeNames.value(4), QStringLiteral("ВТ-Л"));
    QCOMPARE(deviceTypeNames.value(3), QStringLiteral("ВС-Л"));
    QCOMPARE(deviceTypeNames.value(2), QStringLiteral("ПС-Л"));
    QCOMPARE(deviceTypeNames.value(5), QStringLiteral("ТЗ-Л"));
    QCOMPARE(deviceTypeNames.value(16), QStringLiteral("ЖН-Т"));
    for (const quint8 missing : {0, 1, 7, 6})
        QVERIFY(deviceTypeNames.value(missing).isEmpty());

    QCOMPARE(deviceTypeImages.size(), 5);
    QCOMPARE(deviceTypeImages.value(3), QStringLiteral(":/images/sensor_ir.png"));
    QCOMPARE(deviceTypeImages.value(16), QStringLiteral(":/images/relay_module.png"));
    QVERIFY(deviceTypeImages.value(7).isEmpty());

    // Key 0 and the single bits 2^0..2^17.
    const char *colours[19] = {"lightblue", "white", "yellow", "gray", "darkgray", "lightgray",
                               "orange", "blue", "blue", "lightgreen", "lightgreen", "red", "red",
                               "brown", "brown", "orange", "orange", "red", "green"};
    QCOMPARE(stateColorNames.size(), 19);
    QCOMPARE(stateColorNames.value(0), QLatin1String(colours[0]));
    for (int bit = 0; bit < 18; ++bit)
        QCOMPARE(stateColorNames.value(1 << bit), QLatin1String(colours[bit + 1]));
    QVERIFY(stateColorNames.value(3).isEmpty());

    QCOMPARE(relayModeNames.value(255), QStringLiteral("Вкл. на время"));
    QCOMPARE(relayModeShortNames.value(1), QStringLiteral("Формула №"));
    QCOMPARE(relayModeShortNames.value(255), QStringLiteral("Вкл. на "));
    QVERIFY(relayModeNames.value(2).isEmpty());
}

QTEST_GUILESS_MAIN(TestTextHelpers)
#include "tst_texthelpers.moc"
