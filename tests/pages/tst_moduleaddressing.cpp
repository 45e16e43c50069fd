// The addressing mode of the line modules page against the fake line
// controller: the address changes with their questions and what they do to
// the configuration on the page and in the controller, group shifts, the
// waits for the controller's answers, and the end of the mode.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "linemodulespagerig.h"

using namespace LineModulesTest;

class TestModuleAddressing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void addressing_data();
    void addressing();
    void groupShift_data();
    void groupShift();
    void waitsEnd_data();
    void waitsEnd();
    void startAnsweredAfterTheLimit();
    void questionsSkippedUntilTheModeEnds();
    void endAfterWriteAsksUntilFlashSaved_data();
    void endAfterWriteAsksUntilFlashSaved();

private:
    QTemporaryDir m_dir;
    const int m_defaultTimeout = LineModulesForm::answerTimeoutMs();
};

void TestModuleAddressing::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestModuleAddressing::cleanup()
{
    LineModulesForm::setAnswerTimeoutMs(m_defaultTimeout);
    UiSeams::setCheckBoxHandler({});
}

void TestModuleAddressing::addressing_data()
{
    QTest::addColumn<int>("selection");
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<quint8>("type");
    QTest::addColumn<int>("storedAt");  // 0: not in the configuration
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");  // a part of the text asked; empty: none
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("configChanges");

    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const QString move = QStringLiteral("сохранен в конфигурации ИОП с адресом <b>6</b>.<br/>При изменении адреса "
                                        "модуля будут удалены взаимодействия, связанные со  старым адресом. Также будут "
                                        "установлены значения по умолчанию для параметров обработки.</p>");
    const QString replace = QStringLiteral("адрес <b>6</b> занят модулем с серийным номером <b>%1</b>")
                                .arg(serialNumberToString(sensorAt(6)));
    const QString otherKind = QStringLiteral("адрес <b>201</b> занят модулем ПС-Л");
    const quint8 s = SECT_ACC;

    QTest::newRow("new module, free address: added") << int(Typed) << NewSensor << s << 0 << 30 << yes << QString() << true << true;
    QTest::newRow("new module by magnet: added") << int(ByMagnet) << NewIrSensor << quint8(SECT_ACCI) << 0 << 31 << yes << QString() << true << true;
    QTest::newRow("stored module, free address: moved") << int(FromTable) << sensorAt(6) << s << 6 << 40 << yes << move << true << true;
    QTest::newRow("move refused") << int(FromTable) << sensorAt(6) << s << 6 << 40 << no << move << true << false;
    QTest::newRow("new module, occupied address: replaced") << int(Typed) << NewSensor << s << 0 << 6 << yes << replace << true << true;
    QTest::newRow("replace refused") << int(Typed) << NewSensor << s << 0 << 6 << no << replace << true << false;
    QTest::newRow("stored module, occupied address") << int(Typed) << sensorAt(6) << s << 6 << 7 << yes << QString() << false << false;
    QTest::newRow("stored module, its own address again") << int(FromTable) << sensorAt(6) << s << 6 << 6 << yes << QString() << true << false;
    QTest::newRow("another kind at the address: deleted and added") << int(Typed) << NewSensor << s << 0 << 201 << yes << otherKind << true << true;
    QTest::newRow("another kind, refused") << int(Typed) << NewSensor << s << 0 << 201 << no << otherKind << true << false;
}

void TestModuleAddressing::addressing()
{
    QFETCH(int, selection);
    QFETCH(quint32, serial);
    QFETCH(quint8, type);
    QFETCH(int, storedAt);
    QFETCH(int, target);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(bool, enabled);
    QFETCH(bool, configChanges);

    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    QVERIFY(rig.startMode(Selection(selection)));
    QVERIFY(rig.pickModule(Selection(selection), serial, type, quint16(storedAt)));
    rig.setNewAddress(target);
    QCOMPARE(rig.button("btnSetAddr")->isEnabled(), enabled);
    if (!enabled)
        return;

    const auto before = lineSnapshot(client);
    const quint16 lineAddressBefore = lineAddressOnFake(rig.pc.fake, serial);
    const LineModuleRecord occupant = client.lineModulesModel()->moduleAt(quint16(target));
    WindowTest::MessageBoxRecorder boxes{QMessageBox::StandardButton(answer)};
    QSignalSpy written(&client, &LantrelClient::writeFinished);
    rig.click("btnSetAddr");

    QCOMPARE(boxes.asked.size(), question.isEmpty() ? 0 : 1);
    if (!question.isEmpty())
        QVERIFY2(boxes.asked.first().text.contains(question), qPrintable(boxes.asked.first().text));
    const bool sent = answer == QMessageBox::Yes || question.isEmpty();
    QCOMPARE(lineAddressOnFake(rig.pc.fake, serial), sent ? quint16(target) : lineAddressBefore);

    const auto after = lineSnapshot(client);
    if (configChanges) {
        QCOMPARE(after.at(target - 1), qMakePair(int(type), serial));
        if (storedAt != 0)
            QCOMPARE(after.at(storedAt - 1).first, 0);
        // Nothing else changed in the line table.
        for (int a = 1; a <= 500; ++a) {
            if (a != target && a != storedAt)
                QCOMPARE(after.at(a - 1), before.at(a - 1));
        }
        if (occupant.deviceType == SECT_MVV) {
            // The deletion writes its tables at once.
            QCOMPARE(client.controllerConfigModel()->lineConfig.IoCount, quint16(3));
            QVERIFY(written.size() == 1 || written.wait(LongWaitMs));
        }
    } else {
        QCOMPARE(after, before);
    }
    if (sent)
        QCOMPARE(rig.w<QLabel>("lblModAddr")->text(), QString::number(target));
    QCOMPARE(rig.invariants(), QStringList());
    QCOMPARE(rig.writtenTablesDiffer(), QStringList());
}

void TestModuleAddressing::groupShift_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("failingMember");  // -1: none
    QTest::addColumn<int>("moved");
    QTest::newRow("whole group") << int(QMessageBox::Yes) << -1 << 3;
    QTest::newRow("refused") << int(QMessageBox::No) << -1 << 0;
    QTest::newRow("second module refuses its address") << int(QMessageBox::Yes) << 1 << 1;
}

// The modules at 10, 9 and 8 (two of them sources of interactions) go to 40,
// 39 and 38; then the selected module alone moves on to 45.
void TestModuleAddressing::groupShift()
{
    QFETCH(int, answer);
    QFETCH(int, failingMember);
    QFETCH(int, moved);

    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    const QList<quint16> from = {10, 9, 8};
    const QList<quint16> to = {40, 39, 38};
    int identityRequests = 0;
    connect(&fake, &FakeController::commandStarted, this, [&](int code) {
        // The member's address is refused after the earlier members were done.
        if (code == CMD_EN_RID_ID && ++identityRequests == failingMember)
            fake.failCommand(WR_ADDR_SECT);
    });

    QVERIFY(rig.startMode(FromTable));
    QTest::mouseClick(rig.w<QCheckBox>("ckAllowGroup"), Qt::LeftButton);
    rig.w<QSpinBox>("edtModCount")->setValue(3);
    QVERIFY(rig.pickModule(FromTable, sensorAt(10), sensorTypeAt(10), 10));
    rig.setNewAddress(40);
    QVERIFY(rig.button("btnSetAddr")->isEnabled());

    const auto before = lineSnapshot(client);
    WindowTest::MessageBoxRecorder boxes{QMessageBox::StandardButton(answer)};
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 1);
    QVERIFY(boxes.asked.first().text.contains(QStringLiteral("модулей: <b>9, 8</b>")));
    QCOMPARE(commandCount(fake, WR_ADDR_SECT), answer == QMessageBox::Yes ? qMin(moved + 1, 3) : 0);

    const auto after = lineSnapshot(client);
    for (int k = 0; k < 3; ++k) {
        const auto module = before.at(from[k] - 1);
        const bool done = k < moved;
        QCOMPARE(after.at((done ? to[k] : from[k]) - 1), module);
        QCOMPARE(after.at((done ? from[k] : to[k]) - 1).first, 0);
        QCOMPARE(lineAddressOnFake(fake, module.second), done ? to[k] : from[k]);
    }
    QCOMPARE(rig.invariants(), QStringList());

    // The page took the selected module where the tables hold it now: the
    // next single change moves that module, and only it.
    const quint16 selectedAt = moved > 0 ? 40 : 10;
    QCOMPARE(rig.w<QLabel>("lblModAddr")->text(), QString::number(selectedAt));
    QTest::mouseClick(rig.w<QCheckBox>("ckAllowGroup"), Qt::LeftButton);
    rig.setNewAddress(45);
    boxes.setAnswer(QMessageBox::Yes);
    fake.clearCommands();
    rig.click("btnSetAddr");
    QCOMPARE(commandCount(fake, WR_ADDR_SECT), 1);
    const auto last = lineSnapshot(client);
    QCOMPARE(last.at(45 - 1), before.at(10 - 1));
    QCOMPARE(last.at(selectedAt - 1).first, 0);
    for (int a = 1; a <= 500; ++a) {
        if (a != 45 && a != selectedAt)
            QCOMPARE(last.at(a - 1), after.at(a - 1));
    }
    QCOMPARE(rig.invariants(), QStringList());
    QCOMPARE(rig.writtenTablesDiffer(), QStringList());
}

void TestModuleAddressing::waitsEnd_data()
{
    QTest::addColumn<bool>("starting");     // the wait for the start, else for an address
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("modeAfter");
    QTest::addColumn<bool>("warned");

    QTest::newRow("start refused") << true << QStringLiteral("refuse") << false << false;
    QTest::newRow("start, link lost") << true << QStringLiteral("link") << false << false;
    QTest::newRow("start, no answer") << true << QStringLiteral("silent") << false << true;
    QTest::newRow("address refused") << false << QStringLiteral("refuse") << true << false;
    QTest::newRow("address, link lost") << false << QStringLiteral("link") << false << false;
    QTest::newRow("address, controller restarted") << false << QStringLiteral("restart") << false << false;
    QTest::newRow("address, no answer") << false << QStringLiteral("silent") << true << true;
}

void TestModuleAddressing::waitsEnd()
{
    QFETCH(bool, starting);
    QFETCH(QString, fault);
    QFETCH(bool, modeAfter);
    QFETCH(bool, warned);

    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    LineModulesForm::setAnswerTimeoutMs(500);
    if (!starting) {
        QVERIFY(rig.startMode(Typed));
        QVERIFY(rig.pickModule(Typed, NewSensor, SECT_ACC, 0));
        rig.setNewAddress(30);
    }

    const int code = starting ? SET_KONF_SECT : WR_ADDR_SECT;
    if (fault == QStringLiteral("refuse"))
        fake.failCommand(code);
    else
        fake.setCommandBusyTime(code, fault == QStringLiteral("silent") ? -1 : 3000);
    connect(&fake, &FakeController::commandStarted, this, [&](int started) {
        if (started != code)
            return;
        // Not while the fake is still answering the request that started it.
        if (fault == QStringLiteral("link")) {
            QTimer::singleShot(0, &fake, [&fake]() {
                fake.refuseConnections(60000);
                fake.dropConnections();
            });
        } else if (fault == QStringLiteral("restart")) {
            QTimer::singleShot(0, &client, [&client]() { emit client.deviceRebooted(); });
        }
    });

    const auto before = lineSnapshot(client);
    WindowTest::MessageBoxRecorder boxes;
    QElapsedTimer clock;
    clock.start();
    rig.click(starting ? "btnModuleAddressing" : "btnSetAddr");
    QVERIFY(clock.elapsed() < 15000);

    // The link may be reported lost just after the wait ended on the failed request.
    QTRY_COMPARE_WITH_TIMEOUT(rig.modeShown(), modeAfter, 5000);
    QCOMPARE(boxes.asked.size(), warned ? 1 : 0);
    if (warned)
        QCOMPARE(boxes.asked.first().icon, QMessageBox::Warning);
    QCOMPARE(lineSnapshot(client), before);
    QCOMPARE(rig.invariants(), QStringList());
    // The page waits no more: with the link up it offers its actions again.
    const bool linkUp = fault != QStringLiteral("link");
    QTRY_COMPARE_WITH_TIMEOUT(rig.button("btnModuleAddressing")->isEnabled(), linkUp && !modeAfter, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.button("btnStopAddressing")->isEnabled(), linkUp && modeAfter, 5000);
}

// The line entered the configuration mode after the page had stopped
// waiting: the next start takes the mode as it is, since the client does not
// announce it twice.
void TestModuleAddressing::startAnsweredAfterTheLimit()
{
    Rig rig;
    QVERIFY(rig.ready);
    FakeController &fake = rig.pc.fake;
    LineModulesForm::setAnswerTimeoutMs(300);
    fake.setCommandBusyTime(SET_KONF_SECT, 1500);
    WindowTest::MessageBoxRecorder boxes;
    QVERIFY(!rig.startMode(Typed));
    QCOMPARE(boxes.asked.size(), 1);
    QSignalSpy started(&rig.pc.client, &LantrelClient::addressModeStarted);
    QVERIFY(started.wait(LongWaitMs));

    LineModulesForm::setAnswerTimeoutMs(m_defaultTimeout);
    QVERIFY(rig.startMode(Typed));
    QCOMPARE(commandCount(fake, SET_KONF_SECT), 1);
    QVERIFY(rig.pickModule(Typed, NewSensor, SECT_ACC, 0));
    rig.setNewAddress(30);
    QVERIFY(rig.button("btnSetAddr")->isEnabled());
    rig.click("btnSetAddr");
    QCOMPARE(rig.pc.client.lineModulesModel()->moduleAt(30).serialNumber, NewSensor);
}

// "Не показывать больше в этом сеансе" holds until the mode ends; ending the
// mode asks first when modules were changed, and restarts the controller.
void TestModuleAddressing::questionsSkippedUntilTheModeEnds()
{
    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    QVERIFY(rig.startMode(FromTable));

    // Refused, but the box was checked: the move is not done now ...
    UiSeams::setCheckBoxHandler([](const QString &text) {
        return text == QStringLiteral("Не показывать больше в этом сеансе");
    });
    WindowTest::MessageBoxRecorder boxes(QMessageBox::No);
    QVERIFY(rig.pickModule(FromTable, sensorAt(6), sensorTypeAt(6), 6));
    rig.setNewAddress(40);
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(client.lineModulesModel()->moduleAt(6).serialNumber, sensorAt(6));
    // ... and the next one goes ahead without the question.
    UiSeams::setCheckBoxHandler({});
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(client.lineModulesModel()->moduleAt(40).serialNumber, sensorAt(6));
    QVERIFY(client.lineModulesChanged());

    // Ending with changes asks, naming the restart it sends and the command
    // that keeps the changes; No keeps the mode.
    rig.click("btnStopAddressing");
    QCOMPARE(boxes.asked.size(), 2);
    QCOMPARE(boxes.asked.last().text,
             QStringLiteral("<p><b>Внимание!</b> Конфигурация линейных модулей была изменена.</p>"
                            "<p>Завершение режима адресации перезапускает ЦУ-Л (команда «Перезапуск ЦУ-Л»). Перед "
                            "этим сохраните конфигурацию командой «Сохранить конфигурацию»: она передаст изменения "
                            "в ЦУ-Л и сохранит их в его энергонезависимой памяти.<br/>"
                            "Если этого не сделать и в ЦУ-Л есть предыдущая конфигурация модулей, то после "
                            "перезапуска возможен конфликт конфигураций.<br/>"
                            "При отсутствии в ЦУ-Л предыдущей конфигурации модулей можно завершить режим адресации "
                            "без сохранения изменений.</p>"
                            "<p>Продолжить завершение режима адресации модулей?</p>"));
    QVERIFY(rig.modeShown());
    QCOMPARE(fake.restartCount(), 0);

    QSignalSpy rebooted(&client, &LantrelClient::deviceRebooted);
    boxes.setAnswer(QMessageBox::Yes);
    rig.click("btnStopAddressing");
    QCOMPARE(boxes.asked.size(), 3);
    QVERIFY(rebooted.wait(LongWaitMs));
    QCOMPARE(fake.restartCount(), 1);
    QVERIFY(!rig.modeShown());
    QTRY_VERIFY_WITH_TIMEOUT(rig.button("btnModuleAddressing")->isEnabled(), 5000);

    // A new run asks again; ending it without changes asks nothing.
    QVERIFY(rig.startMode(FromTable));
    QVERIFY(rig.pickModule(FromTable, sensorAt(7), sensorTypeAt(7), 7));
    rig.setNewAddress(41);
    boxes.setAnswer(QMessageBox::No);
    rig.click("btnSetAddr");
    QCOMPARE(boxes.asked.size(), 4);
    QVERIFY(!client.lineModulesChanged());
    rig.click("btnStopAddressing");
    QCOMPARE(boxes.asked.size(), 4);
    QTRY_COMPARE_WITH_TIMEOUT(fake.restartCount(), 2, 5000);
}

// The end of the mode restarts the controller, which reloads its flash: after
// a write that is not saved there, the new addresses would be lost.
void TestModuleAddressing::endAfterWriteAsksUntilFlashSaved_data()
{
    QTest::addColumn<bool>("savedToFlash");
    QTest::newRow("written, not saved to flash") << false;
    QTest::newRow("written and saved to flash") << true;
}

void TestModuleAddressing::endAfterWriteAsksUntilFlashSaved()
{
    QFETCH(bool, savedToFlash);
    Rig rig;
    QVERIFY(rig.ready);
    LantrelClient &client = rig.pc.client;
    FakeController &fake = rig.pc.fake;
    QVERIFY(rig.startMode(FromTable));
    WindowTest::MessageBoxRecorder boxes(QMessageBox::Yes);
    QVERIFY(rig.pickModule(FromTable, sensorAt(6), sensorTypeAt(6), 6));
    rig.setNewAddress(40);
    rig.click("btnSetAddr");
    QCOMPARE(lineAddressOnFake(fake, sensorAt(6)), quint16(40));
    QCOMPARE(rig.writtenTablesDiffer(), QStringList());
    QVERIFY(!client.lineModulesChanged());
    QVERIFY(!client.configSaved());
    if (savedToFlash) {
        QSignalSpy steps(&client, &LantrelClient::taskCompleted);
        client.saveConfigToFlash();
        QVERIFY(steps.wait(LongWaitMs));
        QVERIFY(client.configSaved());
    }

    boxes.asked.clear();
    boxes.setAnswer(QMessageBox::No);
    rig.click("btnStopAddressing");
    if (!savedToFlash) {
        // The main window's restart question, naming the missing step; No keeps the mode.
        QCOMPARE(boxes.asked.size(), 1);
        QCOMPARE(boxes.asked.first().icon, QMessageBox::Warning);
        QCOMPARE(boxes.asked.first().text,
                 QStringLiteral("<p><b>Внимание!</b> Конфигурация передана в ЦУ-Л, но не сохранена в его "
                                "энергонезависимой памяти: не выполнена команда «Сохранить конфигурацию».</p>"
                                "<p>После перезапуска ЦУ-Л загрузит из энергонезависимой памяти прежнюю "
                                "конфигурацию, и все несохраненные изменения будут отменены. Адреса модулей в ней "
                                "могут не совпасть с адресами модулей на линии (конфликт адресов).</p>"
                                "<p>Продолжить процедуру перезапуска ЦУ-Л?</p>"));
        QTest::qWait(300);
        QCOMPARE(fake.restartCount(), 0);
        QVERIFY(rig.modeShown());
        // Saved now, the mode ends without a question.
        QSignalSpy steps(&client, &LantrelClient::taskCompleted);
        client.saveConfigToFlash();
        QVERIFY(steps.wait(LongWaitMs));
        boxes.asked.clear();
        rig.click("btnStopAddressing");
    }
    QCOMPARE(boxes.asked.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(fake.restartCount(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.modeShown(), 5000);
    // The restarted controller's table, taken from its flash, holds the
    // module at its new address, as the module on the line does.
    QCOMPARE(lineAddressOnFake(fake, sensorAt(6)), quint16(40));
    bool found = false;
    for (const LantrelProtocol::Konfig_Section_t &rec : fake.sensors()) {
        if (rec.SerialNo == sensorAt(6) && rec.DeviceType != 0) {
            QCOMPARE(int(rec.LineAddr), 40);
            found = true;
        }
    }
    QVERIFY(found);
}

QTEST_MAIN(TestModuleAddressing)
#include "tst_moduleaddressing.moc"
