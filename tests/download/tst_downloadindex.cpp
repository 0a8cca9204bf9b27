#include "api/APIHandler.h"
#include "app/Accessors.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/FileStream.h"
#include "download/StoreFolders.h"
#include "support/TestAppState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

class TestDownloadIndex : public QObject
{
    Q_OBJECT

private:
    static Course sampleCourse(const QString &id, const QString &title)
    {
        Course course;
        course.id = id;
        course.title = title;
        for (int i = 1; i <= 2; ++i) {
            Courseware cw;
            cw.courseId = id;
            cw.id = id + QStringLiteral("-l") + QString::number(i);
            cw.type = QStringLiteral("kejian");
            cw.title = QStringLiteral("Lesson ") + QString::number(i);
            cw.level = 3;
            cw.downloadState = i == 1 ? 2 : 1;
            course.coursewares << cw;
        }
        return course;
    }

    // Signs "alice" in as far as the store is concerned: folders, store file, one course.
    static void signIn(TestAppState &env, const QDateTime &loginTime, const QString &version)
    {
        AppState &state = env.state();
        state.user = UserSession();
        state.user.loginName = QStringLiteral("alice");
        state.user.nickname = QStringLiteral("爱丽丝");
        state.user.sid = QStringLiteral("sid-1");
        state.user.password = QStringLiteral("pw-secret");
        state.user.loginTime = loginTime;
        state.user.version = version;
        state.user.downloads << sampleCourse(QStringLiteral("c1"), QStringLiteral("内科"));
        state.userDataDir = state.userDir + QStringLiteral("/alice");
        QDir().mkpath(state.userDataDir);
        state.userStoreFile = state.userDataDir + QStringLiteral("/kecheng.zg");
        Settings::setText(state.settings.get(), SettingKeys::LastUser, QStringLiteral("alice"));
    }

    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void saveAndLoadRoundTrip()
    {
        TestAppState env;
        FileStream stream;
        signIn(env, QDateTime::currentDateTime().addDays(-1), QStringLiteral("3.4.3.0"));
        stream.saveIndex();

        const QString indexFile = env.state().userStoreFile + QLatin1Char('c');
        QVERIFY(QFile::exists(indexFile));
        QVERIFY(!QFile::exists(env.state().userStoreFile)); // no plain copy left behind
        const QByteArray stored = readAll(indexFile);
        QCOMPARE(stored.size() % 16, 0);
        // Enciphered: neither the name (stored as UTF-16BE) nor anything plain shows.
        QVERIFY(!stored.contains(QByteArray("\0a\0l\0i\0c\0e", 10)));
        const QByteArray plain = env.cipher().decryptFileToBytes(indexFile);
        QVERIFY(plain.contains(QByteArray("\0a\0l\0i\0c\0e", 10)));
        QVERIFY(!plain.contains(QByteArray("\0p\0w\0-", 6))); // the password is never stored

        env.state().user = UserSession();
        QVERIFY(stream.loadIndex());
        QCOMPARE(env.state().user.loginName, QStringLiteral("alice"));
        QCOMPARE(env.state().user.nickname, QStringLiteral("爱丽丝"));
        QCOMPARE(env.state().user.sid, QStringLiteral("sid-1"));
        QVERIFY(env.state().user.password.isEmpty());
        QCOMPARE(env.state().user.downloads.size(), 1);
        QCOMPARE(env.state().user.downloads.first().coursewares.size(), 2);
        QVERIFY(!QFile::exists(env.state().userStoreFile));

        // The lookups find the loaded list.
        QVERIFY(stream.findDownloadCourse(QStringLiteral("c1")));
        QVERIFY(!stream.findDownloadCourse(QStringLiteral("c2")));
        Courseware *lesson =
            stream.findDownloadLesson(QStringLiteral("c1"), QStringLiteral("c1-l2"));
        QVERIFY(lesson);
        QCOMPARE(lesson->downloadState, 1);
        QVERIFY(!stream.findDownloadLesson(QStringLiteral("c9"), QStringLiteral("c1-l2")));
        QVERIFY(!stream.findDownloadLesson(QStringLiteral("c1"), QStringLiteral("x")));
    }

    void restoreRules_data()
    {
        QTest::addColumn<qint64>("hoursAgo");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("signsIn");
        QTest::newRow("six days") << qint64(6 * 24) << "3.4.3.0" << true;
        QTest::newRow("just under seven days") << qint64(7 * 24 - 1) << "3.4.3.0" << true;
        QTest::newRow("seven days") << qint64(7 * 24) << "3.4.3.0" << false;
        QTest::newRow("signed out (1000 years back)")
            << qint64(1000) * 365 * 24 << "3.4.3.0" << false;
        QTest::newRow("oldest accepted version") << qint64(1) << "2.0.0.0" << true;
        QTest::newRow("older version") << qint64(1) << "1.9.9.9" << false;
        QTest::newRow("two-part version") << qint64(1) << "3.4" << false;
        QTest::newRow("empty version") << qint64(1) << "" << false;
    }

    void restoreRules()
    {
        QFETCH(qint64, hoursAgo);
        QFETCH(QString, version);
        QFETCH(bool, signsIn);
        TestAppState env;
        FileStream stream;
        signIn(env, QDateTime::currentDateTime().addSecs(-hoursAgo * 3600), version);
        stream.saveIndex();
        env.state().user = UserSession();
        QCOMPARE(stream.loadIndex(), signsIn);
        // The record is loaded either way.
        QCOMPARE(env.state().user.loginName, QStringLiteral("alice"));
    }

    void nothingToRestore()
    {
        TestAppState env;
        FileStream stream;
        QVERIFY(!stream.loadIndex()); // no last user
        Settings::setText(env.state().settings.get(), SettingKeys::LastUser, QStringLiteral("bob"));
        QVERIFY(!stream.loadIndex()); // no folder
        QDir().mkpath(env.state().userDir + QStringLiteral("/bob"));
        QVERIFY(!stream.loadIndex()); // no store
        QVERIFY(env.state().user.loginName.isEmpty());
    }

    void interruptedSaveKeepsAnIndex()
    {
        TestAppState env;
        FileStream stream;
        signIn(env, QDateTime::currentDateTime(), QStringLiteral("3.4.3.0"));
        stream.saveIndex();
        const QString indexFile = env.state().userStoreFile + QLatin1Char('c');
        const QByteArray before = readAll(indexFile);

        // A crash after the new content reached a temporary file, before the replace:
        // garbage and a half-written file next to the index must not matter.
        for (const QString &leftover :
             {indexFile + QStringLiteral(".tmp"), env.state().userStoreFile}) {
            QFile file(leftover);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("half written");
        }
        QCOMPARE(readAll(indexFile), before);
        env.state().user = UserSession();
        QVERIFY(stream.loadIndex());
        QCOMPARE(env.state().user.downloads.size(), 1);

        // The next save replaces the index whole and clears the leftovers, a plain copy too
        // (the load removed one; a second user's folder is never loaded so).
        env.state().user.downloads << sampleCourse(QStringLiteral("c2"), QStringLiteral("外科"));
        env.state().userStoreFile = env.state().userDataDir + QStringLiteral("/kecheng.zg");
        {
            QFile plainCopy(env.state().userStoreFile);
            QVERIFY(plainCopy.open(QIODevice::WriteOnly));
            plainCopy.write("left by an older version");
        }
        stream.saveIndex();
        QVERIFY(!QFile::exists(indexFile + QStringLiteral(".tmp")));
        QVERIFY(!QFile::exists(env.state().userStoreFile));
        env.state().user = UserSession();
        QVERIFY(stream.loadIndex());
        QCOMPARE(env.state().user.downloads.size(), 2);
    }

    void failedSaveLeavesPreviousIndex()
    {
        TestAppState env;
        FileStream stream;
        signIn(env, QDateTime::currentDateTime(), QStringLiteral("3.4.3.0"));
        stream.saveIndex();
        const QString indexFile = env.state().userStoreFile + QLatin1Char('c');
        const QByteArray before = readAll(indexFile);

        // The temporary name is taken by a folder: the write fails, nothing is replaced.
        QDir().mkpath(indexFile + QStringLiteral(".tmp"));
        env.state().user.downloads.clear();
        stream.saveIndex();
        QCOMPARE(readAll(indexFile), before);
        QDir(indexFile + QStringLiteral(".tmp")).removeRecursively();
        QVERIFY(stream.saveIndex());

        // The index's own name taken by a folder: the new index cannot be put in place, and
        // the student is told so.
        QSignalSpy told(&stream, &FileStream::IndexSaveFailedSignal);
        QVERIFY(QFile::remove(indexFile));
        QVERIFY(QDir().mkpath(indexFile + QStringLiteral("/inside")));
        QVERIFY(!stream.saveIndex());
        QCOMPARE(told.count(), 1);
    }

    void relocateSetsPathsAndMigratesLegacyFolders()
    {
        TestAppState env;
        FileStream stream;
        signIn(env, QDateTime::currentDateTime(), QStringLiteral("3.4.3.0"));
        AppState &state = env.state();
        const Course &course = state.user.downloads.first();
        const QString legacyCourse =
            state.downloadDir + QLatin1Char('/') + StoreFolders::legacyHash(course.title);
        const QString legacyLesson = legacyCourse + QLatin1Char('/')
                                     + StoreFolders::legacyHash(course.coursewares.first().title);
        QDir().mkpath(legacyLesson);
        const QByteArray playlist = "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\""
                                    + legacyLesson.toUtf8() + "/00000.zx\"\n#EXTINF:10,\n"
                                    + legacyLesson.toUtf8() + "/00001.ts\n#EXT-X-ENDLIST\n";
        env.cipher().encryptBytesToFile(playlist, legacyLesson + QStringLiteral("/00000.zs"));
        {
            QFile segment(legacyLesson + QStringLiteral("/00001.ts"));
            QVERIFY(segment.open(QIODevice::WriteOnly));
            segment.write("segment-bytes");
        }

        stream.relocate();

        const Course &moved = state.user.downloads.first();
        QCOMPARE(moved.localPath, state.downloadDir + QStringLiteral("/c1"));
        QCOMPARE(moved.legacyPath, legacyCourse);
        const QString lessonDir = state.downloadDir + QStringLiteral("/c1/c1-l1");
        QCOMPARE(moved.coursewares.first().localPath, lessonDir);
        QCOMPARE(moved.coursewares.at(1).localPath,
                 state.downloadDir + QStringLiteral("/c1/c1-l2"));
        QCOMPARE(readAll(lessonDir + QStringLiteral("/00001.ts")), QByteArray("segment-bytes"));
        QVERIFY(!QFileInfo::exists(legacyLesson));

        QByteArray rewritten =
            env.cipher().decryptFileToBytes(lessonDir + QStringLiteral("/00000.zs"));
        while (rewritten.endsWith('\0'))
            rewritten.chop(1);
        QByteArray expected = playlist;
        expected.replace(legacyLesson.toUtf8(), lessonDir.toUtf8());
        QCOMPARE(rewritten, expected);

        // relocate saves the index.
        QVERIFY(QFile::exists(state.userStoreFile + QLatin1Char('c')));
    }

    void signInNeverHandsOneUsersListToAnother()
    {
        TestAppState env;
        FileStream stream;
        APIHandler api;
        registerFileStream(&stream);
        registerApiHandler(&api);
        signIn(env, QDateTime::currentDateTime(), QStringLiteral("3.4.3.0"));
        stream.saveIndex();
        const QString aliceIndex = env.state().userStoreFile + QLatin1Char('c');
        const QByteArray aliceStored = readAll(aliceIndex);

        // Start-up restored alice's list, then bob signs in on the same machine.
        AppState &state = env.state();
        state.user.loginName = QStringLiteral("bob");
        api.finishSignIn();
        QVERIFY(state.signedIn);
        QVERIFY(state.user.downloads.isEmpty());
        QCOMPARE(readAll(aliceIndex), aliceStored);

        // And alice signing in again gets her own list back from her store.
        state.user.loginName = QStringLiteral("alice");
        api.finishSignIn();
        QCOMPARE(state.user.downloads.size(), 1);
        QCOMPARE(state.user.downloads.first().id, QStringLiteral("c1"));
        registerFileStream(nullptr);
        registerApiHandler(nullptr);
    }

    void recursiveDeleteStaysInsideTheStore()
    {
        QTemporaryDir dir;
        const QString store = dir.path() + QStringLiteral("/store");
        const QString lesson = store + QStringLiteral("/course/lesson");
        QDir().mkpath(lesson + QStringLiteral("/deep"));
        QFile(lesson + QStringLiteral("/deep/a.ts")).open(QIODevice::WriteOnly);
        QFile(lesson + QStringLiteral("/.hidden")).open(QIODevice::WriteOnly);
        const QString outside = dir.path() + QStringLiteral("/outside.txt");
        QFile(outside).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(outside, lesson + QStringLiteral("/link")));

        StoreFolders::deleteRecursively(lesson, store);
        QVERIFY(!QFileInfo::exists(lesson));
        QVERIFY(!QFileInfo::exists(store + QStringLiteral("/course"))); // left empty: removed
        QVERIFY(QFileInfo(store).isDir());                              // the root stays
        QVERIFY(QFile::exists(outside));                                // link target untouched

        StoreFolders::deleteRecursively(QString(), store); // no-op
        QVERIFY(QFileInfo(store).isDir());
        StoreFolders::deleteRecursively(store, store);
        QVERIFY(!QFileInfo::exists(store));
        QVERIFY(QFileInfo(dir.path()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestDownloadIndex)
#include "tst_downloadindex.moc"
