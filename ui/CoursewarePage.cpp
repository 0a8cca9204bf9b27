#include "ui/CoursewarePage.h"

#include "app/Accessors.h"
#include "app/MainWindow.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/ThumbnailItemAddMore.h"
#include "model/ThumbnailItemCourseware.h"
#include "model/ThumbnailListWidget.h"
#include "widgets/ColorHLine.h"
#include "widgets/ImageButton.h"
#include "widgets/StyleButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CoursewarePage::CoursewarePage(QWidget *parent)
    : StyleWidget(QStringLiteral("WhiteWidget"), parent)
    , m_lessonList(new ThumbnailListWidget(this))
    , m_editButton(new StyleButton(QStringLiteral("编辑"), QStringLiteral("btnEdit"), this))
    , m_deleteButton(new StyleButton(QStringLiteral("删除所选"), QStringLiteral("btnDelete"), this))
    , m_cancelButton(
          new StyleButton(QStringLiteral("取消"), QStringLiteral("btnCourseCancel"), this))
    , m_selectAll(new QCheckBox(QStringLiteral("全选"), this))
    , m_titleLabel(new QLabel(this))
    , m_backButton(new ImageButton(QStringLiteral("back2"), QStringLiteral("back2"), this))
{
    m_deleteButton->hide();
    m_cancelButton->hide();
    m_selectAll->setObjectName(QStringLiteral("ckAll"));
    m_selectAll->setCursor(Qt::PointingHandCursor);
    m_selectAll->hide();
    m_titleLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_backButton->setFixedSize(30, 20);
    auto *line = new ColorHLine(QStringLiteral("#e0e0e0"), 1, this);

    auto *top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(20);
    top->addWidget(m_backButton);
    top->addWidget(m_titleLabel);
    top->addStretch();
    top->addWidget(m_selectAll);
    top->addWidget(m_deleteButton);
    top->addWidget(m_cancelButton);
    top->addWidget(m_editButton);
    top->addSpacing(20);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(20, 20, 20, 0);
    layout->addLayout(top);
    layout->addSpacing(7);
    layout->addWidget(line);
    layout->addSpacing(15);
    layout->addWidget(m_lessonList, 0, Qt::AlignHCenter);

    // Tab follows the top row, then the tiles.
    const QList<QWidget *> tabOrder{m_backButton,   m_selectAll,  m_deleteButton,
                                    m_cancelButton, m_editButton, m_lessonList};
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    connect(m_editButton, &QPushButton::clicked, this, [this] { setEditMode(true); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { setEditMode(false); });
    connect(m_selectAll, &QCheckBox::toggled, m_lessonList, &ThumbnailListWidget::setAllChecked);
    connect(m_deleteButton, &QPushButton::clicked, this, &CoursewarePage::deleteSelected);
    connect(m_backButton, &QPushButton::clicked, this, [] {
        if (MainWindow *main = mainWidget())
            main->showDownloads();
    });
}

Course *CoursewarePage::course() const
{
    FileStream *downloads = fileStream();
    return downloads && !m_courseId.isEmpty() ? downloads->findDownloadCourse(m_courseId) : nullptr;
}

void CoursewarePage::showEvent(QShowEvent *event)
{
    StyleWidget::showEvent(event);
    // The keyboard starts on the first lesson.
    m_lessonList->setFocus(Qt::OtherFocusReason);
    if (!m_lessonList->currentIndex().isValid() && m_lessonList->count() > 0)
        m_lessonList->setCurrentIndex(m_lessonList->model()->index(0, 0));
}

void CoursewarePage::loadCourse(const QString &courseId)
{
    FileStream *downloads = fileStream();
    const Course *shown = downloads ? downloads->findDownloadCourse(courseId) : nullptr;
    m_courseId = shown ? courseId : QString();
    if (!shown)
        return;
    m_titleLabel->setText(shown->title);
    refresh();
    // The new tiles are not in selection mode; the buttons must say so too.
    setEditMode(false);
}

void CoursewarePage::refresh()
{
    Course *shown = course();
    if (!shown)
        return;
    QList<ThumbnailItem *> tiles;
    for (Courseware &lesson : shown->coursewares) {
        if (lesson.downloadState == Courseware::Downloaded)
            tiles << new ThumbnailItemCourseware(shown, &lesson, ThumbnailItem::Downloaded);
    }
    tiles << new ThumbnailItemAddMore(shown);
    m_lessonList->setItems(tiles);
}

void CoursewarePage::setEditMode(bool on)
{
    m_editMode = on;
    m_editButton->setVisible(!on);
    m_selectAll->setVisible(on);
    m_deleteButton->setVisible(on);
    m_cancelButton->setVisible(on);
    m_selectAll->setChecked(false);
    m_lessonList->setEditMode(on);
}

void CoursewarePage::deleteSelected()
{
    QStringList ids;
    for (const ThumbnailItem *tile : m_lessonList->checkedItems()) {
        if (!tile->lessonId().isEmpty())
            ids << tile->lessonId();
    }
    if (!ids.isEmpty()) {
        if (FileStream *downloads = fileStream())
            downloads->removeMissions(ids);
        refresh();
        emit DownloadCoursewareRemovedSignal();
    }
    setEditMode(false);
    if (m_lessonList->count() == 1) {
        if (MainWindow *main = mainWidget())
            main->showDownloads();
    }
}
