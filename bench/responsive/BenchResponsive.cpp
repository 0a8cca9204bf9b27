// lumra-bench-responsive: how the window keeps up while the client works, with the main
// window on the download screen as a student sees it (run it on an X display).
//
//   lumra-bench-responsive stall URL
//       The loader fetches the lesson at URL as the queue runs it, its progress reaching the
//       screen's tile every second, while a 10 ms timer on the GUI thread measures how late
//       each of its ticks comes. Prints lateness_p50_ms, lateness_p99_ms, lateness_max_ms,
//       ticks, seconds, bytes. Exit 0 when the lesson was downloaded.
//   lumra-bench-responsive queue N
//       N lessons queued over min(N, 20) courses (the queue paused): adding them (one
//       course after another, as the course page does), opening the download screen on its
//       queue tab, and twenty one-second progress ticks of the running lesson. Prints add_ms,
//       open_ms, tick_ms (median) and tick_max_ms: GUI-thread time until every event the
//       step caused, painting included, has been handled.
//
// The Host header of loader requests is LUMRA_COURSEWARE_HOST (set it to the server).
#include "app/Accessors.h"
#include "download/DownloadWidget.h"
#include "download/FileStream.h"
#include "download/M3u8Loader.h"
#include "model/Course.h"
#include "model/ThumbnailListWidget.h"
#include "support/DemoLessons.h"
#include "support/TestAppState.h"
#include "ui/MainWidget.h"
#include "widgets/ResourceInit.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(q * double(values.size() - 1) + 0.5));
    return values.at(at);
}

// Handles every event that is waiting, posted ones and the paints they cause included.
void settle()
{
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// The main window as start-up builds it, on the download screen's queue tab.
class Window
{
public:
    explicit Window(AppState &state)
    {
        initResources();
        // A signed-in student with a store of their own, so that every change is saved as
        // the client saves it.
        state.signedIn = true;
        state.user.loginName = QStringLiteral("13800138000");
        state.userDataDir = state.userDir + QStringLiteral("/13800138000");
        QDir().mkpath(state.userDataDir);
        state.userStoreFile = state.userDataDir + QStringLiteral("/kecheng.zg");
        m_queue = std::make_unique<FileStream>();
        registerFileStream(m_queue.get());
        m_queue->setPaused(true);
        m_window = std::make_unique<MainWidget>();
        registerMainWidget(m_window.get());
        m_window->resize(1210, 720);
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            std::fprintf(stderr, "the window was not shown\n");
        settle();
    }
    ~Window()
    {
        registerMainWidget(nullptr);
        m_window.reset();
        registerFileStream(nullptr);
        m_queue.reset();
    }

    void openQueueTab()
    {
        m_window->showDownloads();
        m_window->findChild<DownloadWidget *>()->showCachingTab();
    }

    FileStream &queue() { return *m_queue; }
    DownloadWidget *page() { return m_window->findChild<DownloadWidget *>(); }

private:
    std::unique_ptr<FileStream> m_queue;
    std::unique_ptr<MainWidget> m_window;
};

QList<Course> queuedCourses(int lessons)
{
    const int courses = std::max(1, std::min(lessons, 20));
    QList<Course> list;
    int next = 0;
    for (int c = 0; c < courses; ++c) {
        QStringList ids;
        const int count = lessons / courses + (c < lessons % courses ? 1 : 0);
        for (int i = 0; i < count; ++i)
            ids << QString::number(100000 + next++);
        list << DemoLessons::queuedCourse(QString::number(500 + c), ids,
                                          QStringLiteral("执业医师精讲班 %1").arg(c + 1));
    }
    return list;
}

int stall(const QString &url)
{
    TestAppState env;
    Window window(env.state());
    const Course course = queuedCourses(1).first();
    window.queue().appendMission(course);
    window.openQueueTab();
    settle();
    Courseware *lesson =
        window.queue().findDownloadLesson(course.id, course.coursewares.first().id);

    const QString folder = env.root() + QStringLiteral("/lesson");
    QDir().mkpath(folder);
    M3u8Loader loader;
    loader.setPauseCheck([] { return false; });
    // The queue's own loader would pass this on; here the lesson is not asked for at the service.
    QObject::connect(&loader, &M3u8Loader::ProgressSignal, &window.queue(),
                     [&](double progress, double speed) {
                         emit window.queue().DownloadingProgressSignal(lesson, progress, speed);
                     });
    int code = 1;
    QObject::connect(&loader, &M3u8Loader::FinishedSignal, qApp, [&](bool isCancel) {
        code = isCancel ? 1 : 0;
        qApp->quit();
    });
    QObject::connect(&loader, &M3u8Loader::ErrorSignal, qApp, [&](const QString &text) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(text));
        qApp->quit();
    });

    std::vector<double> lateness;
    lateness.reserve(4096);
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateness.push_back(std::max(0.0, (now - last) / 1e6 - 10.0));
        last = now;
    });
    QTimer::singleShot(0, &loader, [&] {
        clock.start();
        tick.start(10);
        loader.start(url, folder, QByteArray());
    });
    qApp->exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    std::printf("lateness_p50_ms %.2f\nlateness_p99_ms %.2f\nlateness_max_ms %.2f\nticks "
                "%zu\nseconds %.3f\n"
                "bytes %lld\n",
                quantile(lateness, 0.5), quantile(lateness, 0.99), quantile(lateness, 1.0),
                lateness.size(), seconds, bytes);
    return code;
}

int queue(int lessons)
{
    TestAppState env;
    Window window(env.state());
    const QList<Course> courses = queuedCourses(lessons);

    QElapsedTimer clock;
    clock.start();
    for (const Course &course : courses)
        window.queue().appendMission(course);
    settle();
    const double addMs = clock.nsecsElapsed() / 1e6;

    clock.restart();
    window.openQueueTab();
    settle();
    const double openMs = clock.nsecsElapsed() / 1e6;
    const int tiles = window.page()->cachingCount();

    Courseware *running = window.queue().findDownloadLesson(courses.first().id,
                                                            courses.first().coursewares.first().id);
    std::vector<double> ticks;
    for (int second = 1; second <= 20; ++second) {
        clock.restart();
        emit window.queue().DownloadingProgressSignal(running, second / 20.0, 5e7);
        settle();
        ticks.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("lessons %d\ntiles %d\nadd_ms %.2f\nopen_ms %.2f\ntick_ms %.3f\ntick_max_ms %.3f\n",
                lessons, tiles, addMs, openMs, quantile(ticks, 0.5), quantile(ticks, 1.0));
    return tiles == lessons ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("stall"))
        return stall(args.at(2));
    if (args.size() == 3 && args.at(1) == QLatin1String("queue"))
        return queue(std::max(1, args.at(2).toInt()));
    std::fprintf(stderr, "usage: lumra-bench-responsive stall URL | queue N\n");
    return 2;
}
