#pragma once

#include <QString>

// Builds the style-sheet rules of the image controls: opening literal, image
// prefix, image base name, closing literal.
class ImageStyle
{
public:
    static QString prefix();
    static QString defaultClosing();
    static QString rule(const QString &opening, const QString &image,
                        const QString &closing = defaultClosing());
    // Full resource path of a ".png" image named by its base name.
    static QString imagePath(const QString &image);
};
