#include "support/DemoClient.h"

#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "model/Courseware.h"
#include "support/DemoService.h"

#include <QEventLoop>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// A session stays signed in on the service; one per service process is enough.
QMap<quint16, QString> signedInSids;

} // namespace

DemoClient::DemoClient(const DemoService &service)
    : m_port(service.port())
{
    service.applyToCurrentProcess();
    ServiceSettings::reload();
    registerApiHandler(&m_api);
    registerLearningProgress(&m_progress);
}

DemoClient::~DemoClient()
{
    if (apiHandler() == &m_api)
        registerApiHandler(nullptr);
    if (learningProgress() == &m_progress)
        registerLearningProgress(nullptr);
}

bool DemoClient::signIn()
{
    AppState *state = appState();
    if (!state) {
        m_error = QStringLiteral("no app state registered");
        return false;
    }
    state->user.loginName = QString::fromLatin1(demoUser);
    state->user.password = QString::fromLatin1(demoPassword);
    if (signedInSids.contains(m_port)) {
        state->user.sid = signedInSids.value(m_port);
        return true;
    }
    m_api.getSessionId();
    if (!QTest::qWaitFor([&] { return !state->user.sid.isEmpty(); }, 15000)) {
        m_error = QStringLiteral("no session id");
        return false;
    }
    QSignalSpy replies(&m_api, &APIHandler::HttpResponseSignal);
    m_api.login();
    const bool signedIn = QTest::qWaitFor(
        [&] {
            for (const QList<QVariant> &reply : qAsConst(replies)) {
                if (reply.at(0).toInt() == 2)
                    return true;
            }
            return false;
        },
        15000);
    for (const QList<QVariant> &reply : qAsConst(replies)) {
        if (reply.at(0).toInt() == 2 && reply.at(1).toInt() == 1) {
            signedInSids.insert(m_port, state->user.sid);
            return true;
        }
    }
    m_error = signedIn ? QStringLiteral("sign-in refused") : QStringLiteral("no sign-in reply");
    return false;
}

bool DemoClient::lessonAddress(Courseware *lesson, M3u8Context *address)
{
    QSignalSpy replies(&m_api, &APIHandler::HttpResponseSignal);
    m_api.getKeysAndUrl(lesson, 9);
    const auto answered = [&] {
        for (const QList<QVariant> &reply : qAsConst(replies)) {
            if (reply.at(0).toInt() == 9)
                return true;
        }
        return false;
    };
    if (!QTest::qWaitFor(answered, 15000)) {
        m_error = QStringLiteral("no address reply");
        return false;
    }
    for (const QList<QVariant> &reply : qAsConst(replies)) {
        if (reply.at(0).toInt() == 9 && reply.at(1).toInt() == 1) {
            *address = reply.at(2).value<M3u8Context>();
            return true;
        }
        if (reply.at(0).toInt() == 9)
            m_error = reply.at(2).toString();
    }
    return false;
}

QByteArray DemoClient::fetchMedia(const QString &url, const QByteArray &keyCookie,
                                  bool nameCoursewareHost)
{
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(url)};
    if (nameCoursewareHost)
        request.setRawHeader("Host", ServiceSettings::coursewareHost().toUtf8());
    if (!keyCookie.isEmpty())
        request.setRawHeader("Cookie", "keys=" + keyCookie);
    QNetworkReply *reply = network.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->isFinished() && reply->error() == QNetworkReply::NoError
                                ? reply->readAll()
                                : QByteArray();
    delete reply;
    return body;
}
