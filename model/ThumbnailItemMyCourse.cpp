#include "model/ThumbnailItemMyCourse.h"

#include "app/Accessors.h"
#include "model/Course.h"
#include "ui/MainWidget.h"

ThumbnailItemMyCourse::ThumbnailItemMyCourse(Course *course, QObject *parent)
    : ThumbnailItem(MyCourseKind, course, parent)
{
    if (!course)
        return;
    showCourseImage();
    m_title = course->title;
    m_expired = course->isExpired != QLatin1String("0");
    cacheImage();
}

void ThumbnailItemMyCourse::activate()
{
    // The course list's records live for the whole run, so the pointer stays good.
    if (MainWidget *main = mainWidget())
        main->openCourse(m_course);
}
