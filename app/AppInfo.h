#pragma once

#include <QString>

// Fixed facts about this program.
namespace AppInfo {
inline QString programVersion() { return QStringLiteral("3.4.3.0"); }
inline QString displayName() { return QStringLiteral("Lumra医考网校"); }
inline QString guardName() { return QStringLiteral("LUMRAPEXIL"); }
inline QString defaultDownloadFolderName() { return QStringLiteral("lumraVideo"); }
inline QString settingsFileName() { return QStringLiteral("lumra.ini"); }
inline QString logFileName() { return QStringLiteral("log.txt"); }
inline QString userStoreName() { return QStringLiteral("kecheng.zg"); }
} // namespace AppInfo
