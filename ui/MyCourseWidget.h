#pragma once

#include "widgets/StyleWidget.h"

#include <QVariant>

class QLabel;
class QScrollArea;
class StyleButton;
class ThumbnailListWidget;

// The my-courses page: the signed-in user's valid courses as thumbnails, the expired
// ones below on request, and retry / view-downloads buttons after a failed list. The page
// scrolls as a whole. When the service cannot be reached it says so and offers the
// downloaded lessons.
class MyCourseWidget : public StyleWidget
{
    Q_OBJECT

public:
    explicit MyCourseWidget(QWidget *parent = nullptr);

    ThumbnailListWidget *validList() const { return m_validList; }
    ThumbnailListWidget *expiredList() const { return m_expiredList; }
    StyleButton *showExpiredButton() const { return m_showExpiredButton; }
    StyleButton *retryButton() const { return m_retryButton; }
    StyleButton *viewDownloadsButton() const { return m_viewDownloadsButton; }
    QLabel *offlineLabel() const { return m_offlineLabel; }
    QScrollArea *scrollArea() const { return m_scrollArea; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onHttpResponse(int type, int result, const QVariant &info);
    void rebuild();
    // The tiles of this course read its learning progress again.
    void showProgress(const QString &courseId);
    void retry();
    void toggleExpired();

    ThumbnailListWidget *m_validList = nullptr;
    ThumbnailListWidget *m_expiredList = nullptr;
    StyleButton *m_showExpiredButton = nullptr;
    StyleButton *m_retryButton = nullptr;
    StyleButton *m_viewDownloadsButton = nullptr;
    QLabel *m_offlineLabel = nullptr;
    QScrollArea *m_scrollArea = nullptr;
    // Each course-list reply appends its courses to the app state's list: the page shows
    // the courses of the last reply, from this index on.
    int m_replyStart = 0;
};
