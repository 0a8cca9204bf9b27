#include "api/ServiceSettings.h"

#include <QByteArray>

namespace ServiceSettings {

namespace {

struct Values
{
    QString webHost;
    QString coursewareHost;
    QString errorLogHost;
    QStringList httpDnsServers;
    QString httpDnsAccount;
    QString cookieDomain;
};

QString fromEnv(const char *name, const QString &fallback)
{
    const QByteArray value = qgetenv(name).trimmed();
    return value.isEmpty() ? fallback : QString::fromUtf8(value);
}

Values read()
{
    Values v;
    v.webHost = fromEnv("LUMRA_WEB_HOST", QStringLiteral("api.lumra-edu.example"));
    v.coursewareHost = fromEnv("LUMRA_COURSEWARE_HOST", QStringLiteral("video.lumra-edu.example"));
    v.errorLogHost = fromEnv("LUMRA_ERRORLOG_HOST", QStringLiteral("log.lumra-edu.example"));
    // Documentation addresses: production builds are configured by the service operator.
    const QString servers =
        fromEnv("LUMRA_HTTPDNS_SERVERS",
                QStringLiteral("203.0.113.10,203.0.113.11,198.51.100.20,198.51.100.21,192.0.2.30"));
    for (const QString &server : servers.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (v.httpDnsServers.size() < 5)
            v.httpDnsServers << server.trimmed();
    }
    v.httpDnsAccount = fromEnv("LUMRA_HTTPDNS_ACCOUNT", QStringLiteral("139012"));
    v.cookieDomain = fromEnv("LUMRA_COOKIE_DOMAIN", QStringLiteral(".lumra-edu.example"));
    return v;
}

Values &values()
{
    static Values v = read();
    return v;
}

} // namespace

QString webHost() { return values().webHost; }
QString coursewareHost() { return values().coursewareHost; }
QString errorLogHost() { return values().errorLogHost; }
QStringList httpDnsServers() { return values().httpDnsServers; }
QString httpDnsAccount() { return values().httpDnsAccount; }
QString cookieDomain() { return values().cookieDomain; }

QString errorLogUrl()
{
    return QStringLiteral("http://") + errorLogHost() + QStringLiteral("/record_log/c_errorlog/");
}

void reload() { values() = read(); }

} // namespace ServiceSettings
