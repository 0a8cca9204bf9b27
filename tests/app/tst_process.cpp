#include "support/MiniHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The real client binary as a process: one copy per user, and a crash that leaves a
// report the next start uploads.
class TestProcess : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<MiniHttpServer> m_service;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path() + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString service = m_service->hostPort();
        for (const char *name : {"LUMRA_WEB_HOST", "LUMRA_COURSEWARE_HOST", "LUMRA_ERRORLOG_HOST",
                                 "LUMRA_HTTPDNS_SERVERS"})
            env.insert(QLatin1String(name), service);
        env.insert(QStringLiteral("LUMRA_CRASH_MESSAGE_TIMEOUT_MS"), QStringLiteral("200"));
        return env;
    }

    QString dataDir() const
    {
        return m_home.path() + QStringLiteral("/Documents/Lumra医考网校");
    }

    QString reportPath() const
    {
        return m_home.path() + QStringLiteral("/Documents/lumraplayer_crash_3.4.3.0.dmp");
    }

    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(m_home.path() + QStringLiteral("/run"));
        QFile::setPermissions(m_home.path() + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_service = std::make_unique<MiniHttpServer>([](const MiniHttpServer::Request &) {
            return MiniHttpServer::json("{\"flag\":1,\"data\":{\"sid\":\"s1\"}}");
        });
    }

    void secondStartHandsOverAndExits()
    {
        QProcess first;
        first.setProcessEnvironment(environment());
        first.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(first.waitForStarted());
        // The first copy is up once it has written its settings file.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataDir() + QStringLiteral("/lumra.ini")), 10000);
        QTest::qWait(500);

        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(dataDir() + QStringLiteral("/log.txt")).contains("activated by another start"),
                                 5000);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }

    // A file left under an installer's name that is no installer (an error page kept by an
    // older client) and a partial download are removed at start, and the update check goes
    // out instead of a banner for an installer that cannot run.
    void leftoverThatIsNoInstallerIsRemovedAtStart()
    {
        QDir().mkpath(dataDir());
        const QString fake = dataDir() + QStringLiteral("/3.5.0.0.AppImage");
        const QString partial = dataDir() + QStringLiteral("/3.6.0.0.AppImage.download");
        for (const QString &path : {fake, partial}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("<!DOCTYPE html><html><body>502 Bad Gateway</body></html>");
        }
        const int before = m_service->requests().size();
        QProcess client;
        client.setProcessEnvironment(environment());
        client.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(client.waitForStarted());
        auto updateChecks = [&] {
            int count = 0;
            for (int i = before; i < m_service->requests().size(); ++i)
                count += m_service->requests().at(i).target.contains("getPcUpdate");
            return count;
        };
        QTRY_VERIFY_WITH_TIMEOUT(updateChecks() > 0, 10000);
        QVERIFY(!QFile::exists(fake));
        QVERIFY(!QFile::exists(partial));
        client.terminate();
        QVERIFY(client.waitForFinished(10000));
    }

    void crashLeavesReportUploadedNextStart()
    {
        QFile::remove(reportPath());
        QProcess crashing;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("LUMRA_TEST_CRASH"), QStringLiteral("1"));
        crashing.setProcessEnvironment(env);
        crashing.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(crashing.waitForFinished(15000));
        QCOMPARE(crashing.exitStatus(), QProcess::CrashExit);
        const QByteArray report = readAll(reportPath());
        QVERIFY2(report.startsWith("crash report\nsignal 11\n"), report.left(80).constData());
        QVERIFY(report.contains("backtrace:"));

        // The next start posts it to the error-log endpoint and deletes it.
        const int before = m_service->requests().size();
        QProcess next;
        next.setProcessEnvironment(environment());
        next.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(next.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(reportPath()), 10000);
        bool posted = false;
        for (int i = before; i < m_service->requests().size(); ++i) {
            const MiniHttpServer::Request &request = m_service->requests().at(i);
            posted = posted || (request.method == "POST" && request.target == "/record_log/c_errorlog/"
                                && request.header("Content-Type").startsWith("multipart/form-data"));
        }
        QVERIFY(posted);
        next.terminate();
        QVERIFY(next.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
