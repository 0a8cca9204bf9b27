#include "model/ThumbnailDelegate.h"

#include "model/ThumbnailItem.h"
#include "model/YaheiFont.h"
#include "widgets/ImageStyle.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPen textPen(const QColor &color)
{
    return QPen(QBrush(color), 1.5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

QPixmap tileImage(const QString &name)
{
    return QPixmap(ImageStyle::imagePath(name));
}

} // namespace

QString ThumbnailDelegate::sizeText(double bytes)
{
    const double k = bytes / 1024;
    if (k > 1048576)
        return QString::number(k / 1048576, 'f', 2) + QStringLiteral("GB");
    if (k > 1024)
        return QString::number(k / 1024, 'f', 2) + QStringLiteral("MB");
    return QString::number(k, 'f', 2) + QStringLiteral("KB");
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
        const QRect caption(x, imageRect.bottom() + 1 + 5, imageRect.width(),
                            TileHeight - imageRect.height() - TopMargin);
        painter->setPen(textPen(QColor(51, 51, 51)));
        painter->setFont(YaheiFont::font(10));
        painter->drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          index.data(ThumbnailItem::TitleRole).toString());
    }

    if (kind == ThumbnailItem::CourseDoneKind) {
        const QRect badge(x + 120, y + TopMargin, 100, 20);
        painter->fillRect(badge, QColor(254, 134, 25));
        painter->setPen(textPen(Qt::white));
        painter->setFont(YaheiFont::font(9));
        painter->drawText(badge, Qt::AlignCenter,
                          QStringLiteral("已缓存") + QString::number(index.data(ThumbnailItem::CachedCountRole).toInt())
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
                              sizeText(index.data(ThumbnailItem::SpeedRole).toDouble()) + QStringLiteral("/s"));
            painter->drawText(lineB, Qt::AlignCenter,
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
        case ThumbnailItem::Failed:
            painter->drawText(lineA, Qt::AlignCenter, index.data(ThumbnailItem::ErrorTextRole).toString());
            painter->drawPixmap(icon, tileImage(QStringLiteral("sb")));
            break;
        case ThumbnailItem::Paused:
            painter->drawText(lineA, Qt::AlignCenter, QStringLiteral("暂停中"));
            painter->drawPixmap(icon, tileImage(QStringLiteral("ztz")));
            break;
        default:
            break;
        }
    }

    if (index.data(ThumbnailItem::EditModeRole).toBool() && index.data(ThumbnailItem::CheckedRole).toBool())
        painter->drawPixmap(QRect(x + 208, y, 24, 24), tileImage(QStringLiteral("xz")));

    drawBackground(painter, option, index);
    painter->restore();
}
