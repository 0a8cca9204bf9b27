#include "api/LearningJournal.h"

#include "api/RequestType.h"
#include "app/Log.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

const char *const kFileName = "learning.json";
const char *const kPending = "pending";
const char *const kNextId = "next";
const char *const kLast = "last";

QJsonObject toJson(const ProgressReport &report)
{
    return QJsonObject{
        {QStringLiteral("id"), double(report.id)},   {QStringLiteral("type"), report.type},
        {QStringLiteral("course"), report.courseId}, {QStringLiteral("lesson"), report.lessonId},
        {QStringLiteral("cType"), report.cType},     {QStringLiteral("value"), report.value}};
}

ProgressReport fromJson(const QJsonObject &object)
{
    ProgressReport report;
    report.id = qint64(object.value(QStringLiteral("id")).toDouble());
    report.type = object.value(QStringLiteral("type")).toInt();
    report.courseId = object.value(QStringLiteral("course")).toString();
    report.lessonId = object.value(QStringLiteral("lesson")).toString();
    report.cType = object.value(QStringLiteral("cType")).toString();
    report.value = object.value(QStringLiteral("value")).toString();
    return report;
}

} // namespace

LearningJournal::LearningJournal(const QString &folder)
    : m_path(folder.isEmpty() ? QString() : folder + QLatin1Char('/') + QLatin1String(kFileName))
{
}

QJsonObject LearningJournal::read() const
{
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool LearningJournal::write(const QJsonObject &journal) const
{
    if (m_path.isEmpty())
        return false;
    QSaveFile file(m_path);
    const QByteArray bytes = QJsonDocument(journal).toJson(QJsonDocument::Compact);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    writeLog(QStringLiteral("learning progress not saved: ") + m_path + QStringLiteral(": ")
             + file.errorString());
    return false;
}

QList<ProgressReport> LearningJournal::pending() const
{
    QList<ProgressReport> reports;
    for (const QJsonValue &value : read().value(QLatin1String(kPending)).toArray())
        reports << fromJson(value.toObject());
    return reports;
}

qint64 LearningJournal::append(const ProgressReport &report, qint64 inFlightId)
{
    QJsonObject journal = read();
    QJsonArray pending = journal.value(QLatin1String(kPending)).toArray();
    const qint64 id = qMax<qint64>(1, qint64(journal.value(QLatin1String(kNextId)).toDouble()));
    ProgressReport entry = report;
    entry.id = id;
    const ProgressReport last =
        pending.isEmpty() ? ProgressReport() : fromJson(pending.last().toObject());
    if (report.type == ReqWatchTime && last.type == ReqWatchTime && last.id != inFlightId
        && last.courseId == report.courseId && last.lessonId == report.lessonId)
        pending.removeLast();
    pending.append(toJson(entry));
    journal.insert(QLatin1String(kPending), pending);
    journal.insert(QLatin1String(kNextId), double(id + 1));
    return write(journal) ? id : 0;
}

bool LearningJournal::remove(qint64 id)
{
    QJsonObject journal = read();
    QJsonArray pending = journal.value(QLatin1String(kPending)).toArray();
    for (int i = 0; i < pending.size(); ++i) {
        if (fromJson(pending.at(i).toObject()).id == id) {
            pending.removeAt(i);
            journal.insert(QLatin1String(kPending), pending);
            return write(journal);
        }
    }
    return true;
}

bool LearningJournal::setLastLesson(const LastLesson &lesson)
{
    QJsonObject journal = read();
    QJsonObject last = journal.value(QLatin1String(kLast)).toObject();
    last.insert(lesson.courseId, QJsonObject{{QStringLiteral("lesson"), lesson.lessonId},
                                             {QStringLiteral("cType"), lesson.cType},
                                             {QStringLiteral("title"), lesson.title}});
    journal.insert(QLatin1String(kLast), last);
    return write(journal);
}

LastLesson LearningJournal::lastLesson(const QString &courseId) const
{
    const QJsonObject entry =
        read().value(QLatin1String(kLast)).toObject().value(courseId).toObject();
    LastLesson lesson;
    lesson.lessonId = entry.value(QStringLiteral("lesson")).toString();
    if (lesson.lessonId.isEmpty())
        return LastLesson();
    lesson.courseId = courseId;
    lesson.cType = entry.value(QStringLiteral("cType")).toString();
    lesson.title = entry.value(QStringLiteral("title")).toString();
    return lesson;
}
