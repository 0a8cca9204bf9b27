#pragma once

#include "model/Courseware.h"

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

class QDataStream;

// A course the user has bought, with its flattened lesson tree.
struct Course
{
    QString id;
    QString title;
    QString img;
    QList<Courseware> coursewares;
    QString localPath;
    QString sum;
    qint32 use = 0;
    QString endtime;
    qint32 courseMonthly = 0;
    QString addTime;
    QString isExpired = QStringLiteral("0"); // "0" is valid, any other text expired
    qint32 isEnd = 0;
    QString endInfo;
    QString legacyPath;

    static Course fromJson(const QJsonObject &object);
    // First lesson node with this id, inside the list (writable), or null; an empty id
    // matches nothing.
    Courseware *findCourseware(const QString &coursewareId);
    const Courseware *findCourseware(const QString &coursewareId) const;
};

QDataStream &operator<<(QDataStream &out, const Course &course);
QDataStream &operator>>(QDataStream &in, Course &course);
QDataStream &operator<<(QDataStream &out, const QList<Course> &list);
QDataStream &operator>>(QDataStream &in, QList<Course> &list);

Q_DECLARE_METATYPE(Course)
Q_DECLARE_METATYPE(Course *)
