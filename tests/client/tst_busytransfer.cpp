// A whole read or write that a busy controller holds up, or that the user
// stops: it ends at that step, says why and what was left out, and no read
// follows on the program's own account.

#include "clienttestsupport.h"

using namespace LantrelProtocol;
using namespace ClientTest;

class TestBusyTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endedEarly_data();
    void endedEarly();

private:
    QTemporaryDir m_dir;
};

void TestBusyTransfer::initTestCase()
{
    setUpQuietEnvironment(m_dir, this);
    LantrelProtocol::registerMetaTypes();
}

void TestBusyTransfer::endedEarly_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("stop");   // the user stops it; else the busy time limit ends it
    QTest::addColumn<QString>("words");

    const QString busy = QStringLiteral("Причина: ЦУ-Л отвечает, но остаётся занятым: запрос не выполнен за 0,5 с.");
    QTest::newRow("read, busy") << false << false
                                << QStringLiteral("Конфигурация ИОП прочитана из ЦУ-Л не полностью, не прочитаны: "
                                                  "записи 31–500 таблицы модулей ВТ-Л и ВС-Л, записи 1–100 таблицы "
                                                  "модулей ПС-Л, записи 1–32 таблицы модулей ТЗ-Л, записи 1–4 таблицы "
                                                  "модулей ЖН-Т, записи 1–500 таблицы совместной обработки, "
                                                  "записи 1–4000 таблицы взаимодействий. ")
                                       + busy;
    QTest::newRow("write, busy") << true << false
                                 << QStringLiteral("В процессе передачи данных в ЦУ-Л были ошибки, не переданы: "
                                                   "записи таблицы модулей ВТ-Л и ВС-Л, записи таблицы модулей ПС-Л, "
                                                   "записи таблицы модулей ТЗ-Л, записи таблицы модулей ЖН-Т, "
                                                   "параметры ЦУ-Л, записи таблицы совместной обработки, "
                                                   "записи таблицы взаимодействий. ")
                                        + busy;
    QTest::newRow("read, stopped") << false << true
                                   << QStringLiteral("Чтение конфигурации ИОП из ЦУ-Л остановлено, не прочитаны: "
                                                     "записи 31–500 таблицы модулей ВТ-Л и ВС-Л");
    QTest::newRow("write, stopped") << true << true
                                    << QStringLiteral("Передача конфигурации ИОП в ЦУ-Л остановлена, не переданы: "
                                                      "записи таблицы модулей ВТ-Л и ВС-Л, записи таблицы модулей ПС-Л");
}

void TestBusyTransfer::endedEarly()
{
    QFETCH(bool, write);
    QFETCH(bool, stop);
    QFETCH(QString, words);

    // Stopped well before the busy time limit would end it.
    appSettings->setValue(QStringLiteral("Driver/BusyTimeLimit"), stop ? 20000 : 500);
    appSettings->sync();
    Connected c;
    QVERIFY(connectToFake(c));
    QSignalSpy errors(&c.client, &LantrelClient::clientError);
    QSignalSpy steps(&c.client, &LantrelClient::taskCompleted);
    if (write) {
        QSignalSpy datasets(&c.client, &LantrelClient::datasetChanged);
        c.client.readConfiguration();
        QVERIFY(datasets.wait(LongWaitMs));
        QVERIFY(c.client.datasetComplete());
        steps.clear();
    }
    const int function = write ? 21 : 20;
    // Busy from the third sensor page on, for as long as it is asked.
    FakeInjection busy = FakeInjection::exception(6, function, -1);
    busy.file = 10;
    busy.skip = 2;
    c.fake.addInjection(busy);
    c.fake.clearLog();

    QSignalSpy datasets(&c.client, &LantrelClient::datasetChanged);
    QSignalSpy written(&c.client, &LantrelClient::writeFinished);
    if (write)
        c.client.writeConfiguration();
    else
        c.client.readConfiguration();
    // The module counts change meanwhile: a read is due after this one.
    c.client.rereadConfiguration();
    QVERIFY(waitFor([&]() { return c.fake.requests(function, 10).size() >= 4; }, 5000));
    QElapsedTimer clock;
    clock.start();
    if (stop)
        c.client.stopConfigTransfer();
    QVERIFY(waitFor([&]() { return !(write ? written : datasets).isEmpty(); }, 5000));
    QVERIFY2(clock.elapsed() < (stop ? 1000 : 2000), qPrintable(QString::number(clock.elapsed())));

    // Two sensor pages (after the controller settings of a read) went
    // through, the rest failed at once.
    int failed = 0;
    for (const QList<QVariant> &args : steps)
        failed += args.at(1).toBool() ? 0 : 1;
    QCOMPARE(steps.size() - failed, write ? 2 : 3);
    QCOMPARE(errors.count(), 1);
    const QString said = errors.first().first().toString();
    QVERIFY2(said.startsWith(words), qPrintable(said));
    QVERIFY(!said.contains(QStringLiteral("Причина")) || !stop);
    QVERIFY(!c.client.configurationBusy());

    // Nothing after the sensor page it was held up on, and no new read.
    QTest::qWait(500);
    QList<int> records;
    for (const FakeRequest &r : c.fake.requests(function, 10))
        records << r.record();
    QCOMPARE(records.mid(0, 2), QList<int>({0, 15}));
    QCOMPARE(records.mid(2).count(30), records.size() - 2);
    QCOMPARE(c.fake.requests(20, 3).size(), write ? 0 : 1);
    for (int file : {11, 13, 15, 17, 20})
        QVERIFY2(c.fake.requests(20, file).isEmpty() && c.fake.requests(21, file).isEmpty(), qPrintable(QString::number(file)));
}

QTEST_GUILESS_MAIN(TestBusyTransfer)
#include "tst_busytransfer.moc"
