#pragma once

#include <QNetworkReply>
#include <QObject>

class QTimer;

// Bounds one reply: a child of the reply that aborts it when nothing has arrived for the
// given time (a transfer that keeps receiving may take as long as it needs), or, with a
// size cap, as soon as its body announces or reaches more than the cap. An aborted reply
// finishes with OperationCanceledError; errorOf tells a size cut from a silence.
class HttpReplyTimeout : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultMs = 10000;
    static constexpr qint64 NoCap = -1;

    HttpReplyTimeout(QNetworkReply *reply, int silenceMs, qint64 maxBytes = NoCap);

    // Whether the reply was cut for its size.
    static bool wasTooLarge(const QNetworkReply *reply);
    // The reply's error as the user should be told it: a size cut is an unusable answer
    // (UnknownContentError), not a time-out.
    static QNetworkReply::NetworkError errorOf(const QNetworkReply *reply);

signals:
    void timeout();

private:
    QNetworkReply *reply() const;
    void onActivity();
    void checkSize(qint64 received, qint64 announced);
    void onTimeout();

    QTimer *m_silence = nullptr;
    qint64 m_maxBytes = NoCap;
};
