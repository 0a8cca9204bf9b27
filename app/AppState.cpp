#include "app/AppState.h"

#include "model/Course.h"

#include <QSettings>

AppState::AppState() = default;

AppState::~AppState() { qDeleteAll(courses); }

void AppState::openSettings(const QString &path)
{
    settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

Course *AppState::appendCourse(const Course &course)
{
    courses.append(new Course(course));
    return courses.last();
}

Course *AppState::findCourse(const QString &courseId) const
{
    // An id that did not come as text is empty; it names no course.
    if (courseId.isEmpty())
        return nullptr;
    for (Course *course : courses) {
        if (course->id == courseId)
            return course;
    }
    return nullptr;
}
