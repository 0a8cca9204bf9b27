#pragma once

// How the message box asks and what the user answered; the values are the ones the box
// has always used, so callers that stored or compared them keep working.
namespace Message {
enum Mode : int {
    OkCancel = 0, // a question: OK and Cancel
    OkOnly = 1,   // a notice the user acknowledges
};
enum Answer : int {
    Ok = 0,
    Cancel = 1, // also the close button, Esc on a question, or a box taken over
};
} // namespace Message
