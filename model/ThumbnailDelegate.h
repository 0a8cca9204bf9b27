#pragma once

#include <QItemDelegate>

// Paints a tile: the cover, the caption, the cached-count badge of a cached course, and
// over a lesson that is not downloaded yet its speed and progress pie, or its waiting,
// failed or paused state; in selection mode the check mark.
class ThumbnailDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    static constexpr int TileWidth = 230;
    static constexpr int TileHeight = 210;
    static constexpr int TopMargin = 13;

    using QItemDelegate::QItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // A title cut short under its tile shows whole as the tile's tool tip.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // The caption as drawn: the lines of the title that fit the space under the cover, the
    // last one ending in "…" when the title is longer; elided tells which.
    static QString captionText(const QString &title, bool *elided = nullptr);

    // What a failed lesson tile says went wrong, in Chinese; a click on it tries again.
    static QString failureText(const QString &error);
    static QString retryHint() { return QStringLiteral("点击重试"); }
    // Where a course tile drawn in tile shows its "继续学习" button.
    static QRect continueRect(const QRect &tile);

    // Bytes as "1.50KB", "5.00MB" or "2.00GB".
    static QString sizeText(double bytes);
};
