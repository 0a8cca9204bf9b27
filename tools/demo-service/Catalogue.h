#pragma once

#include "MediaMaker.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct Account
{
    QString username;
    QString password;
    QString uid;
    QString nickname;
    QString email;
    QStringList courseIds;
};

// One node of a course's lesson tree: "zhang" chapter, "jie" section or "kejian" lesson.
struct LessonNode
{
    QString id;
    QString type;
    QString title;
    int number = 1;
    int cType = 0;
    QString cTime;
    QString clip; // lessons only: the media clip it plays
};

struct CourseEntry
{
    QString id;
    QString title;
    QString cover; // picture file name
    QString endtime;
    QString addTime;
    bool expired = false;
    QString endInfo;
    QList<LessonNode> nodes;
};

// The fixed demo content: accounts, courses with their lesson trees, and the clips they play.
class Catalogue
{
public:
    static constexpr const char *demoUsername = "13800138000";
    static constexpr const char *demoPassword = "lumra2026";

    // demoCourses above 3 gives the demo account that many courses in all: the extra ones
    // (ids from 201) share one short lesson tree, every fifth has ended, and some carry
    // titles too long for one tile line.
    explicit Catalogue(int demoLessonSeconds, int demoCourses = 3);

    const QList<Account> &accounts() const { return m_accounts; }
    const QList<CourseEntry> &courses() const { return m_courses; }
    const CourseEntry *course(const QString &id) const;
    const LessonNode *lesson(const QString &courseId, const QString &lessonId) const;
    const LessonNode *lessonById(const QString &lessonId) const;

    // Clips made before the service answers, and the long one made in the background.
    const QList<ClipSpec> &quickClips() const { return m_quickClips; }
    const ClipSpec &demoClip() const { return m_demoClip; }

    // The "keys" text of a lesson; deliberately holds "+", "/" and "=".
    static QString keysText(const QString &lessonId);
    // What the client sends back as cookie "keys": the UTF-8 bytes percent-encoded.
    static QByteArray cookieValue(const QString &lessonId);

private:
    void addGeneratedCourses(int count, const ClipSpec &clip);

    QList<Account> m_accounts;
    QList<CourseEntry> m_courses;
    QList<ClipSpec> m_quickClips;
    ClipSpec m_demoClip;
};
