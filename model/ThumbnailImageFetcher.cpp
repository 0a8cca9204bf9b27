#include "model/ThumbnailImageFetcher.h"

#include "api/HttpReplyTimeout.h"
#include "api/ReplyLimits.h"
#include "model/ThumbnailItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

ThumbnailImageFetcher *ThumbnailImageFetcher::instance()
{
    static QPointer<ThumbnailImageFetcher> fetcher;
    if (!fetcher)
        fetcher = new ThumbnailImageFetcher(QCoreApplication::instance());
    return fetcher;
}

ThumbnailImageFetcher::ThumbnailImageFetcher(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
}

void ThumbnailImageFetcher::fetch(ThumbnailItem *item)
{
    const QString path = item->imagePath();
    Pending &pending = m_pending[path];
    pending.url = item->imageUrl();
    if (!pending.waiting.contains(item))
        pending.waiting.append(item);
    if (!pending.inFlight)
        send(path);
}

void ThumbnailImageFetcher::send(const QString &path)
{
    auto it = m_pending.find(path);
    if (it == m_pending.end())
        return;
    it->waiting.removeAll(nullptr);
    if (it->waiting.isEmpty()) {
        m_pending.erase(it);
        return;
    }
    // Cover addresses come from the service: only web addresses are fetched, never a
    // "file:" one, which would copy a local file.
    const QUrl url(it->url, QUrl::TolerantMode);
    if (!ReplyLimits::isFetchable(url)) {
        m_pending.erase(it);
        return;
    }
    it->inFlight = true;
    ++m_requestCount;
    QNetworkReply *reply = m_network->get(QNetworkRequest(url));
    new HttpReplyTimeout(reply, HttpReplyTimeout::DefaultMs, ReplyLimits::Picture);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, path] { onFinished(reply, path); });
}

void ThumbnailImageFetcher::onFinished(QNetworkReply *reply, const QString &path)
{
    reply->deleteLater();
    auto it = m_pending.find(path);
    if (it == m_pending.end())
        return;
    const bool ok = reply->error() == QNetworkReply::NoError && store(reply->readAll(), path);
    if (!ok) {
        it->inFlight = false;
        QTimer::singleShot(RetryDelayMs, this, [this, path] {
            auto again = m_pending.find(path);
            if (again != m_pending.end() && !again->inFlight)
                send(path);
        });
        return;
    }
    const QList<QPointer<ThumbnailItem>> waiting = it->waiting;
    m_pending.erase(it);
    for (const QPointer<ThumbnailItem> &item : waiting) {
        if (item)
            item->imageStored();
    }
}

bool ThumbnailImageFetcher::store(const QByteArray &body, const QString &path)
{
    // An error page answered with status 200 must not become the cover for good.
    if (QImage::fromData(body).isNull())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(body);
    return file.commit();
}
