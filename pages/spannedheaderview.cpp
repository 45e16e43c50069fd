#include "spannedheaderview.h"

#include <QPainter>
#include <QStyleOptionHeader>

SpannedHeaderView::SpannedHeaderView(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    connect(this, &QHeaderView::sectionResized, this, &SpannedHeaderView::onSectionResized);
}

bool SpannedHeaderView::setSpan(const QString &text, int first, int last)
{
    if (first < 0 || first >= last || last >= count())
        return false;
    if (!insertSpan(text, first, last, m_spans))
        return false;
    // The header's height and the sections' widths now depend on the caption.
    headerDataChanged(orientation(), first, last);
    resizeSections();
    emit geometriesChanged();
    return true;
}

bool SpannedHeaderView::insertSpan(const QString &text, int first, int last, SpanList &list)
{
    for (HeaderSpan &span : list) {
        if (span.first == first && span.last == last) {
            span.text = text;
            span.captionSize = captionSize(text);
            return true;
        }
        if (span.last < first || last < span.first)
            continue;
        if (span.first <= first && last <= span.last)
            return insertSpan(text, first, last, span.children);
        return false;
    }
    list.push_back({first, last, captionSize(text), text, {}});
    return true;
}

QSize SpannedHeaderView::captionSize(const QString &text) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.text = text + QStringLiteral("  ");
    return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(-1, -1), this);
}

const SpannedHeaderView::HeaderSpan *SpannedHeaderView::findSpan(const SpanList &list, int section)
{
    for (const HeaderSpan &span : list) {
        if (span.contains(section))
            return &span;
    }
    return nullptr;
}

int SpannedHeaderView::sizeOfSections(int from, int to) const
{
    int size = 0;
    for (int section = from; section <= to; ++section)
        size += sectionSize(section);
    return size;
}

const SpannedHeaderView::HeaderSpan *SpannedHeaderView::spanRect(const QRect &rect, QRect *widened) const
{
    const int a = visualIndexAt(rect.left());
    const int b = visualIndexAt(rect.right());
    int left = rect.left();
    int width = rect.width();
    *widened = rect;

    const HeaderSpan *span = findSpan(m_spans, a);
    if (span) {
        const int before = sizeOfSections(span->first, a - 1);
        left -= before;
        width += before;
    } else if (a == b) {
        return nullptr;
    }
    if (a != b) {
        span = findSpan(m_spans, b);
        if (!span) {
            *widened = QRect(QPoint(left, rect.top()), QPoint(left + width - 1, rect.bottom()));
            return nullptr;
        }
    }
    width += sizeOfSections(b + 1, span->last);
    *widened = QRect(QPoint(left, rect.top()), QPoint(left + width - 1, rect.bottom()));
    return span;
}

void SpannedHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    QRect widened;
    const HeaderSpan *span = m_spans.empty() ? nullptr : spanRect(rect, &widened);
    if (!span) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }

    painter->save();
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.section = logicalIndex;
    option.textAlignment = Qt::AlignHCenter | Qt::AlignVCenter;
    option.position = QStyleOptionHeader::OnlyOneSection;
    option.orientation = Qt::Horizontal;
    option.text = span->text;
    option.rect = widened;
    option.rect.setBottom(widened.top() + span->captionSize.height() - 1);
    // Every section of the span draws the whole caption at the same place, so
    // the text stays centred over the span whatever part is repainted.
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    const int nested = drawNestedCaptions(painter, option, logicalIndex, span->children, rect.left());
    painter->restore();

    QRect own = rect;
    own.setTop(rect.top() + span->captionSize.height() + nested);
    QHeaderView::paintSection(painter, own, logicalIndex);
}

int SpannedHeaderView::drawNestedCaptions(QPainter *painter, QStyleOptionHeader &option, int section,
                                          const SpanList &list, int x) const
{
    int total = 0;
    const SpanList *level = &list;
    while (!level->empty()) {
        const int top = option.rect.bottom() + 1;
        const HeaderSpan *span = findSpan(*level, section);
        if (!span)
            break;
        const int left = x - sizeOfSections(span->first, section - 1);
        option.rect = QRect(left, top, sizeOfSections(span->first, span->last), span->captionSize.height());
        option.text = span->text;
        style()->drawControl(QStyle::CE_Header, &option, painter, this);
        total += span->captionSize.height();
        level = &span->children;
    }
    return total;
}

QSize SpannedHeaderView::sectionSizeFromContents(int logicalIndex) const
{
    const QSize standard = QHeaderView::sectionSizeFromContents(logicalIndex);
    return QSize(spanMinimumWidth(logicalIndex, standard.width()),
                 standard.height() + captionsHeight(logicalIndex));
}

int SpannedHeaderView::spanMinimumWidth(int section, int width) const
{
    for (const HeaderSpan *span = findSpan(m_spans, section); span; span = findSpan(span->children, section)) {
        int shown = 0;
        for (int s = span->first; s <= span->last; ++s) {
            if (!isSectionHidden(s))
                ++shown;
        }
        if (shown > 0)
            width = qMax(width, span->captionSize.width() / shown);
    }
    return width;
}

int SpannedHeaderView::captionsHeight(int section) const
{
    int height = 0;
    for (const HeaderSpan *span = findSpan(m_spans, section); span; span = findSpan(span->children, section))
        height += span->captionSize.height();
    return height;
}

void SpannedHeaderView::onSectionResized(int logicalIndex, int, int newSize)
{
    const QRect rect(sectionViewportPosition(logicalIndex), 0, newSize, height());
    QRect widened;
    spanRect(rect, &widened);
    setDirtyRegion(widened);
}
