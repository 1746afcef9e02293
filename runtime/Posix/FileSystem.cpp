#include "../FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>

#include "../BinaryFile.h"
#include "Errors.h"
#include "WinePath.h"

namespace runtime {

using posix::MapPath;
using posix::RaiseFromErrno;

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now so that a failure to write back can be reported.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

bool IsHidden(const std::filesystem::path& host) {
    if (host.filename().string().starts_with('.')) return true;
#if defined(__linux__)
    // Wine keeps the hidden (0x2) and system (0x4) attributes here.
    char value[32] = {};
    const ssize_t length = ::getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
    if (length > 0) {
        const unsigned long attributes = std::strtoul(value, nullptr, 0);
        if (attributes & 0x6) return true;
    }
#endif
    return false;
}

// A file-size limit must end a copy with an error, not kill the program.
void IgnoreFileSizeSignal() {
    static const bool ignored = (std::signal(SIGXFSZ, SIG_IGN), true);
    (void)ignored;
}

void CopyContents(int from, int to, const std::string& destination) {
#if defined(__linux__)
    // The kernel's own copy first; it falls back below where it cannot.
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied == 0) return;
        if (copied > 0) continue;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
        RaiseFromErrno(errno, destination, ErrorNumber::PathNotFound);
    }
#endif
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0) return;
        if (got < 0) {
            if (errno == EINTR) continue;
            RaiseFromErrno(errno, destination, ErrorNumber::DeviceIOError);
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                RaiseFromErrno(errno, destination, ErrorNumber::PathNotFound);
            }
            done += put;
        }
    }
}

class PosixBinaryFile : public BinaryFile {
public:
    PosixBinaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    std::int64_t Size() override {
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) RaiseFromErrno(errno, path_, ErrorNumber::FileNotFound);
        return info.st_size;
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

}  // namespace

void MakeDirectory(const std::string& path) {
    const posix::HostPath mapped = MapPath(path);
    if (mapped.missing == 0) Raise(ErrorNumber::PathFileAccessError, path, "it exists already");
    if (mapped.missing > 1) Raise(ErrorNumber::PathNotFound, path, "its parent directory does not exist");
    if (::mkdir(mapped.host.c_str(), 0777) != 0) RaiseFromErrno(errno, path, ErrorNumber::PathNotFound);
}

void CopyFile(const std::string& source, const std::string& destination) {
    const posix::HostPath from = MapPath(source);
    if (from.missing != 0) Raise(ErrorNumber::FileNotFound, source);
    FileDescriptor input(::open(from.host.c_str(), O_RDONLY | O_CLOEXEC));
    if (input.get() < 0) RaiseFromErrno(errno, source, ErrorNumber::FileNotFound);
    struct stat sourceInfo {};
    if (::fstat(input.get(), &sourceInfo) != 0) RaiseFromErrno(errno, source, ErrorNumber::FileNotFound);
    if (!S_ISREG(sourceInfo.st_mode)) Raise(ErrorNumber::FileNotFound, source, "not a file");

    const posix::HostPath to = MapPath(destination);
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

    IgnoreFileSizeSignal();
    FileDescriptor output(::open(to.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (output.get() < 0) RaiseFromErrno(errno, destination, ErrorNumber::PathNotFound);
    CopyContents(input.get(), output.get(), destination);
    if (output.Close() != 0) RaiseFromErrno(errno, destination, ErrorNumber::DeviceIOError);
}

std::string FileLookup(const std::string& path, int attributes) {
    if (attributes != 0) Raise(ErrorNumber::InvalidProcedureCall, path, "only ordinary files can be looked up");
    const posix::HostPath mapped = MapPath(path);
    if (mapped.missing != 0) return {};
    struct stat info {};
    if (::stat(mapped.host.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    if (IsHidden(mapped.host)) return {};
    return mapped.host.filename().string();
}

void RemoveDirectoryTree(const std::string& path) {
    const posix::HostPath mapped = MapPath(path);
    if (mapped.missing != 0) return;  // already gone
    std::error_code error;
    std::filesystem::remove_all(mapped.host, error);  // does not follow links
    if (error) RaiseFromErrno(error.value(), path, ErrorNumber::PathNotFound);
}

std::unique_ptr<BinaryFile> OpenExistingBinaryFile(const std::string& path) {
    const posix::HostPath mapped = MapPath(path);
    if (mapped.missing != 0) Raise(ErrorNumber::FileNotFound, path);
    const int fd = ::open(mapped.host.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) RaiseFromErrno(errno, path, ErrorNumber::FileNotFound);
    auto file = std::make_unique<PosixBinaryFile>(fd, path);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) Raise(ErrorNumber::FileNotFound, path, "not a file");
    return file;
}

}  // namespace runtime
