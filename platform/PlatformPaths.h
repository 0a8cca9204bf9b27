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
// Whether bytes that start a file are those of an installer of this platform (here an
// AppImage, which is an ELF executable). An error page or a redirect notice is not.
bool startsLikeInstaller(const QByteArray &head);
// Whether the file is a plain file that starts like an installer of this platform.
bool isInstallerFile(const QString &path);
} // namespace PlatformPaths
