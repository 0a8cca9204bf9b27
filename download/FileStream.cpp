#include "download/FileStream.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/Log.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/AesCipher.h"
#include "download/IndexWriter.h"
#include "download/M3u8Loader.h"
#include "download/StoreFolders.h"
#include "download/StoreMover.h"
#include "download/UserIndex.h"
#include "model/Course.h"
#include "model/M3u8Context.h"
#include "model/UserSession.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <functional>

namespace {

const char *const kAddressFailed = "获取下载地址失败";
// A lesson whose ids cannot name a folder of the store is never downloaded.
const char *const kInvalidId = "课程或课件编号无效，无法下载";
const char *const kNoDownloadFolder = "下载目录不可用，请在设置中选择下载目录";
const char *const kMoveFailed =
    "已下载的课程无法移到新目录（磁盘空间不足或没有写入权限），下载目录未更改";

// The store file of a user folder under the app state's user folder.
QString storeFileIn(const AppState &state, const QString &userFolder)
{
    return state.userDir + QLatin1Char('/') + userFolder + QLatin1Char('/')
           + AppInfo::userStoreName();
}

QString lessonKey(const QString &courseId, const QString &lessonId)
{
    return courseId + QLatin1Char('/') + lessonId;
}

// Runs the work on a thread of its own while this one goes on handling events other than
// the user's; a quit of the program meanwhile still waits for the work to end.
bool runAside(const std::function<bool()> &work)
{
    bool result = false;
    QThread *thread = QThread::create([&result, &work] { result = work(); });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
    delete thread;
    return result;
}

} // namespace

FileStream::FileStream(QObject *parent)
    : QObject(parent)
    , m_writer(new IndexWriter(this))
{
    connect(m_writer, &IndexWriter::FailedSignal, this, &FileStream::IndexSaveFailedSignal);
    if (APIHandler *api = apiHandler())
        attachApiHandler(api);
}

FileStream::~FileStream() = default;

QString FileStream::indexFileFor(const QString &userStoreFile)
{
    return UserIndex::fileFor(userStoreFile);
}

void FileStream::adoptStore()
{
    const AppState *state = appState();
    if (m_storeFile.isEmpty() && state && !state->userStoreFile.isEmpty()) {
        m_storeFile = state->userStoreFile;
        m_listOwner = state->user.loginName;
    }
}

bool FileStream::saveIndex()
{
    AppState *state = appState();
    if (!state || !localCipher())
        return false;
    adoptStore();
    if (m_storeFile.isEmpty())
        return false; // nobody's list is open
    UserSession record = state->user;
    record.password.clear();
    // The owner is who the store belongs to, whatever name the record was given meanwhile.
    if (!m_listOwner.isEmpty())
        record.loginName = m_listOwner;
    return m_writer->write(m_storeFile, record);
}

bool FileStream::readIndexFile(const QString &indexFile, UserSession &user)
{
    return UserIndex::read(indexFile, user);
}

bool FileStream::loadIndex()
{
    AppState *state = appState();
    if (!state)
        return false;
    takeBackInterruptedMove();
    const QString lastUser = Settings::text(state->settings.get(), SettingKeys::LastUser);
    if (lastUser.isEmpty())
        return false;
    const QString folder =
        state->userDir + QLatin1Char('/') + StoreFolders::userFolderName(lastUser);
    if (!QFileInfo(folder).isDir())
        return false;

    const QString storeFile = folder + QLatin1Char('/') + AppInfo::userStoreName();
    // A plain copy can only be left by a save or load that never finished.
    QFile::remove(storeFile);
    if (!readIndexFile(indexFileFor(storeFile), state->user))
        return false;
    // The folder names the owner; an older version could store another name in the record.
    state->user.loginName = lastUser;

    if (!UserIndex::signsInAgain(state->user)) {
        // Nobody is signed in: the list waits for its owner, as after a sign-out.
        const bool autoStart = Settings::isOn(state->settings.get(), SettingKeys::AutoDownload);
        m_putAway.insert(lastUser, {state->user.downloads, autoStart});
        state->user.downloads.clear();
        return false;
    }
    m_listOwner = lastUser;
    m_storeFile = storeFile;
    if (APIHandler *api = apiHandler())
        api->finishSignIn();
    return true;
}

std::optional<bool> FileStream::takeUserList()
{
    AppState *state = appState();
    const QString owner = state->user.loginName;
    if (m_storeFile == state->userStoreFile && m_listOwner == owner)
        return std::nullopt; // already this user's: restored at start-up or open since
    // After another user's list the queue starts over as at start-up; the first sign-in of
    // a run finds it as start-up left it.
    const bool restart = !m_listOwner.isEmpty() || m_closed;
    if (!m_listOwner.isEmpty())
        stopQueue(); // whatever ran belongs to the previous list
    m_closed = false;
    m_errors.clear();
    m_listOwner = owner;
    m_storeFile = state->userStoreFile;
    const std::optional<bool> autoStart =
        restart
            ? std::optional<bool>(Settings::isOn(state->settings.get(), SettingKeys::AutoDownload))
            : std::nullopt;
    if (m_putAway.contains(owner)) {
        const PutAway left = m_putAway.take(owner);
        state->user.downloads = left.downloads;
        return left.running;
    }
    // Not written yet, or else as stored: the store in this user's folder is theirs.
    UserSession stored;
    if (m_writer->isWaiting(m_storeFile))
        state->user.downloads = m_writer->waiting(m_storeFile).downloads;
    else if (readIndexFile(indexFileFor(m_storeFile), stored))
        state->user.downloads = stored.downloads;
    else
        state->user.downloads.clear();
    return autoStart;
}

void FileStream::openUserStore()
{
    AppState *state = appState();
    if (!state || state->userStoreFile.isEmpty())
        return;
    const std::optional<bool> run = takeUserList();
    relocate();
    if (run)
        setPaused(!*run);
}

void FileStream::closeUserStore()
{
    AppState *state = appState();
    if (!state)
        return;
    adoptStore();
    const bool running = isRunning();
    stopQueue();
    m_paused = true;
    emit DownloadingStateChangeSignal(1);
    if (m_storeFile.isEmpty())
        return;
    m_closed = true;
    saveIndex();
    if (!m_listOwner.isEmpty())
        m_putAway.insert(m_listOwner, {state->user.downloads, running});
    state->user.downloads.clear();
    m_errors.clear();
    m_listOwner.clear();
    m_storeFile.clear();
    state->userStoreFile.clear();
}

void FileStream::stopQueue()
{
    disposeLoader();
    m_busy = false;
    m_stoppedByError = false;
    m_ranMission = false;
    setCurrent(nullptr);
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
            lesson.legacyPath = StoreFolders::childFolder(course.legacyPath,
                                                          StoreFolders::legacyHash(lesson.title));
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
    const QString legacyPlaylist =
        lesson.legacyPath + QLatin1Char('/') + QLatin1String(StoreFolders::playlistFileName);
    if (cipher && QFileInfo::exists(legacyPlaylist)) {
        QByteArray playlist = cipher->decryptFileToBytes(legacyPlaylist);
        if (!playlist.isEmpty()) {
            // The stored playlist names its segments and key by absolute path.
            playlist.replace(lesson.legacyPath.toUtf8(), lesson.localPath.toUtf8());
            // Drop the old padding so it is not enciphered into the text.
            while (playlist.endsWith('\0'))
                playlist.chop(1);
            cipher->encryptBytesToFile(playlist,
                                       lesson.localPath + QLatin1Char('/')
                                           + QLatin1String(StoreFolders::playlistFileName));
            QFile::remove(legacyPlaylist);
        }
    }

    QDir legacyDir(lesson.legacyPath);
    const QStringList files =
        legacyDir.entryList(QStringList() << QStringLiteral("*.*"), QDir::Files);
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

QString FileStream::lessonError(const QString &courseId, const QString &lessonId) const
{
    return m_errors.value(lessonKey(courseId, lessonId));
}

void FileStream::startNext() { advance(false); }

void FileStream::advance(bool afterCompletion)
{
    if (m_busy || m_paused)
        return;
    Courseware *lesson = pickNextMission();
    if (lesson) {
        m_stoppedByError = false;
        if (m_api)
            m_api->getKeysAndUrl(lesson, ReqDownloadKeys);
        emit DownloadingStateChangeSignal(0);
        return;
    }
    qDebug() << "no mission";
    if (!m_ranMission)
        return;
    m_ranMission = false;
    // A queue emptied by a cancellation or a deletion has not completed anything.
    if (!afterCompletion)
        return;
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
    m_progress = 0;
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
            stopAfterError(lesson, QString::fromUtf8(kNoDownloadFolder));
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
        m_errors.remove(lessonKey(course->id, lesson->id)); // tried again
        return lesson;
    }
}

void FileStream::onHttpResponse(int type, int result, const QVariant &info)
{
    if (type != ReqDownloadKeys)
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
        connect(loader, &M3u8Loader::ProgressSignal, this,
                [this, loader](double progress, double speed) {
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
        stopAfterError(lesson, QString::fromUtf8(kAddressFailed));
        return;
    }
    ++m_addressRetries;
    QTimer::singleShot(AddressRetryDelayMs, this,
                       [this, courseId = m_currentCourseId, lessonId = m_currentLessonId] {
                           retryAddress(courseId, lessonId);
                       });
}

void FileStream::retryAddress(const QString &courseId, const QString &lessonId)
{
    // Only while the same lesson still waits for its address.
    Courseware *lesson = currentLesson();
    if (m_busy || m_paused || !lesson || courseId != m_currentCourseId
        || lessonId != m_currentLessonId || lesson->downloadState != Courseware::Queued || !m_api)
        return;
    m_api->getKeysAndUrl(lesson, ReqDownloadKeys);
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
    advance(!isCancel);
}

void FileStream::onLoaderProgress(double progress, double speed)
{
    m_progress = progress;
    if (Courseware *lesson = currentLesson())
        emit DownloadingProgressSignal(lesson, progress, speed);
}

void FileStream::onLoaderError(const QString &text)
{
    m_busy = false;
    stopAfterError(currentLesson(), text);
}

void FileStream::stopAfterError(Courseware *lesson, const QString &text)
{
    // The lesson keeps its text until it is tried again, and the queue says it stands still
    // until it is started again (by the button, a tile or a new download).
    if (lesson)
        m_errors.insert(lessonKey(m_currentCourseId, lesson->id), text);
    m_stoppedByError = true;
    emit DownloadErrorSignal(lesson, text);
    emit DownloadingStateChangeSignal(1);
}

void FileStream::setPaused(bool paused)
{
    m_paused = paused;
    m_stoppedByError = false;
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
    const QSet<QString> shared = lessonsOfOthers();
    for (Course &course : state->user.downloads) {
        for (Courseware &lesson : course.coursewares) {
            if (!lessonIds.contains(lesson.id))
                continue;
            currentRemoved = currentRemoved || &lesson == running;
            lesson.downloadState = Courseware::NotDownloaded;
            m_errors.remove(lessonKey(course.id, lesson.id));
            // Only the lesson's own folder, named from its ids, never a stored path; and not
            // while another user of this computer still has the lesson.
            if (!shared.contains(lessonKey(course.id, lesson.id)))
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
        advance(false);
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
    m_errors.clear();

    QStringList folders;
    const QSet<QString> shared = lessonsOfOthers();
    for (const Course &course : qAsConst(state->user.downloads)) {
        const QString courseFolder = StoreFolders::childFolder(state->downloadDir, course.id);
        bool sharedCourse = false;
        for (const QString &key : shared)
            sharedCourse = sharedCourse || key.startsWith(course.id + QLatin1Char('/'));
        if (!sharedCourse) {
            folders << courseFolder;
        } else {
            // Another user keeps lessons of this course: only this user's lessons go.
            for (const Courseware &lesson : course.coursewares) {
                if (!shared.contains(lessonKey(course.id, lesson.id)))
                    folders << StoreFolders::childFolder(courseFolder, lesson.id);
            }
        }
        folders << StoreFolders::childFolder(state->downloadDir,
                                             StoreFolders::legacyHash(course.title));
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
    emit DownloadsClearedSignal();
}

// ---- Lessons of every user, and the move to another download folder ----

QList<QPair<QString, QString>> FileStream::lessonsOfEveryone() const
{
    QList<QList<Course>> lists;
    if (const AppState *state = appState()) {
        lists << state->user.downloads;
        for (const PutAway &left : m_putAway)
            lists << left.downloads;
        for (const UserSession &record : m_writer->allWaiting())
            lists << record.downloads;
        const QStringList users = QDir(state->userDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &user : users) {
            UserSession stored;
            if (readIndexFile(indexFileFor(storeFileIn(*state, user)), stored))
                lists << stored.downloads;
        }
    }
    QList<QPair<QString, QString>> lessons;
    for (const QList<Course> &list : qAsConst(lists)) {
        for (const Course &course : list) {
            for (const Courseware &lesson : course.coursewares) {
                const auto pair = qMakePair(course.id, lesson.id);
                if (!lessons.contains(pair))
                    lessons << pair;
            }
        }
    }
    return lessons;
}

QSet<QString> FileStream::lessonsOfOthers() const
{
    QSet<QString> lessons;
    const AppState *state = appState();
    if (!state)
        return lessons;
    const auto add = [&lessons](const QList<Course> &list) {
        for (const Course &course : list) {
            for (const Courseware &lesson : course.coursewares) {
                if (lesson.downloadState != Courseware::NotDownloaded)
                    lessons.insert(lessonKey(course.id, lesson.id));
            }
        }
    };
    for (auto it = m_putAway.cbegin(); it != m_putAway.cend(); ++it) {
        if (it.key() != m_listOwner)
            add(it.value().downloads);
    }
    const QStringList users = QDir(state->userDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &user : users) {
        const QString storeFile = storeFileIn(*state, user);
        if (m_putAway.contains(user) || QFileInfo(storeFile) == QFileInfo(m_storeFile))
            continue;
        UserSession stored;
        if (m_writer->isWaiting(storeFile))
            add(m_writer->waiting(storeFile).downloads);
        else if (readIndexFile(indexFileFor(storeFile), stored))
            add(stored.downloads);
    }
    return lessons;
}

bool FileStream::changeDownloadDir(const QString &folder, QString *error)
{
    AppState *state = appState();
    AesCipher *cipher = localCipher();
    if (!state || !cipher)
        return false;
    const QString previous = state->downloadDir;
    QList<StoreMover::Lesson> lessons;
    if (!previous.isEmpty()
        && QDir::cleanPath(QFileInfo(previous).absoluteFilePath())
               != QDir::cleanPath(QFileInfo(folder).absoluteFilePath())) {
        for (const auto &lesson : lessonsOfEveryone())
            lessons << StoreMover::Lesson{lesson.first, lesson.second};
    }
    if (lessons.isEmpty()) {
        commitDownloadDir(folder);
        return true;
    }

    // Nothing may write into a lesson folder while it moves.
    const bool wasPaused = m_paused;
    stopQueue();
    m_paused = true;
    emit DownloadingStateChangeSignal(1);
    QSettings *settings = state->settings.get();
    Settings::setText(settings, SettingKeys::MovingTo, folder);
    if (settings)
        settings->sync();
    StoreMover mover(previous, folder, lessons, *cipher);
    const bool placed = runAside([&mover] { return mover.place(); });
    if (placed)
        commitDownloadDir(folder);
    if (settings) {
        settings->remove(QLatin1String(SettingKeys::MovingTo));
        settings->sync();
    }
    if (placed) {
        runAside([&mover] {
            mover.removeOriginals();
            return true;
        });
    } else {
        writeLog(QStringLiteral("download folder not changed: ") + mover.failure());
        if (error)
            *error = QString::fromUtf8(kMoveFailed);
    }
    setPaused(wasPaused);
    return placed;
}

void FileStream::takeBackInterruptedMove()
{
    AppState *state = appState();
    AesCipher *cipher = localCipher();
    QSettings *settings = state ? state->settings.get() : nullptr;
    const QString target = Settings::text(settings, SettingKeys::MovingTo);
    if (target.isEmpty() || !cipher)
        return;
    bool done = true;
    if (!state->downloadDir.isEmpty() && state->downloadDir != target) {
        QList<StoreMover::Lesson> lessons;
        for (const auto &lesson : lessonsOfEveryone())
            lessons << StoreMover::Lesson{lesson.first, lesson.second};
        StoreMover mover(state->downloadDir, target, lessons, *cipher);
        done = mover.takeBack();
        if (!done)
            writeLog(QStringLiteral("lessons of an interrupted move not taken back: ")
                     + mover.failure());
    }
    // Tried again at the next start until every lesson is back.
    if (done) {
        settings->remove(QLatin1String(SettingKeys::MovingTo));
        settings->sync();
    }
}

void FileStream::commitDownloadDir(const QString &folder)
{
    AppState *state = appState();
    Settings::setText(state->settings.get(), SettingKeys::VideoPath, folder);
    // On disk before the old copies go, so that a crash cannot point back at them.
    if (state->settings)
        state->settings->sync();
    state->downloadDir = folder;
    if (!m_storeFile.isEmpty() || !state->userStoreFile.isEmpty())
        relocate();
}
