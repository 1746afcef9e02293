#include "WinePath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "../RuntimeError.h"
#include "Errors.h"

namespace runtime::posix {
namespace {

bool Exists(const std::filesystem::path& path, const std::string& windowsPath) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) return true;
    if (IsMiss(errno)) return false;
    RaiseFromErrno(errno, windowsPath, ErrorNumber::PathNotFound);
}

// The first entry of `directory` whose name matches `name` ignoring case, as
// Wine picks it; empty when there is none.
std::string FindIgnoringCase(const std::filesystem::path& directory, const std::string& name,
                             const std::string& windowsPath) {
    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(directory.c_str()), ::closedir);
    if (!stream) {
        if (IsMiss(errno)) return {};
        RaiseFromErrno(errno, windowsPath, ErrorNumber::PathNotFound);
    }
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
    const std::string letter{drive, ':'};
    std::filesystem::path device = prefix / "dosdevices" / letter;
    const std::string unmapped = "drive " + letter + " is not mapped in the Wine prefix " + prefix.string();
    std::error_code error;
    if (std::filesystem::is_directory(device, error)) return device;
    const std::filesystem::file_type entry = std::filesystem::symlink_status(device, error).type();
    // A prefix made by hand may lack dosdevices; Wine's own default for C: then.
    if (drive == 'c' && entry == std::filesystem::file_type::not_found &&
        std::filesystem::is_directory(prefix / "drive_c", error))
        return prefix / "drive_c";
    if (entry == std::filesystem::file_type::symlink)
        Raise(ErrorNumber::PathNotFound, windowsPath,
              unmapped + " (dosdevices/" + letter + " points to " +
                  std::filesystem::read_symlink(device, error).string() + ", which is not a directory)");
    Raise(ErrorNumber::PathNotFound, windowsPath, unmapped);
}

HostPath MapPath(const std::string& windowsPath) {
    const WindowsPath parsed = ParseWindowsPath(windowsPath);
    std::filesystem::path host = DriveDirectory(parsed.drive, windowsPath);
    std::size_t found = 0;
    for (; found < parsed.components.size(); ++found) {
        const std::string& name = parsed.components[found];
        if (Exists(host / name, windowsPath)) {
            host /= name;
            continue;
        }
        std::string actual = FindIgnoringCase(host, name, windowsPath);
        if (actual.empty()) break;
        host /= actual;
    }
    for (std::size_t i = found; i < parsed.components.size(); ++i) host /= parsed.components[i];
    return {host, parsed.components.size() - found};
}

}  // namespace runtime::posix
