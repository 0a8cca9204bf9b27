#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// Flat line-art glyphs shared by the image set. Every glyph is drawn in
// logical pixels inside the given box; the caller scales the painter for 2x.
namespace Glyphs {

constexpr QRgb kAccent = 0xff1f8784;
constexpr QRgb kAccent2 = 0xff01a39e;
constexpr QRgb kOrange = 0xfffe8619;
constexpr QRgb kGrey = 0xff9aa0a8;
constexpr QRgb kDarkGrey = 0xff666b73;
constexpr QRgb kLight = 0xffd5d8de;
constexpr QRgb kWhite = 0xffffffff;

void setStroke(QPainter &p, const QColor &color, qreal width);
void minimise(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void maximise(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void restore(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void cross(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void tick(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void play(QPainter &p, const QRectF &box, const QColor &color);
void pause(QPainter &p, const QRectF &box, const QColor &color);
void speaker(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool muted);
void corners(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool outward);
void book(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool filled);
void download(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void person(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool filled);
void bubble(QPainter &p, const QRectF &box, const QColor &color, qreal width, bool filled);
void lock(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void pencil(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void clock(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void chevron(QPainter &p, const QRectF &box, const QColor &color, qreal width, int direction);
void plus(QPainter &p, const QRectF &box, const QColor &color, qreal width);
void brandMark(QPainter &p, const QRectF &box);
void text(QPainter &p, const QRectF &box, const QString &text, const QColor &color, qreal pixelSize,
          bool bold = false, int flags = 0x0084 /* AlignCenter */);

} // namespace Glyphs
