#include "download/M3u8Playlist.h"

#include "api/APIHandler.h"
#include "download/StoreFolders.h"

namespace {

bool isAbsoluteUrl(const QString &line)
{
    return line.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
           || line.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

bool M3u8Playlist::looksLikePlaylist(const QByteArray &body)
{
    QByteArray start = body.left(64);
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    return start.trimmed().startsWith("#EXTM3U");
}

M3u8Playlist M3u8Playlist::parse(const QByteArray &body, const QString &playlistUrl,
                                 const QString &saveFolder, const QString &keyFile)
{
    M3u8Playlist result;
    const QString base = playlistUrl.left(playlistUrl.lastIndexOf(QLatin1Char('/')));
    QStringList lines = QString::fromUtf8(body).split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.startsWith(QLatin1Char('#'))) {
            if (!line.startsWith(QLatin1String("#EXT-X-KEY")))
                continue;
            const int open = line.indexOf(QLatin1Char('"'));
            const int close = open < 0 ? -1 : line.indexOf(QLatin1Char('"'), open + 1);
            if (close < 0)
                continue; // METHOD=NONE names no key

            result.keyUri = line.mid(open + 1, close - open - 1);
            line.replace(open + 1, close - open - 1, keyFile);
            continue;
        }
        const QString name = QString(line).replace(QLatin1Char('\r'), QLatin1Char(' ')).trimmed();
        if (name.isEmpty())
            continue;
        const QString url = isAbsoluteUrl(name) ? name : base + QLatin1Char('/') + name;
        // The stored copy names the very file the segment is written to, also when the
        // line carries a folder or a whole address.
        QString file = APIHandler::localPathForUrl(saveFolder, url);
        // A line ending in "/", "." or ".." would name the lesson folder or its parent;
        // such a segment is stored under a name of our own.
        if (!StoreFolders::isSafeName(file.mid(saveFolder.size() + 1)))
            file = saveFolder + QStringLiteral("/unnamed-%1.ts").arg(result.segmentFiles.size(), 5, 10,
                                                                     QLatin1Char('0'));
        result.segmentUrls.append(url);
        result.segmentFiles.append(file);
        line = file;
    }
    result.localCopy = lines.join(QLatin1Char('\n')).toUtf8();
    return result;
}
