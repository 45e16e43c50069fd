// Connection dialog: remembered controllers, address entry, button states,
// connecting to the fake controller, cancelling and the offline choice.

#include "appglobals.h"
#include "connectorform.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "lantrelclient.h"
#include "taskmanager.h"
#include "uiseams.h"
#include "windowtestsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHostAddress>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUdpSocket>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QValidator>
#include <QtTest>

#include <memory>

using HostMap = QMap<quint32, quint8>;
Q_DECLARE_METATYPE(HostMap)

namespace {

quint32 ip(const char *text)
{
    return QHostAddress(QString::fromLatin1(text)).toIPv4Address();
}

constexpr int FakeLineAddress = 3;
// What follows real work (a file read, a driver's end) is waited for with
// this limit: an ASan build on a loaded machine is many times slower.
constexpr int WorkWaitMs = 30000;

struct MessageRecord
{
    QMessageBox::Icon icon;
    QString text;
};

} // namespace

class TestConnectorForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void encodeHostList_data();
    void encodeHostList();
    void decodeHostList_data();
    void decodeHostList();
    void addressValidator_data();
    void addressValidator();
    void automaticDot_data();
    void automaticDot();
    void backspaceOverDot();
    void buttonStates_data();
    void buttonStates();
    void portList();
    void restoresSettings();
    void restoresWithMissingChoices();
    void hostRowClick();
    void offlineControlsHidden();
    void searchFindsNothing_data();
    void searchFindsNothing();
    void interfaceAfterStartUp();
    void searchFindsControllers();
    void quitDuringSearchKeepsList();
    void connectToFake_data();
    void connectToFake();
    void cancelStoresNothing();
    void connectionFailures_data();
    void connectionFailures();
    void closingStartDialogEndsProgram_data();
    void closingStartDialogEndsProgram();
    void closedWhileConnecting();
    void connectWaitHasLimit();
    void offlineLoad_data();
    void offlineLoad();

private:
    // Settings written before the controller starts, as "group/key" pairs.
    void startManager(const QVariantMap &settings = {});
    ConnectorForm *openForm();
    template <typename T> T *child(const char *name) const
    {
        T *widget = m_form ? m_form->findChild<T *>(QLatin1String(name)) : nullptr;
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    bool addEthernetInterface();
    QVariantMap settingsSnapshot() const;

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TaskManager> m_manager;
    QPointer<ConnectorForm> m_form;
    QStringList m_ports;
    QString m_openFile;
    QStringList m_openDialogArgs;
    QList<MessageRecord> m_messages;
    bool m_testInterface = false;
};

void TestConnectorForm::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TestConnectorForm::init()
{
    m_home.reset(new QTemporaryDir);
    QVERIFY(m_home->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_ports.clear();
    m_openFile.clear();
    m_openDialogArgs.clear();
    m_messages.clear();
    UiSeams::setPortListHandler([this]() { return m_ports; });
    UiSeams::setOpenFileHandler([this](QWidget *, const QString &caption, const QString &dir,
                                       const QString &filter, QFileDialog::Options options) {
        m_openDialogArgs = QStringList{caption, dir, filter, QString::number(int(options))};
        return m_openFile;
    });
    UiSeams::setMessageBoxHandler([this](QWidget *, QMessageBox::Icon icon, const QString &, const QString &text,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        m_messages.append({icon, text});
        return QMessageBox::Ok;
    });
}

void TestConnectorForm::cleanup()
{
    delete m_form.data();
    if (m_manager) {
        m_manager->client()->shutdownDriver();
        m_manager.reset();
    }
    appTaskManager = nullptr;
    if (m_testInterface) {
        QProcess::execute(QStringLiteral("ip"), {"link", "del", "lantrel0"});
        m_testInterface = false;
    }
    UiSeams::setPortListHandler(nullptr);
    UiSeams::setOpenFileHandler(nullptr);
    UiSeams::setMessageBoxHandler(nullptr);
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    m_home.reset();
}

void TestConnectorForm::startManager(const QVariantMap &settings)
{
    if (!settings.isEmpty()) {
        const QString folder = m_home->path() + QStringLiteral("/Kestu/Lantrel");
        QDir().mkpath(folder);
        QSettings ini(folder + QStringLiteral("/lantrelprog.ini"), QSettings::IniFormat);
        for (auto it = settings.constBegin(); it != settings.constEnd(); ++it)
            ini.setValue(it.key(), it.value());
    }
    m_manager.reset(new TaskManager);
    appTaskManager = m_manager.get();
}

ConnectorForm *TestConnectorForm::openForm()
{
    // The way the program opens it at start-up.
    m_manager->startApp();
    m_form = m_manager->connectorForm();
    return m_form;
}

// The search and the Ethernet choice need an Ethernet interface that is up.
// Only inside the test's own network namespace may one be made.
bool TestConnectorForm::addEthernetInterface()
{
    if (qgetenv("LANTREL_IN_NETNS") != "1")
        return false;
    // Anything but loopback means this is not the test's private namespace.
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        if (!iface.flags().testFlag(QNetworkInterface::IsLoopBack))
            return false;
    }
    // A bridge: an Ethernet-type device that is up without any peer.
    if (QProcess::execute(QStringLiteral("ip"), {"link", "add", "lantrel0", "type", "bridge"}) != 0)
        return false;
    m_testInterface = true;
    return QProcess::execute(QStringLiteral("ip"), {"addr", "add", "10.77.0.1/24", "dev", "lantrel0"}) == 0
           && QProcess::execute(QStringLiteral("ip"), {"link", "set", "lantrel0", "up"}) == 0;
}

QVariantMap TestConnectorForm::settingsSnapshot() const
{
    appSettings->sync();
    QVariantMap values;
    const QStringList keys = appSettings->allKeys();
    for (const QString &key : keys)
        values.insert(key, appSettings->value(key));
    return values;
}

void TestConnectorForm::encodeHostList_data()
{
    QTest::addColumn<HostMap>("hosts");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << HostMap() << "00000000";
    QTest::newRow("one") << HostMap{{ip("192.168.1.10"), 3}} << "00000001c0a8010a03";
    // Descending address order, as Qt writes a map.
    QTest::newRow("two") << HostMap{{ip("10.0.0.1"), 1}, {ip("192.168.1.10"), 255}}
                         << "00000002c0a8010aff0a00000101";
}

void TestConnectorForm::encodeHostList()
{
    QFETCH(HostMap, hosts);
    QFETCH(QString, text);
    QCOMPARE(ConnectorForm::encodeHostList(hosts), text);
    QCOMPARE(ConnectorForm::decodeHostList(text), hosts);
}

void TestConnectorForm::decodeHostList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<HostMap>("hosts");

    const HostMap one{{ip("192.168.1.10"), 3}};
    const HostMap two{{ip("10.0.0.1"), 1}, {ip("192.168.1.10"), 3}};
    QTest::newRow("empty text") << "" << HostMap();
    QTest::newRow("ascending order") << "000000020a00000101c0a8010a03" << two;
    QTest::newRow("upper case") << "00000001C0A8010A03" << one;
    QTest::newRow("separators skipped") << "00 00 00 01 c0-a8-01-0a 03" << one;
    QTest::newRow("ends early") << "00000002c0a8010a03" << HostMap();
    QTest::newRow("entry cut") << "00000001c0a8010a" << HostMap();
    QTest::newRow("count only") << "00000001" << HostMap();
    QTest::newRow("huge count") << "ffffffffc0a8010a03" << HostMap();
    QTest::newRow("not hex at all") << "garbage" << HostMap();
    QTest::newRow("zero entries") << "00000000" << HostMap();
}

void TestConnectorForm::decodeHostList()
{
    QFETCH(QString, text);
    QFETCH(HostMap, hosts);
    QCOMPARE(ConnectorForm::decodeHostList(text), hosts);
}

void TestConnectorForm::addressValidator_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");

    QTest::newRow("plain") << "192.168.1.10" << int(QValidator::Acceptable);
    QTest::newRow("zeros") << "0.0.0.0" << int(QValidator::Acceptable);
    QTest::newRow("highest") << "255.255.255.255" << int(QValidator::Acceptable);
    QTest::newRow("partial") << "192.168." << int(QValidator::Intermediate);
    QTest::newRow("above 255") << "192.168.1.256" << int(QValidator::Invalid);
    // Qt would read these as octal numbers: 010 is 8, 08 is 0.
    QTest::newRow("leading zeros") << "192.168.001.010" << int(QValidator::Invalid);
    QTest::newRow("leading zero 08") << "08" << int(QValidator::Invalid);
    QTest::newRow("leading zero last") << "10.0.0.01" << int(QValidator::Invalid);
    QTest::newRow("five groups") << "1.2.3.4.5" << int(QValidator::Invalid);
    QTest::newRow("letters") << "1.a" << int(QValidator::Invalid);
}

void TestConnectorForm::addressValidator()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    startManager();
    openForm();
    const QValidator *validator = child<QLineEdit>("edtIpAddr")->validator();
    QVERIFY(validator);
    int pos = 0;
    QCOMPARE(int(validator->validate(text, pos)), state);
}

void TestConnectorForm::automaticDot_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");

    QTest::newRow("three digits") << "192" << "192.";
    QTest::newRow("two digits") << "10" << "10";
    QTest::newRow("digits only") << "192168110" << "192.168.110.";
    QTest::newRow("full address") << "192.168.1.10" << "192.168.1.10";
    QTest::newRow("at most three dots") << "255255255255" << "255.255.255.255";
    QTest::newRow("dot after dot rejected") << "192.1" << "192.1";
    QTest::newRow("leading zero rejected") << "010" << "0";
}

void TestConnectorForm::automaticDot()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    startManager();
    openForm();
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    QSignalSpy changed(edit, &QLineEdit::textChanged);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), text);
    QCOMPARE(edit->cursorPosition(), text.size());
    // The added dot is no extra change of its own.
    QVERIFY(changed.count() <= typed.size());
}

void TestConnectorForm::backspaceOverDot()
{
    startManager();
    openForm();
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    QTest::keyClicks(edit, QStringLiteral("192168"));
    QCOMPARE(edit->text(), QStringLiteral("192.168."));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("192.168"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("192.16"));
    QTest::keyClicks(edit, QStringLiteral("9"));
    QCOMPARE(edit->text(), QStringLiteral("192.169."));
}

void TestConnectorForm::buttonStates_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("interface");
    QTest::addColumn<bool>("connect");
    QTest::addColumn<bool>("load");
    QTest::addColumn<bool>("search");
    QTest::addColumn<bool>("frame");

    const QStringList port{QStringLiteral("ttyS0")};
    const QString full = QStringLiteral("192.168.1.10");
    QTest::newRow("ethernet, no interface") << 0 << full << port << false << false << false << false << false << true;
    QTest::newRow("ethernet, interface") << 0 << full << port << false << true << true << false << true << true;
    QTest::newRow("ethernet, partial address") << 0 << "192.168.1." << port << false << true << false << false << true
                                              << true;
    QTest::newRow("ethernet, empty address") << 0 << "" << port << false << true << false << false << true << true;
    QTest::newRow("rs-485 with a port") << 1 << "" << port << false << false << true << false << false << true;
    QTest::newRow("rs-485 without ports") << 1 << full << QStringList() << false << true << false << false << true
                                          << true;
    QTest::newRow("offline") << 0 << full << port << true << true << false << true << false << false;
    QTest::newRow("offline, rs-485") << 1 << "" << port << true << false << false << true << false << false;
}

void TestConnectorForm::buttonStates()
{
    QFETCH(int, type);
    QFETCH(QString, address);
    QFETCH(QStringList, ports);
    QFETCH(bool, offline);
    QFETCH(bool, interface);
    QFETCH(bool, connect);
    QFETCH(bool, load);
    QFETCH(bool, search);
    QFETCH(bool, frame);

    m_ports = ports;
    startManager();
    if (interface) {
        if (!addEthernetInterface())
            QSKIP("cannot make an Ethernet interface in this network namespace");
        m_manager->client()->scanNetworkInterfaces();
        QVERIFY(!m_manager->client()->networkInterfaces().isEmpty());
    } else {
        QVERIFY(m_manager->client()->networkInterfaces().isEmpty());
    }
    openForm();
    child<QComboBox>("cbConnectType")->setCurrentIndex(type);
    QCOMPARE(child<QStackedWidget>("stackedWidget")->currentIndex(), type);
    child<QLineEdit>("edtIpAddr")->setText(address);
    child<QCheckBox>("ckEnableOffline")->setChecked(offline);

    QCOMPARE(child<QPushButton>("btnConnect")->isEnabled(), connect);
    QCOMPARE(child<QPushButton>("btnLoad")->isEnabled(), load);
    QCOMPARE(child<QToolButton>("btnSearch")->isEnabled(), search);
    QCOMPARE(child<QFrame>("frameConnectParams")->isEnabled(), frame);
    QVERIFY(child<QPushButton>("btnCancel")->isEnabled());

    // Leaving offline mode restores the connection choice.
    child<QCheckBox>("ckEnableOffline")->setChecked(false);
    QVERIFY(child<QFrame>("frameConnectParams")->isEnabled());
    QVERIFY(!child<QPushButton>("btnLoad")->isEnabled());
}

void TestConnectorForm::portList()
{
    m_ports = QStringList{"ttyUSB10", "ttyUSB2", "ttyS0", "ttyUSB1"};
    startManager({{"Connection/Type", 1}});
    openForm();
    QComboBox *ports = child<QComboBox>("cbSerialPort");
    QStringList shown;
    for (int i = 0; i < ports->count(); ++i)
        shown << ports->itemText(i);
    QCOMPARE(shown, QStringList({"ttyS0", "ttyUSB1", "ttyUSB2", "ttyUSB10"}));
    QVERIFY(child<QPushButton>("btnConnect")->isEnabled());

    // The refresh button follows the system's list, and OK follows it too.
    m_ports.clear();
    QTest::mouseClick(child<QToolButton>("btnUpdate"), Qt::LeftButton);
    QCOMPARE(ports->count(), 0);
    QVERIFY(!child<QPushButton>("btnConnect")->isEnabled());
    m_ports = QStringList{"ttyACM0"};
    QTest::mouseClick(child<QToolButton>("btnUpdate"), Qt::LeftButton);
    QCOMPARE(ports->currentText(), QStringLiteral("ttyACM0"));
    QVERIFY(child<QPushButton>("btnConnect")->isEnabled());
}

void TestConnectorForm::restoresSettings()
{
    m_ports = QStringList{"ttyUSB0", "ttyUSB1"};
    const HostMap hosts{{ip("10.0.0.2"), 7}, {ip("10.0.0.1"), 5}, {ip("192.168.0.254"), 1}};
    startManager({{"Connection/Type", 1},
                  {"Connection/SerialPort", "ttyUSB1"},
                  {"Connection/LineAddress", 300},
                  {"Connection/Host", "10.0.0.2"},
                  {"Connection/List", ConnectorForm::encodeHostList(hosts)}});
    openForm();

    QCOMPARE(m_form->windowTitle(), QStringLiteral("Подключение к ЦУ-Л"));
    QCOMPARE(child<QComboBox>("cbConnectType")->currentText(), QStringLiteral("RS-485"));
    QCOMPARE(child<QStackedWidget>("stackedWidget")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>("cbSerialPort")->currentText(), QStringLiteral("ttyUSB1"));
    QCOMPARE(child<QSpinBox>("edtLineAddress")->value(), 255);
    QCOMPARE(child<QLineEdit>("edtIpAddr")->text(), QStringLiteral("10.0.0.2"));

    QTableWidget *table = child<QTableWidget>("tblHosts");
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->columnCount(), 1);
    const QStringList rows{"10.0.0.1", "10.0.0.2", "192.168.0.254"};
    const QList<int> lines{5, 7, 1};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(table->item(row, 0)->text(), rows.at(row));
        QCOMPARE(table->item(row, 0)->data(Qt::UserRole).toInt(), lines.at(row));
    }
    QCOMPARE(table->currentRow(), 1);
}

void TestConnectorForm::restoresWithMissingChoices()
{
    m_ports = QStringList{"ttyUSB0", "ttyUSB1"};
    startManager({{"Connection/Type", 5},
                  {"Connection/SerialPort", "ttyUSB7"},
                  {"Connection/Host", "10.0.0.9"},
                  {"Connection/List", "0000000"}});
    openForm();
    QCOMPARE(child<QComboBox>("cbConnectType")->currentText(), QStringLiteral("Ethernet"));
    QCOMPARE(child<QStackedWidget>("stackedWidget")->currentIndex(), 0);
    QCOMPARE(child<QComboBox>("cbSerialPort")->currentText(), QStringLiteral("ttyUSB0"));
    QCOMPARE(child<QTableWidget>("tblHosts")->rowCount(), 0);
    QCOMPARE(child<QLineEdit>("edtIpAddr")->text(), QStringLiteral("10.0.0.9"));
}

void TestConnectorForm::hostRowClick()
{
    const HostMap hosts{{ip("10.0.0.2"), 7}, {ip("10.0.0.1"), 5}};
    startManager({{"Connection/List", ConnectorForm::encodeHostList(hosts)}});
    openForm();
    QTableWidget *table = child<QTableWidget>("tblHosts");
    const QRect rect = table->visualItemRect(table->item(1, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QCOMPARE(child<QLineEdit>("edtIpAddr")->text(), QStringLiteral("10.0.0.2"));
    QCOMPARE(child<QSpinBox>("edtLineAddress")->value(), 7);
    // A complete address picked from the list gets no extra dot.
    QCOMPARE(child<QLineEdit>("edtIpAddr")->text().count(QLatin1Char('.')), 3);
}

void TestConnectorForm::offlineControlsHidden()
{
    startManager();
    openForm();
    m_form->setOfflineControlsVisible(false);
    QVERIFY(child<QCheckBox>("ckEnableOffline")->isHidden());
    QVERIFY(child<QPushButton>("btnLoad")->isHidden());
    m_form->setOfflineControlsVisible(true);
    QVERIFY(!child<QCheckBox>("ckEnableOffline")->isHidden());
    QVERIFY(!child<QPushButton>("btnLoad")->isHidden());
}

void TestConnectorForm::searchFindsNothing_data()
{
    QTest::addColumn<bool>("withInterface");
    QTest::newRow("no interface") << false;
    // Broadcasts go out on the interface, and nobody answers.
    QTest::newRow("nobody answers") << true;
}

void TestConnectorForm::searchFindsNothing()
{
    QFETCH(bool, withInterface);
    const HostMap hosts{{ip("10.0.0.1"), 5}};
    startManager({{"Connection/List", ConnectorForm::encodeHostList(hosts)}, {"Connection/Host", "10.0.0.1"}});
    if (withInterface) {
        if (!addEthernetInterface())
            QSKIP("cannot make an Ethernet interface in this network namespace");
        m_manager->client()->scanNetworkInterfaces();
        QVERIFY(!m_manager->client()->networkInterfaces().isEmpty());
    } else {
        QVERIFY(m_manager->client()->networkInterfaces().isEmpty());
    }
    openForm();
    QCOMPARE(child<QTableWidget>("tblHosts")->rowCount(), 1);

    // A search that finds nothing says so and keeps the remembered controllers.
    QVERIFY(QMetaObject::invokeMethod(m_form, "searchDevices"));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().icon, QMessageBox::Information);
    QCOMPARE(m_messages.first().text,
             QStringLiteral("Ни один контроллер не ответил на поиск. Список контроллеров не изменён."));
    QCOMPARE(child<QTableWidget>("tblHosts")->rowCount(), 1);
    QCOMPARE(child<QLineEdit>("edtIpAddr")->text(), QStringLiteral("10.0.0.1"));
    QCOMPARE(ConnectorForm::decodeHostList(appSettings->value(QStringLiteral("Connection/List")).toString()), hosts);
    QCOMPARE(child<QPushButton>("btnConnect")->isEnabled(), withInterface);
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->findChild<QProgressDialog *>(), WorkWaitMs);
    QVERIFY(!QApplication::overrideCursor());
}

// The search's broadcasts come back to this namespace's own sockets; a
// socket on the search port answers them as a controller would.
void TestConnectorForm::interfaceAfterStartUp()
{
    // The program started without a network; the adapter comes up while the
    // dialog is open: the next input looks again.
    startManager();
    openForm();
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    edit->setText(QStringLiteral("10.77.0.9"));
    QVERIFY(!child<QPushButton>("btnConnect")->isEnabled());
    QVERIFY(!child<QToolButton>("btnSearch")->isEnabled());
    if (!addEthernetInterface())
        QSKIP("needs the test's own network namespace");
    QTest::mouseClick(child<QToolButton>("btnUpdate"), Qt::LeftButton);
    QVERIFY(child<QPushButton>("btnConnect")->isEnabled());
    QVERIFY(child<QToolButton>("btnSearch")->isEnabled());
}

void TestConnectorForm::searchFindsControllers()
{
    const HostMap stored{{ip("10.0.0.1"), 5}};
    startManager({{"Connection/List", ConnectorForm::encodeHostList(stored)}, {"Connection/Host", "10.0.0.1"}});
    if (!addEthernetInterface())
        QSKIP("cannot make an Ethernet interface in this network namespace");
    m_manager->client()->scanNetworkInterfaces();

    QUdpSocket responder;
    QVERIFY(responder.bind(QHostAddress::AnyIPv4, 49502));
    int requests = 0;
    connect(&responder, &QUdpSocket::readyRead, this, [&responder, &requests]() {
        while (responder.hasPendingDatagrams()) {
            const QNetworkDatagram request = responder.receiveDatagram();
            ++requests;
            // Identity registers 0 to 7: device type 7 (line controller),
            // line address 42 in register 7.
            QByteArray reply = QByteArray::fromHex("000000000013000310"
                                                   "07e8" "0011" "0007" "0000" "0000" "0000" "0000" "002a");
            reply.replace(0, 2, request.data().left(2));
            responder.writeDatagram(reply, request.senderAddress(), quint16(request.senderPort()));
        }
    });

    openForm();
    QVERIFY(child<QToolButton>("btnSearch")->isEnabled());
    QTest::mouseClick(child<QToolButton>("btnSearch"), Qt::LeftButton);

    if (requests == 0)
        QSKIP("broadcasts are not delivered back inside this namespace");
    QTableWidget *table = child<QTableWidget>("tblHosts");
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("10.77.0.1"));
    QCOMPARE(table->item(0, 0)->data(Qt::UserRole).toInt(), 42);
    QVERIFY(child<QLineEdit>("edtIpAddr")->text().isEmpty());
    QVERIFY(!child<QPushButton>("btnConnect")->isEnabled());
    // The remembered list now holds exactly what the search found.
    const HostMap found{{ip("10.77.0.1"), 42}};
    QCOMPARE(ConnectorForm::decodeHostList(appSettings->value(QStringLiteral("Connection/List")).toString()), found);
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->findChild<QProgressDialog *>(), WorkWaitMs);
    QVERIFY(!QApplication::overrideCursor());

    // Picking the row makes the address complete again.
    const QRect rect = table->visualItemRect(table->item(0, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QVERIFY(child<QPushButton>("btnConnect")->isEnabled());
}

void TestConnectorForm::quitDuringSearchKeepsList()
{
    // Cancelling the start-up dialog while a search runs ends the program;
    // the unfinished search must not replace the remembered controllers.
    const HostMap stored{{ip("10.0.0.1"), 5}, {ip("10.0.0.2"), 7}};
    startManager({{"Connection/List", ConnectorForm::encodeHostList(stored)}, {"Connection/Host", "10.0.0.1"}});
    if (!addEthernetInterface())
        QSKIP("cannot make an Ethernet interface in this network namespace");
    m_manager->client()->scanNetworkInterfaces();
    openForm();
    QVERIFY(child<QToolButton>("btnSearch")->isEnabled());

    QToolButton *search = child<QToolButton>("btnSearch");
    QPushButton *cancel = child<QPushButton>("btnCancel");
    QTimer::singleShot(0, search, [search]() { QTest::mouseClick(search, Qt::LeftButton); });
    bool cancelled = false;
    QTimer canceller;
    canceller.setInterval(50);
    connect(&canceller, &QTimer::timeout, this, [this, cancel, &cancelled, &canceller]() {
        QProgressDialog *progress = m_form ? m_form->findChild<QProgressDialog *>() : nullptr;
        if (!progress || !progress->isVisible())
            return;
        QCOMPARE(progress->labelText(), QStringLiteral("Поиск контроллеров в линии Ethernet..."));
        canceller.stop();
        cancelled = true;
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    canceller.start();
    QVERIFY(WindowTest::execUntilQuit(20000));

    QVERIFY(cancelled);
    QVERIFY(!m_form);
    appSettings->sync();
    QCOMPARE(ConnectorForm::decodeHostList(appSettings->value(QStringLiteral("Connection/List")).toString()), stored);
    QCOMPARE(appSettings->value(QStringLiteral("Connection/Host")).toString(), QStringLiteral("10.0.0.1"));
}

void TestConnectorForm::connectToFake_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("return in the address field") << "return";
    QTest::newRow("double click on a row") << "double click";
    QTest::newRow("return on a row") << "row return";
}

void TestConnectorForm::connectToFake()
{
    QFETCH(QString, how);

    FakeController fake;
    fake.loadGeneratedConfiguration(FakeLineAddress);
    FakeTcpServer server(&fake);
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502));

    // A listed controller under another line address, and one more.
    const HostMap before{{ip("127.0.0.1"), 9}, {ip("10.0.0.1"), 5}};
    startManager({{"Connection/List", ConnectorForm::encodeHostList(before)},
                  {"Connection/LineAddress", FakeLineAddress},
                  {"Driver/EnableMonitoring", false}});
    openForm();
    QSignalSpy shown(m_form.data(), &ConnectorForm::showMainForm);
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    QTableWidget *table = child<QTableWidget>("tblHosts");
    // No Ethernet interface here: OK stays disabled, the other ways work.
    QVERIFY(!child<QPushButton>("btnConnect")->isEnabled());

    if (how == QLatin1String("return")) {
        edit->setText(QStringLiteral("127.0.0.1"));
        QTest::keyClick(edit, Qt::Key_Return);
    } else {
        // The row still carries the old line address; the user corrects it.
        QTableWidgetItem *item = table->item(0, 0);
        QCOMPARE(item->text(), QStringLiteral("10.0.0.1"));
        item = table->item(1, 0);
        QCOMPARE(item->text(), QStringLiteral("127.0.0.1"));
        item->setData(Qt::UserRole, FakeLineAddress);
        if (how == QLatin1String("double click")) {
            const QRect rect = table->visualItemRect(item);
            // A widget double click in QtTest is the second click only.
            QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        } else {
            table->setCurrentItem(item);
            QTest::keyClick(table, Qt::Key_Return);
        }
    }

    QTRY_VERIFY_WITH_TIMEOUT(!m_form, WorkWaitMs);
    QCOMPARE(shown.count(), 1);
    QVERIFY(m_manager->mainForm()->isVisible());
    QVERIFY(m_manager->client()->hasDriver());

    appSettings->sync();
    QSettings ini(appSettings->fileName(), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Connection/Type")).toInt(), 0);
    QCOMPARE(ini.value(QStringLiteral("Connection/Host")).toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(ini.value(QStringLiteral("Connection/LineAddress")).toInt(), FakeLineAddress);
    const HostMap after{{ip("127.0.0.1"), FakeLineAddress}, {ip("10.0.0.1"), 5}};
    QCOMPARE(ConnectorForm::decodeHostList(ini.value(QStringLiteral("Connection/List")).toString()), after);
}

void TestConnectorForm::cancelStoresNothing()
{
    // A controller that takes the connection and never answers.
    FakeController fake;
    fake.loadGeneratedConfiguration(FakeLineAddress);
    fake.addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
    FakeTcpServer server(&fake);
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502));

    startManager({{"Connection/LineAddress", FakeLineAddress}});
    openForm();
    QSignalSpy shown(m_form.data(), &ConnectorForm::showMainForm);
    const QVariantMap settingsBefore = settingsSnapshot();

    bool cancelled = false;
    QTimer canceller;
    canceller.setInterval(50);
    connect(&canceller, &QTimer::timeout, this, [this, &cancelled, &canceller, &server]() {
        QProgressDialog *progress = m_form ? m_form->findChild<QProgressDialog *>() : nullptr;
        if (!progress || !progress->isVisible() || server.connectionCount() == 0)
            return;
        QCOMPARE(progress->labelText(), QStringLiteral("Проверка подключения к контроллеру..."));
        QVERIFY(QApplication::overrideCursor());
        QPushButton *button = progress->findChild<QPushButton *>();
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("Отмена"));
        canceller.stop();
        cancelled = true;
        QTest::mouseClick(button, Qt::LeftButton);
    });
    canceller.start();

    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    edit->setText(QStringLiteral("127.0.0.1"));
    QTest::keyClick(edit, Qt::Key_Return);

    QTRY_VERIFY_WITH_TIMEOUT(cancelled, WorkWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_manager->client()->hasDriver(), WorkWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->findChild<QProgressDialog *>(), WorkWaitMs);
    QVERIFY(m_form);
    QVERIFY(m_form->isVisible());
    QCOMPARE(shown.count(), 0);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(edit->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(settingsSnapshot(), settingsBefore);
}

void TestConnectorForm::connectionFailures_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("deviceType");  // 0: nothing listens; -1: a silent controller; -2: a busy one
    QTest::addColumn<QString>("reason");

    QTest::newRow("refused") << "127.0.0.1" << 0
                             << "Хост 127.0.0.1 отклонил соединение: на порту 502 нет службы Modbus TCP";
    // The test's namespace has no route but to loopback.
    QTest::newRow("unreachable") << "10.99.0.1" << 0 << "Хост 10.99.0.1 недоступен: нет маршрута в сети";
    QTest::newRow("not a line controller")
        << "127.0.0.1" << 5
        << QStringLiteral("Устройство с линейным адресом %1 не является ЦУ-Л (тип устройства 5)").arg(FakeLineAddress);
    QTest::newRow("no answer") << "127.0.0.1" << -1 << "Устройство не ответило на запрос идентификации ЦУ-Л";
    // Answers "busy" for ever: not the cabling's fault (a short busy limit here).
    QTest::newRow("busy") << "127.0.0.1" << -2
                          << "ЦУ-Л отвечает, но остаётся занятым: запрос идентификации не выполнен за 0,5 с";
}

void TestConnectorForm::connectionFailures()
{
    QFETCH(QString, address);
    QFETCH(int, deviceType);
    QFETCH(QString, reason);

    FakeController fake;
    fake.loadGeneratedConfiguration(FakeLineAddress);
    if (deviceType > 0)
        fake.setIdentity(2023, 1234, quint16(deviceType), 258, 773, QDate(2022, 10, 31));
    if (deviceType == -1)
        fake.addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
    if (deviceType == -2)
        fake.addInjection(FakeInjection::exception(5, -1, -1));
    FakeTcpServer server(&fake);
    if (deviceType != 0)
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502));

    QVariantMap settings{{"Connection/LineAddress", FakeLineAddress}, {"Driver/EnableMonitoring", false}};
    // The busy limit is what ends the busy attempt: short, with response
    // time-outs far above it.
    if (deviceType == -2) {
        settings.insert("Driver/BusyTimeLimit", 500);
        settings.insert("Driver/ResponseTimeout", 20000);
    }
    startManager(settings);
    openForm();
    QSignalSpy shown(m_form.data(), &ConnectorForm::showMainForm);
    QSignalSpy logged(m_form.data(), &ConnectorForm::writeToLog);
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    edit->setText(address);
    QTest::keyClick(edit, Qt::Key_Return);

    QTRY_VERIFY_WITH_TIMEOUT(!m_messages.isEmpty(), WorkWaitMs);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().icon, QMessageBox::Critical);
    const QString text = QStringLiteral("Не удалось подключиться к ЦУ-Л (адрес %1, линейный адрес %2).\n%3")
                             .arg(address)
                             .arg(FakeLineAddress)
                             .arg(reason);
    QVERIFY2(m_messages.first().text == text, qPrintable(m_messages.first().text));
    QCOMPARE(logged.count(), 1);
    // The dialog stays for another try; nothing is left running.
    QVERIFY(m_form && m_form->isVisible());
    QCOMPARE(shown.count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_manager->client()->hasDriver(), WorkWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->findChild<QProgressDialog *>(), WorkWaitMs);
    QVERIFY(!QApplication::overrideCursor());
}

void TestConnectorForm::closingStartDialogEndsProgram_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("title bar") << "close";
    QTest::newRow("escape") << "escape";
    QTest::newRow("cancel button") << "cancel";
}

void TestConnectorForm::closingStartDialogEndsProgram()
{
    QFETCH(QString, how);
    startManager();
    openForm();
    // The controller's stopApp would end every later event loop of the test:
    // see that the dialog asks for it, once.
    QVERIFY(disconnect(m_form.data(), &ConnectorForm::closeApp, m_manager.get(), &TaskManager::stopApp));
    QSignalSpy closeApp(m_form.data(), &ConnectorForm::closeApp);
    if (how == QLatin1String("close"))
        m_form->close();
    else if (how == QLatin1String("escape"))
        QTest::keyClick(child<QLineEdit>("edtIpAddr"), Qt::Key_Escape);
    else
        QTest::mouseClick(child<QPushButton>("btnCancel"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_form, WorkWaitMs);
    QCOMPARE(closeApp.count(), 1);
}

void TestConnectorForm::closedWhileConnecting()
{
    // A controller that takes the connection and never answers.
    FakeController fake;
    fake.loadGeneratedConfiguration(FakeLineAddress);
    fake.addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
    FakeTcpServer server(&fake);
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502));

    // The driver's own time-outs far beyond the test: only the click ends the wait.
    startManager({{"Connection/LineAddress", FakeLineAddress}, {"Driver/ResponseTimeout", 60000}});
    // Opened the way the main window opens it: its Cancel only closes it,
    // and the dialog stays usable while it waits for the controller.
    QWidget owner;
    m_form = new ConnectorForm(&owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    m_form->setAttribute(Qt::WA_DeleteOnClose);
    m_form->setWindowModality(Qt::ApplicationModal);
    m_form->setOfflineControlsVisible(false);
    connect(m_form.data(), &ConnectorForm::closeApp, m_form.data(), &QWidget::close);
    connect(m_form.data(), &ConnectorForm::showWaitCursor, m_manager.get(), &TaskManager::showWaitCursor);
    owner.show();
    m_form->show();
    QPushButton *cancel = child<QPushButton>("btnCancel");

    bool closed = false;
    bool stopped = false;
    QTimer driver;
    driver.setInterval(50);
    connect(&driver, &QTimer::timeout, this, [&]() {
        if (!closed) {
            QProgressDialog *progress = m_form ? m_form->findChild<QProgressDialog *>() : nullptr;
            if (!progress || !progress->isVisible() || server.connectionCount() == 0)
                return;
            closed = true;
            QTest::mouseClick(cancel, Qt::LeftButton);
            return;
        }
        if (m_form)
            return;
        // The dialog is gone while the client still tries: the end of the
        // attempt must reach no dialog.
        driver.stop();
        m_manager->client()->shutdownDriver();
        stopped = true;
    });
    driver.start();

    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    edit->setText(QStringLiteral("127.0.0.1"));
    QTest::keyClick(edit, Qt::Key_Return);

    QTRY_VERIFY_WITH_TIMEOUT(stopped, WorkWaitMs);
    QVERIFY(!m_form);
    // The driver is deleted once its thread has finished.
    QTRY_VERIFY_WITH_TIMEOUT(!m_manager->client()->hasDriver(), WorkWaitMs);
    QVERIFY(!QApplication::overrideCursor());
}

void TestConnectorForm::offlineLoad_data()
{
    QTest::addColumn<bool>("valid");
    QTest::newRow("valid file") << true;
    QTest::newRow("invalid file") << false;
}

void TestConnectorForm::offlineLoad()
{
    QFETCH(bool, valid);

    QTemporaryDir files;
    QVERIFY(files.isValid());
    const QString goneFolder = files.filePath(QStringLiteral("gone"));
    // A remembered folder that no longer exists is not offered.
    startManager({{"Common/LastPath", valid ? goneFolder : files.path()}});

    const QString path = files.filePath(QStringLiteral("system.xml"));
    if (valid) {
        QVERIFY(m_manager->client()->saveConfigFile(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<RUZConfig><broken");
    }
    m_openFile = path;

    openForm();
    QSignalSpy shown(m_form.data(), &ConnectorForm::showMainForm);
    child<QCheckBox>("ckEnableOffline")->setChecked(true);
    QTest::mouseClick(child<QPushButton>("btnLoad"), Qt::LeftButton);

    QCOMPARE(m_openDialogArgs.value(0), QStringLiteral("Загрузка конфигурации системы"));
    QCOMPARE(m_openDialogArgs.value(1), valid ? appDataPath : files.path());
    QCOMPARE(m_openDialogArgs.value(2), QStringLiteral("XML файлы (*.xml);;Все файлы (*.*)"));
    const QFileDialog::Options options(m_openDialogArgs.value(3).toInt());
    QCOMPARE(options, QFileDialog::DontResolveSymlinks | QFileDialog::ReadOnly
                          | QFileDialog::DontUseCustomDirectoryIcons);

    if (valid) {
        QTRY_VERIFY_WITH_TIMEOUT(!m_form, WorkWaitMs);
        QCOMPARE(shown.count(), 1);
        QVERIFY(m_manager->mainForm()->isVisible());
        QCOMPARE(appSettings->value(QStringLiteral("Common/LastPath")).toString(), files.path());
        QVERIFY(m_messages.isEmpty());
    } else {
        // The client's reason is shown over the dialog, which stays.
        QTRY_COMPARE_WITH_TIMEOUT(m_messages.size(), 1, WorkWaitMs);
        QCOMPARE(m_messages.first().icon, QMessageBox::Critical);
        QVERIFY(m_messages.first().text.contains(QStringLiteral("system.xml")));
        QVERIFY(m_form && m_form->isVisible());
        QCOMPARE(shown.count(), 0);
        QVERIFY(!m_manager->mainForm()->isVisible());
        QCOMPARE(appSettings->value(QStringLiteral("Common/LastPath")).toString(), files.path());
        QVERIFY(!QApplication::overrideCursor());
    }

    // Nothing chosen: nothing happens.
    if (!valid) {
        m_openFile.clear();
        m_messages.clear();
        QTest::mouseClick(child<QPushButton>("btnLoad"), Qt::LeftButton);
        QTest::qWait(50);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(m_form);
    }
}

void TestConnectorForm::connectWaitHasLimit()
{
    // A controller that takes the connection and never answers: the dialog
    // gives the attempt up at its own limit, before the driver's time-outs.
    const int savedLimit = ConnectorForm::connectWaitLimitMs;
    const auto restore = qScopeGuard([savedLimit]() { ConnectorForm::connectWaitLimitMs = savedLimit; });
    ConnectorForm::connectWaitLimitMs = 1500;
    FakeController fake;
    fake.loadGeneratedConfiguration(FakeLineAddress);
    fake.addInjection(FakeInjection::make(FakeInjection::Silence, -1, -1));
    FakeTcpServer server(&fake);
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 502));

    // The driver's own time-outs far beyond the test's wait: only the
    // dialog's limit can end the attempt in time.
    startManager({{"Connection/LineAddress", FakeLineAddress}, {"Driver/ResponseTimeout", 120000}});
    openForm();
    QSignalSpy shown(m_form.data(), &ConnectorForm::showMainForm);
    const QVariantMap settingsBefore = settingsSnapshot();
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    edit->setText(QStringLiteral("127.0.0.1"));
    QTest::keyClick(edit, Qt::Key_Return);

    // On a loaded machine the limit may come before the fake takes the
    // connection: the dialog's limit ends the attempt either way.
    QTRY_COMPARE_WITH_TIMEOUT(m_messages.size(), 1, WorkWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_manager->client()->hasDriver(), WorkWaitMs);
    const QString text = QStringLiteral("Не удалось подключиться к ЦУ-Л (адрес 127.0.0.1, линейный адрес %1).\n"
                                        "Контроллер не ответил за 1 с.")
                             .arg(FakeLineAddress);
    QVERIFY2(m_messages.first().text == text, qPrintable(m_messages.first().text));
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->findChild<QProgressDialog *>(), WorkWaitMs);
    QVERIFY(m_form->isVisible());
    QCOMPARE(shown.count(), 0);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(settingsSnapshot(), settingsBefore);
}

QTEST_MAIN(TestConnectorForm)
#include "tst_connectorform.moc"
