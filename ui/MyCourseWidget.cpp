#include "ui/MyCourseWidget.h"

#include "api/APIHandler.h"
#include "api/LearningProgress.h"
#include "api/NetworkErrorText.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "model/Course.h"
#include "model/ThumbnailItemMyCourse.h"
#include "model/ThumbnailListWidget.h"
#include "model/ThumbnailModel.h"
#include "widgets/StyleButton.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const char *const kShowExpired = "显示已过期课程";
const char *const kHideExpired = "收起已过期课程";
} // namespace

MyCourseWidget::MyCourseWidget(QWidget *parent)
    : StyleWidget(QStringLiteral("f8Widget"), parent)
    , m_validList(new ThumbnailListWidget(this))
    , m_expiredList(new ThumbnailListWidget(this))
    , m_showExpiredButton(
          new StyleButton(QString::fromUtf8(kShowExpired), QStringLiteral("lblReg"), this))
    , m_retryButton(new StyleButton(QStringLiteral("重试"), QStringLiteral("lblReg"), this))
    , m_viewDownloadsButton(
          new StyleButton(QStringLiteral("查看已缓存"), QStringLiteral("lblReg"), this))
    , m_offlineLabel(new QLabel(QStringLiteral("无法连接到服务器，已下载的课程仍可离线观看"), this))
    , m_scrollArea(new QScrollArea(this))
{
    m_expiredList->hide();
    m_showExpiredButton->hide();
    m_retryButton->hide();
    m_viewDownloadsButton->hide();
    m_offlineLabel->hide();
    m_offlineLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_offlineLabel->setAlignment(Qt::AlignCenter);
    m_offlineLabel->setWordWrap(true);
    // Both grids grow with their tiles; the page has one scroll bar for all of them.
    m_validList->setFitsContents(true);
    m_expiredList->setFitsContents(true);

    auto *content = new QWidget(m_scrollArea);
    content->setObjectName(QStringLiteral("f8Widget"));
    content->setAttribute(Qt::WA_StyledBackground);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addSpacing(10);
    column->addWidget(m_offlineLabel);
    column->addWidget(m_retryButton);
    column->addWidget(m_viewDownloadsButton);
    column->addWidget(m_validList);
    column->addSpacing(15);
    column->addWidget(m_showExpiredButton);
    column->addSpacing(15);
    column->addWidget(m_expiredList);
    column->addStretch(1);
    m_scrollArea->setWidget(content);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setFocusPolicy(Qt::NoFocus);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_scrollArea);

    // Tab goes down the page as it reads.
    setTabOrder(m_retryButton, m_viewDownloadsButton);
    setTabOrder(m_viewDownloadsButton, m_validList);
    setTabOrder(m_validList, m_showExpiredButton);
    setTabOrder(m_showExpiredButton, m_expiredList);

    connect(m_showExpiredButton, &QPushButton::clicked, this, &MyCourseWidget::toggleExpired);
    connect(m_retryButton, &QPushButton::clicked, this, &MyCourseWidget::retry);
    connect(m_viewDownloadsButton, &QPushButton::clicked, this, [] {
        if (MainWindow *main = mainWidget())
            main->showDownloadedLessons();
    });
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &MyCourseWidget::onHttpResponse);
    if (LearningProgress *progress = learningProgress())
        connect(progress, &LearningProgress::progressChanged, this, &MyCourseWidget::showProgress);
}

void MyCourseWidget::showProgress(const QString &courseId)
{
    ThumbnailModel *model = m_validList->thumbnailModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        auto *tile = qobject_cast<ThumbnailItemMyCourse *>(model->itemAt(row));
        if (tile && tile->courseId() == courseId) {
            tile->showProgress();
            model->notifyChanged(row);
        }
    }
}

void MyCourseWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    if (type != ReqMyCourseList)
        return;
    if (result)
        rebuild();
    m_retryButton->setVisible(!result);
    m_viewDownloadsButton->setVisible(!result);
    // Not reached at all (no network, the service down): said here, with the way out below.
    m_offlineLabel->setVisible(!result && isNetworkErrorText(info.toString()));
    if (!result && isVisible())
        m_viewDownloadsButton->setFocus(Qt::OtherFocusReason);
}

void MyCourseWidget::showEvent(QShowEvent *event)
{
    StyleWidget::showEvent(event);
    // The keyboard starts on the courses, or on the way to the downloads when there are none.
    if (m_viewDownloadsButton->isVisible())
        m_viewDownloadsButton->setFocus(Qt::OtherFocusReason);
    else if (m_validList->count() > 0)
        m_validList->setFocus(Qt::OtherFocusReason);
}

void MyCourseWidget::toggleExpired()
{
    const bool show = m_expiredList->isHidden();
    m_expiredList->setVisible(show);
    m_showExpiredButton->setText(QString::fromUtf8(show ? kHideExpired : kShowExpired));
    // Once laid out, the page scrolls so that the link stands at the top, the ended courses
    // below it.
    if (show) {
        QTimer::singleShot(0, this, [this] {
            m_scrollArea->verticalScrollBar()->setValue(m_showExpiredButton->y() - 15);
        });
    }
}

void MyCourseWidget::rebuild()
{
    AppState *state = appState();
    if (!state)
        return;
    const int end = state->courses.size();
    // Without this an earlier reply's courses (or another user's) would show twice.
    const int start = qBound(0, m_replyStart, end);
    m_replyStart = end;
    QList<ThumbnailItem *> valid;
    QList<ThumbnailItem *> expired;
    for (int i = start; i < end; ++i) {
        Course *course = state->courses.at(i);
        auto *tile = new ThumbnailItemMyCourse(course);
        if (course->isExpired != QLatin1String("0"))
            expired << tile;
        else
            valid << tile;
    }
    m_validList->setItems(valid);
    m_expiredList->setItems(expired);
    m_showExpiredButton->setVisible(m_expiredList->count() >= 1);
    // Arrived while the page is shown and the keyboard is nowhere on it: on the first course.
    QWidget *focus = QApplication::focusWidget();
    if (isVisible() && valid.size() > 0 && (!focus || !focus->isVisible() || !isAncestorOf(focus)))
        m_validList->setFocus(Qt::OtherFocusReason);
    // A new list (another user's) starts with its ended courses folded away.
    if (m_expiredList->count() == 0) {
        m_expiredList->hide();
        m_showExpiredButton->setText(QString::fromUtf8(kShowExpired));
    }
}

void MyCourseWidget::retry()
{
    if (MainWindow *main = mainWidget())
        main->setLoading(true);
    if (APIHandler *api = apiHandler())
        api->getMyCourseList();
}
