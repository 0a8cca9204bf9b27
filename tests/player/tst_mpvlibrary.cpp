// libmpv loaded at run time: not mapped before the first player, the system library found
// and complete, and a missing or foreign library reported instead of crashing a playback.
#include "player/LumraPlayer.h"
#include "player/MpvLibrary.h"
#include "player/MpvNode.h"

#include <QFile>
#include <QTest>

namespace {

bool libmpvMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains("/libmpv.so");
}

} // namespace

class TestMpvLibrary : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: nothing before it in this process has made a player. The client asks for
    // a preload a while after its start; until then the library stays unmapped.
    void notMappedUntilPreloadedOrUsed()
    {
        if (!QFile::exists(QStringLiteral("/proc/self/maps")))
            QSKIP("no /proc/self/maps");
        QVERIFY2(!libmpvMapped(), "libmpv is loaded at start; it must only be loaded by a player");
        MpvLibrary::preloadLater(200);
        QTest::qWait(100);
        QVERIFY2(!libmpvMapped(), "the preload must wait for its delay");
        QTRY_VERIFY_WITH_TIMEOUT(libmpvMapped(), 20000);
        const MpvLibrary &library = MpvLibrary::instance();
        QVERIFY2(library.isLoaded(), qPrintable(library.failure()));
        QCOMPARE(&MpvLibrary::instance(), &library);
    }

    void systemLibraryIsComplete()
    {
        const MpvLibrary &library = MpvLibrary::instance();
        QVERIFY2(library.isLoaded(), qPrintable(library.failure()));
        QVERIFY(library.failure().isEmpty());
        QVERIFY2(library.fileName().contains(QLatin1String("libmpv.so")),
                 qPrintable(library.fileName()));
        QCOMPARE(library.clientApiVersion() >> 16, MPV_CLIENT_API_VERSION >> 16);
        QCOMPARE(QString::fromUtf8(library.errorString(MPV_ERROR_NOMEM)),
                 QStringLiteral("memory allocation failed"));

        // A handle made and driven through the pointers alone.
        mpv_handle *handle = library.create();
        QVERIFY(handle);
        QCOMPARE(library.setOptionString(handle, "config", "no"), 0);
        QCOMPARE(library.setOptionString(handle, "vo", "null"), 0);
        QCOMPARE(library.setOptionString(handle, "ao", "null"), 0);
        QCOMPARE(library.initialize(handle), 0);
        int idle = 0;
        QCOMPARE(library.getProperty(handle, "idle-active", MPV_FORMAT_FLAG, &idle), 0);
        double volume = 37;
        QCOMPARE(library.setProperty(handle, "volume", MPV_FORMAT_DOUBLE, &volume), 0);
        volume = 0;
        QCOMPARE(library.getProperty(handle, "volume", MPV_FORMAT_DOUBLE, &volume), 0);
        QCOMPARE(volume, 37.0);
        QVERIFY(library.setOptionString(handle, "no-such-option", "1") < 0);
        library.terminateDestroy(handle);
    }

    void missingLibraryIsReported()
    {
        const MpvLibrary library(QStringLiteral("lumra-no-such-library"), 2);
        QVERIFY(!library.isLoaded());
        QVERIFY2(library.failure().contains(QLatin1String("lumra-no-such-library")),
                 qPrintable(library.failure()));
        QVERIFY(!library.create);
        QVERIFY(!library.waitEvent);
    }

    void libraryWithoutTheFunctionsIsRefused()
    {
        // zlib is loaded into every Qt program and has none of libmpv's functions.
        const MpvLibrary library(QStringLiteral("z"), 1);
        QVERIFY(!library.isLoaded());
        QVERIFY2(library.failure().contains(QLatin1String("lacks mpv_client_api_version")),
                 qPrintable(library.failure()));
        // No half-filled table.
        QVERIFY(!library.clientApiVersion);
        QVERIFY(!library.create);
    }

    // Trees built from Qt values reach libmpv intact and its answers come back as Qt values:
    // a list whose items hold commas (why header lines go as a list) and Chinese text, and
    // a command by named arguments whose result replaces the one read before.
    void nodesReachLibmpvAndComeBack()
    {
        const MpvLibrary &library = MpvLibrary::instance();
        QVERIFY2(library.isLoaded(), qPrintable(library.failure()));
        mpv_handle *handle = library.create();
        QVERIFY(handle);
        library.setOptionString(handle, "config", "no");
        library.setOptionString(handle, "vo", "null");
        library.setOptionString(handle, "ao", "null");
        QCOMPARE(library.initialize(handle), 0);

        const QStringList fields{QStringLiteral("Host: a,b"),
                                 QStringLiteral("Cookie: keys=x,y; 课=1")};
        MpvNodeBuilder list{QVariant(fields)};
        QCOMPARE(library.setProperty(handle, "http-header-fields", MPV_FORMAT_NODE, list.node()),
                 0);
        MpvNodeResult read(library);
        QCOMPARE(library.getProperty(handle, "http-header-fields", MPV_FORMAT_NODE, read.out()), 0);
        QCOMPARE(read.toVariant().toStringList(), fields);

        MpvNodeBuilder command{
            QVariantMap{{QStringLiteral("name"), QByteArray("expand-text")},
                        {QStringLiteral("text"), QStringLiteral("倍速 ${speed}")}}};
        QCOMPARE(library.commandNode(handle, command.node(), read.out()), 0);
        QCOMPARE(read.toVariant().toString(), QStringLiteral("倍速 1.00"));
        library.terminateDestroy(handle);
    }

    void playerWithoutLibraryFailsOpen()
    {
        const MpvLibrary missing(QStringLiteral("lumra-no-such-library"), 2);
        LumraPlayer player(0, missing);
        QStringList log;
        player.SetLogHandler([&log](const QString &line) { log << line; });
        QVERIFY(!player.isAvailable());

        // Every other call is harmless on an unavailable player.
        player.ReduceDelay(true);
        player.SetVolume(50);
        player.Seek(10);
        player.Stop();
        QCOMPARE(player.Duration(), 0.0);
        QCOMPARE(player.Clock(), 0.0);
        QCOMPARE(player.volume(), 0);
        QVERIFY(!player.isPaused());
        QVERIFY(log.isEmpty());

        QCOMPARE(player.Open(QByteArray("http://127.0.0.1:1/lesson.m3u8")), PlayerUnavailable);
        QCOMPARE(log.size(), 1);
        QVERIFY2(log.first().startsWith(QLatin1String("libmpv could not be loaded: ")),
                 qPrintable(log.first()));
        QVERIFY(log.first().contains(QLatin1String("lumra-no-such-library")));

        const QByteArray playlist("#EXTM3U\n");
        QCOMPARE(player.Open(playlist.constData(), playlist.size()), PlayerUnavailable);
        QCOMPARE(log.size(), 2);
        QVERIFY(!player.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestMpvLibrary)
#include "tst_mpvlibrary.moc"
