// The item delegates of the configuration tables, driven through a table
// view as a user does: painting of the check box, its toggling, the
// dictionary's texts and list, the scaled spin box and its three ways of
// committing; and edits that the model refuses.

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include "checkboxdelegate.h"
#include "dictionarydelegate.h"
#include "fixedvaluesspindelegate.h"
#include "pagetestsupport.h"

namespace {

// Stores integers within [minimum, maximum] only, as the configuration
// models do with their fields; counts what it accepted.
class StrictModel : public QStandardItemModel
{
public:
    StrictModel(int minimum, int maximum)
        : QStandardItemModel(1, 2)
        , m_minimum(minimum)
        , m_maximum(maximum)
    {
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (role != Qt::EditRole || !ok || number < m_minimum || number > m_maximum
            || value.userType() == QMetaType::QString)
            return false;
        ++writes;
        return QStandardItemModel::setData(index, number, role);
    }

    int writes = 0;

private:
    int m_minimum;
    int m_maximum;
};

// A shown, focused table of one row whose column 0 has the delegate under test.
struct Table
{
    Table(QAbstractItemDelegate *delegate, QVariant stored, int minimum = -100000, int maximum = 100000)
        : model(minimum, maximum)
    {
        model.setItem(0, 0, new QStandardItem);
        model.item(0, 0)->setData(stored, Qt::EditRole);
        model.setItem(0, 1, new QStandardItem(QStringLiteral("x")));
        delegate->setParent(&view);
        view.setItemDelegateForColumn(0, delegate);
        view.setModel(&model);
        view.resize(400, 200);
        view.show();
        QApplication::setActiveWindow(&view);
        view.setFocus();
    }

    QModelIndex cell() const { return model.index(0, 0); }
    QString shownText()
    {
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.locale = QLocale();
        auto *delegate = static_cast<QStyledItemDelegate *>(view.itemDelegateForColumn(0));
        const QVariant value = cell().data(Qt::DisplayRole);
        return value.isNull() ? QString() : delegate->displayText(value, QLocale());
    }
    template <typename Editor>
    Editor *openEditor()
    {
        view.setCurrentIndex(cell());
        view.edit(cell());
        return view.viewport()->findChild<Editor *>();
    }
    QPoint cellCentre() const { return view.visualRect(cell()).center(); }

    QTableView view;
    StrictModel model;
};

enum Commit { ByEnter, ByTab, ByClickElsewhere };

void commit(Table &t, QWidget *editor, Commit how)
{
    switch (how) {
    case ByEnter:
        QTest::keyClick(editor, Qt::Key_Return);
        break;
    case ByTab:
        QTest::keyClick(editor, Qt::Key_Tab);
        break;
    case ByClickElsewhere:
        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {},
                          t.view.visualRect(t.model.index(0, 1)).center());
        break;
    }
    QCoreApplication::processEvents();
}

} // namespace

Q_DECLARE_METATYPE(Commit)

class TestDelegates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void spinShownAndWritten_data();
    void spinShownAndWritten();
    void spinUnchangedValueIsNotWritten();

    void dictionaryText_data();
    void dictionaryText();
    void outOfRangeShownAndKept_data();
    void outOfRangeShownAndKept();
    void dictionaryPickStoresAndCloses();
    void dictionaryMinimumWidth();

    void checkBoxToggles_data();
    void checkBoxToggles();
    void checkBoxPaintsIndicatorOnly();

    void refusedEditLeavesModelAndCell_data();
    void refusedEditLeavesModelAndCell();
};

void TestDelegates::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TestDelegates::spinShownAndWritten_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("multiplier");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");      // empty: commit what the editor opened with
    QTest::addColumn<Commit>("how");
    QTest::addColumn<int>("written");

    const QString nbsp(QChar(0xA0));
    // The infrared threshold: stored in units of 10 mV, edited in millivolts.
    QTest::newRow("x10 enter") << 10 << 1650 << 10 << 10 << 17 << "170" << "1234" << ByEnter << 124;
    QTest::newRow("x10 tab") << 10 << 1650 << 10 << 10 << 17 << "170" << "1234" << ByTab << 124;
    QTest::newRow("x10 click elsewhere") << 10 << 1650 << 10 << 10 << 17 << "170" << "1234" << ByClickElsewhere
                                         << 124;
    QTest::newRow("x10 snaps to the top") << 10 << 1650 << 10 << 10 << 17 << "170" << "1645" << ByTab << 165;
    // Plain spin boxes edit the stored value directly.
    QTest::newRow("x1 tab") << 0 << 255 << 1 << 1 << 4 << "4" << "37" << ByTab << 37;
    QTest::newRow("x1 click elsewhere") << 1 << 8000 << 1 << 1 << 500 << "500" << "7999" << ByClickElsewhere
                                        << 7999;
    QTest::newRow("x1 grouped") << 1 << 8000 << 1 << 1 << 5000 << QString("5" + nbsp + "000") << "12" << ByEnter
                                << 12;
    QTest::newRow("x1 negative") << -99 << 99 << 1 << 1 << 2 << "2" << "-3" << ByTab << -3;
}

void TestDelegates::spinShownAndWritten()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, step);
    QFETCH(int, multiplier);
    QFETCH(int, stored);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(Commit, how);
    QFETCH(int, written);

    Table t(new FixedValuesSpinDelegate(minimum, maximum, step, multiplier), stored);
    QCOMPARE(t.shownText(), shown);

    auto *spin = t.openEditor<QSpinBox>();
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
    QCOMPARE(spin->singleStep(), step);
    if (!typed.isEmpty()) {
        spin->selectAll();
        QTest::keyClicks(spin, typed);
    }
    commit(t, spin, how);

    QCOMPARE(t.cell().data(Qt::EditRole).toInt(), written);
    QVERIFY(!t.view.viewport()->findChild<QSpinBox *>() || !t.view.isPersistentEditorOpen(t.cell()));
}

void TestDelegates::spinUnchangedValueIsNotWritten()
{
    Table t(new FixedValuesSpinDelegate(10, 1650, 10, 10), 17);
    auto *spin = t.openEditor<QSpinBox>();
    QVERIFY(spin);
    QCOMPARE(spin->value(), 170);
    commit(t, spin, ByTab);
    QCOMPARE(t.model.writes, 0);
}

void TestDelegates::dictionaryText_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("currentRow"); // of the list when it opens

    QTest::newRow("known code") << QVariant(2) << "неисправность" << 2;
    QTest::newRow("unsigned code") << QVariant(3u) << "технологический" << 3;
    QTest::newRow("not a number") << QVariant(QStringLiteral("abc")) << "abc" << -1;
}

void TestDelegates::dictionaryText()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    QFETCH(int, currentRow);

    Table t(new DictionaryDelegate({{0, QStringLiteral("отключено")},
                                    {1, QStringLiteral("тревога")},
                                    {2, QStringLiteral("неисправность")},
                                    {3, QStringLiteral("технологический")}}),
            stored);
    QCOMPARE(t.shownText(), shown);
    auto *combo = t.openEditor<QComboBox>();
    QVERIFY(combo);
    QCOMPARE(combo->count(), 4);
    QCOMPARE(combo->itemData(3).toInt(), 3);
    QCOMPARE(combo->currentIndex(), currentRow);
    QCOMPARE(t.model.writes, 0);
}

// A stored value that the editor has no place for is shown as it is,
// marked, and written back unchanged until the user picks another one.
void TestDelegates::outOfRangeShownAndKept_data()
{
    QTest::addColumn<bool>("dictionary"); // or a spin box of 10..1650 mV in units of 10 mV
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("action"); // enter, tab, elsewhere, up, down, type <text>, pick <row>
    QTest::addColumn<int>("written");

    const QString mark = QStringLiteral(" (вне диапазона)");
    QTest::newRow("spin above, enter") << false << 200 << "2000" + mark << "enter" << 200;
    QTest::newRow("spin above, tab") << false << 200 << "2000" + mark << "tab" << 200;
    QTest::newRow("spin below, click elsewhere") << false << 0 << "0" + mark << "elsewhere" << 0;
    // Either arrow goes to the nearest value the editor holds.
    QTest::newRow("spin above, step up") << false << 255 << "2550" + mark << "up" << 165;
    QTest::newRow("spin above, step down") << false << 255 << "2550" + mark << "down" << 165;
    QTest::newRow("spin below, step down") << false << 0 << "0" + mark << "down" << 1;
    QTest::newRow("spin below, step up") << false << 0 << "0" + mark << "up" << 1;
    QTest::newRow("spin above, typed") << false << 200 << "2000" + mark << "type 250" << 25;
    QTest::newRow("list, enter") << true << 5 << "5" + mark << "enter" << 5;
    QTest::newRow("list, click elsewhere") << true << 17 << "17" + mark << "elsewhere" << 17;
    QTest::newRow("list, pick another") << true << 4 << "4" + mark << "pick 1" << 1;
}

void TestDelegates::outOfRangeShownAndKept()
{
    QFETCH(bool, dictionary);
    QFETCH(int, stored);
    QFETCH(QString, shown);
    QFETCH(QString, action);
    QFETCH(int, written);

    QAbstractItemDelegate *delegate = nullptr;
    if (dictionary)
        delegate = new DictionaryDelegate({{0, QStringLiteral("Откл.")}, {1, QStringLiteral("1")},
                                           {2, QStringLiteral("2")}, {3, QStringLiteral("3")}});
    else
        delegate = new FixedValuesSpinDelegate(10, 1650, 10, 10);
    Table t(delegate, stored, 0, 255);
    QCOMPARE(t.shownText(), shown);

    QWidget *editor = nullptr;
    if (dictionary) {
        auto *combo = t.openEditor<QComboBox>();
        QVERIFY(combo);
        QCOMPARE(combo->count(), 5);
        QCOMPARE(combo->currentText(), shown);
        QCOMPARE(combo->palette().color(QPalette::ButtonText), QColor(Qt::red));
        editor = combo;
    } else {
        auto *spin = t.openEditor<QSpinBox>();
        QVERIFY(spin);
        QCOMPARE(spin->text(), shown);
        QCOMPARE(spin->palette().color(QPalette::Text), QColor(Qt::red));
        editor = spin;
    }

    if (action == QLatin1String("enter"))
        commit(t, editor, ByEnter);
    else if (action == QLatin1String("tab"))
        commit(t, editor, ByTab);
    else if (action == QLatin1String("elsewhere"))
        commit(t, editor, ByClickElsewhere);
    else if (action == QLatin1String("up") || action == QLatin1String("down")) {
        QTest::keyClick(editor, action == QLatin1String("up") ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(static_cast<QSpinBox *>(editor)->palette().color(QPalette::Text), t.view.palette().color(QPalette::Text));
        commit(t, editor, ByEnter);
    } else if (action.startsWith(QLatin1String("type "))) {
        static_cast<QSpinBox *>(editor)->selectAll();
        QTest::keyClicks(editor, action.mid(5));
        commit(t, editor, ByEnter);
    } else if (action.startsWith(QLatin1String("pick "))) {
        static_cast<QComboBox *>(editor)->setCurrentIndex(action.mid(5).toInt());
        QCoreApplication::processEvents();
    }

    QCOMPARE(t.cell().data(Qt::EditRole).toInt(), written);
    QCOMPARE(t.model.writes, written == stored ? 0 : 1);
}

void TestDelegates::dictionaryPickStoresAndCloses()
{
    Table t(new DictionaryDelegate({{0, QStringLiteral("нормально разомкнутое")},
                                    {1, QStringLiteral("нормально замкнутое")}}),
            0u);
    QPointer<QComboBox> combo = t.openEditor<QComboBox>();
    QVERIFY(combo);
    QCOMPARE(combo->currentIndex(), 0);
    combo->setCurrentIndex(1);
    QCoreApplication::processEvents();
    QCOMPARE(t.cell().data(Qt::EditRole).toInt(), 1);
    QCOMPARE(t.shownText(), QStringLiteral("нормально замкнутое"));
    QTRY_VERIFY(combo.isNull());

    // Closed with the stored entry still current: nothing is written.
    combo = t.openEditor<QComboBox>();
    QVERIFY(combo);
    commit(t, combo, ByTab);
    QCOMPARE(t.model.writes, 1);
}

void TestDelegates::dictionaryMinimumWidth()
{
    const QString longest = QStringLiteral("нормально разомкнутое");
    DictionaryDelegate withTexts({{0, QStringLiteral("a")}, {1, longest}});
    DictionaryDelegate noTexts({{0, QString()}, {1, QString()}});

    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), 0);
    QStyleOptionViewItem option;
    const int textWidth = QStyleOptionViewItem().fontMetrics.horizontalAdvance(longest);
    QVERIFY(withTexts.sizeHint(option, model.index(0, 0)).width() >= textWidth + 35);
    // Without texts the standard hint of an empty text stands.
    struct EmptyText : QStyledItemDelegate
    {
        QString displayText(const QVariant &, const QLocale &) const override { return QString(); }
    };
    QCOMPARE(noTexts.sizeHint(option, model.index(0, 0)), EmptyText().sizeHint(option, model.index(0, 0)));
}

void TestDelegates::checkBoxToggles_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<bool>("toggled");

    QTest::newRow("left click on the indicator") << "click" << true << true;
    QTest::newRow("left click beside it") << "click-corner" << true << false;
    QTest::newRow("right click on it") << "right-click" << true << false;
    // Only the first click of the two toggles; the double click itself changes nothing.
    QTest::newRow("double click on it") << "double-click" << true << true;
    QTest::newRow("space") << "space" << true << true;
    QTest::newRow("select") << "select" << true << true;
    QTest::newRow("other key") << "x" << true << false;
    QTest::newRow("click, read-only cell") << "click" << false << false;
    QTest::newRow("space, read-only cell") << "space" << false << false;
}

void TestDelegates::checkBoxToggles()
{
    QFETCH(QString, action);
    QFETCH(bool, editable);
    QFETCH(bool, toggled);

    Table t(new CheckBoxDelegate, 0u, 0, 1);
    if (!editable)
        t.model.item(0, 0)->setEditable(false);
    t.view.setCurrentIndex(t.cell());
    const QRect cell = t.view.visualRect(t.cell());

    if (action == "click")
        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, cell.center());
    else if (action == "click-corner")
        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(1, 1));
    else if (action == "right-click")
        QTest::mouseClick(t.view.viewport(), Qt::RightButton, {}, cell.center());
    else if (action == "double-click")
        PageTest::doubleClick(t.view.viewport(), cell.center());
    else if (action == "space")
        QTest::keyClick(&t.view, Qt::Key_Space);
    else if (action == "select") {
        // QTest has no character for Select; the key reaches the view as from a keyboard.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Select, Qt::NoModifier);
        QApplication::sendEvent(&t.view, &press);
    }
    else
        QTest::keyClick(&t.view, Qt::Key_X);

    QCOMPARE(t.cell().data(Qt::EditRole).toInt(), toggled ? 1 : 0);
    // No editor is ever opened in a check-box cell.
    QVERIFY(!t.view.viewport()->findChild<QLineEdit *>());

    if (toggled) {
        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(t.cell().data(Qt::EditRole).toInt(), 0);
    }
}

void TestDelegates::checkBoxPaintsIndicatorOnly()
{
    // A check-box cell shows no text, and a null cell is painted as any other.
    CheckBoxDelegate delegate;
    QCOMPARE(delegate.displayText(QVariant(1), QLocale()), QString());

    Table empty(new CheckBoxDelegate, QVariant(), 0, 1);
    Table plain(new QStyledItemDelegate, QVariant(), 0, 1);
    Table on(new CheckBoxDelegate, 1u, 0, 1);
    Table off(new CheckBoxDelegate, 0u, 0, 1);
    for (Table *t : {&on, &off, &empty, &plain})
        t->view.clearSelection();
    const QRect rect = on.view.visualRect(on.cell());
    const QImage imageOn = on.view.viewport()->grab(rect).toImage();
    const QImage imageOff = off.view.viewport()->grab(rect).toImage();
    const QImage imageEmpty = empty.view.viewport()->grab(rect).toImage();
    QVERIFY(imageOn != imageOff);
    // Columns of the middle line that are not background: the indicator,
    // centred; an empty cell draws nothing there.
    const auto drawn = [](const QImage &image) {
        const int y = image.height() / 2;
        QVector<int> columns;
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != image.pixelColor(0, y))
                columns.append(x);
        }
        return columns;
    };
    const QVector<int> marks = drawn(imageOff);
    QVERIFY(!marks.isEmpty());
    QVERIFY(qAbs((marks.first() + marks.last()) / 2 - imageOff.width() / 2) <= 1);
    QVERIFY(marks.last() - marks.first() < imageOff.width() / 2);
    QCOMPARE(imageEmpty, plain.view.viewport()->grab(rect).toImage());
}

void TestDelegates::refusedEditLeavesModelAndCell_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("spin box out of the model's range") << "spin";
    QTest::newRow("dictionary code the model refuses") << "dictionary";
    QTest::newRow("check box the model refuses") << "check";
}

void TestDelegates::refusedEditLeavesModelAndCell()
{
    QFETCH(QString, kind);

    // The model takes 0 to `maximum` only; each edit below asks for more.
    QAbstractItemDelegate *delegate = nullptr;
    QVariant stored = 2;
    int maximum = 2;
    if (kind == "spin") {
        delegate = new FixedValuesSpinDelegate(0, 50, 1, 1);
    } else if (kind == "dictionary") {
        delegate = new DictionaryDelegate({{2, QStringLiteral("два")}, {9, QStringLiteral("девять")}});
    } else {
        delegate = new CheckBoxDelegate;
        stored = 0;
        maximum = 0;
    }
    Table t(delegate, stored, 0, maximum);
    QSignalSpy changed(&t.model, &QAbstractItemModel::dataChanged);
    const QString before = t.shownText();

    if (kind == "spin") {
        auto *spin = t.openEditor<QSpinBox>();
        QVERIFY(spin);
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("40"));
        commit(t, spin, ByClickElsewhere);
    } else if (kind == "dictionary") {
        auto *combo = t.openEditor<QComboBox>();
        QVERIFY(combo);
        combo->setCurrentIndex(1);
    } else {
        t.view.setCurrentIndex(t.cell());
        QTest::keyClick(&t.view, Qt::Key_Space);
    }
    QCoreApplication::processEvents();

    QCOMPARE(t.model.writes, 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(t.cell().data(Qt::EditRole), stored);
    QCOMPARE(t.shownText(), before);
    QCOMPARE(t.model.index(0, 1).data().toString(), QStringLiteral("x"));
}

QTEST_MAIN(TestDelegates)
#include "tst_delegates.moc"
