#include "app/Theme.h"

#include <QFile>

QString Theme::loadStyleSheet(const QString &resourcePath)
{
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return fillPlaceholders(QString::fromUtf8(file.readAll()));
}

QString Theme::fillPlaceholders(QString sheet)
{
    sheet.replace(QLatin1String("%color2%"), QLatin1String("#01a39e"), Qt::CaseSensitive);
    sheet.replace(QLatin1String("%color%"), QLatin1String("#1f8784"), Qt::CaseSensitive);
    sheet.replace(QLatin1String("%path%"), QLatin1String(":/pexil/pexil/"), Qt::CaseSensitive);
    return sheet;
}
