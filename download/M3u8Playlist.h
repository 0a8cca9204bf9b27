#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// One lesson playlist read for download: where its keys and segments are, and the copy
// that is stored next to the segments, naming every segment by its local path and each
// key by its file in the folder the player deciphers keys to.
class M3u8Playlist
{
public:
    // body: the playlist as received; playlistUrl: where it came from, after redirects
    // (relative lines are resolved against it as HTTP resolves references); saveFolder: the
    // lesson folder; keyFolder: where the stored copy expects the deciphered keys, key i
    // under StoreFolders::keyFileNameAt(i).
    static M3u8Playlist parse(const QByteArray &body, const QString &playlistUrl,
                              const QString &saveFolder, const QString &keyFolder);

    // True when the body starts like an HLS playlist ("#EXTM3U", after a byte-order mark
    // and white space).
    static bool looksLikePlaylist(const QByteArray &body);

    // The first key or segment address that is no http or https address, or empty.
    QString refusedUrl() const;

    QStringList keyUrls;             // distinct key addresses, in order of first use
    QStringList segmentUrls;         // absolute, in playlist order
    QStringList segmentFiles;        // local path of each segment, same order
    QVector<bool> segmentEnciphered; // under an AES-128 key: the body is whole 16-byte blocks
    QByteArray localCopy;            // the rewritten playlist, lines joined with "\n"
    bool tooManySegments = false;    // over ReplyLimits::MaxSegments; nothing else is filled
};
