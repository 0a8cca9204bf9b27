#include "model/ThumbnailItemMyCourse.h"

#include "api/LearningProgress.h"
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
    showProgress();
    cacheImage();
}

void ThumbnailItemMyCourse::showProgress()
{
    // "use" counts the lessons watched to their end, "sum" all of them.
    const int lessons = m_course->sum.toInt();
    m_learnedText =
        lessons > 0 && !m_expired
            ? QStringLiteral("已学 %1/%2").arg(qBound(0, m_course->use, lessons)).arg(lessons)
            : QString();
    const LearningProgress *progress = learningProgress();
    m_canContinue =
        !m_expired && !m_course->id.isEmpty()
        && (m_course->use > 0 || (progress && progress->lastLesson(m_course->id).isValid()));
}

void ThumbnailItemMyCourse::continueLearning()
{
    if (MainWindow *main = mainWidget())
        main->continueCourse(m_course);
}

void ThumbnailItemMyCourse::activate()
{
    // The course list's records live for the whole run, so the pointer stays good (the id
    // would not do: a course whose id came as a number has none, and is told so on opening).
    if (MainWindow *main = mainWidget())
        main->openCourse(m_course);
}
