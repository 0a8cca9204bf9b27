#include "model/Course.h"

#include "model/JsonRead.h"
#include "model/StreamList.h"

#include <QDataStream>

Course Course::fromJson(const QJsonObject &object)
{
    Course course;
    course.id = JsonRead::text(object, "id");
    course.title = JsonRead::text(object, "title");
    course.img = JsonRead::text(object, "img");
    course.sum = JsonRead::text(object, "sum");
    course.endtime = JsonRead::text(object, "endtime");
    course.addTime = JsonRead::text(object, "add_time");
    course.isExpired = JsonRead::text(object, "is_expired");
    course.endInfo = JsonRead::text(object, "end_info");
    course.use = JsonRead::integer(object, "use");
    course.courseMonthly = JsonRead::integer(object, "course_monthly");
    course.isEnd = JsonRead::integer(object, "is_end");
    return course;
}

Courseware *Course::findCourseware(const QString &coursewareId)
{
    if (coursewareId.isEmpty())
        return nullptr;
    for (Courseware &cw : coursewares) {
        if (cw.id == coursewareId)
            return &cw;
    }
    return nullptr;
}

const Courseware *Course::findCourseware(const QString &coursewareId) const
{
    return const_cast<Course *>(this)->findCourseware(coursewareId);
}

QDataStream &operator<<(QDataStream &out, const Course &course)
{
    out << course.id << course.title << course.img << course.coursewares << course.localPath;
    return out;
}

QDataStream &operator>>(QDataStream &in, Course &course)
{
    in >> course.id >> course.title >> course.img >> course.coursewares >> course.localPath;
    return in;
}

QDataStream &operator<<(QDataStream &out, const QList<Course> &list)
{
    StreamList::write(out, list);
    return out;
}

QDataStream &operator>>(QDataStream &in, QList<Course> &list)
{
    StreamList::read(in, list);
    return in;
}
