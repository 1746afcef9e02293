// Windows paths inside a Wine prefix, resolved the way Wine resolves them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "../WindowsPath.h"

namespace runtime::posix {

// $WINEPREFIX, or .wine in the home folder (HOME, else the user database's)
// when it is unset. Refused as Wine refuses it: a relative WINEPREFIX (76),
// a prefix that is no directory (76) or is another user's (70).
std::filesystem::path WinePrefix();

struct HostPath {
    std::filesystem::path host;
    // How many trailing components do not exist yet (0: the whole path exists).
    std::size_t missing;
    // The last component's type as its directory listed it (DT_REG, DT_LNK ...;
    // DT_UNKNOWN when the listing did not say or the path is missing).
    unsigned char type;
};

// The host path inside the drive's directory. Existing components are found
// case-insensitively (exact name first); missing ones keep the case given.
HostPath MapPath(const std::string& windowsPath);

// The directory of a drive letter; error 76 when the drive is not mapped.
std::filesystem::path DriveDirectory(char drive, const std::string& windowsPath);

// What the runtime itself changed, so that what it remembers stays true:
// a name it made (a file, or a new and empty directory) ...
void NoteMade(const std::filesystem::path& host, bool directory);
// ... or names it moved or removed, which it then looks up afresh.
void ForgetLookups();

}  // namespace runtime::posix
