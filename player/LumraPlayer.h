#pragma once

#include "player/PlayerErrorType.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <qwindowdefs.h>

#include <atomic>
#include <functional>
#include <memory>

class LumraPlayerCallbackHandler;
class MpvLibrary;
class MpvRenderHost;
class QTemporaryFile;
struct mpv_event;
struct mpv_handle;

// Plays one lesson at a time over libmpv. Open blocks and runs a nested event loop until
// Stop is called (the end of the lesson keeps its last picture and waits); every other
// operation may be called from inside that loop. All calls on the GUI thread.
//
// libmpv is loaded when the first player is made, not at program start. Without it (or
// when it cannot be set up) the player is unavailable: Open logs why and answers
// PlayerUnavailable.
//
// Pictures go to a render host (libmpv's render API into our own OpenGL surface, "vo=libmpv")
// or, as a fallback, into a native window given by its id ("gpu,x11" on X11, none
// elsewhere). LUMRA_MPV_VO picks another output: "null" draws nothing (tests), any other
// value asks for the native window (see wantsRenderApi). LUMRA_MPV_AO picks the sound output.
class LumraPlayer : public QObject
{
    Q_OBJECT

public:
    static constexpr int StopTimeoutMs = 5000;
    // How long an open waits for a just shown render host to be drawn for the first time.
    static constexpr int HostWaitMs = 5000;
    static constexpr int MaxOpenMessages = 50;

    // Into the native window (0: nowhere).
    explicit LumraPlayer(WId window, QObject *parent = nullptr);
    // Over a library of the caller's, which must outlive the player.
    LumraPlayer(WId window, const MpvLibrary &library, QObject *parent = nullptr);
    // Through the render API into the host, which must outlive the player.
    explicit LumraPlayer(MpvRenderHost &host, QObject *parent = nullptr);
    ~LumraPlayer() override;

    void SetEventCallback(LumraPlayerCallbackHandler *handler) { m_handler = handler; }
    void SetLogHandler(std::function<void(const QString &)> handler)
    {
        m_logHandler = std::move(handler);
    }
    // true trades buffering for a quicker start.
    void ReduceDelay(bool reduce);
    // "Host:NAME;" and "keys=VALUE; path=/; domain=D;": sent with every request of the stream.
    void SetHttpHeader(const QByteArray &headerLine) { m_headerLine = headerLine; }
    void SetHttpCookie(const QByteArray &cookieLine) { m_cookieLine = cookieLine; }
    // "hls": the next in-memory Open holds an HLS playlist.
    void SetFormat(const QByteArray &format) { m_format = format; }

    // A stream address in the local 8-bit encoding.
    PlayerErrorType Open(const QByteArray &address);
    // A playlist held in memory (trailing NUL padding is ignored); it names its segments and
    // key by local paths.
    PlayerErrorType Open(const char *data, int length);

    double Duration() const;
    double Clock() const;
    // Frames dropped so far, by the decoder and at the output (-1 when unknown).
    qint64 droppedFrames() const;
    // To 0 (or before): the lesson is loaded again from its start.
    void Seek(double seconds);
    void SetVolume(int volume);
    // At the end of the lesson, playing starts it again from the beginning.
    bool TogglePause();
    bool ToggleMute();
    // Playback speed, 1.0 normal; the pitch of the voice is kept.
    void SetSpeed(double speed);
    // libmpv's own text over the picture, for the native-window fallback where our widgets
    // are covered by libmpv's window: a lasting line (empty clears it) and a passing one.
    void SetOsdMessage(const QString &text);
    void ShowOsdNotice(const QString &text, int durationMs);
    // Ends a running Open and waits (at most StopTimeoutMs) until the video output has let
    // go of the window, so the window may be destroyed right after.
    void Stop();

    bool isAvailable() const { return m_mpv != nullptr; }
    bool isOpen() const { return m_opening; }
    int openCount() const { return m_openCount; }
    // Whether the last Open got as far as playing, and the warnings and errors the library
    // and its demuxers logged meanwhile (the last ones, oldest first): why it failed.
    bool hasStarted() const { return m_startNotified; }
    QStringList openMessages() const { return m_openMessages; }
    bool isPaused() const;
    bool isMuted() const;
    int volume() const;
    double speed() const;
    // The lesson has played to its end and holds its last picture.
    bool isAtEnd() const { return m_atEnd; }
    // The header lines the stream's requests carry, made from the two lines above.
    static QStringList headerFields(const QByteArray &headerLine, const QByteArray &cookieLine);
    // Whether pictures should go through the render API: unless LUMRA_MPV_VO names an
    // output that draws into a window of its own.
    static bool wantsRenderApi();
    // The native-window output used when LUMRA_MPV_VO is not set.
    static QByteArray defaultVideoOutput();

signals:
    // Emitted after each batch of events; waiting loops check their condition on it.
    void eventsHandled();

private:
    void setUp(WId window, MpvRenderHost *host);
    Q_INVOKABLE void drainEvents();
    static void wakeUp(void *context);
    void handleEvent(const mpv_event &event);
    PlayerErrorType openPath(const QByteArray &path, bool local);
    // (Re)loads m_path from its start; false when libmpv refuses the command.
    bool loadFile();
    PlayerErrorType reportUnavailable() const;
    bool playbackOver() const;
    // Runs a local event loop until the condition holds; false when the time ran out or
    // the loop was ended from outside (the program quitting).
    bool waitFor(const std::function<bool()> &condition, int timeoutMs);
    // Waits (at most HostWaitMs) while the render host is not ready; false when stopped.
    bool waitForHost();
    void applyHeaderFields(const QStringList &fields);
    bool flag(const char *name) const;
    void setFlag(const char *name, bool on);

    const MpvLibrary *m_library = nullptr;
    mpv_handle *m_mpv = nullptr;
    MpvRenderHost *m_host = nullptr;
    QString m_unavailableReason;
    LumraPlayerCallbackHandler *m_handler = nullptr;
    std::function<void(const QString &)> m_logHandler;
    QByteArray m_headerLine;
    QByteArray m_cookieLine;
    QByteArray m_format;
    QByteArray m_path;
    bool m_local = false;
    std::unique_ptr<QTemporaryFile> m_playlistFile;
    QStringList m_openMessages;
    std::atomic_bool m_drainQueued{false};
    qint64 m_entryId = -1;
    int m_endReason = -1;
    int m_openCount = 0;
    bool m_opening = false;
    bool m_waitingForHost = false;
    bool m_hostWaitStopped = false;
    bool m_fileLoaded = false;
    bool m_startNotified = false;
    bool m_fileEnded = false;
    bool m_atEnd = false;
    bool m_stoppedAtEnd = false;
};
