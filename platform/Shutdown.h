#pragma once

#include <QStringList>

// Powering the computer off. The environment variable LUMRA_SHUTDOWN_COMMAND, when set,
// replaces the system command and is run through /bin/sh -c (tests set something harmless).
namespace Shutdown {
// Program followed by its arguments.
QStringList command();
// Starts the command detached, so it outlives this process; its success is not checked.
void start();
} // namespace Shutdown
