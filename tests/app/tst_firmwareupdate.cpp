// Firmware window against the fake controller, whole updates: the
// controller's own program, and sensor firmware with its progress and the
// module versions read again after the restart.

#include "firmwareformfixture.h"

#include <QRegularExpression>
#include <QTableView>

using namespace FirmwareFormTest;
using namespace LantrelProtocol;

class TestFirmwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { FirmwareFormTest::initTestCase(); }

    void controllerProgram();
    void sensorFirmware();
    void countAboveConfiguration();
};

namespace {

// Texts of the window's labels that put a count above the total beside it.
QStringList countsAboveTotal(QWidget *form)
{
    static const QRegularExpression pair(QStringLiteral("(\\d+) из (\\d+)"));
    QStringList found;
    for (const QLabel *l : form->findChildren<QLabel *>()) {
        const QString text = QTextDocumentFragment::fromHtml(l->text()).toPlainText();
        for (auto it = pair.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(1).toInt() > m.captured(2).toInt())
                found << text;
        }
    }
    return found;
}

} // namespace

void TestFirmwareUpdate::controllerProgram()
{
    Rig rig;
    QVERIFY(rig.connect());
    rig.line.fake.setRestartDelays(100, 300);
    rig.line.fake.setCommandBusyTime(MOVE_PROG, 300);
    // The controller program goes over whatever the line does.
    FirmwareUpdateForm *form = rig.open(false);
    QSignalSpy logged(form, &FirmwareUpdateForm::writeToLog);
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);
    const QByteArray file = FirmwareTest::makeFile(FirmwareTest::patternBody(2976), ControllerProgram, 0x0410);
    const QString path = rig.file(QStringLiteral("program.mcr"), file);

    rig.choose(path);
    QCOMPARE(rig.text("lblHwType"), QStringLiteral("ЦУ-Л (программа)"));
    QCOMPARE(rig.text("lblVersion"), QStringLiteral("4.16"));
    QVERIFY(!rig.shown("lblHwCount"));
    QCOMPARE(rig.line.fake.coilWrites(1), 1);
    QCOMPARE(logged.count(), 1);
    QCOMPARE(logged.at(0).at(0).toString(),
             QStringLiteral("Передача файла прошивки %1 в ЦУ-Л. Тип прошивки - ЦУ-Л (программа), версия - 4.16")
                 .arg(QDir::toNativeSeparators(path)));
    // Nothing to press while the image travels.
    QVERIFY(!rig.button("btnLoadFirmwareFile")->isEnabled());
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    QVERIFY(uploadSucceeded(uploaded));

    // The controller holds the file and its CRC, announced with type and size.
    const QByteArray image = FirmwareTest::uploadImageOf(file);
    QCOMPARE(rig.line.fake.firmwareImage(), image);
    const FakeCommand load = rig.line.fake.commands().last();
    QCOMPARE(load.code, int(LOAD_PROG));
    QCOMPARE(load.param1, 0x0200 | (image.size() >> 16));
    QCOMPARE(load.param2, image.size() & 0xFFFF);
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());

    QSignalSpy updated(&rig.line.client, &LantrelClient::firmwareUpdated);
    QSignalSpy rebooted(&rig.line.client, &LantrelClient::deviceRebooted);
    QTest::mouseClick(rig.button("btnStartUpdateFirmware"), Qt::LeftButton);
    QCOMPARE(logged.last().at(0).toString(), QStringLiteral("Запуск процедуры обновления прошивки ЦУ-Л"));
    QVERIFY(!rig.widget("buttonBox")->isEnabled());
    QVERIFY(!rig.shown("lblModProgressCount"));
    rig.form->close();
    QVERIFY(rig.form->isVisible());   // refused while the update runs

    QVERIFY(updated.wait(ClientTest::LongWaitMs));
    QCOMPARE(updated.first().first().toBool(), true);
    QCOMPARE(rig.commandCodes().mid(rig.commandCodes().size() - 2), (QList<int>{MOVE_PROG, SAVE_PROG}));
    QCOMPARE(rig.result(), QStringLiteral("Обновление прошивки успешно завершено"));
    QVERIFY(rig.widget("buttonBox")->isEnabled());
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());

    // The controller restarts by itself into the new program.
    QVERIFY(rebooted.count() > 0 || rebooted.wait(ClientTest::LongWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("lblFwVer"), QStringLiteral("4.16"), 10000);
    QCOMPARE(rig.line.fake.restartCount(), 1);

    // The restart already brought the line back: closing restarts nothing more.
    QVERIFY(rig.closeForm());
    QTest::qWait(300);
    QCOMPARE(rig.line.fake.coilWrites(2), 0);
}

void TestFirmwareUpdate::sensorFirmware()
{
    Rig rig;
    QVERIFY(rig.connect(true));
    rig.line.fake.setRestartDelays(100, 300);
    rig.line.fake.setCommandBusyTime(MOVE_PROG, 300);
    rig.line.fake.setCommandBusyTime(SAVE_PROG, 3000);
    FirmwareUpdateForm *form = rig.open(true);
    auto *table = form->findChild<QTableView *>(QStringLiteral("tableView"));
    QSignalSpy logged(form, &FirmwareUpdateForm::writeToLog);
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);

    rig.choose(rig.moduleFile(Sensors, 0x0211, 4064));
    QCOMPARE(rig.text("lblHwType"), QStringLiteral("ВТ-Л (ВС-Л)"));
    QCOMPARE(rig.text("lblHwCount"), QStringLiteral("24"));
    QVERIFY(rig.shown("lblHwCount"));
    QVERIFY(uploadSucceeded(uploaded));
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());

    // The progress label starts at 0 and follows the modules the controller has updated.
    QStringList progressShown;
    QObject::connect(&rig.line.client, &LantrelClient::firmwareUpdateProgress, form,
                     [&]() { progressShown << rig.text("lblModProgressCount"); });
    QSignalSpy progress(&rig.line.client, &LantrelClient::firmwareUpdateProgress);
    QSignalSpy updated(&rig.line.client, &LantrelClient::firmwareUpdated);
    QSignalSpy rebooted(&rig.line.client, &LantrelClient::deviceRebooted);
    QTest::mouseClick(rig.button("btnStartUpdateFirmware"), Qt::LeftButton);
    QCOMPARE(logged.last().at(0).toString(), QStringLiteral("Запуск процедуры обновления прошивки модулей"));
    QVERIFY(rig.shown("lblModProgressCount"));
    QCOMPARE(rig.text("lblModProgressCount"), QStringLiteral("0 по отчёту ЦУ-Л"));
    QVERIFY(updated.wait(ClientTest::LongWaitMs));
    QCOMPARE(updated.first().first().toBool(), true);
    QVERIFY(progress.count() >= 2);
    QStringList reported;
    for (const QList<QVariant> &p : qAsConst(progress))
        reported << QStringLiteral("%1 по отчёту ЦУ-Л").arg(p.at(0).toUInt());
    QCOMPARE(progressShown, reported);
    QVERIFY(progress.first().at(0).toUInt() > 0 && progress.last().at(0).toUInt() <= 24);
    // The outcome says what the last count was: the controller's last
    // report of progress, not a count of modules left out.
    QVERIFY(!rig.shown("lblModProgressCount"));
    QCOMPARE(rig.result(), QStringLiteral("Обновление прошивки успешно завершено\n"
                                          "Последний отчёт ЦУ-Л о ходе обновления: обновлено модулей — %1\n"
                                          "Версии прошивок модулей будут прочитаны заново после перезапуска ЦУ-Л")
                                .arg(progress.last().at(0).toUInt()));

    // The client restarts the controller; once the line polls again the
    // window asks for the versions, and the sensors show the new one.
    QVERIFY(rebooted.count() > 0 || rebooted.wait(ClientTest::LongWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(table->model()->index(0, 3).data().toString(), QStringLiteral("2.17"), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(table->model()->index(23, 3).data().toString(), QStringLiteral("2.17"), 5000);
    QVERIFY(!rig.result().contains(QStringLiteral("будут прочитаны")));
    QCOMPARE(table->model()->index(24, 3).data().toString(), QString());
    QCOMPARE(rig.commandCodes().count(RD_SECT_VER), 1);

    // The update ended and the controller restarted: closing restarts nothing more.
    QCOMPARE(rig.line.fake.coilWrites(2), 1);
    QVERIFY(rig.closeForm());
    QTest::qWait(300);
    QCOMPARE(rig.line.fake.coilWrites(2), 1);
}

void TestFirmwareUpdate::countAboveConfiguration()
{
    // The controller counts its own way: past the 24 sensors of its configuration.
    Rig rig;
    QVERIFY(rig.connect(true));
    rig.line.fake.setRestartDelays(100, 300);
    rig.line.fake.setCommandBusyTime(MOVE_PROG, 300);
    rig.line.fake.setCommandBusyTime(SAVE_PROG, 1500);
    FirmwareUpdateForm *form = rig.open(true);
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);
    rig.choose(rig.moduleFile(Sensors, 0x0211));
    QVERIFY(uploadSucceeded(uploaded));
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());
    rig.line.fake.emulateFirmwareUpdate(false);
    rig.line.fake.setProgressEnd(330);

    QStringList progressShown;
    QStringList overTotal;
    QObject::connect(&rig.line.client, &LantrelClient::firmwareUpdateProgress, form, [&]() {
        progressShown << rig.text("lblModProgressCount");
        overTotal << countsAboveTotal(form);
    });
    QSignalSpy progress(&rig.line.client, &LantrelClient::firmwareUpdateProgress);
    QSignalSpy updated(&rig.line.client, &LantrelClient::firmwareUpdated);
    QTest::mouseClick(rig.button("btnStartUpdateFirmware"), Qt::LeftButton);
    QVERIFY(updated.wait(ClientTest::LongWaitMs));
    QCOMPARE(updated.first().first().toBool(), true);
    const uint last = progress.last().at(0).toUInt();
    QVERIFY2(last > 24, qPrintable(QString::number(last)));

    // Each count as the controller gave it, and no total beside it.
    QStringList reported;
    for (const QList<QVariant> &p : qAsConst(progress))
        reported << QStringLiteral("%1 по отчёту ЦУ-Л").arg(p.at(0).toUInt());
    QCOMPARE(progressShown, reported);
    QCOMPARE(rig.text("lblHwCount"), QStringLiteral("24"));
    QCOMPARE(rig.result().section(QLatin1Char('\n'), 1, 1),
             QStringLiteral("Последний отчёт ЦУ-Л о ходе обновления: обновлено модулей — %1").arg(last));
    overTotal << countsAboveTotal(form);
    QVERIFY2(overTotal.isEmpty(), qPrintable(overTotal.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestFirmwareUpdate)
#include "tst_firmwareupdate.moc"
