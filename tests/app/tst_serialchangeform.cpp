// Controller serial-number dialog: the fields it fills from the identity,
// its input rules, and the write with its bounded wait.

#include "appglobals.h"
#include "clienttestsupport.h"
#include "controllerconfigmodel.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "serialchangeform.h"
#include "taskmanager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

const int LineAddress = 3;

struct Fields
{
    QLineEdit *serial;
    QLineEdit *year;
    QLineEdit *pcb;
    QPushButton *change;
    QPushButton *cancel;
};

Fields fieldsOf(SerialChangeForm *form)
{
    return {form->findChild<QLineEdit *>(QStringLiteral("edtSerial")),
            form->findChild<QLineEdit *>(QStringLiteral("edtProdYear")),
            form->findChild<QLineEdit *>(QStringLiteral("edtPcbVer")),
            form->findChild<QPushButton *>(QStringLiteral("btnChange")),
            form->findChild<QPushButton *>(QStringLiteral("btnCancel"))};
}

SerialChangeForm *openForm()
{
    auto *form = new SerialChangeForm(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
    return form;
}

void setIdentity(const QString &serial, const QString &pcb)
{
    ControllerInfo &info = appTaskManager->client()->controllerConfigModel()->info;
    info.serialNumber = serial;
    info.boardVersion = pcb;
}

// The fake controller on 127.0.0.1:502 with the client connected to it.
struct Connection
{
    FakeController fake;
    FakeTcpServer server{&fake};
    bool connected = false;

    Connection()
    {
        fake.loadGeneratedConfiguration(LineAddress, QHostAddress(QStringLiteral("127.0.0.1")));
        connected = ClientTest::listenAndConnect(server, *appTaskManager->client(), LineAddress, 10000);
    }
    ~Connection()
    {
        appTaskManager->client()->shutdownDriver();
        QTRY_VERIFY_WITH_TIMEOUT(!appTaskManager->client()->hasDriver(), 5000);
    }
};

} // namespace

class TestSerialChangeForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void fieldsFromIdentity_data();
    void fieldsFromIdentity();
    void inputRules_data();
    void inputRules();
    void cancelCloses();
    void withoutDriverClosesAtOnce();
    void writesToController();
    void waitEndsWhenLinkIsLost();
    void waitEndsAfterTimeLimit();

private:
    TaskManager *m_manager = nullptr;
};

void TestSerialChangeForm::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    LantrelProtocol::registerMetaTypes();
    m_manager = new TaskManager;
    appTaskManager = m_manager;
    // No monitoring traffic between the requests under test.
    appSettings->setValue(QStringLiteral("Driver/EnableMonitoring"), false);
    appSettings->sync();
}

void TestSerialChangeForm::cleanupTestCase()
{
    appTaskManager = nullptr;
    delete m_manager;
}

void TestSerialChangeForm::cleanup()
{
    SerialChangeForm::setAnswerTimeoutMs(30000);
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<SerialChangeForm *>(w))
            delete w;
}

void TestSerialChangeForm::fieldsFromIdentity_data()
{
    QTest::addColumn<QString>("serialText");
    QTest::addColumn<QString>("pcbText");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("year");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("whole identity") << "1234.2023" << "1.05" << "1234" << "2023" << true;
    QTest::newRow("not read yet") << "" << "" << "" << "" << false;
    QTest::newRow("three parts") << "1.2.2023" << "1.05" << "" << "" << false;
    QTest::newRow("no dot") << "12342023" << "1.05" << "" << "" << false;
    QTest::newRow("empty year part") << "1234." << "1.05" << "1234" << "" << false;
    QTest::newRow("year out of range") << "1234.2019" << "1.05" << "1234" << "2019" << false;
}

void TestSerialChangeForm::fieldsFromIdentity()
{
    QFETCH(QString, serialText);
    QFETCH(QString, pcbText);
    QFETCH(QString, serial);
    QFETCH(QString, year);
    QFETCH(bool, enabled);

    setIdentity(serialText, pcbText);
    SerialChangeForm *form = openForm();
    const Fields f = fieldsOf(form);
    QCOMPARE(form->windowTitle(), QStringLiteral("Смена номера"));
    QCOMPARE(f.serial->text(), serial);
    QCOMPARE(f.year->text(), year);
    QCOMPARE(f.pcb->text(), pcbText);
    QCOMPARE(f.change->isEnabled(), enabled);
    form->close();
}

void TestSerialChangeForm::inputRules_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("pcb");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("smallest") << "1" << "2020" << "0.0" << true;
    QTest::newRow("largest") << "65535" << "2083" << "255.255" << true;
    QTest::newRow("serial 0") << "0" << "2023" << "1.5" << false;
    QTest::newRow("serial 65536") << "65536" << "2023" << "1.5" << false;
    QTest::newRow("year 2019") << "1234" << "2019" << "1.5" << false;
    QTest::newRow("year 2084") << "1234" << "2084" << "1.5" << false;
    QTest::newRow("board 256.1") << "1234" << "2023" << "256.1" << false;
    QTest::newRow("board 1.256") << "1234" << "2023" << "1.256" << false;
    QTest::newRow("board without minor") << "1234" << "2023" << "1." << false;
    QTest::newRow("board one number") << "1234" << "2023" << "1" << false;
    QTest::newRow("empty serial") << "" << "2023" << "1.5" << false;
}

void TestSerialChangeForm::inputRules()
{
    QFETCH(QString, serial);
    QFETCH(QString, year);
    QFETCH(QString, pcb);
    QFETCH(bool, enabled);

    setIdentity(QStringLiteral("1234.2023"), QStringLiteral("1.05"));
    SerialChangeForm *form = openForm();
    const Fields f = fieldsOf(form);
    QVERIFY(f.change->isEnabled());
    f.serial->setText(serial);
    f.year->setText(year);
    f.pcb->setText(pcb);
    QCOMPARE(f.change->isEnabled(), enabled);
    form->close();
}

void TestSerialChangeForm::cancelCloses()
{
    setIdentity(QStringLiteral("1234.2023"), QStringLiteral("1.05"));
    QSignalSpy tasks(appTaskManager->client(), &LantrelClient::taskStarted);
    QPointer<SerialChangeForm> form = openForm();
    QTest::mouseClick(fieldsOf(form).cancel, Qt::LeftButton);
    QTRY_VERIFY(form.isNull());
    QCOMPARE(tasks.count(), 0);
}

void TestSerialChangeForm::withoutDriverClosesAtOnce()
{
    // Without a driver the client never answers: the dialog must not wait.
    QVERIFY(!appTaskManager->client()->hasDriver());
    setIdentity(QStringLiteral("1234.2023"), QStringLiteral("1.05"));
    QPointer<SerialChangeForm> form = openForm();
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(fieldsOf(form).change, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 1000);
    QVERIFY(t.elapsed() < 1000);
}

void TestSerialChangeForm::writesToController()
{
    Connection c;
    QVERIFY(c.connected);
    LantrelClient *client = appTaskManager->client();

    setIdentity(QStringLiteral("1234.2023"), QStringLiteral("1.05"));
    QPointer<SerialChangeForm> form = openForm();
    const Fields f = fieldsOf(form);
    f.serial->setText(QStringLiteral("4321"));
    f.year->setText(QStringLiteral("2024"));
    f.pcb->setText(QStringLiteral("2.7"));

    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    QSignalSpy answered(client, &LantrelClient::controllerSerialChanged);
    QTest::mouseClick(f.change, Qt::LeftButton);
    // The click returns once the client has answered and the dialog closed.
    QVERIFY(form.isNull() || QTest::qWaitFor([&]() { return form.isNull(); }, 10000));
    QCOMPARE(answered.count(), 1);
    QCOMPARE(answered.at(0).at(0).toBool(), true);
    QCOMPARE(tasks.value(0).value(0).toString(), QStringLiteral("Изменение серийного номера ЦУ-Л..."));
    // Year, serial number, board version, in that order.
    QCOMPARE(c.fake.identityRegister(0), quint16(2024));
    QCOMPARE(c.fake.identityRegister(1), quint16(4321));
    QCOMPARE(c.fake.identityRegister(3), quint16(0x0207));
}

void TestSerialChangeForm::waitEndsWhenLinkIsLost()
{
    Connection c;
    QVERIFY(c.connected);
    LantrelClient *client = appTaskManager->client();
    FakeInjection silence = FakeInjection::make(FakeInjection::Silence, 16, -1);
    silence.address = 60;
    c.fake.addInjection(silence);

    setIdentity(QStringLiteral("1234.2023"), QStringLiteral("1.05"));
    QPointer<SerialChangeForm> form = openForm();
    QSignalSpy answered(client, &LantrelClient::controllerSerialChanged);
    QTimer::singleShot(200, client, [client]() { emit client->deviceDisconnected(); });
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(fieldsOf(form).change, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 1500);
    QVERIFY2(t.elapsed() < 1500, "the dialog waited past the loss of the link");
    QCOMPARE(answered.count(), 0);
}

void TestSerialChangeForm::waitEndsAfterTimeLimit()
{
    Connection c;
    QVERIFY(c.connected);
    FakeInjection silence = FakeInjection::make(FakeInjection::Silence, 16, -1);
    silence.address = 60;
    c.fake.addInjection(silence);

    SerialChangeForm::setAnswerTimeoutMs(300);
    setIdentity(QStringLiteral("1234.2023"), QStringLiteral("1.05"));
    QPointer<SerialChangeForm> form = openForm();
    QSignalSpy answered(appTaskManager->client(), &LantrelClient::controllerSerialChanged);
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(fieldsOf(form).change, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 1500);
    // The driver's own time-out (about 2 s) has not answered yet.
    QVERIFY2(t.elapsed() < 1500, "the dialog outlived its time limit");
    QCOMPARE(answered.count(), 0);
}

QTEST_MAIN(TestSerialChangeForm)
#include "tst_serialchangeform.moc"
