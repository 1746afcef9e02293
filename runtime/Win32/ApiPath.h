// Windows paths as the wide API takes them.
#pragma once

#include <string>

#include "Win32.h"

namespace runtime::win32 {

// The path checked and normalised as Windows reads it, ready for the wide
// API ("\\?\" in front when it is too long for the plain form).
std::wstring ApiPath(const std::string& path);

// Whether an API error means only that the name is not there.
bool IsNotFound(DWORD error);

// The attributes of an existing ordinary file at an API path; error 53 (with
// `path`) when there is none or it is a directory or device, and the matching
// error when it cannot be looked at.
DWORD RequireFile(const std::wstring& apiPath, const std::string& path);

}  // namespace runtime::win32
