#pragma once

#include <QString>

// Starting with the desktop session: an XDG autostart entry for the program, in
// $XDG_CONFIG_HOME/autostart (or ~/.config/autostart), named after the executable.
namespace Autostart {
// The folder that holds autostart entries.
QString folder();
// The entry of this program: <folder>/<executable base name>.desktop.
QString entryPath();
// Writes the entry, starting programPath, in one step. False when it could not be written.
bool enable(const QString &programPath);
// Removes the entry; true when none is left behind.
bool disable();
bool isEnabled();
// The text of the entry; the path is quoted so blanks and quotes survive.
QString entryText(const QString &programPath, const QString &name);
} // namespace Autostart
