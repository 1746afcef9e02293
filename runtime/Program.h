// Starting other programs, and ending this one.
#pragma once

#include <string>

namespace runtime {

enum class WindowStyle : int {
    Hide = 0,
    NormalFocus = 1,
    MinimizedFocus = 2,
    MaximizedFocus = 3,
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
