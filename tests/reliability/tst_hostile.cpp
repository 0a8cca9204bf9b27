// The client against hostile servers on loopback: bodies that never end, lengths that are
// never sent, a drip at 80 KB/s, a playlist of a million lines, odd segment addresses and
// addresses of local files. For each: the outcome, the message and the peak memory.
#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "download/FileStream.h"
#include "download/M3u8Loader.h"
#include "model/Course.h"
#include "model/ThumbnailImageFetcher.h"
#include "model/ThumbnailItemMyCourse.h"
#include "support/MiniHttpServer.h"
#include "support/TestAppState.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The growth of the peak resident size from now on: the kernel's high-water mark is reset
// to the present size first.
class PeakMemory
{
public:
    PeakMemory()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        m_startKb = statusKb("VmRSS:");
    }
    qint64 growthMb() const { return (statusKb("VmHWM:") - m_startKb) / 1024; }

private:
    qint64 m_startKb = 0;
};

// Generous: the largest reply a kind may keep is a few MB, and nothing else is held whole.
constexpr qint64 kMemoryBoundMb = 200;

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray segmentBody(const QByteArray &target)
{
    return "segment " + target + QByteArray(4000, '.');
}

struct LoaderRun
{
    LoaderRun()
    {
        loader.setPauseCheck([] { return false; });
    }
    bool wait(int timeoutMs)
    {
        return QTest::qWaitFor([this] { return finished.count() + errors.count() > 0; }, timeoutMs);
    }
    QString error() const { return errors.isEmpty() ? QString() : errors.first().at(0).toString(); }

    M3u8Loader loader;
    QSignalSpy finished{&loader, &M3u8Loader::FinishedSignal};
    QSignalSpy errors{&loader, &M3u8Loader::ErrorSignal};
};

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppState> m_env;
    QTemporaryDir m_secrets;

    QString secretFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_secrets.path() + QLatin1Char('/') + name;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(statusKb("VmHWM:") > 0);
        m_env = std::make_unique<TestAppState>();
        QVERIFY(m_secrets.isValid());
    }

    void cleanupTestCase() { m_env.reset(); }

    void lessonFromHostileServer_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("error"); // empty: the lesson completes
        for (const char *mode :
             {"endless playlist", "huge length playlist", "million-line playlist",
              "too many segments", "endless segments", "huge length segment"})
            QTest::newRow(mode) << QString::fromLatin1(mode)
                                << QStringLiteral("课件过大，无法下载");
        QTest::newRow("file key") << QStringLiteral("file key") << QStringLiteral("Load Key Error");
        QTest::newRow("slash in query") << QStringLiteral("slash in query") << QString();
        QTest::newRow("300-byte names") << QStringLiteral("300-byte names") << QString();
        QTest::newRow("names of the store's files") << QStringLiteral("store names") << QString();
        QTest::newRow("slow drip") << QStringLiteral("slow drip") << QString();
    }

    // Whatever the server does, the lesson ends (or completes) with memory bounded, no
    // temporary file left and nothing from outside the lesson in its folder.
    void lessonFromHostileServer()
    {
        QFETCH(QString, mode);
        QFETCH(QString, error);
        const QByteArray secretKey("0123456789abcdef");
        const QString keyPath = secretFile(QStringLiteral("id_rsa"), secretKey);
        const QByteArray longName = QByteArray(300, 'n') + ".ts";
        QByteArray playlist = "#EXTM3U\n#EXTINF:1,\na.ts\n#EXTINF:1,\nb.ts\n#EXT-X-ENDLIST\n";
        QByteArray playlistTarget = "/x/index.m3u8";
        QStringList expectedTargets; // segment requests of a completed lesson, in playlist order
        if (mode == QLatin1String("file key"))
            playlist = "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"file://" + keyPath.toUtf8()
                       + "\"\na.ts\n";
        if (mode == QLatin1String("slash in query")) {
            // Each segment's own query holds a "/", and so does the playlist's: cutting at the
            // last "/" would ask for wrong addresses and give both segments one file.
            playlistTarget = "/x/index.m3u8?token=a/b";
            playlist =
                "#EXTM3U\n#EXTINF:1,\na.ts?sig=1/2\n#EXTINF:1,\nb.ts?sig=1/2\n#EXT-X-ENDLIST\n";
            expectedTargets << QStringLiteral("/x/a.ts?sig=1/2")
                            << QStringLiteral("/x/b.ts?sig=1/2");
        }
        if (mode == QLatin1String("300-byte names")) {
            playlist = "#EXTM3U\n#EXTINF:1,\n" + longName + "\n#EXTINF:1,\nb.ts\n";
            expectedTargets << QStringLiteral("/x/") + QString::fromLatin1(longName)
                            << QStringLiteral("/x/b.ts");
        }
        if (mode == QLatin1String("store names")) {
            // Segments named as the stored playlist, a key file and a temporary file.
            playlist =
                "#EXTM3U\n#EXTINF:1,\n00000.zs\n#EXTINF:1,\n00001.zx\n#EXTINF:1,\nc.ts.part\n";
            expectedTargets << QStringLiteral("/x/00000.zs") << QStringLiteral("/x/00001.zx")
                            << QStringLiteral("/x/c.ts.part");
        }
        if (mode == QLatin1String("slow drip"))
            expectedTargets << QStringLiteral("/x/a.ts") << QStringLiteral("/x/b.ts");
        if (mode == QLatin1String("million-line playlist")) {
            // A million lines, 42 MB.
            playlist = "#EXTM3U\n";
            const QByteArray padding(54, 'p');
            for (int i = 0; i < 500000; ++i)
                playlist += "#EXTINF:10.000000,\nsegment-"
                            + QByteArray::number(i).rightJustified(7, '0') + padding + ".ts\n";
        }
        if (mode == QLatin1String("too many segments")) {
            playlist = "#EXTM3U\n";
            for (int i = 0; i < 100001; ++i)
                playlist += QByteArray::number(i) + '\n';
        }

        MiniHttpServer server([&](const MiniHttpServer::Request &request) {
            MiniHttpServer::Response response;
            response.contentType = "application/octet-stream";
            const bool isPlaylist = request.target.startsWith("/x/index.m3u8");
            response.body = isPlaylist ? playlist : segmentBody(request.target);
            if (mode == QLatin1String("endless playlist") && isPlaylist) {
                response.kind = MiniHttpServer::Response::Endless;
                response.body = "#EXTM3U\n" + QByteArray(64 * 1024, '#');
                response.endlessLimit = 400 << 20;
            } else if (mode == QLatin1String("huge length playlist") && isPlaylist) {
                response.kind = MiniHttpServer::Response::Endless; // slowly, as if for ever
                response.contentLength = qint64(1) << 40;
                response.bytesPerSecond = 64 * 1024;
            } else if (mode == QLatin1String("endless segments") && !isPlaylist) {
                response.kind = MiniHttpServer::Response::Endless;
                response.endlessLimit = 300 << 20;
            } else if (mode == QLatin1String("huge length segment") && !isPlaylist) {
                response.kind = MiniHttpServer::Response::Endless;
                response.contentLength = qint64(1) << 40;
                response.bytesPerSecond = 64 * 1024;
            } else if (mode == QLatin1String("slow drip") && !isPlaylist) {
                response.body = QByteArray(1024 * 1024, 's');
                response.bytesPerSecond = 80 * 1024;
            }
            return response;
        });

        QTemporaryDir folder;
        PeakMemory memory;
        LoaderRun run;
        run.loader.start(server.url(playlistTarget), folder.path(), "cookie");
        QVERIFY(run.wait(mode == QLatin1String("slow drip") ? 60000 : 40000));
        const qint64 growth = memory.growthMb();
        qInfo().noquote() << mode << "->"
                          << (run.error().isEmpty() ? QStringLiteral("complete") : run.error())
                          << "peak growth" << growth << "MB, sent" << server.bytesSent() / 1024
                          << "KB";
        QCOMPARE(run.error(), error);
        QCOMPARE(run.finished.count(), error.isEmpty() ? 1 : 0);
        QVERIFY2(growth < kMemoryBoundMb, qPrintable(QString::number(growth)));
        const QStringList files = filesIn(folder.path());
        QVERIFY2(files.filter(QStringLiteral(".part")).isEmpty(),
                 qPrintable(files.join(QLatin1Char(' '))));
        for (const QString &name : files) {
            QVERIFY2(name.toUtf8().size() <= 200, qPrintable(name));
            if (name.endsWith(QLatin1String(".zx")))
                QVERIFY(m_env->cipher()
                            .decryptFileToBytes(folder.path() + QLatin1Char('/') + name)
                            .left(16)
                        != secretKey);
        }
        if (!error.isEmpty())
            return;

        // The segments were asked for at their own addresses, each stored once under its own
        // name, and the stored playlist names those files in order.
        QStringList targets;
        for (const MiniHttpServer::Request &request : server.requests()) {
            if (!request.target.startsWith("/x/index.m3u8"))
                targets << QString::fromLatin1(request.target);
        }
        targets.sort();
        QStringList sortedTargets = expectedTargets;
        sortedTargets.sort();
        QCOMPARE(targets, sortedTargets);
        QByteArray stored =
            m_env->cipher().decryptFileToBytes(folder.path() + QStringLiteral("/00000.zs"));
        while (stored.endsWith('\0'))
            stored.chop(1);
        QStringList storedFiles;
        for (const QByteArray &line : stored.split('\n')) {
            if (!line.isEmpty() && !line.startsWith('#'))
                storedFiles << QString::fromUtf8(line);
        }
        QCOMPARE(storedFiles.size(), expectedTargets.size());
        QCOMPARE(QSet<QString>(storedFiles.begin(), storedFiles.end()).size(), storedFiles.size());
        for (int i = 0; i < storedFiles.size(); ++i) {
            QCOMPARE(QFileInfo(storedFiles.at(i)).absolutePath(),
                     QFileInfo(folder.path()).absoluteFilePath());
            const QByteArray expected = mode == QLatin1String("slow drip")
                                            ? QByteArray(1024 * 1024, 's')
                                            : segmentBody(expectedTargets.at(i).toLatin1());
            QVERIFY2(readFile(storedFiles.at(i)) == expected, qPrintable(storedFiles.at(i)));
        }
    }

    // Replies of the course service: an endless body or a length of a terabyte ends as a
    // failed request with memory bounded, told as an unusable answer; a reply that takes
    // longer than the time limit but keeps arriving is taken.
    void serviceReplyFromHostileServer_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("endless body") << QStringLiteral("endless");
        QTest::newRow("huge length") << QStringLiteral("huge length");
        QTest::newRow("slow drip") << QStringLiteral("slow drip");
    }

    void serviceReplyFromHostileServer()
    {
        QFETCH(QString, mode);
        MiniHttpServer server([&](const MiniHttpServer::Request &) {
            MiniHttpServer::Response response;
            response.body = "{\"flag\":1,\"data\":[" + QByteArray(64 * 1024, ' ');
            if (mode == QLatin1String("endless")) {
                response.kind = MiniHttpServer::Response::Endless;
                response.endlessLimit = 600 << 20;
            } else if (mode == QLatin1String("huge length")) {
                response.kind = MiniHttpServer::Response::Endless;
                response.contentLength = qint64(1) << 40;
                response.bytesPerSecond = 64 * 1024;
            } else {
                response.body = "{\"flag\":1,\"data\":[" + QByteArray(1000 * 1000, ' ') + "]}";
                response.bytesPerSecond = 80 * 1024;
            }
            return response;
        });
        qputenv("LUMRA_WEB_HOST", server.hostPort().toUtf8());
        ServiceSettings::reload();
        APIHandler api;
        QSignalSpy replies(&api, &APIHandler::HttpResponseSignal);
        m_env->state().user.sid = QStringLiteral("sid");
        PeakMemory memory;
        api.getMyCourseList();
        QVERIFY(QTest::qWaitFor([&] { return !replies.isEmpty(); }, 30000));
        const qint64 growth = memory.growthMb();
        qInfo() << "course list reply" << replies.first() << "peak growth" << growth << "MB";
        QCOMPARE(replies.first().at(0).toInt(), int(ReqMyCourseList));
        QVERIFY2(growth < kMemoryBoundMb, qPrintable(QString::number(growth)));
        if (mode == QLatin1String("slow drip")) {
            QCOMPARE(replies.first().at(1).toInt(), 1);
            return;
        }
        QCOMPARE(replies.first().at(1).toInt(), 0);
        QCOMPARE(replies.first().at(2).toString(),
                 APIHandler::networkErrorText(QNetworkReply::UnknownContentError));
    }

    // Avatar and cover addresses come from the service: one naming a local file is not
    // read, and an endless picture is neither kept in memory nor stored.
    void picturesFromHostileAddresses()
    {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(m_secrets.path() + QStringLiteral("/secret.png")));
        const QString secretUrl =
            QStringLiteral("file://") + m_secrets.path() + QStringLiteral("/secret.png");

        MiniHttpServer server([&](const MiniHttpServer::Request &) {
            MiniHttpServer::Response response;
            response.kind = MiniHttpServer::Response::Endless;
            response.contentType = "image/png";
            response.endlessLimit = 600 << 20;
            return response;
        });

        QStringList faults;
        for (const QString &avatarUrl : {secretUrl, server.url("/avatar/7.jpg")}) {
            TestAppState env;
            APIHandler api;
            FileStream stream;
            registerApiHandler(&api);
            registerFileStream(&stream);
            env.state().user.loginName = QStringLiteral("alice");
            env.state().user.sid = QStringLiteral("sid");
            // The sign-in reply names the avatar the test chose.
            MiniHttpServer login([&](const MiniHttpServer::Request &) {
                return MiniHttpServer::json("{\"flag\":1,\"data\":{\"uid\":\"7\",\"nickname\":"
                                            "\"n\",\"email\":\"\",\"is_img\":\""
                                            + avatarUrl.toUtf8() + "\"}}");
            });
            qputenv("LUMRA_WEB_HOST", login.hostPort().toUtf8());
            ServiceSettings::reload();
            PeakMemory memory;
            QSignalSpy replies(&api, &APIHandler::HttpResponseSignal);
            api.login();
            QVERIFY(QTest::qWaitFor([&] { return !replies.isEmpty(); }, 10000));
            QTest::qWait(3000);
            const qint64 growth = memory.growthMb();
            qInfo().noquote() << "avatar" << avatarUrl << "peak growth" << growth << "MB, sent"
                              << server.bytesSent() / 1024 << "KB";
            QVERIFY(!env.state().avatarPath.isEmpty());
            if (QFile::exists(env.state().avatarPath))
                faults << QStringLiteral("avatar stored from ") + avatarUrl;
            if (growth >= kMemoryBoundMb)
                faults << QStringLiteral("avatar from %1: %2 MB").arg(avatarUrl).arg(growth);

            // A cover of the same kind.
            Course course;
            course.id = QStringLiteral("1");
            course.img = avatarUrl == secretUrl ? secretUrl : server.url("/covers/c.png");
            ThumbnailItemMyCourse item(&course); // asks for its cover at once
            QVERIFY(!item.imagePath().isEmpty());
            QTest::qWait(3000);
            if (QFile::exists(item.imagePath()))
                faults << QStringLiteral("cover stored from ") + course.img;
            if (memory.growthMb() >= kMemoryBoundMb)
                faults << QStringLiteral("cover from %1: %2 MB")
                              .arg(course.img)
                              .arg(memory.growthMb());
            registerApiHandler(nullptr);
            registerFileStream(nullptr);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }
};

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
