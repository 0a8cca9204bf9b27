#pragma once

#include "widgets/StyleWidget.h"

class ImageButton;
class QCheckBox;
class QLabel;
class StyleButton;
class ThumbnailListWidget;
struct Course;

// The downloaded lessons of one course as thumbnails, with a selection mode that deletes
// the chosen downloads.
class CoursewarePage : public StyleWidget
{
    Q_OBJECT

public:
    explicit CoursewarePage(QWidget *parent = nullptr);

    // Shows the course of the download list with this id; an unknown id changes nothing
    // on screen and leaves no course remembered.
    void loadCourse(const QString &courseId);
    void refresh();
    void setEditMode(bool on);

    // The shown course as the download list holds it now, or null.
    Course *course() const;
    bool isEditMode() const { return m_editMode; }
    ThumbnailListWidget *lessonList() const { return m_lessonList; }
    StyleButton *editButton() const { return m_editButton; }
    StyleButton *deleteButton() const { return m_deleteButton; }
    StyleButton *cancelButton() const { return m_cancelButton; }
    QCheckBox *selectAllBox() const { return m_selectAll; }
    QLabel *titleLabel() const { return m_titleLabel; }
    ImageButton *backButton() const { return m_backButton; }

signals:
    void DownloadCoursewareRemovedSignal();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void deleteSelected();

    ThumbnailListWidget *m_lessonList = nullptr;
    StyleButton *m_editButton = nullptr;
    StyleButton *m_deleteButton = nullptr;
    StyleButton *m_cancelButton = nullptr;
    QCheckBox *m_selectAll = nullptr;
    QLabel *m_titleLabel = nullptr;
    bool m_editMode = false;
    ImageButton *m_backButton = nullptr;
    // The course is looked up by this id whenever it is used: the list may have changed.
    QString m_courseId;
};
