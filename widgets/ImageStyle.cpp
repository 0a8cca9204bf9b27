#include "widgets/ImageStyle.h"

QString ImageStyle::prefix() { return QStringLiteral(":/pexil/") + QStringLiteral("pexil/"); }

QString ImageStyle::defaultClosing()
{
    return QStringLiteral(".png) no-repeat center;border: none;}");
}

QString ImageStyle::rule(const QString &opening, const QString &image, const QString &closing)
{
    return opening + prefix() + image + closing;
}

QString ImageStyle::imagePath(const QString &image)
{
    return prefix() + image + QStringLiteral(".png");
}
