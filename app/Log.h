#pragma once

#include <QString>

// Appends one line ("\r\n"-terminated, UTF-8) to the log file named in the app state.
// A log file that cannot be opened is skipped silently.
void writeLog(const QString &text);
// The same, to an explicit file; used by writeLog and by tools.
void appendLogLine(const QString &path, const QString &text);
