// Preloaded into a program under test to make it meet what a real system can
// do to it:
//   VORNIX_FAIL_RDWR_SUFFIX=aim.exe   every opening for reading and writing
//                                     of a path that ends so fails (EACCES);
//   VORNIX_FAIL_REMOVE_SUFFIX=aim.exe every removal of such a path fails (EBUSY);
//   VORNIX_FIFO_AT_OPEN_SUFFIX=x.dll  such a file turns into a pipe just as it
//                                     is opened for reading;
//   VORNIX_COPY_RANGE_ERRNO=18        the kernel's copy fails with that errno;
//   VORNIX_COPY_DELAY_MS=20           each step of a file copy takes that long,
//                                     so that a test can stop a clone halfway;
//   VORNIX_RENAME_CANNOT_REFUSE=1     renameat2 fails with EINVAL, as on a file
//                                     system without RENAME_NOREPLACE;
//   VORNIX_RACE_RENAME=1              an empty directory appears under the new
//                                     name just before each renameat2;
//   VORNIX_MKDIR_ERRNO=30             every mkdir fails with that errno;
//   VORNIX_CREATE_ERRNO=20            every open that may create fails so.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool EndsWith(const char* path, const char* variable) {
    const char* suffix = std::getenv(variable);
    if (!suffix || !path) return false;
    const std::size_t length = std::strlen(path), suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(path + length - suffixLength, suffix) == 0;
}

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int Refuse(int error) {
    errno = error;
    return -1;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
    va_end(arguments);
    if ((flags & O_ACCMODE) == O_RDWR && EndsWith(path, "VORNIX_FAIL_RDWR_SUFFIX")) return Refuse(EACCES);
    if (const char* error = std::getenv("VORNIX_CREATE_ERRNO"); error && (flags & O_CREAT)) return Refuse(std::atoi(error));
    if ((flags & O_ACCMODE) == O_RDONLY && EndsWith(path, "VORNIX_FIFO_AT_OPEN_SUFFIX")) {
        static const auto realUnlink = Real<int (*)(const char*)>("unlink");
        realUnlink(path);
        ::mkfifo(path, 0644);
    }
    static const auto real = Real<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

// On 64-bit systems open64 is the same call under another name.
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));

extern "C" int unlink(const char* path) {
    if (EndsWith(path, "VORNIX_FAIL_REMOVE_SUFFIX")) return Refuse(EBUSY);
    static const auto real = Real<int (*)(const char*)>("unlink");
    return real(path);
}

extern "C" int unlinkat(int directory, const char* path, int flags) {
    if (EndsWith(path, "VORNIX_FAIL_REMOVE_SUFFIX")) return Refuse(EBUSY);
    static const auto real = Real<int (*)(int, const char*, int)>("unlinkat");
    return real(directory, path, flags);
}

extern "C" int remove(const char* path) {
    if (EndsWith(path, "VORNIX_FAIL_REMOVE_SUFFIX")) return Refuse(EBUSY);
    static const auto real = Real<int (*)(const char*)>("remove");
    return real(path);
}

extern "C" ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                                   unsigned flags) {
    if (const char* delay = std::getenv("VORNIX_COPY_DELAY_MS")) ::usleep(static_cast<useconds_t>(std::atoi(delay)) * 1000);
    if (const char* error = std::getenv("VORNIX_COPY_RANGE_ERRNO")) return Refuse(std::atoi(error));
    static const auto real = Real<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range");
    return real(in, inOffset, out, outOffset, length, flags);
}

extern "C" int renameat2(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned flags) {
    if (std::getenv("VORNIX_RACE_RENAME")) ::mkdirat(toDirectory, to, 0755);
    if (std::getenv("VORNIX_RENAME_CANNOT_REFUSE")) return Refuse(EINVAL);
    static const auto real = Real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return real(fromDirectory, from, toDirectory, to, flags);
}

extern "C" int mkdir(const char* path, mode_t mode) {
    if (const char* error = std::getenv("VORNIX_MKDIR_ERRNO")) return Refuse(std::atoi(error));
    static const auto real = Real<int (*)(const char*, mode_t)>("mkdir");
    return real(path, mode);
}
