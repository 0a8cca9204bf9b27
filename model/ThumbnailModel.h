#pragma once

#include <QAbstractListModel>
#include <QList>

class ThumbnailItem;
struct Courseware;

// The tiles of one grid, owned; follows the download queue's progress, pause and error
// signals so lesson tiles change while they are shown.
class ThumbnailModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit ThumbnailModel(QObject *parent = nullptr);
    ~ThumbnailModel() override;

    // Replaces the tiles (a model reset); the previous ones are deleted.
    void setItems(const QList<ThumbnailItem *> &items);
    const QList<ThumbnailItem *> &items() const { return m_items; }
    ThumbnailItem *itemAt(int row) const { return m_items.value(row); }
    // One dataChanged over all rows.
    void notifyAllChanged();
    void notifyChanged(int row);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    void onProgress(Courseware *courseware, double percent, double speed);
    void onQueueStateChanged(int state);
    void onError(Courseware *courseware, const QString &error);

private:
    int firstLessonRow(const Courseware *courseware, bool lessonTilesOnly) const;

    QList<ThumbnailItem *> m_items;
};
