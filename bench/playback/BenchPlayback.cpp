// lumra-bench-playback: from a lesson chosen on the course page to "playback started" (the
// window's control bar appears), as the client runs it: the lesson address asked of the
// demo service and played online, or the downloaded lesson played from the store. Run it on
// an X display (Xvfb): the video goes to a real window.
//
//   lumra-bench-playback --mode online|offline [--plays 4] [--preload] [--root DIR] [--mpv-dir DIR]
//                        [--cpu-seconds N] [--drops-seconds N [--download URL]]
//
// Without --preload the first play of the process pays for loading libmpv. With it, libmpv
// is preloaded as the client does (1.5 s after its start) and the first play waits until
// 2.5 s after start: the first lesson a student opens after starting the client. Later plays
// are what a running client sees. Each play opens a new window, which is closed as soon as
// the lesson plays.
//
// Prints "play N MS" per play, and for the command-line player the same stream:
// "url", "header" lines (online) or "playlist" (offline, a deciphered copy with its key under
// --mpv-dir), and "surface WxH" (the video surface's size).
//
// With --cpu-seconds, one more play after those: the lesson plays on at normal speed and the
// process's CPU time (every thread: ours, libmpv's, the software OpenGL's) over N seconds of
// video from its 2nd second is printed as "cpu SECONDS raster SECONDS video SECONDS wall
// SECONDS", raster being the part the software OpenGL's rasteriser threads spent.
//
// With --drops-seconds, one more play after those: the lesson plays on for N seconds of video
// from its 2nd second and the frames the player dropped meanwhile are printed as "drops N
// video SECONDS downloads M"; with --download URL, a loader in this process fetches the
// lesson at URL over and over at full speed during that play (M: lessons fetched whole).
//
// Needs LUMRA_DEMO_SERVICE (the demo service binary); --root keeps the store between runs, so
// the offline lesson is downloaded once.
#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "download/M3u8Loader.h"
#include "download/StoreFolders.h"
#include "model/Course.h"
#include "model/M3u8Context.h"
#include "player/FFPlayer.h"
#include "player/LessonPlayback.h"
#include "player/LumraPlayer.h"
#include "player/MpvLibrary.h"
#include "player/OfflinePlaylist.h"
#include "support/DemoClient.h"
#include "support/DemoLessons.h"
#include "support/DemoService.h"
#include "support/DemoStudent.h"
#include "support/PlayerParts.h"
#include "widgets/ResourceInit.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <memory>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr const char *kCourse = "102";
constexpr const char *kLesson = "1024"; // the long demo lesson: it never ends while measured

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Notes the moment the playing window shows its control bar, which the window does when
// the player reports that playback started, and closes the window right after.
class StartWatch : public QObject
{
public:
    QElapsedTimer clock;
    double startedMs = -1;
    QSize surface;
    QString source;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && startedMs < 0) {
            FFPlayer *window = FFPlayer::current();
            if (window && watched == PlayerParts::controlBar(window)) {
                startedMs = clock.nsecsElapsed() / 1e6;
                surface = PlayerParts::videoSurface(window)->size();
                source = window->source();
                QTimer::singleShot(0, window, &FFPlayer::stopPlayback);
            }
        }
        return false;
    }
};

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
           + usage.ru_stime.tv_usec / 1e6;
}

// CPU time of the software OpenGL's rasteriser threads ("llvmpipe-N"): the work a graphics
// card would do.
double rasteriserCpuSeconds()
{
    double ticks = 0;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("llvmpipe")
            || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            ticks += fields.at(11).toDouble() + fields.at(12).toDouble();
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// CPU time over a stretch of video, measured from inside the blocking play.
struct CpuStretch
{
    double seconds = 0;
    double cpuFrom = -1, rasterFrom = 0, clockFrom = -1, cpu = -1, raster = 0, video = 0, wall = 0;
    QElapsedTimer wallClock;
    bool done = false;

    // Polled while the lesson plays; stops the playback once the stretch is measured.
    void poll()
    {
        FFPlayer *window = FFPlayer::current();
        LumraPlayer *player = window ? window->player() : nullptr;
        if (done || !player || !PlayerParts::controlBar(window)->isVisible())
            return;
        const double clock = player->Clock();
        if (cpuFrom < 0 && clock >= 2) {
            cpuFrom = processCpuSeconds();
            rasterFrom = rasteriserCpuSeconds();
            clockFrom = clock;
            wallClock.start();
        } else if (cpuFrom >= 0 && clock >= clockFrom + seconds) {
            cpu = processCpuSeconds() - cpuFrom;
            raster = rasteriserCpuSeconds() - rasterFrom;
            video = clock - clockFrom;
            wall = wallClock.nsecsElapsed() / 1e9;
            done = true;
            window->stopPlayback();
        }
    }
};

// Frames dropped over a stretch of video, polled while the lesson plays.
struct DropStretch
{
    double seconds = 0;
    double clockFrom = -1, video = 0;
    qint64 dropsFrom = 0, drops = -1;
    bool done = false;

    void poll()
    {
        FFPlayer *window = FFPlayer::current();
        LumraPlayer *player = window ? window->player() : nullptr;
        if (done || !player || !PlayerParts::controlBar(window)->isVisible())
            return;
        const double clock = player->Clock();
        if (clockFrom < 0 && clock >= 2) {
            clockFrom = clock;
            dropsFrom = player->droppedFrames();
        } else if (clockFrom >= 0 && clock >= clockFrom + seconds) {
            drops = player->droppedFrames() - dropsFrom;
            video = clock - clockFrom;
            done = true;
            window->stopPlayback();
        }
    }
};

// A lesson fetched again and again by a loader in this process, as the queue runs one: a
// download at full speed for as long as this lives. Each round writes into a new folder;
// the previous one is removed off the GUI thread, which is no work of the client's.
class BackgroundDownload
{
public:
    BackgroundDownload(const QString &url, const QString &folder)
        : m_url(url)
        , m_folder(folder)
    {
        m_loader.setPauseCheck([] { return false; });
        QObject::connect(&m_loader, &M3u8Loader::FinishedSignal, &m_loader, [this](bool isCancel) {
            if (!isCancel) {
                ++m_rounds;
                QTimer::singleShot(0, &m_loader, [this] { next(); });
            }
        });
        QObject::connect(&m_loader, &M3u8Loader::ErrorSignal, &m_loader,
                         [this](const QString &text) { m_error = text; });
        next();
    }
    ~BackgroundDownload()
    {
        m_loader.cancel();
        QThreadPool::globalInstance()->waitForDone();
        QDir(m_folder).removeRecursively();
    }
    int rounds() const { return m_rounds; }
    QString error() const { return m_error; }

private:
    void next()
    {
        const QString previous = roundFolder(m_rounds - 1);
        QThreadPool::globalInstance()->start([previous] { QDir(previous).removeRecursively(); });
        const QString folder = roundFolder(m_rounds);
        QDir().mkpath(folder);
        m_loader.start(m_url, folder, QByteArray());
    }
    QString roundFolder(int round) const { return m_folder + QStringLiteral("/%1").arg(round); }

    QString m_url;
    QString m_folder;
    M3u8Loader m_loader;
    int m_rounds = 0;
    QString m_error;
};

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The stored lesson as the player window deciphers it, written out for another player.
QString writeOfflineCopy(const QString &folder, const QString &target)
{
    AesCipher *cipher = localCipher();
    QByteArray playlist = cipher->decryptFileToBytes(
        folder + QLatin1Char('/') + QLatin1String(StoreFolders::playlistFileName));
    while (playlist.endsWith('\0'))
        playlist.chop(1);
    QByteArray key = cipher
                         ->decryptFileToBytes(folder + QLatin1Char('/')
                                              + QLatin1String(StoreFolders::keyFileName))
                         .left(AesCipher::BlockSize);
    QDir().mkpath(target);
    const QString keyPath = target + QStringLiteral("/key.zx");
    const QString playlistPath = target + QStringLiteral("/lesson.m3u8");
    if (playlist.isEmpty() || key.size() != AesCipher::BlockSize || !writeFile(keyPath, key)
        || !writeFile(playlistPath, OfflinePlaylist::withKeyFile(playlist, keyPath)))
        return QString();
    return playlistPath;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("mode"), QStringLiteral("online or offline"),
                      QStringLiteral("mode"), QStringLiteral("online")});
    parser.addOption({QStringLiteral("plays"), QStringLiteral("plays in this process"),
                      QStringLiteral("n"), QStringLiteral("4")});
    parser.addOption(
        {QStringLiteral("preload"), QStringLiteral("preload libmpv as the client does")});
    parser.addOption({QStringLiteral("root"), QStringLiteral("the client's folders (kept)"),
                      QStringLiteral("dir")});
    parser.addOption({QStringLiteral("mpv-dir"), QStringLiteral("where the offline copy goes"),
                      QStringLiteral("dir")});
    parser.addOption({QStringLiteral("cpu-seconds"),
                      QStringLiteral("CPU time over this much video"), QStringLiteral("n")});
    parser.addOption({QStringLiteral("drops-seconds"),
                      QStringLiteral("dropped frames over this much video"), QStringLiteral("n")});
    parser.addOption({QStringLiteral("download"), QStringLiteral("a lesson fetched meanwhile"),
                      QStringLiteral("url")});
    parser.process(app);
    const bool offline = parser.value(QStringLiteral("mode")) == QLatin1String("offline");
    const int plays = std::max(1, parser.value(QStringLiteral("plays")).toInt());
    initResources();
    QElapsedTimer sinceStart;
    sinceStart.start();
    const bool preload = parser.isSet(QStringLiteral("preload"));
    if (preload)
        MpvLibrary::preloadLater(1500);

    DemoService service;
    if (!service.start()) {
        out() << "error demo service: " << service.errorString() << "\n";
        return 1;
    }
    DemoStudent student(service, parser.value(QStringLiteral("root")));
    DemoClient &client = student.client;
    FileStream &queue = student.queue;
    AppState &state = student.state();
    if (!client.signIn()) {
        out() << "error sign-in: " << client.errorString() << "\n";
        return 1;
    }
    state.lines = QStringList{ServiceSettings::coursewareHost()};

    LessonPlayback session(&client.api());
    QStringList messages;
    session.setMessageSink([&messages](const QString &text) { messages << text; });
    QByteArray keys;
    QObject::connect(&client.api(), &APIHandler::HttpResponseSignal,
                     [&keys](int type, int result, const QVariant &info) {
                         if (type == ReqPlayKeys && result != 0)
                             keys = info.value<M3u8Context>().keys;
                     });

    const Courseware *stored =
        queue.findDownloadLesson(QLatin1String(kCourse), QLatin1String(kLesson));
    if (!offline && stored) {
        out()
            << "error the lesson is in this store, so it would play offline: use another --root\n";
        return 1;
    }
    if (offline && (!stored || stored->downloadState != Courseware::Downloaded)) {
        QSignalSpy downloaded(&queue, &FileStream::DownloadedSignal);
        queue.appendMission(
            DemoLessons::queuedCourse(QLatin1String(kCourse), {QLatin1String(kLesson)}));
        if (!QTest::qWaitFor([&] { return downloaded.count() == 1; }, 120000)) {
            out() << "error the lesson did not download\n";
            return 1;
        }
    }

    if (preload && sinceStart.elapsed() < 2500)
        QTest::qWait(int(2500 - sinceStart.elapsed()));

    StartWatch watch;
    app.installEventFilter(&watch);
    for (int play = 1; play <= plays; ++play) {
        Courseware lesson = DemoLessons::lesson(QLatin1String(kCourse), QLatin1String(kLesson),
                                                Courseware::NotDownloaded);
        watch.startedMs = -1;
        QTimer::singleShot(0, [&] {
            watch.clock.start();
            session.playFromCourse(&lesson); // offline: returns when the window has closed
        });
        const bool started = QTest::qWaitFor([&] { return watch.startedMs >= 0; }, 30000);
        if (FFPlayer *window = FFPlayer::current(); window && !started)
            window->stopPlayback();
        if (!QTest::qWaitFor([] { return FFPlayer::current() == nullptr; }, 10000) || !started) {
            out() << "error play " << play
                  << " did not start: " << messages.join(QLatin1String("; ")) << "\n";
            return 1;
        }
        out() << "play " << play << " " << QString::number(watch.startedMs, 'f', 1) << "\n";
        out().flush();
        QTest::qWait(300); // let the previous window's teardown settle
    }

    const double cpuSeconds = parser.value(QStringLiteral("cpu-seconds")).toDouble();
    if (cpuSeconds > 0) {
        app.removeEventFilter(&watch);
        CpuStretch stretch;
        stretch.seconds = cpuSeconds;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&stretch] { stretch.poll(); });
        poll.start(20);
        Courseware lesson = DemoLessons::lesson(QLatin1String(kCourse), QLatin1String(kLesson),
                                                Courseware::NotDownloaded);
        QTimer::singleShot(0, [&] { session.playFromCourse(&lesson); });
        const bool measured =
            QTest::qWaitFor([&] { return stretch.done; }, int(cpuSeconds * 3000) + 30000);
        if (FFPlayer *window = FFPlayer::current(); window && !measured)
            window->stopPlayback();
        if (!measured) {
            out() << "error the CPU stretch did not play: " << messages.join(QLatin1String("; "))
                  << "\n";
            return 1;
        }
        (void)QTest::qWaitFor([] { return FFPlayer::current() == nullptr; }, 10000);
        out() << "cpu " << QString::number(stretch.cpu, 'f', 3) << " raster "
              << QString::number(stretch.raster, 'f', 3) << " video "
              << QString::number(stretch.video, 'f', 3) << " wall "
              << QString::number(stretch.wall, 'f', 3) << "\n";
    }

    const double dropSeconds = parser.value(QStringLiteral("drops-seconds")).toDouble();
    if (dropSeconds > 0) {
        app.removeEventFilter(&watch);
        DropStretch stretch;
        stretch.seconds = dropSeconds;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&stretch] { stretch.poll(); });
        poll.start(20);
        std::unique_ptr<BackgroundDownload> download;
        if (parser.isSet(QStringLiteral("download")))
            download =
                std::make_unique<BackgroundDownload>(parser.value(QStringLiteral("download")),
                                                     state.dataDir + QStringLiteral("/background"));
        Courseware lesson = DemoLessons::lesson(QLatin1String(kCourse), QLatin1String(kLesson),
                                                Courseware::NotDownloaded);
        QTimer::singleShot(0, [&] { session.playFromCourse(&lesson); });
        const bool measured =
            QTest::qWaitFor([&] { return stretch.done; }, int(dropSeconds * 3000) + 30000);
        const int rounds = download ? download->rounds() : 0;
        const QString error = download ? download->error() : QString();
        download.reset();
        if (FFPlayer *window = FFPlayer::current(); window && !measured)
            window->stopPlayback();
        if (!measured || stretch.drops < 0) {
            out() << "error the stretch did not play: " << messages.join(QLatin1String("; "))
                  << "\n";
            return 1;
        }
        (void)QTest::qWaitFor([] { return FFPlayer::current() == nullptr; }, 10000);
        out() << "drops " << stretch.drops << " video " << QString::number(stretch.video, 'f', 3)
              << " downloads " << rounds
              << (error.isEmpty() ? QString() : QStringLiteral(" error ") + error) << "\n";
    }

    out() << "surface " << watch.surface.width() << "x" << watch.surface.height() << "\n";
    if (offline) {
        // Found again: the download changed the list the first lookup pointed into.
        stored = queue.findDownloadLesson(QLatin1String(kCourse), QLatin1String(kLesson));
        const QString target = parser.isSet(QStringLiteral("mpv-dir"))
                                   ? parser.value(QStringLiteral("mpv-dir"))
                                   : state.dataDir + QStringLiteral("/mpv");
        const QString playlist = writeOfflineCopy(stored->localPath, target);
        if (playlist.isEmpty()) {
            out() << "error cannot write the offline copy\n";
            return 1;
        }
        out() << "playlist " << playlist << "\n";
    } else {
        out() << "url " << watch.source << "\n";
        const QStringList fields =
            LumraPlayer::headerFields(LessonPlayback::headerLine().toUtf8(),
                                      LessonPlayback::cookieLine(QString::fromUtf8(keys)).toUtf8());
        for (const QString &field : fields)
            out() << "header " << field << "\n";
    }
    return 0;
}
