#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One lesson playlist read for download: where its key and segments are, and the copy
// that is stored next to the segments, naming every segment by its local path and the
// key by a fixed file in the temporary folder.
class M3u8Playlist
{
public:
    // body: the playlist as received; playlistUrl: where it came from (relative segment
    // lines are resolved against its folder); saveFolder: the lesson folder; keyFile: the
    // path that replaces the key URI in the stored copy.
    static M3u8Playlist parse(const QByteArray &body, const QString &playlistUrl,
                              const QString &saveFolder, const QString &keyFile);

    // True when the body starts like an HLS playlist ("#EXTM3U").
    static bool looksLikePlaylist(const QByteArray &body);

    QString keyUri;           // URI of the last key line; empty when the lesson is not enciphered
    QStringList segmentUrls;  // absolute, in playlist order
    QStringList segmentFiles; // local path of each segment, same order
    QByteArray localCopy;     // the rewritten playlist, UTF-8, lines joined with "\n"
};
