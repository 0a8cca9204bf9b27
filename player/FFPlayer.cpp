#include "player/FFPlayer.h"

#include "api/LearningProgress.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/Quit.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/AesCipher.h"
#include "download/StoreFolders.h"
#include "player/ClickableSlider.h"
#include "player/LumraPlayer.h"
#include "player/OfflinePlaylist.h"
#include "player/PlaybackSpeed.h"
#include "player/StreamErrorText.h"
#include "player/VideoSurface.h"
#include "player/WatchPositionStore.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>

namespace {

FFPlayer *currentWindow = nullptr;

const char *const kLoading = "正在加载";
const char *const kPaused = "暂停中";
const char *const kMissing = "视频文件不存在 ";
const char *const kUndecipherable = "课件文件无法解密，请删除后重新下载";
const char *const kPausedTitle = "[暂停中]-";
const char *const kSpeedNotice = "倍速 ";
const char *const kSpeedTip = "播放速度（[ 减慢，] 加快）";

QHBoxLayout *controlRow()
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(10);
    return row;
}

QSettings *settings()
{
    AppState *state = appState();
    return state ? state->settings.get() : nullptr;
}

// The volume the student left the last lesson at; full when unknown.
int storedVolume()
{
    bool ok = false;
    const int volume = Settings::text(settings(), SettingKeys::PlayerVolume).toInt(&ok);
    return ok && volume >= 0 && volume <= 100 ? volume : 100;
}

} // namespace

FFPlayer::FFPlayer(QWidget *parent)
    : ShadowWidget(parent)
{
    resize(900, 650);
    buildLayout();

    if (m_renderSurface)
        m_player = new LumraPlayer(*m_renderSurface, this);
    else
        m_player = new LumraPlayer(m_videoSurface->winId(), this);
    m_player->SetEventCallback(this);
    m_player->SetLogHandler([](const QString &line) { qDebug().noquote() << "player:" << line; });
    m_player->ReduceDelay(false);

    // Volume and speed as the student left them in the last lesson.
    m_volumeSlider->setValue(storedVolume());
    m_player->SetVolume(m_volumeSlider->value());
    m_speed = PlaybackSpeed::fromText(Settings::text(settings(), SettingKeys::PlayerSpeed));
    m_player->SetSpeed(m_speed);
    buildSpeedMenu();

    connect(m_playButton, &QPushButton::clicked, this, &FFPlayer::togglePause);
    connect(m_muteButton, &QPushButton::clicked, this, &FFPlayer::toggleMute);
    connect(m_volumeSlider, &ClickableSlider::ValueChangedSiganl, this, [this](int value) {
        if (!m_player)
            return;
        m_player->SetVolume(value);
        Settings::setText(settings(), SettingKeys::PlayerVolume, QString::number(value));
    });
    connect(m_progressSlider, &ClickableSlider::ValueChangedSiganl, this, [this](int value) {
        if (!m_player)
            return;
        m_player->Seek(value);
        m_lastPosition = value;
        // A drag is reported once, where it is let go.
        if (!m_progressSlider->isSliderDown())
            reportProgress(false);
    });
    connect(m_progressSlider, &QSlider::sliderReleased, this, [this] {
        if (m_player)
            reportProgress(false);
    });
    connect(m_fullScreenButton, &QPushButton::clicked, this, &FFPlayer::toggleFullScreen);
    connect(m_speedButton, &QPushButton::clicked, this, [this] {
        // Opened upwards from the button: the bar sits at the bottom of the screen.
        const QSize menu = m_speedMenu->sizeHint();
        m_speedMenu->popup(m_speedButton->mapToGlobal(QPoint(0, -menu.height())));
    });

    m_barTimer = new QTimer(this);
    m_barTimer->setSingleShot(true);
    m_barTimer->setInterval(ControlBarHideMs);
    connect(m_barTimer, &QTimer::timeout, this, &FFPlayer::hideIdleControlBar);
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    m_noticeTimer->setInterval(NoticeMs);
    connect(m_noticeTimer, &QTimer::timeout, this, [this] { setNotice(QString()); });

    currentWindow = this;
    setPlaybackStopper([] {
        if (currentWindow)
            currentWindow->stopPlayback();
    });
}

FFPlayer::~FFPlayer()
{
    if (currentWindow == this) {
        currentWindow = nullptr;
        setPlaybackStopper(nullptr);
    }
    // The player lets go of the video surface before the surface goes.
    delete m_player;
    m_player = nullptr;
}

FFPlayer *FFPlayer::current() { return currentWindow; }

void FFPlayer::buildLayout()
{
    m_titleBar->setObjectName(QStringLiteral("MainNavigateWidget"));
    m_titleBar->setAttribute(Qt::WA_StyledBackground);
    m_titleBar->setFixedHeight(30);
    m_body->setObjectName(QStringLiteral("FtpWidget"));
    m_body->setAttribute(Qt::WA_StyledBackground);
    m_layout->setStretchFactor(m_body, 1);

    if (LumraPlayer::wantsRenderApi() && VideoSurface::openGLAvailable()) {
        // libmpv draws into our OpenGL surface, and our messages go over its pictures.
        m_renderSurface = new VideoSurface(m_body);
        m_videoSurface = m_renderSurface;
    } else {
        // Without OpenGL: a native window of its own for the decoder to draw into, without
        // making the window's other children native. Its pictures cover our painting.
        m_videoSurface = new QWidget(m_body);
        m_videoSurface->setStyleSheet(QStringLiteral("background:black"));
        m_videoSurface->setAttribute(Qt::WA_StyledBackground);
        m_videoSurface->setAttribute(Qt::WA_DontCreateNativeAncestors);
        m_videoSurface->setAttribute(Qt::WA_NativeWindow);
    }
    m_videoSurface->installEventFilter(this);
    // Moves without a button pressed bring the control bar back in full screen: they pass
    // from the surface up to the window.
    m_videoSurface->setMouseTracking(true);
    setMouseTracking(true);

    m_controlBar = new QWidget(m_body);
    m_controlBar->setObjectName(QStringLiteral("MainNavigateWidget"));
    m_controlBar->setAttribute(Qt::WA_StyledBackground);
    m_controlBar->setFixedHeight(50);
    m_controlBar->hide();

    m_progressSlider = new ClickableSlider(Qt::Horizontal, m_controlBar);
    m_titleLabel = new QLabel(m_titleBar);
    m_titleLabel->setObjectName(QStringLiteral("lblContent14_B5BAC4"));
    // A long title is cut short to the room there is instead of widening the window.
    m_titleLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_titleLabel->installEventFilter(this);
    m_positionLabel = new QLabel(QStringLiteral("00:00:00"), m_controlBar);
    m_positionLabel->setObjectName(QStringLiteral("lblContent12_FFF"));
    m_lengthLabel = new QLabel(QStringLiteral("00:00:00"), m_controlBar);
    m_lengthLabel->setObjectName(QStringLiteral("lblContent12_FFF"));
    m_playButton =
        new ImageCheckButton(QStringLiteral("play"), QStringLiteral("play_h"),
                             QStringLiteral("spend"), QStringLiteral("spend_h"), m_controlBar);
    m_playButton->setFixedSize(24, 24);
    // Checked (the struck-out speaker) while muted.
    m_muteButton =
        new ImageCheckButton(QStringLiteral("voice"), QStringLiteral("voice_h"),
                             QStringLiteral("voice_j"), QStringLiteral("voice_j_h"), m_controlBar);
    m_muteButton->setFixedSize(24, 24);
    m_speedButton = new QPushButton(m_controlBar);
    m_speedButton->setObjectName(QStringLiteral("btnSpeed"));
    m_speedButton->setToolTip(QString::fromUtf8(kSpeedTip));
    m_speedButton->setCursor(Qt::PointingHandCursor);
    m_speedButton->setFixedHeight(22);
    m_volumeSlider = new ClickableSlider(Qt::Horizontal, m_controlBar);
    m_volumeSlider->setFixedWidth(100);
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setValue(100);
    m_fullScreenButton =
        new ImageButton(QStringLiteral("fullscreen"), QStringLiteral("fullscreen_h"), m_controlBar);
    m_fullScreenButton->setCheckable(true);
    m_fullScreenButton->setFixedSize(24, 24);
    // Space belongs to the window (pause), not to whichever button had the focus.
    for (QWidget *control :
         {static_cast<QWidget *>(m_playButton), static_cast<QWidget *>(m_muteButton),
          static_cast<QWidget *>(m_speedButton), static_cast<QWidget *>(m_fullScreenButton),
          static_cast<QWidget *>(m_progressSlider), static_cast<QWidget *>(m_volumeSlider)})
        control->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);

    m_titleLayout->insertWidget(0, m_titleLabel, 1);
    m_titleLayout->insertSpacing(0, 15);

    QHBoxLayout *timeRow = controlRow();
    timeRow->addWidget(m_positionLabel);
    timeRow->addWidget(m_progressSlider);
    timeRow->addWidget(m_lengthLabel);
    QHBoxLayout *buttonRow = controlRow();
    buttonRow->addWidget(m_playButton);
    buttonRow->addStretch();
    buttonRow->addWidget(m_speedButton);
    buttonRow->addWidget(m_muteButton);
    buttonRow->addWidget(m_volumeSlider);
    buttonRow->addWidget(m_fullScreenButton);
    auto *bar = new QVBoxLayout(m_controlBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(0);
    bar->addLayout(timeRow);
    bar->addLayout(buttonRow);
    bar->addStretch();

    auto *body = new QVBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(m_videoSurface, 1);
    body->addWidget(m_controlBar);
}

void FFPlayer::buildSpeedMenu()
{
    m_speedMenu = new QMenu(this);
    m_speedMenu->setObjectName(QStringLiteral("SpeedMenu"));
    auto *group = new QActionGroup(m_speedMenu);
    // Fastest on top, as the menu opens upwards from the button.
    const QVector<double> &speeds = PlaybackSpeed::choices();
    for (auto it = speeds.crbegin(); it != speeds.crend(); ++it) {
        const double speed = *it;
        QAction *action = m_speedMenu->addAction(PlaybackSpeed::label(speed));
        action->setCheckable(true);
        action->setData(speed);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, speed] { setSpeed(speed); });
    }
    m_speedButton->setText(PlaybackSpeed::label(m_speed));
    for (QAction *action : m_speedMenu->actions())
        action->setChecked(qFuzzyCompare(action->data().toDouble(), m_speed));
}

void FFPlayer::setSpeed(double speed)
{
    if (!m_player)
        return;
    m_speed = PlaybackSpeed::stepped(speed, 0);
    m_player->SetSpeed(m_speed);
    Settings::setText(settings(), SettingKeys::PlayerSpeed, PlaybackSpeed::text(m_speed));
    m_speedButton->setText(PlaybackSpeed::label(m_speed));
    for (QAction *action : m_speedMenu->actions())
        action->setChecked(qFuzzyCompare(action->data().toDouble(), m_speed));
    setNotice(QString::fromUtf8(kSpeedNotice) + PlaybackSpeed::label(m_speed));
}

QString FFPlayer::timeText(qint64 seconds)
{
    const qint64 s = qMax<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void FFPlayer::setCourseware(const Courseware *lesson)
{
    m_hasLesson = lesson != nullptr;
    m_lesson = lesson ? *lesson : Courseware();
    showTitle(m_lesson.title);
}

void FFPlayer::showTitle(const QString &title)
{
    m_title = title;
    setWindowTitle(title);
    m_titleLabel->setToolTip(title);
    elideTitle();
}

void FFPlayer::elideTitle()
{
    // Until it is laid out the label has no width of its own to cut the title to.
    const bool laidOut = m_titleLabel->isVisible();
    m_titleLabel->setText(laidOut ? m_titleLabel->fontMetrics().elidedText(m_title, Qt::ElideRight,
                                                                           m_titleLabel->width())
                                  : m_title);
}

void FFPlayer::setMessage(const QString &message)
{
    m_message = message;
    if (m_renderSurface) {
        m_renderSurface->setMessage(message);
    } else {
        m_videoSurface->update();
        // Once its pictures arrive, libmpv's window covers the surface: it writes the line.
        if (m_player)
            m_player->SetOsdMessage(message);
    }
}

void FFPlayer::setNotice(const QString &notice)
{
    m_notice = notice;
    if (m_renderSurface)
        m_renderSurface->setNotice(notice);
    else if (m_player && !notice.isEmpty())
        m_player->ShowOsdNotice(notice, NoticeMs);
    if (!notice.isEmpty())
        m_noticeTimer->start();
}

void FFPlayer::openUrl(const QString &address, const QString &header, const QString &cookie)
{
    if (!m_player || m_player->isOpen())
        return;
    m_player->SetHttpHeader(header.toUtf8());
    m_player->SetHttpCookie(cookie.toUtf8());
    m_source = address;
    m_online = true;
    setMessage(QString::fromUtf8(kLoading));
    finishPlayback(m_player->Open(address.toLocal8Bit()));
}

void FFPlayer::openLocal(const QString &folder)
{
    if (!m_player || m_player->isOpen())
        return;
    m_source = folder;
    m_online = false;
    setMessage(QString::fromUtf8(kLoading));

    AesCipher *cipher = localCipher();
    const QString base = folder + QLatin1Char('/');
    m_playlist =
        cipher ? cipher->decryptFileToBytes(base + QLatin1String(StoreFolders::playlistFileName))
               : QByteArray();
    while (m_playlist.endsWith('\0'))
        m_playlist.chop(1);
    if (m_playlist.isEmpty()) {
        fail(QString::fromUtf8(kMissing) + folder);
        return;
    }
    // Deciphered with another key (a store from another machine, a damaged file) the
    // playlist is noise; the player would only fail on it without saying why.
    if (!m_playlist.trimmed().startsWith("#EXTM3U")) {
        fail(QString::fromUtf8(kUndecipherable));
        return;
    }

    // The deciphered key lives in a private file (owner-only, random name) owned by the
    // window, and the playlist is pointed at it: a fixed name in the shared temporary folder
    // could be planted or held by someone else.
    // A lesson may have several keys ("00000.zx", "00001.zx", ...), each deciphered so.
    qDeleteAll(m_keyFiles);
    m_keyFiles.clear();
    QStringList keyPaths;
    for (int i = 0; i == 0 || QFileInfo::exists(base + StoreFolders::keyFileNameAt(i)); ++i) {
        QFile storedKey(base + StoreFolders::keyFileNameAt(i));
        if (!storedKey.open(QIODevice::ReadOnly)) {
            fail(QString::fromUtf8(kMissing) + folder);
            return;
        }
        auto *keyFile =
            new QTemporaryFile(QDir::tempPath() + QStringLiteral("/lumra-key-XXXXXX.zx"), this);
        m_keyFiles.append(keyFile);
        if (!keyFile->open()) {
            fail(QString::fromUtf8(kMissing) + folder);
            return;
        }
        keyFile->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        cipher->decryptDevice(&storedKey, keyFile);
        keyFile->flush();
        keyPaths.append(keyFile->fileName());
    }

    const QByteArray playlist = OfflinePlaylist::withKeyFiles(m_playlist, keyPaths);
    m_player->SetFormat("hls");
    finishPlayback(m_player->Open(playlist.constData(), playlist.size()));
}

void FFPlayer::fail(const QString &reason)
{
    m_failure = reason;
    setMessage(reason);
}

QString FFPlayer::offlineFailure() const
{
    for (const QByteArray &line : m_playlist.split('\n')) {
        const QByteArray segment = line.trimmed();
        if (segment.isEmpty() || segment.startsWith('#'))
            continue;
        const QFileInfo file(QDir(m_source), QFile::decodeName(segment));
        if (!file.exists())
            return QString::fromUtf8(kMissing) + m_source;
    }
    return QString::fromUtf8(kUndecipherable);
}

void FFPlayer::finishPlayback(PlayerErrorType result)
{
    m_lastResult = result;
    // Failed, or ended without a single picture: the user is told why.
    if (m_player && (result == PlayerFailed || (result == PlayerEnded && !m_player->hasStarted())))
        fail(m_online ? StreamErrorText::fromPlayerLog(m_player->openMessages())
                      : offlineFailure());
    if (m_started || m_lastPosition > 0) {
        if (result != PlayerEnded)
            reportProgress(false);
        else if (!m_endReported)
            reportProgress(true);
    }
    // A position read from a running clock counts even when the queued start notice has not
    // been handled yet (a busy machine can close the window first).
    if ((m_started || m_lastPosition > 0) && m_hasLesson && resumeEnabled()) {
        WatchPositionStore store(watchFolder());
        if (result == PlayerEnded)
            store.forget(m_lesson.courseId, m_lesson.id);
        else
            store.setPosition(m_lesson.courseId, m_lesson.id, m_lastPosition);
    }
    delete m_player;
    m_player = nullptr;
    emit ClosedSigan();
    // The key goes as soon as it is no longer read; destruction would remove it as well.
    qDeleteAll(m_keyFiles);
    m_keyFiles.clear();
}

QString FFPlayer::keyFilePath() const
{
    return m_keyFiles.isEmpty() ? QString() : m_keyFiles.first()->fileName();
}

void FFPlayer::stopPlayback()
{
    if (!m_player)
        return;
    rememberPosition();
    // No tick or late start notice from here on: the stopping player's clock reads 0, and
    // the position just remembered would be lost.
    m_stopping = true;
    if (m_tickTimer)
        m_tickTimer->stop();
    m_player->Stop();
}

void FFPlayer::reportProgress(bool watchedToEnd)
{
    LearningProgress *progress = learningProgress();
    if (!progress || !m_hasLesson)
        return;
    m_playedSinceReport = 0;
    if (watchedToEnd) {
        // The length is unknown when the window closed before the start notice was handled.
        const qint64 length = qMax(m_length, m_lastPosition);
        m_endReported = true;
        m_reportedPosition = length;
        progress->reportWatched(m_lesson, double(length));
    } else if (m_lastPosition != m_reportedPosition) {
        m_reportedPosition = m_lastPosition;
        progress->reportPosition(m_lesson, double(m_lastPosition));
    }
}

void FFPlayer::rememberPosition()
{
    if (m_player && (m_started || m_player->Clock() > 0))
        m_lastPosition = qint64(m_player->Clock());
}

QString FFPlayer::watchFolder() const
{
    const AppState *state = appState();
    return state && !state->userDataDir.isEmpty() ? state->userDataDir : QString();
}

bool FFPlayer::resumeEnabled() const
{
    const AppState *state = appState();
    return state && Settings::isOn(state->settings.get(), SettingKeys::WatchTime);
}

void FFPlayer::OnPlayStarted()
{
    QMetaObject::invokeMethod(this, "OnPlayStartedHandler", Qt::QueuedConnection);
}

void FFPlayer::OnPlayStartedHandler()
{
    // A late notice of a playback that has already ended, or is ending.
    if (!m_player || !m_player->isOpen() || m_stopping)
        return;
    m_started = true;
    setMessage(QString());
    m_playButton->setChecked(true);
    const qint64 length = qint64(m_player->Duration());
    m_progressSlider->setRange(0, int(qMin<qint64>(length, INT_MAX)));
    m_lengthLabel->setText(timeText(length));
    m_positionLabel->setText(timeText(0));
    m_lastPosition = 0;
    m_length = length;

    if (m_hasLesson && resumeEnabled()) {
        // Where this machine left the lesson, or where the service says the student got to
        // on another one, whichever is further.
        const double stored =
            qMax(WatchPositionStore(watchFolder()).position(m_lesson.courseId, m_lesson.id),
                 m_lesson.watchtimes.toDouble());
        const qint64 start = qint64(WatchPositionStore::resumePosition(stored, double(length)));
        if (start > 0) {
            m_player->Seek(double(start));
            m_progressSlider->setValue(int(start));
            m_positionLabel->setText(timeText(start));
            m_lastPosition = start;
        }
    }
    m_reportedPosition = m_lastPosition;

    if (!m_tickTimer) {
        m_tickTimer = new QTimer(this);
        connect(m_tickTimer, &QTimer::timeout, this, &FFPlayer::onTick);
        connect(this, &FFPlayer::ClosedSigan, m_tickTimer, &QTimer::stop);
    }
    m_tickTimer->start(TickMs);
    m_controlBar->show();
    if (isFullScreen())
        m_barTimer->start();
}

void FFPlayer::OnPlayEnded()
{
    QMetaObject::invokeMethod(this, "OnPlayEndedHandler", Qt::QueuedConnection);
}

void FFPlayer::OnPlayEndedHandler()
{
    if (!m_player || !m_player->isOpen() || !m_player->isAtEnd())
        return;
    // The last picture stays, paused; play starts the lesson again.
    m_playButton->setChecked(false);
    showSeekTarget(m_progressSlider->maximum());
    if (!m_endReported)
        reportProgress(true);
    if (isFullScreen()) {
        m_barTimer->stop();
        m_controlBar->show();
        m_videoSurface->unsetCursor();
    }
}

void FFPlayer::onTick()
{
    if (!m_player || m_stopping)
        return;
    const qint64 position = qint64(m_player->Clock());
    m_lastPosition = position;
    m_positionLabel->setText(timeText(position));
    if (m_playButton->isChecked()) {
        m_playedSinceReport += TickMs;
        if (m_playedSinceReport >= ReportEveryMs)
            reportProgress(false);
    }
    // Not under the student's hand while they drag the handle.
    if (position < m_progressSlider->maximum() && !m_progressSlider->isSliderDown())
        m_progressSlider->setValue(int(position));
}

void FFPlayer::showSeekTarget(qint64 seconds)
{
    m_progressSlider->setValue(int(qMin<qint64>(seconds, INT_MAX)));
    m_positionLabel->setText(timeText(seconds));
    m_lastPosition = seconds;
}

void FFPlayer::seekBy(int seconds)
{
    if (!m_player || !m_started)
        return;
    const qint64 length = qint64(m_player->Duration());
    const qint64 target = qBound<qint64>(0, qint64(m_player->Clock()) + seconds, length);
    m_player->Seek(double(target));
    showSeekTarget(target);
    reportProgress(false);
}

void FFPlayer::togglePause()
{
    if (!m_player)
        return;
    const bool restarting = m_player->isAtEnd();
    const bool paused = m_player->TogglePause();
    if (restarting) {
        showSeekTarget(0);
        m_endReported = false;
    }
    m_playButton->setChecked(!paused);
    if (paused) {
        rememberPosition();
        reportProgress(false);
    }
    setMessage(paused ? QString::fromUtf8(kPaused) : QString());
    if (m_hasLesson)
        showTitle(paused ? QString::fromUtf8(kPausedTitle) + m_lesson.title : m_lesson.title);
}

void FFPlayer::toggleMute()
{
    // The button shows the player's state, struck out while muted.
    m_muteButton->setChecked(m_player ? m_player->ToggleMute() : false);
}

void FFPlayer::toggleFullScreen()
{
    const bool wasFullScreen = isFullScreen();
    if (wasFullScreen) {
        showNormal();
        m_maxButton->setChecked(false);
    } else {
        showFullScreen();
    }
    m_barTimer->stop();
    m_videoSurface->unsetCursor();
    m_titleBar->setVisible(wasFullScreen);
    m_controlBar->setVisible(wasFullScreen);
    m_fullScreenButton->setChecked(!wasFullScreen);
}

void FFPlayer::revealControlBar()
{
    m_controlBar->show();
    m_videoSurface->unsetCursor();
    m_barTimer->start();
}

void FFPlayer::hideIdleControlBar()
{
    if (!isFullScreen() || !m_player)
        return;
    // Not from under the mouse, nor while the speed menu is open or the lesson has ended.
    if (m_controlBar->underMouse() || m_speedMenu->isVisible()) {
        m_barTimer->start();
        return;
    }
    if (m_player->isAtEnd())
        return;
    m_controlBar->hide();
    m_videoSurface->setCursor(Qt::BlankCursor);
}

void FFPlayer::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (isFullScreen())
            toggleFullScreen();
        event->accept();
        break;
    case Qt::Key_Space:
        togglePause();
        event->accept();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        seekBy(event->key() == Qt::Key_Left ? -SeekStepSeconds : SeekStepSeconds);
        event->accept();
        break;
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight:
        setSpeed(PlaybackSpeed::stepped(m_speed, event->key() == Qt::Key_BracketLeft ? -1 : 1));
        event->accept();
        break;
    default: event->ignore(); break;
    }
}

bool FFPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_videoSurface) {
        if (event->type() == QEvent::Paint && !m_renderSurface && !m_message.isEmpty()) {
            // The fallback surface; the OpenGL one paints its message after each picture.
            QPainter painter(m_videoSurface);
            VideoSurface::paintMessage(painter, m_message, height() - 90);
        } else if (event->type() == QEvent::MouseButtonDblClick
                   && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            toggleFullScreen();
            return true;
        }
    } else if (watched == m_titleLabel && event->type() == QEvent::Resize) {
        elideTitle();
    }
    return ShadowWidget::eventFilter(watched, event);
}

void FFPlayer::mouseMoveEvent(QMouseEvent *event)
{
    if (isFullScreen() && m_started && m_player)
        revealControlBar();
    ShadowWidget::mouseMoveEvent(event);
}

void FFPlayer::showEvent(QShowEvent *event)
{
    setAttribute(Qt::WA_Mapped);
    if (!m_placed) {
        m_placed = true;
        placeOnScreen();
    }
    ShadowWidget::showEvent(event);
}

void FFPlayer::placeOnScreen()
{
    // Over the window the lesson was chosen in (the active one), else mid-screen; never
    // larger than the screen's free area, so the control bar stays on it.
    QWidget *anchor = QApplication::activeWindow();
    if (anchor == this || (anchor && (!anchor->isVisible() || anchor->isMinimized())))
        anchor = nullptr;
    QScreen *screen = anchor ? anchor->screen() : QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    resize(size().boundedTo(area.size()).expandedTo(minimumSizeHint()));
    QRect frame(QPoint(), size());
    frame.moveCenter(anchor ? anchor->frameGeometry().center() : area.center());
    frame.moveLeft(qMax(area.left(), qMin(frame.left(), area.right() + 1 - frame.width())));
    frame.moveTop(qMax(area.top(), qMin(frame.top(), area.bottom() + 1 - frame.height())));
    move(frame.topLeft());
}

void FFPlayer::closeEvent(QCloseEvent *event)
{
    // Before the close is accepted: Qt destroys the native window right after, and the
    // decoder must have let go of it by then.
    stopPlayback();
    ShadowWidget::closeEvent(event);
}
