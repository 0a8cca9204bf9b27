#include "app/Quit.h"

#include <QCoreApplication>

namespace {
std::function<void()> &playbackStopper()
{
    static std::function<void()> stopper;
    return stopper;
}
} // namespace

void setPlaybackStopper(std::function<void()> stopper) { playbackStopper() = std::move(stopper); }

void quitApplication()
{
    // A blocking playback runs its own event loop; it must end before the main loop can.
    if (playbackStopper())
        playbackStopper()();
    QCoreApplication::quit();
}
