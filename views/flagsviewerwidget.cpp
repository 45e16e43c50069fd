#include "flagsviewerwidget.h"

#include <QColor>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>

#include <initializer_list>

#include "devicetables.h"

namespace {

constexpr int LabelSpace = 40;   // column labels above, row labels to the left
constexpr int GridOrigin = LabelSpace + 1;

// Colours looked up once: a named-colour parse per rectangle would cost more
// than drawing it.
QColor stateColour(int key)
{
    static const QHash<int, QColor> colours = [] {
        QHash<int, QColor> table;
        for (auto it = stateColorNames.cbegin(); it != stateColorNames.cend(); ++it)
            table.insert(it.key(), QColor(it.value()));
        return table;
    }();
    return colours.value(key);
}

// The first flag of `order` that is set, 0 when none is.
quint32 firstSet(quint32 flags, std::initializer_list<quint32> order)
{
    for (quint32 bit : order) {
        if (flags & bit)
            return bit;
    }
    return 0;
}

// Key of a whole cell: no state, no state yet, the first listed condition
// that holds, else `otherwise`.
int wholeCellKey(quint32 flags, std::initializer_list<quint32> order, quint32 otherwise)
{
    if (flags & 0x1)
        return 0x1;
    if (flags == 0)
        return 0;
    const quint32 key = firstSet(flags, order);
    return int(key ? key : otherwise);
}

// Keys (of stateColorNames) of the rectangles a cell is drawn with, left to
// right: one for a free address and a sensor or line-protection module, three
// stripes (loop 1, output relay, loop 2) for an I/O module, none for a type
// the grid does not know.
struct CellKeys
{
    int count = 0;
    int keys[3] = {};
};

CellKeys colourKeys(const FlagsCell &cell)
{
    const quint32 f = cell.flags;
    switch (cell.deviceType) {
    case 0:
        return {1, {0x1}};
    case 3:
    case 4:
        return {1, {wholeCellKey(f, {0x02, 0x04, 0x10, 0x08, 0x20, 0x40, 0x400}, 0x100)}};
    case 5:
        return {1, {wholeCellKey(f, {0x02, 0x04, 0x10, 0x08, 0x20, 0x400}, 0x20000)}};
    case 2: {
        const int whole = wholeCellKey(f, {0x02, 0x04, 0x10, 0x08, 0x20}, 0);
        if (whole != 0 || f == 0)
            return {3, {whole, whole, whole}};
        const quint32 loop1 = firstSet(f, {0x40, 0x400, 0x1000, 0x4000});
        const quint32 loop2 = firstSet(f, {0x80, 0x800, 0x2000, 0x8000});
        return {3,
                {cell.loop1Mode == 0 ? 0x4 : int(loop1 ? loop1 : 0x100),
                 (f & 0x10000) ? 0x10000 : 0x100,
                 cell.loop2Mode == 0 ? 0x4 : int(loop2 ? loop2 : 0x200)}};
    }
    default:
        return {};
    }
}

bool sameCell(const FlagsCell &a, const FlagsCell &b)
{
    return a.deviceType == b.deviceType && a.flags == b.flags && a.loop1Mode == b.loop1Mode
           && a.loop2Mode == b.loop2Mode;
}

} // namespace

FlagsViewerWidget::FlagsViewerWidget(QWidget *parent, Qt::WindowFlags f)
    : QWidget(parent, f)
    , m_cells(CellCount)
    , m_isDirty(CellCount, false)
{
    setFocusPolicy(Qt::StrongFocus);
    // Every pixel comes from the pixmap.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FlagsViewerWidget::setCell(int index, const FlagsCell &cell)
{
    if (index < 0 || index >= CellCount || sameCell(m_cells.at(index), cell))
        return;
    m_cells[index] = cell;
    // One request covers every cell that changes before the next paint.
    if (m_dirty.isEmpty())
        update();
    markDirty(index);
}

QRectF FlagsViewerWidget::cellRect(int index) const
{
    if (m_pixmap.isNull() || index < 0 || index >= CellCount)
        return QRectF();
    return QRectF(m_gridRect.left() + (index % Columns) * m_cellWidth,
                  m_gridRect.top() + (index / Columns) * m_cellHeight, m_cellWidth, m_cellHeight);
}

QSize FlagsViewerWidget::sizeHint() const
{
    return minimumSizeHint();
}

QSize FlagsViewerWidget::minimumSizeHint() const
{
    return QSize(440, 340);
}

void FlagsViewerWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_pixmap.isNull())
        return;
    const QPoint pos = event->localPos().toPoint();
    if (!m_gridRect.contains(pos, true))
        return;
    const int column = int((pos.x() - m_gridRect.left()) / m_cellWidth);
    const int row = int((pos.y() - m_gridRect.top()) / m_cellHeight);
    selectCell(column + Columns * row);
}

void FlagsViewerWidget::keyPressEvent(QKeyEvent *event)
{
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        target = m_activeCell - 1;
        break;
    case Qt::Key_Right:
        target = m_activeCell + 1;
        break;
    case Qt::Key_Up:
        target = m_activeCell - Columns;
        break;
    case Qt::Key_Down:
        target = m_activeCell + Columns;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = CellCount - 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    // At the edge of the grid the key does nothing.
    if (target >= 0 && target < CellCount)
        selectCell(target);
}

void FlagsViewerWidget::paintEvent(QPaintEvent *event)
{
    drawPending();
    if (m_pixmap.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(event->rect(), m_pixmap, event->rect());
}

void FlagsViewerWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    createPixmap();
}

void FlagsViewerWidget::createPixmap()
{
    const int w = width();
    const int h = height();
    m_pixmap = QPixmap(w, h);
    m_gridRect = QRect(QPoint(GridOrigin, GridOrigin), QPoint(w - 2, h - 2));
    m_cellWidth = (w - 42) / double(Columns);
    m_cellHeight = (h - 42) / double(Rows);
    m_fullRedraw = true;
}

void FlagsViewerWidget::drawPending()
{
    if (m_pixmap.isNull() || (!m_fullRedraw && m_dirty.isEmpty()))
        return;
    if (m_fullRedraw)
        m_pixmap.fill(palette().color(QPalette::Window));
    QPainter painter(&m_pixmap);
    if (m_fullRedraw) {
        drawLabels(painter);
        for (int i = 0; i < CellCount; ++i)
            drawCell(painter, i);
    } else {
        for (int i : qAsConst(m_dirty))
            drawCell(painter, i);
    }
    drawSelection(painter);
    for (int i : qAsConst(m_dirty))
        m_isDirty[i] = false;
    m_dirty.clear();
    m_fullRedraw = false;
}

void FlagsViewerWidget::drawLabels(QPainter &painter)
{
    painter.setPen(QPen(Qt::black, 0, Qt::SolidLine));
    painter.setBrush(Qt::SolidPattern);
    for (int k = 0; k < Columns; ++k) {
        const QRectF r(m_gridRect.left() + k * m_cellWidth, 1, m_cellWidth, LabelSpace);
        painter.drawText(r, Qt::AlignCenter, QString::number(k + 1));
    }
    for (int r = 0; r < Rows; ++r) {
        const QRectF rect(1, m_gridRect.top() + r * m_cellHeight, LabelSpace, m_cellHeight);
        painter.drawText(rect, Qt::AlignCenter, QString::number(Columns * r));
    }
}

void FlagsViewerWidget::drawCell(QPainter &painter, int index)
{
    const QRectF rect = cellRect(index);
    painter.fillRect(rect, Qt::white);
    const CellKeys keys = colourKeys(m_cells.at(index));
    if (keys.count == 0)
        return;
    painter.setPen(QPen(Qt::black, 0, Qt::SolidLine));
    const double stripe = rect.width() / keys.count;
    for (int k = 0; k < keys.count; ++k) {
        painter.setBrush(stateColour(keys.keys[k]));
        painter.drawRect(QRectF(rect.left() + k * stripe, rect.top(), stripe, rect.height()));
    }
}

void FlagsViewerWidget::drawSelection(QPainter &painter)
{
    const QRectF rect = cellRect(m_activeCell);
    painter.setPen(QPen(Qt::black, 0, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(1, 1, -1, -1));
}

void FlagsViewerWidget::markDirty(int index)
{
    if (m_isDirty.at(index))
        return;
    m_isDirty[index] = true;
    m_dirty.append(index);
}

void FlagsViewerWidget::selectCell(int index)
{
    if (index == m_activeCell)
        return;
    // Drawing the old cell again removes its frame.
    markDirty(m_activeCell);
    m_activeCell = index;
    update();
    emit activeCellChanged(m_activeCell);
}
