#include "api/LearningProgress.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/Log.h"
#include "model/Course.h"

LearningProgress::LearningProgress(APIHandler *api, QObject *parent)
    : QObject(parent)
    , m_api(api)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &LearningProgress::flush);
    if (!m_api)
        return;
    connect(m_api, &APIHandler::ProgressAnswered, this, &LearningProgress::onAnswered);
    // Any reply of the service (a sign-in, a course list) says it can be reached again.
    connect(m_api, &APIHandler::HttpResponseSignal, this, [this](int type, int result) {
        if (result == 1 && type != ReqLearnStatus && type != ReqWatchTime)
            flush();
    });
}

QString LearningProgress::userFolder() const
{
    const AppState *state = appState();
    return state ? state->userDataDir : QString();
}

bool LearningProgress::isWatched(const Courseware &lesson) { return lesson.stutas.toInt() > 0; }

int LearningProgress::pendingCount() const
{
    return LearningJournal(userFolder()).pending().size();
}

LastLesson LearningProgress::lastLesson(const QString &courseId) const
{
    return LearningJournal(userFolder()).lastLesson(courseId);
}

QString LearningProgress::lessonToContinue(const Course &course, const QString &lastLessonId)
{
    QList<const Courseware *> lessons;
    for (const Courseware &node : course.coursewares) {
        if (node.isLesson())
            lessons << &node;
    }
    for (int i = 0; i < lessons.size(); ++i) {
        if (lessons.at(i)->id != lastLessonId)
            continue;
        for (int j = i; j < lessons.size(); ++j) {
            if (!isWatched(*lessons.at(j)))
                return lessons.at(j)->id;
        }
        break;
    }
    for (const Courseware *lesson : qAsConst(lessons)) {
        if (!isWatched(*lesson) && lesson->watchtimes.toDouble() > 0)
            return lesson->id;
    }
    for (const Courseware *lesson : qAsConst(lessons)) {
        if (!isWatched(*lesson))
            return lesson->id;
    }
    return QString();
}

void LearningProgress::reportPosition(const Courseware &lesson, double seconds)
{
    if (lesson.courseId.isEmpty() || lesson.id.isEmpty())
        return;
    showInCourse(lesson, seconds, false);
    keep(lesson, ReqWatchTime, QString::number(qMax<qint64>(0, qint64(seconds))));
}

void LearningProgress::reportWatched(const Courseware &lesson, double length)
{
    if (lesson.courseId.isEmpty() || lesson.id.isEmpty())
        return;
    showInCourse(lesson, length, true);
    keep(lesson, ReqWatchTime, QString::number(qMax<qint64>(0, qint64(length))));
    keep(lesson, ReqLearnStatus, QString::fromLatin1(WatchedStatus));
}

void LearningProgress::keep(const Courseware &lesson, int type, const QString &value)
{
    LearningJournal journal(userFolder());
    ProgressReport report;
    report.type = type;
    report.courseId = lesson.courseId;
    report.lessonId = lesson.id;
    report.cType = lesson.cType;
    report.value = value;
    // The report on its way may belong to another user's journal: it is not replaced here.
    const qint64 inFlight = m_inFlightFolder == userFolder() ? m_inFlight : 0;
    if (!journal.append(report, inFlight)) {
        // Nowhere to keep it (nobody signed in, the folder not writable): sent directly.
        if (m_api && type == ReqWatchTime)
            m_api->editWatchTime(lesson.courseId, lesson.id, value, lesson.cType);
        else if (m_api)
            m_api->pushLearnStatus(lesson.courseId, lesson.id, value, lesson.cType);
    }
    journal.setLastLesson({lesson.courseId, lesson.id, lesson.cType, lesson.title});
    flush();
}

void LearningProgress::showInCourse(const Courseware &lesson, double seconds, bool watched)
{
    AppState *state = appState();
    if (!state)
        return;
    // Every course-list reply adds its own records, and the lessons live in the one the
    // detail filled: each record of the course follows.
    bool newlyWatched = false;
    QList<Course *> records;
    for (Course *course : qAsConst(state->courses)) {
        if (course->id != lesson.courseId)
            continue;
        records << course;
        if (Courseware *record = course->findCourseware(lesson.id)) {
            record->watchtimes = QString::number(qMax<qint64>(0, qint64(seconds)));
            if (watched && !isWatched(*record)) {
                record->stutas = QString::fromLatin1(WatchedStatus);
                newlyWatched = true;
            }
        }
    }
    if (records.isEmpty())
        return;
    for (Course *course : qAsConst(records))
        course->use += newlyWatched ? 1 : 0;
    emit progressChanged(lesson.courseId, lesson.id);
}

void LearningProgress::flush()
{
    if (!m_api || m_inFlight != 0)
        return;
    const QString folder = userFolder();
    const QList<ProgressReport> pending = LearningJournal(folder).pending();
    if (pending.isEmpty())
        return;
    m_inFlight = pending.first().id;
    m_inFlightFolder = folder;
    m_api->sendProgress(pending.first());
}

void LearningProgress::onAnswered(qint64 reportId, int outcome)
{
    if (reportId != m_inFlight)
        return;
    const QString folder = m_inFlightFolder;
    m_inFlight = 0;
    m_inFlightFolder.clear();
    if (outcome == ProgressReport::Accepted || outcome == ProgressReport::Refused) {
        // A refusal (a lesson the service does not know) would be refused again: it goes
        // too, or it would hold back everything after it.
        if (outcome == ProgressReport::Refused)
            writeLog(QStringLiteral("learning progress refused by the service, dropped: ")
                     + QString::number(reportId));
        LearningJournal journal(folder);
        if (!journal.remove(reportId))
            return; // sent again with the next report; the service takes a repeat as it is
        flush();
        return;
    }
    // Kept for later: the next reply of the service or the timer tries again; an expired
    // session waits for the sign-in.
    if (outcome == ProgressReport::Unreachable)
        m_retry.start();
}
