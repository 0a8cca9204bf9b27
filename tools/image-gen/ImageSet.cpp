#include "ImageSet.h"

#include "Glyphs.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

using namespace Glyphs;

namespace {

// Title-bar buttons: a grey glyph, and on hover the glyph in white on a
// filled disc of the accent (orange for close).
ImageEntry titleButton(const QString &name, int size, qreal glyph,
                       void (*draw)(QPainter &, const QRectF &, const QColor &, qreal),
                       const QColor &color, const QColor &disc)
{
    return {name, QSize(size, size), [=](QPainter &p) {
                const QPointF c(size / 2.0, size / 2.0);
                QColor ink = color;
                if (disc.isValid()) {
                    p.setPen(Qt::NoPen);
                    p.setBrush(disc);
                    p.drawEllipse(c, size * 0.4, size * 0.4);
                    ink = QColor(kWhite);
                }
                draw(p, QRectF(c.x() - glyph / 2, c.y() - glyph / 2, glyph, glyph), ink, 1.6);
            }};
}

// Player control-bar buttons on the dark bar: light grey, light teal on hover.
ImageEntry playerButton(const QString &name, bool hover,
                        std::function<void(QPainter &, const QRectF &, const QColor &)> draw)
{
    return {name, QSize(24, 24), [=](QPainter &p) {
                draw(p, QRectF(5, 5, 14, 14), hover ? QColor(kAccent2) : QColor(kLight));
            }};
}

enum class NavState {
    Normal,
    Hover,
    Checked
};

// Navigation bar: glyph above a caption, 60 by 60.
ImageEntry navButton(const QString &name, NavState state, const QString &caption,
                     void (*draw)(QPainter &, const QRectF &, const QColor &, qreal, bool))
{
    return {name, QSize(60, 60), [=](QPainter &p) {
                QColor ink = state == NavState::Normal  ? QColor(kGrey)
                             : state == NavState::Hover ? QColor(kAccent2)
                                                        : QColor(kAccent);
                draw(p, QRectF(17, 8, 26, 24), ink, 2.0, state == NavState::Checked);
                text(p, QRectF(0, 36, 60, 18), caption, ink, 12, state == NavState::Checked);
            }};
}

void drawDownloadNav(QPainter &p, const QRectF &box, const QColor &c, qreal w, bool filled)
{
    if (filled) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(c.red(), c.green(), c.blue(), 40));
        p.drawRoundedRect(box.adjusted(-3, -3, 3, 3), 5, 5);
    }
    download(p, box.adjusted(2, 0, -2, 0), c, w);
}

void drawCheck(QPainter &p, bool checked)
{
    const QRectF box(1.5, 1.5, 13, 13);
    if (checked) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(kAccent));
        p.drawRoundedRect(box.adjusted(-0.5, -0.5, 0.5, 0.5), 2.5, 2.5);
        tick(p, QRectF(4.5, 5, 7, 6), QColor(kWhite), 1.6);
    } else {
        p.setPen(QPen(QColor(0xc3, 0xc3, 0xc3), 1));
        p.setBrush(QColor(kWhite));
        p.drawRoundedRect(box, 2.5, 2.5);
    }
}

void drawRadio(QPainter &p, bool checked)
{
    const QPointF c(8, 8);
    p.setPen(QPen(checked ? QColor(kAccent) : QColor(0xc3, 0xc3, 0xc3), 1.2));
    p.setBrush(QColor(kWhite));
    p.drawEllipse(c, 6.5, 6.5);
    if (checked) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(kAccent));
        p.drawEllipse(c, 3.6, 3.6);
    }
}

// Status marks over the dark tile veil: white line art in 32 by 32.
ImageEntry tileMark(const QString &name, std::function<void(QPainter &)> draw)
{
    return {name, QSize(32, 32), draw};
}

QVector<ImageEntry> buildEntries()
{
    QVector<ImageEntry> list;
    const QColor grey(kGrey);
    const QColor none;
    const QColor pGrey(kGrey);

    // Main window title bar, 30 by 30.
    list << titleButton("min", 30, 11, minimise, grey, none)
         << titleButton("min_h", 30, 11, minimise, grey, QColor(kAccent))
         << titleButton("max", 30, 11, maximise, grey, none)
         << titleButton("max_h", 30, 11, maximise, grey, QColor(kAccent))
         << titleButton("normal", 30, 11, restore, grey, none)
         << titleButton("normal_h", 30, 11, restore, grey, QColor(kAccent))
         << titleButton("close", 30, 10, cross, grey, none)
         << titleButton("close_h", 30, 10, cross, grey, QColor(kOrange))
         << titleButton("close_m", 30, 11, cross, QColor(0x99, 0x99, 0x99), none);

    // Player window title bar, 35 by 35; p_close is also the 12 by 12 banner close,
    // so its glyph stays inside the central 10 pixels.
    list << titleButton("p_min", 35, 11, minimise, pGrey, none)
         << titleButton("p_max", 35, 11, maximise, pGrey, none)
         << titleButton("p_normal", 35, 11, restore, pGrey, none)
         << titleButton("p_close", 35, 8, cross, pGrey, none);

    // Player control bar, 24 by 24.
    for (bool hover : {false, true}) {
        const QString h = hover ? "_h" : "";
        list << playerButton("play" + h, hover, [](QPainter &p, const QRectF &b, const QColor &c) {
            play(p, b.adjusted(1.5, 0, 0.5, 0), c);
        });
        list << playerButton("spend" + h, hover, [](QPainter &p, const QRectF &b, const QColor &c) {
            pause(p, b.adjusted(1.5, 0, -1.5, 0), c);
        });
        list << playerButton("voice" + h, hover, [](QPainter &p, const QRectF &b, const QColor &c) {
            speaker(p, b.adjusted(-1, 0, 1, 0), c, 1.6, false);
        });
        list << playerButton("voice_j" + h, hover,
                             [](QPainter &p, const QRectF &b, const QColor &c) {
                                 speaker(p, b.adjusted(-1, 0, 1, 0), c, 1.6, true);
                             });
        list << playerButton(
            "fullscreen" + h, hover,
            [](QPainter &p, const QRectF &b, const QColor &c) { corners(p, b, c, 1.8, true); });
        list << playerButton(
            "recovery" + h, hover,
            [](QPainter &p, const QRectF &b, const QColor &c) { corners(p, b, c, 1.8, false); });
    }
    list << ImageEntry{"btnBigStart", QSize(80, 80), [](QPainter &p) {
                           p.setPen(Qt::NoPen);
                           p.setBrush(QColor(0x1f, 0x87, 0x84, 220));
                           p.drawEllipse(QPointF(40, 40), 36, 36);
                           p.setPen(QPen(QColor(kWhite), 2));
                           p.setBrush(Qt::NoBrush);
                           p.drawEllipse(QPointF(40, 40), 36, 36);
                           play(p, QRectF(31, 26, 26, 28), QColor(kWhite));
                       }};

    // Navigation bar, 60 by 60.
    const QString classText = QStringLiteral("课程");
    const QString downText = QStringLiteral("下载");
    const QString userText = QStringLiteral("我的");
    const QString qaText = QStringLiteral("答疑");
    list << navButton("btnClass", NavState::Normal, classText, book)
         << navButton("btnClassHover", NavState::Hover, classText, book)
         << navButton("btnClassDis", NavState::Checked, classText, book)
         << navButton("btnDownload", NavState::Normal, downText, drawDownloadNav)
         << navButton("btnDownloadHover", NavState::Hover, downText, drawDownloadNav)
         << navButton("btnDownloadDis", NavState::Checked, downText, drawDownloadNav)
         << navButton("btnUser", NavState::Normal, userText, person)
         << navButton("btnUserHover", NavState::Hover, userText, person)
         << navButton("btnUserDis", NavState::Checked, userText, person)
         << navButton("btnQA", NavState::Normal, qaText, bubble)
         << navButton("btnQAHover", NavState::Hover, qaText, bubble)
         << navButton("btnQADis", NavState::Checked, qaText, bubble);

    // Check and radio indicators, 16 by 16.
    list << ImageEntry{"ck", QSize(16, 16), [](QPainter &p) { drawCheck(p, true); }}
         << ImageEntry{"ckun", QSize(16, 16), [](QPainter &p) { drawCheck(p, false); }}
         << ImageEntry{"rd", QSize(16, 16), [](QPainter &p) { drawRadio(p, true); }}
         << ImageEntry{"rdun", QSize(16, 16), [](QPainter &p) { drawRadio(p, false); }};

    // Download states in lists, 16 by 16.
    list << ImageEntry{"downing", QSize(16, 16),
                       [](QPainter &p) {
                           download(p, QRectF(2.5, 2, 11, 12), QColor(kAccent2), 1.5);
                       }}
         << ImageEntry{"done", QSize(16, 16), [](QPainter &p) {
                           p.setPen(Qt::NoPen);
                           p.setBrush(QColor(kAccent));
                           p.drawEllipse(QPointF(8, 8), 7, 7);
                           tick(p, QRectF(4.5, 5.5, 7, 5.5), QColor(kWhite), 1.5);
                       }};

    // Branding.
    list << ImageEntry{"logo", QSize(139, 34),
                       [](QPainter &p) {
                           brandMark(p, QRectF(2, 3, 28, 28));
                           const QString name = QStringLiteral("Lumra医考网校");
                           qreal px = 17;
                           for (; px > 10; px -= 0.5) {
                               QFont f(QStringLiteral("WenQuanYi Micro Hei"));
                               f.setPixelSize(qRound(px));
                               f.setBold(true);
                               if (QFontMetricsF(f).horizontalAdvance(name) <= 102)
                                   break;
                           }
                           text(p, QRectF(36, 0, 103, 34), name, QColor(kAccent), px, true,
                                Qt::AlignLeft | Qt::AlignVCenter);
                       }}
         << ImageEntry{"16_16", QSize(16, 16), [](QPainter &p) { ImageSet::drawAppIcon(p, 16); }};

    // Account page.
    list << ImageEntry{"bar", QSize(600, 120),
                       [](QPainter &p) {
                           QLinearGradient g(0, 0, 600, 0);
                           g.setColorAt(0, QColor(kAccent));
                           g.setColorAt(1, QColor(kAccent2));
                           p.fillRect(QRectF(0, 0, 600, 120), g);
                           p.setPen(Qt::NoPen);
                           p.setBrush(QColor(255, 255, 255, 22));
                           QPainterPath wave;
                           wave.moveTo(0, 90);
                           wave.cubicTo(150, 60, 300, 120, 600, 70);
                           wave.lineTo(600, 120);
                           wave.lineTo(0, 120);
                           wave.closeSubpath();
                           p.drawPath(wave);
                           p.setBrush(QColor(254, 134, 25, 60));
                           QPainterPath band;
                           band.moveTo(0, 108);
                           band.cubicTo(200, 96, 380, 124, 600, 104);
                           band.lineTo(600, 120);
                           band.lineTo(0, 120);
                           band.closeSubpath();
                           p.drawPath(band);
                       }}
         << ImageEntry{"alterpwd", QSize(30, 25),
                       [](QPainter &p) { pencil(p, QRectF(6, 3.5, 18, 18), QColor(kAccent), 1.6); }}
         << ImageEntry{"wxpta_03", QSize(77, 75), [](QPainter &p) {
                           p.setPen(Qt::NoPen);
                           p.setBrush(QColor(0x01, 0xa3, 0x9e, 36));
                           p.drawEllipse(QPointF(38.5, 37.5), 36, 36);
                           p.setBrush(QColor(kAccent2));
                           p.drawEllipse(QPointF(38.5, 37.5), 28, 28);
                           tick(p, QRectF(26, 28, 25, 18), QColor(kWhite), 4);
                       }};

    // Sign-in form field icons (centred in a 52 pixel wide label).
    list << ImageEntry{"nametip", QSize(24, 24),
                       [](QPainter &p) {
                           person(p, QRectF(4, 3, 16, 18), QColor(kGrey), 1.6, false);
                       }}
         << ImageEntry{"pwdtip", QSize(24, 24),
                       [](QPainter &p) { lock(p, QRectF(5, 2.5, 14, 19), QColor(kGrey), 1.6); }}
         << ImageEntry{"arrowdown", QSize(12, 12),
                       [](QPainter &p) { chevron(p, QRectF(2, 2, 8, 8), QColor(kGrey), 1.5, 0); }}
         << ImageEntry{"btnBack", QSize(30, 30),
                       [](QPainter &p) {
                           p.setPen(QPen(QColor(0xd7, 0xd7, 0xd7), 1));
                           p.setBrush(QColor(kWhite));
                           p.drawEllipse(QPointF(15, 15), 13.5, 13.5);
                           chevron(p, QRectF(9.5, 9, 10, 12), QColor(kAccent), 1.8, 1);
                       }}
         << ImageEntry{"back2", QSize(24, 24), [](QPainter &p) {
                           setStroke(p, QColor(kAccent), 1.8);
                           p.drawLine(QPointF(5, 12), QPointF(19, 12));
                           chevron(p, QRectF(2, 6, 10, 12), QColor(kAccent), 1.8, 1);
                       }};

    // Thumbnail grid.
    list << ImageEntry{"addmore", QSize(220, 124),
                       [](QPainter &p) {
                           p.fillRect(QRectF(0, 0, 220, 124), QColor(0xf8, 0xf8, 0xf8));
                           QPen dash(QColor(0xc3, 0xc3, 0xc3), 1.5, Qt::DashLine);
                           p.setPen(dash);
                           p.setBrush(Qt::NoBrush);
                           p.drawRoundedRect(QRectF(1, 1, 218, 122), 4, 4);
                           p.setPen(Qt::NoPen);
                           p.setBrush(QColor(kAccent));
                           p.drawEllipse(QPointF(110, 50), 20, 20);
                           plus(p, QRectF(101, 41, 18, 18), QColor(kWhite), 2.5);
                           text(p, QRectF(0, 78, 220, 24), QStringLiteral("添加更多课程"),
                                QColor(0x66, 0x6b, 0x73), 14);
                       }}
         << tileMark("ddz", [](QPainter &p) { clock(p, QRectF(4, 4, 24, 24), QColor(kWhite), 2); })
         << tileMark("ztz",
                     [](QPainter &p) {
                         setStroke(p, QColor(kWhite), 2);
                         p.drawEllipse(QRectF(4, 4, 24, 24));
                         pause(p, QRectF(12, 10.5, 8, 11), QColor(kWhite));
                     })
         << tileMark("sb",
                     [](QPainter &p) {
                         p.setPen(Qt::NoPen);
                         p.setBrush(QColor(kOrange));
                         p.drawEllipse(QRectF(3, 3, 26, 26));
                         setStroke(p, QColor(kWhite), 2.6);
                         p.drawLine(QPointF(16, 9.5), QPointF(16, 18));
                         p.setPen(Qt::NoPen);
                         p.setBrush(QColor(kWhite));
                         p.drawEllipse(QPointF(16, 22.5), 1.6, 1.6);
                     })
         << ImageEntry{"xz", QSize(24, 24),
                       [](QPainter &p) {
                           p.setPen(QPen(QColor(kWhite), 1.5));
                           p.setBrush(QColor(kOrange));
                           p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
                           tick(p, QRectF(7, 8.5, 10, 7.5), QColor(kWhite), 2);
                       }}
         << ImageEntry{"nocourse", QSize(177, 88), [](QPainter &p) {
                           // An empty open box over the caption.
                           const QColor ink(0xc3, 0xc6, 0xcc);
                           setStroke(p, ink, 2);
                           QPainterPath box;
                           box.moveTo(64, 30);
                           box.lineTo(64, 56);
                           box.lineTo(113, 56);
                           box.lineTo(113, 30);
                           p.drawPath(box);
                           QPainterPath lid;
                           lid.moveTo(64, 30);
                           lid.lineTo(56, 20);
                           lid.moveTo(113, 30);
                           lid.lineTo(121, 20);
                           lid.moveTo(64, 30);
                           lid.lineTo(77, 30);
                           lid.lineTo(82, 38);
                           lid.lineTo(95, 38);
                           lid.lineTo(100, 30);
                           lid.lineTo(113, 30);
                           p.drawPath(lid);
                           setStroke(p, QColor(kAccent2), 2);
                           p.drawLine(QPointF(88.5, 6), QPointF(88.5, 18));
                           p.drawLine(QPointF(76, 12), QPointF(80, 17));
                           p.drawLine(QPointF(101, 12), QPointF(97, 17));
                           text(p, QRectF(0, 62, 177, 22), QStringLiteral("暂无已缓存的课程"),
                                QColor(0x99, 0x99, 0x99), 13);
                       }};
    return list;
}

} // namespace

QVector<ImageEntry> ImageSet::entries() { return buildEntries(); }

void ImageSet::drawLoadingFrame(QPainter &p, int frame, int count)
{
    // Twelve dots on a ring, the head in orange and a fading teal tail, on the
    // white loading panel (GIF has no partial transparency).
    p.fillRect(QRectF(0, 0, kLoadingSize, kLoadingSize), QColor(kWhite));
    const QPointF c(kLoadingSize / 2.0, kLoadingSize / 2.0);
    const qreal ring = 11;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const int age = (frame - i + count) % count;
        const qreal angle = 2 * M_PI * i / count - M_PI / 2;
        const QPointF at(c.x() + ring * qCos(angle), c.y() + ring * qSin(angle));
        QColor color = age == 0 ? QColor(kOrange) : QColor(kAccent);
        const qreal fade = 1.0 - qreal(age) / count;
        if (age != 0)
            color.setAlphaF(0.15 + 0.85 * fade * fade);
        p.setBrush(color);
        p.drawEllipse(at, 1.6 + 1.2 * fade, 1.6 + 1.2 * fade);
    }
}

void ImageSet::drawAppIcon(QPainter &p, int size)
{
    const qreal inset = size <= 16 ? 0.5 : size * 0.04;
    brandMark(p, QRectF(inset, inset, size - 2 * inset, size - 2 * inset));
}
