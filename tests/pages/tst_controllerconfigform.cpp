// Controller page: settings edits into the model, the strict address
// editors, the refill, the state tab's status texts, the remote-control
// indication, the enable rules, and the clearing of the event memory; end to
// end against the fake line controller.

#include "controllerconfigform.h"
#include "controllerconfigfields.h"
#include "controllerconfigmodel.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "texthelpers.h"
#include "windowtestsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace LantrelProtocol;

namespace {

const int StateTab = 1;
const QVector<int> AllIds = {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 20, 21, 23};

using ControllerConfigTest::fieldOf;

QMap<int, QVariant> fieldsOf(const ControllerConfigModel &m)
{
    QMap<int, QVariant> fields;
    for (int id : AllIds)
        fields.insert(id, fieldOf(m, id));
    return fields;
}

struct Settings
{
    QString blockId = QStringLiteral("Периметр");
    Konfig_Device_t device;
    ETH_konf_t network;
    Konfig_Line_t line;

    Settings()
    {
        device.LineAddr = 3;
        device.TSign = 10;
        device.MRef = 500;
        device.TWork = 20;
        device.NExc = 3;
        device.Ratio = 4;
        device.Dist = 10;
        device.Range = 1;
        device.LPF = 2;
        device.HPF = 0;
        device.DAF = 0;
        device.RuleJP = 0;
        device.CfgLoop = 0xD0; // loop 1 alarm, loop 2 technological
        network.IPAddr = 0xC0A80001;
        network.NetMask = 0xFFFFFF00;
        network.Gateway = 0xC0A800FE;
        const quint8 mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        std::copy(mac, mac + 6, network.MAC);
        line.LineMode = 1;
    }
    void applyTo(ControllerConfigModel *m) const { m->setConfig(blockId, device, network, line); }
};

// Key by key, as a user types; QTest::keyClicks takes ASCII only.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

Status_Device_t deviceStatus(quint8 status1, quint8 status2, quint8 status3)
{
    Status_Device_t s;
    s.Status1 = status1;
    s.Status2 = status2;
    s.Status3 = status3;
    return s;
}

} // namespace

class TestControllerConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void editsReachModel_data();
    void editsReachModel();
    void addressEditors_data();
    void addressEditors();
    void blockIdFitsController_data();
    void blockIdFitsController();
    void longBlockIdShownWholeAndMarked();
    void undecodedBlockIdMarkedUntilEdited_data();
    void undecodedBlockIdMarkedUntilEdited();
    void spinBoxBoundaries_data();
    void spinBoxBoundaries();
    void refillReplacesEditors();
    void outOfRangeShownAndKept_data();
    void outOfRangeShownAndKept();
    void identityLabels_data();
    void identityLabels();
    void longestTextsFitAtLeastSize();

    void controllerStatus_data();
    void controllerStatus();
    void loopLabelsFollowSettings();
    void powerLineAndEvents();
    void statusUnknown_data();
    void statusUnknown();
    void remoteControlClearedWhileHidden();
    void enableRules_data();
    void enableRules();
    void disconnectShowsSettings();

    void clearEvents_data();
    void clearEvents();
    void editWriteAndReadBack();
    void liveStateFromController();

private:
    template <typename T> T *child(const char *name) const
    {
        T *widget = page->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QString text(const char *label) const { return child<QLabel>(label)->text(); }
    ControllerConfigModel *model() const { return published->client.controllerConfigModel(); }
    void makePage();
    void emitStatus(const Status_Device_t &s) { emit published->client.controllerStatusChanged(s); }
    void connectToFake();
    // The page of a connected controller with these loop settings, on its
    // state tab; the settings as given to the page.
    Settings openStateTab(quint8 cfgLoop);

    QTemporaryDir dir;
    std::unique_ptr<WindowTest::PublishedClient> published;
    std::unique_ptr<ControllerConfigForm> page;
};

void TestControllerConfigForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(dir, this);
}

void TestControllerConfigForm::init()
{
    published.reset(new WindowTest::PublishedClient);
}

void TestControllerConfigForm::cleanup()
{
    page.reset();
    published.reset();
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->sync();
}

void TestControllerConfigForm::makePage()
{
    page.reset(new ControllerConfigForm);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
}

void TestControllerConfigForm::connectToFake()
{
    QVERIFY(ClientTest::connectToFake(*published));
    QSignalSpy read(&published->client, &LantrelClient::datasetChanged);
    published->client.readConfiguration();
    QVERIFY(read.wait(ClientTest::LongWaitMs));
}

// ------------------------------------------------------------ settings tab

void TestControllerConfigForm::editsReachModel_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("input"); // typed text, or the item index of a combo box
    QTest::addColumn<int>("id");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("block identifier") << "edtBlockID" << "Участок 7" << 4 << QVariant("Участок 7");
    QTest::newRow("line address") << "edtLineAddr" << "17" << 5 << QVariant(17u);
    QTest::newRow("hold time") << "edtTsign" << "25" << 6 << QVariant(25u);
    QTest::newRow("detection threshold") << "edtMRef" << "1234" << 7 << QVariant(1234u);
    QTest::newRow("analysis time") << "edtTwork" << "12" << 8 << QVariant(12u);
    QTest::newRow("exceedances") << "edtNExc" << "6" << 9 << QVariant(6u);
    QTest::newRow("level ratio") << "edtRatio" << "15" << 10 << QVariant(15u);
    QTest::newRow("zone width") << "edtDist" << "42" << 11 << QVariant(42u);
    QTest::newRow("range") << "cbRange" << "3" << 12 << QVariant(3u);
    QTest::newRow("low-pass") << "cbLPFs" << "1" << 13 << QVariant(1u);
    QTest::newRow("high-pass") << "cbHPFs" << "2" << 14 << QVariant(2u);
    QTest::newRow("adaptive filter") << "ckDAFs" << "" << 15 << QVariant(1u);
    QTest::newRow("joint rule") << "cbSRule" << "1" << 16 << QVariant(1u);
    // CfgLoop 0xD0: loop 1 alarm, loop 2 technological; the other loop stays.
    QTest::newRow("loop 1 fault") << "cbLoop1" << "2" << 17 << QVariant(0xE0u);
    QTest::newRow("loop 1 off") << "cbLoop1" << "0" << 17 << QVariant(0xC0u);
    QTest::newRow("loop 2 alarm") << "cbLoop2" << "1" << 18 << QVariant(0x50u);
    QTest::newRow("loop 2 off") << "cbLoop2" << "0" << 18 << QVariant(0x10u);
    QTest::newRow("IP address") << "edtIpAddr" << "10.1.2.3" << 19 << QVariant(0x0A010203u);
    QTest::newRow("netmask") << "edtSubnetMask" << "255.255.0.0" << 20 << QVariant(0xFFFF0000u);
    QTest::newRow("gateway") << "edtGateway" << "10.1.0.1" << 21 << QVariant(0x0A010001u);
    QTest::newRow("line mode") << "cbLineMode" << "2" << 23 << QVariant(2u);
}

void TestControllerConfigForm::editsReachModel()
{
    QFETCH(QString, editor);
    QFETCH(QString, input);
    QFETCH(int, id);
    QFETCH(QVariant, stored);

    Settings().applyTo(model());
    makePage();
    const QMap<int, QVariant> before = fieldsOf(*model());
    QWidget *widget = page->findChild<QWidget *>(editor);
    QVERIFY(widget);
    widget->setFocus();

    if (auto *box = qobject_cast<QComboBox *>(widget)) {
        box->setCurrentIndex(input.toInt());
    } else if (auto *check = qobject_cast<QCheckBox *>(widget)) {
        QTest::mouseClick(check, Qt::LeftButton, {}, check->rect().center());
    } else if (auto *spin = qobject_cast<QSpinBox *>(widget)) {
        spin->selectAll();
        typeText(spin, input);
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        edit->selectAll();
        typeText(edit, input);
    }

    // The edited field has the value, every other one is as it was.
    QMap<int, QVariant> expected = before;
    expected[id == 18 ? 17 : id] = stored;
    QCOMPARE(fieldsOf(*model()), expected);
}

void TestControllerConfigForm::addressEditors_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<bool>("paste"); // the whole text at once, or typed key by key
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<uint>("stored");

    // The model starts with 192.168.0.1, 255.255.255.0 and 192.168.0.254.
    QTest::newRow("typed address") << "edtIpAddr" << false << "10.20.30.40" << "10.20.30.40" << 0x0A141E28u;
    QTest::newRow("pasted gateway") << "edtGateway" << true << "172.16.0.1" << "172.16.0.1" << 0xAC100001u;
    QTest::newRow("typed netmask") << "edtSubnetMask" << false << "255.255.252.0" << "255.255.252.0"
                                   << 0xFFFFFC00u;
    QTest::newRow("0.0.0.0") << "edtGateway" << true << "0.0.0.0" << "0.0.0.0" << 0u;
    // Each group of three digits gets its dot; a dot typed after it is dropped.
    QTest::newRow("typed digits only") << "edtIpAddr" << false << "192168100200" << "192.168.100.200"
                                       << 0xC0A864C8u;
    QTest::newRow("typed dots after full groups") << "edtGateway" << false << "172.16.100.1" << "172.16.100.1"
                                                  << 0xAC106401u;
    // A leading zero is refused key by key: what stays is what is stored.
    QTest::newRow("typed 08") << "edtIpAddr" << false << "10.0.0.08" << "10.0.0.0" << 0x0A000000u;
    QTest::newRow("typed 001.010") << "edtIpAddr" << false << "192.168.001.010" << "192.168.0.0"
                                   << 0xC0A80000u;
    QTest::newRow("pasted 08") << "edtIpAddr" << true << "10.0.0.08" << "192.168.0.1" << 0xC0A80001u;
    QTest::newRow("pasted 001.010") << "edtGateway" << true << "192.168.001.010" << "192.168.0.254"
                                    << 0xC0A800FEu;
    QTest::newRow("pasted with a space") << "edtIpAddr" << true << " 10.0.0.1" << "192.168.0.1" << 0xC0A80001u;
    QTest::newRow("pasted five parts") << "edtIpAddr" << true << "1.2.3.4.5" << "192.168.0.1" << 0xC0A80001u;
    QTest::newRow("pasted 256") << "edtSubnetMask" << true << "256.0.0.0" << "255.255.255.0" << 0xFFFFFF00u;
    QTest::newRow("typed 300") << "edtIpAddr" << false << "300" << "30" << 0xC0A80001u;
    // Unfinished texts stay on screen but are not written.
    QTest::newRow("three parts") << "edtIpAddr" << false << "10.0.0." << "10.0.0." << 0xC0A80001u;
    QTest::newRow("erased") << "edtGateway" << false << "" << "" << 0xC0A800FEu;
}

void TestControllerConfigForm::addressEditors()
{
    QFETCH(QString, editor);
    QFETCH(bool, paste);
    QFETCH(QString, input);
    QFETCH(QString, shown);
    QFETCH(uint, stored);

    Settings().applyTo(model());
    makePage();
    const int id = editor == QLatin1String("edtIpAddr") ? 19 : editor == QLatin1String("edtSubnetMask") ? 20 : 21;
    auto *edit = page->findChild<QLineEdit *>(editor);
    QVERIFY(edit);
    edit->setFocus();
    edit->selectAll();
    if (paste)
        edit->insert(input);
    else if (input.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        typeText(edit, input);

    QCOMPARE(edit->text(), shown);
    QCOMPARE(fieldOf(*model(), id).toUInt(), stored);
}

void TestControllerConfigForm::blockIdFitsController_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("kept");

    const QString latin(64, QLatin1Char('z'));
    const QString cyrillic(32, QChar(0x0416)); // 64 bytes of UTF-8
    QTest::newRow("64 Latin letters") << latin << latin;
    QTest::newRow("65 Latin letters") << latin + "z" << latin;
    QTest::newRow("32 Cyrillic letters") << cyrillic << cyrillic;
    QTest::newRow("40 Cyrillic letters") << cyrillic + QString(8, QChar(0x0416)) << cyrillic;
    QTest::newRow("a Cyrillic letter on the last byte") << QString(63, QLatin1Char('z')) + QChar(0x0416)
                                                        << QString(63, QLatin1Char('z'));
}

// The editor keeps exactly what reaches the controller's 64 bytes.
void TestControllerConfigForm::blockIdFitsController()
{
    QFETCH(QString, input);
    QFETCH(QString, kept);

    makePage();
    auto *edit = child<QLineEdit>("edtBlockID");
    edit->setFocus();
    edit->selectAll();
    typeText(edit, input);
    QCOMPARE(edit->text(), kept);
    QCOMPARE(model()->blockId, kept);

    // Pasted text is cut the same way.
    edit->selectAll();
    edit->insert(input);
    QCOMPARE(edit->text(), kept);
    QCOMPARE(model()->blockId, kept);
    QVERIFY(child<QLabel>("lblBlockIdCut")->isHidden());
}

// An identifier longer than the controller keeps (from a file) is shown
// whole and marked, with a word that the controller gets its first bytes;
// edits may shorten it but not make it longer.
void TestControllerConfigForm::longBlockIdShownWholeAndMarked()
{
    makePage();
    Settings read;
    read.blockId = QString(40, QChar(0x0416)) + QStringLiteral("-конец");
    read.applyTo(model());
    auto *edit = child<QLineEdit>("edtBlockID");
    QCOMPARE(edit->text(), read.blockId);
    QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::red));
    QVERIFY(!child<QLabel>("lblBlockIdCut")->isHidden());
    QVERIFY(child<QLabel>("lblBlockIdCut")->text().contains(QStringLiteral("64 байта")));
    QCOMPARE(model()->blockId, read.blockId);

    edit->setFocus();
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Z);
    QCOMPARE(edit->text(), read.blockId);
    QTest::keyClick(edit, Qt::Key_Backspace);
    const QString shorter = read.blockId.chopped(1);
    QCOMPARE(edit->text(), shorter);
    QCOMPARE(model()->blockId, shorter);

    edit->selectAll();
    typeText(edit, QStringLiteral("Юг"));
    QVERIFY(edit->palette().color(QPalette::Text) != QColor(Qt::red));
    QVERIFY(child<QLabel>("lblBlockIdCut")->isHidden());
}

void TestControllerConfigForm::undecodedBlockIdMarkedUntilEdited_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("CP1251 text") << QByteArray("\xD3\xF7\xE0\xF1\xF2\xEE\xEA 1");
    QTest::newRow("a character cut at byte 64") << QByteArray(63, 'a') + "\xD0";
    QTest::newRow("bytes after the end") << QByteArray("North\0old", 9);
}

// An identifier whose bytes are no text is shown as far as it decodes,
// marked, with a word that it goes back as read; an edit makes it text.
void TestControllerConfigForm::undecodedBlockIdMarkedUntilEdited()
{
    QFETCH(QByteArray, bytes);
    makePage();
    Settings read;
    read.blockId = blockIdToString(bytes);
    model()->setConfig(read.blockId, read.device, read.network, read.line, undecodedBlockId(bytes));
    auto *edit = child<QLineEdit>("edtBlockID");
    auto *note = child<QLabel>("lblBlockIdCut");
    QCOMPARE(edit->text(), read.blockId);
    QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::red));
    QVERIFY(!note->isHidden());
    QVERIFY2(note->text().contains(QStringLiteral("Не текст UTF-8")), qPrintable(note->text()));
    QCOMPARE(model()->heldBlockId, bytes);

    edit->setFocus();
    edit->selectAll();
    typeText(edit, QStringLiteral("Юг"));
    QCOMPARE(model()->blockId, QStringLiteral("Юг"));
    QVERIFY(model()->heldBlockId.isNull());
    QVERIFY(edit->palette().color(QPalette::Text) != QColor(Qt::red));
    QVERIFY(note->isHidden());
}

void TestControllerConfigForm::spinBoxBoundaries_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<int>("id");
    const QList<QPair<const char *, int>> editors = {{"edtLineAddr", 5}, {"edtTsign", 6}, {"edtMRef", 7},
                                                     {"edtTwork", 8},    {"edtNExc", 9},  {"edtRatio", 10},
                                                     {"edtDist", 11}};
    for (const auto &e : editors)
        QTest::newRow(e.first) << QString::fromLatin1(e.first) << e.second;
}

// The ends of a spin box's range are plain values; one step beyond either
// end is held.
void TestControllerConfigForm::spinBoxBoundaries()
{
    QFETCH(QString, editor);
    QFETCH(int, id);

    makePage();
    auto *spin = child<QSpinBox>(qPrintable(editor));
    // Settings in range: the box shows its own range.
    Settings().applyTo(model());
    const int minimum = spin->minimum();
    const int maximum = spin->maximum();
    const int fieldMax = id == 5 || id == 7 ? 0xFFFF : 0xFF;
    struct Case
    {
        int value;
        bool held;
    };
    QVector<Case> cases = {{minimum, false}, {maximum, false}, {minimum, false}};
    if (minimum > 0)
        cases.append({minimum - 1, true});
    if (maximum < fieldMax)
        cases.append({maximum + 1, true});
    cases.append({maximum, false});
    for (const Case &c : qAsConst(cases)) {
        Settings read;
        Konfig_Device_t &d = read.device;
        switch (id) {
        case 5: d.LineAddr = quint16(c.value); break;
        case 6: d.TSign = quint8(c.value); break;
        case 7: d.MRef = quint16(c.value); break;
        case 8: d.TWork = quint8(c.value); break;
        case 9: d.NExc = quint8(c.value); break;
        case 10: d.Ratio = quint8(c.value); break;
        case 11: d.Dist = quint8(c.value); break;
        }
        read.applyTo(model());
        const QString text = spin->text();
        QVERIFY2(text.contains(QStringLiteral("вне диапазона")) == c.held,
                 qPrintable(QStringLiteral("%1: %2").arg(c.value).arg(text)));
        if (!c.held)
            QCOMPARE(spin->value(), c.value);
        QCOMPARE(fieldOf(*model(), id).toInt(), c.value);
    }
}

void TestControllerConfigForm::refillReplacesEditors()
{
    makePage();
    Settings read;
    read.blockId = QStringLiteral("Северный участок");
    read.device.LineAddr = 200;
    read.device.TSign = 0;      // below the editor's 5..30: shown as it is and kept
    read.device.MRef = 65000;
    read.device.TWork = 7;
    read.device.NExc = 9;       // above 2..7
    read.device.Ratio = 12;
    read.device.Dist = 33;
    read.device.Range = 7;      // no item: an extra one
    read.device.LPF = 3;
    read.device.HPF = 1;
    read.device.DAF = 1;
    read.device.RuleJP = 1;
    read.device.CfgLoop = 0xB0; // loop 1 technological, loop 2 fault
    read.network.IPAddr = 0x0A000002;
    read.network.NetMask = 0xFF000000;
    read.network.Gateway = 0x0A0000FE;
    read.line.LineMode = 2;

    QSignalSpy edits(model(), &ControllerConfigModel::dataChanged);
    read.applyTo(model());
    // The refill itself writes nothing back.
    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.at(0).at(0).value<QVector<int>>(), QVector<int>{0});
    QCOMPARE(model()->deviceConfig.TSign, quint8(0));
    QCOMPARE(model()->deviceConfig.NExc, quint8(9));
    QCOMPARE(model()->deviceConfig.Range, quint8(7));

    QCOMPARE(child<QLineEdit>("edtBlockID")->text(), read.blockId);
    QCOMPARE(child<QLineEdit>("edtIpAddr")->text(), QStringLiteral("10.0.0.2"));
    QCOMPARE(child<QLineEdit>("edtSubnetMask")->text(), QStringLiteral("255.0.0.0"));
    QCOMPARE(child<QLineEdit>("edtGateway")->text(), QStringLiteral("10.0.0.254"));
    QCOMPARE(text("lblMacAddr"), QStringLiteral("00-1A-2B-3C-4D-5E"));
    QCOMPARE(child<QSpinBox>("edtLineAddr")->value(), 200);
    QCOMPARE(child<QSpinBox>("edtTsign")->text(), QStringLiteral("0 (вне диапазона)"));
    QCOMPARE(child<QSpinBox>("edtMRef")->value(), 65000);
    QCOMPARE(child<QSpinBox>("edtTwork")->value(), 7);
    QCOMPARE(child<QSpinBox>("edtNExc")->text(), QStringLiteral("9 (вне диапазона)"));
    QCOMPARE(child<QSpinBox>("edtRatio")->value(), 12);
    QCOMPARE(child<QSpinBox>("edtDist")->value(), 33);
    QCOMPARE(child<QComboBox>("cbRange")->currentText(), QStringLiteral("7 (вне диапазона)"));
    QCOMPARE(child<QComboBox>("cbLPFs")->currentText(), QStringLiteral("25 Гц"));
    QCOMPARE(child<QComboBox>("cbHPFs")->currentText(), QStringLiteral("6,5 Гц"));
    QVERIFY(child<QCheckBox>("ckDAFs")->isChecked());
    QCOMPARE(child<QComboBox>("cbSRule")->currentText(), QStringLiteral("И"));
    QCOMPARE(child<QComboBox>("cbLoop1")->currentText(), QStringLiteral("технологический"));
    QCOMPARE(child<QComboBox>("cbLoop2")->currentText(), QStringLiteral("неисправность"));
    QCOMPARE(child<QComboBox>("cbLineMode")->currentText(), QStringLiteral("ведомый"));

    // An edit after the refill is written again.
    child<QComboBox>("cbRange")->setCurrentIndex(2);
    QCOMPARE(model()->deviceConfig.Range, quint8(2));
}

void TestControllerConfigForm::outOfRangeShownAndKept_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<int>("id");
    QTest::addColumn<uint>("held");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("action"); // up, click, or pick <index>
    QTest::addColumn<uint>("picked");

    // Either arrow leaves a held value for the nearest value in range.
    QTest::newRow("hold time 255, up") << "edtTsign" << 6 << 255u << "255 (вне диапазона)" << "up" << 30u;
    QTest::newRow("hold time 255, down") << "edtTsign" << 6 << 255u << "255 (вне диапазона)" << "down" << 30u;
    QTest::newRow("hold time 0, up") << "edtTsign" << 6 << 0u << "0 (вне диапазона)" << "up" << 5u;
    QTest::newRow("hold time 0, down") << "edtTsign" << 6 << 0u << "0 (вне диапазона)" << "down" << 5u;
    QTest::newRow("zone width 0, down") << "edtDist" << 11 << 0u << "0 (вне диапазона)" << "down" << 1u;
    QTest::newRow("line address 65535, up") << "edtLineAddr" << 5 << 65535u << "65535 (вне диапазона)" << "up"
                                            << 255u;
    QTest::newRow("exceedances 8, up") << "edtNExc" << 9 << 8u << "8 (вне диапазона)" << "up" << 7u;
    QTest::newRow("exceedances 8, down") << "edtNExc" << 9 << 8u << "8 (вне диапазона)" << "down" << 7u;
    QTest::newRow("exceedances 8, arrow clicked") << "edtNExc" << 9 << 8u << "8 (вне диапазона)" << "arrow" << 7u;
    QTest::newRow("ratio 46, page down") << "edtRatio" << 10 << 46u << "46 (вне диапазона)" << "page down" << 20u;
    QTest::newRow("joint rule 17") << "cbSRule" << 16 << 17u << "17 (вне диапазона)" << "pick 1" << 1u;
    QTest::newRow("joint rule 4") << "cbSRule" << 16 << 4u << "4 (вне диапазона)" << "pick 0" << 0u;
    QTest::newRow("range 9") << "cbRange" << 12 << 9u << "9 (вне диапазона)" << "pick 2" << 2u;
    QTest::newRow("line mode 3") << "cbLineMode" << 23 << 3u << "3 (вне диапазона)" << "pick 1" << 1u;
    QTest::newRow("adaptive filter 2") << "ckDAFs" << 15 << 2u << "Адаптивная фильтрация: 2 (вне диапазона)"
                                       << "click" << 1u;
}

// A value the editor has no place for is shown as it is, marked, and stays
// in the model (so it is written back) until the user picks another one.
void TestControllerConfigForm::outOfRangeShownAndKept()
{
    QFETCH(QString, editor);
    QFETCH(int, id);
    QFETCH(uint, held);
    QFETCH(QString, shown);
    QFETCH(QString, action);
    QFETCH(uint, picked);

    makePage();
    Settings read;
    Konfig_Device_t &d = read.device;
    switch (id) {
    case 5: d.LineAddr = quint16(held); break;
    case 6: d.TSign = quint8(held); break;
    case 9: d.NExc = quint8(held); break;
    case 10: d.Ratio = quint8(held); break;
    case 11: d.Dist = quint8(held); break;
    case 12: d.Range = quint8(held); break;
    case 15: d.DAF = quint8(held); break;
    case 16: d.RuleJP = quint8(held); break;
    case 23: read.line.LineMode = quint8(held); break;
    }
    read.applyTo(model());
    const QMap<int, QVariant> loaded = fieldsOf(*model());
    QCOMPARE(fieldOf(*model(), id).toUInt(), held);

    QWidget *widget = page->findChild<QWidget *>(editor);
    QVERIFY(widget);
    QString text;
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        text = spin->text();
    else if (auto *box = qobject_cast<QComboBox *>(widget))
        text = box->currentText();
    else if (auto *check = qobject_cast<QCheckBox *>(widget))
        text = check->text();
    QCOMPARE(text, shown);
    QCOMPARE(widget->palette().color(QPalette::Text), QColor(Qt::red));

    // Other edits leave the held value as it is.
    auto *blockId = child<QLineEdit>("edtBlockID");
    blockId->setFocus();
    blockId->selectAll();
    typeText(blockId, QStringLiteral("Юг"));
    QMap<int, QVariant> expected = loaded;
    expected[4] = QStringLiteral("Юг");
    QCOMPARE(fieldsOf(*model()), expected);

    widget->setFocus();
    if (action == QLatin1String("up"))
        QTest::keyClick(widget, Qt::Key_Up);
    else if (action == QLatin1String("down"))
        QTest::keyClick(widget, Qt::Key_Down);
    else if (action == QLatin1String("page down"))
        QTest::keyClick(widget, Qt::Key_PageDown);
    else if (action == QLatin1String("arrow"))
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(widget->width() - 4, widget->height() / 4));
    else if (action == QLatin1String("click"))
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    else
        qobject_cast<QComboBox *>(widget)->setCurrentIndex(action.mid(5).toInt());
    expected[id] = picked;
    QCOMPARE(fieldsOf(*model()), expected);
    QVERIFY(widget->palette().color(QPalette::Text) != QColor(Qt::red));
    if (auto *box = qobject_cast<QComboBox *>(widget))
        QCOMPARE(box->findText(shown), -1);
    if (auto *check = qobject_cast<QCheckBox *>(widget))
        QCOMPARE(check->text(), QStringLiteral("Адаптивная фильтрация"));
}

void TestControllerConfigForm::identityLabels_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("line controller") << 7 << QStringList{"1234.23", "1.02", "3.05", "31.10.2022"};
    QTest::newRow("no identity") << 0 << QStringList{"", "", "", ""};
    QTest::newRow("another device") << 16 << QStringList{"", "", "", ""};
}

void TestControllerConfigForm::identityLabels()
{
    QFETCH(int, deviceType);
    QFETCH(QStringList, shown);

    makePage();
    // The form's placeholders never stay.
    for (const char *label : {"lblSerialNo", "lblPcbVer", "lblFwVer", "lblFwDate"})
        QCOMPARE(text(label), QString());

    ControllerInfo info;
    info.deviceType = deviceType;
    info.serialNumber = QStringLiteral("1234.23");
    info.boardVersion = QStringLiteral("1.02");
    info.firmwareVersion = QStringLiteral("3.05");
    info.firmwareDate = QStringLiteral("31.10.2022");
    model()->setControllerInfo(info);
    QCOMPARE((QStringList{text("lblSerialNo"), text("lblPcbVer"), text("lblFwVer"), text("lblFwDate")}), shown);
}

void TestControllerConfigForm::longestTextsFitAtLeastSize()
{
    makePage();
    ControllerInfo info;
    info.deviceType = BOS_LIN;
    info.serialNumber = QStringLiteral("65535.2023");
    info.boardVersion = QStringLiteral("10.12");
    info.firmwareVersion = QStringLiteral("10.12");
    info.firmwareDate = QStringLiteral("31.12.2099");
    model()->setControllerInfo(info);
    Settings().applyTo(model());
    QCOMPARE(text("lblMacAddr"), QStringLiteral("00-1A-2B-3C-4D-5E"));

    // As narrow as the page goes, once its layouts have taken the new texts.
    page->resize(1, 1);
    for (const char *name : {"lblSerialNo", "lblPcbVer", "lblFwVer", "lblFwDate", "lblMacAddr"}) {
        const auto *label = child<QLabel>(name);
        QTRY_VERIFY2(label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(label->text()), name);
    }
}

// --------------------------------------------------------------- state tab

void TestControllerConfigForm::controllerStatus_data()
{
    QTest::addColumn<int>("cfgLoop");
    QTest::addColumn<int>("status1");
    QTest::addColumn<int>("status2");
    QTest::addColumn<int>("status3");
    QTest::addColumn<QStringList>("io"); // loop 1, loop 2, alarm relay, fault relay, tamper
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<bool>("remoteControl");

    const QString normal = "<p>НОРМА</p>";
    const QString off = "<p>ОТКЛ</p>";
    const QString open = "<p style=\"color:red;\">ОБРЫВ</p>";
    const QString shorted = "<p style=\"color:red;\">КЗ</p>";
    const QString active = "<p style=\"color:red;\">АКТИВ</p>";
    const QString relayOn = "<p style=\"color:red;\">ВКЛ</p>";
    const QString relayOff = "<p>ВЫКЛ</p>";

    QTest::newRow("all normal") << 0x50 << 0 << 0 << 0x00
                                << QStringList{normal, normal, relayOff, relayOff, normal} << QStringList() << false;
    QTest::newRow("loop 1 open, loop 2 short") << 0x50 << 0 << 0 << 0x90
                                               << QStringList{open, shorted, relayOff, relayOff, normal}
                                               << QStringList() << false;
    QTest::newRow("loop 1 short, loop 2 open") << 0x50 << 0 << 0 << 0x60
                                               << QStringList{shorted, open, relayOff, relayOff, normal}
                                               << QStringList() << false;
    QTest::newRow("both loops active") << 0xF0 << 0 << 0 << 0xF0
                                       << QStringList{active, active, relayOff, relayOff, normal} << QStringList()
                                       << false;
    QTest::newRow("loops off") << 0x00 << 0 << 0 << 0xF0 << QStringList{off, off, relayOff, relayOff, normal}
                               << QStringList() << false;
    QTest::newRow("loop 2 off only") << 0x20 << 0 << 0 << 0xF0
                                     << QStringList{active, off, relayOff, relayOff, normal} << QStringList()
                                     << false;
    QTest::newRow("alarm relay") << 0x50 << 0 << 0 << 0x01
                                 << QStringList{normal, normal, relayOn, relayOff, normal} << QStringList() << false;
    QTest::newRow("fault relay") << 0x50 << 0 << 0 << 0x02
                                 << QStringList{normal, normal, relayOff, relayOn, normal} << QStringList() << false;
    QTest::newRow("tamper") << 0x50 << 0x08 << 0 << 0x00
                            << QStringList{normal, normal, relayOff, relayOff, active} << QStringList() << false;
    QTest::newRow("restart flag is no fault") << 0x50 << 0x04 << 0 << 0x00
                                              << QStringList{normal, normal, relayOff, relayOff, normal}
                                              << QStringList() << false;
    QTest::newRow("serial-number fault alone") << 0x50 << 0x10 << 0 << 0x00
                                               << QStringList{normal, normal, relayOff, relayOff, normal}
                                               << QStringList{"ошибки в серийном номере"} << false;
    QTest::newRow("sensor configuration differs") << 0x50 << 0x20 << 0 << 0x00
                                                  << QStringList{normal, normal, relayOff, relayOff, normal}
                                                  << QStringList{"конфигурация датчиков не соответствует хранимой"}
                                                  << false;
    QTest::newRow("power faults") << 0x50 << 0 << 0x05 << 0x00
                                  << QStringList{normal, normal, relayOff, relayOff, normal}
                                  << QStringList{"не норма первичного питания", "не норма батареи"} << false;
    QTest::newRow("program integrity") << 0x50 << 0 << 0x80 << 0x00
                                       << QStringList{normal, normal, relayOff, relayOff, normal}
                                       << QStringList{"ошибка контроля целостности программы"} << false;
    QTest::newRow("remote control") << 0x50 << 0x01 << 0 << 0x00
                                    << QStringList{normal, normal, relayOff, relayOff, normal} << QStringList()
                                    << true;
    QTest::newRow("everything at once") << 0x50 << 0x39 << 0xFF << 0xF3
                                        << QStringList{active, active, relayOn, relayOn, active}
                                        << QStringList{"ошибки в серийном номере", "не норма питания линии"} << true;
}

Settings TestControllerConfigForm::openStateTab(quint8 cfgLoop)
{
    Settings settings;
    settings.device.CfgLoop = cfgLoop;
    settings.applyTo(model());
    makePage();
    emit published->client.deviceConnected(ClientConnection());
    child<QTabWidget>("tabWidget")->setCurrentIndex(StateTab);
    return settings;
}

void TestControllerConfigForm::controllerStatus()
{
    QFETCH(int, cfgLoop);
    QFETCH(int, status1);
    QFETCH(int, status2);
    QFETCH(int, status3);
    QFETCH(QStringList, io);
    QFETCH(QStringList, faults);
    QFETCH(bool, remoteControl);

    openStateTab(quint8(cfgLoop));

    emitStatus(deviceStatus(quint8(status1), quint8(status2), quint8(status3)));

    QCOMPARE((QStringList{text("lblLoop1"), text("lblLoop2"), text("lblRelay1"), text("lblRelay2"),
                          text("lblTamper")}),
             io);
    const QString faultText = text("lblControllerFaults");
    if (faults.isEmpty()) {
        QCOMPARE(faultText, QString());
    } else {
        QVERIFY(faultText.startsWith(QStringLiteral("<p><u>Ошибки ЦУ-Л:</u><br/>")));
        for (const QString &fault : faults)
            QVERIFY2(faultText.contains(fault), qPrintable(faultText));
    }
    QCOMPARE(child<QLabel>("lblRemoteControl")->isVisible(), remoteControl);
    QCOMPARE(child<QPushButton>("btnRemoteControl")->isEnabled(), !remoteControl);
}

// The controller repeats no unchanged status: new loop modes redraw the
// last one, but only settings read or written count, not those being edited.
void TestControllerConfigForm::loopLabelsFollowSettings()
{
    Settings settings;
    settings.device.CfgLoop = 0x00;
    settings.applyTo(model());
    makePage();
    settings.device.CfgLoop = 0x50;
    settings.applyTo(model());
    QCOMPARE(text("lblLoop1"), QString()); // nothing before the first status

    emitStatus(deviceStatus(0, 0, 0x10)); // loop 1 open
    QCOMPARE(text("lblLoop1"), QStringLiteral("<p style=\"color:red;\">ОБРЫВ</p>"));
    settings.device.CfgLoop = 0x40; // re-read: loop 1 off
    settings.applyTo(model());
    QCOMPARE(text("lblLoop1"), QStringLiteral("<p>ОТКЛ</p>"));
    QCOMPARE(text("lblLoop2"), QStringLiteral("<p>НОРМА</p>"));

    child<QComboBox>("cbLoop1")->setCurrentIndex(3);
    QCOMPARE(text("lblLoop1"), QStringLiteral("<p>ОТКЛ</p>"));
    emit published->client.writeFinished();
    QCOMPARE(text("lblLoop1"), QStringLiteral("<p style=\"color:red;\">ОБРЫВ</p>"));
}

void TestControllerConfigForm::powerLineAndEvents()
{
    makePage();
    // Before any status the frame shows its captions and the values nothing.
    QCOMPARE(text("lblLineStatus"), QStringLiteral("Состояние линии:"));
    QCOMPARE(text("lblVddExt"), QString());

    Feature_Device_t power;
    power.VddExt = 24000;
    power.VddInt = 980;
    power.VddBat = 13460;
    power.VddLin = 0;
    power.IddSens = 150;
    power.IddLin = 2;
    emit published->client.powerStatusChanged(power);
    QCOMPARE((QStringList{text("lblVddExt"), text("lblVddInt"), text("lblVddBat"), text("lblVddLin"),
                          text("lblIddSens"), text("lblIddLin")}),
             (QStringList{"24,0 В.", "1,0 В.", "13,5 В.", "0,0 В.", "150 мА.", "2 мА."}));

    Status_Line_t line;
    line.Flags = 1;
    line.State = LN_ONN;
    line.Faults = 0x41;
    emit published->client.lineStatusChanged(line);
    QCOMPARE(text("lblLineStatus"),
             QStringLiteral("<p><u>Состояние линии:</u><br/>&nbsp;&#9679; включена, опрос модулей</p>"));
    QVERIFY(text("lblLineFaults").startsWith(QStringLiteral("<p><u>Ошибки работы линии:</u><br/>")));
    QVERIFY(text("lblLineFaults").contains(QStringLiteral("обрыв на линии")));
    QVERIFY(text("lblLineFaults").contains(QStringLiteral("авария (возможно короткое замыкание)")));
    line.Faults = 0;
    emit published->client.lineStatusChanged(line);
    QCOMPARE(text("lblLineFaults"), QString());

    emit published->client.eventMemoryStatus(4095, 17);
    QCOMPARE(text("lblEventsTotal"), QStringLiteral("4095"));
    QCOMPARE(text("lblEventsUnread"), QStringLiteral("17"));
}

void TestControllerConfigForm::statusUnknown_data()
{
    QTest::addColumn<int>("cfgLoop");
    QTest::addColumn<QStringList>("loops");   // while the status is unknown

    const QString unknown = QStringLiteral("<p>?</p>");
    const QString off = QStringLiteral("<p>ОТКЛ</p>");
    QTest::newRow("both loops on") << 0x50 << QStringList{unknown, unknown};
    // Off in the settings, not by the status: that still holds.
    QTest::newRow("loop 1 off") << 0x40 << QStringList{off, unknown};
    QTest::newRow("both loops off") << 0x00 << QStringList{off, off};
}

// While the controller does not give its status, every value the tab took
// from it reads unknown, until the next status shows them all again.
void TestControllerConfigForm::statusUnknown()
{
    QFETCH(int, cfgLoop);
    QFETCH(QStringList, loops);

    const Settings settings = openStateTab(quint8(cfgLoop));

    const QStringList labels = {"lblLoop1", "lblLoop2", "lblRelay1", "lblRelay2", "lblTamper",
                                "lblVddExt", "lblVddInt", "lblVddBat", "lblVddLin", "lblIddSens",
                                "lblIddLin", "lblEventsTotal", "lblEventsUnread", "lblLineStatus",
                                "lblLineFaults", "lblControllerFaults"};
    const auto texts = [this, &labels]() {
        QStringList all;
        for (const QString &name : labels)
            all << text(name.toLatin1().constData());
        return all;
    };
    const auto publish = [this]() {
        emitStatus(deviceStatus(0x09, 0x04, 0x53));   // remote control, tamper, battery, relays, loop 1 open
        Feature_Device_t power;
        power.VddExt = 24000;
        power.VddInt = 5000;
        power.VddBat = 13460;
        power.VddLin = 23460;
        power.IddSens = 150;
        power.IddLin = 2;
        emit published->client.powerStatusChanged(power);
        Status_Line_t line;
        line.Flags = 1;
        line.State = LN_ONN;
        line.Faults = 0x10;
        emit published->client.lineStatusChanged(line);
        emit published->client.eventMemoryStatus(4095, 17);
    };
    publish();
    const QStringList known = texts();
    QVERIFY(child<QLabel>("lblRemoteControl")->isVisible());

    Status_Line_t unknownLine;
    unknownLine.State = LantrelClient::UnknownLineState;
    emit published->client.lineStatusChanged(unknownLine);
    const QString value = QStringLiteral("?");
    const auto list = [](const QString &caption) {
        return QStringLiteral("<p><u>%1</u><br/>&nbsp;&#9679; неизвестно</p>").arg(caption);
    };
    const QStringList unknown = loops
                                + QStringList{"<p>?</p>", "<p>?</p>", "<p>?</p>", value, value, value, value,
                                              value, value, value, value, list("Состояние линии:"),
                                              list("Ошибки работы линии:"), list("Ошибки ЦУ-Л:")};
    QCOMPARE(texts(), unknown);
    // Whether a check runs is not known either: the command is offered.
    QVERIFY(!child<QLabel>("lblRemoteControl")->isVisible());
    QVERIFY(child<QPushButton>("btnRemoteControl")->isEnabled());
    // Settings read again meanwhile show no old status.
    settings.applyTo(model());
    QCOMPARE(texts(), unknown);

    publish();
    QCOMPARE(texts(), known);
    QVERIFY(child<QLabel>("lblRemoteControl")->isVisible());
}

// The indication follows the controller's bit also while the settings tab
// is on screen.
void TestControllerConfigForm::remoteControlClearedWhileHidden()
{
    makePage();
    emit published->client.deviceConnected(ClientConnection());
    auto *tabs = child<QTabWidget>("tabWidget");
    auto *label = child<QLabel>("lblRemoteControl");
    auto *button = child<QPushButton>("btnRemoteControl");
    QCOMPARE(tabs->currentIndex(), 0);

    emitStatus(deviceStatus(0x01, 0, 0));
    QVERIFY(!label->isHidden());
    QVERIFY(!button->isEnabled());
    emitStatus(deviceStatus(0x00, 0, 0));
    QVERIFY(label->isHidden());
    QVERIFY(button->isEnabled());

    tabs->setCurrentIndex(StateTab);
    QVERIFY(!label->isVisible());
    QVERIFY(button->isEnabled());
}

void TestControllerConfigForm::enableRules_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("stateTab");
    QTest::addColumn<bool>("remoteControl");
    QTest::addColumn<bool>("clearEvents");

    QTest::newRow("offline") << false << false << false << false << true << true;
    QTest::newRow("offline, busy") << false << true << false << false << false << false;
    QTest::newRow("connected") << true << false << false << true << true << true;
    QTest::newRow("connected, busy") << true << true << false << true << false << false;
    QTest::newRow("check running") << true << false << true << true << false << true;
    QTest::newRow("check running, busy") << true << true << true << true << false << false;
    QTest::newRow("offline, check running") << false << false << true << false << false << true;
    QTest::newRow("offline, all") << false << true << true << false << false << false;
}

void TestControllerConfigForm::enableRules()
{
    QFETCH(bool, connected);
    QFETCH(bool, busy);
    QFETCH(bool, running);
    QFETCH(bool, stateTab);
    QFETCH(bool, remoteControl);
    QFETCH(bool, clearEvents);

    makePage();
    // Busy first and done last: ending a task must not re-enable the
    // remote-control button while the controller still runs the check.
    page->disableFormActions(true);
    if (connected)
        emit published->client.deviceConnected(ClientConnection());
    emitStatus(deviceStatus(running ? 0x01 : 0x00, 0, 0));
    page->disableFormActions(busy);

    auto *tab = child<QWidget>("tabMonitoring");
    QCOMPARE(child<QTabWidget>("tabWidget")->isTabEnabled(StateTab), stateTab);
    QCOMPARE(child<QPushButton>("btnRemoteControl")->isEnabledTo(tab), remoteControl);
    QCOMPARE(child<QPushButton>("btnClearEvents")->isEnabledTo(tab), clearEvents);
    // The settings stay editable in every state.
    QVERIFY(child<QWidget>("tabParams")->isEnabled());
    QVERIFY(child<QLineEdit>("edtIpAddr")->isEnabled());
}

void TestControllerConfigForm::disconnectShowsSettings()
{
    makePage();
    auto *tabs = child<QTabWidget>("tabWidget");
    QCOMPARE(tabs->tabText(0), QStringLiteral("Конфигурация"));
    QCOMPARE(tabs->tabText(StateTab), QStringLiteral("Состояние"));
    emit published->client.deviceConnected(ClientConnection());
    QCOMPARE(tabs->currentIndex(), 0); // connecting does not switch
    tabs->setCurrentIndex(StateTab);
    emitStatus(deviceStatus(0x08, 0, 0x01));

    emit published->client.deviceDisconnected();
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(!tabs->isTabEnabled(StateTab));
    // The last texts come back with the next connection.
    emit published->client.deviceConnected(ClientConnection());
    QVERIFY(tabs->isTabEnabled(StateTab));
    QCOMPARE(text("lblRelay1"), QStringLiteral("<p style=\"color:red;\">ВКЛ</p>"));
}

// ------------------------------------------------------ against the fake

void TestControllerConfigForm::clearEvents_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("sent");

    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << int(QMessageBox::No) << false;
}

void TestControllerConfigForm::clearEvents()
{
    QFETCH(int, answer);
    QFETCH(bool, sent);

    published->fake.addEvents(5);
    makePage();
    QVERIFY(ClientTest::connectToFake(*published));
    child<QTabWidget>("tabWidget")->setCurrentIndex(StateTab);
    WindowTest::MessageBoxRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));
    QSignalSpy tasks(&published->client, &LantrelClient::taskStarted);
    published->fake.clearLog();

    auto *button = child<QPushButton>("btnClearEvents");
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());

    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked.at(0).icon, QMessageBox::Question);
    QCOMPARE(boxes.asked.at(0).title, QStringLiteral("Настройка ЦУ-Л"));
    QCOMPARE(boxes.asked.at(0).text, QStringLiteral("Очистить все сохраненные в памяти ЦУ-Л события?"));
    auto ran = [this] {
        for (const FakeCommand &c : published->fake.commands()) {
            if (c.code == CMD_CLR_EVENTS && c.result == 0)
                return true;
        }
        return false;
    };
    if (sent)
        QVERIFY(ClientTest::waitFor(ran));
    else
        QTest::qWait(300);
    QCOMPARE(ran(), sent);
    bool commandWritten = false;
    for (const FakeRequest &r : published->fake.requestLog())
        commandWritten |= r.function == 16 && r.address <= 52 && r.address + r.count > 52;
    QCOMPARE(commandWritten, sent);
    QCOMPARE(published->fake.newEventCount(), sent ? 0 : 5);
    QCOMPARE(tasks.count(), sent ? 1 : 0);
}

// A user edits the settings, writes them to the controller, and a new read
// shows them unchanged without writing anything back.
void TestControllerConfigForm::editWriteAndReadBack()
{
    makePage();
    connectToFake();
    auto typeInto = [this](const char *name, const QString &keys) {
        auto *edit = child<QLineEdit>(name);
        edit->setFocus();
        edit->selectAll();
        typeText(edit, keys);
    };
    auto typeNumber = [this](const char *name, const QString &keys) {
        auto *spin = child<QSpinBox>(name);
        spin->setFocus();
        spin->selectAll();
        typeText(spin, keys);
    };
    // Loop 1 switched off in the controller: its bits do not count.
    child<QComboBox>("cbLoop1")->setCurrentIndex(0);
    QSignalSpy written(&published->client, &LantrelClient::writeFinished);
    published->client.writeConfiguration();
    QVERIFY(written.wait(ClientTest::LongWaitMs));
    emitStatus(deviceStatus(0, 0, 0x30));
    QCOMPARE(text("lblLoop1"), QStringLiteral("<p>ОТКЛ</p>"));

    typeInto("edtBlockID", QStringLiteral("Южный периметр"));
    typeInto("edtGateway", QStringLiteral("127.0.0.254"));
    typeInto("edtSubnetMask", QStringLiteral("255.255.0.0"));
    typeNumber("edtTsign", QStringLiteral("17"));
    typeNumber("edtMRef", QStringLiteral("777"));
    typeNumber("edtDist", QStringLiteral("21"));
    child<QComboBox>("cbRange")->setCurrentIndex(3);
    child<QComboBox>("cbHPFs")->setCurrentIndex(2);
    child<QComboBox>("cbLoop1")->setCurrentIndex(1);
    child<QComboBox>("cbLoop2")->setCurrentIndex(2);
    child<QComboBox>("cbLineMode")->setCurrentIndex(2);
    auto *daf = child<QCheckBox>("ckDAFs");
    const bool dafBefore = daf->isChecked();
    QTest::mouseClick(daf, Qt::LeftButton, {}, daf->rect().center());

    // Edited but not written: the state tab still reads loop 1 as off.
    emitStatus(deviceStatus(0, 0, 0x10));
    QCOMPARE(text("lblLoop1"), QStringLiteral("<p>ОТКЛ</p>"));

    published->client.writeConfiguration();
    QVERIFY(written.wait(ClientTest::LongWaitMs));
    emitStatus(deviceStatus(0, 0, 0x30));
    QCOMPARE(text("lblLoop1"), QStringLiteral("<p style=\"color:red;\">АКТИВ</p>"));

    const Konfig_Device_t device = published->fake.controllerConfig();
    QCOMPARE(device.TSign, quint8(17));
    QCOMPARE(device.MRef, quint16(777));
    QCOMPARE(device.Dist, quint8(21));
    QCOMPARE(device.Range, quint8(3));
    QCOMPARE(device.HPF, quint8(2));
    QCOMPARE(device.DAF, quint8(dafBefore ? 0 : 1));
    QCOMPARE(device.CfgLoop & 0xF0, 0x90);
    QCOMPARE(published->fake.networkConfig().Gateway, 0x7F0000FEu);
    QCOMPARE(published->fake.networkConfig().NetMask, 0xFFFF0000u);
    QCOMPARE(published->fake.lineConfig().LineMode, quint8(2));
    QVERIFY(published->fake.blockId().startsWith(QStringLiteral("Южный периметр").toUtf8()));

    const QMap<int, QVariant> edited = fieldsOf(*model());
    QSignalSpy changes(model(), &ControllerConfigModel::dataChanged);
    QSignalSpy read(&published->client, &LantrelClient::datasetChanged);
    published->client.readConfiguration();
    QVERIFY(read.wait(ClientTest::LongWaitMs));
    for (const QList<QVariant> &change : changes)
        QVERIFY(!change.at(0).value<QVector<int>>().contains(ControllerConfigModel::ParameterEdited));
    QCOMPARE(fieldsOf(*model()), edited);
    QCOMPARE(child<QLineEdit>("edtBlockID")->text(), QStringLiteral("Южный периметр"));
    QCOMPARE(child<QLineEdit>("edtGateway")->text(), QStringLiteral("127.0.0.254"));
    QCOMPARE(child<QSpinBox>("edtMRef")->value(), 777);
    QCOMPARE(child<QComboBox>("cbLoop2")->currentText(), QStringLiteral("неисправность"));
    QCOMPARE(child<QComboBox>("cbLineMode")->currentText(), QStringLiteral("ведомый"));
}

// With monitoring on, the controller's faults reach the state tab, and the
// remote-control command shows its indication while the check runs.
void TestControllerConfigForm::liveStateFromController()
{
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), true);
    appSettings->sync();
    FakeController &fake = published->fake;
    fake.setRemoteControlMs(800);
    Status_Line_t line;
    line.Flags = 1;
    line.State = LN_ONN;
    line.Faults = 0x10;

    fake.setControllerStatus(deviceStatus(0x08, 0x04, 0x01));
    fake.setLineStatus(line);
    makePage();
    connectToFake();
    child<QTabWidget>("tabWidget")->setCurrentIndex(StateTab);

    QVERIFY(ClientTest::waitFor([this] { return text("lblControllerFaults").contains("не норма батареи"); }));
    QVERIFY(ClientTest::waitFor([this] { return text("lblLineFaults").contains("утечка на линии"); }));
    QCOMPARE(text("lblTamper"), QStringLiteral("<p style=\"color:red;\">АКТИВ</p>"));
    QCOMPARE(text("lblRelay1"), QStringLiteral("<p style=\"color:red;\">ВКЛ</p>"));
    QVERIFY(ClientTest::waitFor([this] { return !text("lblVddExt").isEmpty(); }));

    auto *button = child<QPushButton>("btnRemoteControl");
    auto *label = child<QLabel>("lblRemoteControl");
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    QVERIFY(ClientTest::waitFor([&fake] {
        const QList<FakeCommand> commands = fake.commands();
        return !commands.isEmpty() && commands.last().code == SET_CMD_DC;
    }));
    QVERIFY(ClientTest::waitFor([label] { return label->isVisible(); }));
    QVERIFY(!button->isEnabled());
    QVERIFY(ClientTest::waitFor([label] { return !label->isVisible(); }));
    QVERIFY(ClientTest::waitFor([button] { return button->isEnabled(); }));
}

QTEST_MAIN(TestControllerConfigForm)
#include "tst_controllerconfigform.moc"
