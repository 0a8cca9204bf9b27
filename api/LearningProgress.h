#pragma once

#include "api/LearningJournal.h"

#include <QObject>
#include <QString>
#include <QTimer>

class APIHandler;
struct Course;
struct Courseware;

// The student's learning progress on its way to the service. Every report is first written
// to the user's journal, then sent, one at a time and in order; a report leaves the journal
// only once the service has accepted it. What could not be sent (no network, the service
// down, the session expired) waits and goes with the next report, after the next reply the
// service gives, or at the latest after RetryMs. The course records of the app state follow
// at once, so the lesson tree and the course tiles show it before the service has it.
class LearningProgress : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryMs = 30000;
    // The learning status a lesson watched to its end is reported with; a lesson the service
    // has never been told about has status 0.
    static constexpr const char *WatchedStatus = "1";

    explicit LearningProgress(APIHandler *api, QObject *parent = nullptr);

    // Where playback of a lesson stands (seconds).
    void reportPosition(const Courseware &lesson, double seconds);
    // The lesson was watched to its end (its length in seconds).
    void reportWatched(const Courseware &lesson, double length);
    // Sends the next waiting report unless one is on its way.
    void flush();

    int pendingCount() const;
    LastLesson lastLesson(const QString &courseId) const;
    static bool isWatched(const Courseware &lesson);
    // The lesson "continue learning" opens in a course: the one last played here unless it
    // was watched to its end (then the next lesson not yet watched), else the first lesson
    // started and not finished, else the first not yet watched; empty when all were watched.
    static QString lessonToContinue(const Course &course, const QString &lastLessonId);

signals:
    // A lesson's status or watch time changed in the app state's course list.
    void progressChanged(const QString &courseId, const QString &lessonId);

private:
    void keep(const Courseware &lesson, int type, const QString &value);
    void showInCourse(const Courseware &lesson, double seconds, bool watched);
    void onAnswered(qint64 reportId, int outcome);
    QString userFolder() const;

    APIHandler *m_api = nullptr;
    qint64 m_inFlight = 0;
    QString m_inFlightFolder; // the journal the report on its way came from
    QTimer m_retry;
};
