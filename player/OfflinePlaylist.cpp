#include "player/OfflinePlaylist.h"

#include <QFile>

QByteArray OfflinePlaylist::withKeyFile(const QByteArray &playlist, const QString &keyFile)
{
    QByteArray text = playlist;
    while (text.endsWith('\0'))
        text.chop(1);
    QByteArrayList lines = text.split('\n');
    for (QByteArray &line : lines) {
        if (!line.startsWith("#EXT-X-KEY"))
            continue;
        const int uri = line.indexOf("URI=\"");
        const int open = uri < 0 ? -1 : uri + 4;
        const int close = open < 0 ? -1 : line.indexOf('"', open + 1);
        if (close < 0)
            continue; // METHOD=NONE names no key
        line.replace(open + 1, close - open - 1, QFile::encodeName(keyFile));
    }
    return lines.join('\n');
}
