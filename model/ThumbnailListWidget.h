#pragma once

#include <QList>
#include <QListView>

class ThumbnailDelegate;
class ThumbnailItem;
class ThumbnailModel;

// A fixed grid of 230 by 210 tiles. Outside selection mode a click runs the tile's own
// action; in selection mode it ticks or unticks the tile. The keyboard does the same: the
// arrows move between tiles, Enter or Space acts on the one the frame is on, the menu key
// offers "继续学习" on a course with progress.
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
    // As tall as its rows, without a scroll bar of its own, for a page that scrolls as a
    // whole; the page is scrolled to the tile the keyboard moves to.
    void setFitsContents(bool fits);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void onClicked(const QModelIndex &index);
    void fitHeight();

    ThumbnailModel *m_model = nullptr;
    ThumbnailDelegate *m_delegate = nullptr;
    bool m_fitsContents = false;
    QPoint m_clickAt{-1, -1}; // where the click being handled was let go; (-1, -1) for keys
};
