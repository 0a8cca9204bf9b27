#include "support/DemoLessons.h"

namespace DemoLessons {

Courseware lesson(const QString &courseId, const QString &id, int state)
{
    Courseware cw;
    cw.courseId = courseId;
    cw.id = id;
    cw.cType = QStringLiteral("1");
    cw.type = QStringLiteral("kejian");
    cw.title = QStringLiteral("课件 ") + id;
    cw.level = Courseware::Lesson;
    cw.downloadState = state;
    return cw;
}

Course queuedCourse(const QString &id, const QStringList &lessonIds, const QString &title)
{
    Course course;
    course.id = id;
    course.title = title.isEmpty() ? QStringLiteral("课程 ") + id : title;
    for (const QString &lessonId : lessonIds)
        course.coursewares << lesson(id, lessonId, Courseware::Queued);
    return course;
}

} // namespace DemoLessons
