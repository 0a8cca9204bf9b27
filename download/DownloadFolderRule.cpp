#include "download/DownloadFolderRule.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace DownloadFolderRule {

namespace {

// The path with links resolved as far as it exists; the missing rest is kept as written.
QString resolved(const QString &path)
{
    QString existing = QDir::cleanPath(path);
    QString rest;
    while (!QFileInfo::exists(existing) && existing != QLatin1String("/")) {
        const int slash = existing.lastIndexOf(QLatin1Char('/'));
        rest.prepend(existing.mid(slash));
        existing = slash > 0 ? existing.left(slash) : QStringLiteral("/");
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

bool isInside(const QString &path, const QString &folder)
{
    return path == folder
           || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder
                                                                : folder + QLatin1Char('/'));
}

} // namespace

QString refusal(const QString &path, const QString &dataDir)
{
    const QString cannotCreate = QStringLiteral("无法创建该文件夹，请选择其他文件夹");
    // A relative folder would depend on where the program happened to be started.
    if (!QDir::isAbsolutePath(path))
        return cannotCreate;
    // Clearing the downloads removes lesson folders; the program's own files stay apart.
    if (!dataDir.isEmpty() && isInside(resolved(path), resolved(dataDir)))
        return QStringLiteral("该文件夹属于程序数据文件夹，请选择其他文件夹");
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return cannotCreate;
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".lumra-write-test-XXXXXX")));
    if (!probe.open() || probe.write("x", 1) != 1 || !probe.flush())
        return QStringLiteral("该文件夹无法写入，请选择其他文件夹");
    return QString();
}

} // namespace DownloadFolderRule
