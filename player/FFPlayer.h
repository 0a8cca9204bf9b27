#pragma once

#include "model/Courseware.h"
#include "player/LumraPlayerCallbackHandler.h"
#include "player/PlayerErrorType.h"
#include "widgets/ShadowWidget.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ClickableSlider;
class ImageButton;
class ImageCheckButton;
class LumraPlayer;
class QLabel;
class QMenu;
class QPushButton;
class QTemporaryFile;
class QTimer;
class VideoSurface;

// The window one lesson plays in: a black video surface, the lesson title, a control bar
// (play/pause, progress, times, speed, mute, volume, full screen) and an on-video message
// line. At most one exists at a time (current()); the program's quit stops its playback.
// The lesson's end keeps the window with its last picture until the user closes it.
//
// Keys: Space play/pause, Left/Right 10 s back/forward, [ and ] slower/faster, Escape leaves
// full screen. Speed and volume are kept in the settings for the next lesson.
class FFPlayer : public ShadowWidget, public LumraPlayerCallbackHandler
{
    Q_OBJECT

public:
    static constexpr int TickMs = 1000;
    static constexpr int SeekStepSeconds = 10;
    // In full screen the control bar hides after the mouse has rested this long.
    static constexpr int ControlBarHideMs = 3000;
    static constexpr int NoticeMs = 1500;
    // The watch time goes to the service after this much playback, and on pause, seek, the
    // lesson's end and close.
    static constexpr int ReportEveryMs = 60000;

    explicit FFPlayer(QWidget *parent = nullptr);
    ~FFPlayer() override;

    // The window that exists now, or null.
    static FFPlayer *current();
    // "hh:mm:ss"; hours go on past 23 instead of wrapping.
    static QString timeText(qint64 seconds);

    // The window keeps its own copy: the list the lesson came from may change meanwhile.
    void setCourseware(const Courseware *lesson);
    // Both block until playback has ended (the window closed, the lesson at its end or the
    // program quitting).
    void openUrl(const QString &address, const QString &header, const QString &cookie);
    void openLocal(const QString &folder);
    // Ends playback as closing the window does.
    void stopPlayback();
    // Sets the speed, keeps it in the settings for the next lesson and says so on the video.
    void setSpeed(double speed);

    void OnPlayStarted() override;
    void OnPlayEnded() override;

    LumraPlayer *player() const { return m_player; }
    QString message() const { return m_message; }
    QString source() const { return m_source; }
    // The passing line over the video (the speed just chosen); empty when none shows.
    QString notice() const { return m_notice; }
    // The deciphered (first) key of an offline lesson while it plays; empty otherwise.
    QString keyFilePath() const;
    PlayerErrorType lastResult() const { return m_lastResult; }
    // Why the lesson could not be played (also the on-video message); empty when it played
    // or the user stopped it.
    QString failureText() const { return m_failure; }

signals:
    void ClosedSigan();

public slots:
    void OnPlayStartedHandler();
    void OnPlayEndedHandler();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildLayout();
    void buildSpeedMenu();
    void setMessage(const QString &message);
    void setNotice(const QString &notice);
    void showTitle(const QString &title);
    void elideTitle();
    void placeOnScreen();
    void togglePause();
    void toggleMute();
    void seekBy(int seconds);
    void showSeekTarget(qint64 seconds);
    void toggleFullScreen();
    void revealControlBar();
    void hideIdleControlBar();
    void onTick();
    void finishPlayback(PlayerErrorType result);
    void fail(const QString &reason);
    // An offline lesson that would not play: files gone, or files that do not decipher.
    QString offlineFailure() const;
    void rememberPosition();
    // Hands the position (or, at the end, the watched lesson) to the learning progress.
    void reportProgress(bool watchedToEnd);
    QString watchFolder() const;
    bool resumeEnabled() const;

    QWidget *m_videoSurface = nullptr;
    QWidget *m_controlBar = nullptr;
    ClickableSlider *m_progressSlider = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_positionLabel = nullptr;
    QLabel *m_lengthLabel = nullptr;
    ImageCheckButton *m_playButton = nullptr;
    QPushButton *m_speedButton = nullptr;
    QMenu *m_speedMenu = nullptr;
    ImageCheckButton *m_muteButton = nullptr;
    ClickableSlider *m_volumeSlider = nullptr;
    ImageButton *m_fullScreenButton = nullptr;
    // The OpenGL surface when OpenGL starts; null for the native-window fallback.
    VideoSurface *m_renderSurface = nullptr;
    LumraPlayer *m_player = nullptr;
    QString m_source;
    bool m_online = false;
    QString m_message;
    QString m_failure;
    QString m_notice;
    QString m_title;
    Courseware m_lesson;
    bool m_hasLesson = false;
    QByteArray m_playlist;

    QTimer *m_tickTimer = nullptr;
    QList<QTemporaryFile *> m_keyFiles; // deciphered keys of an offline lesson, the first first
    QTimer *m_barTimer = nullptr;
    QTimer *m_noticeTimer = nullptr;
    double m_speed = 1.0;
    bool m_placed = false;
    bool m_started = false;
    bool m_stopping = false;
    qint64 m_lastPosition = 0;
    qint64 m_length = 0;
    int m_playedSinceReport = 0; // ms of playback since the last report
    qint64 m_reportedPosition = -1;
    bool m_endReported = false;
    PlayerErrorType m_lastResult = PlayerStopped;
};
