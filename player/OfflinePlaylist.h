#pragma once

#include <QByteArray>
#include <QString>

// The deciphered playlist of a downloaded lesson, made ready to play.
namespace OfflinePlaylist {
// Drops the cipher's zero padding and points every key line at keyFile.
QByteArray withKeyFile(const QByteArray &playlist, const QString &keyFile);
}
