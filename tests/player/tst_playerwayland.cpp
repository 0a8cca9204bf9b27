// A lesson on a Wayland desktop: the client runs as a Wayland client of a compositor in
// memory (weston's headless backend with OpenGL), plays a lesson, its clock advances and
// pictures are drawn in the window. Without a compositor running, the test starts its own
// and runs itself again inside it; without weston or Qt's Wayland plugin it skips.
#include "model/Courseware.h"
#include "player/FFPlayer.h"
#include "player/LessonPlayback.h"
#include "player/LumraPlayer.h"
#include "support/DemoClient.h"
#include "support/DemoService.h"
#include "support/PlayerParts.h"
#include "support/TestAppState.h"
#include "widgets/ResourceInit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double litShare(const QImage &image, const QRect &area)
{
    int lit = 0, total = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            ++total;
            if (qGray(image.pixel(x, y)) > 24)
                ++lit;
        }
    }
    return total ? double(lit) / total : 0;
}

} // namespace

class TestPlayerWayland : public QObject
{
    Q_OBJECT

private slots:
    void lessonPlaysOnWayland()
    {
        if (QGuiApplication::platformName() != QLatin1String("wayland"))
            QSKIP("needs weston and Qt's Wayland plugin (qtwayland5)");
        qunsetenv("LUMRA_MPV_VO");
        qputenv("LUMRA_MPV_AO", "null");
        initResources();

        DemoService service;
        QVERIFY2(service.start(), qPrintable(service.errorString()));
        TestAppState env;
        DemoClient client(service);
        QVERIFY2(client.signIn(), qPrintable(client.errorString()));
        LessonPlayback session(&client.api());

        Courseware lesson;
        lesson.courseId = QStringLiteral("102");
        lesson.id = QStringLiteral("1024");
        lesson.cType = QStringLiteral("1");
        lesson.type = QStringLiteral("kejian");
        lesson.title = QStringLiteral("体温、脉搏与呼吸（完整演示）");
        lesson.level = Courseware::Lesson;

        double first = -1, later = -1;
        QImage picture;
        bool scriptRan = false;
        QTimer poll;
        int waited = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            waited += 50;
            FFPlayer *w = FFPlayer::current();
            if (w && w->player() && PlayerParts::controlBar(w)->isVisible()) {
                poll.stop();
                scriptRan = true;
                QTest::qWait(500);
                first = w->player()->Clock();
                QTest::qWait(2000);
                later = w->player()->Clock();
                if (VideoSurface *surface = PlayerParts::renderSurface(w))
                    picture = surface->picture();
                w->close();
            } else if (waited > 40000) {
                poll.stop();
                if (w)
                    w->close();
            }
        });
        poll.start(50);
        session.playFromCourse(&lesson);
        QVERIFY(QTest::qWaitFor([&] { return scriptRan; }, 45000));
        QVERIFY(QTest::qWaitFor([] { return FFPlayer::current() == nullptr; }, 5000));

        QVERIFY2(later >= first + 1, qPrintable(QStringLiteral("%1 -> %2").arg(first).arg(later)));
        QVERIFY(!picture.isNull());
        const QRect middle(picture.width() / 4, picture.height() / 4, picture.width() / 2,
                           picture.height() / 2);
        QVERIFY2(litShare(picture, middle) > 0.3,
                 qPrintable(QString::number(litShare(picture, middle))));
    }
};

namespace {

// Starts weston's headless backend on a private socket; its pid, or -1.
pid_t startCompositor(const std::string &runtime, const std::string &socket)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        const std::string socketArg = "--socket=" + socket;
        const std::string log = "--log=" + runtime + "/weston.log";
        execlp("weston", "weston", "--backend=headless-backend.so", "--use-gl", "--idle-time=0",
               socketArg.c_str(), log.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    if (pid < 0)
        return -1;
    const std::string path = runtime + "/" + socket;
    for (int i = 0; i < 100; ++i) {
        if (access(path.c_str(), F_OK) == 0)
            return pid;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return -1;
        usleep(100 * 1000);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return -1;
}

int runTests(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestPlayerWayland test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsEmpty("LUMRA_WAYLAND_CHILD"))
        return runTests(argc, argv);

    char runtime[] = "/tmp/lumra-wl-XXXXXX";
    const bool haveRuntime = mkdtemp(runtime) != nullptr;
    const std::string socket = "lumra-test-" + std::to_string(getpid());
    const pid_t compositor = haveRuntime ? startCompositor(runtime, socket) : -1;
    int result = 0;
    if (compositor < 0) {
        // No compositor: the test skips under the offscreen platform.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        result = runTests(argc, argv);
    } else {
        const pid_t child = fork();
        if (child == 0) {
            setenv("LUMRA_WAYLAND_CHILD", "1", 1);
            setenv("XDG_RUNTIME_DIR", runtime, 1);
            setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
            setenv("QT_QPA_PLATFORM", "wayland", 1);
            unsetenv("DISPLAY");
            execv("/proc/self/exe", argv);
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        result = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
        kill(compositor, SIGTERM);
        waitpid(compositor, nullptr, 0);
    }
    if (haveRuntime)
        QDir(QString::fromLocal8Bit(runtime)).removeRecursively();
    return result;
}

#include "tst_playerwayland.moc"
