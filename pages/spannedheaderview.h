#ifndef SPANNEDHEADERVIEW_H
#define SPANNEDHEADERVIEW_H

#include <QHeaderView>
#include <QSize>
#include <QString>

#include <vector>

// The horizontal header of the configuration tables: besides the section
// captions it draws captions that span adjacent sections, stacked above
// them; a span inside another one is drawn one band lower. Sections are
// never moved, so logical and visual indices are the same.
class SpannedHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit SpannedHeaderView(QWidget *parent = nullptr);

    // Adds a caption over sections first..last, or replaces the text of the
    // span with that range. Spans nest from the outside in; false (and no
    // change) for a range outside the sections, of one section, or one that
    // overlaps a span partly or encloses one already set.
    bool setSpan(const QString &text, int first, int last);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    struct HeaderSpan
    {
        int first;
        int last;
        QSize captionSize;
        QString text;
        std::vector<HeaderSpan> children; // in the order added, pairwise disjoint

        bool contains(int section) const { return first <= section && section <= last; }
    };
    using SpanList = std::vector<HeaderSpan>;

    bool insertSpan(const QString &text, int first, int last, SpanList &list);
    QSize captionSize(const QString &text) const;
    static const HeaderSpan *findSpan(const SpanList &list, int section);
    // `rect` widened over the whole top-level span it lies in; null when none.
    const HeaderSpan *spanRect(const QRect &rect, QRect *widened) const;
    int drawNestedCaptions(QPainter *painter, QStyleOptionHeader &option, int section, const SpanList &list,
                           int x) const;
    int spanMinimumWidth(int section, int width) const;
    int captionsHeight(int section) const;
    int sizeOfSections(int from, int to) const;
    void onSectionResized(int logicalIndex, int oldSize, int newSize);

    SpanList m_spans;
};

#endif // SPANNEDHEADERVIEW_H
