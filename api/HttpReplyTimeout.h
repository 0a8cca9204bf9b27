#pragma once

#include <QObject>

class QNetworkReply;

// Bounds one reply in time: a child of the reply that aborts it when the time runs out.
// An aborted reply finishes with OperationCanceledError ("网络超时").
class HttpReplyTimeout : public QObject
{
    Q_OBJECT

public:
    HttpReplyTimeout(QNetworkReply *reply, int milliseconds);
    static constexpr int DefaultMs = 10000;

signals:
    void timeout();

private:
    void onTimeout();
};
