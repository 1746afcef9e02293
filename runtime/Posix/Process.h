// What the terminal window shares with the set-up of the process.
#pragma once

#include <termios.h>

namespace runtime::posix {

// Whether standard output was closed when the program started: it then
// stands on /dev/null, and nothing written there reaches anyone.
bool StandardOutputWasClosed();

// Whether an interruption is held back: nothing should wait for the user then.
bool InterruptionPending();

// Waits until `descriptor` can be read, or an interruption is held back
// (then false); one that comes at any moment of the wait ends it.
bool WaitReadable(int descriptor);

// The terminal state to put back should a signal end the program while it
// is changed (nullptr: none). The state must outlive its registration.
void RestoreTerminalOnEnd(const termios* state);

}  // namespace runtime::posix
