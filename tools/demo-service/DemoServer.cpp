#include "DemoServer.h"

#include "AccountStore.h"
#include "Catalogue.h"
#include "ConnectionReset.h"
#include "CourseApi.h"
#include "MediaLibrary.h"
#include "RawRequestHeads.h"
#include "RecordingTaskQueue.h"
#include "RequestLog.h"
#include "RequestSigner.h"
#include "SegmentRekey.h"

#include <httplib.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrlQuery>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const char *const addresses[] = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
constexpr int workerThreads = 24; // stalled and slow requests must not starve the rest
constexpr int clipWaitMs = 60000; // media of the long lesson may still be in the making
constexpr int installerBytes = 300 * 1024;

QString fromStd(const std::string &text) { return QString::fromStdString(text); }

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QString rawQuery(const httplib::Request &request)
{
    const auto question = request.target.find('?');
    return question == std::string::npos ? QString() : fromStd(request.target.substr(question + 1));
}

// The head of the request this thread is serving, as received (see RawRequestHeads).
thread_local bool t_haveRawHead = false;
thread_local QList<RawRequestHeads::Header> t_rawHead;

// All values of a header, joined with "; ", verbatim when the raw head is at hand.
QString headerValue(const httplib::Request &request, const char *name)
{
    QStringList values;
    if (t_haveRawHead) {
        for (const RawRequestHeads::Header &header : qAsConst(t_rawHead)) {
            if (qstricmp(header.first.constData(), name) == 0)
                values.append(QString::fromUtf8(header.second));
        }
    } else {
        const size_t count = request.get_header_value_count(name);
        for (size_t i = 0; i < count; ++i)
            values.append(fromStd(request.get_header_value(name, i)));
    }
    return values.join(QStringLiteral("; "));
}

void sendJson(httplib::Response &response, const QJsonObject &object, int status = 200)
{
    response.status = status;
    response.set_content(toStd(QJsonDocument(object).toJson(QJsonDocument::Compact)),
                         "application/json; charset=utf-8");
}

void sendText(httplib::Response &response, int status, const char *text)
{
    response.status = status;
    response.set_content(text, "text/plain; charset=utf-8");
}

bool readFile(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return true;
}

QByteArray installerBody()
{
    // An installer of this platform starts with the ELF magic; the rest is deterministic
    // filler so download tests can compare bytes.
    QByteArray body("\x7f"
                    "ELF\x02\x01\x01");
    body.reserve(installerBytes);
    quint32 state = 2166136261u;
    while (body.size() < installerBytes) {
        state = state * 16777619u + 1013904223u;
        body.append(char(state >> 24));
    }
    return body;
}

// The second key of a two-key playlist, and the segment from which it applies.
QByteArray secondKey(const QString &clip)
{
    return MediaLibrary::aesKey(clip + QStringLiteral("|second"));
}

int secondKeyFrom(const QByteArray &playlist)
{
    int segments = 0;
    for (const QByteArray &line : playlist.split('\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith('#'))
            ++segments;
    }
    return segments / 2;
}

// The playlist with a second key line before the segment the second key starts at.
QByteArray withSecondKey(const QByteArray &playlist, const QByteArray &keyUri, const QByteArray &iv)
{
    const int from = secondKeyFrom(playlist);
    QList<QByteArray> lines = playlist.split('\n');
    int segment = 0;
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).startsWith("#EXTINF"))
            continue;
        if (segment++ == from) {
            lines.insert(i, "#EXT-X-KEY:METHOD=AES-128,URI=\"" + keyUri + "\",IV=0x" + iv.toHex());
            break;
        }
    }
    return lines.join('\n');
}

// The path without the "/mirror" prefixes a redirect added.
int mirrorDepth(const std::string &path)
{
    static const std::string prefix = "/mirror/";
    int depth = 0;
    for (size_t at = 0; path.compare(at, prefix.size(), prefix) == 0; at += prefix.size() - 1)
        ++depth;
    return depth;
}

const char *htmlPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>502 Bad Gateway</title></head>"
    "<body><h1>502 Bad Gateway</h1><p>服务器繁忙，请稍后再试。</p></body></html>\n";

} // namespace

DemoServer::DemoServer(const ServiceOptions &options, const Catalogue &catalogue,
                       AccountStore &accounts, MediaLibrary &media, FaultInjector &faults,
                       RequestLog &log)
    : m_options(options)
    , m_catalogue(catalogue)
    , m_accounts(accounts)
    , m_media(media)
    , m_faults(faults)
    , m_log(log)
    , m_dnsTtl(options.dnsTtl)
{
}

DemoServer::~DemoServer() { stop(); }

QString DemoServer::webHost() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

QString DemoServer::coursewareHost() const { return QStringLiteral("localhost:%1").arg(m_port); }

QStringList DemoServer::environment() const
{
    const QString port = QString::number(m_port);
    return {
        QStringLiteral("LUMRA_WEB_HOST=") + webHost(),
        QStringLiteral("LUMRA_COURSEWARE_HOST=") + coursewareHost(),
        QStringLiteral("LUMRA_ERRORLOG_HOST=") + webHost(),
        QStringLiteral("LUMRA_HTTPDNS_SERVERS=127.0.0.1:%1,127.0.0.2:%1,127.0.0.3:%1").arg(port),
        QStringLiteral("LUMRA_HTTPDNS_ACCOUNT=") + m_options.dnsAccount,
        QStringLiteral("LUMRA_COOKIE_DOMAIN=localhost"),
    };
}

bool DemoServer::bind(QString *error)
{
    for (const char *address : addresses) {
        auto server = std::make_unique<httplib::Server>();
        // The library takes ownership of the queue it gets from this factory.
        server->new_task_queue = [] { return new RecordingTaskQueue(workerThreads); };
        server->set_keep_alive_timeout(5);
        // Download tools keep their connections; closing every fifth (the library's default)
        // makes some of them reconnect slowly, and the benchmark would measure that instead.
        // Headers and body go out in separate writes: without TCP_NODELAY a small body waits
        // for the client's delayed ACK (40 ms), which web servers avoid the same way.
        if (!m_options.staticDir.isEmpty()) {
            server->set_keep_alive_max_count(1000);
            server->set_tcp_nodelay(true);
        }
        installRoutes(*server);
        if (m_port == 0 && m_options.port == 0) {
            m_port = server->bind_to_any_port(address);
            if (m_port <= 0) {
                *error = QStringLiteral("cannot bind %1").arg(QLatin1String(address));
                return false;
            }
        } else {
            const int port = m_port ? m_port : m_options.port;
            if (!server->bind_to_port(address, port)) {
                *error = QStringLiteral("cannot bind %1:%2").arg(QLatin1String(address)).arg(port);
                return false;
            }
            m_port = port;
        }
        m_servers.push_back(std::move(server));
    }
    m_api = std::make_unique<CourseApi>(m_catalogue, m_accounts, m_media, webHost(),
                                        coursewareHost(), m_options.updateVersion);
    return true;
}

void DemoServer::start()
{
    for (auto &server : m_servers) {
        httplib::Server *listener = server.get();
        m_threads.emplace_back([listener] { listener->listen_after_bind(); });
    }
}

void DemoServer::stop()
{
    for (auto &server : m_servers)
        server->stop();
    for (std::thread &thread : m_threads) {
        if (thread.joinable())
            thread.join();
    }
    m_threads.clear();
}

void DemoServer::installRoutes(httplib::Server &server)
{
    auto route = [this](const QString &endpoint, RouteGroup group, Handler handler) {
        return [this, endpoint, group, handler](const httplib::Request &request,
                                                httplib::Response &response) {
            RouteInfo info{endpoint, group, mirrorDepth(request.path)};
            if (endpoint.isEmpty() && request.matches.size() > 2)
                info.endpoint = fromStd(request.matches[2].str()); // the API method name
            serve(info, request, response, handler);
        };
    };
    auto bound = [this](void (DemoServer::*method)(const httplib::Request &, httplib::Response &)) {
        return Handler(
            [this, method](const httplib::Request &request, httplib::Response &response) {
                (this->*method)(request, response);
            });
    };

    server.Get(R"(/(foreuser_2016_app|course_2016_app)/(\w+)/?)",
               route(QString(), RouteGroup::Api, bound(&DemoServer::handleApi)));
    // Redirected requests arrive under "/mirror/" prefixes and are served as without them.
    server.Get(
        R"((?:/mirror)*/hls/(\w+)/index\.m3u8)",
        route(QStringLiteral("playlist"), RouteGroup::Media, bound(&DemoServer::handlePlaylist)));
    server.Get(
        R"((?:/mirror)*/hls/(\w+)/(seg\d+\.ts))",
        route(QStringLiteral("segment"), RouteGroup::Media, bound(&DemoServer::handleSegment)));
    server.Get(R"((?:/mirror)*/hlskey/(\w+?)(-2)?\.key)",
               route(QStringLiteral("key"), RouteGroup::Media, bound(&DemoServer::handleKey)));
    server.Get(R"(/(\d+)/d)",
               route(QStringLiteral("dns"), RouteGroup::Dns, bound(&DemoServer::handleDns)));
    server.Post(R"(/record_log/c_errorlog/?)",
                route(QStringLiteral("errorlog"), RouteGroup::ErrorLog,
                      bound(&DemoServer::handleErrorLog)));
    server.Get(R"((?:/mirror)*/covers/([\w.-]+))",
               route(QStringLiteral("cover"), RouteGroup::File, bound(&DemoServer::handleCover)));
    server.Get(R"((?:/mirror)*/avatar/(\w+)\.jpg)",
               route(QStringLiteral("avatar"), RouteGroup::File, bound(&DemoServer::handleAvatar)));
    server.Get(
        R"((?:/mirror)*/download/lumra-setup-([\w.]+)\.AppImage)",
        route(QStringLiteral("installer"), RouteGroup::File, bound(&DemoServer::handleInstaller)));
    server.Get("/__control", route(QStringLiteral("control"), RouteGroup::Control,
                                   bound(&DemoServer::handleControl)));
    server.Post("/__control", route(QStringLiteral("control"), RouteGroup::Control,
                                    bound(&DemoServer::handleControl)));
    if (!m_options.staticDir.isEmpty()) {
        server.Get(R"(/static/(.+))", route(QStringLiteral("static"), RouteGroup::File,
                                            bound(&DemoServer::handleStatic)));
    }
    const Handler notFound = [](const httplib::Request &, httplib::Response &response) {
        sendText(response, 404, "not found\n");
    };
    server.Get(R"(.*)", route(QStringLiteral("unknown"), RouteGroup::File, notFound));
    server.Post(R"(.*)", route(QStringLiteral("unknown"), RouteGroup::File, notFound));
}

void DemoServer::serve(const RouteInfo &route, const httplib::Request &request,
                       httplib::Response &response, const Handler &handler)
{
    const int inFlight = ++m_inFlight;
    t_haveRawHead = RawRequestHeads::take(request.method, request.target, &t_rawHead);
    QElapsedTimer timer;
    timer.start();

    const FaultPlan plan = m_faults.plan(route);
    bool reset = !m_faults.sleepFor(plan.latencyMs);
    if (!reset) {
        switch (plan.action) {
        case FaultAction::Reset: reset = true; break;
        case FaultAction::Stall:
            m_faults.holdStalled();
            reset = true; // a stalled request never gets an answer
            break;
        case FaultAction::ServerError:
            response.status = 500;
            response.set_content("<html><body><h1>500 Internal Server Error</h1></body></html>\n",
                                 "text/html; charset=utf-8");
            break;
        case FaultAction::Html:
            response.status = 200;
            response.set_content(htmlPage, "text/html; charset=utf-8");
            break;
        case FaultAction::Redirect:
            response.status = 302;
            response.set_header("Location", "/mirror" + request.target);
            response.set_content("<html><body>moved</body></html>\n", "text/html; charset=utf-8");
            break;
        case FaultAction::None:
        case FaultAction::Truncate:
        case FaultAction::Cut:
            handler(request, response);
            if (response.status < 0)
                response.status = 200;
            if (plan.action == FaultAction::Truncate)
                response.body.resize(response.body.size() / 2);
            if (plan.action == FaultAction::Cut)
                cutShort(response);
            break;
        }
        // Answered now, delivered later: replies of different requests arrive out of order.
        if (!reset && plan.holdMs > 0)
            reset = !m_faults.sleepFor(plan.holdMs);
    }
    if (reset) {
        ConnectionReset::reset(request.local_addr, request.local_port, request.remote_addr,
                               request.remote_port);
        response.status = 500;
        response.body.clear();
        response.set_header("Connection", "close");
    }
    logRequest(route, request, response, inFlight, plan.action, timer.elapsed(), reset);
    --m_inFlight;
}

void DemoServer::cutShort(httplib::Response &response)
{
    // Announce the whole length, send half, then give up: the library closes the connection.
    auto body = std::make_shared<std::string>(std::move(response.body));
    response.body.clear();
    const std::string type = response.get_header_value("Content-Type");
    response.set_content_provider(
        body->size(), type.c_str(), [body](size_t offset, size_t length, httplib::DataSink &sink) {
            const size_t half = body->size() / 2;
            if (offset >= half)
                return false;
            sink.write(body->data() + offset, std::min(length, half - offset));
            return true;
        });
}

void DemoServer::logRequest(const RouteInfo &route, const httplib::Request &request,
                            const httplib::Response &response, int inFlight, FaultAction fault,
                            qint64 elapsedMs, bool reset)
{
    if (route.group == RouteGroup::Control)
        return; // tests read the log to see what the client sent, not their own settings
    m_log.append(QJsonObject{
        {QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
        {QStringLiteral("method"), fromStd(request.method)},
        {QStringLiteral("path"), fromStd(request.path)},
        {QStringLiteral("query"), rawQuery(request)},
        {QStringLiteral("endpoint"), route.endpoint},
        {QStringLiteral("host"), headerValue(request, "Host")},
        {QStringLiteral("cookie"), headerValue(request, "Cookie")},
        {QStringLiteral("taviUserAgent"), headerValue(request, "TAVI-USER-AGENT")},
        {QStringLiteral("userAgent"), headerValue(request, "User-Agent")},
        {QStringLiteral("local"),
         QStringLiteral("%1:%2").arg(fromStd(request.local_addr)).arg(request.local_port)},
        {QStringLiteral("status"), reset ? 0 : response.status},
        {QStringLiteral("bytes"),
         reset ? 0
               : qint64(response.body.size()
                        + (fault == FaultAction::Cut ? response.content_length_ / 2
                                                     : response.content_length_))},
        {QStringLiteral("inFlight"), inFlight},
        {QStringLiteral("fault"), reset && fault == FaultAction::None
                                      ? QStringLiteral("shutdown")
                                      : FaultInjector::actionName(fault)},
        {QStringLiteral("ms"), elapsedMs},
    });
}

void DemoServer::handleApi(const httplib::Request &request, httplib::Response &response)
{
    const QString endpoint = fromStd(request.matches[2].str());
    if (!CourseApi::isEndpoint(endpoint)) {
        sendJson(
            response,
            {{QStringLiteral("flag"), 0}, {QStringLiteral("infos"), QStringLiteral("接口不存在")}},
            404);
        return;
    }
    static const QRegularExpression agent(QStringLiteral("^PCVersion:\\d+(\\.\\d+)* WINVersion$"));
    if (!agent.match(headerValue(request, "TAVI-USER-AGENT")).hasMatch()) {
        sendJson(response,
                 {{QStringLiteral("flag"), 0},
                  {QStringLiteral("infos"), QStringLiteral("客户端标识无效，请使用官方客户端")}});
        return;
    }
    const QList<RequestSigner::Field> fields = RequestSigner::decodeQuery(rawQuery(request));
    if (CourseApi::isSigned(endpoint) && !RequestSigner::verify(fields)) {
        sendJson(response, {{QStringLiteral("flag"), 0},
                            {QStringLiteral("infos"), QStringLiteral("签名错误")}});
        return;
    }
    // Encoded again field by field, so every value reads back exactly as decoded above.
    QStringList encoded;
    for (const RequestSigner::Field &field : fields)
        encoded << QString::fromLatin1(QUrl::toPercentEncoding(field.key) + '='
                                       + QUrl::toPercentEncoding(field.value));
    QUrlQuery decoded;
    decoded.setQuery(encoded.join(QLatin1Char('&')));
    sendJson(response, m_api->answer(endpoint, decoded));
}

bool DemoServer::checkCoursewareHost(const httplib::Request &request,
                                     httplib::Response &response) const
{
    const QString host = headerValue(request, "Host").section(QStringLiteral("; "), 0, 0);
    if (host.compare(coursewareHost(), Qt::CaseInsensitive) == 0)
        return true;
    sendText(response, 403, "forbidden: unknown host\n");
    return false;
}

QString DemoServer::lessonClip(const QString &lessonId) const
{
    const LessonNode *lesson = m_catalogue.lessonById(lessonId);
    return lesson ? lesson->clip : QString();
}

void DemoServer::handlePlaylist(const httplib::Request &request, httplib::Response &response)
{
    if (!checkCoursewareHost(request, response))
        return;
    const QString lessonId = fromStd(request.matches[1].str());
    const QString clip = lessonClip(lessonId);
    if (clip.isEmpty()) {
        sendText(response, 404, "no such lesson\n");
        return;
    }
    QByteArray playlist;
    if (!m_media.waitUntilReady(clip, clipWaitMs)
        || !readFile(m_media.clipFolder(clip) + QStringLiteral("/index.m3u8"), &playlist)) {
        sendText(response, 503, "lesson media not ready\n");
        return;
    }
    // The key lives on the web host; segments are named relative to the playlist.
    const QByteArray keyUri =
        QStringLiteral("http://%1/hlskey/%2.key").arg(webHost(), lessonId).toUtf8();
    playlist.replace(MediaMaker::keyUriPlaceholder, keyUri);
    const PlaylistShape shape = m_faults.playlistShape();
    if (shape.twoKeys) {
        const QByteArray secondUri =
            QStringLiteral("http://%1/hlskey/%2-2.key").arg(webHost(), lessonId).toUtf8();
        playlist = withSecondKey(playlist, secondUri, MediaLibrary::aesIv(clip));
    }
    if (shape.leadingSpace)
        playlist.prepend("\r\n\r\n \t");
    response.set_content(toStd(playlist), "application/vnd.apple.mpegurl");
}

void DemoServer::handleSegment(const httplib::Request &request, httplib::Response &response)
{
    if (!checkCoursewareHost(request, response))
        return;
    const QString clip = lessonClip(fromStd(request.matches[1].str()));
    const QString name = fromStd(request.matches[2].str());
    QByteArray segment;
    if (clip.isEmpty() || !m_media.waitUntilReady(clip, clipWaitMs)
        || !readFile(m_media.clipFolder(clip) + QLatin1Char('/') + name, &segment)) {
        sendText(response, 404, "no such segment\n");
        return;
    }
    QByteArray playlist;
    if (m_faults.playlistShape().twoKeys
        && readFile(m_media.clipFolder(clip) + QStringLiteral("/index.m3u8"), &playlist)
        && name.mid(3, 5).toInt() >= secondKeyFrom(playlist))
        segment = SegmentRekey::rekey(segment, MediaLibrary::aesKey(clip), secondKey(clip),
                                      MediaLibrary::aesIv(clip));
    response.set_content(toStd(segment), "video/mp2t");
}

void DemoServer::handleKey(const httplib::Request &request, httplib::Response &response)
{
    const QString lessonId = fromStd(request.matches[1].str());
    const QString clip = lessonClip(lessonId);
    if (clip.isEmpty()) {
        sendText(response, 404, "no such lesson\n");
        return;
    }
    const QByteArray expected = Catalogue::cookieValue(lessonId);
    bool allowed = false;
    const QStringList cookies = headerValue(request, "Cookie").split(QLatin1Char(';'));
    for (const QString &cookie : cookies) {
        const QString trimmed = cookie.trimmed();
        if (trimmed.startsWith(QLatin1String("keys=")) && trimmed.mid(5).toUtf8() == expected)
            allowed = true;
    }
    if (!allowed) {
        sendText(response, 403, "forbidden: key cookie missing or wrong\n");
        return;
    }
    const bool second = request.matches[2].matched;
    response.set_content(toStd(second ? secondKey(clip) : MediaLibrary::aesKey(clip)),
                         "application/octet-stream");
}

void DemoServer::handleDns(const httplib::Request &request, httplib::Response &response)
{
    if (fromStd(request.matches[1].str()) != m_options.dnsAccount) {
        sendJson(response, {{QStringLiteral("error"), QStringLiteral("unknown account")}}, 404);
        return;
    }
    QJsonArray ips;
    if (fromStd(request.get_param_value("host")) == coursewareHost()) {
        // Other lines reach this same server through the other loopback addresses.
        ips.append(QStringLiteral("127.0.0.2:%1").arg(m_port));
        ips.append(QStringLiteral("127.0.0.3:%1").arg(m_port));
    }
    sendJson(response, {{QStringLiteral("ips"), ips}, {QStringLiteral("ttl"), m_dnsTtl.load()}});
}

void DemoServer::handleErrorLog(const httplib::Request &request, httplib::Response &response)
{
    if (!request.has_file("Filedata")) {
        sendJson(response,
                 {{QStringLiteral("flag"), 0},
                  {QStringLiteral("infos"), QStringLiteral("没有收到文件")}},
                 400);
        return;
    }
    const httplib::MultipartFormData part = request.get_file_value("Filedata");
    const QString sentName = fromStd(part.filename);
    // The client sends its full path, possibly with backslashes; keep the last part.
    QString baseName = sentName.section(QRegularExpression(QStringLiteral("[/\\\\]")), -1);
    baseName.replace(QRegularExpression(QStringLiteral("[^\\w.-]")), QStringLiteral("_"));
    if (baseName.isEmpty())
        baseName = QStringLiteral("upload");

    const QString folder = m_options.dataDir + QStringLiteral("/errorlog");
    QDir().mkpath(folder);
    std::lock_guard<std::mutex> lock(m_uploadMutex);
    const QString stored =
        QStringLiteral("%1-%2").arg(++m_uploadCount, 3, 10, QLatin1Char('0')).arg(baseName);
    QSaveFile file(folder + QLatin1Char('/') + stored);
    const bool saved = file.open(QIODevice::WriteOnly)
                       && file.write(part.content.data(), qint64(part.content.size()))
                              == qint64(part.content.size())
                       && file.commit();
    QFile index(folder + QStringLiteral("/uploads.jsonl"));
    if (saved && index.open(QIODevice::WriteOnly | QIODevice::Append)) {
        index.write(QJsonDocument(QJsonObject{
                                      {QStringLiteral("file"), stored},
                                      {QStringLiteral("filename"), sentName},
                                      {QStringLiteral("contentType"), fromStd(part.content_type)},
                                      {QStringLiteral("size"), qint64(part.content.size())},
                                  })
                        .toJson(QJsonDocument::Compact)
                    + '\n');
    }
    sendJson(response,
             {{QStringLiteral("flag"), saved ? 1 : 0},
              {QStringLiteral("infos"),
               saved ? QStringLiteral("上传成功") : QStringLiteral("保存失败")}},
             saved ? 200 : 500);
}

void DemoServer::handleCover(const httplib::Request &request, httplib::Response &response)
{
    const QString name = fromStd(request.matches[1].str());
    bool known = false;
    for (const CourseEntry &course : m_catalogue.courses())
        known = known || course.cover == name;
    QByteArray picture;
    if (!known || !readFile(m_media.picturePath(name), &picture)) {
        sendText(response, 404, "no such picture\n");
        return;
    }
    response.set_content(toStd(picture),
                         name.endsWith(QLatin1String(".png")) ? "image/png" : "image/jpeg");
}

void DemoServer::handleAvatar(const httplib::Request &request, httplib::Response &response)
{
    const bool even = fromStd(request.matches[1].str()).toLongLong() % 2 == 0;
    QByteArray picture;
    if (!readFile(m_media.picturePath(even ? QStringLiteral("avatar-even.jpg")
                                           : QStringLiteral("avatar.jpg")),
                  &picture)) {
        sendText(response, 404, "no such picture\n");
        return;
    }
    response.set_content(toStd(picture), "image/jpeg");
}

void DemoServer::handleInstaller(const httplib::Request &, httplib::Response &response)
{
    static const QByteArray body = installerBody();
    response.set_content(toStd(body), "application/octet-stream");
}

void DemoServer::handleControl(const httplib::Request &request, httplib::Response &response)
{
    QStringList errors;
    if (request.has_param("clear"))
        m_faults.clear();
    for (const auto &param : request.params) {
        const QString key = fromStd(param.first);
        const QString value = fromStd(param.second);
        QString error;
        if (key == QLatin1String("clear"))
            continue;
        if (key == QLatin1String("update-version"))
            m_api->setUpdateVersion(value);
        else if (key == QLatin1String("dns-ttl"))
            m_dnsTtl = value.toInt();
        else if (!m_faults.set(key, value, &error))
            errors.append(error);
    }
    QJsonObject state{
        {QStringLiteral("ok"), errors.isEmpty()},
        {QStringLiteral("faults"), m_faults.describe()},
        {QStringLiteral("update-version"), m_api->updateVersion()},
        {QStringLiteral("dns-ttl"), m_dnsTtl.load()},
        {QStringLiteral("request-log"), m_log.path()},
    };
    if (!errors.isEmpty())
        state.insert(QStringLiteral("errors"), QJsonArray::fromStringList(errors));
    sendJson(response, state, errors.isEmpty() ? 200 : 400);
}

void DemoServer::handleStatic(const httplib::Request &request, httplib::Response &response)
{
    // Plain files for benchmarks: no host check, no cookie, any name below the folder.
    const QString relative = fromStd(request.matches[1].str());
    const QString path =
        QFileInfo(m_options.staticDir + QLatin1Char('/') + relative).canonicalFilePath();
    if (path.isEmpty() || !path.startsWith(m_options.staticDir + QLatin1Char('/'))
        || !QFileInfo(path).isFile()) {
        sendText(response, 404, "no such file\n");
        return;
    }
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        sendText(response, 403, "unreadable file\n");
        return;
    }
    // Streamed in pieces, so a large file costs neither a copy nor its size in memory.
    const char *type = path.endsWith(QLatin1String(".m3u8")) ? "application/vnd.apple.mpegurl"
                                                             : "application/octet-stream";
    response.set_content_provider(
        size_t(file->size()), type, [file](size_t offset, size_t length, httplib::DataSink &sink) {
            static constexpr size_t chunk = 256 * 1024;
            thread_local std::vector<char> buffer(chunk);
            if (!file->seek(qint64(offset)))
                return false;
            const qint64 got = file->read(buffer.data(), qint64(std::min(length, chunk)));
            return got > 0 && sink.write(buffer.data(), size_t(got));
        });
}
