#pragma once

#include <QString>
#include <QStringList>

class AppState;

// Start-up's folder set-up: data, user and download folders, the settings file and the log path.
class AppFolders
{
public:
    // documentsDir ends in "/" (or is empty when the system has none); roots are the
    // candidate roots for the default download folder, tried from the last to the first.
    static void setUp(AppState &state, const QString &documentsDir, const QStringList &roots);
    // The first root (from the last) under which "lumraVideo" can be created, or empty.
    static QString chooseDownloadDir(const QStringList &roots);
    // Whether a name from the service or the user can name a folder: not empty, not "." or
    // "..", and without "/", "\\" or NUL, so that it never reaches outside its parent.
    static bool isSafeFolderName(const QString &name);
    // The folder name of a user's own folder under the user folder: the account name
    // itself, or, for a name that could reach outside it ("..", "a/b", ...), a digest of it.
    static QString userFolderName(const QString &loginName);
};
