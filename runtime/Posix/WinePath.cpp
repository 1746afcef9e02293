#include "WinePath.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "../FileSystem.h"
#include "../RuntimeError.h"
#include "Errors.h"

namespace runtime::posix {
namespace {

struct Entry {
    std::string name;
    unsigned char type;
};

// A directory of the prefix as the runtime has seen it: where it is on the
// host and, once listed, the names it holds in the order the host gives them.
struct Directory {
    std::filesystem::path host;
    bool listed = false;
    std::vector<Entry> entries;
    // Why it could not be listed (errno), when it may still be searched.
    int unreadable = 0;
};

unsigned char TypeOf(mode_t mode) {
    return S_ISREG(mode) ? DT_REG : S_ISDIR(mode) ? DT_DIR : S_ISLNK(mode) ? DT_LNK : DT_UNKNOWN;
}

// Each directory is listed once while it is remembered; a name is then found
// in the listing as Wine finds it: the exact name first, then the first one
// equal but for letter case.
class Lookups {
public:
    Directory& At(const std::filesystem::path& host) {
        auto [place, added] = directories_.try_emplace(host);
        if (added) place->second.host = host;
        return place->second;
    }

    Directory* Find(const std::filesystem::path& host) {
        const auto place = directories_.find(host);
        return place == directories_.end() ? nullptr : &place->second;
    }

    const Entry* Lookup(Directory& directory, const std::string& name, const std::string& windowsPath) {
        if (!directory.listed) List(directory, windowsPath);
        for (const Entry& entry : directory.entries)
            if (entry.name == name) return &entry;
        for (const Entry& entry : directory.entries)
            if (EqualIgnoringCase(entry.name, name)) return &entry;
        if (!directory.unreadable) return nullptr;
        // A directory that may be searched but not read still gives its
        // exact names, as it does to Wine; other cases stay unknown.
        struct stat info {};
        if (::lstat((directory.host / name).c_str(), &info) != 0)
            RaiseFromErrno(IsMiss(errno) ? directory.unreadable : errno, windowsPath, ErrorNumber::PathNotFound);
        directory.entries.push_back({name, TypeOf(info.st_mode)});
        return &directory.entries.back();
    }

    // Where a drive letter leads on the host, looked up once.
    const std::filesystem::path& Drive(char drive, const std::string& windowsPath) {
        if (const auto known = drives_.find(drive); known != drives_.end()) return known->second;
        return drives_.emplace(drive, DriveDirectory(drive, windowsPath)).first->second;
    }

    void Clear() {
        directories_.clear();
        drives_.clear();
    }

private:
    static void List(Directory& directory, const std::string& windowsPath) {
        directory.listed = true;
        std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(directory.host.c_str()), ::closedir);
        if (!stream) {
            if (!IsMiss(errno)) directory.unreadable = errno;  // else not there, or no directory: nothing in it
            return;
        }
        errno = 0;
        while (const dirent* entry = ::readdir(stream.get())) {
            const std::string_view candidate = entry->d_name;
            if (candidate != "." && candidate != "..") directory.entries.push_back({std::string(candidate), entry->d_type});
        }
        if (errno != 0) RaiseFromErrno(errno, windowsPath, ErrorNumber::PathNotFound);
    }

    // By the host directory the Windows path led to, so that two names
    // differing only in case, both on disk, are never taken for each other.
    std::map<std::filesystem::path, Directory> directories_;
    std::map<char, std::filesystem::path> drives_;
};

// What the running event has looked up; nothing is kept outside events.
std::unique_ptr<Lookups> remembered;

}  // namespace

std::filesystem::path WinePrefix() {
    std::filesystem::path prefix;
    if (const char* variable = std::getenv("WINEPREFIX"); variable && *variable) {
        if (variable[0] != '/')
            Raise(ErrorNumber::PathNotFound, "WINEPREFIX=" + std::string(variable),
                  "not an absolute path, which Wine refuses as a prefix");
        prefix = variable;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            if (const passwd* user = ::getpwuid(::getuid())) home = user->pw_dir;
        if (!home || !*home)
            Raise(ErrorNumber::PathNotFound, "~/.wine",
                  "neither WINEPREFIX nor HOME is set, and user " + std::to_string(::getuid()) + " has no home folder");
        prefix = std::filesystem::path(home) / ".wine";
    }
    // Wine would refuse to start the clone in a prefix it refuses: known
    // before anything is made there. One that does not exist yet Wine makes.
    struct stat info {};
    if (::stat(prefix.c_str(), &info) != 0) {
        if (!IsMiss(errno)) RaiseFromErrno(errno, prefix.string(), ErrorNumber::PathNotFound);
    } else if (!S_ISDIR(info.st_mode)) {
        Raise(ErrorNumber::PathNotFound, prefix.string(), "the Wine prefix is not a directory");
    } else if (info.st_uid != ::getuid()) {
        Raise(ErrorNumber::PermissionDenied, prefix.string(),
              "the Wine prefix is not owned by you, so Wine refuses it; run this program as its owner");
    }
    return prefix;
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
    Lookups once;
    Lookups& lookups = remembered ? *remembered : once;
    Directory* directory = &lookups.At(lookups.Drive(parsed.drive, windowsPath));
    std::filesystem::path host = directory->host;
    unsigned char type = DT_DIR;
    std::size_t found = 0;
    for (; found < parsed.components.size(); ++found) {
        const Entry* entry = lookups.Lookup(*directory, parsed.components[found], windowsPath);
        if (!entry) break;
        host /= entry->name;
        type = entry->type;
        if (found + 1 < parsed.components.size()) directory = &lookups.At(host);
    }
    for (std::size_t i = found; i < parsed.components.size(); ++i) host /= parsed.components[i];
    const std::size_t missing = parsed.components.size() - found;
    return {host, missing, missing == 0 ? type : static_cast<unsigned char>(DT_UNKNOWN)};
}

void NoteMade(const std::filesystem::path& host, bool directory) {
    if (!remembered) return;
    if (Directory* parent = remembered->Find(host.parent_path()); parent && parent->listed)
        parent->entries.push_back({host.filename().string(), static_cast<unsigned char>(directory ? DT_DIR : DT_REG)});
    // A directory made just now holds nothing: nothing to list.
    if (directory) remembered->At(host).listed = true;
}

void ForgetLookups() {
    if (remembered) remembered->Clear();
}

}  // namespace runtime::posix

namespace runtime {

LookupCache::LookupCache() : owner_(!posix::remembered) {
    if (owner_) posix::remembered = std::make_unique<posix::Lookups>();
}

LookupCache::~LookupCache() {
    if (owner_) posix::remembered.reset();
}

}  // namespace runtime
