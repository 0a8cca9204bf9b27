// A lesson playing in a real window (X server in memory, the X11 video output): the picture
// reaches our video surface, the control bar shows under it, and a screenshot is written to
// $LUMRA_SCREENSHOT_DIR/player.png when that is set. Without a display the test runs itself
// again under xvfb-run.
#include "app/Theme.h"
#include "model/Courseware.h"
#include "player/FFPlayer.h"
#include "player/LessonPlayback.h"
#include "player/LumraPlayer.h"
#include "support/DemoClient.h"
#include "support/DemoService.h"
#include "support/TestAppState.h"
#include "widgets/ResourceInit.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

// Share of pixels in the rectangle that are not (nearly) black.
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

class TestPlayerScreen : public QObject
{
    Q_OBJECT

private slots:
    void lessonPlaysInOurWindow()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (xvfb-run not available)");
        qputenv("LUMRA_MPV_VO", "x11");
        qputenv("LUMRA_MPV_AO", "null");
        initResources();
        qApp->setStyleSheet(Theme::loadStyleSheet());

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

        QImage shot;
        QRect video, bar;
        QString title;
        bool scriptRan = false;
        QTimer poll;
        int waited = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            waited += 50;
            FFPlayer *w = FFPlayer::current();
            if (w && w->player() && w->controlBar()->isVisible()) {
                poll.stop();
                scriptRan = true;
                w->move(40, 40);
                // Let a few pictures and a position tick arrive.
                QTest::qWait(2500);
                title = w->titleLabel()->text();
                const QRect frame = w->frameGeometry();
                shot = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
                video = QRect(w->videoSurface()->mapTo(w, QPoint(0, 0)), w->videoSurface()->size());
                bar = QRect(w->controlBar()->mapTo(w, QPoint(0, 0)), w->controlBar()->size());
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

        QCOMPARE(title, lesson.title);
        QVERIFY(!shot.isNull());
        QCOMPARE(shot.size(), QSize(900, 650));
        // The decoder drew into our surface: its middle is a picture, not the black background.
        const QRect middle = video.adjusted(video.width() / 4, video.height() / 4, -video.width() / 4, -video.height() / 4);
        QVERIFY2(litShare(shot, middle) > 0.3, qPrintable(QString::number(litShare(shot, middle))));
        // The control bar sits under the picture in its own colour (#1c1d21).
        QCOMPARE(bar.top(), video.bottom() + 1);
        QCOMPARE(shot.pixelColor(bar.left() + 300, bar.bottom() - 2).name(), QStringLiteral("#1c1d21"));

        const QString folder = qEnvironmentVariable("LUMRA_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            QVERIFY(shot.save(folder + QStringLiteral("/player.png")));
        }
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("LUMRA_XVFB_CHILD")) {
        // Again under a private X server, with a private runtime folder so that Qt and the
        // sound library leave nothing in /tmp.
        char runtime[] = "/tmp/lumra-xdg-XXXXXX";
        if (mkdtemp(runtime)) {
            setenv("XDG_RUNTIME_DIR", runtime, 1);
            setenv("LUMRA_XVFB_RUNTIME", runtime, 1);
        }
        setenv("LUMRA_XVFB_CHILD", "1", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::vector<char *> args{const_cast<char *>("xvfb-run"), const_cast<char *>("-a"),
                                 const_cast<char *>("-s"), const_cast<char *>("-screen 0 1280x800x24")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        // No xvfb-run: run here; without a display the test skips.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        TestPlayerScreen test;
        result = QTest::qExec(&test, argc, argv);
    }
    const QString runtime = qEnvironmentVariable("LUMRA_XVFB_RUNTIME");
    if (runtime.startsWith(QLatin1String("/tmp/lumra-xdg-")))
        QDir(runtime).removeRecursively();
    return result;
}

#include "tst_playerscreen.moc"
