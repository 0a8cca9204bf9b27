#pragma once

#include <functional>

// Stops a running playback, then ends the event loop.
void quitApplication();
// The player registers how to stop its playback while a player window lives.
void setPlaybackStopper(std::function<void()> stopper);
