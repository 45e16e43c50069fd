// Link ends that are easy to get wrong: a stop while a request is still
// unsent, a serial port that cannot be opened, a driver deleted without
// stop, the pending line address after a factory reset; and single settings
// records that arrive cut.

#include "drivertestsupport.h"

#include <QFileInfo>

using namespace LantrelProtocol;
using namespace DriverTest;

class TestDriverReview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void stopWithRequestOnTheWire();
    void serialPortMissing();
    void deleteWithoutStop();
    void factoryResetDropsPendingAddress();
    void cutSettingsRecord_data();
    void cutSettingsRecord();

private:
    QTemporaryDir m_dir;
};

void TestDriverReview::initTestCase()
{
    setUpEnvironment(m_dir);
}

void TestDriverReview::init()
{
    resetDriverSettings();
}

void TestDriverReview::cleanupTestCase()
{
    tearDownEnvironment();
}

void TestDriverReview::stopWithRequestOnTheWire()
{
    // The packet log tells the moment a request has been handed to the socket.
    setDriverSetting(QStringLiteral("EnableDebugLog"), true);
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);
    QSignalSpy finished(d, &LantrelDriver::finished);
    QSignalSpy log(d, &LantrelDriver::writeToLog);

    // The client asks to stop just as the first page goes out, before the
    // socket has written it.
    bool asked = false;
    connect(d, &LantrelDriver::capturedPacket, this, [d, &asked](const QDateTime &, const QString &text) {
        if (!asked && text.contains(QStringLiteral("TX: 140706000F")) ) {
            asked = true;
            QMetaObject::invokeMethod(d, "stop", Qt::QueuedConnection);
        }
    });
    d->getIoModulesConfig();
    QVERIFY(finished.wait(5000));
    QTest::qWait(300); // the late close of the socket must not reach the driver

    QVERIFY(asked);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(disconnected.count(), 1);
    // Every page ends, none with success.
    QCOMPARE(read.count(), 7);
    QCOMPARE(countValue(read, false), 7);
    QVERIFY2(texts(log).contains(QStringLiteral("Завершено соединение с хостом 127.0.0.1")),
             qPrintable(texts(log).join('\n')));
}

void TestDriverReview::serialPortMissing()
{
    const QString port = m_dir.filePath(QStringLiteral("no-such-tty"));
    QVERIFY(!QFileInfo::exists(port));
    auto *d = new LantrelDriver(1, port, 3);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);
    QSignalSpy finished(d, &LantrelDriver::finished);
    QSignalSpy connected(d, &LantrelDriver::connected);
    QSignalSpy log(d, &LantrelDriver::writeToLog);
    d->start();
    QVERIFY(waitForCount(finished, 1, 5000));
    QTest::qWait(100);

    const QStringList lines = texts(log);
    QCOMPARE(connected.count(), 0);
    QCOMPARE(disconnected.count(), 1); // once, though the port closes in two steps
    QCOMPARE(finished.count(), 1);
    QVERIFY2(lines.contains(QStringLiteral("Не удалось установить подключение к коммуникационному порту ") + port),
             qPrintable(lines.join('\n')));
    QVERIFY(lines.contains(QStringLiteral("Ошибка соединения с ЦУ-Л")));
    bool errorLine = false;
    for (const QString &line : lines)
        errorLine = errorLine || line.startsWith(QStringLiteral("Ошибка связи с ЦУ-Л. Код ошибки 3. "));
    QVERIFY2(errorLine, qPrintable(lines.join('\n')));
    // The TCP-only text never appears for a serial port.
    for (const QString &line : lines)
        QVERIFY(!line.startsWith(QStringLiteral("Устанавливается соединение")));
    stopAndDelete(d);
}

void TestDriverReview::deleteWithoutStop()
{
    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);
    d->getSensorsConfig();

    // Whoever deletes a running driver hears nothing more from it.
    int signalsAfter = 0;
    connect(d, &LantrelDriver::writeToLog, this, [&signalsAfter]() { ++signalsAfter; });
    connect(d, &LantrelDriver::disconnected, this, [&signalsAfter]() { ++signalsAfter; });
    connect(d, &LantrelDriver::readCompleted, this, [&signalsAfter]() { ++signalsAfter; });
    delete d;
    f.driver = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(50);
    QCOMPARE(signalsAfter, 0);
}

void TestDriverReview::factoryResetDropsPendingAddress()
{
    TcpFixture f;
    QVERIFY(f.listening);
    // The controller comes back on 192.168.0.254 after the reset.
    f.server.close();
    QVERIFY(f.server.listen(QHostAddress::AnyIPv4, 502));
    LantrelDriver *d = f.makeDriver();
    QVERIFY(startAndConnect(d));

    QSignalSpy write(d, &LantrelDriver::writeCompleted);
    QSignalSpy defaults(d, &LantrelDriver::setDefaultsCompleted);
    QSignalSpy reboot(d, &LantrelDriver::rebootCompleted);
    QSignalSpy address(d, &LantrelDriver::deviceAddressChanged);
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy disconnected(d, &LantrelDriver::disconnected);

    // Line address 9, taken at once by the controller but not saved.
    Konfig_Device_t dev = f.fake.record<Konfig_Device_t>(3, 0);
    dev.LineAddr = 9;
    d->setControllerConfig(f.fake.fileBytes(28), dev, f.fake.record<ETH_konf_t>(4, 0),
                           f.fake.record<Konfig_Line_t>(8, 0));
    QVERIFY(waitForCount(write, 1, 5000));
    QCOMPARE(address.count(), 1);
    QCOMPARE(address.at(0).at(0).toInt(), 9);

    d->setDefaults();
    QVERIFY(waitForCount(defaults, 1, 8000));
    QCOMPARE(defaults.at(0).at(0).toBool(), true);
    d->rebootController();
    QVERIFY(waitForCount(reboot, 1, 12000));
    QCOMPARE(reboot.at(0).at(0).toBool(), true);
    QCOMPARE(address.count(), 2);
    QCOMPARE(address.at(1).at(0).toInt(), 1);

    // Address 1 is what the controller keeps: a time-out now is an ordinary
    // one and changes no address.
    FakeInjection silent = FakeInjection::make(FakeInjection::Silence, 20, 2);
    silent.file = 8;
    f.fake.addInjection(silent);
    d->getLineConfig();
    QVERIFY(waitForCount(read, 1, 8000));
    QCOMPARE(read.at(0).at(0).toBool(), true);
    QCOMPARE(address.count(), 2);
    QCOMPARE(disconnected.count(), 0);
}

void TestDriverReview::cutSettingsRecord_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QByteArray>("dataSignal");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("drop");
    QTest::addColumn<bool>("completes");

    QTest::newRow("line settings") << "getLineConfig" << QByteArray(SIGNAL(lineConfig(LantrelProtocol::Konfig_Line_t)))
                                   << 20 << 8 << 1 << true;
    QTest::newRow("network settings") << "getNetworkConfig" << QByteArray(SIGNAL(networkConfig(LantrelProtocol::ETH_konf_t)))
                                      << 20 << 4 << 3 << true;
    QTest::newRow("clock") << "getControllerClock" << QByteArray(SIGNAL(controllerDateTime(QDateTime)))
                           << 20 << 1 << 2 << false;
    QTest::newRow("identity without the line address") << "getControllerInfo"
        << QByteArray(SIGNAL(controllerInfo(LantrelProtocol::Info_Device_t, ushort, QDate))) << 3 << -1 << 2 << false;
}

void TestDriverReview::cutSettingsRecord()
{
    QFETCH(QString, slot);
    QFETCH(QByteArray, dataSignal);
    QFETCH(int, function);
    QFETCH(int, file);
    QFETCH(int, drop);
    QFETCH(bool, completes);

    TcpFixture f;
    LantrelDriver *d = f.connectDriver();
    QVERIFY(d);

    FakeInjection cut = FakeInjection::make(FakeInjection::ShortReply, function, 1, drop);
    cut.file = file;
    if (function == 3)
        cut.address = 0;
    f.fake.addInjection(cut);

    QSignalSpy data(d, dataSignal.constData());
    QSignalSpy read(d, &LantrelDriver::readCompleted);
    // The cut reply is not taken as settings; the next read is.
    QVERIFY(QMetaObject::invokeMethod(d, slot.toLatin1().constData(), Qt::DirectConnection));
    QVERIFY(QMetaObject::invokeMethod(d, slot.toLatin1().constData(), Qt::DirectConnection));
    QVERIFY(waitForCount(data, 1, 5000));
    QTest::qWait(100);
    QCOMPARE(data.count(), 1);
    if (completes) {
        QCOMPARE(read.count(), 2);
        QCOMPARE(read.at(0).at(0).toBool(), false);
        QCOMPARE(read.at(1).at(0).toBool(), true);
    } else {
        QCOMPARE(read.count(), 0);
    }
    if (function == 3)
        QCOMPARE(data.at(0).at(1).value<ushort>(), ushort(3));
}

QTEST_GUILESS_MAIN(TestDriverReview)
#include "tst_driverreview.moc"
