// Lessons played for real (no picture, no sound device) against the demo service: online
// with host header and key cookie, on another line, offline from the store, the watch
// position, the line popup, failures and the program's quit.
#include "api/LearningJournal.h"
#include "api/LearningProgress.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/Quit.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseModel.h"
#include "model/ThumbnailItemMyCourse.h"
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
#include "support/PlayerParts.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"
#include "widgets/ResourceInit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

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
        Settings::setText(env.state().settings.get(), SettingKeys::WatchTime,
                          QString::fromLatin1(value));
    }

    // The course list, then one course's lessons, as the service has them now.
    Course *loadCourse(const QString &courseId)
    {
        QSignalSpy replies(&client.api(), &APIHandler::HttpResponseSignal);
        auto replied = [&replies](int type) {
            for (const QList<QVariant> &reply : qAsConst(replies)) {
                if (reply.at(0).toInt() == type)
                    return reply.at(1).toInt() == 1;
            }
            return false;
        };
        client.api().getMyCourseList();
        if (!QTest::qWaitFor([&] { return replied(ReqMyCourseList); }, 15000))
            return nullptr;
        client.api().getMyCourseInfo(courseId);
        if (!QTest::qWaitFor([&] { return replied(ReqMyCourseInfo); }, 15000))
            return nullptr;
        return state().findCourse(courseId);
    }

    bool progressSent()
    {
        return QTest::qWaitFor([this] { return client.progress().pendingCount() == 0; }, 15000);
    }

    LessonPlayback session{&client.api()};
    QStringList messages;
};

// What the lesson tree shows of a lesson's progress.
QString treeProgress(CourseModel &tree, const QString &lessonId)
{
    const QModelIndexList found = tree.match(tree.index(0, 0), CourseModel::IdRole, lessonId, 1,
                                             Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? QStringLiteral("(no row)")
                           : found.first().siblingAtColumn(3).data().toString();
}

// A turn of the mouse wheel over the middle of a widget: notches up (positive) or down.
void turnWheel(QWidget *widget, int notches)
{
    const QPoint at(widget->width() / 2, widget->height() / 2);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

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
            if (window && window->player() && PlayerParts::controlBar(window)->isVisible()) {
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

    static bool waitGone()
    {
        return QTest::qWaitFor([] { return FFPlayer::current() == nullptr; }, 5000);
    }

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
    void init()
    {
        if (!m_service->isRunning())
            QVERIFY(m_service->restart());
        QVERIFY(m_service->clearFaults());
    }
    void cleanup() { QVERIFY(waitGone()); }

    void onlineLessonPlaysAndControlsAct()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1014"),
                                                Courseware::NotDownloaded);
        Courseware other = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1013"),
                                               Courseware::NotDownloaded);
        Courseware downloaded = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1016"),
                                                    Courseware::Downloaded);
        downloaded.localPath = f.env.root();
        const int mark = logMark();

        struct Seen
        {
            double duration = 0, advanced = 0, pausedA = 0, pausedB = 0, afterSeek = 0,
                   afterWheel = 0;
            bool paused = false, resumed = false, muted = false, muteShown = false;
            bool windowOnScreen = false, barOnScreen = false;
            int volume = -1, wheelVolume = -1, volumeAfterWheel = -1, wheelTarget = -1,
                addressRequests = 0;
            QString lengthText, positionText, title;
            bool secondRefused = false;
        } seen;
        whenPlaying([&](FFPlayer *w) {
            LumraPlayer *p = w->player();
            seen.duration = p->Duration();
            seen.lengthText = PlayerParts::lengthLabel(w)->text();
            seen.title = w->windowTitle();
            (void)QTest::qWaitFor([&] { return p->Clock() > 1.0; }, 5000);
            seen.advanced = p->Clock();
            QTest::qWait(1100);
            seen.positionText = PlayerParts::positionLabel(w)->text();

            QTest::keyClick(w, Qt::Key_Space);
            seen.paused = p->isPaused();
            seen.pausedA = p->Clock();
            QTest::qWait(400);
            seen.pausedB = p->Clock();
            QTest::mouseClick(PlayerParts::playButton(w), Qt::LeftButton);
            seen.resumed = !p->isPaused();

            ClickableSlider *progress = PlayerParts::progressSlider(w);
            QTest::mouseClick(progress, Qt::LeftButton, {},
                              QPoint(progress->width() * 2 / 3 + 1, progress->height() / 2));
            (void)QTest::qWaitFor([&] { return p->Clock() >= 7.5; }, 3000);
            seen.afterSeek = p->Clock();
            // A notch of the wheel back on the progress bar seeks back with it.
            turnWheel(progress, -1);
            seen.wheelTarget = progress->value();
            (void)QTest::qWaitFor([&] { return p->Clock() < seen.wheelTarget + 1.5; }, 3000);
            seen.afterWheel = p->Clock();
            QTest::mouseClick(PlayerParts::volumeSlider(w), Qt::LeftButton, {},
                              QPoint(50, PlayerParts::volumeSlider(w)->height() / 2));
            seen.volume = p->volume();
            turnWheel(PlayerParts::volumeSlider(w), 1);
            seen.wheelVolume = PlayerParts::volumeSlider(w)->value();
            seen.volumeAfterWheel = p->volume();
            QTest::mouseClick(PlayerParts::muteButton(w), Qt::LeftButton);
            seen.muted = p->isMuted();
            seen.muteShown = PlayerParts::muteButton(w)->isChecked();
            // The whole window, control bar included, is on the (800 x 600) screen.
            const QRect available = w->screen()->availableGeometry();
            seen.windowOnScreen = available.contains(w->frameGeometry());
            seen.barOnScreen =
                available.contains(QRect(PlayerParts::controlBar(w)->mapToGlobal(QPoint()),
                                         PlayerParts::controlBar(w)->size()));

            // While this window plays, another lesson's address is asked for but opens nothing,
            // and a downloaded one is not opened either.
            f.session.playFromCourse(&other);
            (void)QTest::qWaitFor(
                [&] { return logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).size() >= 2; },
                5000);
            QTest::qWait(200);
            f.session.playOffline(&downloaded);
            seen.addressRequests = logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).size();
            seen.secondRefused =
                FFPlayer::current() == w && p == w->player() && w->windowTitle() == seen.title;
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
        QVERIFY2(qAbs(seen.pausedB - seen.pausedA) < 0.05,
                 qPrintable(QStringLiteral("%1 %2").arg(seen.pausedA).arg(seen.pausedB)));
        QVERIFY(seen.resumed);
        QVERIFY2(seen.afterSeek >= 7.5, qPrintable(QString::number(seen.afterSeek)));
        QVERIFY2(seen.wheelTarget <= int(seen.afterSeek) - 2,
                 qPrintable(QString::number(seen.wheelTarget)));
        QVERIFY2(seen.afterWheel < seen.wheelTarget + 1.5,
                 qPrintable(QStringLiteral("%1 %2").arg(seen.afterWheel).arg(seen.wheelTarget)));
        QCOMPARE(seen.volume, 50);
        QVERIFY(seen.wheelVolume > 50);
        QCOMPARE(seen.volumeAfterWheel, seen.wheelVolume);
        QVERIFY(seen.muted);
        QVERIFY(seen.muteShown);
        QVERIFY(seen.windowOnScreen);
        QVERIFY(seen.barOnScreen);
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
            QVERIFY2(!cookie.contains(QStringLiteral("path="))
                         && !cookie.contains(QStringLiteral("%25")),
                     qPrintable(cookie));
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
        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1013"),
                                                Courseware::NotDownloaded);
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
        const QList<QJsonObject> media =
            logSince(mark, QStringLiteral("playlist")) + logSince(mark, QStringLiteral("segment"));
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
        popup.setLoadingHandler(
            [&](bool on) { loading << (on ? QStringLiteral("on") : QStringLiteral("off")); });

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
        QCOMPARE(texts, QStringList({QStringLiteral("默认线路"), QStringLiteral("线路1"),
                                     QStringLiteral("线路2")}));
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
        course.coursewares << DemoLessons::lesson(course.id, QStringLiteral("1016"),
                                                  Courseware::Queued);
        f.queue.appendMission(course);
        QVERIFY(QTest::qWaitFor([&] { return downloaded.count() == 1; }, 30000));
        const Courseware *stored = f.queue.findDownloadLesson(course.id, QStringLiteral("1016"));
        QVERIFY(stored);
        QCOMPARE(stored->downloadState, int(Courseware::Downloaded));
        QVERIFY(QFileInfo::exists(stored->localPath + QStringLiteral("/00000.zs")));

        // A position remembered before is dropped once the lesson has been closed at its end.
        f.setWatchTime("1");
        WatchPositionStore positions(f.env.state().userDataDir);
        QVERIFY(positions.setPosition(course.id, QStringLiteral("1016"), 2));

        const int mark = logMark();
        QString keyFile;
        bool keyPrivate = false;
        double duration = 0, backTo = -1, atEnd = -1, restartedAt = -1, replayed = -1;
        bool stayed = false;
        QPointer<FFPlayer> window;
        whenPlaying([&](FFPlayer *w) {
            window = w;
            LumraPlayer *p = w->player();
            keyFile = w->keyFilePath();
            const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                                    | QFileDevice::ReadOther
                                                    | QFileDevice::WriteOther;
            keyPrivate = QFileInfo::exists(keyFile) && !(QFile::permissions(keyFile) & others)
                         && QFileInfo(keyFile).size() == 16;
            duration = p->Duration();

            // Back to the beginning with the arrow key, from the lesson's second segment.
            (void)QTest::qWaitFor([&] { return p->Clock() >= 2.5; }, 15000);
            QTest::keyClick(w, Qt::Key_Left);
            QTest::qWait(400);
            backTo = p->Clock();
            // The lesson plays to its end; a moment later the window still holds its last
            // picture, with the control bar, and the play button offers to play again.
            (void)QTest::qWaitFor([&] { return p->Clock() >= duration - 0.3; }, 15000);
            QTest::qWait(1000);
            atEnd = p->Clock();
            stayed = FFPlayer::current() == w && w->player() == p
                     && PlayerParts::controlBar(w)->isVisible()
                     && !PlayerParts::playButton(w)->isChecked();
            // Play starts the lesson again from its beginning.
            QTest::keyClick(w, Qt::Key_Space);
            QTest::qWait(300);
            restartedAt = p->Clock();
            (void)QTest::qWaitFor([&] { return p->Clock() >= restartedAt + 1; }, 5000);
            replayed = p->Clock();
            // To its end once more, and the window is closed there.
            (void)QTest::qWaitFor([&] { return p->Clock() >= duration - 0.3; }, 15000);
            QTest::qWait(300);
            w->close();
        });
        Courseware fromCourse =
            DemoLessons::lesson(course.id, QStringLiteral("1016"), Courseware::NotDownloaded);
        f.session.playFromCourse(&fromCourse); // blocks until the window is closed
        QVERIFY(m_scriptRan);
        QCOMPARE(qRound(duration), 4);
        QVERIFY2(backTo >= 0 && backTo < 1.2, qPrintable(QString::number(backTo)));
        QVERIFY2(atEnd >= duration - 0.5, qPrintable(QString::number(atEnd)));
        QVERIFY(stayed);
        QVERIFY2(restartedAt >= 0 && restartedAt < 1, qPrintable(QString::number(restartedAt)));
        QVERIFY2(replayed >= restartedAt + 1, qPrintable(QString::number(replayed)));
        QVERIFY(window);
        QCOMPARE(window->lastResult(), PlayerEnded);
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
            // The clock is read until the lesson stops at its end (or gives up on a segment it
            // cannot decipher): how far the picture really got. Then the window is closed.
            auto *probe = new QTimer(w);
            connect(probe, &QTimer::timeout, w, [&reached, w] {
                if (!w->player())
                    return;
                reached = qMax(reached, w->player()->Clock());
                if (w->player()->isAtEnd())
                    w->close();
            });
            probe->start(50);
        });
        Courseware fromCourse =
            DemoLessons::lesson(course.id, QStringLiteral("1016"), Courseware::NotDownloaded);
        f.session.playFromCourse(&fromCourse); // blocks until the window is closed
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
        Courseware lesson = DemoLessons::lesson(QStringLiteral("102"), QStringLiteral("1024"),
                                                Courseware::NotDownloaded);
        WatchPositionStore positions(f.env.state().userDataDir);
        f.setWatchTime("1");

        double left = 0;
        bool endedFirst = false;
        whenPlaying(
            [&](FFPlayer *w) {
                w->player()->Seek(60);
                (void)QTest::qWaitFor([&] { return w->player()->Clock() >= 61; }, 10000);
                left = w->player()->Clock();
                endedFirst = w->player()->isAtEnd();
                w->close();
            },
            40000);
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 45000));
        QVERIFY(waitGone());
        QVERIFY2(left >= 61, qPrintable(QString::number(left)));
        const double stored = positions.position(lesson.courseId, lesson.id);
        QVERIFY2(stored >= 60 && stored <= left + 1,
                 qPrintable(QStringLiteral("%1 stored, %2 left, %3")
                                .arg(stored)
                                .arg(left)
                                .arg(endedFirst ? "at its end" : "playing")));

        double resumedAt = 0;
        int sliderAt = 0;
        whenPlaying([&](FFPlayer *w) {
            sliderAt = PlayerParts::progressSlider(w)->value();
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

    // A student seeks into a long lesson, watches on, pauses and closes: the service holds the
    // watch time. A short lesson watched to its end is marked watched on the service. On a
    // second machine (a fresh local folder) the tree and the course tile show it, and the
    // long lesson resumes where the service says the student got to.
    void progressFollowsTheStudentToAnotherMachine()
    {
        const QString courseId = QStringLiteral("102");
        double paused = 0;
        {
            Fixture f(*m_service);
            QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
            Course *course = f.loadCourse(courseId);
            QVERIFY(course);
            const int watchedBefore = course->use;
            Courseware *longLesson = course->findCourseware(QStringLiteral("1024"));
            QVERIFY(longLesson);
            const int mark = logMark();
            int sentWhilePlaying = 0;
            whenPlaying(
                [&](FFPlayer *w) {
                    ClickableSlider *progress = PlayerParts::progressSlider(w);
                    QTest::mouseClick(progress, Qt::LeftButton, {},
                                      QPoint(progress->width() / 3, progress->height() / 2));
                    (void)QTest::qWaitFor([&] { return w->player()->Clock() >= 62; }, 15000);
                    QTest::keyClick(w, Qt::Key_Space);
                    paused = w->player()->Clock();
                    (void)QTest::qWaitFor(
                        [&] { return logSince(mark, QStringLiteral("Editwatchtime")).size() >= 2; },
                        5000);
                    sentWhilePlaying = logSince(mark, QStringLiteral("Editwatchtime")).size();
                    w->close();
                },
                40000);
            f.session.playFromCourse(longLesson);
            QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 45000));
            QVERIFY(waitGone());
            QVERIFY(f.progressSent());
            // The seek and the pause were each told at once; the close had nothing new to tell.
            QCOMPARE(sentWhilePlaying, 2);
            QCOMPARE(logSince(mark, QStringLiteral("Editwatchtime")).size(), 2);

            Courseware *shortLesson = course->findCourseware(QStringLiteral("1021"));
            QVERIFY(shortLesson);
            whenPlaying([&](FFPlayer *w) {
                (void)QTest::qWaitFor([&] { return w->player()->isAtEnd(); }, 15000);
                QTest::qWait(200);
                w->close();
            });
            f.session.playFromCourse(shortLesson);
            QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 30000));
            QVERIFY(waitGone());
            QVERIFY(f.progressSent());
            QCOMPARE(logSince(mark, QStringLiteral("PushLearnStatus")).size(), 1);
            // The app state followed at once, before anything was asked again.
            QCOMPARE(shortLesson->stutas, QString::fromLatin1(LearningProgress::WatchedStatus));
            QCOMPARE(course->use, watchedBefore + 1);

            course = f.loadCourse(courseId);
            QVERIFY(course);
            QCOMPARE(course->findCourseware(QStringLiteral("1021"))->stutas, QStringLiteral("1"));
            const double held =
                course->findCourseware(QStringLiteral("1024"))->watchtimes.toDouble();
            QVERIFY2(held >= 62 && held <= paused + 1, qPrintable(QString::number(held)));
        }

        Fixture other(*m_service);
        QVERIFY2(other.client.signIn(), qPrintable(other.client.errorString()));
        other.setWatchTime("1");
        Course *course = other.loadCourse(courseId);
        QVERIFY(course);
        CourseModel tree(course);
        QCOMPARE(treeProgress(tree, QStringLiteral("1021")), QStringLiteral("已学完"));
        QCOMPARE(treeProgress(tree, QStringLiteral("1024")),
                 QStringLiteral("已学 %1%").arg(int(paused) * 100 / 180));
        QCOMPARE(treeProgress(tree, QStringLiteral("1025")), QString());
        ThumbnailItemMyCourse tile(course);
        QCOMPARE(tile.learnedText(), QStringLiteral("已学 1/3"));
        QVERIFY(tile.canContinue());
        // Nothing was remembered on this machine: the service's position is where it resumes.
        QCOMPARE(WatchPositionStore(other.state().userDataDir)
                     .position(courseId, QStringLiteral("1024")),
                 0.0);
        QCOMPARE(LearningProgress::lessonToContinue(*course, QString()), QStringLiteral("1024"));

        double resumedAt = 0;
        whenPlaying(
            [&](FFPlayer *w) {
                QTest::qWait(300);
                resumedAt = w->player()->Clock();
                w->close();
            },
            40000);
        other.session.playFromCourse(course->findCourseware(QStringLiteral("1024")));
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 45000));
        QVERIFY(waitGone());
        QVERIFY2(resumedAt >= 61, qPrintable(QString::number(resumedAt)));
    }

    // Progress made offline while the service is down waits in the user's journal and
    // arrives once the service is back: in order, each report exactly once.
    void offlineProgressArrivesOnceServiceIsBack()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        QSignalSpy downloaded(&f.queue, &FileStream::DownloadedSignal);
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1018")}));
        QVERIFY(QTest::qWaitFor([&] { return downloaded.count() == 1; }, 30000));

        m_service->stop();
        qint64 length = 0;
        whenPlaying([&](FFPlayer *w) {
            length = qint64(w->player()->Duration());
            (void)QTest::qWaitFor([&] { return w->player()->Clock() >= 2; }, 10000);
            QTest::keyClick(w, Qt::Key_Space); // paused: a watch time, not deliverable
            QTest::qWait(300);
            QTest::keyClick(w, Qt::Key_Space);
            (void)QTest::qWaitFor([&] { return w->player()->isAtEnd(); }, 15000);
            w->close();
        });
        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1018"),
                                                Courseware::NotDownloaded);
        f.session.playFromCourse(&lesson);
        QVERIFY(m_scriptRan);
        QVERIFY(waitGone());
        QTest::qWait(500); // the refused connections have been answered

        // Kept in the user's folder, the later watch time in place of the earlier one.
        const QList<ProgressReport> kept = LearningJournal(f.state().userDataDir).pending();
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept.at(0).type, int(ReqWatchTime));
        QCOMPARE(kept.at(0).value, QString::number(length));
        QCOMPARE(kept.at(1).type, int(ReqLearnStatus));

        QVERIFY(m_service->restart());
        const int mark = logMark();
        // The next reply of the service (here the course list, as after 重试) lets them go.
        f.client.api().getMyCourseList();
        QVERIFY(f.progressSent());
        f.client.api().getMyCourseList();
        QTest::qWait(500);
        const QList<QJsonObject> watch = logSince(mark, QStringLiteral("Editwatchtime"));
        const QList<QJsonObject> status = logSince(mark, QStringLiteral("PushLearnStatus"));
        QCOMPARE(watch.size(), 1);
        QCOMPARE(status.size(), 1);
        QVERIFY(watch.first()
                    .value(QStringLiteral("query"))
                    .toString()
                    .contains(QStringLiteral("watchtimes=%1").arg(length)));
        QVERIFY(status.first()
                    .value(QStringLiteral("query"))
                    .toString()
                    .contains(QStringLiteral("stutas=1")));
        QStringList order;
        const QList<QJsonObject> log = m_service->requestLog();
        for (int i = mark; i < log.size(); ++i) {
            const QString endpoint = log.at(i).value(QStringLiteral("endpoint")).toString();
            if (endpoint == QLatin1String("Editwatchtime")
                || endpoint == QLatin1String("PushLearnStatus"))
                order << endpoint;
        }
        QCOMPARE(order,
                 QStringList({QStringLiteral("Editwatchtime"), QStringLiteral("PushLearnStatus")}));
        Course *course = f.loadCourse(QStringLiteral("101"));
        QVERIFY(course);
        QCOMPARE(course->findCourseware(QStringLiteral("1018"))->stutas, QStringLiteral("1"));
    }

    // A student's evening: speeds the lesson up with the keyboard, skips with the arrow keys,
    // turns the volume down, watches in full screen; the next lesson keeps speed and volume.
    void speedKeysAndVolumeCarryToNextLesson()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Courseware lesson = DemoLessons::lesson(QStringLiteral("102"), QStringLiteral("1024"),
                                                Courseware::NotDownloaded);
        Courseware next = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1013"),
                                              Courseware::NotDownloaded);
        f.setWatchTime("1");

        struct Seen
        {
            double stretchFrom = -1, stretchPlayed = 0, stretchWall = -1, forward = 0, back = 0,
                   left = 0;
            int volume = -1;
            bool fullScreenBarHidden = false, barBack = false, barHidesAgain = false,
                 noticeGone = false;
            QString notice, speedLabel;
        } seen;
        whenPlaying(
            [&](FFPlayer *w) {
                LumraPlayer *p = w->player();
                // From normal speed three steps up: 1.25, 1.5, 2.0.
                for (int i = 0; i < 3; ++i)
                    QTest::keyClick(w, Qt::Key_BracketRight);
                seen.notice = w->notice();
                seen.speedLabel = PlayerParts::speedButton(w)->text();
                QTest::qWait(300);
                // Ten seconds of the lesson against the monotonic clock.
                QElapsedTimer wall;
                wall.start();
                seen.stretchFrom = p->Clock();
                (void)QTest::qWaitFor([&] { return p->Clock() >= seen.stretchFrom + 10; }, 20000);
                seen.stretchWall = wall.elapsed() / 1000.0;
                seen.stretchPlayed = p->Clock() - seen.stretchFrom;

                seen.noticeGone = w->notice().isEmpty();

                double before = p->Clock();
                QTest::keyClick(w, Qt::Key_Right);
                (void)QTest::qWaitFor([&] { return p->Clock() >= before + 9; }, 3000);
                seen.forward = p->Clock() - before;
                before = p->Clock();
                QTest::keyClick(w, Qt::Key_Left);
                (void)QTest::qWaitFor([&] { return p->Clock() <= before - 7; }, 3000);
                seen.back = before - p->Clock();

                turnWheel(PlayerParts::volumeSlider(w), -2);
                seen.volume = p->volume();

                // Full screen: the control bar goes, a mouse move brings it back, and it goes
                // again once the mouse has rested a while.
                QTest::mouseDClick(PlayerParts::videoSurface(w), Qt::LeftButton);
                seen.fullScreenBarHidden =
                    w->isFullScreen() && PlayerParts::controlBar(w)->isHidden();
                QTest::mouseMove(w->windowHandle(),
                                 PlayerParts::videoSurface(w)->mapTo(
                                     w, QPoint(PlayerParts::videoSurface(w)->width() / 2, 40)));
                QTest::qWait(50);
                seen.barBack = PlayerParts::controlBar(w)->isVisible();
                seen.barHidesAgain =
                    QTest::qWaitFor([&] { return PlayerParts::controlBar(w)->isHidden(); }, 6000);
                QTest::keyClick(w, Qt::Key_Escape);
                seen.left = p->Clock();
                w->close();
            },
            40000);
        f.session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 45000));
        QVERIFY(waitGone());

        // At 2.0x ten seconds of lesson take about five of wall time (wide margin: a shared
        // machine may be slow, but at normal speed they would take ten).
        // The speed showed on the video for a moment and on its control.
        QCOMPARE(seen.notice, QStringLiteral("倍速 2.0×"));
        QVERIFY(seen.noticeGone);
        QCOMPARE(seen.speedLabel, QStringLiteral("2.0×"));
        QVERIFY2(seen.stretchPlayed >= 10, qPrintable(QString::number(seen.stretchPlayed)));
        QVERIFY2(seen.stretchWall > 3.0 && seen.stretchWall < 7.5,
                 qPrintable(QString::number(seen.stretchWall)));
        QVERIFY2(seen.forward >= 9 && seen.forward < 12.5,
                 qPrintable(QString::number(seen.forward)));
        QVERIFY2(seen.back >= 7 && seen.back <= 11, qPrintable(QString::number(seen.back)));
        QVERIFY2(seen.volume > 0 && seen.volume < 100, qPrintable(QString::number(seen.volume)));
        // Where it was left is remembered at double speed as well.
        const double stored =
            WatchPositionStore(f.env.state().userDataDir).position(lesson.courseId, lesson.id);
        QVERIFY2(qAbs(stored - seen.left) <= 2.5,
                 qPrintable(QStringLiteral("%1 %2").arg(stored).arg(seen.left)));
        QVERIFY(seen.fullScreenBarHidden);
        QVERIFY(seen.barBack);
        QVERIFY(seen.barHidesAgain);

        // Kept in the settings file for the next start of the program.
        f.env.state().settings->sync();
        QSettings file(f.env.state().settings->fileName(), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("PLAYER/SPEED")).toString(), QStringLiteral("2.0"));
        QCOMPARE(file.value(QStringLiteral("PLAYER/VOLUME")).toString(),
                 QString::number(seen.volume));

        double nextSpeedWall = -1, nextSpeed = 0, chosenSpeed = 0;
        int nextVolume = -1, nextSlider = -1;
        bool nextMuted = true, menuShown = false;
        whenPlaying([&](FFPlayer *w) {
            LumraPlayer *p = w->player();
            nextVolume = p->volume();
            nextSlider = PlayerParts::volumeSlider(w)->value();
            nextMuted = p->isMuted();
            nextSpeed = p->speed();
            QElapsedTimer wall;
            wall.start();
            const double from = p->Clock();
            (void)QTest::qWaitFor([&] { return p->Clock() >= from + 2; }, 10000);
            nextSpeedWall = wall.elapsed() / 1000.0;
            // Back to normal speed from the control's menu.
            QTest::mouseClick(PlayerParts::speedButton(w), Qt::LeftButton);
            menuShown =
                QTest::qWaitFor([&] { return PlayerParts::speedMenu(w)->isVisible(); }, 2000);
            for (QAction *action : PlayerParts::speedMenu(w)->actions()) {
                if (action->text() == QStringLiteral("1.0×"))
                    action->trigger();
            }
            PlayerParts::speedMenu(w)->hide();
            chosenSpeed = p->speed();
            w->close();
        });
        f.session.playFromCourse(&next);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 30000));
        QVERIFY(waitGone());
        QCOMPARE(nextVolume, seen.volume);
        QCOMPARE(nextSlider, seen.volume);
        QVERIFY(!nextMuted);
        QCOMPARE(nextSpeed, 2.0);
        QVERIFY2(nextSpeedWall > 0 && nextSpeedWall < 1.7,
                 qPrintable(QString::number(nextSpeedWall)));
        QVERIFY(menuShown);
        QCOMPARE(chosenSpeed, 1.0);
        QCOMPARE(Settings::text(f.env.state().settings.get(), SettingKeys::PlayerSpeed),
                 QStringLiteral("1.0"));
    }

    // Two lessons of a course asked for at once, the first answer held back: the window
    // that opens is the lesson its answer was for, and the late answer opens nothing.
    void addressAnswersOutOfOrder()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        QVERIFY(
            m_service->setFaults({{QStringLiteral("hold"), QStringLiteral("GetKeysAndUrlByLid")},
                                  {QStringLiteral("hold-count"), QStringLiteral("1")},
                                  {QStringLiteral("hold-ms"), QStringLiteral("4000")}}));
        // (Held long enough that the second answer comes first even in the sanitizer build.)
        Courseware first = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1013"),
                                               Courseware::NotDownloaded);
        Courseware second = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1014"),
                                                Courseware::NotDownloaded);
        const int mark = logMark();
        QString title;
        whenPlaying([&](FFPlayer *w) {
            title = w->windowTitle();
            (void)QTest::qWaitFor(
                [&] { return logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).size() == 2; },
                5000);
            QTest::qWait(4200); // the held answer arrives while this window plays
            w->close();
        });
        f.session.playFromCourse(&first);
        // The first request reaches the service (and is the one held) before the second
        // leaves: sent together, either may arrive first. The service logs a request only
        // when it has answered, so a short pause is all there is to wait on.
        QTest::qWait(400);
        f.session.playFromCourse(&second);
        QVERIFY(QTest::qWaitFor([&] { return m_scriptRan; }, 30000));
        QVERIFY(waitGone());
        QCOMPARE(title, QStringLiteral("课件 1014"));
    }

    void refusedAddressShowsServiceText()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Courseware chapter = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1011"),
                                                 Courseware::NotDownloaded);
        chapter.level = Courseware::Chapter;
        const int mark = logMark();
        f.session.playFromCourse(&chapter);
        QTest::qWait(200);
        QVERIFY(logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).isEmpty());

        // A lesson whose download has not finished is asked for online, not opened from the
        // store; here the service refuses it and says why.
        Courseware foreign = DemoLessons::lesson(QStringLiteral("999"), QStringLiteral("9999"),
                                                 Courseware::NotDownloaded);
        Course queued;
        queued.id = foreign.courseId;
        queued.coursewares << DemoLessons::lesson(foreign.courseId, foreign.id, Courseware::Queued);
        f.state().user.downloads << queued;
        f.session.playFromCourse(&foreign);
        QVERIFY(QTest::qWaitFor([&] { return !f.messages.isEmpty(); }, 15000));
        QVERIFY(!f.messages.first().isEmpty());
        QCOMPARE(logSince(mark, QStringLiteral("GetKeysAndUrlByLid")).size(), 1);
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

        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1016"),
                                                Courseware::NotDownloaded);
        M3u8Context address;
        QVERIFY(f.client.lessonAddress(&lesson, &address));
        f.session.playOnline(address.url, QStringLiteral("not-the-keys"), &lesson);
        QCOMPARE(f.messages, QStringList{QStringLiteral("对远程内容访问被拒绝 ")});
        QVERIFY(waitGone());

        QSignalSpy downloaded(&f.queue, &FileStream::DownloadedSignal);
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1016")}));
        QVERIFY(QTest::qWaitFor([&] { return downloaded.count() == 1; }, 30000));
        Courseware *stored =
            f.queue.findDownloadLesson(QStringLiteral("101"), QStringLiteral("1016"));
        QVERIFY(stored && stored->downloadState == Courseware::Downloaded);
        const QString folder = stored->localPath;
        AesCipher otherMachine;
        otherMachine.setKey(QByteArray(16, 'x'));
        QVERIFY(f.env.cipher().decryptFileToBytes(folder + QStringLiteral("/00000.zx")).size()
                >= 16);
        otherMachine.encryptBytesToFile(QByteArray(16, 'k'), folder + QStringLiteral("/00000.zx"));
        const QString undecipherable = QStringLiteral("课件文件无法解密，请删除后重新下载");
        f.session.playDownloaded(stored);
        QCOMPARE(f.messages.size(), 2);
        QCOMPARE(f.messages.last(), undecipherable);
        QVERIFY(waitGone());

        const QByteArray playlist =
            f.env.cipher().decryptFileToBytes(folder + QStringLiteral("/00000.zs"));
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
        Courseware lesson = DemoLessons::lesson(QStringLiteral("101"), QStringLiteral("1018"),
                                                Courseware::NotDownloaded);
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
