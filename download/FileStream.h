#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

class APIHandler;
class M3u8Loader;
struct Course;
struct Courseware;
struct UserSession;

// The download manager: the rules of the download list, the local store layout, the
// enciphered download index of the signed-in user, and the queue that fetches the queued
// lessons one at a time through an M3u8Loader.
class FileStream : public QObject
{
    Q_OBJECT

public:
    static constexpr int LessonAddressType = 9; // the download's lesson address request
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
    // Starts the next queued lesson unless one is running or the queue is paused.
    void startNext();

    // The lesson being fetched or last picked; null when none.
    Courseware *currentLesson();
    bool isBusy() const { return m_busy; }

    // Writes the signed-in user's record, enciphered, over the previous index in one step.
    void saveIndex();
    // Start-up: reads the last user's record and, when it is recent enough (stored version
    // 2.0.0.0 or later, signed in under 7 days ago), signs that user in again without
    // asking. True in that case.
    bool loadIndex();
    // Sign-in: takes the download list from the signed-in user's own store, so that a
    // list held in memory for someone else is never written into this user's store.
    void loadUserStore();
    // Sets every folder path of the download list and moves lessons of the older layout.
    void relocate();

    Course *findDownloadCourse(const QString &courseId);
    Courseware *findDownloadLesson(const QString &courseId, const QString &lessonId);

    // The enciphered index of a user store file ("kecheng.zg" + "c").
    static QString indexFileFor(const QString &userStoreFile);
    // Reads a user record from an enciphered index; false when the file is missing or empty.
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

private:
    void migrateLesson(const Course &course, const Courseware &lesson);
    Courseware *pickNextMission();
    void onHttpResponse(int type, int result, const QVariant &info);
    void retryAddress(const QString &courseId, const QString &lessonId);
    void onLoaderFinished(bool isCancel);
    void onLoaderProgress(double progress, double speed);
    void onLoaderError(const QString &text);
    void setCurrent(Courseware *lesson, const QString &courseId = QString());
    // Stops and drops the loader without any of its signals reaching the queue.
    void disposeLoader();

    M3u8Loader *m_loader = nullptr;
    Courseware *m_current = nullptr;
    bool m_paused = false;
    bool m_busy = false;
    int m_addressRetries = 0;
    bool m_ranMission = false;

    // Who current is, so that it is found again after the list changed under it.
    QString m_currentCourseId;
    QString m_currentLessonId;
    // Whose download list is in memory: a sign-in of that same user needs no second read.
    QString m_listOwner;
    QPointer<APIHandler> m_api;
};
