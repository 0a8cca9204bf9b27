#pragma once

#include <QString>

// True when dotted version a is newer than b. With the same number of parts the
// parts compare as integers (non-numbers count 0); otherwise the one with more parts wins.
bool isNewerVersion(const QString &a, const QString &b);
