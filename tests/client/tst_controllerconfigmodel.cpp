#include <QSignalSpy>
#include <QtTest>

#include "controllerconfigfields.h"
#include "controllerconfigmodel.h"

using namespace LantrelProtocol;

namespace {

using ControllerConfigTest::fieldOf;

QByteArray bytesOf(const ControllerConfigModel &m)
{
    QByteArray b;
    b.append(reinterpret_cast<const char *>(&m.deviceConfig), sizeof(m.deviceConfig));
    b.append(reinterpret_cast<const char *>(&m.networkConfig), sizeof(m.networkConfig));
    b.append(reinterpret_cast<const char *>(&m.lineConfig), sizeof(m.lineConfig));
    b.append(m.blockId.toUtf8());
    return b;
}

} // namespace

class TestControllerConfigModel : public QObject
{
    Q_OBJECT

private slots:
    void newHolderDefaults();
    void replacementsReportTheirCode();
    void setDataStoresField_data();
    void setDataStoresField();
    void loopModeBits_data();
    void loopModeBits();
    void ipv4Texts_data();
    void ipv4Texts();
    void ignoredEdits_data();
    void ignoredEdits();
};

void TestControllerConfigModel::newHolderDefaults()
{
    ControllerConfigModel m;
    QCOMPARE(m.info.deviceType, 0);
    QVERIFY(m.info.serialNumber.isEmpty());
    QVERIFY(m.info.firmwareDate.isEmpty());
    QVERIFY(m.blockId.isEmpty());

    QByteArray device(sizeof(Konfig_Device_t), '\0');
    device[18] = 1;
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&m.deviceConfig), sizeof(Konfig_Device_t)),
             device);
    QCOMPARE(m.networkConfig.Reserved4, quint16(502));
    QCOMPARE(m.networkConfig.Reserved6, quint16(2));
    QCOMPARE(m.networkConfig.IPAddr, 0u);
    QCOMPARE(m.lineConfig.SensorCount, quint16(0));
    QCOMPARE(m.lineConfig.RelayCount, quint8(0));
}

void TestControllerConfigModel::replacementsReportTheirCode()
{
    ControllerConfigModel m;
    QSignalSpy spy(&m, &ControllerConfigModel::dataChanged);

    ControllerInfo info;
    info.deviceType = 7;
    info.serialNumber = QStringLiteral("1111.42");
    info.firmwareDate = QStringLiteral("05.03.2024");
    m.setControllerInfo(info);
    QCOMPARE(m.info.deviceType, 7);
    QCOMPARE(m.info.firmwareDate, QStringLiteral("05.03.2024"));
    QCOMPARE(spy.takeFirst().at(0).value<QVector<int>>(), QVector<int>{256});

    Konfig_Device_t device;
    device.LineAddr = 3;
    ETH_konf_t network;
    network.IPAddr = 0xC0000201;
    Konfig_Line_t line;
    line.SensorCount = 300;
    m.setConfig(QStringLiteral("БЛОК-1"), device, network, line);
    QCOMPARE(m.blockId, QStringLiteral("БЛОК-1"));
    QCOMPARE(m.deviceConfig.LineAddr, quint16(3));
    QCOMPARE(m.networkConfig.IPAddr, 0xC0000201u);
    QCOMPARE(m.lineConfig.SensorCount, quint16(300));
    QCOMPARE(spy.takeFirst().at(0).value<QVector<int>>(), QVector<int>{0});

    network.IPAddr = 0x0A000001;
    m.setNetworkConfig(network);
    QCOMPARE(m.networkConfig.IPAddr, 0x0A000001u);
    QCOMPARE(spy.takeFirst().at(0).value<QVector<int>>(), QVector<int>{0});

    line.IoCount = 2;
    m.setLineConfig(line);
    QCOMPARE(m.lineConfig.IoCount, quint16(2));
    QCOMPARE(spy.takeFirst().at(0).value<QVector<int>>(), QVector<int>{0});

    m.setRelayModuleCount(3);
    QCOMPARE(m.lineConfig.RelayCount, quint8(3));
    QCOMPARE(m.lineConfig.IoCount, quint16(2));
    QCOMPARE(spy.count(), 0);
}

void TestControllerConfigModel::setDataStoresField_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("block id") << 4 << QVariant(QStringLiteral("Участок 3")) << QVariant(QStringLiteral("Участок 3"));
    QTest::newRow("line address") << 5 << QVariant(17) << QVariant(17u);
    QTest::newRow("line address cut to 16 bits") << 5 << QVariant(70000) << QVariant(70000u & 0xFFFF);
    QTest::newRow("line address from text") << 5 << QVariant(QStringLiteral("250")) << QVariant(250u);
    QTest::newRow("TSign") << 6 << QVariant(5) << QVariant(5u);
    QTest::newRow("TSign cut to 8 bits") << 6 << QVariant(300) << QVariant(44u);
    QTest::newRow("MRef 16 bits") << 7 << QVariant(1000) << QVariant(1000u);
    QTest::newRow("TWork") << 8 << QVariant(12) << QVariant(12u);
    QTest::newRow("NExc") << 9 << QVariant(3) << QVariant(3u);
    QTest::newRow("Ratio") << 10 << QVariant(40) << QVariant(40u);
    QTest::newRow("Dist") << 11 << QVariant(2) << QVariant(2u);
    QTest::newRow("Range") << 12 << QVariant(3) << QVariant(3u);
    QTest::newRow("LPF") << 13 << QVariant(1) << QVariant(1u);
    QTest::newRow("HPF") << 14 << QVariant(2) << QVariant(2u);
    QTest::newRow("DAF") << 15 << QVariant(1) << QVariant(1u);
    QTest::newRow("RuleJP") << 16 << QVariant(20) << QVariant(20u);
    QTest::newRow("LineMode") << 23 << QVariant(2) << QVariant(2u);
    QTest::newRow("text that does not convert") << 7 << QVariant(QStringLiteral("abc")) << QVariant(0u);
}

void TestControllerConfigModel::setDataStoresField()
{
    QFETCH(int, id);
    QFETCH(QVariant, value);
    QFETCH(QVariant, stored);

    ControllerConfigModel m;
    // Start from a non-zero field so that a stored 0 shows.
    m.deviceConfig.MRef = 77;
    QSignalSpy spy(&m, &ControllerConfigModel::dataChanged);
    m.setData(id, value, Qt::EditRole);
    QCOMPARE(fieldOf(m, id), stored);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QVector<int>>(), QVector<int>{2});

    // The same value again still reports the edit.
    m.setData(id, value, Qt::EditRole);
    QCOMPARE(spy.count(), 2);
}

void TestControllerConfigModel::loopModeBits_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("after");

    QTest::newRow("loop 1 keeps loop 2, clears low bits") << 0xFF << 17 << 2 << 0xE0;
    QTest::newRow("loop 2 keeps loop 1, clears low bits") << 0xFF << 18 << 1 << 0x70;
    QTest::newRow("loop 1 to 0") << 0x30 << 17 << 0 << 0x00;
    QTest::newRow("loop 2 to 3") << 0x0F << 18 << 3 << 0xC0;
    QTest::newRow("loop 1 out of range does not touch loop 2") << 0x00 << 17 << 4 << 0x00;
    QTest::newRow("loop 1 value 7 keeps loop 2") << 0x80 << 17 << 7 << 0xB0;
    QTest::newRow("loop 2 out of range") << 0x10 << 18 << 5 << 0x50;
}

void TestControllerConfigModel::loopModeBits()
{
    QFETCH(int, before);
    QFETCH(int, id);
    QFETCH(int, value);
    QFETCH(int, after);

    ControllerConfigModel m;
    m.deviceConfig.CfgLoop = quint8(before);
    QSignalSpy spy(&m, &ControllerConfigModel::dataChanged);
    m.setData(id, value, Qt::EditRole);
    QCOMPARE(int(m.deviceConfig.CfgLoop), after);
    QCOMPARE(spy.count(), 1);
}

void TestControllerConfigModel::ipv4Texts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("stored");

    QTest::newRow("address") << 19 << "192.168.0.254" << 0xC0A800FEu;
    QTest::newRow("netmask") << 20 << "255.255.255.0" << 0xFFFFFF00u;
    QTest::newRow("gateway") << 21 << "192.0.2.1" << 0xC0000201u;
    QTest::newRow("not an address") << 19 << "контроллер" << 0u;
    QTest::newRow("empty") << 20 << "" << 0u;
    QTest::newRow("three parts") << 21 << "192.168.1" << 0u;
    QTest::newRow("octet too large") << 19 << "10.0.0.256" << 0u;
    QTest::newRow("IPv6") << 19 << "::1" << 0u;
    // The page's validator lets parts start with 0: they stay decimal.
    QTest::newRow("leading zeros are decimal") << 19 << "192.168.001.010" << 0xC0A8010Au;
    QTest::newRow("part 08") << 21 << "10.0.0.08" << 0x0A000008u;
    QTest::newRow("part 09") << 20 << "255.255.255.09" << 0xFFFFFF09u;
    QTest::newRow("hexadecimal part") << 19 << "0x0a.1.1.1" << 0u;
    QTest::newRow("signed part") << 19 << "+1.2.3.4" << 0u;
    QTest::newRow("four-digit part") << 19 << "1.2.3.0004" << 0u;
    QTest::newRow("empty part") << 19 << "1..3.4" << 0u;
}

void TestControllerConfigModel::ipv4Texts()
{
    QFETCH(int, id);
    QFETCH(QString, text);
    QFETCH(uint, stored);

    ControllerConfigModel m;
    m.networkConfig.IPAddr = m.networkConfig.NetMask = m.networkConfig.Gateway = 0x01020304;
    QSignalSpy spy(&m, &ControllerConfigModel::dataChanged);
    m.setData(id, text, Qt::EditRole);
    QCOMPARE(fieldOf(m, id).toUInt(), stored);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QVector<int>>(), QVector<int>{2});
    // The other two addresses stay.
    for (int other = 19; other <= 21; ++other) {
        if (other != id)
            QCOMPARE(fieldOf(m, other).toUInt(), 0x01020304u);
    }
}

void TestControllerConfigModel::ignoredEdits_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("role");

    QTest::newRow("id 22") << 22 << int(Qt::EditRole);
    QTest::newRow("id 3") << 3 << int(Qt::EditRole);
    QTest::newRow("id 24") << 24 << int(Qt::EditRole);
    QTest::newRow("id -1") << -1 << int(Qt::EditRole);
    QTest::newRow("display role") << 5 << int(Qt::DisplayRole);
    QTest::newRow("user role") << 19 << int(Qt::UserRole);
}

void TestControllerConfigModel::ignoredEdits()
{
    QFETCH(int, id);
    QFETCH(int, role);

    ControllerConfigModel m;
    m.deviceConfig.LineAddr = 9;
    m.networkConfig.IPAddr = 0x0A000001;
    const QByteArray before = bytesOf(m);
    QSignalSpy spy(&m, &ControllerConfigModel::dataChanged);
    m.setData(id, QStringLiteral("10.0.0.2"), role);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(bytesOf(m), before);
}

QTEST_GUILESS_MAIN(TestControllerConfigModel)
#include "tst_controllerconfigmodel.moc"
