#include "ui/MyCourseWidget.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "model/Course.h"
#include "model/ThumbnailItemMyCourse.h"
#include "model/ThumbnailListWidget.h"
#include "ui/MainWidget.h"
#include "widgets/StyleButton.h"

#include <QVBoxLayout>

MyCourseWidget::MyCourseWidget(QWidget *parent)
    : StyleWidget(QStringLiteral("f8Widget"), parent)
    , m_validList(new ThumbnailListWidget(this))
    , m_expiredList(new ThumbnailListWidget(this))
    , m_showExpiredButton(new StyleButton(QStringLiteral("显示已过期课程"), QStringLiteral("lblReg"), this))
    , m_retryButton(new StyleButton(QStringLiteral("重试"), QStringLiteral("lblReg"), this))
    , m_viewDownloadsButton(new StyleButton(QStringLiteral("查看已缓存"), QStringLiteral("lblReg"), this))
{
    m_expiredList->hide();
    m_showExpiredButton->hide();
    m_retryButton->hide();
    m_viewDownloadsButton->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_retryButton);
    layout->addWidget(m_viewDownloadsButton);
    layout->addWidget(m_validList);
    layout->addSpacing(15);
    layout->addWidget(m_showExpiredButton);
    layout->addSpacing(15);
    layout->addWidget(m_expiredList);

    connect(m_showExpiredButton, &QPushButton::clicked, m_expiredList, &QWidget::show);
    connect(m_retryButton, &QPushButton::clicked, this, &MyCourseWidget::retry);
    connect(m_viewDownloadsButton, &QPushButton::clicked, this, [] {
        if (MainWidget *main = mainWidget())
            main->showDownloads();
    });
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &MyCourseWidget::onHttpResponse);
}

void MyCourseWidget::onHttpResponse(int type, int result, const QVariant &)
{
    if (type != ReqMyCourseList)
        return;
    if (result)
        rebuild();
    m_retryButton->setVisible(!result);
    m_viewDownloadsButton->setVisible(!result);
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
}

void MyCourseWidget::retry()
{
    if (MainWidget *main = mainWidget())
        main->setLoading(true);
    if (APIHandler *api = apiHandler())
        api->getMyCourseList();
}
