// Relay module editor: the IPv4 field, the duplicate-address mark, the probe
// against a fake relay module, saving new and edited modules (relay numbers,
// the expansion flag and the interactions on relays 17 to 32), and a table
// replaced while the window is open.

#include <QCheckBox>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "appcontext.h"
#include "configinvariants.h"
#include "configuredclient.h"
#include "fakerelaymodule.h"
#include "interactionsconfigmodel.h"
#include "ipv4text.h"
#include "lantrelclient.h"
#include "relaymoduleform.h"
#include "relaymodulesconfigmodel.h"

using LantrelProtocol::EXT_RELY;

namespace {

const QString FirstModule = QStringLiteral("192.168.0.60");   // slot 0, expansion, relay 32 in use
const QString SecondModule = QStringLiteral("192.168.0.61");  // slot 1, 16 relays

QImage imageOf(const QString &path)
{
    return QPixmap(path).toImage();
}

// A host whose connection requests are never answered: its listening
// socket's queue is full, so the system drops every new request.
struct SilentHost
{
    int listener = -1;
    QTcpSocket filler;

    bool listen(const QString &address)
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at {};
        at.sin_family = AF_INET;
        at.sin_port = htons(502);
        at.sin_addr.s_addr = htonl(QHostAddress(address).toIPv4Address());
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0
            || ::listen(listener, 0) != 0)
            return false;
        filler.connectToHost(address, 502);
        return filler.waitForConnected(5000);
    }
    ~SilentHost()
    {
        filler.abort();
        if (listener >= 0)
            ::close(listener);
    }
};

} // namespace

class TestRelayModuleForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addressEntry_data();
    void addressEntry();
    void backspaceOverDot();
    void duplicateAddressMarked();
    void probe_data();
    void probe();
    void closeDuringProbe();
    void hostThatNeverAnswers();
    void saveNewModule_data();
    void saveNewModule();
    void clearExpansion_data();
    void clearExpansion();
    void newAddressReachesInteractions();
    void tableReplacedWhileOpen_data();
    void tableReplacedWhileOpen();

private:
    RelayModulesConfigModel *modules() const { return m_config->client.relayModulesConfigModel(); }
    InteractionsConfigModel *interactions() const { return m_config->client.interactionsConfigModel(); }
    RelayModuleForm *open(int editIndex = -1);
    template <typename T> T *child(const char *name) const { return m_form->findChild<T *>(QLatin1String(name)); }
    bool isShowing(const char *image) const;
    int upperRelayInteractions(int number) const;

    QTemporaryDir m_dir;
    std::unique_ptr<WindowTest::ConfiguredClient> m_config;
    std::unique_ptr<WindowTest::MessageBoxRecorder> m_boxes;
    QPointer<RelayModuleForm> m_form;
};

void TestRelayModuleForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestRelayModuleForm::init()
{
    m_config = std::make_unique<WindowTest::ConfiguredClient>();
    QVERIFY(m_config->start());
    m_boxes = std::make_unique<WindowTest::MessageBoxRecorder>();
}

void TestRelayModuleForm::cleanup()
{
    delete m_form;
    m_boxes.reset();
    m_config.reset();
}

RelayModuleForm *TestRelayModuleForm::open(int editIndex)
{
    m_form = new RelayModuleForm(nullptr, Qt::Dialog);
    if (editIndex >= 0)
        m_form->loadRelayModule(ushort(editIndex));
    m_form->show();
    return m_form;
}

bool TestRelayModuleForm::isShowing(const char *image) const
{
    return child<QLabel>("lblCheckStatus")->pixmap(Qt::ReturnByValue).toImage() == imageOf(QLatin1String(image));
}

int TestRelayModuleForm::upperRelayInteractions(int number) const
{
    int count = 0;
    for (int row = 0; row < interactions()->rowCount(); ++row) {
        const InteractionRecord r = interactions()->interactionAt(row);
        count += r.executorType == EXT_RELY && r.executorNumber == number && r.relay > 16;
    }
    return count;
}

void TestRelayModuleForm::addressEntry_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable");

    QTest::newRow("dot after three digits") << "192" << "192." << false;
    QTest::newRow("short group keeps the typed dot") << "10.1" << "10.1" << false;
    QTest::newRow("whole address by digits") << "192168100200" << "192.168.100.200" << true;
    QTest::newRow("no dot after the last group") << "10.0.0.255" << "10.0.0.255" << true;
    // A leading zero would read as octal elsewhere; the field refuses it.
    QTest::newRow("leading zero refused") << "10.010" << "10.0" << false;
    QTest::newRow("above 255 refused") << "10.256" << "10.25" << false;
}

void TestRelayModuleForm::addressEntry()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    open();
    auto *edit = child<QLineEdit>("edtIpAddr");
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), text);
    QCOMPARE(edit->cursorPosition(), text.size());
    QCOMPARE(child<QToolButton>("btnCheck")->isEnabled(), acceptable);
    // Two modules are configured: slot 2 is free.
    QCOMPARE(child<QLabel>("lblNumber")->text(), QStringLiteral("3"));
    QCOMPARE(child<QPushButton>("btnSave")->isEnabled(), acceptable);
}

void TestRelayModuleForm::backspaceOverDot()
{
    open();
    auto *edit = child<QLineEdit>("edtIpAddr");
    QTest::keyClicks(edit, QStringLiteral("192168"));
    QCOMPARE(edit->text(), QStringLiteral("192.168."));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("192.168"));
    QTest::keyClicks(edit, QStringLiteral(".1.7"));
    QCOMPARE(edit->text(), QStringLiteral("192.168.1.7"));
    QVERIFY(child<QPushButton>("btnSave")->isEnabled());
}

void TestRelayModuleForm::duplicateAddressMarked()
{
    open();
    QTest::keyClicks(child<QLineEdit>("edtIpAddr"), SecondModule);
    QVERIFY(isShowing(":/images/exclamation.png"));
    QCOMPARE(child<QLabel>("lblCheckStatus")->toolTip(), QStringLiteral("ЖН-Т с таким IP адресом уже есть в конфигурации"));
    // Only marked: saving stays possible.
    QVERIFY(child<QPushButton>("btnSave")->isEnabled());
    delete m_form;

    // The edited module's own address is no duplicate.
    open(1);
    QCOMPARE(child<QLineEdit>("edtIpAddr")->text(), SecondModule);
    QVERIFY(isShowing(":/images/question.png"));
    QCOMPARE(child<QLabel>("lblCheckStatus")->toolTip(), QStringLiteral("Не выполнена проверка связи с ЖН-Т"));
    QCOMPARE(child<QPushButton>("btnSave")->text(), QStringLiteral("Сохранить"));
}

void TestRelayModuleForm::probe_data()
{
    QTest::addColumn<int>("listen");          // 0 none, else the fake's device code
    QTest::addColumn<int>("addressRegister");
    QTest::addColumn<int>("input");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<int>("lineAddress");
    QTest::addColumn<bool>("expansion");
    QTest::addColumn<QString>("logged");      // the application log's line, if any

    const QString success = QStringLiteral("Проверка связи завершена успешно");
    QTest::newRow("found, expansion") << 2 << 0x0107 << 1 << true << success << 7 << true << QString();
    QTest::newRow("found, 16 relays") << 2 << 0x0021 << 0 << true << success << 33 << false << QString();
    // The spin box keeps its range.
    QTest::newRow("line address 0") << 2 << 0x0000 << 0 << true << success << 1 << false << QString();
    QTest::newRow("line address 250") << 2 << 0x00FA << 0 << true << success << 247 << false << QString();
    QTest::newRow("not found") << 0 << 0 << 0 << false
                               << QStringLiteral("Не удалось подключиться к ЖН-Т 127.0.0.5") << 42 << true
                               << QStringLiteral("Не удалось подключиться к ЖН-Т 127.0.0.5");
    QTest::newRow("wrong reply") << 16 << 0x0107 << 1 << false
                                 << QStringLiteral("Ответ устройства получен, но это не ЖН-Т") << 42 << true
                                 << QStringLiteral("Ответ устройства 127.0.0.5 получен, но это не ЖН-Т");
}

void TestRelayModuleForm::probe()
{
    QFETCH(int, listen);
    QFETCH(int, addressRegister);
    QFETCH(int, input);
    QFETCH(bool, ok);
    QFETCH(QString, toolTip);
    QFETCH(int, lineAddress);
    QFETCH(bool, expansion);
    QFETCH(QString, logged);

    const QString address = QStringLiteral("127.0.0.5");
    FakeRelayModule module;
    module.addressRegister = quint16(addressRegister);
    module.inputByte = quint8(input);
    module.deviceCode = quint16(listen);
    if (listen)
        QVERIFY(module.listen(address));

    open();
    child<QSpinBox>("edtLineAddr")->setValue(42);
    child<QCheckBox>("ckExpand")->setChecked(true);
    QTest::keyClicks(child<QLineEdit>("edtIpAddr"), address);
    QSignalSpy log(&m_config->client, &LantrelClient::writeToLog);
    QTest::mouseClick(child<QToolButton>("btnCheck"), Qt::LeftButton);

    QCOMPARE(log.count(), logged.isEmpty() ? 0 : 1);
    if (!logged.isEmpty())
        QCOMPARE(log.first().first().toString(), logged);

    QVERIFY(isShowing(ok ? ":/images/ok.png" : ":/images/delete.png"));
    QCOMPARE(child<QLabel>("lblCheckStatus")->toolTip(), toolTip);
    QCOMPARE(child<QSpinBox>("edtLineAddr")->value(), lineAddress);
    QCOMPARE(child<QCheckBox>("ckExpand")->isChecked(), expansion);
    QVERIFY(!appWaitCursorShown());
    QVERIFY(child<QToolButton>("btnCheck")->isEnabled());
    QVERIFY(child<QPushButton>("btnSave")->isEnabled());
}

void TestRelayModuleForm::closeDuringProbe()
{
    FakeRelayModule module;
    module.fault = FakeRelayModule::Silent;
    QVERIFY(module.listen(QStringLiteral("127.0.0.5")));
    open();
    QTest::keyClicks(child<QLineEdit>("edtIpAddr"), QStringLiteral("127.0.0.5"));
    bool cursorDuringCheck = false;
    QTimer::singleShot(300, m_form, [this, &cursorDuringCheck]() {
        cursorDuringCheck = appWaitCursorShown() && !child<QPushButton>("btnSave")->isEnabled()
                            && !child<QToolButton>("btnCheck")->isEnabled();
        m_form->close();
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(child<QToolButton>("btnCheck"), Qt::LeftButton);
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(cursorDuringCheck);
    QVERIFY(!appWaitCursorShown());
    QVERIFY(!m_form->isVisible());
    QVERIFY(isShowing(":/images/delete.png"));
    QCOMPARE(child<QLabel>("lblCheckStatus")->toolTip(), QStringLiteral("Нет связи с ЖН-Т"));
}

// The probe's own time limit ends a check no answer ends: logged as well.
void TestRelayModuleForm::hostThatNeverAnswers()
{
    const QString address = QStringLiteral("127.0.0.6");
    SilentHost host;
    QVERIFY2(host.listen(address), "no listening socket");
    open();
    QTest::keyClicks(child<QLineEdit>("edtIpAddr"), address);
    QSignalSpy log(&m_config->client, &LantrelClient::writeToLog);
    QTest::mouseClick(child<QToolButton>("btnCheck"), Qt::LeftButton);

    QVERIFY(isShowing(":/images/delete.png"));
    QCOMPARE(child<QLabel>("lblCheckStatus")->toolTip(), QStringLiteral("Нет связи с ЖН-Т"));
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.first().first().toString(),
             QStringLiteral("Нет связи с ЖН-Т 127.0.0.6: проверка связи не завершена за 5 с"));
}

void TestRelayModuleForm::saveNewModule_data()
{
    QTest::addColumn<bool>("expansion");
    QTest::newRow("16 relays") << false;
    QTest::newRow("expansion module") << true;
}

void TestRelayModuleForm::saveNewModule()
{
    QFETCH(bool, expansion);
    open();
    QSignalSpy stored(m_form.data(), &RelayModuleForm::dataChanged);
    QTest::keyClicks(child<QLineEdit>("edtIpAddr"), QStringLiteral("10.20.30.40"));
    child<QSpinBox>("edtLineAddr")->setValue(9);
    child<QCheckBox>("ckExpand")->setChecked(expansion);
    QTest::mouseClick(child<QPushButton>("btnSave"), Qt::LeftButton);

    QCOMPARE(stored.count(), 1);
    QCOMPARE(stored.first().first().value<ushort>(), ushort(2));
    QVERIFY(!m_form->isVisible());
    QCOMPARE(modules()->rowCount(), 3);
    const RelayModuleRecord r = modules()->moduleByIndex(2);
    QCOMPARE(r.ipAddress, QStringLiteral("10.20.30.40"));
    QCOMPARE(r.config.IPAddr, quint32(0x0A141E28));
    QCOMPARE(r.config.Reserved4, quint16(502));
    QCOMPARE(r.config.Reserved6, quint16(2));
    QCOMPARE(r.config.LineAddr, quint8(9));
    QCOMPARE(r.config.Reserved9, quint8(3));
    QCOMPARE(r.config.ExpMod, quint8(expansion ? 1 : 0));
    const int relays = expansion ? 32 : 16;
    for (int i = 0; i < 32; ++i) {
        QCOMPARE(int(r.config.Relays[i].RelayNum), i < relays ? i + 1 : 0);
        QCOMPARE(int(r.config.Relays[i].TSign), 0);
    }
}

void TestRelayModuleForm::clearExpansion_data()
{
    QTest::addColumn<bool>("upperInUse");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saved");

    QTest::newRow("relay 32 in use, yes") << true << int(QMessageBox::Yes) << true;
    QTest::newRow("relay 32 in use, no") << true << int(QMessageBox::No) << false;
    QTest::newRow("relays 17 to 32 unused") << false << int(QMessageBox::No) << true;
}

void TestRelayModuleForm::clearExpansion()
{
    QFETCH(bool, upperInUse);
    QFETCH(int, answer);
    QFETCH(bool, saved);

    if (!upperInUse) {
        for (int row = interactions()->rowCount() - 1; row >= 0; --row) {
            const InteractionRecord r = interactions()->interactionAt(row);
            if (r.executorType == EXT_RELY && r.executorNumber == 1 && r.relay > 16)
                interactions()->removeInteraction(row);
        }
    }
    QCOMPARE(upperRelayInteractions(1) > 0, upperInUse);
    const int before = interactions()->rowCount();
    const int upperBefore = upperRelayInteractions(1);
    m_boxes->setAnswer(QMessageBox::StandardButton(answer));

    open(0);
    QVERIFY(child<QCheckBox>("ckExpand")->isChecked());
    child<QCheckBox>("ckExpand")->setChecked(false);
    QTest::mouseClick(child<QPushButton>("btnSave"), Qt::LeftButton);

    QCOMPARE(m_boxes->asked.size(), upperInUse ? 1 : 0);
    if (upperInUse) {
        QCOMPARE(m_boxes->asked.first().icon, QMessageBox::Question);
        QVERIFY(m_boxes->asked.first().text.contains(QStringLiteral("17–32")));
    }
    const RelayModuleRecord r = modules()->moduleByIndex(0);
    QCOMPARE(m_form->isVisible(), !saved);
    QCOMPARE(r.config.ExpMod, quint8(saved ? 0 : 1));
    QCOMPARE(child<QCheckBox>("ckExpand")->isChecked(), !saved);
    QCOMPARE(upperRelayInteractions(1), saved ? 0 : upperBefore);
    QCOMPARE(interactions()->rowCount(), saved ? before - upperBefore : before);
    if (saved) {
        for (int i = 16; i < 32; ++i) {
            QCOMPARE(int(r.config.Relays[i].RelayNum), 0);
            QCOMPARE(int(r.config.Relays[i].TSign), 0);
        }
    }
    // The reference counters followed the deletions, so the table still
    // reads back as it is written.
    QCOMPARE(ConfigInvariants::checkConfigInvariants(m_config->client), QStringList());
}

void TestRelayModuleForm::newAddressReachesInteractions()
{
    open(1);
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("192.168.0.99"));
    QTest::mouseClick(child<QPushButton>("btnSave"), Qt::LeftButton);
    int shown = 0;
    for (int row = 0; row < interactions()->rowCount(); ++row) {
        const InteractionRecord r = interactions()->interactionAt(row);
        if (r.executorType == EXT_RELY && r.executorNumber == 2) {
            QCOMPARE(r.executorAddressText, QStringLiteral("192.168.0.99"));
            ++shown;
        }
    }
    QVERIFY(shown > 0);
}

void TestRelayModuleForm::tableReplacedWhileOpen_data()
{
    QTest::addColumn<int>("editIndex");       // -1 adding
    QTest::addColumn<int>("changedSlot");
    QTest::addColumn<QString>("newAddress");  // empty: slot emptied
    QTest::addColumn<QString>("warning");     // empty: saved

    QTest::newRow("module moved up a row") << 1 << 0 << QString() << QString();
    QTest::newRow("edited module replaced") << 1 << 1 << QStringLiteral("10.9.9.9")
                                            << QStringLiteral("ЖН-Т 192.168.0.61 отсутствует в конфигурации, изменения не сохранены");
    QTest::newRow("edited module removed") << 1 << 1 << QString()
                                           << QStringLiteral("ЖН-Т 192.168.0.61 отсутствует в конфигурации, изменения не сохранены");
    QTest::newRow("free slot taken") << -1 << 2 << QStringLiteral("10.9.9.9")
                                     << QStringLiteral("ЖН-Т №3 уже есть в конфигурации, модуль не добавлен");
}

void TestRelayModuleForm::tableReplacedWhileOpen()
{
    QFETCH(int, editIndex);
    QFETCH(int, changedSlot);
    QFETCH(QString, newAddress);
    QFETCH(QString, warning);

    open(editIndex);
    QLineEdit *edit = child<QLineEdit>("edtIpAddr");
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("10.1.1.1"));
    child<QSpinBox>("edtLineAddr")->setValue(77);

    LantrelProtocol::Konfig_Modul_t changed;
    changed.IPAddr = newAddress.isEmpty() ? 0 : ipv4FromText(newAddress);
    changed.LineAddr = 55;
    changed.Reserved9 = quint8(changedSlot + 1);
    m_config->fake.setRecord(17, changedSlot, changed);
    QVERIFY(m_config->read());
    const QList<RelayModuleRecord> readBack = {modules()->moduleByIndex(0), modules()->moduleByIndex(1),
                                              modules()->moduleByIndex(2)};

    QTest::mouseClick(child<QPushButton>("btnSave"), Qt::LeftButton);
    QVERIFY(!m_form->isVisible());
    if (warning.isEmpty()) {
        QVERIFY(m_boxes->asked.isEmpty());
        QCOMPARE(modules()->moduleByIndex(quint16(editIndex)).ipAddress, QStringLiteral("10.1.1.1"));
        QCOMPARE(modules()->moduleByIndex(quint16(editIndex)).config.LineAddr, quint8(77));
        return;
    }
    QCOMPARE(m_boxes->asked.size(), 1);
    QCOMPARE(m_boxes->asked.first().icon, QMessageBox::Warning);
    QCOMPARE(m_boxes->asked.first().text, warning);
    for (int index = 0; index < 3; ++index) {
        QCOMPARE(modules()->moduleByIndex(quint16(index)).ipAddress, readBack.at(index).ipAddress);
        QCOMPARE(modules()->moduleByIndex(quint16(index)).config.LineAddr, readBack.at(index).config.LineAddr);
    }
}

QTEST_MAIN(TestRelayModuleForm)
#include "tst_relaymoduleform.moc"
