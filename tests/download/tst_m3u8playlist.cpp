#include "download/M3u8Playlist.h"

#include <QTest>

class TestM3u8Playlist : public QObject
{
    Q_OBJECT

private:
    static const QString kUrl;
    static const QString kFolder;
    static const QString kKeyFolder;

private slots:
    void resolvesSegmentsAndRewritesLines_data()
    {
        QTest::addColumn<QByteArray>("eol");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CRLF") << QByteArray("\r\n");
    }

    // The stored copy names each segment by the file it is written to, and the key by the
    // temporary file; line endings make no difference to either.
    void resolvesSegmentsAndRewritesLines()
    {
        QFETCH(QByteArray, eol);
        const QByteArray body =
            "#EXTM3U" + eol + "#EXT-X-VERSION:3" + eol
            + "#EXT-X-KEY:METHOD=AES-128,URI=\"http://keys.example/k/7.key\",IV=0x0102" + eol
            + "#EXTINF:10.0," + eol + "a.ts" + eol + eol + "#EXTINF:10.0," + eol + "  b.ts  " + eol
            + "#EXT-X-ENDLIST" + eol;
        const M3u8Playlist playlist = M3u8Playlist::parse(body, kUrl, kFolder, kKeyFolder);

        QCOMPARE(playlist.keyUrls, QStringList{QStringLiteral("http://keys.example/k/7.key")});
        QCOMPARE(playlist.segmentUrls,
                 QStringList({QStringLiteral("http://media.example:81/x/a.ts"),
                              QStringLiteral("http://media.example:81/x/b.ts")}));
        QCOMPARE(playlist.segmentFiles, QStringList({kFolder + QStringLiteral("/a.ts"),
                                                     kFolder + QStringLiteral("/b.ts")}));

        // "#" lines stay exactly as received (a carriage return included); segment lines do not.
        const QString stored = QString::fromUtf8(playlist.localCopy);
        const QString cr = eol.size() == 2 ? QStringLiteral("\r") : QString();
        QCOMPARE(stored, QStringLiteral("#EXTM3U") + cr + "\n#EXT-X-VERSION:3" + cr
                             + "\n#EXT-X-KEY:METHOD=AES-128,URI=\"" + kKeyFolder
                             + "/00000.zx\",IV=0x0102" + cr + "\n#EXTINF:10.0," + cr + "\n"
                             + kFolder + "/a.ts\n" + cr + "\n#EXTINF:10.0," + cr + "\n" + kFolder
                             + "/b.ts\n#EXT-X-ENDLIST" + cr + "\n");
    }

    void keyLines()
    {
        // No key line: nothing to fetch.
        M3u8Playlist plain =
            M3u8Playlist::parse("#EXTM3U\n#EXTINF:1,\ns.ts\n", kUrl, kFolder, kKeyFolder);
        QVERIFY(plain.keyUrls.isEmpty());
        QCOMPARE(plain.segmentUrls.size(), 1);

        // Every distinct key is fetched and gets its own file; a key named again keeps its file.
        const M3u8Playlist twoKeys =
            M3u8Playlist::parse("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k1\"\ns1.ts\n#EXT-X-KEY:"
                                "METHOD=AES-128,URI=\"k2\"\ns2.ts\n"
                                "#EXT-X-KEY:METHOD=AES-128,IV=0x01,URI=\"k1\"\ns3.ts\n",
                                kUrl, kFolder, kKeyFolder);
        QCOMPARE(twoKeys.keyUrls, QStringList({QStringLiteral("http://media.example:81/x/k1"),
                                               QStringLiteral("http://media.example:81/x/k2")}));
        QCOMPARE(twoKeys.localCopy.count((kKeyFolder + QStringLiteral("/00000.zx\"")).toUtf8()), 2);
        QCOMPARE(twoKeys.localCopy.count((kKeyFolder + QStringLiteral("/00001.zx\"")).toUtf8()), 1);
        QVERIFY(!twoKeys.localCopy.contains("\"k1\"") && !twoKeys.localCopy.contains("\"k2\""));
        QCOMPARE(twoKeys.segmentEnciphered, QVector<bool>({true, true, true}));

        // A key line without a URI names no key: the segments after it are plain.
        const M3u8Playlist none = M3u8Playlist::parse(
            "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k1\"\na.ts\n#EXT-X-KEY:METHOD=NONE\ns.ts\n",
            kUrl, kFolder, kKeyFolder);
        QCOMPARE(none.keyUrls, QStringList{QStringLiteral("http://media.example:81/x/k1")});
        QCOMPARE(none.segmentEnciphered, QVector<bool>({true, false}));
        QVERIFY(none.localCopy.contains("#EXT-X-KEY:METHOD=NONE\n"));
    }

    // The file a segment is written to and the line naming it in the stored copy agree,
    // also for lines with a folder or a whole address.
    void segmentLinesWithFoldersAndAddresses()
    {
        const M3u8Playlist playlist = M3u8Playlist::parse(
            "#EXTM3U\nsub/c.ts\nhttp://cdn.example/y/d.ts?t=1\n", kUrl, kFolder, kKeyFolder);
        QCOMPARE(playlist.segmentUrls,
                 QStringList({QStringLiteral("http://media.example:81/x/sub/c.ts"),
                              QStringLiteral("http://cdn.example/y/d.ts?t=1")}));
        QCOMPARE(playlist.segmentFiles, QStringList({kFolder + QStringLiteral("/c.ts"),
                                                     kFolder + QStringLiteral("/d.ts?t=1")}));
        QCOMPARE(playlist.localCopy,
                 ("#EXTM3U\n" + kFolder + "/c.ts\n" + kFolder + "/d.ts?t=1\n").toUtf8());
    }

    // Lines the fuzzer found: none of them may name the lesson folder or its parent.
    void segmentLinesThatNameNoFile()
    {
        const M3u8Playlist playlist = M3u8Playlist::parse(
            "#EXTM3U\n.\n..\nhttp://cdn.example/y/\nok.ts\n", kUrl, kFolder, kKeyFolder);
        QCOMPARE(playlist.segmentFiles, QStringList({kFolder + QStringLiteral("/unnamed-00000.ts"),
                                                     kFolder + QStringLiteral("/unnamed-00001.ts"),
                                                     kFolder + QStringLiteral("/unnamed-00002.ts"),
                                                     kFolder + QStringLiteral("/ok.ts")}));
        QCOMPARE(playlist.segmentUrls.size(), 4);
    }

    void recognisesPlaylists()
    {
        QVERIFY(M3u8Playlist::looksLikePlaylist("#EXTM3U\n"));
        QVERIFY(M3u8Playlist::looksLikePlaylist("\xEF\xBB\xBF#EXTM3U\r\n"));
        QVERIFY(M3u8Playlist::looksLikePlaylist("\n  #EXTM3U\n"));
        QVERIFY(!M3u8Playlist::looksLikePlaylist("<!DOCTYPE html><html>502</html>"));
        QVERIFY(!M3u8Playlist::looksLikePlaylist(QByteArray()));
    }
};

const QString TestM3u8Playlist::kUrl = QStringLiteral("http://media.example:81/x/index.m3u8");
const QString TestM3u8Playlist::kFolder = QStringLiteral("/store/101/1013");
const QString TestM3u8Playlist::kKeyFolder = QStringLiteral("/tmp");

QTEST_GUILESS_MAIN(TestM3u8Playlist)
#include "tst_m3u8playlist.moc"
