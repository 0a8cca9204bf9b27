// The work on the largest playlists the loader accepts, timed: reading the playlist and
// writing its enciphered copy (done off the GUI thread), and the longest the GUI thread
// stands still while a loader takes such a playlist from a local server.
//
//     lumra-bench-playlist [runs]
#include "api/ReplyLimits.h"
#include "download/AesCipher.h"
#include "download/M3u8Loader.h"
#include "download/M3u8Playlist.h"
#include "support/MiniHttpServer.h"
#include "support/TestAppState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

QByteArray playlistOf(int segments, const QByteArray &nameTail)
{
    QByteArray body = "#EXTM3U\n";
    for (int i = 0; i < segments; ++i)
        body += "#EXTINF:10.000000,\nseg" + QByteArray::number(i).rightJustified(6, '0') + nameTail
                + '\n';
    return body;
}

qint64 median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// The longest gap between ticks of a 10 ms timer while a loader receives the playlist,
// reads it and asks for its first segment.
qint64 longestStall(const QByteArray &playlist, const QString &folder)
{
    MiniHttpServer server([&](const MiniHttpServer::Request &request) {
        MiniHttpServer::Response response;
        if (request.target == "/x/index.m3u8")
            response.body = playlist;
        else
            response.kind = MiniHttpServer::Response::Stall;
        return response;
    });
    M3u8Loader loader;
    loader.setPauseCheck([] { return false; });
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = qMax(longest, now - last);
        last = now;
    });
    clock.start();
    tick.start(10);
    loader.start(server.url("/x/index.m3u8"), folder, "cookie");
    if (!QTest::qWaitFor([&] { return server.requests().size() > 1 || loader.hasFailed(); }, 60000))
        longest = -1; // never got that far
    loader.cancel();
    return longest;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    TestAppState env;
    QTemporaryDir folder;
    AesCipher cipher = env.cipher();
    QTextStream out(stdout);

    // Plain names take the quick way; names with a query and a "/" are resolved as URLs.
    const QByteArray longTail = ".ts?auth=" + QByteArray(90, 'a') + "/" + QByteArray(20, 'b');
    const QList<QPair<QString, QByteArray>> cases{
        {QStringLiteral("100,000 plain names"), playlistOf(ReplyLimits::MaxSegments, ".ts")},
        {QStringLiteral("100,000 names with a query"),
         playlistOf(ReplyLimits::MaxSegments, longTail)},
        {QStringLiteral("100,001 plain names (refused)"),
         playlistOf(ReplyLimits::MaxSegments + 1, ".ts")},
    };
    out << "| playlist | bytes | read ms | encipher ms | longest GUI stall while loading, ms |\n"
           "|---|---|---|---|---|\n";
    for (const auto &entry : cases) {
        std::vector<qint64> reads, enciphers, stalls;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer clock;
            clock.start();
            const M3u8Playlist playlist = M3u8Playlist::parse(
                entry.second, QStringLiteral("http://media.example/x/index.m3u8"), folder.path(),
                QStringLiteral("/tmp"));
            reads.push_back(clock.restart());
            if (!playlist.tooManySegments)
                cipher.encryptBytesToFile(playlist.localCopy,
                                          folder.path() + QStringLiteral("/00000.zs"));
            enciphers.push_back(clock.elapsed());
            stalls.push_back(longestStall(entry.second, folder.path()));
        }
        out << "| " << entry.first << " | " << entry.second.size() << " | " << median(reads)
            << " | " << median(enciphers) << " | " << median(stalls) << " (max "
            << *std::max_element(stalls.begin(), stalls.end()) << ") |\n";
        out.flush();
    }
    return 0;
}
