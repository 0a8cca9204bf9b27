#include "app/Settings.h"

#include <QSettings>

namespace Settings {

QString text(const QSettings *settings, const char *key)
{
    if (!settings)
        return QString();
    return settings->value(QLatin1String(key), QString()).toString();
}

bool isOn(const QSettings *settings, const char *key)
{
    return text(settings, key) == QLatin1String("1");
}

void setText(QSettings *settings, const char *key, const QString &value)
{
    if (settings)
        settings->setValue(QLatin1String(key), value);
}

void setOn(QSettings *settings, const char *key, bool on, const QString &offText)
{
    setText(settings, key, on ? QStringLiteral("1") : offText);
}

} // namespace Settings
