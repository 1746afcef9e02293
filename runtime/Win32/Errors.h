// Win32 errors as the classic run-time errors.
#pragma once

#include <string>

#include "../RuntimeError.h"
#include "Win32.h"

namespace runtime::win32 {

// `missing` is the number used when the name itself is not there (53 for a
// file to read, 76 for a directory to make).
[[noreturn]] void RaiseFromError(DWORD error, const std::string& path, ErrorNumber missing);

}  // namespace runtime::win32
