#pragma once

#include "api/SyncReply.h"
#include "model/HttpRequestContext.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QVariant>

class QNetworkAccessManager;
class RequestQuery;
struct ProgressReport;
class QNetworkReply;
struct Courseware;

// The one way to the course service: builds and signs requests, sends them with a time
// limit, parses the replies into the app state and reports every outcome through
// HttpResponseSignal(type, result, info): result 1 success, 0 failure.
class APIHandler : public QObject
{
    Q_OBJECT

public:
    explicit APIHandler(QObject *parent = nullptr);
    ~APIHandler() override;

    // Requests; outcomes arrive through HttpResponseSignal.
    void getPcUpdate();
    void getSessionId();
    // Signs in as the user in the app state.
    void login();
    // Signs in with a typed account, which becomes the app state's user only once the
    // service has accepted it.
    void login(const QString &loginName, const QString &password);
    void fetchAvatar();
    void registerUser();
    void registerUser(const QString &loginName, const QString &password);
    void changePassword(const QString &newPassword);
    void getMyCourseList();
    void getMyCourseInfo(const QString &courseId);
    // The reply names the lesson by its course and lesson ids (M3u8Context), never by a
    // pointer: the list the lesson came from may be rebuilt before the reply arrives.
    void getKeysAndUrl(const Courseware *courseware, int type);
    void pushLearnStatus(const QString &classId, const QString &lessonId, const QString &status,
                         const QString &cType);
    void editWatchTime(const QString &classId, const QString &lessonId, const QString &watchTimes,
                       const QString &cType);
    // The same two requests for a kept progress report; the outcome arrives through
    // ProgressAnswered only.
    void sendProgress(const ProgressReport &report);

    static QString sign(const QString &parameters);
    static QString md5Hex(const QString &text);

    void sendRequest(const QString &url, int type);
    void sendRequest(const QString &url, const HttpRequestContext &context);
    void handleNetworkError(int type, int errorCode);
    void dispatchReply(const QByteArray &body, const HttpRequestContext &context);
    static QString networkErrorText(int code);

    // Blocking GET: runs a nested event loop until the reply finished or timed out. User
    // input keeps being handled meanwhile, so callers must expect anything to happen.
    static SyncReply syncGet(const QString &url);
    // Asks the HTTP DNS servers for the courseware host's other addresses (one pass over
    // the servers at most) and refreshes the lines. Returns at once while a query runs.
    void resolveLines();
    // The media URL with the courseware host replaced by the chosen line's address. Expired
    // lines are asked for again first, except within a minute of a pass that failed: then
    // the lines in use stay.
    QString mapToLine(const QString &url);
    // Forwards to StoreFolders::localPathForUrl (defined with the store).
    static QString localPathForUrl(const QString &folder, const QString &url);
    static bool isNewerVersion(const QString &a, const QString &b);

    // Completes a sign-in for the user now in the app state; signOut ends it.
    void finishSignIn();
    void signOut();

signals:
    void HttpResponseSignal(int type, int result, QVariant info = QVariant());
    // outcome: a ProgressReport::Outcome.
    void ProgressAnswered(qint64 reportId, int outcome);
    // The sign-in's steps on the user's download store, taken by the registered download
    // queue (registerApiHandler connects them): open the signed-in user's store (before
    // ReqLogin 1 is reported), put it away (before ReqLogin 0), and save the record once a
    // sign-in has filled it.
    void OpenUserStoreSignal();
    void CloseUserStoreSignal();
    void SaveUserStoreSignal();

private:
    void onReplyFinished(QNetworkReply *reply);
    void sendSigned(int type, const RequestQuery &parameters, const HttpRequestContext &context);

    void parsePcUpdate(const QJsonObject &reply);
    void parseSessionId(const QJsonObject &reply);
    void parseLogin(const QJsonObject &reply);
    void parseAvatar(const QByteArray &body, const HttpRequestContext &context);
    static bool isPicture(const QString &path);
    void parseFlagOnly(int type, const QJsonObject &reply);
    void parseMyCourseList(const QJsonObject &reply);
    void parseMyCourseInfo(const QJsonObject &reply);
    void parseKeysAndUrl(const QJsonObject &reply, const HttpRequestContext &context);
    void parseProgress(const QByteArray &body, const HttpRequestContext &context);

    QNetworkAccessManager *m_manager = nullptr;
    int m_dnsServerIndex = 0;
    // The account of the sign-in on its way.
    QString m_pendingLoginName;
    QString m_pendingPassword;
    bool m_resolving = false;
    QElapsedTimer m_sinceFailedResolve; // invalid until a pass over the servers failed
};
