#include "download/FileStream.h"

#include "api/APIHandler.h"
#include "app/Accessors.h"
#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "download/AesCipher.h"
#include "download/StoreFolders.h"
#include "model/UserSession.h"
#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const char *const kPlaylistName = "00000.zs";
constexpr qint64 kSignInDays = 7;

QByteArray serialize(const UserSession &user)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << user;
    return bytes;
}

} // namespace

FileStream::FileStream(QObject *parent)
    : QObject(parent)
{
}

FileStream::~FileStream() = default;

QString FileStream::indexFileFor(const QString &userStoreFile)
{
    return userStoreFile + QLatin1Char('c');
}

void FileStream::saveIndex()
{
    AppState *state = appState();
    AesCipher *cipher = localCipher();
    if (!state || !cipher || state->userStoreFile.isEmpty())
        return;

    const QString target = indexFileFor(state->userStoreFile);
    const QString temp = target + QStringLiteral(".tmp");
    const QByteArray plain = serialize(state->user);
    QFile::remove(temp);
    cipher->encryptBytesToFile(plain, temp);

    // A short temporary file means the write failed: keep the previous index.
    const qint64 expected = (plain.size() + AesCipher::BlockSize - 1) / AesCipher::BlockSize
                            * AesCipher::BlockSize;
    if (QFileInfo(temp).size() != expected || !AtomicFile::commit(temp, target)) {
        QFile::remove(temp);
        return;
    }
    // Older versions kept a plain copy during a save; it must not outlive one.
    QFile::remove(state->userStoreFile);
}

bool FileStream::readIndexFile(const QString &indexFile, UserSession &user)
{
    AesCipher *cipher = localCipher();
    if (!cipher)
        return false;
    QByteArray plain = cipher->decryptFileToBytes(indexFile);
    if (plain.isEmpty())
        return false;
    QDataStream in(&plain, QIODevice::ReadOnly);
    in >> user;
    return true;
}

bool FileStream::loadIndex()
{
    AppState *state = appState();
    if (!state)
        return false;
    const QString lastUser = Settings::text(state->settings.get(), SettingKeys::LastUser);
    if (lastUser.isEmpty())
        return false;
    const QString folder = state->userDir + QLatin1Char('/') + lastUser;
    if (!QFileInfo(folder).isDir())
        return false;

    const QString storeFile = folder + QLatin1Char('/') + AppInfo::userStoreName();
    // A plain copy can only be left by a save or load that never finished.
    QFile::remove(storeFile);
    if (!readIndexFile(indexFileFor(storeFile), state->user))
        return false;

    if (isNewerVersion(QStringLiteral("2.0.0.0"), state->user.version))
        return false;
    const QDateTime loginTime = state->user.loginTime;
    if (!loginTime.isValid()
        || loginTime.msecsTo(QDateTime::currentDateTime()) >= kSignInDays * 24 * 3600 * 1000)
        return false;
    if (APIHandler *api = apiHandler())
        api->finishSignIn();
    return true;
}

void FileStream::loadUserStore()
{
    AppState *state = appState();
    if (!state || state->userStoreFile.isEmpty())
        return;
    UserSession stored;
    if (readIndexFile(indexFileFor(state->userStoreFile), stored)
        && stored.loginName == state->user.loginName) {
        state->user.downloads = stored.downloads;
    } else {
        state->user.downloads.clear();
    }
}

void FileStream::relocate()
{
    AppState *state = appState();
    if (!state)
        return;
    for (Course &course : state->user.downloads) {
        course.localPath = state->downloadDir + QLatin1Char('/') + course.id;
        course.legacyPath = state->downloadDir + QLatin1Char('/') + StoreFolders::legacyHash(course.title);
        for (Courseware &lesson : course.coursewares) {
            lesson.localPath = course.localPath + QLatin1Char('/') + lesson.id;
            lesson.legacyPath = course.legacyPath + QLatin1Char('/')
                                + StoreFolders::legacyHash(lesson.title);
            migrateLesson(course, lesson);
        }
    }
    saveIndex();
}

void FileStream::migrateLesson(const Course &course, const Courseware &lesson)
{
    if (!QFileInfo(course.legacyPath).isDir())
        return;
    QDir().mkpath(course.localPath);
    if (!QFileInfo(lesson.legacyPath).isDir())
        return;
    QDir().mkpath(lesson.localPath);

    AesCipher *cipher = localCipher();
    const QString legacyPlaylist = lesson.legacyPath + QLatin1Char('/') + QLatin1String(kPlaylistName);
    if (cipher && QFileInfo::exists(legacyPlaylist)) {
        QByteArray playlist = cipher->decryptFileToBytes(legacyPlaylist);
        if (!playlist.isEmpty()) {
            // The stored playlist names its segments and key by absolute path.
            playlist.replace(lesson.legacyPath.toUtf8(), lesson.localPath.toUtf8());
            // Drop the old padding so it is not enciphered into the text.
            while (playlist.endsWith('\0'))
                playlist.chop(1);
            cipher->encryptBytesToFile(playlist, lesson.localPath + QLatin1Char('/')
                                                     + QLatin1String(kPlaylistName));
            QFile::remove(legacyPlaylist);
        }
    }

    QDir legacyDir(lesson.legacyPath);
    const QStringList files = legacyDir.entryList(QStringList() << QStringLiteral("*.*"), QDir::Files);
    bool allMoved = true;
    for (const QString &name : files) {
        const QString from = legacyDir.filePath(name);
        const QString to = lesson.localPath + QLatin1Char('/') + name;
        if (QFile::copy(from, to) || QFileInfo::exists(to))
            QFile::remove(from);
        else
            allMoved = false;
    }
    // A file that could not be copied (a full disk, say) keeps the old folder alive.
    if (allMoved)
        StoreFolders::deleteRecursively(lesson.legacyPath, appState()->downloadDir);
}

Course *FileStream::findDownloadCourse(const QString &courseId)
{
    AppState *state = appState();
    if (!state)
        return nullptr;
    for (Course &course : state->user.downloads) {
        if (course.id == courseId)
            return &course;
    }
    return nullptr;
}

Courseware *FileStream::findDownloadLesson(const QString &courseId, const QString &lessonId)
{
    Course *course = findDownloadCourse(courseId);
    if (!course)
        return nullptr;
    return course->findCourseware(lessonId);
}
