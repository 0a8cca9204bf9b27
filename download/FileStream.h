#pragma once

#include "model/UserSession.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class APIHandler;
class IndexWriter;
class M3u8Loader;
struct Course;
struct Courseware;

// The download manager: the rules of the download list, the local store layout, the
// enciphered download index of the signed-in user, and the queue that fetches the queued
// lessons one at a time through an M3u8Loader.
//
// A list belongs to the user folder its index lives in, never to a name typed at the sign-in
// form: it is opened at sign-in, put away at sign-out (queue stopped, index written, list kept
// in memory for the owner's return), and each save goes to its owner's index only. An index
// that cannot be written is kept in memory and written again (IndexWriter).
class FileStream : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxAddressRetries = 3;
    static constexpr int AddressRetryDelayMs = 1000;

    // Listens to the registered service client, if there is one yet (see attachApiHandler).
    explicit FileStream(QObject *parent = nullptr);
    ~FileStream() override;

    // Listens to this client's lesson address replies from now on.
    void attachApiHandler(APIHandler *api);

    // Merges a course whose chosen lessons are queued (downloadState 1) into the list,
    // saves it and starts the queue.
    void appendMission(const Course &course);
    // Stops, resets and deletes the files of these lessons; they stay in the list.
    void removeMissions(const QStringList &lessonIds);
    // Stops the queue, empties the list and deletes what the store made, and nothing else.
    void clearAll();
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    // Neither paused nor stopped by a failed lesson: lessons are being fetched or will be.
    bool isRunning() const { return !m_paused && !m_stoppedByError; }
    // Starts the next queued lesson unless one is running or the queue is paused.
    void startNext();

    // The lesson being fetched or last picked; null when none.
    Courseware *currentLesson();
    bool isBusy() const { return m_busy; }
    // The running lesson's last progress fraction (0 to 1).
    double currentProgress() const { return m_progress; }
    // The error of a lesson that failed, kept until it is tried again; empty otherwise.
    QString lessonError(const QString &courseId, const QString &lessonId) const;

    // Writes the record of the list's owner, enciphered, over the owner's index in one step.
    // False when it could not be written; it is then written again later.
    bool saveIndex();
    // Start-up: puts back the lessons of a download folder move that a crash ended half-way,
    // reads the last user's record and, when it is recent enough (stored version 2.0.0.0 or
    // later, signed in under 7 days ago), signs that user in again without asking. True in
    // that case.
    bool loadIndex();
    // Sign-in (the service confirmed the user now in the app state): takes that user's list,
    // as they left it in this run or else from their own store, sets its paths, and lets the
    // queue run as that user left it (or as the auto-start setting says).
    void openUserStore();
    // Sign-out: stops the queue, writes the list to its owner's index and puts it away, so
    // that nobody at the sign-in form sees or continues it.
    void closeUserStore();
    // Sets every folder path of the download list and moves lessons of the older layout.
    void relocate();
    // Moves the lessons of every user of this computer into a new download folder and uses
    // it from then on (setting and app state). Runs the move on a worker thread while events
    // are processed, user input excepted. False, with every lesson left where it was and a
    // text for the user, when the lessons cannot all be moved.
    bool changeDownloadDir(const QString &folder, QString *error);

    Course *findDownloadCourse(const QString &courseId);
    Courseware *findDownloadLesson(const QString &courseId, const QString &lessonId);

    // UserIndex::fileFor and UserIndex::read, by their older names.
    static QString indexFileFor(const QString &userStoreFile);
    static bool readIndexFile(const QString &indexFile, UserSession &user);

signals:
    void DownloadedSignal(Courseware *cw);
    void DownloadingStateChangeSignal(int state);
    void DownloadingProgressSignal(Courseware *cw, double percent, double speed);
    void DownloadErrorSignal(Courseware *cw, QString error);
    void AppendMissionSignal();
    // The queue ran empty after downloading: the main window shows its tray message, or
    // starts the shutdown countdown, as the settings ask.
    void ShowAllDoneTipSignal();
    void ShowShutdownSignal();
    // clearAll emptied the list.
    void DownloadsClearedSignal();
    // An index could not be written (once until writing works again): the text for the user.
    void IndexSaveFailedSignal(const QString &text);

private:
    // A signed-out user's list, as they left it, until they sign in again in this run.
    struct PutAway
    {
        QList<Course> downloads;
        bool running = false;
    };

    void migrateLesson(const Course &course, const Courseware &lesson);
    // Starts the next lesson; when none is left the notices follow only a lesson that has
    // just finished downloading.
    void advance(bool afterCompletion);
    Courseware *pickNextMission();
    void onHttpResponse(int type, int result, const QVariant &info);
    void retryAddress(const QString &courseId, const QString &lessonId);
    void onLoaderFinished(bool isCancel);
    void onLoaderProgress(double progress, double speed);
    void onLoaderError(const QString &text);
    void stopAfterError(Courseware *lesson, const QString &text);
    void setCurrent(Courseware *lesson, const QString &courseId = QString());
    // Stops and drops the loader without any of its signals reaching the queue.
    void disposeLoader();
    void stopQueue();
    // Makes the signed-in user's list the one in memory: as they left it in this run, not
    // written yet, or from their store. Whether the queue should run now, when that changes.
    std::optional<bool> takeUserList();
    // A state set up without a sign-in (tools, tests) saves to the store file it names.
    void adoptStore();
    // Lessons listed (not deleted) in the stores of other users than the list's owner, as
    // "course id/lesson id": their folders are shared and stay when this user deletes.
    QSet<QString> lessonsOfOthers() const;
    // Every course id/lesson id pair of every store of this computer.
    QList<QPair<QString, QString>> lessonsOfEveryone() const;
    void commitDownloadDir(const QString &folder);
    void takeBackInterruptedMove();

    M3u8Loader *m_loader = nullptr;
    Courseware *m_current = nullptr;
    bool m_paused = false;
    bool m_busy = false;
    int m_addressRetries = 0;
    bool m_ranMission = false;
    bool m_stoppedByError = false;
    double m_progress = 0;

    // Who current is, so that it is found again after the list changed under it.
    QString m_currentCourseId;
    QString m_currentLessonId;
    // Whose download list is in memory (the confirmed account name) and its store file.
    QString m_listOwner;
    QString m_storeFile;
    QHash<QString, PutAway> m_putAway; // by account name
    IndexWriter *m_writer = nullptr;
    bool m_closed = false; // a list was put away at a sign-out since the last one was opened
    QHash<QString, QString> m_errors; // by "course id/lesson id"
    QPointer<APIHandler> m_api;
};
