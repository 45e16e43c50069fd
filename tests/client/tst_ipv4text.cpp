// The canonical address texts: those an address editor may accept because
// the models store and show them back unchanged.

#include "ipv4text.h"

#include <QtTest>

class TestIpv4Text : public QObject
{
    Q_OBJECT

private slots:
    void canonicalTexts_data();
    void canonicalTexts();
};

void TestIpv4Text::canonicalTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("canonical");

    QTest::newRow("address") << "192.168.0.254" << true;
    QTest::newRow("zeros") << "0.0.0.0" << true;
    QTest::newRow("all 255") << "255.255.255.255" << true;
    QTest::newRow("part 08") << "10.0.0.08" << false;
    QTest::newRow("parts 001 and 010") << "192.168.001.010" << false;
    QTest::newRow("part 00") << "10.00.0.1" << false;
    QTest::newRow("leading space") << " 10.0.0.1" << false;
    QTest::newRow("trailing space") << "10.0.0.1 " << false;
    QTest::newRow("three parts") << "10.0.1" << false;
    QTest::newRow("empty part") << "10..0.1" << false;
    QTest::newRow("part 256") << "10.0.0.256" << false;
    QTest::newRow("empty") << "" << false;
}

void TestIpv4Text::canonicalTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, canonical);

    QCOMPARE(isCanonicalIpv4Text(text), canonical);
}

QTEST_APPLESS_MAIN(TestIpv4Text)
#include "tst_ipv4text.moc"
