#pragma once

#include <QString>
#include <QStringList>

// Why a lesson stream would not open, in the words the service client uses for the same
// network failure: the player's log is read for the first transport error it names.
namespace StreamErrorText {
// The network reply error code (QNetworkReply::NetworkError) of the first HTTP status or
// connection failure in the log; UnknownNetworkError when none is named.
int errorCode(const QStringList &playerLog);
QString fromPlayerLog(const QStringList &playerLog);
} // namespace StreamErrorText
