#include "download/M3u8Loader.h"

#include "api/APIHandler.h"
#include "api/HttpReplyTimeout.h"
#include "api/ReplyLimits.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/Log.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "download/M3u8Playlist.h"
#include "download/SegmentWriter.h"
#include "download/StoreFolders.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QTimerEvent>
#include <QUrl>

#include <memory>

namespace {

const char *const kWriteFailed = "写入文件失败";
const char *const kTooLarge = "课件过大，无法下载";
// Reply properties: bytes of the segment handed to the writer so far, and whether any were.
const char *const kWritten = "written";
const char *const kPartOpen = "partOpen";

QString errorTextFor(int type)
{
    switch (type) {
    case M3u8Loader::PlaylistRequest: return QStringLiteral("Load M3u8 Error");
    case M3u8Loader::KeyRequest: return QStringLiteral("Load Key Error");
    default: return QStringLiteral("Load Seg Error");
    }
}

qint64 capFor(int type)
{
    switch (type) {
    case M3u8Loader::PlaylistRequest: return ReplyLimits::Playlist;
    case M3u8Loader::KeyRequest: return ReplyLimits::Key;
    default: return ReplyLimits::Segment;
    }
}

int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isSuccess(int status) { return status >= 200 && status <= 299; }

// Whether the announced length can be compared with the bytes read: a compressed reply
// announces the compressed length.
bool hasPlainLength(const QNetworkReply *reply, qint64 *announced)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid())
        return false;
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return false;
    *announced = length.toLongLong();
    return true;
}

// An error page sent with status 200 in place of a segment: declared as HTML, or opening
// as a web page does. A real segment is binary (and when enciphered, random bytes).
bool looksLikeWebPage(const QNetworkReply *reply, const QByteArray &head)
{
    if (reply->header(QNetworkRequest::ContentTypeHeader)
            .toString()
            .startsWith(QLatin1String("text/html"), Qt::CaseInsensitive))
        return true;
    const QByteArray start = head.left(256).trimmed().toLower();
    return start.startsWith("<!doctype") || start.startsWith("<html") || start.startsWith("<?xml")
           || start.startsWith("<head") || start.startsWith("<body");
}

// Same scheme, host and port: a redirect or segment address that stays on the server the
// lesson's playlist was asked for.
bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
           && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(-1) == b.port(-1);
}

} // namespace

M3u8Loader::M3u8Loader(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_writer(new SegmentWriter(this))
{
    connect(m_writer, &SegmentWriter::committed, this, &M3u8Loader::onSegmentCommitted);
}

M3u8Loader::~M3u8Loader() = default;

void M3u8Loader::setPauseCheck(std::function<bool()> isPaused)
{
    m_pauseCheck = std::move(isPaused);
}

bool M3u8Loader::isPaused() const
{
    if (m_pauseCheck)
        return m_pauseCheck();
    const FileStream *queue = fileStream();
    return queue && queue->isPaused();
}

void M3u8Loader::start(const QString &playlistUrl, const QString &saveFolder,
                       const QByteArray &keyCookie)
{
    m_playlistUrl = playlistUrl;
    m_saveFolder = saveFolder;
    m_keyCookie = keyCookie;
    m_segmentUrls.clear();
    m_segmentFiles.clear();
    m_segmentEnciphered.clear();
    m_retrySegments.clear();
    m_inFlight = 0;
    m_committing = 0;
    m_writer->abandon();
    m_nextSegment = 0;
    m_bytesThisTick = 0;
    m_keyUrls.clear();
    m_nextKey = 0;
    ++m_playlistRun;
    m_errorRaised = false;
    m_finished = false;

    if (m_timerId)
        killTimer(m_timerId);
    m_timerId = startTimer(TickMs, Qt::CoarseTimer);

    // Without a folder every file would land in the file system root.
    if (m_saveFolder.isEmpty()) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    if (APIHandler *api = apiHandler()) {
        // Asking for the lines may wait in a nested loop, in which the queue can drop
        // this loader (the lesson removed, the queue paused or cleared).
        QPointer<M3u8Loader> alive(this);
        const QString mapped = api->mapToLine(playlistUrl);
        if (!alive)
            return;
        m_playlistUrl = mapped;
    }
    removeStrayParts();
    loadM3u8();
}

void M3u8Loader::cancel()
{
    m_cancelRequested = true;
    ++m_playlistRun; // a playlist still being read is of no use now
    if (m_finished)
        return;
    // Replies aborted here come back at once and are dropped: cancel requested is set.
    abortReplies();
    finish(true);
}

void M3u8Loader::abortReplies()
{
    // What is still on its way to disk is of no use either.
    m_writer->abandon();
    m_committing = 0;
    const QList<QNetworkReply *> replies = m_network->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies) {
        if (reply->isRunning())
            reply->abort();
    }
}

void M3u8Loader::loadM3u8()
{
    qDebug() << "LoadM3u8";
    if (m_cancelRequested) {
        m_cancelRequested = false;
        return;
    }
    if (isStopped() || isPaused())
        return;
    httpGetRequest(QUrl(m_playlistUrl), PlaylistRequest);
}

void M3u8Loader::loadKey()
{
    if (m_cancelRequested) {
        m_cancelRequested = false;
        return;
    }
    if (isStopped() || isPaused())
        return;
    // A playlist without key lines is a lesson that is not enciphered; one with several
    // keys has them fetched one after the other.
    if (m_nextKey >= m_keyUrls.size()) {
        loadSegList();
        return;
    }
    const QUrl key(m_keyUrls.at(m_nextKey));
    httpGetRequest(key, KeyRequest, -1, 0, true);
}

void M3u8Loader::loadSegList()
{
    qDebug() << "LoadSegList";
    if (m_cancelRequested) {
        m_cancelRequested = false;
        return;
    }
    if (isStopped() || isPaused())
        return;
    issueSegments();
    // Done only when every segment carries its final name.
    if (m_nextSegment == m_segmentUrls.size() && m_inFlight == 0 && m_committing == 0
        && m_retrySegments.isEmpty())
        finish(false);
}

void M3u8Loader::issueSegments()
{
    const int count = m_segmentUrls.size();
    // A disk slower than the network holds back new requests rather than piling up
    // segments in memory.
    while (m_inFlight < MaxInFlight && m_committing < MaxCommitting) {
        int segment = -1;
        if (!m_retrySegments.isEmpty()) {
            segment = m_retrySegments.takeFirst();
        } else if (m_nextSegment < count) {
            segment = m_nextSegment++;
        } else {
            break;
        }
        // Only complete segments ever carry their final name, so one on disk is done.
        const QFileInfo local(m_segmentFiles.at(segment));
        if (local.exists()) {
            m_bytesThisTick += quint64(local.size());
            continue;
        }
        const QUrl url(m_segmentUrls.at(segment));
        httpGetRequest(url, SegmentRequest, segment, 0, sameOrigin(url, QUrl(m_playlistUrl)));
        ++m_inFlight;
    }
}

void M3u8Loader::httpGetRequest(const QUrl &url, int type, int segment, int hops, bool sameOrigin)
{
    qDebug() << "HttpGetRequest" << type << url.toString();
    QNetworkRequest request(url);
    // Redirects are followed here, so that each hop is checked and the headers below go
    // only where they belong.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    if (type == KeyRequest) {
        // The key lives elsewhere and is asked for as the playlist names it, with the
        // lesson's key cookie, which no other server is given.
        if (sameOrigin) {
            const QList<QNetworkCookie> cookies{
                QNetworkCookie(QByteArrayLiteral("keys"), m_keyCookie)};
            request.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
        }
    } else if (sameOrigin) {
        // The line's address carries the request; the media server still wants to see its
        // own host name.
        request.setRawHeader("Host", ServiceSettings::coursewareHost().toUtf8());
    }
    QNetworkReply *reply = m_network->get(request);
    reply->setProperty("type", type);
    reply->setProperty("segment", segment);
    reply->setProperty("hops", hops);
    reply->setProperty("sameOrigin", sameOrigin);
    new HttpReplyTimeout(reply, HttpReplyTimeout::DefaultMs, capFor(type));
    if (type == SegmentRequest) {
        // Written as it arrives: a segment is never held whole in memory.
        connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
            if (!isStopped() && !m_cancelRequested && !onSegmentData(reply))
                reply->abort();
        });
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onHttpRequestFinished(reply); });
}

bool M3u8Loader::onSegmentData(QNetworkReply *reply)
{
    // A redirect or an error answer: its body is not the segment.
    if (!isSuccess(statusOf(reply)) || reply->property("refused").toBool())
        return true;
    const QByteArray chunk = reply->readAll();
    if (chunk.isEmpty())
        return true;
    const int segment = reply->property("segment").toInt();
    if (!reply->property(kPartOpen).toBool()) {
        if (looksLikeWebPage(reply, chunk)) {
            reply->setProperty("refused", true);
            return false;
        }
        if (segment < 0 || segment >= m_segmentFiles.size())
            return false;
        reply->setProperty(kPartOpen, true);
    }
    // The writer's thread puts the bytes on disk; a failure there fails the segment's commit.
    m_writer->write(segment, m_segmentFiles.at(segment) + QLatin1String(PartSuffix), chunk);
    reply->setProperty(kWritten, reply->property(kWritten).toLongLong() + chunk.size());
    m_bytesThisTick += quint64(chunk.size());
    return true;
}

void M3u8Loader::discardPart(QNetworkReply *reply)
{
    const int segment = reply->property("segment").toInt();
    if (reply->property(kPartOpen).toBool() && segment >= 0 && segment < m_segmentFiles.size()) {
        reply->setProperty(kPartOpen, false);
        m_writer->discard(segment, m_segmentFiles.at(segment) + QLatin1String(PartSuffix));
    }
}

void M3u8Loader::onHttpRequestFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    const int type = reply->property("type").toInt();
    const int segment = reply->property("segment").toInt();
    if (isStopped() || m_cancelRequested) {
        discardPart(reply);
        return;
    }
    qDebug() << "OnHttpRequestFinished" << type << reply->error();
    // The last bytes may come with the end.
    if (type == SegmentRequest && reply->error() == QNetworkReply::NoError && !onSegmentData(reply))
        reply->setProperty("refused", true);

    // A reply past its kind's cap is not a passing fault: asking again gets the same. Only a
    // key (16 bytes) is asked for again, since what overflows it is some error page.
    if (HttpReplyTimeout::wasTooLarge(reply) && type != KeyRequest) {
        writeLog(QStringLiteral("reply too large: ") + reply->url().toString());
        discardPart(reply);
        raiseError(QString::fromUtf8(kTooLarge));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        writeLog(APIHandler::networkErrorText(HttpReplyTimeout::errorOf(reply)));
        onNetworkError(reply, type, segment);
        return;
    }
    const int status = statusOf(reply);
    if (status >= 300 && status <= 399) {
        if (!followRedirect(reply, type, segment))
            onNetworkError(reply, type, segment);
        return;
    }
    if (!isSuccess(status)) {
        writeLog(QStringLiteral("answered %1: ").arg(status) + reply->url().toString());
        onNetworkError(reply, type, segment);
        return;
    }
    if (type == SegmentRequest) {
        onLoadSegFinish(reply, segment);
        return;
    }

    const QByteArray body = reply->readAll();
    qint64 announced = 0;
    QString refusal;
    if (hasPlainLength(reply, &announced) && announced != body.size())
        refusal = QStringLiteral("reply shorter than announced: ");
    // A proxy or error page answered instead of the media server.
    else if (type == PlaylistRequest && !M3u8Playlist::looksLikePlaylist(body))
        refusal = QStringLiteral("not a playlist: ");
    else if (type == KeyRequest && body.size() != ReplyLimits::Key)
        refusal = QStringLiteral("not a key: ");
    if (!refusal.isEmpty()) {
        writeLog(refusal + reply->url().toString());
        onNetworkError(reply, type, segment);
        return;
    }

    m_errorCount = 0;
    m_bytesThisTick += quint64(body.size());
    if (type == PlaylistRequest)
        parsePlaylist(body, reply->url());
    else
        storeKey(body);
}

bool M3u8Loader::followRedirect(QNetworkReply *reply, int type, int segment)
{
    const int hops = reply->property("hops").toInt() + 1;
    const QUrl from = reply->url();
    const QUrl to =
        from.resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
    // Never more than a few hops, only to web addresses, and never from https down to http.
    const bool downgrade = from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
                           && to.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
    if (hops > ReplyLimits::MaxRedirects || !ReplyLimits::isFetchable(to) || downgrade) {
        writeLog(QStringLiteral("redirect refused: ") + from.toString() + QStringLiteral(" -> ")
                 + to.toString());
        return false;
    }
    // The media host's name and the key cookie go along only while the server stays the same.
    const bool keepsOrigin = reply->property("sameOrigin").toBool() && sameOrigin(from, to);
    httpGetRequest(to, type, segment, hops, keepsOrigin);
    return true;
}

void M3u8Loader::onNetworkError(QNetworkReply *reply, int type, int segment)
{
    discardPart(reply);
    std::function<void()> retry;
    switch (type) {
    case PlaylistRequest: retry = [this] { loadM3u8(); }; break;
    case KeyRequest: retry = [this] { loadKey(); }; break;
    default:
        --m_inFlight;
        // Asked for again in this run, so the lesson never ends with a hole.
        if (segment >= 0)
            m_retrySegments.append(segment);
        retry = [this] { loadSegList(); };
        break;
    }
    const int failuresBefore = m_errorCount++;
    qDebug() << "errorCount " << m_errorCount;
    if (failuresBefore > MaxRetries) {
        raiseError(errorTextFor(type));
        return;
    }
    QTimer::singleShot(RetryDelayMs, this, retry);
}

void M3u8Loader::parsePlaylist(const QByteArray &body, const QUrl &from)
{
    if (isPaused())
        return;
    AesCipher *cipher = localCipher();
    if (!cipher) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    // Reading a long playlist and enciphering its copy takes a tenth of a second or more,
    // too long for the window to stand still: it is done on a worker with a copy of the
    // cipher, and the result comes back here unless this run has ended meanwhile.
    const int run = ++m_playlistRun;
    const QPointer<M3u8Loader> self(this);
    const QString folder = m_saveFolder;
    const QString target =
        m_saveFolder + QLatin1Char('/') + QLatin1String(StoreFolders::playlistFileName);
    AesCipher storeCipher = *cipher;
    const QString url = from.toString(QUrl::FullyEncoded);
    QThreadPool::globalInstance()->start(
        [self, run, body, url, folder, target, storeCipher]() mutable {
            auto playlist = std::make_shared<M3u8Playlist>(
                M3u8Playlist::parse(body, url, folder, QDir::tempPath()));
            const QString refused = playlist->refusedUrl();
            bool written = false;
            if (!playlist->tooManySegments && refused.isEmpty()) {
                storeCipher.encryptBytesToFile(playlist->localCopy, target);
                written = QFileInfo::exists(target);
            }
            QCoreApplication *app = QCoreApplication::instance();
            if (!app)
                return; // the program has ended meanwhile
            QMetaObject::invokeMethod(
                app,
                [self, run, playlist, refused, written] {
                    if (self && self->m_playlistRun == run)
                        self->onPlaylistParsed(*playlist, refused, written);
                },
                Qt::QueuedConnection);
        });
}

void M3u8Loader::onPlaylistParsed(const M3u8Playlist &playlist, const QString &refused,
                                  bool written)
{
    if (isStopped() || m_cancelRequested)
        return;
    if (playlist.tooManySegments) {
        writeLog(QStringLiteral("playlist of more than %1 segments refused")
                     .arg(ReplyLimits::MaxSegments));
        raiseError(QString::fromUtf8(kTooLarge));
        return;
    }
    // Addresses that are no web addresses ("file:" and the like) would copy local files
    // into the store: such a lesson is refused, not retried.
    if (!refused.isEmpty()) {
        writeLog(QStringLiteral("address refused: ") + refused);
        raiseError(errorTextFor(playlist.keyUrls.contains(refused) ? KeyRequest : SegmentRequest));
        return;
    }
    if (!written) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    m_keyUrls = playlist.keyUrls;
    m_nextKey = 0;
    m_segmentUrls = playlist.segmentUrls;
    m_segmentFiles = playlist.segmentFiles;
    m_segmentEnciphered = playlist.segmentEnciphered;
    loadKey();
}

void M3u8Loader::storeKey(const QByteArray &body)
{
    const QString target = m_saveFolder + QLatin1Char('/') + StoreFolders::keyFileNameAt(m_nextKey);
    AesCipher *cipher = localCipher();
    if (cipher)
        cipher->encryptBytesToFile(body, target);
    if (!cipher || !QFileInfo::exists(target)) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    ++m_nextKey;
    loadKey();
}

void M3u8Loader::onLoadSegFinish(QNetworkReply *reply, int segment)
{
    qDebug() << "OnLoadSegFinish" << segment;
    if (segment < 0 || segment >= m_segmentFiles.size()) {
        discardPart(reply);
        --m_inFlight;
        return;
    }
    const qint64 written = reply->property(kWritten).toLongLong();
    qint64 announced = 0;
    QString refusal;
    if (reply->property("refused").toBool())
        refusal = QStringLiteral("not a segment: ");
    else if (hasPlainLength(reply, &announced) && announced != written)
        refusal = QStringLiteral("reply shorter than announced: ");
    // An AES-128 segment is whole 16-byte blocks; anything else cannot be deciphered.
    else if (m_segmentEnciphered.value(segment) && (written == 0 || written % 16 != 0))
        refusal = QStringLiteral("not an enciphered segment: ");
    if (!refusal.isEmpty()) {
        writeLog(refusal + reply->url().toString());
        onNetworkError(reply, SegmentRequest, segment);
        return;
    }
    m_errorCount = 0;
    --m_inFlight;
    // Flushing waits for the disk, on the writer's thread: the window goes on, and the freed
    // slot is refilled at once, so the network keeps five requests busy meanwhile. The
    // segment counts as done only when the writer answers that its final name is there.
    const QString path = m_segmentFiles.at(segment);
    reply->setProperty(kPartOpen, false);
    ++m_committing;
    m_writer->commit(segment, path + QLatin1String(PartSuffix), path);
    if (!isPaused())
        issueSegments();
}

void M3u8Loader::onSegmentCommitted(int segment, bool stored)
{
    qDebug() << "OnSegmentCommitted" << segment << stored;
    if (isStopped() || m_cancelRequested)
        return;
    --m_committing;
    if (!stored) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    loadSegList();
}

void M3u8Loader::removeStrayParts()
{
    QDir folder(m_saveFolder);
    const QStringList parts =
        folder.entryList(QStringList() << QStringLiteral("*") + QLatin1String(PartSuffix),
                         QDir::Files | QDir::Hidden);
    for (const QString &name : parts)
        folder.remove(name);
}

double M3u8Loader::progress() const
{
    const int count = m_segmentUrls.size();
    if (count == 0)
        return 0.0; // the segment list is not known yet
    const double done = double(m_nextSegment - m_retrySegments.size()) / double(count);
    return qBound(0.0, done, 1.0);
}

void M3u8Loader::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId) {
        QObject::timerEvent(event);
        return;
    }
    if (!isPaused() && !m_errorRaised)
        emit ProgressSignal(progress(), double(m_bytesThisTick));
    m_bytesThisTick = 0;
}

void M3u8Loader::finish(bool isCancel)
{
    if (m_finished)
        return;
    m_finished = true;
    qDebug() << "Finish:" << isCancel;
    if (m_timerId) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    emit FinishedSignal(isCancel);
}

void M3u8Loader::raiseError(const QString &text)
{
    qDebug().noquote() << text;
    if (m_errorRaised || m_finished)
        return;
    m_errorRaised = true;
    if (m_timerId) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    // What is still arriving is of no use now, and may be large.
    abortReplies();
    emit ErrorSignal(text);
}
