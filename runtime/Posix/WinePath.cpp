#include "WinePath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "../RuntimeError.h"

namespace runtime::posix {
namespace {

bool Exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The first entry of `directory` whose name matches `name` ignoring case, as
// Wine picks it; empty when there is none.
std::string FindIgnoringCase(const std::filesystem::path& directory, const std::string& name) {
    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(directory.c_str()), ::closedir);
    if (!stream) return {};
    while (const dirent* entry = ::readdir(stream.get())) {
        std::string_view candidate = entry->d_name;
        if (candidate != "." && candidate != ".." && EqualIgnoringAsciiCase(candidate, name))
            return std::string(candidate);
    }
    return {};
}

}  // namespace

std::filesystem::path WinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return std::filesystem::absolute(prefix);
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/") / ".wine";
}

std::filesystem::path DriveDirectory(char drive, const std::string& windowsPath) {
    const std::filesystem::path prefix = WinePrefix();
    std::filesystem::path directory = prefix / "dosdevices" / std::string{drive, ':'};
    std::error_code ignored;
    if (std::filesystem::is_directory(directory, ignored)) return directory;
    if (drive == 'c' && !std::filesystem::exists(directory, ignored) &&
        std::filesystem::is_directory(prefix / "drive_c", ignored))
        return prefix / "drive_c";
    Raise(ErrorNumber::PathNotFound, windowsPath, "drive " + std::string{drive, ':'} + " is not mapped");
}

HostPath MapPath(const std::string& windowsPath) {
    const WindowsPath parsed = ParseWindowsPath(windowsPath);
    std::filesystem::path host = DriveDirectory(parsed.drive, windowsPath);
    std::size_t found = 0;
    for (; found < parsed.components.size(); ++found) {
        const std::string& name = parsed.components[found];
        if (Exists(host / name)) {
            host /= name;
            continue;
        }
        std::string actual = FindIgnoringCase(host, name);
        if (actual.empty()) break;
        host /= actual;
    }
    for (std::size_t i = found; i < parsed.components.size(); ++i) host /= parsed.components[i];
    return {host, parsed.components.size() - found};
}

}  // namespace runtime::posix
