#include "download/DownloadWidget.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/SettingKeys.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/ThumbnailItemCourseDone.h"
#include "model/ThumbnailItemCourseware.h"
#include "model/ThumbnailListWidget.h"
#include "model/ThumbnailModel.h"
#include "platform/DiskSpace.h"
#include "widgets/ColorHLine.h"
#include "widgets/ImageLabel.h"
#include "widgets/StyleButton.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

DownloadWidget::DownloadWidget(QWidget *parent)
    : StyleWidget(QStringLiteral("ContentWidget"), parent)
    , m_diskLabel(new QLabel(QStringLiteral("总空间：- / 可用空间：-"), this))
    , m_cachedGrid(new ThumbnailListWidget(this))
    , m_cachingGrid(new ThumbnailListWidget(this))
    , m_cachedTab(new StyleButton(QStringLiteral("已缓存"), QStringLiteral("btnDownTitle"), this))
    , m_cachingTab(new StyleButton(QStringLiteral("缓存中"), QStringLiteral("btnDownTitle"), this))
    , m_startAllButton(
          new StyleButton(QStringLiteral("全部开始"), QStringLiteral("btnPauseAll"), this))
    , m_pauseAllButton(
          new StyleButton(QStringLiteral("全部暂停"), QStringLiteral("btnPauseAll"), this))
    , m_editButton(new StyleButton(QStringLiteral("编辑"), QStringLiteral("btnEdit"), this))
    , m_deleteButton(new StyleButton(QStringLiteral("删除所选"), QStringLiteral("btnDelete"), this))
    , m_cancelButton(
          new StyleButton(QStringLiteral("取消"), QStringLiteral("btnCourseCancel"), this))
    , m_selectAll(new QCheckBox(QStringLiteral("全选"), this))
    , m_emptyImage(new ImageLabel(QStringLiteral("nocourse"), this))
    , m_tabs(new QButtonGroup(this))
{
    m_diskLabel->setObjectName(QStringLiteral("label14999"));
    m_diskLabel->setFixedHeight(25);
    m_cachedGrid->setObjectName(QStringLiteral("WhiteWidget"));
    m_cachingGrid->setObjectName(QStringLiteral("WhiteWidget"));
    m_selectAll->setObjectName(QStringLiteral("ckAll"));
    m_selectAll->setCursor(Qt::PointingHandCursor);
    m_emptyImage->setFixedSize(177, 88);
    m_emptyImage->hide();
    for (StyleButton *tab : {m_cachedTab, m_cachingTab}) {
        tab->setCheckable(true);
        m_tabs->addButton(tab);
    }
    m_tabs->setExclusive(true);
    m_cachedTab->setChecked(true);

    auto *diskBand = new QHBoxLayout;
    diskBand->setContentsMargins(20, 15, 20, 5);
    diskBand->addWidget(m_diskLabel);
    diskBand->addStretch();

    auto *buttonBand = new QHBoxLayout;
    buttonBand->setSpacing(20);
    buttonBand->setContentsMargins(20, 10, 20, 0);
    buttonBand->addWidget(m_cachedTab);
    buttonBand->addWidget(m_cachingTab);
    buttonBand->addStretch();
    buttonBand->addWidget(m_startAllButton);
    buttonBand->addWidget(m_pauseAllButton);
    buttonBand->addWidget(m_selectAll);
    buttonBand->addWidget(m_editButton);
    buttonBand->addWidget(m_deleteButton);
    buttonBand->addWidget(m_cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(diskBand);
    layout->addWidget(new ColorHLine(QStringLiteral("#e0e0e0"), 1, this));
    layout->addLayout(buttonBand);
    layout->addWidget(new ColorHLine(QStringLiteral("#e0e0e0"), 1, this));
    layout->addWidget(m_cachedGrid, 1, Qt::AlignHCenter);
    layout->addWidget(m_cachingGrid, 1, Qt::AlignHCenter);

    // Tab goes along the button band, then into the grid shown.
    const QList<QWidget *> tabOrder{m_cachedTab,  m_cachingTab, m_startAllButton, m_pauseAllButton,
                                    m_selectAll,  m_editButton, m_deleteButton,   m_cancelButton,
                                    m_cachedGrid, m_cachingGrid};
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    connect(m_cachedTab, &QPushButton::clicked, this, &DownloadWidget::showCachedTab);
    connect(m_cachingTab, &QPushButton::clicked, this, &DownloadWidget::showCachingTab);
    connect(m_startAllButton, &QPushButton::clicked, this, [this] { setPaused(false); });
    connect(m_pauseAllButton, &QPushButton::clicked, this, [this] { setPaused(true); });
    connect(m_editButton, &QPushButton::clicked, this, [this] { setEditMode(true); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { setEditMode(false); });
    connect(m_selectAll, &QCheckBox::toggled, this, [this](bool checked) {
        for (ThumbnailListWidget *grid : {m_cachedGrid, m_cachingGrid}) {
            if (grid->isVisibleTo(this))
                grid->setAllChecked(checked);
        }
    });
    connect(m_deleteButton, &QPushButton::clicked, this, &DownloadWidget::deleteSelected);
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &DownloadWidget::onHttpResponse);
    if (FileStream *queue = fileStream()) {
        connect(queue, &FileStream::AppendMissionSignal, this, &DownloadWidget::refreshCaching);
        const auto refreshBoth = [this] {
            refreshCached();
            refreshCaching();
        };
        connect(queue, &FileStream::DownloadedSignal, this, refreshBoth);
        connect(queue, &FileStream::DownloadsClearedSignal, this, refreshBoth);
        // Started, paused, stopped by an error: the tiles and the buttons say which.
        connect(queue, &FileStream::DownloadingStateChangeSignal, this,
                &DownloadWidget::refreshCaching);
        connect(queue, &FileStream::IndexSaveFailedSignal, this, [this](const QString &text) {
            // Told after the change that failed to save has run its course.
            QTimer::singleShot(0, this, [text] {
                if (MainWindow *window = mainWidget())
                    window->showMessage(text, Message::OkOnly);
            });
        });
    }

    showCachedTab();
}

void DownloadWidget::onHttpResponse(int type, int result, const QVariant &)
{
    if (type != ReqLogin)
        return;
    // A sign-out empties the page: the next person at the computer sees nothing of it.
    if (!result)
        setEditMode(false);
    refreshDiskLabel();
    refreshCached();
    refreshCaching();
}

void DownloadWidget::refreshDiskLabel()
{
    const AppState *state = appState();
    const QString folder =
        state && state->settings
            ? state->settings->value(QLatin1String(SettingKeys::VideoPath)).toString()
            : QString();
    const QString space = DiskSpace::diskSpace(DiskSpace::queryPathFor(folder));
    if (space.isEmpty())
        return;
    const QStringList parts = space.split(QLatin1Char('-'));
    if (parts.size() != 2)
        return;
    m_diskLabel->setText(QStringLiteral("总空间：") + parts.at(0)
                         + QStringLiteral("GB / 可用空间：") + parts.at(1) + QStringLiteral("GB"));
}

QSet<QString> DownloadWidget::tickedKeys(const ThumbnailListWidget *grid)
{
    QSet<QString> keys;
    for (const ThumbnailItem *tile : grid->checkedItems())
        keys.insert(tile->courseId() + QLatin1Char('/') + tile->lessonId());
    return keys;
}

void DownloadWidget::keepTicks(ThumbnailListWidget *grid, const QSet<QString> &keys)
{
    if (keys.isEmpty() || !m_editMode || !grid->isVisibleTo(this))
        return;
    for (ThumbnailItem *tile : grid->thumbnailModel()->items())
        tile->setChecked(keys.contains(tile->courseId() + QLatin1Char('/') + tile->lessonId()));
    grid->thumbnailModel()->notifyAllChanged();
}

void DownloadWidget::refreshCached()
{
    const QSet<QString> ticked = tickedKeys(m_cachedGrid);
    QList<ThumbnailItem *> tiles;
    if (AppState *state = appState()) {
        for (Course &course : state->user.downloads) {
            for (const Courseware &lesson : course.coursewares) {
                if (lesson.downloadState == Courseware::Downloaded) {
                    tiles << new ThumbnailItemCourseDone(&course);
                    break;
                }
            }
        }
    }
    m_cachedGrid->setItems(tiles);
    keepEditMode(m_cachedGrid);
    keepTicks(m_cachedGrid, ticked);
    m_cachedCount = tiles.size();
    updateCachedTabText();
    m_emptyImage->setVisible(m_cachedCount == 0);
    updateButtons();
    update();
}

void DownloadWidget::refreshCaching()
{
    const QSet<QString> ticked = tickedKeys(m_cachingGrid);
    FileStream *queue = fileStream();
    const Courseware *running = queue && queue->isBusy() ? queue->currentLesson() : nullptr;
    const bool stopped = queue && !queue->isRunning();
    QList<ThumbnailItem *> tiles;
    if (AppState *state = appState()) {
        for (Course &course : state->user.downloads) {
            for (Courseware &lesson : course.coursewares) {
                if (lesson.downloadState != Courseware::Queued)
                    continue;
                // What the queue is doing with the lesson now, not what it did at the start.
                const QString error = queue ? queue->lessonError(course.id, lesson.id) : QString();
                int tileState = stopped ? ThumbnailItem::Paused : ThumbnailItem::Waiting;
                if (!error.isEmpty())
                    tileState = ThumbnailItem::Failed;
                else if (&lesson == running)
                    tileState = ThumbnailItem::Downloading;
                auto *tile = new ThumbnailItemCourseware(&course, &lesson, tileState);
                tile->setErrorText(error);
                if (&lesson == running)
                    tile->setProgressAngle(
                        int(ThumbnailItem::FullAngle * queue->currentProgress()));
                tiles << tile;
            }
        }
    }
    m_cachingGrid->setItems(tiles);
    keepEditMode(m_cachingGrid);
    keepTicks(m_cachingGrid, ticked);
    m_cachingCount = tiles.size();
    updateCachedTabText();
    updateButtons();
}

void DownloadWidget::keepEditMode(ThumbnailListWidget *grid)
{
    // A download that ends during a selection brings new tiles: they must select too,
    // not start playing or open a page when clicked.
    if (m_editMode && grid->isVisibleTo(this))
        grid->setEditMode(true);
}

void DownloadWidget::updateCachedTabText()
{
    QString text = QStringLiteral("已缓存");
    if (m_cachedCount > 0)
        text += QStringLiteral("（") + QString::number(m_cachedCount) + QStringLiteral("个课程）");
    m_cachedTab->setText(text);
}

void DownloadWidget::updateButtons()
{
    const FileStream *queue = fileStream();
    const bool paused = queue && !queue->isRunning();
    const bool cachingShown = m_cachingGrid->isVisibleTo(this);
    const bool busyTab = cachingShown && m_cachingCount > 0;
    m_startAllButton->setVisible(busyTab && paused && !m_editMode);
    m_pauseAllButton->setVisible(busyTab && !paused && !m_editMode);
    const int shownCount = cachingShown ? m_cachingCount : m_cachedCount;
    m_editButton->setVisible(!m_editMode && shownCount >= 1);
}

void DownloadWidget::showCachedTab()
{
    m_cachedTab->setChecked(true);
    m_cachedGrid->show();
    m_cachingGrid->hide();
    m_emptyImage->setVisible(m_cachedCount == 0);
    setEditMode(false);
    // Shown for the downloaded lessons: the keyboard goes straight to them.
    if (isVisible() && m_cachedCount > 0)
        m_cachedGrid->setFocus(Qt::OtherFocusReason);
}

void DownloadWidget::showCachingTab()
{
    m_cachingTab->setChecked(true);
    m_cachedGrid->hide();
    m_cachingGrid->show();
    // The empty picture belongs to the cached tab.
    m_emptyImage->hide();
    setEditMode(false);
}

void DownloadWidget::setPaused(bool paused)
{
    if (FileStream *queue = fileStream())
        queue->setPaused(paused);
    updateButtons();
}

void DownloadWidget::setEditMode(bool on)
{
    m_editMode = on;
    updateButtons();
    m_selectAll->setVisible(on);
    m_deleteButton->setVisible(on);
    m_cancelButton->setVisible(on);
    m_selectAll->setChecked(false);
    for (ThumbnailListWidget *grid : {m_cachedGrid, m_cachingGrid}) {
        if (grid->isVisibleTo(this))
            grid->setEditMode(on);
    }
}

void DownloadWidget::deleteSelected()
{
    FileStream *queue = fileStream();
    QStringList ids;
    if (m_cachedGrid->isVisibleTo(this)) {
        for (const ThumbnailItem *tile : m_cachedGrid->checkedItems()) {
            // Looked up by id: the tile's pointer may be older than the list.
            const Course *course = queue ? queue->findDownloadCourse(tile->courseId()) : nullptr;
            if (!course)
                continue;
            for (const Courseware &lesson : course->coursewares) {
                if (lesson.downloadState == Courseware::Downloaded)
                    ids << lesson.id;
            }
        }
        if (!ids.isEmpty() && queue) {
            queue->removeMissions(ids);
            refreshCached();
        }
    } else if (m_cachingGrid->isVisibleTo(this)) {
        for (const ThumbnailItem *tile : m_cachingGrid->checkedItems()) {
            if (!tile->lessonId().isEmpty())
                ids << tile->lessonId();
        }
        if (!ids.isEmpty() && queue) {
            queue->removeMissions(ids);
            refreshCaching();
        }
    }
    setEditMode(false);
}

void DownloadWidget::showEvent(QShowEvent *event)
{
    refreshDiskLabel();
    updateCachedTabText();
    updateButtons();
    StyleWidget::showEvent(event);
}

void DownloadWidget::placeEmptyImage()
{
    const QRect grid = m_cachedGrid->geometry();
    m_emptyImage->move(grid.x() + (grid.width() - m_emptyImage->width()) / 2,
                       grid.y() + grid.height() / 3);
}

void DownloadWidget::paintEvent(QPaintEvent *event)
{
    if (m_emptyImage->isVisible())
        placeEmptyImage();
    StyleWidget::paintEvent(event);
}
