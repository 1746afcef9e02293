// errno as the classic run-time errors.
#pragma once

#include <string>

#include "../RuntimeError.h"

namespace runtime::posix {

// `missing` is the number used when the name itself is not there (53 for a
// file to read, 76 for a directory to make).
// Whether a failed lookup means only that the name is not there; any other
// failure to look is an error of its own.
bool IsMiss(int error);

[[noreturn]] void RaiseFromErrno(int error, const std::string& path, ErrorNumber missing);

}  // namespace runtime::posix
