#include "download/FileStream.h"

#include "api/APIHandler.h"
#include "app/Accessors.h"
#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "app/Log.h"
#include "download/AesCipher.h"
#include "download/M3u8Loader.h"
#include "download/StoreFolders.h"
#include "model/Course.h"
#include "model/M3u8Context.h"
#include "model/UserSession.h"
#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

constexpr qint64 kSignInDays = 7;
const char *const kAddressFailed = "获取下载地址失败";
// A lesson whose ids cannot name a folder of the store is never downloaded.
const char *const kInvalidId = "课程或课件编号无效，无法下载";
const char *const kNoDownloadFolder = "下载目录不可用，请在设置中选择下载目录";

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
    if (APIHandler *api = apiHandler())
        attachApiHandler(api);
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
    const QString folder = state->userDir + QLatin1Char('/') + StoreFolders::userFolderName(lastUser);
    if (!QFileInfo(folder).isDir())
        return false;

    const QString storeFile = folder + QLatin1Char('/') + AppInfo::userStoreName();
    // A plain copy can only be left by a save or load that never finished.
    QFile::remove(storeFile);
    if (!readIndexFile(indexFileFor(storeFile), state->user))
        return false;
    m_listOwner = state->user.loginName;

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
    if (!m_listOwner.isEmpty() && m_listOwner == state->user.loginName)
        return; // restored from this very store at start-up, and saved after every change
    UserSession stored;
    if (readIndexFile(indexFileFor(state->userStoreFile), stored)
        && stored.loginName == state->user.loginName) {
        state->user.downloads = stored.downloads;
    } else {
        state->user.downloads.clear();
    }
    m_listOwner = state->user.loginName;
}

void FileStream::relocate()
{
    AppState *state = appState();
    if (!state)
        return;
    for (Course &course : state->user.downloads) {
        // Ids come from the service: one that cannot name a folder gets no path at all.
        course.localPath = StoreFolders::childFolder(state->downloadDir, course.id);
        course.legacyPath =
            StoreFolders::childFolder(state->downloadDir, StoreFolders::legacyHash(course.title));
        for (Courseware &lesson : course.coursewares) {
            lesson.localPath = StoreFolders::childFolder(course.localPath, lesson.id);
            lesson.legacyPath =
                StoreFolders::childFolder(course.legacyPath, StoreFolders::legacyHash(lesson.title));
            migrateLesson(course, lesson);
        }
    }
    saveIndex();
}

void FileStream::migrateLesson(const Course &course, const Courseware &lesson)
{
    if (course.legacyPath.isEmpty() || course.localPath.isEmpty() || lesson.localPath.isEmpty()
        || !QFileInfo(course.legacyPath).isDir())
        return;
    QDir().mkpath(course.localPath);
    if (lesson.legacyPath.isEmpty() || !QFileInfo(lesson.legacyPath).isDir())
        return;
    QDir().mkpath(lesson.localPath);

    AesCipher *cipher = localCipher();
    const QString legacyPlaylist = lesson.legacyPath + QLatin1Char('/') + QLatin1String(StoreFolders::playlistFileName);
    if (cipher && QFileInfo::exists(legacyPlaylist)) {
        QByteArray playlist = cipher->decryptFileToBytes(legacyPlaylist);
        if (!playlist.isEmpty()) {
            // The stored playlist names its segments and key by absolute path.
            playlist.replace(lesson.legacyPath.toUtf8(), lesson.localPath.toUtf8());
            // Drop the old padding so it is not enciphered into the text.
            while (playlist.endsWith('\0'))
                playlist.chop(1);
            cipher->encryptBytesToFile(playlist, lesson.localPath + QLatin1Char('/')
                                                     + QLatin1String(StoreFolders::playlistFileName));
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

// ---- The queue ----

void FileStream::attachApiHandler(APIHandler *api)
{
    if (m_api)
        disconnect(m_api, nullptr, this, nullptr);
    m_api = api;
    if (api)
        connect(api, &APIHandler::HttpResponseSignal, this, &FileStream::onHttpResponse);
}

void FileStream::setCurrent(Courseware *lesson, const QString &courseId)
{
    m_current = lesson;
    m_currentCourseId = lesson ? courseId : QString();
    m_currentLessonId = lesson ? lesson->id : QString();
}

Courseware *FileStream::currentLesson()
{
    AppState *state = appState();
    if (!m_current || !state)
        return nullptr;
    // The list may have been copied and written since (a detached copy moves its
    // elements); the ids find the lesson where it lives now, or tell that it is gone.
    for (Course &course : state->user.downloads) {
        if (course.id != m_currentCourseId)
            continue;
        if (Courseware *lesson = course.findCourseware(m_currentLessonId)) {
            m_current = lesson;
            return m_current;
        }
    }
    setCurrent(nullptr);
    return nullptr;
}

void FileStream::startNext()
{
    if (m_busy || m_paused)
        return;
    Courseware *lesson = pickNextMission();
    if (lesson) {
        if (m_api)
            m_api->getKeysAndUrl(lesson, LessonAddressType);
        emit DownloadingStateChangeSignal(0);
        return;
    }
    qDebug() << "no mission";
    if (!m_ranMission)
        return;
    m_ranMission = false;
    const AppState *state = appState();
    const QSettings *settings = state ? state->settings.get() : nullptr;
    if (Settings::isOn(settings, SettingKeys::DoneTip))
        emit ShowAllDoneTipSignal();
    if (Settings::isOn(settings, SettingKeys::DoneShutdown))
        emit ShowShutdownSignal();
}

Courseware *FileStream::pickNextMission()
{
    m_addressRetries = 0;
    setCurrent(nullptr);
    AppState *state = appState();
    if (!state)
        return nullptr;
    for (;;) {
        Course *course = nullptr;
        Courseware *lesson = nullptr;
        for (Course &candidate : state->user.downloads) {
            for (Courseware &cw : candidate.coursewares) {
                if (cw.downloadState == Courseware::Queued) {
                    course = &candidate;
                    lesson = &cw;
                    break;
                }
            }
            if (lesson)
                break;
        }
        if (!lesson)
            return nullptr;

        if (state->downloadDir.isEmpty()) {
            // No folder operation without a download folder; the lesson waits for one.
            setCurrent(lesson, course->id);
            emit DownloadErrorSignal(lesson, QString::fromUtf8(kNoDownloadFolder));
            return nullptr;
        }
        const QString courseFolder = StoreFolders::childFolder(state->downloadDir, course->id);
        const QString lessonFolder = StoreFolders::childFolder(courseFolder, lesson->id);
        if (lessonFolder.isEmpty()) {
            lesson->downloadState = Courseware::NotDownloaded;
            saveIndex();
            emit DownloadErrorSignal(lesson, QString::fromUtf8(kInvalidId));
            continue;
        }
        QDir().mkpath(state->downloadDir);
        QDir().mkpath(lessonFolder);
        course->localPath = courseFolder;
        lesson->localPath = lessonFolder;
        setCurrent(lesson, course->id);
        return lesson;
    }
}

void FileStream::onHttpResponse(int type, int result, const QVariant &info)
{
    if (type != LessonAddressType)
        return;
    Courseware *lesson = currentLesson();
    if (!lesson || m_paused)
        return;
    if (result == 1) {
        const M3u8Context context = info.value<M3u8Context>();
        // Replies for another lesson, or for one removed or already running, start nothing.
        if (context.courseId != m_currentCourseId || context.lessonId != m_currentLessonId || m_busy
            || lesson->downloadState != Courseware::Queued || lesson->localPath.isEmpty())
            return;
        disposeLoader();
        m_loader = new M3u8Loader(this);
        M3u8Loader *loader = m_loader;
        loader->setPauseCheck([this] { return m_paused; });
        connect(loader, &M3u8Loader::FinishedSignal, this, [this, loader](bool isCancel) {
            if (loader == m_loader)
                onLoaderFinished(isCancel);
        });
        connect(loader, &M3u8Loader::ProgressSignal, this, [this, loader](double progress, double speed) {
            if (loader == m_loader)
                onLoaderProgress(progress, speed);
        });
        connect(loader, &M3u8Loader::ErrorSignal, this, [this, loader](const QString &text) {
            if (loader == m_loader)
                onLoaderError(text);
        });
        m_busy = true;
        m_ranMission = true;
        loader->start(context.url, lesson->localPath, context.keys);
        return;
    }
    if (m_busy)
        return; // a late failure of an earlier request; the lesson is already running
    if (m_addressRetries >= MaxAddressRetries) {
        emit DownloadErrorSignal(lesson, QString::fromUtf8(kAddressFailed));
        return;
    }
    ++m_addressRetries;
    QTimer::singleShot(AddressRetryDelayMs, this, [this, courseId = m_currentCourseId, lessonId = m_currentLessonId] {
        retryAddress(courseId, lessonId);
    });
}

void FileStream::retryAddress(const QString &courseId, const QString &lessonId)
{
    // Only while the same lesson still waits for its address.
    Courseware *lesson = currentLesson();
    if (m_busy || m_paused || !lesson || courseId != m_currentCourseId || lessonId != m_currentLessonId
        || lesson->downloadState != Courseware::Queued || !m_api)
        return;
    m_api->getKeysAndUrl(lesson, LessonAddressType);
}

void FileStream::onLoaderFinished(bool isCancel)
{
    qDebug() << "done";
    m_busy = false;
    Courseware *lesson = currentLesson();
    if (lesson)
        lesson->downloadState = isCancel ? Courseware::NotDownloaded : Courseware::Downloaded;
    saveIndex();
    if (lesson)
        emit DownloadedSignal(lesson);
    startNext();
}

void FileStream::onLoaderProgress(double progress, double speed)
{
    if (Courseware *lesson = currentLesson())
        emit DownloadingProgressSignal(lesson, progress, speed);
}

void FileStream::onLoaderError(const QString &text)
{
    m_busy = false;
    emit DownloadErrorSignal(currentLesson(), text);
}

void FileStream::setPaused(bool paused)
{
    m_paused = paused;
    if (paused) {
        // The loader is not cancelled: it stops at its next step, which reads the flag.
        m_busy = false;
        emit DownloadingStateChangeSignal(1);
    } else {
        startNext();
    }
}

void FileStream::disposeLoader()
{
    if (!m_loader)
        return;
    M3u8Loader *loader = m_loader;
    m_loader = nullptr;
    disconnect(loader, nullptr, this, nullptr);
    loader->cancel();
    loader->deleteLater();
}

void FileStream::appendMission(const Course &course)
{
    AppState *state = appState();
    if (!state)
        return;
    Course *stored = findDownloadCourse(course.id);
    if (stored) {
        for (const Courseware &lesson : course.coursewares) {
            if (lesson.downloadState != Courseware::Queued)
                continue;
            if (Courseware *known = stored->findCourseware(lesson.id)) {
                if (known->downloadState != Courseware::Queued)
                    known->downloadState = Courseware::Queued; // a downloaded one comes again
            } else {
                stored->coursewares.append(lesson);
            }
        }
    } else {
        state->user.downloads.append(course);
        stored = &state->user.downloads.last();
    }
    stored->localPath = StoreFolders::childFolder(state->downloadDir, stored->id);
    if (!stored->localPath.isEmpty())
        QDir().mkpath(stored->localPath);
    for (Courseware &lesson : stored->coursewares)
        lesson.localPath = StoreFolders::childFolder(stored->localPath, lesson.id);

    saveIndex();
    startNext();
    emit AppendMissionSignal();
}

void FileStream::removeMissions(const QStringList &lessonIds)
{
    AppState *state = appState();
    if (!state)
        return;
    Courseware *running = currentLesson();
    bool currentRemoved = false;
    QStringList folders;
    for (Course &course : state->user.downloads) {
        for (Courseware &lesson : course.coursewares) {
            if (!lessonIds.contains(lesson.id))
                continue;
            currentRemoved = currentRemoved || &lesson == running;
            lesson.downloadState = Courseware::NotDownloaded;
            // Only the lesson's own folder, named from its ids, never a stored path.
            folders << StoreFolders::childFolder(
                StoreFolders::childFolder(state->downloadDir, course.id), lesson.id);
        }
    }
    if (currentRemoved) {
        const bool wasRunning = m_busy;
        disposeLoader();
        m_busy = false;
        setCurrent(nullptr);
        if (wasRunning)
            emit DownloadedSignal(running);
    }
    for (const QString &folder : qAsConst(folders)) {
        if (!folder.isEmpty())
            StoreFolders::deleteRecursively(folder, state->downloadDir);
    }
    saveIndex();
    if (currentRemoved)
        startNext();
}

void FileStream::clearAll()
{
    AppState *state = appState();
    if (!state)
        return;
    // The running download refers to records that are about to go.
    disposeLoader();
    m_busy = false;
    setCurrent(nullptr);

    QStringList folders;
    for (const Course &course : qAsConst(state->user.downloads)) {
        folders << StoreFolders::childFolder(state->downloadDir, course.id);
        folders << StoreFolders::childFolder(state->downloadDir, StoreFolders::legacyHash(course.title));
    }
    state->user.downloads.clear();
    saveIndex();

    // Only what the store made: the user may keep other files in the chosen folder.
    for (const QString &folder : qAsConst(folders)) {
        if (!folder.isEmpty())
            StoreFolders::deleteRecursively(folder, state->downloadDir);
    }
    if (!state->downloadDir.isEmpty())
        QDir().rmdir(state->downloadDir); // succeeds only when nothing else is left
}
