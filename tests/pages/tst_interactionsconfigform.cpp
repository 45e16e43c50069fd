// Interactions page: what its buttons offer, deleting one or several rows
// whatever the sorting, editing the row the user sees, and a configuration
// made through the page and its editors that is written to the controller
// and read back unchanged.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "configinvariants.h"
#include "configuredpagerig.h"
#include "interactionform.h"
#include "interactionsconfigform.h"
#include "interactionsconfigmodel.h"
#include "relaymoduleform.h"
#include "relaymodulesconfigform.h"
#include "relaymodulesconfigmodel.h"
#include "spannedheaderview.h"

using Actions = InteractionsConfigForm::Actions;
using State = InteractionsConfigForm::State;

Q_DECLARE_METATYPE(State)

namespace {

QStringList rowsOf(const InteractionsConfigModel *model)
{
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row) {
        const InteractionRecord r = model->interactionAt(row);
        out << QStringLiteral("%1/%2/%3 %4/%5/%6 %7 %8")
                   .arg(r.sourceKind).arg(r.sourceAddress).arg(r.sourceLoop)
                   .arg(r.executorType).arg(r.executorNumber).arg(r.relay)
                   .arg(r.function).arg(r.functionText);
    }
    return out;
}

} // namespace

class TestInteractionsConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void actions_data();
    void actions();
    void buttonsFollowThePage();
    void deleteRows_data();
    void deleteRows();
    void editsTheRowShown();
    void writtenAndReadBack();

private:
    InteractionsConfigModel *model() const { return m_rig.config->client.interactionsConfigModel(); }
    template <typename T> T *child(const char *name) const { return m_rig.template child<T>(name); }
    QTableView *table() const { return child<QTableView>("tableView"); }
    QPushButton *button(const char *name) const { return m_rig.button(name); }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    QString shown(int row, int column) const { return table()->model()->index(row, column).data().toString(); }

    QTemporaryDir m_dir;
    WindowTest::ConfiguredPageRig<InteractionsConfigForm> m_rig;
};

void TestInteractionsConfigForm::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
}

void TestInteractionsConfigForm::init()
{
    QVERIFY(m_rig.open(QSize(700, 500)));
}

void TestInteractionsConfigForm::cleanup()
{
    m_rig.close();
}

void TestInteractionsConfigForm::clickRow(int row, Qt::KeyboardModifiers modifiers)
{
    const QRect cell = table()->visualRect(table()->model()->index(row, 1));
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, modifiers, cell.center());
}

void TestInteractionsConfigForm::actions_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<bool>("add");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("remove");

    QTest::newRow("empty table") << State{true, 0, 0} << true << false << false;
    QTest::newRow("one selected") << State{true, 10, 1} << true << true << true;
    QTest::newRow("several selected") << State{true, 10, 3} << true << false << true;
    QTest::newRow("3999 rows") << State{true, 3999, 1} << true << true << true;
    QTest::newRow("4000 rows") << State{true, 4000, 1} << false << true << true;
    QTest::newRow("task running") << State{false, 10, 1} << false << false << false;
}

void TestInteractionsConfigForm::actions()
{
    QFETCH(State, state);
    QFETCH(bool, add);
    QFETCH(bool, edit);
    QFETCH(bool, remove);
    const Actions a = InteractionsConfigForm::actionsFor(state);
    QCOMPARE(a.add, add);
    QCOMPARE(a.edit, edit);
    QCOMPARE(a.remove, remove);
}

void TestInteractionsConfigForm::buttonsFollowThePage()
{
    QVERIFY(qobject_cast<SpannedHeaderView *>(table()->horizontalHeader()));
    // After the read the first row is selected.
    QCOMPARE(table()->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table()->selectionModel()->selectedRows().first().row(), 0);
    QVERIFY(button("btnEditInteraction")->isEnabled());

    clickRow(2, Qt::ShiftModifier);
    QVERIFY(!button("btnEditInteraction")->isEnabled());
    QVERIFY(button("btnRemoveInteraction")->isEnabled());

    m_rig.page->disableFormActions(true);
    QVERIFY(!button("btnAddInteraction")->isEnabled());
    QVERIFY(!button("btnRemoveInteraction")->isEnabled());
    m_rig.page->disableFormActions(false);
    QVERIFY(button("btnAddInteraction")->isEnabled());

    // A table that fills up leaves no room, whoever fills it.
    InteractionRecord filler = model()->interactionAt(model()->rowCount() - 1);
    while (model()->rowCount() < InteractionsConfigModel::MaxInteractions)
        QVERIFY(model()->addInteraction(filler));
    QVERIFY(!button("btnAddInteraction")->isEnabled());
}

void TestInteractionsConfigForm::deleteRows_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QList<int>>("rows");   // in the table sorted by function, descending
    QTest::addColumn<QString>("question");

    const QString several = QStringLiteral("Удалить выбранные взаимодействия (3) из конфигурации?");
    QTest::newRow("one") << int(QMessageBox::Yes) << QList<int>{4}
                         << QStringLiteral("Удалить выбранное взаимодействие из конфигурации?");
    QTest::newRow("several") << int(QMessageBox::Yes) << QList<int>{0, 3, 7} << several;
    QTest::newRow("several, no") << int(QMessageBox::No) << QList<int>{0, 3, 7} << several;
}

void TestInteractionsConfigForm::deleteRows()
{
    QFETCH(int, answer);
    QFETCH(QList<int>, rows);
    QFETCH(QString, question);
    const bool yes = answer == QMessageBox::Yes;
    m_rig.boxes->setAnswer(QMessageBox::StandardButton(answer));

    table()->sortByColumn(7, Qt::DescendingOrder);
    QStringList expected = rowsOf(model());
    QStringList picked;
    clickRow(rows.first());
    for (const int row : rows) {
        if (row != rows.first())
            clickRow(row, Qt::ControlModifier);
        const int source = table()->model()->index(row, 0).data(Qt::UserRole).toInt();
        picked << expected.at(source);
    }
    for (const QString &p : qAsConst(picked))
        expected.removeOne(p);

    const QStringList before = rowsOf(model());
    QTest::mouseClick(button("btnRemoveInteraction"), Qt::LeftButton);
    QCOMPARE(m_rig.boxes->asked.size(), 1);
    QCOMPARE(m_rig.boxes->asked.first().text, question);
    QCOMPARE(m_rig.boxes->asked.first().title, QStringLiteral("Настройка взаимодействий"));
    QCOMPARE(rowsOf(model()), yes ? expected : before);
    QCOMPARE(ConfigInvariants::checkConfigInvariants(m_rig.config->client), QStringList());
    // Deleting can go on with the row that took their place.
    QCOMPARE(table()->selectionModel()->selectedRows().size(), yes ? 1 : rows.size());
    QVERIFY(button("btnRemoveInteraction")->isEnabled());
}

void TestInteractionsConfigForm::editsTheRowShown()
{
    table()->sortByColumn(2, Qt::DescendingOrder);
    clickRow(0);
    const QString address = shown(0, 2);
    const QString relay = shown(0, 6);
    QTest::mouseClick(button("btnEditInteraction"), Qt::LeftButton);
    auto *form = m_rig.page->findChild<InteractionForm *>();
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->windowModality(), Qt::ApplicationModal);
    QCOMPARE(form->findChild<QComboBox *>(QStringLiteral("cbSrcAddrFrom"))->currentText(), address);
    if (!relay.isEmpty())
        QCOMPARE(form->findChild<QComboBox *>(QStringLiteral("cbDestChild"))->currentText(), relay);
    form->close();
}

// A relay module added on its page, interactions on its relay 32 and a
// formula added here: written to the controller and read back unchanged.
void TestInteractionsConfigForm::writtenAndReadBack()
{
    RelayModulesConfigForm relayPage;
    relayPage.show();
    QTest::mouseClick(relayPage.findChild<QPushButton *>(QStringLiteral("btnAddModule")), Qt::LeftButton);
    auto *relayForm = relayPage.findChild<RelayModuleForm *>();
    QVERIFY(relayForm);
    QTest::keyClicks(relayForm->findChild<QLineEdit *>(QStringLiteral("edtIpAddr")), QStringLiteral("10.1.2.3"));
    relayForm->findChild<QCheckBox *>(QStringLiteral("ckExpand"))->setChecked(true);
    QTest::mouseClick(relayForm->findChild<QPushButton *>(QStringLiteral("btnSave")), Qt::LeftButton);
    RelayModulesConfigModel *relays = m_rig.config->client.relayModulesConfigModel();
    QCOMPARE(relays->rowCount(), 3);
    relays->setData(relays->index(2, RelayModulesConfigModel::FirstRelayColumn + 31), 7u);

    const auto addThroughPage = [this](const QString &from, const QString &to, int relay, int formula) {
        QTest::mouseClick(button("btnAddInteraction"), Qt::LeftButton);
        auto *form = m_rig.page->findChild<InteractionForm *>();
        QVERIFY(form);
        const auto choose = [form](const char *name, const QString &text) {
            auto *box = form->findChild<QComboBox *>(QLatin1String(name));
            box->setCurrentIndex(box->findText(text));
        };
        choose("cbSrcAddrFrom", from);
        choose("cbSrcAddrTo", to);
        choose("cbDestType", QStringLiteral("ЖН-Т"));
        choose("cbDestAddr", QStringLiteral("10.1.2.3"));
        choose("cbDestChild", QString::number(relay));
        choose("cbDestFunc", formula ? QStringLiteral("Работа по формуле") : QStringLiteral("Вкл. на время"));
        if (formula)
            form->findChild<QSpinBox *>(QStringLiteral("edtDestFormula"))->setValue(formula);
        QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("btnSave")), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    addThroughPage(QStringLiteral("3"), QStringLiteral("6"), 32, 0);
    addThroughPage(QStringLiteral("20"), QStringLiteral("20"), 17, 200);
    QVERIFY(m_rig.boxes->asked.isEmpty());
    QVERIFY(rowsOf(model()).contains(QStringLiteral("1/4/0 16/3/32 255 Вкл. на 3,5 с.")));
    QVERIFY(rowsOf(model()).contains(QStringLiteral("1/20/0 16/3/17 200 Формула №200")));
    QCOMPARE(ConfigInvariants::checkConfigInvariants(m_rig.config->client), QStringList());

    const QStringList made = rowsOf(model());
    QVERIFY(m_rig.config->write());
    // Relay 32 of module 3 goes out as one byte of its own.
    const LantrelProtocol::Konfig_Modul_t stored = m_rig.config->fake.relayModules().at(2);
    QCOMPARE(stored.ExpMod, quint8(1));
    QCOMPARE(stored.Relays[31].RelayNum, quint8(32));
    QCOMPARE(stored.Relays[31].TSign, quint8(7));
    bool relay32 = false;
    for (const LantrelProtocol::Control_Relay_t &c : m_rig.config->fake.interactions())
        relay32 = relay32 || (c.DeviceType == LantrelProtocol::EXT_RELY && c.DestRef == ((3 << 8) | 32));
    QVERIFY(relay32);

    QVERIFY(m_rig.config->read());
    QCOMPARE(rowsOf(model()), made);
    QCOMPARE(relays->moduleByIndex(2).ipAddress, QStringLiteral("10.1.2.3"));
}

QTEST_MAIN(TestInteractionsConfigForm)
#include "tst_interactionsconfigform.moc"
