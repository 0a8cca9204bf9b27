#pragma once

class MpvLibrary;
struct mpv_handle;

// Something that draws the player's pictures itself through libmpv's render API (with
// "vo=libmpv"), instead of handing libmpv a native window. The player attaches right after
// it has started and detaches before it is destroyed; the host outlives the player.
class MpvRenderHost
{
public:
    virtual ~MpvRenderHost() = default;
    // The render context must exist before the first lesson is loaded, or the lesson
    // plays without pictures.
    virtual void attachPlayer(const MpvLibrary &library, mpv_handle *mpv) = 0;
    // Frees the render context; libmpv forbids destroying the player before that.
    virtual void detachPlayer() = 0;
    // True while the render context waits for the host's surface to be drawn for the first
    // time (a window just shown): a lesson loaded before then would play without pictures.
    virtual bool renderContextPending() const = 0;
};
