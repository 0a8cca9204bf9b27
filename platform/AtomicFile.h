#pragma once

#include <QString>

// Durable replacement of a file: the new content is flushed to disk under a temporary
// name and then renamed over the target in one step, so a crash or power cut leaves
// either the old file or the new one, never a mix.
namespace AtomicFile {
// Flushes tempPath to disk and renames it over targetPath. False when either step fails;
// the target is then unchanged.
bool commit(const QString &tempPath, const QString &targetPath);
} // namespace AtomicFile
