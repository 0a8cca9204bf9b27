#pragma once

#include "widgets/StyleWidget.h"

class CourseModel;
class ImageButton;
class LessonPlayback;
class QCheckBox;
class QLabel;
class QModelIndex;
class QTreeView;
class StyleButton;
struct Course;

// The course page: one course's lesson tree with check boxes; the checked lessons go to
// the download queue, a double-clicked lesson plays.
class MyCourseInfoWidget : public StyleWidget
{
    Q_OBJECT

public:
    explicit MyCourseInfoWidget(QWidget *parent = nullptr);
    ~MyCourseInfoWidget() override;

    // Shows this course (a record of the app state's course list) in a new tree.
    void setCourse(Course *course);
    // Plays a lesson of the shown course, the tree's row made current.
    void playLesson(const QString &lessonId);

    Course *course() const { return m_course; }
    CourseModel *model() const { return m_model; }
    QTreeView *tree() const { return m_tree; }
    QLabel *titleLabel() const { return m_titleLabel; }
    QCheckBox *selectAllBox() const { return m_selectAll; }
    StyleButton *downloadButton() const { return m_downloadButton; }
    StyleButton *cancelButton() const { return m_cancelButton; }
    ImageButton *backButton() const { return m_backButton; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void downloadSelected();
    void playIndex(const QModelIndex &index);
    // Queues the checked lessons under parent; returns how many.
    int markCheckedLessons(const QModelIndex &parent);

    QLabel *m_titleLabel = nullptr;
    QCheckBox *m_selectAll = nullptr;
    StyleButton *m_downloadButton = nullptr;
    StyleButton *m_cancelButton = nullptr;
    QTreeView *m_tree = nullptr;
    CourseModel *m_model = nullptr;
    Course *m_course = nullptr;
    ImageButton *m_backButton = nullptr;
    LessonPlayback *m_playback = nullptr;
};
