#include "player/WatchPositionStore.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace {
const char *const kFileName = "watchpos.json";
}

WatchPositionStore::WatchPositionStore(const QString &folder)
    : m_path(folder.isEmpty() ? QString() : folder + QLatin1Char('/') + QLatin1String(kFileName))
{
}

QString WatchPositionStore::keyOf(const QString &courseId, const QString &lessonId)
{
    return courseId + QLatin1Char('/') + lessonId;
}

QJsonObject WatchPositionStore::read() const
{
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool WatchPositionStore::write(const QJsonObject &positions) const
{
    if (m_path.isEmpty())
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(positions).toJson(QJsonDocument::Compact));
    return file.commit();
}

double WatchPositionStore::position(const QString &courseId, const QString &lessonId) const
{
    const double seconds = read().value(keyOf(courseId, lessonId)).toDouble();
    return seconds > 0 ? seconds : 0;
}

bool WatchPositionStore::setPosition(const QString &courseId, const QString &lessonId,
                                     double seconds)
{
    QJsonObject positions = read();
    positions.insert(keyOf(courseId, lessonId), qMax(0.0, seconds));
    return write(positions);
}

bool WatchPositionStore::forget(const QString &courseId, const QString &lessonId)
{
    QJsonObject positions = read();
    if (!positions.contains(keyOf(courseId, lessonId)))
        return true;
    positions.remove(keyOf(courseId, lessonId));
    return write(positions);
}

double WatchPositionStore::resumePosition(double stored, double length)
{
    if (stored <= 0 || length <= 0 || stored >= length - EndMarginSeconds)
        return 0;
    return stored;
}
