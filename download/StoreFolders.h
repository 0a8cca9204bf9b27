#pragma once

#include <QString>

// Folder helpers of the local download store.
namespace StoreFolders {
// The files of a downloaded lesson's folder beside its segments: the enciphered playlist,
// rewritten to local paths, and the enciphered key.
inline constexpr char playlistFileName[] = "00000.zs";
inline constexpr char keyFileName[] = "00000.zx";
// The enciphered key of the lesson's key number `index` (a playlist may name several):
// "00000.zx", "00001.zx", ...; the first is keyFileName.
QString keyFileNameAt(int index);
// Whether a segment may not take this name in a lesson folder: the playlist, a key file
// or a temporary ".part" file.
bool isReservedInLesson(const QString &name);
// MD5 of the text's Latin-1 bytes as 32 lower-case hex digits: the folder names of the
// older store layout.
QString legacyHash(const QString &text);
// Deletes a folder and everything in it (an empty path does nothing), then removes the
// parents it leaves empty, but never `boundary` itself or anything above it.
void deleteRecursively(const QString &path, const QString &boundary);
// Whether an id from the service can name a folder of the store: not empty, not "." or
// "..", and without "/", "\\" or NUL, so that it never reaches outside its parent.
bool isSafeName(const QString &name);
// The folder name of a user's own folder: the account name itself, or, for a name that
// could reach outside the user folder ("..", "a/b", ...), a digest of it.
QString userFolderName(const QString &loginName);
// folder + "/" + the URL's text after its last "/" (the whole URL when it has none): where
// a segment or a cover picture of that URL is kept.
QString localPathForUrl(const QString &folder, const QString &url);
// parent + "/" + name, or empty when the parent is empty or the name is not safe.
QString childFolder(const QString &parent, const QString &name);
} // namespace StoreFolders
