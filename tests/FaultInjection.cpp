// Preloaded into a program under test to make one kind of open fail the way a
// real system can: VORNIX_FAIL_RDWR_SUFFIX=aim.exe refuses every opening for
// reading and writing of a path that ends so, with EACCES.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool Refused(const char* path, int flags) {
    const char* suffix = std::getenv("VORNIX_FAIL_RDWR_SUFFIX");
    if (!suffix || (flags & O_ACCMODE) != O_RDWR) return false;
    const std::size_t length = std::strlen(path), suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(path + length - suffixLength, suffix) == 0;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
    va_end(arguments);
    if (Refused(path, flags)) {
        errno = EACCES;
        return -1;
    }
    static auto real = reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
    return real(path, flags, mode);
}

// On 64-bit systems open64 is the same call under another name.
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));
