#pragma once

#include <QObject>
#include <QString>

struct Course;
struct Courseware;
struct UserSession;

// The download manager: the rules of the download list, the local store layout and
// the enciphered download index of the signed-in user.
class FileStream : public QObject
{
    Q_OBJECT

public:
    explicit FileStream(QObject *parent = nullptr);
    ~FileStream() override;

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

private:
    void migrateLesson(const Course &course, const Courseware &lesson);
};
