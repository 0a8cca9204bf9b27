#include "download/StoreFolders.h"

#include "api/APIHandler.h"
#include "app/AppFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace StoreFolders {

QString legacyHash(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex());
}

namespace {

bool isStrictlyInside(const QString &path, const QString &boundary)
{
    if (boundary.isEmpty())
        return false;
    const QString root = QDir::cleanPath(QFileInfo(boundary).absoluteFilePath());
    const QString candidate = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return candidate.startsWith(root + QLatin1Char('/'));
}

void deleteContents(const QString &path)
{
    QDir dir(path);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        // A link is removed as a link; its target is not ours to empty.
        if (entry.isDir() && !entry.isSymLink()) {
            deleteContents(entry.absoluteFilePath());
            dir.rmdir(entry.fileName());
        } else {
            dir.remove(entry.fileName());
        }
    }
}

} // namespace

void deleteRecursively(const QString &path, const QString &boundary)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink())
        return;
    deleteContents(path);
    QDir dir(QDir::cleanPath(info.absoluteFilePath()));
    const QString name = dir.dirName();
    if (!dir.cdUp() || !dir.rmdir(name))
        return;
    // Empty parents go too, but only inside the store.
    while (isStrictlyInside(dir.absolutePath(), boundary)) {
        const QString parentName = dir.dirName();
        if (!dir.cdUp() || !dir.rmdir(parentName))
            break;
    }
}

bool isSafeName(const QString &name) { return AppFolders::isSafeFolderName(name); }

QString keyFileNameAt(int index)
{
    return QStringLiteral("%1.zx").arg(index, 5, 10, QLatin1Char('0'));
}

bool isReservedInLesson(const QString &name)
{
    if (name == QLatin1String(playlistFileName) || name.endsWith(QLatin1String(".part")))
        return true;
    // Any run of digits followed by ".zx" could be a key file.
    if (!name.endsWith(QLatin1String(".zx")) || name.size() <= 3)
        return false;
    for (int i = 0; i < name.size() - 3; ++i) {
        if (!name.at(i).isDigit())
            return false;
    }
    return true;
}

QString userFolderName(const QString &loginName) { return AppFolders::userFolderName(loginName); }

QString localPathForUrl(const QString &folder, const QString &url)
{
    return folder + QLatin1Char('/') + url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
}

QString childFolder(const QString &parent, const QString &name)
{
    if (parent.isEmpty() || !isSafeName(name))
        return QString();
    return parent + QLatin1Char('/') + name;
}

} // namespace StoreFolders

// The service client's name for it, defined here so that the client needs nothing of the store.
QString APIHandler::localPathForUrl(const QString &folder, const QString &url)
{
    return StoreFolders::localPathForUrl(folder, url);
}
