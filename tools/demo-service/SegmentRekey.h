#pragma once

#include <QByteArray>

// Re-enciphers an AES-128-CBC segment (PKCS#7 padded) under another key with the same IV,
// for playlists whose second half of segments names a second key.
namespace SegmentRekey {
// Empty when the segment does not decipher under the old key.
QByteArray rekey(const QByteArray &segment, const QByteArray &oldKey, const QByteArray &newKey,
                 const QByteArray &iv);
} // namespace SegmentRekey
