// SpannedHeaderView: which spans it takes, and where it draws the spanned
// and the ordinary captions (recorded from the style while the header paints),
// also after a section is resized or hidden.

#include <QMap>
#include <QProxyStyle>
#include <QStandardItemModel>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QtTest>

#include "spannedheaderview.h"

namespace {

// Remembers the rectangle of every header caption drawn, by its text.
class RecordingStyle : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_Header) {
            const auto *header = static_cast<const QStyleOptionHeader *>(option);
            drawn[header->text].insert(header->rect.left(), header->rect);
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    // Text -> rectangles by left edge.
    mutable QMap<QString, QMap<int, QRect>> drawn;
};

struct Span
{
    QString text;
    int first;
    int last;
};

// A table of `columns` columns captioned "c0", "c1", ... with its spanned header.
struct Header
{
    explicit Header(int columns, QHeaderView::ResizeMode mode = QHeaderView::Interactive)
        : model(3, columns)
    {
        for (int c = 0; c < columns; ++c)
            model.setHeaderData(c, Qt::Horizontal, QStringLiteral("c%1").arg(c));
        view.setModel(&model);
        header = new SpannedHeaderView(&view);
        view.setHorizontalHeader(header);
        header->setSectionResizeMode(mode);
        style = new RecordingStyle;
        style->setParent(header);
        header->setStyle(style);
        view.resize(900, 300);
        view.show();
    }

    // Paints the header and returns the rectangles each caption was drawn in.
    QMap<QString, QMap<int, QRect>> paint()
    {
        style->drawn.clear();
        header->grab();
        return style->drawn;
    }
    // The one rectangle in which `text` was drawn (every section of a span draws it at the same place).
    static QRect only(const QMap<QString, QMap<int, QRect>> &drawn, const QString &text)
    {
        const QMap<int, QRect> rects = drawn.value(text);
        return rects.size() == 1 ? rects.first() : QRect();
    }
    int spanWidth(int first, int last) const
    {
        int width = 0;
        for (int s = first; s <= last; ++s)
            width += header->sectionSize(s);
        return width;
    }

    QTableView view;
    QStandardItemModel model;
    SpannedHeaderView *header = nullptr;
    RecordingStyle *style = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(QList<Span>)

class TestSpannedHeaderView : public QObject
{
    Q_OBJECT

private slots:
    void setSpan_data();
    void setSpan();
    void spanBeforeModelIsRefused();
    void nestedSpansAreDrawnOneBandLower();
    void disjointSpansAndReplacedText();
    void spanFollowsResizedSection();
    void hiddenSectionKeepsCaptionWidth();
};

void TestSpannedHeaderView::setSpan_data()
{
    QTest::addColumn<QList<Span>>("existing");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("taken");

    QTest::newRow("one section") << QList<Span>() << 3 << 3 << false;
    QTest::newRow("reversed") << QList<Span>() << 4 << 3 << false;
    QTest::newRow("negative first") << QList<Span>() << -1 << 2 << false;
    QTest::newRow("past the last section") << QList<Span>() << 7 << 8 << false;
    QTest::newRow("last sections") << QList<Span>() << 6 << 7 << true;
    QTest::newRow("inside an existing one") << QList<Span>{{"A", 2, 5}} << 3 << 4 << true;
    QTest::newRow("enclosing an existing one") << QList<Span>{{"A", 3, 4}} << 2 << 5 << false;
    QTest::newRow("overlapping partly") << QList<Span>{{"A", 2, 5}} << 4 << 6 << false;
    QTest::newRow("beside an existing one") << QList<Span>{{"A", 2, 3}} << 4 << 5 << true;
    QTest::newRow("same range") << QList<Span>{{"A", 2, 5}} << 2 << 5 << true;
    QTest::newRow("third level") << QList<Span>{{"A", 0, 6}, {"B", 1, 5}} << 2 << 4 << true;
    QTest::newRow("partly over a nested one") << QList<Span>{{"A", 0, 6}, {"B", 1, 3}} << 3 << 5 << false;
}

void TestSpannedHeaderView::setSpan()
{
    QFETCH(QList<Span>, existing);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, taken);

    Header h(8);
    for (const Span &s : existing)
        QVERIFY(h.header->setSpan(s.text, s.first, s.last));
    const auto before = h.paint();
    QCOMPARE(h.header->setSpan(QStringLiteral("New"), first, last), taken);
    const auto after = h.paint();
    QCOMPARE(after.contains(QStringLiteral("New")), taken);
    if (!taken)
        QCOMPARE(after, before);
}

void TestSpannedHeaderView::spanBeforeModelIsRefused()
{
    QTableView view;
    auto *header = new SpannedHeaderView(&view);
    view.setHorizontalHeader(header);
    QVERIFY(!header->setSpan(QStringLiteral("A"), 0, 1));
}

void TestSpannedHeaderView::nestedSpansAreDrawnOneBandLower()
{
    Header h(8);
    const int plainHeight = h.header->sizeHint().height();
    QVERIFY(h.header->setSpan(QStringLiteral("Outer"), 2, 5));
    const int oneBand = h.header->sizeHint().height();
    QVERIFY(h.header->setSpan(QStringLiteral("Inner\ntwo lines"), 3, 4));
    const int twoBands = h.header->sizeHint().height();
    QVERIFY(oneBand > plainHeight);
    QVERIFY(twoBands - oneBand > oneBand - plainHeight); // the inner caption has two lines
    QTRY_COMPARE_WITH_TIMEOUT(h.header->height(), twoBands, 1000);

    const auto drawn = h.paint();
    const QRect outer = Header::only(drawn, QStringLiteral("Outer"));
    const QRect inner = Header::only(drawn, QStringLiteral("Inner\ntwo lines"));
    QCOMPARE(outer.left(), h.header->sectionViewportPosition(2));
    QCOMPARE(outer.width(), h.spanWidth(2, 5));
    QCOMPARE(outer.top(), 0);
    QCOMPARE(inner.left(), h.header->sectionViewportPosition(3));
    QCOMPARE(inner.width(), h.spanWidth(3, 4));
    QCOMPARE(inner.top(), outer.bottom() + 1);

    // Section captions: under both bands inside the inner span, under the outer
    // band beside it, over the full height outside every span.
    const QRect c3 = Header::only(drawn, QStringLiteral("c3"));
    const QRect c5 = Header::only(drawn, QStringLiteral("c5"));
    const QRect c0 = Header::only(drawn, QStringLiteral("c0"));
    QCOMPARE(c3.top(), inner.bottom() + 1);
    QCOMPARE(c5.top(), outer.bottom() + 1);
    QCOMPARE(c0.top(), 0);
    for (const QRect &r : {c3, c5, c0})
        QCOMPARE(r.bottom(), h.header->height() - 1);
}

void TestSpannedHeaderView::disjointSpansAndReplacedText()
{
    Header h(8);
    QVERIFY(h.header->setSpan(QStringLiteral("Right"), 5, 7));
    QVERIFY(h.header->setSpan(QStringLiteral("Left"), 0, 2));
    QVERIFY(h.header->setSpan(QStringLiteral("Left, now longer\nand in two lines"), 0, 2));

    const auto drawn = h.paint();
    QVERIFY(!drawn.contains(QStringLiteral("Left")));
    QCOMPARE(Header::only(drawn, QStringLiteral("Right")).width(), h.spanWidth(5, 7));
    const QRect left = Header::only(drawn, QStringLiteral("Left, now longer\nand in two lines"));
    QCOMPARE(left.width(), h.spanWidth(0, 2));
    // The new caption's size counts: two lines make a taller band than one.
    QVERIFY(left.height() > Header::only(drawn, QStringLiteral("Right")).height());
}

void TestSpannedHeaderView::spanFollowsResizedSection()
{
    Header h(8);
    QVERIFY(h.header->setSpan(QStringLiteral("Outer"), 2, 5));
    QVERIFY(h.header->setSpan(QStringLiteral("Inner"), 3, 4));
    h.paint();

    h.header->resizeSection(3, h.header->sectionSize(3) + 70);
    h.header->resizeSection(1, h.header->sectionSize(1) + 30);
    const auto drawn = h.paint();
    const QRect outer = Header::only(drawn, QStringLiteral("Outer"));
    const QRect inner = Header::only(drawn, QStringLiteral("Inner"));
    QCOMPARE(outer.left(), h.header->sectionViewportPosition(2));
    QCOMPARE(outer.width(), h.spanWidth(2, 5));
    QCOMPARE(inner.left(), h.header->sectionViewportPosition(3));
    QCOMPARE(inner.width(), h.spanWidth(3, 4));
}

void TestSpannedHeaderView::hiddenSectionKeepsCaptionWidth()
{
    Header h(8, QHeaderView::ResizeToContents);
    const QString caption = QStringLiteral("Количество ссылок на модуль");
    QVERIFY(h.header->setSpan(caption, 6, 7));
    h.header->hideSection(7);
    QCoreApplication::processEvents();

    const auto drawn = h.paint();
    const QRect span = Header::only(drawn, caption);
    QCOMPARE(span.left(), h.header->sectionViewportPosition(6));
    QCOMPARE(span.width(), h.header->sectionSize(6));
    QVERIFY(h.header->sectionSize(6) >= h.header->fontMetrics().horizontalAdvance(caption));
}

QTEST_MAIN(TestSpannedHeaderView)
#include "tst_spannedheaderview.moc"
