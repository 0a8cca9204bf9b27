#include "platform/DiskSpace.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace DiskSpace {

namespace {

constexpr quint64 kGigabyte = 1024ull * 1024ull * 1024ull;

// The folder may not be made yet: its volume is the one of its nearest existing parent.
QString existingAncestor(const QString &path)
{
    QFileInfo info(QDir::cleanPath(path));
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return QString();
        info = QFileInfo(parent);
    }
    return info.absoluteFilePath();
}

} // namespace

QString formatGigabytes(quint64 totalBytes, quint64 freeBytes)
{
    return QString::number(totalBytes / kGigabyte) + QLatin1Char('-')
           + QString::number(freeBytes / kGigabyte);
}

QString diskSpace(const QString &path)
{
    const QString existing = path.trimmed().isEmpty() ? QString() : existingAncestor(path);
    QStorageInfo volume;
    if (!existing.isEmpty())
        volume.setPath(existing);
    if (existing.isEmpty() || !volume.isValid() || !volume.isReady() || volume.bytesTotal() <= 0) {
        qDebug() << "ERROR: disk space query failed for" << path;
        return QString();
    }
    return formatGigabytes(quint64(volume.bytesTotal()), quint64(volume.bytesFree()));
}

QString queryPathFor(const QString &downloadFolder)
{
#ifdef Q_OS_WIN
    return downloadFolder.left(3);
#else
    return downloadFolder;
#endif
}

QStringList logicalDrives()
{
    QStringList roots;
    for (const QFileInfo &drive : QDir::drives()) {
        if (!drive.absoluteFilePath().isEmpty())
            roots << drive.absoluteFilePath();
    }
    return roots;
}

} // namespace DiskSpace
