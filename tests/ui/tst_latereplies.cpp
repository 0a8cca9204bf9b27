// Replies that come late or out of order and servers that do not answer, met the way a
// student on a slow link meets them: through the main window, against the demo service, or
// against a small in-test server where a reply must be exact. The test runs on an X server
// of its own, so that a click made while the client waits arrives as a real user's does.

#include "ScreenTestKit.h"

#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseModel.h"
#include "model/ThumbnailItem.h"
#include "model/ThumbnailListWidget.h"
#include "model/ThumbnailModel.h"
#include "player/FFPlayer.h"
#include "support/ChildProcess.h"
#include "support/DemoLessons.h"
#include "support/MiniHttpServer.h"
#include "support/PlayerParts.h"
#include "ui/LoginWidget.h"
#include "ui/MyCourseInfoWidget.h"
#include "ui/MyCourseWidget.h"
#include "ui/UserWidget.h"
#include "widgets/ImageButton.h"
#include "widgets/LoadingWidget.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrlQuery>
#include <QtTest>

using namespace ScreenTestKit;

namespace {

const char *const kUnreadableReply = "服务器返回了无法识别的内容，请稍后重试";

// Xvfb on the first free display from :150 (the end-to-end test counts from :91).
class PrivateDisplay
{
public:
    ~PrivateDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }

    bool start()
    {
        for (int n = 150; n < 250; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
                || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            m_server.start(QStringLiteral("Xvfb"),
                           {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("1366x768x24"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            if (!m_server.waitForStarted())
                return false;
            for (int waited = 0; waited < 10000; waited += 50) {
                if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) {
                    qputenv("DISPLAY", QByteArray(":") + QByteArray::number(n));
                    return true;
                }
                if (m_server.waitForFinished(50))
                    break; // display taken meanwhile: try the next one
            }
        }
        return false;
    }

private:
    ChildProcess m_server;
};

} // namespace

class TestLateReplies : public QObject
{
    Q_OBJECT

private:
    DemoService m_service;
    std::unique_ptr<Environment> m_env;
    std::unique_ptr<FileStream> m_queue;
    std::unique_ptr<MessageAnswerer> m_answers;

    MainWidget *window() { return m_env->window(); }
    MyCourseWidget *myCourses() { return myCoursesPage(window()); }
    MyCourseInfoWidget *coursePage() { return courseInfoPage(window()); }
    AppState &state() { return m_env->state(); }

    bool signIn()
    {
        m_env->api()->getSessionId();
        if (!waitFor([this] { return !state().user.sid.isEmpty(); }))
            return false;
        LoginWidget *login = userPage(window())->loginForm();
        login->nameEdit()->setText(QStringLiteral("13800138000"));
        login->passwordEdit()->setText(QStringLiteral("lumra2026"));
        QTest::mouseClick(login->loginButton(), Qt::LeftButton);
        return waitFor([this] { return myCourses()->validList()->count() == 2; });
    }

    static void clickTile(ThumbnailListWidget *grid, const QString &title)
    {
        for (int row = 0; row < grid->count(); ++row) {
            if (grid->thumbnailModel()->itemAt(row)->title() != title)
                continue;
            const QRect rect = grid->visualRect(grid->model()->index(row, 0));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
            return;
        }
        QFAIL(qPrintable(QStringLiteral("no tile ") + title));
    }

    bool openCourse(const QString &title)
    {
        clickTile(myCourses()->validList(), title);
        return waitFor([this, title] {
            return currentPage(window()) == 1 && coursePage()->titleLabel()->text() == title
                   && !loadingWidget(window())->isVisible();
        });
    }

    static QModelIndex findNode(QAbstractItemModel *model, const QString &title,
                                const QModelIndex &parent = QModelIndex())
    {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (index.data().toString() == title)
                return index;
            const QModelIndex inner = findNode(model, title, index);
            if (inner.isValid())
                return inner;
        }
        return QModelIndex();
    }

    // Press, release and double click, as the system delivers a double click.
    void doubleClickLesson(const QString &title)
    {
        QTreeView *tree = coursePage()->tree();
        tree->expandAll();
        const QModelIndex index = findNode(coursePage()->model(), title);
        QVERIFY(index.isValid());
        const QPoint at = tree->visualRect(index).center();
        QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // A click where the user would make it: through the X server, not into Qt directly.
    static bool userClick(QWidget *widget)
    {
        const QPoint at = widget->mapToGlobal(widget->rect().center());
        return QProcess::execute(QStringLiteral("xdotool"),
                                 {QStringLiteral("mousemove"), QString::number(at.x()),
                                  QString::number(at.y()), QStringLiteral("click"),
                                  QStringLiteral("1")})
               == 0;
    }

    // The HTTP DNS servers and the courseware host point at the given server, and the lines
    // in use have just expired, so the next media address asks again.
    void expireLines(const MiniHttpServer &dns, const QString &line)
    {
        qputenv("LUMRA_HTTPDNS_SERVERS", dns.hostPort().toUtf8());
        ServiceSettings::reload();
        state().lines = QStringList{ServiceSettings::coursewareHost(), line};
        state().currentLine = 1;
        state().linesResolved = true;
        state().linesResolvedAt = QDateTime::currentDateTime().addSecs(-1);
    }

private slots:
    void initTestCase()
    {
        qputenv("LUMRA_MPV_VO", "null");
        qputenv("LUMRA_MPV_AO", "null");
        applyTheme();
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
    }

    void init()
    {
        m_service.applyToCurrentProcess();
        ServiceSettings::reload();
        m_env = std::make_unique<Environment>();
        m_queue = std::make_unique<FileStream>();
        registerFileStream(m_queue.get());
        m_env->buildWindow();
        window()->move(0, 0);
        window()->resize(1210, 720);
        m_answers = std::make_unique<MessageAnswerer>(window());
    }

    void cleanup()
    {
        QVERIFY(waitFor([] { return !FFPlayer::current(); }, 5000));
        m_service.clearFaults();
        m_answers.reset();
        m_env.reset();
        registerFileStream(nullptr);
        m_queue.reset();
    }

    // Double-click a lesson, go back and open the course again before the lesson's address
    // has come: the course detail refills the lesson list, and the address reply that comes
    // after it still opens the lesson that was asked for.
    void lessonAddressComesAfterTheCourseWasReopened()
    {
        QVERIFY(signIn());
        const QString course = QStringLiteral("2026临床执业医师精讲班");
        const QString lesson = QStringLiteral("心力衰竭的临床表现");
        QVERIFY(m_service.setFaults({{QStringLiteral("hold"), QStringLiteral("GetKeysAndUrlByLid")},
                                     {QStringLiteral("hold-ms"), QStringLiteral("4000")}}));
        QVERIFY(openCourse(course));
        doubleClickLesson(lesson);
        QTest::qWait(
            300); // the address request is on its way (the log shows it only once answered)

        QTest::mouseClick(coursePage()->backButton(), Qt::LeftButton);
        QCOMPARE(currentPage(window()), 0);
        QVERIFY(openCourse(course));
        QVERIFY(FFPlayer::current() == nullptr); // the address is still held back

        // The window plays inside the reply's handler; it is looked at and closed from there.
        QString title;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            FFPlayer *player = FFPlayer::current();
            if (!player || !PlayerParts::controlBar(player)->isVisible())
                return;
            poll.stop();
            title = player->windowTitle();
            player->close();
        });
        poll.start(20);
        QVERIFY(waitFor([&] { return !title.isEmpty() && !FFPlayer::current(); }, 30000));
        QCOMPARE(title, lesson);
        QCOMPARE(m_answers->messages(), QStringList());

        // The page still works: the lesson tree answers as before.
        QVERIFY(findNode(coursePage()->model(), lesson).isValid());
    }

    // A course detail for a course the client does not know, and a course whose id came as a
    // number: the loading overlay ends and the student is told, the page stays.
    void courseDetailThatMatchesNoCourse()
    {
        MiniHttpServer web([](const MiniHttpServer::Request &request) {
            const QUrlQuery query(
                QString::fromUtf8(request.target.mid(request.target.indexOf('?') + 1)));
            if (request.target.contains("MyCourseList"))
                return MiniHttpServer::json(
                    "{\"flag\":1,\"data\":[{\"id\":\"12\",\"title\":\"内科\",\"is_expired\":\"0\"},"
                    "{\"id\":13,\"title\":\"外科\",\"is_expired\":\"0\"}]}");
            if (query.queryItemValue(QStringLiteral("class_id")) == QLatin1String("12"))
                return MiniHttpServer::json("{\"flag\":1,\"data\":{\"id\":\"99\",\"list\":[]}}");
            return MiniHttpServer::json(
                "{\"flag\":1,\"data\":{\"id\":13,\"list\":["
                "{\"id\":\"1\",\"type\":\"kejian\",\"title\":\"别人的课件\"}]}}");
        });
        qputenv("LUMRA_WEB_HOST", web.hostPort().toUtf8());
        ServiceSettings::reload();
        state().signedIn = true;
        state().user.sid = QStringLiteral("sid");
        m_env->api()->getMyCourseList();
        QVERIFY(waitFor([this] { return myCourses()->validList()->count() == 2; }));
        QVERIFY(waitFor([this] { return !loadingWidget(window())->isVisible(); }));
        window()->showCourses();

        clickTile(myCourses()->validList(), QStringLiteral("内科"));
        QVERIFY(waitFor([this] { return !m_answers->messages().isEmpty(); }));
        QVERIFY(!loadingWidget(window())->isVisible());
        QCOMPARE(m_answers->messages(), QStringList{QString::fromUtf8(kUnreadableReply)});
        QCOMPARE(currentPage(window()), 0);

        clickTile(myCourses()->validList(), QStringLiteral("外科"));
        QVERIFY(waitFor([this] { return m_answers->messages().size() == 2; }));
        QCOMPARE(m_answers->messages().last(), QString::fromUtf8(kUnreadableReply));
        QVERIFY(!loadingWidget(window())->isVisible());
        QCOMPARE(currentPage(window()), 0);
        QVERIFY(!coursePage()->model()
                || !findNode(coursePage()->model(), QStringLiteral("别人的课件")).isValid());
    }

    // The line query waits on a server that does not answer: the window takes clicks
    // meanwhile, a second query does not start inside the first, and the old line stays.
    void lineQueryOnASilentServer()
    {
        auto dns = std::make_unique<MiniHttpServer>([](const MiniHttpServer::Request &) {
            MiniHttpServer::Response silence;
            silence.kind = MiniHttpServer::Response::Stall;
            return silence;
        });
        expireLines(*dns, QStringLiteral("old:1"));
        const QString url = QStringLiteral("http://") + ServiceSettings::coursewareHost()
                            + QStringLiteral("/a.m3u8");
        const QString onOldLine = QStringLiteral("http://old:1/a.m3u8");

        QPushButton button(QStringLiteral("另一个课件"));
        button.setGeometry(400, 300, 200, 60);
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        bool waiting = false;
        bool clickedWhileWaiting = false;
        QString nested;
        int requestsSeenByNested = -1;
        connect(&button, &QPushButton::clicked, this, [&] { clickedWhileWaiting = waiting; });

        // Once the query waits: another lesson wants its address, and the user clicks.
        QTimer::singleShot(300, this, [&] {
            nested = m_env->api()->mapToLine(url);
            requestsSeenByNested = dns ? dns->requests().size() : -1;
            QVERIFY(userClick(&button));
        });
        // Later the server goes away, which ends the query.
        QTimer::singleShot(1500, this, [&] { dns.reset(); });

        waiting = true;
        const QString mapped = m_env->api()->mapToLine(url);
        waiting = false;
        QCOMPARE(nested, onOldLine);
        QCOMPARE(requestsSeenByNested, 1);
        QVERIFY(clickedWhileWaiting);
        QCOMPARE(mapped, onOldLine);
    }

    // A download starts while the lines must be asked for again, and the student removes it
    // while that query waits: the removed download is left alone afterwards.
    void downloadRemovedWhileTheLineQueryWaits()
    {
        QVERIFY(signIn());
        auto dns = std::make_unique<MiniHttpServer>([](const MiniHttpServer::Request &) {
            MiniHttpServer::Response silence;
            silence.kind = MiniHttpServer::Response::Stall;
            return silence;
        });
        expireLines(*dns, QStringLiteral("127.0.0.2:%1").arg(m_service.port()));
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!dns || dns->requests().isEmpty())
                return;
            poll.stop();
            m_queue->removeMissions({QStringLiteral("1016")});
            QTimer::singleShot(300, this, [&] { dns.reset(); });
        });
        poll.start(20);
        const int mark = m_service.requestLog().size();
        m_queue->appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1016")}));
        QVERIFY(waitFor([&] { return !dns; }, 15000));
        QTest::qWait(500);
        const Courseware *stored =
            m_queue->findDownloadLesson(QStringLiteral("101"), QStringLiteral("1016"));
        QVERIFY(stored);
        QCOMPARE(stored->downloadState, int(Courseware::NotDownloaded));
        QVERIFY(!m_queue->isBusy());
        const QList<QJsonObject> log = m_service.requestLog();
        for (int i = mark; i < log.size(); ++i)
            QVERIFY(log.at(i).value(QStringLiteral("endpoint")).toString()
                    != QLatin1String("segment"));
    }
};

int main(int argc, char **argv)
{
    PrivateDisplay display;
    if (!display.start()) {
        fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestLateReplies test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_latereplies.moc"
