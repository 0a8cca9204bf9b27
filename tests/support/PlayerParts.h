#pragma once

// The player window's controls as the tests reach them: by object name where the window
// gives one, else by their place in the control bar (left to right, as the user sees them),
// without accessors kept in the window for the tests' sake. Header only: the GUI tests and
// benchmarks include it; the support library itself stays GUI-free.

#include "player/ClickableSlider.h"
#include "player/FFPlayer.h"
#include "player/VideoSurface.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"

#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>

namespace PlayerParts {

// The control bar: the parent of the speed button, the one button named btnSpeed.
inline QWidget *controlBar(const FFPlayer *window)
{
    auto *speed = window->findChild<QPushButton *>(QStringLiteral("btnSpeed"));
    return speed ? speed->parentWidget() : nullptr;
}

// The widgets of one row of the control bar (0 the times and progress, 1 the buttons).
inline QList<QWidget *> controlRow(const FFPlayer *window, int row)
{
    QList<QWidget *> widgets;
    QWidget *bar = controlBar(window);
    QLayoutItem *item = bar && bar->layout() ? bar->layout()->itemAt(row) : nullptr;
    QLayout *layout = item ? item->layout() : nullptr;
    for (int i = 0; layout && i < layout->count(); ++i) {
        if (QWidget *widget = layout->itemAt(i)->widget())
            widgets << widget;
    }
    return widgets;
}

// What the pictures show in: the body's first widget, above the control bar.
inline QWidget *videoSurface(const FFPlayer *window)
{
    QWidget *bar = controlBar(window);
    QWidget *body = bar ? bar->parentWidget() : nullptr;
    QLayoutItem *item = body && body->layout() ? body->layout()->itemAt(0) : nullptr;
    return item ? item->widget() : nullptr;
}

// The OpenGL surface, when the window plays through libmpv's render API.
inline VideoSurface *renderSurface(const FFPlayer *window)
{
    return qobject_cast<VideoSurface *>(videoSurface(window));
}

inline QLabel *titleLabel(const FFPlayer *window)
{
    return window->findChild<QLabel *>(QStringLiteral("lblContent14_B5BAC4"));
}
inline QLabel *positionLabel(const FFPlayer *window)
{
    return qobject_cast<QLabel *>(controlRow(window, 0).value(0));
}
inline ClickableSlider *progressSlider(const FFPlayer *window)
{
    return qobject_cast<ClickableSlider *>(controlRow(window, 0).value(1));
}
inline QLabel *lengthLabel(const FFPlayer *window)
{
    return qobject_cast<QLabel *>(controlRow(window, 0).value(2));
}
inline ImageCheckButton *playButton(const FFPlayer *window)
{
    return qobject_cast<ImageCheckButton *>(controlRow(window, 1).value(0));
}
inline QPushButton *speedButton(const FFPlayer *window)
{
    return window->findChild<QPushButton *>(QStringLiteral("btnSpeed"));
}
inline ImageCheckButton *muteButton(const FFPlayer *window)
{
    return qobject_cast<ImageCheckButton *>(controlRow(window, 1).value(2));
}
inline ClickableSlider *volumeSlider(const FFPlayer *window)
{
    return qobject_cast<ClickableSlider *>(controlRow(window, 1).value(3));
}
inline ImageButton *fullScreenButton(const FFPlayer *window)
{
    return qobject_cast<ImageButton *>(controlRow(window, 1).value(4));
}
inline QMenu *speedMenu(const FFPlayer *window)
{
    return window->findChild<QMenu *>(QStringLiteral("SpeedMenu"));
}

} // namespace PlayerParts
