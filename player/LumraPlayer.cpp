#include "player/LumraPlayer.h"

#include "player/LumraPlayerCallbackHandler.h"
#include "player/MpvLibrary.h"
#include "player/MpvNode.h"
#include "player/MpvRenderHost.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QTemporaryFile>
#include <QTimer>

// Types and constants only: the functions come from MpvLibrary.
#include <mpv/client.h>

#include <clocale>

namespace {

// Attributes of a cookie line that describe the cookie instead of being sent.
bool isCookieAttribute(const QByteArray &name)
{
    static const QList<QByteArray> attributes{"path",   "domain",   "expires", "max-age",
                                              "secure", "httponly", "samesite"};
    return attributes.contains(name.trimmed().toLower());
}

// Reply ids of the observed properties.
enum ObservedProperty : uint64_t {
    IdleActive = 1,
    EofReached = 2
};

} // namespace

LumraPlayer::LumraPlayer(WId window, QObject *parent)
    : LumraPlayer(window, MpvLibrary::instance(), parent)
{
}

LumraPlayer::LumraPlayer(WId window, const MpvLibrary &library, QObject *parent)
    : QObject(parent)
    , m_library(&library)
{
    setUp(window, nullptr);
}

LumraPlayer::LumraPlayer(MpvRenderHost &host, QObject *parent)
    : QObject(parent)
    , m_library(&MpvLibrary::instance())
{
    setUp(0, &host);
}

void LumraPlayer::setUp(WId window, MpvRenderHost *host)
{
    if (!m_library->isLoaded()) {
        m_unavailableReason = QStringLiteral("libmpv could not be loaded: ") + m_library->failure();
        return;
    }
    // libmpv refuses to start under a locale whose decimal separator is not a point.
    std::setlocale(LC_NUMERIC, "C");
    m_mpv = m_library->create();
    if (!m_mpv) {
        m_unavailableReason = QStringLiteral("libmpv could not create a player");
        return;
    }

    const auto set = [this](const char *name, const QByteArray &value) {
        m_library->setOptionString(m_mpv, name, value.constData());
    };
    const QByteArray requested = qgetenv("LUMRA_MPV_VO").trimmed();
    if (host) {
        set("vo", requested == "null" ? QByteArray("null") : QByteArray("libmpv"));
        // Pictures are handed over when they are due instead of the render call waiting
        // for that moment on the GUI thread.
        set("video-timing-offset", "0");
    } else {
        if (window) {
            int64_t wid = static_cast<int64_t>(window);
            m_library->setOption(m_mpv, "wid", MPV_FORMAT_INT64, &wid);
        }
        // Never a fallback that opens a window of its own.
        set("vo", requested.isEmpty() ? defaultVideoOutput() : requested);
        set("gpu-api", "opengl");
        // libmpv's window covers our message line; its own text goes where that line was.
        set("osd-align-x", "left");
        set("osd-align-y", "bottom");
        set("osd-margin-x", "18");
        set("osd-margin-y", "24");
        set("osd-font-size", "24");
    }
    // Nothing from the user's own configuration, scripts or key bindings.
    set("config", "no");
    set("load-scripts", "no");
    set("ytdl", "no");
    set("input-default-bindings", "no");
    set("input-vo-keyboard", "no");
    set("input-cursor", "no");
    set("cursor-autohide", "no");
    set("osc", "no");
    set("load-stats-overlay", "no");
    set("load-osd-console", "no");
    set("load-auto-profiles", "no");
    set("idle", "yes");
    // The end of a lesson keeps its last picture, paused, until the window is closed.
    set("keep-open", "yes");
    set("terminal", "no");
    // A refused key must end the open as an error, not turn the playlist into a file list.
    set("demuxer", "lavf");
    set("audio-fallback-to-null", "yes");
    // Seeks back within what was read lately come from memory, for downloaded lessons as
    // for online ones: FFmpeg's HLS reader seeks local files to the next key frame at
    // best, and near the start not at all.
    set("demuxer-seekable-cache", "yes");
    // Faster or slower speech keeps its pitch.
    set("audio-pitch-correction", "yes");
    const QByteArray ao = qgetenv("LUMRA_MPV_AO").trimmed();
    if (!ao.isEmpty())
        set("ao", ao);

    const int initialized = m_library->initialize(m_mpv);
    if (initialized < 0) {
        m_unavailableReason = QStringLiteral("libmpv could not be initialised: ")
                              + QString::fromUtf8(m_library->errorString(initialized));
        m_library->terminateDestroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    m_library->requestLogMessages(m_mpv, "warn");
    m_library->observeProperty(m_mpv, IdleActive, "idle-active", MPV_FORMAT_FLAG);
    m_library->observeProperty(m_mpv, EofReached, "eof-reached", MPV_FORMAT_FLAG);
    m_library->setWakeupCallback(m_mpv, &LumraPlayer::wakeUp, this);
    if (host) {
        m_host = host;
        m_host->attachPlayer(*m_library, m_mpv);
    }
}

LumraPlayer::~LumraPlayer()
{
    if (!m_mpv)
        return;
    m_library->setWakeupCallback(m_mpv, nullptr, nullptr);
    // libmpv's render context goes before the player it belongs to.
    if (m_host)
        m_host->detachPlayer();
    m_library->terminateDestroy(m_mpv);
    m_mpv = nullptr;
}

bool LumraPlayer::wantsRenderApi()
{
    const QByteArray requested = qgetenv("LUMRA_MPV_VO").trimmed();
    return requested.isEmpty() || requested == "libmpv" || requested == "null";
}

QByteArray LumraPlayer::defaultVideoOutput()
{
    // libmpv can only embed into an X11 window by its id.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return "null";
    return "gpu,x11";
}

void LumraPlayer::ReduceDelay(bool reduce)
{
    if (m_mpv)
        m_library->setPropertyString(m_mpv, "cache", reduce ? "no" : "auto");
}

QStringList LumraPlayer::headerFields(const QByteArray &headerLine, const QByteArray &cookieLine)
{
    QStringList fields;
    for (const QByteArray &part : headerLine.split(';')) {
        const int colon = part.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = part.left(colon).trimmed();
        const QByteArray value = part.mid(colon + 1).trimmed();
        if (!name.isEmpty() && !value.isEmpty())
            // With the space FFmpeg takes our Host instead of adding its own first.
            fields << QString::fromUtf8(name + ": " + value);
    }
    QByteArrayList pairs;
    for (const QByteArray &part : cookieLine.split(';')) {
        const int equals = part.indexOf('=');
        if (equals <= 0 || isCookieAttribute(part.left(equals)))
            continue;
        pairs << part.trimmed();
    }
    // A plain header: FFmpeg's cookie option matches the dialled address, which is a
    // line's server address rather than the host the cookie belongs to.
    if (!pairs.isEmpty())
        fields << QString::fromUtf8("Cookie: " + pairs.join("; "));
    return fields;
}

void LumraPlayer::applyHeaderFields(const QStringList &fields)
{
    // A node array, because a single comma-separated option would split values at commas.
    MpvNodeBuilder list{QVariant(fields)};
    m_library->setProperty(m_mpv, "http-header-fields", MPV_FORMAT_NODE, list.node());
}

PlayerErrorType LumraPlayer::Open(const QByteArray &address)
{
    if (!m_mpv)
        return reportUnavailable();
    if (m_opening)
        return PlayerBusy;
    applyHeaderFields(headerFields(m_headerLine, m_cookieLine));
    return openPath(QString::fromLocal8Bit(address).toUtf8(), false);
}

PlayerErrorType LumraPlayer::Open(const char *data, int length)
{
    if (!m_mpv)
        return reportUnavailable();
    if (m_opening)
        return PlayerBusy;
    QByteArray playlist(data, qMax(0, length));
    // Whole cipher blocks: the text may end in zero padding.
    while (playlist.endsWith('\0'))
        playlist.chop(1);

    // A private file (owner-only, removed when the open ends) that the demuxer can read.
    m_playlistFile = std::make_unique<QTemporaryFile>(
        QDir::tempPath() + QStringLiteral("/lumra-playlist-XXXXXX.m3u8"));
    if (!m_playlistFile->open() || m_playlistFile->write(playlist) != playlist.size()
        || !m_playlistFile->flush()) {
        m_playlistFile.reset();
        return PlayerFailed;
    }
    applyHeaderFields({});
    const PlayerErrorType result = openPath(QFile::encodeName(m_playlistFile->fileName()), true);
    m_playlistFile.reset();
    m_format.clear();
    return result;
}

PlayerErrorType LumraPlayer::reportUnavailable() const
{
    if (m_logHandler)
        m_logHandler(m_unavailableReason);
    return PlayerUnavailable;
}

PlayerErrorType LumraPlayer::openPath(const QByteArray &path, bool local)
{
    m_opening = true;
    ++m_openCount;
    m_openMessages.clear();
    m_entryId = -1;
    m_endReason = -1;
    m_fileLoaded = false;
    m_startNotified = false;
    m_fileEnded = false;
    m_atEnd = false;
    m_stoppedAtEnd = false;

    m_path = path;
    m_local = local;
    if (!waitForHost()) {
        m_opening = false;
        return PlayerStopped;
    }
    if (!loadFile()) {
        m_opening = false;
        return PlayerFailed;
    }

    // Timers, input and close events keep flowing while the lesson plays.
    if (!waitFor([this] { return playbackOver(); }, -1)) {
        // The loop was ended from outside (the program quits): let go of the window anyway.
        m_library->commandString(m_mpv, "stop");
        waitFor([this] { return playbackOver(); }, StopTimeoutMs);
    }
    m_opening = false;
    switch (m_endReason) {
    case MPV_END_FILE_REASON_EOF: return PlayerEnded;
    case MPV_END_FILE_REASON_STOP:
    case MPV_END_FILE_REASON_QUIT:
        // Closed while the last picture was showing: the lesson was played to its end.
        return m_stoppedAtEnd ? PlayerEnded : PlayerStopped;
    default: return PlayerFailed;
    }
}

bool LumraPlayer::loadFile()
{
    // Per-file options: they apply to this lesson only.
    QVariantMap options;
    if (m_local) {
        // The stored playlist names its key by a file whose extension FFmpeg does not trust.
        options.insert(QStringLiteral("demuxer-lavf-o"), QByteArray("allowed_extensions=ALL"));
        if (m_format == "hls")
            options.insert(QStringLiteral("demuxer-lavf-format"), QByteArray("hls"));
    }
    MpvNodeBuilder command{QVariantMap{{QStringLiteral("name"), QByteArray("loadfile")},
                                       {QStringLiteral("url"), m_path},
                                       {QStringLiteral("flags"), QByteArray("replace")},
                                       {QStringLiteral("options"), options}}};
    MpvNodeResult result(*m_library);
    if (m_library->commandNode(m_mpv, command.node(), result.out()) < 0)
        return false;
    // The end of the entry this replaces carries the old id and is not ours any more.
    m_entryId =
        result.toVariant().toMap().value(QStringLiteral("playlist_entry_id"), -1).toLongLong();
    return true;
}

bool LumraPlayer::playbackOver() const
{
    // Idle again means the video output has let go of the window.
    return m_fileEnded && flag("idle-active");
}

bool LumraPlayer::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    drainEvents();
    if (condition())
        return true;
    QEventLoop loop;
    const QMetaObject::Connection check = connect(this, &LumraPlayer::eventsHandled, &loop, [&] {
        if (condition())
            loop.exit(1);
    });
    QTimer timer;
    if (timeoutMs >= 0) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, [&] { loop.exit(0); });
        timer.start(timeoutMs);
    }
    const int code = loop.exec();
    disconnect(check);
    if (code < 0 && timeoutMs >= 0) {
        // The program is quitting and no event loop runs any more: wait on the player alone.
        QElapsedTimer elapsed;
        elapsed.start();
        while (m_mpv && !condition() && elapsed.elapsed() < timeoutMs) {
            mpv_event *event = m_library->waitEvent(m_mpv, 0.05);
            if (event && event->event_id != MPV_EVENT_NONE)
                handleEvent(*event);
        }
    }
    return condition();
}

bool LumraPlayer::waitForHost()
{
    if (!m_host || !m_host->renderContextPending())
        return true;
    // The host's surface is drawn for the first time once the window system has shown it;
    // nothing tells the player, so it looks now and then.
    m_waitingForHost = true;
    m_hostWaitStopped = false;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_hostWaitStopped || !m_host || !m_host->renderContextPending()
            || waited.elapsed() >= HostWaitMs)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    m_waitingForHost = false;
    return !m_hostWaitStopped;
}

void LumraPlayer::Stop()
{
    if (!m_mpv)
        return;
    if (m_waitingForHost) {
        m_hostWaitStopped = true;
        return;
    }
    if (m_opening)
        m_stoppedAtEnd = m_atEnd;
    m_library->commandString(m_mpv, "stop");
    if (m_opening)
        waitFor([this] { return playbackOver(); }, StopTimeoutMs);
}

double LumraPlayer::Duration() const
{
    double value = 0;
    if (!m_mpv || m_library->getProperty(m_mpv, "duration", MPV_FORMAT_DOUBLE, &value) < 0)
        return 0;
    return value;
}

double LumraPlayer::Clock() const
{
    double value = 0;
    if (!m_mpv || m_library->getProperty(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &value) < 0)
        return 0;
    return value;
}

qint64 LumraPlayer::droppedFrames() const
{
    int64_t output = 0;
    int64_t decoder = 0;
    if (!m_mpv || m_library->getProperty(m_mpv, "frame-drop-count", MPV_FORMAT_INT64, &output) < 0
        || m_library->getProperty(m_mpv, "decoder-frame-drop-count", MPV_FORMAT_INT64, &decoder)
               < 0)
        return -1;
    return qint64(output + decoder);
}

void LumraPlayer::Seek(double seconds)
{
    if (!m_mpv)
        return;
    if (seconds <= 0 && m_opening) {
        // The very start is loaded again: FFmpeg's HLS reader refuses a seek there once it
        // has left the player's cache, and playback would go on where it was.
        m_atEnd = false;
        loadFile();
        return;
    }
    const QByteArray target = QByteArray::number(qMax(0.0, seconds), 'f', 3);
    const char *args[] = {"seek", target.constData(), "absolute", nullptr};
    m_library->commandAsync(m_mpv, 0, args);
}

void LumraPlayer::SetVolume(int volume)
{
    if (!m_mpv)
        return;
    double value = qBound(0, volume, 100);
    m_library->setProperty(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value);
}

bool LumraPlayer::TogglePause()
{
    if (m_atEnd && m_opening) {
        Seek(0);
        // After the new load: unpaused at the old end, the old lesson would pause itself again.
        setFlag("pause", false);
        return false;
    }
    const bool paused = !flag("pause");
    setFlag("pause", paused);
    return paused;
}

bool LumraPlayer::ToggleMute()
{
    const bool muted = !flag("mute");
    setFlag("mute", muted);
    return muted;
}

void LumraPlayer::SetSpeed(double speed)
{
    if (!m_mpv)
        return;
    double value = qBound(0.25, speed, 4.0);
    m_library->setProperty(m_mpv, "speed", MPV_FORMAT_DOUBLE, &value);
}

double LumraPlayer::speed() const
{
    double value = 1;
    if (!m_mpv || m_library->getProperty(m_mpv, "speed", MPV_FORMAT_DOUBLE, &value) < 0)
        return 1;
    return value;
}

void LumraPlayer::SetOsdMessage(const QString &text)
{
    if (m_mpv)
        m_library->setPropertyString(m_mpv, "osd-msg1", text.toUtf8().constData());
}

void LumraPlayer::ShowOsdNotice(const QString &text, int durationMs)
{
    if (!m_mpv)
        return;
    const QByteArray line = text.toUtf8();
    const QByteArray duration = QByteArray::number(durationMs);
    const char *args[] = {"show-text", line.constData(), duration.constData(), nullptr};
    m_library->commandAsync(m_mpv, 0, args);
}

bool LumraPlayer::isPaused() const { return flag("pause"); }

bool LumraPlayer::isMuted() const { return flag("mute"); }

int LumraPlayer::volume() const
{
    double value = 0;
    if (!m_mpv || m_library->getProperty(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value) < 0)
        return 0;
    return qRound(value);
}

bool LumraPlayer::flag(const char *name) const
{
    int value = 0;
    if (!m_mpv || m_library->getProperty(m_mpv, name, MPV_FORMAT_FLAG, &value) < 0)
        return false;
    return value != 0;
}

void LumraPlayer::setFlag(const char *name, bool on)
{
    if (!m_mpv)
        return;
    int value = on ? 1 : 0;
    m_library->setProperty(m_mpv, name, MPV_FORMAT_FLAG, &value);
}

void LumraPlayer::wakeUp(void *context)
{
    // Any thread: only hand the work to the GUI thread, once per batch.
    auto *player = static_cast<LumraPlayer *>(context);
    if (!player->m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(player, "drainEvents", Qt::QueuedConnection);
}

void LumraPlayer::drainEvents()
{
    m_drainQueued = false;
    if (!m_mpv)
        return;
    // The start callback may close the window, which ends with this object deleted.
    QPointer<LumraPlayer> alive(this);
    while (alive && m_mpv) {
        mpv_event *event = m_library->waitEvent(m_mpv, 0);
        if (!event || event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
    if (alive)
        emit eventsHandled();
}

void LumraPlayer::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE: break;
    case MPV_EVENT_FILE_LOADED:
        if (m_opening)
            m_fileLoaded = true;
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        // The first one after loading is the start; later ones are finished seeks.
        if (m_fileLoaded && !m_startNotified) {
            m_startNotified = true;
            if (m_handler)
                m_handler->OnPlayStarted();
        }
        break;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        if (event.reply_userdata != EofReached || !property)
            break;
        const bool atEnd =
            property->format == MPV_FORMAT_FLAG && *static_cast<const int *>(property->data) != 0;
        const bool reached = atEnd && !m_atEnd;
        m_atEnd = atEnd;
        if (reached && m_opening && m_handler)
            m_handler->OnPlayEnded();
        break;
    }
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (m_opening && end && (m_entryId < 0 || end->playlist_entry_id == m_entryId)) {
            m_endReason = end->reason;
            m_fileEnded = true;
            if (end->reason == MPV_END_FILE_REASON_ERROR) {
                const QString line = QStringLiteral("playback failed: ")
                                     + QString::fromUtf8(m_library->errorString(end->error));
                m_openMessages << line;
                if (m_logHandler)
                    m_logHandler(line);
            }
        }
        break;
    }
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *message = static_cast<const mpv_event_log_message *>(event.data);
        if (!message)
            break;
        const QString line =
            QStringLiteral("[%1] %2: %3")
                .arg(QString::fromUtf8(message->prefix), QString::fromUtf8(message->level),
                     QString::fromUtf8(message->text).trimmed());
        if (m_opening) {
            m_openMessages << line;
            if (m_openMessages.size() > MaxOpenMessages)
                m_openMessages.removeFirst();
        }
        if (m_logHandler)
            m_logHandler(line);
        break;
    }
    default: break;
    }
}
