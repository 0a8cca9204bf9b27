#pragma once

#include <QtGlobal>

class QUrl;

// How much of each kind of reply the client takes, and which addresses it fetches at all.
// Replies kept in memory are capped at a size fitting their kind; segments and the
// installer go to disk as they arrive and are capped only against runaway servers.
namespace ReplyLimits {
inline constexpr qint64 ServiceReply = qint64(8) << 20; // JSON of the course service
inline constexpr qint64 Picture = qint64(8) << 20;      // covers and avatars
inline constexpr qint64 Playlist = qint64(16) << 20;
inline constexpr qint64 Key = 16; // an AES-128 key, exactly
inline constexpr qint64 Segment = qint64(64) << 20;
inline constexpr qint64 Installer = qint64(256) << 20; // the program's AppImage is a fraction
inline constexpr int MaxSegments = 100000;
inline constexpr int MaxRedirects = 5;

// Addresses the service hands out are fetched only over http and https: a "file:" or
// other scheme would read local files into the store.
bool isFetchable(const QUrl &url);
} // namespace ReplyLimits
