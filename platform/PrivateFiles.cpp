#include "platform/PrivateFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>

namespace PrivateFiles {

namespace {

void close(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::lstat(native.constData(), &info) != 0)
        return;
    const mode_t wanted = S_ISDIR(info.st_mode) ? 0700 : (info.st_mode & 0700) | 0600;
    if ((S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)) && (info.st_mode & 07777) != wanted)
        ::chmod(native.constData(), wanted);
}

} // namespace

void restrictNewFiles() { ::umask(077); }

bool makeFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    return ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

void closeTree(const QString &root)
{
    close(root);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        close(it.next());
}

} // namespace PrivateFiles
