#include "api/HttpReplyTimeout.h"

#include <QNetworkReply>
#include <QTimer>

HttpReplyTimeout::HttpReplyTimeout(QNetworkReply *reply, int milliseconds)
    : QObject(reply)
{
    if (reply && reply->isRunning())
        QTimer::singleShot(milliseconds, this, &HttpReplyTimeout::onTimeout);
}

void HttpReplyTimeout::onTimeout()
{
    auto *reply = qobject_cast<QNetworkReply *>(parent());
    if (!reply || !reply->isRunning())
        return;
    reply->abort();
    reply->deleteLater();
    emit timeout();
}
