#pragma once

#include "model/Course.h"

#include <QString>
#include <QStringList>

// Records of the demo catalogue's lessons as the course page hands them on.
namespace DemoLessons {
Courseware lesson(const QString &courseId, const QString &id, int state);
// A course with the given lessons queued for download.
Course queuedCourse(const QString &id, const QStringList &lessonIds,
                    const QString &title = QString());
} // namespace DemoLessons
