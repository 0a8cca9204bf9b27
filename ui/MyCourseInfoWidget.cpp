#include "ui/MyCourseInfoWidget.h"

#include "api/LearningProgress.h"
#include "app/Accessors.h"
#include "app/MainWindow.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseModel.h"
#include "model/CourseTreeItem.h"
#include "player/LessonPlayback.h"
#include "widgets/ImageButton.h"
#include "widgets/StyleButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

MyCourseInfoWidget::MyCourseInfoWidget(QWidget *parent)
    : StyleWidget(QString(), parent)
    , m_titleLabel(new QLabel(this))
    , m_selectAll(new QCheckBox(QStringLiteral("全选"), this))
    , m_downloadButton(
          new StyleButton(QStringLiteral("下载选中"), QStringLiteral("btnCourseDown"), this))
    , m_cancelButton(
          new StyleButton(QStringLiteral("取消"), QStringLiteral("btnCourseCancel"), this))
    , m_tree(new QTreeView(this))
    , m_backButton(new ImageButton(QStringLiteral("back2"), QStringLiteral("back2"), this))
    // The course page answers the lesson address replies of its own play requests.
    , m_playback(new LessonPlayback(apiHandler(), this))
{
    m_titleLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_selectAll->setObjectName(QStringLiteral("ckAll"));
    m_selectAll->setCursor(Qt::PointingHandCursor);
    m_backButton->setFixedSize(30, 20);
    m_tree->header()->hide();
    m_tree->setCursor(Qt::PointingHandCursor);
    // Reached with Tab: arrows move and open chapters, Space ticks, Enter plays a lesson.
    m_tree->setFocusPolicy(Qt::StrongFocus);
    m_tree->installEventFilter(this);
    m_tree->header()->setStretchLastSection(false);

    auto *top = new QHBoxLayout;
    top->setContentsMargins(0, 15, 0, 15);
    top->setSpacing(30);
    top->addWidget(m_backButton);
    top->addWidget(m_titleLabel);
    top->addStretch();

    auto *bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("MessageBoxBottom"));
    bottom->setAttribute(Qt::WA_StyledBackground);
    bottom->setFixedHeight(45);
    auto *bar = new QHBoxLayout(bottom);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addStretch();
    bar->addWidget(m_selectAll);
    bar->addWidget(m_downloadButton);
    bar->addWidget(m_cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(15, 0, 15, 0);
    layout->setSpacing(0);
    layout->addLayout(top);
    layout->addWidget(m_tree);
    layout->addWidget(bottom);

    // Tab follows the page: back, the tree, then the bar under it.
    setTabOrder(m_backButton, m_tree);
    setTabOrder(m_tree, m_selectAll);
    setTabOrder(m_selectAll, m_downloadButton);
    setTabOrder(m_downloadButton, m_cancelButton);

    auto back = [] {
        if (MainWindow *main = mainWidget())
            main->showCourses();
    };
    connect(m_backButton, &QPushButton::clicked, this, back);
    connect(m_cancelButton, &QPushButton::clicked, this, back);
    connect(m_selectAll, &QCheckBox::clicked, this, [this](bool checked) {
        if (m_model)
            m_model->setAllChecked(checked);
    });
    connect(m_downloadButton, &QPushButton::clicked, this, &MyCourseInfoWidget::downloadSelected);
    connect(m_tree, &QTreeView::doubleClicked, this, &MyCourseInfoWidget::playIndex);
    if (LearningProgress *progress = learningProgress()) {
        connect(progress, &LearningProgress::progressChanged, this,
                [this](const QString &courseId, const QString &lessonId) {
                    if (m_model && m_course && m_course->id == courseId)
                        m_model->lessonChanged(lessonId);
                });
    }
}

MyCourseInfoWidget::~MyCourseInfoWidget() = default;

void MyCourseInfoWidget::setCourse(Course *course)
{
    if (!course)
        return;
    m_titleLabel->setText(course->title);
    m_titleLabel->adjustSize();
    m_downloadButton->setEnabled(true);
    m_cancelButton->setEnabled(true);
    m_selectAll->setChecked(false);
    CourseModel *previous = m_model;
    m_model = new CourseModel(course, this);
    m_tree->setModel(m_model);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    delete previous;
    m_course = course;
    // Ready for the arrows: the first row is current.
    m_tree->setCurrentIndex(m_model->index(0, 0));
}

void MyCourseInfoWidget::showEvent(QShowEvent *event)
{
    StyleWidget::showEvent(event);
    m_tree->setFocus(Qt::OtherFocusReason);
}

bool MyCourseInfoWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex current = m_tree->currentIndex().siblingAtColumn(0);
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current.isValid()) {
            if (m_model && m_model->rowCount(current) > 0)
                m_tree->setExpanded(current, !m_tree->isExpanded(current));
            else
                playIndex(current);
            return true;
        }
    }
    return StyleWidget::eventFilter(watched, event);
}

int MyCourseInfoWidget::markCheckedLessons(const QModelIndex &parent)
{
    int marked = 0;
    for (int row = 0; row < m_model->rowCount(parent); ++row) {
        const QModelIndex index = m_model->index(row, 0, parent);
        if (m_model->rowCount(index) > 0) {
            marked += markCheckedLessons(index);
            continue;
        }
        if (m_model->data(index, Qt::CheckStateRole).toInt() != Qt::Checked)
            continue;
        CourseTreeItem *item = CourseModel::itemAt(index);
        if (item && item->courseware() && item->level() == Courseware::Lesson) {
            item->courseware()->downloadState = Courseware::Queued;
            ++marked;
        }
    }
    return marked;
}

void MyCourseInfoWidget::downloadSelected()
{
    if (!m_course || !m_model)
        return;
    MainWindow *main = mainWidget();
    // Taken before the overlay paints: painting handles events, and a course detail
    // handled then would replace the tree and the lesson list it points into.
    if (markCheckedLessons(QModelIndex()) == 0) {
        if (main)
            main->showTip(QStringLiteral("没有选中要下载的课程"));
        return;
    }
    const Course chosen = *m_course;
    if (main)
        main->setLoading(true);
    if (FileStream *queue = fileStream()) {
        queue->appendMission(chosen);
        queue->setPaused(false);
    }
    // The page stays as it was, its chapters open, the queued lessons now marked as such.
    m_model->refreshStates();
    m_selectAll->setChecked(false);
    if (main) {
        main->setLoading(false);
        main->showTip(QStringLiteral("已添加至下载列表"));
    }
}

void MyCourseInfoWidget::playLesson(const QString &lessonId)
{
    if (!m_model)
        return;
    const QModelIndexList found =
        m_model->match(m_model->index(0, 0), CourseModel::IdRole, lessonId, 1,
                       Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty())
        return;
    m_tree->setCurrentIndex(found.first());
    playIndex(found.first());
}

void MyCourseInfoWidget::playIndex(const QModelIndex &index)
{
    CourseTreeItem *item = CourseModel::itemAt(index);
    if (!item || item->level() != Courseware::Lesson)
        return;
    m_playback->playFromCourse(item->courseware());
}
