#pragma once

// How a blocking Open ended.
enum PlayerErrorType {
    PlayerEnded = 0,      // played to its end
    PlayerStopped = 1,    // Stop (window closed or the program quitting)
    PlayerFailed = 2,     // the stream could not be opened or broke off
    PlayerBusy = 3,       // another Open of this player is still running
    PlayerUnavailable = 4 // the decoder could not be set up
};
