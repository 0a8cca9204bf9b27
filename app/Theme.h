#pragma once

#include <QString>

// Reads the application style sheet from the resources and fills in its
// colour and image-path placeholders.
class Theme
{
public:
    // Empty when the resource cannot be opened; the program then runs unstyled.
    static QString
    loadStyleSheet(const QString &resourcePath = QStringLiteral(":/css/default.css"));
    static QString fillPlaceholders(QString sheet);
};
