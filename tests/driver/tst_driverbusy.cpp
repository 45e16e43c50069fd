// A controller that stays busy, refuses or keeps silent: the words the driver
// finds for it, and what it no longer sends.
#include <QElapsedTimer>
#include <QLocale>
#include <QSignalSpy>
#include <QtTest>

#include "drivertestsupport.h"

using namespace LantrelProtocol;
using namespace DriverTest;

namespace {

const int BusyLimitMs = 500;

struct Rig : CommandRig
{
    // The line settings with these module counts, read so that the driver
    // polls the modules.
    bool readModuleCounts(int sensors)
    {
        Konfig_Line_t line = fake.lineConfig();
        line.SensorCount = quint16(sensors);
        line.IoCount = 0;
        line.ScpCount = 0;
        fake.setLineConfig(line);
        QSignalSpy read(driver.get(), &LantrelDriver::readCompleted);
        driver->getLineConfig();
        return read.wait(3000) && read.first().at(0).toBool();
    }
};

QList<int> recordsAsked(const FakeController &fake, int function, int file)
{
    QList<int> records;
    for (const FakeRequest &r : fake.requests(function, file))
        records << r.record();
    return records;
}

} // namespace

class TestDriverBusy : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        setUpEnvironment(dir);
    }
    void init()
    {
        resetDriverSettings();
        setDriverSetting(QStringLiteral("BusyTimeLimit"), BusyLimitMs);
        setDriverSetting(QStringLiteral("ResponseTimeout"), 200);
    }
    void cleanupTestCase() { tearDownEnvironment(); }

    void causes_data();
    void causes();
    void busyStepEndsTransfer_data();
    void busyStepEndsTransfer();
    void slowBusyAnswers();
    void stopTransfers_data();
    void stopTransfers();
    void wrongRepliesToMixedPolls();
};

void TestDriverBusy::causes_data()
{
    QTest::addColumn<QString>("place");   // identity, status, page
    QTest::addColumn<int>("answer");      // exception code, -1 without a code, -2 no answer
    QTest::addColumn<QString>("words");

    const QString code2 = QStringLiteral("Ответ-исключение Modbus: недопустимый адрес данных (код 0x02)");
    QTest::newRow("identity, exception 2") << "identity" << 2
                                           << QStringLiteral("ЦУ-Л отклонил запрос идентификации: ") + code2;
    QTest::newRow("identity, busy") << "identity" << 6
                                    << "ЦУ-Л отвечает, но остаётся занятым: запрос идентификации не выполнен за 0,5 с";
    QTest::newRow("identity, no code") << "identity" << -1
                                       << "ЦУ-Л отвечает, но остаётся занятым: запрос идентификации не выполнен за 0,5 с";
    QTest::newRow("identity, silent") << "identity" << -2 << "Устройство не ответило на запрос идентификации ЦУ-Л";

    QTest::newRow("status, exception 2") << "status" << 2
                                         << QStringLiteral("ЦУ-Л отклоняет запрос своего состояния: ") + code2;
    QTest::newRow("status, busy") << "status" << 6 << "ЦУ-Л отвечает, но остаётся занятым и не сообщает своё состояние";
    QTest::newRow("status, no code") << "status" << -1
                                     << "ЦУ-Л отвечает, но остаётся занятым и не сообщает своё состояние";
    QTest::newRow("status, silent") << "status" << -2 << "Устройство не отвечает на запросы";

    QTest::newRow("page, exception 2") << "page" << 2 << QStringLiteral("ЦУ-Л отклонил запрос: ") + code2;
    QTest::newRow("page, busy") << "page" << 6 << "ЦУ-Л отвечает, но остаётся занятым: запрос не выполнен за 0,5 с";
    QTest::newRow("page, no code") << "page" << -1 << "ЦУ-Л отвечает, но остаётся занятым: запрос не выполнен за 0,5 с";
    QTest::newRow("page, silent") << "page" << -2 << "ЦУ-Л не ответил на запрос";
}

void TestDriverBusy::causes()
{
    QFETCH(QString, place);
    QFETCH(int, answer);
    QFETCH(QString, words);

    Rig rig;
    FakeInjection inj = answer == -2 ? FakeInjection::make(FakeInjection::Silence, -1, -1)
                                     : FakeInjection::exception(answer, -1, -1);
    if (place == QLatin1String("identity")) {
        inj.function = 3;
        inj.address = 0;
    } else if (place == QLatin1String("status")) {
        inj.function = 3;
        inj.address = 22;
    } else {
        inj.function = 20;
        inj.file = 10;
        inj.record = 30;
    }

    QStringList said;
    QElapsedTimer clock;
    clock.start();
    if (place == QLatin1String("identity")) {
        rig.fake.addInjection(inj);
        rig.fake.setIpAddress(rig.host);
        QVERIFY(rig.server.listen(rig.host, 502));
        rig.driver.reset(new LantrelDriver(0, rig.host.toString(), rig.fake.unitId()));
        QSignalSpy error(rig.driver.get(), &LantrelDriver::linkError);
        rig.driver->start();
        QVERIFY(error.wait(10000));
        said << texts(error);
        // Nothing goes out after the give-up: the last request is the identity read.
        QTest::qWait(300);
        const QList<FakeRequest> log = rig.fake.requestLog();
        QVERIFY(!log.isEmpty());
        QCOMPARE(log.last().function, 3);
        QCOMPARE(log.last().address, 0);
        QCOMPARE(rig.fake.requests(20, 1).size(), 0);
        QVERIFY2(said.contains(words), qPrintable(said.join('\n')));
        return;
    }

    const bool status = place == QLatin1String("status");
    QVERIFY(rig.start(status));
    QSignalSpy log(rig.driver.get(), &LantrelDriver::writeToLog);
    QSignalSpy error(rig.driver.get(), &LantrelDriver::linkError);
    QSignalSpy failed(rig.driver.get(), &LantrelDriver::requestFailed);
    rig.fake.addInjection(inj);
    if (!status)
        rig.driver->getSensorsConfig();
    auto heard = [&]() {
        said = texts(log) + texts(error) + texts(failed);
        return said.contains(words);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(heard(), qPrintable(said.join('\n')), 15000);
}

void TestDriverBusy::busyStepEndsTransfer_data()
{
    QTest::addColumn<bool>("write");
    QTest::newRow("read") << false;
    QTest::newRow("write") << true;
}

void TestDriverBusy::busyStepEndsTransfer()
{
    QFETCH(bool, write);
    Rig rig;
    QVERIFY(rig.start());
    LantrelDriver *d = rig.driver.get();
    const int function = write ? 21 : 20;
    // Busy from the third sensor page on, for as long as it is asked.
    FakeInjection busy = FakeInjection::exception(6, function, -1);
    busy.file = 10;
    busy.skip = 2;
    rig.fake.addInjection(busy);

    QSignalSpy completed(d, write ? &LantrelDriver::writeCompleted : &LantrelDriver::readCompleted);
    QSignalSpy failed(d, &LantrelDriver::requestFailed);
    QElapsedTimer clock;
    clock.start();
    if (write) {
        QMap<quint16, Konfig_Section_t> sensors;
        const QVector<Konfig_Section_t> held = rig.fake.sensors();
        for (int k = 0; k < held.size(); ++k)
            sensors.insert(quint16(k), held.at(k));
        QMap<quint16, Konfig_MVV_t> io;
        const QVector<Konfig_MVV_t> heldIo = rig.fake.ioModules();
        for (int k = 0; k < heldIo.size(); ++k)
            io.insert(quint16(k), heldIo.at(k));
        d->setSensorsConfig(sensors);
        d->setIoModulesConfig(io);
    } else {
        d->getSensorsConfig();
        d->getIoModulesConfig();
    }
    QVERIFY(waitForCount(completed, 34 + 7, 10000));
    QVERIFY2(clock.elapsed() < BusyLimitMs + 1500, qPrintable(QString::number(clock.elapsed())));

    // The two pages before it went through; the busy one was given up after
    // the time limit, and the rest ended unsent.
    QCOMPARE(countValue(completed, true), 2);
    QCOMPARE(failed.count(), 34 + 7 - 2);
    QCOMPARE(failed.first().at(0).toString(),
             QStringLiteral("ЦУ-Л отвечает, но остаётся занятым: запрос не выполнен за 0,5 с"));
    QCOMPARE(countValue(failed, true, 1), failed.count());
    const QList<int> asked = recordsAsked(rig.fake, function, 10);
    QVERIFY2(asked.size() > 3 && asked.mid(0, 2) == QList<int>({0, 15}), qPrintable(QString::number(asked.size())));
    QCOMPARE(asked.mid(2).count(30), asked.size() - 2);
    QCOMPARE(rig.fake.requests(function, 15).size(), 0);
    // Nor anything later.
    const int sent = rig.fake.requestLog().size();
    QTest::qWait(200);
    QCOMPARE(rig.fake.requestLog().size(), sent);
}

void TestDriverBusy::slowBusyAnswers()
{
    // Each busy answer takes 250 ms: the limit runs from the first of them,
    // not from a count of re-sends times their spacing.
    const int limitMs = 600;
    setDriverSetting(QStringLiteral("BusyTimeLimit"), limitMs);
    setDriverSetting(QStringLiteral("ResponseTimeout"), 1000);
    Rig rig;
    QVERIFY(rig.start());
    FakeInjection busy = FakeInjection::exception(6, 20, -1);
    busy.file = 8;
    busy.delayMs = 250;
    rig.fake.addInjection(busy);

    QSignalSpy read(rig.driver.get(), &LantrelDriver::readCompleted);
    QElapsedTimer clock;
    clock.start();
    rig.driver->getLineConfig();
    QVERIFY(read.wait(15000));
    const qint64 took = clock.elapsed();
    QCOMPARE(read.first().at(0).toBool(), false);
    QVERIFY2(took >= limitMs && took < limitMs + 800, qPrintable(QString::number(took)));
    const int tries = rig.fake.requests(20, 8).size();
    QVERIFY2(tries >= 3 && tries <= 5, qPrintable(QString::number(tries)));
}

void TestDriverBusy::stopTransfers_data()
{
    QTest::addColumn<int>("answerDelayMs");   // of the busy answers; -1 no answer at all
    QTest::newRow("stopped between re-sends") << 0;
    QTest::newRow("stopped with the request on the wire") << 150;
    QTest::newRow("stopped while the controller keeps silent") << -1;
}

void TestDriverBusy::stopTransfers()
{
    QFETCH(int, answerDelayMs);
    setDriverSetting(QStringLiteral("BusyTimeLimit"), 10000);
    Rig rig;
    QVERIFY(rig.start());
    LantrelDriver *d = rig.driver.get();
    FakeInjection busy = answerDelayMs < 0 ? FakeInjection::make(FakeInjection::Silence, 20, -1)
                                           : FakeInjection::exception(6, 20, -1);
    busy.file = 10;
    busy.skip = 2;
    busy.delayMs = qMax(0, answerDelayMs);
    rig.fake.addInjection(busy);

    QSignalSpy read(d, &LantrelDriver::readCompleted);
    QSignalSpy failed(d, &LantrelDriver::requestFailed);
    d->getSensorsConfig();
    d->getIoModulesConfig();
    QTRY_VERIFY_WITH_TIMEOUT(recordsAsked(rig.fake, 20, 10).count(30) >= (answerDelayMs < 0 ? 1 : 2), 5000);
    QElapsedTimer clock;
    clock.start();
    d->stopConfigTransfers();
    QVERIFY(waitForCount(read, 34 + 7, 3000));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(countValue(read, true), 2);
    QCOMPARE(countValue(failed, QStringLiteral("передача остановлена")), 34 + 7 - 2);
    QCOMPARE(countValue(failed, true, 1), 0);
    QCOMPARE(rig.fake.requests(20, 15).size(), 0);
    const int sent = rig.fake.requestLog().size();
    QTest::qWait(100);
    QCOMPARE(rig.fake.requestLog().size(), sent);
}

void TestDriverBusy::wrongRepliesToMixedPolls()
{
    // Every sensor-status page is answered wrongly, every status block well:
    // never three wrong replies in a row, so the link stays.
    Rig rig;
    QVERIFY(rig.start(true));
    QVERIFY(rig.readModuleCounts(10));
    LantrelDriver *d = rig.driver.get();
    QSignalSpy lost(d, &LantrelDriver::disconnected);
    QSignalSpy error(d, &LantrelDriver::linkError);
    FakeInjection wrong = FakeInjection::make(FakeInjection::WrongFunction, 20, -1);
    wrong.file = 9;
    rig.fake.addInjection(wrong);
    rig.fake.clearLog();
    QTRY_VERIFY_WITH_TIMEOUT(rig.fake.requests(20, 9).size() >= 5, 15000);
    QCOMPARE(lost.count(), 0);
    QCOMPARE(error.count(), 0);
    QVERIFY(countRequests(rig.fake.requestLog(), 3, 22) >= 4);
}

QTEST_GUILESS_MAIN(TestDriverBusy)
#include "tst_driverbusy.moc"
