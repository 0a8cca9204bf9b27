#pragma once

#include <QString>

// Which folders may hold the downloaded lessons: any folder the user can write to, whatever
// its name (Chinese, blanks, "-", "."). Refused are a folder that cannot be created or
// written and the program's own data folder with everything inside it.
namespace DownloadFolderRule {
// Creates the folder when it is missing and tries a file in it. Empty when the folder is
// accepted, else the message for the user.
QString refusal(const QString &path, const QString &dataDir);
} // namespace DownloadFolderRule
