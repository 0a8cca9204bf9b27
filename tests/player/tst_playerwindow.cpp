// The player window and its parts without a service: time texts, slider clicks, keys,
// the pause title, missing and broken offline lessons, header lines and the watch store.
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "player/ClickableSlider.h"
#include "player/FFPlayer.h"
#include "player/LessonPlayback.h"
#include "player/LumraPlayer.h"
#include "player/OfflinePlaylist.h"
#include "player/WatchPositionStore.h"
#include "support/PlayerParts.h"
#include "support/TestAppState.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"
#include "widgets/ResourceInit.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestPlayerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("LUMRA_MPV_VO", "null");
        qputenv("LUMRA_MPV_AO", "null");
        initResources();
    }

    void timeTexts()
    {
        QCOMPARE(FFPlayer::timeText(3725), QStringLiteral("01:02:05"));
        QCOMPARE(FFPlayer::timeText(59), QStringLiteral("00:00:59"));
        QCOMPARE(FFPlayer::timeText(0), QStringLiteral("00:00:00"));
        // A day or more goes on counting hours instead of turning into an invalid time.
        QCOMPARE(FFPlayer::timeText(24 * 3600 + 61), QStringLiteral("24:01:01"));
        QCOMPARE(FFPlayer::timeText(100 * 3600), QStringLiteral("100:00:00"));
    }

    void sliderClickJumpsToPosition()
    {
        ClickableSlider slider(Qt::Horizontal);
        slider.setRange(0, 600);
        slider.setFixedSize(200, 20);
        QSignalSpy changed(&slider, &ClickableSlider::ValueChangedSiganl);
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(50, 10));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 150);
        QCOMPARE(slider.value(), 150);

        // Values set by the program (the position tick) never report a change.
        slider.setValue(300);
        QCOMPARE(changed.count(), 1);
        // Dragging reports as the handle moves.
        slider.setSliderDown(true);
        slider.setSliderPosition(420);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toInt(), 420);

        ClickableSlider vertical(Qt::Vertical);
        vertical.setRange(0, 100);
        vertical.setFixedSize(20, 200);
        QCOMPARE(vertical.valueAt(QPoint(10, 50)), 75);
        QCOMPARE(vertical.valueAt(QPoint(10, 199)), 0); // (200 - 199) * 100 / 200 truncates
    }

    void keysAndPauseTitle()
    {
        TestAppState env;
        FFPlayer window;
        QVERIFY(window.player());
        QVERIFY(window.player()->isAvailable());
        QCOMPARE(FFPlayer::current(), &window);
        Courseware lesson;
        lesson.title = QStringLiteral("心力衰竭的临床表现");
        window.setCourseware(&lesson);
        window.show();
        QCOMPARE(window.windowTitle(), lesson.title);
        // 900 x 650 where it fits; the offscreen screen (800 x 600) holds all of it.
        QVERIFY(window.screen()->availableGeometry().contains(window.frameGeometry()));
        QCOMPARE(window.size(),
                 QSize(900, 650).boundedTo(window.screen()->availableGeometry().size()));
        QVERIFY(PlayerParts::controlBar(&window)->isHidden());

        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        escape.ignore();
        QApplication::sendEvent(&window, &escape);
        QVERIFY(escape.isAccepted());
        QVERIFY(!window.isFullScreen());
        QVERIFY(window.titleBar()->isVisible());

        QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
        QApplication::sendEvent(&window, &other);
        QVERIFY(!other.isAccepted());
        QVERIFY(!window.player()->isPaused());

        QTest::keyClick(&window, Qt::Key_Space);
        QVERIFY(window.player()->isPaused());
        QCOMPARE(window.message(), QStringLiteral("暂停中"));
        QCOMPARE(window.windowTitle(), QStringLiteral("[暂停中]-心力衰竭的临床表现"));
        QCOMPARE(PlayerParts::titleLabel(&window)->text(), window.windowTitle());
        QVERIFY(!PlayerParts::playButton(&window)->isChecked());

        QTest::keyClick(&window, Qt::Key_Space);
        QVERIFY(!window.player()->isPaused());
        QCOMPARE(window.message(), QString());
        QCOMPARE(window.windowTitle(), lesson.title);
        QVERIFY(PlayerParts::playButton(&window)->isChecked());
    }

    void fullScreenToggleHidesBars()
    {
        TestAppState env;
        FFPlayer window;
        window.show();
        QTest::mouseDClick(PlayerParts::videoSurface(&window), Qt::LeftButton);
        QVERIFY(window.isFullScreen());
        QVERIFY(window.titleBar()->isHidden());
        QVERIFY(PlayerParts::controlBar(&window)->isHidden());
        QVERIFY(PlayerParts::fullScreenButton(&window)->isChecked());
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isFullScreen());
        QVERIFY(window.titleBar()->isVisible());
        QVERIFY(PlayerParts::controlBar(&window)->isVisible());
        QVERIFY(!PlayerParts::fullScreenButton(&window)->isChecked());
    }

    void oneWindowRecordAndStopper()
    {
        QVERIFY(!FFPlayer::current());
        {
            FFPlayer window;
            QCOMPARE(FFPlayer::current(), &window);
        }
        QVERIFY(!FFPlayer::current());
    }

    // No stored playlist: the player is never opened; the student is told which folder is
    // missing while the window still shows (a second lesson is refused meanwhile), and the
    // window goes once that was said.
    void missingOfflineLessonShowsMessage()
    {
        TestAppState env;
        const QString folder = env.root() + QStringLiteral("/lesson-without-files");
        QDir().mkpath(folder);
        Courseware lesson;
        lesson.title = QStringLiteral("缺失的课件");
        lesson.localPath = folder;
        Courseware other = lesson;
        other.title = QStringLiteral("另一个课件");

        LessonPlayback session(nullptr);
        QStringList messages;
        QString onVideo, titleWhileTold;
        int opens = -1;
        session.setMessageSink([&](const QString &text) {
            messages << text;
            FFPlayer *window = FFPlayer::current();
            if (!window || !window->isVisible())
                return;
            onVideo = window->message();
            opens = window->player() ? window->player()->openCount() : -1;
            session.playOffline(&other);
            titleWhileTold = FFPlayer::current()->windowTitle();
        });
        session.playOffline(&lesson);
        QCOMPARE(messages, QStringList{QStringLiteral("视频文件不存在 ") + folder});
        QCOMPARE(onVideo, messages.first());
        QCOMPARE(opens, 0);
        QCOMPARE(titleWhileTold, lesson.title);
        QVERIFY(QTest::qWaitFor([] { return FFPlayer::current() == nullptr; }, 2000));
    }

    // A stored playlist whose segments are gone: the open fails and returns, says why, the
    // key file is removed, and a start notice arriving afterwards changes nothing.
    void brokenOfflineLessonEndsCleanly()
    {
        TestAppState env;
        const QString folder = env.root() + QStringLiteral("/broken");
        QDir().mkpath(folder);
        const QByteArray playlist = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n"
                                    "#EXT-X-KEY:METHOD=AES-128,URI=\"/tmp/00000.zx\",IV=0x0\n"
                                    "#EXTINF:2.0,\n"
                                    + QFile::encodeName(folder) + "/seg00000.ts\n#EXT-X-ENDLIST\n";
        env.cipher().encryptBytesToFile(playlist, folder + QStringLiteral("/00000.zs"));
        env.cipher().encryptBytesToFile(QByteArray(16, 'k'), folder + QStringLiteral("/00000.zx"));

        FFPlayer window;
        window.show();
        window.openLocal(folder);
        QCOMPARE(window.lastResult(), PlayerFailed);
        QVERIFY(!window.player());
        QVERIFY(window.keyFilePath().isEmpty());
        const QString missing = QStringLiteral("视频文件不存在 ") + folder;
        QCOMPARE(window.failureText(), missing);
        window.OnPlayStartedHandler();
        QVERIFY(PlayerParts::controlBar(&window)->isHidden());
        QCOMPARE(window.message(), missing);
        // Whatever else arrives late does nothing without a player.
        QTest::keyClick(&window, Qt::Key_Space);
        QCOMPARE(window.message(), missing);
    }

    void headerAndCookieLines()
    {
        QCOMPARE(LumraPlayer::headerFields("Host:localhost:8080;",
                                           "keys=AbC%2BdEf%3D; path=/; domain=localhost;"),
                 QStringList({QStringLiteral("Host: localhost:8080"),
                              QStringLiteral("Cookie: keys=AbC%2BdEf%3D")}));
        // Commas stay inside their value; nothing is sent for empty lines.
        QCOMPARE(LumraPlayer::headerFields("Host:a,b;", "keys=x,y; domain=d;"),
                 QStringList({QStringLiteral("Host: a,b"), QStringLiteral("Cookie: keys=x,y")}));
        QCOMPARE(LumraPlayer::headerFields("", ""), QStringList());
    }

    void offlinePlaylistPointsAtPrivateKey()
    {
        const QByteArray stored =
            QByteArray("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"/tmp/00000.zx\",IV=0x1\n"
                       "/store/a/seg00000.ts\n#EXT-X-ENDLIST")
            + QByteArray(9, '\0');
        const QByteArray ready =
            OfflinePlaylist::withKeyFile(stored, QStringLiteral("/tmp/lumra-key-Ab12.zx"));
        QCOMPARE(
            ready,
            QByteArray("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"/tmp/lumra-key-Ab12.zx\",IV=0x1\n"
                       "/store/a/seg00000.ts\n#EXT-X-ENDLIST"));
        const QByteArray plain("#EXTM3U\n#EXT-X-KEY:METHOD=NONE\nseg.ts");
        QCOMPARE(OfflinePlaylist::withKeyFile(plain, QStringLiteral("/k")), plain);
    }

    void watchPositions()
    {
        QTemporaryDir dir;
        WatchPositionStore store(dir.path());
        QCOMPARE(store.position(QStringLiteral("101"), QStringLiteral("1013")), 0.0);
        QVERIFY(store.setPosition(QStringLiteral("101"), QStringLiteral("1013"), 61));
        QVERIFY(store.setPosition(QStringLiteral("102"), QStringLiteral("1013"), 7));
        QCOMPARE(
            WatchPositionStore(dir.path()).position(QStringLiteral("101"), QStringLiteral("1013")),
            61.0);
        QCOMPARE(store.position(QStringLiteral("102"), QStringLiteral("1013")), 7.0);
        QVERIFY(store.forget(QStringLiteral("101"), QStringLiteral("1013")));
        QCOMPARE(store.position(QStringLiteral("101"), QStringLiteral("1013")), 0.0);
        QCOMPARE(store.position(QStringLiteral("102"), QStringLiteral("1013")), 7.0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList({QStringLiteral("watchpos.json")}));

        // A damaged file reads as nothing remembered and is replaced by the next write.
        QFile damaged(store.filePath());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{\"101/1");
        damaged.close();
        QCOMPARE(store.position(QStringLiteral("102"), QStringLiteral("1013")), 0.0);
        QVERIFY(store.setPosition(QStringLiteral("101"), QStringLiteral("1014"), 3));
        QCOMPARE(store.position(QStringLiteral("101"), QStringLiteral("1014")), 3.0);

        // Nobody signed in: nothing is written anywhere.
        WatchPositionStore nobody{QString()};
        QVERIFY(!nobody.setPosition(QStringLiteral("101"), QStringLiteral("1013"), 5));
        QCOMPARE(nobody.position(QStringLiteral("101"), QStringLiteral("1013")), 0.0);

        QCOMPARE(WatchPositionStore::resumePosition(60, 180), 60.0);
        QCOMPARE(WatchPositionStore::resumePosition(169, 180), 169.0);
        QCOMPARE(WatchPositionStore::resumePosition(170, 180), 0.0); // within the last 10 s
        QCOMPARE(WatchPositionStore::resumePosition(0, 180), 0.0);   // unknown
        QCOMPARE(WatchPositionStore::resumePosition(5, 0), 0.0);
    }
};

QTEST_MAIN(TestPlayerWindow)
#include "tst_playerwindow.moc"
