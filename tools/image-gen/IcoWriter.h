#pragma once

#include <QImage>
#include <QString>
#include <QVector>

// Writes a Windows icon holding several sizes, each entry stored as PNG data
// (readable by Windows and by Qt's icon plugin).
class IcoWriter
{
public:
    static bool write(const QString &path, const QVector<QImage> &images);
};
