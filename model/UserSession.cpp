#include "model/UserSession.h"

#include <QDataStream>

QDataStream &operator<<(QDataStream &out, const UserSession &user)
{
    out << user.uid << user.nickname << user.loginName << user.email << user.isImg << user.sid
        << user.loginTime << user.downloads << user.version;
    return out;
}

QDataStream &operator>>(QDataStream &in, UserSession &user)
{
    in >> user.uid >> user.nickname >> user.loginName >> user.email >> user.isImg >> user.sid
        >> user.loginTime >> user.downloads >> user.version;
    return in;
}
