// Relay modules page: what its buttons offer, adding through the editor,
// deleting with the question, and the hold times of the selected module,
// shown and edited in place also after modules were added or removed above
// it.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "configinvariants.h"
#include "configuredpagerig.h"
#include "ipv4text.h"
#include "relaymoduleform.h"
#include "relaymodulesconfigform.h"
#include "relaymodulesconfigmodel.h"

using LantrelProtocol::EXT_RELY;
using Actions = RelayModulesConfigForm::Actions;
using State = RelayModulesConfigForm::State;

Q_DECLARE_METATYPE(State)

class TestRelayModulesConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void actions_data();
    void actions();
    void buttonsFollowThePage();
    void addThroughEditor();
    void deleteModule_data();
    void deleteModule();
    void holdTimesOfSelectedModule_data();
    void holdTimesOfSelectedModule();

private:
    RelayModulesConfigModel *modules() const { return m_rig.config->client.relayModulesConfigModel(); }
    template <typename T> T *child(const char *name) const { return m_rig.template child<T>(name); }
    QTableView *list() const { return child<QTableView>("tableRelays"); }
    QTableView *detail() const { return child<QTableView>("tableDetail"); }
    QPushButton *button(const char *name) const { return m_rig.button(name); }
    void putModule(int slot, const QString &address, bool expansion);
    int shownIndex() const;
    QString detailText(int row, int column) const;

    QTemporaryDir m_dir;
    WindowTest::ConfiguredPageRig<RelayModulesConfigForm> m_rig;
};

void TestRelayModulesConfigForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestRelayModulesConfigForm::init()
{
    QVERIFY(m_rig.open(QSize(500, 600)));
}

void TestRelayModulesConfigForm::cleanup()
{
    m_rig.close();
}

// A module in the controller's table, with hold times that tell it apart.
void TestRelayModulesConfigForm::putModule(int slot, const QString &address, bool expansion)
{
    LantrelProtocol::Konfig_Modul_t r;
    r.IPAddr = address.isEmpty() ? 0 : ipv4FromText(address);
    r.LineAddr = quint8(20 + slot);
    r.Reserved9 = quint8(slot + 1);
    r.ExpMod = expansion ? 1 : 0;
    for (int k = 0; k < (expansion ? 32 : 16); ++k)
        r.Relays[k] = {quint8(k + 1), quint8(10 * slot + k % 10)};
    m_rig.config->fake.setRecord(17, slot, r);
}

int TestRelayModulesConfigForm::shownIndex() const
{
    const QModelIndex current = list()->currentIndex();
    return current.isValid() ? modules()->moduleAt(current.row()).configIndex : -1;
}

QString TestRelayModulesConfigForm::detailText(int row, int column) const
{
    return detail()->model()->index(row, column).data().toString();
}

void TestRelayModulesConfigForm::actions_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<bool>("add");
    QTest::addColumn<bool>("change");   // edit and delete

    QTest::newRow("empty list") << State{true, 0, false} << true << false;
    QTest::newRow("three, one selected") << State{true, 3, true} << true << true;
    QTest::newRow("four") << State{true, 4, true} << false << true;
    QTest::newRow("four, none selected") << State{true, 4, false} << false << false;
    QTest::newRow("task running") << State{false, 1, true} << false << false;
}

void TestRelayModulesConfigForm::actions()
{
    QFETCH(State, state);
    QFETCH(bool, add);
    QFETCH(bool, change);
    const Actions a = RelayModulesConfigForm::actionsFor(state);
    QCOMPARE(a.add, add);
    QCOMPARE(a.edit, change);
    QCOMPARE(a.remove, change);
}

void TestRelayModulesConfigForm::buttonsFollowThePage()
{
    // After the read the first module is selected.
    QCOMPARE(shownIndex(), 0);
    QVERIFY(button("btnAddModule")->isEnabled());
    QVERIFY(button("btnEditModule")->isEnabled());

    m_rig.page->disableFormActions(true);
    QVERIFY(!button("btnAddModule")->isEnabled());
    QVERIFY(!button("btnRemoveModule")->isEnabled());
    // Hold times stay editable while a task runs.
    QVERIFY(detail()->model()->flags(detail()->model()->index(0, 1)).testFlag(Qt::ItemIsEditable));
    QVERIFY(detail()->editTriggers() != QAbstractItemView::NoEditTriggers);
    m_rig.page->disableFormActions(false);
    QVERIFY(button("btnRemoveModule")->isEnabled());

    // A read that brings four modules leaves no room for a fifth.
    putModule(2, QStringLiteral("10.0.0.3"), false);
    putModule(3, QStringLiteral("10.0.0.4"), true);
    QVERIFY(m_rig.config->read());
    QCOMPARE(modules()->rowCount(), 4);
    QVERIFY(!button("btnAddModule")->isEnabled());
}

void TestRelayModulesConfigForm::addThroughEditor()
{
    QTest::mouseClick(button("btnAddModule"), Qt::LeftButton);
    auto *form = m_rig.page->findChild<RelayModuleForm *>();
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->windowModality(), Qt::ApplicationModal);
    QVERIFY(form->testAttribute(Qt::WA_DeleteOnClose));
    QTest::keyClicks(form->findChild<QLineEdit *>(QStringLiteral("edtIpAddr")), QStringLiteral("10.0.0.3"));
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("btnSave")), Qt::LeftButton);

    // The stored module becomes current and the detail table shows its relays.
    QCOMPARE(modules()->rowCount(), 3);
    QCOMPARE(shownIndex(), 2);
    QCOMPARE(detail()->model()->rowCount(), 16);
    QCOMPARE(detailText(15, 0), QStringLiteral("16"));
}

void TestRelayModulesConfigForm::deleteModule_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << int(QMessageBox::Yes);
    QTest::newRow("no") << int(QMessageBox::No);
}

void TestRelayModulesConfigForm::deleteModule()
{
    QFETCH(int, answer);
    const bool yes = answer == QMessageBox::Yes;
    m_rig.boxes->setAnswer(QMessageBox::StandardButton(answer));
    InteractionsConfigModel *interactions = m_rig.config->client.interactionsConfigModel();
    const int before = interactions->rowCount();
    int onFirst = 0;
    for (int row = 0; row < before; ++row) {
        const InteractionRecord r = interactions->interactionAt(row);
        onFirst += r.executorType == EXT_RELY && r.executorNumber == 1;
    }
    QVERIFY(onFirst > 0);

    list()->selectRow(0);
    QTest::mouseClick(button("btnRemoveModule"), Qt::LeftButton);
    QCOMPARE(m_rig.boxes->asked.size(), 1);
    QCOMPARE(m_rig.boxes->asked.first().text, QStringLiteral("Удалить ЖН-Т с адресом 192.168.0.60 из конфигурации?"));
    QCOMPARE(m_rig.boxes->asked.first().title, QStringLiteral("Настройка ЖН-Т"));
    QCOMPARE(modules()->rowCount(), yes ? 1 : 2);
    QCOMPARE(interactions->rowCount(), yes ? before - onFirst : before);
    QCOMPARE(ConfigInvariants::checkConfigInvariants(m_rig.config->client), QStringList());
    // The list's current module and the relays shown stay together.
    QCOMPARE(shownIndex(), yes ? 1 : 0);
    QCOMPARE(detail()->model()->rowCount(), yes ? 16 : 32);
    QVERIFY(button("btnAddModule")->isEnabled());
    QVERIFY(button("btnEditModule")->isEnabled());
}

void TestRelayModulesConfigForm::holdTimesOfSelectedModule_data()
{
    QTest::addColumn<QString>("change");

    QTest::newRow("nothing changed") << QString();
    QTest::newRow("module added above") << QStringLiteral("add");
    QTest::newRow("module removed above") << QStringLiteral("remove");
    QTest::newRow("expansion of another module dropped") << QStringLiteral("other");
}

void TestRelayModulesConfigForm::holdTimesOfSelectedModule()
{
    QFETCH(QString, change);

    // Slots 1 and 3 in use; slot 3 (an expansion module) is selected.
    putModule(0, QString(), false);
    putModule(1, QStringLiteral("10.0.0.2"), false);
    putModule(3, QStringLiteral("10.0.0.4"), true);
    QVERIFY(m_rig.config->read());
    list()->selectRow(1);
    QCOMPARE(shownIndex(), 3);

    if (change == QLatin1String("add")) {
        RelayModuleRecord added;
        added.configIndex = 0;
        added.ipAddress = QStringLiteral("10.0.0.1");
        added.config.IPAddr = ipv4FromText(added.ipAddress);
        modules()->setModule(added);
    } else if (change == QLatin1String("remove")) {
        modules()->removeModule(0);
    } else if (change == QLatin1String("other")) {
        RelayModuleRecord other = modules()->moduleByIndex(1);
        other.config.ExpMod = 1;
        modules()->setModule(other);
    }

    QCOMPARE(shownIndex(), 3);
    QCOMPARE(detail()->model()->rowCount(), 32);
    QCOMPARE(detailText(12, 1), QStringLiteral("32"));   // 10 * 3 + 12 % 10
    QVERIFY(button("btnEditModule")->isEnabled());

    // Relay 13 gets 5 intervals in place.
    const QModelIndex cell = detail()->model()->index(12, 1);
    detail()->setCurrentIndex(cell);
    detail()->edit(cell);
    auto *spin = detail()->viewport()->findChild<QSpinBox *>();
    QVERIFY(spin);
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("5"));
    QTest::keyClick(spin, Qt::Key_Return);
    QCoreApplication::processEvents();

    QCOMPARE(int(modules()->moduleByIndex(3).config.Relays[12].TSign), 5);
    QCOMPARE(detailText(12, 2), QStringLiteral("2,5"));
    if (change != QLatin1String("remove"))
        QCOMPARE(int(modules()->moduleByIndex(1).config.Relays[12].TSign), 10 + 2);

    // Edit opens the selected module.
    QTest::mouseClick(button("btnEditModule"), Qt::LeftButton);
    auto *form = m_rig.page->findChild<RelayModuleForm *>();
    QVERIFY(form);
    QCOMPARE(form->findChild<QLineEdit *>(QStringLiteral("edtIpAddr"))->text(), QStringLiteral("10.0.0.4"));
    form->close();
}

QTEST_MAIN(TestRelayModulesConfigForm)
#include "tst_relaymodulesconfigform.moc"
