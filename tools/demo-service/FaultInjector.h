#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <random>

// What kind of route a request hit; fault targets name either a group or an endpoint.
enum class RouteGroup {
    Api,
    Media,
    Dns,
    ErrorLog,
    File,
    Control
};

struct RouteInfo
{
    QString endpoint; // "dologin", "playlist", "segment", "key", "dns", "cover", ...
    RouteGroup group = RouteGroup::Api;
    int mirrorDepth = 0; // how many "/mirror" prefixes the path carries
};

// Reset: TCP reset before any byte of the answer (Qt resends such a request by itself up to
// twice). Cut: headers and half the body, then the connection closes (always an error).
// Redirect: 302 to the same path under one more "/mirror" prefix, which serves the same bytes.
enum class FaultAction {
    None,
    Reset,
    Cut,
    ServerError,
    Stall,
    Html,
    Truncate,
    Redirect
};

// How the playlists are written: indented after blank lines, or with a second key that
// enciphers the second half of the segments.
struct PlaylistShape
{
    bool leadingSpace = false;
    bool twoKeys = false;
};

struct FaultPlan
{
    FaultAction action = FaultAction::None;
    int latencyMs = 0;
    int holdMs = 0; // the answer is made at once, then held back this long
};

// Faults that tests switch on through command-line flags or the control endpoint.
// Thread-safe: every request thread asks plan() for its fate.
class FaultInjector
{
public:
    FaultInjector();

    // Keys as documented in the README ("latency", "fail-every", "chaos-reset", ...).
    bool set(const QString &key, const QString &value, QString *error);
    static bool isKey(const QString &key);
    // Every fault key, as the command line and the control endpoint take them.
    static const QStringList &keys();
    void clear();
    QJsonObject describe() const;

    FaultPlan plan(const RouteInfo &route);
    PlaylistShape playlistShape() const;

    // Sleeps unless the service shuts down first; false when it is shutting down.
    bool sleepFor(int ms);
    // Holds a stalled request until the stall limit passes or the service shuts down.
    void holdStalled();
    void shutdown();

    static QString actionName(FaultAction action);

private:
    struct Settings
    {
        int latencyMs = 0;
        int mediaLatencyMs = 0;
        int failEvery = 0;
        FaultAction failAction = FaultAction::Cut;
        QStringList stallTargets;
        int stallCount = -1; // -1: every matching request
        int stallMaxMs = 60000;
        QStringList htmlTargets;
        QStringList truncateTargets;
        QStringList redirectTargets;
        int redirectHops = 1;
        bool playlistLead = false;
        bool twoKeys = false;
        QStringList holdTargets;
        int holdMs = 4000;
        int holdCount = -1; // -1: every matching request
        int dnsFail = 0;    // -1: always
        double chaosResetPercent = 0;
        double chaosCutPercent = 0;
        double chaosErrorPercent = 0;
        double chaosStallPercent = 0;
        quint32 chaosSeed = 1;
        QStringList chaosScope{QStringLiteral("media")};
    };

    static bool matches(const QStringList &targets, const RouteInfo &route);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_shuttingDown = false;
    Settings m_settings;
    quint64 m_mediaCount = 0;
    quint64 m_releaseGeneration = 0;
    std::mt19937 m_random{1};
};
