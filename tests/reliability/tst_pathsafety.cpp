#include "api/APIHandler.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/FileStream.h"
#include "download/StoreFolders.h"
#include "model/Course.h"
#include "support/TestAppState.h"
#include "support/TreeSnapshot.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <memory>

// Ids and names that arrive from the service or the sign-in form end up in folder names.
// Hostile ones must never make the client create, change or delete anything outside the
// download folder and the user folder.
class TestPathSafety : public QObject
{
    Q_OBJECT

private:
    static QStringList hostileNames()
    {
        return QStringList() << QStringLiteral("..") << QStringLiteral("../x")
                             << QStringLiteral("a/b") << QString() << QStringLiteral(".")
                             << QStringLiteral("..\\..\\y") << QString(300, QLatin1Char('n'))
                             << QStringLiteral("nul\0byte").left(8)
                             << QString(QStringLiteral("z")) + QChar(0) + QStringLiteral("/../w");
    }

    // A decoy next to the store that nothing may touch.
    static void plantDecoys(const QString &root)
    {
        QDir().mkpath(root + QStringLiteral("/x"));
        QDir().mkpath(root + QStringLiteral("/home/w"));
        for (const QString &path :
             {root + QStringLiteral("/x/keep.txt"), root + QStringLiteral("/decoy.txt"),
              root + QStringLiteral("/home/w/keep.txt")}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep");
        }
    }

private slots:
    void initTestCase()
    {
        // No request of this test may reach anything: a closed loopback port.
        qputenv("LUMRA_WEB_HOST", "127.0.0.1:9");
        qputenv("LUMRA_COURSEWARE_HOST", "127.0.0.1:9");
        ServiceSettings::reload();
    }

    void hostileIdsStayInsideTheStore()
    {
        TestAppState env;
        APIHandler api;
        FileStream stream;
        registerApiHandler(&api);
        registerFileStream(&stream);
        stream.attachApiHandler(&api);
        AppState &state = env.state();
        plantDecoys(env.root());
        // The download folder sits two levels deep so that ".." and "../x" have somewhere to go.
        state.downloadDir = env.root() + QStringLiteral("/home/lumraVideo");
        QDir().mkpath(state.downloadDir);
        state.user.loginName = QStringLiteral("alice");
        api.finishSignIn();
        // The client's own settings file and log may change too.
        const QStringList allowed = QStringList() << state.downloadDir << state.userDir
                                                  << state.settings->fileName() << state.logPath;
        const TreeSnapshot before = TreeSnapshot::take(env.root(), allowed);

        QStringList lessonIds;
        const QStringList lessonNames = hostileNames() << QStringLiteral("ok");
        for (const QString &courseId : hostileNames()) {
            Course course;
            course.id = courseId;
            course.title = QStringLiteral("课程");
            for (const QString &lessonId : lessonNames) {
                Courseware cw;
                cw.courseId = courseId;
                cw.id = lessonId;
                cw.title = QStringLiteral("课件");
                cw.level = Courseware::Lesson;
                cw.downloadState = Courseware::Queued;
                course.coursewares << cw;
                lessonIds << lessonId;
            }
            stream.appendMission(course);
        }
        QTest::qWait(300);
        stream.relocate();
        stream.removeMissions(lessonIds);
        stream.setPaused(true);
        stream.clearAll();
        QTest::qWait(100);

        const QStringList differences =
            before.differencesTo(TreeSnapshot::take(env.root(), allowed));
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
        registerApiHandler(nullptr);
        registerFileStream(nullptr);
    }

    void hostileAccountNamesStayInsideTheUserFolder()
    {
        TestAppState env;
        APIHandler api;
        FileStream stream;
        registerApiHandler(&api);
        registerFileStream(&stream);
        AppState &state = env.state();
        plantDecoys(env.root());
        // The client's own settings file and log may change too.
        const QStringList allowed = QStringList() << state.downloadDir << state.userDir
                                                  << state.settings->fileName() << state.logPath;
        const TreeSnapshot before = TreeSnapshot::take(env.root(), allowed);

        for (const QString &name : hostileNames()) {
            state.user = UserSession();
            state.user.loginName = name;
            state.user.loginTime = QDateTime::currentDateTime();
            state.user.version = QStringLiteral("3.4.3.0");
            api.finishSignIn();
            QVERIFY2(QFileInfo(state.userDataDir).absolutePath()
                         == QFileInfo(state.userDir).absoluteFilePath(),
                     qPrintable(state.userDataDir));
            stream.saveIndex();
            api.signOut();
            // The next start finds the same folder from the remembered name.
            Settings::setText(state.settings.get(), SettingKeys::LastUser, name);
            state.user = UserSession();
            stream.loadIndex();
        }
        // An ordinary name keeps its plain folder.
        QCOMPARE(StoreFolders::userFolderName(QStringLiteral("13800138000")),
                 QStringLiteral("13800138000"));

        const QStringList differences =
            before.differencesTo(TreeSnapshot::take(env.root(), allowed));
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
        registerApiHandler(nullptr);
        registerFileStream(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestPathSafety)
#include "tst_pathsafety.moc"
