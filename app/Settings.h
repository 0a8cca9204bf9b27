#pragma once

#include <QString>

class QSettings;

// Reads and writes the text values of the settings file.
namespace Settings {
QString text(const QSettings *settings, const char *key);
// True only when the stored text is exactly "1".
bool isOn(const QSettings *settings, const char *key);
void setText(QSettings *settings, const char *key, const QString &value);
// Writes "1", or the key's own "off" text ("0" for most, "2" for a few).
void setOn(QSettings *settings, const char *key, bool on,
           const QString &offText = QStringLiteral("0"));
} // namespace Settings
