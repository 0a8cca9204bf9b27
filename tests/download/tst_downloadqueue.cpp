// The download queue against the demo service: order, pause and resume, removal, merging,
// the all-done notices, path safety and clear-all.
#include "app/Accessors.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/FileStream.h"
#include "download/StoreFolders.h"
#include "model/Course.h"
#include "support/DemoClient.h"
#include "support/DemoLessons.h"
#include "support/DemoService.h"
#include "support/DemoStudent.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QStringList treeOf(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next().mid(folder.size());
    entries.sort();
    return entries;
}

QString lessonOf(const QList<QVariant> &signal) { return signal.at(0).value<Courseware *>()->id; }

} // namespace

class TestDownloadQueue : public QObject
{
    Q_OBJECT

private:
    struct Fixture : DemoStudent
    {
        explicit Fixture(const DemoService &service)
            : DemoStudent(service)
        {
        }

        QSignalSpy downloaded{&queue, &FileStream::DownloadedSignal};
        QSignalSpy states{&queue, &FileStream::DownloadingStateChangeSignal};
        QSignalSpy progress{&queue, &FileStream::DownloadingProgressSignal};
        QSignalSpy errors{&queue, &FileStream::DownloadErrorSignal};
        QSignalSpy appended{&queue, &FileStream::AppendMissionSignal};
        QSignalSpy tips{&queue, &FileStream::ShowAllDoneTipSignal};
        QSignalSpy shutdowns{&queue, &FileStream::ShowShutdownSignal};

        Courseware *lesson(const QString &courseId, const QString &id)
        {
            return queue.findDownloadLesson(courseId, id);
        }
        bool waitDownloaded(int count, int timeoutMs = 30000)
        {
            return QTest::qWaitFor(
                       [&] { return downloaded.count() >= count || errors.count() > 0; }, timeoutMs)
                   && downloaded.count() >= count;
        }
    };

    // The endpoints and lessons the service saw from a mark on ("segment 1014", ...).
    QStringList mediaSince(int mark) const
    {
        QStringList seen;
        const QList<QJsonObject> log = m_service->requestLog();
        for (int i = mark; i < log.size(); ++i) {
            const QString endpoint = log.at(i).value(QStringLiteral("endpoint")).toString();
            const QString path = log.at(i).value(QStringLiteral("path")).toString();
            if (endpoint == QLatin1String("playlist") || endpoint == QLatin1String("segment"))
                seen << endpoint + QLatin1Char(' ') + path.section(QLatin1Char('/'), 2, 2);
            else if (endpoint == QLatin1String("key"))
                seen << endpoint + QLatin1Char(' ') + QFileInfo(path).baseName();
            else if (endpoint == QLatin1String("GetKeysAndUrlByLid"))
                seen << endpoint;
        }
        return seen;
    }
    int logMark() const { return m_service->requestLog().size(); }

    std::unique_ptr<DemoService> m_service;

private slots:
    void initTestCase()
    {
        m_service = std::make_unique<DemoService>();
        QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    }
    void cleanupTestCase() { m_service.reset(); }
    void init() { QVERIFY(m_service->clearFaults()); }

    // Two courses run one lesson at a time in list order; when the queue runs empty the
    // tip and the shutdown notice come once, and not again on a resume with nothing left.
    void runsLessonsInOrderAndNotifiesOnce()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Settings::setText(f.state().settings.get(), SettingKeys::DoneTip, QStringLiteral("1"));
        Settings::setText(f.state().settings.get(), SettingKeys::DoneShutdown, QStringLiteral("1"));
        const int mark = logMark();
        f.queue.setPaused(true);
        f.queue.appendMission(DemoLessons::queuedCourse(
            QStringLiteral("101"), {QStringLiteral("1016"), QStringLiteral("1013")}));
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("102"), {QStringLiteral("1021")}));
        QCOMPARE(f.appended.count(), 2);
        f.queue.setPaused(false);
        QVERIFY(f.waitDownloaded(3));
        QCOMPARE(f.errors.count(), 0);
        QCOMPARE(
            QStringList({lessonOf(f.downloaded.at(0)), lessonOf(f.downloaded.at(1)),
                         lessonOf(f.downloaded.at(2))}),
            QStringList({QStringLiteral("1016"), QStringLiteral("1013"), QStringLiteral("1021")}));
        QCOMPARE(f.lesson(QStringLiteral("101"), QStringLiteral("1013"))->downloadState,
                 int(Courseware::Downloaded));
        QCOMPARE(f.lesson(QStringLiteral("102"), QStringLiteral("1021"))->downloadState,
                 int(Courseware::Downloaded));

        // One lesson at a time: each lesson's requests form one block.
        QStringList order;
        for (const QString &entry : mediaSince(mark)) {
            const QString lessonId = entry.section(QLatin1Char(' '), 1);
            if (!lessonId.isEmpty() && (order.isEmpty() || order.last() != lessonId))
                order << lessonId;
        }
        QCOMPARE(order, QStringList({QStringLiteral("1016"), QStringLiteral("1013"),
                                     QStringLiteral("1021")}));

        QVERIFY(QTest::qWaitFor([&] { return f.tips.count() > 0; }, 2000));
        QCOMPARE(f.tips.count(), 1);
        QCOMPARE(f.shutdowns.count(), 1);
        f.queue.setPaused(true);
        f.queue.setPaused(false);
        QTest::qWait(100);
        QCOMPARE(f.tips.count(), 1);
        QCOMPARE(f.shutdowns.count(), 1);

        // The saved index knows the lessons as downloaded.
        UserSession saved;
        QVERIFY(
            FileStream::readIndexFile(FileStream::indexFileFor(f.state().userStoreFile), saved));
        QCOMPARE(saved.downloads.size(), 2);
        QCOMPARE(saved.downloads.at(1).coursewares.at(0).downloadState,
                 int(Courseware::Downloaded));
    }

    void noNoticesWhenSwitchedOff()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Settings::setText(f.state().settings.get(), SettingKeys::DoneTip, QStringLiteral("0"));
        Settings::setText(f.state().settings.get(), SettingKeys::DoneShutdown, QStringLiteral("0"));
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1016")}));
        QVERIFY(f.waitDownloaded(1));
        QTest::qWait(100);
        QCOMPARE(f.tips.count(), 0);
        QCOMPARE(f.shutdowns.count(), 0);
    }

    // Pausing freezes the lesson; resuming continues the same lesson and fetches no
    // segment twice.
    void pauseAndResumeReuseFiles()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        QVERIFY(m_service->setFaults({{QStringLiteral("media-latency"), QStringLiteral("500")}}));
        const int mark = logMark();
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1014")}));
        const QString folder = f.state().downloadDir + QStringLiteral("/101/1014");
        QVERIFY(QTest::qWaitFor(
            [&] {
                return f.progress.count() > 0
                       && !QDir(folder).entryList({QStringLiteral("*.ts")}).isEmpty();
            },
            15000));
        QCOMPARE(lessonOf(f.progress.first()), QStringLiteral("1014"));
        const double fraction = f.progress.last().at(1).toDouble();
        QVERIFY(fraction >= 0 && fraction < 1);
        f.queue.setPaused(true);
        QCOMPARE(f.states.last().at(0).toInt(), 1);
        QTest::qWait(800); // requests out at the pause come back and are written
        const int frozen = mediaSince(mark).count();
        QTest::qWait(700);
        QCOMPARE(mediaSince(mark).count(), frozen);
        QCOMPARE(f.downloaded.count(), 0);
        QVERIFY(QDir(folder).entryList({QStringLiteral("*.ts")}).size() < 12);

        f.queue.setPaused(false);
        QCOMPARE(f.states.last().at(0).toInt(), 0);
        QVERIFY(f.waitDownloaded(1));
        QCOMPARE(lessonOf(f.downloaded.first()), QStringLiteral("1014"));
        QCOMPARE(f.lesson(QStringLiteral("101"), QStringLiteral("1014"))->downloadState,
                 int(Courseware::Downloaded));
        const QStringList segments = mediaSince(mark).filter(QStringLiteral("segment"));
        QCOMPARE(segments.size(), 12); // every segment fetched once over both runs
        QCOMPARE(mediaSince(mark).filter(QStringLiteral("playlist")).size(), 2);
    }

    // Removing the running lesson cancels it (downloaded signal with state 0), deletes
    // its folder only, and the next lesson starts.
    void removingRunningLessonStartsNext()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        QVERIFY(m_service->setFaults({{QStringLiteral("media-latency"), QStringLiteral("300")}}));
        f.queue.appendMission(DemoLessons::queuedCourse(
            QStringLiteral("101"), {QStringLiteral("1014"), QStringLiteral("1013")}));
        const QString removed = f.state().downloadDir + QStringLiteral("/101/1014");
        QVERIFY(QTest::qWaitFor(
            [&] { return QDir(removed).entryList({QStringLiteral("*.ts")}).size() >= 1; }, 15000));
        QVERIFY(f.queue.isBusy());

        f.queue.removeMissions({QStringLiteral("1014")});
        QCOMPARE(f.downloaded.count(), 1);
        QCOMPARE(lessonOf(f.downloaded.first()), QStringLiteral("1014"));
        QCOMPARE(f.downloaded.first().at(0).value<Courseware *>()->downloadState,
                 int(Courseware::NotDownloaded));
        QVERIFY(!QFileInfo::exists(removed));
        QVERIFY(f.waitDownloaded(2));
        QCOMPARE(lessonOf(f.downloaded.at(1)), QStringLiteral("1013"));
        QVERIFY(!QFileInfo::exists(removed)); // nothing written there afterwards
        QVERIFY(QFileInfo(f.state().downloadDir + QStringLiteral("/101/1013/00000.zs")).isFile());
        QCOMPARE(f.lesson(QStringLiteral("101"), QStringLiteral("1014"))->downloadState,
                 int(Courseware::NotDownloaded));
    }

    // A lesson finishes (the notices come), then the only lesson left is cancelled while it
    // downloads: nothing was completed by that, so neither notice comes again.
    void cancellingTheLastLessonIsNotAllDone()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        Settings::setText(f.state().settings.get(), SettingKeys::DoneTip, QStringLiteral("1"));
        Settings::setText(f.state().settings.get(), SettingKeys::DoneShutdown, QStringLiteral("1"));
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1013")}));
        QVERIFY(f.waitDownloaded(1));
        QCOMPARE(f.tips.count(), 1);

        QVERIFY(m_service->setFaults({{QStringLiteral("media-latency"), QStringLiteral("300")}}));
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1014")}));
        const QString folder = f.state().downloadDir + QStringLiteral("/101/1014");
        QVERIFY(QTest::qWaitFor(
            [&] { return QDir(folder).entryList({QStringLiteral("*.ts")}).size() >= 1; }, 15000));
        f.queue.removeMissions({QStringLiteral("1014")});
        QTest::qWait(300);
        QCOMPARE(f.tips.count(), 1);
        QCOMPARE(f.shutdowns.count(), 1);
    }

    // An address reply for a lesson removed while the request was out starts nothing, not
    // even for the next lesson of that course, which waits for its own and gets its own media.
    void addressReplyForRemovedLessonStartsNothing()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        // Long enough that the removed lesson's answer comes while the next one waits for its
        // own, even on a busy machine.
        QVERIFY(m_service->setFaults({{QStringLiteral("latency"), QStringLiteral("1000")}}));
        const int mark = logMark();
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1013")}));
        QCOMPARE(f.states.last().at(0).toInt(), 0);
        f.queue.removeMissions({QStringLiteral("1013")});
        QTest::qWait(100);
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1014")}));
        QVERIFY(f.waitDownloaded(1));
        QCOMPARE(lessonOf(f.downloaded.first()), QStringLiteral("1014"));
        const QStringList seen = mediaSince(mark);
        QVERIFY2(seen.contains(QStringLiteral("playlist 1014"))
                     && !seen.contains(QStringLiteral("playlist 1013")),
                 qPrintable(seen.join(QLatin1Char(','))));
        QVERIFY(!QFileInfo::exists(f.state().downloadDir + QStringLiteral("/101/1013")));
        QCOMPARE(f.errors.count(), 0);
    }

    // The address is asked for four times, 1000 ms apart, then the lesson gets the error
    // and stays queued.
    void addressFailureAfterFourAttempts()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        QVERIFY(
            m_service->setFaults({{QStringLiteral("html"), QStringLiteral("GetKeysAndUrlByLid")}}));
        const int mark = logMark();
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1013")}));
        QVERIFY(QTest::qWaitFor([&] { return f.errors.count() > 0; }, 8000));
        QCOMPARE(f.errors.first().at(1).toString(), QStringLiteral("获取下载地址失败"));
        QCOMPARE(mediaSince(mark).count(QStringLiteral("GetKeysAndUrlByLid")), 4);
        QCOMPARE(f.lesson(QStringLiteral("101"), QStringLiteral("1013"))->downloadState,
                 int(Courseware::Queued));
    }

    // Appending the same lesson twice queues it once; appending a downloaded one queues it
    // again, and its second download reuses the files.
    void appendMerges()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        f.queue.setPaused(true);
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1013")}));
        f.queue.appendMission(DemoLessons::queuedCourse(
            QStringLiteral("101"), {QStringLiteral("1013"), QStringLiteral("1016")}));
        QCOMPARE(f.appended.count(), 2);
        QCOMPARE(f.state().user.downloads.size(), 1);
        const Course &stored = f.state().user.downloads.first();
        QCOMPARE(stored.coursewares.size(), 2);
        QCOMPARE(stored.localPath, f.state().downloadDir + QStringLiteral("/101"));
        QCOMPARE(stored.coursewares.at(0).localPath,
                 f.state().downloadDir + QStringLiteral("/101/1013"));

        f.queue.setPaused(false);
        QVERIFY(f.waitDownloaded(2));
        const int mark = logMark();
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1013")}));
        QCOMPARE(f.lesson(QStringLiteral("101"), QStringLiteral("1013"))->downloadState,
                 int(Courseware::Queued));
        QVERIFY(f.waitDownloaded(3));
        QCOMPARE(f.lesson(QStringLiteral("101"), QStringLiteral("1013"))->downloadState,
                 int(Courseware::Downloaded));
        QCOMPARE(mediaSince(mark).filter(QStringLiteral("segment")).size(), 0);
    }

    void folderNames_data()
    {
        QTest::addColumn<QString>("courseId");
        QTest::addColumn<QString>("lessonId");
        QTest::newRow("course ..") << QStringLiteral("..") << QStringLiteral("1013");
        QTest::newRow("course .") << QStringLiteral(".") << QStringLiteral("1013");
        QTest::newRow("course empty") << QString() << QStringLiteral("1013");
        QTest::newRow("lesson ..") << QStringLiteral("101") << QStringLiteral("..");
        QTest::newRow("lesson slash") << QStringLiteral("101") << QStringLiteral("../../x");
        QTest::newRow("lesson backslash") << QStringLiteral("101") << QStringLiteral("..\\x");
    }

    // Ids that cannot name a folder are refused: the lesson gets an error and is not
    // downloaded, and nothing outside the download folder is created or deleted.
    void folderNames()
    {
        QFETCH(QString, courseId);
        QFETCH(QString, lessonId);
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        const QString outside = QFileInfo(f.state().downloadDir).absolutePath();
        QVERIFY(QDir().mkpath(outside + QStringLiteral("/1013")));
        QFile keep(outside + QStringLiteral("/1013/keep.txt"));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        const QStringList before = treeOf(outside);

        const int mark = logMark();
        Course bad = DemoLessons::queuedCourse(courseId, {lessonId});
        f.queue.appendMission(bad);
        QCOMPARE(f.errors.count(), 1);
        QCOMPARE(f.errors.first().at(1).toString(), QStringLiteral("课程或课件编号无效，无法下载"));
        QCOMPARE(f.lesson(courseId, lessonId)->downloadState, int(Courseware::NotDownloaded));
        f.queue.removeMissions({lessonId});
        QTest::qWait(200);
        QVERIFY(mediaSince(mark).isEmpty()); // not even the address was asked for
        QStringList after = treeOf(outside);
        // Only the store may appear: the download folder and at most a safe course folder.
        after.removeAll(QStringLiteral("/") + QFileInfo(f.state().downloadDir).fileName()
                        + QStringLiteral("/101"));
        QCOMPARE(after, before);

        QVERIFY(!StoreFolders::isSafeName(courseId) || !StoreFolders::isSafeName(lessonId));
        QVERIFY(StoreFolders::isSafeName(QStringLiteral("1013")));
        QVERIFY(StoreFolders::childFolder(QString(), QStringLiteral("101")).isEmpty());
    }

    // Without a download folder no folder operation runs at all.
    void noDownloadFolder()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        f.state().downloadDir.clear();
        const QString cwd = QDir::currentPath();
        const QStringList before = QDir(cwd).entryList();
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1013")}));
        QCOMPARE(f.errors.count(), 1);
        QVERIFY(f.state().user.downloads.first().localPath.isEmpty());
        f.queue.removeMissions({QStringLiteral("1013")});
        f.queue.clearAll();
        QCOMPARE(QDir(cwd).entryList(), before);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/101")));
    }

    // Clear-all stops the running lesson, deletes the course folders and the legacy
    // folders, and leaves the user's own files in the download folder alone.
    void clearAllKeepsUserFiles()
    {
        Fixture f(*m_service);
        QVERIFY2(f.client.signIn(), qPrintable(f.client.errorString()));
        const QString root = f.state().downloadDir;
        QVERIFY(QDir().mkpath(root + QStringLiteral("/mine")));
        QFile notes(root + QStringLiteral("/notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("my notes");
        notes.close();
        const Course first = DemoLessons::queuedCourse(
            QStringLiteral("101"), {QStringLiteral("1016")}, QStringLiteral("临床"));
        const QString legacy = root + QLatin1Char('/') + StoreFolders::legacyHash(first.title);
        QVERIFY(QDir().mkpath(legacy + QStringLiteral("/old")));

        f.queue.appendMission(first);
        QVERIFY(f.waitDownloaded(1));
        QVERIFY(m_service->setFaults({{QStringLiteral("media-latency"), QStringLiteral("300")}}));
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("102"), {QStringLiteral("1025")}));
        QVERIFY(QTest::qWaitFor(
            [&] { return QFileInfo::exists(root + QStringLiteral("/102/1025/00000.zs")); }, 15000));
        QVERIFY(f.queue.isBusy());

        f.queue.clearAll();
        QVERIFY(!f.queue.isBusy());
        QTest::qWait(500); // requests out at the clear end on the service's side
        const int mark = logMark();
        QTest::qWait(800);
        QVERIFY(mediaSince(mark).isEmpty()); // the running lesson stopped
        QCOMPARE(treeOf(root),
                 QStringList({QStringLiteral("/mine"), QStringLiteral("/notes.txt")}));
        QVERIFY(f.state().user.downloads.isEmpty());
        UserSession saved;
        QVERIFY(
            FileStream::readIndexFile(FileStream::indexFileFor(f.state().userStoreFile), saved));
        QVERIFY(saved.downloads.isEmpty());

        // With nothing of the user's left the download folder goes too.
        QVERIFY(QDir(root + QStringLiteral("/mine")).removeRecursively());
        QVERIFY(QFile::remove(root + QStringLiteral("/notes.txt")));
        f.queue.appendMission(
            DemoLessons::queuedCourse(QStringLiteral("101"), {QStringLiteral("1016")}));
        QVERIFY(f.waitDownloaded(2));
        f.queue.clearAll();
        QVERIFY(!QFileInfo::exists(root));
        QVERIFY(QFileInfo(QFileInfo(root).absolutePath()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestDownloadQueue)
#include "tst_downloadqueue.moc"
