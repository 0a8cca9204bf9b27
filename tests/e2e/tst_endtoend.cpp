#include "app/SettingKeys.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/UserSession.h"
#include "support/DemoService.h"
#include "support/TestAppState.h"

#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRect>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The real lumra binary in a real window (under its own X server), against the demo
// service, driven through the same buttons a student presses: sign in, open a course,
// download two lessons, play one offline and one online, switch lines, sign out in the
// middle of a third download, a second account and a mistyped one on the same computer,
// a restart, every lesson offline, a new download folder, 清除缓存, and the seven-day
// sign-in across restarts. The files it leaves are checked at the end.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    DemoService m_service;
    QTemporaryDir m_home;
    std::unique_ptr<QProcess> m_client;
    QLocalSocket m_driver;
    QString m_socket;
    QProcess m_xserver;
    QString m_display;
    // The download folder chosen half-way: a name the settings accept, on the home volume.
    QString m_typedName;
    QString m_typedPassword;
    // The small-screen day: its own service (with many courses) and its own home folder.
    std::unique_ptr<DemoService> m_otherService;
    std::unique_ptr<QTemporaryDir> m_otherHome;
    const QString m_newVideos = QDir::tempPath() + QStringLiteral("/lumrae2e_")
                                + QString::number(QCoreApplication::applicationPid());

    // A private X server for the client's real window.
    bool startXServer(const QString &size = QStringLiteral("1280x800x24"))
    {
        for (int n = 91; n < 140; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
                || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            m_display = QStringLiteral(":%1").arg(n);
            m_xserver.start(QStringLiteral("Xvfb"),
                            QStringList()
                                << m_display << QStringLiteral("-screen") << QStringLiteral("0")
                                << size << QStringLiteral("-nolisten") << QStringLiteral("tcp"));
            if (!m_xserver.waitForStarted())
                return false;
            return QTest::qWaitFor(
                [n] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 10000);
        }
        return false;
    }

    QString dataDir() const { return homePath() + QStringLiteral("/Documents/Lumra医考网校"); }
    QString homePath() const { return m_otherHome ? m_otherHome->path() : m_home.path(); }

    bool startClient()
    {
        const DemoService &service = m_otherService ? *m_otherService : m_service;
        m_typedName.clear();
        m_typedPassword.clear();
        m_client = std::make_unique<QProcess>();
        QProcessEnvironment env = service.processEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("HOME"), homePath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), homePath() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), homePath() + QStringLiteral("/run"));
        env.insert(QStringLiteral("LUMRA_TEST_DRIVER"), m_socket);
        env.insert(QStringLiteral("LUMRA_MPV_AO"), QStringLiteral("null"));
        env.insert(QStringLiteral("LUMRA_SHUTDOWN_COMMAND"), QStringLiteral("true"));
        m_client->setProcessEnvironment(env);
        m_client->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_client->start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        if (!m_client->waitForStarted())
            return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000) {
            m_driver.abort();
            m_driver.connectToServer(m_socket);
            if (m_driver.waitForConnected(500))
                return true;
            QTest::qWait(200);
        }
        return false;
    }

    void stopClient()
    {
        if (!m_client)
            return;
        m_driver.abort();
        if (m_client->state() != QProcess::NotRunning) {
            m_client->terminate();
            m_client->waitForFinished(15000);
        }
        m_client.reset();
    }

    QString send(const QString &command)
    {
        m_driver.write(command.toUtf8() + '\n');
        m_driver.flush();
        QElapsedTimer clock;
        clock.start();
        while (!m_driver.canReadLine() && clock.elapsed() < 10000)
            m_driver.waitForReadyRead(100);
        const QString answer = QString::fromUtf8(m_driver.readLine()).trimmed();
        if (!answer.startsWith(QLatin1String("ok")))
            qWarning("%s -> %s", qPrintable(command), qPrintable(answer));
        return answer;
    }

    bool ok(const QString &command) { return send(command).startsWith(QLatin1String("ok")); }

    // Waits until the driver's answer to a question contains the text.
    bool waitFor(const QString &command, const QString &text, int timeoutMs = 20000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (send(command).contains(text))
                return true;
            QTest::qWait(200);
        }
        qWarning("gave up waiting for '%s' in '%s'", qPrintable(text), qPrintable(send(command)));
        return false;
    }

    bool signIn(const QString &name = QStringLiteral("13800138000"),
                const QString &password = QStringLiteral("lumra2026"))
    {
        return waitFor(QStringLiteral("visible txtName"), QStringLiteral("ok 1"))
               && typeAccount(name, password) && ok(QStringLiteral("click btnLogin 登录"))
               && waitFor(QStringLiteral("state"), QStringLiteral("signedIn=1"));
    }

    // Types over whatever the sign-in form's two fields hold (the last account typed in this
    // run, or nothing); a field is found by what it shows, its text or else its placeholder.
    bool typeAccount(const QString &name, const QString &password)
    {
        return typeInto(QStringLiteral("请输入您的手机号"), m_typedName, name)
               && typeInto(QStringLiteral("请输入密码"), m_typedPassword, password);
    }

    bool typeInto(const QString &placeholder, QString &shown, const QString &text)
    {
        QString selector = QStringLiteral("txtName@") + (shown.isEmpty() ? placeholder : shown);
        if (!send(QStringLiteral("visible ") + selector).contains(QStringLiteral("ok 1")))
            selector = QStringLiteral("txtName@") + placeholder;
        const bool typed = ok(QStringLiteral("key ") + selector + QStringLiteral(" SelectAll"))
                           && ok(QStringLiteral("type ") + selector + QLatin1Char(' ') + text);
        shown = text;
        return typed;
    }

    bool signOut()
    {
        return ok(QStringLiteral("click btnControl")) && ok(QStringLiteral("clickaction 退出"))
               && waitFor(QStringLiteral("state"), QStringLiteral("signedIn=0"));
    }

    // The close button, answered with 确认: the program ends by itself.
    bool quitClient()
    {
        if (!ok(QStringLiteral("click btnClose"))
            || !waitFor(QStringLiteral("visible btnOK"), QStringLiteral("ok 1"))
            || !ok(QStringLiteral("click btnOK 确认")) || !m_client->waitForFinished(20000))
            return false;
        const bool clean = m_client->exitCode() == 0;
        m_client.reset();
        return clean;
    }

    // The record in an account's stored index.
    UserSession storedRecord(const QString &account) const
    {
        AesCipher cipher;
        cipher.setKey(AesCipher::storeKey());
        const QByteArray plain = cipher.decryptFileToBytes(
            dataDir() + QStringLiteral("/user/") + account + QStringLiteral("/kecheng.zgc"));
        UserSession stored;
        QDataStream in(plain);
        in >> stored;
        return stored;
    }

    // The lessons the stored index of the demo student lists as downloaded.
    QStringList downloadedInIndex() const
    {
        QStringList lessons;
        for (const Course &course : storedRecord(QStringLiteral("13800138000")).downloads) {
            for (const Courseware &cw : course.coursewares) {
                if (cw.downloadState == Courseware::Downloaded)
                    lessons << cw.id;
            }
        }
        return lessons;
    }

    static QStringList lessonFilesUnder(const QString &folder)
    {
        QStringList found;
        QDirIterator it(folder, {QStringLiteral("*.ts"), QStringLiteral("00000.z*")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found;
    }

    QString videoFolder() const
    {
        return QSettings(dataDir() + QStringLiteral("/lumra.ini"), QSettings::IniFormat)
            .value(QLatin1String(SettingKeys::VideoPath))
            .toString();
    }

    // Opens the course and plays every lesson of `titles` offline: no media request for them.
    bool playAllOffline(const QStringList &titles, const QStringList &lessonIds)
    {
        if (!ok(QStringLiteral("click btnNavClass"))
            || !ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班"))
            || !waitFor(QStringLiteral("item QTreeView ") + titles.first(), QStringLiteral("ok 1")))
            return false;
        const int mark = m_service.requestLog().size();
        for (const QString &title : titles) {
            if (!playAndStop(title))
                return false;
        }
        for (const QString &id : lessonIds) {
            if (mediaRequestsFor(id, mark) != 0) {
                qWarning("lesson %s asked the service for media", qPrintable(id));
                return false;
            }
        }
        return true;
    }

    int mediaRequestsFor(const QString &lessonId, int from, QSet<QString> *lines = nullptr) const
    {
        const QList<QJsonObject> log = (m_otherService ? *m_otherService : m_service).requestLog();
        int count = 0;
        for (int i = from; i < log.size(); ++i) {
            const QJsonObject entry = log.at(i);
            if (entry.value(QLatin1String("path"))
                    .toString()
                    .startsWith(QStringLiteral("/hls/") + lessonId + '/')) {
                ++count;
                if (lines)
                    lines->insert(entry.value(QLatin1String("local"))
                                      .toString()
                                      .section(QLatin1Char(':'), 0, 0));
            }
        }
        return count;
    }

    // Once the player window runs (it knows the length and its clock has moved), closes it.
    bool closeOnceItPlays()
    {
        return QTest::qWaitFor(
                   [this] {
                       const QString state = send(QStringLiteral("state"));
                       return state.contains(QStringLiteral("player=1"))
                              && !state.contains(QStringLiteral("length=00:00:00"))
                              && !state.contains(QStringLiteral("position=00:00:00"));
                   },
                   20000)
               && ok(QStringLiteral("closeplayer"))
               && waitFor(QStringLiteral("state"), QStringLiteral("player=0"));
    }

    bool playAndStop(const QString &title)
    {
        // Let the course page lay its tree out before aiming at a row.
        QTest::qWait(800);
        return ok(QStringLiteral("dclickitem QTreeView ") + title) && closeOnceItPlays();
    }

    // ---- the keyboard of the X server, as a user's hand presses it ----------------------

    bool xdotool(const QStringList &arguments, QString *output = nullptr)
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(15000) || tool.exitCode() != 0) {
            qWarning("xdotool %s failed", qPrintable(arguments.join(QLatin1Char(' '))));
            return false;
        }
        if (output)
            *output = QString::fromUtf8(tool.readAllStandardOutput());
        return true;
    }

    // Gives the main window the keyboard, as clicking into it or the window manager would.
    bool focusMainWindow()
    {
        QString ids;
        if (!xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                      QStringLiteral("--name"), QStringLiteral("Lumra医考网校")},
                     &ids))
            return false;
        for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QString shape;
            if (!xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id},
                         &shape))
                continue;
            const int width =
                shape.section(QStringLiteral("WIDTH="), 1).section(QLatin1Char('\n'), 0, 0).toInt();
            if (width > 500)
                return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
        }
        return false;
    }

    bool press(const QString &keys)
    {
        const bool done = xdotool(
            QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("120")}
            + keys.split(QLatin1Char(' ')));
        QTest::qWait(250);
        return done;
    }

    bool typeKeys(const QString &text)
    {
        return xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
    }

    // Tab (or Shift+Tab) until the keyboard is on the widget whose focus answer holds `what`.
    bool tabTo(const QString &what, bool backwards = false)
    {
        for (int i = 0; i < 60; ++i) {
            if (send(QStringLiteral("focus")).contains(what))
                return true;
            if (!press(backwards ? QStringLiteral("shift+Tab") : QStringLiteral("Tab")))
                return false;
        }
        qWarning("Tab never reached %s (%s)", qPrintable(what),
                 qPrintable(send(QStringLiteral("focus"))));
        return false;
    }

    // The whole screen, into $LUMRA_SCREENSHOT_DIR when set (docs/screenshots), else the home.
    bool screenShot(const QString &name)
    {
        QString folder = qEnvironmentVariable("LUMRA_SCREENSHOT_DIR");
        if (folder.isEmpty())
            folder = homePath();
        QProcess grab;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        grab.setProcessEnvironment(env);
        grab.start(QStringLiteral("import"),
                   {QStringLiteral("-window"), QStringLiteral("root"),
                    folder + QLatin1Char('/') + name + QStringLiteral(".png")});
        return grab.waitForFinished(20000) && grab.exitCode() == 0;
    }

    // The widget's rectangle lies inside the free area of its screen.
    bool onScreen(const QString &widget)
    {
        const QStringList numbers =
            send(QStringLiteral("rect ") + widget).mid(3).split(QLatin1Char(' '));
        if (numbers.size() != 8)
            return false;
        const QRect rect(numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt(),
                         numbers[3].toInt());
        const QRect free(numbers[4].toInt(), numbers[5].toInt(), numbers[6].toInt(),
                         numbers[7].toInt());
        if (!free.contains(rect))
            qWarning("%s at %d,%d %dx%d leaves the screen %dx%d", qPrintable(widget), rect.x(),
                     rect.y(), rect.width(), rect.height(), free.width(), free.height());
        return !rect.isEmpty() && free.contains(rect);
    }

    int endpointRequests(const QString &endpoint) const
    {
        return m_otherService ? m_otherService->requestLog(endpoint).size() : 0;
    }

    // Plays the lesson the keyboard is on (Enter) and closes the player once it runs.
    bool playWithEnter() { return press(QStringLiteral("Return")) && closeOnceItPlays(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(startXServer(), "Xvfb did not start");
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
        QDir().mkpath(m_home.path() + QStringLiteral("/run"));
        QFile::setPermissions(m_home.path() + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_socket = m_home.path() + QStringLiteral("/driver.sock");
        QVERIFY(QDir().mkpath(m_newVideos));
    }

    void cleanupTestCase()
    {
        stopClient();
        QDir(m_newVideos).removeRecursively();
        m_xserver.terminate();
        m_xserver.waitForFinished(5000);
    }

    void studentDay()
    {
        QVERIFY(startClient());
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=0")));
        QVERIFY(signIn());

        // The course list, then one course and its lesson tree.
        QVERIFY(waitFor(QStringLiteral("item ThumbnailListWidget 2026临床执业医师精讲班"),
                        QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(
            waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));

        // Two lessons chosen and downloaded.
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 心力衰竭的病因与诱因")));
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 原发性高血压的诊断")));
        QVERIFY(ok(QStringLiteral("click btnCourseDown 下载选中")));
        QVERIFY(waitFor(QStringLiteral("visible QLabel@已添加至下载列表"), QStringLiteral("ok 1"),
                        5000));
        QVERIFY(ok(QStringLiteral("click btnNavDownload")));
        if (send(QStringLiteral("state")).contains(QStringLiteral("paused=1")))
            QVERIFY(ok(QStringLiteral("click btnPauseAll 全部开始")));
        QVERIFY(waitFor(QStringLiteral("text btnDownTitle@已缓存（1个课程）"), QStringLiteral("ok"),
                        60000));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("busy=0")));
        QVERIFY(ok(QStringLiteral("shot ") + m_home.path() + QStringLiteral("/downloads.png")));

        // Offline: a downloaded lesson plays without asking the service for media.
        QVERIFY(ok(QStringLiteral("click btnNavClass")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(
            waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));
        int mark = m_service.requestLog().size();
        QVERIFY(playAndStop(QStringLiteral("心力衰竭的病因与诱因")));
        QCOMPARE(mediaRequestsFor(QStringLiteral("1013"), mark), 0);

        // Online on the default line.
        mark = m_service.requestLog().size();
        QVERIFY(playAndStop(QStringLiteral("心力衰竭的临床表现")));
        QSet<QString> lines;
        QVERIFY(mediaRequestsFor(QStringLiteral("1014"), mark, &lines) > 0);

        // A slow address: the lesson is asked for, the student goes back and opens the course
        // again, and the address comes only after the course detail has refilled the lessons.
        QVERIFY(m_service.setFaults({{QStringLiteral("hold"), QStringLiteral("GetKeysAndUrlByLid")},
                                     {QStringLiteral("hold-ms"), QStringLiteral("4000")},
                                     {QStringLiteral("hold-count"), QStringLiteral("1")}}));
        const int details = m_service.requestLog(QStringLiteral("GetMyCourseInfo")).size();
        const int addresses = m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size();
        QVERIFY(ok(QStringLiteral("dclickitem QTreeView 心力衰竭的临床表现")));
        QVERIFY(ok(QStringLiteral("click btnNavClass")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return m_service.requestLog(QStringLiteral("GetMyCourseInfo")).size() > details;
            },
            10000));
        QCOMPARE(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size(),
                 addresses); // still held
        QVERIFY(waitFor(QStringLiteral("text lblContent14_B5BAC4"),
                        QStringLiteral("心力衰竭的临床表现")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("player=1")));
        QVERIFY(ok(QStringLiteral("closeplayer")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("player=0")));

        // Line 2, then online again through its address.
        QVERIFY(ok(QStringLiteral("click btnTitle 菜单")));
        QVERIFY(ok(QStringLiteral("clickaction 切换线路")));
        QVERIFY(waitFor(QStringLiteral("visible rdSetting@线路2"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("click rdSetting 线路2")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("line=2")));
        // The dialog stays open until it is closed, as any dialog: Esc closes it.
        QVERIFY(ok(QStringLiteral("key rdSetting@线路2 Escape")));
        QVERIFY(waitFor(QStringLiteral("visible rdSetting@线路2"), QStringLiteral("ok 0")));
        mark = m_service.requestLog().size();
        QVERIFY(playAndStop(QStringLiteral("心力衰竭的临床表现")));
        lines.clear();
        QVERIFY(mediaRequestsFor(QStringLiteral("1014"), mark, &lines) > 0);
        QVERIFY2(lines.contains(QStringLiteral("127.0.0.3")),
                 qPrintable(QStringList(lines.values()).join(',')));

        // A third lesson is still downloading when Alice signs out: it stops there.
        QVERIFY(m_service.setFaults({{QStringLiteral("media-latency"), QStringLiteral("400")}}));
        QVERIFY(ok(QStringLiteral("click btnNavClass")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(
            waitFor(QStringLiteral("item QTreeView 心力衰竭的临床表现"), QStringLiteral("ok 1")));
        mark = m_service.requestLog().size();
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 心力衰竭的临床表现")));
        QVERIFY(ok(QStringLiteral("click btnCourseDown 下载选中")));
        QVERIFY(QTest::qWaitFor([&] { return mediaRequestsFor(QStringLiteral("1014"), mark) >= 3; },
                                20000));
        QVERIFY(signOut());
        QVERIFY(m_service.clearFaults());
        QTest::qWait(1000); // requests out at the sign-out come back
        mark = m_service.requestLog().size();

        // Bob signs in on the same computer and sees nothing of Alice's downloads.
        QVERIFY(signIn(QStringLiteral("13900139000"), QStringLiteral("lumra2027")));
        QVERIFY(ok(QStringLiteral("click btnNavDownload")));
        QVERIFY(waitFor(QStringLiteral("visible btnDownTitle@已缓存"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("click btnDownTitle 缓存中")));
        QTest::qWait(300);
        QVERIFY(send(QStringLiteral("visible btnEdit")).contains(QStringLiteral("ok 0")));
        QVERIFY(
            ok(QStringLiteral("shot ") + m_home.path() + QStringLiteral("/second-account.png")));
        QCOMPARE(mediaRequestsFor(QStringLiteral("1014"), mark), 0);
        QVERIFY(signOut());

        // Someone mistypes the account: refused, and then the program is closed.
        QVERIFY(typeAccount(QStringLiteral("13700000000"), QStringLiteral("lumra2026")));
        QVERIFY(ok(QStringLiteral("click btnLogin 登录")));
        QVERIFY(waitFor(QStringLiteral("visible btnOK"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("click btnOK 确认")));
        QCOMPARE(mediaRequestsFor(QStringLiteral("1014"), mark), 0);
        QVERIFY(quitClient());

        // Alice again after a restart: her unfinished lesson completes and all three play offline.
        QVERIFY(startClient());
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=0")));
        QVERIFY(signIn());
        QVERIFY(ok(QStringLiteral("click btnNavDownload")));
        if (send(QStringLiteral("state")).contains(QStringLiteral("paused=1"))) {
            QVERIFY(ok(QStringLiteral("click btnDownTitle 缓存中")));
            QVERIFY(ok(QStringLiteral("click btnPauseAll 全部开始")));
        }
        QVERIFY(QTest::qWaitFor([this] { return downloadedInIndex().size() == 3; }, 60000));
        const QStringList titles = {QStringLiteral("心力衰竭的病因与诱因"),
                                    QStringLiteral("原发性高血压的诊断"),
                                    QStringLiteral("心力衰竭的临床表现")};
        const QStringList lessonIds = {QStringLiteral("1013"), QStringLiteral("1016"),
                                       QStringLiteral("1014")};
        QVERIFY(playAllOffline(titles, lessonIds));

        // A new download folder: the lessons go along and still play offline.
        const QString before = videoFolder();
        QVERIFY(ok(QStringLiteral("click btnTitle 菜单")));
        QVERIFY(ok(QStringLiteral("clickaction 设置")));
        QVERIFY(ok(QStringLiteral("click btnChangeDir 更改目录")));
        QVERIFY(waitFor(QStringLiteral("visible fileNameEdit"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("type fileNameEdit ") + m_newVideos));
        QVERIFY(ok(QStringLiteral("key fileNameEdit Return")));
        QVERIFY(waitFor(QStringLiteral("text txtPath"), QStringLiteral("ok ") + m_newVideos));
        QCOMPARE(videoFolder(), m_newVideos);
        QCOMPARE(lessonFilesUnder(before), QStringList());
        QVERIFY(playAllOffline(titles, lessonIds));

        // 清除缓存: no lesson file left in either folder.
        QVERIFY(ok(QStringLiteral("click btnChangeDir 清除缓存")));
        QVERIFY(waitFor(QStringLiteral("visible btnOK"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("click btnOK 确认")));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return downloadedInIndex().isEmpty() && lessonFilesUnder(m_newVideos).isEmpty();
            },
            10000));
        QCOMPARE(lessonFilesUnder(m_newVideos), QStringList());
        QCOMPARE(lessonFilesUnder(before), QStringList());

        // Two lessons downloaded again, into the new folder.
        QVERIFY(ok(QStringLiteral("click btnNavClass")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(
            waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));
        QTest::qWait(800);
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 心力衰竭的病因与诱因")));
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 原发性高血压的诊断")));
        QVERIFY(ok(QStringLiteral("click btnCourseDown 下载选中")));
        QVERIFY(QTest::qWaitFor([this] { return downloadedInIndex().size() == 2; }, 60000));

        // Sign out from the user menu; the next start is signed out.
        QVERIFY(signOut());
        stopClient();
        QVERIFY(startClient());
        QTest::qWait(1500);
        QVERIFY(send(QStringLiteral("state")).contains(QStringLiteral("signedIn=0")));

        // Sign in, quit through the close button, start again: still signed in.
        QVERIFY(signIn());
        QVERIFY(quitClient());
        QVERIFY(startClient());
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=1")));
        stopClient();
    }

    void filesLeftBehind()
    {
        QSettings settings(dataDir() + QStringLiteral("/lumra.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value(QLatin1String(SettingKeys::LastUser)).toString(),
                 QStringLiteral("13800138000"));
        const QString videos = settings.value(QLatin1String(SettingKeys::VideoPath)).toString();
        QCOMPARE(videos, m_newVideos);

        AesCipher cipher;
        cipher.setKey(AesCipher::storeKey());
        QByteArray plain =
            cipher.decryptFileToBytes(dataDir() + QStringLiteral("/user/13800138000/kecheng.zgc"));
        QVERIFY(!plain.isEmpty());
        QVERIFY(!QFile::exists(dataDir() + QStringLiteral("/user/13800138000/kecheng.zg")));
        UserSession stored;
        QDataStream in(plain);
        in >> stored;
        QCOMPARE(stored.loginName, QStringLiteral("13800138000"));
        int downloaded = 0;
        for (const Course &course : stored.downloads) {
            for (const Courseware &cw : course.coursewares) {
                if (cw.downloadState == Courseware::Downloaded) {
                    ++downloaded;
                    const QString folder =
                        videos + QLatin1Char('/') + course.id + QLatin1Char('/') + cw.id;
                    QVERIFY2(QFile::exists(folder + QStringLiteral("/00000.zs")),
                             qPrintable(folder));
                    QVERIFY(!QDir(folder)
                                 .entryList(QStringList() << QStringLiteral("*.ts"), QDir::Files)
                                 .isEmpty());
                }
            }
        }
        QCOMPARE(downloaded, 2);
        // The second account's own index holds nothing of the first one's.
        const UserSession second = storedRecord(QStringLiteral("13900139000"));
        QCOMPARE(second.loginName, QStringLiteral("13900139000"));
        QVERIFY(second.downloads.isEmpty());
        // The password is nowhere in the settings.
        QFile ini(dataDir() + QStringLiteral("/lumra.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(!ini.readAll().contains("lumra2026"));

        // The settings, log, index, avatar and covers are for this user alone.
        QStringList open;
        QDirIterator it(dataDir(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        int files = 0;
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                              | QFile::ReadOther | QFile::WriteOther
                                              | QFile::ExeOther;
            if (entry.permissions() & others)
                open << entry.filePath();
            files += entry.isFile();
        }
        QVERIFY2(open.isEmpty(), qPrintable(open.join(QLatin1Char(' '))));
        QVERIFY(files >= 5);
    }

    // A day on a 1024×600 screen with sixty courses, by keyboard alone: a wrong then a right
    // password, a box answered with Enter, a course opened and a lesson downloaded, the
    // settings dialog opened from the menu and closed with Esc. Then the service forgets
    // every session: the next request leads to the sign-in form with the account filled in,
    // and the downloaded lesson still plays offline. Then the service is out of reach: the
    // my-courses page says so and leads to the downloaded lessons, which play.
    void keyboardDayOnASmallScreen()
    {
        stopClient();
        m_xserver.terminate();
        m_xserver.waitForFinished(5000);
        QVERIFY2(startXServer(QStringLiteral("1024x600x24")), "Xvfb did not start");
        m_otherService = std::make_unique<DemoService>(
            QStringList{QStringLiteral("--courses"), QStringLiteral("60")});
        QVERIFY2(m_otherService->start(), qPrintable(m_otherService->errorString()));
        m_otherHome = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(homePath() + QStringLiteral("/run")));
        QFile::setPermissions(homePath() + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QVERIFY(startClient());
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=0")));
        QVERIFY(onScreen(QStringLiteral("NavigatWidget")));
        QVERIFY(onScreen(QStringLiteral("TitleWidget")));
        QVERIFY(focusMainWindow());
        // The sign-in form opens with the keyboard in the account field.
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("请输入您的手机号")));
        QVERIFY(screenShot(QStringLiteral("1024x600-signin")));
        QVERIFY(typeKeys(QStringLiteral("13800138000")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("请输入密码")));
        QVERIFY(typeKeys(QStringLiteral("lumra-wrong")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("visible btnOK"), QStringLiteral("ok 1")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("btnOK")));
        QVERIFY(screenShot(QStringLiteral("1024x600-message")));
        // Enter answers the box; nothing else is sent.
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("visible btnOK"), QStringLiteral("ok 0")));
        QTest::qWait(500);
        QCOMPARE(endpointRequests(QStringLiteral("dologin")), 1);
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("txtName")));
        QVERIFY(press(QStringLiteral("ctrl+a")));
        QVERIFY(typeKeys(QStringLiteral("lumra2026")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=1")));
        QCOMPARE(endpointRequests(QStringLiteral("dologin")), 2);

        // Sixty courses, one page that scrolls; the navigation bar on the screen.
        QVERIFY(waitFor(QStringLiteral("item ThumbnailListWidget 2026临床执业医师精讲班"),
                        QStringLiteral("ok 1")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("ThumbnailListWidget")));
        QTest::qWait(1500); // covers
        QVERIFY(onScreen(QStringLiteral("NavigatWidget")));
        QVERIFY(onScreen(QStringLiteral("btnNavUser")));
        QVERIFY(screenShot(QStringLiteral("1024x600-mycourses-60")));
        QVERIFY(press(QStringLiteral("End")));
        QVERIFY(tabTo(QStringLiteral("显示已过期课程")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("收起已过期课程")));
        QTest::qWait(500);
        QVERIFY(screenShot(QStringLiteral("1024x600-mycourses-expired")));

        // The first course, opened with Enter; a lesson ticked with Space and downloaded.
        QVERIFY(tabTo(QStringLiteral("ThumbnailListWidget"), true));
        QVERIFY(press(QStringLiteral("Home Return")));
        QVERIFY(
            waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("QTreeView")));
        QVERIFY(press(QStringLiteral("Return Down Right Down space")));
        QVERIFY(tabTo(QStringLiteral("下载选中")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("visible QLabel@已添加至下载列表"), QStringLiteral("ok 1"),
                        5000));
        QVERIFY(screenShot(QStringLiteral("1024x600-coursepage")));
        QVERIFY(QTest::qWaitFor(
            [this] { return downloadedInIndex().contains(QStringLiteral("1013")); }, 60000));
        QCOMPARE(downloadedInIndex(), QStringList() << QStringLiteral("1013"));

        // A dialog from the menu, and Esc closes it.
        QVERIFY(tabTo(QStringLiteral("btnTitle"), true));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(press(QStringLiteral("Down Down Return")));
        QVERIFY(waitFor(QStringLiteral("visible txtPath"), QStringLiteral("ok 1")));
        QVERIFY(onScreen(QStringLiteral("txtPath")));
        QVERIFY(screenShot(QStringLiteral("1024x600-settings")));
        QVERIFY(press(QStringLiteral("Escape")));
        QVERIFY(waitFor(QStringLiteral("visible txtPath"), QStringLiteral("ok 0")));

        // The service restarts with nothing of its sessions; the next request finds out.
        QVERIFY2(m_otherService->restartWithFreshData(), qPrintable(m_otherService->errorString()));
        QVERIFY(tabTo(QStringLiteral("btnNavClass")));
        QVERIFY(press(QStringLiteral("space")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("ThumbnailListWidget")));
        QVERIFY(press(QStringLiteral("Home Return")));
        QVERIFY(waitFor(QStringLiteral("text lblUserInfo@登录已失效，请重新登录"),
                        QStringLiteral("ok"), 10000));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("btnOK")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=0")));
        QVERIFY(waitFor(QStringLiteral("visible txtName@13800138000"), QStringLiteral("ok 1")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("请输入密码")));
        QVERIFY(screenShot(QStringLiteral("1024x600-signin-again")));
        QCOMPARE(downloadedInIndex(), QStringList() << QStringLiteral("1013"));
        // The password alone brings the user back; the lesson plays from the store.
        QVERIFY(typeKeys(QStringLiteral("lumra2026")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=1")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("ThumbnailListWidget")));
        QVERIFY(press(QStringLiteral("Home Return")));
        QVERIFY(
            waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("QTreeView")));
        const int mark = m_otherService->requestLog().size();
        QVERIFY(press(QStringLiteral("Return Down Right Down")));
        QVERIFY(playWithEnter());
        QCOMPARE(mediaRequestsFor(QStringLiteral("1013"), mark), 0);

        // Out of reach: the start finds the service gone and offers the downloaded lessons.
        stopClient();
        m_otherService->stop();
        QVERIFY(startClient());
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=1")));
        QVERIFY(waitFor(
            QStringLiteral("visible lblUserInfo@无法连接到服务器，已下载的课程仍可离线观看"),
            QStringLiteral("ok 1"), 30000));
        QCOMPARE(send(QStringLiteral("visible btnOK")), QStringLiteral("ok 0"));
        QVERIFY(focusMainWindow());
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("查看已缓存")));
        QVERIFY(screenShot(QStringLiteral("1024x600-offline")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("visible btnDownTitle@已缓存（1个课程）"),
                        QStringLiteral("ok 1")));
        QVERIFY(waitFor(QStringLiteral("focus"), QStringLiteral("ThumbnailListWidget")));
        QTest::qWait(500);
        QVERIFY(screenShot(QStringLiteral("1024x600-downloaded")));
        QVERIFY(press(QStringLiteral("Return")));
        QVERIFY(waitFor(QStringLiteral("item ThumbnailListWidget 心力衰竭的病因与诱因"),
                        QStringLiteral("ok 1")));
        QVERIFY(playWithEnter());
        QVERIFY(onScreen(QStringLiteral("NavigatWidget")));
        stopClient();
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
