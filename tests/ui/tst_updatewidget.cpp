// The update, about and shutdown overlays. The update download runs against the demo
// service and, where the reply must be odd, a raw in-test server. The shutdown command is
// always replaced by a harmless one.
#include "ScreenTestKit.h"

#include "api/RequestType.h"
#include "app/AppState.h"
#include "platform/PlatformPaths.h"
#include "platform/Shutdown.h"
#include "ui/AboutWidget.h"
#include "ui/ShutdownWidget.h"
#include "ui/UpdateWidget.h"

#include "support/MiniHttpServer.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace ScreenTestKit;

namespace {

// Answers one installer request in two halves, `pauseMs` apart, then closes. Without a
// length header the client sees no total; with a wrong one the transfer breaks off.
class TwoPartServer : public QObject
{
public:
    TwoPartServer(QByteArray header, QByteArray first, QByteArray second, int pauseMs)
        : m_header(std::move(header))
        , m_first(std::move(first))
        , m_second(std::move(second))
        , m_pauseMs(pauseMs)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("\r\n\r\n")
                    || socket->property("answered").toBool())
                    return;
                socket->setProperty("answered", true);
                socket->write(m_header + "\r\n" + m_first);
                QTimer::singleShot(m_pauseMs, socket, [this, socket] {
                    socket->write(m_second);
                    socket->disconnectFromHost();
                });
            });
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/setup").arg(m_server.serverPort());
    }

private:
    QTcpServer m_server;
    QByteArray m_header;
    QByteArray m_first;
    QByteArray m_second;
    int m_pauseMs;
};

} // namespace

class TestUpdateWidget : public QObject
{
    Q_OBJECT

private:
    DemoService m_service{QStringList()
                          << QStringLiteral("--update-version") << QStringLiteral("3.5.0.0")};
    std::unique_ptr<Environment> m_env;
    QTemporaryDir m_scratch;

    MainWidget *window() { return m_env->window(); }
    UpdateWidget *update() { return updateWidget(window()); }
    QString installer(const QString &version)
    {
        return m_env->state().dataDir + QLatin1Char('/') + version
               + PlatformPaths::installerExtension();
    }
    QString shutdownMarker() const { return m_scratch.path() + QStringLiteral("/shutdown-ran"); }

    // Offers a version as the update check would, with the installer at `url`.
    void offer(const QString &version, const QString &url)
    {
        UpdateInfo &info = *m_env->state().update;
        info.version = version;
        info.content = QStringLiteral("修复若干问题");
        info.downloadUrl = url;
        emit m_env->api()->HttpResponseSignal(ReqPcUpdate, 1);
    }

    QAction *helpEntry(const QString &text)
    {
        for (QAction *action : mainMenu(window())->actions()) {
            if (!action->menu())
                continue;
            for (QAction *entry : action->menu()->actions()) {
                if (entry->text() == text)
                    return entry;
            }
        }
        return nullptr;
    }

    void sendTicks(ShutdownWidget *countdown, int count)
    {
        for (int i = 0; i < count; ++i) {
            QTimerEvent tick(countdown->timerId());
            QCoreApplication::sendEvent(countdown, &tick);
        }
    }

    int shutdownRuns()
    {
        QFile marker(shutdownMarker());
        if (!marker.open(QIODevice::ReadOnly))
            return 0;
        return marker.readAll().count('\n');
    }

private slots:
    void initTestCase()
    {
        // Never the real command, in any test of this file.
        QVERIFY(m_scratch.isValid());
        qputenv("LUMRA_SHUTDOWN_COMMAND",
                QByteArray("echo ran >> '") + shutdownMarker().toUtf8() + "'");
        applyTheme();
        QString error;
        QVERIFY2(startDemo(m_service, &error), qPrintable(error));
    }

    void init()
    {
        m_env = std::make_unique<Environment>();
        m_env->buildWindow();
    }

    void cleanup() { m_env.reset(); }

    void aboutBox()
    {
        QCOMPARE(AboutWidget::titleText(), QStringLiteral("关于 Lumra医考网校 3.4.3.0"));
        QAction *about = helpEntry(QStringLiteral("关于"));
        QVERIFY(about);
        about->trigger();
        AboutWidget *box = aboutWidget(window());
        QVERIFY(box->isVisible());
        QCOMPARE(box->titleLabel()->text(), AboutWidget::titleText());
        QCOMPARE(clippedTexts(box), QStringList());
        QVERIFY(saveScreenshot(window(), QStringLiteral("about")));
        auto *ok = box->findChild<QPushButton *>(QStringLiteral("btnOK3"));
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("确定"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(box->isHidden());
    }

    void idleUntilANewerVersion()
    {
        QCOMPARE(update()->statusLabel()->text(), QStringLiteral("已经是最新版本啦~"));
        QVERIFY(update()->progressTrack()->isHidden());
        // A failed check changes nothing.
        emit m_env->api()->HttpResponseSignal(ReqPcUpdate, 0);
        QCOMPARE(update()->statusLabel()->text(), QStringLiteral("已经是最新版本啦~"));
        QVERIFY(m_env->state().installerPath.isEmpty());
    }

    void newerVersionIsDownloadedAndAnnounced()
    {
        m_env->api()->getPcUpdate();
        const QString target = installer(QStringLiteral("3.5.0.0"));
        QVERIFY(waitFor([&target] { return QFile::exists(target); }));
        QCOMPARE(m_env->state().installerPath, target);
        QVERIFY(!QFile::exists(target + QStringLiteral(".download")));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.size(), qint64(300 * 1024));
        QCOMPARE(file.read(4), QByteArray("\x7f"
                                          "ELF"));

        QCOMPARE(update()->statusLabel()->text(), QStringLiteral("已有新版本：3.5.0.0"));
        QVERIFY(update()->notesLabel()->text().contains(QStringLiteral("优化课程下载速度")));
        QVERIFY(!update()->progressTrack()->isHidden());
        QVERIFY(waitFor([this] { return banner(window())->height() == 35; }, 3000));

        // Opened later from the menu, the overlay shows where the download got to.
        helpEntry(QStringLiteral("检查新版本"))->trigger();
        QVERIFY(update()->isVisible());
        QTest::qWait(20);
        QCOMPARE(update()->progressFill()->width(), update()->progressTrack()->width());
        QVERIFY(saveScreenshot(window(), QStringLiteral("update")));
    }

    void existingInstallerIsKept()
    {
        const QString target = installer(QStringLiteral("3.5.0.0"));
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("\x7f"
                      "ELF installer downloaded before");
        }
        m_env->api()->getPcUpdate();
        QVERIFY(waitFor([this] { return banner(window())->height() > 0; }));
        QVERIFY(!QFile::exists(target + QStringLiteral(".download")));
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("\x7f"
                                            "ELF installer downloaded before"));
        QCOMPARE(m_env->state().installerPath, target);
        QVERIFY(QFile::remove(target));
    }

    void replyWithoutSizeLeavesFillAlone()
    {
        const QByteArray half = "\x7f"
                                "ELF"
                                + QByteArray(64 * 1024 - 4, 'x');
        TwoPartServer server("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n", half,
                             half, 400);
        offer(QStringLiteral("3.6.0.0"), server.url());
        const QString partial = installer(QStringLiteral("3.6.0.0")) + QStringLiteral(".download");
        QVERIFY(waitFor([&] { return QFileInfo(partial).size() >= half.size(); }));
        QVERIFY(!update()->progressTrack()->isHidden());
        QCOMPARE(update()->progressFill()->width(), 0);
        QVERIFY(waitFor([this] { return QFile::exists(installer(QStringLiteral("3.6.0.0"))); }));
        QCOMPARE(QFileInfo(installer(QStringLiteral("3.6.0.0"))).size(), qint64(2 * half.size()));
        QVERIFY(QFile::remove(installer(QStringLiteral("3.6.0.0"))));
    }

    // A transfer that breaks off leaves nothing: no partial file, no installer, no banner.
    void brokenDownloadLeavesNothing()
    {
        const QByteArray half = "\x7f"
                                "ELF"
                                + QByteArray(32 * 1024 - 4, 'y');
        TwoPartServer server("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\nConnection: close\r\n",
                             half, QByteArray(), 100);
        offer(QStringLiteral("3.7.0.0"), server.url());
        const QString partial = installer(QStringLiteral("3.7.0.0")) + QStringLiteral(".download");
        QVERIFY(waitFor([&] { return QFileInfo(partial).size() >= half.size(); }));
        // Some of it arrived, against an announced total.
        QVERIFY(waitFor([this] { return update()->progressFill()->width() > 0; }));
        QVERIFY(update()->progressFill()->width() < update()->progressTrack()->width());
        QVERIFY(waitFor([&] { return !QFile::exists(partial); }));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(installer(QStringLiteral("3.7.0.0"))));
        QCOMPARE(banner(window())->height(), 0);
    }

    // Through redirects to a mirror the installer arrives byte for byte as served directly.
    void installerThroughRedirects()
    {
        const QString url =
            m_service.webUrl(QStringLiteral("/download/lumra-setup-3.8.0.0.AppImage")).toString();
        QNetworkAccessManager network;
        QNetworkReply *direct = network.get(QNetworkRequest(QUrl(url)));
        QVERIFY(waitFor([direct] { return direct->isFinished(); }));
        const QByteArray served = direct->readAll();
        delete direct;
        QVERIFY(served.size() > 100000);

        QVERIFY(m_service.setFaults({{QStringLiteral("redirect"), QStringLiteral("installer")},
                                     {QStringLiteral("redirect-hops"), QStringLiteral("2")}}));
        offer(QStringLiteral("3.8.0.0"), url);
        const QString target = installer(QStringLiteral("3.8.0.0"));
        QVERIFY(waitFor([this] { return banner(window())->height() > 0; }, 10000));
        QVERIFY(m_service.clearFaults());
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), served);
        QVERIFY(!QFile::exists(target + QStringLiteral(".download")));
        file.close();
        QVERIFY(QFile::remove(target));
    }

    void answersThatAreNoInstaller_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("error page with status 200") << QStringLiteral("html");
        QTest::newRow("not found") << QStringLiteral("404");
        QTest::newRow("endless body") << QStringLiteral("endless");
        QTest::newRow("huge length") << QStringLiteral("huge length");
        QTest::newRow("disk refuses the writes") << QStringLiteral("write error");
    }

    // Whatever the installer address answers that is not a whole installer of this platform,
    // nothing is kept, no banner shows and the disk holds no partial file.
    void answersThatAreNoInstaller()
    {
        QFETCH(QString, mode);
        const QString version = QStringLiteral("3.9.0.0");
        MiniHttpServer server([&](const MiniHttpServer::Request &) {
            MiniHttpServer::Response response;
            response.contentType = "application/octet-stream";
            if (mode == QLatin1String("404")) {
                response.status = 404;
                response.body = "<html>not found</html>";
            } else if (mode == QLatin1String("endless")) {
                response.kind = MiniHttpServer::Response::Endless;
                response.body = "\x7f"
                                "ELF"
                                + QByteArray(64 * 1024, 'e');
                response.endlessLimit = qint64(400) << 20;
            } else if (mode == QLatin1String("huge length")) {
                response.kind = MiniHttpServer::Response::Endless;
                response.body = "\x7f"
                                "ELF"
                                + QByteArray(1024, 'e');
                response.contentLength = qint64(1) << 40;
                response.bytesPerSecond = 64 * 1024;
            } else {
                response.body = "\x7f"
                                "ELF"
                                + QByteArray(300 * 1024, 'w');
            }
            return response;
        });
        QString url = server.url("/setup.AppImage");
        if (mode == QLatin1String("html")) {
            QVERIFY(m_service.setFaults({{QStringLiteral("html"), QStringLiteral("installer")}}));
            url = m_service.webUrl(QStringLiteral("/download/lumra-setup-3.9.0.0.AppImage"))
                      .toString();
        }
        // A file system that takes no more than 100 KB of any file: writes beyond fail.
        struct rlimit saved
        {
        };
        const bool limitWrites = mode == QLatin1String("write error");
        if (limitWrites) {
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = saved;
            small.rlim_cur = 100 * 1024;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        offer(version, url);
        const QString partial = installer(version) + QStringLiteral(".download");
        const bool ended =
            waitFor([&] { return !server.requests().isEmpty() || mode == QLatin1String("html"); })
            && waitFor([&] { return !QFile::exists(partial); }, 30000);
        QTest::qWait(500);
        if (limitWrites)
            setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(m_service.clearFaults());
        QVERIFY(ended);
        QVERIFY(!QFile::exists(installer(version)));
        QVERIFY(!QFile::exists(partial));
        QCOMPARE(banner(window())->height(), 0);
    }

    void versionCannotLeaveTheDataFolder()
    {
        offer(QStringLiteral("../../4.0.0.0"),
              m_service.webUrl(QStringLiteral("/download/x.exe")).toString());
        QTest::qWait(200);
        QCOMPARE(update()->statusLabel()->text(), QStringLiteral("已经是最新版本啦~"));
        QVERIFY(m_env->state().installerPath.isEmpty());
        QVERIFY(UpdateWidget::isSafeVersionText(QStringLiteral("3.5.0.0")));
        QVERIFY(!UpdateWidget::isSafeVersionText(QStringLiteral("3.5/0")));
        QVERIFY(!UpdateWidget::isSafeVersionText(QString()));
    }

    void shutdownCommand()
    {
        const QByteArray saved = qgetenv("LUMRA_SHUTDOWN_COMMAND");
        qunsetenv("LUMRA_SHUTDOWN_COMMAND");
        const QStringList system = Shutdown::command(); // only looked at, never started
        qputenv("LUMRA_SHUTDOWN_COMMAND", saved);
        QCOMPARE(system, QStringList()
                             << QStringLiteral("systemctl") << QStringLiteral("poweroff"));
        QCOMPARE(Shutdown::command(), QStringList()
                                          << QStringLiteral("/bin/sh") << QStringLiteral("-c")
                                          << QString::fromUtf8(saved));
    }

    void countdownCancelledAndReopened()
    {
        ShutdownWidget *countdown = shutdownWidget(window());
        window()->showShutdown();
        QVERIFY(countdown->isVisible());
        QCOMPARE(countdown->messageLabel()->text(), QStringLiteral("将在30秒后关机"));
        QVERIFY(countdown->timerId() != 0);
        // The real timer ticks once a second.
        QVERIFY(waitFor([countdown] { return countdown->secondsLeft() == 29; }, 1500));
        QCOMPARE(countdown->messageLabel()->text(), QStringLiteral("将在30秒后关机"));
        sendTicks(countdown, 24);
        QCOMPARE(countdown->messageLabel()->text(), QStringLiteral("将在6秒后关机"));
        sendTicks(countdown, 1);
        QCOMPARE(countdown->messageLabel()->text(), QStringLiteral("将在5秒后关机"));

        auto *cancel = countdown->findChild<QPushButton *>(QStringLiteral("btnCancel"));
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(countdown->isHidden());
        QCOMPARE(countdown->timerId(), 0);

        window()->showShutdown();
        QCOMPARE(countdown->messageLabel()->text(), QStringLiteral("将在30秒后关机"));
        QCOMPARE(countdown->secondsLeft(), 30);
        QVERIFY(countdown->timerId() != 0);
        QCOMPARE(clippedTexts(countdown), QStringList());
        QCOMPARE(shutdownRuns(), 0);
    }

    void countdownGoesOnWhileWindowIsInTray()
    {
        ShutdownWidget *countdown = shutdownWidget(window());
        window()->hide();
        window()->showShutdown();
        QVERIFY(countdown->timerId() != 0);
        QCOMPARE(countdown->secondsLeft(), 30);
        window()->show();
        // Restoring the window does not start the count again.
        QVERIFY(waitFor([countdown] { return countdown->secondsLeft() == 29; }, 1500));
        window()->hide();
        QVERIFY(countdown->timerId() != 0);
        window()->show();
        QCOMPARE(shutdownRuns(), 0);
    }

    // Last: quitting the application ends every nested event loop that follows.
    void countdownRunsCommandOnceAtZero()
    {
        ShutdownWidget *countdown = shutdownWidget(window());
        window()->showShutdown();
        QStringList labels{countdown->messageLabel()->text()};
        for (int i = 0; i < 30; ++i) {
            QCOMPARE(shutdownRuns(), 0);
            sendTicks(countdown, 1);
            labels << countdown->messageLabel()->text();
        }
        QStringList expected{ShutdownWidget::messageFor(30)};
        for (int n = 30; n >= 1; --n)
            expected << ShutdownWidget::messageFor(n);
        QCOMPARE(labels, expected);
        QCOMPARE(countdown->timerId(), 0);
        QVERIFY(waitFor([this] { return shutdownRuns() > 0; }, 5000));
        QTest::qWait(1500);
        QCOMPARE(shutdownRuns(), 1);
    }
};

QTEST_MAIN(TestUpdateWidget)
#include "tst_updatewidget.moc"
