#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The deciphered playlist of a downloaded lesson, made ready to play.
namespace OfflinePlaylist {
// Drops the cipher's zero padding and points every key line at keyFile.
QByteArray withKeyFile(const QByteArray &playlist, const QString &keyFile);
// The same for a lesson with several keys: a key line naming the stored key "0000N.zx"
// is pointed at keyFiles[N] (at the first file when there is no such entry).
QByteArray withKeyFiles(const QByteArray &playlist, const QStringList &keyFiles);
} // namespace OfflinePlaylist
