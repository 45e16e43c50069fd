// Firmware window: its enable rules, what it shows, refused files, module
// firmware that is not transferred, the wait for the line-polling stop and
// its ends, module versions, and the settings it keeps.

#include "controllerconfigmodel.h"
#include "fifotestsupport.h"
#include "firmwarefile.h"
#include "firmwareformfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSettings>
#include <QTableView>
#include <QTimer>

using namespace FirmwareFormTest;
using namespace LantrelProtocol;

Q_DECLARE_METATYPE(FirmwareFormState)

namespace {

const QString Title = QStringLiteral("Обновление прошивок");
const QString LoadError = QStringLiteral("<Ошибка загрузки>");
const QString NoData = QStringLiteral("<Нет данных>");

QStringList controlNames(const FirmwareFormControls &c)
{
    QStringList names;
    auto add = [&names](bool on, const char *name) {
        if (on)
            names << QString::fromLatin1(name);
    };
    add(c.readControllerInfo, "readController");
    add(c.readModulesInfo, "readModules");
    add(c.loadFile, "loadFile");
    add(c.startUpdate, "start");
    add(c.close, "close");
    add(c.countVisible, "count");
    add(c.progressVisible, "progress");
    return names;
}

Status_Line_t lineStatus(int state, int flags = 1)
{
    Status_Line_t s;
    s.Flags = quint8(flags);
    s.State = quint8(state);
    return s;
}

// Version texts of the rows the table shows, by line address.
QMap<int, QString> shownVersions(QTableView *table)
{
    QMap<int, QString> versions;
    const QAbstractItemModel *m = table->model();
    for (int row = 0; row < m->rowCount(); ++row) {
        const QString text = m->index(row, 3).data().toString();
        if (!text.isEmpty())
            versions.insert(m->index(row, 0).data().toInt(), text);
    }
    return versions;
}

} // namespace

class TestFirmwareUpdateForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void controls_data();
    void controls();
    void construction();
    void moduleVersions();
    void dialogStartFolder_data();
    void dialogStartFolder();
    void refusedFiles_data();
    void refusedFiles();
    void pipeRefused();
    void widthKept_data();
    void widthKept();
    void moduleFirmwareNotTransferred_data();
    void moduleFirmwareNotTransferred();
    void linePollStopRefused();
    void lineStopWaitEndsOnLinkLoss();
    void lineStopWaitEndsAfterTimeLimit();
    void windowDeletedDuringWait();
    void placeRestored_data();
    void placeRestored();
};

void TestFirmwareUpdateForm::initTestCase()
{
    FirmwareFormTest::initTestCase();
}

void TestFirmwareUpdateForm::controls_data()
{
    QTest::addColumn<FirmwareFormState>("state");
    QTest::addColumn<QStringList>("enabled");

    auto row = [](const char *name, void (*change)(FirmwareFormState &), const QString &expected) {
        FirmwareFormState s;
        s.connected = true;
        change(s);
        QTest::newRow(name) << s << expected.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    };
    row("connected, no file", [](FirmwareFormState &) {}, QStringLiteral("readController readModules loadFile close"));
    row("line off", [](FirmwareFormState &s) { s.modulesUpdateEnabled = false; },
        QStringLiteral("readController loadFile close"));
    row("offline", [](FirmwareFormState &s) { s.connected = false; }, QStringLiteral("close"));
    row("client busy", [](FirmwareFormState &s) { s.actionsEnabled = false; }, QString());
    row("controller image uploaded", [](FirmwareFormState &s) { s.imageUploaded = true; s.firmwareType = 2; },
        QStringLiteral("readController readModules loadFile start close"));
    row("uploaded, link lost", [](FirmwareFormState &s) { s.imageUploaded = true; s.connected = false; },
        QStringLiteral("close"));
    row("module firmware chosen", [](FirmwareFormState &s) { s.firmwareType = 5; },
        QStringLiteral("readController readModules loadFile close count"));
    row("waiting for the line stop", [](FirmwareFormState &s) { s.waitingForLineStop = true; s.firmwareType = 3; },
        QStringLiteral("count"));
    row("uploading", [](FirmwareFormState &s) { s.uploading = true; s.firmwareType = 4; },
        QStringLiteral("close count"));
    row("updating sensors", [](FirmwareFormState &s) { s.updating = true; s.firmwareType = 3; },
        QStringLiteral("count progress"));
    row("sensor update ended", [](FirmwareFormState &s) { s.firmwareType = 3; },
        QStringLiteral("readController readModules loadFile close count"));
    row("updating I/O modules", [](FirmwareFormState &s) { s.updating = true; s.firmwareType = 4; },
        QStringLiteral("count progress"));
    row("updating line-protection modules", [](FirmwareFormState &s) { s.updating = true; s.firmwareType = 5; },
        QStringLiteral("count"));
    row("updating the controller", [](FirmwareFormState &s) { s.updating = true; s.firmwareType = 2; }, QString());
    row("updating, link lost", [](FirmwareFormState &s) { s.updating = true; s.connected = false; }, QString());
}

void TestFirmwareUpdateForm::controls()
{
    QFETCH(FirmwareFormState, state);
    QFETCH(QStringList, enabled);
    QCOMPARE(controlNames(firmwareFormControls(state)), enabled);
}

void TestFirmwareUpdateForm::construction()
{
    Rig rig;
    QVERIFY(rig.connect());
    FirmwareUpdateForm *form = rig.open(false);
    QCOMPARE(form->windowTitle(), Title);
    // The fake's identity: version 3.05 of 31.10.2022.
    QCOMPARE(rig.text("lblFwVer"), QStringLiteral("3.05"));
    QCOMPARE(rig.text("lblFwDate"), QStringLiteral("31.10.2022"));
    QCOMPARE(rig.text("lblFirmwareFileName"), QStringLiteral("<Не выбран>"));
    QCOMPARE(rig.text("lblHwType"), NoData);
    QVERIFY(!rig.shown("lblHwCount"));
    QVERIFY(!rig.shown("lblModProgressCount"));
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    QVERIFY(rig.button("btnLoadFirmwareFile")->isEnabled());
    QVERIFY(rig.button("btnReadControllerInfo")->isEnabled());

    // Every line address, with the modules the client knows; the filter picks a kind.
    auto *table = form->findChild<QTableView *>(QStringLiteral("tableView"));
    QCOMPARE(table->model()->rowCount(), 500);
    QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("ВТ-Л"));
    auto *filter = form->findChild<QComboBox *>(QStringLiteral("cbFilter"));
    QCOMPARE(filter->count(), 4);
    QCOMPARE(filter->itemText(3), QStringLiteral("ТЗ-Л"));
    filter->setCurrentIndex(2);
    QCOMPARE(table->model()->rowCount(), 500 - 24 - 2);
    filter->setCurrentIndex(0);

    // The module versions are read only while the line is powered or on.
    QAbstractButton *readModules = rig.button("btnReadModulesInfo");
    QVERIFY(!readModules->isEnabled());
    emit rig.line.client.lineStatusChanged(lineStatus(LN_POW, 0));
    QVERIFY(readModules->isEnabled());
    emit rig.line.client.lineStatusChanged(lineStatus(LN_OFF, 0));
    QVERIFY(!readModules->isEnabled());
    emit rig.line.client.lineStatusChanged(lineStatus(LN_ONN));
    QVERIFY(readModules->isEnabled());
    QTest::mouseClick(readModules, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(shownVersions(table).value(2), QStringLiteral("1.03"), 10000);
    QVERIFY(rig.commandCodes().contains(RD_SECT_VER));

    // Another identity replaces the controller's labels; a device that is not a controller clears them.
    ControllerConfigModel *controller = rig.line.client.controllerConfigModel();
    ControllerInfo info = controller->info;
    info.firmwareVersion = QStringLiteral("4.01");
    controller->setControllerInfo(info);
    QCOMPARE(rig.text("lblFwVer"), QStringLiteral("4.01"));
    info.deviceType = 0;
    controller->setControllerInfo(info);
    QCOMPARE(rig.text("lblFwVer"), QString());
    QCOMPARE(rig.text("lblFwDate"), QString());
}

void TestFirmwareUpdateForm::moduleVersions()
{
    Rig rig;
    QVERIFY(rig.connect());
    FirmwareUpdateForm *form = rig.open();
    auto *table = form->findChild<QTableView *>(QStringLiteral("tableView"));
    LantrelClient &client = rig.line.client;
    emit client.moduleFirmwareVersion(0, 0x0901);
    emit client.moduleFirmwareVersion(501, 0x0902);
    emit client.moduleFirmwareVersion(65535, 0x0903);
    emit client.moduleFirmwareVersion(500, 0x0207);
    emit client.moduleFirmwareVersion(201, 0x0110);
    QCOMPARE(table->model()->rowCount(), 500);
    const QMap<int, QString> expected {{201, QStringLiteral("1.16")}, {500, QStringLiteral("2.07")}};
    QCOMPARE(shownVersions(table), expected);
    // The row keeps its module.
    const QModelIndex io = table->model()->match(table->model()->index(0, 0), Qt::DisplayRole, 201).value(0);
    QCOMPARE(io.sibling(io.row(), 1).data().toString(), QStringLiteral("ПС-Л"));
}

void TestFirmwareUpdateForm::dialogStartFolder_data()
{
    QTest::addColumn<QString>("stored");   // relative to the data folder; "-" none
    QTest::addColumn<QString>("expected");

    QTest::newRow("remembered folder") << QStringLiteral("images") << QStringLiteral("images");
    QTest::newRow("folder gone") << QStringLiteral("gone") << QString();
    QTest::newRow("nothing remembered") << QStringLiteral("-") << QString();
}

void TestFirmwareUpdateForm::dialogStartFolder()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);

    Rig rig;
    QVERIFY(rig.connect());
    QDir(rig.dir.path()).mkpath(QStringLiteral("images"));
    if (stored != QLatin1String("-"))
        appSettings->setValue(QStringLiteral("Common/FirmwarePath"), rig.dir.filePath(stored));
    rig.open();
    rig.choose(QString());
    QCOMPARE(rig.dialogs.size(), 1);
    QCOMPARE(rig.dialogs.at(0).caption, QStringLiteral("Выбор файла прошивки"));
    QCOMPARE(rig.dialogs.at(0).filter, QStringLiteral("Файлы прошивок (*.mcr)"));
    const QFileDialog::Options options = QFileDialog::DontResolveSymlinks | QFileDialog::ReadOnly
                                         | QFileDialog::DontUseCustomDirectoryIcons;
    QCOMPARE(rig.dialogs.at(0).options, QString::number(int(options)));
    QCOMPARE(rig.dialogs.at(0).dir, expected.isEmpty() ? appDataPath : rig.dir.filePath(expected));
    // A cancelled choice changes nothing.
    QCOMPARE(rig.text("lblFirmwareFileName"), QStringLiteral("<Не выбран>"));
}

void TestFirmwareUpdateForm::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");     // empty name below: the file does not exist
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");      // %1 the file with native separators
    QTest::addColumn<bool>("folderRemembered");

    using namespace FirmwareTest;
    const QString damaged = QStringLiteral("Ошибка загрузки файла прошивки %1. Файл поврежден или имеет неверный формат");
    const QByteArray good = makeFile(patternBody(992), Sensors, 0x0210);
    QByteArray changed = good;
    changed[100] = char(changed.at(100) ^ 0x40);

    QTest::newRow("empty") << QByteArray() << QStringLiteral("empty.mcr") << damaged << true;
    QTest::newRow("33 bytes") << good.right(33) << QStringLiteral("short.mcr") << damaged << true;
    QTest::newRow("body changed") << changed << QStringLiteral("changed.mcr") << damaged << true;
    QTest::newRow("body inconsistent with the trailer")
        << makeFile(patternBody(992), Sensors, 0x0210, 0x0001) << QStringLiteral("crc.mcr") << damaged << true;
    QTest::newRow("unknown target") << makeFile(patternBody(992), 196, 0x0210) << QStringLiteral("target.mcr")
                                    << damaged << true;
    QTest::newRow("too large") << QByteArray(int(FirmwareFile::MaxFileSize / 32 + 1) * 32, '\0')
                               << QStringLiteral("large.mcr")
                               << QStringLiteral("Ошибка загрузки файла прошивки %1. Файл слишком велик для "
                                                 "передачи в ЦУ-Л (допустимо не более %2 байт)")
                                      .arg(QStringLiteral("%1"), QString::number(FirmwareFile::MaxFileSize))
                               << true;
    QTest::newRow("cannot be opened") << QByteArray() << QString()
                                      << QStringLiteral("Ошибка открытия файла прошивки %1. Файл или папка не существует")
                                      << false;
}

void TestFirmwareUpdateForm::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(bool, folderRemembered);

    Rig rig;
    QVERIFY(rig.connect());
    FirmwareUpdateForm *form = rig.open();
    QSignalSpy logged(form, &FirmwareUpdateForm::writeToLog);
    const QString path = name.isEmpty() ? rig.dir.filePath(QStringLiteral("firmware/missing.mcr"))
                                        : rig.file(name, bytes);
    QVERIFY(!path.isEmpty());
    rig.line.fake.clearLog();
    rig.line.fake.clearCommands();

    rig.choose(path);
    QCOMPARE(rig.text("lblFirmwareFileName"), QFileInfo(path).fileName());
    const QString text = message.arg(QDir::toNativeSeparators(path));
    QCOMPARE(rig.boxes.asked.size(), 1);
    QCOMPARE(rig.boxes.asked.at(0).icon, QMessageBox::Critical);
    QCOMPARE(rig.boxes.asked.at(0).title, Title);
    QCOMPARE(rig.boxes.asked.at(0).text, text);
    QCOMPARE(logged.count(), 1);
    QCOMPARE(logged.at(0).at(0).toString(), text);
    const QString shown = folderRemembered ? LoadError : NoData;
    QCOMPARE(rig.text("lblHwType"), shown);
    QCOMPARE(rig.text("lblVersion"), shown);
    QVERIFY(!rig.shown("lblHwCount"));
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    QVERIFY(rig.button("btnLoadFirmwareFile")->isEnabled());

    // Nothing reached the controller.
    QTest::qWait(200);
    QCOMPARE(rig.line.fake.coilWrites(1), 0);
    QVERIFY(rig.line.fake.commands().isEmpty());

    // The next choice starts in the file's folder once the file was read.
    rig.choose(QString());
    QCOMPARE(rig.dialogs.last().dir, folderRemembered ? QFileInfo(path).absolutePath() : appDataPath);
}

void TestFirmwareUpdateForm::pipeRefused()
{
    // Reading a named pipe would wait for a writer for ever.
    Rig rig;
    QVERIFY(rig.connect());
    rig.open();
    QVERIFY(QDir(rig.dir.path()).mkpath(QStringLiteral("firmware")));
    const QString path = rig.dir.filePath(QStringLiteral("firmware/pipe.mcr"));
    FifoTest::Guard pipe(path);
    QVERIFY(pipe.isValid());

    rig.choose(path);
    QVERIFY(!pipe.released());
    QCOMPARE(rig.text("lblFirmwareFileName"), QStringLiteral("pipe.mcr"));
    QCOMPARE(rig.boxes.asked.size(), 1);
    QCOMPARE(rig.boxes.asked.at(0).text, QStringLiteral("Ошибка открытия файла прошивки %1. Это не обычный файл")
                                             .arg(QDir::toNativeSeparators(path)));
    QCOMPARE(rig.text("lblHwType"), NoData);
    QVERIFY(rig.button("btnLoadFirmwareFile")->isEnabled());
    QCOMPARE(rig.line.fake.coilWrites(1), 0);
}

void TestFirmwareUpdateForm::widthKept_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    using namespace FirmwareTest;
    QTest::newRow("controller program") << QStringLiteral("program.mcr")
                                        << makeFile(patternBody(992), ControllerProgram, 0x0410);
    QTest::newRow("controller loader") << QStringLiteral("loader.mcr")
                                       << makeFile(patternBody(992), ControllerLoader, 0x0102);
    QTest::newRow("rejected file") << QStringLiteral("bad.mcr") << QByteArray(64, 'x');
    QTest::newRow("long file name")
        << QStringLiteral("firmware_of_the_line_controller_program_for_the_perimeter_line_release_04_16.mcr")
        << QByteArray(64, 'x');
}

void TestFirmwareUpdateForm::widthKept()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);

    Rig rig;
    QVERIFY(rig.connect());
    FirmwareUpdateForm *form = rig.open();
    QTest::qWait(50);
    const int width = form->width();
    const QPoint fileButton = rig.button("btnLoadFirmwareFile")->pos();
    rig.choose(rig.file(name, bytes));
    QTest::qWait(50);
    QCOMPARE(form->width(), width);
    // The file button stays where it was, whatever the name's length.
    QCOMPARE(rig.button("btnLoadFirmwareFile")->pos(), fileButton);
    // Whole texts: the device, and the file's name or its shortened form with the whole path in the tip.
    for (const char *label : {"lblHwType", "lblFirmwareFileName"}) {
        const QLabel *l = rig.label(label);
        QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()), label);
    }
    // A shortened name takes all the room beside the caption.
    const QLabel *fileName = rig.label("lblFirmwareFileName");
    if (fileName->text() != name) {
        const QFontMetrics metrics = fileName->fontMetrics();
        QVERIFY2(metrics.horizontalAdvance(fileName->text()) > fileName->width() - 3 * metrics.averageCharWidth(),
                 qPrintable(QStringLiteral("\"%1\" in %2").arg(fileName->text()).arg(fileName->width())));
    }
    QCOMPARE(rig.label("lblFirmwareFileName")->toolTip(), QDir::toNativeSeparators(rig.dir.filePath("firmware/" + name)));
}

void TestFirmwareUpdateForm::moduleFirmwareNotTransferred_data()
{
    QTest::addColumn<int>("ioModules");
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("lineOn");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no I/O modules") << 0 << int(IoModules) << true << QStringLiteral("ПС-Л") << QStringLiteral("0")
                                    << QStringLiteral("Прошивка не передана: в конфигурации ЦУ-Л нет модулей ПС-Л");
    QTest::newRow("line off") << 4 << int(Sensors) << false << QStringLiteral("ВТ-Л (ВС-Л)") << QStringLiteral("24")
                              << QStringLiteral("Прошивка не передана: линия связи с модулями не включена");
}

void TestFirmwareUpdateForm::moduleFirmwareNotTransferred()
{
    QFETCH(int, ioModules);
    QFETCH(int, target);
    QFETCH(bool, lineOn);
    QFETCH(QString, name);
    QFETCH(QString, count);
    QFETCH(QString, reason);

    Rig rig;
    QVERIFY(rig.connect(false, ioModules));
    rig.open(lineOn);
    rig.line.fake.clearCommands();
    rig.choose(rig.moduleFile(quint16(target), 0x0305));
    QCOMPARE(rig.text("lblHwType"), name);
    QCOMPARE(rig.text("lblVersion"), QStringLiteral("3.05"));
    QVERIFY(rig.shown("lblHwCount"));
    QCOMPARE(rig.text("lblHwCount"), count);
    // No box for it, but the window says why nothing was sent.
    QVERIFY(rig.boxes.asked.isEmpty());
    QVERIFY(rig.shown("lblResult"));
    QCOMPARE(rig.result(), reason);
    QVERIFY(!rig.button("btnStartUpdateFirmware")->isEnabled());
    QTest::qWait(200);
    QCOMPARE(rig.line.fake.coilWrites(1), 0);
    QVERIFY(rig.line.fake.commands().isEmpty());
}

void TestFirmwareUpdateForm::linePollStopRefused()
{
    // The controller takes the stop but keeps polling the line.
    Rig rig;
    QVERIFY(rig.connect());
    rig.line.fake.setIgnoreLinePollStop(true);
    rig.open();
    QSignalSpy errors(&rig.line.client, &LantrelClient::clientError);
    rig.choose(rig.moduleFile(Sensors, 0x0305));
    QCOMPARE(rig.line.fake.coilWrites(1), 1);
    QCOMPARE(errors.count(), 1);
    QVERIFY(rig.boxes.asked.isEmpty());   // the client reports it
    QTest::qWait(200);
    QVERIFY(!rig.commandCodes().contains(LOAD_PROG));
    QVERIFY(rig.button("btnLoadFirmwareFile")->isEnabled());

    // Nothing stopped, so closing restarts nothing.
    QVERIFY(rig.closeForm());
    QTest::qWait(200);
    QCOMPARE(rig.line.fake.coilWrites(2), 0);
}

void TestFirmwareUpdateForm::lineStopWaitEndsOnLinkLoss()
{
    // The line takes minutes to stop; the link goes first.
    Rig rig;
    QVERIFY(rig.connect());
    rig.line.fake.setLinePollStopMs(600000);
    rig.open();
    bool closedDuringWait = true;
    bool buttonsDuringWait = true;
    QTimer::singleShot(300, &rig.line.fake, [&]() {
        buttonsDuringWait = rig.button("btnLoadFirmwareFile")->isEnabled()
                            || rig.widget("buttonBox")->isEnabled();
        rig.form->close();
        closedDuringWait = !rig.form->isVisible();
    });
    // The client reports the link lost; the driver itself never answers the stop.
    QTimer::singleShot(600, &rig.line.fake, [&]() { emit rig.line.client.deviceDisconnected(); });
    QElapsedTimer clock;
    clock.start();
    rig.choose(rig.moduleFile(Sensors, 0x0305));
    QVERIFY2(clock.elapsed() < 3000, "the wait outlived the link");
    QVERIFY(!closedDuringWait);
    QVERIFY(!buttonsDuringWait);
    QVERIFY(!rig.commandCodes().contains(LOAD_PROG));
    QVERIFY(!rig.button("btnLoadFirmwareFile")->isEnabled());

    // Without a link the window closes and restarts nothing.
    QVERIFY(rig.closeForm());
    QCOMPARE(rig.line.fake.coilWrites(2), 0);
}

void TestFirmwareUpdateForm::lineStopWaitEndsAfterTimeLimit()
{
    Rig rig;
    QVERIFY(rig.connect());
    rig.line.fake.setLinePollStopMs(600000);
    FirmwareUpdateForm::setLineStopTimeoutMs(700);
    rig.open();
    QElapsedTimer clock;
    clock.start();
    rig.choose(rig.moduleFile(Sensors, 0x0305));
    QVERIFY(clock.elapsed() < 3000);
    QCOMPARE(rig.boxes.asked.size(), 1);
    QCOMPARE(rig.boxes.asked.at(0).text,
             QStringLiteral("ЦУ-Л не подтвердил остановку чтения линии. Передача прошивки отменена"));
    QVERIFY(!rig.commandCodes().contains(LOAD_PROG));
    QVERIFY(rig.button("btnLoadFirmwareFile")->isEnabled());

    // The stop may still come: closing restarts the controller.
    QVERIFY(rig.closeForm());
    QTRY_COMPARE_WITH_TIMEOUT(rig.line.fake.coilWrites(2), 1, 10000);
}

void TestFirmwareUpdateForm::windowDeletedDuringWait()
{
    Rig rig;
    QVERIFY(rig.connect());
    rig.line.fake.setLinePollStopMs(600000);
    rig.open();
    QTimer::singleShot(300, &rig.line.fake, [&]() { delete rig.form.data(); });
    rig.choose(rig.moduleFile(Sensors, 0x0305));
    QVERIFY(rig.form.isNull());
    QTest::qWait(300);
    QVERIFY(!rig.commandCodes().contains(LOAD_PROG));
}

void TestFirmwareUpdateForm::placeRestored_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("moved");

    QTest::newRow("stored place") << 140 << 90 << true;
    QTest::newRow("x of 0") << 0 << 90 << false;
}

void TestFirmwareUpdateForm::placeRestored()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, moved);

    Rig rig;
    QVERIFY(rig.connect());
    appSettings->setValue(QStringLiteral("FirmwareUpdateForm/X"), x);
    appSettings->setValue(QStringLiteral("FirmwareUpdateForm/Y"), y);
    FirmwareUpdateForm *form = rig.open();
    QCOMPARE(form->pos() == QPoint(x, y), moved);

    // Closing keeps the place, the geometry (upper-case hex) and the firmware folder.
    form->move(120, 80);
    rig.choose(rig.file(QStringLiteral("empty.mcr"), QByteArray()));
    QVERIFY(rig.closeForm());
    QCOMPARE(appSettings->value(QStringLiteral("FirmwareUpdateForm/X")).toInt(), 120);
    QCOMPARE(appSettings->value(QStringLiteral("FirmwareUpdateForm/Y")).toInt(), 80);
    const QString geometry = appSettings->value(QStringLiteral("FirmwareUpdateForm/Geometry")).toString();
    QVERIFY(!geometry.isEmpty());
    QCOMPARE(geometry, geometry.toUpper());
    QCOMPARE(appSettings->value(QStringLiteral("Common/FirmwarePath")).toString(),
             rig.dir.filePath(QStringLiteral("firmware")));
    QCOMPARE(rig.open()->pos(), QPoint(120, 80));
}

QTEST_MAIN(TestFirmwareUpdateForm)
#include "tst_firmwareupdateform.moc"
