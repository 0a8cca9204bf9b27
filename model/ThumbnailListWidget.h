#pragma once

#include <QList>
#include <QListView>

class ThumbnailDelegate;
class ThumbnailItem;
class ThumbnailModel;

// A fixed grid of 230 by 210 tiles. Outside selection mode a click runs the tile's own
// action; in selection mode it ticks or unticks the tile.
class ThumbnailListWidget : public QListView
{
    Q_OBJECT

public:
    static constexpr int GridWidth = 1170;

    explicit ThumbnailListWidget(QWidget *parent = nullptr);

    // Replaces all tiles and takes them over.
    void setItems(const QList<ThumbnailItem *> &items);
    int count() const;
    void setEditMode(bool on);
    void setAllChecked(bool checked);
    // The ticked tiles, add-more tile excluded, in order.
    QList<ThumbnailItem *> checkedItems() const;
    ThumbnailModel *thumbnailModel() const { return m_model; }
    QSize sizeHint() const override;

private:
    void onClicked(const QModelIndex &index);

    ThumbnailModel *m_model = nullptr;
    ThumbnailDelegate *m_delegate = nullptr;
};
