#include "app/InstallerCleanup.h"

#include "app/Version.h"
#include "platform/PlatformPaths.h"

#include <QDir>
#include <QFile>

QString InstallerCleanup::run(const QString &dataDir, const QString &programVersion)
{
    const QString extension = PlatformPaths::installerExtension();
    const QStringList entries = QDir(dataDir).entryList(
        QStringList() << (QLatin1Char('*') + extension),
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);

    QString best;
    for (QString name : entries) {
        const QString full = dataDir + QLatin1Char('/') + name;
        name.remove(extension);
        if (!isNewerVersion(name, programVersion)) {
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
