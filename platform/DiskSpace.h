#pragma once

#include <QString>
#include <QStringList>

// Size and free space of volumes.
namespace DiskSpace {
// "T-F": total size and free space, in whole gigabytes (truncated), of the volume that
// holds path. Empty when path is empty or the volume cannot be queried.
QString diskSpace(const QString &path);
// The path to query for a download folder setting: the drive root on systems with drive
// letters ("D:\"), else the folder itself (its nearest existing parent is queried).
QString queryPathFor(const QString &downloadFolder);
// The root paths of all drives, in the order the system lists them.
QStringList logicalDrives();
// "T-F" of byte counts; exposed for the label's arithmetic.
QString formatGigabytes(quint64 totalBytes, quint64 freeBytes);
} // namespace DiskSpace
