// Starting other programs, and ending this one.
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

// Thrown by End() and caught by the event dispatch alone, which then ends the
// program with this status and no further notice.
struct ProgramEnd {
    int status;
};

// Ends the program at once: no unload event, no notice.
[[noreturn]] void End();

}  // namespace runtime
