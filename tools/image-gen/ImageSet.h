#pragma once

#include <QSize>
#include <QString>
#include <QVector>

#include <functional>

class QPainter;

// One picture of the set: its resource base name, its size in logical pixels
// and how to draw it on a painter already scaled to the output resolution.
struct ImageEntry
{
    QString name;
    QSize size;
    std::function<void(QPainter &)> draw;
};

class ImageSet
{
public:
    static QVector<ImageEntry> entries();
    // Frame of the loading spinner: frame in [0, count).
    static void drawLoadingFrame(QPainter &p, int frame, int count);
    static constexpr int kLoadingSize = 32;
    static constexpr int kLoadingFrames = 12;
    // The application icon at any square size.
    static void drawAppIcon(QPainter &p, int size);
};
