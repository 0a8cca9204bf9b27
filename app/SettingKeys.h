#pragma once

// Keys of the settings file. Every value is text; a boolean key is on only when it holds "1".
namespace SettingKeys {
constexpr const char *Autorun = "START/AUTORUN";             // "1" / "0"
constexpr const char *MinimizePosition = "MIN/SHOWPOSITION"; // "1" tray, "2" taskbar
constexpr const char *ClosePosition = "CLOSE/SHOWPOSITION";  // "1" tray, "2" exit
constexpr const char *VideoPath = "DOWNLOAD/Video_Path";
constexpr const char *AutoDownload = "DOWNLOAD/AUTO";     // "1" / "2"
constexpr const char *DoneTip = "DOWNLOAD/TIP";           // "1" / "0"
constexpr const char *DoneShutdown = "DOWNLOAD/SHUTDOWN"; // "1" / "0"
// Set while downloaded lessons move to this new download folder; found at start-up only
// after a crash, and then the lessons already moved are put back.
constexpr const char *MovingTo = "DOWNLOAD/MOVING";
constexpr const char *WatchTime = "PLAYER/WATCHTIME"; // "1" / "0"
constexpr const char *PlayerSpeed = "PLAYER/SPEED";   // "0.5" ... "2.0", absent: "1.0"
constexpr const char *PlayerVolume = "PLAYER/VOLUME"; // "0" ... "100", absent: "100"
constexpr const char *LastUser = "APP/LASTUSER";
} // namespace SettingKeys
