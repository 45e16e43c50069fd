// Draws the program's pictograms into PNG files at build time.
// Usage: lantrel_imagegen <output folder>
//
// Plain QImage + QPainter with paths only (no fonts), so it runs without a
// display and gives the same pictures on every machine. Every pictogram is
// drawn on a 24 x 24 grid and scaled to its size; one outline colour and one
// palette keep the set consistent.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QVector>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor Outline(0x24, 0x30, 0x3c);
const QColor Blue(0x3a, 0x7b, 0xd5);
const QColor LightBlue(0xa9, 0xcb, 0xf2);
const QColor Green(0x2e, 0xa8, 0x5a);
const QColor Red(0xd9, 0x45, 0x3c);
const QColor Yellow(0xf2, 0xc1, 0x2e);
const QColor Orange(0xf0, 0x8c, 0x2e);
const QColor Gray(0x9a, 0xa3, 0xab);
const QColor ChipBody(0x4a, 0x55, 0x60);
const QColor Paper(0xfa, 0xfa, 0xf5);
const QColor Case(0xe4, 0xe9, 0xee);
const QColor Brown(0xc9, 0x93, 0x4a);

using Draw = std::function<void(QPainter &)>;

struct Picture
{
    QString name;
    int width;
    int height;
    Draw draw;
};

QPen outlinePen(qreal width = 1.3)
{
    return QPen(Outline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPen strokePen(const QColor &c, qreal width)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A disc with a soft highlight: the base of status pictures.
void disc(QPainter &p, const QPointF &c, qreal r, const QColor &fill)
{
    QRadialGradient g(c + QPointF(-r * 0.35, -r * 0.35), r * 1.4);
    g.setColorAt(0, fill.lighter(135));
    g.setColorAt(1, fill);
    p.setPen(outlinePen(1.2));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
}

// Arrow from `from` to `to` with a filled head.
void arrow(QPainter &p, const QPointF &from, const QPointF &to, const QColor &c, qreal width = 2.6,
           qreal head = 4.5)
{
    const QLineF line(from, to);
    const qreal len = line.length();
    if (len <= 0)
        return;
    const QPointF dir = (to - from) / len;
    const QPointF normal(-dir.y(), dir.x());
    const QPointF base = to - dir * head;
    QPen pen = strokePen(c, width);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(from, base + dir * 0.5);
    QPolygonF tip;
    tip << to << base + normal * head * 0.85 << base - normal * head * 0.85;
    p.setPen(strokePen(c.darker(130), 0.8));
    p.setBrush(c);
    p.drawPolygon(tip);
}

// Microchip: the line controller.
void chip(QPainter &p, const QRectF &r)
{
    p.setPen(strokePen(Outline, 1.1));
    const int pins = 3;
    for (int i = 0; i < pins; ++i) {
        const qreal x = r.left() + r.width() * (i + 1) / (pins + 1);
        const qreal y = r.top() + r.height() * (i + 1) / (pins + 1);
        p.drawLine(QPointF(x, r.top() - 2), QPointF(x, r.top()));
        p.drawLine(QPointF(x, r.bottom()), QPointF(x, r.bottom() + 2));
        p.drawLine(QPointF(r.left() - 2, y), QPointF(r.left(), y));
        p.drawLine(QPointF(r.right(), y), QPointF(r.right() + 2, y));
    }
    p.setPen(outlinePen(1.1));
    p.setBrush(ChipBody);
    p.drawRoundedRect(r, 1.2, 1.2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0xd6, 0xdc));
    p.drawEllipse(QPointF(r.left() + r.width() * 0.25, r.top() + r.height() * 0.25), 1.0, 1.0);
}

// A line module: a small housing with a coloured band.
void moduleBox(QPainter &p, const QRectF &r, const QColor &band)
{
    p.setPen(outlinePen(1.2));
    p.setBrush(Case);
    p.drawRoundedRect(r, 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRect(QRectF(r.left() + 0.7, r.top() + 0.7, r.width() - 1.4, r.height() * 0.28));
}

// Vibration wave across a rectangle.
void wave(QPainter &p, const QRectF &r, const QColor &c, qreal width = 1.5, int periods = 2)
{
    QPainterPath path;
    const int steps = 32;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = qreal(i) / steps;
        const qreal x = r.left() + r.width() * t;
        const qreal y = r.center().y() - std::sin(t * periods * 2 * M_PI) * r.height() / 2;
        if (i == 0)
            path.moveTo(x, y);
        else
            path.lineTo(x, y);
    }
    p.setPen(strokePen(c, width));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// Sheet of paper with a folded corner.
void document(QPainter &p, const QRectF &r)
{
    QPainterPath path;
    const qreal fold = r.width() * 0.32;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(outlinePen());
    p.setBrush(Paper);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(0xdd, 0xdd, 0xd5));
    p.drawPath(corner);
    p.setPen(strokePen(Gray, 1.0));
    for (qreal y = r.top() + fold + 2.5; y < r.bottom() - 1.5; y += 2.5)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void folder(QPainter &p, const QRectF &r, bool open)
{
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top());
    back.lineTo(r.left() + r.width() * 0.38, r.top());
    back.lineTo(r.left() + r.width() * 0.48, r.top() + r.height() * 0.16);
    back.lineTo(r.right(), r.top() + r.height() * 0.16);
    back.lineTo(r.right(), r.bottom());
    back.closeSubpath();
    p.setPen(outlinePen());
    p.setBrush(Brown);
    p.drawPath(back);
    QPainterPath front;
    if (open) {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left() + r.width() * 0.18, r.top() + r.height() * 0.38);
        front.lineTo(r.right() + r.width() * 0.08, r.top() + r.height() * 0.38);
        front.lineTo(r.right(), r.bottom());
    } else {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left(), r.top() + r.height() * 0.32);
        front.lineTo(r.right(), r.top() + r.height() * 0.32);
        front.lineTo(r.right(), r.bottom());
    }
    front.closeSubpath();
    p.setBrush(QColor(0xf0, 0xc0, 0x6a));
    p.drawPath(front);
}

// Flash memory card.
void memoryCard(QPainter &p, const QRectF &r)
{
    QPainterPath path;
    const qreal cut = r.width() * 0.3;
    path.moveTo(r.left() + cut, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.lineTo(r.left(), r.top() + cut);
    path.closeSubpath();
    p.setPen(outlinePen());
    p.setBrush(QColor(0x5a, 0x67, 0x74));
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(Yellow);
    const qreal w = (r.width() - 4) / 4;
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(r.left() + 2 + i * w + 0.3, r.top() + 1.5, w - 0.8, r.height() * 0.25));
}

// Mains plug seen from the side: body at `x`, prongs to the right.
void plug(QPainter &p, qreal x, qreal y, const QColor &body)
{
    p.setPen(outlinePen());
    p.setBrush(Gray.lighter(120));
    p.drawRect(QRectF(x + 6, y - 3.2, 3.5, 1.6));
    p.drawRect(QRectF(x + 6, y + 1.6, 3.5, 1.6));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(x, y - 5, 6.5, 10), 1.8, 1.8);
    p.setPen(strokePen(Outline, 1.8));
    p.drawLine(QPointF(x, y), QPointF(x - 4, y));
}

// Plug seen from the front, prongs up: the connection state pictures.
void plugGlyph(QPainter &p, const QColor &c)
{
    p.setPen(strokePen(c, 2.2));
    p.drawLine(QPointF(9.5, 5), QPointF(9.5, 9));
    p.drawLine(QPointF(14.5, 5), QPointF(14.5, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(7, 9, 10, 7), 2, 2);
    p.setPen(strokePen(c, 2.2));
    p.drawLine(QPointF(12, 16), QPointF(12, 20));
}

// Socket facing left.
void socket(QPainter &p, qreal x, qreal y, const QColor &body)
{
    p.setPen(outlinePen());
    p.setBrush(body);
    p.drawRoundedRect(QRectF(x, y - 5, 6.5, 10), 1.8, 1.8);
    p.setPen(strokePen(Outline, 1.8));
    p.drawLine(QPointF(x + 6.5, y), QPointF(x + 10.5, y));
    p.setPen(Qt::NoPen);
    p.setBrush(Outline);
    p.drawRect(QRectF(x, y - 3, 1.6, 1.2));
    p.drawRect(QRectF(x, y + 1.8, 1.6, 1.2));
}

// Arc of `span` degrees from `start` (Qt's angles) around `c`, with a
// filled head at its end; the head is `head` pen widths wide on each side
// and `length` times that long.
void arcArrow(QPainter &p, const QPointF &c, qreal r, int start, int span, const QColor &col, qreal width,
              qreal head, qreal length)
{
    QPen pen = strokePen(col, width);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), start * 16, span * 16);
    const qreal a = (start + span) * M_PI / 180;
    const QPointF end(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
    const QPointF tangent(-std::sin(a), -std::cos(a)); // clockwise direction in screen space
    const QPointF normal(std::cos(a), -std::sin(a));
    const qreal h = width * head;
    QPolygonF tip;
    tip << end - tangent * h * length << end + normal * h << end - normal * h;
    p.setPen(strokePen(col.darker(130), 0.8));
    p.setBrush(col);
    p.drawPolygon(tip);
}

// Circular arrow (about 300 degrees) around `c`.
void circularArrow(QPainter &p, const QPointF &c, qreal r, const QColor &col, qreal width)
{
    arcArrow(p, c, r, 60, 270, col, width, 1.7, 1.4);
}

// Two arrows chasing each other: refresh.
void refreshArrows(QPainter &p, const QPointF &c, qreal r, const QColor &col, qreal width)
{
    arcArrow(p, c, r, 20, 130, col, width, 1.6, 1.3);
    arcArrow(p, c, r, 200, 130, col, width, 1.6, 1.3);
}

void badgeCross(QPainter &p, const QPointF &c, qreal r)
{
    disc(p, c, r, Red);
    p.setPen(strokePen(Qt::white, r * 0.38));
    const qreal d = r * 0.45;
    p.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
    p.drawLine(c + QPointF(-d, d), c + QPointF(d, -d));
}

void badgePlus(QPainter &p, const QPointF &c, qreal r)
{
    disc(p, c, r, Green);
    p.setPen(strokePen(Qt::white, r * 0.38));
    const qreal d = r * 0.55;
    p.drawLine(c + QPointF(-d, 0), c + QPointF(d, 0));
    p.drawLine(c + QPointF(0, -d), c + QPointF(0, d));
}

void badgeCheck(QPainter &p, const QPointF &c, qreal r)
{
    disc(p, c, r, Green);
    p.setPen(strokePen(Qt::white, r * 0.36));
    p.setBrush(Qt::NoBrush);
    QPolygonF tick;
    tick << c + QPointF(-r * 0.5, 0) << c + QPointF(-r * 0.1, r * 0.42) << c + QPointF(r * 0.55, -r * 0.45);
    p.drawPolyline(tick);
}

void exclamationMark(QPainter &p, const QPointF &c, qreal h, const QColor &col)
{
    p.setPen(strokePen(col, h * 0.2));
    p.drawLine(c + QPointF(0, -h * 0.45), c + QPointF(0, h * 0.12));
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawEllipse(c + QPointF(0, h * 0.4), h * 0.12, h * 0.12);
}

void questionMark(QPainter &p, const QPointF &c, qreal h, const QColor &col)
{
    QPainterPath path;
    const qreal r = h * 0.24;
    path.arcMoveTo(QRectF(c.x() - r, c.y() - h * 0.45, 2 * r, 2 * r), 160);
    path.arcTo(QRectF(c.x() - r, c.y() - h * 0.45, 2 * r, 2 * r), 160, -250);
    path.lineTo(c.x(), c.y() + h * 0.12);
    p.setPen(strokePen(col, h * 0.18));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawEllipse(c + QPointF(0, h * 0.4), h * 0.11, h * 0.11);
}

void warningTriangle(QPainter &p, const QRectF &r)
{
    QPolygonF tri;
    tri << QPointF(r.center().x(), r.top()) << r.bottomRight() << r.bottomLeft();
    p.setPen(outlinePen(1.3));
    p.setBrush(Yellow);
    p.drawPolygon(tri);
    exclamationMark(p, QPointF(r.center().x(), r.top() + r.height() * 0.6), r.height() * 0.62, Outline);
}

void magnifier(QPainter &p, const QPointF &c, qreal r)
{
    p.setPen(strokePen(Outline, 3.0));
    const QPointF dir(0.707, 0.707);
    p.drawLine(c + dir * r, c + dir * (r + 5.5));
    p.setPen(outlinePen(1.6));
    p.setBrush(QColor(0xd8, 0xea, 0xfb, 210));
    p.drawEllipse(c, r, r);
}

// Small table with three rows: row pictures of the interaction and relay pages.
void table(QPainter &p, const QRectF &r)
{
    p.setPen(outlinePen(1.1));
    p.setBrush(Paper);
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(LightBlue);
    p.drawRect(QRectF(r.left() + 0.6, r.top() + 0.6, r.width() - 1.2, r.height() / 4 - 0.6));
    p.setPen(strokePen(Gray, 1.0));
    for (int i = 2; i < 4; ++i) {
        const qreal y = r.top() + r.height() * i / 4;
        p.drawLine(QPointF(r.left() + 0.6, y), QPointF(r.right() - 0.6, y));
    }
    p.drawLine(QPointF(r.left() + r.width() * 0.4, r.top() + r.height() / 4),
               QPointF(r.left() + r.width() * 0.4, r.bottom() - 0.6));
}

void pencil(QPainter &p, const QPointF &tip, qreal len)
{
    p.save();
    p.translate(tip);
    p.rotate(-45);
    QPolygonF point;
    point << QPointF(0, 0) << QPointF(3.5, -1.8) << QPointF(3.5, 1.8);
    p.setPen(outlinePen(0.9));
    p.setBrush(QColor(0xf3, 0xd9, 0xa8));
    p.drawPolygon(point);
    p.setBrush(Orange);
    p.drawRect(QRectF(3.5, -1.8, len - 6, 3.6));
    p.setBrush(QColor(0xe8, 0x9a, 0xa8));
    p.drawRect(QRectF(len - 2.5, -1.8, 2.5, 3.6));
    p.restore();
}

QPolygonF pts(std::initializer_list<QPointF> list)
{
    return QPolygonF(QVector<QPointF>(list));
}

// Stroke letters for the logo on a 4 x 6 grid.
QVector<QPolygonF> letterStrokes(QChar ch)
{
    switch (ch.unicode()) {
    case 0x041B: // Л
        return {pts({QPointF(0, 6), QPointF(0.6, 5.6), QPointF(1.4, 0), QPointF(4, 0), QPointF(4, 6)})};
    case 0x0410: // А
        return {pts({QPointF(0, 6), QPointF(2, 0), QPointF(4, 6)}),
                pts({QPointF(0.8, 3.7), QPointF(3.2, 3.7)})};
    case 0x041D: // Н
        return {pts({QPointF(0, 0), QPointF(0, 6)}), pts({QPointF(4, 0), QPointF(4, 6)}),
                pts({QPointF(0, 3), QPointF(4, 3)})};
    case 0x0422: // Т
        return {pts({QPointF(0, 0), QPointF(4, 0)}), pts({QPointF(2, 0), QPointF(2, 6)})};
    case 0x0420: // Р
        return {pts({QPointF(0, 6), QPointF(0, 0), QPointF(3, 0), QPointF(4, 0.8), QPointF(4, 2.4),
                           QPointF(3, 3.2), QPointF(0, 3.2)})};
    case 0x0415: // Е
        return {pts({QPointF(4, 0), QPointF(0, 0), QPointF(0, 6), QPointF(4, 6)}),
                pts({QPointF(0, 3), QPointF(3.2, 3)})};
    case '-':
        return {pts({QPointF(0.6, 3), QPointF(3.4, 3)})};
    default:
        return {};
    }
}

void strokeText(QPainter &p, const QString &text, const QPointF &origin, qreal unitX, qreal unitY,
                qreal advance, const QColor &c, qreal width)
{
    p.setPen(strokePen(c, width));
    p.setBrush(Qt::NoBrush);
    qreal x = origin.x();
    for (const QChar ch : text) {
        for (const QPolygonF &poly : letterStrokes(ch)) {
            QPolygonF scaled;
            for (const QPointF &pt : poly)
                scaled << QPointF(x + pt.x() * unitX, origin.y() + pt.y() * unitY);
            p.drawPolyline(scaled);
        }
        x += advance;
    }
}

// Shield with a vibration trace: the program's emblem.
void emblem(QPainter &p, const QRectF &r)
{
    QPainterPath shield;
    shield.moveTo(r.center().x(), r.top());
    shield.cubicTo(r.center().x() + r.width() * 0.25, r.top() + r.height() * 0.08, r.right(),
                   r.top() + r.height() * 0.1, r.right(), r.top() + r.height() * 0.12);
    shield.lineTo(r.right(), r.top() + r.height() * 0.45);
    shield.cubicTo(r.right(), r.top() + r.height() * 0.75, r.center().x() + r.width() * 0.2,
                   r.bottom() - r.height() * 0.08, r.center().x(), r.bottom());
    shield.cubicTo(r.center().x() - r.width() * 0.2, r.bottom() - r.height() * 0.08, r.left(),
                   r.top() + r.height() * 0.75, r.left(), r.top() + r.height() * 0.45);
    shield.lineTo(r.left(), r.top() + r.height() * 0.12);
    shield.cubicTo(r.left(), r.top() + r.height() * 0.1, r.center().x() - r.width() * 0.25,
                   r.top() + r.height() * 0.08, r.center().x(), r.top());
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, Blue.lighter(125));
    g.setColorAt(1, Blue.darker(120));
    p.setPen(outlinePen(qMax<qreal>(1.2, r.width() / 18)));
    p.setBrush(g);
    p.drawPath(shield);
    // fence posts and the vibration trace along the perimeter wire
    const QRectF inner(r.left() + r.width() * 0.18, r.top() + r.height() * 0.3, r.width() * 0.64,
                       r.height() * 0.34);
    wave(p, inner, Qt::white, qMax<qreal>(1.4, r.width() / 11), 2);
}

QVector<Picture> pictures()
{
    QVector<Picture> list;
    auto add = [&list](const char *name, int w, int h, Draw d) {
        list.append({QString::fromLatin1(name), w, h, std::move(d)});
    };

    // --- large pictures (drawn in their own pixel space)
    add("lantrel-logo.png", 192, 46, [](QPainter &p) {
        p.resetTransform();
        emblem(p, QRectF(3, 3, 36, 40));
        strokeText(p, QStringLiteral("ЛАНТРЕЛ"), QPointF(47, 7), 2.9, 4.0, 15.6, Blue.darker(130), 3.0);
        strokeText(p, QStringLiteral("-"), QPointF(156.5, 7), 2.2, 4.0, 10, Blue.darker(130), 3.0);
        strokeText(p, QStringLiteral("А"), QPointF(169, 7), 2.9, 4.0, 15.6, Blue.darker(130), 3.0);
        p.setPen(strokePen(Orange, 2.0));
        p.drawLine(QPointF(47, 38.5), QPointF(181, 38.5));
    });
    add("mainform.png", 48, 48, [](QPainter &p) {
        p.resetTransform();
        emblem(p, QRectF(5, 2, 38, 44));
    });

    // --- main window actions (24 x 24)
    add("exit.png", 24, 24, [](QPainter &p) {
        p.setPen(outlinePen());
        p.setBrush(QColor(0xb0, 0x7a, 0x45));
        p.drawRect(QRectF(3, 2.5, 11, 19));
        p.setPen(Qt::NoPen);
        p.setBrush(Outline);
        p.drawEllipse(QPointF(11.5, 12.5), 1.0, 1.0);
        arrow(p, QPointF(10, 12), QPointF(22, 12), Red, 3.0, 5);
    });
    add("device_connect.png", 24, 24, [](QPainter &p) {
        plug(p, 4.5, 12, Green);
        socket(p, 13.2, 12, Gray.lighter(110));
    });
    add("device_disconnect.png", 24, 24, [](QPainter &p) {
        plug(p, 3, 12, Gray.lighter(110));
        socket(p, 16.5, 12, Gray.lighter(110));
        p.setPen(strokePen(Red, 2.2));
        p.drawLine(QPointF(14.5, 5), QPointF(12.8, 9));
        p.drawLine(QPointF(12.8, 15), QPointF(14.5, 19));
    });
    add("get_config.png", 24, 24, [](QPainter &p) {
        chip(p, QRectF(3, 3, 10, 10));
        document(p, QRectF(11, 9, 10, 13));
        arrow(p, QPointF(8, 14), QPointF(8, 22), Green, 2.6, 4.5);
    });
    add("set_config.png", 24, 24, [](QPainter &p) {
        chip(p, QRectF(3, 3, 10, 10));
        document(p, QRectF(11, 9, 10, 13));
        arrow(p, QPointF(8, 22.5), QPointF(8, 14.5), Blue, 2.6, 4.5);
    });
    add("save_flash.png", 24, 24, [](QPainter &p) {
        memoryCard(p, QRectF(4, 10, 16, 12));
        arrow(p, QPointF(12, 1), QPointF(12, 13), Blue, 3.0, 5);
    });
    add("read_flash.png", 24, 24, [](QPainter &p) {
        memoryCard(p, QRectF(4, 10, 16, 12));
        arrow(p, QPointF(12, 14), QPointF(12, 1.5), Green, 3.0, 5);
    });
    add("erase_flash.png", 24, 24, [](QPainter &p) {
        memoryCard(p, QRectF(2, 8, 16, 13));
        badgeCross(p, QPointF(17, 7), 5.5);
    });
    add("restart.png", 24, 24, [](QPainter &p) {
        circularArrow(p, QPointF(12, 12.5), 7.5, Orange, 3.0);
    });
    add("config_modules.png", 24, 24, [](QPainter &p) {
        p.setPen(strokePen(Outline, 1.4));
        p.drawLine(QPointF(2, 18.5), QPointF(22, 18.5));
        moduleBox(p, QRectF(2, 14, 5.5, 7), Blue);
        moduleBox(p, QRectF(9.25, 14, 5.5, 7), Blue);
        moduleBox(p, QRectF(16.5, 14, 5.5, 7), Blue);
        document(p, QRectF(3, 1.5, 8, 10));
        arrow(p, QPointF(12, 6.5), QPointF(22, 6.5), Blue, 2.6, 4.5);
    });
    add("save_config.png", 24, 24, [](QPainter &p) {
        QPainterPath body;
        body.moveTo(3, 3);
        body.lineTo(18, 3);
        body.lineTo(21, 6);
        body.lineTo(21, 21);
        body.lineTo(3, 21);
        body.closeSubpath();
        p.setPen(outlinePen());
        p.setBrush(Blue);
        p.drawPath(body);
        p.setBrush(Paper);
        p.drawRect(QRectF(6.5, 3, 10, 6.5));
        p.setBrush(ChipBody);
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(13, 4.2, 2.3, 4));
        p.setPen(outlinePen(1.0));
        p.setBrush(Paper);
        p.drawRect(QRectF(6, 13, 12, 8));
    });
    add("load_config.png", 24, 24, [](QPainter &p) {
        folder(p, QRectF(2, 7, 19, 14), true);
        arrow(p, QPointF(16, 11), QPointF(16, 1.5), Green, 2.6, 4.5);
    });
    add("firmware_update.png", 24, 24, [](QPainter &p) {
        chip(p, QRectF(4, 7, 13, 13));
        disc(p, QPointF(17.5, 6.5), 5.5, Green);
        arrow(p, QPointF(17.5, 10), QPointF(17.5, 2.5), Qt::white, 2.0, 3.2);
    });
    add("state_viewer.png", 24, 24, [](QPainter &p) {
        p.setPen(outlinePen());
        p.setBrush(ChipBody);
        p.drawRoundedRect(QRectF(2, 3, 20, 15), 1.5, 1.5);
        const QColor cells[] = {Green, Green, Red, Green, Yellow, Green, Green, Gray, Green};
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 9; ++i) {
            p.setBrush(cells[i]);
            p.drawRect(QRectF(4.2 + (i % 3) * 5.4, 5 + (i / 3) * 4, 4.4, 3));
        }
        p.setPen(outlinePen());
        p.drawLine(QPointF(12, 18), QPointF(12, 21));
        p.drawLine(QPointF(7, 21.5), QPointF(17, 21.5));
    });
    add("samples_viewer.png", 24, 24, [](QPainter &p) {
        p.setPen(outlinePen());
        p.setBrush(Paper);
        p.drawRect(QRectF(2.5, 2.5, 19, 19));
        p.setPen(strokePen(LightBlue, 0.8));
        for (int i = 1; i < 4; ++i) {
            p.drawLine(QPointF(2.5 + i * 4.75, 3), QPointF(2.5 + i * 4.75, 21));
            p.drawLine(QPointF(3, 2.5 + i * 4.75), QPointF(21, 2.5 + i * 4.75));
        }
        QPolygonF trace;
        trace << QPointF(3.5, 16) << QPointF(6, 13) << QPointF(8, 17) << QPointF(10.5, 7) << QPointF(13, 15)
              << QPointF(15.5, 11) << QPointF(18, 13) << QPointF(20.5, 9);
        p.setPen(strokePen(Red, 1.7));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(trace);
    });

    // --- page tree (24 x 24)
    add("controller_24.png", 24, 24, [](QPainter &p) { chip(p, QRectF(5, 5, 14, 14)); });
    add("line_module_24.png", 24, 24, [](QPainter &p) {
        p.setPen(strokePen(Outline, 1.6));
        p.drawLine(QPointF(1, 12), QPointF(23, 12));
        moduleBox(p, QRectF(1.5, 7, 6, 10), Blue);
        moduleBox(p, QRectF(9, 7, 6, 10), Green);
        moduleBox(p, QRectF(16.5, 7, 6, 10), Orange);
    });
    auto sensor = [](QPainter &p, bool ir) {
        moduleBox(p, QRectF(3, 3, 18, 18), Blue);
        wave(p, QRectF(5.5, 10, 13, 8), Outline, 1.8, 2);
        if (ir) {
            p.setPen(Qt::NoPen);
            p.setBrush(Red);
            p.drawEllipse(QPointF(17.5, 6.5), 2.8, 2.8);
            p.setPen(strokePen(Red, 1.2));
            p.drawLine(QPointF(20.5, 3), QPointF(23, 0.8));
            p.drawLine(QPointF(21.5, 6.5), QPointF(24, 6.5));
        }
    };
    auto ioModule = [](QPainter &p) {
        moduleBox(p, QRectF(5, 3, 14, 18), Green);
        arrow(p, QPointF(0.5, 11), QPointF(9.5, 11), Blue, 2.2, 3.8);
        arrow(p, QPointF(14.5, 16), QPointF(23.5, 16), Orange, 2.2, 3.8);
    };
    auto scpModule = [](QPainter &p) {
        moduleBox(p, QRectF(3, 3, 18, 18), Orange);
        QPolygonF bolt;
        bolt << QPointF(13.5, 8) << QPointF(8.5, 15) << QPointF(11.8, 15) << QPointF(10.5, 20.5)
             << QPointF(15.8, 13) << QPointF(12.5, 13) << QPointF(13.5, 8);
        p.setPen(outlinePen(0.9));
        p.setBrush(Yellow);
        p.drawPolygon(bolt);
    };
    auto relayModule = [](QPainter &p) {
        moduleBox(p, QRectF(3, 3, 18, 18), ChipBody.lighter(140));
        p.setPen(strokePen(Outline, 1.8));
        p.drawLine(QPointF(6, 16), QPointF(9, 16));
        p.drawLine(QPointF(9, 16), QPointF(15, 11));
        p.drawLine(QPointF(15, 16), QPointF(18, 16));
        p.setPen(Qt::NoPen);
        p.setBrush(Outline);
        p.drawEllipse(QPointF(9, 16), 1.4, 1.4);
        p.drawEllipse(QPointF(15, 16), 1.4, 1.4);
    };
    add("sensor_24.png", 24, 24, [sensor](QPainter &p) { sensor(p, false); });
    add("io_module_24.png", 24, 24, ioModule);
    add("scp_module_24.png", 24, 24, scpModule);
    add("relay_module_24.png", 24, 24, relayModule);
    add("interactions_24.png", 24, 24, [](QPainter &p) {
        p.setPen(strokePen(Outline, 1.4));
        disc(p, QPointF(6, 6.5), 4, Blue);
        disc(p, QPointF(6, 17.5), 4, Green);
        moduleBox(p, QRectF(15, 8, 7.5, 8), ChipBody.lighter(140));
        arrow(p, QPointF(9.5, 8.2), QPointF(15, 11), Outline, 1.6, 3.2);
        arrow(p, QPointF(9.5, 15.8), QPointF(15, 13), Outline, 1.6, 3.2);
    });
    add("sensor_ir_24.png", 24, 24, [sensor](QPainter &p) { sensor(p, true); });

    // --- status bar and small pictures (16 x 16, drawn on the 24 grid)
    add("online.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10.5, Green);
        plugGlyph(p, Qt::white);
    });
    add("offline.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10.5, Gray);
        plugGlyph(p, Qt::white);
        p.setPen(strokePen(Red, 2.6));
        p.drawLine(QPointF(5.5, 5.5), QPointF(18.5, 18.5));
    });
    add("exclamation.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10.5, Red);
        exclamationMark(p, QPointF(12, 12), 14, Qt::white);
    });
    add("warning.png", 16, 16, [](QPainter &p) { warningTriangle(p, QRectF(1.5, 2, 21, 20)); });
    add("delete.png", 16, 16, [](QPainter &p) { badgeCross(p, QPointF(12, 12), 10.5); });
    add("line_standby.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10, Gray);
        p.setPen(strokePen(Qt::white, 2.2));
        p.drawLine(QPointF(7, 12), QPointF(17, 12));
    });
    add("line_pause.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10, Yellow);
        p.setPen(strokePen(Outline, 2.6));
        p.drawLine(QPointF(9.3, 7.5), QPointF(9.3, 16.5));
        p.drawLine(QPointF(14.7, 7.5), QPointF(14.7, 16.5));
    });
    add("line_not_ready.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10, Orange);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(QPointF(7 + i * 5, 12), 1.7, 1.7);
    });
    add("line_normal.png", 16, 16, [](QPainter &p) { badgeCheck(p, QPointF(12, 12), 10); });
    add("line_stop.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10, Red);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(8, 8, 8, 8));
    });
    add("hardware-search.png", 16, 16, [](QPainter &p) {
        // At 16 pixels the full chip blurs into a dark blot: two thick pins
        // a side, a lighter body and a large lens keep it readable.
        p.setPen(strokePen(Outline, 1.6));
        for (qreal t : {6.0, 10.0}) {
            p.drawLine(QPointF(t, 0.5), QPointF(t, 3));
            p.drawLine(QPointF(0.5, t), QPointF(3, t));
        }
        p.setPen(outlinePen(1.4));
        p.setBrush(ChipBody.lighter(125));
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 1.5, 1.5);
        p.setPen(strokePen(Outline, 3.6));
        p.drawLine(QPointF(18.5, 18.5), QPointF(22.5, 22.5));
        p.setPen(outlinePen(2.0));
        p.setBrush(QColor(0xe8, 0xf3, 0xfd));
        p.drawEllipse(QPointF(14.5, 14.5), 5.6, 5.6);
    });
    add("update_ports.png", 16, 16, [](QPainter &p) { refreshArrows(p, QPointF(12, 12), 8, Green, 3.0); });
    add("open_file.png", 16, 16, [](QPainter &p) { folder(p, QRectF(1.5, 4, 20, 16), true); });
    add("question.png", 16, 16, [](QPainter &p) {
        disc(p, QPointF(12, 12), 10.5, Blue);
        questionMark(p, QPointF(12, 12), 15, Qt::white);
    });
    add("ok.png", 16, 16, [](QPainter &p) { badgeCheck(p, QPointF(12, 12), 10.5); });
    add("row_add.png", 16, 16, [](QPainter &p) {
        table(p, QRectF(1.5, 2, 17, 15));
        badgePlus(p, QPointF(16.5, 16.5), 6.5);
    });
    add("row_change.png", 16, 16, [](QPainter &p) {
        table(p, QRectF(1.5, 2, 17, 15));
        disc(p, QPointF(16.5, 16.5), 6.5, Blue);
        refreshArrows(p, QPointF(16.5, 16.5), 3.6, Qt::white, 1.6);
    });
    add("row_edit.png", 16, 16, [](QPainter &p) {
        table(p, QRectF(1.5, 2, 17, 15));
        pencil(p, QPointF(10, 22), 15);
    });

    // --- line modules page
    add("find_modules.png", 24, 24, [](QPainter &p) {
        moduleBox(p, QRectF(2, 2, 9, 12), Blue);
        moduleBox(p, QRectF(8, 6, 9, 12), Green);
        magnifier(p, QPointF(14, 13), 5.5);
    });
    add("addressing_modules.png", 24, 24, [](QPainter &p) {
        moduleBox(p, QRectF(2, 4, 13, 17), Blue);
        // address tag with a number sign
        p.setPen(outlinePen(1.1));
        p.setBrush(Yellow);
        QPolygonF tag;
        tag << QPointF(12, 2) << QPointF(21, 2) << QPointF(23, 6.5) << QPointF(21, 11) << QPointF(12, 11);
        p.drawPolygon(tag);
        p.setPen(strokePen(Outline, 1.1));
        p.drawLine(QPointF(15, 4), QPointF(14.3, 9));
        p.drawLine(QPointF(18, 4), QPointF(17.3, 9));
        p.drawLine(QPointF(13.6, 5.5), QPointF(19.4, 5.5));
        p.drawLine(QPointF(13.3, 7.6), QPointF(19.1, 7.6));
    });
    add("delete_modules.png", 24, 24, [](QPainter &p) {
        moduleBox(p, QRectF(2, 2, 9, 12), Blue);
        moduleBox(p, QRectF(6, 6, 9, 12), Green);
        badgeCross(p, QPointF(16.5, 16.5), 6.5);
    });
    add("stop.png", 24, 24, [](QPainter &p) {
        QPolygonF oct;
        for (int i = 0; i < 8; ++i) {
            const qreal a = (22.5 + 45 * i) * M_PI / 180;
            oct << QPointF(12 + 10.5 * std::cos(a), 12 + 10.5 * std::sin(a));
        }
        p.setPen(outlinePen(1.3));
        p.setBrush(Red);
        p.drawPolygon(oct);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6, 10.3, 12, 3.4));
    });
    add("arrow_right.png", 20, 20, [](QPainter &p) { arrow(p, QPointF(2.5, 12), QPointF(21.5, 12), Green, 5, 9); });

    // --- device-type pictures (16 x 16)
    add("sensor.png", 16, 16, [sensor](QPainter &p) { sensor(p, false); });
    add("sensor_ir.png", 16, 16, [sensor](QPainter &p) { sensor(p, true); });
    add("io_module.png", 16, 16, ioModule);
    add("scp_module.png", 16, 16, scpModule);
    add("relay_module.png", 16, 16, relayModule);
    return list;
}

bool render(const Picture &pic, const QString &dir)
{
    QImage image(pic.width, pic.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(pic.width / 24.0, pic.height / 24.0);
        pic.draw(p);
    }
    return image.save(dir + QLatin1Char('/') + pic.name, "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    int failed = 0;
    for (const Picture &pic : pictures()) {
        if (!render(pic, dir)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(pic.name));
            ++failed;
        }
    }
    return failed ? 1 : 0;
}
