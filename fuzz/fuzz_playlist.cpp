// Any bytes as a lesson playlist: parsing must not fail, and every segment must be stored
// directly inside the lesson folder, never above it or beside it.
#include "download/M3u8Playlist.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QString folder = QStringLiteral("/store/101/1013");
    const M3u8Playlist playlist =
        M3u8Playlist::parse(body, QStringLiteral("http://localhost:8000/hls/1013/index.m3u8"),
                            folder, QStringLiteral("/tmp"));
    if (playlist.segmentFiles.size() != playlist.segmentUrls.size())
        __builtin_trap();
    for (const QString &file : playlist.segmentFiles) {
        const QString name = file.mid(folder.size() + 1);
        if (!file.startsWith(folder + QLatin1Char('/')) || name.isEmpty()
            || name.contains(QLatin1Char('/')) || name == QLatin1String(".")
            || name == QLatin1String(".."))
            __builtin_trap();
    }
    return 0;
}
