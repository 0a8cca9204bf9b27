#include "player/FFPlayer.h"

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
#include "player/StreamErrorText.h"
#include "player/WatchPositionStore.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
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

QHBoxLayout *controlRow()
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(10);
    return row;
}

} // namespace

FFPlayer::FFPlayer(QWidget *parent)
    : ShadowWidget(parent)
{
    resize(900, 650);
    buildLayout();

    m_player = new LumraPlayer(m_videoSurface->winId(), this);
    m_player->SetEventCallback(this);
    m_player->SetLogHandler([](const QString &line) { qDebug().noquote() << "player:" << line; });
    m_player->ReduceDelay(false);

    connect(m_playButton, &QPushButton::clicked, this, &FFPlayer::togglePause);
    connect(m_muteButton, &QPushButton::clicked, this, [this] {
        if (m_player)
            m_player->ToggleMute();
    });
    connect(m_volumeSlider, &ClickableSlider::ValueChangedSiganl, this, [this](int value) {
        if (m_player)
            m_player->SetVolume(value);
    });
    connect(m_progressSlider, &ClickableSlider::ValueChangedSiganl, this, [this](int value) {
        if (m_player)
            m_player->Seek(value);
    });
    connect(m_fullScreenButton, &QPushButton::clicked, this, &FFPlayer::toggleFullScreen);

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

FFPlayer *FFPlayer::current()
{
    return currentWindow;
}

void FFPlayer::buildLayout()
{
    m_titleBar->setObjectName(QStringLiteral("MainNavigateWidget"));
    m_titleBar->setAttribute(Qt::WA_StyledBackground);
    m_titleBar->setFixedHeight(30);
    m_body->setObjectName(QStringLiteral("FtpWidget"));
    m_body->setAttribute(Qt::WA_StyledBackground);
    m_layout->setStretchFactor(m_body, 1);

    m_videoSurface = new QWidget(m_body);
    m_videoSurface->setStyleSheet(QStringLiteral("background:black"));
    m_videoSurface->setAttribute(Qt::WA_StyledBackground);
    // A native window of its own for the decoder to draw into, without making the
    // window's other children native.
    m_videoSurface->setAttribute(Qt::WA_DontCreateNativeAncestors);
    m_videoSurface->setAttribute(Qt::WA_NativeWindow);
    m_videoSurface->installEventFilter(this);

    m_controlBar = new QWidget(m_body);
    m_controlBar->setObjectName(QStringLiteral("MainNavigateWidget"));
    m_controlBar->setAttribute(Qt::WA_StyledBackground);
    m_controlBar->setFixedHeight(50);
    m_controlBar->hide();

    m_progressSlider = new ClickableSlider(Qt::Horizontal, m_controlBar);
    m_titleLabel = new QLabel(m_titleBar);
    m_titleLabel->setObjectName(QStringLiteral("lblContent14_B5BAC4"));
    m_positionLabel = new QLabel(QStringLiteral("00:00:00"), m_controlBar);
    m_positionLabel->setObjectName(QStringLiteral("lblContent12_FFF"));
    m_lengthLabel = new QLabel(QStringLiteral("00:00:00"), m_controlBar);
    m_lengthLabel->setObjectName(QStringLiteral("lblContent12_FFF"));
    m_playButton = new ImageCheckButton(QStringLiteral("play"), QStringLiteral("play_h"),
                                        QStringLiteral("spend"), QStringLiteral("spend_h"), m_controlBar);
    m_playButton->setFixedSize(24, 24);
    m_muteButton = new ImageButton(QStringLiteral("voice"), QStringLiteral("voice_h"), m_controlBar);
    m_muteButton->setFixedSize(24, 24);
    m_volumeSlider = new ClickableSlider(Qt::Horizontal, m_controlBar);
    m_volumeSlider->setFixedWidth(100);
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setValue(100);
    m_fullScreenButton = new ImageButton(QStringLiteral("fullscreen"), QStringLiteral("fullscreen_h"),
                                         m_controlBar);
    m_fullScreenButton->setCheckable(true);
    m_fullScreenButton->setFixedSize(24, 24);
    // Space belongs to the window (pause), not to whichever button had the focus.
    for (QWidget *control : {static_cast<QWidget *>(m_playButton), static_cast<QWidget *>(m_muteButton),
                             static_cast<QWidget *>(m_fullScreenButton),
                             static_cast<QWidget *>(m_progressSlider), static_cast<QWidget *>(m_volumeSlider)})
        control->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);

    m_titleLayout->insertWidget(0, m_titleLabel);
    m_titleLayout->insertSpacing(0, 15);

    QHBoxLayout *timeRow = controlRow();
    timeRow->addWidget(m_positionLabel);
    timeRow->addWidget(m_progressSlider);
    timeRow->addWidget(m_lengthLabel);
    QHBoxLayout *buttonRow = controlRow();
    buttonRow->addWidget(m_playButton);
    buttonRow->addStretch();
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
    m_titleLabel->setText(m_lesson.title);
    setWindowTitle(m_lesson.title);
}

void FFPlayer::setMessage(const QString &message)
{
    m_message = message;
    m_videoSurface->update();
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
    m_playlist = cipher ? cipher->decryptFileToBytes(base + QLatin1String(StoreFolders::playlistFileName)) : QByteArray();
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
        auto *keyFile = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/lumra-key-XXXXXX.zx"), this);
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
        fail(m_online ? StreamErrorText::fromPlayerLog(m_player->openMessages()) : offlineFailure());
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
    m_player->Stop();
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
    // A late notice of a playback that has already ended.
    if (!m_player || !m_player->isOpen())
        return;
    m_started = true;
    setMessage(QString());
    m_playButton->setChecked(true);
    const qint64 length = qint64(m_player->Duration());
    m_progressSlider->setRange(0, int(qMin<qint64>(length, INT_MAX)));
    m_lengthLabel->setText(timeText(length));
    m_positionLabel->setText(timeText(0));
    m_lastPosition = 0;

    if (m_hasLesson && resumeEnabled()) {
        const double stored = WatchPositionStore(watchFolder()).position(m_lesson.courseId, m_lesson.id);
        const qint64 start = qint64(WatchPositionStore::resumePosition(stored, double(length)));
        if (start > 0) {
            m_player->Seek(double(start));
            m_progressSlider->setValue(int(start));
            m_positionLabel->setText(timeText(start));
            m_lastPosition = start;
        }
    }

    if (!m_tickTimer) {
        m_tickTimer = new QTimer(this);
        connect(m_tickTimer, &QTimer::timeout, this, &FFPlayer::onTick);
        connect(this, &FFPlayer::ClosedSigan, m_tickTimer, &QTimer::stop);
    }
    m_tickTimer->start(TickMs);
    m_controlBar->show();
}

void FFPlayer::onTick()
{
    if (!m_player)
        return;
    const qint64 position = qint64(m_player->Clock());
    m_lastPosition = position;
    m_positionLabel->setText(timeText(position));
    if (position < m_progressSlider->maximum())
        m_progressSlider->setValue(int(position));
}

void FFPlayer::togglePause()
{
    if (!m_player)
        return;
    const bool paused = m_player->TogglePause();
    m_playButton->setChecked(!paused);
    setMessage(paused ? QString::fromUtf8(kPaused) : QString());
    if (m_hasLesson) {
        const QString title = paused ? QString::fromUtf8(kPausedTitle) + m_lesson.title : m_lesson.title;
        m_titleLabel->setText(title);
        setWindowTitle(title);
    }
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
    m_titleBar->setVisible(wasFullScreen);
    m_controlBar->setVisible(wasFullScreen);
    m_fullScreenButton->setChecked(!wasFullScreen);
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
    default:
        event->ignore();
        break;
    }
}

bool FFPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_videoSurface) {
        if (event->type() == QEvent::Paint && !m_message.isEmpty()) {
            QPainter painter(m_videoSurface);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.setPen(Qt::white);
            painter.setFont(QFont(QStringLiteral("微软雅黑"), 9));
            painter.drawText(QPoint(15, height() - 90), m_message);
        } else if (event->type() == QEvent::MouseButtonDblClick
                   && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            toggleFullScreen();
            return true;
        }
    }
    return ShadowWidget::eventFilter(watched, event);
}

void FFPlayer::showEvent(QShowEvent *event)
{
    setAttribute(Qt::WA_Mapped);
    ShadowWidget::showEvent(event);
}

void FFPlayer::closeEvent(QCloseEvent *event)
{
    // Before the close is accepted: Qt destroys the native window right after, and the
    // decoder must have let go of it by then.
    stopPlayback();
    ShadowWidget::closeEvent(event);
}
