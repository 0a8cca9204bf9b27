#include "platform/Autostart.h"

#include "app/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Autostart {

namespace {
QString programBaseName()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (name.isEmpty())
        name = QStringLiteral("lumra");
    return name;
}

// Exec= quoting: inside double quotes, the characters " ` $ \ take a backslash, and
// a literal % is written %% because the launcher expands field codes.
QString quotedExecArgument(const QString &path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
            || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
} // namespace

QString folder()
{
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart");
}

QString entryPath()
{
    return folder() + QLatin1Char('/') + programBaseName() + QStringLiteral(".desktop");
}

QString entryText(const QString &programPath, const QString &name)
{
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + name + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + quotedExecArgument(programPath) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text;
}

bool enable(const QString &programPath)
{
    if (!QDir().mkpath(folder()))
        return false;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entryText(programPath, AppInfo::displayName()).toUtf8());
    return file.commit();
}

bool disable()
{
    const QString path = entryPath();
    return !QFileInfo::exists(path) || QFile::remove(path);
}

bool isEnabled() { return QFileInfo::exists(entryPath()); }

} // namespace Autostart
