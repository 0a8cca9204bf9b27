#include "app/Accessors.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "support/DemoClient.h"
#include "support/DemoLessons.h"
#include "support/DemoService.h"
#include "support/LessonCheck.h"
#include "support/TestAppState.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTest>

#include <csignal>

namespace {

Course demoCourse(int lessons)
{
    const QStringList ids = {QStringLiteral("1014"), QStringLiteral("1013"), QStringLiteral("1015"),
                             QStringLiteral("1016")};
    return DemoLessons::queuedCourse(QStringLiteral("101"), ids.mid(0, lessons));
}

// Child mode: save the index again and again until killed.
int saveForever(const QString &root)
{
    TestAppState env(root);
    FileStream stream;
    AppState &state = env.state();
    state.user.loginName = QStringLiteral("13800138000");
    state.user.loginTime = QDateTime::currentDateTime();
    state.user.version = QStringLiteral("3.4.3.0");
    state.userDataDir = state.userDir + QStringLiteral("/13800138000");
    state.userStoreFile = state.userDataDir + QStringLiteral("/kecheng.zg");
    QDir().mkpath(state.userDataDir);
    state.user.downloads << demoCourse(4);
    for (quint64 round = 0;; ++round) {
        // Alternate the record's size so a torn write would show.
        state.user.nickname = QString(int(round % 7) * 50, QLatin1Char('n'));
        stream.saveIndex();
    }
}

} // namespace

// The client killed with SIGKILL: in the middle of a download, and in the middle of
// saving its index. Nothing that was stored may be lost.
class TestKill : public QObject
{
    Q_OBJECT

private:
    static QProcessEnvironment clientEnvironment(const DemoService &service, const QString &home)
    {
        QProcessEnvironment env = service.processEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LUMRA_SHUTDOWN_COMMAND"), QStringLiteral("true"));
        return env;
    }

    static int segmentsIn(const QString &folder)
    {
        return QDir(folder).entryList(QStringList() << QStringLiteral("*.ts"), QDir::Files).size();
    }

private slots:
    void downloadResumesAfterKill()
    {
        DemoService service;
        QVERIFY2(service.start(), qPrintable(service.errorString()));
        TestAppState env;
        const QString home = env.root();
        QDir().mkpath(home + QStringLiteral("/run"));
        QFile::setPermissions(home + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        FileStream stream;
        registerFileStream(&stream);
        DemoClient client(service);
        QVERIFY2(client.signIn(), qPrintable(client.errorString()));

        // The state a student leaves at night: signed in, two lessons queued, auto-start on.
        AppState &state = env.state();
        state.user.downloads.clear();
        state.user.downloads << demoCourse(2);
        stream.relocate();
        Settings::setText(state.settings.get(), SettingKeys::AutoDownload, QStringLiteral("1"));
        state.settings->sync();
        const QString lessonDir = state.downloadDir + QStringLiteral("/101/1014");

        QVERIFY(service.setFaults({{"media-latency", "400"}}));
        QProcess first;
        first.setProcessEnvironment(clientEnvironment(service, home));
        first.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(first.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return segmentsIn(lessonDir) >= 3; }, 60000));
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        const int before = segmentsIn(lessonDir);
        qInfo("killed with %d of 12 segments of the first lesson on disk", before);
        QVERIFY(before < 12);

        QVERIFY(service.clearFaults());
        QProcess second;
        second.setProcessEnvironment(clientEnvironment(service, home));
        second.start(qEnvironmentVariable("LUMRA_BINARY"), QStringList());
        QVERIFY(second.waitForStarted());
        const QString indexFile = state.userStoreFile + QLatin1Char('c');
        const auto allDownloaded = [&] {
            UserSession stored;
            if (!FileStream::readIndexFile(indexFile, stored) || stored.downloads.isEmpty())
                return false;
            for (const Courseware &cw : stored.downloads.first().coursewares) {
                if (cw.downloadState != Courseware::Downloaded)
                    return false;
            }
            return true;
        };
        QVERIFY(QTest::qWaitFor(allDownloaded, 90000));
        second.terminate();
        QVERIFY(second.waitForFinished(10000));

        for (const Courseware &cw : demoCourse(2).coursewares) {
            const QString why =
                compareWithServed(client, cw, state.downloadDir + QStringLiteral("/101/") + cw.id);
            QVERIFY2(why.isEmpty(), qPrintable(cw.id + QStringLiteral(": ") + why));
        }
        registerFileStream(nullptr);
    }

    void indexSurvivesKillsDuringSaves()
    {
        QTemporaryDir root;
        for (int round = 0; round < 15; ++round) {
            QProcess saver;
            saver.start(QCoreApplication::applicationFilePath(),
                        QStringList() << QStringLiteral("--save-forever") << root.path());
            QVERIFY(saver.waitForStarted());
            // Let it save a while, then kill it at some moment of a save.
            // The first save happens at once; the kill lands somewhere in a later one.
            QTest::qWait(300 + int(QRandomGenerator::global()->bounded(300)));
            ::kill(pid_t(saver.processId()), SIGKILL);
            QVERIFY(saver.waitForFinished(5000));

            TestAppState env(root.path());
            const QString indexFile =
                env.state().userDir + QStringLiteral("/13800138000/kecheng.zgc");
            UserSession stored;
            QVERIFY2(FileStream::readIndexFile(indexFile, stored),
                     qPrintable(QString::number(round)));
            QCOMPARE(stored.loginName, QStringLiteral("13800138000"));
            QCOMPARE(stored.downloads.size(), 1);
            QCOMPARE(stored.downloads.first().coursewares.size(), 4);
            QCOMPARE(stored.version, QStringLiteral("3.4.3.0"));
        }
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--save-forever") {
        QCoreApplication app(argc, argv);
        return saveForever(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_kill.moc"
