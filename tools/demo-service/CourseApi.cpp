#include "CourseApi.h"

#include "AccountStore.h"
#include "Catalogue.h"
#include "MediaLibrary.h"

#include <QJsonArray>
#include <QStringList>

namespace {

const QStringList endpoints{
    QStringLiteral("getPcUpdate"),     QStringLiteral("getSessionId"),
    QStringLiteral("dologin"),         QStringLiteral("doregister"),
    QStringLiteral("doforget"),        QStringLiteral("MyCourseList"),
    QStringLiteral("GetMyCourseInfo"), QStringLiteral("GetKeysAndUrlByLid"),
    QStringLiteral("PushLearnStatus"), QStringLiteral("Editwatchtime"),
};

QJsonObject reply(int flag, const QString &infos, const QJsonValue &data = QJsonValue())
{
    QJsonObject object{{QStringLiteral("flag"), flag}, {QStringLiteral("infos"), infos}};
    if (!data.isUndefined() && !data.isNull())
        object.insert(QStringLiteral("data"), data);
    return object;
}

QString value(const QUrlQuery &query, const char *key)
{
    return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
}

QJsonObject notSignedIn() { return reply(0, QStringLiteral("登录已失效，请重新登录")); }

} // namespace

CourseApi::CourseApi(const Catalogue &catalogue, AccountStore &accounts, const MediaLibrary &media,
                     const QString &webHost, const QString &coursewareHost,
                     const QString &updateVersion)
    : m_catalogue(catalogue)
    , m_accounts(accounts)
    , m_media(media)
    , m_webHost(webHost)
    , m_coursewareHost(coursewareHost)
    , m_updateVersion(updateVersion)
{
}

bool CourseApi::isEndpoint(const QString &name) { return endpoints.contains(name); }

bool CourseApi::isSigned(const QString &name)
{
    return isEndpoint(name) && name != QLatin1String("getPcUpdate");
}

void CourseApi::setUpdateVersion(const QString &version)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_updateVersion = version;
}

QString CourseApi::updateVersion() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_updateVersion;
}

QString CourseApi::avatarUrl(const QString &uid) const
{
    return QStringLiteral("http://%1/avatar/%2.jpg").arg(m_webHost, uid);
}

QString CourseApi::installerPath() const
{
    return QStringLiteral("/download/lumra-setup-%1.AppImage").arg(updateVersion());
}

QJsonObject CourseApi::answer(const QString &endpoint, const QUrlQuery &query)
{
    if (endpoint == QLatin1String("getPcUpdate"))
        return update();
    if (endpoint == QLatin1String("getSessionId"))
        return sessionId();
    if (endpoint == QLatin1String("dologin"))
        return signIn(query);
    if (endpoint == QLatin1String("doregister"))
        return registration(query);
    if (endpoint == QLatin1String("doforget"))
        return passwordChange(query);
    if (endpoint == QLatin1String("MyCourseList"))
        return courseList(query);
    if (endpoint == QLatin1String("GetMyCourseInfo"))
        return courseDetail(query);
    if (endpoint == QLatin1String("GetKeysAndUrlByLid"))
        return lessonKeys(query);
    if (endpoint == QLatin1String("PushLearnStatus"))
        return learnStatus(query);
    if (endpoint == QLatin1String("Editwatchtime"))
        return watchTime(query);
    return reply(0, QStringLiteral("未知的请求"));
}

QJsonObject CourseApi::update() const
{
    const QString version = updateVersion();
    return reply(1, QString(),
                 QJsonObject{
                     {QStringLiteral("meta_version"), version},
                     {QStringLiteral("meta_content"),
                      QStringLiteral("1. 优化课程下载速度\n2. 修复播放器偶尔无声音的问题")},
                     {QStringLiteral("meta_download_url"),
                      QStringLiteral("http://%1%2").arg(m_webHost, installerPath())},
                 });
}

QJsonObject CourseApi::sessionId()
{
    return reply(1, QString(), QJsonObject{{QStringLiteral("sid"), m_accounts.newSession()}});
}

QJsonObject CourseApi::signIn(const QUrlQuery &query)
{
    Account account;
    QString message;
    if (!m_accounts.signIn(value(query, "php_new_123sid"), value(query, "username"),
                           value(query, "password"), &account, &message))
        return reply(0, message);
    return reply(1, message,
                 QJsonObject{
                     {QStringLiteral("uid"), account.uid},
                     {QStringLiteral("nickname"), account.nickname},
                     {QStringLiteral("email"), account.email},
                     {QStringLiteral("is_img"), avatarUrl(account.uid)},
                 });
}

QJsonObject CourseApi::registration(const QUrlQuery &query)
{
    QString message;
    const bool ok = m_accounts.registerAccount(value(query, "username"), value(query, "password"),
                                               value(query, "repassword"), &message);
    return reply(ok ? 1 : 0, message);
}

QJsonObject CourseApi::passwordChange(const QUrlQuery &query)
{
    QString message;
    const bool ok =
        m_accounts.changePassword(value(query, "username"), value(query, "old_pwd"),
                                  value(query, "new_pwd"), value(query, "new_repwd"), &message);
    return reply(ok ? 1 : 0, message);
}

QJsonObject CourseApi::courseList(const QUrlQuery &query) const
{
    Account account;
    if (!m_accounts.accountForSession(value(query, "php_new_123sid"), &account))
        return notSignedIn();
    QJsonArray list;
    for (const QString &courseId : qAsConst(account.courseIds)) {
        const CourseEntry *course = m_catalogue.course(courseId);
        if (!course)
            continue;
        int lessons = 0;
        int started = 0;
        for (const LessonNode &node : course->nodes) {
            if (node.type != QLatin1String("kejian"))
                continue;
            ++lessons;
            if (m_accounts.learnStatus(account.uid, node.id) > 0)
                ++started;
        }
        list.append(QJsonObject{
            {QStringLiteral("id"), course->id},
            {QStringLiteral("title"), course->title},
            {QStringLiteral("img"),
             QStringLiteral("http://%1/covers/%2").arg(m_webHost, course->cover)},
            {QStringLiteral("sum"), QString::number(lessons)},
            {QStringLiteral("use"), started},
            {QStringLiteral("endtime"), course->endtime},
            {QStringLiteral("course_monthly"), 0},
            {QStringLiteral("add_time"), course->addTime},
            {QStringLiteral("is_expired"),
             course->expired ? QStringLiteral("1") : QStringLiteral("0")},
            {QStringLiteral("is_end"), course->expired ? 1 : 0},
            {QStringLiteral("end_info"), course->endInfo},
        });
    }
    return reply(1, QString(), list);
}

QJsonObject CourseApi::courseDetail(const QUrlQuery &query) const
{
    Account account;
    if (!m_accounts.accountForSession(value(query, "php_new_123sid"), &account))
        return notSignedIn();
    const QString courseId = value(query, "class_id");
    const CourseEntry *course = m_catalogue.course(courseId);
    if (!course || !account.courseIds.contains(courseId))
        return reply(0, QStringLiteral("您没有购买该课程"));
    if (course->expired)
        return reply(0, course->endInfo);
    QJsonArray list;
    for (const LessonNode &node : course->nodes) {
        list.append(QJsonObject{
            {QStringLiteral("id"), node.id},
            {QStringLiteral("number"), node.number},
            {QStringLiteral("c_type"), node.cType},
            {QStringLiteral("type"), node.type},
            {QStringLiteral("title"), node.title},
            {QStringLiteral("c_time"), node.cTime},
            {QStringLiteral("stutas"), m_accounts.learnStatus(account.uid, node.id)},
            {QStringLiteral("watchtimes"), m_accounts.watchTime(account.uid, node.id)},
        });
    }
    return reply(1, QString(),
                 QJsonObject{{QStringLiteral("id"), course->id}, {QStringLiteral("list"), list}});
}

QJsonObject CourseApi::lessonKeys(const QUrlQuery &query) const
{
    Account account;
    if (!m_accounts.accountForSession(value(query, "php_new_123sid"), &account))
        return notSignedIn();
    const QString courseId = value(query, "class_id");
    const QString lessonId = value(query, "lesson_id");
    const CourseEntry *course = m_catalogue.course(courseId);
    const LessonNode *lesson = m_catalogue.lesson(courseId, lessonId);
    if (!course || !lesson || !account.courseIds.contains(courseId))
        return reply(0, QStringLiteral("课件不存在或您没有购买该课程"));
    if (course->expired)
        return reply(0, course->endInfo);
    const double megabytes = double(m_media.totalBytes(lesson->clip)) / (1024.0 * 1024.0);
    return reply(
        1, QString(),
        QJsonObject{
            {QStringLiteral("url"),
             QStringLiteral("http://%1/hls/%2/index.m3u8").arg(m_coursewareHost, lessonId)},
            {QStringLiteral("filesize"), QString::number(megabytes, 'f', 1) + QStringLiteral("MB")},
            {QStringLiteral("watchtimes"), m_accounts.watchTime(account.uid, lessonId).toDouble()},
            {QStringLiteral("keys"), Catalogue::keysText(lessonId)},
        });
}

QJsonObject CourseApi::learnStatus(const QUrlQuery &query)
{
    Account account;
    if (!m_accounts.accountForSession(value(query, "php_new_123sid"), &account))
        return notSignedIn();
    const QString lessonId = value(query, "lesson_id");
    if (!m_catalogue.lesson(value(query, "class_id"), lessonId))
        return reply(0, QStringLiteral("课件不存在"));
    if (!m_accounts.setLearnStatus(account.uid, lessonId, value(query, "stutas").toInt()))
        return reply(3, QStringLiteral("已标注"));
    return reply(1, QStringLiteral("标注成功"));
}

QJsonObject CourseApi::watchTime(const QUrlQuery &query)
{
    Account account;
    if (!m_accounts.accountForSession(value(query, "php_new_123sid"), &account))
        return notSignedIn();
    const QString lessonId = value(query, "lesson_id");
    if (!m_catalogue.lesson(value(query, "class_id"), lessonId))
        return reply(0, QStringLiteral("课件不存在"));
    m_accounts.setWatchTime(account.uid, lessonId, value(query, "watchtimes"));
    return reply(1, QStringLiteral("保存成功"));
}
