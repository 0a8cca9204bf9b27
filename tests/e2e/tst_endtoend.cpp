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
    const QString m_newVideos =
        QDir::tempPath() + QStringLiteral("/lumrae2e_") + QString::number(QCoreApplication::applicationPid());

    // A private X server for the client's real window.
    bool startXServer()
    {
        for (int n = 91; n < 140; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
                || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            m_display = QStringLiteral(":%1").arg(n);
            m_xserver.start(QStringLiteral("Xvfb"), QStringList() << m_display << QStringLiteral("-screen")
                                                              << QStringLiteral("0") << QStringLiteral("1280x800x24")
                                                              << QStringLiteral("-nolisten") << QStringLiteral("tcp"));
            if (!m_xserver.waitForStarted())
                return false;
            return QTest::qWaitFor([n] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 10000);
        }
        return false;
    }

    QString dataDir() const { return m_home.path() + QStringLiteral("/Documents/Lumra医考网校"); }

    bool startClient()
    {
        m_typedName.clear();
        m_typedPassword.clear();
        m_client = std::make_unique<QProcess>();
        QProcessEnvironment env = m_service.processEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path() + QStringLiteral("/run"));
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
        return waitFor(QStringLiteral("visible txtName"), QStringLiteral("ok 1")) && typeAccount(name, password)
               && ok(QStringLiteral("click btnLogin 登录"))
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
        if (!ok(QStringLiteral("click btnClose")) || !waitFor(QStringLiteral("visible btnOK"), QStringLiteral("ok 1"))
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
        const QByteArray plain =
            cipher.decryptFileToBytes(dataDir() + QStringLiteral("/user/") + account + QStringLiteral("/kecheng.zgc"));
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
        const QList<QJsonObject> log = m_service.requestLog();
        int count = 0;
        for (int i = from; i < log.size(); ++i) {
            const QJsonObject entry = log.at(i);
            if (entry.value(QLatin1String("path")).toString().startsWith(QStringLiteral("/hls/") + lessonId + '/')) {
                ++count;
                if (lines)
                    lines->insert(entry.value(QLatin1String("local")).toString().section(QLatin1Char(':'), 0, 0));
            }
        }
        return count;
    }

    bool playAndStop(const QString &title)
    {
        // Let the course page lay its tree out before aiming at a row.
        QTest::qWait(800);
        return ok(QStringLiteral("dclickitem QTreeView ") + title)
               // Started: the player window knows the length and its clock has moved.
               && QTest::qWaitFor([this] {
                      const QString state = send(QStringLiteral("state"));
                      return state.contains(QStringLiteral("player=1"))
                             && !state.contains(QStringLiteral("length=00:00:00"))
                             && !state.contains(QStringLiteral("position=00:00:00"));
                  }, 20000)
               && ok(QStringLiteral("closeplayer"))
               && waitFor(QStringLiteral("state"), QStringLiteral("player=0"));
    }

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
        QVERIFY(waitFor(QStringLiteral("item ThumbnailListWidget 2026临床执业医师精讲班"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));

        // Two lessons chosen and downloaded.
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 心力衰竭的病因与诱因")));
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 原发性高血压的诊断")));
        QVERIFY(ok(QStringLiteral("click btnCourseDown 下载选中")));
        QVERIFY(waitFor(QStringLiteral("visible QLabel@已添加至下载列表"), QStringLiteral("ok 1"), 5000));
        QVERIFY(ok(QStringLiteral("click btnNavDownload")));
        if (send(QStringLiteral("state")).contains(QStringLiteral("paused=1")))
            QVERIFY(ok(QStringLiteral("click btnPauseAll 全部开始")));
        QVERIFY(waitFor(QStringLiteral("text btnDownTitle@已缓存（1个课程）"), QStringLiteral("ok"), 60000));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("busy=0")));
        QVERIFY(ok(QStringLiteral("shot ") + m_home.path() + QStringLiteral("/downloads.png")));

        // Offline: a downloaded lesson plays without asking the service for media.
        QVERIFY(ok(QStringLiteral("click btnNavClass")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));
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
        QVERIFY(QTest::qWaitFor([&] { return m_service.requestLog(QStringLiteral("GetMyCourseInfo")).size() > details; }, 10000));
        QCOMPARE(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size(), addresses); // still held
        QVERIFY(waitFor(QStringLiteral("text lblContent14_B5BAC4"), QStringLiteral("心力衰竭的临床表现")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("player=1")));
        QVERIFY(ok(QStringLiteral("closeplayer")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("player=0")));

        // Line 2, then online again through its address.
        QVERIFY(ok(QStringLiteral("click btnTitle 菜单")));
        QVERIFY(ok(QStringLiteral("clickaction 切换线路")));
        QVERIFY(waitFor(QStringLiteral("visible rdSetting@线路2"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("click rdSetting 线路2")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("line=2")));
        mark = m_service.requestLog().size();
        QVERIFY(playAndStop(QStringLiteral("心力衰竭的临床表现")));
        lines.clear();
        QVERIFY(mediaRequestsFor(QStringLiteral("1014"), mark, &lines) > 0);
        QVERIFY2(lines.contains(QStringLiteral("127.0.0.3")), qPrintable(QStringList(lines.values()).join(',')));

        // A third lesson is still downloading when Alice signs out: it stops there.
        QVERIFY(m_service.setFaults({{QStringLiteral("media-latency"), QStringLiteral("400")}}));
        QVERIFY(ok(QStringLiteral("click btnNavClass")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(waitFor(QStringLiteral("item QTreeView 心力衰竭的临床表现"), QStringLiteral("ok 1")));
        mark = m_service.requestLog().size();
        QVERIFY(ok(QStringLiteral("checkitem QTreeView 心力衰竭的临床表现")));
        QVERIFY(ok(QStringLiteral("click btnCourseDown 下载选中")));
        QVERIFY(QTest::qWaitFor([&] { return mediaRequestsFor(QStringLiteral("1014"), mark) >= 3; }, 20000));
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
        QVERIFY(ok(QStringLiteral("shot ") + m_home.path() + QStringLiteral("/second-account.png")));
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
        const QStringList titles = {QStringLiteral("心力衰竭的病因与诱因"), QStringLiteral("原发性高血压的诊断"),
                                    QStringLiteral("心力衰竭的临床表现")};
        const QStringList lessonIds = {QStringLiteral("1013"), QStringLiteral("1016"), QStringLiteral("1014")};
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
        QVERIFY(QTest::qWaitFor([&] { return downloadedInIndex().isEmpty() && lessonFilesUnder(m_newVideos).isEmpty(); },
                                10000));
        QCOMPARE(lessonFilesUnder(m_newVideos), QStringList());
        QCOMPARE(lessonFilesUnder(before), QStringList());

        // Two lessons downloaded again, into the new folder.
        QVERIFY(ok(QStringLiteral("click btnNavClass")));
        QVERIFY(ok(QStringLiteral("clickitem ThumbnailListWidget 2026临床执业医师精讲班")));
        QVERIFY(waitFor(QStringLiteral("item QTreeView 心力衰竭的病因与诱因"), QStringLiteral("ok 1")));
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
        QCOMPARE(settings.value(QLatin1String(SettingKeys::LastUser)).toString(), QStringLiteral("13800138000"));
        const QString videos = settings.value(QLatin1String(SettingKeys::VideoPath)).toString();
        QCOMPARE(videos, m_newVideos);

        AesCipher cipher;
        cipher.setKey(AesCipher::storeKey());
        QByteArray plain = cipher.decryptFileToBytes(dataDir() + QStringLiteral("/user/13800138000/kecheng.zgc"));
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
                    const QString folder = videos + QLatin1Char('/') + course.id + QLatin1Char('/') + cw.id;
                    QVERIFY2(QFile::exists(folder + QStringLiteral("/00000.zs")), qPrintable(folder));
                    QVERIFY(!QDir(folder).entryList(QStringList() << QStringLiteral("*.ts"), QDir::Files).isEmpty());
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
        QDirIterator it(dataDir(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        int files = 0;
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                              | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
            if (entry.permissions() & others)
                open << entry.filePath();
            files += entry.isFile();
        }
        QVERIFY2(open.isEmpty(), qPrintable(open.join(QLatin1Char(' '))));
        QVERIFY(files >= 5);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
