#include "app/SettingKeys.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/UserSession.h"
#include "support/DemoService.h"
#include "support/TestAppState.h"

#include <QDir>
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
// download two lessons, play one offline and one online, switch lines, sign out, and the
// seven-day sign-in across restarts. The files it leaves are checked at the end.
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

    bool signIn()
    {
        return waitFor(QStringLiteral("visible txtName"), QStringLiteral("ok 1"))
               && ok(QStringLiteral("type txtName@请输入您的手机号 13800138000"))
               && ok(QStringLiteral("type txtName@请输入密码 lumra2026"))
               && ok(QStringLiteral("click btnLogin 登录"))
               && waitFor(QStringLiteral("state"), QStringLiteral("signedIn=1"));
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
    }

    void cleanupTestCase()
    {
        stopClient();
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

        // Sign out from the user menu; the next start is signed out.
        QVERIFY(ok(QStringLiteral("click btnControl")));
        QVERIFY(ok(QStringLiteral("clickaction 退出")));
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=0")));
        stopClient();
        QVERIFY(startClient());
        QTest::qWait(1500);
        QVERIFY(send(QStringLiteral("state")).contains(QStringLiteral("signedIn=0")));

        // Sign in, quit through the close button, start again: still signed in.
        QVERIFY(signIn());
        QVERIFY(ok(QStringLiteral("click btnClose")));
        QVERIFY(waitFor(QStringLiteral("visible btnOK"), QStringLiteral("ok 1")));
        QVERIFY(ok(QStringLiteral("click btnOK 确认")));
        QVERIFY(m_client->waitForFinished(20000));
        QCOMPARE(m_client->exitCode(), 0);
        m_client.reset();
        QVERIFY(startClient());
        QVERIFY(waitFor(QStringLiteral("state"), QStringLiteral("signedIn=1")));
        stopClient();
    }

    void filesLeftBehind()
    {
        QSettings settings(dataDir() + QStringLiteral("/lumra.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value(QLatin1String(SettingKeys::LastUser)).toString(), QStringLiteral("13800138000"));
        const QString videos = settings.value(QLatin1String(SettingKeys::VideoPath)).toString();
        QVERIFY(!videos.isEmpty());

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
        // The password is nowhere in the settings.
        QFile ini(dataDir() + QStringLiteral("/lumra.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(!ini.readAll().contains("lumra2026"));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
