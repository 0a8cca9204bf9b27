#include "app/AppFolders.h"
#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/InstallerCleanup.h"
#include "app/Log.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "platform/LocalCodec.h"
#include "platform/PlatformPaths.h"
#include "support/TestAppState.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestAppFoundation : public QObject
{
    Q_OBJECT

private:
    static void touch(const QString &path)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    // A file that starts as an installer of this platform does.
    static void plantInstaller(const QString &path)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x7f"
                   "ELF installer");
    }

    static QStringList installersIn(const QString &dir)
    {
        return QDir(dir).entryList(QStringList() << QStringLiteral("*.AppImage"), QDir::Files,
                                   QDir::Name);
    }

private slots:
    void newerVersion_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("newer");
        QTest::newRow("equal") << "3.4.3.0"
                               << "3.4.3.0" << false;
        QTest::newRow("last part") << "3.4.3.1"
                                   << "3.4.3.0" << true;
        QTest::newRow("older") << "3.4.2.9"
                               << "3.4.3.0" << false;
        QTest::newRow("numeric not textual") << "3.4.10.0"
                                             << "3.4.9.0" << true;
        QTest::newRow("first part decides") << "4.0.0.0"
                                            << "3.9.9.9" << true;
        QTest::newRow("fewer parts") << "3.5"
                                     << "3.4.3.0" << false;
        QTest::newRow("more parts") << "3.4.3.0.1"
                                    << "3.4.3.0" << true;
        QTest::newRow("more parts even if smaller") << "1.0.0.0.0"
                                                    << "3.4.3.0" << true;
        QTest::newRow("against empty") << "3.4.5.0"
                                       << "" << true;
        QTest::newRow("non-number counts 0") << "3.x"
                                             << "3.0" << false;
        QTest::newRow("non-number smaller") << "3.1"
                                            << "3.x" << true;
        QTest::newRow("min version restored") << "2.0.0.0"
                                              << "3.4.3.0" << false;
        QTest::newRow("min version two parts") << "2.0.0.0"
                                               << "3.4" << true;
    }

    void newerVersion()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, newer);
        QCOMPARE(isNewerVersion(a, b), newer);
    }

    void installerCleanupKeepsNewestNewer()
    {
        QTemporaryDir dir;
        for (const char *name : {"3.4.2.0", "3.4.4.0", "3.4.5.0", "3.5", "3.4.3.0"})
            plantInstaller(dir.filePath(QLatin1String(name) + PlatformPaths::installerExtension()));
        touch(dir.filePath(QStringLiteral("notes.txt")));

        const QString kept = InstallerCleanup::run(dir.path(), QStringLiteral("3.4.3.0"));
        QCOMPARE(kept, dir.path() + QStringLiteral("/3.4.5.0.AppImage"));
        QCOMPARE(installersIn(dir.path()), QStringList() << QStringLiteral("3.4.5.0.AppImage"));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("notes.txt"))));
    }

    void installerCleanupRemovesCurrentAndOlder()
    {
        QTemporaryDir dir;
        plantInstaller(dir.filePath(QStringLiteral("3.4.3.0.AppImage")));
        QVERIFY(InstallerCleanup::run(dir.path(), QStringLiteral("3.4.3.0")).isEmpty());
        QVERIFY(installersIn(dir.path()).isEmpty());

        plantInstaller(dir.filePath(QStringLiteral("3.4.3.0.1.AppImage")));
        QCOMPARE(InstallerCleanup::run(dir.path(), QStringLiteral("3.4.3.0")),
                 dir.path() + QStringLiteral("/3.4.3.0.1.AppImage"));
        QVERIFY(InstallerCleanup::run(QString(), QStringLiteral("3.4.3.0")).isEmpty());
    }

    void settingsBooleanIsExactlyOne()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        QVERIFY(!Settings::isOn(&settings, SettingKeys::DoneTip)); // absent
        for (const char *value : {"0", "2", "true", " 1", "1 ", "yes"}) {
            Settings::setText(&settings, SettingKeys::DoneTip, QLatin1String(value));
            QVERIFY2(!Settings::isOn(&settings, SettingKeys::DoneTip), value);
        }
        Settings::setOn(&settings, SettingKeys::DoneTip, true);
        QVERIFY(Settings::isOn(&settings, SettingKeys::DoneTip));
        Settings::setOn(&settings, SettingKeys::AutoDownload, false, QStringLiteral("2"));
        QCOMPARE(Settings::text(&settings, SettingKeys::AutoDownload), QStringLiteral("2"));
        settings.sync();

        // Stored as text under [GROUP] key in the INI file.
        QFile file(dir.filePath(QStringLiteral("s.ini")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray ini = file.readAll();
        QVERIFY(ini.contains("[DOWNLOAD]"));
        QVERIFY(ini.contains("AUTO=2"));
        QVERIFY(ini.contains("TIP=1"));
        QVERIFY(!Settings::isOn(nullptr, SettingKeys::DoneTip));
    }

    void folderSetUp()
    {
        QTemporaryDir dir;
        const QString documents = dir.path() + QStringLiteral("/Documents/"); // does not exist yet
        const QString rootA = dir.path() + QStringLiteral("/a/");
        const QString rootB = dir.path() + QStringLiteral("/b/");
        QDir().mkpath(rootA);
        QDir().mkpath(rootB);

        AppState state;
        AppFolders::setUp(state, documents, QStringList() << rootA << rootB);
        QCOMPARE(state.dataDir, documents + AppInfo::displayName());
        QVERIFY(QFileInfo(state.dataDir).isDir());
        QCOMPARE(state.userDir, state.dataDir + QStringLiteral("/user"));
        QVERIFY(QFileInfo(state.userDir).isDir());
        QCOMPARE(state.logPath, state.dataDir + QStringLiteral("/log.txt"));
        // The last root that accepts the folder wins.
        QCOMPARE(state.downloadDir, rootB + QStringLiteral("lumraVideo"));
        QVERIFY(QFileInfo(state.downloadDir).isDir());
        QCOMPARE(Settings::text(state.settings.get(), SettingKeys::VideoPath), state.downloadDir);
        QCOMPARE(state.settings->fileName(), state.dataDir + QStringLiteral("/lumra.ini"));
        QVERIFY(!state.signedIn);
        QCOMPARE(state.update->version, QStringLiteral("3.4.3.0"));
    }

    void downloadFolderChoice()
    {
        QTemporaryDir dir;
        const QString documents = dir.path() + QStringLiteral("/Documents/");
        const QString good = dir.path() + QStringLiteral("/good/");
        QDir().mkpath(good);
        QFile blocker(dir.path() + QStringLiteral("/blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where a root folder should be
        blocker.close();
        const QString blocked = dir.path() + QStringLiteral("/blocked/");
        QCOMPARE(AppFolders::chooseDownloadDir(QStringList() << good << blocked),
                 good + QStringLiteral("lumraVideo"));
        QVERIFY(AppFolders::chooseDownloadDir(QStringList() << blocked).isEmpty());

        // Blanks only: a default is chosen. A real value is kept exactly, blanks and all.
        {
            QDir().mkpath(documents + AppInfo::displayName());
            QSettings settings(documents + AppInfo::displayName() + QStringLiteral("/lumra.ini"),
                               QSettings::IniFormat);
            settings.setValue(QLatin1String(SettingKeys::VideoPath), QStringLiteral("   "));
        }
        AppState blanks;
        AppFolders::setUp(blanks, documents, QStringList() << good);
        QCOMPARE(blanks.downloadDir, good + QStringLiteral("lumraVideo"));

        const QString custom = dir.path() + QStringLiteral("/my videos ");
        // Under the key every earlier version wrote, so their folder is found after an update.
        blanks.settings->setValue(QStringLiteral("DOWNLOAD/Video_Path"), custom);
        blanks.settings->sync();
        AppState kept;
        AppFolders::setUp(kept, documents, QStringList() << good);
        QCOMPARE(kept.downloadDir, custom);
        QVERIFY(QFileInfo(custom).isDir());

        // No root accepts the folder: the setting is written empty.
        QTemporaryDir other;
        AppState none;
        AppFolders::setUp(none, other.path() + QStringLiteral("/D/"), QStringList() << blocked);
        QVERIFY(none.downloadDir.isEmpty());
        QVERIFY(none.settings->contains(QLatin1String(SettingKeys::VideoPath)));
    }

    void writeLogAppendsLines()
    {
        TestAppState env;
        writeLog(QStringLiteral("第一行"));
        writeLog(QStringLiteral("second"));
        QFile log(env.state().logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), QStringLiteral("第一行\r\nsecond\r\n").toUtf8());

        env.state().logPath = env.root() + QStringLiteral("/no/such/dir/log.txt");
        writeLog(QStringLiteral("dropped")); // silently skipped
        QVERIFY(!QFile::exists(env.state().logPath));
    }

    void localCodecIsGbk()
    {
        const QByteArray bytes = LocalCodec::encode(QStringLiteral("张三abc"));
        QCOMPARE(bytes.toHex(), QByteArray("d5c5c8fd616263"));
        // The digest of the GBK bytes, not of the UTF-8 ones.
        QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex(),
                 QByteArray("6472afa329b80d885905684a7e3a68d5"));
        QVERIFY(bytes != QStringLiteral("张三abc").toUtf8());
        QCOMPARE(LocalCodec::decode(bytes), QStringLiteral("张三abc"));
    }
};

QTEST_GUILESS_MAIN(TestAppFoundation)
#include "tst_appfoundation.moc"
