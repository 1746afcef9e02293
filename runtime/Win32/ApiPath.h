// Windows paths as the wide API takes them.
#pragma once

#include <optional>
#include <string>

#include "Win32.h"

namespace runtime::win32 {

// The path checked and normalised as Windows reads it, ready for the wide
// API ("\\?\" in front when it is too long for the plain form).
std::wstring ApiPath(const std::string& path);

// Whether an API error means only that the name is not there; any other
// failure to look is an error of its own.
bool IsMiss(DWORD error);

// The attributes of whatever has that name at an API path; nothing when there
// is none, and the matching error (naming `path`) when it cannot be looked at.
std::optional<DWORD> AttributesOf(const std::wstring& apiPath, const std::string& path);

// The attributes of an existing ordinary file; error 53 when there is none or
// it is a directory or device.
DWORD RequireFile(const std::wstring& apiPath, const std::string& path);

}  // namespace runtime::win32
