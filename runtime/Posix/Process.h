// What the terminal window shares with the set-up of the process.
#pragma once

#include <termios.h>

namespace runtime::posix {

// Whether standard output was closed when the program started: it then
// stands on /dev/null, and nothing written there reaches anyone.
bool StandardOutputWasClosed();

// Whether an interruption is held back: nothing should wait for the user then.
bool InterruptionPending();

enum class Waited {
    Readable,
    Interrupted,  // an interruption is held back
    Resumed,      // continued after a stop: what was shown may need drawing again
};

// Waits until `descriptor` can be read, an interruption is held back or the
// program is continued after a stop; one that comes at any moment of the
// wait ends it.
Waited WaitReadable(int descriptor);

// The terminal state to put back should a signal end or stop the program
// while it is changed, and the one to set again when it is continued
// (nullptr: none). Both must outlive their registration.
void RestoreTerminalOnEnd(const termios* saved, const termios* inUse);

}  // namespace runtime::posix
