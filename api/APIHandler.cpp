#include "api/APIHandler.h"

#include "api/HttpReplyTimeout.h"
#include "api/LearningJournal.h"
#include "api/NetworkErrorText.h"
#include "api/ReplyLimits.h"
#include "api/RequestCatalogue.h"
#include "api/RequestSigner.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/AppFolders.h"
#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/Log.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "model/Course.h"
#include "model/M3u8Context.h"
#include "model/MetaTypes.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

namespace {

const char *const kContextProperty = "context";
const char *const kCourseIdArg = "courseId";
const char *const kLessonIdArg = "lessonId";
const char *const kReportArg = "report";
constexpr int kRetryMs = 1000;
constexpr qint64 kResolveAfterFailureMs = 60000;

// The service answers flag 1 (a JSON number) on success; a string "1" is a failure.
bool succeeded(const QJsonObject &reply)
{
    const QJsonValue flag = reply.value(QLatin1String("flag"));
    return flag.isDouble() && flag.toDouble() == 1.0;
}

QString infos(const QJsonObject &reply) { return reply.value(QLatin1String("infos")).toString(); }

// What a failed reply tells the user: the service's own text, or, when it gave none (the
// body was not its reply at all), that the answer could not be read.
QString failureText(const QJsonObject &reply)
{
    const QString text = infos(reply);
    return text.isEmpty() ? unreadableReplyText() : text;
}

QJsonObject dataObject(const QJsonObject &reply)
{
    return reply.value(QLatin1String("data")).toObject();
}

// Pictures are told by their first bytes (JPEG, PNG, GIF, BMP, WebP), without decoding them
// here: the service client stays free of the drawing library.
bool looksLikePicture(const QByteArray &head)
{
    return head.startsWith("\xFF\xD8\xFF") || head.startsWith("\x89PNG\r\n\x1A\n")
           || head.startsWith("GIF87a") || head.startsWith("GIF89a") || head.startsWith("BM")
           || (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP");
}

QString userAgentValue()
{
    return QStringLiteral("PCVersion:") + AppInfo::programVersion() + QStringLiteral(" WINVersion");
}

} // namespace

APIHandler::APIHandler(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    registerMetaTypes();
}

APIHandler::~APIHandler() = default;

// ---- requests -----------------------------------------------------------------------

void APIHandler::sendSigned(int type, const RequestQuery &parameters,
                            const HttpRequestContext &context)
{
    sendRequest(RequestCatalogue::address(type, parameters), context);
}

void APIHandler::getPcUpdate()
{
    sendRequest(
        RequestCatalogue::address(ReqPcUpdate, RequestCatalogue::pcUpdate(appState()->user.sid)),
        ReqPcUpdate);
}

void APIHandler::getSessionId()
{
    sendRequest(
        RequestCatalogue::address(ReqSessionId, RequestCatalogue::sessionId(appState()->user.sid)),
        ReqSessionId);
}

void APIHandler::login()
{
    const UserSession &user = appState()->user;
    login(user.loginName, user.password);
}

void APIHandler::login(const QString &loginName, const QString &password)
{
    // Taken into the app state only when the service accepts them (parseLogin).
    m_pendingLoginName = loginName;
    m_pendingPassword = password;
    sendRequest(RequestCatalogue::address(
                    ReqLogin, RequestCatalogue::login(appState()->user.sid, loginName, password)),
                ReqLogin);
}

void APIHandler::fetchAvatar()
{
    // The address comes from the service: a "file:" one would copy a local file.
    const QString address = appState()->user.isImg;
    if (!ReplyLimits::isFetchable(QUrl(address, QUrl::TolerantMode))) {
        writeLog(QStringLiteral("avatar address refused: ") + address);
        // Reported as the network layer reports an address it cannot fetch.
        QTimer::singleShot(0, this, [this] {
            handleNetworkError(ReqAvatar, QNetworkReply::ProtocolUnknownError);
        });
        return;
    }
    // The picture belongs to the user who asked, whoever is signed in when it arrives.
    HttpRequestContext context;
    context.type = ReqAvatar;
    context.args.insert(QStringLiteral("avatarPath"), appState()->avatarPath);
    sendRequest(address, context);
}

void APIHandler::registerUser()
{
    const UserSession &user = appState()->user;
    registerUser(user.loginName, user.password);
}

void APIHandler::registerUser(const QString &loginName, const QString &password)
{
    sendRequest(
        RequestCatalogue::address(
            ReqRegister, RequestCatalogue::registerUser(appState()->user.sid, loginName, password)),
        ReqRegister);
}

void APIHandler::changePassword(const QString &newPassword)
{
    const UserSession &user = appState()->user;
    sendRequest(RequestCatalogue::address(
                    ReqChangePassword, RequestCatalogue::changePassword(
                                           user.sid, user.loginName, user.password, newPassword)),
                ReqChangePassword);
}

void APIHandler::getMyCourseList()
{
    sendRequest(RequestCatalogue::address(ReqMyCourseList,
                                          RequestCatalogue::myCourseList(appState()->user.sid)),
                ReqMyCourseList);
}

void APIHandler::getMyCourseInfo(const QString &courseId)
{
    sendRequest(RequestCatalogue::address(ReqMyCourseInfo, RequestCatalogue::myCourseInfo(
                                                               appState()->user.sid, courseId)),
                ReqMyCourseInfo);
}

void APIHandler::getKeysAndUrl(const Courseware *courseware, int type)
{
    if (!courseware)
        return;
    HttpRequestContext context;
    context.type = type;
    context.args.insert(QLatin1String(kCourseIdArg), courseware->courseId);
    context.args.insert(QLatin1String(kLessonIdArg), courseware->id);
    sendSigned(type, RequestCatalogue::keysAndUrl(appState()->user.sid, *courseware), context);
}

void APIHandler::pushLearnStatus(const QString &classId, const QString &lessonId,
                                 const QString &status, const QString &cType)
{
    sendRequest(RequestCatalogue::address(
                    ReqLearnStatus, RequestCatalogue::learnStatus(appState()->user.sid, classId,
                                                                  lessonId, status, cType)),
                ReqLearnStatus);
}

void APIHandler::editWatchTime(const QString &classId, const QString &lessonId,
                               const QString &watchTimes, const QString &cType)
{
    sendRequest(RequestCatalogue::address(ReqWatchTime,
                                          RequestCatalogue::watchTime(appState()->user.sid, classId,
                                                                      lessonId, watchTimes, cType)),
                ReqWatchTime);
}

void APIHandler::sendProgress(const ProgressReport &report)
{
    HttpRequestContext context;
    context.type = report.type;
    context.args.insert(QLatin1String(kReportArg), report.id);
    const QString sid = appState()->user.sid;
    sendSigned(report.type,
               report.type == ReqLearnStatus
                   ? RequestCatalogue::learnStatus(sid, report.courseId, report.lessonId,
                                                   report.value, report.cType)
                   : RequestCatalogue::watchTime(sid, report.courseId, report.lessonId,
                                                 report.value, report.cType),
               context);
}

QString APIHandler::sign(const QString &parameters) { return RequestSigner::sign(parameters); }

QString APIHandler::md5Hex(const QString &text) { return RequestSigner::md5Hex(text); }

// ---- transport ----------------------------------------------------------------------

void APIHandler::sendRequest(const QString &url, int type)
{
    HttpRequestContext context;
    context.type = type;
    sendRequest(url, context);
}

void APIHandler::sendRequest(const QString &url, const HttpRequestContext &context)
{
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    request.setRawHeader("TAVI-USER-AGENT", userAgentValue().toUtf8());
    QNetworkReply *reply = m_manager->get(request);
    reply->setProperty(kContextProperty, QVariant::fromValue(context));
    new HttpReplyTimeout(reply, HttpReplyTimeout::DefaultMs,
                         context.type == ReqAvatar ? ReplyLimits::Picture
                                                   : ReplyLimits::ServiceReply);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReplyFinished(reply); });
}

void APIHandler::onReplyFinished(QNetworkReply *reply)
{
    const HttpRequestContext context =
        reply->property(kContextProperty).value<HttpRequestContext>();
    if (reply->error() != QNetworkReply::NoError
        && context.args.contains(QLatin1String(kReportArg)))
        emit ProgressAnswered(context.args.value(QLatin1String(kReportArg)).toLongLong(),
                              ProgressReport::Unreachable);
    else if (reply->error() != QNetworkReply::NoError)
        handleNetworkError(context.type, HttpReplyTimeout::errorOf(reply));
    else
        dispatchReply(reply->readAll(), context);
    reply->deleteLater();
}

void APIHandler::handleNetworkError(int type, int errorCode)
{
    const QString text = networkErrorText(errorCode);
    if (type == ReqPcUpdate) {
        QTimer::singleShot(kRetryMs, this, &APIHandler::getPcUpdate);
        return;
    }
    if (type == ReqSessionId) {
        QTimer::singleShot(kRetryMs, this, &APIHandler::getSessionId);
        return;
    }
    emit HttpResponseSignal(type, 0, text);
}

QString APIHandler::networkErrorText(int code) { return ::networkErrorText(code); }

void APIHandler::dispatchReply(const QByteArray &body, const HttpRequestContext &context)
{
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    switch (context.type) {
    case ReqPcUpdate: parsePcUpdate(reply); break;
    case ReqSessionId: parseSessionId(reply); break;
    case ReqLogin: parseLogin(reply); break;
    case ReqAvatar: parseAvatar(body, context); break;
    case ReqRegister:
    case ReqChangePassword: parseFlagOnly(context.type, reply); break;
    case ReqMyCourseList: parseMyCourseList(reply); break;
    case ReqMyCourseInfo: parseMyCourseInfo(reply); break;
    case ReqPlayKeys:
    case ReqDownloadKeys: parseKeysAndUrl(reply, context); break;
    case ReqLearnStatus:
    case ReqWatchTime: parseProgress(body, context); break;
    default: break;
    }
}

SyncReply APIHandler::syncGet(const QString &url)
{
    QEventLoop loop;
    QNetworkAccessManager manager;
    QPointer<QNetworkReply> reply = manager.get(QNetworkRequest(QUrl(url, QUrl::TolerantMode)));
    connect(reply.data(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    new HttpReplyTimeout(reply.data(), HttpReplyTimeout::DefaultMs, ReplyLimits::ServiceReply);
    // Input is not held back: a slow server must not freeze the window. The loop also ends
    // early when the program quits; the reply is then given up.
    if (reply->isRunning())
        loop.exec();

    SyncReply result;
    if (reply && !reply->isFinished())
        reply->abort();
    if (!reply) {
        result.errorCode = QNetworkReply::OperationCanceledError;
    } else if (reply->error() != QNetworkReply::NoError) {
        result.errorCode = HttpReplyTimeout::errorOf(reply);
    } else {
        result.ok = true;
        result.body = reply->readAll();
    }
    if (!result.ok)
        result.errorText = networkErrorText(result.errorCode);
    if (reply)
        reply->deleteLater();
    return result;
}

// ---- lines --------------------------------------------------------------------------

void APIHandler::resolveLines()
{
    AppState *state = appState();
    const QStringList servers = ServiceSettings::httpDnsServers();
    // The query waits in a nested loop in which anything may ask for lines again.
    if (!state || servers.isEmpty() || m_resolving)
        return;
    m_resolving = true;
    const QString host = ServiceSettings::coursewareHost();
    // One pass over the servers at most: when all fail the lines stay as they were.
    for (int attempt = 0; attempt < servers.size(); ++attempt) {
        if (m_dnsServerIndex < 0 || m_dnsServerIndex >= servers.size())
            m_dnsServerIndex = 0;
        const QString url = QStringLiteral("http://") + servers.at(m_dnsServerIndex)
                            + QLatin1Char('/') + ServiceSettings::httpDnsAccount()
                            + QStringLiteral("/d?host=") + host;
        const SyncReply reply = syncGet(url);
        if (reply.ok) {
            const QJsonObject object = QJsonDocument::fromJson(reply.body).object();
            state->lines.clear();
            state->lines << host;
            for (const QJsonValue &ip : object.value(QLatin1String("ips")).toArray())
                state->lines << ip.toString();
            while (state->currentLine >= state->lines.size())
                --state->currentLine;
            const qint64 ttl = object.value(QLatin1String("ttl")).toVariant().toLongLong();
            state->linesResolvedAt = QDateTime::currentDateTime().addSecs(ttl);
            state->linesResolved = true;
            m_sinceFailedResolve.invalidate();
            m_resolving = false;
            return;
        }
        writeLog(reply.errorText);
        ++m_dnsServerIndex;
    }
    m_sinceFailedResolve.start();
    m_resolving = false;
}

QString APIHandler::mapToLine(const QString &address)
{
    // A copy: the caller's text may belong to an object that goes while the lines are asked for.
    const QString url = address;
    AppState *state = appState();
    if (!state || !state->linesResolved || state->currentLine <= 0)
        return url;
    const bool failedLately =
        m_sinceFailedResolve.isValid() && !m_sinceFailedResolve.hasExpired(kResolveAfterFailureMs);
    if (QDateTime::currentDateTime() > state->linesResolvedAt && !failedLately) {
        // When every server fails the previous addresses stay in use, and nobody asks
        // again for a minute: each play and each download would otherwise wait anew.
        resolveLines();
        if (!state->linesResolved || state->currentLine <= 0)
            return url;
    }
    if (state->currentLine >= state->lines.size())
        return url;
    QString mapped = url;
    mapped.replace(ServiceSettings::coursewareHost(), state->lines.at(state->currentLine));
    return mapped;
}

bool APIHandler::isNewerVersion(const QString &a, const QString &b)
{
    return ::isNewerVersion(a, b);
}

// ---- sign-in ------------------------------------------------------------------------

void APIHandler::finishSignIn()
{
    AppState *state = appState();
    state->signedIn = true;
    const QString loginName = state->user.loginName;
    state->userDataDir = state->userDir + QLatin1Char('/') + AppFolders::userFolderName(loginName);
    if (QFileInfo(state->userDataDir).isDir())
        state->avatarPath = state->userDataDir + QLatin1Char('/')
                            + AppFolders::userFolderName(loginName) + QStringLiteral(".jpg");
    else
        PrivateFiles::makeFolder(state->userDataDir);
    state->userStoreFile = state->userDataDir + QLatin1Char('/') + AppInfo::userStoreName();
    emit OpenUserStoreSignal();
    emit HttpResponseSignal(ReqLogin, 1);
}

void APIHandler::signOut()
{
    AppState *state = appState();
    state->signedIn = false;
    state->user.loginTime = QDateTime::currentDateTime().addYears(-1000);
    // The list is saved and put away before the screens hear of the sign-out, so that none
    // of them shows it to whoever comes to the sign-in form.
    emit CloseUserStoreSignal();
    emit HttpResponseSignal(ReqLogin, 0);
}

// ---- parsers ------------------------------------------------------------------------

void APIHandler::parsePcUpdate(const QJsonObject &reply)
{
    if (!succeeded(reply))
        return;
    const QJsonObject data = dataObject(reply);
    UpdateInfo &update = *appState()->update;
    update.version = data.value(QLatin1String("meta_version")).toString();
    update.content = data.value(QLatin1String("meta_content")).toString();
    update.downloadUrl = data.value(QLatin1String("meta_download_url")).toString();
    if (::isNewerVersion(update.version, AppInfo::programVersion()))
        emit HttpResponseSignal(ReqPcUpdate, 1);
}

void APIHandler::parseSessionId(const QJsonObject &reply)
{
    // The session id is taken whatever the flag says.
    appState()->user.sid = dataObject(reply).value(QLatin1String("sid")).toString();
}

void APIHandler::parseLogin(const QJsonObject &reply)
{
    if (!succeeded(reply)) {
        emit HttpResponseSignal(ReqLogin, 0, failureText(reply));
        return;
    }
    AppState *state = appState();
    const QJsonObject data = dataObject(reply);
    UserSession &user = state->user;
    if (!m_pendingLoginName.isEmpty()) {
        user.loginName = m_pendingLoginName;
        user.password = m_pendingPassword;
    }
    m_pendingLoginName.clear();
    m_pendingPassword.clear();
    user.uid = data.value(QLatin1String("uid")).toString();
    user.nickname = data.value(QLatin1String("nickname")).toString();
    user.email = data.value(QLatin1String("email")).toString();
    user.isImg = data.value(QLatin1String("is_img")).toString();
    user.loginTime = QDateTime::currentDateTime();
    user.version = AppInfo::programVersion();
    Settings::setText(state->settings.get(), SettingKeys::LastUser, user.loginName);

    state->avatarPath = state->userDir + QLatin1Char('/')
                        + AppFolders::userFolderName(user.loginName) + QLatin1Char('/')
                        + AppFolders::userFolderName(user.loginName) + QStringLiteral(".jpg");
    const bool avatarMissing = !isPicture(state->avatarPath);
    finishSignIn();
    // Asked for after the user folder exists, so the picture has somewhere to go.
    if (avatarMissing)
        fetchAvatar();
    emit SaveUserStoreSignal();
}

void APIHandler::parseAvatar(const QByteArray &body, const HttpRequestContext &context)
{
    // An error page or anything else that is no picture is not kept: it would stand for
    // the picture for good, since a present file is never asked for again.
    const QString path = context.args.value(QStringLiteral("avatarPath")).toString();
    bool stored = false;
    if (!path.isEmpty() && QFileInfo(QFileInfo(path).path()).isDir() && looksLikePicture(body)) {
        QSaveFile file(path);
        stored =
            file.open(QIODevice::WriteOnly) && file.write(body) == body.size() && file.commit();
        if (!stored)
            writeLog(QStringLiteral("avatar not saved: ") + path);
    }
    emit HttpResponseSignal(ReqAvatar, stored ? 1 : 0,
                            stored ? QVariant(path) : QVariant(QString()));
}

bool APIHandler::isPicture(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && looksLikePicture(file.read(16));
}

void APIHandler::parseFlagOnly(int type, const QJsonObject &reply)
{
    if (succeeded(reply))
        emit HttpResponseSignal(type, 1, QString());
    else
        emit HttpResponseSignal(type, 0, failureText(reply));
}

void APIHandler::parseMyCourseList(const QJsonObject &reply)
{
    if (!succeeded(reply)) {
        emit HttpResponseSignal(ReqMyCourseList, 0, failureText(reply));
        return;
    }
    for (const QJsonValue &value : reply.value(QLatin1String("data")).toArray())
        appState()->appendCourse(Course::fromJson(value.toObject()));
    emit HttpResponseSignal(ReqMyCourseList, 1);
}

void APIHandler::parseMyCourseInfo(const QJsonObject &reply)
{
    if (!succeeded(reply)) {
        emit HttpResponseSignal(ReqMyCourseInfo, 0, failureText(reply));
        return;
    }
    const QJsonObject data = dataObject(reply);
    const QString courseId = data.value(QLatin1String("id")).toString();
    Course *course = appState()->findCourse(courseId);
    if (!course) {
        // Someone waits for this detail (the course page's loading overlay): it must end.
        emit HttpResponseSignal(ReqMyCourseInfo, 0, unreadableReplyText());
        return;
    }
    course->coursewares.clear();
    for (const QJsonValue &value : data.value(QLatin1String("list")).toArray())
        course->coursewares.append(Courseware::fromJson(courseId, value.toObject()));
    emit HttpResponseSignal(ReqMyCourseInfo, 1, QVariant::fromValue(course));
}

void APIHandler::parseKeysAndUrl(const QJsonObject &reply, const HttpRequestContext &context)
{
    if (!succeeded(reply)) {
        emit HttpResponseSignal(context.type, 0, failureText(reply));
        return;
    }
    const QJsonObject data = dataObject(reply);
    M3u8Context m3u8;
    m3u8.courseId = context.args.value(QLatin1String(kCourseIdArg)).toString();
    m3u8.lessonId = context.args.value(QLatin1String(kLessonIdArg)).toString();
    m3u8.url = data.value(QLatin1String("url")).toString();
    m3u8.filesize = data.value(QLatin1String("filesize")).toString();
    m3u8.filesize.remove(QStringLiteral("MB"));
    m3u8.filesize.remove(QLatin1Char('M'));
    bool ok = false;
    m3u8.sizeMb = m3u8.filesize.toDouble(&ok);
    if (!ok)
        m3u8.sizeMb = 0;
    m3u8.watchtimes = data.value(QLatin1String("watchtimes")).toDouble();
    m3u8.keys = data.value(QLatin1String("keys")).toString().toUtf8().toPercentEncoding();
    emit HttpResponseSignal(context.type, 1, QVariant::fromValue(m3u8));
}

void APIHandler::parseProgress(const QByteArray &body, const HttpRequestContext &context)
{
    // Only the replies of kept reports are read: they leave the journal once accepted.
    if (!context.args.contains(QLatin1String(kReportArg)))
        return;
    const qint64 id = context.args.value(QLatin1String(kReportArg)).toLongLong();
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    const QJsonValue flag = reply.value(QLatin1String("flag"));
    int outcome = ProgressReport::Refused;
    if (!flag.isDouble())
        outcome = ProgressReport::Unreachable; // not the service's answer (a portal page)
    else if (succeeded(reply) || (context.type == ReqLearnStatus && flag.toDouble() == 3.0))
        outcome = ProgressReport::Accepted; // 3: the lesson had this status already
    else if (infos(reply) == sessionExpiredText())
        outcome = ProgressReport::SessionExpired;
    emit ProgressAnswered(id, outcome);
}
