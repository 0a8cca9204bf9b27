#pragma once

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

class QDataStream;

// One node of a course's lesson tree: a chapter (level 1), a section (level 2)
// or a playable lesson (level 3).
struct Courseware
{
    QString courseId;
    QString id;
    QString number;
    QString cType;
    QString type;
    QString title;
    QString cTime;
    QString stutas;
    QString watchtimes;
    qint32 level = 0;
    qint32 downloadState = 0; // 0 none, 1 queued or downloading, 2 downloaded
    QString localPath;
    QString reserved;
    QString legacyPath;

    enum Level {
        Chapter = 1,
        Section = 2,
        Lesson = 3
    };
    enum DownloadState {
        NotDownloaded = 0,
        Queued = 1,
        Downloaded = 2
    };

    static Courseware fromJson(const QString &courseId, const QJsonObject &object);
    static qint32 levelForType(const QString &type);
    bool isLesson() const { return level == Lesson; }
};

QDataStream &operator<<(QDataStream &out, const Courseware &courseware);
QDataStream &operator>>(QDataStream &in, Courseware &courseware);
QDataStream &operator<<(QDataStream &out, const QList<Courseware> &list);
QDataStream &operator>>(QDataStream &in, QList<Courseware> &list);

Q_DECLARE_METATYPE(Courseware)
Q_DECLARE_METATYPE(Courseware *)
