// The sample history: the model's ring of samples, the address filter, the
// delegate's bars (painted into an image), the tab's recording rules and
// its CSV export, also when the file cannot be written.

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

#include "appglobals.h"
#include "samplescsv.h"
#include "sampleshistorydelegate.h"
#include "sensorsampleshistorymodel.h"
#include "sensorsampleshistoryviewer.h"
#include "viewstestsupport.h"
#include "windowtestsupport.h"

using namespace ViewsTest;

Q_DECLARE_METATYPE(QVector<SensorHistory>)

namespace {
const quint32 Normal = 0x100;
const quint32 Alarm = 0x400;

SensorSampleList samplesOf(std::initializer_list<quint16> values, quint32 flags = Normal)
{
    SensorSampleList list;
    for (quint16 v : values)
        list.append(SensorSample {flags, v});
    return list;
}

QVector<quint16> addressesOf(const QAbstractItemModel &model)
{
    QVector<quint16> v;
    for (int row = 0; row < model.rowCount(); ++row)
        v.append(quint16(model.index(row, 0).data().toUInt()));
    return v;
}

QVector<quint16> valuesOf(const SensorSampleList &list)
{
    QVector<quint16> v;
    for (const SensorSample &s : list)
        v.append(s.value);
    return v;
}

QByteArray cp1251(const char *latin)
{
    return QByteArray(latin);
}

// Files larger than `bytes` cannot be written while it lives, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};
} // namespace

class TestSamplesHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void modelKeepsTheLastHundred();
    void modelRowsInAddressOrder();
    void modelClearing();
    void modelCells();
    void filterRanges_data();
    void filterRanges();

    void delegateBars_data();
    void delegateBars();
    void delegateSkipsUnknownStates();
    void delegateLabelsAndSelection();
    void delegateLabelsFitBesideTheAxis();
    void delegateNarrowCell();

    void historyButtonRules();
    void recording();
    void recordingRules();
    void historyAfterReread_data();
    void historyAfterReread();
    void limits();

    void csvBytes_data();
    void csvBytes();
    void exportWritesTheFile();
    void exportSuffix_data();
    void exportSuffix();
    void exportFailures_data();
    void exportFailures();

private:
    LantrelClient &client() { return m_env->client; }
    // A tab with these rows recorded and stopped, ready to export.
    std::unique_ptr<SensorSamplesHistoryViewer> recordedTab();
    SensorSamplesHistoryModel *historyOf(SensorSamplesHistoryViewer &tab);
    // The row painted in a cell of `size` at `origin` of an image that
    // leaves `origin` free to the left and above.
    QImage paintRow(const SensorSampleList &samples, quint16 limit, QSize size = QSize(1045, 100),
                    bool selected = false, const QFont &font = QFont(), QPoint origin = QPoint());

    QTemporaryDir m_dir;
    std::unique_ptr<WindowTest::PublishedClient> m_env;
    QPalette m_palette;
    // Narrow enough for "8200" beside the axis.
    QFont m_smallFont;
};

void TestSamplesHistory::initTestCase()
{
    ClientTest::setUpQuietEnvironment(m_dir, this);
    m_palette.setColor(QPalette::WindowText, Qt::black);
    m_palette.setColor(QPalette::Highlight, QColor(0, 0, 128));
    m_palette.setColor(QPalette::HighlightedText, Qt::white);
    m_smallFont.setPixelSize(10);
}

void TestSamplesHistory::init()
{
    appSettings->remove(QString());
    m_env = std::make_unique<WindowTest::PublishedClient>();
}

void TestSamplesHistory::cleanup()
{
    m_env.reset();
    UiSeams::setSaveFileHandler({});
}

// ---------------------------------------------------------------------------
// Model and filter

void TestSamplesHistory::modelKeepsTheLastHundred()
{
    SensorSamplesHistoryModel model;
    QAbstractItemModelTester tester(&model);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    for (int i = 1; i <= 101; ++i)
        model.addSample(8, SensorSample {Normal, quint16(i)});
    const SensorSampleList samples = model.history().first().samples;
    QCOMPARE(samples.size(), 100);
    QCOMPARE(samples.first().value, quint16(101));
    QCOMPARE(samples.last().value, quint16(2));
    // Each later sample changes only the row's chart cell.
    QCOMPARE(changed.count(), 100);
    QCOMPARE(changed.last().at(0).toModelIndex(), model.index(0, 1));
    QCOMPARE(changed.last().at(1).toModelIndex(), model.index(0, 1));
}

void TestSamplesHistory::modelRowsInAddressOrder()
{
    SensorSamplesHistoryModel model;
    QAbstractItemModelTester tester(&model);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (quint16 address : {7, 3, 5, 7, 500, 1})
        model.addSample(address, SensorSample {Normal, address});
    QCOMPARE(addressesOf(model), (QVector<quint16> {1, 3, 5, 7, 500}));
    QCOMPARE(inserted.count(), 5);
    QCOMPARE(inserted.at(2).at(1).toInt(), 1); // 5 went between 3 and 7
    QCOMPARE(valuesOf(model.history().at(3).samples), (QVector<quint16> {7, 7}));
}

void TestSamplesHistory::modelClearing()
{
    SensorSamplesHistoryModel model;
    QAbstractItemModelTester tester(&model);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.clear();
    model.clearSamples();
    QCOMPARE(removed.count(), 0);
    QCOMPARE(changed.count(), 0);

    model.addSample(4, SensorSample {Normal, 1});
    model.addSample(9, SensorSample {Normal, 2});
    model.clearSamples();
    QCOMPARE(model.rowCount(), 2);
    QVERIFY(model.history().at(0).samples.isEmpty() && model.history().at(1).samples.isEmpty());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(1, 1));

    model.clear();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(removed.count(), 1);
}

void TestSamplesHistory::modelCells()
{
    SensorSamplesHistoryModel model;
    model.addSample(12, SensorSample {Alarm, 300});
    model.addSample(12, SensorSample {Normal, 400});
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.index(0, 0).data(), QVariant(12));
    QCOMPARE(model.index(0, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    // The chart cell carries the samples themselves, newest first.
    const QVariant cell = model.index(0, 1).data();
    QCOMPARE(cell.userType(), qMetaTypeId<SensorSampleList>());
    const SensorSampleList samples = cell.value<SensorSampleList>();
    QCOMPARE(valuesOf(samples), (QVector<quint16> {400, 300}));
    QCOMPARE(samples.at(1).flags, Alarm);
    QVERIFY(!model.index(0, 1).data(Qt::EditRole).isValid());
    QVERIFY(!model.index(1, 0).data().isValid());
    QCOMPARE(model.headerData(0, Qt::Horizontal), QVariant(QStringLiteral("Адрес")));
    QCOMPARE(model.headerData(1, Qt::Horizontal), QVariant(QStringLiteral("Данные от датчика")));
    QCOMPARE(model.headerData(0, Qt::Vertical), QVariant(12));
    QVERIFY(!model.headerData(1, Qt::Vertical).isValid());
}

void TestSamplesHistory::filterRanges_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QVector<quint16>>("shown");
    const QVector<quint16> all {1, 9, 10, 15, 20, 21, 500, 600};
    QTest::newRow("everything") << 1 << 500 << all;
    QTest::newRow("10 to 20") << 10 << 20 << QVector<quint16> {10, 15, 20};
    QTest::newRow("swapped limits") << 20 << 10 << QVector<quint16> {10, 15, 20};
    QTest::newRow("one address") << 15 << 15 << QVector<quint16> {15};
    QTest::newRow("nothing there") << 300 << 400 << QVector<quint16> {};
    QTest::newRow("up to 500 from 2") << 2 << 500 << QVector<quint16> {9, 10, 15, 20, 21, 500};
}

void TestSamplesHistory::filterRanges()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QVector<quint16>, shown);
    SensorSamplesHistoryModel model;
    SensorHistoryFilterModel filter;
    filter.setSourceModel(&model);
    for (quint16 address : {600, 21, 20, 15, 10, 9, 1, 500})
        model.addSample(address, SensorSample {Normal, 1});
    filter.setRange(quint16(min), quint16(max));
    QCOMPARE(addressesOf(filter), shown);
    // New rows follow the range; the reset shows every row again.
    model.addSample(16, SensorSample {Normal, 1});
    QCOMPARE(addressesOf(filter).contains(16), qMin(min, max) <= 16 && 16 <= qMax(min, max));
    filter.setRange(1, 500);
    QCOMPARE(filter.rowCount(), 9);
}

// ---------------------------------------------------------------------------
// Delegate

QImage TestSamplesHistory::paintRow(const SensorSampleList &samples, quint16 limit, QSize size, bool selected,
                                    const QFont &font, QPoint origin)
{
    SensorSamplesHistoryModel model;
    for (auto it = samples.crbegin(); it != samples.crend(); ++it)
        model.addSample(5, *it);
    SamplesHistoryDelegate delegate;
    delegate.setValueLimit(limit);
    QImage image(size + QSize(origin.x(), origin.y()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QStyleOptionViewItem option;
    option.rect = QRect(origin, size);
    option.palette = m_palette;
    option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    QPainter painter(&image);
    painter.setFont(font == QFont() ? m_smallFont : font);
    delegate.paint(&painter, option, model.index(0, 1));
    return image;
}

void TestSamplesHistory::delegateBars_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("value");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<double>("top");

    // Plot area of a 1045 x 100 cell: x 40 to 1039, y 10 to 89; the top of a
    // bar is 89 - value * 79 / limit, cut at y 11.
    QTest::newRow("at the limit") << 8200 << 8200 << uint(Normal) << "lightgreen" << 10.0;
    QTest::newRow("half the limit, alarm") << 8200 << 4100 << uint(Alarm) << "red" << 49.5;
    QTest::newRow("a quarter at limit 1000, disarmed")
        << 1000 << 250 << uint(0x40 | Normal) << "blue" << 69.25;
    QTest::newRow("fault before alarm") << 1000 << 800 << uint(0x20 | Alarm) << "orange" << 25.8;
    QTest::newRow("above the limit is cut") << 100 << 1000 << uint(Normal) << "lightgreen" << 10.0;
}

void TestSamplesHistory::delegateBars()
{
    QFETCH(int, limit);
    QFETCH(int, value);
    QFETCH(uint, flags);
    QFETCH(QString, colour);
    QFETCH(double, top);

    // The newest sample stands in the first slot, the second in the next (9.99 px on).
    const SensorSampleList samples {SensorSample {flags, quint16(value)}, SensorSample {flags, quint16(value)}};
    const QImage image = paintRow(samples, quint16(limit));
    const QRgb fill = QColor(colour).rgb();
    for (int x : {44, 54}) {
        QCOMPARE(image.pixel(x, 87), fill);
        QCOMPARE(image.pixel(x, qMax(12, int(top) + 2)), fill);
        QCOMPARE(image.pixel(x, qMax(8, int(top) - 3)), QColor(Qt::white).rgb());
    }
    // After the second: nothing.
    QCOMPARE(image.pixel(64, 80), QColor(Qt::white).rgb());
}

void TestSamplesHistory::delegateSkipsUnknownStates()
{
    // No state, no link, switched off, excluded, other parameters: empty slots.
    SensorSampleList samples;
    for (quint32 flags : {0u, 0x02u | Normal, 0x04u | Normal, 0x08u | Normal, 0x10u | Normal, Normal})
        samples.append(SensorSample {flags, 8200});
    const QImage image = paintRow(samples, 8200);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(image.pixel(44 + qRound(i * 9.99), 60), QColor(Qt::white).rgb());
    QCOMPARE(image.pixel(44 + qRound(5 * 9.99), 60), QColor("lightgreen").rgb());
}

void TestSamplesHistory::delegateLabelsAndSelection()
{
    // The labels on the left: 2050, 4100, 6150 and 8200 at their lines, none at the bottom.
    const QImage image = paintRow({}, 8200);
    QImage expected(35, 100, QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        p.setPen(Qt::black);
        p.setFont(m_smallFont);
        const QStringList labels {QStringLiteral("2050"), QStringLiteral("4100"), QStringLiteral("6150"),
                                  QStringLiteral("8200")};
        for (int i = 1; i <= 4; ++i) {
            const double y = 89 - i * 79 / 4.0;
            p.drawText(QRect(0, int(y - 10), 35, 20), Qt::AlignRight | Qt::AlignVCenter, labels.at(i - 1));
        }
    }
    QCOMPARE(image.copy(0, 0, 35, 100), expected);
    // Axis and ticks in the text colour.
    QCOMPARE(image.pixel(40, 50), QColor(Qt::black).rgb());
    QCOMPARE(image.pixel(37, 89), QColor(Qt::black).rgb());

    // A selected row: highlight behind, grid and outlines in the highlighted-text colour.
    const QImage selected = paintRow(samplesOf({4100}), 8200, QSize(1045, 100), true);
    QCOMPARE(selected.pixel(20, 95), m_palette.color(QPalette::Highlight).rgb());
    QCOMPARE(selected.pixel(40, 50), QColor(Qt::white).rgb());
    QCOMPARE(selected.pixel(44, 70), QColor("lightgreen").rgb());
}

void TestSamplesHistory::delegateLabelsFitBesideTheAxis()
{
    // With a font too large for the margin, "8200" is not cut to "200" at
    // the edge of its place: the whole label stands inside, its first
    // column stays blank.
    QFont large;
    large.setPixelSize(24);
    const QImage image = paintRow({}, 8200, QSize(1045, 100), false, large, QPoint(60, 0));
    const QRect place(60, 0, 35, 20);
    QVector<bool> inked;
    for (int x = place.left(); x <= place.right(); ++x) {
        bool ink = false;
        for (int y = place.top(); y <= place.bottom() && !ink; ++y)
            ink = image.pixelColor(x, y) != QColor(Qt::white);
        inked.append(ink);
    }
    QVERIFY(!inked.first());
    QVERIFY(inked.count(true) > place.width() / 2);
}

void TestSamplesHistory::delegateNarrowCell()
{
    // Slots under 2 px still show each sample, one pixel wide.
    const QImage image = paintRow(samplesOf({8200, 8200}), 8200, QSize(200, 100));
    QVERIFY(image.pixel(40 + 1, 60) != QColor(Qt::white).rgb());
    QCOMPARE(image.pixelColor(160, 60), QColor(Qt::white));
}

// ---------------------------------------------------------------------------
// The tab

void TestSamplesHistory::historyButtonRules()
{
    for (int bits = 0; bits < 16; ++bits) {
        const bool connected = bits & 1, lineOn = bits & 2, running = bits & 4, rows = bits & 8;
        const HistoryButtons b = historyButtons(connected, lineOn, running, rows);
        QCOMPARE(b.start, connected && lineOn && !running);
        QCOMPARE(b.stop, running);
        QCOMPARE(b.exportHistory, !running && rows);
    }
}

SensorSamplesHistoryModel *TestSamplesHistory::historyOf(SensorSamplesHistoryViewer &tab)
{
    auto *view = tab.findChild<QTableView *>(QStringLiteral("tableView"));
    auto *filter = qobject_cast<QSortFilterProxyModel *>(view->model());
    return qobject_cast<SensorSamplesHistoryModel *>(filter->sourceModel());
}

void TestSamplesHistory::recording()
{
    SensorSamplesHistoryViewer tab;
    SensorSamplesHistoryModel *history = historyOf(tab);
    setSensorRows(client(), {9, 2, 0, 5});
    setSensorAlarm(client(), 2, true);
    setSensorAlarm(client(), 9, false);

    // Nothing is kept until the recording starts.
    emit client().sensorSamples(0, {1, 2});
    QCOMPARE(history->rowCount(), 0);
    tab.startTask();
    // Value k belongs to row k's sensor; the empty row ends the batch.
    emit client().sensorSamples(0, {90, 20, 77, 50});
    emit client().sensorSamples(1, {21});
    QCOMPARE(addressesOf(*history), (QVector<quint16> {2, 9}));
    QCOMPARE(valuesOf(history->history().at(0).samples), (QVector<quint16> {21, 20}));
    QCOMPARE(history->history().at(0).samples.first().flags & Alarm, Alarm);
    QCOMPARE(history->history().at(1).samples.first().flags, Normal);

    // The table view shows a row per address, 100 px high.
    auto *view = tab.findChild<QTableView *>(QStringLiteral("tableView"));
    QCOMPARE(view->verticalHeader()->sectionSize(0), 100);
    QCOMPARE(view->model()->headerData(1, Qt::Vertical), QVariant(9));

    // A read of the same modules keeps the history; a new start keeps the
    // rows and drops their samples; other modules drop the rows.
    tab.stopTask();
    emit client().datasetChanged();
    QCOMPARE(valuesOf(history->history().at(0).samples), (QVector<quint16> {21, 20}));
    tab.startTask();
    QCOMPARE(history->rowCount(), 2);
    QVERIFY(history->history().at(0).samples.isEmpty());
    setSensorRows(client(), {9, 2, 6});
    emit client().datasetChanged();
    QCOMPARE(history->rowCount(), 0);
}

void TestSamplesHistory::recordingRules()
{
    SensorSamplesHistoryViewer tab;
    auto *start = tab.findChild<QPushButton *>(QStringLiteral("btnStartSampling"));
    auto *stop = tab.findChild<QPushButton *>(QStringLiteral("btnStopSampling"));
    auto *exportButton = tab.findChild<QPushButton *>(QStringLiteral("btnExport"));
    QVERIFY(!start->isEnabled() && !stop->isEnabled() && !exportButton->isEnabled());
    pretendOnline(client());
    QVERIFY(start->isEnabled() && !exportButton->isEnabled());

    setSensorRows(client(), {3});
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(!start->isEnabled() && stop->isEnabled());
    emit client().sensorSamples(0, {7});
    QVERIFY(!exportButton->isEnabled());

    // A lost link keeps recording; it can still be stopped.
    emit client().deviceDisconnected();
    QVERIFY(!start->isEnabled() && stop->isEnabled());
    emit client().sensorSamples(0, {8});
    QCOMPARE(historyOf(tab)->history().first().samples.size(), 2);
    emit client().deviceConnected(ClientConnection());

    // The line going off stops it and offers the export.
    emit client().lineStatusChanged(lineStatus(LantrelProtocol::LN_OFF));
    QVERIFY(!start->isEnabled() && !stop->isEnabled() && exportButton->isEnabled());
    emit client().sensorSamples(0, {9});
    QCOMPARE(historyOf(tab)->history().first().samples.size(), 2);
    emit client().datasetChanged();
    QVERIFY(exportButton->isEnabled());
    setSensorRows(client(), {4});
    emit client().datasetChanged();
    QVERIFY(!exportButton->isEnabled());
}

// A re-read of the same sensors keeps the history; other modules clear it,
// and a read that left sensor records out tells nothing either way.
void TestSamplesHistory::historyAfterReread_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("kept");
    QTest::newRow("same sensors") << "none" << true;
    QTest::newRow("sensor table read fails") << "failed read" << true;
    QTest::newRow("another module at the same address") << "serial" << false;
}

void TestSamplesHistory::historyAfterReread()
{
    QFETCH(QString, change);
    QFETCH(bool, kept);
    QVERIFY(ClientTest::connectToFake(*m_env));
    QSignalSpy dataset(&client(), &LantrelClient::datasetChanged);
    client().readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    QVERIFY(client().datasetComplete());

    SensorSamplesHistoryViewer tab;
    auto *start = tab.findChild<QPushButton *>(QStringLiteral("btnStartSampling"));
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 10000);
    QTest::mouseClick(start, Qt::LeftButton);
    emit client().sensorSamples(0, {7});
    QVERIFY(!historyOf(tab)->history().isEmpty());

    if (change == QLatin1String("failed read")) {
        FakeInjection refuse = FakeInjection::exception(2, 20);
        refuse.file = 10;
        refuse.record = 0;
        m_env->fake.addInjection(refuse);
    } else if (change == QLatin1String("serial")) {
        LantrelProtocol::Konfig_Section_t first = m_env->fake.sensors().at(0);
        first.SerialNo += 1;
        m_env->fake.setRecord(10, 0, first);
    }
    dataset.clear();
    client().readConfiguration();
    QVERIFY(dataset.wait(ClientTest::LongWaitMs));
    QCOMPARE(client().datasetComplete(), change != QLatin1String("failed read"));
    QCOMPARE(!historyOf(tab)->history().isEmpty(), kept);
}

void TestSamplesHistory::limits()
{
    appSettings->setValue("SensorsHistoryViewer/MinAddr", 50);
    appSettings->setValue("SensorsHistoryViewer/MaxAcc", 3000);
    SensorSamplesHistoryViewer tab;
    auto *view = tab.findChild<QTableView *>(QStringLiteral("tableView"));
    auto *addrMin = tab.findChild<QSpinBox *>(QStringLiteral("edtAddrMin"));
    auto *addrMax = tab.findChild<QSpinBox *>(QStringLiteral("edtAddrMax"));
    QCOMPARE(addrMin->value(), 50);
    QCOMPARE(tab.findChild<QSpinBox *>(QStringLiteral("edtValueMax"))->value(), 3000);

    setSensorRows(client(), {10, 100, 200, 300, 400});
    tab.startTask();
    emit client().sensorSamples(0, {1, 2, 3, 4, 5});
    QCOMPARE(addressesOf(*view->model()), (QVector<quint16> {100, 200, 300, 400}));

    // Limits in the wrong order are applied in order; the spin boxes keep theirs.
    addrMin->setValue(300);
    addrMax->setValue(100);
    QTest::mouseClick(tab.findChild<QPushButton *>(QStringLiteral("btnSetSensorsLimit")), Qt::LeftButton);
    QCOMPARE(addressesOf(*view->model()), (QVector<quint16> {100, 200, 300}));
    QCOMPARE(appSettings->value("SensorsHistoryViewer/MinAddr").toInt(), 100);
    QCOMPARE(appSettings->value("SensorsHistoryViewer/MaxAddr").toInt(), 300);
    QCOMPARE(addrMin->value(), 300);
    QCOMPARE(addrMax->value(), 100);
    QTest::mouseClick(tab.findChild<QPushButton *>(QStringLiteral("btnResetSensorsLimit")), Qt::LeftButton);
    QCOMPARE(view->model()->rowCount(), 5);

    // The value limit goes to the delegate and the settings.
    QSignalSpy limit(&tab, &SensorSamplesHistoryViewer::valuesLimitChanged);
    QTest::mouseClick(tab.findChild<QPushButton *>(QStringLiteral("btnResetValuesLimit")), Qt::LeftButton);
    QCOMPARE(limit.count(), 1);
    QCOMPARE(limit.first().at(0).value<ushort>(), ushort(8200));
    QCOMPARE(appSettings->value("SensorsHistoryViewer/MaxAcc").toInt(), 8200);
}

// ---------------------------------------------------------------------------
// CSV export

void TestSamplesHistory::csvBytes_data()
{
    QTest::addColumn<QVector<SensorHistory>>("rows");
    QTest::addColumn<QByteArray>("bytes");

    // "Адрес" in Windows-1251.
    const QByteArray address = cp1251("\"\xC0\xE4\xF0\xE5\xF1\"");
    QTest::newRow("no rows") << QVector<SensorHistory> {} << address + "\n";
    QTest::newRow("rows of unequal length, the longest not first")
        << QVector<SensorHistory> {{3, samplesOf({30, 20, 10})}, {7, samplesOf({5})}, {9, samplesOf({1, 2, 3, 4})}}
        << address + ";\"T_4\";\"T_3\";\"T_2\";\"T_1\"\n3;30;20;10\n7;5\n9;1;2;3;4\n";
    QTest::newRow("a row without samples")
        << QVector<SensorHistory> {{12, {}}, {15, samplesOf({7, 8}, Alarm)}}
        << address + ";\"T_2\";\"T_1\"\n12\n15;7;8\n";
    QTest::newRow("values and addresses at their edges")
        << QVector<SensorHistory> {{1, samplesOf({0, 65535}, 0)}, {500, samplesOf({8200})}}
        << address + ";\"T_2\";\"T_1\"\n1;0;65535\n500;8200\n";
}

void TestSamplesHistory::csvBytes()
{
    QFETCH(QVector<SensorHistory>, rows);
    QFETCH(QByteArray, bytes);
    const QString fileName = m_dir.filePath(QStringLiteral("bytes.csv"));
    QString error;
    QVERIFY(saveSamplesCsv(fileName, rows, &error));
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

std::unique_ptr<SensorSamplesHistoryViewer> TestSamplesHistory::recordedTab()
{
    auto tab = std::make_unique<SensorSamplesHistoryViewer>();
    setSensorRows(client(), {20, 10, 30});
    tab->startTask();
    for (int round = 0; round < 100; ++round)
        emit client().sensorSamples(0, {quint16(1000 + round), quint16(round), 7});
    tab->stopTask();
    return tab;
}

void TestSamplesHistory::exportWritesTheFile()
{
    auto tab = recordedTab();
    auto *exportButton = tab->findChild<QPushButton *>(QStringLiteral("btnExport"));
    QVERIFY(exportButton->isEnabled());
    const QString folder = m_dir.filePath(QStringLiteral("export"));
    QVERIFY(QDir().mkpath(folder));
    appSettings->setValue("Common/LastPath", folder);
    WindowTest::MessageBoxRecorder boxes;

    // Cancelling the dialog does nothing.
    QStringList asked;
    QString answer;
    UiSeams::setSaveFileHandler([&](QWidget *, const QString &caption, const QString &dir, const QString &filter,
                                    QFileDialog::Options options) {
        asked << caption << dir << filter
              << QString::number(int(options));
        return answer;
    });
    QTest::mouseClick(exportButton, Qt::LeftButton);
    QCOMPARE(asked, (QStringList {QStringLiteral("Экспорт истории данных виброканала в файл"), folder,
                                  QStringLiteral("CSV файлы (*.csv)"),
                                  QString::number(int(QFileDialog::DontResolveSymlinks
                                                      | QFileDialog::DontUseCustomDirectoryIcons))}));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());

    // An older file is replaced by the whole history; the folder is remembered.
    const QString other = m_dir.filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other));
    answer = other + QStringLiteral("/history.csv");
    QFile old(answer);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();
    QTest::mouseClick(exportButton, Qt::LeftButton);
    QCOMPARE(boxes.asked.size(), 0);
    QFile file(answer);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines.at(0).endsWith(";\"T_2\";\"T_1\""));
    QCOMPARE(lines.at(0).count(';'), 100);
    QVERIFY(lines.at(1).startsWith("10;99;98;"));
    QCOMPARE(lines.at(3).count(';'), 100);
    QVERIFY(lines.at(3).startsWith("30;7;7;"));
    QCOMPARE(appSettings->value("Common/LastPath").toString(), other);
    QCOMPARE(QDir(other).entryList(QDir::Files), QStringList {QStringLiteral("history.csv")});
}

void TestSamplesHistory::exportSuffix_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<bool>("existing");   // a file of the saved name is there before
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    const int none = int(QMessageBox::NoButton);
    QTest::newRow("no suffix") << "history" << "history.csv" << false << none << true;
    QTest::newRow("csv suffix") << "history.csv" << "history.csv" << false << none << true;
    QTest::newRow("completed name exists, kept") << "history" << "history.csv" << true << int(QMessageBox::No)
                                                 << false;
    QTest::newRow("completed name exists, replaced") << "history" << "history.csv" << true
                                                     << int(QMessageBox::Yes) << true;
    // The dialog itself asked about the typed name.
    QTest::newRow("typed name exists") << "history.csv" << "history.csv" << true << none << true;
}

void TestSamplesHistory::exportSuffix()
{
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QFETCH(bool, existing);
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    QTemporaryDir dir;
    const QByteArray older("an older export\n");
    if (existing) {
        QFile file(dir.filePath(saved));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(older);
    }
    auto tab = recordedTab();
    UiSeams::setSaveFileHandler([&](QWidget *, const QString &, const QString &, const QString &,
                                    QFileDialog::Options) { return dir.filePath(typed); });
    WindowTest::MessageBoxRecorder boxes {QMessageBox::StandardButton(answer)};
    QTest::mouseClick(tab->findChild<QPushButton *>(QStringLiteral("btnExport")), Qt::LeftButton);

    const bool asked = existing && typed != saved;
    QCOMPARE(boxes.asked.size(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(boxes.asked.first().text, QStringLiteral("<p>Файл «%1» уже существует.</p><p>Заменить его?</p>")
                                               .arg(QDir::toNativeSeparators(dir.filePath(saved))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {saved});
    QFile file(dir.filePath(saved));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll() == older, !replaced);
}

void TestSamplesHistory::exportFailures_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("fullDisk");
    // The reason in the user's language, not the system's English.
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder") << QStringLiteral("missing/history.csv") << false
                                    << QStringLiteral("Файл или папка не существует");
    QTest::newRow("a file in place of the folder") << QStringLiteral("plain/history.csv") << false
                                                   << QStringLiteral("Часть пути не является папкой");
    QTest::newRow("read-only folder") << QStringLiteral("readonly/history.csv") << false
                                      << QStringLiteral("Нет прав доступа");
    QTest::newRow("full disk over an older file") << QStringLiteral("full/history.csv") << true
                                                  << QStringLiteral("Превышен допустимый размер файла");
}

void TestSamplesHistory::exportFailures()
{
    QFETCH(QString, target);
    QFETCH(bool, fullDisk);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("full"))));
    QString fileName = dir.filePath(target);
    if (target.startsWith(QLatin1String("readonly/"))) {
        // Permissions bind every user but root; sysfs takes no new file from root either.
        const QString folder = dir.filePath(QStringLiteral("readonly"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        if (geteuid() == 0)
            fileName = QStringLiteral("/sys/history.csv");
    }
    const QByteArray older("an older export\n");
    if (fullDisk) {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(older);
    }

    auto tab = recordedTab();
    appSettings->setValue("Common/LastPath", m_dir.path());
    UiSeams::setSaveFileHandler(
        [&](QWidget *, const QString &, const QString &, const QString &, QFileDialog::Options) { return fileName; });
    WindowTest::MessageBoxRecorder boxes;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (fullDisk)
            limit = std::make_unique<FileSizeLimit>(256);
        QTest::mouseClick(tab->findChild<QPushButton *>(QStringLiteral("btnExport")), Qt::LeftButton);
    }

    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked.first().icon, QMessageBox::Critical);
    QCOMPARE(boxes.asked.first().title, QStringLiteral("История данных виброканала"));
    const QString prefix = QStringLiteral("Ошибка создания файла данных. ");
    QCOMPARE(boxes.asked.first().text, prefix + reason);
    QCOMPARE(appSettings->value("Common/LastPath").toString(), m_dir.path());
    // Nothing half-written is left, and an older file keeps its content.
    if (fullDisk) {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), older);
        QCOMPARE(QDir(dir.filePath(QStringLiteral("full"))).entryList(QDir::Files),
                 QStringList {QStringLiteral("history.csv")});
    } else {
        QVERIFY(!QFile::exists(fileName));
    }
}

QTEST_MAIN(TestSamplesHistory)
#include "tst_sampleshistory.moc"
