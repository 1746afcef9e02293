// Windows paths as Windows itself reads them, checked and taken apart before
// any platform touches the file system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace runtime {

// A drive-absolute path: separators collapsed, "." and ".." resolved without
// climbing above the root, trailing dots and spaces of names dropped.
struct WindowsPath {
    char drive;  // lower case
    std::vector<std::string> components;

    // "C:\a\b" form, with the drive letter in upper case.
    std::string ToString() const;
};

// Error 76 for a path that is not drive-absolute (relative, UNC, no drive);
// error 52 for a name Windows refuses (forbidden characters, device names).
WindowsPath ParseWindowsPath(std::string_view path);

// The directory `text` names, as Windows reads it ("c:/a/b. " is "C:\a\b\"),
// ending in a backslash so that names can be appended to it.
std::string DirectoryPath(std::string_view text);

char LowerAscii(char c);

}  // namespace runtime
