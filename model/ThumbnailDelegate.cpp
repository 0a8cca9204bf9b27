#include "model/ThumbnailDelegate.h"

#include "model/ThumbnailItem.h"
#include "model/YaheiFont.h"
#include "widgets/ImageStyle.h"

#include <QAbstractItemView>
#include <QHash>
#include <QHelpEvent>
#include <QPainter>
#include <QPixmap>
#include <QTextLayout>
#include <QToolTip>

namespace {

QPen textPen(const QColor &color)
{
    return QPen(QBrush(color), 1.5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

QPixmap tileImage(const QString &name) { return QPixmap(ImageStyle::imagePath(name)); }

constexpr int kCaptionGap = 5;

QFont captionFont() { return YaheiFont::font(10); }

int captionHeight()
{
    return ThumbnailDelegate::TileHeight - ThumbnailItem::ImageHeight - ThumbnailDelegate::TopMargin
           - kCaptionGap;
}

} // namespace

QString ThumbnailDelegate::failureText(const QString &error)
{
    // The loader names what failed in its own words; the tile tells the student in theirs.
    static const QHash<QString, QString> chinese = {
        {QStringLiteral("Load M3u8 Error"), QStringLiteral("下载失败：无法获取课程视频列表")},
        {QStringLiteral("Load Key Error"), QStringLiteral("下载失败：无法获取视频密钥")},
        {QStringLiteral("Load Seg Error"), QStringLiteral("下载失败：视频片段下载出错")},
    };
    if (error.isEmpty())
        return QStringLiteral("下载失败");
    return chinese.value(error, error);
}

QString ThumbnailDelegate::captionText(const QString &title, bool *elided)
{
    const QFont font = captionFont();
    const QFontMetrics metrics(font);
    const int width = ThumbnailItem::ImageWidth;
    const int maxLines = qMax(1, captionHeight() / metrics.lineSpacing());
    QTextLayout layout(title, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    bool cut = false;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            // The last line that fits takes the rest of the title, shortened when too long.
            const QString rest = title.mid(line.textStart());
            const QString shown = metrics.elidedText(rest, Qt::ElideRight, width);
            cut = shown != rest;
            lines << shown;
            break;
        }
        lines << title.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    if (elided)
        *elided = cut;
    return lines.join(QLatin1Char('\n'));
}

bool ThumbnailDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                  const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip)
        return QItemDelegate::helpEvent(event, view, option, index);
    const QString title = index.data(ThumbnailItem::TitleRole).toString();
    bool elided = false;
    captionText(title, &elided);
    if (!elided) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(event->globalPos(), title, view, option.rect);
    return true;
}

QString ThumbnailDelegate::sizeText(double bytes)
{
    const double k = bytes / 1024;
    if (k > 1048576)
        return QString::number(k / 1048576, 'f', 2) + QStringLiteral("GB");
    if (k > 1024)
        return QString::number(k / 1024, 'f', 2) + QStringLiteral("MB");
    return QString::number(k, 'f', 2) + QStringLiteral("KB");
}

QRect ThumbnailDelegate::continueRect(const QRect &tile)
{
    return QRect(tile.x() + ThumbnailItem::ImageWidth - 78,
                 tile.y() + TopMargin + ThumbnailItem::ImageHeight - 25, 74, 22);
}

QSize ThumbnailDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(TileWidth, TileHeight);
}

void ThumbnailDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const int x = option.rect.x();
    const int y = option.rect.y();
    const int kind = index.data(ThumbnailItem::KindRole).toInt();

    const QPixmap image = index.data(ThumbnailItem::ImageRole).value<QPixmap>();
    QRect imageRect(x, y + TopMargin, ThumbnailItem::ImageWidth, ThumbnailItem::ImageHeight);
    if (!image.isNull()) {
        imageRect.setSize(image.size());
        painter->drawPixmap(imageRect.topLeft(), image);
    } else {
        // The cover is still on its way.
        painter->fillRect(imageRect, QColor(230, 230, 230));
    }

    if (kind != ThumbnailItem::AddMoreKind) {
        const QRect caption(x, imageRect.bottom() + 1 + kCaptionGap, imageRect.width(),
                            captionHeight());
        painter->setPen(textPen(QColor(51, 51, 51)));
        painter->setFont(captionFont());
        painter->drawText(caption, Qt::AlignLeft | Qt::AlignTop,
                          captionText(index.data(ThumbnailItem::TitleRole).toString()));
    }

    if (index.data(ThumbnailItem::ExpiredRole).toBool()) {
        // An ended course: its cover greyed out and marked.
        painter->fillRect(imageRect, QColor(255, 255, 255, 150));
        const QRect badge(x, y + TopMargin, 60, 22);
        painter->fillRect(badge, QColor(120, 120, 120));
        painter->setPen(textPen(Qt::white));
        painter->setFont(YaheiFont::font(9));
        painter->drawText(badge, Qt::AlignCenter, QStringLiteral("已过期"));
    }

    const QString learned = index.data(ThumbnailItem::LearnedRole).toString();
    const bool canContinue = index.data(ThumbnailItem::ContinueRole).toBool();
    if (!learned.isEmpty() || canContinue) {
        // Along the cover's foot: how much of the course was watched, and the way back in.
        const QRect strip(x, imageRect.bottom() - 28, imageRect.width(), 29);
        painter->fillRect(strip, QColor(0, 0, 0, 140));
        painter->setPen(textPen(Qt::white));
        painter->setFont(YaheiFont::font(9));
        painter->drawText(strip.adjusted(8, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, learned);
        if (canContinue) {
            const QRect button = continueRect(option.rect);
            painter->setPen(Qt::NoPen);
            painter->setBrush(QColor(254, 134, 25));
            painter->drawRoundedRect(button, 11, 11);
            painter->setPen(textPen(Qt::white));
            painter->drawText(button, Qt::AlignCenter, QStringLiteral("继续学习"));
            painter->setBrush(Qt::NoBrush);
        }
    }

    if (kind == ThumbnailItem::CourseDoneKind) {
        const QRect badge(x + 120, y + TopMargin, 100, 20);
        painter->fillRect(badge, QColor(254, 134, 25));
        painter->setPen(textPen(Qt::white));
        painter->setFont(YaheiFont::font(9));
        painter->drawText(badge, Qt::AlignCenter,
                          QStringLiteral("已缓存")
                              + QString::number(index.data(ThumbnailItem::CachedCountRole).toInt())
                              + QStringLiteral("个视频"));
    }

    const int state = index.data(ThumbnailItem::StateRole).toInt();
    if (kind == ThumbnailItem::CoursewareKind && state != ThumbnailItem::Downloaded) {
        painter->fillRect(imageRect, QColor(0, 0, 0, 180));
        painter->setPen(textPen(Qt::white));
        painter->setFont(YaheiFont::font(10));
        const QRect lineA(x, y + TopMargin + 75, imageRect.width(), 20);
        const QRect lineB(x, y + TopMargin + 90, imageRect.width(), 20);
        const QRect icon(x + 95, y + TopMargin + 33, 32, 32);
        switch (state) {
        case ThumbnailItem::Downloading: {
            painter->drawText(lineA, Qt::AlignCenter,
                              sizeText(index.data(ThumbnailItem::SpeedRole).toDouble())
                                  + QStringLiteral("/s"));
            painter->drawText(
                lineB, Qt::AlignCenter,
                QStringLiteral("已下载：")
                    + sizeText(index.data(ThumbnailItem::DownloadedBytesRole).toDouble()));
            painter->drawEllipse(QRect(x + 99, y + TopMargin + 32, 32, 32));
            const int angle = qMax(1, index.data(ThumbnailItem::ProgressAngleRole).toInt());
            painter->setBrush(Qt::white);
            // From twelve o'clock, growing clockwise.
            painter->drawPie(QRect(x + 101, y + TopMargin + 34, 28, 28), 1440 - angle, angle);
            break;
        }
        case ThumbnailItem::Waiting:
            painter->drawText(lineA, Qt::AlignCenter, QStringLiteral("等待中"));
            painter->drawPixmap(icon, tileImage(QStringLiteral("ddz")));
            break;
        case ThumbnailItem::Failed: {
            // What failed, and what to do about it.
            const QRect reason(x + 4, y + TopMargin + 68, imageRect.width() - 8, 34);
            painter->setFont(YaheiFont::font(9));
            painter->drawText(reason, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                              failureText(index.data(ThumbnailItem::ErrorTextRole).toString()));
            painter->drawText(QRect(x, y + TopMargin + 102, imageRect.width(), 20), Qt::AlignCenter,
                              retryHint());
            painter->drawPixmap(QRect(x + 95, y + TopMargin + 30, 32, 32),
                                tileImage(QStringLiteral("sb")));
            break;
        }
        case ThumbnailItem::Paused:
            painter->drawText(lineA, Qt::AlignCenter, QStringLiteral("暂停中"));
            painter->drawPixmap(icon, tileImage(QStringLiteral("ztz")));
            break;
        default: break;
        }
    }

    if (index.data(ThumbnailItem::EditModeRole).toBool()
        && index.data(ThumbnailItem::CheckedRole).toBool())
        painter->drawPixmap(QRect(x + 208, y, 24, 24), tileImage(QStringLiteral("xz")));

    if (option.state & QStyle::State_HasFocus) {
        // The tile the keyboard is on.
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(QColor(13, 124, 195), 2));
        painter->drawRect(QRect(x + 1, y + TopMargin - 4, ThumbnailItem::ImageWidth - 2,
                                TileHeight - TopMargin + 2));
    }

    drawBackground(painter, option, index);
    painter->restore();
}
