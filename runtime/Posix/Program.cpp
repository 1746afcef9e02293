// Programs start through Wine, the way a user starts one by hand:
// `$WINE start /d C:\path /min C:\path\prog.exe` in the prefix in use; the
// program runs in its own directory, beside its own files.
#include "../Program.h"

#include <fcntl.h>
#include <spawn.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../RuntimeError.h"
#include "Errors.h"
#include "Process.h"
#include "WinePath.h"

extern char** environ;

namespace runtime {
namespace {

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};
// The most of the launcher's own words that a report carries.
constexpr std::size_t kLauncherOutputLimit = 2048;

volatile std::sig_atomic_t shielded = 0;
volatile std::sig_atomic_t heldBack = 0;  // the signal of an interruption held back
std::atomic<const termios*> terminalToRestore{nullptr};
bool standardOutputWasClosed = false;

// Ends the program the way `signal` ends any program, with the terminal as
// it was. Safe in a signal handler.
void EndBySignal(int signal) {
    if (const termios* state = terminalToRestore.load()) ::tcsetattr(STDIN_FILENO, TCSANOW, state);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);  // never reached: the default action of these signals is to end
}

void OnInterruption(int signal) {
    if (shielded)
        heldBack = signal;
    else
        EndBySignal(signal);
}

std::vector<std::string> StartArguments(const std::string& wine, const std::string& path, WindowStyle style) {
    std::vector<std::string> arguments = {wine, "start", "/d", path.substr(0, path.find_last_of("\\/") + 1)};
    if (style == WindowStyle::MinimizedFocus) arguments.emplace_back("/min");
    arguments.push_back(path);
    return arguments;
}

// Our environment with WINEPREFIX naming the prefix we resolved paths in.
std::vector<std::string> LauncherEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "WINEPREFIX=", 11) != 0) variables.emplace_back(*entry);
    variables.push_back("WINEPREFIX=" + posix::WinePrefix().string());
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The launcher's messages, on one line and capped.
std::string ReadBack(int captured) {
    std::string text(kLauncherOutputLimit + 1, '\0');
    std::size_t got = 0;
    for (ssize_t step; got < text.size() && (step = ::pread(captured, text.data() + got, text.size() - got,
                                                             static_cast<off_t>(got))) > 0;)
        got += static_cast<std::size_t>(step);
    text.resize(got);
    if (got > kLauncherOutputLimit) text.replace(kLauncherOutputLimit, std::string::npos, " ...");
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Only descriptors 0 to 2 and default signal dispositions pass on to the
// launcher, and through it to Wine and the client. It runs in a process
// group of its own: a Ctrl-C meant for Vornix, or the end of its terminal
// session, does not reach the launcher or the clone it starts.
class CleanSpawn {
public:
    explicit CleanSpawn(int output) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions_, output, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
        posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
#endif
        posix_spawnattr_init(&attributes_);
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setpgroup(&attributes_, 0);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    }
    ~CleanSpawn() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    CleanSpawn(const CleanSpawn&) = delete;
    CleanSpawn& operator=(const CleanSpawn&) = delete;

    int Run(pid_t& child, std::vector<std::string>& arguments, std::vector<std::string>& environment) {
        return ::posix_spawnp(&child, arguments[0].c_str(), &actions_, &attributes_, Pointers(arguments).data(),
                              Pointers(environment).data());
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// A file with no name, closed when it goes out of scope: in memory where
// the system can, so that no temporary directory is needed at all.
class CapturedOutput {
public:
    CapturedOutput() {
#if defined(__linux__)
        fd_ = ::memfd_create("vornix-launcher", MFD_CLOEXEC);
        if (fd_ < 0) posix::RaiseFromErrno(errno, "memfd:vornix-launcher", ErrorNumber::PathNotFound);
#else
        const char* configured = std::getenv("TMPDIR");
        for (std::string directory : {std::string(configured ? configured : ""), std::string("/tmp")}) {
            if (directory.empty()) continue;
            std::string name = directory + "/vornix-launcher-XXXXXX";
            fd_ = ::mkostemp(name.data(), O_CLOEXEC);
            if (fd_ >= 0) {
                ::unlink(name.c_str());
                return;
            }
        }
        posix::RaiseFromErrno(errno, "/tmp/vornix-launcher-XXXXXX", ErrorNumber::PathNotFound);
#endif
    }
    ~CapturedOutput() { ::close(fd_); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

void PrepareProcess() {
    // A descriptor closed at the start would be handed to the first file
    // opened: it stands on /dev/null instead, and output there is an error.
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) continue;
        ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // takes the lowest free number
        if (descriptor == STDOUT_FILENO) standardOutputWasClosed = true;
    }
    // A closed terminal or pipe ends input (the terminal window sees it); a
    // file-size limit ends a copy with "Disk full".
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked read, wait or copy returns and looks at what was held back
    for (int signal : kInterruptions) {
        struct sigaction previous {};
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler != SIG_IGN) ::sigaction(signal, &action, nullptr);  // nohup stays nohup
    }
}

InterruptionShield::InterruptionShield() { shielded = 1; }

InterruptionShield::~InterruptionShield() { shielded = 0; }

void RaiseIfInterrupted(const std::string& path) {
    const int signal = heldBack;
    if (!signal) return;
    const char* what = signal == SIGINT ? "Ctrl-C (SIGINT)" : signal == SIGHUP ? "the terminal closing (SIGHUP)" : "SIGTERM";
    Raise(ErrorNumber::UserInterrupt, path, std::string("stopped by ") + what);
}

void EndIfInterrupted() {
    if (const int signal = heldBack) EndBySignal(signal);
}

namespace posix {

bool InterruptionPending() { return heldBack != 0; }

bool StandardOutputWasClosed() { return standardOutputWasClosed; }

bool WaitReadable(int descriptor) {
    // Blocked but for the wait itself: one that came just before it began
    // would otherwise be seen only after the wait.
    sigset_t interruptions, previous;
    sigemptyset(&interruptions);
    for (int signal : kInterruptions) sigaddset(&interruptions, signal);
    ::sigprocmask(SIG_BLOCK, &interruptions, &previous);
    while (!heldBack) {
        pollfd waiting = {descriptor, POLLIN, 0};
        if (::ppoll(&waiting, 1, nullptr, &previous) >= 0 || errno != EINTR) break;
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    return !heldBack;
}

void RestoreTerminalOnEnd(const termios* state) { terminalToRestore.store(state); }

}  // namespace posix

void StartProgram(const std::string& path, WindowStyle style) {
    RaiseIfInterrupted(path);
    const posix::HostPath mapped = posix::MapPath(path);
    struct stat info {};
    if (mapped.missing != 0 || ::stat(mapped.host.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        Raise(ErrorNumber::FileNotFound, path);

    const char* configured = std::getenv("WINE");
    const std::string wine = configured && *configured ? configured : "wine";
    std::vector<std::string> arguments = StartArguments(wine, path, style);
    std::vector<std::string> environment = LauncherEnvironment();

    // The launcher's messages go to a file, not a pipe: the started program
    // may inherit the handle and live on, and we must not wait for it.
    const CapturedOutput captured;
    pid_t launcher = 0;
    if (const int failed = CleanSpawn(captured.get()).Run(launcher, arguments, environment))
        Raise(ErrorNumber::FileNotFound, wine,
              "the Wine launcher that starts " + path + " could not be run: " + std::strerror(failed) +
                  "; set WINE to the wine program");

    // An interruption meanwhile is acted on at once: the clone is complete,
    // and the launcher is left to finish on its own.
#if defined(SYS_pidfd_open)
    if (const int ended = static_cast<int>(::syscall(SYS_pidfd_open, launcher, 0)); ended >= 0) {
        posix::WaitReadable(ended);
        ::close(ended);
        RaiseIfInterrupted(path);
    }
#endif
    int status = 0;
    while (::waitpid(launcher, &status, 0) < 0) {
        if (errno != EINTR) posix::RaiseFromErrno(errno, wine, ErrorNumber::FileNotFound);
        RaiseIfInterrupted(path);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;

    const std::string how = WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                              : std::string("was ended by signal ") + std::to_string(WTERMSIG(status));
    const std::string said = ReadBack(captured.get());
    Raise(ErrorNumber::PathFileAccessError, wine,
          "it " + how + " while starting " + path + (said.empty() ? "" : ": " + said));
}

}  // namespace runtime
