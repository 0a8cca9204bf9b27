#include "app/InstallerCleanup.h"

#include "app/Version.h"
#include "platform/PlatformPaths.h"

#include <QDir>
#include <QFile>

QString InstallerCleanup::run(const QString &dataDir, const QString &programVersion)
{
    if (dataDir.isEmpty())
        return QString();
    const QString extension = PlatformPaths::installerExtension();
    QDir folder(dataDir);
    // No download runs before this: a partial installer is what an ended run left.
    const QStringList partials = folder.entryList(
        QStringList() << (QLatin1Char('*') + extension + QStringLiteral(".download")),
        QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QString &name : partials)
        folder.remove(name);

    const QStringList entries = folder.entryList(
        QStringList() << (QLatin1Char('*') + extension),
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    QString best;
    for (QString name : entries) {
        const QString full = dataDir + QLatin1Char('/') + name;
        name.remove(extension);
        // A file that is no installer of this platform (an error page kept under the name)
        // would only be offered and fail; it goes, and the update check is made again.
        if (!PlatformPaths::isInstallerFile(full) || !isNewerVersion(name, programVersion)) {
            QFile::remove(full);
        } else if (isNewerVersion(name, best)) {
            if (!best.isEmpty())
                QFile::remove(dataDir + QLatin1Char('/') + best + extension);
            best = name;
        } else {
            QFile::remove(full);
        }
    }
    return best.isEmpty() ? QString() : dataDir + QLatin1Char('/') + best + extension;
}
