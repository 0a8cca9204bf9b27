// Lessons played for real (no picture, no sound device) against the demo service: online
// with host header and key cookie, on another line, offline from the store, the watch
// position, the line popup, failures and the program's quit.
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/Quit.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "player/ClickableSlider.h"
#include "player/FFPlayer.h"
#include "player/LessonPlayback.h"
#include "player/LumraPlayer.h"
#include "player/ToggleHostWidget.h"
#include "player/WatchPositionStore.h"
#include "support/DemoClient.h"
#include "support/DemoLessons.h"
#include "support/DemoService.h"
#include "support/DemoStudent.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"
#include "widgets/ResourceInit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

struct Fixture : DemoStudent
{
    explicit Fixture(const DemoService &service)
        : DemoStudent(service)
    {
        state().lines = QStringList{ServiceSettings::coursewareHost()};
        session.setMessageSink([this](const QString &text) { messages << text; });
    }

    void setWatchTime(const char *value)
    {
        Settings::setText(env.state().settings.get(), SettingKeys::WatchTime, QString::fromLatin1(value));
    }

    LessonPlayback session{&client.api()};
    QStringList messages;
};

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

private:
    // Runs the script from inside the blocking open once a window plays; if none plays in
    // time, closes whatever window there is so the open returns.
    void whenPlaying(std::function<void(FFPlayer *)> script, int timeoutMs = 20000)
    {
        m_scriptRan = false;
        auto *timer = new QTimer(this);
        auto waited = std::make_shared<int>(0);
        connect(timer, &QTimer::timeout, this, [=] {
            *waited += 20;
            FFPlayer *window = FFPlayer::current();
            if (window && window->player() && window->controlBar()->isVisible()) {
                timer->stop();
                timer->deleteLater();
                m_scriptRan = true;
                script(window);
            } else if (*waited > timeoutMs) {
                timer->stop();
                timer->deleteLater();
                if (window)
                    window->close();
            }
        });
        timer->start(20);
    }

    QList<QJsonObject> logSince(int mark, const QString &endpoint) const
    {
        QList<QJsonObject> entries;
        const QList<QJsonObject> log = m_service->requestLog();
        for (int i = mark; i < log.size(); ++i) {
            if (log.at(i).value(QStringLiteral("endpoint")).toString() == endpoint)
                entries << log.at(i);
        }
        return entries;
    }
    int logMark() const { return m_service->requestLog().size(); }
    QString coursewareHost() const { return QStringLiteral("localhost:%1").arg(m_service->port()); }

    static bool waitGone() { return QTest::qWaitFor([] { return FFPlayer::current() == nullptr; }, 5000); }

    std::unique_ptr<DemoService> m_service;
    bool m_scriptRan = false;

private slots:
    void initTestCase()
    {
        qputenv("LUMRA_MPV_VO", "null");
        qputenv("LUMRA_MPV_AO", "null");
        initResources();
        m_service = std::make_unique<DemoService>();
        QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    }
    void cleanupTestCase() { m_service.reset(); }
    void init() { QVERIFY(m_service->clearFaults()); }
    void cleanup() { QVERIFY(waitGone()); }

    void onlineLessonPlaysAndControlsAct()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1014"), Courseware::NotDownloaded);
        Courseware other = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1013"), Courseware::NotDownloaded);
        Courseware downloaded = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1016"), Courseware::Downloaded);
        downloaded.localPath = f.env.root();
        const int mark = logMark();

        struct Seen
        {
            double duration = 0, advanced = 0, pausedA = 0, pausedB = 0, afterSeek = 0;
            bool paused = false, resumed = false, muted = false;
            int volume = -1, addressRequests = 0;
            QString lengthText, positionText, title;
            bool secondRefused = false;
        } seen;
        whenPlaying([&](FFPlayer *w) {
            LumraPlayer *p = w->player();
            seen.duration = p->Duration();
            seen.lengthText = w->lengthLabel()->text();
            seen.title = w->windowTitle();
            (void)QTest::qWaitFor([&] { return p->Clock() > 1.0; }, 5000);
            seen.advanced = p->Clock();
            QTest::qWait(1100);
            seen.positionText = w->positionLabel()->text();

            QTest::keyClick(w, Qt::Key_Space);
            seen.paused = p->isPaused();
            seen.pausedA = p->Clock();
            QTest::qWait(400);
            seen.pausedB = p->Clock();
            QTest::mouseClick(w->playButton(), Qt::LeftButton);
            seen.resumed = !p->isPaused();

            ClickableSlider *progress = w->progressSlider();
            QTest::mouseClick(progress, Qt::LeftButton, {}, QPoint(progress->width() * 2 / 3 + 1, progress->height() / 2));
            (void)QTest::qWaitFor([&] { return p->Clock() >= 7.5; }, 3000);
            seen.afterSeek = p->Clock();
            QTest::mouseClick(w->volumeSlider(), Qt::LeftButton, {}, QPoint(50, w->volumeSlider()->height() / 2));
            seen.volume = p->volume();
            QTest::mouseClick(w->muteButton(), Qt::LeftButton);
            seen.muted = p->isMuted();

            // While this window plays, another lesson's address is asked for but opens nothing,
            // and a downloaded one is not opened either.
            f.session.playFromCourse(&other);
            (void)QTest::qWaitFor([&] { return logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).size() >= 2; }, 5000);
            QTest::qWait(200);
            f.session.playOffline(&downloaded);
            seen.addressRequests = logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).size();
            seen.secondRefused = FFPlayer::current() == w && p == w->player() && w->windowTitle() == seen.title;
            w->close();
        });
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 30000));
        QVERIFY(waitGone());

        QCOMPARE(qRound(seen.duration), 12);
        QCOMPARE(seen.lengthText, QStringLiteral("00:00:12"));
        QCOMPARE(seen.title, QStringLiteral("课件 1014"));
        QVERIFY2(seen.advanced > 1.0, qPrintable(QString::number(seen.advanced)));
        QVERIFY(seen.positionText != QStringLiteral("00:00:00"));
        QVERIFY(seen.paused);
        QVERIFY2(qAbs(seen.pausedB - seen.pausedA) < 0.05, qPrintable(QStringLiteral("%1 %2").arg(seen.pausedA).arg(seen.pausedB)));
        QVERIFY(seen.resumed);
        QVERIFY2(seen.afterSeek >= 7.5, qPrintable(QString::number(seen.afterSeek)));
        QCOMPARE(seen.volume, 50);
        QVERIFY(seen.muted);
        QCOMPARE(seen.addressRequests, 2);
        QVERIFY(seen.secondRefused);

        // The media server saw the courseware host on the playlist and every segment, and the
        // key cookie (encoded once, without its attributes) on the key.
        const QList<QJsonObject> playlists = logSince(mark, QStringLiteral("playlist"));
        const QList<QJsonObject> segments = logSince(mark, QStringLiteral("segment"));
        const QList<QJsonObject> keys = logSince(mark, QStringLiteral("key"));
        QVERIFY(!playlists.isEmpty());
        QVERIFY(segments.size() >= 2);
        QVERIFY(!keys.isEmpty());
        for (const QJsonObject &entry : playlists + segments) {
            QCOMPARE(entry.value(QStringLiteral("host")).toString(), coursewareHost());
            QCOMPARE(entry.value(QStringLiteral("status")).toInt(), 200);
        }
        for (const QJsonObject &key : keys) {
            const QString cookie = key.value(QStringLiteral("cookie")).toString();
            QVERIFY2(cookie.startsWith(QStringLiteral("keys=Lk%2B1014%2F")), qPrintable(cookie));
            QVERIFY2(!cookie.contains(QStringLiteral("path=")) && !cookie.contains(QStringLiteral("%25")), qPrintable(cookie));
            QCOMPARE(key.value(QStringLiteral("status")).toInt(), 200);
        }
    }

    void secondLineCarriesServerAddress()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        f.client.api().resolveLines();
        AppState &s = f.env.state();
        QCOMPARE(s.lines.size(), 3);
        s.currentLine = 2;
        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1013"), Courseware::NotDownloaded);
        const int mark = logMark();
        QString source;
        whenPlaying([&](FFPlayer *w) {
            source = w->source();
            QTest::qWait(300);
            w->close();
        });
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 30000));
        QVERIFY(waitGone());

        QCOMPARE(source, QStringLiteral("http://%1/hls/1013/index.m3u8").arg(s.lines.at(2)));
        const QList<QJsonObject> media = logSince(mark, QStringLiteral("playlist")) + logSince(mark, QStringLiteral("segment"));
        QVERIFY(media.size() >= 2);
        for (const QJsonObject &entry : media) {
            QCOMPARE(entry.value(QStringLiteral("local")).toString(), s.lines.at(2));
            QCOMPARE(entry.value(QStringLiteral("host")).toString(), coursewareHost());
            QCOMPARE(entry.value(QStringLiteral("status")).toInt(), 200);
        }
    }

    void linePopupBuildsButtonsOnce()
    {
        Fixture f(*m_service);
        AppState &s = f.env.state();
        QStringList loading;
        ToggleHostWidget popup;
        popup.setLoadingHandler([&](bool on) { loading << (on ? QStringLiteral("on") : QStringLiteral("off")); });

        // Resolution failing: only the default line, and the next show tries again.
        QVERIFY(m_service->setFaults({{QStringLiteral("dns-fail"), QStringLiteral("always")}}));
        popup.show();
        QCOMPARE(popup.lineButtons().size(), 1);
        QCOMPARE(popup.lineButtons().at(0)->text(), QStringLiteral("默认线路"));
        popup.hide();
        QVERIFY(m_service->clearFaults());
        s.currentLine = 1;
        popup.show();
        QCOMPARE(loading, QStringList({"on", "off", "on", "off"}));
        QStringList texts;
        for (QRadioButton *button : popup.lineButtons())
            texts << button->text();
        QCOMPARE(texts, QStringList({QStringLiteral("默认线路"), QStringLiteral("线路1"), QStringLiteral("线路2")}));
        QVERIFY(popup.lineButtons().at(1)->isChecked());
        QCOMPARE(popup.lineButtons().at(2)->objectName(), QStringLiteral("rdSetting"));
        QTest::mouseClick(popup.lineButtons().at(2), Qt::LeftButton);
        QCOMPARE(s.currentLine, 2);

        // Resolved: later shows keep the buttons and ask nobody.
        const QList<QRadioButton *> built = popup.lineButtons();
        const int dnsQueries = logSince(0, QStringLiteral("dns")).size();
        popup.hide();
        popup.show();
        QCOMPARE(popup.lineButtons(), built);
        QCOMPARE(logSince(0, QStringLiteral("dns")).size(), dnsQueries);
        QCOMPARE(loading.size(), 4);
    }

    // A downloaded lesson chosen on the course page plays from its folder without asking
    // the service; its deciphered key is private while it plays and gone afterwards.
    void offlineLessonPlaysFromStore()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        QSignalSpy downloaded(&f.queue, &FileStream::DownloadedSignal);
        Course course;
        course.id = QStringLiteral("101");
        course.title = QStringLiteral("2026临床执业医师精讲班");
        course.coursewares << DemoLessons::lesson(course.id, QStringLiteral("1016"), Courseware::Queued);
        f.queue.appendMission(course);
        QVERIFY(QTest::qWaitFor([&] { return downloaded.count() == 1; }, 30000));
        const Courseware *stored = f.queue.findDownloadLesson(course.id, QStringLiteral("1016"));
        QVERIFY(stored);
        QCOMPARE(stored->downloadState, int(Courseware::Downloaded));
        QVERIFY(QFileInfo::exists(stored->localPath + QStringLiteral("/00000.zs")));

        // A position remembered before is dropped once the lesson has played to its end.
        f.setWatchTime("1");
        WatchPositionStore positions(f.env.state().userDataDir);
        QVERIFY(positions.setPosition(course.id, QStringLiteral("1016"), 2));

        const int mark = logMark();
        QString keyFile;
        bool keyPrivate = false;
        double duration = 0;
        QPointer<FFPlayer> window;
        whenPlaying([&](FFPlayer *w) {
            window = w;
            keyFile = w->keyFilePath();
            const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                                    | QFileDevice::ReadOther | QFileDevice::WriteOther;
            keyPrivate = QFileInfo::exists(keyFile) && !(QFile::permissions(keyFile) & others)
                         && QFileInfo(keyFile).size() == 16;
            duration = w->player()->Duration();
        });
        Courseware fromCourse = DemoLessons::lesson(course.id, QStringLiteral("1016"), Courseware::NotDownloaded);
        f.session.playFromCourse(&fromCourse); // blocks until the lesson has ended
        QVERIFY(m_scriptRan);
        QVERIFY(window);
        QCOMPARE(window->lastResult(), PlayerEnded);
        QCOMPARE(qRound(duration), 4);
        QVERIFY(keyPrivate);
        QVERIFY(!QFileInfo::exists(keyFile));
        QVERIFY(waitGone());
        QVERIFY(logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).isEmpty());
        QVERIFY(logSince(mark, QStringLiteral("segment")).isEmpty());
        QCOMPARE(positions.position(course.id, QStringLiteral("1016")), 0.0);
    }

    // A lesson whose second half is enciphered under a second key is downloaded with both
    // keys and plays offline to its very end: every segment deciphers.
    void lessonWithTwoKeysPlaysOffline()
    {
        QVERIFY(m_service->setFaults({{QStringLiteral("two-keys"), QStringLiteral("1")}}));
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        QSignalSpy downloaded(&f.queue, &FileStream::DownloadedSignal);
        Course course = DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1016")});
        f.queue.appendMission(course);
        QVERIFY(QTest::qWaitFor([&] { return downloaded.count() == 1; }, 30000));
        QVERIFY(m_service->clearFaults()); // offline play asks the service nothing anyway
        const Courseware *stored = f.queue.findDownloadLesson(course.id, QStringLiteral("1016"));
        QVERIFY(stored);
        QCOMPARE(stored->downloadState, int(Courseware::Downloaded));

        const int mark = logMark();
        double reached = 0;
        double duration = 0;
        QPointer<FFPlayer> window;
        whenPlaying([&](FFPlayer *w) {
            window = w;
            duration = w->player()->Duration();
            // The clock is read until the window goes: how far the picture really got.
            auto *probe = new QTimer(w);
            connect(probe, &QTimer::timeout, w, [&reached, w] {
                if (w->player())
                    reached = qMax(reached, w->player()->Clock());
            });
            probe->start(50);
        });
        Courseware fromCourse = DemoLessons::lesson(course.id, QStringLiteral("1016"), Courseware::NotDownloaded);
        f.session.playFromCourse(&fromCourse); // blocks until the lesson has ended
        QVERIFY(m_scriptRan);
        QVERIFY(window);
        QCOMPARE(window->lastResult(), PlayerEnded);
        QCOMPARE(qRound(duration), 4);
        QVERIFY2(reached > 3.0, qPrintable(QString::number(reached)));
        QVERIFY(logSince(mark, QStringLiteral("segment")).isEmpty());
        QVERIFY(logSince(mark, QStringLiteral("key")).isEmpty());
    }

    // With "PLAYER/WATCHTIME" on, a lesson starts where it was left; with it off, at 0.
    void resumesRememberedPosition()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Courseware lesson = DemoLessons::lesson(QStringLiteral("102"), QStringLiteral("1024"), Courseware::NotDownloaded);
        WatchPositionStore positions(f.env.state().userDataDir);
        f.setWatchTime("1");

        double left = 0;
        whenPlaying([&](FFPlayer *w) {
            w->player()->Seek(60);
            (void)QTest::qWaitFor([&] { return w->player()->Clock() >= 61; }, 10000);
            left = w->player()->Clock();
            w->close();
        }, 40000);
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 45000));
        QVERIFY(waitGone());
        QVERIFY2(left >= 61, qPrintable(QString::number(left)));
        const double stored = positions.position(lesson.courseId, lesson.id);
        QVERIFY2(stored >= 60 && stored <= left + 1, qPrintable(QString::number(stored)));

        double resumedAt = 0;
        int sliderAt = 0;
        whenPlaying([&](FFPlayer *w) {
            sliderAt = w->progressSlider()->value();
            QTest::qWait(300);
            resumedAt = w->player()->Clock();
            w->close();
        });
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 30000));
        QVERIFY(waitGone());
        QVERIFY2(resumedAt >= stored - 1, qPrintable(QString::number(resumedAt)));
        QCOMPARE(sliderAt, int(stored));

        f.setWatchTime("0");
        double startedAt = -1;
        whenPlaying([&](FFPlayer *w) {
            QTest::qWait(300);
            startedAt = w->player()->Clock();
            w->close();
        });
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 30000));
        QVERIFY(waitGone());
        QVERIFY2(startedAt >= 0 && startedAt < 5, qPrintable(QString::number(startedAt)));
        QCOMPARE(positions.position(lesson.courseId, lesson.id), stored);
    }

    void refusedAddressShowsServiceText()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Courseware chapter = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1011"), Courseware::NotDownloaded);
        chapter.level = Courseware::Chapter;
        const int mark = logMark();
        f.session.playFromCourse(&chapter);
        QTest::qWait(200);
        QVERIFY(logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).isEmpty());

        Courseware foreign = DemoLessons::lesson(QStringLiteral("999"), QStringLiteral("9999"), Courseware::NotDownloaded);
        f.session.playFromCourse(&foreign);
        QVERIFY(QTest::qWaitFor([&] { return !f.messages.isEmpty(); }, 15000));
        QVERIFY(!f.messages.first().isEmpty());
        QVERIFY(!FFPlayer::current());
    }

    // A lesson that cannot play says why, and its window goes after that: online with the
    // key refused, then a downloaded lesson damaged step by step (a key enciphered otherwise,
    // a playlist that deciphers to nothing readable, the folder gone).
    void failedPlaybackSaysWhyAndCloses()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        int shownWhenTold = 0;
        f.session.setMessageSink([&](const QString &text) {
            f.messages << text;
            if (FFPlayer::current() && FFPlayer::current()->isVisible())
                ++shownWhenTold;
        });

        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1016"), Courseware::NotDownloaded);
        M3u8Context address;
        QVERIFY(f.client.lessonAddress(&lesson, &address));
        f.session.playOnline(address.url, QStringLiteral("not-the-keys"), &lesson);
        QCOMPARE(f.messages, QStringList{QStringLiteral("对远程内容访问被拒绝 ")});
        QVERIFY(waitGone());

        QSignalSpy downloaded(&f.queue, &FileStream::DownloadedSignal);
        f.queue.appendMission(DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1016")}));
        QVERIFY(QTest::qWaitFor([&] { return downloaded.count() == 1; }, 30000));
        Courseware *stored = f.queue.findDownloadLesson(QStringLiteral("101"), QStringLiteral("1016"));
        QVERIFY(stored && stored->downloadState == Courseware::Downloaded);
        const QString folder = stored->localPath;
        AesCipher otherMachine;
        otherMachine.setKey(QByteArray(16, 'x'));
        QVERIFY(f.env.cipher().decryptFileToBytes(folder + QStringLiteral("/00000.zx")).size() >= 16);
        otherMachine.encryptBytesToFile(QByteArray(16, 'k'), folder + QStringLiteral("/00000.zx"));
        const QString undecipherable = QStringLiteral("课件文件无法解密，请删除后重新下载");
        f.session.playDownloaded(stored);
        QCOMPARE(f.messages.size(), 2);
        QCOMPARE(f.messages.last(), undecipherable);
        QVERIFY(waitGone());

        const QByteArray playlist = f.env.cipher().decryptFileToBytes(folder + QStringLiteral("/00000.zs"));
        QVERIFY(playlist.startsWith("#EXTM3U"));
        otherMachine.encryptBytesToFile(playlist, folder + QStringLiteral("/00000.zs"));
        f.session.playDownloaded(stored);
        QCOMPARE(f.messages.size(), 3);
        QCOMPARE(f.messages.last(), undecipherable);
        QVERIFY(waitGone());

        QVERIFY(QDir(folder).removeRecursively());
        f.session.playDownloaded(stored);
        QCOMPARE(f.messages.size(), 4);
        QCOMPARE(f.messages.last(), QStringLiteral("视频文件不存在 ") + folder);
        QVERIFY(waitGone());
        QCOMPARE(shownWhenTold, 4); // each time the window was still there to be seen
    }

    // Last: the quit leaves the thread's loops refusing to run until the next exec.
    void quitStopsPlayback()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1018"), Courseware::NotDownloaded);
        int result = -1;
        whenPlaying([&](FFPlayer *w) {
            connect(w, &FFPlayer::ClosedSigan, this, [&result, w] { result = w->lastResult(); });
            quitApplication();
        });
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return result >= 0; }, 30000));
        QCOMPARE(result, int(PlayerStopped));
        QVERIFY(waitGone());
        // Let the thread's event loops run again.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        qApp->exec();
    }
};

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
