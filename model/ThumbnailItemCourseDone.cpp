#include "model/ThumbnailItemCourseDone.h"

#include "app/Accessors.h"
#include "app/MainWindow.h"
#include "model/Course.h"

ThumbnailItemCourseDone::ThumbnailItemCourseDone(Course *course, QObject *parent)
    : ThumbnailItem(CourseDoneKind, course, parent)
{
    if (!course)
        return;
    for (const Courseware &lesson : course->coursewares) {
        if (lesson.downloadState == Courseware::Downloaded)
            ++m_cachedCount;
    }
    showCourseImage(course);
    m_localFolder = course->localPath;
    m_title = course->title;
    // The cover may never have been fetched on this machine (a store from before).
    cacheImage();
}

void ThumbnailItemCourseDone::activate()
{
    if (MainWindow *main = mainWidget())
        main->showLessonPage(m_courseId);
}
