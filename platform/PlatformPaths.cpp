#include "platform/PlatformPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QStringList downloadRootCandidates() { return QStringList() << withSlash(QDir::homePath()); }

QString installerExtension() { return QStringLiteral(".AppImage"); }

bool startsLikeInstaller(const QByteArray &head)
{
    return head.startsWith("\x7f"
                           "ELF");
}

bool isInstallerFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && startsLikeInstaller(file.read(4));
}

} // namespace PlatformPaths
