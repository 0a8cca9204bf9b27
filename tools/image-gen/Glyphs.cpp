#include "Glyphs.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace Glyphs {

void setStroke(QPainter &p, const QColor &color, qreal width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
}

void minimise(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    const qreal y = box.center().y();
    p.drawLine(QPointF(box.left(), y), QPointF(box.right(), y));
}

void maximise(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    p.drawRoundedRect(box, 1.5, 1.5);
}

void restore(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    const qreal s = box.width() * 0.72;
    const QRectF front(box.left(), box.bottom() - s, s, s);
    p.drawRoundedRect(front, 1.5, 1.5);
    // The back window shows only where the front one does not cover it.
    QPainterPath back;
    back.moveTo(box.left() + box.width() - s, front.top());
    back.lineTo(box.left() + box.width() - s, box.top());
    back.lineTo(box.right(), box.top());
    back.lineTo(box.right(), box.top() + s);
    back.lineTo(front.right(), box.top() + s);
    p.drawPath(back);
}

void cross(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
}

void tick(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    QPainterPath path;
    path.moveTo(box.left(), box.top() + box.height() * 0.55);
    path.lineTo(box.left() + box.width() * 0.38, box.bottom());
    path.lineTo(box.right(), box.top());
    p.drawPath(path);
}

void play(QPainter &p, const QRectF &box, const QColor &color)
{
    QPainterPath path;
    path.moveTo(box.left() + box.width() * 0.12, box.top());
    path.lineTo(box.right(), box.center().y());
    path.lineTo(box.left() + box.width() * 0.12, box.bottom());
    path.closeSubpath();
    p.setPen(QPen(color, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(color);
    p.drawPath(path);
}

void pause(QPainter &p, const QRectF &box, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const qreal bar = box.width() * 0.32;
    p.drawRoundedRect(QRectF(box.left(), box.top(), bar, box.height()), 1, 1);
    p.drawRoundedRect(QRectF(box.right() - bar, box.top(), bar, box.height()), 1, 1);
}

void speaker(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool muted)
{
    const qreal w = box.width();
    const qreal h = box.height();
    QPainterPath body;
    body.moveTo(box.left(), box.top() + h * 0.34);
    body.lineTo(box.left() + w * 0.22, box.top() + h * 0.34);
    body.lineTo(box.left() + w * 0.48, box.top() + h * 0.08);
    body.lineTo(box.left() + w * 0.48, box.bottom() - h * 0.08);
    body.lineTo(box.left() + w * 0.22, box.bottom() - h * 0.34);
    body.lineTo(box.left(), box.bottom() - h * 0.34);
    body.closeSubpath();
    p.setPen(QPen(color, width * 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(color);
    p.drawPath(body);

    setStroke(p, color, width);
    if (muted) {
        const QRectF x(box.left() + w * 0.66, box.top() + h * 0.34, w * 0.3, h * 0.32);
        p.drawLine(x.topLeft(), x.bottomRight());
        p.drawLine(x.topRight(), x.bottomLeft());
    } else {
        const QPointF c(box.left() + w * 0.48, box.center().y());
        for (qreal r : {w * 0.24, w * 0.44}) {
            const QRectF arc(c.x() - r, c.y() - r, 2 * r, 2 * r);
            p.drawArc(arc, -45 * 16, 90 * 16);
        }
    }
}

void corners(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool outward)
{
    setStroke(p, color, width);
    const qreal l = box.width() * 0.34;
    const QPointF pts[4] = {box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft()};
    const int dx[4] = {1, -1, -1, 1};
    const int dy[4] = {1, 1, -1, -1};
    for (int i = 0; i < 4; ++i) {
        // Outward corners sit on the box corner; inward ones are mirrored inside.
        const QPointF c = outward ? pts[i] : pts[i] + QPointF(dx[i] * l, dy[i] * l);
        const int sx = outward ? dx[i] : -dx[i];
        const int sy = outward ? dy[i] : -dy[i];
        QPainterPath path;
        path.moveTo(c + QPointF(sx * l, 0));
        path.lineTo(c);
        path.lineTo(c + QPointF(0, sy * l));
        p.drawPath(path);
    }
}

void book(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool filled)
{
    // An open course screen with a play mark.
    setStroke(p, color, width);
    const QRectF screen(box.left(), box.top(), box.width(), box.height() * 0.78);
    if (filled)
        p.setBrush(color);
    p.drawRoundedRect(screen, 3, 3);
    p.drawLine(QPointF(box.left() + box.width() * 0.28, box.bottom()),
               QPointF(box.right() - box.width() * 0.28, box.bottom()));
    const qreal s = screen.height() * 0.42;
    const QRectF tri(screen.center().x() - s * 0.4, screen.center().y() - s / 2, s * 0.9, s);
    play(p, tri, filled ? QColor(kWhite) : color);
}

void download(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    const qreal cx = box.center().x();
    p.drawLine(QPointF(cx, box.top()), QPointF(cx, box.top() + box.height() * 0.62));
    QPainterPath head;
    head.moveTo(cx - box.width() * 0.26, box.top() + box.height() * 0.38);
    head.lineTo(cx, box.top() + box.height() * 0.64);
    head.lineTo(cx + box.width() * 0.26, box.top() + box.height() * 0.38);
    p.drawPath(head);
    QPainterPath tray;
    tray.moveTo(box.left(), box.top() + box.height() * 0.66);
    tray.lineTo(box.left(), box.bottom());
    tray.lineTo(box.right(), box.bottom());
    tray.lineTo(box.right(), box.top() + box.height() * 0.66);
    p.drawPath(tray);
}

void person(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool filled)
{
    setStroke(p, color, width);
    if (filled)
        p.setBrush(color);
    const qreal r = box.width() * 0.22;
    p.drawEllipse(QPointF(box.center().x(), box.top() + r + width / 2), r, r);
    QPainterPath shoulders;
    const qreal top = box.top() + box.height() * 0.58;
    shoulders.moveTo(box.left() + width / 2, box.bottom());
    shoulders.cubicTo(box.left() + width / 2, top, box.right() - width / 2, top,
                      box.right() - width / 2, box.bottom());
    shoulders.closeSubpath();
    p.drawPath(shoulders);
}

void bubble(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool filled)
{
    setStroke(p, color, width);
    if (filled)
        p.setBrush(color);
    const QRectF body(box.left(), box.top(), box.width(), box.height() * 0.78);
    QPainterPath path;
    path.addRoundedRect(body, 5, 5);
    QPainterPath tail;
    tail.moveTo(body.left() + body.width() * 0.22, body.bottom() - 1);
    tail.lineTo(body.left() + body.width() * 0.18, box.bottom());
    tail.lineTo(body.left() + body.width() * 0.42, body.bottom() - 1);
    path = path.united(tail);
    p.drawPath(path);
    const QColor dots = filled ? QColor(kWhite) : color;
    p.setPen(Qt::NoPen);
    p.setBrush(dots);
    const qreal r = width * 0.75;
    for (int i = -1; i <= 1; ++i)
        p.drawEllipse(QPointF(body.center().x() + i * body.width() * 0.24, body.center().y()), r,
                      r);
}

void lock(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    const QRectF body(box.left(), box.top() + box.height() * 0.42, box.width(),
                      box.height() * 0.58);
    p.drawRoundedRect(body, 2, 2);
    const qreal r = box.width() * 0.3;
    QPainterPath shackle;
    shackle.moveTo(box.center().x() - r, body.top());
    shackle.lineTo(box.center().x() - r, box.top() + r);
    shackle.arcTo(QRectF(box.center().x() - r, box.top(), 2 * r, 2 * r), 180, -180);
    shackle.lineTo(box.center().x() + r, body.top());
    p.drawPath(shackle);
    p.drawLine(QPointF(box.center().x(), body.top() + body.height() * 0.35),
               QPointF(box.center().x(), body.top() + body.height() * 0.65));
}

void pencil(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    const qreal s = qMin(box.width(), box.height());
    const QRectF sq(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
    QPainterPath path;
    path.moveTo(sq.left() + s * 0.12, sq.bottom() - s * 0.12);
    path.lineTo(sq.left() + s * 0.18, sq.bottom() - s * 0.36);
    path.lineTo(sq.right() - s * 0.32, sq.top() + s * 0.1);
    path.lineTo(sq.right() - s * 0.1, sq.top() + s * 0.32);
    path.lineTo(sq.left() + s * 0.36, sq.bottom() - s * 0.18);
    path.closeSubpath();
    p.drawPath(path);
    p.drawLine(QPointF(sq.right() - s * 0.42, sq.top() + s * 0.2),
               QPointF(sq.right() - s * 0.2, sq.top() + s * 0.42));
}

void clock(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    p.drawEllipse(box);
    const QPointF c = box.center();
    p.drawLine(c, QPointF(c.x(), box.top() + box.height() * 0.24));
    p.drawLine(c, QPointF(c.x() + box.width() * 0.2, c.y() + box.height() * 0.12));
}

void chevron(QPainter &p, const QRectF &box, const QColor &color, qreal width, int direction)
{
    // direction: 0 down, 1 left.
    setStroke(p, color, width);
    QPainterPath path;
    if (direction == 0) {
        path.moveTo(box.left(), box.top() + box.height() * 0.25);
        path.lineTo(box.center().x(), box.bottom() - box.height() * 0.25);
        path.lineTo(box.right(), box.top() + box.height() * 0.25);
    } else {
        path.moveTo(box.right() - box.width() * 0.25, box.top());
        path.lineTo(box.left() + box.width() * 0.25, box.center().y());
        path.lineTo(box.right() - box.width() * 0.25, box.bottom());
    }
    p.drawPath(path);
}

void plus(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    setStroke(p, color, width);
    p.drawLine(QPointF(box.center().x(), box.top()), QPointF(box.center().x(), box.bottom()));
    p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
}

void brandMark(QPainter &p, const QRectF &box)
{
    // Teal tile with a white medical cross and an orange play notch.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(kAccent));
    const qreal radius = box.width() * 0.22;
    p.drawRoundedRect(box, radius, radius);
    const qreal arm = box.width() * 0.18;
    const QPointF c = box.center();
    p.setBrush(QColor(kWhite));
    p.drawRoundedRect(
        QRectF(c.x() - arm / 2, box.top() + box.height() * 0.2, arm, box.height() * 0.6), arm * 0.2,
        arm * 0.2);
    p.drawRoundedRect(
        QRectF(box.left() + box.width() * 0.2, c.y() - arm / 2, box.width() * 0.6, arm), arm * 0.2,
        arm * 0.2);
    p.setBrush(QColor(kOrange));
    const qreal dot = box.width() * 0.11;
    p.drawEllipse(QPointF(box.right() - box.width() * 0.2, box.top() + box.height() * 0.2), dot,
                  dot);
}

void text(QPainter &p, const QRectF &box, const QString &text, const QColor &color, qreal pixelSize,
          bool bold, int flags)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    p.setFont(font);
    p.setPen(color);
    p.drawText(box, flags, text);
}

} // namespace Glyphs
