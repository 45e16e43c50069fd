// Interaction editor: the lists it offers, the interactions a save creates
// (ranges of sensors, input loops, I/O relays and relay-module relays with
// each function, relay 32), the checks that refuse a save, the full table,
// and tables replaced while the window is open.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "appcontext.h"
#include "configinvariants.h"
#include "configuredclient.h"
#include "devicetables.h"
#include "interactionform.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "sensorsconfigmodel.h"

using LantrelProtocol::EXT_RELY;
using LantrelProtocol::SECT_MVV;

namespace {

// Generated configuration: sensors at 1 to 24 (every third from 2 with an
// infrared channel), I/O modules at 201 to 204 with hold times 3 to 6 s,
// relay module 192.168.0.60 (slot 0, expansion, relay k holds 1 + (k - 1) % 7
// half-seconds) and 192.168.0.61 (slot 1, 16 relays); controller time 5 s.
const QString ExpansionModule = QStringLiteral("192.168.0.60");
const QString SmallModule = QStringLiteral("192.168.0.61");

QString describe(const InteractionRecord &r)
{
    QString text = QStringLiteral("%1 %2").arg(r.sourceText).arg(r.sourceAddress);
    if (r.sourceKind == IoLoopSource)
        text += QStringLiteral("/%1").arg(r.sourceLoop);
    text += QStringLiteral(" -> %1 %2 #%3").arg(r.executorTypeText, r.executorAddressText).arg(r.executorNumber);
    if (r.executorType == EXT_RELY)
        text += QStringLiteral(" relay %1").arg(r.relay);
    return text + QStringLiteral(": %1 (%2)").arg(r.functionText).arg(r.function);
}

QStringList describeAll(const InteractionsConfigModel *model)
{
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
        out << describe(model->interactionAt(row));
    return out;
}

// What the user picks; an empty text leaves that list alone.
struct Input
{
    QString sourceType = QStringLiteral("ВТ-Л/ВС-Л");
    QString from;
    QString to;
    QString loop;
    QString executorType = QStringLiteral("ПС-Л");
    QString executor;
    QString relay;
    QString function = QStringLiteral("Вкл./откл. по команде");
    int formula = 0;
};

} // namespace

Q_DECLARE_METATYPE(Input)

class TestInteractionForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void executorLists();
    void sourceLists();
    void add_data();
    void add();
    void refused_data();
    void refused();
    void relayTimeDefault_data();
    void relayTimeDefault();
    void fullTable();
    void moduleGoneBeforeSave_data();
    void moduleGoneBeforeSave();
    void edit();
    void editAfterReread_data();
    void editAfterReread();
    void heldExecutorShown_data();
    void heldExecutorShown();

private:
    InteractionsConfigModel *interactions() const { return m_config->client.interactionsConfigModel(); }
    InteractionForm *open();
    template <typename T> T *child(const char *name) const { return m_form->findChild<T *>(QLatin1String(name)); }
    QComboBox *box(const char *name) const { return child<QComboBox>(name); }
    void choose(const char *name, const QString &text);
    void enter(const Input &input);
    void preset(const QStringList &descriptions);
    QPushButton *saveButton() const { return child<QPushButton>("btnSave"); }
    bool closed() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_form.isNull();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<WindowTest::ConfiguredClient> m_config;
    std::unique_ptr<WindowTest::MessageBoxRecorder> m_boxes;
    QPointer<InteractionForm> m_form;
};

void TestInteractionForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
    qRegisterMetaType<Input>();
}

void TestInteractionForm::init()
{
    m_config = std::make_unique<WindowTest::ConfiguredClient>();
    QVERIFY(m_config->start());
    // An empty table: every test starts from the interactions it makes.
    QVector<int> all(interactions()->rowCount());
    std::iota(all.begin(), all.end(), 0);
    interactions()->removeInteractions(all);
    QCOMPARE(ConfigInvariants::checkConfigInvariants(m_config->client), QStringList());
    m_boxes = std::make_unique<WindowTest::MessageBoxRecorder>();
}

void TestInteractionForm::cleanup()
{
    delete m_form;
    m_boxes.reset();
    m_config.reset();
}

InteractionForm *TestInteractionForm::open()
{
    m_form = new InteractionForm(nullptr, Qt::Dialog);
    m_form->setAttribute(Qt::WA_DeleteOnClose);
    m_form->show();
    return m_form;
}

void TestInteractionForm::choose(const char *name, const QString &text)
{
    if (text.isEmpty())
        return;
    const int index = box(name)->findText(text);
    QVERIFY2(index >= 0, qPrintable(QStringLiteral("%1 has no %2").arg(QLatin1String(name), text)));
    box(name)->setCurrentIndex(index);
}

void TestInteractionForm::enter(const Input &input)
{
    choose("cbSrcType", input.sourceType);
    choose("cbSrcAddrFrom", input.from);
    choose("cbSrcAddrTo", input.to);
    choose("cbSrcChild", input.loop);
    choose("cbDestType", input.executorType);
    choose("cbDestAddr", input.executor);
    choose("cbDestChild", input.relay);
    choose("cbDestFunc", input.function);
    if (input.formula)
        child<QSpinBox>("edtDestFormula")->setValue(input.formula);
}

// Interactions already in the table, added as the editor adds them.
void TestInteractionForm::preset(const QStringList &descriptions)
{
    for (const QString &d : descriptions) {
        const QStringList p = d.split(QLatin1Char(' '));   // "<from> <executor> [relay]"
        Input input;
        input.from = p.at(0);
        if (p.size() > 2) {
            input.executorType = QStringLiteral("ЖН-Т");
            input.relay = p.at(2);
        }
        input.executor = p.at(1);
        open();
        enter(input);
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QVERIFY(closed());
    }
}

void TestInteractionForm::executorLists()
{
    open();
    QCOMPARE(box("cbDestType")->currentText(), QStringLiteral("ПС-Л"));
    QCOMPARE(box("cbDestAddr")->count(), 4);
    QCOMPARE(box("cbDestAddr")->itemText(3), QStringLiteral("204"));
    QCOMPARE(box("cbDestFunc")->count(), 2);
    QVERIFY(box("cbDestChild")->isHidden());

    choose("cbDestType", QStringLiteral("ЖН-Т"));
    QCOMPARE(box("cbDestAddr")->itemText(0), ExpansionModule);
    QCOMPARE(box("cbDestAddr")->itemText(1), SmallModule);
    QVERIFY(!box("cbDestChild")->isHidden());
    QCOMPARE(box("cbDestChild")->count(), 32);
    QCOMPARE(box("cbDestFunc")->itemText(2), QStringLiteral("Работа по формуле"));
    QVERIFY(child<QSpinBox>("edtDestFormula")->isHidden());
    choose("cbDestFunc", QStringLiteral("Работа по формуле"));
    QVERIFY(!child<QSpinBox>("edtDestFormula")->isHidden());

    // A module without the expansion has relays 1 to 16 only.
    choose("cbDestChild", QStringLiteral("9"));
    choose("cbDestAddr", SmallModule);
    QCOMPARE(box("cbDestChild")->count(), 16);
    QCOMPARE(box("cbDestChild")->currentText(), QStringLiteral("9"));

    choose("cbDestType", QStringLiteral("ПС-Л"));
    QCOMPARE(box("cbDestFunc")->count(), 2);
    QVERIFY(child<QSpinBox>("edtDestFormula")->isHidden());
}

void TestInteractionForm::sourceLists()
{
    open();
    QCOMPARE(box("cbSrcAddrFrom")->count(), 24);
    QCOMPARE(box("cbSrcAddrTo")->count(), 24);
    QCOMPARE(child<QLabel>("lblAddrFrom")->text(), QStringLiteral("Адрес с:"));
    QVERIFY(box("cbSrcChild")->isHidden());
    // The range end follows a start moved past it.
    choose("cbSrcAddrFrom", QStringLiteral("7"));
    QCOMPARE(box("cbSrcAddrTo")->currentText(), QStringLiteral("7"));
    choose("cbSrcAddrTo", QStringLiteral("9"));
    choose("cbSrcAddrFrom", QStringLiteral("8"));
    QCOMPARE(box("cbSrcAddrTo")->currentText(), QStringLiteral("9"));

    choose("cbSrcType", QStringLiteral("ПС-Л"));
    QCOMPARE(box("cbSrcAddrFrom")->itemText(0), QStringLiteral("201"));
    QCOMPARE(box("cbSrcAddrFrom")->count(), 4);
    QVERIFY(box("cbSrcAddrTo")->isHidden());
    QVERIFY(!box("cbSrcChild")->isHidden());
    QCOMPARE(child<QLabel>("lblAddrFrom")->text(), QStringLiteral("Адрес:"));
}

void TestInteractionForm::add_data()
{
    QTest::addColumn<Input>("input");
    QTest::addColumn<QStringList>("created");

    Input range;
    range.from = QStringLiteral("3");
    range.to = QStringLiteral("5");
    range.executor = QStringLiteral("202");
    QTest::newRow("sensor range to an I/O relay")
        << range << QStringList{"ВТ-Л 3 -> ПС-Л 202 #2: Вкл./откл. по команде (0)",
                                "ВТ-Л 4 -> ПС-Л 202 #2: Вкл./откл. по команде (0)",
                                "ВС-Л 5 -> ПС-Л 202 #2: Вкл./откл. по команде (0)"};

    Input loop;
    loop.sourceType = QStringLiteral("ПС-Л");
    loop.from = QStringLiteral("203");
    loop.loop = QStringLiteral("2");
    loop.executor = QStringLiteral("201");
    loop.function = QStringLiteral("Вкл. на время");
    QTest::newRow("input loop to an I/O relay, timed") << loop << QStringList{"ПС-Л 203/2 -> ПС-Л 201 #1: Вкл. на 3 с. (255)"};

    Input relay32;
    relay32.from = QStringLiteral("7");
    relay32.executorType = QStringLiteral("ЖН-Т");
    relay32.executor = ExpansionModule;
    relay32.relay = QStringLiteral("32");
    relay32.function = QStringLiteral("Вкл. на время");
    QTest::newRow("relay 32, timed") << relay32
                                     << QStringList{"ВТ-Л 7 -> ЖН-Т 192.168.0.60 #1 relay 32: Вкл. на 2 с. (255)"};

    Input odd = relay32;
    odd.relay = QStringLiteral("5");
    QTest::newRow("half-second time") << odd
                                      << QStringList{"ВТ-Л 7 -> ЖН-Т 192.168.0.60 #1 relay 5: Вкл. на 2,5 с. (255)"};

    Input formula;
    formula.from = QStringLiteral("8");
    formula.to = QStringLiteral("9");
    formula.executorType = QStringLiteral("ЖН-Т");
    formula.executor = SmallModule;
    formula.relay = QStringLiteral("16");
    formula.function = QStringLiteral("Работа по формуле");
    formula.formula = 17;
    QTest::newRow("formula on the last relay of a small module")
        << formula << QStringList{"ВС-Л 8 -> ЖН-Т 192.168.0.61 #2 relay 16: Формула №17 (17)",
                                  "ВТ-Л 9 -> ЖН-Т 192.168.0.61 #2 relay 16: Формула №17 (17)"};

    Input command = formula;
    command.function = QStringLiteral("Вкл./откл. по команде");
    command.to = QStringLiteral("8");
    QTest::newRow("relay by command") << command
                                      << QStringList{"ВС-Л 8 -> ЖН-Т 192.168.0.61 #2 relay 16: Вкл./откл. по команде (0)"};
}

void TestInteractionForm::add()
{
    QFETCH(Input, input);
    QFETCH(QStringList, created);

    open();
    QSignalSpy added(m_form.data(), &InteractionForm::dataChanged);
    enter(input);
    QVERIFY(saveButton()->isEnabled());
    QCOMPARE(saveButton()->text(), QStringLiteral("Добавить"));
    QTest::mouseClick(saveButton(), Qt::LeftButton);

    QVERIFY(closed());
    QCOMPARE(added.count(), 1);
    QVERIFY(m_boxes->asked.isEmpty());
    QCOMPARE(describeAll(interactions()), created);
    QVERIFY(!readHexSetting(QStringLiteral("InteractionForm/Geometry")).isEmpty());
    // Each source's reference counter went up with its interactions.
    QCOMPARE(ConfigInvariants::checkConfigInvariants(m_config->client), QStringList());
}

void TestInteractionForm::refused_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<Input>("input");

    Input one;
    one.from = QStringLiteral("4");
    one.executor = QStringLiteral("202");
    QTest::newRow("duplicate") << QStringList{"4 202"} << one;

    Input otherFunction = one;
    otherFunction.function = QStringLiteral("Вкл. на время");
    QTest::newRow("duplicate with another function") << QStringList{"4 202"} << otherFunction;

    Input range = one;
    range.from = QStringLiteral("2");
    range.to = QStringLiteral("6");
    QTest::newRow("one duplicate inside a range") << QStringList{"4 202"} << range;

    Input relay;
    relay.from = QStringLiteral("4");
    relay.executorType = QStringLiteral("ЖН-Т");
    relay.executor = ExpansionModule;
    relay.relay = QStringLiteral("32");
    QTest::newRow("duplicate on relay 32") << QStringList{"4 192.168.0.60 32"} << relay;

    Input backwards = one;
    backwards.from = QStringLiteral("6");
    backwards.to = QStringLiteral("5");
    QTest::newRow("range end below its start") << QStringList() << backwards;
}

void TestInteractionForm::refused()
{
    QFETCH(QStringList, existing);
    QFETCH(Input, input);
    preset(existing);
    const QStringList before = describeAll(interactions());

    open();
    enter(input);
    QVERIFY(!saveButton()->isEnabled());
    // A different relay or executor is fine again.
    choose("cbDestAddr", input.executorType == QStringLiteral("ЖН-Т") ? SmallModule : QStringLiteral("203"));
    QCOMPARE(saveButton()->isEnabled(), !input.to.isEmpty() ? input.to.toInt() >= input.from.toInt() : true);
    QCOMPARE(describeAll(interactions()), before);
}

void TestInteractionForm::relayTimeDefault_data()
{
    QTest::addColumn<Input>("input");
    QTest::addColumn<int>("controllerTime");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("functionText");

    Input io;
    io.from = QStringLiteral("3");
    io.executor = QStringLiteral("204");
    io.function = QStringLiteral("Вкл. на время");
    QTest::newRow("I/O relay: the controller's seconds") << io << 5 << 5 << "Вкл. на 5 с.";
    QTest::newRow("I/O relay, long time") << io << 200 << 200 << "Вкл. на 200 с.";

    Input relay = io;
    relay.executorType = QStringLiteral("ЖН-Т");
    relay.executor = ExpansionModule;
    relay.relay = QStringLiteral("32");
    QTest::newRow("relay module: twice as many half-seconds") << relay << 5 << 10 << "Вкл. на 5 с.";
    // 400 half-seconds do not fit in the relay's byte: the longest time it holds.
    QTest::newRow("relay module, long time") << relay << 200 << 255 << "Вкл. на 127,5 с.";
}

void TestInteractionForm::relayTimeDefault()
{
    QFETCH(Input, input);
    QFETCH(int, controllerTime);
    QFETCH(int, stored);
    QFETCH(QString, functionText);

    LantrelProtocol::Konfig_Device_t controller = m_config->fake.controllerConfig();
    controller.TSign = quint8(controllerTime);
    m_config->fake.setControllerConfig(controller);
    QVERIFY(m_config->read());
    IoModulesConfigModel *io = m_config->client.ioModulesConfigModel();
    RelayModulesConfigModel *relays = m_config->client.relayModulesConfigModel();
    io->setData(io->index(3, IoModulesConfigModel::RelayTimeColumn), 0u);
    relays->setData(relays->index(0, RelayModulesConfigModel::FirstRelayColumn + 31), 0u);
    const int before = interactions()->rowCount();

    open();
    enter(input);
    QTest::mouseClick(saveButton(), Qt::LeftButton);
    QCOMPARE(interactions()->rowCount(), before + 1);
    bool found = false;
    for (int row = 0; row < interactions()->rowCount(); ++row) {
        const InteractionRecord r = interactions()->interactionAt(row);
        found = found || (r.sourceAddress == 3 && r.functionText == functionText);
    }
    QVERIFY(found);
    if (input.executorType == QStringLiteral("ЖН-Т"))
        QCOMPARE(int(relays->moduleByIndex(0).config.Relays[31].TSign), stored);
    else
        QCOMPARE(int(io->moduleAt(3).relayTime), stored);
}

void TestInteractionForm::fullTable()
{
    // 3998 rows of another kind of source, then a range of three sensors.
    InteractionRecord filler;
    filler.sourceKind = IoLoopSource;
    filler.sourceAddress = 201;
    filler.sourceLoop = 1;
    filler.executorType = SECT_MVV;
    filler.executorNumber = 2;
    for (int k = 0; k < InteractionsConfigModel::MaxInteractions - 2; ++k)
        QVERIFY(interactions()->addInteraction(filler));

    open();
    QSignalSpy added(m_form.data(), &InteractionForm::dataChanged);
    Input range;
    range.from = QStringLiteral("10");
    range.to = QStringLiteral("12");
    range.executor = QStringLiteral("202");
    enter(range);
    QTest::mouseClick(saveButton(), Qt::LeftButton);

    QCOMPARE(interactions()->rowCount(), InteractionsConfigModel::MaxInteractions);
    QCOMPARE(m_boxes->asked.size(), 1);
    QCOMPARE(m_boxes->asked.first().icon, QMessageBox::Warning);
    QCOMPARE(m_boxes->asked.first().text, QStringLiteral("Ошибка добавления взаимодействия для источника с адресом 12"));
    QCOMPARE(added.count(), 1);
    QVERIFY(!closed() && m_form->isVisible());
    QCOMPARE(m_config->client.sensorsConfigModel()->moduleAt(9).refCount, quint8(1));
    QCOMPARE(m_config->client.sensorsConfigModel()->moduleAt(10).refCount, quint8(1));
    QCOMPARE(m_config->client.sensorsConfigModel()->moduleAt(11).refCount, quint8(0));
}

void TestInteractionForm::moduleGoneBeforeSave_data()
{
    QTest::addColumn<Input>("input");
    QTest::addColumn<int>("gone");   // 0 the last sensor, 1 the I/O executor, 2 relay module, 3 its expansion
    QTest::addColumn<QString>("warning");

    Input sensors;
    sensors.from = QStringLiteral("22");
    sensors.to = QStringLiteral("24");
    sensors.executor = QStringLiteral("201");
    QTest::newRow("sensor of the range") << sensors << 0
                                         << "ВТ-Л/ВС-Л с адресом 24 отсутствует в конфигурации, взаимодействие не сохранено";
    Input io = sensors;
    io.from = io.to = QStringLiteral("3");
    io.executor = QStringLiteral("204");
    QTest::newRow("I/O executor") << io << 1 << "ПС-Л с адресом 204 отсутствует в конфигурации, взаимодействие не сохранено";
    Input relay = io;
    relay.executorType = QStringLiteral("ЖН-Т");
    relay.executor = SmallModule;
    relay.relay = QStringLiteral("2");
    QTest::newRow("relay module") << relay << 2 << "ЖН-Т 192.168.0.61 отсутствует в конфигурации, взаимодействие не сохранено";
    Input upper = relay;
    upper.executor = ExpansionModule;
    upper.relay = QStringLiteral("20");
    QTest::newRow("relay 20 after the expansion went")
        << upper << 3 << "Реле 20 ЖН-Т 192.168.0.60 отсутствует в конфигурации, взаимодействие не сохранено";
}

void TestInteractionForm::moduleGoneBeforeSave()
{
    QFETCH(Input, input);
    QFETCH(int, gone);
    QFETCH(QString, warning);

    open();
    enter(input);
    QVERIFY(saveButton()->isEnabled());

    LantrelClient &client = m_config->client;
    RelayModulesConfigModel *relays = client.relayModulesConfigModel();
    if (gone == 0) {
        client.deleteModule(LantrelProtocol::SECT_ACC, 23, 24);
    } else if (gone == 1) {
        client.deleteModule(SECT_MVV, 3, 204);
    } else if (gone == 2) {
        relays->removeModule(1);
    } else {
        RelayModuleRecord r = relays->moduleByIndex(0);
        r.config.ExpMod = 0;
        relays->setModule(r);
    }
    const QStringList before = describeAll(interactions());

    QTest::mouseClick(saveButton(), Qt::LeftButton);
    QCOMPARE(m_boxes->asked.size(), 1);
    QCOMPARE(m_boxes->asked.first().text, warning);
    QVERIFY(closed());
    QCOMPARE(describeAll(interactions()), before);
    QCOMPARE(ConfigInvariants::checkConfigInvariants(client), QStringList());
}

void TestInteractionForm::edit()
{
    preset({QStringLiteral("4 202"), QStringLiteral("6 192.168.0.60 32"), QStringLiteral("6 192.168.0.60 31")});
    const int row = 1;
    QCOMPARE(describe(interactions()->interactionAt(row)),
             QStringLiteral("ВТ-Л 6 -> ЖН-Т 192.168.0.60 #1 relay 32: Вкл./откл. по команде (0)"));

    open();
    m_form->loadInteraction(ushort(row), interactions()->interactionAt(row));
    QCOMPARE(saveButton()->text(), QStringLiteral("Сохранить"));
    QVERIFY(!box("cbSrcType")->isEnabled());
    QVERIFY(!box("cbSrcAddrFrom")->isEnabled());
    QCOMPARE(box("cbSrcAddrFrom")->currentText(), QStringLiteral("6"));
    QCOMPARE(box("cbDestAddr")->currentText(), ExpansionModule);
    QCOMPARE(box("cbDestChild")->currentText(), QStringLiteral("32"));
    // Its own executor is no duplicate; another interaction's is.
    QVERIFY(saveButton()->isEnabled());
    choose("cbDestChild", QStringLiteral("31"));
    QVERIFY(!saveButton()->isEnabled());
    choose("cbDestChild", QStringLiteral("30"));
    choose("cbDestFunc", QStringLiteral("Работа по формуле"));
    child<QSpinBox>("edtDestFormula")->setValue(254);
    QSignalSpy added(m_form.data(), &InteractionForm::dataChanged);
    QTest::mouseClick(saveButton(), Qt::LeftButton);

    QVERIFY(closed());
    QCOMPARE(added.count(), 0);
    QCOMPARE(describeAll(interactions()),
             (QStringList{"ВТ-Л 4 -> ПС-Л 202 #2: Вкл./откл. по команде (0)",
                          "ВТ-Л 6 -> ЖН-Т 192.168.0.60 #1 relay 30: Формула №254 (254)",
                          "ВТ-Л 6 -> ЖН-Т 192.168.0.60 #1 relay 31: Вкл./откл. по команде (0)"}));
    QCOMPARE(ConfigInvariants::checkConfigInvariants(m_config->client), QStringList());
}

void TestInteractionForm::heldExecutorShown_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("relay");
    QTest::addColumn<int>("function");
    QTest::addColumn<QStringList>("shown"); // type, address, relay (or empty), function
    QTest::addColumn<QString>("marked");    // type, address, relay, function: x marked

    const QString io = deviceTypeNames.value(SECT_MVV);
    const QString rm = deviceTypeNames.value(EXT_RELY);
    QTest::newRow("input/output module 99") << int(SECT_MVV) << 99 << 0 << 0
                                            << QStringList{io, "99 (вне диапазона)", "", "Вкл./откл. по команде"}
                                            << "-x--";
    QTest::newRow("input/output module with formula 4")
        << int(SECT_MVV) << 1 << 0 << 4 << QStringList{io, "201", "", "4 (вне диапазона)"} << "---x";
    QTest::newRow("relay 40") << int(EXT_RELY) << 1 << 40 << 255
                              << QStringList{rm, ExpansionModule, "40 (вне диапазона)", "Вкл. на время"} << "--x-";
    QTest::newRow("relay module 4, not in the table")
        << int(EXT_RELY) << 4 << 1 << 0 << QStringList{rm, "4 (вне диапазона)", "1", "Вкл./откл. по команде"} << "-x--";
    QTest::newRow("executor type 7") << 7 << 0x1234 << 0 << 9
                                     << QStringList{"7 (вне диапазона)", "4660 (вне диапазона)", "", "9 (вне диапазона)"}
                                     << "xx-x";
}

// An interaction whose executor the tables have no place for opens with it
// shown as held and marked in every box, not as another value or empty.
void TestInteractionForm::heldExecutorShown()
{
    QFETCH(int, type);
    QFETCH(int, number);
    QFETCH(int, relay);
    QFETCH(int, function);
    QFETCH(QStringList, shown);
    QFETCH(QString, marked);

    InteractionRecord r;
    r.sourceKind = SensorModuleSource;
    r.sourceAddress = m_config->client.sensorsConfigModel()->moduleAt(0).lineAddress;
    r.executorType = quint8(type);
    r.executorNumber = quint16(number);
    r.relay = quint8(relay);
    r.function = quint8(function);
    open();
    m_form->loadInteraction(0, r);

    const char *const boxes[] = {"cbDestType", "cbDestAddr", "cbDestChild", "cbDestFunc"};
    QStringList texts;
    QString marks;
    for (const char *name : boxes) {
        QComboBox *b = box(name);
        texts << (b->isVisibleTo(m_form) ? b->currentText() : QString());
        marks += b->palette().color(QPalette::Text) == QColor(Qt::red) ? 'x' : '-';
    }
    QCOMPARE(texts, shown);
    QCOMPARE(marks, marked);
}

void TestInteractionForm::editAfterReread_data()
{
    QTest::addColumn<int>("removedRow");
    QTest::addColumn<QStringList>("after");   // empty: the edited one is gone

    QTest::newRow("moved up a row") << 0
                                    << QStringList{"ВТ-Л 6 -> ЖН-Т 192.168.0.60 #1 relay 7: Вкл./откл. по команде (0)",
                                                   "ВТ-Л 9 -> ПС-Л 203 #3: Вкл./откл. по команде (0)"};
    QTest::newRow("gone") << 1 << QStringList();
}

void TestInteractionForm::editAfterReread()
{
    QFETCH(int, removedRow);
    QFETCH(QStringList, after);

    preset({QStringLiteral("4 202"), QStringLiteral("6 192.168.0.60 32"), QStringLiteral("9 203")});
    open();
    m_form->loadInteraction(1, interactions()->interactionAt(1));
    choose("cbDestChild", QStringLiteral("7"));

    // Another row goes and the table is read again from the controller.
    interactions()->removeInteraction(removedRow);
    QVERIFY(m_config->write());
    QVERIFY(m_config->read());
    const QStringList reread = describeAll(interactions());
    QCOMPARE(reread.size(), 2);

    QTest::mouseClick(saveButton(), Qt::LeftButton);
    QVERIFY(closed());
    if (after.isEmpty()) {
        QCOMPARE(m_boxes->asked.size(), 1);
        QCOMPARE(m_boxes->asked.first().text, QStringLiteral("Взаимодействие отсутствует в конфигурации, изменения не сохранены"));
        QCOMPARE(describeAll(interactions()), reread);
    } else {
        QVERIFY(m_boxes->asked.isEmpty());
        QCOMPARE(describeAll(interactions()), after);
    }
}

QTEST_MAIN(TestInteractionForm)
#include "tst_interactionform.moc"
