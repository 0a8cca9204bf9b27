#include "platform/PlatformPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace PlatformPaths {

namespace {
QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
} // namespace

QString documentsDir()
{
    const QString location = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (location.isEmpty())
        return QString();
    return withSlash(location);
}

QStringList downloadRootCandidates()
{
    return QStringList() << withSlash(QDir::homePath());
}

QString installerExtension()
{
    return QStringLiteral(".AppImage");
}

} // namespace PlatformPaths
