#pragma once

// What the player tells its window. Called on the GUI thread, from inside the blocking Open.
class LumraPlayerCallbackHandler
{
public:
    virtual ~LumraPlayerCallbackHandler() = default;
    // The first picture of the lesson is on its way: playback has started.
    virtual void OnPlayStarted() = 0;
    // The lesson has played to its end; its last picture stays, paused.
    virtual void OnPlayEnded() { }
};
