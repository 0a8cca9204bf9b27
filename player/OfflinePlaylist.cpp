#include "player/OfflinePlaylist.h"

#include <QFile>

namespace {

// The number of a stored key file name "00001.zx" at the end of a key line's path.
int keyNumber(const QByteArray &path)
{
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    if (!name.endsWith(".zx"))
        return -1;
    bool ok = false;
    const int number = name.left(name.size() - 3).toInt(&ok);
    return ok ? number : -1;
}

} // namespace

QByteArray OfflinePlaylist::withKeyFile(const QByteArray &playlist, const QString &keyFile)
{
    return withKeyFiles(playlist, QStringList{keyFile});
}

QByteArray OfflinePlaylist::withKeyFiles(const QByteArray &playlist, const QStringList &keyFiles)
{
    QByteArray text = playlist;
    while (text.endsWith('\0'))
        text.chop(1);
    if (keyFiles.isEmpty())
        return text;
    QByteArrayList lines = text.split('\n');
    for (QByteArray &line : lines) {
        if (!line.startsWith("#EXT-X-KEY"))
            continue;
        const int uri = line.indexOf("URI=\"");
        const int open = uri < 0 ? -1 : uri + 4;
        const int close = open < 0 ? -1 : line.indexOf('"', open + 1);
        if (close < 0)
            continue; // METHOD=NONE names no key
        const int number = keyNumber(line.mid(open + 1, close - open - 1));
        const QString &keyFile =
            number >= 0 && number < keyFiles.size() ? keyFiles.at(number) : keyFiles.first();
        line.replace(open + 1, close - open - 1, QFile::encodeName(keyFile));
    }
    return lines.join('\n');
}
