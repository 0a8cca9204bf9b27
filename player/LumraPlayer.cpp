#include "player/LumraPlayer.h"

#include "player/LumraPlayerCallbackHandler.h"
#include "player/MpvLibrary.h"

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
#include <vector>

namespace {

QByteArray environmentOr(const char *name, const QByteArray &fallback)
{
    const QByteArray value = qgetenv(name).trimmed();
    return value.isEmpty() ? fallback : value;
}

// Attributes of a cookie line that describe the cookie instead of being sent.
bool isCookieAttribute(const QByteArray &name)
{
    static const QList<QByteArray> attributes{"path", "domain", "expires", "max-age", "secure",
                                              "httponly", "samesite"};
    return attributes.contains(name.trimmed().toLower());
}

} // namespace

LumraPlayer::LumraPlayer(WId window, QObject *parent)
    : LumraPlayer(window, MpvLibrary::instance(), parent)
{
}

LumraPlayer::LumraPlayer(WId window, const MpvLibrary &library, QObject *parent)
    : QObject(parent)
    , m_library(&library)
{
    if (!library.isLoaded()) {
        m_unavailableReason = QStringLiteral("libmpv could not be loaded: ") + library.failure();
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
    if (window) {
        int64_t wid = static_cast<int64_t>(window);
        m_library->setOption(m_mpv, "wid", MPV_FORMAT_INT64, &wid);
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
    set("keep-open", "no");
    set("terminal", "no");
    // A refused key must end the open as an error, not turn the playlist into a file list.
    set("demuxer", "lavf");
    set("audio-fallback-to-null", "yes");
    // Never a fallback that opens a window of its own.
    set("vo", environmentOr("LUMRA_MPV_VO", defaultVideoOutput()));
    set("gpu-api", "opengl");
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
    m_library->observeProperty(m_mpv, 0, "idle-active", MPV_FORMAT_FLAG);
    m_library->setWakeupCallback(m_mpv, &LumraPlayer::wakeUp, this);
}

LumraPlayer::~LumraPlayer()
{
    if (!m_mpv)
        return;
    m_library->setWakeupCallback(m_mpv, nullptr, nullptr);
    m_library->terminateDestroy(m_mpv);
    m_mpv = nullptr;
}

QByteArray LumraPlayer::defaultVideoOutput()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
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
    std::vector<QByteArray> texts;
    texts.reserve(size_t(fields.size()));
    for (const QString &field : fields)
        texts.push_back(field.toUtf8());
    std::vector<mpv_node> items(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        items[i].format = MPV_FORMAT_STRING;
        items[i].u.string = const_cast<char *>(texts[i].constData());
    }
    mpv_node_list list{int(items.size()), items.data(), nullptr};
    mpv_node node;
    node.format = MPV_FORMAT_NODE_ARRAY;
    node.u.list = &list;
    m_library->setProperty(m_mpv, "http-header-fields", MPV_FORMAT_NODE, &node);
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
    m_playlistFile = std::make_unique<QTemporaryFile>(QDir::tempPath()
                                                      + QStringLiteral("/lumra-playlist-XXXXXX.m3u8"));
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

    // Per-file options: they apply to this lesson only.
    std::vector<std::pair<QByteArray, QByteArray>> options;
    if (local) {
        // The stored playlist names its key by a file whose extension FFmpeg does not trust.
        options.emplace_back("demuxer-lavf-o", "allowed_extensions=ALL");
        if (m_format == "hls")
            options.emplace_back("demuxer-lavf-format", "hls");
    }

    std::vector<char *> keys;
    std::vector<mpv_node> values(options.size());
    for (size_t i = 0; i < options.size(); ++i) {
        keys.push_back(options[i].first.data());
        values[i].format = MPV_FORMAT_STRING;
        values[i].u.string = options[i].second.data();
    }
    mpv_node_list optionList{int(options.size()), values.data(), keys.data()};

    QByteArray name("loadfile"), replace("replace");
    QByteArray url = path;
    char *argKeys[] = {const_cast<char *>("name"), const_cast<char *>("url"),
                       const_cast<char *>("flags"), const_cast<char *>("options")};
    mpv_node args[4];
    args[0].format = MPV_FORMAT_STRING;
    args[0].u.string = name.data();
    args[1].format = MPV_FORMAT_STRING;
    args[1].u.string = url.data();
    args[2].format = MPV_FORMAT_STRING;
    args[2].u.string = replace.data();
    args[3].format = MPV_FORMAT_NODE_MAP;
    args[3].u.list = &optionList;
    mpv_node_list argList{4, args, argKeys};
    mpv_node command;
    command.format = MPV_FORMAT_NODE_MAP;
    command.u.list = &argList;

    mpv_node result;
    if (m_library->commandNode(m_mpv, &command, &result) < 0) {
        m_opening = false;
        return PlayerFailed;
    }
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0
                && result.u.list->values[i].format == MPV_FORMAT_INT64)
                m_entryId = result.u.list->values[i].u.int64;
        }
    }
    m_library->freeNodeContents(&result);

    // Timers, input and close events keep flowing while the lesson plays.
    if (!waitFor([this] { return playbackOver(); }, -1)) {
        // The loop was ended from outside (the program quits): let go of the window anyway.
        m_library->commandString(m_mpv, "stop");
        waitFor([this] { return playbackOver(); }, StopTimeoutMs);
    }
    m_opening = false;
    switch (m_endReason) {
    case MPV_END_FILE_REASON_EOF:
        return PlayerEnded;
    case MPV_END_FILE_REASON_STOP:
    case MPV_END_FILE_REASON_QUIT:
        return PlayerStopped;
    default:
        return PlayerFailed;
    }
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

void LumraPlayer::Stop()
{
    if (!m_mpv)
        return;
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

void LumraPlayer::Seek(double seconds)
{
    if (!m_mpv)
        return;
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

bool LumraPlayer::isPaused() const
{
    return flag("pause");
}

bool LumraPlayer::isMuted() const
{
    return flag("mute");
}

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
    case MPV_EVENT_START_FILE:
        break;
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
        const QString line = QStringLiteral("[%1] %2: %3")
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
    default:
        break;
    }
}
