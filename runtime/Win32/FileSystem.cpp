#include "../FileSystem.h"

#include <algorithm>
#include <iterator>

#include "../BinaryFile.h"
#include "../Program.h"
#include "ApiPath.h"
#include "Errors.h"

namespace runtime {

using win32::ApiPath;
using win32::RaiseFromError;

namespace {

constexpr DWORD kNotOrdinary =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

void RemoveTree(const std::wstring& directory, const std::string& path) {
    WIN32_FIND_DATAW entry;
    if (win32::ScopedFindHandle search{FindFirstFileW((directory + L"\\*").c_str(), &entry)}) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = directory + L"\\" + name;
            SetFileAttributesW(child.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            // A link is removed itself; what it points to is left alone.
            const bool directoryItself = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                         !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (directoryItself) {
                RemoveTree(child, path);
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!RemoveDirectoryW(child.c_str())) RaiseFromError(GetLastError(), path, ErrorNumber::PathNotFound);
            } else if (!DeleteFileW(child.c_str())) {
                RaiseFromError(GetLastError(), path, ErrorNumber::PathNotFound);
            }
        } while (FindNextFileW(search.get(), &entry));
    }
    if (!RemoveDirectoryW(directory.c_str())) RaiseFromError(GetLastError(), path, ErrorNumber::PathNotFound);
}

class Win32BinaryFile : public BinaryFile {
public:
    Win32BinaryFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    std::int64_t Size() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_.get(), &size)) RaiseFromError(GetLastError(), path_, ErrorNumber::FileNotFound);
        return size.QuadPart;
    }

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t size) override {
        std::size_t got = 0;
        while (got < size) {
            OVERLAPPED at = At(offset + static_cast<std::int64_t>(got));
            DWORD step = 0;
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - got, 1 << 20));
            if (!ReadFile(handle_.get(), buffer + got, wanted, &step, &at)) {
                if (GetLastError() == ERROR_HANDLE_EOF) break;
                RaiseFromError(GetLastError(), path_, ErrorNumber::DeviceIOError);
            }
            if (step == 0) break;
            got += step;
        }
        return got;
    }

    void WriteByteAt(std::int64_t offset, std::uint8_t byte) override {
        OVERLAPPED at = At(offset);
        DWORD written = 0;
        if (!WriteFile(handle_.get(), &byte, 1, &written, &at) || written != 1)
            RaiseFromError(GetLastError(), path_, ErrorNumber::FileNotFound);
    }

    void Close() override {
        if (!handle_.Reset()) RaiseFromError(GetLastError(), path_, ErrorNumber::DeviceIOError);
    }

private:
    static OVERLAPPED At(std::int64_t offset) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return at;
    }

    win32::ScopedKernelHandle handle_;
    std::string path_;
};

// What identifies a file or directory on this computer. Where Windows has
// 128-bit identities (ReFS), those; else the volume serial number and the
// 64-bit index, which XP has.
struct FileIdentity {
    ULONGLONG volume = 0;
    BYTE index[16] = {};
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && std::equal(std::begin(index), std::end(index), std::begin(other.index));
    }
};

// A directory's identity; nothing when the handle is no directory's.
std::optional<FileIdentity> IdentityOf(HANDLE handle, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(handle, &info)) RaiseFromError(GetLastError(), path, ErrorNumber::PathNotFound);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    FileIdentity identity;
    identity.volume = info.dwVolumeSerialNumber;
    const ULONGLONG index = (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    for (int i = 0; i < 8; ++i) identity.index[i] = static_cast<BYTE>(index >> (8 * i));

    struct IdInfo {  // FILE_ID_INFO, Windows 8 and later
        ULONGLONG VolumeSerialNumber;
        BYTE FileId[16];
    };
    constexpr int kFileIdInfo = 18;
    static const auto byHandleEx =
        win32::LookUp<BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD)>(L"kernel32.dll", "GetFileInformationByHandleEx");
    IdInfo wide = {};
    if (byHandleEx && byHandleEx(handle, kFileIdInfo, &wide, sizeof wide)) {
        identity.volume = wide.VolumeSerialNumber;
        std::copy(std::begin(wide.FileId), std::end(wide.FileId), identity.index);
    }
    return identity;
}

// A directory opened only to be identified: FILE_FLAG_BACKUP_SEMANTICS is
// what lets CreateFile open one. Empty when there is none.
win32::ScopedKernelHandle OpenDirectory(const std::string& path) {
    const std::wstring directory = ApiPath(path);
    win32::ScopedKernelHandle handle{CreateFileW(directory.c_str(), FILE_READ_ATTRIBUTES,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (!handle && !win32::IsMiss(GetLastError())) RaiseFromError(GetLastError(), path, ErrorNumber::PathNotFound);
    return handle;
}

}  // namespace

// Windows looks names up fast enough by itself.
LookupCache::LookupCache() = default;
LookupCache::~LookupCache() = default;

void RequireNewDirectory(const std::string& path) {
    const std::wstring directory = ApiPath(path);
    if (win32::AttributesOf(directory, path)) Raise(ErrorNumber::PathFileAccessError, path, "it exists already");
    const std::wstring parent = directory.substr(0, directory.find_last_of(L'\\') + 1);
    const std::optional<DWORD> parentAttributes = win32::AttributesOf(parent, path);
    if (!parentAttributes || !(*parentAttributes & FILE_ATTRIBUTE_DIRECTORY))
        Raise(ErrorNumber::PathNotFound, path, "its parent directory does not exist");
}

void MakeDirectory(const std::string& path) {
    RaiseIfInterrupted(path);
    if (!CreateDirectoryW(ApiPath(path).c_str(), nullptr)) {
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS) Raise(ErrorNumber::PathFileAccessError, path, "it exists already");
        if (error == ERROR_PATH_NOT_FOUND) Raise(ErrorNumber::PathNotFound, path, "its parent directory does not exist");
        RaiseFromError(error, path, ErrorNumber::PathNotFound);
    }
}

void RenameDirectory(const std::string& from, const std::string& to) {
    RaiseIfInterrupted(to);
    // Without MOVEFILE_REPLACE_EXISTING nothing that exists is replaced.
    if (!MoveFileExW(ApiPath(from).c_str(), ApiPath(to).c_str(), 0)) {
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
            Raise(ErrorNumber::PathFileAccessError, to, "it exists already");
        RaiseFromError(error, to, ErrorNumber::PathNotFound);
    }
}

bool NameExists(const std::string& path) { return win32::AttributesOf(ApiPath(path), path).has_value(); }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    std::wstring first = win32::Wide(std::string(a)), second = win32::Wide(std::string(b));
    static const auto compareOrdinal = win32::LookUp<int(WINAPI*)(LPCWSTR, int, LPCWSTR, int, BOOL)>(
        L"kernel32.dll", "CompareStringOrdinal");
    if (compareOrdinal)
        return compareOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                              static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
    // Windows XP: both in upper case, by the system's own table.
    if (first.size() != second.size()) return false;
    for (std::wstring* name : {&first, &second})
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name->c_str(), static_cast<int>(name->size()), name->data(),
                     static_cast<int>(name->size()));
    return first == second;
}

// Windows makes a folder of up to MAX_PATH - 12 characters without "\\?\"
// (room for an 8.3 name in it), and starts programs from no longer one: Wine
// draws the line there too. A clone's files, made through "\\?\", are far
// from their own limit then.
void RequireRoomFor(const std::string& directory, const std::string& staging, std::string_view longestName) {
    (void)longestName, (void)staging;
    constexpr std::size_t kLongestFolder = MAX_PATH - 12;
    const std::size_t folder = win32::Wide(directory).size() - 1;  // without its backslash
    if (folder > kLongestFolder)
        Raise(ErrorNumber::BadFileNameOrNumber, directory,
              "a folder of " + std::to_string(folder) + " characters; Windows starts programs from folders of at most " +
                  std::to_string(kLongestFolder));
}

bool CanListDirectory(const std::string& path) {
    WIN32_FIND_DATAW found;
    const win32::ScopedFindHandle search{FindFirstFileW((ApiPath(path) + L"\\*").c_str(), &found)};
    return static_cast<bool>(search) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool SameDirectory(const std::string& a, const std::string& b) {
    // Both stay open while they are compared: on FAT an index may change
    // once nothing holds the directory.
    const win32::ScopedKernelHandle first = OpenDirectory(a);
    const win32::ScopedKernelHandle second = OpenDirectory(b);
    if (!first || !second) return false;
    const std::optional<FileIdentity> identity = IdentityOf(first.get(), a);
    return identity && identity == IdentityOf(second.get(), b);
}

void CopyFile(const std::string& source, const std::string& destination) {
    RaiseIfInterrupted(source);
    const std::wstring from = ApiPath(source);
    const std::wstring to = ApiPath(destination);
    const DWORD attributes = win32::RequireFile(from, source);
    // Opened as CopyFile opens it, so that a source it could not read (held
    // by another program without sharing, say) is named as the source.
    const win32::ScopedKernelHandle reading{CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (!reading) RaiseFromError(GetLastError(), source, ErrorNumber::FileNotFound);
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) RaiseFromError(GetLastError(), destination, ErrorNumber::PathNotFound);
    // The copy must be patchable and removable like any file of ours.
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

std::string FileLookup(const std::string& path, int attributes) {
    if (attributes != 0) Raise(ErrorNumber::InvalidProcedureCall, path, "only ordinary files can be looked up");
    WIN32_FIND_DATAW found;
    const win32::ScopedFindHandle search{FindFirstFileW(ApiPath(path).c_str(), &found)};
    if (!search) {
        const DWORD error = GetLastError();
        if (win32::IsMiss(error)) return {};
        RaiseFromError(error, path, ErrorNumber::FileNotFound);
    }
    if (found.dwFileAttributes & kNotOrdinary) return {};
    return win32::Utf8(found.cFileName);
}

void RemoveDirectoryTree(const std::string& path) {
    const std::wstring directory = ApiPath(path);
    if (!win32::AttributesOf(directory, path)) return;  // already gone
    RemoveTree(directory, path);
}

std::unique_ptr<BinaryFile> OpenExistingBinaryFile(const std::string& path, FileAccess access) {
    const std::wstring file = ApiPath(path);
    win32::RequireFile(file, path);
    const bool read = access == FileAccess::Read;
    HANDLE handle = CreateFileW(file.c_str(), read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                                read ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) RaiseFromError(GetLastError(), path, ErrorNumber::FileNotFound);
    return std::make_unique<Win32BinaryFile>(handle, path);
}

}  // namespace runtime
