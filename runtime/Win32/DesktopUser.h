// Starting a program as the desktop user: an elevated tool must not hand its
// administrator rights to the old, network-facing client it starts.
#pragma once

#include <string>

#include "Win32.h"

namespace runtime::win32 {

// Whether this process runs with an elevated token (never so before Vista).
bool IsElevated();

// Starts `program` in `directory` with the token of the desktop shell's
// process, as the shell would. False, having started nothing, when there is
// no shell or this Windows lacks the means (XP); an error of the start itself
// is raised, naming `path`.
bool StartAsDesktopUser(const std::wstring& program, const std::wstring& directory, WORD show,
                        const std::string& path);

}  // namespace runtime::win32
