#include "download/M3u8Loader.h"

#include "api/APIHandler.h"
#include "api/HttpReplyTimeout.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/Log.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "download/M3u8Playlist.h"
#include "download/StoreFolders.h"
#include "platform/AtomicFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QTimerEvent>
#include <QUrl>

#include <cstdio>
#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

const char *const kWriteFailed = "写入文件失败";

QString errorTextFor(int type)
{
    switch (type) {
    case M3u8Loader::PlaylistRequest: return QStringLiteral("Load M3u8 Error");
    case M3u8Loader::KeyRequest: return QStringLiteral("Load Key Error");
    default: return QStringLiteral("Load Seg Error");
    }
}

// A body shorter than the announced length is a cut transfer, not a finished one. A
// compressed reply announces the compressed length, so only plain bodies are checked.
bool bodyIsComplete(QNetworkReply *reply, const QByteArray &body)
{
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!announced.isValid())
        return true;
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return true;
    return announced.toLongLong() == body.size();
}

} // namespace

M3u8Loader::M3u8Loader(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
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
    m_retrySegments.clear();
    m_inFlight = 0;
    m_nextSegment = 0;
    m_bytesThisTick = 0;
    m_keyUrl.clear();
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
    if (APIHandler *api = apiHandler())
        m_playlistUrl = api->mapToLine(m_playlistUrl);
    removeStrayParts();
    loadM3u8();
}

void M3u8Loader::cancel()
{
    m_cancelRequested = true;
    if (m_finished)
        return;
    // Replies aborted here come back at once and are dropped: cancel requested is set.
    const QList<QNetworkReply *> replies = m_network->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies)
        reply->abort();
    finish(true);
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
    httpGetRequest(QNetworkRequest(QUrl(m_playlistUrl)), PlaylistRequest);
}

void M3u8Loader::loadKey()
{
    if (m_cancelRequested) {
        m_cancelRequested = false;
        return;
    }
    if (isStopped() || isPaused())
        return;
    // A playlist without a key line is a lesson that is not enciphered.
    if (m_keyUrl.isEmpty()) {
        loadSegList();
        return;
    }
    QNetworkRequest request{QUrl(m_keyUrl)};
    const QList<QNetworkCookie> cookies{QNetworkCookie(QByteArrayLiteral("keys"), m_keyCookie)};
    request.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
    httpGetRequest(request, KeyRequest);
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
    if (m_nextSegment == m_segmentUrls.size() && m_inFlight == 0 && m_retrySegments.isEmpty())
        finish(false);
}

void M3u8Loader::issueSegments()
{
    const int count = m_segmentUrls.size();
    while (m_inFlight < MaxInFlight) {
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
        httpGetRequest(QNetworkRequest(QUrl(m_segmentUrls.at(segment))), SegmentRequest, segment);
        ++m_inFlight;
    }
}

void M3u8Loader::httpGetRequest(QNetworkRequest request, int type, int segment)
{
    qDebug() << "HttpGetRequest" << type << request.url().toString();
    // The line's address carries the request; the media server still wants to see its
    // own host name. The key lives elsewhere and is asked for as the playlist names it.
    if (type != KeyRequest)
        request.setRawHeader("Host", ServiceSettings::coursewareHost().toUtf8());
    QNetworkReply *reply = m_network->get(request);
    reply->setProperty("type", type);
    reply->setProperty("segment", segment);
    new HttpReplyTimeout(reply, HttpReplyTimeout::DefaultMs);
    // The speed is what arrives in each second, so bytes count as they come in, not only
    // when a segment is complete (a large one can take longer than a tick).
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        const qint64 counted = reply->property("counted").toLongLong();
        if (received > counted) {
            m_bytesThisTick += quint64(received - counted);
            reply->setProperty("counted", received);
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onHttpRequestFinished(reply); });
}

void M3u8Loader::onHttpRequestFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (isStopped() || m_cancelRequested)
        return;
    const int type = reply->property("type").toInt();
    const int segment = reply->property("segment").toInt();
    qDebug() << "OnHttpRequestFinished" << type << reply->error();

    if (reply->error() != QNetworkReply::NoError) {
        writeLog(APIHandler::networkErrorText(reply->error()));
        onNetworkError(reply, type, segment);
        return;
    }
    const QByteArray body = reply->readAll();
    if (!bodyIsComplete(reply, body)) {
        writeLog(QStringLiteral("reply shorter than announced: ") + reply->url().toString());
        onNetworkError(reply, type, segment);
        return;
    }
    // A proxy or error page answered instead of the media server.
    if (type == PlaylistRequest && !M3u8Playlist::looksLikePlaylist(body)) {
        writeLog(QStringLiteral("not a playlist: ") + reply->url().toString());
        onNetworkError(reply, type, segment);
        return;
    }

    m_errorCount = 0;
    const qint64 counted = reply->property("counted").toLongLong();
    if (body.size() > counted)
        m_bytesThisTick += quint64(body.size() - counted);
    switch (type) {
    case PlaylistRequest:
        parsePlaylist(body);
        break;
    case KeyRequest:
        storeKey(body);
        break;
    default:
        onLoadSegFinish(segment, body);
        break;
    }
}

void M3u8Loader::onNetworkError(QNetworkReply *reply, int type, int segment)
{
    Q_UNUSED(reply)
    std::function<void()> retry;
    switch (type) {
    case PlaylistRequest:
        retry = [this] { loadM3u8(); };
        break;
    case KeyRequest:
        retry = [this] { loadKey(); };
        break;
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

void M3u8Loader::parsePlaylist(const QByteArray &body)
{
    if (isPaused())
        return;
    const M3u8Playlist playlist = M3u8Playlist::parse(
        body, m_playlistUrl, m_saveFolder, QDir::tempPath() + QLatin1Char('/') + QLatin1String(StoreFolders::keyFileName));
    m_keyUrl = playlist.keyUri;
    m_segmentUrls = playlist.segmentUrls;
    m_segmentFiles = playlist.segmentFiles;

    const QString target = m_saveFolder + QLatin1Char('/') + QLatin1String(StoreFolders::playlistFileName);
    AesCipher *cipher = localCipher();
    if (!cipher) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    cipher->encryptBytesToFile(playlist.localCopy, target);
    if (!QFileInfo::exists(target)) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    loadKey();
}

void M3u8Loader::storeKey(const QByteArray &body)
{
    const QString target = m_saveFolder + QLatin1Char('/') + QLatin1String(StoreFolders::keyFileName);
    AesCipher *cipher = localCipher();
    if (cipher)
        cipher->encryptBytesToFile(body, target);
    if (!cipher || !QFileInfo::exists(target)) {
        raiseError(QString::fromUtf8(kWriteFailed));
        return;
    }
    loadSegList();
}

void M3u8Loader::onLoadSegFinish(int segment, const QByteArray &body)
{
    qDebug() << "OnLoadSegFinish" << segment;
    --m_inFlight;
    if (segment < 0 || segment >= m_segmentFiles.size())
        return;
    const QString path = m_segmentFiles.at(segment);
    if (!QFileInfo::exists(path)) {
        // The freed slot is refilled before the write, which waits for the disk: the network
        // keeps five requests busy meanwhile instead of idling behind every segment.
        if (!isPaused())
            issueSegments();
        if (!writeSegment(path, body)) {
            raiseError(QString::fromUtf8(kWriteFailed));
            return;
        }
    }
    loadSegList();
}

bool M3u8Loader::writeSegment(const QString &path, const QByteArray &body)
{
    // Written aside and renamed when complete: a crash or a full disk never leaves a
    // short file under the name that a resumed download counts as done.
    const QString part = path + QLatin1String(PartSuffix);
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(body) == body.size() && file.flush();
#ifdef Q_OS_LINUX
    // The data must be on disk before the name is, or a power cut could leave a short file
    // that counts as done. The rename itself needs no flush of the folder: if it is lost,
    // the ".part" left behind is removed at the next start and the segment fetched again.
    const bool synced = written && ::fdatasync(file.handle()) == 0;
    file.close();
    if (!synced || std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
#else
    file.close();
    if (!written || !AtomicFile::commit(part, path)) {
#endif
        QFile::remove(part);
        return false;
    }
    return true;
}

void M3u8Loader::removeStrayParts()
{
    QDir folder(m_saveFolder);
    const QStringList parts = folder.entryList(
        QStringList() << QStringLiteral("*") + QLatin1String(PartSuffix), QDir::Files | QDir::Hidden);
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
    emit ErrorSignal(text);
}
