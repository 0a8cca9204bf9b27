#pragma once

#include "app/UpdateInfo.h"
#include "model/UserSession.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QSettings;
struct Course;

// The process-wide record of folders, the signed-in user, settings, courses,
// update information and service lines. Not copyable.
class AppState
{
public:
    AppState();
    ~AppState();
    AppState(const AppState &) = delete;
    AppState &operator=(const AppState &) = delete;

    // Opens the INI settings file; the object then lives as long as the record.
    void openSettings(const QString &path);
    // Takes a course from a course-list reply; the pointer stays valid for the whole run.
    Course *appendCourse(const Course &course);
    // Null for an empty id: that never matches.
    Course *findCourse(const QString &courseId) const;

    QString dataDir;
    QString userDir;
    QString userDataDir;
    QString userStoreFile;
    QString installerPath;
    QString downloadDir;
    QString logPath;
    UserSession user;
    std::unique_ptr<QSettings> settings;
    QList<Course *> courses; // owned, never removed during the run
    QString avatarPath;
    bool signedIn = false;
    std::unique_ptr<UpdateInfo> update = std::make_unique<UpdateInfo>();
    QStringList lines;
    int currentLine = 0;
    QDateTime linesResolvedAt;
    bool linesResolved = false;
};
