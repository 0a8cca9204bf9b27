// Downloads on a computer shared by two accounts: signing out in the middle of a download,
// a mistyped sign-in, restarts, a new download folder, a disk that refuses the index, and a
// download screen that must tell the truth about the queue. Each test walks what a user does
// through the main window, against the demo service, and checks what is left on disk.

#include "ScreenTestKit.h"

#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/DownloadWidget.h"
#include "download/FileStream.h"
#include "download/StoreMover.h"
#include "model/Course.h"
#include "model/ThumbnailItem.h"
#include "model/ThumbnailListWidget.h"
#include "model/ThumbnailModel.h"
#include "support/DemoLessons.h"
#include "ui/LoginWidget.h"
#include "ui/SettingWidget.h"
#include "ui/UserWidget.h"
#include "widgets/LoadingWidget.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QtTest>

using namespace ScreenTestKit;

namespace {

const QString kAlice = QStringLiteral("13800138000");
const QString kAlicePassword = QStringLiteral("lumra2026");
const QString kBob = QStringLiteral("13900139000");
const QString kBobPassword = QStringLiteral("lumra2027");

// One run of the program over a home folder that outlives it, put together as start-up
// does: state, service client, queue, window, then the last user's index and the queue's
// start state.
class Run
{
public:
    explicit Run(const QString &root)
        : m_env(root)
    {
        registerApiHandler(&m_api);
        m_queue = std::make_unique<FileStream>();
        registerFileStream(m_queue.get());
        m_window = std::make_unique<MainWidget>();
        registerMainWidget(m_window.get());
        m_window->resize(1210, 720);
        m_window->show();
        m_answers = std::make_unique<MessageAnswerer>(m_window.get());
        m_queue->loadIndex();
        if (state().user.sid.isEmpty())
            m_api.getSessionId();
        m_queue->setPaused(!Settings::isOn(state().settings.get(), SettingKeys::AutoDownload));
    }

    ~Run()
    {
        m_answers.reset();
        registerMainWidget(nullptr);
        m_window.reset();
        registerFileStream(nullptr);
        m_queue.reset();
        registerApiHandler(nullptr);
    }

    AppState &state() { return m_env.state(); }
    FileStream &queue() { return *m_queue; }
    MainWidget *window() { return m_window.get(); }
    DownloadWidget *downloads() { return downloadPage(m_window.get()); }
    MessageAnswerer &answers() { return *m_answers; }

    // Types the account into the sign-in form; true when the service accepted it.
    bool signIn(const QString &name, const QString &password)
    {
        if (!waitFor([this] { return !state().user.sid.isEmpty(); }))
            return false;
        QSignalSpy replies(&m_api, &APIHandler::HttpResponseSignal);
        LoginWidget *form = userPage(m_window.get())->loginForm();
        form->nameEdit()->setText(name);
        form->passwordEdit()->setText(password);
        QTest::mouseClick(form->loginButton(), Qt::LeftButton);
        const auto answered = [&replies] {
            for (const QList<QVariant> &reply : qAsConst(replies)) {
                if (reply.at(0).toInt() == 2)
                    return true;
            }
            return false;
        };
        return waitFor(answered) && state().signedIn;
    }

    // "退出" of the user menu.
    void signOut()
    {
        for (QAction *action : userMenu(m_window.get())->actions()) {
            if (action->text() == QStringLiteral("退出"))
                action->trigger();
        }
    }

    // What "下载选中" on a course page does.
    void download(const QString &courseId, const QStringList &lessonIds)
    {
        m_queue->appendMission(DemoLessons::queuedCourse(courseId, lessonIds));
        m_queue->setPaused(false);
    }

    int stateOf(const QString &courseId, const QString &lessonId)
    {
        const Courseware *lesson = m_queue->findDownloadLesson(courseId, lessonId);
        return lesson ? lesson->downloadState : -1;
    }

    bool downloaded(const QString &courseId, const QString &lessonId, int timeoutMs = 30000)
    {
        return waitFor([=] { return stateOf(courseId, lessonId) == Courseware::Downloaded; },
                       timeoutMs);
    }

    // The settings overlay's push button with this text ("更改目录", "清除缓存").
    QPushButton *settingsButton(const QString &text)
    {
        const auto buttons = settingWidget(m_window.get())->findChildren<QPushButton *>();
        for (QPushButton *button : buttons) {
            if (button->text() == text)
                return button;
        }
        return nullptr;
    }

    // The settings overlay's "更改目录" answered with this folder.
    void changeFolder(const QString &folder)
    {
        mainMenu(m_window.get())->actions().at(1)->trigger(); // "设置"
        settingWidget(m_window.get())->setFolderChooser([folder](QWidget *) { return folder; });
        QTest::mouseClick(settingsButton(QStringLiteral("更改目录")), Qt::LeftButton);
    }

private:
    TestAppState m_env;
    APIHandler m_api;
    std::unique_ptr<FileStream> m_queue;
    std::unique_ptr<MainWidget> m_window;
    std::unique_ptr<MessageAnswerer> m_answers;
};

// Empty when the stored lesson in `folder` would play offline from there: its playlist
// deciphers and names only segment files that are in that folder; else what is wrong.
QString playableAt(const QString &folder)
{
    QByteArray playlist = localCipher()->decryptFileToBytes(folder + QStringLiteral("/00000.zs"));
    while (playlist.endsWith('\0'))
        playlist.chop(1);
    if (playlist.isEmpty())
        return QStringLiteral("no playlist in ") + folder;
    int segments = 0;
    for (const QString &line : QString::fromUtf8(playlist).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        ++segments;
        if (!line.startsWith(folder + QLatin1Char('/')) || !QFileInfo(line).isFile())
            return QStringLiteral("the playlist of ") + folder + QStringLiteral(" names ") + line;
    }
    if (!QFileInfo(folder + QStringLiteral("/00000.zx")).isFile())
        return QStringLiteral("no key in ") + folder;
    return segments > 0 ? QString() : QStringLiteral("no segments in ") + folder;
}

// Segment, playlist and key files under a folder.
QStringList lessonFilesUnder(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, {QStringLiteral("*.ts"), QStringLiteral("00000.z*")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// A folder the settings accept (letters, digits and "_" only), on another volume than the
// home folder when the machine has one in memory, so the move has to copy.
QString otherVolumeFolder(const QString &home)
{
    const QString shm = QStringLiteral("/dev/shm");
    const bool otherVolume = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable()
                             && QStorageInfo(shm).device() != QStorageInfo(home).device();
    const QString base = otherVolume ? shm : home;
    return base + QStringLiteral("/lumra_moved_")
           + QString::number(QCoreApplication::applicationPid());
}

} // namespace

class TestDownloadKeeping : public QObject
{
    Q_OBJECT

private:
    DemoService m_service;
    std::unique_ptr<QTemporaryDir> m_home;

    QString home() const { return m_home->path(); }

    int logMark() const { return m_service.requestLog().size(); }

    // Address, playlist, key and segment requests since a mark.
    int queueRequestsSince(int mark) const
    {
        const QList<QJsonObject> log = m_service.requestLog();
        int count = 0;
        for (int i = mark; i < log.size(); ++i) {
            const QString endpoint = log.at(i).value(QStringLiteral("endpoint")).toString();
            if (endpoint == QLatin1String("GetKeysAndUrlByLid")
                || endpoint == QLatin1String("playlist") || endpoint == QLatin1String("segment")
                || endpoint == QLatin1String("key"))
                ++count;
        }
        return count;
    }

    static bool hasSegments(const QString &folder)
    {
        return !QDir(folder).entryList({QStringLiteral("*.ts")}, QDir::Files).isEmpty();
    }

private slots:
    void initTestCase()
    {
        applyTheme();
        QString error;
        QVERIFY2(startDemo(m_service, &error), qPrintable(error));
    }

    void init()
    {
        // Folder names the settings accept: letters, digits and "_".
        m_home = std::make_unique<QTemporaryDir>(QDir::tempPath()
                                                 + QStringLiteral("/lumra_keep_XXXXXX"));
        QVERIFY(m_home->isValid());
        QVERIFY(m_service.clearFaults());
    }

    void cleanup()
    {
        m_service.clearFaults();
        QDir(otherVolumeFolder(home())).removeRecursively();
        QDir(otherVolumeFolder(home()) + QStringLiteral("_again")).removeRecursively();
        m_home.reset();
    }

    // Alice signs out while a lesson is still downloading, someone mistypes an account at
    // the sign-in form, the program is closed and started again: Alice's list is all there.
    void mistypedSignInKeepsTheList()
    {
        {
            Run run(home());
            QVERIFY(run.signIn(kAlice, kAlicePassword));
            run.download(QStringLiteral("101"), {QStringLiteral("1013")});
            QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1013")));
            QVERIFY(
                m_service.setFaults({{QStringLiteral("media-latency"), QStringLiteral("400")}}));
            run.download(QStringLiteral("101"), {QStringLiteral("1014")});
            const QString running = run.state().downloadDir + QStringLiteral("/101/1014");
            QVERIFY(waitFor([&] { return hasSegments(running); }, 15000));
            run.signOut();
            QVERIFY(!run.state().signedIn);

            QVERIFY(m_service.clearFaults());
            QVERIFY(!run.signIn(QStringLiteral("13700000000"), QStringLiteral("wrong")));
            QCOMPARE(run.answers().messages().size(), 1); // the service's refusal
            // Whatever the queue still does now must not reach anyone's store under that name.
            waitFor([&] { return run.stateOf(QStringLiteral("101"), QStringLiteral("1014")) == 2; },
                    4000);
            QVERIFY(!QFileInfo::exists(run.state().userDir + QStringLiteral("/13700000000")));
        }
        Run again(home());
        QVERIFY(again.signIn(kAlice, kAlicePassword));
        QCOMPARE(again.stateOf(QStringLiteral("101"), QStringLiteral("1013")),
                 int(Courseware::Downloaded));
        QVERIFY(again.stateOf(QStringLiteral("101"), QStringLiteral("1014")) > 0);
        QCOMPARE(playableAt(again.state().downloadDir + QStringLiteral("/101/1013")), QString());
        UserSession stored;
        QVERIFY(FileStream::readIndexFile(again.state().userStoreFile + QLatin1Char('c'), stored));
        QCOMPARE(stored.loginName, kAlice);
        QCOMPARE(stored.downloads.size(), 1);
    }

    // Signing out stops Alice's queue and clears the screen; Bob sees and continues nothing of
    // hers; when Alice is back, her list and her running queue are back as she left them.
    void signOutStopsAndHidesTheQueue()
    {
        Run run(home());
        QVERIFY(run.signIn(kAlice, kAlicePassword));
        QVERIFY(m_service.setFaults({{QStringLiteral("media-latency"), QStringLiteral("300")}}));
        run.download(QStringLiteral("101"), {QStringLiteral("1014"), QStringLiteral("1016")});
        run.window()->showDownloads();
        QTest::mouseClick(run.downloads()->cachingTab(), Qt::LeftButton);
        QCOMPARE(run.downloads()->cachingGrid()->count(), 2);
        QVERIFY(waitFor(
            [&] { return hasSegments(run.state().downloadDir + QStringLiteral("/101/1014")); },
            15000));

        run.signOut();
        QTest::qWait(1000); // requests out at the sign-out come back
        const int mark = logMark();
        QTest::qWait(1500);
        QCOMPARE(queueRequestsSince(mark), 0);
        QCOMPARE(run.downloads()->cachingGrid()->count(), 0);
        QCOMPARE(run.downloads()->cachedGrid()->count(), 0);

        QVERIFY(run.signIn(kBob, kBobPassword));
        QVERIFY(!run.queue().findDownloadCourse(QStringLiteral("101")));
        run.window()->showDownloads();
        QCOMPARE(run.downloads()->cachingGrid()->count(), 0);
        QCOMPARE(run.downloads()->cachedTab()->text(), QStringLiteral("已缓存"));
        QTest::qWait(1000);
        QCOMPARE(queueRequestsSince(mark), 0);
        run.signOut();

        QVERIFY(m_service.clearFaults());
        QVERIFY(run.signIn(kAlice, kAlicePassword));
        QVERIFY(!run.queue().isPaused());
        QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1014")));
        QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1016")));
        run.window()->showDownloads();
        QTRY_COMPARE(run.downloads()->cachedTab()->text(), QStringLiteral("已缓存（1个课程）"));
        UserSession bobs;
        QVERIFY(FileStream::readIndexFile(
            run.state().userDir + QStringLiteral("/13900139000/kecheng.zgc"), bobs));
        QVERIFY(bobs.downloads.isEmpty());
    }

    // Bob's and Alice's lessons are in the download folder; Alice chooses another folder on
    // another volume. Every lesson is moved, plays from there for both, and 删除 and 清除缓存
    // then reach Alice's files in the new folder, and only hers.
    void newFolderTakesEveryLessonAlong()
    {
        Run run(home());
        QVERIFY(run.signIn(kBob, kBobPassword));
        run.download(QStringLiteral("101"), {QStringLiteral("1014")});
        QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1014")));
        run.signOut();
        QVERIFY(run.signIn(kAlice, kAlicePassword));
        run.download(QStringLiteral("101"), {QStringLiteral("1013"), QStringLiteral("1016")});
        run.download(QStringLiteral("102"), {QStringLiteral("1021")});
        QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1016")));
        QVERIFY(run.downloaded(QStringLiteral("102"), QStringLiteral("1021")));
        const QString before = run.state().downloadDir;

        const QString after = otherVolumeFolder(home());
        bool overlayShown = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout,
                         [&] { overlayShown |= loadingWidget(run.window())->isVisible(); });
        watch.start(0);
        run.changeFolder(after);
        watch.stop();
        for (const QString &lesson : {QStringLiteral("101/1013"), QStringLiteral("101/1016"),
                                      QStringLiteral("102/1021"), QStringLiteral("101/1014")})
            QCOMPARE(playableAt(after + QLatin1Char('/') + lesson), QString());
        QVERIFY(overlayShown);
        QVERIFY(!loadingWidget(run.window())->isVisible());
        QCOMPARE(run.answers().messages(), QStringList());
        QCOMPARE(Settings::text(run.state().settings.get(), SettingKeys::VideoPath), after);
        QCOMPARE(run.state().downloadDir, after);
        QCOMPARE(lessonFilesUnder(before), QStringList());
        QCOMPARE(run.queue()
                     .findDownloadLesson(QStringLiteral("101"), QStringLiteral("1013"))
                     ->localPath,
                 after + QStringLiteral("/101/1013"));

        // 删除 on the download screen reaches the moved files.
        run.window()->showDownloads();
        QTest::mouseClick(run.downloads()->editButton(), Qt::LeftButton);
        ThumbnailListWidget *cached = run.downloads()->cachedGrid();
        QCOMPARE(cached->count(), 2);
        const QRect tile = cached->visualRect(cached->model()->index(1, 0)); // course 102
        QTest::mouseClick(cached->viewport(), Qt::LeftButton, Qt::NoModifier, tile.center());
        QTest::mouseClick(run.downloads()->deleteButton(), Qt::LeftButton);
        QVERIFY(!QFileInfo::exists(after + QStringLiteral("/102/1021")));

        // A later start finds everything where it was moved to, Bob's lesson included.
        run.signOut();
        QVERIFY(run.signIn(kBob, kBobPassword));
        QCOMPARE(run.queue()
                     .findDownloadLesson(QStringLiteral("101"), QStringLiteral("1014"))
                     ->localPath,
                 after + QStringLiteral("/101/1014"));
        run.signOut();
        QVERIFY(run.signIn(kAlice, kAlicePassword));

        // 清除缓存 leaves none of Alice's lesson files in either folder, and Bob's lesson of the
        // same course where it is.
        QTest::mouseClick(run.settingsButton(QStringLiteral("清除缓存")), Qt::LeftButton);
        QCOMPARE(run.answers().last(),
                 QStringLiteral("确定删除全部缓存？（将删除所有已下载课程）"));
        QVERIFY(!QFileInfo::exists(after + QStringLiteral("/101/1013")));
        QVERIFY(!QFileInfo::exists(after + QStringLiteral("/101/1016")));
        QCOMPARE(lessonFilesUnder(before), QStringList());
        QCOMPARE(playableAt(after + QStringLiteral("/101/1014")), QString());
        QCOMPARE(run.downloads()->cachedGrid()->count(), 0);

        // A move on the same disk (lesson folders renamed, not copied) plays from there too.
        const QString sibling = after + QStringLiteral("_again");
        run.changeFolder(sibling);
        QCOMPARE(playableAt(sibling + QStringLiteral("/101/1014")), QString());
    }

    // A folder the lessons cannot all be moved into: a clear message, the old folder kept in
    // the settings, and every lesson still playing from where it was. Then a move that the
    // program never finished (a power cut half-way): the next start puts the lesson back.
    void moveThatCannotCompleteKeepsEverything()
    {
        const QString after = home() + QStringLiteral("/other_folder");
        QString before;
        {
            Run run(home());
            QVERIFY(run.signIn(kAlice, kAlicePassword));
            run.download(QStringLiteral("101"), {QStringLiteral("1013"), QStringLiteral("1016")});
            run.download(QStringLiteral("102"), {QStringLiteral("1021")});
            QVERIFY(run.downloaded(QStringLiteral("102"), QStringLiteral("1021")));
            before = run.state().downloadDir;

            // Course 102's folder cannot be made there: a file holds its name.
            QVERIFY(QDir().mkpath(after));
            QFile blocker(after + QStringLiteral("/102"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();

            run.changeFolder(after);
            QCOMPARE(run.answers().messages().size(), 1);
            QVERIFY(!run.answers().last().isEmpty());
            QCOMPARE(Settings::text(run.state().settings.get(), SettingKeys::VideoPath), before);
            QCOMPARE(run.state().downloadDir, before);
            for (const QString &lesson : {QStringLiteral("101/1013"), QStringLiteral("101/1016"),
                                          QStringLiteral("102/1021")})
                QCOMPARE(playableAt(before + QLatin1Char('/') + lesson), QString());
            QCOMPARE(lessonFilesUnder(after), QStringList());
            QVERIFY(!loadingWidget(run.window())->isVisible());

            // One lesson is in the new folder when the program stops; the settings still
            // name the old one.
            StoreMover halfway(before, after, {{QStringLiteral("101"), QStringLiteral("1013")}},
                               *localCipher());
            QVERIFY(halfway.place());
            Settings::setText(run.state().settings.get(), SettingKeys::MovingTo, after);
        }
        Run again(home());
        QCOMPARE(playableAt(before + QStringLiteral("/101/1013")), QString());
        QCOMPARE(lessonFilesUnder(after), QStringList());
        QVERIFY(Settings::text(again.state().settings.get(), SettingKeys::MovingTo).isEmpty());
    }

    // Paused since the start: the tiles say so. An address that cannot be had: the lesson keeps
    // its error through later refreshes, the button offers to start again, and that retries it.
    void screenSaysWhatTheQueueDoes()
    {
        {
            Run run(home());
            QVERIFY(run.signIn(kAlice, kAlicePassword));
            QVERIFY(run.queue().isPaused()); // no auto-start
            run.queue().appendMission(DemoLessons::queuedCourse(
                QStringLiteral("101"), {QStringLiteral("1013"), QStringLiteral("1016")}));
            run.signOut();
        }
        Run run(home());
        QVERIFY(run.signIn(kAlice, kAlicePassword));
        QVERIFY(run.queue().isPaused());
        run.window()->showDownloads();
        QTest::mouseClick(run.downloads()->cachingTab(), Qt::LeftButton);
        ThumbnailModel *tiles = run.downloads()->cachingGrid()->thumbnailModel();
        QCOMPARE(run.downloads()->cachingGrid()->count(), 2);
        QCOMPARE(tiles->itemAt(0)->state(), int(ThumbnailItem::Paused));
        QCOMPARE(tiles->itemAt(1)->state(), int(ThumbnailItem::Paused));
        QVERIFY(run.downloads()->startAllButton()->isVisible());

        QVERIFY(
            m_service.setFaults({{QStringLiteral("html"), QStringLiteral("GetKeysAndUrlByLid")}}));
        QTest::mouseClick(run.downloads()->startAllButton(), Qt::LeftButton);
        QVERIFY(waitFor([&] { return tiles->itemAt(0)->state() == ThumbnailItem::Failed; }, 8000));
        QCOMPARE(tiles->itemAt(0)->errorText(), QStringLiteral("获取下载地址失败"));
        QVERIFY(run.downloads()->startAllButton()->isVisible());
        QVERIFY(!run.downloads()->pauseAllButton()->isVisible());

        // The other lesson deleted: the tiles are made again, the error stays until a retry.
        ThumbnailListWidget *caching = run.downloads()->cachingGrid();
        QTest::mouseClick(run.downloads()->editButton(), Qt::LeftButton);
        QTest::mouseClick(caching->viewport(), Qt::LeftButton, Qt::NoModifier,
                          caching->visualRect(caching->model()->index(1, 0)).center());
        QTest::mouseClick(run.downloads()->deleteButton(), Qt::LeftButton);
        QCOMPARE(run.stateOf(QStringLiteral("101"), QStringLiteral("1016")),
                 int(Courseware::NotDownloaded));
        QCOMPARE(caching->count(), 1);
        QCOMPARE(tiles->itemAt(0)->state(), int(ThumbnailItem::Failed));
        QCOMPARE(tiles->itemAt(0)->errorText(), QStringLiteral("获取下载地址失败"));
        QVERIFY(run.downloads()->startAllButton()->isVisible());

        QVERIFY(m_service.clearFaults());
        QTest::mouseClick(run.downloads()->startAllButton(), Qt::LeftButton);
        QVERIFY(run.downloads()->pauseAllButton()->isVisible());
        QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1013")));
        QTRY_COMPARE(caching->count(), 0);
    }

    // The disk holding the index refuses it: the user is told once, the index is written
    // as soon as it can be, and the next start has every downloaded lesson.
    void failedIndexSaveIsToldAndRetried()
    {
        {
            Run run(home());
            QVERIFY(run.signIn(kAlice, kAlicePassword));
            const QString index = run.state().userStoreFile + QLatin1Char('c');
            // Like a full disk: the new index cannot be written next to the old one.
            QVERIFY(QDir().mkpath(index + QStringLiteral(".tmp")));
            run.download(QStringLiteral("101"), {QStringLiteral("1013")});
            QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1013")));
            QVERIFY(waitFor([&] { return !run.answers().messages().isEmpty(); }, 2000));
            run.download(QStringLiteral("101"), {QStringLiteral("1016")});
            QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1016")));
            QTest::qWait(200);
            QCOMPARE(run.answers().messages().size(), 1);

            QVERIFY(QDir(index + QStringLiteral(".tmp")).removeRecursively());
            const auto saved = [&] {
                UserSession stored;
                return FileStream::readIndexFile(index, stored) && stored.downloads.size() == 1
                       && stored.downloads.first().coursewares.size() == 2
                       && stored.downloads.first().coursewares.at(1).downloadState
                              == Courseware::Downloaded;
            };
            QVERIFY(waitFor(saved, 20000));
        }
        Run again(home());
        QVERIFY(waitFor([&] { return again.state().signedIn; }));
        QCOMPARE(again.stateOf(QStringLiteral("101"), QStringLiteral("1013")),
                 int(Courseware::Downloaded));
        QCOMPARE(again.stateOf(QStringLiteral("101"), QStringLiteral("1016")),
                 int(Courseware::Downloaded));
    }

    // A waiting lesson ticked on the 缓存中 tab stays ticked when the running one finishes,
    // and 删除所选 deletes it.
    void refreshKeepsTheSelection()
    {
        Run run(home());
        QVERIFY(run.signIn(kAlice, kAlicePassword));
        QVERIFY(m_service.setFaults({{QStringLiteral("media-latency"), QStringLiteral("300")}}));
        run.download(QStringLiteral("101"), {QStringLiteral("1014"), QStringLiteral("1013")});
        QVERIFY(waitFor([&] { return run.queue().isBusy(); }, 10000));
        // The next lesson's address never comes, so it waits for as long as the test needs.
        QVERIFY(m_service.clearFaults());
        QVERIFY(
            m_service.setFaults({{QStringLiteral("media-latency"), QStringLiteral("100")},
                                 {QStringLiteral("stall"), QStringLiteral("GetKeysAndUrlByLid")}}));
        run.window()->showDownloads();
        QTest::mouseClick(run.downloads()->cachingTab(), Qt::LeftButton);
        QTest::mouseClick(run.downloads()->editButton(), Qt::LeftButton);
        ThumbnailListWidget *caching = run.downloads()->cachingGrid();
        QCOMPARE(caching->thumbnailModel()->itemAt(1)->lessonId(), QStringLiteral("1013"));
        QTest::mouseClick(caching->viewport(), Qt::LeftButton, Qt::NoModifier,
                          caching->visualRect(caching->model()->index(1, 0)).center());
        QCOMPARE(caching->checkedItems().size(), 1);

        QVERIFY(run.downloaded(QStringLiteral("101"), QStringLiteral("1014")));
        QVERIFY(run.downloads()->isEditMode());
        QCOMPARE(caching->checkedItems().size(), 1);
        QTest::mouseClick(run.downloads()->deleteButton(), Qt::LeftButton);
        QCOMPARE(run.stateOf(QStringLiteral("101"), QStringLiteral("1013")),
                 int(Courseware::NotDownloaded));
        QCOMPARE(caching->count(), 0);
    }
};

QTEST_MAIN(TestDownloadKeeping)
#include "tst_downloadkeeping.moc"
