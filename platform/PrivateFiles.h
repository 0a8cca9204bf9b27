#pragma once

#include <QString>

// The program's data (settings, log, index, avatars, covers) is for its user alone: folders
// 0700, files 0600, whatever the desktop's default permissions are.
namespace PrivateFiles {
// From now on, folders and files this process creates are closed to other accounts
// (umask 077).
void restrictNewFiles();
// Creates the folder with missing parents and makes the folder itself 0700.
bool makeFolder(const QString &path);
// Closes a tree that an older version left readable: folders 0700, files 0600. Links are
// not followed.
void closeTree(const QString &root);
} // namespace PrivateFiles
