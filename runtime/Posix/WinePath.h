// Windows paths inside a Wine prefix, resolved the way Wine resolves them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace runtime::posix {

// $WINEPREFIX, or ~/.wine when it is unset; always absolute.
std::filesystem::path WinePrefix();

// A drive-absolute Windows path taken apart: separators collapsed, "." and ".."
// resolved without climbing above the root, trailing dots and spaces dropped.
struct WindowsPath {
    char drive;  // lower case
    std::vector<std::string> components;
};

// Error 76 for a path that is not drive-absolute, 52 for a name Windows refuses.
WindowsPath ParseWindowsPath(std::string_view path);

struct HostPath {
    std::filesystem::path host;
    // How many trailing components do not exist yet (0: the whole path exists).
    std::size_t missing;
};

// The host path inside the drive's directory. Existing components are found
// case-insensitively (exact name first); missing ones keep the case given.
HostPath MapPath(const std::string& windowsPath);

// The directory of a drive letter; error 76 when the drive is not mapped.
std::filesystem::path DriveDirectory(char drive, const std::string& windowsPath);

}  // namespace runtime::posix
