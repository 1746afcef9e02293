// Starting a program as the desktop user: an elevated tool must not hand its
// administrator rights to the old, network-facing client it starts.
#pragma once

#include <string>

#include "Win32.h"

namespace runtime::win32 {

// Whether this process runs with an elevated token (never so before Vista).
bool IsElevated();

// A primary token of the desktop shell's process: the desktop user's rights,
// unelevated. Empty when no shell is running.
ScopedKernelHandle DesktopUserToken();

// Starts `program` in `directory` under `token`. False, having started
// nothing, where Windows lacks the means (XP); an error of the start itself
// is raised, naming `path`.
bool StartWithToken(HANDLE token, const std::wstring& program, const std::wstring& directory, WORD show,
                    const std::string& path);

}  // namespace runtime::win32
