#include "api/RequestCatalogue.h"

#include "api/RequestSigner.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "model/Courseware.h"

namespace RequestCatalogue {

namespace {
const QString kSid = QStringLiteral("php_new_123sid=");
const QString kClient = QStringLiteral("&php_new_vs=2&type=2");
} // namespace

QString path(int type)
{
    switch (type) {
    case ReqPcUpdate: return QStringLiteral("course_2016_app/getPcUpdate/?");
    case ReqSessionId: return QStringLiteral("foreuser_2016_app/getSessionId/?");
    case ReqLogin: return QStringLiteral("foreuser_2016_app/dologin/?");
    case ReqRegister: return QStringLiteral("foreuser_2016_app/doregister/?");
    case ReqChangePassword: return QStringLiteral("foreuser_2016_app/doforget/?");
    case ReqMyCourseList: return QStringLiteral("course_2016_app/MyCourseList/?");
    case ReqMyCourseInfo: return QStringLiteral("course_2016_app/GetMyCourseInfo/?");
    case ReqPlayKeys:
    case ReqDownloadKeys: return QStringLiteral("course_2016_app/GetKeysAndUrlByLid/?");
    case ReqLearnStatus: return QStringLiteral("course_2016_app/PushLearnStatus/?");
    case ReqWatchTime: return QStringLiteral("course_2016_app/Editwatchtime/?");
    default: return QString();
    }
}

bool isSigned(int type)
{
    return type != ReqPcUpdate && type != ReqAvatar;
}

QString address(int type, const QString &parameters)
{
    QString url = QStringLiteral("http://") + ServiceSettings::webHost() + QLatin1Char('/')
                  + path(type) + parameters;
    if (isSigned(type))
        url += QStringLiteral("&sign=") + RequestSigner::sign(parameters);
    return url;
}

QString pcUpdate(const QString &sid)
{
    return kSid + sid + kClient + QStringLiteral("&type_client=pexil_app");
}

QString sessionId(const QString &sid)
{
    return kSid + sid + kClient;
}

QString login(const QString &sid, const QString &userName, const QString &password)
{
    return kSid + sid + QStringLiteral("&password=") + password + QStringLiteral("&username=")
           + userName + kClient;
}

QString registerUser(const QString &sid, const QString &userName, const QString &password)
{
    return kSid + sid + QStringLiteral("&username=") + userName + QStringLiteral("&password=")
           + password + QStringLiteral("&repassword=") + password
           + QStringLiteral("&register_site=2&register_client=5") + kClient;
}

QString changePassword(const QString &sid, const QString &userName, const QString &oldPassword,
                       const QString &newPassword)
{
    return kSid + sid + kClient + QStringLiteral("&username=") + userName
           + QStringLiteral("&old_pwd=") + oldPassword + QStringLiteral("&new_pwd=") + newPassword
           + QStringLiteral("&new_repwd=") + newPassword;
}

QString myCourseList(const QString &sid)
{
    return kSid + sid + QStringLiteral("&p=15&num=0&php_new_vs=2&type=2");
}

QString myCourseInfo(const QString &sid, const QString &courseId)
{
    return kSid + sid + QStringLiteral("&class_id=") + courseId + kClient;
}

QString keysAndUrl(const QString &sid, const Courseware &courseware)
{
    return kSid + sid + QStringLiteral("&class_id=") + courseware.courseId
           + QStringLiteral("&lesson_id=") + courseware.id + QStringLiteral("&c_type=")
           + courseware.cType + kClient;
}

QString learnStatus(const QString &sid, const QString &classId, const QString &lessonId,
                    const QString &status, const QString &cType)
{
    return kSid + sid + kClient + QStringLiteral("&class_id=") + classId
           + QStringLiteral("&lesson_id=") + lessonId + QStringLiteral("&stutas=") + status
           + QStringLiteral("&c_type=") + cType;
}

QString watchTime(const QString &sid, const QString &classId, const QString &lessonId,
                  const QString &watchTimes, const QString &cType)
{
    return kSid + sid + kClient + QStringLiteral("&class_id=") + classId
           + QStringLiteral("&lesson_id=") + lessonId + QStringLiteral("&watchtimes=") + watchTimes
           + QStringLiteral("&c_type=") + cType;
}

} // namespace RequestCatalogue
