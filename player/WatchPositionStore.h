#pragma once

#include <QJsonObject>
#include <QString>

// Where each lesson was left, for one user: a small JSON file in the user's folder,
// replaced as a whole on every write so a crash never leaves half of it.
class WatchPositionStore
{
public:
    static constexpr double EndMarginSeconds = 10;

    // folder: the signed-in user's folder; empty means nobody to remember for.
    explicit WatchPositionStore(const QString &folder);

    QString filePath() const { return m_path; }
    // Seconds, or 0 when unknown.
    double position(const QString &courseId, const QString &lessonId) const;
    bool setPosition(const QString &courseId, const QString &lessonId, double seconds);
    bool forget(const QString &courseId, const QString &lessonId);

    // Where a lesson of this length starts: at the stored position, or at the beginning
    // when that is unknown or within the last EndMarginSeconds.
    static double resumePosition(double stored, double length);

private:
    static QString keyOf(const QString &courseId, const QString &lessonId);
    QJsonObject read() const;
    bool write(const QJsonObject &positions) const;

    QString m_path;
};
