#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class ThumbnailItem;

// Fetches the cover pictures of all tiles through one network access manager: tiles that
// want the same file share one request, a failed request is tried again after a second
// for as long as some tile still waits for it, and the file is written in one step.
class ThumbnailImageFetcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryDelayMs = 1000;

    // The shared fetcher, owned by the application object.
    static ThumbnailImageFetcher *instance();

    void fetch(ThumbnailItem *item);
    // Requests sent so far (for tests and the scale check).
    int requestCount() const { return m_requestCount; }
    int pendingCount() const { return m_pending.size(); }

private:
    explicit ThumbnailImageFetcher(QObject *parent);

    struct Pending
    {
        QString url;
        QList<QPointer<ThumbnailItem>> waiting;
        bool inFlight = false;
    };

    void send(const QString &path);
    void onFinished(QNetworkReply *reply, const QString &path);
    static bool store(const QByteArray &body, const QString &path);

    QNetworkAccessManager *m_network = nullptr;
    QHash<QString, Pending> m_pending; // by cover file
    int m_requestCount = 0;
};
