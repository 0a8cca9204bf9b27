#include "model/ThumbnailModel.h"

#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Courseware.h"
#include "model/ThumbnailItem.h"

ThumbnailModel::ThumbnailModel(QObject *parent)
    : QAbstractListModel(parent)
{
    if (FileStream *queue = fileStream()) {
        connect(queue, &FileStream::DownloadingProgressSignal, this, &ThumbnailModel::onProgress);
        connect(queue, &FileStream::DownloadingStateChangeSignal, this,
                &ThumbnailModel::onQueueStateChanged);
        connect(queue, &FileStream::DownloadErrorSignal, this, &ThumbnailModel::onError);
    }
}

ThumbnailModel::~ThumbnailModel() { qDeleteAll(m_items); }

void ThumbnailModel::setItems(const QList<ThumbnailItem *> &items)
{
    beginResetModel();
    const QList<ThumbnailItem *> previous = m_items;
    m_items = items;
    for (ThumbnailItem *item : items) {
        item->setParent(this);
        disconnect(item, nullptr, this, nullptr);
        connect(item, &ThumbnailItem::imageChanged, this, [this, item] {
            const int row = m_items.indexOf(item);
            if (row >= 0)
                notifyChanged(row);
        });
    }
    endResetModel();
    // A tile can be handed back in the new list; only the dropped ones go.
    for (ThumbnailItem *item : previous) {
        if (!items.contains(item))
            delete item;
    }
}

void ThumbnailModel::notifyAllChanged()
{
    if (!m_items.isEmpty())
        emit dataChanged(index(0), index(m_items.size() - 1));
}

void ThumbnailModel::notifyChanged(int row) { emit dataChanged(index(row), index(row)); }

int ThumbnailModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_items.size();
}

QVariant ThumbnailModel::data(const QModelIndex &index, int role) const
{
    const ThumbnailItem *item = itemAt(index.row());
    if (!index.isValid() || !item)
        return QVariant();
    switch (role) {
    case ThumbnailItem::ImageRole: return item->thumbnail();
    case ThumbnailItem::TitleRole: return item->title();
    case ThumbnailItem::KindRole: return item->kind();
    case ThumbnailItem::StateRole: return item->state();
    case ThumbnailItem::CachedCountRole: return item->cachedCount();
    case ThumbnailItem::ProgressAngleRole: return item->progressAngle();
    case ThumbnailItem::SpeedRole: return item->speed();
    case ThumbnailItem::DownloadedBytesRole: return item->downloadedBytes();
    case ThumbnailItem::ErrorTextRole: return item->errorText();
    case ThumbnailItem::EditModeRole: return item->editMode();
    case ThumbnailItem::CheckedRole: return item->isChecked();
    case ThumbnailItem::ExpiredRole: return item->isExpired();
    case ThumbnailItem::LearnedRole: return item->learnedText();
    case ThumbnailItem::ContinueRole: return item->canContinue();
    default: return QVariant();
    }
}

bool ThumbnailModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    ThumbnailItem *item = itemAt(index.row());
    if (!index.isValid() || !item)
        return false;
    switch (role) {
    case ThumbnailItem::KindRole: item->setKind(value.toInt()); break;
    case ThumbnailItem::StateRole: item->setState(value.toInt()); break;
    case ThumbnailItem::ProgressAngleRole: item->setProgressAngle(value.toInt()); break;
    case ThumbnailItem::SpeedRole: item->setSpeed(value.toDouble()); break;
    case ThumbnailItem::DownloadedBytesRole: item->setDownloadedBytes(value.toDouble()); break;
    case ThumbnailItem::ErrorTextRole: item->setErrorText(value.toString()); break;
    case ThumbnailItem::EditModeRole: item->setEditMode(value.toBool()); break;
    case ThumbnailItem::CheckedRole: item->setChecked(value.toBool()); break;
    default: return false;
    }
    emit dataChanged(index, index, {role});
    return true;
}

int ThumbnailModel::firstLessonRow(const Courseware *courseware, bool lessonTilesOnly) const
{
    if (!courseware)
        return -1;
    for (int row = 0; row < m_items.size(); ++row) {
        const ThumbnailItem *item = m_items.at(row);
        if (lessonTilesOnly && item->kind() != ThumbnailItem::CoursewareKind)
            continue;
        // By ids: a tile may outlive the record it was made from.
        if (!item->lessonId().isEmpty() && item->lessonId() == courseware->id
            && (courseware->courseId.isEmpty() || item->courseId() == courseware->courseId))
            return row;
    }
    return -1;
}

void ThumbnailModel::onProgress(Courseware *courseware, double percent, double speed)
{
    const int row = firstLessonRow(courseware, true);
    if (row < 0)
        return;
    ThumbnailItem *item = m_items.at(row);
    item->setState(ThumbnailItem::Downloading);
    item->setProgressAngle(int(ThumbnailItem::FullAngle * percent));
    item->setSpeed(speed);
    item->setDownloadedBytes(item->downloadedBytes() + speed);
    notifyChanged(row);
}

void ThumbnailModel::onQueueStateChanged(int state)
{
    for (int row = 0; row < m_items.size(); ++row) {
        ThumbnailItem *item = m_items.at(row);
        if (item->kind() != ThumbnailItem::CoursewareKind)
            continue;
        const int was = item->state();
        if (state == 1 && (was == ThumbnailItem::Downloading || was == ThumbnailItem::Waiting))
            item->setState(ThumbnailItem::Paused);
        else if (state == 0 && was == ThumbnailItem::Paused)
            item->setState(ThumbnailItem::Waiting);
        else
            continue;
        notifyChanged(row);
    }
}

void ThumbnailModel::onError(Courseware *courseware, const QString &error)
{
    const int row = firstLessonRow(courseware, false);
    if (row < 0)
        return;
    m_items.at(row)->setState(ThumbnailItem::Failed);
    m_items.at(row)->setErrorText(error);
    notifyChanged(row);
}
