#pragma once

#include <QString>
#include <QStringList>

// Where the course service lives. Each value has a production default and can be
// overridden once, at first use, by its environment variable (so that tests and the
// demo reach the local demo service):
//   LUMRA_WEB_HOST, LUMRA_COURSEWARE_HOST, LUMRA_ERRORLOG_HOST   host or host:port
//   LUMRA_HTTPDNS_SERVERS   comma-separated address[:port], up to five
//   LUMRA_HTTPDNS_ACCOUNT   six-digit account number
//   LUMRA_COOKIE_DOMAIN     domain of the key cookie
namespace ServiceSettings {
QString webHost();
QString coursewareHost();
QString errorLogHost();
QStringList httpDnsServers();
QString httpDnsAccount();
QString cookieDomain();

// The error-log endpoint that takes crash dumps.
QString errorLogUrl();
// Reads the environment again; for tests that start a service after the first use.
void reload();
} // namespace ServiceSettings
