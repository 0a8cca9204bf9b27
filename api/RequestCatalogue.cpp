#include "api/RequestCatalogue.h"

#include "api/RequestSigner.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "model/Courseware.h"

namespace RequestCatalogue {

namespace {
// Every request starts with the session id; most end with the protocol marker and client kind.
RequestQuery withSid(const QString &sid)
{
    return RequestQuery().add(QStringLiteral("php_new_123sid"), sid);
}

RequestQuery &addClient(RequestQuery &query)
{
    return query.add(QStringLiteral("php_new_vs"), QStringLiteral("2"))
        .add(QStringLiteral("type"), QStringLiteral("2"));
}
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

bool isSigned(int type) { return type != ReqPcUpdate && type != ReqAvatar; }

QString address(int type, const RequestQuery &parameters)
{
    QString url = QStringLiteral("http://") + ServiceSettings::webHost() + QLatin1Char('/')
                  + path(type) + parameters.encoded();
    if (isSigned(type))
        url += QStringLiteral("&sign=") + RequestSigner::sign(parameters.raw());
    return url;
}

QString address(int type, const QString &parameters)
{
    // Parts split at their first "=", so the raw text and its digest stay the same.
    RequestQuery query;
    for (const QString &part : parameters.split(QLatin1Char('&'))) {
        const int equals = part.indexOf(QLatin1Char('='));
        query.add(part.left(equals), equals < 0 ? QString() : part.mid(equals + 1));
    }
    return address(type, query);
}

RequestQuery pcUpdate(const QString &sid)
{
    RequestQuery query = withSid(sid);
    return addClient(query).add(QStringLiteral("type_client"), QStringLiteral("pexil_app"));
}

RequestQuery sessionId(const QString &sid)
{
    RequestQuery query = withSid(sid);
    return addClient(query);
}

RequestQuery login(const QString &sid, const QString &userName, const QString &password)
{
    RequestQuery query = withSid(sid);
    query.add(QStringLiteral("password"), password).add(QStringLiteral("username"), userName);
    return addClient(query);
}

RequestQuery registerUser(const QString &sid, const QString &userName, const QString &password)
{
    RequestQuery query = withSid(sid);
    query.add(QStringLiteral("username"), userName)
        .add(QStringLiteral("password"), password)
        .add(QStringLiteral("repassword"), password)
        .add(QStringLiteral("register_site"), QStringLiteral("2"))
        .add(QStringLiteral("register_client"), QStringLiteral("5"));
    return addClient(query);
}

RequestQuery changePassword(const QString &sid, const QString &userName, const QString &oldPassword,
                            const QString &newPassword)
{
    RequestQuery query = withSid(sid);
    return addClient(query)
        .add(QStringLiteral("username"), userName)
        .add(QStringLiteral("old_pwd"), oldPassword)
        .add(QStringLiteral("new_pwd"), newPassword)
        .add(QStringLiteral("new_repwd"), newPassword);
}

RequestQuery myCourseList(const QString &sid)
{
    RequestQuery query = withSid(sid);
    query.add(QStringLiteral("p"), QStringLiteral("15"))
        .add(QStringLiteral("num"), QStringLiteral("0"));
    return addClient(query);
}

RequestQuery myCourseInfo(const QString &sid, const QString &courseId)
{
    RequestQuery query = withSid(sid);
    query.add(QStringLiteral("class_id"), courseId);
    return addClient(query);
}

RequestQuery keysAndUrl(const QString &sid, const Courseware &courseware)
{
    RequestQuery query = withSid(sid);
    query.add(QStringLiteral("class_id"), courseware.courseId)
        .add(QStringLiteral("lesson_id"), courseware.id)
        .add(QStringLiteral("c_type"), courseware.cType);
    return addClient(query);
}

RequestQuery learnStatus(const QString &sid, const QString &classId, const QString &lessonId,
                         const QString &status, const QString &cType)
{
    RequestQuery query = withSid(sid);
    return addClient(query)
        .add(QStringLiteral("class_id"), classId)
        .add(QStringLiteral("lesson_id"), lessonId)
        .add(QStringLiteral("stutas"), status)
        .add(QStringLiteral("c_type"), cType);
}

RequestQuery watchTime(const QString &sid, const QString &classId, const QString &lessonId,
                       const QString &watchTimes, const QString &cType)
{
    RequestQuery query = withSid(sid);
    return addClient(query)
        .add(QStringLiteral("class_id"), classId)
        .add(QStringLiteral("lesson_id"), lessonId)
        .add(QStringLiteral("watchtimes"), watchTimes)
        .add(QStringLiteral("c_type"), cType);
}

} // namespace RequestCatalogue
