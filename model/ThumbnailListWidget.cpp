#include "model/ThumbnailListWidget.h"

#include "model/ThumbnailDelegate.h"
#include "model/ThumbnailItem.h"
#include "model/ThumbnailModel.h"

ThumbnailListWidget::ThumbnailListWidget(QWidget *parent)
    : QListView(parent)
    , m_model(new ThumbnailModel(this))
    , m_delegate(new ThumbnailDelegate(this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setViewMode(QListView::IconMode);
    // Five tiles a row on the large window; on the small one the tiles flow into fewer
    // columns instead of the grid forcing the window wider than the screen.
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setSpacing(0);
    setContentsMargins(0, 0, 0, 0);
    setMaximumWidth(GridWidth);
    setMinimumWidth(ThumbnailDelegate::TileWidth + 20);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    // All tiles have one size: the view need not ask each of them.
    setUniformItemSizes(true);
    // A selected tile would be painted over by the selection colour.
    setSelectionMode(QAbstractItemView::NoSelection);
    connect(this, &QListView::clicked, this, &ThumbnailListWidget::onClicked);
}

QSize ThumbnailListWidget::sizeHint() const
{
    return QSize(GridWidth, QListView::sizeHint().height());
}

void ThumbnailListWidget::setItems(const QList<ThumbnailItem *> &items)
{
    m_model->setItems(items);
}

int ThumbnailListWidget::count() const
{
    return m_model->rowCount();
}

void ThumbnailListWidget::setEditMode(bool on)
{
    for (ThumbnailItem *item : m_model->items()) {
        if (item->kind() == ThumbnailItem::AddMoreKind)
            continue;
        item->setEditMode(on);
        item->setChecked(false);
    }
    m_model->notifyAllChanged();
}

void ThumbnailListWidget::setAllChecked(bool checked)
{
    for (ThumbnailItem *item : m_model->items()) {
        if (item->kind() != ThumbnailItem::AddMoreKind)
            item->setChecked(checked);
    }
    m_model->notifyAllChanged();
}

QList<ThumbnailItem *> ThumbnailListWidget::checkedItems() const
{
    QList<ThumbnailItem *> checked;
    for (ThumbnailItem *item : m_model->items()) {
        if (item->isChecked())
            checked << item;
    }
    return checked;
}

void ThumbnailListWidget::onClicked(const QModelIndex &index)
{
    ThumbnailItem *item = m_model->itemAt(index.row());
    if (!item)
        return;
    if (!item->editMode()) {
        // May run a nested event loop (playback) in which the tiles are replaced.
        item->activate();
        return;
    }
    item->setChecked(!item->isChecked());
    m_model->notifyChanged(index.row());
}
