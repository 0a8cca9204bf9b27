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
};
