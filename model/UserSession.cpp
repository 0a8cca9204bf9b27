#include "model/UserSession.h"

#include <QDataStream>
#include <QTimeZone>

QDataStream &operator<<(QDataStream &out, const UserSession &user)
{
    out << user.uid << user.nickname << user.loginName << user.email << user.isImg << user.sid
        << user.loginTime << user.downloads << user.version;
    return out;
}

namespace {

// A damaged index can yield a date-time with an unknown kind of time or zone, which Qt
// crashes on when it is written again; such a sign-in time reads as none at all.
bool isWritable(const QDateTime &time)
{
    switch (time.timeSpec()) {
    case Qt::LocalTime:
    case Qt::UTC:
    case Qt::OffsetFromUTC: return true;
    case Qt::TimeZone: return time.timeZone().isValid();
    }
    return false;
}

} // namespace

QDataStream &operator>>(QDataStream &in, UserSession &user)
{
    in >> user.uid >> user.nickname >> user.loginName >> user.email >> user.isImg >> user.sid
        >> user.loginTime;
    if (!isWritable(user.loginTime))
        user.loginTime = QDateTime();
    in >> user.downloads >> user.version;
    return in;
}
