#pragma once

#include <QString>

struct Courseware;

// The query strings of the service's requests, built by hand in the service's exact key
// order; values go in as they are (the URL parser percent-encodes what a URL cannot hold).
namespace RequestCatalogue {
QString path(int type);
bool isSigned(int type);
// Base address + path + parameters (+ "&sign=" + digest for signed types).
QString address(int type, const QString &parameters);

QString pcUpdate(const QString &sid);
QString sessionId(const QString &sid);
QString login(const QString &sid, const QString &userName, const QString &password);
QString registerUser(const QString &sid, const QString &userName, const QString &password);
QString changePassword(const QString &sid, const QString &userName, const QString &oldPassword,
                       const QString &newPassword);
QString myCourseList(const QString &sid);
QString myCourseInfo(const QString &sid, const QString &courseId);
QString keysAndUrl(const QString &sid, const Courseware &courseware);
QString learnStatus(const QString &sid, const QString &classId, const QString &lessonId,
                    const QString &status, const QString &cType);
QString watchTime(const QString &sid, const QString &classId, const QString &lessonId,
                  const QString &watchTimes, const QString &cType);
}
