#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// One piece of learning progress for the service: a lesson's watch time (request type 11) or
// its learning status (type 10). Named by ids only.
struct ProgressReport
{
    enum Outcome {
        Accepted = 0,
        Refused = 1,
        SessionExpired = 2,
        Unreachable = 3
    };

    qint64 id = 0; // given by the journal, growing
    int type = 0;
    QString courseId;
    QString lessonId;
    QString cType;
    QString value; // whole seconds, or the status
};

// The lesson last played in a course, for "continue learning".
struct LastLesson
{
    QString courseId;
    QString lessonId;
    QString cType;
    QString title;
    bool isValid() const { return !lessonId.isEmpty(); }
};

// One user's learning progress that the service has not accepted yet, in the order it was
// made, and the lesson last played in each course: "learning.json" in the user's folder,
// replaced as a whole on every change so a crash leaves the old or the new journal.
class LearningJournal
{
public:
    // folder: the signed-in user's folder; empty means nobody to keep progress for.
    explicit LearningJournal(const QString &folder);

    QString filePath() const { return m_path; }
    QList<ProgressReport> pending() const;
    // Appends the report and gives it its id (0 when it could not be written). A watch time
    // that follows a waiting watch time of the same lesson replaces it, since only the
    // latest position counts, unless that one is on its way already (inFlightId).
    qint64 append(const ProgressReport &report, qint64 inFlightId = 0);
    // Drops a report the service has answered; true when the journal no longer holds it.
    bool remove(qint64 id);

    bool setLastLesson(const LastLesson &lesson);
    LastLesson lastLesson(const QString &courseId) const;

private:
    QJsonObject read() const;
    bool write(const QJsonObject &journal) const;

    QString m_path;
};
