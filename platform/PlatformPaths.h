#pragma once

#include <QString>
#include <QStringList>

// Where this platform keeps things the program's folders are built from.
namespace PlatformPaths {
// The user's documents folder, ending in "/".
QString documentsDir();
// Candidate roots for the default download folder, in the order the system lists
// them (start-up tries them from the last to the first). Each ends in "/".
// Here that is the user's home folder only.
QStringList downloadRootCandidates();
// Extension of downloaded installer files in the data folder.
QString installerExtension();
}
