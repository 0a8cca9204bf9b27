#pragma once

#include "widgets/StyleWidget.h"

#include <QSet>
#include <QVariant>

class ImageLabel;
class QButtonGroup;
class QCheckBox;
class QLabel;
class StyleButton;
class ThumbnailListWidget;
struct Courseware;

// The download page: a tab of courses with downloaded lessons and a tab of lessons still
// queued (with live progress), start-all / pause-all, a selection mode that deletes
// downloads, and the size and free space of the volume holding the download folder.
class DownloadWidget : public StyleWidget
{
    Q_OBJECT

public:
    explicit DownloadWidget(QWidget *parent = nullptr);

    void refreshDiskLabel();
    void refreshCached();
    void refreshCaching();
    void setEditMode(bool on);
    void showCachedTab();
    void showCachingTab();

    QLabel *diskLabel() const { return m_diskLabel; }
    ThumbnailListWidget *cachedGrid() const { return m_cachedGrid; }
    ThumbnailListWidget *cachingGrid() const { return m_cachingGrid; }
    StyleButton *cachedTab() const { return m_cachedTab; }
    StyleButton *cachingTab() const { return m_cachingTab; }
    StyleButton *startAllButton() const { return m_startAllButton; }
    StyleButton *pauseAllButton() const { return m_pauseAllButton; }
    StyleButton *editButton() const { return m_editButton; }
    StyleButton *deleteButton() const { return m_deleteButton; }
    StyleButton *cancelButton() const { return m_cancelButton; }
    QCheckBox *selectAllBox() const { return m_selectAll; }
    ImageLabel *emptyImage() const { return m_emptyImage; }
    int cachedCount() const { return m_cachedCount; }
    int cachingCount() const { return m_cachingCount; }
    bool isEditMode() const { return m_editMode; }

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void onHttpResponse(int type, int result, const QVariant &info);
    void keepEditMode(ThumbnailListWidget *grid);
    // The user's ticks survive a refresh: tiles are found again by course and lesson id.
    static QSet<QString> tickedKeys(const ThumbnailListWidget *grid);
    void keepTicks(ThumbnailListWidget *grid, const QSet<QString> &keys);
    void updateCachedTabText();
    void updateButtons();
    void setPaused(bool paused);
    void deleteSelected();
    void placeEmptyImage();

    QLabel *m_diskLabel = nullptr;
    ThumbnailListWidget *m_cachedGrid = nullptr;
    ThumbnailListWidget *m_cachingGrid = nullptr;
    StyleButton *m_cachedTab = nullptr;
    StyleButton *m_cachingTab = nullptr;
    StyleButton *m_startAllButton = nullptr;
    StyleButton *m_pauseAllButton = nullptr;
    StyleButton *m_editButton = nullptr;
    StyleButton *m_deleteButton = nullptr;
    StyleButton *m_cancelButton = nullptr;
    QCheckBox *m_selectAll = nullptr;
    int m_cachedCount = 0;
    int m_cachingCount = 0;
    bool m_editMode = false;
    ImageLabel *m_emptyImage = nullptr;
    QButtonGroup *m_tabs = nullptr;
};
