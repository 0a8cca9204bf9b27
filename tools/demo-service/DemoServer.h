#pragma once

#include "FaultInjector.h"
#include "ServiceOptions.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class AccountStore;
class Catalogue;
class CourseApi;
class MediaLibrary;
class RequestLog;

// The HTTP side: one listener on each of 127.0.0.1, 127.0.0.2 and 127.0.0.3 (same port),
// all with the same routes. Every request passes the fault injector and the request log.
class DemoServer
{
public:
    DemoServer(const ServiceOptions &options, const Catalogue &catalogue, AccountStore &accounts,
               MediaLibrary &media, FaultInjector &faults, RequestLog &log);
    ~DemoServer();

    bool bind(QString *error);
    void start();
    void stop();

    int port() const { return m_port; }
    QString webHost() const;
    QString coursewareHost() const;
    // "NAME=VALUE" for each service setting of the client.
    QStringList environment() const;

private:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    void installRoutes(httplib::Server &server);
    void serve(const RouteInfo &route, const httplib::Request &request, httplib::Response &response,
               const Handler &handler);
    static void cutShort(httplib::Response &response);
    void logRequest(const RouteInfo &route, const httplib::Request &request,
                    const httplib::Response &response, int inFlight, FaultAction fault,
                    qint64 elapsedMs, bool reset);

    void handleApi(const httplib::Request &request, httplib::Response &response);
    void handlePlaylist(const httplib::Request &request, httplib::Response &response);
    void handleSegment(const httplib::Request &request, httplib::Response &response);
    void handleKey(const httplib::Request &request, httplib::Response &response);
    void handleDns(const httplib::Request &request, httplib::Response &response);
    void handleErrorLog(const httplib::Request &request, httplib::Response &response);
    void handleCover(const httplib::Request &request, httplib::Response &response);
    void handleAvatar(const httplib::Request &request, httplib::Response &response);
    void handleInstaller(const httplib::Request &request, httplib::Response &response);
    void handleControl(const httplib::Request &request, httplib::Response &response);
    void handleStatic(const httplib::Request &request, httplib::Response &response);

    // Media is served only to requests that name the courseware host.
    bool checkCoursewareHost(const httplib::Request &request, httplib::Response &response) const;
    QString lessonClip(const QString &lessonId) const;

    ServiceOptions m_options;
    const Catalogue &m_catalogue;
    AccountStore &m_accounts;
    MediaLibrary &m_media;
    FaultInjector &m_faults;
    RequestLog &m_log;
    std::unique_ptr<CourseApi> m_api;
    std::vector<std::unique_ptr<httplib::Server>> m_servers;
    std::vector<std::thread> m_threads;
    int m_port = 0;
    std::atomic<int> m_inFlight{0};
    std::atomic<int> m_dnsTtl{60};
    std::mutex m_uploadMutex;
    int m_uploadCount = 0;
};
