#include "support/MiniHttpServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The real client binary as a process: one copy per user that no other account can block
// or reach, private files, a crash that leaves a report the next start uploads, and a
// shipped program without the test hooks.
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

    QString dataDir() const { return m_home.path() + QStringLiteral("/Documents/Lumra医考网校"); }

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
        QTRY_VERIFY_WITH_TIMEOUT(
            readAll(dataDir() + QStringLiteral("/log.txt")).contains("activated by another start"),
            5000);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }

    static int modeOf(const QString &path)
    {
        struct stat info;
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777)
                                                                        : -1;
    }

    // Another account on the machine plants the names the guard would use in the shared
    // temporary folder: a socket to catch the activation and a lock held by a live process
    // of theirs. Neither may keep the student's program from starting or receive anything.
    void plantedGuardFilesNeitherBlockNorListen()
    {
        QTemporaryDir sharedTemp;
        ::chmod(QFile::encodeName(sharedTemp.path()).constData(), 01777);
        const QString planted =
            sharedTemp.path() + QStringLiteral("/LUMRAPEXIL-") + QString::number(::getuid());
        QLocalServer neighbour;
        neighbour.setSocketOptions(QLocalServer::WorldAccessOption);
        QVERIFY(neighbour.listen(planted));
        int caught = 0;
        connect(&neighbour, &QLocalServer::newConnection, this, [&] {
            while (neighbour.nextPendingConnection())
                ++caught;
        });
        QLockFile lock(planted + QStringLiteral(".lock"));
        QVERIFY(lock.tryLock(0));
        ::chown(QFile::encodeName(planted + QStringLiteral(".lock")).constData(), 65534, 65534);
        // The runtime folder a program falls back to without XDG_RUNTIME_DIR, taken first.
        const QString runtime = sharedTemp.path() + QStringLiteral("/runtime-")
                                + QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name);
        QVERIFY(QDir().mkpath(runtime));
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        ::chown(QFile::encodeName(runtime).constData(), 65534, 65534);
        // The same names one level down, where a private folder might be expected.
        const QString hostile =
            sharedTemp.path() + QStringLiteral("/lumra-") + QString::number(::getuid());
        QVERIFY(QDir().mkpath(hostile));
        ::chmod(QFile::encodeName(hostile).constData(), 0777);
        ::chown(QFile::encodeName(hostile).constData(), 65534, 65534);
        QLocalServer inside;
        inside.setSocketOptions(QLocalServer::WorldAccessOption);
        QVERIFY(inside.listen(hostile + QStringLiteral("/instance")));
        connect(&inside, &QLocalServer::newConnection, this, [&] {
            while (inside.nextPendingConnection())
                ++caught;
        });

        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("TMPDIR"), sharedTemp.path());
        QFile::remove(dataDir() + QStringLiteral("/log.txt"));
        QFile::remove(dataDir() + QStringLiteral("/lumra.ini"));
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(first.waitForStarted());
        QVERIFY(!first.waitForFinished(3000));
        QCOMPARE(first.state(), QProcess::Running);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataDir() + QStringLiteral("/lumra.ini")), 10000);

        // A second start still finds the first one, and only the first one.
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            readAll(dataDir() + QStringLiteral("/log.txt")).contains("activated by another start"),
            5000);
        QCOMPARE(caught, 0);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }

    // What the program writes is for its user alone: folders 0700, files 0600, also where an
    // older version left them readable; the guard's folder too.
    void privateFilesAndFolders()
    {
        QVERIFY(QDir().mkpath(dataDir() + QStringLiteral("/user/13800138000")));
        for (const QString &folder : {dataDir(), dataDir() + QStringLiteral("/user"),
                                      dataDir() + QStringLiteral("/user/13800138000")})
            ::chmod(QFile::encodeName(folder).constData(), 0755);
        for (const QString &file : {dataDir() + QStringLiteral("/lumra.ini"),
                                    dataDir() + QStringLiteral("/user/13800138000/kecheng.zgc")}) {
            QFile old(file);
            QVERIFY(old.open(QIODevice::Append));
            old.close();
            ::chmod(QFile::encodeName(file).constData(), 0644);
        }

        QProcess client;
        client.setProcessEnvironment(environment());
        client.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(client.waitForStarted());
        QVERIFY(!client.waitForFinished(2000));
        client.terminate();
        QVERIFY(client.waitForFinished(10000));

        int checked = 0;
        QDirIterator it(dataDir(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        QStringList wrong;
        const auto check = [&](const QString &path) {
            const int expected = QFileInfo(path).isDir() ? 0700 : 0600;
            if (modeOf(path) != expected)
                wrong << QStringLiteral("%1 %2").arg(path).arg(modeOf(path), 0, 8);
            ++checked;
        };
        check(dataDir());
        while (it.hasNext())
            check(it.next());
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
        QVERIFY(checked >= 5); // the folders, the settings, the index
        QDir run(m_home.path() + QStringLiteral("/run"));
        const QStringList guardFolders = run.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(guardFolders.size(), 1);
        QCOMPARE(modeOf(run.filePath(guardFolders.first())), 0700);
    }

    // The installed program carries neither the test driver nor the crash hook.
    void installedProgramHasNoTestHooks()
    {
        QTemporaryDir prefix;
        QProcess install;
        install.start(QStringLiteral("cmake"), QStringList()
                                                   << QStringLiteral("--install")
                                                   << qEnvironmentVariable("LUMRA_BUILD_DIR")
                                                   << QStringLiteral("--prefix") << prefix.path());
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        const auto stringsOf = [](const QString &binary) {
            QProcess strings;
            strings.start(QStringLiteral("strings"), QStringList()
                                                         << QStringLiteral("-a") << binary);
            strings.waitForFinished(60000);
            return strings.readAllStandardOutput();
        };
        const QByteArray installed = stringsOf(prefix.path() + QStringLiteral("/bin/lumra"));
        QVERIFY(installed.contains("LUMRA_WEB_HOST")); // it did read the program
        for (const QByteArray &hook :
             {QByteArray("LUMRA_TEST_DRIVER"), QByteArray("LUMRA_TEST_CRASH"),
              QByteArray("TestDriver"), QByteArray("crashForTest")})
            QVERIFY2(!installed.contains(hook), hook.constData());
        // The test build the end-to-end tests start does have them.
        const QByteArray testBuild = stringsOf(qEnvironmentVariable("LUMRA_BINARY"));
        QVERIFY(testBuild.contains("LUMRA_TEST_DRIVER") && testBuild.contains("LUMRA_TEST_CRASH"));
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
        // Files first: a check sent by the previous test's client may still be in the queue.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(fake) && !QFile::exists(partial), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(updateChecks() > 0, 10000);
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
            posted = posted
                     || (request.method == "POST" && request.target == "/record_log/c_errorlog/"
                         && request.header("Content-Type").startsWith("multipart/form-data"));
        }
        QVERIFY(posted);
        next.terminate();
        QVERIFY(next.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
