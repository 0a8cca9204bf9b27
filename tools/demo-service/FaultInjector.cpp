#include "FaultInjector.h"

#include <QJsonArray>

#include <chrono>

namespace {

const QStringList knownKeys{
    QStringLiteral("latency"),       QStringLiteral("media-latency"),
    QStringLiteral("fail-every"),    QStringLiteral("fail-mode"),
    QStringLiteral("stall"),         QStringLiteral("stall-count"),
    QStringLiteral("stall-max-ms"),  QStringLiteral("html"),
    QStringLiteral("truncate"),      QStringLiteral("dns-fail"),
    QStringLiteral("chaos-reset"),   QStringLiteral("chaos-500"),
    QStringLiteral("chaos-stall"),   QStringLiteral("chaos-seed"),
    QStringLiteral("chaos-scope"),   QStringLiteral("chaos-cut"),
    QStringLiteral("redirect"),      QStringLiteral("redirect-hops"),
    QStringLiteral("playlist-lead"), QStringLiteral("two-keys"),
    QStringLiteral("hold"),          QStringLiteral("hold-ms"),
    QStringLiteral("hold-count"),
};

QStringList targetList(const QString &value)
{
    QStringList targets = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &target : targets)
        target = target.trimmed();
    return targets;
}

bool readInt(const QString &value, int minimum, int *out, QString *error)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < minimum) {
        *error = QStringLiteral("not a number >= %1: %2").arg(minimum).arg(value);
        return false;
    }
    *out = number;
    return true;
}

bool readSwitch(const QString &value, bool *out, QString *error)
{
    if (value != QLatin1String("0") && value != QLatin1String("1")) {
        *error = QStringLiteral("not 0 or 1: %1").arg(value);
        return false;
    }
    *out = value == QLatin1String("1");
    return true;
}

bool readPercent(const QString &value, double *out, QString *error)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || number < 0 || number > 100) {
        *error = QStringLiteral("not a percentage: %1").arg(value);
        return false;
    }
    *out = number;
    return true;
}

} // namespace

FaultInjector::FaultInjector() = default;

bool FaultInjector::isKey(const QString &key) { return knownKeys.contains(key); }

const QStringList &FaultInjector::keys() { return knownKeys; }

bool FaultInjector::set(const QString &key, const QString &value, QString *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Settings &s = m_settings;
    if (key == QLatin1String("latency"))
        return readInt(value, 0, &s.latencyMs, error);
    if (key == QLatin1String("media-latency"))
        return readInt(value, 0, &s.mediaLatencyMs, error);
    if (key == QLatin1String("fail-every")) {
        m_mediaCount = 0; // counting starts again so tests can predict which request fails
        return readInt(value, 0, &s.failEvery, error);
    }
    if (key == QLatin1String("fail-mode")) {
        if (value == QLatin1String("reset"))
            s.failAction = FaultAction::Reset;
        else if (value == QLatin1String("cut"))
            s.failAction = FaultAction::Cut;
        else if (value == QLatin1String("500"))
            s.failAction = FaultAction::ServerError;
        else {
            *error = QStringLiteral("fail-mode is reset, cut or 500");
            return false;
        }
        return true;
    }
    if (key == QLatin1String("stall")) {
        s.stallTargets = targetList(value);
        return true;
    }
    if (key == QLatin1String("stall-count"))
        return readInt(value, -1, &s.stallCount, error);
    if (key == QLatin1String("stall-max-ms"))
        return readInt(value, 0, &s.stallMaxMs, error);
    if (key == QLatin1String("html")) {
        s.htmlTargets = targetList(value);
        return true;
    }
    if (key == QLatin1String("truncate")) {
        s.truncateTargets = targetList(value);
        return true;
    }
    if (key == QLatin1String("redirect")) {
        s.redirectTargets = targetList(value);
        return true;
    }
    if (key == QLatin1String("redirect-hops"))
        return readInt(value, 1, &s.redirectHops, error);
    if (key == QLatin1String("playlist-lead"))
        return readSwitch(value, &s.playlistLead, error);
    if (key == QLatin1String("two-keys"))
        return readSwitch(value, &s.twoKeys, error);
    if (key == QLatin1String("hold")) {
        s.holdTargets = targetList(value);
        return true;
    }
    if (key == QLatin1String("hold-ms"))
        return readInt(value, 0, &s.holdMs, error);
    if (key == QLatin1String("hold-count"))
        return readInt(value, -1, &s.holdCount, error);
    if (key == QLatin1String("dns-fail")) {
        if (value == QLatin1String("always")) {
            s.dnsFail = -1;
            return true;
        }
        return readInt(value, -1, &s.dnsFail, error);
    }
    if (key == QLatin1String("chaos-reset"))
        return readPercent(value, &s.chaosResetPercent, error);
    if (key == QLatin1String("chaos-cut"))
        return readPercent(value, &s.chaosCutPercent, error);
    if (key == QLatin1String("chaos-500"))
        return readPercent(value, &s.chaosErrorPercent, error);
    if (key == QLatin1String("chaos-stall"))
        return readPercent(value, &s.chaosStallPercent, error);
    if (key == QLatin1String("chaos-seed")) {
        bool ok = false;
        const quint32 seed = value.toUInt(&ok);
        if (!ok) {
            *error = QStringLiteral("chaos-seed is an unsigned number");
            return false;
        }
        s.chaosSeed = seed;
        m_random.seed(seed); // the same seed replays the same sequence of faults
        return true;
    }
    if (key == QLatin1String("chaos-scope")) {
        s.chaosScope = targetList(value);
        return true;
    }
    *error = QStringLiteral("unknown fault key: %1").arg(key);
    return false;
}

void FaultInjector::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settings = Settings();
    m_mediaCount = 0;
    m_random.seed(m_settings.chaosSeed);
    ++m_releaseGeneration;
    m_wake.notify_all(); // release requests stalled so far
}

QJsonObject FaultInjector::describe() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Settings &s = m_settings;
    return QJsonObject{
        {QStringLiteral("latency"), s.latencyMs},
        {QStringLiteral("media-latency"), s.mediaLatencyMs},
        {QStringLiteral("fail-every"), s.failEvery},
        {QStringLiteral("fail-mode"), actionName(s.failAction)},
        {QStringLiteral("stall"), s.stallTargets.join(QLatin1Char(','))},
        {QStringLiteral("stall-count"), s.stallCount},
        {QStringLiteral("stall-max-ms"), s.stallMaxMs},
        {QStringLiteral("html"), s.htmlTargets.join(QLatin1Char(','))},
        {QStringLiteral("truncate"), s.truncateTargets.join(QLatin1Char(','))},
        {QStringLiteral("redirect"), s.redirectTargets.join(QLatin1Char(','))},
        {QStringLiteral("redirect-hops"), s.redirectHops},
        {QStringLiteral("playlist-lead"), s.playlistLead ? 1 : 0},
        {QStringLiteral("two-keys"), s.twoKeys ? 1 : 0},
        {QStringLiteral("hold"), s.holdTargets.join(QLatin1Char(','))},
        {QStringLiteral("hold-ms"), s.holdMs},
        {QStringLiteral("hold-count"), s.holdCount},
        {QStringLiteral("dns-fail"), s.dnsFail},
        {QStringLiteral("chaos-reset"), s.chaosResetPercent},
        {QStringLiteral("chaos-cut"), s.chaosCutPercent},
        {QStringLiteral("chaos-500"), s.chaosErrorPercent},
        {QStringLiteral("chaos-stall"), s.chaosStallPercent},
        {QStringLiteral("chaos-seed"), qint64(s.chaosSeed)},
        {QStringLiteral("chaos-scope"), s.chaosScope.join(QLatin1Char(','))},
        {QStringLiteral("media-requests"), qint64(m_mediaCount)},
    };
}

bool FaultInjector::matches(const QStringList &targets, const RouteInfo &route)
{
    for (const QString &target : targets) {
        if (target == QLatin1String("all") || target == route.endpoint)
            return true;
        if (target == QLatin1String("media") && route.group == RouteGroup::Media)
            return true;
        if (target == QLatin1String("api") && route.group == RouteGroup::Api)
            return true;
    }
    return false;
}

FaultPlan FaultInjector::plan(const RouteInfo &route)
{
    FaultPlan plan;
    if (route.group == RouteGroup::Control)
        return plan;

    std::lock_guard<std::mutex> lock(m_mutex);
    Settings &s = m_settings;
    const bool media = route.group == RouteGroup::Media;
    plan.latencyMs = s.latencyMs + (media ? s.mediaLatencyMs : 0);
    if (s.holdCount != 0 && matches(s.holdTargets, route)) {
        if (s.holdCount > 0)
            --s.holdCount;
        plan.holdMs = s.holdMs;
    }

    // Checked first, so that the other faults act on the mirror the redirect leads to.
    if (route.mirrorDepth < s.redirectHops && matches(s.redirectTargets, route)) {
        plan.action = FaultAction::Redirect;
        return plan;
    }
    if (matches(s.htmlTargets, route)) {
        plan.action = FaultAction::Html;
        return plan;
    }
    if (s.stallCount != 0 && matches(s.stallTargets, route)) {
        if (s.stallCount > 0)
            --s.stallCount;
        plan.action = FaultAction::Stall;
        return plan;
    }
    if (route.group == RouteGroup::Dns && s.dnsFail != 0) {
        if (s.dnsFail > 0)
            --s.dnsFail;
        plan.action = FaultAction::ServerError;
        return plan;
    }
    if (media) {
        ++m_mediaCount;
        if (s.failEvery > 0 && m_mediaCount % quint64(s.failEvery) == 0) {
            plan.action = s.failAction;
            return plan;
        }
    }
    const double chaosTotal =
        s.chaosResetPercent + s.chaosCutPercent + s.chaosErrorPercent + s.chaosStallPercent;
    if (chaosTotal > 0 && matches(s.chaosScope, route)) {
        // One draw per request in scope, so a seed replays the same sequence of faults.
        const double roll = std::uniform_real_distribution<double>(0.0, 100.0)(m_random);
        double bound = s.chaosResetPercent;
        if (roll < bound)
            plan.action = FaultAction::Reset;
        else if (roll < (bound += s.chaosCutPercent))
            plan.action = FaultAction::Cut;
        else if (roll < (bound += s.chaosErrorPercent))
            plan.action = FaultAction::ServerError;
        else if (roll < chaosTotal)
            plan.action = FaultAction::Stall;
        if (plan.action != FaultAction::None)
            return plan;
    }
    if (matches(s.truncateTargets, route))
        plan.action = FaultAction::Truncate;
    return plan;
}

PlaylistShape FaultInjector::playlistShape() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PlaylistShape shape;
    shape.leadingSpace = m_settings.playlistLead;
    shape.twoKeys = m_settings.twoKeys;
    return shape;
}

bool FaultInjector::sleepFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (ms > 0)
        m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_shuttingDown; });
    return !m_shuttingDown;
}

void FaultInjector::holdStalled()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // A clear() or the shutdown ends the stall early; otherwise it lasts stall-max-ms.
    const quint64 generation = m_releaseGeneration;
    m_wake.wait_for(lock, std::chrono::milliseconds(m_settings.stallMaxMs),
                    [&] { return m_shuttingDown || m_releaseGeneration != generation; });
}

void FaultInjector::shutdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shuttingDown = true;
    m_wake.notify_all();
}

QString FaultInjector::actionName(FaultAction action)
{
    switch (action) {
    case FaultAction::None: return QString();
    case FaultAction::Reset: return QStringLiteral("reset");
    case FaultAction::Cut: return QStringLiteral("cut");
    case FaultAction::ServerError: return QStringLiteral("500");
    case FaultAction::Stall: return QStringLiteral("stall");
    case FaultAction::Html: return QStringLiteral("html");
    case FaultAction::Truncate: return QStringLiteral("truncate");
    case FaultAction::Redirect: return QStringLiteral("redirect");
    }
    return QString();
}
