#include "../FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "../BinaryFile.h"
#include "../Program.h"
#include "../Utf8.h"
#include "Errors.h"
#include "FileDescriptor.h"
#include "Locale.h"
#include "WinePath.h"

namespace runtime {

using posix::FileDescriptor;
using posix::HostPath;
using posix::IsMiss;
using posix::MapPath;
using posix::RaiseFromErrno;

namespace {

bool IsHidden(const std::filesystem::path& host) {
    if (host.filename().string().starts_with('.')) return true;
#if defined(__linux__)
    // Wine keeps the hidden (0x2) and system (0x4) attributes here; a file
    // without them, or whose attributes cannot be read, is ordinary.
    char value[32] = {};
    const ssize_t length = ::getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
    if (length > 0) {
        const unsigned long attributes = std::strtoul(value, nullptr, 0);
        if (attributes & 0x6) return true;
    }
#endif
    return false;
}

// Opens an ordinary file and nothing else: anything else is looked at, never
// opened, and should a pipe or device take the file's place meanwhile, the
// open neither waits for it nor makes it a terminal.
FileDescriptor OpenOrdinaryFile(const std::string& path, int access, struct stat& info) {
    const HostPath mapped = MapPath(path);
    if (mapped.missing != 0) Raise(ErrorNumber::FileNotFound, path);
    // What the listing calls a plain file needs no look before the open.
    if (mapped.type != DT_REG) {
        if (mapped.type != DT_LNK && mapped.type != DT_UNKNOWN) Raise(ErrorNumber::FileNotFound, path, "not an ordinary file");
        if (::stat(mapped.host.c_str(), &info) != 0) RaiseFromErrno(errno, path, ErrorNumber::FileNotFound);
        if (!S_ISREG(info.st_mode)) Raise(ErrorNumber::FileNotFound, path, "not an ordinary file");
    }
    FileDescriptor file(::open(mapped.host.c_str(), access | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) RaiseFromErrno(errno, path, ErrorNumber::FileNotFound);
    if (::fstat(file.get(), &info) != 0) RaiseFromErrno(errno, path, ErrorNumber::FileNotFound);
    if (!S_ISREG(info.st_mode)) Raise(ErrorNumber::FileNotFound, path, "not an ordinary file");
    return file;
}

// Copies bytes `offset` to `end` of `from` to the same place in `to` (`end`
// -1: to the end of `from`): by the kernel's own copy while it serves, else
// by reading and writing. In small steps, so that an interruption is seen
// between them.
// Errors name the side that failed: reading the source, or writing the copy.
void CopyRange(int from, int to, off_t offset, off_t end, bool& kernelCopies, const std::string& source,
               const std::string& destination) {
    constexpr off_t kStep = 1 << 20;
    std::vector<char> buffer;  // off the stack, which may be small; only when needed
    while (end < 0 || offset < end) {
        RaiseIfInterrupted(destination);
        const off_t wanted = end < 0 ? kStep : std::min(kStep, end - offset);
        ssize_t copied = 0;
#if defined(__linux__)
        if (kernelCopies) {
            off_t in = offset, out = offset;
            copied = ::copy_file_range(from, &in, to, &out, static_cast<std::size_t>(wanted), 0);
            // Across file systems on older kernels, where a file system does
            // not take part, and on any failure (which cannot tell its side),
            // the bytes go through our hands instead.
            if (copied < 0 && errno != EINTR) {
                kernelCopies = false;
                continue;
            }
        } else
#endif
        {
            buffer.resize(1 << 16);
            copied = ::pread(from, buffer.data(), std::min(buffer.size(), static_cast<std::size_t>(wanted)), offset);
            if (copied < 0 && errno != EINTR) RaiseFromErrno(errno, source, ErrorNumber::DeviceIOError);
            for (ssize_t done = 0; copied > 0 && done < copied;) {
                const ssize_t put = ::pwrite(to, buffer.data() + done, static_cast<std::size_t>(copied - done), offset + done);
                if (put < 0 && errno != EINTR) RaiseFromErrno(errno, destination, ErrorNumber::PathNotFound);
                done += std::max<ssize_t>(put, 0);
            }
        }
        if (copied == 0) return;
        if (copied > 0) offset += copied;
    }
}

// A sparse source's data only, so that its holes stay holes.
void CopyContents(int from, int to, const struct stat& info, const std::string& source, const std::string& destination) {
    bool kernelCopies = true;
#if defined(SEEK_DATA)
    if (info.st_blocks * 512 < info.st_size) {
        for (off_t data = 0;; ) {
            data = ::lseek(from, data, SEEK_DATA);
            if (data < 0) {
                if (errno != ENXIO) RaiseFromErrno(errno, source, ErrorNumber::DeviceIOError);
                break;  // no data after the last hole
            }
            const off_t hole = ::lseek(from, data, SEEK_HOLE);
            if (hole < 0) RaiseFromErrno(errno, source, ErrorNumber::DeviceIOError);
            CopyRange(from, to, data, hole, kernelCopies, source, destination);
            data = hole;
        }
        if (::ftruncate(to, info.st_size) != 0) RaiseFromErrno(errno, destination, ErrorNumber::PathNotFound);
        return;
    }
#endif
    CopyRange(from, to, 0, -1, kernelCopies, source, destination);
}

// Wine keeps a file's hidden, system and archive attributes in an extended
// attribute, and Windows' copy carries them: a file replaced gets the
// source's, or none. Where a file system keeps none, there is nothing to carry.
void CopyDosAttributes(int from, int to, bool replaced) {
#if defined(__linux__)
    constexpr const char* kName = "user.DOSATTRIB";
    const ssize_t size = ::fgetxattr(from, kName, nullptr, 0);
    std::string value(static_cast<std::size_t>(std::max<ssize_t>(size, 0)), '\0');
    const ssize_t got = size > 0 ? ::fgetxattr(from, kName, value.data(), value.size()) : -1;
    if (got > 0) (void)::fsetxattr(to, kName, value.data(), static_cast<std::size_t>(got), 0);
    else if (replaced) (void)::fremovexattr(to, kName);
#else
    (void)from, (void)to, (void)replaced;
#endif
}

class PosixBinaryFile : public BinaryFile {
public:
    PosixBinaryFile(FileDescriptor fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

    std::int64_t Size() override {
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) RaiseFromErrno(errno, path_, ErrorNumber::FileNotFound);
        return info.st_size;
    }

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t size) override {
        std::size_t got = 0;
        while (got < size) {
            const ssize_t step = ::pread(fd_.get(), buffer + got, size - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
            if (step == 0) break;
            if (step < 0) {
                if (errno == EINTR) continue;
                RaiseFromErrno(errno, path_, ErrorNumber::DeviceIOError);
            }
            got += static_cast<std::size_t>(step);
        }
        return got;
    }

    void WriteByteAt(std::int64_t offset, std::uint8_t byte) override {
        ssize_t written;
        do written = ::pwrite(fd_.get(), &byte, 1, offset);
        while (written < 0 && errno == EINTR);
        if (written != 1) RaiseFromErrno(written < 0 ? errno : EIO, path_, ErrorNumber::FileNotFound);
    }

    void Close() override {
        if (fd_.Close() != 0) RaiseFromErrno(errno, path_, ErrorNumber::DeviceIOError);
    }

private:
    FileDescriptor fd_;
    std::string path_;
};

// The host path of a directory that may be made at `path`.
HostPath NewDirectory(const std::string& path) {
    HostPath mapped = MapPath(path);
    if (mapped.missing == 0) Raise(ErrorNumber::PathFileAccessError, path, "it exists already");
    if (mapped.missing > 1) Raise(ErrorNumber::PathNotFound, path, "its parent directory does not exist");
    return mapped;
}

}  // namespace

void RequireNewDirectory(const std::string& path) { NewDirectory(path); }

void MakeDirectory(const std::string& path) {
    RaiseIfInterrupted(path);
    const HostPath made = NewDirectory(path);
    if (::mkdir(made.host.c_str(), 0777) != 0) {
        if (errno == EEXIST) Raise(ErrorNumber::PathFileAccessError, path, "it exists already");
        RaiseFromErrno(errno, path, ErrorNumber::PathNotFound);
    }
    posix::NoteMade(made.host, true);
}

void RenameDirectory(const std::string& from, const std::string& to) {
    RaiseIfInterrupted(to);
    const HostPath source = MapPath(from);
    if (source.missing != 0) Raise(ErrorNumber::PathNotFound, from);
    const HostPath target = NewDirectory(to);
    posix::ForgetLookups();  // whatever happens, both names are looked up afresh
    const auto existsAlready = [&] { Raise(ErrorNumber::PathFileAccessError, to, "it exists already"); };
#if defined(__linux__)
    if (::renameat2(AT_FDCWD, source.host.c_str(), AT_FDCWD, target.host.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno == EEXIST) existsAlready();
    if (errno != EINVAL && errno != ENOSYS) RaiseFromErrno(errno, to, ErrorNumber::PathNotFound);
#endif
    // Where the file system cannot refuse to replace, the name is claimed
    // first, so that rename() can only replace the empty directory made here.
    if (::mkdir(target.host.c_str(), 0700) != 0) {
        if (errno == EEXIST) existsAlready();
        RaiseFromErrno(errno, to, ErrorNumber::PathNotFound);
    }
    if (::rename(source.host.c_str(), target.host.c_str()) != 0) {
        const int error = errno;
        ::rmdir(target.host.c_str());  // ours, unless something was put into it meanwhile
        if (error == EEXIST || error == ENOTEMPTY) existsAlready();
        RaiseFromErrno(error, to, ErrorNumber::PathNotFound);
    }
}

bool NameExists(const std::string& path) { return MapPath(path).missing == 0; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const locale_t utf8 = posix::Utf8Locale();
    const auto upper = [utf8](char32_t code) -> char32_t {
        if (utf8) return ::towupper_l(static_cast<wint_t>(code), utf8);
        return code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code;
    };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const std::size_t m = ValidCharacterLength(a, i), n = ValidCharacterLength(b, j);
        if (m == 0 || n == 0) {  // a byte that is no UTF-8 matches only itself
            if (a[i++] != b[j++]) return false;
            continue;
        }
        if (upper(CodePoint(a.substr(i, m))) != upper(CodePoint(b.substr(j, n)))) return false;
        i += m;
        j += n;
    }
    return i == a.size() && j == b.size();
}

// The host's limits, of the file system that will hold the clone, for the
// folder the files are written into first and the one they end up in.
void RequireRoomFor(const std::string& directory, const std::string& staging, std::string_view longestName) {
    const HostPath mapped = MapPath(directory);
    const std::filesystem::path parent = mapped.host.parent_path();
    const long longestHostName = ::pathconf(parent.c_str(), _PC_NAME_MAX);
    const long longestHostPath = ::pathconf(parent.c_str(), _PC_PATH_MAX);
    const std::size_t name = mapped.host.filename().string().size();
    if (longestHostName > 0 && name > static_cast<std::size_t>(longestHostName))
        Raise(ErrorNumber::BadFileNameOrNumber, directory,
              "a name of " + std::to_string(name) + " bytes on the host; its file system takes at most " +
                  std::to_string(longestHostName));
    for (const std::filesystem::path& folder : {mapped.host, MapPath(staging).host}) {
        const std::size_t path = (folder / "").string().size() + longestName.size();
        if (longestHostPath > 0 && path >= static_cast<std::size_t>(longestHostPath))
            Raise(ErrorNumber::BadFileNameOrNumber, directory,
                  "its files would have host paths of " + std::to_string(path) + " bytes; the host takes fewer than " +
                      std::to_string(longestHostPath));
    }
}

bool CanListDirectory(const std::string& path) {
    const HostPath mapped = MapPath(path);
    if (mapped.missing != 0) return false;
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(mapped.host.c_str()), ::closedir);
    return stream != nullptr;
}

bool SameDirectory(const std::string& a, const std::string& b) {
    const auto identity = [](const std::string& path) -> std::optional<std::pair<dev_t, ino_t>> {
        const HostPath mapped = MapPath(path);
        struct stat info {};
        if (mapped.missing != 0) return std::nullopt;
        if (::stat(mapped.host.c_str(), &info) != 0) {
            if (IsMiss(errno)) return std::nullopt;  // a link to nothing
            RaiseFromErrno(errno, path, ErrorNumber::PathNotFound);
        }
        if (!S_ISDIR(info.st_mode)) return std::nullopt;
        return std::pair{info.st_dev, info.st_ino};
    };
    const auto first = identity(a);
    return first && first == identity(b);
}

void CopyFile(const std::string& source, const std::string& destination) {
    RaiseIfInterrupted(source);
    struct stat sourceInfo {};
    const FileDescriptor input = OpenOrdinaryFile(source, O_RDONLY, sourceInfo);

    const HostPath to = MapPath(destination);
    if (to.missing > 1) Raise(ErrorNumber::PathNotFound, destination);
    if (to.missing == 0) {
        struct stat existing {};
        if (::stat(to.host.c_str(), &existing) == 0) {
            if (S_ISDIR(existing.st_mode)) Raise(ErrorNumber::PathFileAccessError, destination, "a directory");
            // Truncating the destination would destroy the source.
            if (existing.st_dev == sourceInfo.st_dev && existing.st_ino == sourceInfo.st_ino)
                Raise(ErrorNumber::PathFileAccessError, destination, "the source itself");
        }
    }

    // The source's permissions, as cp gives them, and always writable by us.
    const mode_t mode = (sourceInfo.st_mode & 0777) | S_IWUSR;
    FileDescriptor output(::open(to.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (output.get() < 0) RaiseFromErrno(errno, destination, ErrorNumber::PathNotFound);
    if (to.missing != 0) posix::NoteMade(to.host, false);
    CopyContents(input.get(), output.get(), sourceInfo, source, destination);
    CopyDosAttributes(input.get(), output.get(), to.missing == 0);
    // Windows' CopyFile keeps the modification time too.
    const struct timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
    if (::futimens(output.get(), times) != 0) RaiseFromErrno(errno, destination, ErrorNumber::DeviceIOError);
    if (output.Close() != 0) RaiseFromErrno(errno, destination, ErrorNumber::DeviceIOError);
}

std::string FileLookup(const std::string& path, int attributes) {
    if (attributes != 0) Raise(ErrorNumber::InvalidProcedureCall, path, "only ordinary files can be looked up");
    const HostPath mapped = MapPath(path);
    if (mapped.missing != 0) return {};
    struct stat info {};
    info.st_mode = S_IFREG;  // what the listing calls a plain file is one
    if (mapped.type != DT_REG && ::stat(mapped.host.c_str(), &info) != 0) {
        if (IsMiss(errno)) return {};  // a link to nothing
        RaiseFromErrno(errno, path, ErrorNumber::FileNotFound);
    }
    if (!S_ISREG(info.st_mode) || IsHidden(mapped.host)) return {};
    return mapped.host.filename().string();
}

void RemoveDirectoryTree(const std::string& path) {
    const HostPath mapped = MapPath(path);
    if (mapped.missing != 0) return;  // already gone
    posix::ForgetLookups();
    std::error_code error;
    std::filesystem::remove_all(mapped.host, error);  // does not follow links
    if (error) RaiseFromErrno(error.value(), path, ErrorNumber::PathNotFound);
}

std::unique_ptr<BinaryFile> OpenExistingBinaryFile(const std::string& path, FileAccess access) {
    struct stat info {};
    return std::make_unique<PosixBinaryFile>(OpenOrdinaryFile(path, access == FileAccess::Read ? O_RDONLY : O_RDWR, info),
                                             path);
}

}  // namespace runtime
