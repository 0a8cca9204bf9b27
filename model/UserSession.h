#pragma once

#include "model/Course.h"

#include <QDateTime>
#include <QList>
#include <QString>

class QDataStream;

// The signed-in user's record; it carries the download list and is what the
// download index stores. The password is kept for the run only.
struct UserSession
{
    QString uid;
    QString nickname;
    QString loginName;
    QString email;
    QString isImg;
    QString sid;
    QDateTime loginTime;
    QList<Course> downloads;
    QString version;
    QString password;
};

QDataStream &operator<<(QDataStream &out, const UserSession &user);
QDataStream &operator>>(QDataStream &in, UserSession &user);
