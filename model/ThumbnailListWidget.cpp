#include "model/ThumbnailListWidget.h"

#include "model/ThumbnailDelegate.h"
#include "model/ThumbnailItem.h"
#include "model/ThumbnailModel.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

namespace {
// Room between the tiles and the edge of the grid (and so of the window).
constexpr int kSideMargin = 15;
constexpr int kTopMargin = 5;
} // namespace

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
    setViewportMargins(kSideMargin, kTopMargin, 0, 0);
    setMaximumWidth(GridWidth + kSideMargin);
    setMinimumWidth(ThumbnailDelegate::TileWidth + kSideMargin + 20);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    // All tiles have one size: the view need not ask each of them.
    setUniformItemSizes(true);
    // A selected tile would be painted over by the selection colour.
    setSelectionMode(QAbstractItemView::NoSelection);
    connect(this, &QListView::clicked, this, &ThumbnailListWidget::onClicked);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ThumbnailListWidget::fitHeight);
}

QSize ThumbnailListWidget::sizeHint() const
{
    return QSize(GridWidth + kSideMargin, QListView::sizeHint().height());
}

void ThumbnailListWidget::setFitsContents(bool fits)
{
    m_fitsContents = fits;
    setVerticalScrollBarPolicy(fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    fitHeight();
}

void ThumbnailListWidget::fitHeight()
{
    if (!m_fitsContents)
        return;
    const int perRow = qMax(1, viewport()->width() / ThumbnailDelegate::TileWidth);
    const int rows = (count() + perRow - 1) / perRow;
    setFixedHeight(rows * ThumbnailDelegate::TileHeight + kTopMargin + 2 * frameWidth());
}

void ThumbnailListWidget::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    fitHeight();
}

void ThumbnailListWidget::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    if (!m_fitsContents || !current.isValid() || !hasFocus())
        return;
    for (QWidget *above = parentWidget(); above; above = above->parentWidget()) {
        auto *area = qobject_cast<QScrollArea *>(above);
        if (!area || !area->widget())
            continue;
        const QRect tile = visualRect(current);
        const QPoint centre = viewport()->mapTo(area->widget(), tile.center());
        area->ensureVisible(centre.x(), centre.y(), tile.width() / 2, tile.height() / 2);
        break;
    }
}

void ThumbnailListWidget::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
        && currentIndex().isValid()) {
        onClicked(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

void ThumbnailListWidget::contextMenuEvent(QContextMenuEvent *event)
{
    // The menu key (or a right click) offers the tile's second action, so that the keyboard
    // reaches "继续学习" as well as the mouse.
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    const QModelIndex index = byMouse ? indexAt(event->pos()) : currentIndex();
    const ThumbnailItem *item = m_model->itemAt(index.row());
    if (!index.isValid() || !item || item->editMode() || !item->canContinue())
        return;
    const QString courseId = item->courseId();
    QMenu menu(this);
    const QAction *goOn = menu.addAction(QStringLiteral("继续学习"));
    const QPoint at =
        byMouse ? event->globalPos() : viewport()->mapToGlobal(visualRect(index).center());
    if (menu.exec(at) != goOn)
        return;
    // The menu ran a loop of its own, in which the tiles may have been replaced.
    for (int row = 0; row < m_model->rowCount(); ++row) {
        ThumbnailItem *tile = m_model->itemAt(row);
        if (tile && tile->courseId() == courseId && tile->canContinue()) {
            tile->continueLearning();
            return;
        }
    }
}

void ThumbnailListWidget::mouseReleaseEvent(QMouseEvent *event)
{
    // The click signal, emitted inside, does not say where on the tile it landed.
    m_clickAt = event->pos();
    QListView::mouseReleaseEvent(event);
    m_clickAt = QPoint(-1, -1);
}

void ThumbnailListWidget::setItems(const QList<ThumbnailItem *> &items)
{
    m_model->setItems(items);
}

int ThumbnailListWidget::count() const { return m_model->rowCount(); }

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
        if (item->canContinue()
            && ThumbnailDelegate::continueRect(visualRect(index)).contains(m_clickAt)) {
            item->continueLearning();
            return;
        }
        // May run a nested event loop (playback) in which the tiles are replaced.
        item->activate();
        return;
    }
    item->setChecked(!item->isChecked());
    m_model->notifyChanged(index.row());
}
