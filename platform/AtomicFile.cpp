#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace AtomicFile {

namespace {
bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}
} // namespace

bool commit(const QString &tempPath, const QString &targetPath)
{
    if (!syncPath(tempPath, O_RDONLY))
        return false;
    if (std::rename(QFile::encodeName(tempPath).constData(),
                    QFile::encodeName(targetPath).constData())
        != 0)
        return false;
    // Make the rename itself durable.
    syncPath(QFileInfo(targetPath).absolutePath(), O_RDONLY | O_DIRECTORY);
    return true;
}

} // namespace AtomicFile
