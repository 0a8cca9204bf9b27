#include "api/HttpReplyTimeout.h"

#include <QNetworkRequest>
#include <QTimer>

namespace {
const char *const kTooLarge = "replyTooLarge";
// A redirect notice or an error page may exceed a small cap (a key's 16 bytes) and is
// still read, up to this much, so that its status can be acted on.
constexpr qint64 kNoticeBytes = 64 * 1024;

qint64 capFor(const QNetworkReply *reply, qint64 cap)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        return qMax(cap, kNoticeBytes);
    return cap;
}
} // namespace

HttpReplyTimeout::HttpReplyTimeout(QNetworkReply *reply, int silenceMs, qint64 maxBytes)
    : QObject(reply)
    , m_silence(new QTimer(this))
    , m_maxBytes(maxBytes)
{
    if (!reply || !reply->isRunning())
        return;
    m_silence->setSingleShot(true);
    m_silence->setInterval(silenceMs);
    connect(m_silence, &QTimer::timeout, this, &HttpReplyTimeout::onTimeout);
    // Every sign of life starts the silence again.
    connect(reply, &QNetworkReply::metaDataChanged, this, &HttpReplyTimeout::onActivity);
    connect(reply, &QNetworkReply::readyRead, this, &HttpReplyTimeout::onActivity);
    connect(reply, &QNetworkReply::uploadProgress, this, &HttpReplyTimeout::onActivity);
    connect(reply, &QNetworkReply::downloadProgress, this, &HttpReplyTimeout::checkSize);
    m_silence->start();
}

QNetworkReply *HttpReplyTimeout::reply() const { return qobject_cast<QNetworkReply *>(parent()); }

bool HttpReplyTimeout::wasTooLarge(const QNetworkReply *reply)
{
    return reply && reply->property(kTooLarge).toBool();
}

QNetworkReply::NetworkError HttpReplyTimeout::errorOf(const QNetworkReply *reply)
{
    if (!reply)
        return QNetworkReply::OperationCanceledError;
    return wasTooLarge(reply) ? QNetworkReply::UnknownContentError : reply->error();
}

void HttpReplyTimeout::onActivity()
{
    QNetworkReply *watched = reply();
    if (!watched || !watched->isRunning())
        return;
    if (m_maxBytes >= 0) {
        const qint64 cap = capFor(watched, m_maxBytes);
        // The announced length is known before any byte of the body.
        const QVariant announced = watched->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() > cap) {
            checkSize(0, announced.toLongLong());
            return;
        }
        // Bytes still unread count too: received counts only what the network layer saw.
        if (watched->bytesAvailable() > cap) {
            checkSize(watched->bytesAvailable(), -1);
            return;
        }
    }
    m_silence->start();
}

void HttpReplyTimeout::checkSize(qint64 received, qint64 announced)
{
    QNetworkReply *watched = reply();
    if (!watched || !watched->isRunning())
        return;
    const qint64 cap = m_maxBytes >= 0 ? capFor(watched, m_maxBytes) : m_maxBytes;
    if (cap >= 0 && (received > cap || announced > cap)) {
        m_silence->stop();
        watched->setProperty(kTooLarge, true);
        watched->abort();
        return;
    }
    m_silence->start();
}

void HttpReplyTimeout::onTimeout()
{
    QNetworkReply *watched = reply();
    if (!watched || !watched->isRunning())
        return;
    watched->abort();
    watched->deleteLater();
    emit timeout();
}
