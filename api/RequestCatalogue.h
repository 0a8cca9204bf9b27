#pragma once

#include "api/RequestQuery.h"

#include <QString>

struct Courseware;

// The query strings of the service's requests, in the service's exact key order. The
// digest reads the values as typed; the address carries them percent-encoded.
namespace RequestCatalogue {
QString path(int type);
bool isSigned(int type);
// Base address + path + encoded parameters (+ "&sign=" + digest of the raw ones for
// signed types).
QString address(int type, const RequestQuery &parameters);
// The same for a parameter text written out by hand: each value (after its part's first
// "=") is encoded.
QString address(int type, const QString &parameters);

RequestQuery pcUpdate(const QString &sid);
RequestQuery sessionId(const QString &sid);
RequestQuery login(const QString &sid, const QString &userName, const QString &password);
RequestQuery registerUser(const QString &sid, const QString &userName, const QString &password);
RequestQuery changePassword(const QString &sid, const QString &userName, const QString &oldPassword,
                            const QString &newPassword);
RequestQuery myCourseList(const QString &sid);
RequestQuery myCourseInfo(const QString &sid, const QString &courseId);
RequestQuery keysAndUrl(const QString &sid, const Courseware &courseware);
RequestQuery learnStatus(const QString &sid, const QString &classId, const QString &lessonId,
                         const QString &status, const QString &cType);
RequestQuery watchTime(const QString &sid, const QString &classId, const QString &lessonId,
                       const QString &watchTimes, const QString &cType);
} // namespace RequestCatalogue
