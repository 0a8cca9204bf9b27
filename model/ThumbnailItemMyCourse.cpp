#include "model/ThumbnailItemMyCourse.h"

#include "app/Accessors.h"
#include "app/MainWindow.h"
#include "model/Course.h"

ThumbnailItemMyCourse::ThumbnailItemMyCourse(Course *course, QObject *parent)
    : ThumbnailItem(MyCourseKind, course, parent)
    , m_course(course)
{
    if (!course)
        return;
    showCourseImage(course);
    m_title = course->title;
    m_expired = course->isExpired != QLatin1String("0");
    cacheImage();
}

void ThumbnailItemMyCourse::activate()
{
    // The course list's records live for the whole run, so the pointer stays good (the id
    // would not do: a course whose id came as a number has none, and is told so on opening).
    if (MainWindow *main = mainWidget())
        main->openCourse(m_course);
}
