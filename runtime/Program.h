// Starting other programs, and ending this one, by request or from outside.
#pragma once

#include <string>

namespace runtime {

// The window styles of the classic start operation that are in use.
enum class WindowStyle : int {
    NormalFocus = 1,
    MinimizedFocus = 2,
};

// Starts the program at a Windows path and does not wait for it to end.
// Error 53 when it cannot be started.
void StartProgram(const std::string& path, WindowStyle style);

// Sets the process up once, before the window loads: on POSIX, the standard
// descriptors (a closed one is kept from being reused by a file), signal
// dispositions (a broken pipe or a file-size limit becomes an error, not the
// end) and the handling of interruptions below.
void PrepareProcess();

// While one lives (the event dispatch keeps one around each event
// procedure), an interruption from outside (Ctrl-C, a closed terminal, a
// request to terminate) is held back and raised as error 18 by the next
// runtime operation, so that the procedure's clean-up runs; the dispatch then
// reports it and ends the program as the signal would have. At any other
// time an interruption ends the program at once, as it would any program.
class InterruptionShield {
public:
    InterruptionShield();
    ~InterruptionShield();
    InterruptionShield(const InterruptionShield&) = delete;
    InterruptionShield& operator=(const InterruptionShield&) = delete;
};

// Raises error 18 (naming `path`) when an interruption is held back.
void RaiseIfInterrupted(const std::string& path = {});

// Ends the program by the interruption held back, as the signal itself ends a
// program (a shell shows 128 + its number), if there is one.
void EndIfInterrupted();

// Thrown by End() and caught by the event dispatch alone, which then ends the
// program with this status and no further notice.
struct ProgramEnd {
    int status;
};

// Ends the program at once: no unload event, no notice.
[[noreturn]] void End();

}  // namespace runtime
