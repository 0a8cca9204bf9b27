#include "ui/MyCourseInfoWidget.h"

#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseModel.h"
#include "model/CourseTreeItem.h"
#include "player/LessonPlayback.h"
#include "ui/MainWidget.h"
#include "widgets/ImageButton.h"
#include "widgets/StyleButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

MyCourseInfoWidget::MyCourseInfoWidget(QWidget *parent)
    : StyleWidget(QString(), parent)
    , m_titleLabel(new QLabel(this))
    , m_selectAll(new QCheckBox(QStringLiteral("全选"), this))
    , m_downloadButton(new StyleButton(QStringLiteral("下载选中"), QStringLiteral("btnCourseDown"), this))
    , m_cancelButton(new StyleButton(QStringLiteral("取消"), QStringLiteral("btnCourseCancel"), this))
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
    m_tree->setFocusPolicy(Qt::NoFocus);
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

    auto back = [] {
        if (MainWidget *main = mainWidget())
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
}

void MyCourseInfoWidget::markCheckedLessons(const QModelIndex &parent)
{
    for (int row = 0; row < m_model->rowCount(parent); ++row) {
        const QModelIndex index = m_model->index(row, 0, parent);
        if (m_model->rowCount(index) > 0) {
            markCheckedLessons(index);
            continue;
        }
        if (m_model->data(index, Qt::CheckStateRole).toInt() != Qt::Checked)
            continue;
        CourseTreeItem *item = CourseModel::itemAt(index);
        if (item && item->courseware() && item->level() == Courseware::Lesson)
            item->courseware()->downloadState = Courseware::Queued;
    }
}

void MyCourseInfoWidget::downloadSelected()
{
    if (!m_course || !m_model)
        return;
    // Taken before the overlay paints: painting handles events, and a course detail
    // handled then would replace the tree and the lesson list it points into.
    markCheckedLessons(QModelIndex());
    const Course chosen = *m_course;
    MainWidget *main = mainWidget();
    if (main)
        main->setLoading(true);
    if (FileStream *queue = fileStream()) {
        queue->appendMission(chosen);
        queue->setPaused(false);
    }
    if (main) {
        main->setLoading(false);
        main->showCourses();
        main->showTip(QStringLiteral("已添加至下载列表"));
    }
}

void MyCourseInfoWidget::playIndex(const QModelIndex &index)
{
    CourseTreeItem *item = CourseModel::itemAt(index);
    if (!item || item->level() != Courseware::Lesson)
        return;
    m_playback->playFromCourse(item->courseware());
}
