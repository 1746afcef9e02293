// Stands in for wine and writes to $VORNIX_INSPECT_LOG what it was given, one
// fact a line: each WINEPREFIX in its environment, whether its standard input
// is /dev/null, whether it leads a session of its own and whether it can
// reach a controlling terminal; then what it
// inherited that a started program should not: descriptors past 2, and
// signals 1 to 31 ignored or blocked.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

int main() {
    std::FILE* log = std::fopen(std::getenv("VORNIX_INSPECT_LOG"), "we");
    if (!log) return 2;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "WINEPREFIX=", 11) == 0) std::fprintf(log, "%s\n", *entry);
    struct stat input {}, null {};
    const bool fromNull = ::fstat(STDIN_FILENO, &input) == 0 && ::stat("/dev/null", &null) == 0 &&
                          input.st_rdev == null.st_rdev && S_ISCHR(input.st_mode);
    const int terminal = ::open("/dev/tty", O_WRONLY | O_CLOEXEC);
    std::fprintf(log, "stdin %s\nsession %s\nterminal %s\n", fromNull ? "/dev/null" : "other",
                 ::getsid(0) == ::getpid() ? "own" : "shared", terminal < 0 ? "none" : "reachable");
    if (terminal >= 0) ::close(terminal);
    DIR* descriptors = ::opendir("/proc/self/fd");
    while (const dirent* entry = descriptors ? ::readdir(descriptors) : nullptr) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && std::stoi(name) > 2 && std::stoi(name) != ::dirfd(descriptors) &&
            std::stoi(name) != ::fileno(log))
            std::fprintf(log, "descriptor %s\n", name.c_str());
    }
    if (descriptors) ::closedir(descriptors);
    sigset_t blocked;
    ::sigprocmask(SIG_BLOCK, nullptr, &blocked);
    for (int signal = 1; signal < 32; ++signal) {
        struct sigaction action {};
        ::sigaction(signal, nullptr, &action);
        if (action.sa_handler == SIG_IGN) std::fprintf(log, "ignored %d\n", signal);
        if (sigismember(&blocked, signal)) std::fprintf(log, "blocked %d\n", signal);
    }
    return std::fclose(log) == 0 ? 0 : 2;
}
