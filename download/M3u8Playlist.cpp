#include "download/M3u8Playlist.h"

#include "api/ReplyLimits.h"
#include "download/StoreFolders.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QUrl>

namespace {

// Longest local name kept from the playlist: room for ".part" within the 255 bytes a
// file name may take, with plenty to spare.
constexpr int kMaxNameBytes = 200;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The body without a byte-order mark and the blank lines and spaces before "#EXTM3U".
int contentStart(const QByteArray &body)
{
    int at = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < body.size() && (isBlank(body.at(at)) || body.at(at) == '\n'))
        ++at;
    return at;
}

// A line made only of characters that resolve to themselves after the base's last "/":
// the common "seg00001.ts" needs no URL parsing, which matters for long playlists.
bool isPlainName(const QByteArray &line)
{
    if (line == "." || line == "..")
        return false;
    for (const char c : line) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
                           || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == '~'
                           || c == '+' || c == '=' || c == ',';
        if (!plain)
            return false;
    }
    return true;
}

QByteArray quotedUri(const QByteArray &line, int *start)
{
    const int uri = line.indexOf("URI=\"");
    if (uri < 0)
        return QByteArray();
    *start = uri + 5;
    const int close = line.indexOf('"', *start);
    return close < 0 ? QByteArray() : line.mid(*start, close - *start);
}

// Chooses the local names: the name the line ends in (the text after its last "/", as the
// client has always named segments, so stored lessons resume) when that is a safe, short,
// unused file name, else a name of our own.
class LocalNames
{
public:
    QString pick(const QString &line)
    {
        const QString wanted = line.mid(line.lastIndexOf(QLatin1Char('/')) + 1);
        if (isUsable(wanted)) {
            m_used.insert(wanted);
            return wanted;
        }
        QString own = QStringLiteral("unnamed-%1.ts").arg(m_count, 5, 10, QLatin1Char('0'));
        for (int extra = 1; m_used.contains(own); ++extra)
            own =
                QStringLiteral("unnamed-%1-%2.ts").arg(m_count, 5, 10, QLatin1Char('0')).arg(extra);
        m_used.insert(own);
        return own;
    }
    void next() { ++m_count; }

private:
    bool isUsable(const QString &name) const
    {
        return StoreFolders::isSafeName(name) && !StoreFolders::isReservedInLesson(name)
               && !m_used.contains(name) && QFile::encodeName(name).size() <= kMaxNameBytes;
    }

    QSet<QString> m_used;
    int m_count = 0;
};

} // namespace

bool M3u8Playlist::looksLikePlaylist(const QByteArray &body)
{
    return body.mid(contentStart(body), 7) == "#EXTM3U";
}

QString M3u8Playlist::refusedUrl() const
{
    for (const QStringList *urls : {&keyUrls, &segmentUrls}) {
        for (const QString &url : *urls) {
            if (!ReplyLimits::isFetchable(QUrl(url)))
                return url;
        }
    }
    return QString();
}

M3u8Playlist M3u8Playlist::parse(const QByteArray &body, const QString &playlistUrl,
                                 const QString &saveFolder, const QString &keyFolder)
{
    M3u8Playlist result;
    const QUrl base(playlistUrl);
    // Everything up to the last "/" of the path, for plain names.
    const QString baseDirectory =
        base.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveFilename)
            .toString(QUrl::FullyEncoded);
    const bool plainNamesJoin = baseDirectory.endsWith(QLatin1Char('/'));
    const QByteArray folderPrefix = (saveFolder + QLatin1Char('/')).toUtf8();
    QHash<QString, int> keyIndex;
    LocalNames names;
    bool enciphered = false;

    const int start = contentStart(body);
    QByteArray copy;
    copy.reserve(body.size() - start + body.size() / 8);
    int from = start;
    while (from <= body.size()) {
        int end = body.indexOf('\n', from);
        if (end < 0)
            end = body.size();
        QByteArray line = body.mid(from, end - from);
        const bool lastLine = end == body.size();
        from = end + 1;
        // Leading spaces go (a player reads "#EXTM3U" only at the start of a line); a line
        // keeps the line end it came with.
        int lead = 0;
        while (lead < line.size() && (line.at(lead) == ' ' || line.at(lead) == '\t'))
            ++lead;
        line.remove(0, lead);

        if (line.startsWith('#')) {
            if (line.startsWith("#EXT-X-KEY")) {
                enciphered = line.contains("METHOD=AES-128");
                int uriStart = 0;
                const QByteArray uri = quotedUri(line, &uriStart);
                if (!uri.isEmpty()) {
                    const QString url =
                        base.resolved(QUrl(QString::fromUtf8(uri))).toString(QUrl::FullyEncoded);
                    int index = keyIndex.value(url, -1);
                    if (index < 0) {
                        index = result.keyUrls.size();
                        keyIndex.insert(url, index);
                        result.keyUrls.append(url);
                    }
                    line.replace(uriStart, uri.size(),
                                 (keyFolder + QLatin1Char('/') + StoreFolders::keyFileNameAt(index))
                                     .toUtf8());
                }
            }
            copy += line;
        } else {
            const QByteArray name = line.trimmed();
            if (!name.isEmpty()) {
                if (result.segmentUrls.size() >= ReplyLimits::MaxSegments) {
                    M3u8Playlist refused;
                    refused.tooManySegments = true;
                    return refused;
                }
                const QString text = QString::fromUtf8(name);
                result.segmentUrls.append(
                    plainNamesJoin && isPlainName(name)
                        ? baseDirectory + text
                        : base.resolved(QUrl(text)).toString(QUrl::FullyEncoded));
                const QString local = names.pick(text);
                names.next();
                result.segmentFiles.append(saveFolder + QLatin1Char('/') + local);
                result.segmentEnciphered.append(enciphered);
                copy += folderPrefix + local.toUtf8();
            } else {
                copy += line;
            }
        }
        if (!lastLine)
            copy += '\n';
    }
    result.localCopy = copy;
    return result;
}
