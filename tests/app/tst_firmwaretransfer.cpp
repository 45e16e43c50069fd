// Firmware window against the fake controller, transfers that end without
// a completed update: a failed update, a transfer left unused for another
// file, and the link lost while the image travels. Whatever happens, the
// line the window stopped is not left stopped.

#include "firmwareformfixture.h"

using namespace FirmwareFormTest;
using namespace LantrelProtocol;

class TestFirmwareTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { FirmwareFormTest::initTestCase(); }

    void failedUpdateRestartsOnClose();
    void refusedPreparationEndsTransfer();
    void newFileDropsUpload_data();
    void newFileDropsUpload();
    void linkLostDuringTransfer();
    void linkLostDuringUpdate();
    void secondModuleTransfer_data();
    void secondModuleTransfer();
};

void TestFirmwareTransfer::failedUpdateRestartsOnClose()
{
    Rig rig;
    QVERIFY(rig.connect());
    rig.line.fake.setCommandBusyTime(MOVE_PROG, 300);
    rig.line.fake.failCommand(MOVE_PROG);
    rig.open();
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);
    rig.choose(rig.moduleFile(IoModules, 0x0104));
    QVERIFY(uploadSucceeded(uploaded));
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());

    QSignalSpy updated(&rig.line.client, &LantrelClient::firmwareUpdated);
    QTest::mouseClick(rig.button("btnStartUpdateFirmware"), Qt::LeftButton);
    QVERIFY(updated.wait(ClientTest::LongWaitMs));
    QCOMPARE(updated.first().first().toBool(), false);
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    QCOMPARE(rig.line.fake.coilWrites(2), 0);
    QCOMPARE(rig.result(),
             QStringLiteral("Ошибка обновления прошивки\n"
                            "При закрытии окна ЦУ-Л будет перезапущен, чтобы возобновить чтение линии"));

    // The line is still stopped: closing restarts the controller.
    QVERIFY(rig.closeForm());
    QTRY_COMPARE_WITH_TIMEOUT(rig.line.fake.coilWrites(2), 1, 10000);
}

void TestFirmwareTransfer::refusedPreparationEndsTransfer()
{
    // The controller refuses to take an image: the transfer ends there.
    Rig rig;
    QVERIFY(rig.connect());
    rig.line.fake.failCommand(LOAD_PROG);
    rig.open();
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);
    rig.choose(rig.moduleFile(ControllerProgram, 0x0410));
    QVERIFY(uploaded.wait(ClientTest::LongWaitMs));
    QCOMPARE(uploaded.first().first().toBool(), false);
    QTRY_VERIFY(rig.button("btnLoadFirmwareFile")->isEnabled());
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    QVERIFY(rig.line.fake.firmwareImage().isEmpty());

    // The line was stopped for it: closing restarts the controller.
    QVERIFY(rig.closeForm());
    QTRY_COMPARE_WITH_TIMEOUT(rig.line.fake.coilWrites(2), 1, 10000);
}

void TestFirmwareTransfer::newFileDropsUpload_data()
{
    QTest::addColumn<bool>("readable");

    QTest::newRow("rejected file") << true;
    QTest::newRow("file that cannot be opened") << false;
}

void TestFirmwareTransfer::newFileDropsUpload()
{
    QFETCH(bool, readable);

    Rig rig;
    QVERIFY(rig.connect());
    rig.open();
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);
    rig.choose(rig.file(QStringLiteral("program.mcr"),
                        FirmwareTest::makeFile(FirmwareTest::patternBody(992), ControllerProgram, 0x0410)));
    QVERIFY(uploadSucceeded(uploaded));
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());

    // The name shown is the new file's; the image sent for the old one no longer counts.
    const QString next = readable ? rig.file(QStringLiteral("next.mcr"), QByteArray(64, '\x11'))
                                  : rig.dir.filePath(QStringLiteral("firmware/next.mcr"));
    rig.choose(next);
    QCOMPARE(rig.text("lblFirmwareFileName"), QStringLiteral("next.mcr"));
    QCOMPARE(rig.boxes.asked.size(), 1);
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    QCOMPARE(rig.text("lblHwType"), readable ? QStringLiteral("<Ошибка загрузки>") : QStringLiteral("<Нет данных>"));
    QCOMPARE(rig.commandCodes().count(LOAD_PROG), 1);
    QCOMPARE(rig.line.fake.coilWrites(1), 1);

    // The transfer stopped the line and no update followed: closing restarts the controller.
    QVERIFY(rig.closeForm());
    QTRY_COMPARE_WITH_TIMEOUT(rig.line.fake.coilWrites(2), 1, 10000);
    QVERIFY(!rig.commandCodes().contains(MOVE_PROG));
}

void TestFirmwareTransfer::linkLostDuringTransfer()
{
    Rig rig;
    QVERIFY(rig.connect());
    rig.open();
    QObject::connect(&rig.line.fake, &FakeController::requestReceived, &rig.line.fake,
                     [&rig](const FakeRequest &r) {
                         if (r.function == 21 && r.file() == FakeController::FirmwareFileFirst && r.record() == 1280)
                             rig.line.fake.dropConnections();
                     }, Qt::QueuedConnection);
    QSignalSpy disconnected(&rig.line.client, &LantrelClient::deviceDisconnected);
    QSignalSpy stopped(&rig.line.client, &LantrelClient::driverStopped);
    rig.choose(rig.moduleFile(ControllerLoader, 0x0102, 65504));
    QVERIFY(disconnected.wait(ClientTest::LongWaitMs));
    QVERIFY(rig.line.fake.firmwareImage().size() < 65504);

    // Nothing more to do with this controller, and nothing holds the window.
    QVERIFY(!rig.button("btnLoadFirmwareFile")->isEnabled());
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    // The window keeps what happened and why, after the driver has stopped.
    QVERIFY(stopped.count() > 0 || stopped.wait(ClientTest::LongWaitMs));
    QTest::qWait(50);
    QCOMPARE(rig.result(), QStringLiteral("Связь с ЦУ-Л потеряна, передача файла прошивки прервана\n%1")
                               .arg(rig.line.client.lastLinkError()));
    QVERIFY(!rig.line.client.lastLinkError().isEmpty());
    QVERIFY(rig.closeForm());
    QCOMPARE(rig.line.fake.coilWrites(2), 0);
}

void TestFirmwareTransfer::linkLostDuringUpdate()
{
    Rig rig;
    QVERIFY(rig.connect(true));
    rig.line.fake.setCommandBusyTime(MOVE_PROG, 300);
    rig.line.fake.setCommandBusyTime(SAVE_PROG, 3000);
    rig.open();
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);
    rig.choose(rig.moduleFile(Sensors, 0x0211, 4064));
    QVERIFY(uploadSucceeded(uploaded));
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());

    // The link goes while the controller updates the modules.
    QSignalSpy progress(&rig.line.client, &LantrelClient::firmwareUpdateProgress);
    QSignalSpy stopped(&rig.line.client, &LantrelClient::driverStopped);
    QTest::mouseClick(rig.button("btnStartUpdateFirmware"), Qt::LeftButton);
    QVERIFY(progress.wait(ClientTest::LongWaitMs));
    rig.line.fake.dropConnections();
    QVERIFY(stopped.wait(ClientTest::LongWaitMs));
    QTest::qWait(50);
    const QString reason = rig.line.client.lastLinkError();
    QVERIFY(!reason.isEmpty());
    QCOMPARE(rig.result(), QStringLiteral("Связь с ЦУ-Л потеряна во время обновления прошивки. "
                                          "Продолжил ли ЦУ-Л обновление, неизвестно\n%1\n"
                                          "Последний отчёт ЦУ-Л о ходе обновления: обновлено модулей — %2")
                               .arg(reason)
                               .arg(progress.last().at(0).toUInt()));
    QVERIFY(rig.widget("buttonBox")->isEnabled());
    QVERIFY(rig.closeForm());
}

void TestFirmwareTransfer::secondModuleTransfer_data()
{
    QTest::addColumn<bool>("updateFirst");   // start the update of the first file, which fails

    QTest::newRow("after a transfer") << false;
    QTest::newRow("after a failed update") << true;
}

void TestFirmwareTransfer::secondModuleTransfer()
{
    QFETCH(bool, updateFirst);

    // Monitoring on, as in the program: the window sees the line it stopped.
    Rig rig;
    QVERIFY(rig.connect(true));
    if (updateFirst)
        rig.line.fake.failCommand(MOVE_PROG);
    rig.open(true);
    QSignalSpy uploaded(&rig.line.client, &LantrelClient::firmwareUploaded);
    rig.choose(rig.moduleFile(IoModules, 0x0104));
    QVERIFY(uploadSucceeded(uploaded));
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());
    if (updateFirst) {
        QSignalSpy updated(&rig.line.client, &LantrelClient::firmwareUpdated);
        QTest::mouseClick(rig.button("btnStartUpdateFirmware"), Qt::LeftButton);
        QVERIFY(updated.wait(ClientTest::LongWaitMs));
        QCOMPARE(updated.first().first().toBool(), false);
    }
    // The line is reported stopped: the module versions cannot be read now.
    QTRY_VERIFY_WITH_TIMEOUT(
        !rig.button("btnReadModulesInfo")->isEnabled() && rig.button("btnLoadFirmwareFile")->isEnabled(), 10000);

    // The stopped line still takes another module firmware.
    uploaded.clear();
    const QByteArray second = FirmwareTest::makeFile(FirmwareTest::patternBody(4064), Sensors, 0x0211);
    rig.choose(rig.file(QStringLiteral("sensors.mcr"), second));
    QCOMPARE(rig.text("lblHwCount"), QStringLiteral("24"));
    QVERIFY(uploadSucceeded(uploaded));
    QCOMPARE(rig.line.fake.firmwareImage(), FirmwareTest::uploadImageOf(second));
    QCOMPARE(rig.commandCodes().count(LOAD_PROG), 2);
    QTRY_VERIFY(rig.button("btnStartUpdateFirmware")->isEnabled());
    QVERIFY(rig.boxes.asked.isEmpty());

    // And the update of the second file goes through.
    QSignalSpy updated(&rig.line.client, &LantrelClient::firmwareUpdated);
    QTest::mouseClick(rig.button("btnStartUpdateFirmware"), Qt::LeftButton);
    QVERIFY(updated.wait(ClientTest::LongWaitMs));
    QCOMPARE(updated.first().first().toBool(), true);
    QCOMPARE(rig.result().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Обновление прошивки успешно завершено"));
}

QTEST_MAIN(TestFirmwareTransfer)
#include "tst_firmwaretransfer.moc"
