#pragma once

#include <QString>

// Keeps at most one downloaded installer in the data folder: the newest one that is
// newer than the running program and is an installer of this platform. Partial downloads
// (".download") are removed. Returns its full path, or empty when none is left.
class InstallerCleanup
{
public:
    static QString run(const QString &dataDir, const QString &programVersion);
};
