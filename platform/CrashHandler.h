#pragma once

#include <QString>
#include <QStringList>

// Writes a crash report when the process dies of a fatal signal, and has a separate
// process tell the user. Everything the handler needs is prepared by install() in static
// buffers; inside the handler only async-signal-safe calls run, then the default action
// is restored and the signal raised again.
namespace CrashHandler {
// reportPath: where the report goes (replaced on every crash). messageProgram and
// messageArguments: the process that shows the crash message.
void install(const QString &reportPath, const QString &messageProgram,
             const QStringList &messageArguments);
// Raises a fatal signal when a test asks for a crash. Part of the test build only.
[[noreturn]] void crashForTest();
} // namespace CrashHandler
