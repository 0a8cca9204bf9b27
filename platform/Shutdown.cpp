#include "platform/Shutdown.h"

#include <QProcess>

namespace Shutdown {

QStringList command()
{
    if (qEnvironmentVariableIsSet("LUMRA_SHUTDOWN_COMMAND"))
        return QStringList() << QStringLiteral("/bin/sh") << QStringLiteral("-c")
                             << qEnvironmentVariable("LUMRA_SHUTDOWN_COMMAND");
    return QStringList() << QStringLiteral("systemctl") << QStringLiteral("poweroff");
}

void start()
{
    QStringList parts = command();
    const QString program = parts.takeFirst();
    QProcess::startDetached(program, parts);
}

} // namespace Shutdown
